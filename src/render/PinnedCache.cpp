#include "render/PinnedCache.h"

#include <atomic>
#include <mutex>

#include "log/PluginLog.h"

namespace {
// Created on first use and kept until the library is unloaded, so that host buffers registered by
// late renders are still released.
std::atomic<PinnedCache*> processCache{nullptr};
std::once_flag processCacheOnce;
}  // namespace

PinnedCache& PinnedCache::instance() {
    std::call_once(processCacheOnce, [] { processCache.store(new PinnedCache(gpuRuntime())); });
    return *processCache.load();
}

void PinnedCache::unregisterProcessBuffers() {
    if (PinnedCache* cache = processCache.load()) cache->unregisterAll();
}

void PinnedCache::destroyInstance() {
    delete processCache.exchange(nullptr);
}

PinnedCache::~PinnedCache() {
    unregisterAll();
}

bool PinnedCache::registerBuffer(void* pointer, std::size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!pointer || bytes < kMinimumBytes) return false;
    if (entries_.count(pointer)) return true;
    if (totalBytes_ + bytes > kBudgetBytes || entries_.size() >= kMaximumEntries) {
        VLOG_DEBUG("PinnedCache: skipping registration for %p (budget: %zu/%zu MB, entries: %zu/%zu)",
                   pointer, totalBytes_ >> 20, kBudgetBytes >> 20, entries_.size(), kMaximumEntries);
        return false;
    }
    const GpuError error = gpu_.hostRegister(pointer, bytes, GpuHostRegisterDefault);
    if (error != GpuErr::Success) {
        gpu_.getLastError();
        VLOG_DEBUG("PinnedCache: cudaHostRegister failed for %p (%zu MB): %s — using pageable copy", pointer,
                   bytes >> 20, gpu_.getErrorString(error));
        return false;
    }
    entries_[pointer] = bytes;
    totalBytes_ += bytes;
    VLOG_INFO("PinnedCache: registered %p (%zu MB) — total pinned: %zu MB, entries: %zu", pointer,
              bytes >> 20, totalBytes_ >> 20, entries_.size());
    return true;
}

void PinnedCache::unregisterAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (entries_.empty()) return;
    for (const auto& entry : entries_) {
        const GpuError error = gpu_.hostUnregister(const_cast<void*>(entry.first));
        if (error != GpuErr::Success) {
            gpu_.getLastError();
            VLOG_DEBUG("PinnedCache: cudaHostUnregister failed for %p: %s", entry.first,
                       gpu_.getErrorString(error));
        }
    }
    VLOG_INFO("PinnedCache: unregistered %zu entries (%zu MB total)", entries_.size(), totalBytes_ >> 20);
    entries_.clear();
    totalBytes_ = 0;
}

std::size_t PinnedCache::entryCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.size();
}

std::size_t PinnedCache::registeredBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return totalBytes_;
}

bool PinnedCache::isRegistered(const void* pointer) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.count(pointer) != 0;
}
