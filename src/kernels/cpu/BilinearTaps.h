#pragma once

// Linear-filtered reads of float4 texels with the emulated texture unit's exact arithmetic
// (clamp addressing, 8-bit fractional weights), split into a column part and a row part so that
// a pass can compute each once and reuse it for every pixel that shares it.

#include <cstddef>

#include "gpu/HostKernelSupport.h"

namespace cpu_fast {

// Float4 texels of one image, row by row.
struct FloatPlane {
    const float* base = nullptr;
    std::size_t pitchFloats = 0;
    const float* row(int y) const { return base + static_cast<std::size_t>(y) * pitchFloats; }
};

// A surface written row by row.
struct PlaneTarget {
    unsigned char* base = nullptr;
    std::size_t pitch = 0;
    float* row(int y) const { return reinterpret_cast<float*>(base + static_cast<std::size_t>(y) * pitch); }
};

// One axis of a read at a normalized coordinate: the two texels it mixes, the weight of the
// second one and one minus that weight.
struct AxisTap {
    int first = 0, second = 0;
    float weight = 0.0f, rest = 1.0f;
};

// The normalized coordinate of texel i's centre, as the kernels compute a pixel's own sample.
inline float texelCentre(int i, int n) {
    return ((float)i + 0.5f) / (float)n;
}

// The texel a read at texel-centre j lands on, with the edges clamped or reflected.
inline int edgeTexel(int j, int n, bool reflect) {
    if (!reflect) return j < 0 ? 0 : (j >= n ? n - 1 : j);
    if (j < 0) j = -j - 1;
    if (j >= n) j = 2 * n - 1 - j;
    return j < 0 ? 0 : j;
}

inline AxisTap axisTap(float coordinate, int n) {
    const float c = velmora_emu::texelCoordinate(coordinate, n, true);
    const float b = c - 0.5f;
    const int i = velmora_emu::floorToInt(b);
    AxisTap tap;
    tap.weight = velmora_emu::quantizedWeight(b - static_cast<float>(i));
    tap.rest = 1.0f - tap.weight;
    tap.first = velmora_emu::clampIndex(i, n);
    tap.second = velmora_emu::clampIndex(i + 1, n);
    // All weight on one texel: the read is that texel, however the coordinate rounded to it (a
    // texel of no weight adds nothing). One form for it lets reads that land alike be shared.
    if (tap.weight == 1.0f) tap.first = tap.second;
    if (tap.weight == 1.0f || tap.weight == 0.0f) {
        tap.second = tap.first;
        tap.weight = 0.0f;
        tap.rest = 1.0f;
    }
    return tap;
}

inline bool sameTap(const AxisTap& a, const AxisTap& b) {
    return a.first == b.first && a.second == b.second && a.weight == b.weight;
}

// The read at column part x and row part y of `plane`, summed in the texture unit's order.
inline void bilinearRead(const FloatPlane& plane, const AxisTap& x, const AxisTap& y, float out[4]) {
    const float w00 = x.rest * y.rest, w10 = x.weight * y.rest, w01 = x.rest * y.weight,
                w11 = x.weight * y.weight;
    const float* r0 = plane.row(y.first) + 4 * x.first;
    const float* r0b = plane.row(y.first) + 4 * x.second;
    const float* r1 = plane.row(y.second) + 4 * x.first;
    const float* r1b = plane.row(y.second) + 4 * x.second;
    using velmora_emu::weighted;  // a texel of zero weight adds nothing, as in the sampler
    for (int c = 0; c < 4; ++c)
        out[c] = weighted(w00, r0[c]) + weighted(w10, r0b[c]) + weighted(w01, r1[c]) + weighted(w11, r1b[c]);
}

}  // namespace cpu_fast
