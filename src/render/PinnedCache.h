#pragma once

// Page-locking of host output buffers, so that the final device-to-host copies run at pinned
// speed. Process-wide, bounded in entries and bytes; small buffers are never registered.

#include <cstddef>
#include <mutex>
#include <unordered_map>

#include "gpu/GpuRuntime.h"

class PinnedCache {
  public:
    static constexpr std::size_t kMinimumBytes = 4194304;  // 4 MiB
    static constexpr std::size_t kMaximumEntries = 32;
    static constexpr std::size_t kBudgetBytes = 536870912;  // 512 MiB

    // The process's cache over the process's backend.
    static PinnedCache& instance();
    // Unregisters every buffer of the process's cache, if it was ever made (it is not made here).
    static void unregisterProcessBuffers();
    // Unregisters and destroys the process's cache when the library is unloaded.
    static void destroyInstance();

    explicit PinnedCache(GpuRuntime& gpu) : gpu_(gpu) {}
    ~PinnedCache();
    PinnedCache(const PinnedCache&) = delete;
    PinnedCache& operator=(const PinnedCache&) = delete;

    // True when the buffer is, or now becomes, page-locked.
    bool registerBuffer(void* pointer, std::size_t bytes);
    void unregisterAll();

    std::size_t entryCount() const;
    std::size_t registeredBytes() const;
    bool isRegistered(const void* pointer) const;

  private:
    GpuRuntime& gpu_;
    mutable std::mutex mutex_;
    std::unordered_map<const void*, std::size_t> entries_;
    std::size_t totalBytes_ = 0;
};
