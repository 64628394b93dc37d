// Reuse of freed frame-sized blocks: a reused block is as zeroed as a new one, and a request of
// another size releases what was kept.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "gpu/HostBlocks.h"
#include "gpu/HostRuntime.h"

namespace {

bool allZero(const unsigned char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (p[i]) return false;
    return true;
}

}  // namespace

TEST(HostBlocks, KeptBlocksComeBackZeroedAndOtherSizesReleaseThem) {
    for (const std::size_t bytes : {SpareHostBlocks::kSmallestKept, std::size_t(5) << 20}) {
        SCOPED_TRACE(bytes);
        SpareHostBlocks spare;
        HostBlock block = spare.take(bytes);
        ASSERT_TRUE(block);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block.get()) % 256, 0u);
        EXPECT_TRUE(allZero(block.get(), bytes));
        std::memset(block.get(), 0xAB, bytes);
        unsigned char* address = block.get();
        spare.give(std::move(block), bytes);
        EXPECT_EQ(spare.keptCount(), 1u);

        HostBlock again = spare.take(bytes);
        EXPECT_EQ(again.get(), address);
        EXPECT_TRUE(allZero(again.get(), bytes));
        spare.give(std::move(again), bytes);

        HostBlock other = spare.take(bytes + 4096);
        ASSERT_TRUE(other);
        EXPECT_EQ(spare.keptCount(), 0u);
    }

    SpareHostBlocks spare;
    spare.give(spare.take(4096), 4096);  // small blocks go straight back to the system
    EXPECT_EQ(spare.keptCount(), 0u);
}

// Through the runtime: an array freed while a texture still reads it is not handed out again.
TEST(HostBlocks, AnArrayStillBoundToATextureIsNotReused) {
    GpuRuntime& rt = hostGpuRuntime();
    const std::size_t w = 512, h = 512;  // 4 MiB of float4
    GpuArray first = nullptr;
    ASSERT_EQ(rt.mallocArray(&first, gpuChannelDescFloat4(), w, h, GpuArraySurfaceLoadStore), 0);
    GpuResourceDesc resource;
    resource.type = GpuResourceTypeArray;
    resource.array = first;
    GpuTextureObject texture = 0;
    ASSERT_EQ(rt.createTextureObject(&texture, resource, gpuStandardTextureDesc()), 0);
    ASSERT_EQ(rt.freeArray(first), 0);

    GpuArray second = nullptr;
    ASSERT_EQ(rt.mallocArray(&second, gpuChannelDescFloat4(), w, h, GpuArraySurfaceLoadStore), 0);
    std::vector<float> pixels(w * h * 4, 1.0f);
    ASSERT_EQ(rt.memcpy2DToArray(second, 0, 0, pixels.data(), w * 16, w * 16, h, GpuMemcpyHostToDevice), 0);
    // The texture of the freed array still reads its own zeros, not the new array's ones.
    float sample[4] = {-1, -1, -1, -1};
    velmora_emu::sampleTexture2D(texture, 0.5f, 0.5f, sample);
    EXPECT_EQ(sample[0], 0.0f);
    EXPECT_EQ(sample[3], 0.0f);
    rt.destroyTextureObject(texture);
    rt.freeArray(second);
}
