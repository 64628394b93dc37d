#include "kernels/cpu/MaskPrepRows.h"

#include <cmath>
#include <vector>

#include "gpu/ThreadPool.h"
#include "kernels/KernelDevice.h"

// Each pixel's comparisons and sums run in the per-pixel kernel's order; the rows only share the
// texel loads and the tap weights. Reads at whole-pixel steps are texel centres, which the
// sampler returns unmixed (clamped at the edges).

namespace cpu_fast {

namespace {

using host_impl::clampf;

float channelRule(const float* s, int maskFrom) {
    const float q = maskFrom == 1   ? s[3]
                    : maskFrom == 2 ? s[0]
                                    : 0.2126f * s[0] + 0.7152f * s[1] + 0.0722f * s[2];
    return clampf((q - 0.05f) / 0.9f, 0.0f, 1.0f);
}

int clampIndex(int i, int n) {
    return i < 0 ? 0 : (i >= n ? n - 1 : i);
}

// max or min; without NaN these agree with fmaxf and fminf up to the sign of a zero.
struct Grow {
    bool dilate;
    float operator()(float a, float b) const { return dilate ? (a > b ? a : b) : (a < b ? a : b); }
    float operator()(float a, float b, float c) const { return (*this)(a, (*this)(b, c)); }
};

void writeMask(float* dst, const float* m, int width) {
    for (int x = 0; x < width; ++x) {
        float* o = dst + 4 * x;
        o[0] = o[1] = o[2] = m[x];
        o[3] = 1.0f;
    }
}

bool channelHasNaN(const FloatPlane& plane, int width, int height) {
    for (int y = 0; y < height; ++y) {
        const float* row = plane.row(y);
        for (int x = 0; x < width; ++x)
            if (row[4 * x] != row[4 * x]) return true;
    }
    return false;
}

}  // namespace

bool growMask(const MaskImages& im, int execution, float grow, int maskFrom) {
    const int W = im.width, H = im.height;
    const bool fromShape = execution == 0, horizontal = execution == 0;
    if (!fromShape && channelHasNaN(im.in, W, H)) return false;
    float g = fabsf(grow);
    const float reach = (float)(W > H ? W : H) + 1.0f;
    if (g > reach) g = reach;
    const Grow op{grow >= 0.0f};
    const int n = (int)floorf(g);
    const float f = g - (float)n;
    const bool fraction = f > 0.0001f;
    auto value = [&](const float* texel) { return fromShape ? channelRule(texel, maskFrom) : texel[0]; };

    // Reads g pixels either way: per column (along x) or per row (along y), as the kernel's sampler.
    const float du = 1.0f / (float)W, dv = 1.0f / (float)H;
    const float stepU = horizontal ? du : 0.0f, stepV = horizontal ? 0.0f : dv;
    std::vector<AxisTap> ahead(static_cast<size_t>(W)), behind(static_cast<size_t>(W));
    for (int x = 0; x < W && fraction; ++x) {
        const float u = texelCentre(x, W);
        ahead[static_cast<size_t>(x)] = axisTap(clampf(u + g * stepU, 0.0f, 1.0f), W);
        behind[static_cast<size_t>(x)] = axisTap(clampf(u + -g * stepU, 0.0f, 1.0f), W);
    }

    parallelFor(static_cast<size_t>(H), [&](size_t row) {
        const int y = static_cast<int>(row);
        std::vector<float> m(static_cast<size_t>(W));
        if (horizontal) {
            const float* src = im.in.row(y);
            std::vector<float> p(static_cast<size_t>(W + 2 * n));
            for (int j = 0; j < W + 2 * n; ++j)
                p[static_cast<size_t>(j)] = value(src + 4 * clampIndex(j - n, W));
            for (int x = 0; x < W; ++x) m[static_cast<size_t>(x)] = p[static_cast<size_t>(x + n)];
            for (int k = 1; k <= n; ++k) {
                const float *plus = &p[static_cast<size_t>(n + k)], *minus = &p[static_cast<size_t>(n - k)];
                for (int x = 0; x < W; ++x)
                    m[static_cast<size_t>(x)] = op(m[static_cast<size_t>(x)], plus[x], minus[x]);
            }
        } else {
            const float* src = im.in.row(y);
            for (int x = 0; x < W; ++x) m[static_cast<size_t>(x)] = src[4 * x];
            for (int k = 1; k <= n; ++k) {
                const float *plus = im.in.row(clampIndex(y + k, H)), *minus = im.in.row(clampIndex(y - k, H));
                for (int x = 0; x < W; ++x)
                    m[static_cast<size_t>(x)] = op(m[static_cast<size_t>(x)], plus[4 * x], minus[4 * x]);
            }
        }
        if (fraction) {
            const float v = texelCentre(y, H);
            const AxisTap rowAhead = axisTap(clampf(v + g * stepV, 0.0f, 1.0f), H);
            const AxisTap rowBehind = axisTap(clampf(v + -g * stepV, 0.0f, 1.0f), H);
            for (int x = 0; x < W; ++x) {
                float a[4], b[4];
                bilinearRead(im.in, ahead[static_cast<size_t>(x)], rowAhead, a);
                bilinearRead(im.in, behind[static_cast<size_t>(x)], rowBehind, b);
                float& mx = m[static_cast<size_t>(x)];
                const float e = op(mx, value(a), value(b));
                mx = mx + f * (e - mx);
            }
        }
        writeMask(im.out.row(y), m.data(), W);
    });
    return true;
}

void blurMask(const MaskImages& im, int execution, float blur) {
    const int W = im.width, H = im.height;
    const int radius = host_impl::tapRadius(blur);
    const float sigma = fmaxf(blur / 3.0f, 0.001f);
    std::vector<int> offsets;
    std::vector<float> weights;
    float total = 0.0f;
    for (int k = -radius; k <= radius; ++k) {
        const float w = expf(-0.5f * (float)(k * k) / (sigma * sigma));
        if (w < VELMORA_MIN_TAP_WEIGHT) continue;
        offsets.push_back(k);
        weights.push_back(w);
        total += w;
    }
    const bool horizontal = execution == 2;

    parallelFor(static_cast<size_t>(H), [&](size_t row) {
        const int y = static_cast<int>(row);
        std::vector<float> sum(static_cast<size_t>(W), 0.0f), own(static_cast<size_t>(W));
        const float* src = im.in.row(y);
        for (int x = 0; x < W; ++x) own[static_cast<size_t>(x)] = src[4 * x];
        if (horizontal) {
            std::vector<float> p(static_cast<size_t>(W + 2 * radius));
            for (int j = 0; j < W + 2 * radius; ++j)
                p[static_cast<size_t>(j)] = src[4 * clampIndex(j - radius, W)];
            for (size_t t = 0; t < offsets.size(); ++t) {
                const float* at = &p[static_cast<size_t>(radius + offsets[t])];
                const float w = weights[t];
                for (int x = 0; x < W; ++x) sum[static_cast<size_t>(x)] += w * at[x];
            }
        } else {
            for (size_t t = 0; t < offsets.size(); ++t) {
                const float* at = im.in.row(clampIndex(y + offsets[t], H));
                const float w = weights[t];
                for (int x = 0; x < W; ++x) sum[static_cast<size_t>(x)] += w * at[4 * x];
            }
        }
        for (int x = 0; x < W; ++x)
            sum[static_cast<size_t>(x)] =
                total > 0.0f ? sum[static_cast<size_t>(x)] / total : own[static_cast<size_t>(x)];
        writeMask(im.out.row(y), sum.data(), W);
    });
}

}  // namespace cpu_fast
