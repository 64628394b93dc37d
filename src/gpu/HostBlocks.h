#pragma once

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

// The host backend's device memory: zeroed blocks aligned as cudaMalloc's.
struct HostBlockRelease {
    void* base = nullptr;
    std::size_t mappedBytes = 0;  // a block mapped from the system directly; 0 for calloc's
    void operator()(unsigned char*) const;
};
using HostBlock = std::unique_ptr<unsigned char, HostBlockRelease>;

// A zeroed block of `bytes`, aligned to 256 bytes; null when the system has no memory for it.
HostBlock allocateHostBlock(std::size_t bytes);

// Freed frame-sized blocks kept for the next request of the same size. A block fresh from the
// system arrives as untouched pages whose first writes fault one page at a time, which costs far
// more than clearing a kept block. A request of a size nothing kept has releases every kept block,
// so a change of frame size never holds memory beside the new blocks. Not thread-safe: the
// runtime calls it under its own lock.
class SpareHostBlocks {
  public:
    static constexpr std::size_t kSmallestKept = std::size_t(1) << 20;
    static constexpr std::size_t kMostKept = 4;

    // A zeroed block of `bytes`: a kept one when there is one of that size, else a new one.
    HostBlock take(std::size_t bytes);
    // Keeps a block no longer used (or releases it when it is small or enough are kept).
    void give(HostBlock block, std::size_t bytes);
    void releaseAll() { kept_.clear(); }
    std::size_t keptCount() const { return kept_.size(); }

  private:
    std::vector<std::pair<std::size_t, HostBlock>> kept_;
};
