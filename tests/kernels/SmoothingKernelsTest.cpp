#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "KernelTestSupport.h"

namespace {

constexpr int kPostAmount = 6, kPostDirAmount = 7, kPostDirAngle = 8, kPostDirBias = 9;
constexpr int kRetextureBlur = 10;
constexpr int kPostEnable = 1, kRetextureEnable = 2, kEdgeMode = 4;

Rgba texture(int x, int y) {
    return {0.5f + 0.4f * std::sin(0.9f * x + 0.3f * y), 0.05f * ((3 * x + y) % 11), 0.02f * y,
            0.3f + 0.01f * x};
}

struct Scene {
    int width, height;
    HostImage picture, mask;
    GpuImage pictureImage, maskImage, shapeImage;
    KernelRig rig;

    Scene(int w, int h, const std::function<float(int, int)>& maskValue)
        : width(w),
          height(h),
          picture(w, h, texture),
          mask(w, h,
               [&](int x, int y) {
                   const float m = maskValue(x, y);
                   return Rgba{m, m, m, 1};
               }),
          pictureImage(w, h, picture.pixels),
          maskImage(w, h, mask.pixels),
          shapeImage(w, h),
          rig(w, h) {
        rig.setSource(0, pictureImage.texture());
        rig.setSource(1, shapeImage.texture());
        rig.setSource(3, maskImage.texture());
    }

    bool inside(int x, int y) const { return mask.at(x, y).r >= 0.001f; }
};

// Weighted mean of picture samples at integer offsets (dx, dy) from (x, y), clamped to the image.
Rgba weightedMean(const HostImage& image, int x, int y, const std::vector<std::array<double, 3>>& taps) {
    double s[4] = {0, 0, 0, 0}, total = 0;
    for (const auto& tap : taps) {
        const Rgba& p = image.at(x + static_cast<int>(tap[0]), y + static_cast<int>(tap[1]));
        s[0] += tap[2] * p.r, s[1] += tap[2] * p.g, s[2] += tap[2] * p.b, s[3] += tap[2] * p.a;
        total += tap[2];
    }
    return {static_cast<float>(s[0] / total), static_cast<float>(s[1] / total),
            static_cast<float>(s[2] / total), static_cast<float>(s[3] / total)};
}

}  // namespace

TEST(PostBlur, CopiesWhenDisabledOutsideTheMaskOrUnconnected) {
    Scene scene(12, 9, [](int x, int) { return x >= 6 ? 1.0f : 0.0f; });
    scene.rig.setFloat(kPostAmount, 10.0f);
    scene.rig.setFloat(kPostDirAmount, 5.0f);
    // Disabled, then both amounts below half a pixel, then Mask_Shape unconnected.
    for (int variant = 0; variant < 3; ++variant) {
        scene.rig.setBool(kPostEnable, variant != 0);
        if (variant == 1) scene.rig.setFloat(kPostAmount, 0.4f), scene.rig.setFloat(kPostDirAmount, 0.4f);
        if (variant == 2)
            scene.rig.setFloat(kPostAmount, 10.0f), scene.rig.setSource(1, scene.shapeImage.texture(), false);
        for (int e = 0; e < 2; ++e) {
            const std::vector<Rgba> out =
                scene.rig.run(call_post_blur_kernel_Pass, e, scene.pictureImage.texture());
            for (size_t i = 0; i < out.size(); ++i)
                EXPECT_RGBA_NEAR(out[i], scene.picture.pixels[i], 0.0f) << variant;
        }
    }
}

TEST(PostBlur, GaussianLineAndCombinedCases) {
    const int w = 30, h = 26;
    Scene scene(w, h, [](int x, int y) { return x >= 8 && x < 22 && y >= 6 && y < 20 ? 1.0f : 0.0f; });
    scene.rig.setBool(kPostEnable, true);
    struct Case {
        const char* name;
        float amount, dirAmount, angle, bias;
    } cases[] = {
        {"c: gaussian", 10.0f, 0.0f, 0.0f, 0.0f},
        {"b: line", 0.4f, 20.0f, 0.0f, 0.0f},
        {"b: line ahead", 0.4f, 6.0f, 90.0f, 1.0f},
        {"a: both", 3.0f, 6.0f, 90.0f, -1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        scene.rig.setFloat(kPostAmount, c.amount);
        scene.rig.setFloat(kPostDirAmount, c.dirAmount);
        scene.rig.setFloat(kPostDirAngle, c.angle);
        scene.rig.setFloat(kPostDirBias, c.bias);
        for (int e = 0; e < 2; ++e) {
            const std::vector<Rgba> out =
                scene.rig.run(call_post_blur_kernel_Pass, e, scene.pictureImage.texture());
            // Taps as (dx, dy, weight): the axis Gaussian along x in execution 0 and y in 1, the line
            // along the angle (0 or 90 degrees here, so every tap is texel-centred).
            std::vector<std::array<double, 3>> taps;
            const bool gaussian = c.amount >= 0.5f, line = c.dirAmount >= 0.5f;
            const int radius =
                gaussian ? std::min(std::max(static_cast<int>(std::ceil(c.amount)), 1), 100) : 0;
            const double h2 = c.dirAmount / 2.0;
            const int dirRadius = line ? std::max(static_cast<int>(std::ceil(h2)), 1) : 0;
            for (int k = -radius; k <= radius; ++k) {
                const double wk = gaussian ? referenceTapWeight(k, std::max(c.amount / 3.0, 0.001)) : 1.0;
                if (wk == 0) continue;
                for (int j = -dirRadius; j <= dirRadius; ++j) {
                    const double wj = line ? referenceTapWeight(j, std::max(h2 / 3.0, 0.001)) : 1.0;
                    if (wj == 0) continue;
                    const double s = line ? j + h2 * c.bias : 0.0;
                    const double along[2] = {c.angle == 0.0f ? s : 0.0, c.angle == 0.0f ? 0.0 : s};
                    taps.push_back({(e == 0 ? k : 0) + std::round(along[0]),
                                    (e == 0 ? 0 : k) + std::round(along[1]), wk * wj});
                }
            }
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const Rgba expected =
                        scene.inside(x, y) ? weightedMean(scene.picture, x, y, taps) : scene.picture.at(x, y);
                    EXPECT_RGBA_NEAR(out[y * w + x], expected, 2e-5f)
                        << "execution " << e << " at " << x << "," << y;
                }
        }
    }
}

TEST(RetextureBlur, PassesThePlateOutsideTheMaskAndWhenUnconnected) {
    Scene scene(10, 8, [](int x, int) { return x < 5 ? 1.0f : 0.0f; });
    scene.rig.setBool(kRetextureEnable, true);
    scene.rig.setFloat(kRetextureBlur, 4.0f);
    const std::vector<Rgba> out = scene.rig.run(call_retexture_blur_kernel_Pass, 0, 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 5; x < 10; ++x) EXPECT_RGBA_NEAR(out[y * 10 + x], scene.picture.at(x, y), 0.0f);
    scene.rig.setSource(1, scene.shapeImage.texture(), false);
    for (int e = 0; e < 2; ++e) {
        const std::vector<Rgba> plain = scene.rig.run(call_retexture_blur_kernel_Pass, e, 0);
        for (size_t i = 0; i < plain.size(); ++i) EXPECT_RGBA_NEAR(plain[i], scene.picture.pixels[i], 0.0f);
    }
}

TEST(RetextureBlur, LowPassesThePlateAtTheOffsetInsideTheMask) {
    // Width 2 x height: offset (0.25, -0.125) is 4 columns right and 2 rows down (texel-exact).
    const int w = 32, h = 16;
    Scene scene(w, h, [](int x, int y) { return x >= 10 && x < 24 && y >= 4 && y < 12 ? 1.0f : 0.0f; });
    scene.rig.setBool(kRetextureEnable, true);
    scene.rig.setVec2(1, 0.25f, -0.125f);
    const int dx = 4, dy = -2;

    // Step 3: a blur below half a pixel reads the offset plate unblurred.
    scene.rig.setFloat(kRetextureBlur, 0.3f);
    const std::vector<Rgba> shifted = scene.rig.run(call_retexture_blur_kernel_Pass, 0, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgba expected =
                scene.inside(x, y) ? scene.picture.at(x + dx, y + dy) : scene.picture.at(x, y);
            EXPECT_RGBA_NEAR(shifted[y * w + x], expected, 0.0f) << x << "," << y;
        }

    // Steps 4 and 5: horizontal Gaussian on the offset plate, then vertical on that result.
    scene.rig.setFloat(kRetextureBlur, 3.0f);
    std::vector<std::array<double, 3>> along;
    for (int k = -3; k <= 3; ++k) along.push_back({double(k), 0.0, referenceTapWeight(k, 1.0)});
    HostImage stage(w, h, [&](int x, int y) {
        if (!scene.inside(x, y)) return scene.picture.at(x, y);
        // The offset position is clamped first, then each tap.
        const int ox = std::clamp(x + dx, 0, w - 1), oy = std::clamp(y + dy, 0, h - 1);
        return weightedMean(scene.picture, ox, oy, along);
    });
    const std::vector<Rgba> first = scene.rig.run(call_retexture_blur_kernel_Pass, 0, 0);
    for (int i = 0; i < w * h; ++i) EXPECT_RGBA_NEAR(first[i], stage.pixels[i], 2e-6f) << i;

    GpuImage stageImage(w, h, first);
    const std::vector<Rgba> second = scene.rig.run(call_retexture_blur_kernel_Pass, 1, stageImage.texture());
    std::vector<std::array<double, 3>> down;
    for (int k = -3; k <= 3; ++k) down.push_back({0.0, double(k), referenceTapWeight(k, 1.0)});
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgba expected =
                scene.inside(x, y) ? weightedMean(stage, x, y, down) : scene.picture.at(x, y);
            EXPECT_RGBA_NEAR(second[y * w + x], expected, 2e-6f) << x << "," << y;
        }
}

TEST(RetextureBlur, RadiusStopsAtFiftyWhileSigmaGrows) {
    // On a ramp the Gaussian mean is the centre value wherever the taps stay inside the image,
    // so compare the weights instead at one pixel near the edge of a wide image.
    const int w = 160, h = 2;
    Scene scene(w, h, [](int, int) { return 1.0f; });
    scene.rig.setBool(kRetextureEnable, true);
    for (float blur : {50.0f, 80.0f}) {
        scene.rig.setFloat(kRetextureBlur, blur);
        const std::vector<Rgba> out = scene.rig.run(call_retexture_blur_kernel_Pass, 0, 0);
        std::vector<std::array<double, 3>> taps;
        for (int k = -50; k <= 50; ++k) {
            const double wk = referenceTapWeight(k, blur / 3.0);
            if (wk > 0) taps.push_back({double(k), 0.0, wk});
        }
        for (int x : {0, 20, 80, 159})
            EXPECT_RGBA_NEAR(out[x], weightedMean(scene.picture, x, 0, taps), 2e-5f) << x;
    }
}
