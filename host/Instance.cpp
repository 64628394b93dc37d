#include "Instance.h"

#include <algorithm>

#include "DeviceImages.h"
#include "Host.h"
#include "HostError.h"
#include "PluginRecord.h"
#include "ofxGPURender.h"

namespace vhost {

namespace {

void declareRenderGpuArgs(PropertySet& args) {
    args.declareInt(kOfxImageEffectPropCudaEnabled, 0);
    args.declarePointer(kOfxImageEffectPropCudaStream, nullptr);
    args.declareInt(kOfxImageEffectPropOpenCLEnabled, 0);
    args.declarePointer(kOfxImageEffectPropOpenCLCommandQueue, nullptr);
    args.declareInt(kOfxImageEffectPropMetalEnabled, 0);
    args.declarePointer(kOfxImageEffectPropMetalCommandQueue, nullptr);
    args.declareInt(kOfxImageEffectPropOpenGLEnabled, 0);
}

bool inside(const OfxRectI& inner, const OfxRectI& outer) {
    return inner.x1 >= outer.x1 && inner.y1 >= outer.y1 && inner.x2 <= outer.x2 && inner.y2 <= outer.y2 &&
           inner.x1 <= inner.x2 && inner.y1 <= inner.y2;
}

std::string rectText(const OfxRectI& r) {
    return "(" + std::to_string(r.x1) + "," + std::to_string(r.y1) + ")-(" + std::to_string(r.x2) + "," +
           std::to_string(r.y2) + ")";
}

}  // namespace

Instance::Instance(std::shared_ptr<PluginRecord> record, const std::string& context)
    : record_(std::move(record)), state_(std::make_unique<State>()) {
    state_->self = this;
    EffectObject& descriptor = record_->contextDescriptor(context);
    object_ = std::make_unique<EffectObject>(&record_->host(), EffectRole::Instance, context);
    object_->cloneFrom(descriptor);
    object_->props().putInt(kOfxPropIsInteractive, {record_->host().identity().isInteractive ? 1 : 0});
    double first = 0, last = 0;
    record_->host().timeBounds(&first, &last);
    object_->props().putDouble(kOfxImageEffectInstancePropEffectDuration, {last - first + 1});
    for (const auto& c : object_->clips()) c->props().putDouble(kOfxImageEffectPropFrameRange, {first, last});
    State* state = state_.get();
    object_->params().onPluginChange = [state](Param& p) { state->self->pluginChanged(p); };
    const OfxStatus status = call(kOfxActionCreateInstance, nullptr, nullptr);
    if (!succeeded(status))
        throw HostError("plug-in " + record_->identifier() + " failed to create an instance in context " +
                            context + ": " + statusName(status),
                        status);
    state_->created = true;
}

Instance::Instance(Instance&& other) noexcept
    : record_(std::move(other.record_)), object_(std::move(other.object_)), state_(std::move(other.state_)) {
    if (state_) state_->self = this;
}

Instance::~Instance() {
    if (!state_ || !state_->created) return;
    call(kOfxActionDestroyInstance, nullptr, nullptr);
    object_->params().onPluginChange = nullptr;
}

const std::string& Instance::context() const {
    return object_->context();
}

OfxStatus Instance::call(const char* action, OfxPropertySetHandle in, OfxPropertySetHandle out,
                         const std::string& note) {
    return record_->call(action, object_->handle(), in, out, note);
}

Param& Instance::param(const std::string& name) {
    Param* p = object_->params().find(name);
    if (p == nullptr) throw HostError("the effect has no parameter '" + name + "'", kOfxStatErrUnknown);
    return *p;
}

ParamValue Instance::value(const std::string& name) const {
    return valueAt(name, record_->host().time());
}

ParamValue Instance::valueAt(const std::string& name, double time) const {
    return const_cast<Instance*>(this)->param(name).valueAt(time);
}

OfxStatus Instance::setParam(const std::string& name, const ParamValue& value) {
    Param& p = param(name);
    const double time = record_->host().time();
    try {
        p.assign(value, time, false);
    } catch (const std::invalid_argument& e) {
        throw HostError(e.what(), kOfxStatErrValue);
    }
    return announceChange(kOfxTypeParameter, name, kOfxChangeUserEdited, time);
}

OfxStatus Instance::setParamAtTime(const std::string& name, double time, const ParamValue& value) {
    Param& p = param(name);
    try {
        p.assign(value, time, true);
    } catch (const std::invalid_argument& e) {
        throw HostError(e.what(), kOfxStatErrValue);
    }
    return announceChange(kOfxTypeParameter, name, kOfxChangeUserEdited, time);
}

OfxStatus Instance::pressButton(const std::string& name) {
    Param& p = param(name);
    if (p.kind() != ParamKind::PushButton)
        throw HostError("parameter '" + name + "' is not a push button", kOfxStatErrValue);
    return announceChange(kOfxTypeParameter, name, kOfxChangeUserEdited, record_->host().time());
}

std::vector<std::string> Instance::choiceOptions(const std::string& name) const {
    return const_cast<Instance*>(this)->param(name).props().strings(kOfxParamPropChoiceOption);
}

bool Instance::undo() {
    // Undo restores values the user sees change, so it announces each of them.
    const auto& blocks = object_->params().undoBlocks();
    if (blocks.empty() || blocks.back().open) return false;
    const std::vector<std::string> names = blocks.back().params;
    if (!object_->params().undoLast()) return false;
    for (const auto& name : names)
        announceChange(kOfxTypeParameter, name, kOfxChangeUserEdited, record_->host().time());
    return true;
}

void Instance::pluginChanged(Param& p) {
    std::lock_guard<std::recursive_mutex> lock(state_->changeMutex);
    state_->preferencesDirty = true;
    // Outside an instance-changed action the plug-in's writes are stored silently.
    if (state_->changeDepth == 0) return;
    if (state_->announcedEdits.count(p.name())) return;
    if (std::find(state_->pendingEdits.begin(), state_->pendingEdits.end(), p.name()) !=
        state_->pendingEdits.end())
        return;
    state_->pendingEdits.push_back(p.name());
}

OfxStatus Instance::sendChanged(const std::string& type, const std::string& name, const std::string& reason,
                                double time) {
    PropertySet begin("beginInstanceChangedArgs", false);
    begin.declareString(kOfxPropChangeReason, reason);
    PropertySet args("instanceChangedArgs", false);
    args.declareString(kOfxPropType, type);
    args.declareString(kOfxPropName, name);
    args.declareString(kOfxPropChangeReason, reason);
    args.declareDouble(kOfxPropTime, time);
    args.declareDouble(kOfxImageEffectPropRenderScale, {1.0, 1.0}, 2);
    const std::string note = type + " " + name + " (" + reason + ")";

    OfxStatus beginStatus = call(kOfxActionBeginInstanceChanged, begin.handle(), nullptr, note);
    OfxStatus status = call(kOfxActionInstanceChanged, args.handle(), nullptr, note);
    OfxStatus endStatus = call(kOfxActionEndInstanceChanged, begin.handle(), nullptr, note);
    if (!succeeded(status)) return status;
    if (!succeeded(beginStatus)) return beginStatus;
    if (!succeeded(endStatus)) return endStatus;
    return status;
}

OfxStatus Instance::announceChange(const std::string& type, const std::string& name,
                                   const std::string& reason, double time) {
    std::lock_guard<std::recursive_mutex> lock(state_->changeMutex);
    state_->preferencesDirty = true;
    const bool outermost = state_->changeDepth == 0;
    if (outermost) {
        state_->announcedEdits.clear();
        state_->pendingEdits.clear();
    }
    ++state_->changeDepth;
    OfxStatus status = sendChanged(type, name, reason, time);
    if (outermost) {
        // The plug-in's own edits, each parameter once; further edits they cause join the queue.
        while (!state_->pendingEdits.empty()) {
            const std::string edited = state_->pendingEdits.front();
            state_->pendingEdits.pop_front();
            state_->announcedEdits.insert(edited);
            const OfxStatus s = sendChanged(kOfxTypeParameter, edited, kOfxChangePluginEdited, time);
            if (succeeded(status) && !succeeded(s)) status = s;
        }
        state_->announcedEdits.clear();
    }
    --state_->changeDepth;
    return status;
}

Clip& Instance::clip(const std::string& name) {
    Clip* c = object_->clip(name);
    if (c == nullptr) throw HostError("the effect has no clip '" + name + "'", kOfxStatErrUnknown);
    return *c;
}

OfxStatus Instance::connect(const std::string& name, double time, bool timed, ImagePtr image) {
    Clip& c = clip(name);
    if (!image) throw HostError("no image given for clip '" + name + "'", kOfxStatErrValue);
    if (timed)
        c.connectAt(time, std::move(image));
    else
        c.connect(std::move(image));
    if (name == kOfxImageEffectSimpleSourceClipName || name == kOfxImageEffectTransitionSourceFromClipName) {
        // The project takes the size of the main input.
        ImagePtr main = c.imageAt(time);
        const double w = main->width(), h = main->height();
        object_->props().putDouble(kOfxImageEffectPropProjectSize, {w, h});
        object_->props().putDouble(kOfxImageEffectPropProjectExtent, {w, h});
    }
    return announceChange(kOfxTypeClip, name, kOfxChangeUserEdited, time);
}

OfxStatus Instance::connectClip(const std::string& name, ImagePtr image) {
    return connect(name, record_->host().time(), false, std::move(image));
}

OfxStatus Instance::connectClipAt(const std::string& name, double time, ImagePtr image) {
    return connect(name, time, true, std::move(image));
}

OfxStatus Instance::disconnectClip(const std::string& name) {
    clip(name).disconnect();
    return announceChange(kOfxTypeClip, name, kOfxChangeUserEdited, record_->host().time());
}

ImagePtr Instance::clipImage(const std::string& name, double time) {
    return clip(name).imageAt(time);
}

int Instance::outstandingImages() const {
    int n = 0;
    for (const auto& c : object_->clips()) n += c->outstandingImages();
    return n;
}

OfxStatus Instance::clipPreferences() {
    PropertySet out("clipPreferencesArgs", true);
    for (const auto& c : object_->clips()) {
        out.declareString("OfxImageClipPropComponents_" + c->name(), kOfxImageComponentRGBA);
        out.declareString("OfxImageClipPropDepth_" + c->name(), kOfxBitDepthFloat);
        out.declareDouble("OfxImageClipPropPAR_" + c->name(), 1.0);
    }
    out.declareDouble(kOfxImageEffectPropFrameRate, 24.0);
    out.declareDouble(kOfxImagePropPixelAspectRatio, 1.0);
    out.declareString(kOfxImageEffectPropPreMultiplication, kOfxImagePreMultiplied);
    out.declareInt(kOfxImageClipPropContinuousSamples, 0);
    out.declareInt(kOfxImageEffectFrameVarying, 0);
    out.declareString(kOfxImageClipPropFieldOrder, kOfxImageFieldNone);
    const OfxStatus status = call(kOfxImageEffectActionGetClipPreferences, nullptr, out.handle());
    if (status == kOfxStatOK) {
        if (Clip* output = object_->clip(kOfxImageEffectOutputClipName)) {
            output->props().putInt(kOfxImageEffectFrameVarying, {out.integer(kOfxImageEffectFrameVarying)});
            output->props().putString(kOfxImageEffectPropPreMultiplication,
                                      {out.string(kOfxImageEffectPropPreMultiplication)});
        }
    }
    if (succeeded(status)) state_->preferencesDirty = false;
    return status;
}

OfxStatus Instance::render(double time, OfxRectI window, OfxPointD renderScale) {
    RenderOptions options;
    options.renderScale = renderScale;
    return render(time, window, options);
}

OfxStatus Instance::render(double time, OfxRectI window, const RenderOptions& options) {
    if (!(options.renderScale.x > 0 && options.renderScale.y > 0))
        throw HostError("render scale must be positive", kOfxStatErrValue);
    const bool onDevice = rendersOnDevice(options);
    const bool fullySafe =
        object_->props().string(kOfxImageEffectPluginRenderThreadSafety) == kOfxImageEffectRenderFullySafe;
    // The device copies belong to one render at a time.
    std::unique_lock<std::mutex> serial(state_->renderMutex, std::defer_lock);
    if (!fullySafe || onDevice) serial.lock();

    Clip* output = object_->clip(kOfxImageEffectOutputClipName);
    if (output == nullptr) throw HostError("the effect has no Output clip", kOfxStatErrValue);
    ImagePtr target = output->imageAt(time);
    if (!target) {
        target = std::make_shared<Image>(window);
        output->connect(target);
    }
    if (!inside(window, target->bounds()))
        throw HostError("render window " + rectText(window) + " is not inside the output image " +
                            rectText(target->bounds()),
                        kOfxStatErrValue);

    if (state_->preferencesDirty) {
        const OfxStatus prefs = clipPreferences();
        if (!succeeded(prefs)) return prefs;
    }
    object_->renderScale[0] = options.renderScale.x;
    object_->renderScale[1] = options.renderScale.y;

    PropertySet seq("sequenceRenderArgs", false);
    seq.declareDouble(kOfxImageEffectPropFrameRange, {time, time}, 2);
    seq.declareDouble(kOfxImageEffectPropFrameStep, 1.0);
    seq.declareInt(kOfxPropIsInteractive, options.interactive ? 1 : 0);
    seq.declareDouble(kOfxImageEffectPropRenderScale, {options.renderScale.x, options.renderScale.y}, 2);
    seq.declareInt(kOfxImageEffectPropSequentialRenderStatus, options.sequential ? 1 : 0);
    seq.declareInt(kOfxImageEffectPropInteractiveRenderStatus, options.interactive ? 1 : 0);
    declareRenderGpuArgs(seq);

    PropertySet args("renderArgs", false);
    args.declareDouble(kOfxPropTime, time);
    args.declareString(kOfxImageEffectPropFieldToRender, options.field);
    args.declareInt(kOfxImageEffectPropRenderWindow, {window.x1, window.y1, window.x2, window.y2}, 4);
    args.declareDouble(kOfxImageEffectPropRenderScale, {options.renderScale.x, options.renderScale.y}, 2);
    args.declareInt(kOfxImageEffectPropSequentialRenderStatus, options.sequential ? 1 : 0);
    args.declareInt(kOfxImageEffectPropInteractiveRenderStatus, options.interactive ? 1 : 0);
    args.declareInt(kOfxImageEffectPropRenderQualityDraft, options.draft ? 1 : 0);
    declareRenderGpuArgs(args);

    state_->lastRenderOnDevice = onDevice;
#if VELMORA_HAVE_CUDA
    std::unique_ptr<DeviceImages> device;
    if (onDevice) {
        const bool withStream =
            record_->host().identity().cudaStream && effectAnnounces(kOfxImageEffectPropCudaStreamSupported);
        device = std::make_unique<DeviceImages>(withStream);
        for (PropertySet* set : {&seq, &args}) {
            set->putInt(kOfxImageEffectPropCudaEnabled, {1});
            set->putPointer(kOfxImageEffectPropCudaStream, {device->stream()});
        }
    }
    struct DeviceScope {
        EffectObject& object;
        ~DeviceScope() { object.deviceImages = nullptr; }
    } scope{*object_};
    object_->deviceImages = device.get();
#endif

    const OfxStatus begin = call(kOfxImageEffectActionBeginSequenceRender, seq.handle(), nullptr);
    if (!succeeded(begin)) return begin;
    const OfxStatus status = call(kOfxImageEffectActionRender, args.handle(), nullptr);
    const OfxStatus end = call(kOfxImageEffectActionEndSequenceRender, seq.handle(), nullptr);
    if (!succeeded(status)) return status;
#if VELMORA_HAVE_CUDA
    std::string error;
    if (device && !device->download(*target, &error))
        throw HostError("copying the rendered image back from the device failed: " + error, kOfxStatFailed);
#endif
    return succeeded(end) ? status : end;
}

bool Instance::effectAnnounces(const char* property) const {
    const std::string value = object_->props().string(property);
    return value == "true" || value == "needed";
}

bool Instance::rendersOnDevice(const RenderOptions& options) const {
    return options.cudaImages && record_->host().identity().cudaRender &&
           effectAnnounces(kOfxImageEffectPropCudaRenderSupported) && deviceImagesUsable();
}

IdentityResult Instance::isIdentity(double time, OfxRectI window, OfxPointD renderScale) {
    PropertySet in("isIdentityArgs", false);
    in.declareDouble(kOfxPropTime, time);
    in.declareString(kOfxImageEffectPropFieldToRender, kOfxImageFieldNone);
    in.declareInt(kOfxImageEffectPropRenderWindow, {window.x1, window.y1, window.x2, window.y2}, 4);
    in.declareDouble(kOfxImageEffectPropRenderScale, {renderScale.x, renderScale.y}, 2);
    PropertySet out("isIdentityResult", false);
    out.declareString(kOfxPropName, "");
    out.declareDouble(kOfxPropTime, time);
    IdentityResult result;
    result.status = call(kOfxImageEffectActionIsIdentity, in.handle(), out.handle());
    result.time = out.number(kOfxPropTime, 0, time);
    if (result.status == kOfxStatOK) {
        result.clip = out.string(kOfxPropName);
        result.identity = object_->clip(result.clip) != nullptr;
        // An identity that names no clip of the effect is an error of the plug-in.
        if (!result.identity) result.status = kOfxStatErrValue;
    }
    return result;
}

OfxStatus Instance::regionOfDefinition(double time, OfxPointD renderScale, OfxRectD* rod) {
    PropertySet in("regionOfDefinitionArgs", false);
    in.declareDouble(kOfxPropTime, time);
    in.declareDouble(kOfxImageEffectPropRenderScale, {renderScale.x, renderScale.y}, 2);
    PropertySet out("regionOfDefinitionResult", false);
    out.declareDouble(kOfxImageEffectPropRegionOfDefinition, {0, 0, 0, 0}, 4);
    const OfxStatus status = call(kOfxImageEffectActionGetRegionOfDefinition, in.handle(), out.handle());
    if (status == kOfxStatOK) {
        const auto v = out.doubles(kOfxImageEffectPropRegionOfDefinition);
        *rod = OfxRectD{v[0], v[1], v[2], v[3]};
    } else if (status == kOfxStatReplyDefault) {
        // The default: the main input's region, or the project's for effects without one.
        Clip* source = object_->clip(kOfxImageEffectSimpleSourceClipName);
        if (source == nullptr) source = object_->clip(kOfxImageEffectTransitionSourceFromClipName);
        if (source != nullptr && source->connected()) {
            source->regionOfDefinition(time, rod);
        } else {
            const auto size = object_->props().doubles(kOfxImageEffectPropProjectExtent);
            *rod = OfxRectD{0, 0, size[0], size[1]};
        }
    }
    return status;
}

OfxStatus Instance::beginInstanceEdit() {
    return call(kOfxActionBeginInstanceEdit, nullptr, nullptr);
}
OfxStatus Instance::endInstanceEdit() {
    return call(kOfxActionEndInstanceEdit, nullptr, nullptr);
}
OfxStatus Instance::syncPrivateData() {
    return call(kOfxActionSyncPrivateData, nullptr, nullptr);
}
OfxStatus Instance::purgeCaches() {
    return call(kOfxActionPurgeCaches, nullptr, nullptr);
}

}  // namespace vhost
