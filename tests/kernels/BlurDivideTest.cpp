#include <gtest/gtest.h>

#include <cmath>

#include "KernelTestSupport.h"
#include "kernels/KernelLaunch.h"
#include "kernels/cpu/CpuFastPaths.h"

namespace {

constexpr int kBlurAmount = 0, kDirAmount = 1, kDirAngle = 2, kDirBias = 3;
constexpr int kShowUnfilled = 0, kEdgeMode = 4;

Rgba plateColour(int x, int y) {
    return {0.1f + 0.03f * x, 0.8f - 0.02f * y, 0.05f * ((x + y) % 7), 0.25f};
}

struct Scene {
    int width, height;
    HostImage plate, mask;
    GpuImage plateImage, maskImage, shapeImage;
    KernelRig rig;

    Scene(int w, int h, const std::function<float(int, int)>& maskValue)
        : width(w),
          height(h),
          plate(w, h, plateColour),
          mask(w, h,
               [&](int x, int y) {
                   const float m = maskValue(x, y);
                   return Rgba{m, m, m, 1};
               }),
          plateImage(w, h, plate.pixels),
          maskImage(w, h, mask.pixels),
          shapeImage(w, h),
          rig(w, h) {
        rig.setSource(0, plateImage.texture());
        rig.setSource(1, shapeImage.texture());
        rig.setSource(3, maskImage.texture());
    }
};

}  // namespace

TEST(BlurDivide, ZeroBlurWeightsThePixelItselfAndMarksTheCore) {
    Scene scene(12, 10, [](int x, int y) {
        return x >= 4 && x <= 7 && y >= 3 && y <= 6 ? (x == 4 ? 0.5f : 1.0f) : 0.0f;
    });
    scene.rig.setFloat(kBlurAmount, 0.0f);

    const std::vector<Rgba> weighted = scene.rig.run(call_blur_divide_kernel_Pass, 0, 0);
    for (int i = 0; i < 120; ++i) {
        const Rgba& p = scene.plate.pixels[i];
        const float keep = 1.0f - scene.mask.pixels[i].r;
        EXPECT_RGBA_NEAR(weighted[i], (Rgba{p.r * keep, p.g * keep, p.b * keep, keep}), 1e-6f) << i;
    }

    for (bool highlight : {false, true}) {
        scene.rig.setBool(kShowUnfilled, highlight);
        const std::vector<Rgba> fill = scene.rig.runChain(call_blur_divide_kernel_Pass, 3);
        for (int i = 0; i < 120; ++i) {
            Rgba p = scene.plate.pixels[i];
            const float keep = 1.0f - scene.mask.pixels[i].r;
            if (keep == 0.0f && highlight) p = {p.r + 0.5f * (1 - p.r), 0.5f * p.g, 0.5f * p.b, p.a};
            EXPECT_RGBA_NEAR(fill[i], (Rgba{p.r, p.g, p.b, keep}), 1e-5f) << i;
        }
    }
}

TEST(BlurDivide, FillIsTheRatioOfBlurredWeightedPlateAndWeight) {
    const int w = 20, h = 14;
    auto hole = [](int x, int y) { return x >= 7 && x <= 11 && y >= 4 && y <= 8 ? 1.0f : 0.0f; };
    for (float amount : {0.0f, 3.0f, 6.5f}) {
        SCOPED_TRACE(amount);
        Scene scene(w, h,
                    amount == 0.0f ? [](int, int) { return 0.0f; } : std::function<float(int, int)>(hole));
        scene.rig.setFloat(kBlurAmount, amount);
        const double sigma = std::max(amount / 3.0, 0.001);
        const int radius = std::max(static_cast<int>(std::ceil(amount)), 1);
        // Separable sums of the weighted plate and of the weight.
        std::vector<double> rowC(w * h * 3), rowA(w * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                double c[3] = {0, 0, 0}, a = 0, t = 0;
                for (int k = -radius; k <= radius; ++k) {
                    const double wk = referenceTapWeight(k, sigma);
                    if (wk == 0) continue;
                    const Rgba& p = scene.plate.at(x + k, y);
                    const double m = 1.0 - scene.mask.at(x + k, y).r;
                    c[0] += wk * p.r * m, c[1] += wk * p.g * m, c[2] += wk * p.b * m, a += wk * m, t += wk;
                }
                for (int ch = 0; ch < 3; ++ch) rowC[(y * w + x) * 3 + ch] = c[ch] / t;
                rowA[y * w + x] = a / t;
            }
        const std::vector<Rgba> fill = scene.rig.runChain(call_blur_divide_kernel_Pass, 3);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                double c[3] = {0, 0, 0}, a = 0, t = 0;
                for (int k = -radius; k <= radius; ++k) {
                    const double wk = referenceTapWeight(k, sigma);
                    if (wk == 0) continue;
                    const int sy = std::clamp(y + k, 0, h - 1);
                    for (int ch = 0; ch < 3; ++ch) c[ch] += wk * rowC[(sy * w + x) * 3 + ch];
                    a += wk * rowA[sy * w + x];
                    t += wk;
                }
                a /= t;
                const Rgba expected{static_cast<float>(c[0] / t / a), static_cast<float>(c[1] / t / a),
                                    static_cast<float>(c[2] / t / a), static_cast<float>(a)};
                EXPECT_RGBA_NEAR(fill[y * w + x], expected, 1e-4f) << x << "," << y;
                if (amount == 0.0f) {
                    EXPECT_FLOAT_EQ(fill[y * w + x].a, 1.0f);
                }
            }
    }
}

TEST(BlurDivide, ReflectMirrorsAndClampRepeatsLeftOfTheFirstColumn) {
    const int w = 16, h = 4;
    for (bool reflect : {false, true}) {
        Scene scene(w, h, [](int, int) { return 0.0f; });
        scene.rig.setFloat(kBlurAmount, 3.0f);  // sigma 1, taps -3 .. 3
        scene.rig.setBool(kEdgeMode, reflect);
        const std::vector<Rgba> out = scene.rig.run(call_blur_divide_kernel_Pass, 0, 0);
        // Column -1 reads 0, -2 reads 1, -3 reads 2 when reflecting; all read 0 when clamping.
        const int mirrored[7] = {2, 1, 0, 0, 1, 2, 3}, clamped[7] = {0, 0, 0, 0, 1, 2, 3};
        double sum = 0, total = 0;
        for (int k = -3; k <= 3; ++k) {
            const double wk = referenceTapWeight(k, 1.0);
            sum += wk * scene.plate.at(reflect ? mirrored[k + 3] : clamped[k + 3], 1).r;
            total += wk;
        }
        EXPECT_NEAR(out[1 * w + 0].r, sum / total, 1e-6) << "reflect " << reflect;
    }
}

TEST(BlurDivide, SourceOffsetMovesPlateReadsButNotTheMask) {
    // Width twice the height: an x offset of 0.5 is 0.25 in u, eight columns; y 0.25 is four rows.
    const int w = 32, h = 16;
    Scene scene(w, h, [](int x, int) { return x == 5 ? 1.0f : 0.0f; });
    scene.rig.setVec2(0, 0.5f, 0.25f);
    const std::vector<Rgba> out = scene.rig.run(call_blur_divide_kernel_Pass, 0, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgba& p = scene.plate.at(x + 8, y + 4);
            const float keep = x == 5 ? 0.0f : 1.0f;
            EXPECT_RGBA_NEAR(out[y * w + x], (Rgba{p.r * keep, p.g * keep, p.b * keep, keep}), 1e-6f)
                << x << "," << y;
        }
}

TEST(BlurDivide, DirectionalBlurStartsAboveHalfAPixel) {
    // At 0.6 only the centre tap has weight, moved by the bias 0.3 pixels along the direction.
    const int w = 16, h = 8;
    Scene scene(w, h, [](int x, int) { return x < 12 ? 1.0f : 0.0f; });
    const HostImage working(w, h, [](int x, int y) { return Rgba{0.05f * x, 0.1f * y, 0.3f, 0.5f}; });
    GpuImage workingImage(w, h, working.pixels);
    scene.rig.setFloat(kDirBias, 1.0f);
    for (float amount : {0.5f, 0.6f}) {
        scene.rig.setFloat(kDirAmount, amount);
        const std::vector<Rgba> out = scene.rig.run(call_blur_divide_kernel_Pass, 2, workingImage.texture());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const double shift = (amount > 0.5f && x < 12) ? 0.3 : 0.0;
                const Rgba d = working.sample((x + 0.5 + shift) / w, (y + 0.5) / h);
                EXPECT_RGBA_NEAR(out[y * w + x], (Rgba{d.r / d.a, d.g / d.a, d.b / d.a, d.a}), 1e-5f)
                    << "amount " << amount << " at " << x << "," << y;
            }
    }
}

TEST(BlurDivide, DirectionalBlurFollowsAngleAndBias) {
    // A 90 degree line of h = 3 pixels (taps -3 .. 3, sigma 1) shifted 3 pixels ahead (bias 1).
    const int w = 10, h = 24;
    Scene scene(w, h, [](int, int) { return 1.0f; });
    const HostImage working(w, h, [](int x, int y) {
        return Rgba{0.01f * y * y, 0.02f * x, 0.5f, 0.25f + 0.02f * y};
    });
    GpuImage workingImage(w, h, working.pixels);
    scene.rig.setFloat(kDirAmount, 6.0f);
    scene.rig.setFloat(kDirAngle, 90.0f);
    scene.rig.setFloat(kDirBias, 1.0f);
    const std::vector<Rgba> out = scene.rig.run(call_blur_divide_kernel_Pass, 2, workingImage.texture());
    for (int y : {0, 5, 12, 19, 23}) {
        for (int x : {0, 4, 9}) {
            double s[4] = {0, 0, 0, 0}, total = 0;
            for (int j = -3; j <= 3; ++j) {
                const double wj = referenceTapWeight(j, 1.0);
                const int sy = std::clamp(y + j + 3, 0, h - 1);
                const Rgba& p = working.at(x, sy);
                s[0] += wj * p.r, s[1] += wj * p.g, s[2] += wj * p.b, s[3] += wj * p.a, total += wj;
            }
            const double a = s[3] / total;
            const Rgba expected{static_cast<float>(s[0] / total / a), static_cast<float>(s[1] / total / a),
                                static_cast<float>(s[2] / total / a), static_cast<float>(a)};
            EXPECT_RGBA_NEAR(out[y * w + x], expected, 1e-4f) << x << "," << y;
        }
    }
}

TEST(BlurDivide, UnconnectedMaskShapePassesThePlate) {
    Scene scene(9, 7, [](int x, int) { return x > 3 ? 1.0f : 0.0f; });
    scene.rig.setSource(1, scene.shapeImage.texture(), false);
    scene.rig.setFloat(kBlurAmount, 5.0f);
    for (int e = 0; e < 3; ++e) {
        const std::vector<Rgba> out = scene.rig.run(call_blur_divide_kernel_Pass, e, 0);
        for (int i = 0; i < 63; ++i)
            EXPECT_RGBA_NEAR(out[i], scene.plate.pixels[i], 0.0f) << "execution " << e;
    }
}

// A NaN or infinite plate pixel counts as hole: without a source offset the weighted blur is the
// one of a plate whose bad pixels are masked, and with one every value stays finite; the per-pixel
// kernel and the row paths agree value for value.
TEST(BlurDivide, NonFinitePlatePixelsCountAsHole) {
    constexpr int w = 40, h = 12;
    auto bad = [](int x, int y) { return (x == 3 && y == 2) || (x == 30 && y == 9) || (x == 17 && y == 5); };
    auto hole = [](int x, int y) { return x >= 14 && x < 24 && y >= 3 && y < 8; };
    GpuImage plate(w, h, [&](int x, int y) {
        Rgba c = plateColour(x, y);
        if (bad(x, y)) c.r = x == 3 ? std::nanf("") : (x == 30 ? INFINITY : -INFINITY);
        return c;
    });
    GpuImage mask(w, h, [&](int x, int y) { return hole(x, y) ? Rgba{1, 1, 1, 1} : Rgba{0, 0, 0, 1}; });
    GpuImage covered(w, h, [&](int x, int y) {
        return hole(x, y) || bad(x, y) ? Rgba{1, 1, 1, 1} : Rgba{0, 0, 0, 1};
    });
    GpuImage clean(w, h, plateColour), shape(w, h);

    auto weighted = [&](const GpuImage& p, const GpuImage& m, float offset, bool rows) {
        KernelRig rig(w, h);
        rig.setSource(0, p.texture());
        rig.setSource(1, shape.texture());
        rig.setSource(3, m.texture());
        rig.setFloat(kBlurAmount, 9.0f);
        rig.setVec2(0, offset, 0.0f);
        rig.system.currentExecution = 0;
        GpuImage out(w, h);
        KernelLaunchArgs args{nullptr,         &rig.system,    &rig.pipeline, &rig.sources,
                              &rig.parameters, &rig.resources, &rig.buffers,  0,
                              out.surface()};
        if (rows)
            EXPECT_TRUE(cpu_fast::blurDivide(args));
        else
            EXPECT_EQ(host_impl::launchBlurDivide(args), 0);
        return out.download();
    };
    for (bool rows : {false, true}) {
        SCOPED_TRACE(rows ? "row path" : "per-pixel kernel");
        const std::vector<Rgba> got = weighted(plate, mask, 0.0f, rows),
                                want = weighted(clean, covered, 0.0f, rows);
        for (size_t i = 0; i < got.size(); ++i) EXPECT_RGBA_NEAR(got[i], want[i], 0.0f) << i;

        const std::vector<Rgba> shifted = weighted(plate, mask, 0.013f, rows);
        const std::vector<Rgba> other = weighted(plate, mask, 0.013f, !rows);
        for (size_t i = 0; i < shifted.size(); ++i) {
            EXPECT_TRUE(std::isfinite(shifted[i].r) && std::isfinite(shifted[i].a))
                << i << ": " << describe(shifted[i]);
            EXPECT_RGBA_NEAR(shifted[i], other[i], 0.0f) << i;
        }
    }
}
