#pragma once

// The host backend's objects as kernels compiled for the CPU see them: texture and surface views
// found from their 64-bit handles, the texture fetch of the hardware (addressing, point and
// bilinear filtering with 8-bit fractional weights), bounds-checked surface access and the grid
// launch. Included by KernelCompat.h and by the host backend; not for render-engine code.

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>

#include "gpu/GpuTypes.h"

namespace velmora_emu {

// A texture as the sampler reads it: float texels, 1, 2 or 4 components.
struct TextureView {
    std::uint64_t handle = 0;
    const unsigned char* base = nullptr;
    std::size_t pitch = 0;  // bytes per row
    int width = 0, height = 0;
    int components = 4;
    GpuAddressMode address[2] = {GpuAddressModeClamp, GpuAddressModeClamp};
    GpuFilterMode filter = GpuFilterModeLinear;
    bool normalized = true;
    float border[4] = {0.0f, 0.0f, 0.0f, 0.0f};
};

struct SurfaceView {
    std::uint64_t handle = 0;
    unsigned char* base = nullptr;
    std::size_t pitch = 0;
    std::size_t widthBytes = 0;
    int height = 0;
};

// Object tables: a handle is (generation << 32) | (slot + 1); a stale or foreign handle finds nothing.
constexpr std::uint32_t kObjectSlots = 1u << 16;
extern std::atomic<const TextureView*> textureSlots[kObjectSlots];
extern std::atomic<const SurfaceView*> surfaceSlots[kObjectSlots];

template <class View>
inline const View* findObject(std::atomic<const View*>* slots, std::uint64_t handle) {
    const std::uint64_t slot = handle & 0xffffffffu;
    if (slot == 0 || slot > kObjectSlots) return nullptr;
    const View* view = slots[slot - 1].load(std::memory_order_acquire);
    return (view && view->handle == handle) ? view : nullptr;
}
inline const TextureView* findTexture(std::uint64_t handle) {
    return findObject(textureSlots, handle);
}
inline const SurfaceView* findSurface(std::uint64_t handle) {
    return findObject(surfaceSlots, handle);
}

// Records a fault of the running kernel (an error surfaced after the launch, as a trap is on a
// GPU). Outside a launch it becomes the calling thread's pending error.
void reportKernelFault(GpuError error);

// Texel index after addressing; false when it falls on the border.
inline bool addressTexel(int& i, int n, GpuAddressMode mode) {
    switch (mode) {
        case GpuAddressModeWrap:
            i %= n;
            if (i < 0) i += n;
            return true;
        case GpuAddressModeMirror: {
            const int period = 2 * n;
            int m = i % period;
            if (m < 0) m += period;
            i = m < n ? m : period - 1 - m;
            return true;
        }
        case GpuAddressModeBorder:
            return i >= 0 && i < n;
        case GpuAddressModeClamp:
        default:
            i = i < 0 ? 0 : (i >= n ? n - 1 : i);
            return true;
    }
}

inline void fetchTexel(const TextureView& t, GpuAddressMode ax, GpuAddressMode ay, int i, int j,
                       float out[4]) {
    if (!addressTexel(i, t.width, ax) || !addressTexel(j, t.height, ay)) {
        out[0] = t.border[0], out[1] = t.border[1], out[2] = t.border[2], out[3] = t.border[3];
        return;
    }
    const unsigned char* texel =
        t.base + static_cast<std::size_t>(j) * t.pitch + static_cast<std::size_t>(i) * 4u * t.components;
    out[0] = out[1] = out[2] = out[3] = 0.0f;
    std::memcpy(out, texel, 4u * static_cast<unsigned>(t.components));
}

// Texel-space coordinate of one axis, kept finite and within int range.
inline float texelCoordinate(float c, int n, bool normalized) {
    if (normalized) c *= static_cast<float>(n);
    if (!(c == c)) return 0.0f;
    const float limit = 1073741824.0f;
    return c < -limit ? -limit : (c > limit ? limit : c);
}

// floor() for coordinates already within int range.
inline int floorToInt(float c) {
    const int i = static_cast<int>(c);
    return c < static_cast<float>(i) ? i - 1 : i;
}

// The 9-bit fixed-point weight of the hardware: 8 bits of fraction, rounded.
inline float quantizedWeight(float fraction) {
    return static_cast<float>(static_cast<int>(fraction * 256.0f + 0.5f)) * (1.0f / 256.0f);
}

inline int clampIndex(int i, int n) {
    return i < 0 ? 0 : (i >= n ? n - 1 : i);
}

// A texel's share of a filtered read; a texel with no weight adds nothing, even a NaN or an infinity.
inline float weighted(float weight, float texel) {
    return weight == 0.0f ? 0.0f : weight * texel;
}

inline void sampleTexture2D(std::uint64_t handle, float x, float y, float out[4]) {
    const TextureView* t = findTexture(handle);
    if (!t) {
        out[0] = out[1] = out[2] = out[3] = 0.0f;
        if (handle != 0) reportKernelFault(GpuErr::InvalidResourceHandle);
        return;
    }
    const TextureView& view = *t;
    // Wrap and mirror exist only with normalized coordinates; otherwise the hardware clamps.
    GpuAddressMode ax = view.address[0], ay = view.address[1];
    if (!view.normalized) {
        if (ax == GpuAddressModeWrap || ax == GpuAddressModeMirror) ax = GpuAddressModeClamp;
        if (ay == GpuAddressModeWrap || ay == GpuAddressModeMirror) ay = GpuAddressModeClamp;
    }
    const float cx = texelCoordinate(x, view.width, view.normalized);
    const float cy = texelCoordinate(y, view.height, view.normalized);
    if (view.filter == GpuFilterModePoint) {
        fetchTexel(view, ax, ay, floorToInt(cx), floorToInt(cy), out);
        return;
    }
    const float bx = cx - 0.5f, by = cy - 0.5f;
    const int i = floorToInt(bx), j = floorToInt(by);
    const float a = quantizedWeight(bx - static_cast<float>(i)),
                b = quantizedWeight(by - static_cast<float>(j));
    const float w00 = (1.0f - a) * (1.0f - b), w10 = a * (1.0f - b), w01 = (1.0f - a) * b, w11 = a * b;
    if (view.components == 4 && ax == GpuAddressModeClamp && ay == GpuAddressModeClamp) {
        // The render engine's textures: float4 texels, clamped in both axes.
        const std::size_t i0 = 4u * static_cast<std::size_t>(clampIndex(i, view.width));
        const std::size_t i1 = 4u * static_cast<std::size_t>(clampIndex(i + 1, view.width));
        const float* r0 = reinterpret_cast<const float*>(
            view.base + static_cast<std::size_t>(clampIndex(j, view.height)) * view.pitch);
        const float* r1 = reinterpret_cast<const float*>(
            view.base + static_cast<std::size_t>(clampIndex(j + 1, view.height)) * view.pitch);
        for (int c = 0; c < 4; ++c)
            out[c] = weighted(w00, r0[i0 + c]) + weighted(w10, r0[i1 + c]) + weighted(w01, r1[i0 + c]) +
                     weighted(w11, r1[i1 + c]);
        return;
    }
    float t00[4], t10[4], t01[4], t11[4];
    fetchTexel(view, ax, ay, i, j, t00);
    fetchTexel(view, ax, ay, i + 1, j, t10);
    fetchTexel(view, ax, ay, i, j + 1, t01);
    fetchTexel(view, ax, ay, i + 1, j + 1, t11);
    for (int c = 0; c < 4; ++c)
        out[c] =
            weighted(w00, t00[c]) + weighted(w10, t10[c]) + weighted(w01, t01[c]) + weighted(w11, t11[c]);
}

// Boundary modes of surface access (values as CUDA's cudaSurfaceBoundaryMode).
enum SurfaceBoundary : int { SurfaceBoundaryZero = 0, SurfaceBoundaryClamp = 1, SurfaceBoundaryTrap = 2 };

// Resolves an access of `size` bytes at byte column x, row y; null when it must not happen.
inline unsigned char* surfaceAddress(std::uint64_t handle, int x, int y, std::size_t size, int boundary) {
    const SurfaceView* s = findSurface(handle);
    if (!s) {
        reportKernelFault(GpuErr::IllegalAddress);
        return nullptr;
    }
    if (size == 0 || size > s->widthBytes || s->height <= 0) {
        reportKernelFault(GpuErr::IllegalAddress);
        return nullptr;
    }
    const long long maxX = static_cast<long long>(s->widthBytes - size);
    long long cx = x, cy = y;
    const bool inside = cx >= 0 && cx <= maxX && cy >= 0 && cy < s->height;
    if (!inside) {
        if (boundary == SurfaceBoundaryZero) return nullptr;
        if (boundary != SurfaceBoundaryClamp) {
            reportKernelFault(GpuErr::IllegalAddress);
            return nullptr;
        }
        cx = cx < 0 ? 0 : (cx > maxX ? maxX : cx);
        cx -= cx % static_cast<long long>(size);
        cy = cy < 0 ? 0 : (cy >= s->height ? s->height - 1 : cy);
    } else if (cx % static_cast<long long>(size) != 0) {
        reportKernelFault(GpuErr::MisalignedAddress);
        return nullptr;
    }
    return s->base + static_cast<std::size_t>(cy) * s->pitch + static_cast<std::size_t>(cx);
}

// Runs one launch: validates the configuration and the stream, calls runBlock for every block of
// the grid in parallel and records faults and configuration errors as the pending error.
void launchGrid(GpuStream stream, const unsigned grid[3], const unsigned block[3],
                const std::function<void(unsigned bx, unsigned by, unsigned bz)>& runBlock);

// The calling thread's pending error, not cleared.
GpuError peekLastError();

}  // namespace velmora_emu
