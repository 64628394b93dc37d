// A CUDA-capable copy effect written straight against the OpenFX C API, for the host's tests.
// It announces CUDA render and streams. A render with CUDA enabled checks that both images lie in
// device memory and copies Source to Output on the device, on the host's stream when given; a
// render without copies on the CPU. Each render is reported as a log message
// "render cuda=<0|1> stream=<0|1> device=<0|1> ascending=<0|1>": device says whether both
// pointers were device memory, ascending whether both row strides were positive.
#include <cuda_runtime.h>

#include <cstring>
#include <string>

#include "ofxCore.h"
#include "ofxGPURender.h"
#include "ofxImageEffect.h"
#include "ofxMessage.h"
#include "ofxProperty.h"

#define TEST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

OfxHost* gHost = nullptr;
const OfxPropertySuiteV1* gProps = nullptr;
const OfxImageEffectSuiteV1* gEffects = nullptr;
const OfxMessageSuiteV2* gMessages = nullptr;

struct ImageView {
    OfxPropertySetHandle props = nullptr;
    char* data = nullptr;
    int bounds[4] = {0, 0, 0, 0};
    int rowBytes = 0;

    char* pixel(int x, int y) const {
        return data + std::ptrdiff_t(y - bounds[1]) * rowBytes + std::ptrdiff_t(x - bounds[0]) * 16;
    }
};

bool fetch(OfxImageEffectHandle effect, const char* clipName, double time, ImageView* view) {
    OfxImageClipHandle clip;
    if (gEffects->clipGetHandle(effect, clipName, &clip, nullptr) != kOfxStatOK) return false;
    if (gEffects->clipGetImage(clip, time, nullptr, &view->props) != kOfxStatOK) return false;
    void* data = nullptr;
    gProps->propGetPointer(view->props, kOfxImagePropData, 0, &data);
    view->data = static_cast<char*>(data);
    gProps->propGetIntN(view->props, kOfxImagePropBounds, 4, view->bounds);
    gProps->propGetInt(view->props, kOfxImagePropRowBytes, 0, &view->rowBytes);
    return true;
}

bool inDeviceMemory(const void* pointer) {
    cudaPointerAttributes attributes;
    std::memset(&attributes, 0, sizeof attributes);
    const bool device = cudaPointerGetAttributes(&attributes, pointer) == cudaSuccess &&
                        attributes.type == cudaMemoryTypeDevice;
    cudaGetLastError();
    return device;
}

OfxStatus describe(OfxImageEffectHandle effect) {
    OfxPropertySetHandle props;
    gEffects->getPropertySet(effect, &props);
    gProps->propSetString(props, kOfxPropLabel, 0, "CUDA Copy");
    gProps->propSetString(props, kOfxImageEffectPropSupportedContexts, 0, kOfxImageEffectContextFilter);
    gProps->propSetString(props, kOfxImageEffectPropSupportedPixelDepths, 0, kOfxBitDepthFloat);
    gProps->propSetString(props, kOfxImageEffectPropCudaRenderSupported, 0, "true");
    gProps->propSetString(props, kOfxImageEffectPropCudaStreamSupported, 0, "true");
    return kOfxStatOK;
}

OfxStatus describeInContext(OfxImageEffectHandle effect) {
    OfxPropertySetHandle clip;
    gEffects->clipDefine(effect, kOfxImageEffectSimpleSourceClipName, &clip);
    gProps->propSetString(clip, kOfxImageEffectPropSupportedComponents, 0, kOfxImageComponentRGBA);
    gEffects->clipDefine(effect, kOfxImageEffectOutputClipName, &clip);
    gProps->propSetString(clip, kOfxImageEffectPropSupportedComponents, 0, kOfxImageComponentRGBA);
    return kOfxStatOK;
}

OfxStatus render(OfxImageEffectHandle effect, OfxPropertySetHandle args) {
    double time = 0;
    int window[4];
    int cuda = 0;
    void* stream = nullptr;
    gProps->propGetDouble(args, kOfxPropTime, 0, &time);
    gProps->propGetIntN(args, kOfxImageEffectPropRenderWindow, 4, window);
    gProps->propGetInt(args, kOfxImageEffectPropCudaEnabled, 0, &cuda);
    if (cuda) gProps->propGetPointer(args, kOfxImageEffectPropCudaStream, 0, &stream);

    ImageView src, dst;
    if (!fetch(effect, kOfxImageEffectSimpleSourceClipName, time, &src)) return kOfxStatFailed;
    if (!fetch(effect, kOfxImageEffectOutputClipName, time, &dst)) {
        gEffects->clipReleaseImage(src.props);
        return kOfxStatFailed;
    }
    const bool device = inDeviceMemory(src.data) && inDeviceMemory(dst.data);
    const bool ascending = src.rowBytes > 0 && dst.rowBytes > 0;
    gMessages->message(effect, kOfxMessageLog, "render", "render cuda=%d stream=%d device=%d ascending=%d",
                       cuda, stream != nullptr ? 1 : 0, device ? 1 : 0, ascending ? 1 : 0);

    OfxStatus status = kOfxStatOK;
    const std::size_t rowBytes = std::size_t(window[2] - window[0]) * 16;
    if (cuda && !device) {
        status = kOfxStatFailed;
    } else if (cuda) {
        // One row at a time, so rows stored top first (negative strides) copy as well.
        auto s = static_cast<cudaStream_t>(stream);
        for (int y = window[1]; y < window[3] && status == kOfxStatOK; ++y)
            if (cudaMemcpyAsync(dst.pixel(window[0], y), src.pixel(window[0], y), rowBytes,
                                cudaMemcpyDeviceToDevice, s) != cudaSuccess)
                status = kOfxStatFailed;
        if (cudaStreamSynchronize(s) != cudaSuccess) status = kOfxStatFailed;
    } else {
        for (int y = window[1]; y < window[3]; ++y)
            std::memcpy(dst.pixel(window[0], y), src.pixel(window[0], y), rowBytes);
    }
    gEffects->clipReleaseImage(src.props);
    gEffects->clipReleaseImage(dst.props);
    return status;
}

OfxStatus mainEntry(const char* action, const void* handle, OfxPropertySetHandle in, OfxPropertySetHandle) {
    auto effect = static_cast<OfxImageEffectHandle>(const_cast<void*>(handle));
    const std::string a = action;
    if (a == kOfxActionLoad) {
        gProps = static_cast<const OfxPropertySuiteV1*>(gHost->fetchSuite(gHost->host, kOfxPropertySuite, 1));
        gEffects = static_cast<const OfxImageEffectSuiteV1*>(
            gHost->fetchSuite(gHost->host, kOfxImageEffectSuite, 1));
        gMessages =
            static_cast<const OfxMessageSuiteV2*>(gHost->fetchSuite(gHost->host, kOfxMessageSuite, 2));
        return gProps && gEffects && gMessages ? kOfxStatOK : kOfxStatErrMissingHostFeature;
    }
    if (a == kOfxActionDescribe) return describe(effect);
    if (a == kOfxImageEffectActionDescribeInContext) return describeInContext(effect);
    if (a == kOfxImageEffectActionRender) return render(effect, in);
    return kOfxStatReplyDefault;
}

void setHost(OfxHost* host) {
    gHost = host;
}

OfxPlugin gPlugin = {kOfxImageEffectPluginApi, 1, "com.velmora.test.cudacopy", 1, 0, setHost, mainEntry};

}  // namespace

TEST_EXPORT int OfxGetNumberOfPlugins() {
    return 1;
}
TEST_EXPORT OfxPlugin* OfxGetPlugin(int index) {
    return index == 0 ? &gPlugin : nullptr;
}
