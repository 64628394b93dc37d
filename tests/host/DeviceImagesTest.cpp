// Renders with CUDA enabled: where the host announces CUDA render, the effect supports it and a
// device is usable, the plug-in gets device-memory images (and a stream where both announce
// streams), and the output comes back into host memory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "DeviceImages.h"
#include "Effect.h"
#include "Host.h"
#include "Instance.h"
#include "PluginBinary.h"

using namespace vhost;

namespace {

// The test bundle's build path, or where a carried build keeps it (VHOST_CUDA_COPY_BUNDLE).
std::string copyBundlePath() {
    const char* carried = std::getenv("VHOST_CUDA_COPY_BUNDLE");
    return carried && *carried ? carried : VHOST_CUDA_COPY_BUNDLE;
}

std::string lastRenderMessage(Host& host) {
    std::string text;
    for (const auto& m : host.records().messages())
        if (m.text.rfind("render ", 0) == 0) text = m.text;
    return text;
}

struct CopyCase {
    const char* hostName;
    bool cudaImages;
    const char* expectedOnDevice;  // the plug-in's message where a device is usable
};

// Source stored top row first, output with padded rows and a border the window leaves alone. In
// device memory both arrive with ascending rows, as GPU hosts hand them out.
void renderAndCheck(const CopyCase& c, bool deviceUsable) {
    Host host(HostIdentity::forName(c.hostName));
    PluginBinary binary = host.load(copyBundlePath());
    Effect fx = binary.plugin("com.velmora.test.cudacopy").describe(kOfxImageEffectContextFilter);
    Instance inst = fx.createInstance();
    const OfxRectI bounds{0, 0, 7, 5};
    auto source = std::make_shared<Image>(bounds, -(7 * 16 + 32));
    source->fillWith([](int x, int y, float* p) {
        p[0] = 0.1f * x;
        p[1] = 0.2f * y;
        p[2] = 0.01f * (x * y);
        p[3] = 1.0f;
    });
    auto output = std::make_shared<Image>(bounds, 7 * 16 + 48);
    output->fill(-1, -1, -1, -1);
    inst.connectClip("Source", source);  // the plug-in answers instance-changed with the default
    inst.connectClip("Output", output);
    host.records().clear();

    RenderOptions options;
    options.cudaImages = c.cudaImages;
    const OfxRectI window{1, 1, 6, 4};
    ASSERT_EQ(inst.render(0.0, window, options), kOfxStatOK) << lastRenderMessage(host);
    const bool expectDevice = deviceUsable && c.cudaImages && std::string(c.expectedOnDevice) != "host";
    EXPECT_EQ(inst.lastRenderOnDevice(), expectDevice);
    EXPECT_EQ(lastRenderMessage(host), expectDevice
                                           ? std::string(c.expectedOnDevice)
                                           : std::string("render cuda=0 stream=0 device=0 ascending=0"));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            const bool inside = x >= 1 && x < 6 && y >= 1 && y < 4;
            for (int ch = 0; ch < 4; ++ch)
                EXPECT_EQ(output->pixel(x, y)[ch], inside ? source->pixel(x, y)[ch] : -1.0f)
                    << c.hostName << " " << x << "," << y << " channel " << ch;
        }
    EXPECT_EQ(inst.outstandingImages(), 0);
}

}  // namespace

TEST(DeviceImages, CudaRenderHandsDeviceMemoryWhereADeviceIsUsable) {
    std::string why;
    const bool usable = deviceImagesUsable(&why);
    const CopyCase cases[] = {
        {"DaVinciResolve", true, "render cuda=1 stream=1 device=1 ascending=1"},
        {"com.blackmagicdesign.Fusion", true,
         "render cuda=1 stream=0 device=1 ascending=1"},  // CUDA, no stream
        {"com.autodesk.flame", true, "host"},             // announces no CUDA render
        {"DaVinciResolve", false, "host"},                // the caller keeps images in host memory
    };
    for (const CopyCase& c : cases) renderAndCheck(c, usable);
    if (!usable)
        GTEST_SKIP() << "no usable CUDA device (" << why << "): only host-memory renders were checked";
}
