#include "render/BufferPool.h"

#include <atomic>

#include "log/PluginLog.h"

namespace {
std::atomic<bool> capacityLogged{false};
}

PoolCapacity computePoolCapacity(int width, int height, std::size_t pipelineBuffers, bool matteInjection) {
    PoolCapacity c;
    const std::size_t w = width > 0 ? static_cast<std::size_t>(width) : 0;
    const std::size_t h = height > 0 ? static_cast<std::size_t>(height) : 0;
    c.unitMB = (w * h * 16) >> 20;
    c.pipelineBuffers = pipelineBuffers;
    c.matteMB = matteInjection ? c.unitMB : 0;
    c.entryMB = c.unitMB + pipelineBuffers * c.unitMB + c.matteMB;
    if (c.entryMB == 0) {
        c.capacity = 4;
    } else {
        c.capacity = BufferPool::kBudgetMB / c.entryMB;
        if (c.capacity < 2) c.capacity = 2;
        if (c.capacity > 4) c.capacity = 4;
    }
    return c;
}

BufferPool::BufferPool(GpuRuntime& gpu) : gpu_(gpu) {}

BufferPool::~BufferPool() {
    clear();
}

RenderBufferManager* BufferPool::acquireManager(const void* dstImgBuffer, int width, int height,
                                                std::size_t pipelineBuffers, bool matteInjection) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++counter_;
    auto hit = entries_.find(dstImgBuffer);
    if (hit != entries_.end()) {
        hit->second.lastUsed = counter_;
        VLOG_DEBUG("Buffer pool HIT for dstImgBuffer=%p (pool size=%zu)", dstImgBuffer, entries_.size());
        return hit->second.manager.get();
    }

    PoolCapacity c = computePoolCapacity(width, height, pipelineBuffers, matteInjection);
    if (capacityLimit_ != 0 && c.capacity > capacityLimit_) c.capacity = capacityLimit_;
    if (!capacityLogged.exchange(true)) {
        VLOG_INFO(
            "💾 Pool capacity: %zu entries (entry=%zuMB: ping-pong=%zuMB + %zu×pipeline=%zuMB + "
            "matte-inject=%zuMB, "
            "budget=%zuMB, resolution=%dx%d)",
            c.capacity, c.entryMB, c.unitMB, c.pipelineBuffers, c.pipelineBuffers * c.unitMB, c.matteMB,
            kBudgetMB, width, height);
    }
    if (entries_.size() >= c.capacity) {
        // Smallest lastUsed; on a tie the first in address order (the map's order).
        auto oldest = entries_.begin();
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->second.lastUsed < oldest->second.lastUsed) oldest = it;
        }
        VLOG_INFO("Pool at cap (%zu) - LRU evicting entry last used frame %d (age=%d frames)", c.capacity,
                  oldest->second.lastUsed, counter_ - oldest->second.lastUsed);
        oldest->second.manager->release();
        entries_.erase(oldest);
    }
    Entry& entry = entries_[dstImgBuffer];
    entry.manager = std::make_unique<RenderBufferManager>(gpu_);
    entry.lastUsed = counter_;
    VLOG_INFO(
        "Buffer pool MISS - created RenderBufferManager for dstImgBuffer=%p (pool size now=%zu, cap=%zu)",
        dstImgBuffer, entries_.size(), c.capacity);
    return entry.manager.get();
}

void BufferPool::flushPool(const RenderBufferManager* keep) {
    std::lock_guard<std::mutex> lock(mutex_);
    int evicted = 0;
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->second.manager.get() == keep) {
            ++it;
            continue;
        }
        it->second.manager->release();
        it = entries_.erase(it);
        ++evicted;
    }
    VLOG_INFO("Pool flush: evicted %d entries (pool size now=%zu, kept active manager=%p)", evicted,
              entries_.size(), static_cast<const void*>(keep));
}

void BufferPool::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!entries_.empty()) VLOG_DEBUG("Cleaning up cached RenderBufferManager");
    entries_.clear();
}

void BufferPool::limitCapacity(std::size_t entries) {
    std::lock_guard<std::mutex> lock(mutex_);
    capacityLimit_ = entries;
}

std::size_t BufferPool::size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.size();
}

bool BufferPool::contains(const void* dstImgBuffer) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.count(dstImgBuffer) != 0;
}
