#include <gtest/gtest.h>

#include "RenderTestSupport.h"
#include "gpu/HostRuntime.h"
#include "render/TextureManager.h"

namespace {

// The texture's content, read back through a copy of its array.
std::vector<float> readTexel(HostRuntime& gpu, const TextureEntry& entry, int x, int y) {
    std::vector<float> texel(4, -1.0f);
    gpu.memcpy2DFromArray(texel.data(), 16, entry.array, static_cast<std::size_t>(x) * 16,
                          static_cast<std::size_t>(y), 16, 1, GpuMemcpyDeviceToHost);
    return texel;
}

class TextureManagerTest : public ::testing::Test {
  protected:
    LogCapture log;
    HostRuntime& gpu = HostRuntime::instance();
    TextureManager textures{gpu, true};
};

TEST_F(TextureManagerTest, SamePointerAndSizeUpdatesInPlaceNewPointerOrSizeRecreates) {
    TestImage a(8, 4, 8 * 16 + 32), b(8, 4), small(4, 4);
    a.fill(0.25f, 0, 0, 1);
    ASSERT_NE(textures.refreshTexture("Source", 8, 4, a.plane().data, a.rowBytes, false), 0u);
    TextureEntry created;
    ASSERT_TRUE(textures.findEntry("Source", &created));
    EXPECT_FALSE(created.linear);  // host memory is copied into an array
    EXPECT_FLOAT_EQ(readTexel(gpu, created, 7, 3)[0], 0.25f);

    // Same pointer, same size: the array is kept and its content refreshed.
    a.fill(0.75f, 0, 0, 1);
    ASSERT_NE(textures.refreshTexture("Source", 8, 4, a.plane().data, a.rowBytes, false), 0u);
    TextureEntry updated;
    ASSERT_TRUE(textures.findEntry("Source", &updated));
    EXPECT_EQ(updated.array, created.array);
    EXPECT_EQ(updated.texture, created.texture);
    EXPECT_FLOAT_EQ(readTexel(gpu, updated, 7, 3)[0], 0.75f);
    EXPECT_FALSE(log.contains("Source pointer changed"));

    // A new pointer of the same size is recreated, not updated.
    b.fill(0.5f, 0, 0, 1);
    ASSERT_NE(textures.refreshTexture("Source", 8, 4, b.plane().data, b.rowBytes, false), 0u);
    TextureEntry moved;
    ASSERT_TRUE(textures.findEntry("Source", &moved));
    EXPECT_EQ(moved.sourcePointer, b.plane().data);
    EXPECT_FLOAT_EQ(readTexel(gpu, moved, 0, 0)[0], 0.5f);
    EXPECT_TRUE(log.contains("Source pointer changed for 'Source'"));

    // A new size is recreated at that size.
    ASSERT_NE(textures.refreshTexture("Source", 4, 4, small.plane().data, small.rowBytes, false), 0u);
    TextureEntry resized;
    ASSERT_TRUE(textures.findEntry("Source", &resized));
    EXPECT_EQ(resized.width, 4);
    EXPECT_TRUE(log.contains("Recreated texture for dimension change: Source"));
}

TEST_F(TextureManagerTest, DeviceMemoryIsViewedInPlaceUnlessTheProfileUploads) {
    void* device = nullptr;
    ASSERT_EQ(gpu.malloc(&device, 8 * 4 * 16), GpuErr::Success);
    ASSERT_TRUE(textures.createTexture("Source", 8, 4, device, 8 * 16));
    TextureEntry view;
    ASSERT_TRUE(textures.findEntry("Source", &view));
    EXPECT_TRUE(view.linear);
    EXPECT_EQ(view.array, nullptr);

    TextureManager uploading(gpu, false);  // CUDA-fallback profile: always an array
    ASSERT_TRUE(uploading.createTexture("Source", 8, 4, device, 8 * 16));
    TextureEntry copy;
    ASSERT_TRUE(uploading.findEntry("Source", &copy));
    EXPECT_FALSE(copy.linear);
    EXPECT_NE(copy.array, nullptr);
    uploading.cleanupTextures();

    // Rows whose pitch the texture unit refuses are copied into an array instead, both when the
    // texture is made and when the same image comes back with such a pitch.
    float* pixels = static_cast<float*>(device);
    for (int i = 0; i < 8 * 4 * 4; ++i) pixels[i] = static_cast<float>(i);
    ASSERT_NE(textures.refreshTexture("Odd", 3, 4, device, 3 * 16, false), 0u);
    TextureEntry odd;
    ASSERT_TRUE(textures.findEntry("Odd", &odd));
    EXPECT_FALSE(odd.linear);
    EXPECT_FLOAT_EQ(readTexel(gpu, odd, 0, 1)[0], 12.0f);
    EXPECT_TRUE(log.contains("Zero-copy pitch2D failed"));
    ASSERT_NE(textures.refreshTexture("Odd", 3, 4, device, 4 * 16, false), 0u);  // aligned: a view
    ASSERT_TRUE(textures.findEntry("Odd", &odd));
    EXPECT_TRUE(odd.linear);
    ASSERT_NE(textures.refreshTexture("Odd", 3, 4, device, 3 * 16 + 16 * 2, false), 0u);  // refused again
    ASSERT_TRUE(textures.findEntry("Odd", &odd));
    EXPECT_FALSE(odd.linear);
    EXPECT_FLOAT_EQ(readTexel(gpu, odd, 0, 1)[0], 20.0f);
    textures.cleanupTextures();
    gpu.free(device);
}

TEST_F(TextureManagerTest, FailuresLeaveNoEntryAndReportFalse) {
    EXPECT_FALSE(textures.updateTextureData("Nothing", nullptr, 16));
    EXPECT_TRUE(log.contains("No cached texture found for Nothing"));

    TestImage image(8, 4);
    gpu.failAllocationAfter(1);
    EXPECT_EQ(textures.refreshTexture("Source", 8, 4, image.plane().data, image.rowBytes, false), 0u);
    gpu.resetAllocationFailures();
    EXPECT_FALSE(textures.findEntry("Source", nullptr));
    EXPECT_TRUE(log.contains("Failed to create texture for: Source"));

    // A pitch narrower than the row is refused rather than read past the rows.
    EXPECT_FALSE(textures.createTexture("Source", 8, 4, image.plane().data, 8 * 16 - 16));
}

TEST_F(TextureManagerTest, DefaultTexturesHoldTheirColoursOnce) {
    EXPECT_EQ(textures.getDefaultTexture(TextureManager::NoInputWhite), 0u);
    EXPECT_TRUE(log.contains("Default textures not created yet"));
    ASSERT_TRUE(textures.createDefaultTextures(64, 32));
    const HostRuntime::Usage usage = gpu.usage();
    ASSERT_TRUE(textures.createDefaultTextures(64, 32));
    EXPECT_EQ(gpu.usage().arrays, usage.arrays);

    EXPECT_EQ(textures.getDefaultTexture(TextureManager::NoInputError), 0u);
    const GpuTextureObject black = textures.getDefaultTexture(TextureManager::NoInputBlack);
    const GpuTextureObject white = textures.getDefaultTexture(TextureManager::NoInputWhite);
    const GpuTextureObject clear = textures.getDefaultTexture(TextureManager::NoInputTransparent);
    EXPECT_NE(black, white);
    EXPECT_NE(white, clear);
    for (const auto& [texture, expected] :
         {std::pair<GpuTextureObject, float>{black, 1.0f}, {white, 1.0f}, {clear, 0.0f}}) {
        GpuResourceDesc resource;
        ASSERT_EQ(gpu.getTextureObjectResourceDesc(&resource, texture), GpuErr::Success);
        float texel[4];
        gpu.memcpy2DFromArray(texel, 16, resource.array, 0, 0, 16, 1, GpuMemcpyDeviceToHost);
        EXPECT_FLOAT_EQ(texel[3], expected);
    }
    textures.cleanupTextures();
    EXPECT_EQ(gpu.usage().arrays, usage.arrays - 3);
}

TEST_F(TextureManagerTest, UnknownResourcesLoadNothingAndLogOnce) {
    std::vector<ResourceTextureDefinition> definitions(2);
    definitions[0].name = "noise";
    definitions[0].file = "blue_noise.png";
    definitions[1].name = "lut";
    definitions[1].file = "grade";
    ASSERT_TRUE(textures.loadBundledResources(nullptr, definitions));
    ASSERT_TRUE(textures.loadBundledResources(nullptr, definitions));
    EXPECT_EQ(log.count("not found in embedded data"), 2);
    EXPECT_TRUE(log.contains("Bundled resource 'noise' (file: blue_noise.png, lookup: blue_noise)"));
    BundledResources record;
    textures.populateBundledResources(record);
    EXPECT_EQ(record.resourceCount, 0);
}

}  // namespace
