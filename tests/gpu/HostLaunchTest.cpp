#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "gpu/HostRuntime.h"
#include "gpu/ThreadPool.h"
#include "probe_kernels.h"

namespace {

// A surface-capable float4 array with its surface object, filled with a sentinel.
struct SurfaceImage {
    GpuRuntime& rt;
    int width, height;
    GpuArray array = nullptr;
    GpuSurfaceObject surface = 0;

    SurfaceImage(GpuRuntime& runtime, int w, int h) : rt(runtime), width(w), height(h) {
        EXPECT_EQ(rt.mallocArray(&array, gpuChannelDescFloat4(), w, h, GpuArraySurfaceLoadStore), 0);
        std::vector<float> fill(static_cast<size_t>(w) * h * 4, -7.0f);
        EXPECT_EQ(rt.memcpy2DToArray(array, 0, 0, fill.data(), w * 16u, w * 16u, h, GpuMemcpyHostToDevice),
                  0);
        GpuResourceDesc res;
        res.array = array;
        EXPECT_EQ(rt.createSurfaceObject(&surface, res), 0);
    }
    ~SurfaceImage() {
        rt.destroySurfaceObject(surface);
        rt.freeArray(array);
    }
    std::vector<float> read() {
        std::vector<float> px(static_cast<size_t>(width) * height * 4);
        EXPECT_EQ(rt.memcpy2DFromArray(px.data(), width * 16u, array, 0, 0, width * 16u, height,
                                       GpuMemcpyDeviceToHost),
                  0);
        return px;
    }
};

// Every pixel holds its own x and y, and the block and thread indices that wrote it.
void expectCoordinates(const std::vector<float>& px, int width, int height) {
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float* p = &px[(static_cast<size_t>(y) * width + x) * 4];
            ASSERT_EQ(p[0], static_cast<float>(x)) << x << "," << y;
            ASSERT_EQ(p[1], static_cast<float>(y)) << x << "," << y;
            ASSERT_EQ(p[2], static_cast<float>(x / 16 + 1000 * (y / 16))) << x << "," << y;
            ASSERT_EQ(p[3], static_cast<float>(x % 16 + 100 * (y % 16))) << x << "," << y;
        }
    }
}

TEST(HostLaunch, GridOfBlocksWritesEveryPixel) {
    GpuRuntime& rt = hostGpuRuntime();
    const int width = 37 * 16 - 3, height = 19 * 16 - 5;  // the last blocks hang over the edge
    SurfaceImage image(rt, width, height);
    GpuStream stream = nullptr;
    ASSERT_EQ(rt.streamCreateWithFlags(&stream, GpuStreamNonBlocking), 0);
    ASSERT_EQ(host_impl::launchWriteCoords(stream, image.surface, width, height, 37, 19, true), 0);
    ASSERT_EQ(rt.streamSynchronize(stream), 0);
    ASSERT_EQ(rt.getLastError(), 0);
    expectCoordinates(image.read(), width, height);
    rt.streamDestroy(stream);
}

// Writes beyond the surface trap: the launch reports an illegal address, once, and no byte
// outside the surface's array is touched.
TEST(HostLaunch, OutOfRangeSurfaceWritesAreReportedNotPerformed) {
    GpuRuntime& rt = hostGpuRuntime();
    rt.getLastError();
    const int width = 20, height = 10;
    SurfaceImage image(rt, width, height);
    SurfaceImage neighbour(rt, width, height);  // allocated beside it; must stay as it was
    GpuStream stream = nullptr;
    ASSERT_EQ(rt.streamCreateWithFlags(&stream, 0), 0);
    EXPECT_EQ(host_impl::launchWriteCoords(stream, image.surface, width, height, 2, 1, false),
              GpuErr::IllegalAddress);
    EXPECT_EQ(rt.streamSynchronize(stream), GpuErr::IllegalAddress);
    EXPECT_EQ(rt.streamSynchronize(stream), 0) << "the stream's fault is reported once";
    EXPECT_EQ(rt.getLastError(), GpuErr::IllegalAddress);
    EXPECT_EQ(rt.getLastError(), 0);
    EXPECT_STREQ(rt.getErrorString(GpuErr::IllegalAddress), "an illegal memory access was encountered");

    expectCoordinates(image.read(), width, height);  // in-range writes of the same launch landed
    for (float v : neighbour.read()) ASSERT_EQ(v, -7.0f);

    // A destroyed surface is not written either.
    const GpuSurfaceObject stale = neighbour.surface;
    ASSERT_EQ(rt.destroySurfaceObject(stale), 0);
    neighbour.surface = 0;
    EXPECT_EQ(host_impl::launchWriteCoords(nullptr, stale, width, height, 2, 1, true),
              GpuErr::IllegalAddress);
    EXPECT_EQ(rt.deviceSynchronize(), GpuErr::IllegalAddress);
    rt.getLastError();
    for (float v : neighbour.read()) ASSERT_EQ(v, -7.0f);
    rt.streamDestroy(stream);
}

TEST(HostLaunch, InvalidConfigurationsAndStreamsAreRefused) {
    GpuRuntime& rt = hostGpuRuntime();
    SurfaceImage image(rt, 4, 4);
    rt.getLastError();
    EXPECT_EQ(host_impl::launchWithBlock(nullptr, image.surface, 32, 33), GpuErr::InvalidConfiguration);
    EXPECT_STREQ(rt.getErrorString(rt.getLastError()), "invalid configuration argument");
    EXPECT_EQ(host_impl::launchWithBlock(nullptr, image.surface, 0, 1), GpuErr::InvalidConfiguration);
    rt.getLastError();
    int notAStream = 0;
    EXPECT_EQ(host_impl::launchWithBlock(&notAStream, image.surface, 1, 1), GpuErr::InvalidResourceHandle);
    rt.getLastError();
    EXPECT_EQ(host_impl::launchWithBlock(nullptr, image.surface, 1, 1), 0);
}

// Work on one stream lands in issue order: upload, kernel, download.
TEST(HostLaunch, StreamRunsCopiesAndKernelsInOrder) {
    GpuRuntime& rt = hostGpuRuntime();
    const int width = 16, height = 16;
    SurfaceImage image(rt, width, height);
    GpuStream stream = nullptr;
    ASSERT_EQ(rt.streamCreateWithFlags(&stream, GpuStreamNonBlocking), 0);
    std::vector<float> zeros(width * height * 4, 0.0f), out(width * height * 4, 1.0f);
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(rt.memcpy2DToArrayAsync(image.array, 0, 0, zeros.data(), width * 16, width * 16, height,
                                          GpuMemcpyHostToDevice, stream),
                  0);
        ASSERT_EQ(host_impl::launchWriteCoords(stream, image.surface, width, height, 1, 1, true), 0);
        ASSERT_EQ(rt.memcpy2DFromArrayAsync(out.data(), width * 16, image.array, 0, 0, width * 16, height,
                                            GpuMemcpyDeviceToHost, stream),
                  0);
        ASSERT_EQ(rt.streamSynchronize(stream), 0);
        expectCoordinates(out, width, height);
    }
    rt.streamDestroy(stream);
}

TEST(HostLaunch, RunsOnAnInstalledHostMultithreadFunction) {
    std::atomic<int> spawns{0};
    std::set<unsigned> indices;
    std::mutex indicesMutex;
    setHostMultithread(
        [&](unsigned n, const std::function<void(unsigned)>& work) {
            ++spawns;
            std::vector<std::thread> threads;
            for (unsigned i = 0; i < n; ++i)
                threads.emplace_back([&, i] {
                    {
                        std::lock_guard<std::mutex> lock(indicesMutex);
                        indices.insert(i);
                    }
                    work(i);
                });
            for (std::thread& t : threads) t.join();
        },
        3);
    EXPECT_EQ(parallelThreadCount(), 3u);
    GpuRuntime& rt = hostGpuRuntime();
    const int width = 40, height = 33;
    SurfaceImage image(rt, width, height);
    EXPECT_EQ(host_impl::launchWriteCoords(nullptr, image.surface, width, height, 3, 3, true), 0);
    setHostMultithread(nullptr, 0);
    EXPECT_EQ(spawns.load(), 1);
    EXPECT_EQ(indices, (std::set<unsigned>{0, 1, 2}));
    expectCoordinates(image.read(), width, height);
}

// A host that runs fewer threads than asked still gets every index done.
TEST(HostLaunch, ShortchangingMultithreadFunctionStillCompletes) {
    setHostMultithread([](unsigned, const std::function<void(unsigned)>& work) { work(0); }, 8);
    std::vector<std::atomic<int>> hits(500);
    parallelFor(hits.size(), [&](size_t i) { ++hits[i]; });
    setHostMultithread(nullptr, 0);
    for (const auto& h : hits) ASSERT_EQ(h.load(), 1);
}

TEST(ThreadPoolTest, EveryIndexOnceEvenNestedAndConcurrent) {
    ThreadPool pool(4);
    std::vector<std::atomic<int>> hits(64 * 32);
    std::vector<std::thread> callers;
    for (int c = 0; c < 2; ++c) {
        callers.emplace_back([&, c] {
            pool.run(32, [&](size_t outer) {
                pool.run(32, [&](size_t inner) { ++hits[(c * 32 + outer) * 32 + inner]; });
            });
        });
    }
    for (std::thread& t : callers) t.join();
    for (const auto& h : hits) ASSERT_EQ(h.load(), 1);
}

TEST(ThreadPoolTest, RethrowsATaskExceptionAfterTheOthersFinish) {
    ThreadPool pool(3);
    std::atomic<int> done{0};
    EXPECT_THROW(pool.run(100,
                          [&](size_t i) {
                              if (i == 17) throw std::runtime_error("task failed");
                              ++done;
                          }),
                 std::runtime_error);
    EXPECT_EQ(done.load(), 99);
}

}  // namespace
