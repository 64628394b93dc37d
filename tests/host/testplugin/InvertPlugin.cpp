// A small invert effect written straight against the OpenFX C API, for the host's tests.
// Parameters: "amount" (double, the share of the inverted colour), "mode" (choice whose options
// the "rebuild" button replaces), "echo" (integer the plug-in writes back to itself when
// changed), "fail" (boolean: render throws). Every instance-changed action is reported as a
// log message "changed <type> <name> <reason> <time>".
#include <cstring>
#include <stdexcept>
#include <string>

#include "ofxCore.h"
#include "ofxImageEffect.h"
#include "ofxMessage.h"
#include "ofxParam.h"
#include "ofxProperty.h"

#if defined(_WIN32)
#define TEST_EXPORT extern "C" __declspec(dllexport)
#else
#define TEST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

OfxHost* gHost = nullptr;
const OfxPropertySuiteV1* gProps = nullptr;
const OfxImageEffectSuiteV1* gEffects = nullptr;
const OfxParameterSuiteV1* gParams = nullptr;
const OfxMessageSuiteV2* gMessages = nullptr;

void check(OfxStatus status, const char* what) {
    if (status != kOfxStatOK)
        throw std::runtime_error(std::string(what) + " failed with status " + std::to_string(status));
}

OfxStatus load() {
    if (gHost == nullptr) return kOfxStatErrMissingHostFeature;
    gProps = static_cast<const OfxPropertySuiteV1*>(gHost->fetchSuite(gHost->host, kOfxPropertySuite, 1));
    gEffects =
        static_cast<const OfxImageEffectSuiteV1*>(gHost->fetchSuite(gHost->host, kOfxImageEffectSuite, 1));
    gParams = static_cast<const OfxParameterSuiteV1*>(gHost->fetchSuite(gHost->host, kOfxParameterSuite, 1));
    gMessages = static_cast<const OfxMessageSuiteV2*>(gHost->fetchSuite(gHost->host, kOfxMessageSuite, 2));
    return gProps && gEffects && gParams && gMessages ? kOfxStatOK : kOfxStatErrMissingHostFeature;
}

OfxStatus describe(OfxImageEffectHandle effect) {
    OfxPropertySetHandle props;
    check(gEffects->getPropertySet(effect, &props), "getPropertySet");
    gProps->propSetString(props, kOfxPropLabel, 0, "Invert");
    gProps->propSetString(props, kOfxImageEffectPluginPropGrouping, 0, "Velmora Tests");
    gProps->propSetString(props, kOfxImageEffectPropSupportedContexts, 0, kOfxImageEffectContextFilter);
    gProps->propSetString(props, kOfxImageEffectPropSupportedContexts, 1, kOfxImageEffectContextGeneral);
    gProps->propSetString(props, kOfxImageEffectPropSupportedPixelDepths, 0, kOfxBitDepthFloat);
    gProps->propSetString(props, kOfxImageEffectPluginRenderThreadSafety, 0,
                          kOfxImageEffectRenderInstanceSafe);
    return kOfxStatOK;
}

OfxPropertySetHandle defineParam(OfxParamSetHandle set, const char* type, const char* name,
                                 const char* label) {
    OfxPropertySetHandle props;
    check(gParams->paramDefine(set, type, name, &props), name);
    gProps->propSetString(props, kOfxPropLabel, 0, label);
    return props;
}

OfxStatus describeInContext(OfxImageEffectHandle effect) {
    OfxPropertySetHandle clip;
    check(gEffects->clipDefine(effect, kOfxImageEffectSimpleSourceClipName, &clip), "clipDefine Source");
    gProps->propSetString(clip, kOfxImageEffectPropSupportedComponents, 0, kOfxImageComponentRGBA);
    check(gEffects->clipDefine(effect, kOfxImageEffectOutputClipName, &clip), "clipDefine Output");
    gProps->propSetString(clip, kOfxImageEffectPropSupportedComponents, 0, kOfxImageComponentRGBA);

    OfxParamSetHandle params;
    check(gEffects->getParamSet(effect, &params), "getParamSet");
    OfxPropertySetHandle p = defineParam(params, kOfxParamTypeDouble, "amount", "Amount");
    gProps->propSetDouble(p, kOfxParamPropDefault, 0, 1.0);
    gProps->propSetDouble(p, kOfxParamPropMin, 0, 0.0);
    gProps->propSetDouble(p, kOfxParamPropMax, 0, 1.0);
    gProps->propSetDouble(p, kOfxParamPropIncrement, 0, 0.01);
    gProps->propSetInt(p, kOfxParamPropDigits, 0, 2);
    gProps->propSetString(p, kOfxParamPropHint, 0, "Share of the inverted colour");

    p = defineParam(params, kOfxParamTypeChoice, "mode", "Mode");
    gProps->propSetString(p, kOfxParamPropChoiceOption, 0, "All");
    gProps->propSetString(p, kOfxParamPropChoiceOption, 1, "Colour only");
    gProps->propSetInt(p, kOfxParamPropDefault, 0, 0);

    defineParam(params, kOfxParamTypePushButton, "rebuild", "Rebuild Options");
    p = defineParam(params, kOfxParamTypeInteger, "echo", "Echo");
    gProps->propSetInt(p, kOfxParamPropSecret, 0, 1);
    defineParam(params, kOfxParamTypeBoolean, "fail", "Fail");
    return kOfxStatOK;
}

OfxParamHandle param(OfxImageEffectHandle effect, const char* name) {
    OfxParamSetHandle params;
    check(gEffects->getParamSet(effect, &params), "getParamSet");
    OfxParamHandle handle;
    check(gParams->paramGetHandle(params, name, &handle, nullptr), name);
    return handle;
}

OfxStatus instanceChanged(OfxImageEffectHandle effect, OfxPropertySetHandle args) {
    char *type = nullptr, *name = nullptr, *reason = nullptr;
    double time = 0;
    check(gProps->propGetString(args, kOfxPropType, 0, &type), "type");
    check(gProps->propGetString(args, kOfxPropName, 0, &name), "name");
    check(gProps->propGetString(args, kOfxPropChangeReason, 0, &reason), "reason");
    check(gProps->propGetDouble(args, kOfxPropTime, 0, &time), "time");
    gMessages->message(effect, kOfxMessageLog, "changed", "changed %s %s %s %g", type, name, reason, time);

    const std::string changed = name;
    if (changed == "rebuild") {
        // Replace the choice's options at run time.
        OfxPropertySetHandle props;
        check(gParams->paramGetPropertySet(param(effect, "mode"), &props), "mode props");
        check(gProps->propReset(props, kOfxParamPropChoiceOption), "reset options");
        const char* options[] = {"Red", "Green", "Blue"};
        for (int i = 0; i < 3; ++i)
            check(gProps->propSetString(props, kOfxParamPropChoiceOption, i, options[i]), "option");
        check(gParams->paramSetValue(param(effect, "mode"), 2), "set mode");
    }
    if (changed == "echo") {
        // Writes itself again: the host must announce it once and stop.
        OfxParamHandle echo = param(effect, "echo");
        int v = 0;
        gParams->paramGetValue(echo, &v);
        gParams->paramEditBegin(nullptr, "bad");  // a bad handle is refused, not a crash
        OfxParamSetHandle params;
        gEffects->getParamSet(effect, &params);
        gParams->paramEditBegin(params, "echo");
        check(gParams->paramSetValue(echo, v + 1), "echo");
        gParams->paramEditEnd(params);
    }
    return kOfxStatOK;
}

OfxStatus render(OfxImageEffectHandle effect, OfxPropertySetHandle args) {
    double time = 0;
    int window[4];
    check(gProps->propGetDouble(args, kOfxPropTime, 0, &time), "time");
    check(gProps->propGetIntN(args, kOfxImageEffectPropRenderWindow, 4, window), "window");
    int fail = 0;
    gParams->paramGetValueAtTime(param(effect, "fail"), time, &fail);
    if (fail) throw std::runtime_error("render asked to fail");
    double amount = 1;
    int mode = 0;
    gParams->paramGetValueAtTime(param(effect, "amount"), time, &amount);
    gParams->paramGetValueAtTime(param(effect, "mode"), time, &mode);

    OfxImageClipHandle source, output;
    check(gEffects->clipGetHandle(effect, kOfxImageEffectSimpleSourceClipName, &source, nullptr), "Source");
    check(gEffects->clipGetHandle(effect, kOfxImageEffectOutputClipName, &output, nullptr), "Output");
    OfxPropertySetHandle src = nullptr, dst = nullptr;
    if (gEffects->clipGetImage(source, time, nullptr, &src) != kOfxStatOK) return kOfxStatFailed;
    if (gEffects->clipGetImage(output, time, nullptr, &dst) != kOfxStatOK) {
        gEffects->clipReleaseImage(src);
        return kOfxStatFailed;
    }
    void *srcData, *dstData;
    int srcBounds[4], dstBounds[4], srcRow, dstRow;
    gProps->propGetPointer(src, kOfxImagePropData, 0, &srcData);
    gProps->propGetIntN(src, kOfxImagePropBounds, 4, srcBounds);
    gProps->propGetInt(src, kOfxImagePropRowBytes, 0, &srcRow);
    gProps->propGetPointer(dst, kOfxImagePropData, 0, &dstData);
    gProps->propGetIntN(dst, kOfxImagePropBounds, 4, dstBounds);
    gProps->propGetInt(dst, kOfxImagePropRowBytes, 0, &dstRow);
    for (int y = window[1]; y < window[3]; ++y) {
        for (int x = window[0]; x < window[2]; ++x) {
            float* out = reinterpret_cast<float*>(static_cast<char*>(dstData) +
                                                  std::ptrdiff_t(y - dstBounds[1]) * dstRow +
                                                  std::ptrdiff_t(x - dstBounds[0]) * 16);
            if (x < srcBounds[0] || x >= srcBounds[2] || y < srcBounds[1] || y >= srcBounds[3]) {
                out[0] = out[1] = out[2] = out[3] = 0.0f;
                continue;
            }
            const float* in = reinterpret_cast<const float*>(static_cast<const char*>(srcData) +
                                                             std::ptrdiff_t(y - srcBounds[1]) * srcRow +
                                                             std::ptrdiff_t(x - srcBounds[0]) * 16);
            for (int c = 0; c < 4; ++c) {
                const bool invert = c < 3 || mode == 0;
                out[c] = invert ? float(amount * (1.0 - in[c]) + (1.0 - amount) * in[c]) : in[c];
            }
        }
    }
    gEffects->clipReleaseImage(src);
    gEffects->clipReleaseImage(dst);
    return kOfxStatOK;
}

OfxStatus isIdentity(OfxImageEffectHandle effect, OfxPropertySetHandle in, OfxPropertySetHandle out) {
    double time = 0, amount = 1;
    gProps->propGetDouble(in, kOfxPropTime, 0, &time);
    gParams->paramGetValueAtTime(param(effect, "amount"), time, &amount);
    if (amount != 0.0) return kOfxStatReplyDefault;
    gProps->propSetString(out, kOfxPropName, 0, kOfxImageEffectSimpleSourceClipName);
    gProps->propSetDouble(out, kOfxPropTime, 0, time);
    return kOfxStatOK;
}

OfxStatus mainEntry(const char* action, const void* handle, OfxPropertySetHandle in,
                    OfxPropertySetHandle out) {
    auto effect = static_cast<OfxImageEffectHandle>(const_cast<void*>(handle));
    const std::string a = action;
    try {
        if (a == kOfxActionLoad) return load();
        if (a == kOfxActionUnload) return kOfxStatOK;
        if (a == kOfxActionDescribe) return describe(effect);
        if (a == kOfxImageEffectActionDescribeInContext) return describeInContext(effect);
        if (a == kOfxActionInstanceChanged) return instanceChanged(effect, in);
        if (a == kOfxImageEffectActionIsIdentity) return isIdentity(effect, in, out);
    } catch (const std::exception&) {
        return kOfxStatFailed;
    }
    // Render lets its exceptions escape, to show that the host survives them.
    if (a == kOfxImageEffectActionRender) return render(effect, in);
    return kOfxStatReplyDefault;
}

void setHost(OfxHost* host) {
    gHost = host;
}

OfxPlugin gPlugin = {kOfxImageEffectPluginApi, 1, "com.velmora.test.invert", 1, 2, setHost, mainEntry};

}  // namespace

TEST_EXPORT int OfxGetNumberOfPlugins() {
    return 1;
}
TEST_EXPORT OfxPlugin* OfxGetPlugin(int index) {
    return index == 0 ? &gPlugin : nullptr;
}
