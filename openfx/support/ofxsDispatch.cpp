// The two exported entry points and the action dispatch of effects and interacts.

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "PluginLog.h"
#include "ofxsImageEffect.h"
#include "ofxsInteract.h"
#include "ofxsPrivate.h"
#include "ofxsSuites.h"

namespace OFX {
namespace Private {

void logActionFailure(const char* action, const char* what) {
    VLOG_ERROR("OpenFX action %s failed: %s", action ? action : "(none)", what ? what : "");
}

namespace {

// The factories and the plug-in records handed to the host, built on the first export call.
struct Registry {
    std::mutex mutex;
    bool initialised = false;
    PluginFactoryArray factories;
    std::vector<OfxPlugin> plugins;
    // Descriptors live from their describe action until unload; the overlay descriptors they own must
    // outlive every interact the host creates from them.
    std::map<PluginFactory*, std::vector<std::unique_ptr<ImageEffectDescriptor>>> descriptors;
};

Registry& registry() {
    static Registry r;
    return r;
}

void setHostEntry(OfxHost* host) {
    setHost(host);
}

void ensureInitialised() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (r.initialised) return;
    PluginFactoryArray factories;
    try {
        Plugin::getPluginIDs(factories);
    } catch (const std::exception& e) {
        VLOG_ERROR("Plug-in factory list failed: %s", e.what());
        return;  // nothing registered; the next export call tries again
    } catch (...) {
        VLOG_ERROR("Plug-in factory list failed: unknown exception");
        return;
    }
    r.factories.clear();
    r.plugins.clear();
    for (PluginFactory* f : factories) {
        if (!f) continue;
        r.factories.push_back(f);
        OfxPlugin p;
        p.pluginApi = kOfxImageEffectPluginApi;
        p.apiVersion = kOfxImageEffectPluginApiVersion;
        p.pluginIdentifier = f->getID().c_str();
        p.pluginVersionMajor = f->getMajorVersion();
        p.pluginVersionMinor = f->getMinorVersion();
        p.setHost = &setHostEntry;
        p.mainEntry = f->getMainEntry();
        r.plugins.push_back(p);
    }
    r.initialised = true;
}

ImageEffectDescriptor& keepDescriptor(PluginFactory& factory, OfxImageEffectHandle handle) {
    Registry& r = registry();
    auto descriptor = std::make_unique<ImageEffectDescriptor>(handle);
    ImageEffectDescriptor& ref = *descriptor;
    std::lock_guard<std::mutex> lock(r.mutex);
    r.descriptors[&factory].push_back(std::move(descriptor));
    return ref;
}

void dropDescriptors(PluginFactory& factory) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.descriptors.erase(&factory);
}

OfxPointD renderScaleOf(const PropertySet& args) {
    OfxPointD scale{1.0, 1.0};
    if (args.propExists(kOfxImageEffectPropRenderScale)) {
        scale.x = args.propGetDouble(kOfxImageEffectPropRenderScale, 0, false);
        scale.y = args.propGetDouble(kOfxImageEffectPropRenderScale, 1, false);
    }
    return scale;
}

OfxRectI renderWindowOf(const PropertySet& args) {
    int w[4] = {0, 0, 0, 0};
    args.propGetIntN(kOfxImageEffectPropRenderWindow, w, 4);
    return OfxRectI{w[0], w[1], w[2], w[3]};
}

bool flagOf(const PropertySet& args, const char* name) {
    return args.propGetInt(name, 0, false) != 0;
}

ChangeReasonEnum reasonOf(const PropertySet& args) {
    std::string reason = args.propGetString(kOfxPropChangeReason, 0, false);
    if (reason == kOfxChangePluginEdited) return eChangePluginEdit;
    if (reason == kOfxChangeTime) return eChangeTime;
    return eChangeUserEdit;
}

ImageEffect& instanceOf(OfxImageEffectHandle handle) {
    ImageEffect* effect = retrieveImageEffectPointer(handle);
    if (!effect) throw Exception::Suite(kOfxStatErrBadHandle, "no effect instance behind the handle");
    return *effect;
}

OfxStatus render(ImageEffect& effect, const PropertySet& in) {
    RenderArguments args;
    args.time = in.propGetDouble(kOfxPropTime);
    args.renderScale = renderScaleOf(in);
    args.renderWindow = renderWindowOf(in);
    args.fieldToRender = mapStrToFieldEnum(in.propGetString(kOfxImageEffectPropFieldToRender, 0, false));
    args.sequentialRenderStatus = flagOf(in, kOfxImageEffectPropSequentialRenderStatus);
    args.interactiveRenderStatus = flagOf(in, kOfxImageEffectPropInteractiveRenderStatus);
    args.renderQualityDraft = flagOf(in, kOfxImageEffectPropRenderQualityDraft);
    args.isEnabledOpenGLRender = flagOf(in, kOfxImageEffectPropOpenGLEnabled);
    args.isEnabledCudaRender = flagOf(in, kOfxImageEffectPropCudaEnabled);
    args.isEnabledOpenCLRender = flagOf(in, kOfxImageEffectPropOpenCLEnabled);
    args.isEnabledMetalRender = flagOf(in, kOfxImageEffectPropMetalEnabled);
    if (args.isEnabledCudaRender)
        args.pCudaStream = in.propGetPointer(kOfxImageEffectPropCudaStream, 0, false);
    if (args.isEnabledOpenCLRender) {
        args.pOpenCLCmdQ = in.propGetPointer(kOfxImageEffectPropOpenCLCommandQueue, 0, false);
    }
    if (args.isEnabledMetalRender) {
        args.pMetalCmdQ = in.propGetPointer(kOfxImageEffectPropMetalCommandQueue, 0, false);
    }
    effect.render(args);
    return kOfxStatOK;
}

OfxStatus isIdentity(ImageEffect& effect, const PropertySet& in, PropertySet& out) {
    IsIdentityArguments args;
    args.time = in.propGetDouble(kOfxPropTime);
    args.renderScale = renderScaleOf(in);
    args.renderWindow = renderWindowOf(in);
    args.fieldToRender = mapStrToFieldEnum(in.propGetString(kOfxImageEffectPropFieldToRender, 0, false));
    Clip* clip = nullptr;
    double time = args.time;
    if (!effect.isIdentity(args, clip, time)) return kOfxStatReplyDefault;
    if (!clip) {
        VLOG_ERROR("isIdentity answered true without naming a clip; rendering instead");
        return kOfxStatReplyDefault;
    }
    out.propSetString(kOfxPropName, clip->getName());
    out.propSetDouble(kOfxPropTime, time);
    return kOfxStatOK;
}

OfxStatus regionOfDefinition(ImageEffect& effect, const PropertySet& in, PropertySet& out) {
    RegionOfDefinitionArguments args;
    args.time = in.propGetDouble(kOfxPropTime);
    args.renderScale = renderScaleOf(in);
    OfxRectD rod{0, 0, 0, 0};
    if (!effect.getRegionOfDefinition(args, rod)) return kOfxStatReplyDefault;
    double values[4] = {rod.x1, rod.y1, rod.x2, rod.y2};
    out.propSetDoubleN(kOfxImageEffectPropRegionOfDefinition, values, 4);
    return kOfxStatOK;
}

OfxStatus regionsOfInterest(ImageEffect& effect, const PropertySet& in, OfxPropertySetHandle out) {
    RegionsOfInterestArguments args;
    args.time = in.propGetDouble(kOfxPropTime);
    args.renderScale = renderScaleOf(in);
    double roi[4] = {0, 0, 0, 0};
    in.propGetDoubleN(kOfxImageEffectPropRegionOfInterest, roi, 4, false);
    args.regionOfInterest = OfxRectD{roi[0], roi[1], roi[2], roi[3]};
    RegionOfInterestSetter setter(out);
    effect.getRegionsOfInterest(args, setter);
    return setter.didSomething() ? kOfxStatOK : kOfxStatReplyDefault;
}

OfxStatus clipPreferences(ImageEffect& effect, OfxPropertySetHandle out) {
    ClipPreferencesSetter setter(out);
    effect.getClipPreferences(setter);
    return setter.didSomething() ? kOfxStatOK : kOfxStatReplyDefault;
}

OfxStatus beginSequence(ImageEffect& effect, const PropertySet& in) {
    BeginSequenceRenderArguments args;
    args.frameRange.min = in.propGetDouble(kOfxImageEffectPropFrameRange, 0, false);
    args.frameRange.max = in.propGetDouble(kOfxImageEffectPropFrameRange, 1, false);
    args.frameStep = in.propGetDouble(kOfxImageEffectPropFrameStep, 0, false);
    args.isInteractive = flagOf(in, kOfxPropIsInteractive);
    args.renderScale = renderScaleOf(in);
    args.sequentialRenderStatus = flagOf(in, kOfxImageEffectPropSequentialRenderStatus);
    args.interactiveRenderStatus = flagOf(in, kOfxImageEffectPropInteractiveRenderStatus);
    args.isEnabledCudaRender = flagOf(in, kOfxImageEffectPropCudaEnabled);
    if (args.isEnabledCudaRender)
        args.pCudaStream = in.propGetPointer(kOfxImageEffectPropCudaStream, 0, false);
    effect.beginSequenceRender(args);
    return kOfxStatOK;
}

OfxStatus endSequence(ImageEffect& effect, const PropertySet& in) {
    EndSequenceRenderArguments args;
    args.isInteractive = flagOf(in, kOfxPropIsInteractive);
    args.renderScale = renderScaleOf(in);
    args.sequentialRenderStatus = flagOf(in, kOfxImageEffectPropSequentialRenderStatus);
    args.interactiveRenderStatus = flagOf(in, kOfxImageEffectPropInteractiveRenderStatus);
    effect.endSequenceRender(args);
    return kOfxStatOK;
}

OfxStatus instanceChanged(ImageEffect& effect, const PropertySet& in) {
    InstanceChangedArgs args;
    args.reason = reasonOf(in);
    args.time = in.propGetDouble(kOfxPropTime, 0, false);
    args.renderScale = renderScaleOf(in);
    std::string type = in.propGetString(kOfxPropType);
    std::string name = in.propGetString(kOfxPropName);
    if (type == kOfxTypeParameter) {
        effect.changedParam(args, name);
    } else if (type == kOfxTypeClip) {
        effect.changedClip(args, name);
    } else {
        return kOfxStatReplyDefault;
    }
    return kOfxStatOK;
}

OfxStatus dispatch(const std::string& action, const void* handle, OfxPropertySetHandle inArgs,
                   OfxPropertySetHandle outArgs, PluginFactory& factory) {
    auto effectHandle = static_cast<OfxImageEffectHandle>(const_cast<void*>(handle));
    PropertySet in(inArgs);
    PropertySet out(outArgs);

    if (action == kOfxActionLoad) {
        fetchSuites();
        loadHostDescription();
        factory.load();
        return kOfxStatOK;
    }
    if (action == kOfxActionUnload) {
        factory.unload();
        dropDescriptors(factory);
        return kOfxStatOK;
    }
    if (action == kOfxActionDescribe) {
        factory.describe(keepDescriptor(factory, effectHandle));
        return kOfxStatOK;
    }
    if (action == kOfxImageEffectActionDescribeInContext) {
        ContextEnum context = mapStrToContextEnum(in.propGetString(kOfxImageEffectPropContext));
        if (context == eContextNone) return kOfxStatErrUnsupported;
        factory.describeInContext(keepDescriptor(factory, effectHandle), context);
        return kOfxStatOK;
    }
    if (action == kOfxActionCreateInstance) {
        PropertySet props;
        OfxPropertySetHandle h = nullptr;
        throwSuiteStatusException(imageEffectSuite().getPropertySet(effectHandle, &h), "effect instance");
        props.setHandle(h);
        ContextEnum context = mapStrToContextEnum(props.propGetString(kOfxImageEffectPropContext, 0, false));
        std::unique_ptr<ImageEffect> effect(factory.createInstance(effectHandle, context));
        if (!effect) return kOfxStatFailed;
        effect.release();  // reached from now on through the handle's instance data
        return kOfxStatOK;
    }
    if (action == kOfxActionDestroyInstance) {
        ImageEffect* effect = retrieveImageEffectPointer(effectHandle);
        if (!effect) return kOfxStatErrBadHandle;
        delete effect;
        return kOfxStatOK;
    }

    // The instance behind the handle, looked up only for an action that an instance answers: any
    // other action is left to the host's default, with or without an instance.
    auto effect = [effectHandle]() -> ImageEffect& { return instanceOf(effectHandle); };
    if (action == kOfxImageEffectActionRender) return render(effect(), in);
    if (action == kOfxImageEffectActionIsIdentity) return isIdentity(effect(), in, out);
    if (action == kOfxImageEffectActionGetRegionOfDefinition) return regionOfDefinition(effect(), in, out);
    if (action == kOfxImageEffectActionGetRegionsOfInterest) return regionsOfInterest(effect(), in, outArgs);
    if (action == kOfxImageEffectActionGetClipPreferences) return clipPreferences(effect(), outArgs);
    if (action == kOfxImageEffectActionBeginSequenceRender) return beginSequence(effect(), in);
    if (action == kOfxImageEffectActionEndSequenceRender) return endSequence(effect(), in);
    if (action == kOfxActionInstanceChanged) return instanceChanged(effect(), in);
    if (action == kOfxActionBeginInstanceChanged) {
        effect().beginChanged(reasonOf(in));
        return kOfxStatOK;
    }
    if (action == kOfxActionEndInstanceChanged) {
        effect().endChanged(reasonOf(in));
        return kOfxStatOK;
    }
    if (action == kOfxActionBeginInstanceEdit) {
        effect().beginEdit();
        return kOfxStatOK;
    }
    if (action == kOfxActionEndInstanceEdit) {
        effect().endEdit();
        return kOfxStatOK;
    }
    if (action == kOfxActionPurgeCaches) {
        effect().purgeCaches();
        return kOfxStatOK;
    }
    if (action == kOfxActionSyncPrivateData) {
        effect().syncPrivateData();
        return kOfxStatOK;
    }
    return kOfxStatReplyDefault;
}

}  // namespace

OfxStatus mainEntry(const char* action, const void* handle, OfxPropertySetHandle inArgs,
                    OfxPropertySetHandle outArgs, PluginFactory& factory) {
    if (!action) return kOfxStatErrBadHandle;
    return guardAction(action, [&] { return dispatch(action, handle, inArgs, outArgs, factory); });
}

}  // namespace Private
}  // namespace OFX

#if defined(_WIN32)
#define OFXS_EXPORT __declspec(dllexport)
#else
#define OFXS_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

OFXS_EXPORT int OfxGetNumberOfPlugins(void) {
    try {
        OFX::Private::ensureInitialised();
        OFX::Private::Registry& r = OFX::Private::registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        return static_cast<int>(r.plugins.size());
    } catch (...) {
        return 0;
    }
}

OFXS_EXPORT OfxPlugin* OfxGetPlugin(int nth) {
    try {
        OFX::Private::ensureInitialised();
        OFX::Private::Registry& r = OFX::Private::registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        if (nth < 0 || static_cast<std::size_t>(nth) >= r.plugins.size()) return nullptr;
        return &r.plugins[static_cast<std::size_t>(nth)];
    } catch (...) {
        return nullptr;
    }
}
}
