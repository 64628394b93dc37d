#include "EffectObject.h"

#include "ofxGPURender.h"
#include "ofxParam.h"

namespace vhost {

EffectObject::EffectObject(Host* host, EffectRole role, std::string context)
    : HandleTag(kHandleKind),
      host_(host),
      role_(role),
      context_(std::move(context)),
      props_(kOfxTypeImageEffect) {
    if (role_ == EffectRole::Instance) return;  // cloneFrom fills it
    PropertySet& p = props_;
    p.declareString(kOfxPropType, kOfxTypeImageEffect);
    p.declareString(kOfxPropLabel, "");
    p.declareString(kOfxPropShortLabel, "");
    p.declareString(kOfxPropLongLabel, "");
    p.declareString(kOfxPropPluginDescription, "");
    p.declareString(kOfxImageEffectPluginPropGrouping, "");
    p.declareString(kOfxImageEffectPropSupportedContexts, std::vector<std::string>{});
    p.declareString(kOfxImageEffectPropSupportedPixelDepths, std::vector<std::string>{});
    p.declareInt(kOfxImageEffectPluginPropSingleInstance, 0);
    p.declareString(kOfxImageEffectPluginRenderThreadSafety, kOfxImageEffectRenderInstanceSafe);
    p.declareInt(kOfxImageEffectPluginPropHostFrameThreading, 1);
    p.declarePointer(kOfxImageEffectPluginPropOverlayInteractV1, nullptr);
    p.declarePointer(kOfxImageEffectPluginPropOverlayInteractV2, nullptr);
    p.declareInt(kOfxImageEffectPropSupportsMultiResolution, 1);
    p.declareInt(kOfxImageEffectPropSupportsTiles, 1);
    p.declareInt(kOfxImageEffectPropTemporalClipAccess, 0);
    p.declareInt(kOfxImageEffectPluginPropFieldRenderTwiceAlways, 1);
    p.declareInt(kOfxImageEffectPropSupportsMultipleClipDepths, 0);
    p.declareInt(kOfxImageEffectPropSupportsMultipleClipPARs, 0);
    p.declareString(kOfxImageEffectPropClipPreferencesSlaveParam, std::vector<std::string>{});
    p.declareString(kOfxPluginPropFilePath, "");
    p.declareString(kOfxImageEffectPropOpenGLRenderSupported, "false");
    p.declareString(kOfxImageEffectPropCudaRenderSupported, "false");
    p.declareString(kOfxImageEffectPropCudaStreamSupported, "false");
    p.declareString(kOfxImageEffectPropOpenCLRenderSupported, "false");
    p.declareString(kOfxImageEffectPropMetalRenderSupported, "false");
    p.declareString(kOfxImageEffectPropNoSpatialAwareness, "false");
    p.declareInt(kOfxImageEffectInstancePropSequentialRender, 0);
    p.declareString(kOfxPluginPropParamPageOrder, std::vector<std::string>{});
    if (role_ == EffectRole::ContextDescriptor) p.declareString(kOfxImageEffectPropContext, context_);
}

OfxStatus EffectObject::defineClip(const char* name, Clip** clip) {
    if (name == nullptr || name[0] == '\0') return kOfxStatErrValue;
    if (role_ == EffectRole::Instance) return kOfxStatErrBadHandle;
    if (this->clip(name) != nullptr) return kOfxStatErrExists;
    clips_.push_back(std::make_unique<Clip>(this, name));
    *clip = clips_.back().get();
    return kOfxStatOK;
}

Clip* EffectObject::clip(const std::string& name) {
    for (auto& c : clips_)
        if (c->name() == name) return c.get();
    return nullptr;
}

void EffectObject::cloneFrom(EffectObject& descriptor) {
    props_ = PropertySet(descriptor.props_);
    PropertySet& p = props_;
    p.putString(kOfxPropType, {kOfxTypeImageEffectInstance});
    p.declareString(kOfxImageEffectPropContext, context_);
    p.declarePointer(kOfxPropInstanceData, nullptr);
    p.declareDouble(kOfxImageEffectPropProjectSize, {1920.0, 1080.0}, 2);
    p.declareDouble(kOfxImageEffectPropProjectOffset, {0.0, 0.0}, 2);
    p.declareDouble(kOfxImageEffectPropProjectExtent, {1920.0, 1080.0}, 2);
    p.declareDouble(kOfxImageEffectPropProjectPixelAspectRatio, 1.0);
    p.declareDouble(kOfxImageEffectInstancePropEffectDuration, 1.0);
    p.declareDouble(kOfxImageEffectPropFrameRate, 24.0);
    p.declareInt(kOfxPropIsInteractive, 0);
    params_.cloneFrom(descriptor.params_);
    clips_.clear();
    for (const auto& c : descriptor.clips_) clips_.push_back(std::make_unique<Clip>(this, *c));
}

}  // namespace vhost
