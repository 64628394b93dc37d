#include "kernels/cpu/BlurDivideRows.h"

#include <cmath>
#include <functional>
#include <vector>

#include "gpu/ThreadPool.h"
#include "kernels/KernelDevice.h"
#include "kernels/cpu/DividedFill.h"
#include "kernels/cpu/GaussianTaps.h"
#include "kernels/cpu/RowKernel.h"

// Every coordinate is computed with the per-pixel kernel's operations in its order; only where it
// is computed changes: a column part once per strip of columns, a row part once per row.

namespace cpu_fast {

namespace {

using host_impl::edgeCoord;
using host_impl::finiteOr;
using host_impl::gaussianTap;
using host_impl::tapRadius;

// Columns per work item: the column table of a strip stays in cache while every row uses it.
constexpr int kStripColumns = 64;
// Pixels per accumulation chunk of a row.
constexpr int kChunkPixels = 128;
// Read tables of the chunks whose pairs round differently, at most (16 bytes an entry).
constexpr size_t kMaxPairTableEntries = size_t(1) << 21;

// acc[i] += (w * p[i]) * m[i]
VELMORA_ROW_KERNEL void accumulateWeighted(float* acc, const float* p, const float* m, float w, int n) {
    for (int i = 0; i < n; ++i) acc[i] += w * p[i] * m[i];
}

// body(x0, x1, spans) for strips of columns of the region, in parallel: each strip's spans are
// those of the region that meet it, cut to it.
void forStrips(const RowRegion& region,
               const std::function<void(int x0, int x1, const std::vector<RowRegion::Span>& spans)>& body) {
    const int from = region.columnsFrom();
    const int strips = (region.columnsTo() - from + kStripColumns - 1) / kStripColumns;
    parallelFor(static_cast<size_t>(strips), [&](size_t s) {
        const int x0 = from + static_cast<int>(s) * kStripColumns;
        const int x1 = x0 + kStripColumns < region.columnsTo() ? x0 + kStripColumns : region.columnsTo();
        std::vector<RowRegion::Span> spans;
        for (const RowRegion::Span& span : region.spans()) {
            if (span.x1 <= x0 || span.x0 >= x1) continue;
            spans.push_back({span.y, span.x0 > x0 ? span.x0 : x0, span.x1 < x1 ? span.x1 : x1});
        }
        if (!spans.empty()) body(x0, x1, spans);
    });
}

}  // namespace

void offsetWeightedRowBlur(const BlurDivideImages& im, const RowRegion& region,
                           const AnimatedParameters& params) {
    const int W = im.width, H = im.height;
    const float amount = finiteOr(params.floats[0], 0.0f);
    const float sigma = fmaxf(amount / 3.0f, 0.001f);
    int radius = tapRadius(amount);
    if (radius < 1) radius = 1;
    const GaussianTaps taps = gaussianTaps(radius, sigma);
    const size_t T = taps.offsets.size();
    const float ox = finiteOr(params.vec2s[0].x, 0.0f) * (float)H / (float)W;
    const float oy = finiteOr(params.vec2s[0].y, 0.0f);
    const float du = 1.0f / (float)W;
    const bool divide = taps.total > 0.0f;
    const float scale = divide ? 1.0f / taps.total : 1.0f;
    const int reach =
        taps.offsets.back() > -taps.offsets.front() ? taps.offsets.back() : -taps.offsets.front();
    // Columns [c0, c1) of the region; key j = x - c0 + k + reach of pixel x and tap k.
    const int c0 = region.columnsFrom(), c1 = region.columnsTo();
    const int padded = c1 - c0 + 2 * reach;

    auto columnTap = [&](int x, size_t t) {
        const float tapU = texelCentre(x, W) + (float)taps.offsets[t] * du;
        return axisTap(edgeCoord(tapU + ox, im.reflect), W);
    };
    // Tap k of pixel x mostly reads the same plate columns as every other pair with x + k alike;
    // those pairs share one read per row. A chunk where some pair rounds differently reads pair by
    // pair from its own table.
    const int chunks = (c1 - c0 + kChunkPixels - 1) / kChunkPixels;
    std::vector<AxisTap> shared(static_cast<size_t>(padded));
    std::vector<char> known(static_cast<size_t>(padded), 0), regular(static_cast<size_t>(chunks), 1);
    for (int x = c0; x < c1; ++x) {
        for (size_t t = 0; t < T; ++t) {
            const size_t j = static_cast<size_t>(x - c0 + taps.offsets[t] + reach);
            const AxisTap tap = columnTap(x, t);
            if (!known[j]) {
                shared[j] = tap;
                known[j] = 1;
            } else if (!sameTap(shared[j], tap)) {
                regular[static_cast<size_t>((x - c0) / kChunkPixels)] = 0;
            }
        }
    }
    // Irregular chunks keep their pairs' reads in tables while those stay small, else recompute them.
    size_t irregular = 0;
    for (char r : regular) irregular += r ? 0u : 1u;
    const bool tabled = irregular * kChunkPixels * T <= kMaxPairTableEntries;
    std::vector<std::vector<AxisTap>> pairTables(static_cast<size_t>(chunks));
    for (int c = 0; c < chunks && tabled; ++c) {
        if (regular[static_cast<size_t>(c)]) continue;
        const int x0 = c0 + c * kChunkPixels, x1 = x0 + kChunkPixels < c1 ? x0 + kChunkPixels : c1;
        std::vector<AxisTap>& table = pairTables[static_cast<size_t>(c)];
        table.reserve(static_cast<size_t>(x1 - x0) * T);
        for (int x = x0; x < x1; ++x)
            for (size_t t = 0; t < T; ++t) table.push_back(columnTap(x, t));
    }

    region.forSpans([&](int y, int s0, int s1) {
        const AxisTap rowTap = axisTap(edgeCoord(texelCentre(y, H) + oy, im.reflect), H);
        const float* maskRow = im.mask.row(y);
        // Keys of the span, padded by the reach on both sides: the shared plate reads as
        // (r, g, b, 1) and the weight. Local index = key - first.
        const int first = s0 - c0, keys = s1 - s0 + 2 * reach;
        std::vector<float> p(static_cast<size_t>(keys) * 4), m(static_cast<size_t>(keys) * 4);
        for (int i = 0; i < keys; ++i) {
            const size_t j = static_cast<size_t>(first + i);
            const float keep = 1.0f - maskRow[4 * edgeTexel(c0 + first + i - reach, W, im.reflect)];
            m[4 * i] = m[4 * i + 1] = m[4 * i + 2] = m[4 * i + 3] = keep;
            if (!known[j]) continue;
            bilinearRead(im.plate, shared[j], rowTap, &p[4 * static_cast<size_t>(i)]);
            p[4 * i + 3] = 1.0f;
            // A non-finite read counts as hole, as in the per-pixel kernel: it adds nothing.
            if (!host_impl::finiteColour(p[4 * i], p[4 * i + 1], p[4 * i + 2]))
                p[4 * i] = p[4 * i + 1] = p[4 * i + 2] = p[4 * i + 3] = 0.0f;
        }
        float* dst = im.out.row(y);
        std::vector<float> acc(static_cast<size_t>(kChunkPixels) * 4);
        for (int c = (s0 - c0) / kChunkPixels; c < chunks && c0 + c * kChunkPixels < s1; ++c) {
            const int chunkFrom = c0 + c * kChunkPixels;
            const int x0 = chunkFrom > s0 ? chunkFrom : s0;
            const int x1 = chunkFrom + kChunkPixels < s1 ? chunkFrom + kChunkPixels : s1;
            if (regular[static_cast<size_t>(c)]) {
                const int n = (x1 - x0) * 4;
                std::fill(acc.begin(), acc.begin() + n, 0.0f);
                for (size_t t = 0; t < T; ++t) {
                    const size_t at = static_cast<size_t>(x0 - s0 + reach + taps.offsets[t]) * 4;
                    accumulateWeighted(acc.data(), &p[at], &m[at], taps.weights[t], n);
                }
                for (int i = 0; i < n; ++i) dst[4 * x0 + i] = divide ? acc[i] * scale : acc[i];
                continue;
            }
            const std::vector<AxisTap>& table = pairTables[static_cast<size_t>(c)];
            for (int x = x0; x < x1; ++x) {
                const AxisTap* column = tabled ? &table[static_cast<size_t>(x - chunkFrom) * T] : nullptr;
                float sum[4] = {0.0f, 0.0f, 0.0f, 0.0f};
                for (size_t t = 0; t < T; ++t) {
                    float q[4];
                    bilinearRead(im.plate, tabled ? column[t] : columnTap(x, t), rowTap, q);
                    const float w = taps.weights[t];
                    float keep = m[4 * static_cast<size_t>(x - s0 + reach + taps.offsets[t])];
                    if (!host_impl::finiteColour(q[0], q[1], q[2])) q[0] = q[1] = q[2] = keep = 0.0f;
                    sum[0] += w * q[0] * keep;
                    sum[1] += w * q[1] * keep;
                    sum[2] += w * q[2] * keep;
                    sum[3] += w * keep;
                }
                for (int i = 0; i < 4; ++i) dst[4 * x + i] = divide ? sum[i] * scale : sum[i];
            }
        }
    });
}

void directionalDivide(const BlurDivideImages& im, const RowRegion& region,
                       const AnimatedParameters& params) {
    const int W = im.width, H = im.height;
    const float dirAmount = finiteOr(params.floats[1], 0.0f);
    const float h = dirAmount / 2.0f;
    const int dirRadius = tapRadius(h) < 1 ? 1 : tapRadius(h);
    const float dirSigma = fmaxf(h / 3.0f, 0.001f);
    const float bias = h * finiteOr(params.floats[3], 0.0f);
    const float theta = finiteOr(params.floats[2], 0.0f) * 3.14159265358979f / 180.0f;
    const float du = 1.0f / (float)W, dv = 1.0f / (float)H;
    const float cd = du * cosf(theta), sd = dv * sinf(theta);

    std::vector<float> weights, alongU, alongV;
    float total = 0.0f;
    for (int j = -dirRadius; j <= dirRadius; ++j) {
        const float w = gaussianTap((float)j, dirSigma);
        if (w < VELMORA_MIN_TAP_WEIGHT) continue;
        const float s = (float)j + bias;
        weights.push_back(w);
        alongU.push_back(s * cd);
        alongV.push_back(s * sd);
        total += w;
    }
    const size_t T = weights.size();
    const bool divide = total > 0.0f;
    const float scale = divide ? 1.0f / total : 1.0f;
    const bool highlight = params.bools[0] != 0;

    forStrips(region, [&](int x0, int x1, const std::vector<RowRegion::Span>& spans) {
        const int n = x1 - x0;
        std::vector<AxisTap> columns(static_cast<size_t>(n) * T), rows(T);
        for (int x = x0; x < x1; ++x) {
            const float u = texelCentre(x, W);
            for (size_t t = 0; t < T; ++t)
                columns[static_cast<size_t>(x - x0) * T + t] =
                    axisTap(edgeCoord(u + alongU[t], im.reflect), W);
        }
        int rowsOf = -1;  // the row `rows` holds the line's row parts for
        for (const RowRegion::Span& span : spans) {
            const int y = span.y;
            const float v = texelCentre(y, H);
            const float *maskRow = im.mask.row(y), *workingRow = im.working.row(y),
                        *plateRow = im.plate.row(y);
            float* dst = im.out.row(y);
            for (int x = span.x0; x < span.x1; ++x) {
                float d[4];
                if (maskRow[4 * x] < 0.001f) {
                    for (int c = 0; c < 4; ++c) d[c] = workingRow[4 * x + c];
                } else {
                    if (rowsOf != y) {
                        for (size_t t = 0; t < T; ++t)
                            rows[t] = axisTap(edgeCoord(v + alongV[t], im.reflect), H);
                        rowsOf = y;
                    }
                    const AxisTap* column = &columns[static_cast<size_t>(x - x0) * T];
                    float sum[4] = {0.0f, 0.0f, 0.0f, 0.0f};
                    for (size_t t = 0; t < T; ++t) {
                        float p[4];
                        bilinearRead(im.working, column[t], rows[t], p);
                        const float w = weights[t];
                        for (int c = 0; c < 4; ++c) sum[c] += w * p[c];
                    }
                    for (int c = 0; c < 4; ++c) d[c] = divide ? sum[c] * scale : sum[c];
                }
                writeDividedFill(d, plateRow + 4 * x, highlight, dst + 4 * x);
            }
        }
    });
}

}  // namespace cpu_fast
