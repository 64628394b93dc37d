#include "ofxsImageEffect.h"

#include <algorithm>

#include "PluginLog.h"
#include "ofxMessage.h"
#include "ofxProgress.h"
#include "ofxTimeLine.h"
#include "ofxsSuites.h"

namespace OFX {

// ---------------------------------------------------------------------------------------------------------
// ImageEffectDescriptor

ImageEffectDescriptor::ImageEffectDescriptor(OfxImageEffectHandle handle) : handle_(handle) {
    OfxPropertySetHandle props = nullptr;
    throwSuiteStatusException(Private::imageEffectSuite().getPropertySet(handle, &props),
                              "effect descriptor");
    props_.setHandle(props);
    OfxParamSetHandle params = nullptr;
    throwSuiteStatusException(Private::imageEffectSuite().getParamSet(handle, &params), "effect parameters");
    setParamSetHandle(params);
}

ImageEffectDescriptor::~ImageEffectDescriptor() = default;

void ImageEffectDescriptor::setLabel(const std::string& label) {
    setLabels(label, label, label);
}

void ImageEffectDescriptor::setLabels(const std::string& label, const std::string& shortLabel,
                                      const std::string& longLabel) {
    props_.propSetString(kOfxPropLabel, label);
    props_.propSetString(kOfxPropShortLabel, shortLabel, 0, false);
    props_.propSetString(kOfxPropLongLabel, longLabel, 0, false);
}

void ImageEffectDescriptor::setPluginGrouping(const std::string& grouping) {
    props_.propSetString(kOfxImageEffectPluginPropGrouping, grouping);
}

void ImageEffectDescriptor::setPluginDescription(const std::string& description) {
    props_.propSetString(kOfxPropPluginDescription, description, 0, false);
}

namespace {

// Appends `value` to a string list unless the list holds it already: a host may describe the same
// descriptor more than once.
void appendOnce(PropertySet& props, const char* name, const std::string& value) {
    const std::vector<std::string> values = props.propGetStrings(name, false);
    if (std::find(values.begin(), values.end(), value) == values.end()) props.propAppendString(name, value);
}

}  // namespace

void ImageEffectDescriptor::addSupportedContext(ContextEnum context) {
    appendOnce(props_, kOfxImageEffectPropSupportedContexts, mapContextEnumToStr(context));
}

void ImageEffectDescriptor::addSupportedBitDepth(BitDepthEnum depth) {
    appendOnce(props_, kOfxImageEffectPropSupportedPixelDepths, mapBitDepthEnumToStr(depth));
}

void ImageEffectDescriptor::setSingleInstance(bool v) {
    props_.propSetInt(kOfxImageEffectPluginPropSingleInstance, v);
}
void ImageEffectDescriptor::setHostFrameThreading(bool v) {
    props_.propSetInt(kOfxImageEffectPluginPropHostFrameThreading, v);
}
void ImageEffectDescriptor::setSupportsMultiResolution(bool v) {
    props_.propSetInt(kOfxImageEffectPropSupportsMultiResolution, v);
}
void ImageEffectDescriptor::setSupportsTiles(bool v) {
    props_.propSetInt(kOfxImageEffectPropSupportsTiles, v);
}
void ImageEffectDescriptor::setTemporalClipAccess(bool v) {
    props_.propSetInt(kOfxImageEffectPropTemporalClipAccess, v);
}
void ImageEffectDescriptor::setRenderTwiceAlways(bool v) {
    props_.propSetInt(kOfxImageEffectPluginPropFieldRenderTwiceAlways, v);
}
void ImageEffectDescriptor::setSupportsMultipleClipDepths(bool v) {
    props_.propSetInt(kOfxImageEffectPropSupportsMultipleClipDepths, v);
}
void ImageEffectDescriptor::setSupportsMultipleClipPARs(bool v) {
    props_.propSetInt(kOfxImageEffectPropSupportsMultipleClipPARs, v);
}

void ImageEffectDescriptor::setRenderThreadSafety(RenderSafetyEnum safety) {
    const char* value = safety == eRenderFullySafe      ? kOfxImageEffectRenderFullySafe
                        : safety == eRenderInstanceSafe ? kOfxImageEffectRenderInstanceSafe
                                                        : kOfxImageEffectRenderUnsafe;
    props_.propSetString(kOfxImageEffectPluginRenderThreadSafety, value);
}

void ImageEffectDescriptor::setNoSpatialAwareness(bool v) {
    props_.propSetString(kOfxImageEffectPropNoSpatialAwareness, v ? "true" : "false");
}

void ImageEffectDescriptor::setSequentialRender(int sequential) {
    props_.propSetInt(kOfxImageEffectInstancePropSequentialRender, sequential);
}

void ImageEffectDescriptor::setSupportsOpenCLRender(bool v) {
    props_.propSetString(kOfxImageEffectPropOpenCLRenderSupported, v ? "true" : "false");
}
void ImageEffectDescriptor::setSupportsCudaRender(bool v) {
    props_.propSetString(kOfxImageEffectPropCudaRenderSupported, v ? "true" : "false");
}
void ImageEffectDescriptor::setSupportsCudaStream(bool v) {
    props_.propSetString(kOfxImageEffectPropCudaStreamSupported, v ? "true" : "false");
}
void ImageEffectDescriptor::setSupportsMetalRender(bool v) {
    props_.propSetString(kOfxImageEffectPropMetalRenderSupported, v ? "true" : "false");
}

void ImageEffectDescriptor::setOverlayInteractDescriptor(EffectOverlayDescriptor* descriptor) {
    overlay_.reset(descriptor);
    if (descriptor) {
        props_.propSetPointer(kOfxImageEffectPluginPropOverlayInteractV1,
                              reinterpret_cast<void*>(descriptor->getMainEntry()));
    }
}

ClipDescriptor* ImageEffectDescriptor::defineClip(const std::string& name) {
    auto it = clips_.find(name);
    if (it != clips_.end()) return it->second.get();
    OfxPropertySetHandle props = nullptr;
    throwSuiteStatusException(Private::imageEffectSuite().clipDefine(handle_, name.c_str(), &props),
                              "definition of clip '" + name + "'");
    if (!props)
        throw Exception::Suite(kOfxStatFailed, "the host returned no properties for clip '" + name + "'");
    auto clip = std::make_unique<ClipDescriptor>(name, props);
    ClipDescriptor* raw = clip.get();
    clips_[name] = std::move(clip);
    return raw;
}

// ---------------------------------------------------------------------------------------------------------
// Setters

void ClipPreferencesSetter::setClipComponents(const Clip& clip, PixelComponentEnum components) {
    outArgs_.propSetString(("OfxImageClipPropComponents_" + clip.getName()).c_str(),
                           mapPixelComponentEnumToStr(components));
    didSomething_ = true;
}

void ClipPreferencesSetter::setClipBitDepth(const Clip& clip, BitDepthEnum depth) {
    outArgs_.propSetString(("OfxImageClipPropDepth_" + clip.getName()).c_str(), mapBitDepthEnumToStr(depth));
    didSomething_ = true;
}

void ClipPreferencesSetter::setPixelAspectRatio(const Clip& clip, double par) {
    outArgs_.propSetDouble(("OfxImageClipPropPAR_" + clip.getName()).c_str(), par);
    didSomething_ = true;
}

void ClipPreferencesSetter::setOutputFrameVarying(bool varying) {
    outArgs_.propSetInt(kOfxImageEffectFrameVarying, varying ? 1 : 0);
    didSomething_ = true;
}

void ClipPreferencesSetter::setOutputHasContinuousSamples(bool continuous) {
    outArgs_.propSetInt(kOfxImageClipPropContinuousSamples, continuous ? 1 : 0);
    didSomething_ = true;
}

void ClipPreferencesSetter::setOutputPremultiplication(PreMultiplicationEnum premult) {
    outArgs_.propSetString(kOfxImageEffectPropPreMultiplication, mapPreMultiplicationEnumToStr(premult));
    didSomething_ = true;
}

void ClipPreferencesSetter::setOutputFielding(FieldEnum fielding) {
    outArgs_.propSetString(kOfxImageClipPropFieldOrder, mapFieldEnumToStr(fielding));
    didSomething_ = true;
}

void RegionOfInterestSetter::setRegionOfInterest(const Clip& clip, const OfxRectD& region) {
    double values[4] = {region.x1, region.y1, region.x2, region.y2};
    outArgs_.propSetDoubleN(("OfxImageClipPropRoI_" + clip.getName()).c_str(), values, 4);
    didSomething_ = true;
}

// ---------------------------------------------------------------------------------------------------------
// ImageEffect

ImageEffect::ImageEffect(OfxImageEffectHandle handle) : handle_(handle) {
    OfxPropertySetHandle props = nullptr;
    throwSuiteStatusException(Private::imageEffectSuite().getPropertySet(handle, &props), "effect instance");
    props_.setHandle(props);
    OfxParamSetHandle params = nullptr;
    throwSuiteStatusException(Private::imageEffectSuite().getParamSet(handle, &params),
                              "instance parameters");
    setParamSetHandle(params);
    context_ = mapStrToContextEnum(props_.propGetString(kOfxImageEffectPropContext, 0, false));
    props_.propSetPointer(kOfxPropInstanceData, this);
}

ImageEffect::~ImageEffect() {
    // The host may still hold the handle for a moment; make sure it no longer leads here.
    if (props_.getHandle() && hostSuites().property) {
        hostSuites().property->propSetPointer(props_.getHandle(), kOfxPropInstanceData, 0, nullptr);
    }
}

void ImageEffect::render(const RenderArguments&) {}
void ImageEffect::beginSequenceRender(const BeginSequenceRenderArguments&) {}
void ImageEffect::endSequenceRender(const EndSequenceRenderArguments&) {}
bool ImageEffect::isIdentity(const IsIdentityArguments&, Clip*&, double&) {
    return false;
}
bool ImageEffect::getRegionOfDefinition(const RegionOfDefinitionArguments&, OfxRectD&) {
    return false;
}
void ImageEffect::getRegionsOfInterest(const RegionsOfInterestArguments&, RegionOfInterestSetter&) {}
void ImageEffect::getClipPreferences(ClipPreferencesSetter&) {}
void ImageEffect::purgeCaches() {}
void ImageEffect::syncPrivateData() {}
void ImageEffect::changedParam(const InstanceChangedArgs&, const std::string&) {}
void ImageEffect::changedClip(const InstanceChangedArgs&, const std::string&) {}
void ImageEffect::beginChanged(ChangeReasonEnum) {}
void ImageEffect::endChanged(ChangeReasonEnum) {}
void ImageEffect::beginEdit() {}
void ImageEffect::endEdit() {}

Clip* ImageEffect::fetchClip(const std::string& name) {
    std::lock_guard<std::mutex> lock(clipMutex_);
    auto it = clips_.find(name);
    if (it != clips_.end()) return it->second.get();
    OfxImageClipHandle handle = nullptr;
    OfxPropertySetHandle props = nullptr;
    OfxStatus st = Private::imageEffectSuite().clipGetHandle(handle_, name.c_str(), &handle, &props);
    if (st == kOfxStatErrUnknown || (st == kOfxStatOK && !handle)) {
        throw Exception::TypeRequest("no clip named '" + name + "'");
    }
    throwSuiteStatusException(st, "clip '" + name + "'");
    if (!props) {
        throwSuiteStatusException(Private::imageEffectSuite().clipGetPropertySet(handle, &props),
                                  "properties of clip '" + name + "'");
    }
    auto clip = std::make_unique<Clip>(name, handle, props);
    Clip* raw = clip.get();
    clips_[name] = std::move(clip);
    return raw;
}

bool ImageEffect::clipExists(const std::string& name) const {
    const OfxImageEffectSuiteV1* suite = hostSuites().imageEffect;
    if (!suite) return false;
    OfxImageClipHandle handle = nullptr;
    return suite->clipGetHandle(handle_, name.c_str(), &handle, nullptr) == kOfxStatOK && handle;
}

double ImageEffect::getFrameRate() const {
    return props_.propGetDouble(kOfxImageEffectPropFrameRate, 0, false);
}

namespace {
OfxPointD point(const PropertySet& props, const char* name) {
    return OfxPointD{props.propGetDouble(name, 0, false), props.propGetDouble(name, 1, false)};
}
}  // namespace

OfxPointD ImageEffect::getProjectSize() const {
    return point(props_, kOfxImageEffectPropProjectSize);
}
OfxPointD ImageEffect::getProjectOffset() const {
    return point(props_, kOfxImageEffectPropProjectOffset);
}
OfxPointD ImageEffect::getProjectExtent() const {
    return point(props_, kOfxImageEffectPropProjectExtent);
}
double ImageEffect::getProjectPixelAspectRatio() const {
    return props_.propGetDouble(kOfxImageEffectPropProjectPixelAspectRatio, 0, false);
}
bool ImageEffect::isInteractive() const {
    return props_.propGetInt(kOfxPropIsInteractive, 0, false) != 0;
}

namespace {
const OfxTimeLineSuiteV1& timeLine() {
    if (!hostSuites().timeLine) throwHostMissingSuiteException("time line suite");
    return *hostSuites().timeLine;
}
}  // namespace

double ImageEffect::timeLineGetTime() const {
    double time = 0;
    throwSuiteStatusException(timeLine().getTime(handle_, &time), "time line");
    return time;
}

void ImageEffect::timeLineGotoTime(double time) {
    throwSuiteStatusException(timeLine().gotoTime(handle_, time), "time line");
}

void ImageEffect::timeLineGetBounds(double& t1, double& t2) const {
    throwSuiteStatusException(timeLine().getTimeBounds(handle_, &t1, &t2), "time line");
}

namespace {

const char* messageTypeName(MessageTypeEnum type) {
    switch (type) {
        case eMessageFatal:
            return kOfxMessageFatal;
        case eMessageError:
            return kOfxMessageError;
        case eMessageWarning:
            return kOfxMessageWarning;
        case eMessageLog:
            return kOfxMessageLog;
        case eMessageQuestion:
            return kOfxMessageQuestion;
        case eMessageMessage:
        default:
            return kOfxMessageMessage;
    }
}

MessageReplyEnum reply(OfxStatus status) {
    switch (status) {
        case kOfxStatOK:
            return eMessageReplyOK;
        case kOfxStatReplyYes:
            return eMessageReplyYes;
        case kOfxStatReplyNo:
            return eMessageReplyNo;
        default:
            return eMessageReplyFailed;
    }
}

}  // namespace

MessageReplyEnum ImageEffect::sendMessage(MessageTypeEnum type, const std::string& id,
                                          const std::string& message) {
    const HostSuites& s = hostSuites();
    OfxStatus st;
    if (s.messageV2) {
        st = s.messageV2->message(handle_, messageTypeName(type), id.c_str(), "%s", message.c_str());
    } else if (s.messageV1) {
        st = s.messageV1->message(handle_, messageTypeName(type), id.c_str(), "%s", message.c_str());
    } else {
        VLOG_ERROR("Message suite not available; message was: %s", message.c_str());
        return eMessageReplyFailed;
    }
    return reply(st);
}

MessageReplyEnum ImageEffect::setPersistentMessage(MessageTypeEnum type, const std::string& id,
                                                   const std::string& message) {
    if (!hostSuites().messageV2) {
        VLOG_ERROR("Persistent messages not available; message was: %s", message.c_str());
        return eMessageReplyFailed;
    }
    return reply(hostSuites().messageV2->setPersistentMessage(handle_, messageTypeName(type), id.c_str(),
                                                              "%s", message.c_str()));
}

void ImageEffect::clearPersistentMessage() {
    if (hostSuites().messageV2) hostSuites().messageV2->clearPersistentMessage(handle_);
}

void ImageEffect::progressStart(const std::string& message, const std::string& messageId) {
    const HostSuites& s = hostSuites();
    OfxStatus st = kOfxStatFailed;
    if (s.progressV2) {
        st = s.progressV2->progressStart(handle_, message.c_str(), messageId.c_str());
    } else if (s.progressV1) {
        st = s.progressV1->progressStart(handle_, message.c_str());
    } else {
        VLOG_DEBUG("Progress suite not available");
    }
    progressStarted_ = st == kOfxStatOK;
}

bool ImageEffect::progressUpdate(double fraction) {
    if (!progressStarted_) return true;
    const HostSuites& s = hostSuites();
    OfxStatus st = s.progressV2   ? s.progressV2->progressUpdate(handle_, fraction)
                   : s.progressV1 ? s.progressV1->progressUpdate(handle_, fraction)
                                  : kOfxStatOK;
    return st != kOfxStatReplyNo;
}

void ImageEffect::progressEnd() {
    if (!progressStarted_) return;
    progressStarted_ = false;
    const HostSuites& s = hostSuites();
    if (s.progressV2) {
        s.progressV2->progressEnd(handle_);
    } else if (s.progressV1) {
        s.progressV1->progressEnd(handle_);
    }
}

bool ImageEffect::abort() const {
    const OfxImageEffectSuiteV1* suite = hostSuites().imageEffect;
    return suite && suite->abort(handle_) != 0;
}

ImageEffect* retrieveImageEffectPointer(OfxImageEffectHandle handle) {
    const HostSuites& s = hostSuites();
    if (!handle || !s.imageEffect || !s.property) return nullptr;
    OfxPropertySetHandle props = nullptr;
    if (s.imageEffect->getPropertySet(handle, &props) != kOfxStatOK || !props) return nullptr;
    void* data = nullptr;
    if (s.property->propGetPointer(props, kOfxPropInstanceData, 0, &data) != kOfxStatOK) return nullptr;
    return static_cast<ImageEffect*>(data);
}

}  // namespace OFX
