#include "gpu/HostBlocks.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

constexpr std::size_t kDeviceAlignment = 256;  // what cudaMalloc guarantees

#if defined(__linux__)
// Frame-sized blocks are mapped on huge-page boundaries and offered to the kernel for huge pages:
// a 1920x1080 float4 array then takes some 16 page faults to fill instead of 8,000.
constexpr std::size_t kHugePage = std::size_t(2) << 20;
constexpr std::size_t kSmallestMapped = 2 * kHugePage;

HostBlock mapHugeBlock(std::size_t bytes) {
    if (bytes > std::numeric_limits<std::size_t>::max() - 2 * kHugePage) return HostBlock();
    const std::size_t length = (bytes + 2 * kHugePage - 1) & ~(kHugePage - 1);
    void* mapped = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return HostBlock();
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(mapped);
    unsigned char* aligned = reinterpret_cast<unsigned char*>((address + kHugePage - 1) & ~(kHugePage - 1));
    madvise(aligned, bytes, MADV_HUGEPAGE);  // advice only: a refusal leaves ordinary pages
    return HostBlock(aligned, HostBlockRelease{mapped, length});
}
#endif

}  // namespace

void HostBlockRelease::operator()(unsigned char*) const {
#if defined(__linux__)
    if (mappedBytes) {
        munmap(base, mappedBytes);
        return;
    }
#endif
    std::free(base);
}

HostBlock allocateHostBlock(std::size_t bytes) {
#if defined(__linux__)
    if (bytes >= kSmallestMapped) return mapHugeBlock(bytes);  // anonymous mappings start zeroed
#endif
    if (bytes > std::numeric_limits<std::size_t>::max() - kDeviceAlignment) return HostBlock();
    // calloc hands large blocks over as fresh zero pages, without a clearing pass of its own.
    void* base = std::calloc(bytes + kDeviceAlignment, 1);
    if (!base) return HostBlock();
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(base);
    const std::uintptr_t aligned = (address + kDeviceAlignment - 1) & ~std::uintptr_t(kDeviceAlignment - 1);
    return HostBlock(reinterpret_cast<unsigned char*>(aligned), HostBlockRelease{base, 0});
}

HostBlock SpareHostBlocks::take(std::size_t bytes) {
    if (bytes >= kSmallestKept) {
        for (auto it = kept_.begin(); it != kept_.end(); ++it) {
            if (it->first != bytes) continue;
            HostBlock block = std::move(it->second);
            kept_.erase(it);
            std::memset(block.get(), 0, bytes);
            return block;
        }
        kept_.clear();
    }
    HostBlock block = allocateHostBlock(bytes);
    if (!block && !kept_.empty()) {
        kept_.clear();
        block = allocateHostBlock(bytes);
    }
    return block;
}

void SpareHostBlocks::give(HostBlock block, std::size_t bytes) {
    if (!block || bytes < kSmallestKept || kept_.size() >= kMostKept) return;
    kept_.emplace_back(bytes, std::move(block));
}
