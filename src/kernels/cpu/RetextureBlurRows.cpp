#include "kernels/cpu/RetextureBlurRows.h"

#include <cmath>
#include <memory>
#include <vector>

#include "gpu/ThreadPool.h"
#include "kernels/KernelDevice.h"
#include "kernels/cpu/RowKernels.h"
#include "kernels/cpu/SharedReads.h"

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
    // and each tap along x from it (shared between the pixels whose taps meet).
    const int c0 = region.columnsFrom(), columns = region.columnsTo() - c0;
    std::vector<float> xo(static_cast<size_t>(columns));
    std::vector<AxisTap> offsetColumns(static_cast<size_t>(columns));
    for (int i = 0; i < columns; ++i) {
        xo[static_cast<size_t>(i)] = edgeCoord(texelCentre(c0 + i, W) + ox, reflect);
        offsetColumns[static_cast<size_t>(i)] = axisTap(xo[static_cast<size_t>(i)], W);
    }
    std::unique_ptr<SharedColumnReads> shared;
    if (blurred && alongX && T > 0) {
        shared = std::make_unique<SharedColumnReads>(c0, c0 + columns, offsets, [&](int x, size_t t) {
            return axisTap(edgeCoord(xo[static_cast<size_t>(x - c0)] + (float)offsets[t] * du, reflect), W);
        });
    }

    region.forSpans([&](int y, int x0, int x1) {
        const float yo = edgeCoord(texelCentre(y, H) + oy, reflect);
        const AxisTap offsetRow = axisTap(yo, H), tapRow = axisTap(edgeCoord(yo, reflect), H);
        const float *maskRow = im.mask.row(y), *plateRow = im.plate.row(y);
        float* dst = im.out.row(y);
        const int span = x1 - x0;
        // The low-pass of every pixel of the span, in the kernel's order of taps; a pixel outside
        // the mask then takes the plate instead.
        std::vector<float> acc(blurred ? static_cast<size_t>(span) * 4 : 0u, 0.0f);
        if (blurred && alongX) {
            const int reach = shared->reach();
            std::vector<float> keys(static_cast<size_t>(span + 2 * reach) * 4, 0.0f);
            shared->readKeys(im.plate, tapRow, x0, x1, keys.data());
            int a = x0;
            while (a < x1) {
                const bool regular = shared->regular(a);
                int b = a + 1;
                while (b < x1 && shared->regular(b) == regular) ++b;
                if (regular) {
                    for (size_t t = 0; t < T; ++t)
                        accumulate(&acc[static_cast<size_t>(a - x0) * 4],
                                   &keys[static_cast<size_t>(a - x0 + reach + offsets[t]) * 4], weights[t],
                                   (b - a) * 4);
                } else {
                    for (int x = a; x < b; ++x) {
                        float* sum = &acc[static_cast<size_t>(x - x0) * 4];
                        for (size_t t = 0; t < T; ++t) {
                            float s[4];
                            bilinearRead(im.plate, shared->pair(x, t), tapRow, s);
                            for (int c = 0; c < 4; ++c) sum[c] += weights[t] * s[c];
                        }
                    }
                }
                a = b;
            }
        } else if (blurred) {
            for (size_t t = 0; t < T; ++t)
                accumulate(acc.data(), im.working.row(edgeTexel(y + offsets[t], H, reflect)) + 4 * x0,
                           weights[t], span * 4);
        }
        for (int x = x0; x < x1; ++x) {
            float* o = dst + 4 * x;
            if (maskRow[4 * x] < 0.001f) {
                for (int c = 0; c < 4; ++c) o[c] = plateRow[4 * x + c];
            } else if (!blurred) {
                bilinearRead(im.plate, offsetColumns[static_cast<size_t>(x - c0)], offsetRow, o);
            } else {
                const float* sum = &acc[static_cast<size_t>(x - x0) * 4];
                for (int c = 0; c < 4; ++c) o[c] = divide ? sum[c] * scale : sum[c];
            }
        }
    });
}

}  // namespace cpu_fast
