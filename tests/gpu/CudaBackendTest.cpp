// The cuda backend: builds wherever the toolkit is; the checks that need a device skip without one.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "GpuTestSupport.h"
#include "probe_kernels.h"

GpuRuntime& cudaGpuRuntime();  // the cuda backend itself, whatever gpuRuntime() chose

namespace {

// Our error texts are CUDA's: the host backend must say what NVIDIA's runtime says.
TEST(CudaBackend, HostErrorTextsMatchTheCudaRuntime) {
    const GpuError codes[] = {GpuErr::Success,
                              GpuErr::InvalidValue,
                              GpuErr::MemoryAllocation,
                              GpuErr::InitializationError,
                              GpuErr::InvalidConfiguration,
                              GpuErr::InvalidPitchValue,
                              GpuErr::InvalidDevicePointer,
                              GpuErr::InvalidChannelDescriptor,
                              GpuErr::InvalidMemcpyDirection,
                              GpuErr::InvalidFilterSetting,
                              GpuErr::InvalidNormSetting,
                              GpuErr::StubLibrary,
                              GpuErr::InsufficientDriver,
                              GpuErr::NoDevice,
                              GpuErr::InvalidDevice,
                              GpuErr::InvalidResourceHandle,
                              GpuErr::NotReady,
                              GpuErr::IllegalAddress,
                              GpuErr::HostMemoryAlreadyRegistered,
                              GpuErr::HostMemoryNotRegistered,
                              GpuErr::MisalignedAddress,
                              GpuErr::LaunchFailure,
                              GpuErr::NotSupported,
                              GpuErr::Unknown};
    for (GpuError code : codes) {
        EXPECT_STREQ(hostGpuRuntime().getErrorString(code), cudaGpuRuntime().getErrorString(code)) << code;
    }
}

TEST(CudaBackend, DeviceProbeNeverFails) {
    std::string status;
    const bool usable = cudaDeviceUsable(&status);
    EXPECT_FALSE(status.empty());
    // Without a driver every runtime call reports the failed initialisation again, so the pending
    // error can only be checked where a device works.
    if (usable) {
        EXPECT_EQ(cudaGpuRuntime().getLastError(), 0) << "the probe leaves no pending error";
    }
}

class CudaDevice : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string status;
        if (!cudaDeviceUsable(&status)) GTEST_SKIP() << "no CUDA device (" << status << ")";
    }
    GpuRuntime& rt = cudaGpuRuntime();
};

TEST_F(CudaDevice, GridOfBlocksWritesEveryPixel) {
    const int width = 37 * 16 - 3, height = 19 * 16 - 5;
    GpuArray array = nullptr;
    ASSERT_EQ(rt.mallocArray(&array, gpuChannelDescFloat4(), width, height, GpuArraySurfaceLoadStore), 0);
    GpuResourceDesc res;
    res.array = array;
    GpuSurfaceObject surface = 0;
    ASSERT_EQ(rt.createSurfaceObject(&surface, res), 0);
    GpuStream stream = nullptr;
    ASSERT_EQ(rt.streamCreateWithFlags(&stream, GpuStreamNonBlocking), 0);
    ASSERT_EQ(cuda_impl::launchWriteCoords(stream, surface, width, height, 37, 19, true), 0);
    ASSERT_EQ(rt.streamSynchronize(stream), 0);
    std::vector<float> px(static_cast<size_t>(width) * height * 4);
    ASSERT_EQ(
        rt.memcpy2DFromArray(px.data(), width * 16, array, 0, 0, width * 16, height, GpuMemcpyDeviceToHost),
        0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float* p = &px[(static_cast<size_t>(y) * width + x) * 4];
            ASSERT_EQ(p[0], static_cast<float>(x));
            ASSERT_EQ(p[1], static_cast<float>(y));
            ASSERT_EQ(p[2], static_cast<float>(x / 16 + 1000 * (y / 16)));
            ASSERT_EQ(p[3], static_cast<float>(x % 16 + 100 * (y % 16)));
        }
    }
    rt.streamDestroy(stream);
    rt.destroySurfaceObject(surface);
    rt.freeArray(array);
}

// The hardware's fetch against the emulation's, for every address and filter mode.
TEST_F(CudaDevice, TextureFetchMatchesTheHostBackend) {
    const int modes[][3] = {{1, 1, 1}, {0, 0, 1}, {2, 2, 1}, {3, 3, 1}, {1, 1, 0}, {0, 0, 0}};
    for (const auto& m : modes) {
        RefTexture ref;
        ref.width = 5;
        ref.height = 3;
        ref.texels = testTexels(ref.width, ref.height);
        ref.address[0] = m[0];
        ref.address[1] = m[1];
        ref.linear = m[2] != 0;
        ArrayTexture onGpu(rt, ref);
        ArrayTexture onHost(hostGpuRuntime(), ref);
        const std::vector<float> coords = probeCoordinates(true, ref.width, ref.height);
        const std::vector<float> gpu =
            sampleThroughKernel(rt, cuda_impl::launchSample, onGpu.texture, coords);
        const std::vector<float> host =
            sampleThroughKernel(hostGpuRuntime(), host_impl::launchSample, onHost.texture, coords);
        for (size_t k = 0; k < gpu.size(); ++k) {
            EXPECT_NEAR(gpu[k], host[k], 2e-5f)
                << "mode " << m[0] << "/" << m[2] << " at (" << coords[k / 4 * 2] << ", "
                << coords[k / 4 * 2 + 1] << ") channel " << k % 4;
        }
    }
}

TEST_F(CudaDevice, PointerAttributesAndPitchedCopies) {
    const int w = 5, h = 4;
    const size_t pitch = 256;
    void* dev = nullptr;
    ASSERT_EQ(rt.malloc(&dev, pitch * h), 0);
    GpuPointerAttributes a;
    ASSERT_EQ(rt.pointerGetAttributes(&a, dev), 0);
    EXPECT_EQ(a.type, GpuMemoryTypeDevice);
    std::vector<float> host = testTexels(w, h), back(w * h * 4, 0.0f);
    ASSERT_EQ(rt.pointerGetAttributes(&a, host.data()), 0);
    EXPECT_EQ(a.type, GpuMemoryTypeUnregistered);
    ASSERT_EQ(rt.memcpy2D(dev, pitch, host.data(), w * 16, w * 16, h, GpuMemcpyHostToDevice), 0);
    ASSERT_EQ(rt.memcpy2D(back.data(), w * 16, dev, pitch, w * 16, h, GpuMemcpyDeviceToHost), 0);
    EXPECT_EQ(back, host);
    rt.free(dev);
}

// The device's texture pitch alignment: a packed row of an odd width is refused as a pitch2D view,
// one padded to the alignment is taken, as the host backend imitates.
TEST_F(CudaDevice, PitchAlignmentDecidesWhichPitch2DViewsAreTaken) {
    std::size_t alignment = 0;
    ASSERT_EQ(rt.texturePitchAlignment(&alignment), 0);
    ASSERT_GT(alignment, 0u);
    EXPECT_EQ(alignment & (alignment - 1), 0u);
    const int w = 3, h = 2;
    const std::size_t padded = (w * 16 + alignment - 1) / alignment * alignment;
    void* dev = nullptr;
    ASSERT_EQ(rt.malloc(&dev, padded * h), 0);
    GpuResourceDesc res = pitch2DResource(dev, w, h, w * 16);
    GpuTextureObject tex = 0;
    if ((w * 16) % alignment != 0) {
        EXPECT_NE(rt.createTextureObject(&tex, res, gpuStandardTextureDesc()), 0);
        rt.getLastError();
    }
    res.pitch2D.pitchInBytes = padded;
    ASSERT_EQ(rt.createTextureObject(&tex, res, gpuStandardTextureDesc()), 0);
    rt.destroyTextureObject(tex);
    rt.free(dev);
}

}  // namespace
