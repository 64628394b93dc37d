#include "Overlay.h"

#include <algorithm>

#include "Host.h"
#include "HostError.h"
#include "Instance.h"
#include "PluginRecord.h"
#include "ofxDrawSuite.h"
#include "ofxImageEffect.h"
#include "ofxKeySyms.h"

#ifndef kOfxPropKeySym
#define kOfxPropKeySym "kOfxPropKeySym"
#endif

namespace vhost {

bool Overlay::available(Instance& instance) {
    return instance.properties().pointer(kOfxImageEffectPluginPropOverlayInteractV1) != nullptr;
}

Overlay::Overlay(Instance& instance) : effect_(instance), drawContext_(&instance.record()->host()) {
    entry_ = reinterpret_cast<OfxPluginEntryPoint*>(
        instance.properties().pointer(kOfxImageEffectPluginPropOverlayInteractV1));
    if (entry_ == nullptr)
        throw HostError("plug-in " + instance.record()->identifier() + " has no overlay interact",
                        kOfxStatErrMissingHostFeature);
    Host* host = &instance.record()->host();
    descriptor_ = std::make_unique<InteractObject>(host);
    descriptor_->props.declareInt(kOfxInteractPropHasAlpha, 0);
    descriptor_->props.declareInt(kOfxInteractPropBitDepth, 8);
    OfxStatus status = call(kOfxActionDescribe, *descriptor_, nullptr);
    if (!succeeded(status))
        throw HostError("overlay interact failed to describe: " + statusName(status), status);

    instance_ = std::make_unique<InteractObject>(host);
    PropertySet& p = instance_->props;
    p.declarePointer(kOfxPropEffectInstance, instance.object().handle());
    p.declarePointer(kOfxPropInstanceData, nullptr);
    p.declareDouble(kOfxInteractPropPixelScale, {1.0, 1.0}, 2);
    p.declareDouble(kOfxInteractPropBackgroundColour, {0.0, 0.0, 0.0}, 3);
    p.declareDouble(kOfxInteractPropSuggestedColour, {1.0, 1.0, 1.0}, 3);
    p.declareInt(kOfxInteractPropBitDepth, 8);
    p.declareInt(kOfxInteractPropHasAlpha, 0);
    p.declareString(kOfxInteractPropSlaveToParam, std::vector<std::string>{});
    p.declarePointer(kOfxInteractPropDrawContext, nullptr);
    status = call(kOfxActionCreateInstance, *instance_, nullptr);
    if (!succeeded(status))
        throw HostError("overlay interact failed to start: " + statusName(status), status);
    created_ = true;
}

Overlay::~Overlay() {
    if (created_) call(kOfxActionDestroyInstance, *instance_, nullptr);
}

OfxStatus Overlay::call(const char* action, InteractObject& object, OfxPropertySetHandle args) {
    OfxStatus status = kOfxStatErrFatal;
    try {
        status = entry_(action, object.handle(), args, nullptr);
    } catch (...) {
        status = kOfxStatErrFatal;
    }
    object.host->records().addAction(ActionRecord{effect_.record()->identifier(), action, status, "overlay"});
    return status;
}

void Overlay::baseArgs(PropertySet& args, double time, OfxPointD pixelScale) {
    instance_->props.putDouble(kOfxInteractPropPixelScale, {pixelScale.x, pixelScale.y});
    args.declarePointer(kOfxPropEffectInstance, effect_.object().handle());
    args.declareDouble(kOfxPropTime, time);
    args.declareDouble(kOfxImageEffectPropRenderScale, {1.0, 1.0}, 2);
    args.declareDouble(kOfxInteractPropPixelScale, {pixelScale.x, pixelScale.y}, 2);
    args.declareDouble(kOfxInteractPropBackgroundColour, {0.0, 0.0, 0.0}, 3);
}

OfxStatus Overlay::draw(double time, OfxPointD pixelScale) {
    instance_->props.putPointer(kOfxInteractPropDrawContext, {&drawContext_});
    PropertySet args("drawArgs", false);
    baseArgs(args, time, pixelScale);
    args.declarePointer(kOfxInteractPropDrawContext, &drawContext_);
    HostRecords& records = effect_.record()->host().records();
    const size_t before = records.draws().size();
    const OfxStatus status = call(kOfxInteractActionDraw, *instance_, args.handle());
    const std::vector<DrawRecord> all = records.draws();
    lastDraw_.assign(all.begin() + static_cast<std::ptrdiff_t>(std::min(before, all.size())), all.end());
    return status;
}

OfxStatus Overlay::pen(const char* action, double time, OfxPointD position, OfxPointD pixelScale,
                       double pressure) {
    PropertySet args("penArgs", false);
    baseArgs(args, time, pixelScale);
    args.declareDouble(kOfxInteractPropPenPosition, {position.x, position.y}, 2);
    args.declareInt(kOfxInteractPropPenViewportPosition, {int(position.x), int(position.y)}, 2);
    args.declareDouble(kOfxInteractPropPenPressure, pressure);
    return call(action, *instance_, args.handle());
}

OfxStatus Overlay::penDown(double time, OfxPointD position, OfxPointD pixelScale, double pressure) {
    return pen(kOfxInteractActionPenDown, time, position, pixelScale, pressure);
}
OfxStatus Overlay::penMotion(double time, OfxPointD position, OfxPointD pixelScale, double pressure) {
    return pen(kOfxInteractActionPenMotion, time, position, pixelScale, pressure);
}
OfxStatus Overlay::penUp(double time, OfxPointD position, OfxPointD pixelScale, double pressure) {
    return pen(kOfxInteractActionPenUp, time, position, pixelScale, pressure);
}

OfxStatus Overlay::key(const char* action, double time, int keySym, const std::string& text) {
    PropertySet args("keyArgs", false);
    args.declarePointer(kOfxPropEffectInstance, effect_.object().handle());
    args.declareDouble(kOfxPropTime, time);
    args.declareDouble(kOfxImageEffectPropRenderScale, {1.0, 1.0}, 2);
    args.declareInt(kOfxPropKeySym, keySym);
    args.declareString(kOfxPropKeyString, text);
    return call(action, *instance_, args.handle());
}

OfxStatus Overlay::keyDown(double time, int keySym, const std::string& text) {
    return key(kOfxInteractActionKeyDown, time, keySym, text);
}
OfxStatus Overlay::keyUp(double time, int keySym, const std::string& text) {
    return key(kOfxInteractActionKeyUp, time, keySym, text);
}
OfxStatus Overlay::keyRepeat(double time, int keySym, const std::string& text) {
    return key(kOfxInteractActionKeyRepeat, time, keySym, text);
}

OfxStatus Overlay::focus(const char* action, double time, OfxPointD pixelScale) {
    PropertySet args("focusArgs", false);
    baseArgs(args, time, pixelScale);
    return call(action, *instance_, args.handle());
}

OfxStatus Overlay::gainFocus(double time, OfxPointD pixelScale) {
    return focus(kOfxInteractActionGainFocus, time, pixelScale);
}
OfxStatus Overlay::loseFocus(double time, OfxPointD pixelScale) {
    return focus(kOfxInteractActionLoseFocus, time, pixelScale);
}

}  // namespace vhost
