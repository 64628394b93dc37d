#include "kernels/cpu/RetextureBlurRows.h"

#include <cmath>
#include <vector>

#include "gpu/ThreadPool.h"
#include "kernels/KernelDevice.h"

namespace cpu_fast {

namespace {

using host_impl::edgeCoord;
using host_impl::finiteOr;
using host_impl::gaussianTap;
using host_impl::tapRadius;

constexpr int kMaxRetextureRadius = 50;

}  // namespace

int retextureRadius(const AnimatedParameters& params) {
    const int radius = tapRadius(finiteOr(params.floats[10], 0.0f));
    return radius > kMaxRetextureRadius ? kMaxRetextureRadius : radius;
}

void retextureBlurRows(const RetextureImages& im, const RowRegion& region, const SystemParameters& sys,
                       const AnimatedParameters& params) {
    const int W = im.width, H = im.height;
    const bool reflect = params.bools[4] != 0;
    const float ox = finiteOr(params.vec2s[1].x, 0.0f) * (float)H / (float)W;
    const float oy = finiteOr(params.vec2s[1].y, 0.0f);
    const float amount = finiteOr(params.floats[10], 0.0f);
    const bool blurred = !(amount < 0.5f) && params.bools[2] != 0;
    const bool alongX = sys.currentExecution == 0;
    const float du = 1.0f / (float)W;

    std::vector<int> offsets;
    std::vector<float> weights;
    float total = 0.0f;
    if (blurred) {
        const float sigma = fmaxf(amount / 3.0f, 0.001f);
        const int radius = retextureRadius(params);
        for (int k = -radius; k <= radius; ++k) {
            const float w = gaussianTap((float)k, sigma);
            if (w < VELMORA_MIN_TAP_WEIGHT) continue;
            offsets.push_back(k);
            weights.push_back(w);
            total += w;
        }
    }
    const size_t T = offsets.size();
    const bool divide = total > 0.0f;
    const float scale = divide ? 1.0f / total : 1.0f;

    // Column parts of the offset plate reads over the region's columns [c0, c1): in place (xo),
    // and each tap along x from it.
    const int c0 = region.columnsFrom(), columns = region.columnsTo() - c0;
    std::vector<float> xo(static_cast<size_t>(columns));
    std::vector<AxisTap> offsetColumns(static_cast<size_t>(columns)), tapColumns;
    for (int i = 0; i < columns; ++i) {
        xo[static_cast<size_t>(i)] = edgeCoord(texelCentre(c0 + i, W) + ox, reflect);
        offsetColumns[static_cast<size_t>(i)] = axisTap(xo[static_cast<size_t>(i)], W);
    }
    if (blurred && alongX) {
        tapColumns.resize(static_cast<size_t>(columns) * T);
        for (int i = 0; i < columns; ++i)
            for (size_t t = 0; t < T; ++t)
                tapColumns[static_cast<size_t>(i) * T + t] =
                    axisTap(edgeCoord(xo[static_cast<size_t>(i)] + (float)offsets[t] * du, reflect), W);
    }

    region.forSpans([&](int y, int x0, int x1) {
        const float yo = edgeCoord(texelCentre(y, H) + oy, reflect);
        const AxisTap offsetRow = axisTap(yo, H), tapRow = axisTap(edgeCoord(yo, reflect), H);
        const float *maskRow = im.mask.row(y), *plateRow = im.plate.row(y);
        float* dst = im.out.row(y);
        for (int x = x0; x < x1; ++x) {
            float* o = dst + 4 * x;
            const size_t column = static_cast<size_t>(x - c0);
            if (maskRow[4 * x] < 0.001f) {
                for (int c = 0; c < 4; ++c) o[c] = plateRow[4 * x + c];
                continue;
            }
            if (!blurred) {
                bilinearRead(im.plate, offsetColumns[column], offsetRow, o);
                continue;
            }
            float sum[4] = {0.0f, 0.0f, 0.0f, 0.0f};
            for (size_t t = 0; t < T; ++t) {
                float s[4];
                if (alongX) {
                    bilinearRead(im.plate, tapColumns[column * T + t], tapRow, s);
                } else {
                    const float* texel = im.working.row(edgeTexel(y + offsets[t], H, reflect)) + 4 * x;
                    for (int c = 0; c < 4; ++c) s[c] = texel[c];
                }
                const float w = weights[t];
                for (int c = 0; c < 4; ++c) sum[c] += w * s[c];
            }
            for (int c = 0; c < 4; ++c) o[c] = divide ? sum[c] * scale : sum[c];
        }
    });
}

}  // namespace cpu_fast
