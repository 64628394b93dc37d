#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>

#include "KernelTestSupport.h"
#include "kernels/KernelLaunch.h"
#include "kernels/cpu/CpuFastPaths.h"

// The whole-row CPU paths against the per-pixel kernels on random images and parameters: where a
// row path takes a pass, every output value must be identical (zeros compare equal whatever sign).

namespace {

template <class T>
T pick(std::mt19937& rng, std::initializer_list<T> values) {
    std::uniform_int_distribution<size_t> d(0, values.size() - 1);
    return *(values.begin() + d(rng));
}

}  // namespace

TEST(CpuRowPaths, MatchThePerPixelKernelsOnRandomInputs) {
    std::mt19937 rng(20260827);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::map<std::string, int> taken;
    for (int round = 0; round < 24; ++round) {
        const int w = std::uniform_int_distribution<int>(5, 70)(rng),
                  h = std::uniform_int_distribution<int>(3, 45)(rng);
        SCOPED_TRACE(testing::Message() << "round " << round << " size " << w << "x" << h);
        auto noise = [&](int, int) { return Rgba{unit(rng) * 1.5f - 0.2f, unit(rng), unit(rng), unit(rng)}; };
        // Masks with hard holes, soft edges and empty regions.
        const int cx = w / 3, cy = h / 2, r = std::max(2, w / 5);
        auto matte = [&](int x, int y) {
            const float d = std::hypot(float(x - cx), float(y - cy));
            const float m = d < r ? 1.0f : (d < r + 3 ? (r + 3 - d) / 3.0f : 0.0f);
            return Rgba{m, m, m, 1};
        };
        GpuImage plate(w, h, noise), shape(w, h, noise), mask(w, h, matte), fill(w, h, noise),
            working(w, h, noise);

        KernelRig rig(w, h);
        rig.setSource(0, plate.texture());
        rig.setSource(1, shape.texture(), round % 7 != 3);
        rig.setSource(2, 0);
        rig.setSource(3, mask.texture());
        rig.setSource(4, fill.texture());
        rig.system.frame = round;
        float* f = rig.parameters.floats;
        f[0] = pick(rng, {0.0f, 0.3f, 2.7f, 7.0f, 15.0f, 60.0f});
        f[1] = pick(rng, {0.0f, 0.5f, 3.0f});
        f[2] = unit(rng) * 360.0f;
        f[3] = unit(rng) * 2 - 1;
        f[4] = pick(rng, {0.0f, 0.0f, 0.00005f, 1.5f, -2.0f});
        f[5] = pick(rng, {0.0f, 0.0f, 0.9f, 2.0f});
        f[6] = pick(rng, {0.0f, 0.4f, 4.0f});
        f[7] = pick(rng, {0.0f, 0.4f, 3.0f});
        f[10] = pick(rng, {0.0f, 0.3f, 5.0f});
        f[11] = pick(rng, {0.0f, 100.0f});
        f[12] = pick(rng, {0.0f, 0.5f});
        f[13] = 1.0f;
        rig.parameters.ints[0] = pick(rng, {0, 1, 2});
        for (int b = 0; b < 5; ++b) rig.parameters.bools[b] = unit(rng) < 0.5f;
        rig.setVec2(0, pick(rng, {0.0f, 0.0f, 0.013f}), pick(rng, {0.0f, 0.0f, -0.02f}));
        rig.setVec2(1, pick(rng, {0.0f, 0.0f, 0.1f}), 0.0f);

        for (const RowPathModule& m : kRowPathModules) {
            for (int e = 0; e < m.executions; ++e) {
                GpuImage rowsOut(w, h), pixelOut(w, h);
                rig.system.currentExecution = e;
                KernelLaunchArgs args{nullptr,      &rig.system,       &rig.pipeline,
                                      &rig.sources, &rig.parameters,   &rig.resources,
                                      &rig.buffers, working.texture(), rowsOut.surface()};
                if (!m.rows(args, cpu_fast::RowRegion::wholeFrame(w, h))) continue;
                ++taken[m.name];
                args.outputSurface = pixelOut.surface();
                ASSERT_EQ(m.perPixel(args), 0);
                const std::vector<Rgba> a = rowsOut.download(), b = pixelOut.download();
                for (size_t i = 0; i < a.size(); ++i) {
                    ASSERT_TRUE(a[i].r == b[i].r && a[i].g == b[i].g && a[i].b == b[i].b && a[i].a == b[i].a)
                        << m.name << " execution " << e << " pixel " << i << ": " << describe(a[i]) << " vs "
                        << describe(b[i]);
                }
            }
        }
    }
    for (const RowPathModule& m : kRowPathModules)
        EXPECT_GT(taken[m.name], 3) << m.name << " row path never ran";
}
