#pragma once

// The GPU runtime as the render engine sees it: the CUDA runtime operations it calls, behind one
// interface with two backends (NVIDIA's runtime, or a CPU implementation of the same behaviour).
// Operations mirror their CUDA namesakes: same arguments, same error codes, same rules on what
// becomes the pending error (a failed call records its code; getLastError returns and clears it).

#include <string>

#include "gpu/GpuTypes.h"

class GpuRuntime {
  public:
    virtual ~GpuRuntime() = default;

    virtual GpuBackendKind kind() const = 0;
    virtual const char* name() const = 0;  // "cuda" or "host"

    // Linear device memory.
    virtual GpuError malloc(void** devPtr, std::size_t bytes) = 0;
    virtual GpuError free(void* devPtr) = 0;  // null is allowed
    virtual GpuError memset(void* devPtr, int value, std::size_t bytes) = 0;

    // 2-D arrays (height 0 makes a one-row array, as in CUDA).
    virtual GpuError mallocArray(GpuArray* array, const GpuChannelDesc& desc, std::size_t width,
                                 std::size_t height, unsigned flags) = 0;
    virtual GpuError freeArray(GpuArray array) = 0;
    virtual GpuError arrayGetInfo(GpuChannelDesc* desc, GpuExtent* extent, unsigned* flags,
                                  GpuArray array) = 0;

    // Texture and surface objects.
    virtual GpuError createTextureObject(GpuTextureObject* texture, const GpuResourceDesc& resource,
                                         const GpuTextureDesc& desc) = 0;
    virtual GpuError destroyTextureObject(GpuTextureObject texture) = 0;
    virtual GpuError getTextureObjectResourceDesc(GpuResourceDesc* resource, GpuTextureObject texture) = 0;
    virtual GpuError createSurfaceObject(GpuSurfaceObject* surface, const GpuResourceDesc& resource) = 0;
    virtual GpuError destroySurfaceObject(GpuSurfaceObject surface) = 0;

    // Copies. Widths are in bytes, offsets into arrays in bytes (x) and rows (y).
    virtual GpuError memcpy(void* dst, const void* src, std::size_t bytes, GpuMemcpyKind kind) = 0;
    virtual GpuError memcpyAsync(void* dst, const void* src, std::size_t bytes, GpuMemcpyKind kind,
                                 GpuStream stream) = 0;
    virtual GpuError memcpy2D(void* dst, std::size_t dpitch, const void* src, std::size_t spitch,
                              std::size_t widthBytes, std::size_t height, GpuMemcpyKind kind) = 0;
    virtual GpuError memcpy2DAsync(void* dst, std::size_t dpitch, const void* src, std::size_t spitch,
                                   std::size_t widthBytes, std::size_t height, GpuMemcpyKind kind,
                                   GpuStream stream) = 0;
    virtual GpuError memcpy2DToArray(GpuArray dst, std::size_t wOffset, std::size_t hOffset, const void* src,
                                     std::size_t spitch, std::size_t widthBytes, std::size_t height,
                                     GpuMemcpyKind kind) = 0;
    virtual GpuError memcpy2DToArrayAsync(GpuArray dst, std::size_t wOffset, std::size_t hOffset,
                                          const void* src, std::size_t spitch, std::size_t widthBytes,
                                          std::size_t height, GpuMemcpyKind kind, GpuStream stream) = 0;
    virtual GpuError memcpy2DFromArray(void* dst, std::size_t dpitch, GpuArray src, std::size_t wOffset,
                                       std::size_t hOffset, std::size_t widthBytes, std::size_t height,
                                       GpuMemcpyKind kind) = 0;
    virtual GpuError memcpy2DFromArrayAsync(void* dst, std::size_t dpitch, GpuArray src, std::size_t wOffset,
                                            std::size_t hOffset, std::size_t widthBytes, std::size_t height,
                                            GpuMemcpyKind kind, GpuStream stream) = 0;

    // Memory queries and page-locking.
    virtual GpuError pointerGetAttributes(GpuPointerAttributes* attributes, const void* ptr) = 0;
    virtual GpuError hostRegister(void* ptr, std::size_t bytes, unsigned flags) = 0;
    virtual GpuError hostUnregister(void* ptr) = 0;

    // Events for timing.
    virtual GpuError eventCreate(GpuEvent* event) = 0;
    virtual GpuError eventRecord(GpuEvent event, GpuStream stream) = 0;
    virtual GpuError eventSynchronize(GpuEvent event) = 0;
    virtual GpuError eventElapsedTime(float* milliseconds, GpuEvent start, GpuEvent end) = 0;
    virtual GpuError eventDestroy(GpuEvent event) = 0;

    // Streams and synchronisation.
    virtual GpuError streamCreateWithFlags(GpuStream* stream, unsigned flags) = 0;
    virtual GpuError streamSynchronize(GpuStream stream) = 0;
    virtual GpuError streamDestroy(GpuStream stream) = 0;
    virtual GpuError deviceSynchronize() = 0;

    // The alignment in bytes that the row pitch (and base address) of a pitch2D texture must have
    // on the current device (CUDA's texturePitchAlignment attribute).
    virtual GpuError texturePitchAlignment(std::size_t* bytes) = 0;

    // The calling thread's pending error: getLastError returns and clears it, peek only returns it.
    virtual GpuError getLastError() = 0;
    virtual GpuError peekAtLastError() = 0;
    virtual const char* getErrorString(GpuError error) const = 0;
};

// The process-wide backend, chosen on first use: cuda when a CUDA device is usable, else host.
// VELMORA_BACKEND=cpu|cuda forces one. The choice and its reason go to the plug-in log.
GpuRuntime& gpuRuntime();

// The CPU backend. Always available; kernels compiled for the CPU read its textures and surfaces.
GpuRuntime& hostGpuRuntime();

#if VELMORA_HAVE_CUDA
// The cuda backend itself, for code outside the plug-in (our host's device images) that must not
// go through the plug-in's once-per-process choice and its log line.
GpuRuntime& cudaGpuRuntime();
#endif

// Whether NVIDIA's runtime finds a usable device; `status` says which one, or why not.
// Always false (with a reason) in a build without the cuda backend.
bool cudaDeviceUsable(std::string* status);

// The backend choice as a pure decision, for gpuRuntime() and its tests.
struct GpuBackendChoice {
    GpuBackendKind kind = GpuBackendKind::Host;
    std::string reason;     // why this backend, for the INFO line
    std::string complaint;  // non-empty when a forced choice could not be honoured (an ERROR line)
};
GpuBackendChoice chooseGpuBackend(const char* forcedValue, bool cudaUsable, const std::string& cudaStatus);

const char* gpuBackendName(GpuBackendKind kind);
