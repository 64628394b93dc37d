#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "KernelTestSupport.h"
#include "kernels/KernelLaunch.h"
#include "kernels/cpu/CpuFastPaths.h"

// The CPU paths whose reads land between texels (offsets, angles, fractional reaches) against the
// per-pixel kernels on random images and parameters: every output value must be identical (zeros
// compare equal whatever their sign).

namespace {

template <class T>
T pick(std::mt19937& rng, std::initializer_list<T> values) {
    std::uniform_int_distribution<size_t> d(0, values.size() - 1);
    return *(values.begin() + d(rng));
}

struct Pass {
    const char* name;
    int execution;
    bool (*rows)(const KernelLaunchArgs&);
    int (*perPixel)(const KernelLaunchArgs&);
    // Sets the parameters that send this pass down the path under test.
    void (*configure)(std::mt19937&, AnimatedParameters&, int width, int height);
};

float uniform(std::mt19937& rng, float low, float high) {
    return std::uniform_real_distribution<float>(low, high)(rng);
}

void plateOffset(std::mt19937& rng, AnimatedParameters& p, int w, int h) {
    p.floats[0] = pick(rng, {0.3f, 1.0f, 2.7f, 7.0f, 15.0f, 60.0f});
    switch (std::uniform_int_distribution<int>(0, 3)(rng)) {
        case 0:  // small, as a user sets it
            p.vec2s[0] = {pick(rng, {0.0f, 0.013f, -0.004f}), pick(rng, {0.02f, -0.031f, 0.0005f})};
            break;
        case 1:  // whole pixels: coordinates land next to texel centres
            p.vec2s[0] = {(float)std::uniform_int_distribution<int>(-5, 5)(rng) * w / h / (float)w,
                          (float)std::uniform_int_distribution<int>(-5, 5)(rng) / (float)h + 1e-7f};
            break;
        case 2:  // half pixels: weights exactly one half
            p.vec2s[0] = {0.5f / (float)h, -1.5f / (float)h};
            break;
        default:  // far beyond the edges, both ways
            p.vec2s[0] = {uniform(rng, -2.0f, 2.0f), uniform(rng, -2.0f, 2.0f)};
            break;
    }
}

void directional(std::mt19937& rng, AnimatedParameters& p, int, int) {
    p.floats[0] = pick(rng, {1.0f, 7.0f, 30.0f});
    p.floats[1] = pick(rng, {0.6f, 1.0f, 3.0f, 20.0f, 47.3f, 140.0f});
    p.floats[2] = pick(rng, {0.0f, 45.0f, 90.0f, -180.0f, 270.0f, uniform(rng, -360.0f, 360.0f)});
    p.floats[3] = pick(rng, {0.0f, 1.0f, -1.0f, uniform(rng, -1.0f, 1.0f)});
}

void maskGrow(std::mt19937& rng, AnimatedParameters& p, int, int) {
    p.floats[4] =
        pick(rng, {-20.0f, -2.5f, -0.7f, 0.3f, 1.0f, 3.75f, 50.0f, 1.0e4f, uniform(rng, -8.0f, 8.0f)});
    p.ints[0] = pick(rng, {0, 1, 2});
}

void maskBlur(std::mt19937& rng, AnimatedParameters& p, int, int) {
    p.floats[5] = pick(rng, {0.9f, 2.0f, 7.3f, 50.0f, uniform(rng, 1.0f, 12.0f)});
}

void retextureAndGrain(std::mt19937& rng, AnimatedParameters& p, int, int) {
    const bool retexture = std::uniform_int_distribution<int>(0, 2)(rng) != 0;
    p.bools[2] = retexture;
    p.bools[3] = !retexture || std::uniform_int_distribution<int>(0, 2)(rng) != 0;
    p.floats[11] = pick(rng, {100.0f, 200.0f, 37.5f});
    p.vec2s[1] = {pick(rng, {0.0f, 0.2f, -0.013f, uniform(rng, -2.0f, 2.0f)}),
                  pick(rng, {0.0f, -0.1f, 0.007f, uniform(rng, -2.0f, 2.0f)})};
    p.floats[12] = pick(rng, {0.5f, 2.0f, 0.01f});
    p.floats[13] = pick(rng, {1.0f, 0.01f, 0.37f, 3.7f, 10.0f});
    p.floats[14] = pick(rng, {0.0f, 0.0005f, 0.5f, 1.0f});
}

void postBlur(std::mt19937& rng, AnimatedParameters& p, int, int) {
    p.bools[1] = 1;
    p.floats[6] = pick(rng, {0.0f, 0.5f, 3.0f, 10.0f, 130.0f});
    p.floats[7] = pick(rng, {0.0f, 0.5f, 2.2f, 8.0f, 40.0f});
    if (p.floats[6] == 0.0f && p.floats[7] == 0.0f) p.floats[7] = 1.0f;
    p.floats[8] = pick(rng, {0.0f, 45.0f, 90.0f, -135.0f, uniform(rng, -360.0f, 360.0f)});
    p.floats[9] = pick(rng, {0.0f, 1.0f, -1.0f, uniform(rng, -1.0f, 1.0f)});
}

void retextureBlur(std::mt19937& rng, AnimatedParameters& p, int, int) {
    p.bools[2] = std::uniform_int_distribution<int>(0, 4)(rng) != 0;
    p.floats[10] = pick(rng, {0.0f, 0.5f, 2.5f, 5.0f, 80.0f});
    p.vec2s[1] = {pick(rng, {0.0f, 0.2f, -0.013f, uniform(rng, -2.0f, 2.0f)}),
                  pick(rng, {0.0f, -0.1f, 0.007f, uniform(rng, -2.0f, 2.0f)})};
    if (p.vec2s[1].x == 0.0f && p.vec2s[1].y == 0.0f) p.vec2s[1].y = 0.5f;
}

const Pass kPasses[] = {
    {"retexture_blur x", 0, cpu_fast::retextureBlur, host_impl::launchRetextureBlur, retextureBlur},
    {"retexture_blur y", 1, cpu_fast::retextureBlur, host_impl::launchRetextureBlur, retextureBlur},
    {"post_blur x", 0, cpu_fast::postBlur, host_impl::launchPostBlur, postBlur},
    {"post_blur y", 1, cpu_fast::postBlur, host_impl::launchPostBlur, postBlur},
    {"composite retexture and grain", 0, cpu_fast::composite, host_impl::launchComposite, retextureAndGrain},
    {"mask_prep grow x", 0, cpu_fast::maskPrep, host_impl::launchMaskPrep, maskGrow},
    {"mask_prep grow y", 1, cpu_fast::maskPrep, host_impl::launchMaskPrep, maskGrow},
    {"mask_prep blur x", 2, cpu_fast::maskPrep, host_impl::launchMaskPrep, maskBlur},
    {"mask_prep blur y", 3, cpu_fast::maskPrep, host_impl::launchMaskPrep, maskBlur},
    {"mask_prep blur y again", 4, cpu_fast::maskPrep, host_impl::launchMaskPrep, maskBlur},
    {"blur_divide offset", 0, cpu_fast::blurDivide, host_impl::launchBlurDivide, plateOffset},
    {"blur_divide directional", 2, cpu_fast::blurDivide, host_impl::launchBlurDivide, directional},
};

}  // namespace

TEST(CpuBetweenTexelPaths, MatchThePerPixelKernelsOnRandomInputs) {
    std::mt19937 rng(20261211);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (const Pass& pass : kPasses) {
        for (int round = 0; round < 20; ++round) {
            const int w = std::uniform_int_distribution<int>(1, 70)(rng),
                      h = std::uniform_int_distribution<int>(1, 45)(rng);
            SCOPED_TRACE(testing::Message() << pass.name << " round " << round << " size " << w << "x" << h);
            auto noise = [&](int, int) {
                return Rgba{unit(rng) * 1.5f - 0.2f, unit(rng), unit(rng), unit(rng)};
            };
            // A soft-edged hole somewhere, and a corner just under the threshold the passes test the mask by.
            const float cx = w * unit(rng), cy = h * unit(rng), r = 1.0f + w * 0.3f * unit(rng);
            auto matte = [&](int x, int y) {
                const float d = std::hypot(x - cx, y - cy);
                float m = d < r ? 1.0f : (d < r + 3 ? (r + 3 - d) / 3.0f : 0.0f);
                if (x + y < 3) m = 0.0005f;
                return Rgba{m, m, m, 1};
            };
            // Weighted sums with empty stretches, which the division leaves to the plate.
            auto weighted = [&](int x, int y) {
                Rgba p = noise(x, y);
                if ((x / 4 + y / 3) % 5 == 0) p.a = (x % 2) ? 0.0f : 0.00005f;
                return p;
            };
            GpuImage plate(w, h, noise), shape(w, h, noise), mask(w, h, matte), working(w, h, weighted),
                fill(w, h, noise);

            KernelRig rig(w, h);
            rig.setSource(0, plate.texture());
            rig.setSource(1, shape.texture());
            rig.setSource(2, 0);
            rig.setSource(3, mask.texture());
            rig.setSource(4, fill.texture());
            rig.system.frame = std::uniform_int_distribution<int>(-50, 20000)(rng);
            rig.parameters.bools[0] = unit(rng) < 0.5f;
            rig.parameters.bools[4] = unit(rng) < 0.5f;
            pass.configure(rng, rig.parameters, w, h);
            rig.system.currentExecution = pass.execution;

            GpuImage rowsOut(w, h), pixelOut(w, h);
            KernelLaunchArgs args{nullptr,      &rig.system,       &rig.pipeline,
                                  &rig.sources, &rig.parameters,   &rig.resources,
                                  &rig.buffers, working.texture(), rowsOut.surface()};
            ASSERT_TRUE(pass.rows(args)) << "the path declined the pass";
            args.outputSurface = pixelOut.surface();
            ASSERT_EQ(pass.perPixel(args), 0);
            const std::vector<Rgba> a = rowsOut.download(), b = pixelOut.download();
            for (size_t i = 0; i < a.size(); ++i) {
                ASSERT_TRUE(a[i].r == b[i].r && a[i].g == b[i].g && a[i].b == b[i].b && a[i].a == b[i].a)
                    << "pixel " << i % w << "," << i / w << ": " << describe(a[i]) << " vs "
                    << describe(b[i]);
            }
        }
    }
}

// With NaN in the working image the order of comparisons decides the grow, so the per-pixel kernel keeps it.
TEST(CpuBetweenTexelPaths, GrowOfAWorkingImageWithNaNIsLeftToThePerPixelKernel) {
    GpuImage working(9, 7,
                     [](int x, int y) {
                         return Rgba{x == 4 && y == 3 ? NAN : 0.5f, 0, 0, 1};
                     }),
        out(9, 7);
    KernelRig rig(9, 7);
    rig.setFloat(4, 2.5f);
    rig.system.currentExecution = 1;
    const KernelLaunchArgs args{nullptr,      &rig.system,       &rig.pipeline,
                                &rig.sources, &rig.parameters,   &rig.resources,
                                &rig.buffers, working.texture(), out.surface()};
    EXPECT_FALSE(cpu_fast::maskPrep(args));
}
