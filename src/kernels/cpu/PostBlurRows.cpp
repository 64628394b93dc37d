#include "kernels/cpu/PostBlurRows.h"

#include <cmath>
#include <vector>

#include "gpu/ThreadPool.h"
#include "kernels/KernelDevice.h"
#include "kernels/PostBlurSettings.h"

// The kernel's tap loops and sums, in its order, with the weights, the line's steps and the read
// coordinates of the fixed axis computed once per pass or per row instead of once per tap.

namespace cpu_fast {

namespace {

using host_impl::edgeCoord;
using host_impl::gaussianTap;
using host_impl::postBlurSettings;
using host_impl::PostBlurSettings;

// Pixels per chunk that shares reads or reads tap by tap.
constexpr int kChunkPixels = 128;
// Beyond this many taps in the row the check for shared reads costs more than it saves.
constexpr double kMaxSharingChecks = 16.0e6;
// Shared reads one row keeps (16 bytes each), at most.
constexpr double kMaxSharedReads = 262144.0;
// Rows per band that shares reads along y, and the reads one band keeps at most.
constexpr int kBandRows = 16;
constexpr double kMaxBandReads = 524288.0;

}  // namespace

void postBlurRows(const PostBlurImages& im, const RowRegion& region, const SystemParameters& sys,
                  const AnimatedParameters& params) {
    const int W = im.width, H = im.height;
    const float du = 1.0f / (float)W, dv = 1.0f / (float)H;
    const PostBlurSettings ps = postBlurSettings(params, sys.currentExecution, du, dv);
    const bool alongX = sys.currentExecution == 0;

    // Taps along the axis (k) and along the line (j) that carry weight, and the total.
    std::vector<int> axisOffsets;
    std::vector<float> axisSteps, axisWeights, lineWeights, lineU, lineV;
    const int axisFrom = ps.gaussian ? -ps.radius : 0, axisTo = ps.gaussian ? ps.radius : 0;
    for (int k = axisFrom; k <= axisTo; ++k) {
        const float wk = ps.gaussian ? gaussianTap((float)k, ps.sigma) : 1.0f;
        if (wk < VELMORA_MIN_TAP_WEIGHT) continue;
        axisOffsets.push_back(k);
        axisSteps.push_back((float)k);
        axisWeights.push_back(wk);
    }
    const int dirFrom = ps.directional ? -ps.dirRadius : 0, dirTo = ps.directional ? ps.dirRadius : 0;
    for (int j = dirFrom; j <= dirTo; ++j) {
        const float wj = ps.directional ? gaussianTap((float)j, ps.dirSigma) : 1.0f;
        if (ps.directional && wj < VELMORA_MIN_TAP_WEIGHT) continue;
        const float s = (float)j + ps.bias;
        lineWeights.push_back(wj);
        lineU.push_back(s * ps.cd);
        lineV.push_back(s * ps.sd);
    }
    const size_t K = axisSteps.size(), J = lineWeights.size();
    std::vector<float> weights(K * J);
    float total = 0.0f;
    for (size_t k = 0; k < K; ++k) {
        for (size_t j = 0; j < J; ++j) {
            const float w = ps.directional ? axisWeights[k] * lineWeights[j] : axisWeights[k];
            weights[k * J + j] = w;
            total += w;
        }
    }
    const bool divide = total > 0.0f;
    const float scale = divide ? 1.0f / total : 1.0f;
    // Columns [c0, c1) and rows [r0, r1) of the region.
    const int c0 = region.columnsFrom(), c1 = region.columnsTo();
    const int r0 = region.rowsFrom(), r1 = region.rowsTo();

    // The axis the blur does not run along reads the same coordinate for every k: along x the
    // rows of the line's taps depend on the row only, along y their columns on the column only.
    auto lineCoordinate = [&](float base, size_t j, bool u) {
        return ps.directional ? base + (u ? lineU[j] : lineV[j]) : base;
    };
    std::vector<AxisTap> columnTable(alongX ? 0u : static_cast<size_t>(c1 - c0) * J);
    for (int x = c0; x < c1 && !alongX; ++x) {
        const float baseU = texelCentre(x, W);
        for (size_t j = 0; j < J; ++j)
            columnTable[static_cast<size_t>(x - c0) * J + j] =
                axisTap(edgeCoord(lineCoordinate(baseU, j, true), ps.reflect), W);
    }

    // Along x, tap (k, j) of pixel x mostly reads the same columns as every other pair with x + k
    // alike: those reads are shared per row. A chunk where some pair rounds differently reads
    // tap by tap. Keys are x - c0 + k + reach.
    const int reach =
        alongX ? (axisOffsets.back() > -axisOffsets.front() ? axisOffsets.back() : -axisOffsets.front()) : 0;
    const int padded = c1 - c0 + 2 * reach;
    const int chunks = (c1 - c0 + kChunkPixels - 1) / kChunkPixels;
    std::vector<AxisTap> shared;
    std::vector<char> known, regular(static_cast<size_t>(chunks), 0);
    const bool share = alongX && static_cast<double>(c1 - c0) * K * J <= kMaxSharingChecks &&
                       static_cast<double>(padded) * J <= kMaxSharedReads;
    if (share) {
        shared.resize(static_cast<size_t>(padded) * J);
        known.assign(static_cast<size_t>(padded) * J, 0);
        std::fill(regular.begin(), regular.end(), 1);
        for (int x = c0; x < c1; ++x) {
            const float u = texelCentre(x, W);
            for (size_t k = 0; k < K; ++k) {
                const float baseU = u + axisSteps[k] * ps.axisU;
                const size_t key = static_cast<size_t>(x - c0 + axisOffsets[k] + reach) * J;
                for (size_t j = 0; j < J; ++j) {
                    const AxisTap tap = axisTap(edgeCoord(lineCoordinate(baseU, j, true), ps.reflect), W);
                    if (!known[key + j]) {
                        shared[key + j] = tap;
                        known[key + j] = 1;
                    } else if (!sameTap(shared[key + j], tap)) {
                        regular[static_cast<size_t>((x - c0) / kChunkPixels)] = 0;
                    }
                }
            }
        }
    }

    // Along y, tap (k, j) of row y mostly reads the same rows as every other pair with y + k alike:
    // a band of rows shares those reads where none rounds differently and sharing saves reads.
    const int reachY =
        alongX ? 0 : (axisOffsets.back() > -axisOffsets.front() ? axisOffsets.back() : -axisOffsets.front());
    const int bands = (H + kBandRows - 1) / kBandRows;
    std::vector<AxisTap> sharedRows;
    std::vector<char> knownRows, bandRegular;
    const bool shareRows = !alongX && static_cast<double>(r1 - r0) * K * J <= kMaxSharingChecks;
    if (shareRows) {
        const size_t keys = static_cast<size_t>(H + 2 * reachY) * J;
        sharedRows.resize(keys);
        knownRows.assign(keys, 0);
        bandRegular.assign(static_cast<size_t>(bands), 1);
        for (int y = r0; y < r1; ++y) {
            const float v = texelCentre(y, H);
            for (size_t k = 0; k < K; ++k) {
                const float baseV = v + axisSteps[k] * ps.axisV;
                const size_t key = static_cast<size_t>(y + axisOffsets[k] + reachY) * J;
                for (size_t j = 0; j < J; ++j) {
                    const AxisTap tap = axisTap(edgeCoord(lineCoordinate(baseV, j, false), ps.reflect), H);
                    if (!knownRows[key + j]) {
                        sharedRows[key + j] = tap;
                        knownRows[key + j] = 1;
                    } else if (!sameTap(sharedRows[key + j], tap)) {
                        bandRegular[static_cast<size_t>(y / kBandRows)] = 0;
                    }
                }
            }
        }
    }

    // A band of rows along y whose reads are shared: the reads of the masked columns of its spans.
    auto shareBand = [&](const RowRegion::Span* spans, size_t count) {
        const int y0 = spans[0].y - spans[0].y % kBandRows, y1 = y0 + kBandRows < H ? y0 + kBandRows : H;
        double masked = 0.0;
        int from = W, to = -1;
        for (size_t s = 0; s < count; ++s) {
            const float* maskRow = im.mask.row(spans[s].y);
            for (int x = spans[s].x0; x < spans[s].x1; ++x) {
                if (maskRow[4 * x] < 0.001f) continue;
                masked += 1.0;
                from = x < from ? x : from;
                to = x > to ? x : to;
            }
        }
        if (to < from) return false;
        const double readCount = static_cast<double>(y1 - y0 + 2 * reachY) * (to - from + 1) * J;
        if (!(readCount <= kMaxBandReads && readCount < masked * K * J)) return false;
        const int span = to - from + 1, first = y0 - reachY;
        const int keyRows = y1 - y0 + 2 * reachY;
        // Reads (r, g, b, a) by key row, column, then the line's tap.
        std::vector<float> reads(static_cast<size_t>(keyRows) * span * J * 4, 0.0f);
        for (int r = 0; r < keyRows; ++r) {
            const size_t key = static_cast<size_t>(first + r + reachY) * J;
            for (int i = 0; i < span; ++i)
                for (size_t j = 0; j < J; ++j)
                    if (knownRows[key + j])
                        bilinearRead(im.working, columnTable[static_cast<size_t>(from + i - c0) * J + j],
                                     sharedRows[key + j],
                                     &reads[((static_cast<size_t>(r) * span + i) * J + j) * 4]);
        }
        for (size_t s = 0; s < count; ++s) {
            const int y = spans[s].y;
            const float *maskRow = im.mask.row(y), *workingRow = im.working.row(y);
            float* dst = im.out.row(y);
            for (int x = spans[s].x0; x < spans[s].x1; ++x) {
                float* o = dst + 4 * x;
                if (maskRow[4 * x] < 0.001f) {
                    for (int c = 0; c < 4; ++c) o[c] = workingRow[4 * x + c];
                    continue;
                }
                float sum[4] = {0.0f, 0.0f, 0.0f, 0.0f};
                for (size_t k = 0; k < K; ++k) {
                    const float* w = &weights[k * J];
                    const size_t r = static_cast<size_t>(y + axisOffsets[k] - first);
                    const float* p = &reads[(r * span + static_cast<size_t>(x - from)) * J * 4];
                    for (size_t j = 0; j < J; ++j)
                        for (int c = 0; c < 4; ++c) sum[c] += w[j] * p[4 * j + c];
                }
                for (int c = 0; c < 4; ++c) o[c] = divide ? sum[c] * scale : sum[c];
            }
        }
        return true;
    };

    // One span, pixel by pixel, sharing reads along x where its chunk allows.
    auto blurSpan = [&](int y, int x0, int x1) {
        const float v = texelCentre(y, H);
        const float *maskRow = im.mask.row(y), *workingRow = im.working.row(y);
        float* dst = im.out.row(y);
        std::vector<AxisTap> rowTable;
        // Shared reads (r, g, b, a) for keys from..to, key-major with the line's taps inside.
        std::vector<float> reads;
        int from = 0;
        for (int x = x0; x < x1; ++x) {
            float* o = dst + 4 * x;
            if (maskRow[4 * x] < 0.001f) {
                for (int c = 0; c < 4; ++c) o[c] = workingRow[4 * x + c];
                continue;
            }
            if (alongX && rowTable.empty()) {
                rowTable.resize(J);
                for (size_t j = 0; j < J; ++j)
                    rowTable[j] = axisTap(edgeCoord(lineCoordinate(v, j, false), ps.reflect), H);
                if (share) {
                    int last = x;
                    for (int i = x; i < x1; ++i)
                        if (!(maskRow[4 * i] < 0.001f)) last = i;
                    from = x - c0;  // keys are x - c0 + k + reach
                    const int to = last - c0 + 2 * reach;
                    reads.assign(static_cast<size_t>(to - from + 1) * J * 4, 0.0f);
                    for (int key = from; key <= to; ++key)
                        for (size_t j = 0; j < J; ++j)
                            if (known[static_cast<size_t>(key) * J + j])
                                bilinearRead(im.working, shared[static_cast<size_t>(key) * J + j],
                                             rowTable[j],
                                             &reads[(static_cast<size_t>(key - from) * J + j) * 4]);
                }
            }
            if (!alongX && rowTable.empty()) {
                // Along y the rows of tap (k, j) depend on the row only.
                rowTable.resize(K * J);
                for (size_t k = 0; k < K; ++k) {
                    const float baseV = v + axisSteps[k] * ps.axisV;
                    for (size_t j = 0; j < J; ++j)
                        rowTable[k * J + j] =
                            axisTap(edgeCoord(lineCoordinate(baseV, j, false), ps.reflect), H);
                }
            }
            if (share && regular[static_cast<size_t>((x - c0) / kChunkPixels)]) {
                float sum[4] = {0.0f, 0.0f, 0.0f, 0.0f};
                for (size_t k = 0; k < K; ++k) {
                    const float* w = &weights[k * J];
                    const float* p =
                        &reads[static_cast<size_t>(x - c0 + axisOffsets[k] + reach - from) * J * 4];
                    for (size_t j = 0; j < J; ++j)
                        for (int c = 0; c < 4; ++c) sum[c] += w[j] * p[4 * j + c];
                }
                for (int c = 0; c < 4; ++c) o[c] = divide ? sum[c] * scale : sum[c];
                continue;
            }
            const float u = texelCentre(x, W);
            float sum[4] = {0.0f, 0.0f, 0.0f, 0.0f};
            for (size_t k = 0; k < K; ++k) {
                const float baseU = u + axisSteps[k] * ps.axisU;
                const float* w = &weights[k * J];
                for (size_t j = 0; j < J; ++j) {
                    float p[4];
                    if (alongX) {
                        bilinearRead(im.working,
                                     axisTap(edgeCoord(lineCoordinate(baseU, j, true), ps.reflect), W),
                                     rowTable[j], p);
                    } else {
                        bilinearRead(im.working, columnTable[static_cast<size_t>(x - c0) * J + j],
                                     rowTable[k * J + j], p);
                    }
                    for (int c = 0; c < 4; ++c) sum[c] += w[j] * p[c];
                }
            }
            for (int c = 0; c < 4; ++c) o[c] = divide ? sum[c] * scale : sum[c];
        }
    };

    const std::vector<RowRegion::Span>& spans = region.spans();
    region.forBands(kBandRows, [&](size_t first, size_t last) {
        if (shareRows && bandRegular[static_cast<size_t>(spans[first].y / kBandRows)] &&
            shareBand(&spans[first], last - first))
            return;
        for (size_t s = first; s < last; ++s) blurSpan(spans[s].y, spans[s].x0, spans[s].x1);
    });
}

}  // namespace cpu_fast
