#include "kernels/cpu/CpuFastPaths.h"

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

// The arithmetic below mirrors the per-pixel kernels operation for operation (same order, no
// fused multiply-add), which is what makes the results identical.

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#define VELMORA_ROW_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define VELMORA_ROW_KERNEL
#endif

namespace cpu_fast {

namespace {

using host_impl::finiteOr;
using host_impl::gaussianTap;
using host_impl::tapRadius;

// Largest image side for which a texel-centred read is provably a plain load: the coordinate
// error of u + k/W stays far below the sampler's 1/512 rounding step.
constexpr int kMaxExactSide = 4096;

constexpr int kPlateSlot = 0, kMaskShapeSlot = 1, kPreparedMaskSlot = 3, kFillSlot = 4;

struct Texels {
    const float* base = nullptr;
    size_t pitchFloats = 0;
    const float* row(int y) const { return base + static_cast<size_t>(y) * pitchFloats; }
};

struct Target {
    unsigned char* base = nullptr;
    size_t pitch = 0;
    float* row(int y) const { return reinterpret_cast<float*>(base + static_cast<size_t>(y) * pitch); }
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

bool exactSize(const SystemParameters& sys) {
    return sys.width > 0 && sys.height > 0 && sys.width <= kMaxExactSide && sys.height <= kMaxExactSide &&
           sys.dispatchCount <= 0;
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

// Texel index a tap j columns (or rows) from the image start reads, for clamp or reflect.
int edgeIndex(int j, int n, bool reflect) {
    if (!reflect) return j < 0 ? 0 : (j >= n ? n - 1 : j);
    if (j < 0) j = -j - 1;
    if (j >= n) j = 2 * n - 1 - j;
    return j < 0 ? 0 : j;
}

void forRows(int height, const std::function<void(int y)>& body) {
    parallelFor(static_cast<size_t>(height), [&](size_t y) { body(static_cast<int>(y)); });
}

// Row copies with a per-pixel rule.
void mapRows(int width, int height, const Texels& in, const Target& out, void (*rule)(const float*, float*)) {
    forRows(height, [&](int y) {
        const float* src = in.row(y);
        float* dst = out.row(y);
        for (int x = 0; x < width; ++x) rule(src + 4 * x, dst + 4 * x);
    });
}

using Taps = GaussianTaps;

// acc[i] += (w * p[i]) * m[i]
VELMORA_ROW_KERNEL void accumulateWeighted(float* acc, const float* p, const float* m, float w, int n) {
    for (int i = 0; i < n; ++i) acc[i] += w * p[i] * m[i];
}

// acc[i] += w * p[i]
VELMORA_ROW_KERNEL void accumulate(float* acc, const float* p, float w, int n) {
    for (int i = 0; i < n; ++i) acc[i] += w * p[i];
}

VELMORA_ROW_KERNEL void scaleInto(float* dst, const float* acc, float s, int n) {
    for (int i = 0; i < n; ++i) dst[i] = acc[i] * s;
}

constexpr int kChunkPixels = 256;

// Blur/divide execution 0: the inverted-mask weighted plate, blurred along x.
void weightedRowBlur(int width, int height, bool reflect, const Taps& taps, const Texels& plate,
                     const Texels& mask, const Target& out) {
    const int pad = taps.reach;
    const int padded = width + 2 * pad;
    const float scale = taps.total > 0.0f ? 1.0f / taps.total : 1.0f;
    const bool divide = taps.total > 0.0f;
    forRows(height, [&](int y) {
        // Rows padded by the reach on both sides, edges resolved: (r, g, b, 1) and the weight m.
        std::vector<float> p(static_cast<size_t>(padded) * 4), m(static_cast<size_t>(padded) * 4);
        std::vector<float> acc(static_cast<size_t>(kChunkPixels) * 4);
        const float* pr = plate.row(y);
        const float* mr = mask.row(y);
        for (int j = 0; j < padded; ++j) {
            const int x = edgeIndex(j - pad, width, reflect);
            const float keep = 1.0f - mr[4 * x];
            std::memcpy(&p[4 * j], pr + 4 * x, 3 * sizeof(float));
            p[4 * j + 3] = 1.0f;
            // A non-finite plate value counts as hole, as in the per-pixel kernel: it adds nothing.
            if (!host_impl::finiteColour(p[4 * j], p[4 * j + 1], p[4 * j + 2]))
                p[4 * j] = p[4 * j + 1] = p[4 * j + 2] = p[4 * j + 3] = 0.0f;
            m[4 * j] = m[4 * j + 1] = m[4 * j + 2] = m[4 * j + 3] = keep;
        }
        float* dst = out.row(y);
        for (int x0 = 0; x0 < width; x0 += kChunkPixels) {
            const int n = (width - x0 < kChunkPixels ? width - x0 : kChunkPixels) * 4;
            std::fill(acc.begin(), acc.begin() + n, 0.0f);
            for (size_t t = 0; t < taps.offsets.size(); ++t) {
                const size_t at = static_cast<size_t>(x0 + pad + taps.offsets[t]) * 4;
                accumulateWeighted(acc.data(), &p[at], &m[at], taps.weights[t], n);
            }
            if (divide) {
                scaleInto(dst + 4 * x0, acc.data(), scale, n);
            } else {
                std::memcpy(dst + 4 * x0, acc.data(), n * sizeof(float));
            }
        }
    });
}

// A blur along y of all four channels.
void columnBlur(int width, int height, bool reflect, const Taps& taps, const Texels& in, const Target& out) {
    const float scale = taps.total > 0.0f ? 1.0f / taps.total : 1.0f;
    const bool divide = taps.total > 0.0f;
    forRows(height, [&](int y) {
        std::vector<float> acc(static_cast<size_t>(kChunkPixels) * 4);
        float* dst = out.row(y);
        for (int x0 = 0; x0 < width; x0 += kChunkPixels) {
            const int n = (width - x0 < kChunkPixels ? width - x0 : kChunkPixels) * 4;
            std::fill(acc.begin(), acc.begin() + n, 0.0f);
            for (size_t t = 0; t < taps.offsets.size(); ++t) {
                const int row = edgeIndex(y + taps.offsets[t], height, reflect);
                accumulate(acc.data(), in.row(row) + 4 * x0, taps.weights[t], n);
            }
            if (divide) {
                scaleInto(dst + 4 * x0, acc.data(), scale, n);
            } else {
                std::memcpy(dst + 4 * x0, acc.data(), n * sizeof(float));
            }
        }
    });
}

void copyRows(int width, int height, const Texels& in, const Target& out) {
    forRows(height, [&](int y) { std::memcpy(out.row(y), in.row(y), static_cast<size_t>(width) * 16u); });
}

BlurDivideImages blurDivideImages(const SystemParameters& sys, bool reflect, const Texels& plate,
                                  const Texels& mask, const Texels& working, const Target& out) {
    BlurDivideImages images;
    images.width = sys.width;
    images.height = sys.height;
    images.reflect = reflect;
    images.plate = {plate.base, plate.pitchFloats};
    images.mask = {mask.base, mask.pitchFloats};
    images.working = {working.base, working.pitchFloats};
    images.out = {out.base, out.pitch};
    return images;
}

}  // namespace

bool maskPrep(const KernelLaunchArgs& a) {
    const SystemParameters& sys = *a.system;
    if (!exactSize(sys)) return false;
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
        const MaskImages images{sys.width, sys.height, {in.base, in.pitchFloats}, {out.base, out.pitch}};
        if (execution <= 1) return growMask(images, execution, grow, a.parameters->ints[0]);
        blurMask(images, execution, blur);
        return true;
    }

    Texels in;
    if (execution == 0) {
        if (!texelsOf(textureOf(*a.sources, kMaskShapeSlot), sys.width, sys.height, in)) return false;
        const int from = a.parameters->ints[0];
        forRows(sys.height, [&](int y) {
            const float* src = in.row(y);
            float* dst = out.row(y);
            for (int x = 0; x < sys.width; ++x) {
                const float* s = src + 4 * x;
                const float q = from == 1   ? s[3]
                                : from == 2 ? s[0]
                                            : 0.2126f * s[0] + 0.7152f * s[1] + 0.0722f * s[2];
                const float m = host_impl::clampf((q - 0.05f) / 0.9f, 0.0f, 1.0f);
                float* d = dst + 4 * x;
                d[0] = d[1] = d[2] = m;
                d[3] = 1.0f;
            }
        });
        return true;
    }
    if (!texelsOf(a.workingImageTex, sys.width, sys.height, in)) return false;
    mapRows(sys.width, sys.height, in, out, [](const float* s, float* d) {
        d[0] = d[1] = d[2] = s[0];
        d[3] = 1.0f;
    });
    return true;
}

bool blurDivide(const KernelLaunchArgs& a) {
    const SystemParameters& sys = *a.system;
    const AnimatedParameters& params = *a.parameters;
    if (!exactSize(sys) || sys.currentExecution < 0 || sys.currentExecution > 2) return false;
    Target out;
    Texels plate;
    if (!targetOf(a.outputSurface, sys.width, sys.height, out)) return false;
    if (!texelsOf(textureOf(*a.sources, kPlateSlot), sys.width, sys.height, plate)) return false;
    if (!connected(*a.sources, kMaskShapeSlot)) {
        copyRows(sys.width, sys.height, plate, out);
        return true;
    }
    Texels mask;
    if (!texelsOf(textureOf(*a.sources, kPreparedMaskSlot), sys.width, sys.height, mask)) return false;

    const float amount = finiteOr(params.floats[0], 0.0f);
    const bool reflect = params.bools[4] != 0;
    const float sigma = fmaxf(amount / 3.0f, 0.001f);
    int radius = tapRadius(amount);
    if (radius < 1) radius = 1;

    if (sys.currentExecution == 0) {
        if (finiteOr(params.vec2s[0].x, 0.0f) != 0.0f || finiteOr(params.vec2s[0].y, 0.0f) != 0.0f) {
            offsetWeightedRowBlur(blurDivideImages(sys, reflect, plate, mask, Texels{}, out), params);
            return true;
        }
        weightedRowBlur(sys.width, sys.height, reflect, gaussianTaps(radius, sigma), plate, mask, out);
        return true;
    }
    Texels working;
    if (!texelsOf(a.workingImageTex, sys.width, sys.height, working)) return false;
    if (sys.currentExecution == 1) {
        columnBlur(sys.width, sys.height, reflect, gaussianTaps(radius, sigma), working, out);
        return true;
    }
    if (finiteOr(params.floats[1], 0.0f) > 0.5f) {
        directionalDivide(blurDivideImages(sys, reflect, plate, mask, working, out), params);
        return true;
    }
    const bool highlight = params.bools[0] != 0;
    forRows(sys.height, [&](int y) {
        const float* w = working.row(y);
        const float* p = plate.row(y);
        float* dst = out.row(y);
        for (int x = 0; x < sys.width; ++x) {
            writeDividedFill(w + 4 * x, p + 4 * x, highlight, dst + 4 * x);
        }
    });
    return true;
}

bool postBlur(const KernelLaunchArgs& a) {
    const SystemParameters& sys = *a.system;
    const AnimatedParameters& params = *a.parameters;
    if (!exactSize(sys)) return false;
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
        const PostBlurImages images{sys.width,
                                    sys.height,
                                    {mask.base, mask.pitchFloats},
                                    {working.base, working.pitchFloats},
                                    {out.base, out.pitch}};
        postBlurRows(images, sys, params);
        return true;
    }
    copyRows(sys.width, sys.height, working, out);
    return true;
}

bool retextureBlur(const KernelLaunchArgs& a) {
    const SystemParameters& sys = *a.system;
    const AnimatedParameters& params = *a.parameters;
    if (!exactSize(sys)) return false;
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
        RetextureImages images;
        images.width = sys.width;
        images.height = sys.height;
        images.plate = {plate.base, plate.pitchFloats};
        images.mask = {mask.base, mask.pitchFloats};
        images.working = {working.base, working.pitchFloats};
        images.out = {out.base, out.pitch};
        retextureBlurRows(images, sys, params);
        return true;
    }
    copyRows(sys.width, sys.height, plate, out);
    return true;
}

bool composite(const KernelLaunchArgs& a) {
    const SystemParameters& sys = *a.system;
    const AnimatedParameters& params = *a.parameters;
    if (!exactSize(sys)) return false;
    Target out;
    Texels plate;
    if (!targetOf(a.outputSurface, sys.width, sys.height, out)) return false;
    if (!texelsOf(textureOf(*a.sources, kPlateSlot), sys.width, sys.height, plate)) return false;
    if (!connected(*a.sources, kMaskShapeSlot)) {
        mapRows(sys.width, sys.height, plate, out, [](const float* s, float* d) {
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
        images.plate = {plate.base, plate.pitchFloats};
        images.mask = {mask.base, mask.pitchFloats};
        images.fill = {fill.base, fill.pitchFloats};
        images.working = {working.base, working.pitchFloats};
        images.out = {out.base, out.pitch};
        compositeRows(images, sys, params);
        return true;
    }
    forRows(sys.height, [&](int y) {
        const float *s = plate.row(y), *m = mask.row(y), *f = fill.row(y);
        float* dst = out.row(y);
        for (int x = 0; x < sys.width; ++x) {
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

}  // namespace cpu_fast
