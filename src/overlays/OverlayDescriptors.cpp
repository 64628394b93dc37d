#include "overlays/OverlayDescriptors.h"

#include "log/PluginLog.h"

namespace OFX {

GenericOverlayInteract::GenericOverlayInteract(OfxInteractHandle handle, ImageEffect* effect)
    : OverlayInteract(handle, effect) {
    VLOG_INFO("GenericOverlayInteract constructor");
}

GenericOverlayInteract::~GenericOverlayInteract() { VLOG_INFO("GenericOverlayInteract destructor"); }

PointOverlayInteract::PointOverlayInteract(OfxInteractHandle handle, ImageEffect* effect)
    : OverlayInteract(handle, effect) {}

}  // namespace OFX
