#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "RenderTestSupport.h"
#include "gpu/HostRuntime.h"
#include "kernels/cpu/FinalProcessingRows.h"
#include "render/FinalProcessing.h"
#include "render/GpuObjects.h"
#include "render/RenderBufferManager.h"

namespace {

struct Pixel {
    float r, g, b, a;
};

class FinalProcessingTest : public ::testing::Test {
  protected:
    // Runs final processing over a 20x18 destination (more than one 16x16 block) filled with `result`,
    // blended with a source filled with `source`.
    Pixel run(Pixel result, Pixel source, double blend, bool premultiply, bool withSource, int pitch = 0) {
        TestImage dst(20, 18, pitch), src(20, 18);
        dst.fill(result.r, result.g, result.b, result.a);
        src.fill(source.r, source.g, source.b, source.a);
        AudioMonitorRecord monitor;
        std::memset(&monitor, 0, sizeof monitor);
        const SystemParameters system = finalProcessingSystemParameters(20, 18, 1.0, blend, premultiply);
        EXPECT_TRUE(runFinalProcessing(gpu, nullptr, system, withSource ? src.plane().data : nullptr,
                                       dst.plane().data, 20, 18, src.rowBytes, dst.rowBytes, monitor));
        if (pitch) {
            EXPECT_FLOAT_EQ(dst.storage[20 * 4], -7.0f);  // row padding untouched
        }
        const float* p = dst.pixel(19, 17);
        const float* q = dst.pixel(0, 0);
        EXPECT_EQ(std::memcmp(p, q, 16), 0);
        return Pixel{p[0], p[1], p[2], p[3]};
    }

    HostRuntime& gpu = HostRuntime::instance();
};

TEST_F(FinalProcessingTest, PremultipliesThenBlendsWithTheSource) {
    struct Case {
        Pixel result, source;
        double blend;
        bool premultiply, withSource;
        Pixel expected;
    };
    const Case cases[] = {
        {{0.8f, 0.4f, 0.2f, 0.5f}, {0, 0, 0, 0}, 1.0, false, true, {0.8f, 0.4f, 0.2f, 0.5f}},
        {{0.8f, 0.4f, 0.2f, 0.5f}, {0, 0, 0, 0}, 1.0, true, true, {0.4f, 0.2f, 0.1f, 0.5f}},
        {{1, 1, 1, 1}, {0, 0.2f, 0.4f, 0}, 0.25, false, true, {0.25f, 0.4f, 0.55f, 0.25f}},
        {{1, 1, 1, 1}, {0, 0.2f, 0.4f, 0}, 0.25, false, false, {1, 1, 1, 1}},
        {{0.6f, 0.2f, 0.4f, 0.5f}, {0.2f, 0.2f, 0.2f, 1}, 0.5, true, true, {0.25f, 0.15f, 0.2f, 0.75f}},
        {{0.5f, 0.5f, 0.5f, 1}, {1, 1, 1, 1}, 0.0, false, true, {1, 1, 1, 1}},
    };
    for (const Case& c : cases) {
        const Pixel p = run(c.result, c.source, c.blend, c.premultiply, c.withSource);
        EXPECT_NEAR(p.r, c.expected.r, 1e-6) << c.blend;
        EXPECT_NEAR(p.g, c.expected.g, 1e-6) << c.blend;
        EXPECT_NEAR(p.b, c.expected.b, 1e-6) << c.blend;
        EXPECT_NEAR(p.a, c.expected.a, 1e-6) << c.blend;
    }
}

TEST_F(FinalProcessingTest, HonoursPaddedRows) {
    const Pixel p = run({0.8f, 0.4f, 0.2f, 0.5f}, {0, 0, 0, 0}, 0.5, false, true, 20 * 16 + 48);
    EXPECT_NEAR(p.r, 0.4f, 1e-6);
}

// On the CPU the destination is processed in place; the pixels are the framework kernel's.
TEST_F(FinalProcessingTest, InPlaceRowsGiveTheKernelsPixels) {
    const int w = 37, h = 19;
    std::vector<float> result(static_cast<size_t>(w) * h * 4), source(result.size());
    for (size_t i = 0; i < result.size(); ++i) {
        result[i] = std::sin(0.7f * i) * 1.7f;
        source[i] = std::cos(0.3f * i);
    }
    result[5] = std::numeric_limits<float>::quiet_NaN();
    result[42] = std::numeric_limits<float>::infinity();
    AudioMonitorRecord monitor;
    std::memset(&monitor, 0, sizeof monitor);
    const size_t rowBytes = static_cast<size_t>(w) * 16;
    for (double blend : {-0.5, 0.0, 0.3, 0.999, 1.0, 1.5}) {
        for (bool premultiply : {false, true}) {
            SCOPED_TRACE(testing::Message() << "blend " << blend << (premultiply ? ", premultiply" : ""));
            const SystemParameters system = finalProcessingSystemParameters(w, h, 2.0, blend, premultiply);
            std::vector<float> rows = result;
            ASSERT_TRUE(cpu_fast::finalProcessingRows(system, source.data(), static_cast<int>(rowBytes),
                                                      rows.data(), static_cast<int>(rowBytes), monitor));
            GpuArray array = nullptr, sourceArray = nullptr;
            GpuSurfaceObject surface = 0, sourceSurface = 0;
            ASSERT_EQ(mallocFloat4Array(gpu, &array, w, h, GpuArraySurfaceLoadStore), 0);
            ASSERT_EQ(mallocFloat4Array(gpu, &sourceArray, w, h, GpuArraySurfaceLoadStore), 0);
            ASSERT_EQ(createArraySurface(gpu, array, &surface), 0);
            ASSERT_EQ(createArraySurface(gpu, sourceArray, &sourceSurface), 0);
            gpu.memcpy2DToArray(array, 0, 0, result.data(), rowBytes, rowBytes, h, GpuMemcpyHostToDevice);
            gpu.memcpy2DToArray(sourceArray, 0, 0, source.data(), rowBytes, rowBytes, h,
                                GpuMemcpyHostToDevice);
            launchFinalProcessingKernel(nullptr, surface, sourceSurface, system, monitor);
            std::vector<float> kernel(result.size());
            gpu.memcpy2DFromArray(kernel.data(), rowBytes, array, 0, 0, rowBytes, h, GpuMemcpyDeviceToHost);
            gpu.destroySurfaceObject(surface);
            gpu.destroySurfaceObject(sourceSurface);
            gpu.freeArray(array);
            gpu.freeArray(sourceArray);
            for (size_t i = 0; i < rows.size(); ++i)
                ASSERT_TRUE(rows[i] == kernel[i] || (std::isnan(rows[i]) && std::isnan(kernel[i])))
                    << i << ": " << rows[i] << " vs " << kernel[i];
        }
    }
}

TEST_F(FinalProcessingTest, ManagerRefusesBeforeInitialisation) {
    LogCapture log;
    RenderBufferManager manager(gpu);
    TestImage dst(4, 4);
    AudioMonitorRecord monitor;
    std::memset(&monitor, 0, sizeof monitor);
    EXPECT_FALSE(manager.applyFinalProcessing(nullptr, finalProcessingSystemParameters(4, 4, 0, 1, false),
                                              nullptr, dst.plane().data, 4, 4, 0, dst.rowBytes, monitor));
    EXPECT_TRUE(log.contains("RenderBufferManager not initialized for final processing"));
}

// Matte injection: the source's colour with alpha from the matte's luminance, or opaque.
TEST(MatteInjection, AlphaFromLuminanceOrOpaque) {
    HostRuntime& gpu = HostRuntime::instance();
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        int mode;
        Pixel matte;
        float alpha;
    };
    const Case cases[] = {
        {1, {1, 1, 1, 1}, 1.0f},
        {1, {0, 0, 0, 1}, 0.0f},
        {1, {inf, 0, 0, 1}, 0.0f},
        {1, {0.5f, 0.5f, 0.5f, 0}, 0.5f},
        {1, {4, 4, 4, 1}, 1.0f},
        {2, {0, 0, 0, 0}, 1.0f},
        // Finite however large: clamped to 1; not a number: 0.
        {1, {3.2e38f, 3.2e38f, 3.2e38f, 1}, 1.0f},
        {1, {nan, 0, 0, 1}, 0.0f},
    };
    TestImage source(20, 17);
    source.fill(0.1f, 0.2f, 0.3f, 0.4f);
    RenderBufferManager manager(gpu);
    GpuArray sourceArray = nullptr;
    GpuTextureObject sourceTexture = 0;
    ASSERT_EQ(mallocFloat4Array(gpu, &sourceArray, 20, 17, 0), GpuErr::Success);
    gpu.memcpy2DToArray(sourceArray, 0, 0, source.plane().data, source.rowBytes, 20 * 16, 17,
                        GpuMemcpyHostToDevice);
    ASSERT_EQ(createArrayTexture(gpu, sourceArray, &sourceTexture), GpuErr::Success);
    for (const Case& c : cases) {
        TestImage matte(20, 17);
        matte.fill(c.matte.r, c.matte.g, c.matte.b, c.matte.a);
        GpuArray matteArray = nullptr;
        GpuTextureObject matteTexture = 0;
        ASSERT_EQ(mallocFloat4Array(gpu, &matteArray, 20, 17, 0), GpuErr::Success);
        gpu.memcpy2DToArray(matteArray, 0, 0, matte.plane().data, matte.rowBytes, 20 * 16, 17,
                            GpuMemcpyHostToDevice);
        ASSERT_EQ(createArrayTexture(gpu, matteArray, &matteTexture), GpuErr::Success);
        const GpuTextureObject injected =
            manager.applyMatteInjection(nullptr, sourceTexture, matteTexture, c.mode);
        ASSERT_NE(injected, 0u);
        GpuResourceDesc resource;
        ASSERT_EQ(gpu.getTextureObjectResourceDesc(&resource, injected), GpuErr::Success);
        float texel[4];
        gpu.memcpy2DFromArray(texel, 16, resource.array, 19 * 16, 16, 16, 1, GpuMemcpyDeviceToHost);
        EXPECT_FLOAT_EQ(texel[0], 0.1f);
        EXPECT_FLOAT_EQ(texel[2], 0.3f);
        EXPECT_FLOAT_EQ(texel[3], c.alpha) << c.mode << " " << c.matte.r;
        gpu.destroyTextureObject(matteTexture);
        gpu.freeArray(matteArray);
    }
    // The same size reuses the resources; a new size reallocates them.
    EXPECT_EQ(manager.matteWidth(), 20);
    gpu.destroyTextureObject(sourceTexture);
    gpu.freeArray(sourceArray);
    ASSERT_EQ(mallocFloat4Array(gpu, &sourceArray, 6, 5, 0), GpuErr::Success);
    ASSERT_EQ(createArrayTexture(gpu, sourceArray, &sourceTexture), GpuErr::Success);
    EXPECT_NE(manager.applyMatteInjection(nullptr, sourceTexture, 0, 2), 0u);
    EXPECT_EQ(manager.matteWidth(), 6);
    EXPECT_EQ(manager.matteHeight(), 5);
    manager.releaseMatteResources();
    EXPECT_FALSE(manager.hasMatteResources());
    EXPECT_EQ(manager.applyMatteInjection(nullptr, 0, 0, 2), 0u);
    gpu.destroyTextureObject(sourceTexture);
    gpu.freeArray(sourceArray);
}

}  // namespace
