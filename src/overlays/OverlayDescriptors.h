#pragma once

#include <memory>

#include "ofxsImageEffect.h"
#include "ofxsInteract.h"
#include "overlays/OfxOverlayParamHost.h"
#include "overlays/OverlayManager.h"

namespace OFX {

// The overlay the host creates per viewer for effects whose definition declares overlays (or
// audio slots). On its first draw it finds the declarations of the effect being described in
// the registry and makes its overlay manager; until then it draws nothing and leaves every
// event to the host.
class GenericOverlayInteract : public OverlayInteract {
  public:
    GenericOverlayInteract(OfxInteractHandle handle, ImageEffect* effect);
    ~GenericOverlayInteract() override;

    bool draw(const DrawArgs& args) override;
    bool penMotion(const PenArgs& args) override;
    bool penDown(const PenArgs& args) override;
    bool penUp(const PenArgs& args) override;
    bool keyDown(const KeyArgs& args) override;
    bool keyUp(const KeyArgs& args) override;
    bool keyRepeat(const KeyArgs& args) override;
    void gainFocus(const FocusArgs&) override {}
    void loseFocus(const FocusArgs&) override {}

  private:
    void ensureManager();

    // Declared before the manager, which ends its drags through it when destroyed.
    std::unique_ptr<OfxOverlayParamHost> paramHost_;
    std::unique_ptr<OverlayManager> manager_;
};

// The single draggable point bound to a 2-D parameter named "center" (normalized 0 to 1), for
// effects that declare no overlays.
class PointOverlayInteract : public OverlayInteract {
  public:
    PointOverlayInteract(OfxInteractHandle handle, ImageEffect* effect);

    bool draw(const DrawArgs& args) override;
    bool penMotion(const PenArgs& args) override;
    bool penDown(const PenArgs& args) override;
    bool penUp(const PenArgs& args) override;
    void gainFocus(const FocusArgs& args) override;
    void loseFocus(const FocusArgs& args) override;

  private:
    Double2DParam* centerParam();
    void refreshImageSize(double time);
    // False while the effect's "show_overlays" switch is off.
    bool overlaysShown(double time);
    OfxPointD position(double time);

    Double2DParam* center_ = nullptr;
    bool dragging_ = false;
    double width_ = 1920.0;
    double height_ = 1080.0;
};

class GenericOverlayDescriptor
    : public DefaultEffectOverlayDescriptor<GenericOverlayDescriptor, GenericOverlayInteract> {};

class PointOverlayDescriptor
    : public DefaultEffectOverlayDescriptor<PointOverlayDescriptor, PointOverlayInteract> {};

}  // namespace OFX
