#include <gtest/gtest.h>

#include <random>

#include "KernelTestSupport.h"
#include "kernels/KernelLaunch.h"
#include "kernels/PassRegion.h"
#include "kernels/cpu/CpuFastPaths.h"

// The CPU row paths on frames wider or taller than 4096 pixels, where the kernels' coordinates
// may land between texels, and over regions of tiles: every value they write must be the
// per-pixel kernel's (zeros compare equal whatever their sign), and nothing outside a region
// may be written.

namespace {

template <class T>
T pick(std::mt19937& rng, std::initializer_list<T> values) {
    std::uniform_int_distribution<size_t> d(0, values.size() - 1);
    return *(values.begin() + d(rng));
}

// Random images, holes and parameters of every feature, on one frame size.
struct Scene {
    Scene(int w, int h, std::mt19937& rng)
        : width(w),
          height(h),
          plate(w, h, noise(rng)),
          shape(w, h, noise(rng)),
          mask(w, h, holes(rng, w, h)),
          fill(w, h, noise(rng)),
          working(w, h, noise(rng)),
          rig(w, h) {
        rig.setSource(0, plate.texture());
        rig.setSource(1, shape.texture());
        rig.setSource(2, 0);
        rig.setSource(3, mask.texture());
        rig.setSource(4, fill.texture());
    }

    static std::function<Rgba(int, int)> noise(std::mt19937& rng) {
        return [&rng](int, int) {
            std::uniform_real_distribution<float> unit(0.0f, 1.0f);
            return Rgba{unit(rng) * 1.5f - 0.2f, unit(rng), unit(rng), unit(rng)};
        };
    }
    // Soft-edged holes along the frame, some touching its edges.
    static std::function<Rgba(int, int)> holes(std::mt19937& rng, int w, int h) {
        const int step = std::max(24, std::max(w, h) / 9);
        const int phase = std::uniform_int_distribution<int>(0, step - 1)(rng);
        return [=](int x, int y) {
            const int along = (w >= h ? x : y) + phase;
            const int d = std::abs(along % step - step / 2);
            const float m = d < 4 ? 1.0f : (d < 8 ? (8 - d) / 4.0f : 0.0f);
            return Rgba{m, m, m, 1};
        };
    }

    void randomParameters(std::mt19937& rng, int round) {
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        float* f = rig.parameters.floats;
        f[0] = pick(rng, {0.3f, 2.7f, 7.0f, 15.0f, 60.0f});
        f[1] = pick(rng, {0.0f, 3.0f, 20.0f});
        f[2] = unit(rng) * 360.0f;
        f[3] = unit(rng) * 2 - 1;
        f[4] = pick(rng, {0.0f, 2.5f, -2.0f, 9.0f});
        f[5] = pick(rng, {0.0f, 2.0f, 7.3f});
        f[6] = pick(rng, {0.0f, 4.0f});
        f[7] = pick(rng, {0.0f, 3.0f});
        f[8] = unit(rng) * 360.0f;
        f[10] = pick(rng, {0.0f, 5.0f, 30.0f});
        f[11] = pick(rng, {0.0f, 100.0f});
        f[12] = pick(rng, {0.0f, 0.5f});
        f[13] = pick(rng, {1.0f, 3.7f});
        f[14] = pick(rng, {0.0f, 0.5f});
        rig.parameters.ints[0] = pick(rng, {0, 1, 2});
        for (int b = 0; b < 5; ++b) rig.parameters.bools[b] = unit(rng) < 0.6f;
        rig.parameters.bools[1] = 1;
        rig.setVec2(0, pick(rng, {0.0f, 0.013f}), pick(rng, {0.0f, -0.02f, 1.5f}));
        rig.setVec2(1, pick(rng, {0.0f, 0.1f, -3.0f}), pick(rng, {0.0f, 0.25f}));
        rig.system.frame = round;
    }

    int width, height;
    GpuImage plate, shape, mask, fill, working;
    KernelRig rig;
};

bool sameValue(float a, float b) {
    return a == b || (a != a && b != b);
}

bool samePixel(const Rgba& a, const Rgba& b) {
    return sameValue(a.r, b.r) && sameValue(a.g, b.g) && sameValue(a.b, b.b) && sameValue(a.a, b.a);
}

// Runs every execution of every module through `rows` over `region` and through the per-pixel
// kernel over the whole frame; inside the region the values must agree, outside it the sentinel
// the output started with must stay.
void expectRowsMatch(Scene& scene, const cpu_fast::RowRegion& region, const std::vector<bool>& inside) {
    const int w = scene.width, h = scene.height;
    const Rgba sentinel{-7.0f, -7.0f, -7.0f, -7.0f};
    for (const RowPathModule& m : kRowPathModules) {
        for (int e = 0; e < m.executions; ++e) {
            SCOPED_TRACE(testing::Message() << m.name << " execution " << e);
            GpuImage rowsOut(w, h, std::vector<Rgba>(static_cast<size_t>(w) * h, sentinel)), pixelOut(w, h);
            scene.rig.system.currentExecution = e;
            KernelLaunchArgs args{nullptr,
                                  &scene.rig.system,
                                  &scene.rig.pipeline,
                                  &scene.rig.sources,
                                  &scene.rig.parameters,
                                  &scene.rig.resources,
                                  &scene.rig.buffers,
                                  scene.working.texture(),
                                  rowsOut.surface()};
            ASSERT_TRUE(m.rows(args, region)) << "the row path declined";
            ASSERT_EQ(hostGpuRuntime().getLastError(), 0);
            args.outputSurface = pixelOut.surface();
            ASSERT_EQ(m.perPixel(args), 0);
            const std::vector<Rgba> a = rowsOut.download(), b = pixelOut.download();
            for (size_t i = 0; i < a.size(); ++i) {
                const Rgba& expected = inside[i] ? b[i] : sentinel;
                ASSERT_TRUE(samePixel(a[i], expected))
                    << "pixel " << i % w << "," << i / w << (inside[i] ? "" : " (outside the region)") << ": "
                    << describe(a[i]) << " vs " << describe(expected);
            }
        }
    }
}

}  // namespace

// Sides just above 4096, 8192 and 16384, both ways, and a width whose coordinates land between
// texel centres: the row paths cover them all and give the per-pixel kernels' values.
TEST(CpuRowRegions, EveryFrameSideMatchesThePerPixelKernels) {
    struct Size {
        int w, h;
    };
    const Size sizes[] = {{4100, 3}, {3, 4100}, {8200, 3}, {16400, 2}, {2, 16400}, {40000, 2}};
    std::mt19937 rng(20270113);
    for (const Size& size : sizes) {
        SCOPED_TRACE(testing::Message() << size.w << "x" << size.h);
        Scene scene(size.w, size.h, rng);
        for (int round = 0; round < 2; ++round) {
            SCOPED_TRACE(testing::Message() << "round " << round);
            scene.randomParameters(rng, round);
            expectRowsMatch(scene, cpu_fast::RowRegion::wholeFrame(size.w, size.h),
                            std::vector<bool>(static_cast<size_t>(size.w) * size.h, true));
        }
    }
}

// Frames of these widths compute some texel-centred coordinates a little off the centre; the
// pixels that read them are found (and left to the per-pixel kernel), smaller frames have none.
TEST(CpuRowRegions, OffCentreReadsAreFoundOnlyBeyond4096Pixels) {
    const cpu_fast::TexelReads own;
    EXPECT_TRUE(cpu_fast::offTexelTiles(own, cpu_fast::RowRegion::wholeFrame(4096, 4096)).empty());
    EXPECT_TRUE(cpu_fast::offTexelTiles(own, cpu_fast::RowRegion::wholeFrame(16384, 2)).empty());
    EXPECT_FALSE(cpu_fast::offTexelTiles(own, cpu_fast::RowRegion::wholeFrame(40000, 2)).empty());
    cpu_fast::TexelReads steps;
    steps.reachX = 3;
    EXPECT_FALSE(cpu_fast::offTexelTiles(steps, cpu_fast::RowRegion::wholeFrame(16570, 2)).empty());
}

// Random sets of tiles (single ones, rows, blocks at the borders, several islands) on small
// frames: the row paths write exactly those tiles, with the full frame's values.
TEST(CpuRowRegions, RegionsOfTilesMatchTheWholeFrame) {
    std::mt19937 rng(20270114);
    for (int round = 0; round < 10; ++round) {
        const int w = std::uniform_int_distribution<int>(17, 90)(rng),
                  h = std::uniform_int_distribution<int>(17, 70)(rng);
        SCOPED_TRACE(testing::Message() << "round " << round << " size " << w << "x" << h);
        Scene scene(w, h, rng);
        scene.randomParameters(rng, round);
        const int tilesX = (w + 15) / 16, tilesY = (h + 15) / 16;
        std::vector<uint32_t> tiles;
        const float share = pick(rng, {0.15f, 0.4f, 0.8f});
        for (int ty = 0; ty < tilesY; ++ty)
            for (int tx = 0; tx < tilesX; ++tx)
                if (std::uniform_real_distribution<float>(0.0f, 1.0f)(rng) < share)
                    tiles.push_back(packRegionTile(tx, ty));
        if (tiles.empty()) tiles.push_back(packRegionTile(tilesX - 1, tilesY - 1));
        std::vector<bool> inside(static_cast<size_t>(w) * h, false);
        for (uint32_t t : tiles)
            for (int y = regionTileY(t) * 16; y < std::min(h, regionTileY(t) * 16 + 16); ++y)
                for (int x = regionTileX(t) * 16; x < std::min(w, regionTileX(t) * 16 + 16); ++x)
                    inside[static_cast<size_t>(y) * w + x] = true;
        expectRowsMatch(
            scene, cpu_fast::RowRegion::ofTiles(w, h, tiles.data(), static_cast<int>(tiles.size())), inside);
    }
}
