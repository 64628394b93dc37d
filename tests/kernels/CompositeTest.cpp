#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "KernelTestSupport.h"
#include "kernels/KernelLaunch.h"
#include "kernels/cpu/CpuFastPaths.h"

namespace {

constexpr int kStrength = 11, kGrainAmount = 12, kGrainSize = 13, kGrainChromatic = 14;
constexpr int kRetextureEnable = 2, kGrainEnable = 3;

struct Scene {
    int width, height;
    HostImage plate, mask, fill, lowPass;
    GpuImage plateImage, maskImage, fillImage, lowPassImage, shapeImage;
    KernelRig rig;

    Scene(int w, int h, const std::function<float(int, int)>& maskValue,
          Rgba fillColour = {0.5f, 0.5f, 0.5f, 1})
        : width(w),
          height(h),
          plate(w, h,
                [](int x, int y) {
                    return Rgba{0.02f * x, 0.03f * y, 0.1f * ((x * y) % 5), 0.75f};
                }),
          mask(w, h,
               [&](int x, int y) {
                   const float m = maskValue(x, y);
                   return Rgba{m, m, m, 1};
               }),
          fill(w, h, [&](int, int) { return fillColour; }),
          lowPass(w, h,
                  [](int x, int y) {
                      return Rgba{0.01f * x, 0.01f * y, 0.2f, 1};
                  }),
          plateImage(w, h, plate.pixels),
          maskImage(w, h, mask.pixels),
          fillImage(w, h, fill.pixels),
          lowPassImage(w, h, lowPass.pixels),
          shapeImage(w, h),
          rig(w, h) {
        rig.setSource(0, plateImage.texture());
        rig.setSource(1, shapeImage.texture());
        rig.setSource(2, 0);
        rig.setSource(3, maskImage.texture());
        rig.setSource(4, fillImage.texture());
    }

    std::vector<Rgba> run() { return rig.run(call_composite_kernel_Pass, 0, lowPassImage.texture()); }

    void enableGrain(float amount, float size, float chromatic) {
        rig.setBool(kGrainEnable, true);
        rig.setFloat(kGrainAmount, amount);
        rig.setFloat(kGrainSize, size);
        rig.setFloat(kGrainChromatic, chromatic);
    }
};

}  // namespace

TEST(Composite, MaskSelectsBetweenPlateAndProcessedFill) {
    Scene scene(16, 12, [](int x, int) { return x < 5 ? 0.0f : (x < 10 ? 1.0f : 0.25f); },
                {0.2f, 0.4f, 0.6f, 0.1f});
    scene.rig.setBool(kRetextureEnable, true);
    scene.rig.setFloat(kStrength, 100.0f);
    scene.enableGrain(2.0f, 1.0f, 1.0f);
    const std::vector<Rgba> out = scene.run();
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) {
            const Rgba& s = scene.plate.at(x, y);
            const Rgba& o = out[y * 16 + x];
            if (x < 5) {
                EXPECT_RGBA_NEAR(o, s, 0.0f) << x << "," << y;
            }
            EXPECT_EQ(o.a, s.a) << "alpha is the plate's";
        }

    // Without retexture and grain, M = 1 shows the fill and partial masks mix linearly.
    Scene plain(16, 12, [](int x, int) { return x < 5 ? 0.0f : (x < 10 ? 1.0f : 0.25f); },
                {0.2f, 0.4f, 0.6f, 0.1f});
    const std::vector<Rgba> mixed = plain.run();
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) {
            const Rgba& s = plain.plate.at(x, y);
            const float m = plain.mask.at(x, y).r;
            const Rgba expected{s.r * (1 - m) + 0.2f * m, s.g * (1 - m) + 0.4f * m, s.b * (1 - m) + 0.6f * m,
                                s.a};
            EXPECT_RGBA_NEAR(mixed[y * 16 + x], expected, 1e-6f) << x << "," << y;
        }
}

TEST(Composite, RetextureAddsTheOffsetHighPass) {
    // Width 2 x height: offset x 0.25 is 2 columns on a 16 x 8 image.
    for (float strength : {0.0f, 100.0f, 200.0f}) {
        Scene scene(16, 8, [](int, int) { return 1.0f; });
        scene.rig.setBool(kRetextureEnable, true);
        scene.rig.setFloat(kStrength, strength);
        scene.rig.setVec2(1, 0.25f, 0.0f);
        const std::vector<Rgba> out = scene.run();
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 16; ++x) {
                const Rgba& p = scene.plate.at(x + 2, y);
                const Rgba& lp = scene.lowPass.at(x, y);
                const float a = strength / 100.0f;
                const Rgba expected{0.5f + a * (p.r - lp.r), 0.5f + a * (p.g - lp.g), 0.5f + a * (p.b - lp.b),
                                    scene.plate.at(x, y).a};
                EXPECT_RGBA_NEAR(out[y * 16 + x], expected, 1e-6f) << strength << " at " << x << "," << y;
            }
    }
}

TEST(Composite, GrainFollowsTheNoiseFieldAndTheFrame) {
    const int w = 24, h = 16;
    struct Case {
        float size, chromatic;
        int frame;
        Rgba fill;
    } cases[] = {
        {1.0f, 0.0f, 0, {0.5f, 0.5f, 0.5f, 1}},   {0.05f, 0.0f, 3, {0.5f, 0.5f, 0.5f, 1}},
        {2.5f, 1.0f, 7, {0.3f, 0.5f, 0.7f, 1}},   {1.0f, 0.4f, 1, {0.0f, 0.0f, 0.0f, 1}},
        {1.0f, 0.0f, 250, {1.0f, 1.0f, 1.0f, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frame);
        Scene scene(
            w, h, [](int, int) { return 1.0f; }, c.fill);
        scene.enableGrain(1.0f, c.size, c.chromatic);
        scene.rig.system.frame = c.frame;
        const std::vector<Rgba> out = scene.run();
        const double lum = std::clamp(0.2126 * c.fill.r + 0.7152 * c.fill.g + 0.0722 * c.fill.b, 0.0, 1.0);
        const double response = std::max(4 * lum * (1 - lum), 0.1);
        const float f = 1.0f / std::max(c.size, 0.1f);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const float X = x * f, Y = y * f, Z = c.frame * 0.5f;
                const double n = referenceSimplexNoise(X, Y, Z);
                double nG = n, nB = n;
                if (c.chromatic > 0.001f) {
                    nG =
                        (1 - c.chromatic) * n + c.chromatic * referenceSimplexNoise(X + 100.0f, Y + 50.0f, Z);
                    nB = (1 - c.chromatic) * n +
                         c.chromatic * referenceSimplexNoise(X + 200.0f, Y + 100.0f, Z);
                }
                const double a = 0.05 * 0.5 * response;
                const Rgba expected{static_cast<float>(c.fill.r + a * n),
                                    static_cast<float>(c.fill.g + a * nG),
                                    static_cast<float>(c.fill.b + a * nB), scene.plate.at(x, y).a};
                EXPECT_RGBA_NEAR(out[y * w + x], expected, 1e-5f) << x << "," << y;
                if (c.chromatic == 0.0f) {
                    EXPECT_TRUE(out[y * w + x].r == out[y * w + x].g && out[y * w + x].g == out[y * w + x].b);
                }
            }
    }
}

TEST(Composite, GrainRepeatsForAFrameAndMovesAcrossFrames) {
    Scene scene(32, 32, [](int, int) { return 1.0f; });
    scene.enableGrain(1.0f, 1.0f, 0.5f);
    auto render = [&](int frame) {
        scene.rig.system.frame = frame;
        return scene.run();
    };
    const std::vector<Rgba> first = render(12), again = render(12), next = render(13);
    int differing = 0;
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_RGBA_NEAR(again[i], first[i], 0.0f);
        differing += std::fabs(next[i].r - first[i].r) > 1e-4f;
    }
    EXPECT_GT(differing, static_cast<int>(first.size()) / 2);
}

TEST(Composite, UnconnectedMaskShapeTintsThePlateRed) {
    Scene scene(10, 6, [](int, int) { return 1.0f; });
    scene.rig.setSource(1, scene.shapeImage.texture(), false);
    scene.enableGrain(1.0f, 1.0f, 0.0f);
    const std::vector<Rgba> out = scene.run();
    for (int i = 0; i < 60; ++i) {
        const Rgba& s = scene.plate.pixels[i];
        EXPECT_RGBA_NEAR(out[i], (Rgba{0.7f * s.r + 0.3f, 0.5f * s.g, 0.5f * s.b, s.a}), 1e-6f) << i;
    }
}

// A NaN or infinite value on the side the mask hides must not leak through a zero weight: the
// plate stays exact where the mask is 0 and the fill shows alone where it is 1, on the per-pixel
// kernel and on both CPU row paths (plain mix, and with grain).
TEST(Composite, NonFiniteValuesStayOnTheirSideOfTheMask) {
    const float nan = std::nanf(""), inf = INFINITY;
    constexpr int w = 12, h = 6;
    auto outside = [](int x) { return x < 6; };
    GpuImage plate(w, h, [&](int x, int y) {
        const float v = (x + y) % 3 == 0 ? (x % 2 ? inf : nan) : 0.05f * x;
        return Rgba{v, 0.1f * y, -inf, 1.0f};
    });
    GpuImage mask(w, h, [&](int x, int) { return outside(x) ? Rgba{0, 0, 0, 1} : Rgba{1, 1, 1, 1}; });
    GpuImage fill(w, h, [&](int x, int) {
        return outside(x) ? Rgba{nan, inf, nan, 1} : Rgba{0.2f, 0.4f, 0.6f, 1};
    });
    GpuImage shape(w, h), working(w, h);
    const std::vector<Rgba> source = plate.download();

    for (bool grain : {false, true}) {
        KernelRig rig(w, h);
        rig.setSource(0, plate.texture());
        rig.setSource(1, shape.texture());
        rig.setSource(2, 0);
        rig.setSource(3, mask.texture());
        rig.setSource(4, fill.texture());
        rig.setBool(kGrainEnable, grain);
        rig.setFloat(kGrainAmount, grain ? 1.0f : 0.0f);
        rig.setFloat(kGrainSize, 1.0f);
        for (bool rows : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << (grain ? "grain, " : "plain, ") << (rows ? "rows" : "per pixel"));
            GpuImage out(w, h);
            KernelLaunchArgs args{nullptr,      &rig.system,       &rig.pipeline,
                                  &rig.sources, &rig.parameters,   &rig.resources,
                                  &rig.buffers, working.texture(), out.surface()};
            if (rows)
                ASSERT_TRUE(cpu_fast::composite(args));
            else
                ASSERT_EQ(host_impl::launchComposite(args), 0);
            const std::vector<Rgba> o = out.download();
            auto same = [](float a, float b) { return a == b || (std::isnan(a) && std::isnan(b)); };
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const Rgba& p = o[y * w + x];
                    const Rgba& s = source[y * w + x];
                    if (outside(x)) {
                        EXPECT_TRUE(same(p.r, s.r) && same(p.g, s.g) && same(p.b, s.b))
                            << x << "," << y << ": " << describe(p) << " vs plate " << describe(s);
                    } else {
                        EXPECT_TRUE(std::isfinite(p.r) && std::isfinite(p.g) && std::isfinite(p.b))
                            << x << "," << y << ": " << describe(p);
                        if (!grain) {
                            EXPECT_RGBA_NEAR(p, (Rgba{0.2f, 0.4f, 0.6f, p.a}), 0.0f) << x << "," << y;
                        }
                    }
                }
        }
    }
}
