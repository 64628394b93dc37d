#pragma once

// Device-side pieces shared by the trail kernels: where the definition puts its sources,
// parameters and device buffers, and the luminance the trail and the histogram compare by.

#include "kernels/KernelDevice.h"

namespace VELMORA_KERNEL_NS {
namespace trail {

// Source slots: the one input, effectOutput, the three process buffers, then the two
// accumulation buffers in declaration order.
constexpr int kSourceSlot = 0;
constexpr int kTrailSlot = 5;
constexpr int kEchoSlot = 6;

// Device buffers in declaration order.
constexpr int kHistogramBuffer = 0;
constexpr int kLumaBuffer = 1;

// Parameter slots.
constexpr int kDecay = 0;          // floats
constexpr int kEchoAmount = 1;     // floats
constexpr int kShowHistogram = 0;  // bools

// A device buffer's elements, or null when the render has no such buffer; `count` gets its length.
template <typename T>
__device__ __forceinline__ T* deviceBuffer(const DeviceBuffers& buffers, int slot, int* count) {
    *count = 0;
    if (slot >= buffers.bufferCount || slot >= MAX_DEVICE_BUFFERS) return nullptr;
    const DeviceBufferSlot& s = buffers.buffers[slot];
    if (s.devicePointer == 0 || s.elementCount <= 0 || s.elementSize != (int)sizeof(T)) return nullptr;
    *count = s.elementCount;
    return (T*)s.devicePointer;
}

// Rec. 709 luminance, clamped to 0..1 (NaN reads as 0).
__device__ __forceinline__ float luminance(float4 c) {
    return clampf(0.2126f * c.x + 0.7152f * c.y + 0.0722f * c.z, 0.0f, 1.0f);
}

// The histogram bin of a luminance.
__device__ __forceinline__ int binOf(float luma, int bins) {
    const int b = (int)(luma * (float)bins);
    return b < bins ? b : bins - 1;
}

// The colour of the brighter of two pixels by luminance (`a` when they tie), with the larger alpha.
__device__ __forceinline__ float4 brighter(float4 a, float lumaA, float4 b) {
    const float alpha = fmaxf(a.w, b.w);
    return lumaA >= luminance(b) ? f4(a.x, a.y, a.z, alpha) : f4(b.x, b.y, b.z, alpha);
}

}  // namespace trail
}  // namespace VELMORA_KERNEL_NS
