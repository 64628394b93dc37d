#include "kernels/cpu/CpuFastPaths.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "gpu/HostKernelSupport.h"
#include "gpu/ThreadPool.h"
#include "kernels/KernelDevice.h"
#include "kernels/cpu/BlurDivideRows.h"
#include "kernels/cpu/CompositeRows.h"
#include "kernels/cpu/DividedFill.h"
#include "kernels/cpu/GaussianTaps.h"
#include "kernels/cpu/MaskPrepRows.h"
#include "kernels/cpu/PostBlurRows.h"
#include "kernels/cpu/RetextureBlurRows.h"
#include "kernels/cpu/RowKernels.h"

// The arithmetic below mirrors the per-pixel kernels operation for operation (same order, no
// fused multiply-add), which is what makes the results identical.

namespace cpu_fast {

namespace {

using host_impl::finiteOr;
using host_impl::gaussianTap;
using host_impl::tapRadius;

constexpr int kPlateSlot = 0, kMaskShapeSlot = 1, kPreparedMaskSlot = 3, kFillSlot = 4;

struct Texels {
    const float* base = nullptr;
    size_t pitchFloats = 0;
    const float* row(int y) const { return base + static_cast<size_t>(y) * pitchFloats; }
    FloatPlane plane() const { return {base, pitchFloats}; }
};

struct Target {
    unsigned char* base = nullptr;
    size_t pitch = 0;
    float* row(int y) const { return reinterpret_cast<float*>(base + static_cast<size_t>(y) * pitch); }
    PlaneTarget plane() const { return {base, pitch}; }
};

// A texture the rows can read with plain loads: float4 texels of exactly the render's size,
// sampled with normalized coordinates, clamp addressing and linear filtering.
bool texelsOf(uint64_t handle, int width, int height, Texels& out) {
    const velmora_emu::TextureView* t = velmora_emu::findTexture(handle);
    if (!t || t->components != 4 || t->width != width || t->height != height || !t->normalized) return false;
    if (t->filter != GpuFilterModeLinear || t->address[0] != GpuAddressModeClamp ||
        t->address[1] != GpuAddressModeClamp || t->pitch % sizeof(float) != 0) {
        return false;
    }
    out.base = reinterpret_cast<const float*>(t->base);
    out.pitchFloats = t->pitch / sizeof(float);
    return true;
}

bool targetOf(uint64_t handle, int width, int height, Target& out) {
    const velmora_emu::SurfaceView* s = velmora_emu::findSurface(handle);
    if (!s || s->widthBytes < static_cast<size_t>(width) * 16u || s->height < height) return false;
    out.base = s->base;
    out.pitch = s->pitch;
    return true;
}

bool imagePass(const SystemParameters& sys) {
    return sys.width > 0 && sys.height > 0 && sys.dispatchCount <= 0;
}

const SourceSlot* slotOf(const SourceConnections& s, int index) {
    return index < s.sourceCount ? &s.sources[index] : nullptr;
}
uint64_t textureOf(const SourceConnections& s, int index) {
    const SourceSlot* slot = slotOf(s, index);
    return slot ? slot->textureObject : 0;
}
bool connected(const SourceConnections& s, int index) {
    const SourceSlot* slot = slotOf(s, index);
    return slot && slot->isConnected != 0;
}

// Span copies with a per-pixel rule.
void mapSpans(const RowRegion& region, const Texels& in, const Target& out,
              void (*rule)(const float*, float*)) {
    region.forSpans([&](int y, int x0, int x1) {
        const float* src = in.row(y);
        float* dst = out.row(y);
        for (int x = x0; x < x1; ++x) rule(src + 4 * x, dst + 4 * x);
    });
}

void copySpans(const RowRegion& region, const Texels& in, const Target& out) {
    region.forSpans([&](int y, int x0, int x1) {
        std::memcpy(out.row(y) + 4 * x0, in.row(y) + 4 * x0, static_cast<size_t>(x1 - x0) * 16u);
    });
}

using Taps = GaussianTaps;

constexpr int kChunkPixels = 256;

// Blur/divide execution 0: the inverted-mask weighted plate, blurred along x.
void weightedRowBlur(const RowRegion& region, bool reflect, const Taps& taps, const Texels& plate,
                     const Texels& mask, const Target& out) {
    const int width = region.width();
    const int pad = taps.reach;
    const float scale = taps.total > 0.0f ? 1.0f / taps.total : 1.0f;
    const bool divide = taps.total > 0.0f;
    region.forSpans([&](int y, int x0, int x1) {
        // The span padded by the reach on both sides, edges resolved: (r, g, b, 1) and the weight m.
        const int padded = x1 - x0 + 2 * pad;
        std::vector<float> p(static_cast<size_t>(padded) * 4), m(static_cast<size_t>(padded) * 4);
        std::vector<float> acc(static_cast<size_t>(kChunkPixels) * 4);
        const float* pr = plate.row(y);
        const float* mr = mask.row(y);
        for (int j = 0; j < padded; ++j) {
            const int x = edgeTexel(x0 + j - pad, width, reflect);
            const float keep = 1.0f - mr[4 * x];
            std::memcpy(&p[4 * j], pr + 4 * x, 3 * sizeof(float));
            p[4 * j + 3] = 1.0f;
            // A non-finite plate value counts as hole, as in the per-pixel kernel: it adds nothing.
            if (!host_impl::finiteColour(p[4 * j], p[4 * j + 1], p[4 * j + 2]))
                p[4 * j] = p[4 * j + 1] = p[4 * j + 2] = p[4 * j + 3] = 0.0f;
            m[4 * j] = m[4 * j + 1] = m[4 * j + 2] = m[4 * j + 3] = keep;
        }
        float* dst = out.row(y);
        for (int c0 = x0; c0 < x1; c0 += kChunkPixels) {
            const int n = (x1 - c0 < kChunkPixels ? x1 - c0 : kChunkPixels) * 4;
            std::fill(acc.begin(), acc.begin() + n, 0.0f);
            for (size_t t = 0; t < taps.offsets.size(); ++t) {
                const size_t at = static_cast<size_t>(c0 - x0 + pad + taps.offsets[t]) * 4;
                accumulateWeighted(acc.data(), &p[at], &m[at], taps.weights[t], n);
            }
            if (divide) {
                scaleInto(dst + 4 * c0, acc.data(), scale, n);
            } else {
                std::memcpy(dst + 4 * c0, acc.data(), n * sizeof(float));
            }
        }
    });
}

// A blur along y of all four channels.
void columnBlur(const RowRegion& region, bool reflect, const Taps& taps, const Texels& in,
                const Target& out) {
    const int height = region.height();
    const float scale = taps.total > 0.0f ? 1.0f / taps.total : 1.0f;
    const bool divide = taps.total > 0.0f;
    region.forSpans([&](int y, int x0, int x1) {
        std::vector<float> acc(static_cast<size_t>(kChunkPixels) * 4);
        float* dst = out.row(y);
        for (int c0 = x0; c0 < x1; c0 += kChunkPixels) {
            const int n = (x1 - c0 < kChunkPixels ? x1 - c0 : kChunkPixels) * 4;
            std::fill(acc.begin(), acc.begin() + n, 0.0f);
            for (size_t t = 0; t < taps.offsets.size(); ++t) {
                const int row = edgeTexel(y + taps.offsets[t], height, reflect);
                accumulate(acc.data(), in.row(row) + 4 * c0, taps.weights[t], n);
            }
            if (divide) {
                scaleInto(dst + 4 * c0, acc.data(), scale, n);
            } else {
                std::memcpy(dst + 4 * c0, acc.data(), n * sizeof(float));
            }
        }
    });
}

BlurDivideImages blurDivideImages(const SystemParameters& sys, bool reflect, const Texels& plate,
                                  const Texels& mask, const Texels& working, const Target& out) {
    BlurDivideImages images;
    images.width = sys.width;
    images.height = sys.height;
    images.reflect = reflect;
    images.plate = plate.plane();
    images.mask = mask.plane();
    images.working = working.plane();
    images.out = out.plane();
    return images;
}

// The row paths below return false for a pass they do not take (nothing written) and fill
// `reads` with the reads they took for single texels.

bool maskPrepRows(const KernelLaunchArgs& a, const RowRegion& region, TexelReads& reads) {
    const SystemParameters& sys = *a.system;
    Target out;
    if (!targetOf(a.outputSurface, sys.width, sys.height, out)) return false;
    const int execution = sys.currentExecution;
    const float grow = finiteOr(a.parameters->floats[4], 0.0f);
    const float blur = finiteOr(a.parameters->floats[5], 0.0f);
    if (execution <= 1 ? !(fabsf(grow) <= 0.0001f) : tapRadius(blur) >= 1) {
        if (execution < 0) return false;
        Texels in;
        const uint64_t source = execution == 0 ? textureOf(*a.sources, kMaskShapeSlot) : a.workingImageTex;
        if (!texelsOf(source, sys.width, sys.height, in)) return false;
        const MaskImages images{sys.width, sys.height, in.plane(), out.plane()};
        // Whole steps along x in executions 0 and 2, along y in the others.
        const bool alongX = execution == 0 || execution == 2;
        const int reach = execution <= 1 ? growSteps(images, grow) : tapRadius(blur);
        (alongX ? reads.reachX : reads.reachY) = reach;
        if (execution <= 1) return growMask(images, region, execution, grow, a.parameters->ints[0]);
        blurMask(images, region, execution, blur);
        return true;
    }

    Texels in;
    if (execution == 0) {
        if (!texelsOf(textureOf(*a.sources, kMaskShapeSlot), sys.width, sys.height, in)) return false;
        const int from = a.parameters->ints[0];
        region.forSpans([&](int y, int x0, int x1) {
            const float* src = in.row(y);
            float* dst = out.row(y);
            for (int x = x0; x < x1; ++x) {
                const float m = maskChannel(src + 4 * x, from);
                float* d = dst + 4 * x;
                d[0] = d[1] = d[2] = m;
                d[3] = 1.0f;
            }
        });
        return true;
    }
    if (!texelsOf(a.workingImageTex, sys.width, sys.height, in)) return false;
    mapSpans(region, in, out, [](const float* s, float* d) {
        d[0] = d[1] = d[2] = s[0];
        d[3] = 1.0f;
    });
    return true;
}

bool blurDivideRows(const KernelLaunchArgs& a, const RowRegion& region, TexelReads& reads) {
    const SystemParameters& sys = *a.system;
    const AnimatedParameters& params = *a.parameters;
    if (sys.currentExecution < 0 || sys.currentExecution > 2) return false;
    Target out;
    Texels plate;
    if (!targetOf(a.outputSurface, sys.width, sys.height, out)) return false;
    if (!texelsOf(textureOf(*a.sources, kPlateSlot), sys.width, sys.height, plate)) return false;
    if (!connected(*a.sources, kMaskShapeSlot)) {
        copySpans(region, plate, out);
        return true;
    }
    Texels mask;
    if (!texelsOf(textureOf(*a.sources, kPreparedMaskSlot), sys.width, sys.height, mask)) return false;

    const float amount = finiteOr(params.floats[0], 0.0f);
    const bool reflect = params.bools[4] != 0;
    const float sigma = fmaxf(amount / 3.0f, 0.001f);
    int radius = tapRadius(amount);
    if (radius < 1) radius = 1;
    reads.reflect = reflect;

    if (sys.currentExecution == 0) {
        reads.reachX = radius;
        if (finiteOr(params.vec2s[0].x, 0.0f) != 0.0f || finiteOr(params.vec2s[0].y, 0.0f) != 0.0f) {
            offsetWeightedRowBlur(blurDivideImages(sys, reflect, plate, mask, Texels{}, out), region, params);
            return true;
        }
        weightedRowBlur(region, reflect, gaussianTaps(radius, sigma), plate, mask, out);
        return true;
    }
    Texels working;
    if (!texelsOf(a.workingImageTex, sys.width, sys.height, working)) return false;
    if (sys.currentExecution == 1) {
        reads.reachY = radius;
        columnBlur(region, reflect, gaussianTaps(radius, sigma), working, out);
        return true;
    }
    if (finiteOr(params.floats[1], 0.0f) > 0.5f) {
        directionalDivide(blurDivideImages(sys, reflect, plate, mask, working, out), region, params);
        return true;
    }
    const bool highlight = params.bools[0] != 0;
    region.forSpans([&](int y, int x0, int x1) {
        const float* w = working.row(y);
        const float* p = plate.row(y);
        float* dst = out.row(y);
        for (int x = x0; x < x1; ++x) writeDividedFill(w + 4 * x, p + 4 * x, highlight, dst + 4 * x);
    });
    return true;
}

bool postBlurRows(const KernelLaunchArgs& a, const RowRegion& region, TexelReads&) {
    const SystemParameters& sys = *a.system;
    const AnimatedParameters& params = *a.parameters;
    const bool passThrough =
        !connected(*a.sources, kMaskShapeSlot) || params.bools[1] == 0 ||
        (!(finiteOr(params.floats[6], 0.0f) >= 0.5f) && !(finiteOr(params.floats[7], 0.0f) >= 0.5f));
    Target out;
    Texels working;
    if (!targetOf(a.outputSurface, sys.width, sys.height, out)) return false;
    if (!texelsOf(a.workingImageTex, sys.width, sys.height, working)) return false;
    if (!passThrough) {
        Texels mask;
        if (!texelsOf(textureOf(*a.sources, kPreparedMaskSlot), sys.width, sys.height, mask)) return false;
        const PostBlurImages images{sys.width, sys.height, mask.plane(), working.plane(), out.plane()};
        postBlurRows(images, region, sys, params);
        return true;
    }
    copySpans(region, working, out);
    return true;
}

bool retextureBlurRows(const KernelLaunchArgs& a, const RowRegion& region, TexelReads& reads) {
    const SystemParameters& sys = *a.system;
    const AnimatedParameters& params = *a.parameters;
    // Every pixel shows the plate in place: unconnected, or no blur and no offset.
    const bool unblurred = params.bools[2] == 0 || !(finiteOr(params.floats[10], 0.0f) >= 0.5f);
    const bool noOffset =
        finiteOr(params.vec2s[1].x, 0.0f) == 0.0f && finiteOr(params.vec2s[1].y, 0.0f) == 0.0f;
    Target out;
    Texels plate;
    if (!targetOf(a.outputSurface, sys.width, sys.height, out)) return false;
    if (!texelsOf(textureOf(*a.sources, kPlateSlot), sys.width, sys.height, plate)) return false;
    if (connected(*a.sources, kMaskShapeSlot) && !(unblurred && noOffset)) {
        Texels mask, working;
        if (!texelsOf(textureOf(*a.sources, kPreparedMaskSlot), sys.width, sys.height, mask)) return false;
        if (!unblurred && sys.currentExecution != 0 &&
            !texelsOf(a.workingImageTex, sys.width, sys.height, working)) {
            return false;
        }
        if (!unblurred && sys.currentExecution != 0) {
            reads.reachY = retextureRadius(params);
            reads.reflect = params.bools[4] != 0;
        }
        RetextureImages images;
        images.width = sys.width;
        images.height = sys.height;
        images.plate = plate.plane();
        images.mask = mask.plane();
        images.working = working.plane();
        images.out = out.plane();
        retextureBlurRows(images, region, sys, params);
        return true;
    }
    copySpans(region, plate, out);
    return true;
}

bool compositeRows(const KernelLaunchArgs& a, const RowRegion& region, TexelReads&) {
    const SystemParameters& sys = *a.system;
    const AnimatedParameters& params = *a.parameters;
    Target out;
    Texels plate;
    if (!targetOf(a.outputSurface, sys.width, sys.height, out)) return false;
    if (!texelsOf(textureOf(*a.sources, kPlateSlot), sys.width, sys.height, plate)) return false;
    if (!connected(*a.sources, kMaskShapeSlot)) {
        mapSpans(region, plate, out, [](const float* s, float* d) {
            d[0] = 0.7f * s[0] + 0.3f, d[1] = 0.5f * s[1], d[2] = 0.5f * s[2], d[3] = s[3];
        });
        return true;
    }
    const bool retexture = params.bools[2] != 0 && finiteOr(params.floats[11], 0.0f) > 0.001f;
    const bool grain = params.bools[3] != 0 && finiteOr(params.floats[12], 0.0f) > 0.001f;
    Texels mask, fill;
    if (!texelsOf(textureOf(*a.sources, kPreparedMaskSlot), sys.width, sys.height, mask)) return false;
    if (!texelsOf(textureOf(*a.sources, kFillSlot), sys.width, sys.height, fill)) return false;
    if (retexture || grain) {
        Texels working;
        if (retexture && !texelsOf(a.workingImageTex, sys.width, sys.height, working)) return false;
        CompositeImages images;
        images.width = sys.width;
        images.height = sys.height;
        images.plate = plate.plane();
        images.mask = mask.plane();
        images.fill = fill.plane();
        images.working = working.plane();
        images.out = out.plane();
        cpu_fast::compositeRows(images, region, sys, params);
        return true;
    }
    region.forSpans([&](int y, int x0, int x1) {
        const float *s = plate.row(y), *m = mask.row(y), *f = fill.row(y);
        float* dst = out.row(y);
        for (int x = x0; x < x1; ++x) {
            const float M = m[4 * x];
            const float* S = s + 4 * x;
            const float* F = f + 4 * x;
            float* o = dst + 4 * x;
            o[0] = host_impl::mixByMask(S[0], F[0], M);
            o[1] = host_impl::mixByMask(S[1], F[1], M);
            o[2] = host_impl::mixByMask(S[2], F[2], M);
            o[3] = S[3];
        }
    });
    return true;
}

using RowPath = bool (*)(const KernelLaunchArgs&, const RowRegion&, TexelReads&);
using TileLauncher = int (*)(const KernelLaunchArgs&, const unsigned*, int);

// A row path over `region`, then the per-pixel kernel over the tiles where a read the path took
// for a single texel lands between texels.
bool runRows(RowPath rows, TileLauncher perPixel, const KernelLaunchArgs& a, const RowRegion& region) {
    const SystemParameters& sys = *a.system;
    if (!imagePass(sys) || region.width() != sys.width || region.height() != sys.height) return false;
    if (region.empty()) return true;
    TexelReads reads;
    if (!rows(a, region, reads)) return false;
    const std::vector<uint32_t> tiles = offTexelTiles(reads, region);
    if (!tiles.empty()) perPixel(a, tiles.data(), static_cast<int>(tiles.size()));
    return true;
}

RowRegion frameOf(const KernelLaunchArgs& a) {
    return RowRegion::wholeFrame(a.system->width, a.system->height);
}

}  // namespace

bool maskPrep(const KernelLaunchArgs& a, const RowRegion& region) {
    return runRows(maskPrepRows, host_impl::launchMaskPrepTiles, a, region);
}
bool blurDivide(const KernelLaunchArgs& a, const RowRegion& region) {
    return runRows(blurDivideRows, host_impl::launchBlurDivideTiles, a, region);
}
bool postBlur(const KernelLaunchArgs& a, const RowRegion& region) {
    return runRows(postBlurRows, host_impl::launchPostBlurTiles, a, region);
}
bool retextureBlur(const KernelLaunchArgs& a, const RowRegion& region) {
    return runRows(retextureBlurRows, host_impl::launchRetextureBlurTiles, a, region);
}
bool composite(const KernelLaunchArgs& a, const RowRegion& region) {
    return runRows(compositeRows, host_impl::launchCompositeTiles, a, region);
}

bool maskPrepSupport(const KernelLaunchArgs& a, unsigned char* tileFlags, int tilesX) {
    const SystemParameters& sys = *a.system;
    Texels shape;
    if (!imagePass(sys) || !texelsOf(textureOf(*a.sources, kMaskShapeSlot), sys.width, sys.height, shape))
        return false;
    const int from = a.parameters->ints[0];
    const size_t tileRows = static_cast<size_t>((sys.height + 15) / 16);
    parallelFor(tileRows, [&](size_t ty) {
        unsigned char* flags = tileFlags + ty * static_cast<size_t>(tilesX);
        const int y1 = std::min(sys.height, static_cast<int>(ty) * 16 + 16);
        for (int y = static_cast<int>(ty) * 16; y < y1; ++y) {
            const float* row = shape.row(y);
            for (int x = 0; x < sys.width; ++x) {
                if (flags[x / 16]) {
                    x = x / 16 * 16 + 15;  // the tile is marked already
                    continue;
                }
                if (maskChannel(row + 4 * x, from) > 0.0f) flags[x / 16] = 1;
            }
        }
    });
    return true;
}

bool maskPrep(const KernelLaunchArgs& a) {
    return maskPrep(a, frameOf(a));
}
bool blurDivide(const KernelLaunchArgs& a) {
    return blurDivide(a, frameOf(a));
}
bool postBlur(const KernelLaunchArgs& a) {
    return postBlur(a, frameOf(a));
}
bool retextureBlur(const KernelLaunchArgs& a) {
    return retextureBlur(a, frameOf(a));
}
bool composite(const KernelLaunchArgs& a) {
    return composite(a, frameOf(a));
}

}  // namespace cpu_fast
