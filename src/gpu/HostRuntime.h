#pragma once

// The host backend: the CUDA runtime's behaviour on the CPU. "Device" memory is ordinary memory
// that this backend hands out and tracks; copies run at once (a stream's work is therefore always
// finished and in order); kernels compiled through KernelCompat.h run on the CPU's threads and read
// the texture and surface objects made here.

#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "gpu/GpuRuntime.h"
#include "gpu/HostBlocks.h"
#include "gpu/HostKernelSupport.h"

class HostRuntime final : public GpuRuntime {
  public:
    static HostRuntime& instance();
    // Destroys the process's runtime when the library is unloaded; nothing may use it afterwards.
    static void destroyInstance();

    // Frees the frame-sized blocks kept for reuse (see SpareHostBlocks), e.g. once no effect
    // instance is left to reuse them.
    void releaseSpareBlocks();
    std::size_t spareBlockCount() const;

    GpuBackendKind kind() const override { return GpuBackendKind::Host; }
    const char* name() const override { return "host"; }

    GpuError malloc(void** devPtr, std::size_t bytes) override;
    GpuError free(void* devPtr) override;
    GpuError memset(void* devPtr, int value, std::size_t bytes) override;

    GpuError mallocArray(GpuArray* array, const GpuChannelDesc& desc, std::size_t width, std::size_t height,
                         unsigned flags) override;
    GpuError freeArray(GpuArray array) override;
    GpuError arrayGetInfo(GpuChannelDesc* desc, GpuExtent* extent, unsigned* flags, GpuArray array) override;

    GpuError createTextureObject(GpuTextureObject* texture, const GpuResourceDesc& resource,
                                 const GpuTextureDesc& desc) override;
    GpuError destroyTextureObject(GpuTextureObject texture) override;
    GpuError getTextureObjectResourceDesc(GpuResourceDesc* resource, GpuTextureObject texture) override;
    GpuError createSurfaceObject(GpuSurfaceObject* surface, const GpuResourceDesc& resource) override;
    GpuError destroySurfaceObject(GpuSurfaceObject surface) override;

    GpuError memcpy(void* dst, const void* src, std::size_t bytes, GpuMemcpyKind kind) override;
    GpuError memcpyAsync(void* dst, const void* src, std::size_t bytes, GpuMemcpyKind kind,
                         GpuStream stream) override;
    GpuError memcpy2D(void* dst, std::size_t dpitch, const void* src, std::size_t spitch,
                      std::size_t widthBytes, std::size_t height, GpuMemcpyKind kind) override;
    GpuError memcpy2DAsync(void* dst, std::size_t dpitch, const void* src, std::size_t spitch,
                           std::size_t widthBytes, std::size_t height, GpuMemcpyKind kind,
                           GpuStream stream) override;
    GpuError memcpy2DToArray(GpuArray dst, std::size_t wOffset, std::size_t hOffset, const void* src,
                             std::size_t spitch, std::size_t widthBytes, std::size_t height,
                             GpuMemcpyKind kind) override;
    GpuError memcpy2DToArrayAsync(GpuArray dst, std::size_t wOffset, std::size_t hOffset, const void* src,
                                  std::size_t spitch, std::size_t widthBytes, std::size_t height,
                                  GpuMemcpyKind kind, GpuStream stream) override;
    GpuError memcpy2DFromArray(void* dst, std::size_t dpitch, GpuArray src, std::size_t wOffset,
                               std::size_t hOffset, std::size_t widthBytes, std::size_t height,
                               GpuMemcpyKind kind) override;
    GpuError memcpy2DFromArrayAsync(void* dst, std::size_t dpitch, GpuArray src, std::size_t wOffset,
                                    std::size_t hOffset, std::size_t widthBytes, std::size_t height,
                                    GpuMemcpyKind kind, GpuStream stream) override;

    GpuError pointerGetAttributes(GpuPointerAttributes* attributes, const void* ptr) override;
    GpuError hostRegister(void* ptr, std::size_t bytes, unsigned flags) override;
    GpuError hostUnregister(void* ptr) override;

    GpuError eventCreate(GpuEvent* event) override;
    GpuError eventRecord(GpuEvent event, GpuStream stream) override;
    GpuError eventSynchronize(GpuEvent event) override;
    GpuError eventElapsedTime(float* milliseconds, GpuEvent start, GpuEvent end) override;
    GpuError eventDestroy(GpuEvent event) override;

    GpuError streamCreateWithFlags(GpuStream* stream, unsigned flags) override;
    GpuError streamSynchronize(GpuStream stream) override;
    GpuError streamDestroy(GpuStream stream) override;
    GpuError deviceSynchronize() override;
    GpuError texturePitchAlignment(std::size_t* bytes) override;

    GpuError getLastError() override;
    GpuError peekAtLastError() override;
    const char* getErrorString(GpuError error) const override;

    // ---- test hooks: allocation failures on demand (linear buffers and arrays alike) ----
    // The n-th allocation from now fails with out of memory (1 = the next one); 0 switches it off.
    void failAllocationAfter(std::size_t n);
    // Allocations that would raise the live allocated bytes above `bytes` fail; SIZE_MAX = no limit.
    void setAllocationBudget(std::size_t bytes);
    // Clears both hooks.
    void resetAllocationFailures();

    struct Usage {
        std::size_t buffers = 0, bufferBytes = 0;
        std::size_t arrays = 0, arrayBytes = 0;
        std::size_t textures = 0, surfaces = 0, streams = 0, events = 0, registeredRanges = 0;
    };
    // What is currently allocated or created, for leak checks.
    Usage usage() const;

    // Called by the kernel launch: validates the stream and records a fault of a finished launch.
    GpuError checkStream(GpuStream stream) const;
    void recordLaunchFault(GpuStream stream, GpuError error);

  private:
    HostRuntime();

    struct Allocation;
    struct ArrayStorage;
    struct TextureRecord;
    struct SurfaceRecord;
    struct Stream;
    struct Event;

    GpuError fail(GpuError error);
    GpuError admitAllocation(std::size_t bytes);  // under mutex_
    bool isDeviceRange(const void* ptr, std::size_t bytes) const;
    bool isDeviceOrRegistered(const void* ptr, std::size_t bytes) const;
    GpuError linearCopyCheck(void* dst, std::size_t dpitch, const void* src, std::size_t spitch,
                             std::size_t widthBytes, std::size_t height, GpuMemcpyKind kind) const;
    GpuError toArray(GpuArray dst, std::size_t wOffset, std::size_t hOffset, const void* src,
                     std::size_t spitch, std::size_t widthBytes, std::size_t height, GpuMemcpyKind kind,
                     GpuStream stream);
    GpuError fromArray(void* dst, std::size_t dpitch, GpuArray src, std::size_t wOffset, std::size_t hOffset,
                       std::size_t widthBytes, std::size_t height, GpuMemcpyKind kind, GpuStream stream);
    std::shared_ptr<ArrayStorage> findArray(GpuArray array) const;
    bool allocateSlot(std::vector<std::uint32_t>& freeSlots, std::uint32_t& nextSlot, std::uint32_t& slot);

    mutable std::mutex mutex_;
    std::map<std::uintptr_t, std::unique_ptr<Allocation>> allocations_;  // by start address
    std::map<std::uintptr_t, std::size_t> registered_;                   // page-locked host ranges
    std::map<GpuArray, std::shared_ptr<ArrayStorage>> arrays_;
    std::map<GpuTextureObject, std::unique_ptr<TextureRecord>> textures_;
    std::map<GpuSurfaceObject, std::unique_ptr<SurfaceRecord>> surfaces_;
    std::map<GpuStream, std::unique_ptr<Stream>> streams_;
    std::map<GpuEvent, std::unique_ptr<Event>> events_;
    GpuError defaultStreamFault_ = GpuErr::Success;

    std::vector<std::uint32_t> freeTextureSlots_, freeSurfaceSlots_;
    std::uint32_t nextTextureSlot_ = 0, nextSurfaceSlot_ = 0;
    std::uint32_t generation_ = 0;

    SpareHostBlocks spareBlocks_;  // freed frame-sized blocks, under mutex_
    std::size_t liveBytes_ = 0;
    std::size_t failCountdown_ = 0;
    std::size_t budget_ = static_cast<std::size_t>(-1);
};
