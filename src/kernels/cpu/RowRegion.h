#pragma once

#include <cstdint>
#include <functional>
#include <vector>

// The pixels a CPU path computes: spans of columns row by row, for the whole frame or for the
// 16 x 16 tiles of a region (a span covers consecutive tiles of one tile row).
namespace cpu_fast {

class RowRegion {
  public:
    struct Span {
        int y, x0, x1;
    };

    static RowRegion wholeFrame(int width, int height);
    // `tiles` as a pass region lists them: ascending, (row << 16) | column.
    static RowRegion ofTiles(int width, int height, const uint32_t* tiles, int count);

    bool empty() const { return spans_.empty(); }
    bool isWholeFrame() const { return whole_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // Bounding columns [columnsFrom, columnsTo) and rows [rowsFrom, rowsTo); empty ranges when empty.
    int columnsFrom() const { return x0_; }
    int columnsTo() const { return x1_; }
    int rowsFrom() const { return y0_; }
    int rowsTo() const { return y1_; }
    // Spans in ascending row order, and within a row from left to right.
    const std::vector<Span>& spans() const { return spans_; }

    // body(y, x0, x1) once for every span, in parallel.
    void forSpans(const std::function<void(int y, int x0, int x1)>& body) const;
    // body(first, last) for groups of consecutive spans of `rows` rows each (the spans of one row
    // never split), in parallel: a path that shares work between the rows of a band.
    void forBands(int rows, const std::function<void(std::size_t first, std::size_t last)>& body) const;

  private:
    void finish();

    std::vector<Span> spans_;
    int width_ = 0, height_ = 0;
    int x0_ = 0, x1_ = 0, y0_ = 0, y1_ = 0;
    bool whole_ = false;
};

// The reads a CPU path takes for single texels: every pixel's own site, and along x (y) the sites
// a whole number of pixels away, up to `reachX` (`reachY`), through the edge rule (reflect, else
// clamp). The kernels compute those coordinates in single precision; beyond 4096 pixels a side
// some of them can land off the texel centre and mix neighbours.
struct TexelReads {
    int reachX = 0, reachY = 0;
    bool reflect = false;
};

// The tiles of `region` holding a pixel where one of `reads` does not land on its texel alone:
// those the per-pixel kernel must compute. Empty up to 4096 pixels a side.
std::vector<uint32_t> offTexelTiles(const TexelReads& reads, const RowRegion& region);

}  // namespace cpu_fast
