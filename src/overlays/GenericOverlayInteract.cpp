#include "log/PluginLog.h"
#include "overlays/OfxDrawSurface.h"
#include "overlays/OverlayDescriptors.h"

namespace OFX {

namespace {

OverlayPenArgs penArgs(const PenArgs& args) {
    return OverlayPenArgs{args.time, OverlayPoint{args.penPosition.x, args.penPosition.y},
                          OverlayPoint{args.pixelScale.x, args.pixelScale.y}};
}

}  // namespace

GenericOverlayInteract::GenericOverlayInteract(OfxInteractHandle handle, ImageEffect* effect)
    : OverlayInteract(handle, effect) {
    VLOG_INFO("GenericOverlayInteract constructor");
}

GenericOverlayInteract::~GenericOverlayInteract() {
    VLOG_INFO("GenericOverlayInteract destructor");
    manager_.reset();
    paramHost_.reset();
}

void GenericOverlayInteract::ensureManager() {
    if (manager_ || !_effect) return;
    const std::string effectName = OverlayManager::currentEffect();
    OverlayRegistration entry;
    if (!OverlayManager::findOverlays(effectName, entry)) {
        VLOG_INFO("No overlay definitions found for effect '%s'", effectName.c_str());
        return;
    }
    paramHost_ = std::make_unique<OfxOverlayParamHost>(*_effect);
    manager_ = std::make_unique<OverlayManager>(paramHost_.get(), entry.overlays, entry.coordinates,
                                                dynamic_cast<OverlayEffectHooks*>(_effect));
    VLOG_INFO("Created OverlayManager with %zu overlay definitions (coordSystem=%d)", entry.overlays.size(),
              static_cast<int>(entry.coordinates));
}

bool GenericOverlayInteract::draw(const DrawArgs& args) {
    ensureManager();
    if (!manager_ || !args.drawSuite || !args.drawContext) return false;
    OfxDrawSurface surface(args.drawSuite, args.drawContext);
    return manager_->draw(surface,
                          OverlayDrawArgs{args.time, OverlayPoint{args.pixelScale.x, args.pixelScale.y}});
}

bool GenericOverlayInteract::penMotion(const PenArgs& args) {
    return manager_ && manager_->penMotion(penArgs(args));
}

bool GenericOverlayInteract::penDown(const PenArgs& args) {
    return manager_ && manager_->penDown(penArgs(args));
}

bool GenericOverlayInteract::penUp(const PenArgs& args) {
    return manager_ && manager_->penUp(penArgs(args));
}

bool GenericOverlayInteract::keyDown(const KeyArgs& args) {
    return manager_ && manager_->keyDown(OverlayKeyArgs{args.time, args.keySymbol});
}

// The tap keys are kept from the host on release and repeat as well.
bool GenericOverlayInteract::keyUp(const KeyArgs& args) {
    return manager_ && OverlayManager::tapTrackForKey(args.keySymbol) != 0;
}

bool GenericOverlayInteract::keyRepeat(const KeyArgs& args) {
    return manager_ && OverlayManager::tapTrackForKey(args.keySymbol) != 0;
}

}  // namespace OFX
