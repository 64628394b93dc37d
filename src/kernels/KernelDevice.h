#pragma once

// Device-side helpers shared by the effect kernels: float4 arithmetic, the pixel setup, safe
// texture reads, edge handling and the table-driven Gaussian tap weight. CUDA has no float4
// operators, so the kernels use these functions instead.

#include "gpu/KernelCompat.h"
#include "kernels/GaussianLut.h"
#include "kernels/KernelRecords.h"

// The kernels take the records by value on the GPU (the binding launch signature). A CPU launch
// calls the entry once per pixel, so there the records are passed by reference instead.
#ifdef __CUDACC__
#define VELMORA_RECORD(Type) Type
#else
#define VELMORA_RECORD(Type) const Type&
#endif

// Radii beyond any parameter range; keeps out-of-range input from overflowing or hanging a launch.
#define VELMORA_MAX_TAP_RADIUS 4096

namespace VELMORA_KERNEL_NS {

__device__ __forceinline__ float4 f4(float x, float y, float z, float w) {
    return make_float4(x, y, z, w);
}
__device__ __forceinline__ float4 f4Zero() {
    return make_float4(0.0f, 0.0f, 0.0f, 0.0f);
}
__device__ __forceinline__ float4 f4Add(float4 a, float4 b) {
    return make_float4(a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w);
}
__device__ __forceinline__ float4 f4Scale(float4 a, float s) {
    return make_float4(a.x * s, a.y * s, a.z * s, a.w * s);
}
// a += w * b
__device__ __forceinline__ void f4Accumulate(float4& a, float4 b, float w) {
    a.x += w * b.x;
    a.y += w * b.y;
    a.z += w * b.z;
    a.w += w * b.w;
}

__device__ __forceinline__ float clampf(float value, float low, float high) {
    return fminf(fmaxf(value, low), high);
}

// Non-finite parameter values read as the fallback; NaN would otherwise poison every radius.
__device__ __forceinline__ float finiteOr(float value, float fallback) {
    return (value == value && value <= 3.0e38f && value >= -3.0e38f) ? value : fallback;
}

// Whether a colour is finite: x - x is 0 for every finite x and NaN for NaN and the infinities.
__device__ __forceinline__ bool finiteColour(float r, float g, float b) {
    return (r - r) + (g - g) + (b - b) == 0.0f;
}

// The fill mixed over the plate by mask weight M. A zero weight keeps the plate and a full
// weight the fill exactly, so a non-finite value on the hidden side cannot leak through 0 * inf.
__device__ __forceinline__ float mixByMask(float plate, float fill, float M) {
    if (M == 0.0f) return plate;
    if (M == 1.0f) return fill;
    return plate * (1.0f - M) + fill * M;
}

// Tap radius from a float amount, bounded so that the loop count stays an int.
__device__ __forceinline__ int tapRadius(float amount) {
    float r = ceilf(finiteOr(amount, 0.0f));
    if (r > (float)VELMORA_MAX_TAP_RADIUS) return VELMORA_MAX_TAP_RADIUS;
    if (r < 0.0f) return 0;
    return (int)r;
}

// One pixel's place in the image: integer position, texel-centre coordinates and steps.
struct PixelSite {
    int x, y;
    float u, v;    // own sample
    float du, dv;  // one pixel in normalized coordinates
};

// The site of pixel (x, y); false outside the image.
__device__ __forceinline__ bool siteAt(const SystemParameters& sys, int x, int y, PixelSite& site) {
    site.x = x;
    site.y = y;
    if (site.x >= sys.width || site.y >= sys.height) return false;
    site.du = 1.0f / (float)sys.width;
    site.dv = 1.0f / (float)sys.height;
    site.u = ((float)site.x + 0.5f) / (float)sys.width;
    site.v = ((float)site.y + 0.5f) / (float)sys.height;
    return true;
}

__device__ __forceinline__ bool pixelSite(const SystemParameters& sys, PixelSite& site) {
    return siteAt(sys, (int)(blockIdx.x * blockDim.x + threadIdx.x),
                  (int)(blockIdx.y * blockDim.y + threadIdx.y), site);
}

// The pixel of this thread in a launch over a list of tiles: block b covers the 16 x 16 tile
// tiles[b] (packed as (row << 16) | column).
__device__ __forceinline__ bool tileSite(const SystemParameters& sys, const unsigned* tiles, int tileCount,
                                         PixelSite& site) {
    if ((int)blockIdx.x >= tileCount) return false;
    const unsigned tile = tiles[blockIdx.x];
    return siteAt(sys, (int)((tile & 0xffffu) * 16u + threadIdx.x), (int)((tile >> 16) * 16u + threadIdx.y),
                  site);
}

// A missing texture (0) samples as transparent black rather than faulting.
__device__ __forceinline__ float4 readTexture(unsigned long long texture, float u, float v) {
    if (texture == 0) return f4Zero();
    return tex2D<float4>((cudaTextureObject_t)texture, u, v);
}

__device__ __forceinline__ unsigned long long sourceTexture(const SourceConnections& sources, int slot) {
    return slot < sources.sourceCount ? sources.sources[slot].textureObject : 0ull;
}

__device__ __forceinline__ bool sourceConnected(const SourceConnections& sources, int slot) {
    return slot < sources.sourceCount && sources.sources[slot].isConnected != 0;
}

// Edge handling on a texture coordinate: reflect about the image border, or clamp.
__device__ __forceinline__ float edgeCoord(float e, bool reflect) {
    if (reflect) {
        e = fabsf(e);
        if (e > 1.0f) e = 2.0f - e;
        return e;
    }
    return clampf(e, 0.0f, 1.0f);
}

// Weight of a tap k pixels from the centre for width s: exp(-(k/s)^2) interpolated from the table.
__device__ __forceinline__ float gaussianTap(float k, float s) {
    const float t = fabsf(k) / s;
    if (!(t < 6.0f)) return 0.0f;
    const float p = t * 42.5f;
    const int i = (int)p;
    if (i > 254) return 0.0f;
    return GAUSSIAN_LUT[i] + (p - (float)i) * (GAUSSIAN_LUT[i + 1] - GAUSSIAN_LUT[i]);
}

#define VELMORA_MIN_TAP_WEIGHT 0.0001f

// Below this blurred weight a pixel of the fill is unfilled: the blur reached too little plate.
#define VELMORA_MIN_FILL_WEIGHT 0.0001f

// The fill of one pixel from its blurred weighted colour `d` (weight in w): colour over weight,
// or, where unfilled, the plate `p` (tinted red when unfilled areas are highlighted).
__device__ __forceinline__ float4 dividedFill(float4 d, float4 p, bool highlight) {
    if (d.w < VELMORA_MIN_FILL_WEIGHT) {
        if (highlight) {
            p.x = p.x + 0.5f * (1.0f - p.x);
            p.y = 0.5f * p.y;
            p.z = 0.5f * p.z;
        }
        return f4(p.x, p.y, p.z, d.w);
    }
    return f4(d.x / d.w, d.y / d.w, d.z / d.w, d.w);
}

__device__ __forceinline__ void writePixel(unsigned long long surface, const PixelSite& site, float4 value) {
    surf2Dwrite(value, (cudaSurfaceObject_t)surface, site.x * 16, site.y);
}

}  // namespace VELMORA_KERNEL_NS
