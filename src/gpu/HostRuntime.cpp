#include "gpu/HostRuntime.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>

#include "gpu/ThreadPool.h"

namespace {

// The pending error of each host thread, as CUDA keeps it per thread.
thread_local GpuError pendingError = GpuErr::Success;

constexpr std::size_t kPitchAlignment = 32;  // texture pitch and base alignment of pitch2D views
constexpr std::size_t kSizeMax = std::numeric_limits<std::size_t>::max();

// Bytes spanned by `height` rows of `widthBytes` at `pitch`, or kSizeMax on overflow.
std::size_t spanBytes(std::size_t pitch, std::size_t widthBytes, std::size_t height) {
    if (height == 0 || widthBytes == 0) return 0;
    if (pitch != 0 && height - 1 > (kSizeMax - widthBytes) / pitch) return kSizeMax;
    return (height - 1) * pitch + widthBytes;
}

bool validCopyKind(GpuMemcpyKind kind) {
    return kind >= GpuMemcpyHostToHost && kind <= GpuMemcpyDefault;
}

void copyRows(unsigned char* dst, std::size_t dpitch, const unsigned char* src, std::size_t spitch,
              std::size_t widthBytes, std::size_t height) {
    if (dpitch == widthBytes && spitch == widthBytes) {
        std::memmove(dst, src, widthBytes * height);
        return;
    }
    for (std::size_t row = 0; row < height; ++row)
        std::memmove(dst + row * dpitch, src + row * spitch, widthBytes);
}

// Components of a float format the sampler reads: 1, 2 or 4 components of 32 bits; 0 otherwise.
int floatComponents(const GpuChannelDesc& d) {
    if (d.f != GpuChannelFormatKindFloat) return 0;
    if (d.x == 32 && d.y == 0 && d.z == 0 && d.w == 0) return 1;
    if (d.x == 32 && d.y == 32 && d.z == 0 && d.w == 0) return 2;
    if (d.x == 32 && d.y == 32 && d.z == 32 && d.w == 32) return 4;
    return 0;
}

// Bytes per element of a channel format, 0 when the format is not one CUDA accepts.
std::size_t elementBytes(const GpuChannelDesc& d) {
    if (d.f < GpuChannelFormatKindSigned || d.f > GpuChannelFormatKindFloat) return 0;
    const int bits[4] = {d.x, d.y, d.z, d.w};
    int total = 0;
    bool ended = false;
    for (int b : bits) {
        if (b == 0) {
            ended = true;
            continue;
        }
        if (ended || (b != 8 && b != 16 && b != 32)) return 0;
        if (d.f == GpuChannelFormatKindFloat && b == 8) return 0;
        total += b;
    }
    return total == 0 ? 0 : static_cast<std::size_t>(total / 8);
}

}  // namespace

struct HostRuntime::Allocation {
    HostBlock bytes;
    std::size_t size = 0;
};

struct HostRuntime::ArrayStorage {
    GpuChannelDesc desc;
    std::size_t width = 0, height = 0;  // as requested; height 0 is one row
    std::size_t rows = 0, elementSize = 0, pitch = 0;
    unsigned flags = 0;
    HostBlock bytes;
};

struct HostRuntime::TextureRecord {
    velmora_emu::TextureView view;
    GpuResourceDesc resource;
    std::shared_ptr<ArrayStorage> keepAlive;  // an array outlives its textures, as in CUDA
    std::uint32_t slot = 0;
};

struct HostRuntime::SurfaceRecord {
    velmora_emu::SurfaceView view;
    std::shared_ptr<ArrayStorage> keepAlive;
    std::uint32_t slot = 0;
};

struct HostRuntime::Stream {
    unsigned flags = 0;
    GpuError fault = GpuErr::Success;
};

struct HostRuntime::Event {
    bool recorded = false;
    std::chrono::steady_clock::time_point when;
};

namespace velmora_emu {
std::atomic<const TextureView*> textureSlots[kObjectSlots];
std::atomic<const SurfaceView*> surfaceSlots[kObjectSlots];
}  // namespace velmora_emu

namespace {
// Created on first use and kept until the library is unloaded (not torn down by an ordinary static
// destructor, which would run in no particular order with other statics that still use it).
std::atomic<HostRuntime*> processRuntime{nullptr};
std::once_flag processRuntimeOnce;
}  // namespace

HostRuntime& HostRuntime::instance() {
    std::call_once(processRuntimeOnce, [] { processRuntime.store(new HostRuntime()); });
    return *processRuntime.load();
}

void HostRuntime::destroyInstance() {
    delete processRuntime.exchange(nullptr);
}

void HostRuntime::releaseSpareBlocks() {
    std::lock_guard<std::mutex> lock(mutex_);
    spareBlocks_.releaseAll();
}

std::size_t HostRuntime::spareBlockCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return spareBlocks_.keptCount();
}

HostRuntime::HostRuntime() = default;

GpuError HostRuntime::fail(GpuError error) {
    if (error != GpuErr::Success) pendingError = error;
    return error;
}

// ---------------------------------------------------------------- allocation hooks and usage

void HostRuntime::failAllocationAfter(std::size_t n) {
    std::lock_guard<std::mutex> lock(mutex_);
    failCountdown_ = n;
}

void HostRuntime::setAllocationBudget(std::size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    budget_ = bytes;
}

void HostRuntime::resetAllocationFailures() {
    std::lock_guard<std::mutex> lock(mutex_);
    failCountdown_ = 0;
    budget_ = kSizeMax;
}

GpuError HostRuntime::admitAllocation(std::size_t bytes) {
    if (failCountdown_ > 0 && --failCountdown_ == 0) return GpuErr::MemoryAllocation;
    if (bytes > budget_ || liveBytes_ > budget_ - bytes) return GpuErr::MemoryAllocation;
    return GpuErr::Success;
}

HostRuntime::Usage HostRuntime::usage() const {
    std::lock_guard<std::mutex> lock(mutex_);
    Usage u;
    u.buffers = allocations_.size();
    for (const auto& a : allocations_) u.bufferBytes += a.second->size;
    u.arrays = arrays_.size();
    for (const auto& a : arrays_) u.arrayBytes += a.second->pitch * a.second->rows;
    u.textures = textures_.size();
    u.surfaces = surfaces_.size();
    u.streams = streams_.size();
    u.events = events_.size();
    u.registeredRanges = registered_.size();
    return u;
}

// ---------------------------------------------------------------- linear memory

GpuError HostRuntime::malloc(void** devPtr, std::size_t bytes) {
    if (!devPtr) return fail(GpuErr::InvalidValue);
    *devPtr = nullptr;
    if (bytes == 0) return GpuErr::Success;
    std::lock_guard<std::mutex> lock(mutex_);
    if (GpuError e = admitAllocation(bytes)) return fail(e);
    auto a = std::make_unique<Allocation>();
    a->bytes = spareBlocks_.take(bytes);
    if (!a->bytes) return fail(GpuErr::MemoryAllocation);
    a->size = bytes;
    *devPtr = a->bytes.get();
    liveBytes_ += bytes;
    allocations_[reinterpret_cast<std::uintptr_t>(*devPtr)] = std::move(a);
    return GpuErr::Success;
}

GpuError HostRuntime::free(void* devPtr) {
    if (!devPtr) return GpuErr::Success;
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = allocations_.find(reinterpret_cast<std::uintptr_t>(devPtr));
    if (it == allocations_.end()) return fail(GpuErr::InvalidValue);
    liveBytes_ -= it->second->size;
    spareBlocks_.give(std::move(it->second->bytes), it->second->size);
    allocations_.erase(it);
    return GpuErr::Success;
}

bool HostRuntime::isDeviceRange(const void* ptr, std::size_t bytes) const {
    const std::uintptr_t p = reinterpret_cast<std::uintptr_t>(ptr);
    auto it = allocations_.upper_bound(p);
    if (it == allocations_.begin()) return false;
    --it;
    const std::size_t offset = p - it->first;
    return offset < it->second->size && bytes <= it->second->size - offset;
}

bool HostRuntime::isDeviceOrRegistered(const void* ptr, std::size_t bytes) const {
    if (isDeviceRange(ptr, bytes)) return true;
    const std::uintptr_t p = reinterpret_cast<std::uintptr_t>(ptr);
    auto it = registered_.upper_bound(p);
    if (it == registered_.begin()) return false;
    --it;
    const std::size_t offset = p - it->first;
    return offset < it->second && bytes <= it->second - offset;
}

GpuError HostRuntime::memset(void* devPtr, int value, std::size_t bytes) {
    if (bytes == 0) return GpuErr::Success;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!devPtr || !isDeviceRange(devPtr, bytes)) return fail(GpuErr::InvalidValue);
    }
    std::memset(devPtr, value, bytes);
    return GpuErr::Success;
}

// ---------------------------------------------------------------- arrays

GpuError HostRuntime::mallocArray(GpuArray* array, const GpuChannelDesc& desc, std::size_t width,
                                  std::size_t height, unsigned flags) {
    if (!array) return fail(GpuErr::InvalidValue);
    *array = nullptr;
    const std::size_t element = elementBytes(desc);
    if (element == 0) return fail(GpuErr::InvalidChannelDescriptor);
    const unsigned knownFlags = GpuArraySurfaceLoadStore | 0x01 | 0x04 | 0x08 | 0x10 | 0x20;
    if (width == 0 || (flags & ~knownFlags) != 0) return fail(GpuErr::InvalidValue);
    const std::size_t limit = 1u << 17;  // beyond any 2-D texture size a GPU accepts
    if (width > limit || height > limit) return fail(GpuErr::InvalidValue);
    auto storage = std::make_shared<ArrayStorage>();
    storage->desc = desc;
    storage->width = width;
    storage->height = height;
    storage->rows = height == 0 ? 1 : height;
    storage->elementSize = element;
    storage->pitch = width * element;
    storage->flags = flags;
    const std::size_t bytes = storage->pitch * storage->rows;
    std::lock_guard<std::mutex> lock(mutex_);
    if (GpuError e = admitAllocation(bytes)) return fail(e);
    storage->bytes = spareBlocks_.take(bytes);
    if (!storage->bytes) return fail(GpuErr::MemoryAllocation);
    liveBytes_ += bytes;
    GpuArray handle = reinterpret_cast<GpuArray>(storage.get());
    arrays_[handle] = std::move(storage);
    *array = handle;
    return GpuErr::Success;
}

GpuError HostRuntime::freeArray(GpuArray array) {
    if (!array) return GpuErr::Success;
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = arrays_.find(array);
    if (it == arrays_.end()) return fail(GpuErr::InvalidValue);
    liveBytes_ -= it->second->pitch * it->second->rows;
    // A texture still bound to the array keeps reading its storage; only an unshared one is reused.
    if (it->second.use_count() == 1)
        spareBlocks_.give(std::move(it->second->bytes), it->second->pitch * it->second->rows);
    arrays_.erase(it);
    return GpuErr::Success;
}

std::shared_ptr<HostRuntime::ArrayStorage> HostRuntime::findArray(GpuArray array) const {
    auto it = arrays_.find(array);
    return it == arrays_.end() ? nullptr : it->second;
}

GpuError HostRuntime::arrayGetInfo(GpuChannelDesc* desc, GpuExtent* extent, unsigned* flags, GpuArray array) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto storage = findArray(array);
    if (!storage) return fail(GpuErr::InvalidResourceHandle);
    if (desc) *desc = storage->desc;
    if (extent) {
        extent->width = storage->width;
        extent->height = storage->height;
        extent->depth = 0;
    }
    if (flags) *flags = storage->flags;
    return GpuErr::Success;
}

// ---------------------------------------------------------------- texture and surface objects

bool HostRuntime::allocateSlot(std::vector<std::uint32_t>& freeSlots, std::uint32_t& nextSlot,
                               std::uint32_t& slot) {
    if (!freeSlots.empty()) {
        slot = freeSlots.back();
        freeSlots.pop_back();
        return true;
    }
    if (nextSlot >= velmora_emu::kObjectSlots) return false;
    slot = nextSlot++;
    return true;
}

GpuError HostRuntime::createTextureObject(GpuTextureObject* texture, const GpuResourceDesc& resource,
                                          const GpuTextureDesc& desc) {
    if (!texture) return fail(GpuErr::InvalidValue);
    *texture = 0;
    for (int axis = 0; axis < 3; ++axis) {
        if (desc.addressMode[axis] < GpuAddressModeWrap || desc.addressMode[axis] > GpuAddressModeBorder)
            return fail(GpuErr::InvalidValue);
    }
    if ((desc.filterMode != GpuFilterModePoint && desc.filterMode != GpuFilterModeLinear) ||
        (desc.readMode != GpuReadModeElementType && desc.readMode != GpuReadModeNormalizedFloat))
        return fail(GpuErr::InvalidValue);

    auto record = std::make_unique<TextureRecord>();
    velmora_emu::TextureView& view = record->view;
    std::lock_guard<std::mutex> lock(mutex_);
    if (resource.type == GpuResourceTypeArray) {
        auto storage = findArray(resource.array);
        if (!storage) return fail(GpuErr::InvalidResourceHandle);
        view.components = floatComponents(storage->desc);
        view.base = storage->bytes.get();
        view.pitch = storage->pitch;
        view.width = static_cast<int>(storage->width);
        view.height = static_cast<int>(storage->rows);
        record->keepAlive = std::move(storage);
    } else if (resource.type == GpuResourceTypePitch2D) {
        const auto& p = resource.pitch2D;
        const std::size_t element = elementBytes(p.desc);
        if (element == 0) return fail(GpuErr::InvalidChannelDescriptor);
        if (!p.devPtr || p.width == 0 || p.height == 0 || p.width > (1u << 17) || p.height > (1u << 17))
            return fail(GpuErr::InvalidValue);
        if (p.pitchInBytes < p.width * element || p.pitchInBytes % kPitchAlignment != 0 ||
            reinterpret_cast<std::uintptr_t>(p.devPtr) % kPitchAlignment != 0)
            return fail(GpuErr::InvalidValue);
        if (!isDeviceOrRegistered(p.devPtr, spanBytes(p.pitchInBytes, p.width * element, p.height)))
            return fail(GpuErr::InvalidValue);
        view.components = floatComponents(p.desc);
        view.base = static_cast<const unsigned char*>(p.devPtr);
        view.pitch = p.pitchInBytes;
        view.width = static_cast<int>(p.width);
        view.height = static_cast<int>(p.height);
    } else {
        // Linear and mipmapped textures have no fetch in the emulation.
        return fail(GpuErr::NotSupported);
    }
    if (view.components == 0) return fail(GpuErr::NotSupported);  // only float texels are sampled

    view.address[0] = desc.addressMode[0];
    view.address[1] = desc.addressMode[1];
    view.filter = desc.filterMode;
    view.normalized = desc.normalizedCoords != 0;
    for (int c = 0; c < 4; ++c) view.border[c] = desc.borderColor[c];
    record->resource = resource;

    std::uint32_t slot = 0;
    if (!allocateSlot(freeTextureSlots_, nextTextureSlot_, slot)) return fail(GpuErr::MemoryAllocation);
    const std::uint64_t handle = (static_cast<std::uint64_t>(++generation_) << 32) | (slot + 1u);
    view.handle = handle;
    record->slot = slot;
    velmora_emu::textureSlots[slot].store(&record->view, std::memory_order_release);
    textures_[handle] = std::move(record);
    *texture = handle;
    return GpuErr::Success;
}

GpuError HostRuntime::destroyTextureObject(GpuTextureObject texture) {
    if (texture == 0) return GpuErr::Success;
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = textures_.find(texture);
    if (it == textures_.end()) return fail(GpuErr::InvalidValue);
    velmora_emu::textureSlots[it->second->slot].store(nullptr, std::memory_order_release);
    freeTextureSlots_.push_back(it->second->slot);
    textures_.erase(it);
    return GpuErr::Success;
}

GpuError HostRuntime::getTextureObjectResourceDesc(GpuResourceDesc* resource, GpuTextureObject texture) {
    if (!resource) return fail(GpuErr::InvalidValue);
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = textures_.find(texture);
    if (it == textures_.end()) return fail(GpuErr::InvalidValue);
    *resource = it->second->resource;
    return GpuErr::Success;
}

GpuError HostRuntime::createSurfaceObject(GpuSurfaceObject* surface, const GpuResourceDesc& resource) {
    if (!surface) return fail(GpuErr::InvalidValue);
    *surface = 0;
    if (resource.type != GpuResourceTypeArray) return fail(GpuErr::InvalidValue);
    std::lock_guard<std::mutex> lock(mutex_);
    auto storage = findArray(resource.array);
    if (!storage) return fail(GpuErr::InvalidResourceHandle);
    if ((storage->flags & GpuArraySurfaceLoadStore) == 0) return fail(GpuErr::InvalidValue);
    auto record = std::make_unique<SurfaceRecord>();
    record->view.base = storage->bytes.get();
    record->view.pitch = storage->pitch;
    record->view.widthBytes = storage->pitch;
    record->view.height = static_cast<int>(storage->rows);
    record->keepAlive = std::move(storage);
    std::uint32_t slot = 0;
    if (!allocateSlot(freeSurfaceSlots_, nextSurfaceSlot_, slot)) return fail(GpuErr::MemoryAllocation);
    const std::uint64_t handle = (static_cast<std::uint64_t>(++generation_) << 32) | (slot + 1u);
    record->view.handle = handle;
    record->slot = slot;
    velmora_emu::surfaceSlots[slot].store(&record->view, std::memory_order_release);
    surfaces_[handle] = std::move(record);
    *surface = handle;
    return GpuErr::Success;
}

GpuError HostRuntime::destroySurfaceObject(GpuSurfaceObject surface) {
    if (surface == 0) return GpuErr::Success;
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = surfaces_.find(surface);
    if (it == surfaces_.end()) return fail(GpuErr::InvalidValue);
    velmora_emu::surfaceSlots[it->second->slot].store(nullptr, std::memory_order_release);
    freeSurfaceSlots_.push_back(it->second->slot);
    surfaces_.erase(it);
    return GpuErr::Success;
}

// ---------------------------------------------------------------- copies

GpuError HostRuntime::checkStream(GpuStream stream) const {
    if (!stream) return GpuErr::Success;
    std::lock_guard<std::mutex> lock(mutex_);
    return streams_.count(stream) ? GpuErr::Success : GpuErr::InvalidResourceHandle;
}

// Device-side ranges must lie in memory this backend handed out (or page-locked host memory);
// host-side ranges are the caller's.
GpuError HostRuntime::linearCopyCheck(void* dst, std::size_t dpitch, const void* src, std::size_t spitch,
                                      std::size_t widthBytes, std::size_t height, GpuMemcpyKind kind) const {
    if (!validCopyKind(kind)) return GpuErr::InvalidMemcpyDirection;
    if (!dst || !src) return GpuErr::InvalidValue;
    const std::size_t dstSpan = spanBytes(dpitch, widthBytes, height);
    const std::size_t srcSpan = spanBytes(spitch, widthBytes, height);
    if (dstSpan == kSizeMax || srcSpan == kSizeMax) return GpuErr::InvalidValue;
    std::lock_guard<std::mutex> lock(mutex_);
    const bool dstDevice = kind == GpuMemcpyHostToDevice || kind == GpuMemcpyDeviceToDevice;
    const bool srcDevice = kind == GpuMemcpyDeviceToHost || kind == GpuMemcpyDeviceToDevice;
    if (dstDevice && !isDeviceOrRegistered(dst, dstSpan)) return GpuErr::InvalidValue;
    if (srcDevice && !isDeviceOrRegistered(src, srcSpan)) return GpuErr::InvalidValue;
    return GpuErr::Success;
}

GpuError HostRuntime::memcpy(void* dst, const void* src, std::size_t bytes, GpuMemcpyKind kind) {
    return memcpy2D(dst, bytes, src, bytes, bytes, 1, kind);
}

GpuError HostRuntime::memcpyAsync(void* dst, const void* src, std::size_t bytes, GpuMemcpyKind kind,
                                  GpuStream stream) {
    return memcpy2DAsync(dst, bytes, src, bytes, bytes, 1, kind, stream);
}

GpuError HostRuntime::memcpy2D(void* dst, std::size_t dpitch, const void* src, std::size_t spitch,
                               std::size_t widthBytes, std::size_t height, GpuMemcpyKind kind) {
    return memcpy2DAsync(dst, dpitch, src, spitch, widthBytes, height, kind, nullptr);
}

GpuError HostRuntime::memcpy2DAsync(void* dst, std::size_t dpitch, const void* src, std::size_t spitch,
                                    std::size_t widthBytes, std::size_t height, GpuMemcpyKind kind,
                                    GpuStream stream) {
    if (GpuError e = checkStream(stream)) return fail(e);
    if (widthBytes == 0 || height == 0)
        return validCopyKind(kind) ? GpuErr::Success : fail(GpuErr::InvalidMemcpyDirection);
    if (dpitch < widthBytes || spitch < widthBytes) return fail(GpuErr::InvalidPitchValue);
    if (GpuError e = linearCopyCheck(dst, dpitch, src, spitch, widthBytes, height, kind)) return fail(e);
    copyRows(static_cast<unsigned char*>(dst), dpitch, static_cast<const unsigned char*>(src), spitch,
             widthBytes, height);
    return GpuErr::Success;
}

GpuError HostRuntime::toArray(GpuArray dst, std::size_t wOffset, std::size_t hOffset, const void* src,
                              std::size_t spitch, std::size_t widthBytes, std::size_t height,
                              GpuMemcpyKind kind, GpuStream stream) {
    if (GpuError e = checkStream(stream)) return fail(e);
    if (kind != GpuMemcpyHostToDevice && kind != GpuMemcpyDeviceToDevice && kind != GpuMemcpyDefault)
        return fail(GpuErr::InvalidMemcpyDirection);
    std::shared_ptr<ArrayStorage> storage;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        storage = findArray(dst);
        if (!storage) return fail(GpuErr::InvalidResourceHandle);
        if (widthBytes == 0 || height == 0) return GpuErr::Success;
        if (!src) return fail(GpuErr::InvalidValue);
        if (spitch < widthBytes) return fail(GpuErr::InvalidPitchValue);
        if (wOffset > storage->pitch || widthBytes > storage->pitch - wOffset || hOffset > storage->rows ||
            height > storage->rows - hOffset)
            return fail(GpuErr::InvalidValue);
        const std::size_t span = spanBytes(spitch, widthBytes, height);
        if (span == kSizeMax) return fail(GpuErr::InvalidValue);
        if (kind == GpuMemcpyDeviceToDevice && !isDeviceOrRegistered(src, span))
            return fail(GpuErr::InvalidValue);
    }
    copyRows(storage->bytes.get() + hOffset * storage->pitch + wOffset, storage->pitch,
             static_cast<const unsigned char*>(src), spitch, widthBytes, height);
    return GpuErr::Success;
}

GpuError HostRuntime::fromArray(void* dst, std::size_t dpitch, GpuArray src, std::size_t wOffset,
                                std::size_t hOffset, std::size_t widthBytes, std::size_t height,
                                GpuMemcpyKind kind, GpuStream stream) {
    if (GpuError e = checkStream(stream)) return fail(e);
    if (kind != GpuMemcpyDeviceToHost && kind != GpuMemcpyDeviceToDevice && kind != GpuMemcpyDefault)
        return fail(GpuErr::InvalidMemcpyDirection);
    std::shared_ptr<ArrayStorage> storage;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        storage = findArray(src);
        if (!storage) return fail(GpuErr::InvalidResourceHandle);
        if (widthBytes == 0 || height == 0) return GpuErr::Success;
        if (!dst) return fail(GpuErr::InvalidValue);
        if (dpitch < widthBytes) return fail(GpuErr::InvalidPitchValue);
        if (wOffset > storage->pitch || widthBytes > storage->pitch - wOffset || hOffset > storage->rows ||
            height > storage->rows - hOffset)
            return fail(GpuErr::InvalidValue);
        const std::size_t span = spanBytes(dpitch, widthBytes, height);
        if (span == kSizeMax) return fail(GpuErr::InvalidValue);
        if (kind == GpuMemcpyDeviceToDevice && !isDeviceOrRegistered(dst, span))
            return fail(GpuErr::InvalidValue);
    }
    copyRows(static_cast<unsigned char*>(dst), dpitch,
             storage->bytes.get() + hOffset * storage->pitch + wOffset, storage->pitch, widthBytes, height);
    return GpuErr::Success;
}

GpuError HostRuntime::memcpy2DToArray(GpuArray dst, std::size_t wOffset, std::size_t hOffset, const void* src,
                                      std::size_t spitch, std::size_t widthBytes, std::size_t height,
                                      GpuMemcpyKind kind) {
    return toArray(dst, wOffset, hOffset, src, spitch, widthBytes, height, kind, nullptr);
}

GpuError HostRuntime::memcpy2DToArrayAsync(GpuArray dst, std::size_t wOffset, std::size_t hOffset,
                                           const void* src, std::size_t spitch, std::size_t widthBytes,
                                           std::size_t height, GpuMemcpyKind kind, GpuStream stream) {
    return toArray(dst, wOffset, hOffset, src, spitch, widthBytes, height, kind, stream);
}

GpuError HostRuntime::memcpy2DFromArray(void* dst, std::size_t dpitch, GpuArray src, std::size_t wOffset,
                                        std::size_t hOffset, std::size_t widthBytes, std::size_t height,
                                        GpuMemcpyKind kind) {
    return fromArray(dst, dpitch, src, wOffset, hOffset, widthBytes, height, kind, nullptr);
}

GpuError HostRuntime::memcpy2DFromArrayAsync(void* dst, std::size_t dpitch, GpuArray src, std::size_t wOffset,
                                             std::size_t hOffset, std::size_t widthBytes, std::size_t height,
                                             GpuMemcpyKind kind, GpuStream stream) {
    return fromArray(dst, dpitch, src, wOffset, hOffset, widthBytes, height, kind, stream);
}

// ---------------------------------------------------------------- pointer queries, page-locking

GpuError HostRuntime::pointerGetAttributes(GpuPointerAttributes* attributes, const void* ptr) {
    if (!attributes || !ptr) return fail(GpuErr::InvalidValue);
    *attributes = GpuPointerAttributes();
    std::lock_guard<std::mutex> lock(mutex_);
    void* p = const_cast<void*>(ptr);
    if (isDeviceRange(ptr, 1)) {
        attributes->type = GpuMemoryTypeDevice;
        attributes->devicePointer = p;
    } else if (isDeviceOrRegistered(ptr, 1)) {
        attributes->type = GpuMemoryTypeHost;
        attributes->devicePointer = p;
        attributes->hostPointer = p;
    }
    return GpuErr::Success;
}

GpuError HostRuntime::hostRegister(void* ptr, std::size_t bytes, unsigned flags) {
    if (!ptr || bytes == 0 || (flags & ~0x0Fu) != 0) return fail(GpuErr::InvalidValue);
    const std::uintptr_t p = reinterpret_cast<std::uintptr_t>(ptr);
    if (bytes > kSizeMax - p) return fail(GpuErr::InvalidValue);
    std::lock_guard<std::mutex> lock(mutex_);
    if (isDeviceRange(ptr, 1)) return fail(GpuErr::InvalidValue);
    auto next = registered_.lower_bound(p);
    if (next != registered_.end() && next->first < p + bytes)
        return fail(GpuErr::HostMemoryAlreadyRegistered);
    if (next != registered_.begin()) {
        auto prev = std::prev(next);
        if (prev->first + prev->second > p) return fail(GpuErr::HostMemoryAlreadyRegistered);
    }
    registered_[p] = bytes;
    return GpuErr::Success;
}

GpuError HostRuntime::hostUnregister(void* ptr) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = registered_.find(reinterpret_cast<std::uintptr_t>(ptr));
    if (it == registered_.end()) return fail(GpuErr::HostMemoryNotRegistered);
    registered_.erase(it);
    return GpuErr::Success;
}

// ---------------------------------------------------------------- events

GpuError HostRuntime::eventCreate(GpuEvent* event) {
    if (!event) return fail(GpuErr::InvalidValue);
    auto e = std::make_unique<Event>();
    GpuEvent handle = reinterpret_cast<GpuEvent>(e.get());
    std::lock_guard<std::mutex> lock(mutex_);
    events_[handle] = std::move(e);
    *event = handle;
    return GpuErr::Success;
}

GpuError HostRuntime::eventRecord(GpuEvent event, GpuStream stream) {
    if (GpuError e = checkStream(stream)) return fail(e);
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = events_.find(event);
    if (it == events_.end()) return fail(GpuErr::InvalidResourceHandle);
    // The stream's earlier work is already done, so the event completes when recorded.
    it->second->recorded = true;
    it->second->when = std::chrono::steady_clock::now();
    return GpuErr::Success;
}

GpuError HostRuntime::eventSynchronize(GpuEvent event) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!events_.count(event)) return fail(GpuErr::InvalidResourceHandle);
    return GpuErr::Success;
}

GpuError HostRuntime::eventElapsedTime(float* milliseconds, GpuEvent start, GpuEvent end) {
    if (!milliseconds) return fail(GpuErr::InvalidValue);
    std::lock_guard<std::mutex> lock(mutex_);
    auto a = events_.find(start), b = events_.find(end);
    if (a == events_.end() || b == events_.end() || !a->second->recorded || !b->second->recorded)
        return fail(GpuErr::InvalidResourceHandle);
    *milliseconds = std::chrono::duration<float, std::milli>(b->second->when - a->second->when).count();
    return GpuErr::Success;
}

GpuError HostRuntime::eventDestroy(GpuEvent event) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!events_.erase(event)) return fail(GpuErr::InvalidResourceHandle);
    return GpuErr::Success;
}

// ---------------------------------------------------------------- streams and errors

GpuError HostRuntime::streamCreateWithFlags(GpuStream* stream, unsigned flags) {
    if (!stream || (flags & ~GpuStreamNonBlocking) != 0) return fail(GpuErr::InvalidValue);
    auto s = std::make_unique<Stream>();
    s->flags = flags;
    GpuStream handle = reinterpret_cast<GpuStream>(s.get());
    std::lock_guard<std::mutex> lock(mutex_);
    streams_[handle] = std::move(s);
    *stream = handle;
    return GpuErr::Success;
}

GpuError HostRuntime::streamSynchronize(GpuStream stream) {
    GpuError fault = GpuErr::Success;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!stream) {
            fault = defaultStreamFault_;
            defaultStreamFault_ = GpuErr::Success;
        } else {
            auto it = streams_.find(stream);
            if (it == streams_.end()) return fail(GpuErr::InvalidResourceHandle);
            fault = it->second->fault;
            it->second->fault = GpuErr::Success;
        }
    }
    return fail(fault);
}

GpuError HostRuntime::streamDestroy(GpuStream stream) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stream || !streams_.erase(stream)) return fail(GpuErr::InvalidResourceHandle);
    return GpuErr::Success;
}

GpuError HostRuntime::deviceSynchronize() {
    GpuError fault = GpuErr::Success;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        fault = defaultStreamFault_;
        defaultStreamFault_ = GpuErr::Success;
        for (auto& s : streams_) {
            if (fault == GpuErr::Success) fault = s.second->fault;
            s.second->fault = GpuErr::Success;
        }
    }
    return fail(fault);
}

GpuError HostRuntime::texturePitchAlignment(std::size_t* bytes) {
    if (!bytes) return fail(GpuErr::InvalidValue);
    *bytes = kPitchAlignment;
    return GpuErr::Success;
}

void HostRuntime::recordLaunchFault(GpuStream stream, GpuError error) {
    if (error == GpuErr::Success) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = stream ? streams_.find(stream) : streams_.end();
        GpuError& slot = it != streams_.end() ? it->second->fault : defaultStreamFault_;
        if (slot == GpuErr::Success) slot = error;
    }
    fail(error);
}

GpuError HostRuntime::getLastError() {
    const GpuError e = pendingError;
    pendingError = GpuErr::Success;
    return e;
}

GpuError HostRuntime::peekAtLastError() {
    return pendingError;
}

const char* HostRuntime::getErrorString(GpuError error) const {
    switch (error) {
        case GpuErr::Success:
            return "no error";
        case GpuErr::InvalidValue:
            return "invalid argument";
        case GpuErr::MemoryAllocation:
            return "out of memory";
        case GpuErr::InitializationError:
            return "initialization error";
        case GpuErr::InvalidConfiguration:
            return "invalid configuration argument";
        case GpuErr::InvalidPitchValue:
            return "invalid pitch argument";
        case GpuErr::InvalidDevicePointer:
            return "invalid device pointer";
        case GpuErr::InvalidChannelDescriptor:
            return "invalid channel descriptor";
        case GpuErr::InvalidMemcpyDirection:
            return "invalid copy direction for memcpy";
        case GpuErr::InvalidFilterSetting:
            return "linear filtering not supported for non-float type";
        case GpuErr::InvalidNormSetting:
            return "read as normalized float not supported for data type";
        case GpuErr::StubLibrary:
            return "CUDA driver is a stub library";
        case GpuErr::InsufficientDriver:
            return "CUDA driver version is insufficient for CUDA runtime version";
        case GpuErr::NoDevice:
            return "no CUDA-capable device is detected";
        case GpuErr::InvalidDevice:
            return "invalid device ordinal";
        case GpuErr::InvalidResourceHandle:
            return "invalid resource handle";
        case GpuErr::NotReady:
            return "device not ready";
        case GpuErr::IllegalAddress:
            return "an illegal memory access was encountered";
        case GpuErr::HostMemoryAlreadyRegistered:
            return "part or all of the requested memory range is already mapped";
        case GpuErr::HostMemoryNotRegistered:
            return "pointer does not correspond to a registered memory region";
        case GpuErr::MisalignedAddress:
            return "misaligned address";
        case GpuErr::LaunchFailure:
            return "unspecified launch failure";
        case GpuErr::NotSupported:
            return "operation not supported";
        case GpuErr::Unknown:
            return "unknown error";
        default:
            return "unrecognized error code";
    }
}

// ---------------------------------------------------------------- kernel launch on the CPU

namespace {

struct LaunchFaults {
    std::atomic<GpuError> first{GpuErr::Success};
};
thread_local LaunchFaults* currentLaunch = nullptr;

bool validConfiguration(const unsigned grid[3], const unsigned block[3]) {
    if (block[0] == 0 || block[1] == 0 || block[2] == 0 || grid[0] == 0 || grid[1] == 0 || grid[2] == 0)
        return false;
    if (block[0] > 1024 || block[1] > 1024 || block[2] > 64) return false;
    if (static_cast<unsigned long long>(block[0]) * block[1] * block[2] > 1024) return false;
    return grid[0] <= 0x7fffffffu && grid[1] <= 65535u && grid[2] <= 65535u;
}

}  // namespace

namespace velmora_emu {

void reportKernelFault(GpuError error) {
    if (error == GpuErr::Success) return;
    if (currentLaunch) {
        GpuError expected = GpuErr::Success;
        currentLaunch->first.compare_exchange_strong(expected, error);
    } else {
        pendingError = error;
    }
}

GpuError peekLastError() {
    return pendingError;
}

void launchGrid(GpuStream stream, const unsigned grid[3], const unsigned block[3],
                const std::function<void(unsigned bx, unsigned by, unsigned bz)>& runBlock) {
    HostRuntime& runtime = HostRuntime::instance();
    if (!validConfiguration(grid, block)) {
        pendingError = GpuErr::InvalidConfiguration;
        return;
    }
    if (GpuError e = runtime.checkStream(stream)) {
        pendingError = e;
        return;
    }
    LaunchFaults faults;
    const std::size_t perLayer = static_cast<std::size_t>(grid[0]) * grid[1];
    const std::size_t blocks = perLayer * grid[2];
    try {
        parallelFor(blocks, [&](std::size_t b) {
            struct Scope {
                LaunchFaults* outer;
                explicit Scope(LaunchFaults* f) : outer(currentLaunch) { currentLaunch = f; }
                ~Scope() { currentLaunch = outer; }
            } scope(&faults);
            const unsigned bz = static_cast<unsigned>(b / perLayer);
            const std::size_t inLayer = b % perLayer;
            runBlock(static_cast<unsigned>(inLayer % grid[0]), static_cast<unsigned>(inLayer / grid[0]), bz);
        });
    } catch (...) {
        // A kernel has no exceptions on a GPU; one escaping the CPU build is a failed launch.
        faults.first.store(GpuErr::LaunchFailure);
    }
    runtime.recordLaunchFault(stream, faults.first.load());
}

}  // namespace velmora_emu
