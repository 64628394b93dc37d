#pragma once

// Small helpers over the GPU runtime shared by the render engine's classes: the memory kind of a
// host-supplied pointer, the copy kinds that follow from it, and the texture and surface objects
// every stage makes with the standard descriptor.

#include <cstddef>

#include "gpu/GpuRuntime.h"

constexpr std::size_t kBytesPerPixel = 16;  // RGBA, four 32-bit floats

// Memory type of `pointer` (type 0 when the query fails; the pending error is then cleared).
GpuMemoryType queryMemoryType(GpuRuntime& gpu, const void* pointer, bool* queryFailed = nullptr);

// Copy kind for copying into (`toBuffer`) or out of a host-supplied buffer: device-to-device for
// device and managed memory and when the query fails, else the host direction. Logs its choice.
GpuMemcpyKind copyKindForBuffer(GpuRuntime& gpu, const void* buffer, bool toBuffer);

GpuError createArrayTexture(GpuRuntime& gpu, GpuArray array, GpuTextureObject* texture);
GpuError createPitchTexture(GpuRuntime& gpu, void* pixels, int width, int height, std::size_t pitchBytes,
                            GpuTextureObject* texture);
GpuError createArraySurface(GpuRuntime& gpu, GpuArray array, GpuSurfaceObject* surface);
GpuError mallocFloat4Array(GpuRuntime& gpu, GpuArray* array, int width, int height, unsigned flags);

// Row pitch of an engine buffer `width` pixels wide that a pitch2D texture views: the packed row
// rounded up to the device's texture pitch alignment, which the runtime is asked for.
GpuError paddedRowPitch(GpuRuntime& gpu, int width, std::size_t* pitch);

// Frame size in bytes, computed without overflow.
inline std::size_t frameBytes(int width, int height) {
    return static_cast<std::size_t>(width > 0 ? width : 0) *
           static_cast<std::size_t>(height > 0 ? height : 0) * kBytesPerPixel;
}

inline double megabytes(std::size_t bytes) {
    return static_cast<double>(bytes) / 1048576.0;
}
