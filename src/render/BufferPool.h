#pragma once

// One RenderBufferManager per destination buffer of an effect instance, bounded by a memory
// budget, least recently used first out. A host cycling among a few output buffers keeps their
// allocations instead of reallocating every frame.

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>

#include "gpu/GpuRuntime.h"
#include "render/RenderBufferManager.h"

// Entries that fit the 256 MiB budget, between 2 and 4. `unitMB` is one float4 frame in MiB,
// rounded down; an entry holds one unit, one per process buffer and one for matte injection.
struct PoolCapacity {
    std::size_t unitMB = 0;
    std::size_t pipelineBuffers = 0;
    std::size_t matteMB = 0;
    std::size_t entryMB = 0;
    std::size_t capacity = 4;
};
PoolCapacity computePoolCapacity(int width, int height, std::size_t pipelineBuffers, bool matteInjection);

class BufferPool {
  public:
    static constexpr std::size_t kBudgetMB = 256;

    explicit BufferPool(GpuRuntime& gpu);
    ~BufferPool();
    BufferPool(const BufferPool&) = delete;
    BufferPool& operator=(const BufferPool&) = delete;

    // The manager of `dstImgBuffer`, created on a miss (evicting the least recently used entry
    // when the pool is full). `pipelineBuffers` and `matteInjection` size the capacity.
    RenderBufferManager* acquireManager(const void* dstImgBuffer, int width, int height,
                                        std::size_t pipelineBuffers, bool matteInjection);
    // Releases every entry except `keep`.
    void flushPool(const RenderBufferManager* keep);
    void clear();

    // At most `entries` managers, whatever the budget allows (0 lifts the limit): small frames
    // always fit four, so a limit is how a host cycling among more buffers is shown at two.
    void limitCapacity(std::size_t entries);

    std::size_t size() const;
    bool contains(const void* dstImgBuffer) const;

  private:
    struct Entry {
        std::unique_ptr<RenderBufferManager> manager;
        int lastUsed = 0;
    };

    GpuRuntime& gpu_;
    mutable std::mutex mutex_;
    std::map<const void*, Entry> entries_;
    int counter_ = 0;
    std::size_t capacityLimit_ = 0;
};
