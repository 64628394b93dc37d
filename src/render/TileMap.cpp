#include "render/TileMap.h"

#include <algorithm>

#include "kernels/PassRegion.h"

namespace {

constexpr int kTile = kRegionTileSize;

int clampIndex(long long i, int n) {
    return static_cast<int>(i < 0 ? 0 : (i >= n ? n - 1 : i));
}

// The texel a read at pixel index j lands on with reflection: mirrored about the first edge, then
// the second, then clamped (as the kernels' edge rule and the sampler's clamp do it).
long long reflectIndex(long long j, int n) {
    if (j < 0) j = -j - 1;
    if (j >= n) j = 2LL * n - 1 - j;
    return j < 0 ? 0 : j;
}

}  // namespace

std::vector<std::pair<int, int>> edgeIntervals(long long from, long long to, int n, bool reflect) {
    std::vector<std::pair<int, int>> out;
    if (n <= 0 || from > to) return out;
    if (!reflect) {
        out.push_back({clampIndex(from, n), clampIndex(to, n)});
        return out;
    }
    // The reflection is monotonic between these bounds; each piece maps onto one interval.
    const long long N = n;
    const long long pieces[][2] = {
        {-(1LL << 62), -2 * N - 1}, {-2 * N, -N - 1}, {-N, -1}, {0, N - 1}, {N, 2 * N - 1},
        {2 * N, 1LL << 62}};
    for (const auto& piece : pieces) {
        const long long a = std::max(from, piece[0]), b = std::min(to, piece[1]);
        if (a > b) continue;
        const long long fa = reflectIndex(a, n), fb = reflectIndex(b, n);
        out.push_back({static_cast<int>(std::min(fa, fb)), static_cast<int>(std::max(fa, fb))});
    }
    return out;
}

TileMap::TileMap(int width, int height, bool full)
    : width_(width > 0 ? width : 0),
      height_(height > 0 ? height : 0),
      tilesX_((width_ + kTile - 1) / kTile),
      tilesY_((height_ + kTile - 1) / kTile),
      tiles_(static_cast<std::size_t>(tilesX_) * static_cast<std::size_t>(tilesY_), full ? 1 : 0),
      count_(full ? tiles_.size() : 0) {}

bool TileMap::has(int tileX, int tileY) const {
    if (tileX < 0 || tileY < 0 || tileX >= tilesX_ || tileY >= tilesY_) return false;
    return tiles_[static_cast<std::size_t>(tileY) * tilesX_ + tileX] != 0;
}

void TileMap::add(int tileX, int tileY) {
    if (tileX < 0 || tileY < 0 || tileX >= tilesX_ || tileY >= tilesY_) return;
    unsigned char& t = tiles_[static_cast<std::size_t>(tileY) * tilesX_ + tileX];
    if (!t) ++count_;
    t = 1;
}

void TileMap::addPixels(int x0, int x1, int y0, int y1) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, width_);
    y1 = std::min(y1, height_);
    if (x0 >= x1 || y0 >= y1) return;
    for (int ty = y0 / kTile; ty <= (y1 - 1) / kTile; ++ty)
        for (int tx = x0 / kTile; tx <= (x1 - 1) / kTile; ++tx) add(tx, ty);
}

void TileMap::unite(const TileMap& other) {
    if (other.tiles_.size() != tiles_.size()) return;
    for (std::size_t i = 0; i < tiles_.size(); ++i) {
        if (other.tiles_[i] && !tiles_[i]) {
            tiles_[i] = 1;
            ++count_;
        }
    }
}

TileMap TileMap::readBy(const ReadWindow& w, int margin) const {
    TileMap out(width_, height_);
    if (full() && !empty()) {
        // Every read of a whole frame lands in it.
        return TileMap(width_, height_, true);
    }
    for (const Rect& r : rects()) {
        const auto xs = edgeIntervals(static_cast<long long>(r.x0) + w.x0 - margin,
                                      static_cast<long long>(r.x1) - 1 + w.x1 + margin, width_, w.reflect);
        const auto ys = edgeIntervals(static_cast<long long>(r.y0) + w.y0 - margin,
                                      static_cast<long long>(r.y1) - 1 + w.y1 + margin, height_, w.reflect);
        for (const auto& y : ys)
            for (const auto& x : xs) out.addPixels(x.first, x.second + 1, y.first, y.second + 1);
    }
    return out;
}

TileMap TileMap::grownBy(const ReadWindow& w, int margin) const {
    TileMap out(width_, height_);
    for (const Rect& r : rects()) {
        // Pixel p reads p + k, k in [x0, x1]: it can see a pixel of r when p lies in r - k.
        out.addPixels(
            static_cast<int>(std::max(-1LL, static_cast<long long>(r.x0) - w.x1 - margin)),
            static_cast<int>(std::min(2LL * width_, static_cast<long long>(r.x1) - w.x0 + margin)),
            static_cast<int>(std::max(-1LL, static_cast<long long>(r.y0) - w.y1 - margin)),
            static_cast<int>(std::min(2LL * height_, static_cast<long long>(r.y1) - w.y0 + margin)));
    }
    return out;
}

std::vector<uint32_t> TileMap::list() const {
    std::vector<uint32_t> out;
    out.reserve(count_);
    for (int ty = 0; ty < tilesY_; ++ty)
        for (int tx = 0; tx < tilesX_; ++tx)
            if (tiles_[static_cast<std::size_t>(ty) * tilesX_ + tx]) out.push_back(packRegionTile(tx, ty));
    return out;
}

std::vector<TileMap::Rect> TileMap::rects(bool inside) const {
    std::vector<Rect> out;
    for (int ty = 0; ty < tilesY_; ++ty) {
        const unsigned char* row = &tiles_[static_cast<std::size_t>(ty) * tilesX_];
        int tx = 0;
        while (tx < tilesX_) {
            if ((row[tx] != 0) != inside) {
                ++tx;
                continue;
            }
            int end = tx;
            while (end < tilesX_ && (row[end] != 0) == inside) ++end;
            out.push_back({tx * kTile, std::min(width_, end * kTile), ty * kTile,
                           std::min(height_, ty * kTile + kTile)});
            tx = end;
        }
    }
    return out;
}
