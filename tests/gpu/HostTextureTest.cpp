#include <gtest/gtest.h>

#include <string>

#include "GpuTestSupport.h"
#include "gpu/HostRuntime.h"
#include "probe_kernels.h"

namespace {

struct SamplingCase {
    const char* name;
    int addressX, addressY;
    bool linear, normalized;
};

class HostTextureSampling : public ::testing::TestWithParam<SamplingCase> {};

TEST_P(HostTextureSampling, MatchesTheHardwareFetchFormula) {
    const SamplingCase& c = GetParam();
    RefTexture ref;
    ref.width = 5;
    ref.height = 3;
    ref.texels = testTexels(ref.width, ref.height);
    ref.address[0] = c.addressX;
    ref.address[1] = c.addressY;
    ref.linear = c.linear;
    ref.normalized = c.normalized;

    GpuRuntime& rt = hostGpuRuntime();
    ArrayTexture tex(rt, ref);
    const std::vector<float> coords = probeCoordinates(c.normalized, ref.width, ref.height);
    const std::vector<float> got = sampleThroughKernel(rt, host_impl::launchSample, tex.texture, coords);
    for (size_t k = 0; k < coords.size() / 2; ++k) {
        float want[4];
        ref.sample(coords[2 * k], coords[2 * k + 1], want);
        for (int ch = 0; ch < 4; ++ch) {
            EXPECT_NEAR(got[4 * k + ch], want[ch], 1e-5f)
                << "at (" << coords[2 * k] << ", " << coords[2 * k + 1] << ") channel " << ch;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    AddressAndFilterModes, HostTextureSampling,
    ::testing::Values(
        SamplingCase{"ClampLinear", 1, 1, true, true}, SamplingCase{"WrapLinear", 0, 0, true, true},
        SamplingCase{"MirrorLinear", 2, 2, true, true}, SamplingCase{"BorderLinear", 3, 3, true, true},
        SamplingCase{"WrapXClampY", 0, 1, true, true}, SamplingCase{"ClampPoint", 1, 1, false, true},
        SamplingCase{"WrapPoint", 0, 0, false, true}, SamplingCase{"BorderPoint", 3, 3, false, true},
        SamplingCase{"UnnormalizedClampLinear", 1, 1, true, false},
        SamplingCase{"UnnormalizedWrapFallsBackToClamp", 0, 0, true, false}),
    [](const ::testing::TestParamInfo<SamplingCase>& info) { return std::string(info.param.name); });

// The weights carry 8 fractional bits: a fraction of 0.3 is applied as 77/256, not 0.3.
TEST(HostTexture, LinearWeightsAreQuantizedToEightBits) {
    RefTexture ref;
    ref.width = 2;
    ref.height = 1;
    ref.texels = {0, 0, 0, 0, 1, 1, 1, 1};
    GpuRuntime& rt = hostGpuRuntime();
    ArrayTexture tex(rt, ref);
    const float u = (0.5f + 0.3f) / 2.0f;  // x_B = 0.3 between texels 0 and 1
    const std::vector<float> got = sampleThroughKernel(rt, host_impl::launchSample, tex.texture, {u, 0.5f});
    EXPECT_FLOAT_EQ(got[0], 77.0f / 256.0f);
    EXPECT_NE(got[0], 0.3f);
}

// A zero-copy view over pitched device memory samples like an array; host memory and misaligned
// pitches are refused, so the render engine falls back to an array copy.
TEST(HostTexture, Pitch2DViewsOverDeviceMemory) {
    GpuRuntime& rt = hostGpuRuntime();
    const int w = 3, h = 2;
    const size_t pitch = 128;  // > w * 16
    RefTexture ref;
    ref.width = w;
    ref.height = h;
    ref.texels = testTexels(w, h);
    void* dev = nullptr;
    ASSERT_EQ(rt.malloc(&dev, pitch * h), 0);
    ASSERT_EQ(rt.memcpy2D(dev, pitch, ref.texels.data(), w * 16, w * 16, h, GpuMemcpyHostToDevice), 0);

    GpuResourceDesc res = pitch2DResource(dev, w, h, pitch);
    GpuTextureObject tex = 0;
    ASSERT_EQ(rt.createTextureObject(&tex, res, gpuStandardTextureDesc()), 0);
    const std::vector<float> coords = probeCoordinates(true, w, h);
    const std::vector<float> got = sampleThroughKernel(rt, host_impl::launchSample, tex, coords);
    for (size_t k = 0; k < coords.size() / 2; ++k) {
        float want[4];
        ref.sample(coords[2 * k], coords[2 * k + 1], want);
        for (int ch = 0; ch < 4; ++ch) ASSERT_NEAR(got[4 * k + ch], want[ch], 1e-5f);
    }
    GpuResourceDesc back;
    ASSERT_EQ(rt.getTextureObjectResourceDesc(&back, tex), 0);
    EXPECT_EQ(back.type, GpuResourceTypePitch2D);
    EXPECT_EQ(back.pitch2D.devPtr, dev);
    EXPECT_EQ(back.pitch2D.pitchInBytes, pitch);
    EXPECT_EQ(rt.destroyTextureObject(tex), 0);

    std::vector<float> hostPixels(pitch * h / 4);
    GpuResourceDesc bad = res;
    bad.pitch2D.devPtr = hostPixels.data();
    EXPECT_EQ(rt.createTextureObject(&tex, bad, gpuStandardTextureDesc()), GpuErr::InvalidValue);
    std::size_t alignment = 0;
    ASSERT_EQ(rt.texturePitchAlignment(&alignment), 0);
    EXPECT_EQ(alignment, 32u);  // as on current NVIDIA GPUs
    for (std::size_t refused : {std::size_t{3 * 16}, std::size_t{3 * 16 + 8}}) {
        bad = res;
        bad.pitch2D.pitchInBytes = refused;  // not a multiple of the pitch alignment: an odd width packed
        EXPECT_EQ(rt.createTextureObject(&tex, bad, gpuStandardTextureDesc()), GpuErr::InvalidValue);
    }
    bad = res;
    bad.pitch2D.height = 3;  // runs past the allocation
    EXPECT_EQ(rt.createTextureObject(&tex, bad, gpuStandardTextureDesc()), GpuErr::InvalidValue);
    EXPECT_EQ(tex, 0u);
    rt.getLastError();
    rt.free(dev);
}

TEST(HostTexture, DestroyedTextureReadsZeroAndFaultsTheLaunch) {
    RefTexture ref;
    ref.width = 2;
    ref.height = 2;
    ref.texels = testTexels(2, 2);
    GpuRuntime& rt = hostGpuRuntime();
    GpuTextureObject stale = 0;
    {
        ArrayTexture tex(rt, ref);
        stale = tex.texture;
    }
    rt.getLastError();
    void* out = nullptr;
    void* coords = nullptr;
    ASSERT_EQ(rt.malloc(&out, 16), 0);
    ASSERT_EQ(rt.malloc(&coords, 8), 0);
    ASSERT_EQ(rt.memset(coords, 0, 8), 0);
    ASSERT_EQ(rt.memset(out, 0x7f, 16), 0);
    EXPECT_EQ(
        host_impl::launchSample(nullptr, stale, static_cast<float*>(coords), static_cast<float*>(out), 1),
        GpuErr::InvalidResourceHandle);
    EXPECT_EQ(rt.streamSynchronize(nullptr), GpuErr::InvalidResourceHandle);
    EXPECT_EQ(rt.getLastError(), GpuErr::InvalidResourceHandle);
    float v[4];
    ASSERT_EQ(rt.memcpy(v, out, 16, GpuMemcpyDeviceToHost), 0);
    EXPECT_EQ(v[0], 0.0f);
    EXPECT_EQ(v[3], 0.0f);

    // Texture 0 means "none": it reads zero without a fault.
    EXPECT_EQ(host_impl::launchSample(nullptr, 0, static_cast<float*>(coords), static_cast<float*>(out), 1),
              0);
    EXPECT_EQ(rt.streamSynchronize(nullptr), 0);
    rt.free(out);
    rt.free(coords);
}

TEST(HostTexture, RefusesFormatsItCannotSample) {
    GpuRuntime& rt = hostGpuRuntime();
    GpuChannelDesc u8;
    u8.x = u8.y = u8.z = u8.w = 8;
    u8.f = GpuChannelFormatKindUnsigned;
    GpuArray array = nullptr;
    ASSERT_EQ(rt.mallocArray(&array, u8, 4, 4, GpuArrayDefault), 0);
    GpuResourceDesc res;
    res.array = array;
    GpuTextureObject tex = 0;
    EXPECT_EQ(rt.createTextureObject(&tex, res, gpuStandardTextureDesc()), GpuErr::NotSupported);
    EXPECT_EQ(std::string(rt.getErrorString(rt.getLastError())), "operation not supported");
    EXPECT_EQ(rt.freeArray(array), 0);
}

}  // namespace
