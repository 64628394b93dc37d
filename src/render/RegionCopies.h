#pragma once

// Copies of parts of a frame, rectangle by rectangle, into a host-supplied or engine buffer.

#include <vector>

#include "gpu/GpuRuntime.h"
#include "render/TileMap.h"

// Copies `rects` of `array` to the same places of `dst` (rows of `dstPitch` bytes). Host memory
// is written on the default stream after `stream` has finished, device memory on `stream`; both
// are complete on return.
bool copyArrayRects(GpuRuntime& gpu, GpuStream stream, GpuArray array, void* dst, int dstPitch,
                    const std::vector<TileMap::Rect>& rects);

// The same from the image a texture object views (an array or pitched device memory).
bool copyTextureRects(GpuRuntime& gpu, GpuStream stream, GpuTextureObject texture, void* dst, int dstPitch,
                      const std::vector<TileMap::Rect>& rects);
