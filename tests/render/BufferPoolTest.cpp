#include <gtest/gtest.h>

#include "RenderTestSupport.h"
#include "gpu/HostRuntime.h"
#include "render/BufferPool.h"
#include "render/RenderBufferManager.h"
#include "render/RenderEngine.h"

namespace {

TEST(PoolCapacity, FollowsTheBudgetBetweenTwoAndFour) {
    struct Case {
        int width, height;
        std::size_t pipelineBuffers;
        bool matte;
        std::size_t unitMB, entryMB, capacity;
    };
    const Case cases[] = {
        {3840, 2160, 1, true, 126, 378, 2},                              // below 2 is raised to 2
        {1920, 1080, 0, false, 31, 31, 4},                               // above 4 is lowered to 4
        {1920, 1080, 3, true, 31, 155, 2},                               // 256 / 155 = 1 -> 2
        {1920, 1080, 1, false, 31, 62, 4},                               // 256 / 62 = 4
        {1280, 720, 3, false, 14, 56, 4},   {64, 64, 3, true, 0, 0, 4},  // frames below 1 MiB cost nothing
    };
    for (const Case& c : cases) {
        const PoolCapacity capacity = computePoolCapacity(c.width, c.height, c.pipelineBuffers, c.matte);
        EXPECT_EQ(capacity.unitMB, c.unitMB) << c.width << "x" << c.height;
        EXPECT_EQ(capacity.entryMB, c.entryMB) << c.width << "x" << c.height;
        EXPECT_EQ(capacity.capacity, c.capacity) << c.width << "x" << c.height;
    }
}

TEST(BufferPool, EvictsTheLeastRecentlyUsedEntryAndReusesHits) {
    BufferPool pool(HostRuntime::instance());
    char buffers[6];
    RenderBufferManager* first = pool.acquireManager(&buffers[0], 8, 8, 0, false);
    for (int i = 1; i < 4; ++i) pool.acquireManager(&buffers[i], 8, 8, 0, false);
    EXPECT_EQ(pool.size(), 4u);
    // A hit returns the same manager and makes it the most recently used.
    EXPECT_EQ(pool.acquireManager(&buffers[0], 8, 8, 0, false), first);
    pool.acquireManager(&buffers[4], 8, 8, 0, false);
    EXPECT_EQ(pool.size(), 4u);
    EXPECT_TRUE(pool.contains(&buffers[0]));
    EXPECT_FALSE(pool.contains(&buffers[1]));  // the oldest untouched entry went
    pool.acquireManager(&buffers[5], 8, 8, 0, false);
    EXPECT_FALSE(pool.contains(&buffers[2]));

    pool.flushPool(first);
    EXPECT_EQ(pool.size(), 1u);
    EXPECT_TRUE(pool.contains(&buffers[0]));
}

TEST(RenderBufferManager, PingPongsAndKeepsBuffersWhenOnlyThePassCountChanges) {
    HostRuntime& gpu = HostRuntime::instance();
    RenderBufferManager manager(gpu);
    EXPECT_EQ(manager.getOutputSurface(0), 0u);  // not initialised
    ASSERT_TRUE(manager.initialize(16, 8, nullptr, nullptr, 7));
    EXPECT_TRUE(manager.finalInA());
    EXPECT_EQ(manager.getInputTexture(0), 0u);
    const GpuSurfaceObject surfA = manager.getOutputSurface(0);
    const GpuSurfaceObject surfB = manager.getOutputSurface(1);
    EXPECT_NE(surfA, surfB);
    EXPECT_EQ(manager.getOutputSurface(6), surfA);  // pass 6 of 7 writes A, the final copy reads A
    EXPECT_NE(manager.getInputTexture(1), manager.getInputTexture(2));

    const HostRuntime::Usage before = gpu.usage();
    ASSERT_TRUE(manager.initialize(16, 8, nullptr, nullptr, 4));
    EXPECT_EQ(gpu.usage().arrays, before.arrays);
    EXPECT_EQ(manager.getOutputSurface(0), surfA);
    EXPECT_FALSE(manager.finalInA());

    manager.release();
    EXPECT_EQ(gpu.usage().arrays, before.arrays - 2);
}

TEST(RenderBufferManager, FailedAllocationLeavesNothingBehind) {
    HostRuntime& gpu = HostRuntime::instance();
    RenderBufferManager manager(gpu);
    const HostRuntime::Usage before = gpu.usage();
    gpu.failAllocationAfter(2);  // array A succeeds, array B fails
    EXPECT_FALSE(manager.initialize(16, 8, nullptr, nullptr, 3));
    gpu.resetAllocationFailures();
    EXPECT_FALSE(manager.isInitialized());
    EXPECT_EQ(gpu.usage().arrays, before.arrays);
    EXPECT_EQ(gpu.usage().textures, before.textures);
}

// A render whose buffer allocation fails flushes the other pool entries and retries once.
class PoolRecoveryTest : public ::testing::Test {
  protected:
    PoolRecoveryTest() : host(shippedDefinition()), plate(24, 16), mask(24, 16) {
        plate.fill(0.5f, 0.25f, 0.125f, 1.0f);
        host.connect("Source", &plate);
        host.connect("Mask_Shape", &mask);
    }
    void render(TestImage& output) {
        host.connect("output", &output);
        RenderRequest request;
        engine.setupAndProcess(request);
    }
    ~PoolRecoveryTest() override { HostRuntime::instance().resetAllocationFailures(); }

    LogCapture log;
    FakeRenderHost host;
    TestImage plate, mask;
    RenderEngine engine{host, shippedDefinition(), RenderProfile(), HostRuntime::instance()};
};

TEST_F(PoolRecoveryTest, FlushesAndRetriesWhenAnAllocationFails) {
    TestImage first(24, 16), second(24, 16), third(24, 16);
    render(first);
    render(second);
    ASSERT_EQ(engine.bufferPool().size(), 2u);
    // The next allocation is the new manager's first array.
    HostRuntime::instance().failAllocationAfter(1);
    render(third);
    EXPECT_TRUE(log.contains("attempting pool flush recovery"));
    EXPECT_TRUE(log.contains("Pool flush recovery succeeded"));
    EXPECT_EQ(engine.bufferPool().size(), 1u);
    EXPECT_FLOAT_EQ(third.pixel(3, 3)[0], 0.5f);  // outside the (empty) mask: the plate
}

TEST_F(PoolRecoveryTest, FailsTheRenderWhenMemoryStaysShort) {
    TestImage first(24, 16), output(24, 16);
    render(first);
    // Even with the first output's ping-pong arrays flushed, one new array does not fit.
    const HostRuntime::Usage usage = HostRuntime::instance().usage();
    const std::size_t pingPong = 2 * 24 * 16 * 16;
    HostRuntime::instance().setAllocationBudget(usage.arrayBytes + usage.bufferBytes - pingPong + 16);
    EXPECT_THROW(render(output), std::runtime_error);
    EXPECT_TRUE(log.contains("pool flush recovery also failed"));
    EXPECT_TRUE(
        log.contains("ERROR in setupAndProcess: The effect pipeline could not run process 1 of 3 "
                     "(platform cuda): the render buffers could not be allocated"));
}

}  // namespace
