#pragma once

// The part of a frame one pass computes: a list of 16 x 16 pixel tiles, the blocks of a
// per-pixel launch. The CPU paths take their row spans from the same list.

#include <stdint.h>

constexpr int kRegionTileSize = 16;

// A tile entry: (tile row << 16) | tile column.
inline uint32_t packRegionTile(int tileX, int tileY) {
    return (static_cast<uint32_t>(tileY) << 16) | static_cast<uint32_t>(tileX);
}
inline int regionTileX(uint32_t tile) {
    return static_cast<int>(tile & 0xffffu);
}
inline int regionTileY(uint32_t tile) {
    return static_cast<int>(tile >> 16);
}

struct PassRegion {
    const uint32_t* tiles;  // host memory, ascending (row-major order), no repeats
    int32_t tileCount;
    const uint32_t* deviceTiles;  // the same list where the device reads it (a cuda launch)
};
