#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "KernelTestSupport.h"

namespace {

constexpr int kMaskGrow = 4, kMaskBlur = 5;

float channelRule(const Rgba& s, int maskFrom) {
    const double q = maskFrom == 1 ? s.a : maskFrom == 2 ? s.r : 0.2126 * s.r + 0.7152 * s.g + 0.0722 * s.b;
    return static_cast<float>(std::clamp((q - 0.05) / 0.9, 0.0, 1.0));
}

// One grow step along a line of matte values, the way the kernel's definition reads it.
std::vector<float> growLine(const std::vector<float>& line, double grow) {
    const int n = static_cast<int>(line.size());
    auto at = [&](double pos) {  // clamped linear read at a fractional position (multiples of 1/2 here)
        pos = std::clamp(pos, 0.0, n - 1.0);
        const int i = static_cast<int>(std::floor(pos));
        const double f = pos - i;
        return static_cast<float>(line[i] * (1 - f) + line[std::min(i + 1, n - 1)] * f);
    };
    const bool dilate = grow >= 0;
    const double g = std::fabs(grow);
    auto op = [&](float a, float b, float c) { return dilate ? std::max({a, b, c}) : std::min({a, b, c}); };
    std::vector<float> out(n);
    for (int x = 0; x < n; ++x) {
        float m = line[x];
        const int steps = static_cast<int>(std::floor(g));
        for (int k = 1; k <= steps; ++k) m = op(m, at(x + k), at(x - k));
        const double f = g - steps;
        if (f > 0.0001) m = static_cast<float>(m + f * (op(m, at(x + g), at(x - g)) - m));
        out[x] = m;
    }
    return out;
}

std::vector<float> growImage(const std::vector<float>& m, int w, int h, double grow) {
    std::vector<float> rows(m.size()), out(m.size());
    for (int y = 0; y < h; ++y) {
        const std::vector<float> line(m.begin() + y * w, m.begin() + (y + 1) * w);
        const std::vector<float> g = growLine(line, grow);
        std::copy(g.begin(), g.end(), rows.begin() + y * w);
    }
    for (int x = 0; x < w; ++x) {
        std::vector<float> column(h);
        for (int y = 0; y < h; ++y) column[y] = rows[y * w + x];
        const std::vector<float> g = growLine(column, grow);
        for (int y = 0; y < h; ++y) out[y * w + x] = g[y];
    }
    return out;
}

void expectMatte(const std::vector<Rgba>& actual, const std::vector<float>& expected, float tolerance) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        const float m = expected[i];
        EXPECT_RGBA_NEAR(actual[i], (Rgba{m, m, m, 1.0f}), tolerance) << " at pixel " << i;
    }
}

}  // namespace

TEST(MaskPrep, ChannelRuleRemapsTheChosenChannel) {
    struct Case {
        int maskFrom;
        Rgba pixel;
        float expected;
    } cases[] = {
        {0, {0.5f, 0.5f, 0.5f, 1}, 0.5f},
        {0, {1, 1, 1, 1}, 1.0f},
        {0, {0.04f, 0.04f, 0.04f, 1}, 0.0f},
        {0, {0.2f, 0.6f, 0.1f, 0}, channelRule({0.2f, 0.6f, 0.1f, 0}, 0)},
        {1, {0.9f, 0.9f, 0.9f, 0.5f}, 0.5f},
        {2, {0.95f, 0, 0, 0}, 1.0f},
        {2, {0.32f, 1, 1, 1}, 0.3f},
        {7, {0.5f, 0.5f, 0.5f, 0}, 0.5f},  // unknown source reads luminance
    };
    for (const Case& c : cases) {
        GpuImage shape(8, 8, std::vector<Rgba>(64, c.pixel));
        KernelRig rig(8, 8);
        rig.setSource(1, shape.texture());
        rig.parameters.ints[0] = c.maskFrom;
        const std::vector<Rgba> out = rig.runChain(call_mask_prep_kernel_Pass, 4);
        expectMatte(out, std::vector<float>(64, c.expected), 1e-6f);
    }
}

TEST(MaskPrep, GrowAndShrinkFormSquaresWithFractionalBlend) {
    const int w = 16, h = 16;
    auto dot = [](int x, int y) {
        return (x == 7 && y == 7) || (x == 0 && y == 12) ? Rgba{1, 1, 1, 1} : Rgba{};
    };
    auto block = [](int x, int y) {
        return x >= 3 && x <= 11 && y >= 2 && y <= 10 ? Rgba{1, 1, 1, 1} : Rgba{};
    };
    struct Case {
        float grow;
        std::function<Rgba(int, int)> image;
    } cases[] = {{2.0f, dot}, {2.5f, dot}, {0.5f, dot}, {-3.0f, block}, {-1.5f, block}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.grow);
        const HostImage host(w, h, c.image);
        std::vector<float> matte;
        for (const Rgba& p : host.pixels) matte.push_back(channelRule(p, 0));
        GpuImage shape(w, h, host.pixels);
        KernelRig rig(w, h);
        rig.setSource(1, shape.texture());
        rig.setFloat(kMaskGrow, c.grow);
        expectMatte(rig.runChain(call_mask_prep_kernel_Pass, 4), growImage(matte, w, h, c.grow), 1e-5f);
    }
}

TEST(MaskPrep, SquareStructuringElementForIntegerGrow) {
    // Erosion by three pixels of a 9x9 block leaves its 3x3 centre; the dot at the left edge
    // grows into a square clipped by the image border.
    GpuImage shape(16, 16, [](int x, int y) {
        return (x >= 3 && x <= 11 && y >= 2 && y <= 10) ? Rgba{1, 1, 1, 1} : Rgba{};
    });
    KernelRig rig(16, 16);
    rig.setSource(1, shape.texture());
    rig.setFloat(kMaskGrow, -3.0f);
    const std::vector<Rgba> out = rig.runChain(call_mask_prep_kernel_Pass, 4);
    int ones = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool inside = x >= 6 && x <= 8 && y >= 5 && y <= 7;
            EXPECT_EQ(out[y * 16 + x].r, inside ? 1.0f : 0.0f) << x << "," << y;
            ones += inside;
        }
    EXPECT_EQ(ones, 9);
}

TEST(MaskPrep, BlurIsSeparableGaussianAndSmallBlurCopies) {
    const int w = 24, h = 12;
    const HostImage host(w, h, [](int x, int y) {
        return (x * 7 + y * 3) % 5 == 0 ? Rgba{1, 1, 1, 1} : Rgba{};
    });
    GpuImage shape(w, h, host.pixels);
    std::vector<float> matte;
    for (const Rgba& p : host.pixels) matte.push_back(channelRule(p, 0));

    for (float blur : {0.0f, 0.5f, 3.0f, 4.4f}) {
        SCOPED_TRACE(blur);
        const int radius = static_cast<int>(std::ceil(blur));
        const double sigma = std::max(blur / 3.0, 0.001);
        auto blurAxis = [&](const std::vector<float>& in, int dx, int dy) {
            std::vector<float> out(in.size());
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    double sum = 0, total = 0;
                    for (int k = -radius; k <= radius && radius >= 1; ++k) {
                        const double wk = std::exp(-0.5 * k * k / (sigma * sigma));
                        if (wk < 0.0001) continue;
                        const int sx = std::clamp(x + k * dx, 0, w - 1),
                                  sy = std::clamp(y + k * dy, 0, h - 1);
                        sum += wk * in[sy * w + sx];
                        total += wk;
                    }
                    out[y * w + x] = total > 0 ? static_cast<float>(sum / total) : in[y * w + x];
                }
            return out;
        };
        const std::vector<float> expected = blurAxis(blurAxis(matte, 1, 0), 0, 1);
        if (blur <= 0.5f) {
            EXPECT_EQ(expected, matte);
        }

        KernelRig rig(w, h);
        rig.setSource(1, shape.texture());
        rig.setFloat(kMaskBlur, blur);
        const std::vector<Rgba> out = rig.runChain(call_mask_prep_kernel_Pass, 4);
        expectMatte(out, expected, 1e-5f);

        // An execution past the last behaves as the vertical blur.
        KernelRig first(w, h);
        first.setSource(1, shape.texture());
        first.setFloat(kMaskBlur, blur);
        GpuImage afterX(w, h, first.runChain(call_mask_prep_kernel_Pass, 3));
        const std::vector<Rgba> late = first.run(call_mask_prep_kernel_Pass, 6, afterX.texture());
        for (size_t i = 0; i < late.size(); ++i) EXPECT_EQ(late[i].r, out[i].r);
    }
}

TEST(MaskPrep, UnreadableMaskAndOutOfRangeValuesStaySafe) {
    // No Mask_Shape texture reads as 0; a huge or non-finite grow neither hangs nor fails.
    KernelRig rig(8, 8);
    rig.setSource(1, 0);
    rig.setFloat(kMaskGrow, 1.0e30f);
    rig.setFloat(kMaskBlur, std::nanf(""));
    expectMatte(rig.runChain(call_mask_prep_kernel_Pass, 4), std::vector<float>(64, 0.0f), 0.0f);
}
