#pragma once

// A part of a frame as a set of 16 x 16 pixel tiles: what a pass computes, what it reads, what a
// copy moves. Tiles at the right and top edges may be partial.

#include <cstdint>
#include <vector>

#include "kernels/PassReach.h"

class TileMap {
  public:
    // A pixel rectangle [x0, x1) x [y0, y1).
    struct Rect {
        int x0, x1, y0, y1;
    };

    TileMap() = default;
    TileMap(int width, int height, bool full = false);

    int width() const { return width_; }
    int height() const { return height_; }
    int tilesX() const { return tilesX_; }
    int tilesY() const { return tilesY_; }
    bool empty() const { return count_ == 0; }
    bool full() const { return count_ == tiles_.size(); }
    std::size_t count() const { return count_; }
    bool has(int tileX, int tileY) const;

    void add(int tileX, int tileY);
    // Every tile that holds a pixel of [x0, x1) x [y0, y1) (clipped to the frame).
    void addPixels(int x0, int x1, int y0, int y1);
    void unite(const TileMap& other);

    // The tiles a pass reading through `window` needs, for an output over these tiles: each
    // pixel's window widened by `margin` pixels, taken through the window's edge rule.
    TileMap readBy(const ReadWindow& window, int margin) const;
    // The tiles holding a pixel within `window` (widened by `margin`) of one of these tiles'
    // pixels, without edge rule: where a clamped read of these pixels can land.
    TileMap grownBy(const ReadWindow& window, int margin) const;

    // The tiles in ascending order, packed as a pass region lists them.
    std::vector<uint32_t> list() const;
    // Runs of consecutive tiles along each tile row, as pixel rectangles clipped to the frame;
    // `inside` false gives the runs of the tiles not in the map.
    std::vector<Rect> rects(bool inside = true) const;

  private:
    int width_ = 0, height_ = 0, tilesX_ = 0, tilesY_ = 0;
    std::vector<unsigned char> tiles_;
    std::size_t count_ = 0;
};

// The texel indices a read at pixel index p lands on, for p in [from, to], along an axis of n
// pixels: clamped, or reflected once about each edge and then clamped. Up to five intervals,
// [first, second] inclusive.
std::vector<std::pair<int, int>> edgeIntervals(long long from, long long to, int n, bool reflect);
