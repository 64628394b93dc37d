#include "kernels/cpu/RowRegion.h"

#include <algorithm>

#include "gpu/ThreadPool.h"
#include "kernels/KernelDevice.h"
#include "kernels/PassRegion.h"
#include "kernels/cpu/BilinearTaps.h"

namespace cpu_fast {

namespace {

// Largest image side for which a texel-centred read is provably a plain load: the coordinate
// error of u + k/W stays far below the sampler's 1/512 rounding step.
constexpr int kMaxExactSide = 4096;

// Whether the read at texel centre i plus k whole steps, through the edge rule, returns texel
// edgeTexel(i + k) unmixed: all weight on it, or an even split of that texel with itself.
bool landsOnTexel(int i, int k, int n, bool reflect) {
    const float coordinate = host_impl::edgeCoord(texelCentre(i, n) + (float)k * (1.0f / (float)n), reflect);
    const AxisTap tap = axisTap(coordinate, n);
    const int texel = edgeTexel(i + k, n, reflect);
    if (tap.weight == 0.0f) return tap.first == texel;
    if (tap.weight == 1.0f) return tap.second == texel;
    return tap.weight == 0.5f && tap.first == texel && tap.second == texel;
}

// Marks the indices [from, to) of an axis of n whose reads at 0 and at -reach .. reach steps do
// not all land on their texels.
void markOffTexel(int n, int from, int to, int reach, bool reflect, std::vector<char>& off) {
    if (n <= kMaxExactSide) return;
    parallelFor(static_cast<size_t>(to - from), [&](size_t index) {
        const int i = from + static_cast<int>(index);
        // Clamped far beyond the edge a read sits exactly on the edge texel; reflected it folds
        // back once and then clamps, so only steps within two widths of the image matter.
        const int low = reflect ? -2 * n - 2 : -1, high = reflect ? 3 * n + 2 : n + 1;
        const int kFrom = std::max(-reach, low - i), kTo = std::min(reach, high - i);
        bool good = landsOnTexel(i, 0, n, reflect);
        for (int k = kFrom; k <= kTo && good; ++k) good = landsOnTexel(i, k, n, reflect);
        if (!good) off[static_cast<size_t>(i)] = 1;
    });
}

}  // namespace

RowRegion RowRegion::wholeFrame(int width, int height) {
    RowRegion region;
    region.width_ = width;
    region.height_ = height;
    region.whole_ = true;
    for (int y = 0; y < height && width > 0; ++y) region.spans_.push_back({y, 0, width});
    region.finish();
    return region;
}

RowRegion RowRegion::ofTiles(int width, int height, const uint32_t* tiles, int count) {
    RowRegion region;
    region.width_ = width;
    region.height_ = height;
    // Runs of consecutive tiles along each tile row, then one span per pixel row of the run.
    struct Run {
        int ty, x0, x1;
    };
    std::vector<Run> runs;
    for (int i = 0; i < count; ++i) {
        const int tx = regionTileX(tiles[i]), ty = regionTileY(tiles[i]);
        const int x0 = tx * kRegionTileSize, x1 = std::min(width, x0 + kRegionTileSize);
        if (x0 >= width || ty * kRegionTileSize >= height) continue;
        if (!runs.empty() && runs.back().ty == ty && runs.back().x1 == x0) {
            runs.back().x1 = x1;
        } else {
            runs.push_back({ty, x0, x1});
        }
    }
    size_t first = 0;
    while (first < runs.size()) {
        size_t last = first;
        while (last < runs.size() && runs[last].ty == runs[first].ty) ++last;
        const int y0 = runs[first].ty * kRegionTileSize, y1 = std::min(height, y0 + kRegionTileSize);
        for (int y = y0; y < y1; ++y)
            for (size_t r = first; r < last; ++r) region.spans_.push_back({y, runs[r].x0, runs[r].x1});
        first = last;
    }
    region.finish();
    return region;
}

void RowRegion::finish() {
    if (spans_.empty()) return;
    x0_ = width_;
    x1_ = 0;
    y0_ = spans_.front().y;
    y1_ = spans_.back().y + 1;
    for (const Span& s : spans_) {
        x0_ = std::min(x0_, s.x0);
        x1_ = std::max(x1_, s.x1);
    }
    whole_ = whole_ || (x0_ == 0 && x1_ == width_ && y0_ == 0 && y1_ == height_ &&
                        spans_.size() == static_cast<size_t>(height_));
}

void RowRegion::forSpans(const std::function<void(int y, int x0, int x1)>& body) const {
    parallelFor(spans_.size(), [&](size_t i) {
        const Span& s = spans_[i];
        body(s.y, s.x0, s.x1);
    });
}

void RowRegion::forBands(int rows, const std::function<void(size_t first, size_t last)>& body) const {
    // Band b holds the spans of rows [b * rows, (b + 1) * rows).
    std::vector<size_t> starts;
    for (size_t i = 0; i < spans_.size(); ++i) {
        if (i == 0 || spans_[i].y / rows != spans_[i - 1].y / rows) starts.push_back(i);
    }
    starts.push_back(spans_.size());
    parallelFor(starts.size() - 1, [&](size_t b) { body(starts[b], starts[b + 1]); });
}

std::vector<uint32_t> offTexelTiles(const TexelReads& reads, const RowRegion& region) {
    std::vector<uint32_t> tiles;
    const int W = region.width(), H = region.height();
    if (region.empty() || (W <= kMaxExactSide && H <= kMaxExactSide)) return tiles;
    std::vector<char> offColumns(static_cast<size_t>(W), 0), offRows(static_cast<size_t>(H), 0);
    markOffTexel(W, region.columnsFrom(), region.columnsTo(), reads.reachX, reads.reflect, offColumns);
    markOffTexel(H, region.rowsFrom(), region.rowsTo(), reads.reachY, reads.reflect, offRows);
    const int tilesX = (W + kRegionTileSize - 1) / kRegionTileSize;
    const int tilesY = (H + kRegionTileSize - 1) / kRegionTileSize;
    std::vector<char> badColumn(static_cast<size_t>(tilesX), 0), badRow(static_cast<size_t>(tilesY), 0);
    for (int x = 0; x < W; ++x)
        if (offColumns[static_cast<size_t>(x)]) badColumn[static_cast<size_t>(x / kRegionTileSize)] = 1;
    for (int y = 0; y < H; ++y)
        if (offRows[static_cast<size_t>(y)]) badRow[static_cast<size_t>(y / kRegionTileSize)] = 1;
    // Tiles of the region, in ascending order, whose columns or rows hold an off-texel read.
    int lastTile = -1;
    for (const RowRegion::Span& s : region.spans()) {
        const int ty = s.y / kRegionTileSize;
        for (int tx = s.x0 / kRegionTileSize; tx * kRegionTileSize < s.x1; ++tx) {
            const int index = ty * tilesX + tx;
            if (index <= lastTile) continue;
            if (!badColumn[static_cast<size_t>(tx)] && !badRow[static_cast<size_t>(ty)]) continue;
            tiles.push_back(packRegionTile(tx, ty));
            lastTile = index;
        }
    }
    // Spans arrive row by row, so a tile seen again on a later pixel row may come out of order.
    std::sort(tiles.begin(), tiles.end());
    tiles.erase(std::unique(tiles.begin(), tiles.end()), tiles.end());
    return tiles;
}

}  // namespace cpu_fast
