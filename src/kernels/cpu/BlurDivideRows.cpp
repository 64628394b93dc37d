#include "kernels/cpu/BlurDivideRows.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "gpu/ThreadPool.h"
#include "kernels/KernelDevice.h"
#include "kernels/cpu/DividedFill.h"
#include "kernels/cpu/GaussianTaps.h"
#include "kernels/cpu/RowKernels.h"
#include "kernels/cpu/SharedReads.h"

// Every coordinate is computed with the per-pixel kernel's operations in its order; only where it
// is computed changes: a column part once per strip of columns, a row part once per row.

namespace cpu_fast {

namespace {

using host_impl::edgeCoord;
using host_impl::finiteOr;
using host_impl::gaussianTap;
using host_impl::tapRadius;

// Columns per strip of the directional blur's column table.
constexpr int kStripColumns = 64;
// Pixels per accumulation chunk of a row.
constexpr int kChunkPixels = 128;

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

    // Tap k of pixel x mostly reads the same plate columns as every other pair with x + k alike.
    const SharedColumnReads reads(region.columnsFrom(), region.columnsTo(), taps.offsets,
                                  [&](int x, size_t t) {
                                      const float tapU = texelCentre(x, W) + (float)taps.offsets[t] * du;
                                      return axisTap(edgeCoord(tapU + ox, im.reflect), W);
                                  });
    const int reach = reads.reach();

    region.forSpans([&](int y, int s0, int s1) {
        const AxisTap rowTap = axisTap(edgeCoord(texelCentre(y, H) + oy, im.reflect), H);
        const float* maskRow = im.mask.row(y);
        // Keys of the span, padded by the reach on both sides: the shared plate reads as
        // (r, g, b, 1) and the weight.
        const int keys = s1 - s0 + 2 * reach;
        std::vector<float> p(static_cast<size_t>(keys) * 4, 0.0f), m(static_cast<size_t>(keys) * 4);
        reads.readKeys(im.plate, rowTap, s0, s1, p.data());
        for (int i = 0; i < keys; ++i) {
            const float keep = 1.0f - maskRow[4 * edgeTexel(s0 + i - reach, W, im.reflect)];
            m[4 * i] = m[4 * i + 1] = m[4 * i + 2] = m[4 * i + 3] = keep;
            p[4 * i + 3] = 1.0f;
            // A non-finite read counts as hole, as in the per-pixel kernel: it adds nothing.
            if (!host_impl::finiteColour(p[4 * i], p[4 * i + 1], p[4 * i + 2]))
                p[4 * i] = p[4 * i + 1] = p[4 * i + 2] = p[4 * i + 3] = 0.0f;
        }
        float* dst = im.out.row(y);
        std::vector<float> acc(static_cast<size_t>(kChunkPixels) * 4);
        int x0 = s0;
        while (x0 < s1) {
            // A run of pixels in chunks of one kind, at most kChunkPixels long.
            const bool regular = reads.regular(x0);
            int x1 = x0 + 1;
            while (x1 < s1 && x1 - x0 < kChunkPixels && reads.regular(x1) == regular) ++x1;
            if (regular) {
                const int n = (x1 - x0) * 4;
                std::fill(acc.begin(), acc.begin() + n, 0.0f);
                for (size_t t = 0; t < T; ++t) {
                    const size_t at = static_cast<size_t>(x0 - s0 + reach + taps.offsets[t]) * 4;
                    accumulateWeighted(acc.data(), &p[at], &m[at], taps.weights[t], n);
                }
                for (int i = 0; i < n; ++i) dst[4 * x0 + i] = divide ? acc[i] * scale : acc[i];
            } else {
                for (int x = x0; x < x1; ++x) {
                    float sum[4] = {0.0f, 0.0f, 0.0f, 0.0f};
                    for (size_t t = 0; t < T; ++t) {
                        float q[4];
                        bilinearRead(im.plate, reads.pair(x, t), rowTap, q);
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
            x0 = x1;
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

    // Column parts of the line's taps by strip of columns, as runs of columns over which the part
    // moves with the pixel (same weight, texels one apart per pixel): each pixel of a run reads its
    // texels from the same rows as its neighbours, side by side. A run keeps its first column's part.
    const int c0 = region.columnsFrom(), c1 = region.columnsTo();
    const int strips = (c1 - c0 + kStripColumns - 1) / kStripColumns;
    struct Run {
        int from;  // first column
        AxisTap first;
    };
    // Runs of strip s, tap t: runs[s][starts[s][t]] up to runs[s][starts[s][t + 1]].
    std::vector<std::vector<Run>> runs(static_cast<size_t>(strips));
    std::vector<std::vector<int>> starts(static_cast<size_t>(strips));
    parallelFor(static_cast<size_t>(strips), [&](size_t strip) {
        const int x0 = c0 + static_cast<int>(strip) * kStripColumns, x1 = std::min(c1, x0 + kStripColumns);
        std::vector<Run>& list = runs[strip];
        starts[strip].reserve(T + 1);
        for (size_t t = 0; t < T; ++t) {
            starts[strip].push_back(static_cast<int>(list.size()));
            for (int x = x0; x < x1; ++x) {
                const AxisTap c = axisTap(edgeCoord(texelCentre(x, W) + alongU[t], im.reflect), W);
                if (x > x0 && static_cast<int>(list.size()) > starts[strip].back()) {
                    const Run& run = list.back();
                    const int i = x - run.from;
                    if (c.weight == run.first.weight && c.first == run.first.first + i &&
                        c.second == run.first.second + i)
                        continue;
                }
                list.push_back(Run{x, c});
            }
        }
        starts[strip].push_back(static_cast<int>(list.size()));
    });

    region.forSpans([&](int y, int s0, int s1) {
        const float *maskRow = im.mask.row(y), *workingRow = im.working.row(y), *plateRow = im.plate.row(y);
        float* dst = im.out.row(y);
        int from = s1, to = s0;  // the masked pixels' columns
        for (int x = s0; x < s1; ++x) {
            if (maskRow[4 * x] < 0.001f) continue;
            from = x < from ? x : from;
            to = x + 1;
        }
        std::vector<float> acc(from < to ? static_cast<size_t>(to - from) * 4 : 0u, 0.0f);
        if (from < to) {
            const float v = texelCentre(y, H);
            std::vector<AxisTap> rows(T);
            for (size_t t = 0; t < T; ++t) rows[t] = axisTap(edgeCoord(v + alongV[t], im.reflect), H);
            const std::vector<float> zeros(static_cast<size_t>(kStripColumns) * 4, 0.0f);
            for (int strip = (from - c0) / kStripColumns; c0 + strip * kStripColumns < to; ++strip) {
                const int stripTo = std::min(c1, c0 + (strip + 1) * kStripColumns);
                const std::vector<Run>& list = runs[static_cast<size_t>(strip)];
                const std::vector<int>& first = starts[static_cast<size_t>(strip)];
                for (size_t t = 0; t < T; ++t) {
                    const AxisTap& r = rows[t];
                    const float *r0 = im.working.row(r.first), *r1 = im.working.row(r.second);
                    for (int k = first[t]; k < first[t + 1]; ++k) {
                        const Run& run = list[static_cast<size_t>(k)];
                        const int runTo =
                            k + 1 < first[t + 1] ? list[static_cast<size_t>(k) + 1].from : stripTo;
                        const int x0 = std::max(from, run.from), x1 = std::min(to, runTo);
                        if (x0 >= x1) continue;
                        const int shift = x0 - run.from;
                        const AxisTap& c = run.first;
                        const float w00 = c.rest * r.rest, w10 = c.weight * r.rest, w01 = c.rest * r.weight,
                                    w11 = c.weight * r.weight;
                        accumulateBilinear(&acc[static_cast<size_t>(x0 - from) * 4],
                                           w00 == 0.0f ? zeros.data() : r0 + 4 * (c.first + shift),
                                           w10 == 0.0f ? zeros.data() : r0 + 4 * (c.second + shift),
                                           w01 == 0.0f ? zeros.data() : r1 + 4 * (c.first + shift),
                                           w11 == 0.0f ? zeros.data() : r1 + 4 * (c.second + shift), w00, w10,
                                           w01, w11, weights[t], (x1 - x0) * 4);
                    }
                }
            }
        }
        for (int x = s0; x < s1; ++x) {
            float d[4];
            if (maskRow[4 * x] < 0.001f) {
                for (int c = 0; c < 4; ++c) d[c] = workingRow[4 * x + c];
            } else {
                const float* sum = &acc[static_cast<size_t>(x - from) * 4];
                for (int c = 0; c < 4; ++c) d[c] = divide ? sum[c] * scale : sum[c];
            }
            writeDividedFill(d, plateRow + 4 * x, highlight, dst + 4 * x);
        }
    });
}

}  // namespace cpu_fast
