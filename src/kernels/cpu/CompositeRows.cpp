#include "kernels/cpu/CompositeRows.h"

#include <cmath>
#include <vector>

#include "gpu/ThreadPool.h"
#include "kernels/KernelDevice.h"
#include "kernels/SimplexNoise.h"

namespace cpu_fast {

namespace {

using host_impl::clampf;
using host_impl::edgeCoord;
using host_impl::finiteOr;

// Beyond this a fill plus grain could overflow, and the product with a zero mask would not vanish.
constexpr float kSafeMagnitude = 1.0e30f;

}  // namespace

void compositeRows(const CompositeImages& im, const RowRegion& region, const SystemParameters& sys,
                   const AnimatedParameters& params) {
    const int W = im.width, H = im.height;
    const float strength = finiteOr(params.floats[11], 0.0f);
    const bool retexture = params.bools[2] != 0 && strength > 0.001f;
    const float amount = finiteOr(params.floats[12], 0.0f);
    const bool grain = params.bools[3] != 0 && amount > 0.001f;
    const bool reflect = params.bools[4] != 0;
    const float ox = finiteOr(params.vec2s[1].x, 0.0f) * (float)H / (float)W;
    const float oy = finiteOr(params.vec2s[1].y, 0.0f);
    const float detail = strength / 100.0f;
    const float scale = 1.0f / fmaxf(finiteOr(params.floats[13], 1.0f), 0.1f);
    const float Z = (float)sys.frame * 0.5f;
    const float chromatic = finiteOr(params.floats[14], 0.0f);
    const float grainAmount = amount * 0.05f;
    // Where the mask is zero the fill, grain and all, is multiplied away: the noise is skipped.
    const bool grainVanishes = amount < kSafeMagnitude;

    // Column parts of the retexture reads over the region's columns [c0, c1).
    const int c0 = region.columnsFrom(), columnCount = region.columnsTo() - c0;
    std::vector<AxisTap> columns(retexture ? static_cast<size_t>(columnCount) : 0u);
    for (int i = 0; i < columnCount && retexture; ++i)
        columns[static_cast<size_t>(i)] = axisTap(edgeCoord(texelCentre(c0 + i, W) + ox, reflect), W);

    region.forSpans([&](int y, int x0, int x1) {
        const AxisTap rowTap = retexture ? axisTap(edgeCoord(texelCentre(y, H) + oy, reflect), H) : AxisTap{};
        const float *plate = im.plate.row(y), *mask = im.mask.row(y), *fill = im.fill.row(y);
        const float* working = retexture ? im.working.row(y) : nullptr;
        float* dst = im.out.row(y);
        for (int x = x0; x < x1; ++x) {
            const float* S = plate + 4 * x;
            const float M = mask[4 * x];
            const float* F = fill + 4 * x;
            float qr = F[0], qg = F[1], qb = F[2];
            if (retexture) {
                float P[4];
                bilinearRead(im.plate, columns[static_cast<size_t>(x - c0)], rowTap, P);
                const float* LP = working + 4 * x;
                if (host_impl::finiteColour(P[0] - LP[0], P[1] - LP[1], P[2] - LP[2])) {
                    qr += detail * (P[0] - LP[0]);
                    qg += detail * (P[1] - LP[1]);
                    qb += detail * (P[2] - LP[2]);
                }
            }
            const bool skip = grainVanishes && M == 0.0f && fabsf(qr) < kSafeMagnitude &&
                              fabsf(qg) < kSafeMagnitude && fabsf(qb) < kSafeMagnitude;
            if (grain && !skip) {
                const float L = clampf(0.2126f * qr + 0.7152f * qg + 0.0722f * qb, 0.0f, 1.0f);
                const float response = fmaxf(4.0f * L * (1.0f - L), 0.1f);
                const float X = (float)x * scale, Y = (float)y * scale;
                const float n = host_impl::simplexNoise(X, Y, Z);
                float nG = n, nB = n;
                if (chromatic > 0.001f) {
                    nG = (1.0f - chromatic) * n +
                         chromatic * host_impl::simplexNoise(X + 100.0f, Y + 50.0f, Z);
                    nB = (1.0f - chromatic) * n +
                         chromatic * host_impl::simplexNoise(X + 200.0f, Y + 100.0f, Z);
                }
                qr += grainAmount * 0.5f * n * response;
                qg += grainAmount * 0.5f * nG * response;
                qb += grainAmount * 0.5f * nB * response;
            }
            float* o = dst + 4 * x;
            o[0] = host_impl::mixByMask(S[0], qr, M);
            o[1] = host_impl::mixByMask(S[1], qg, M);
            o[2] = host_impl::mixByMask(S[2], qb, M);
            o[3] = S[3];
        }
    });
}

}  // namespace cpu_fast
