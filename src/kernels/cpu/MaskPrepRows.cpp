#include "kernels/cpu/MaskPrepRows.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

#include "kernels/KernelDevice.h"
#include "kernels/PassRegion.h"

// Each pixel's comparisons and sums run in the per-pixel kernel's order; the rows only share the
// texel loads and the tap weights. Reads at whole-pixel steps are texel centres, which the
// sampler returns unmixed (clamped at the edges).

namespace cpu_fast {

namespace {

using host_impl::clampf;

int clampIndex(int i, int n) {
    return i < 0 ? 0 : (i >= n ? n - 1 : i);
}

// max or min; without NaN these agree with fmaxf and fminf up to the sign of a zero.
struct Grow {
    bool dilate;
    float operator()(float a, float b) const { return dilate ? (a > b ? a : b) : (a < b ? a : b); }
    float operator()(float a, float b, float c) const { return (*this)(a, (*this)(b, c)); }
};

void writeMask(float* dst, const float* m, int x0, int x1) {
    for (int x = x0; x < x1; ++x) {
        float* o = dst + 4 * x;
        o[0] = o[1] = o[2] = m[x - x0];
        o[3] = 1.0f;
    }
}

// Whether the x channel holds NaN where the region's pixels read it, `reach` rows either way.
bool channelHasNaN(const FloatPlane& plane, const RowRegion& region, int reach) {
    std::atomic<bool> found{false};
    auto scan = [&](int from, int to, int x0, int x1) {
        for (int r = std::max(0, from); r < std::min(region.height(), to); ++r) {
            if (found.load(std::memory_order_relaxed)) return;
            const float* row = plane.row(r);
            for (int x = x0; x < x1; ++x)
                if (row[4 * x] != row[4 * x]) found.store(true, std::memory_order_relaxed);
        }
    };
    if (region.isWholeFrame()) {
        region.forSpans([&](int y, int x0, int x1) { scan(y, y + 1, x0, x1); });
    } else {
        // Every row of a tile row has the same spans: one scan per tile row covers its reads.
        region.forSpans([&](int y, int x0, int x1) {
            if (y % kRegionTileSize == 0) scan(y - reach, y + kRegionTileSize + reach, x0, x1);
        });
    }
    return found.load();
}

}  // namespace

int growSteps(const MaskImages& im, float grow) {
    float g = fabsf(grow);
    const float reach = (float)(im.width > im.height ? im.width : im.height) + 1.0f;
    if (g > reach) g = reach;
    return (int)floorf(g);
}

bool growMask(const MaskImages& im, const RowRegion& region, int execution, float grow, int maskFrom) {
    const int W = im.width, H = im.height;
    const bool fromShape = execution == 0, horizontal = execution == 0;
    float g = fabsf(grow);
    const float reach = (float)(W > H ? W : H) + 1.0f;
    if (g > reach) g = reach;
    const Grow op{grow >= 0.0f};
    const int n = (int)floorf(g);
    const float f = g - (float)n;
    const bool fraction = f > 0.0001f;
    // Along y the region's rows read n rows beyond it either way; a NaN among them changes the grow.
    if (!fromShape && channelHasNaN(im.in, region, horizontal ? 0 : n + 1)) return false;
    auto value = [&](const float* texel) { return fromShape ? maskChannel(texel, maskFrom) : texel[0]; };

    // Reads g pixels either way: per column (along x) or per row (along y), as the kernel's sampler.
    const float du = 1.0f / (float)W, dv = 1.0f / (float)H;
    const float stepU = horizontal ? du : 0.0f, stepV = horizontal ? 0.0f : dv;
    const int c0 = region.columnsFrom(), columns = region.columnsTo() - c0;
    std::vector<AxisTap> ahead(fraction ? static_cast<size_t>(columns) : 0u),
        behind(fraction ? static_cast<size_t>(columns) : 0u);
    for (int i = 0; i < columns && fraction; ++i) {
        const float u = texelCentre(c0 + i, W);
        ahead[static_cast<size_t>(i)] = axisTap(clampf(u + g * stepU, 0.0f, 1.0f), W);
        behind[static_cast<size_t>(i)] = axisTap(clampf(u + -g * stepU, 0.0f, 1.0f), W);
    }

    region.forSpans([&](int y, int x0, int x1) {
        const int span = x1 - x0;
        std::vector<float> m(static_cast<size_t>(span));
        const float* src = im.in.row(y);
        if (horizontal) {
            std::vector<float> p(static_cast<size_t>(span + 2 * n));
            for (int j = 0; j < span + 2 * n; ++j)
                p[static_cast<size_t>(j)] = value(src + 4 * clampIndex(x0 + j - n, W));
            for (int i = 0; i < span; ++i) m[static_cast<size_t>(i)] = p[static_cast<size_t>(i + n)];
            for (int k = 1; k <= n; ++k) {
                const float *plus = &p[static_cast<size_t>(n + k)], *minus = &p[static_cast<size_t>(n - k)];
                for (int i = 0; i < span; ++i)
                    m[static_cast<size_t>(i)] = op(m[static_cast<size_t>(i)], plus[i], minus[i]);
            }
        } else {
            for (int i = 0; i < span; ++i) m[static_cast<size_t>(i)] = src[4 * (x0 + i)];
            for (int k = 1; k <= n; ++k) {
                const float *plus = im.in.row(clampIndex(y + k, H)) + 4 * x0,
                            *minus = im.in.row(clampIndex(y - k, H)) + 4 * x0;
                for (int i = 0; i < span; ++i)
                    m[static_cast<size_t>(i)] = op(m[static_cast<size_t>(i)], plus[4 * i], minus[4 * i]);
            }
        }
        if (fraction) {
            const float v = texelCentre(y, H);
            const AxisTap rowAhead = axisTap(clampf(v + g * stepV, 0.0f, 1.0f), H);
            const AxisTap rowBehind = axisTap(clampf(v + -g * stepV, 0.0f, 1.0f), H);
            for (int i = 0; i < span; ++i) {
                float a[4], b[4];
                bilinearRead(im.in, ahead[static_cast<size_t>(x0 + i - c0)], rowAhead, a);
                bilinearRead(im.in, behind[static_cast<size_t>(x0 + i - c0)], rowBehind, b);
                float& mx = m[static_cast<size_t>(i)];
                const float e = op(mx, value(a), value(b));
                mx = mx + f * (e - mx);
            }
        }
        writeMask(im.out.row(y), m.data(), x0, x1);
    });
    return true;
}

void blurMask(const MaskImages& im, const RowRegion& region, int execution, float blur) {
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

    region.forSpans([&](int y, int x0, int x1) {
        const int span = x1 - x0;
        std::vector<float> sum(static_cast<size_t>(span), 0.0f), own(static_cast<size_t>(span));
        const float* src = im.in.row(y);
        for (int i = 0; i < span; ++i) own[static_cast<size_t>(i)] = src[4 * (x0 + i)];
        if (horizontal) {
            std::vector<float> p(static_cast<size_t>(span + 2 * radius));
            for (int j = 0; j < span + 2 * radius; ++j)
                p[static_cast<size_t>(j)] = src[4 * clampIndex(x0 + j - radius, W)];
            for (size_t t = 0; t < offsets.size(); ++t) {
                const float* at = &p[static_cast<size_t>(radius + offsets[t])];
                const float w = weights[t];
                for (int i = 0; i < span; ++i) sum[static_cast<size_t>(i)] += w * at[i];
            }
        } else {
            for (size_t t = 0; t < offsets.size(); ++t) {
                const float* at = im.in.row(clampIndex(y + offsets[t], H)) + 4 * x0;
                const float w = weights[t];
                for (int i = 0; i < span; ++i) sum[static_cast<size_t>(i)] += w * at[4 * i];
            }
        }
        for (int i = 0; i < span; ++i)
            sum[static_cast<size_t>(i)] =
                total > 0.0f ? sum[static_cast<size_t>(i)] / total : own[static_cast<size_t>(i)];
        writeMask(im.out.row(y), sum.data(), x0, x1);
    });
}

}  // namespace cpu_fast
