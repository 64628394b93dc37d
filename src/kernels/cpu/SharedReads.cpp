#include "kernels/cpu/SharedReads.h"

#include <algorithm>

namespace cpu_fast {

namespace {

// Read tables of the chunks whose pairs round differently, at most (16 bytes an entry).
constexpr std::size_t kMaxPairTableEntries = std::size_t(1) << 21;

}  // namespace

SharedColumnReads::SharedColumnReads(int from, int to, const std::vector<int>& offsets, ColumnTap columnTap)
    : from_(from), to_(to), offsets_(offsets), columnTap_(std::move(columnTap)) {
    reach_ = std::max(offsets_.back(), -offsets_.front());
    const std::size_t T = offsets_.size();
    const int chunks = (to_ - from_ + kChunkPixels - 1) / kChunkPixels;
    const std::size_t keys = static_cast<std::size_t>(to_ - from_ + 2 * reach_);
    shared_.resize(keys);
    known_.assign(keys, 0);
    regular_.assign(static_cast<std::size_t>(chunks), 1);
    for (int x = from_; x < to_; ++x) {
        for (std::size_t t = 0; t < T; ++t) {
            const std::size_t j = static_cast<std::size_t>(x - from_ + offsets_[t] + reach_);
            const AxisTap tap = columnTap_(x, t);
            if (!known_[j]) {
                shared_[j] = tap;
                known_[j] = 1;
            } else if (!sameTap(shared_[j], tap)) {
                regular_[static_cast<std::size_t>((x - from_) / kChunkPixels)] = 0;
            }
        }
    }
    std::size_t irregular = 0;
    for (char r : regular_) irregular += r ? 0u : 1u;
    if (irregular * kChunkPixels * T > kMaxPairTableEntries) return;
    pairTables_.resize(static_cast<std::size_t>(chunks));
    for (int c = 0; c < chunks; ++c) {
        if (regular_[static_cast<std::size_t>(c)]) continue;
        const int x0 = from_ + c * kChunkPixels, x1 = std::min(to_, x0 + kChunkPixels);
        std::vector<AxisTap>& table = pairTables_[static_cast<std::size_t>(c)];
        table.reserve(static_cast<std::size_t>(x1 - x0) * T);
        for (int x = x0; x < x1; ++x)
            for (std::size_t t = 0; t < T; ++t) table.push_back(columnTap_(x, t));
    }
}

AxisTap SharedColumnReads::pair(int x, std::size_t t) const {
    const std::size_t chunk = static_cast<std::size_t>((x - from_) / kChunkPixels);
    if (chunk < pairTables_.size() && !pairTables_[chunk].empty()) {
        const int chunkFrom = from_ + static_cast<int>(chunk) * kChunkPixels;
        return pairTables_[chunk][static_cast<std::size_t>(x - chunkFrom) * offsets_.size() + t];
    }
    return columnTap_(x, t);
}

void SharedColumnReads::readKeys(const FloatPlane& plane, const AxisTap& row, int x0, int x1,
                                 float* out) const {
    const int keys = x1 - x0 + 2 * reach_;
    for (int i = 0; i < keys; ++i) {
        const std::size_t j = static_cast<std::size_t>(x0 - from_ + i);
        if (known_[j]) bilinearRead(plane, shared_[j], row, out + 4 * i);
    }
}

}  // namespace cpu_fast
