#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "kernels/cpu/BilinearTaps.h"

namespace cpu_fast {

// Reads along x of a pass whose tap t of pixel x reads the column part columnTap(x, t). Where
// that part depends on x + offsets[t] alone (in a chunk of pixels whose pairs all agree), every
// pair with the same key x + offsets[t] shares one read per row; the other chunks read pair by
// pair.
class SharedColumnReads {
  public:
    using ColumnTap = std::function<AxisTap(int x, std::size_t t)>;
    static constexpr int kChunkPixels = 128;

    // For pixels [from, to) and taps `offsets` (ascending, not empty).
    SharedColumnReads(int from, int to, const std::vector<int>& offsets, ColumnTap columnTap);

    int reach() const { return reach_; }
    const std::vector<int>& offsets() const { return offsets_; }
    // Whether pixel x's chunk shares its reads.
    bool regular(int x) const { return regular_[static_cast<std::size_t>((x - from_) / kChunkPixels)] != 0; }
    // The column part of pair (x, t).
    AxisTap pair(int x, std::size_t t) const;
    // The reads at row part `row` of the keys of pixels [x0, x1): (r, g, b, a) of key x + k at
    // out[4 * (x + k - x0 + reach)], for x + k - x0 + reach in [0, x1 - x0 + 2 * reach). Keys that
    // no pair of a regular chunk uses are left as they were.
    void readKeys(const FloatPlane& plane, const AxisTap& row, int x0, int x1, float* out) const;

  private:
    int from_, to_, reach_ = 0;
    std::vector<int> offsets_;
    ColumnTap columnTap_;
    std::vector<AxisTap> shared_;  // by key - from + reach
    std::vector<char> known_, regular_;
    std::vector<std::vector<AxisTap>> pairTables_;  // per irregular chunk, while small
};

}  // namespace cpu_fast
