#pragma once

#include "ofxsImageEffect.h"

namespace OFX {

// The overlay the host creates per viewer for effects whose definition declares overlays (or audio
// slots). It finds its declarations in the OverlayManager registry; until overlay objects exist it
// draws nothing and leaves every event to the host.
class GenericOverlayInteract : public OverlayInteract {
public:
    GenericOverlayInteract(OfxInteractHandle handle, ImageEffect* effect);
    ~GenericOverlayInteract() override;
};

// The single draggable point bound to a "center" parameter.
class PointOverlayInteract : public OverlayInteract {
public:
    PointOverlayInteract(OfxInteractHandle handle, ImageEffect* effect);
};

class GenericOverlayDescriptor
    : public DefaultEffectOverlayDescriptor<GenericOverlayDescriptor, GenericOverlayInteract> {};

class PointOverlayDescriptor : public DefaultEffectOverlayDescriptor<PointOverlayDescriptor, PointOverlayInteract> {
};

}  // namespace OFX
