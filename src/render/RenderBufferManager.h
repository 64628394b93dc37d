#pragma once

// The GPU memory of one destination buffer's pass chain: two float4 arrays used in ping-pong
// fashion (each with a texture to read and a surface to write), the matte-injection array, and
// the copies in and out of the host's buffers around them.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gpu/GpuRuntime.h"
#include "kernels/FinalProcessingLaunch.h"
#include "kernels/KernelRecords.h"
#include "render/TileMap.h"

class RenderBufferManager {
  public:
    explicit RenderBufferManager(GpuRuntime& gpu);
    ~RenderBufferManager();
    RenderBufferManager(const RenderBufferManager&) = delete;
    RenderBufferManager& operator=(const RenderBufferManager&) = delete;

    // Makes the arrays fit a render, reusing them when the size is unchanged.
    bool initialize(int width, int height, GpuStream stream, const void* dstImgBuffer, int totalPasses);

    // Pass p reads the array the previous pass wrote (none for pass 0) and writes the other one.
    GpuTextureObject getInputTexture(int pass) const;
    GpuSurfaceObject getOutputSurface(int pass) const;

    // Copies the array the last of `totalPasses` passes wrote into `dst`.
    bool copyFinalResult(GpuStream stream, int totalPasses, void* dst, int width, int height,
                         int dstPitchBytes);

    // Copies `rects` of the array the last of `totalPasses` passes wrote into `dst`.
    bool copyFinalRegion(GpuStream stream, int totalPasses, void* dst, int dstPitchBytes,
                         const std::vector<TileMap::Rect>& rects);

    // A copy of the source whose alpha is the matte's luminance (mode 1) or opaque (mode 2); the
    // returned texture belongs to this manager. 0 on failure.
    GpuTextureObject applyMatteInjection(GpuStream stream, GpuTextureObject sourceTexture,
                                         GpuTextureObject matteTexture, int mode);

    // Premultiply and blend the destination in place (see FinalProcessing.h).
    bool applyFinalProcessing(GpuStream stream, const SystemParameters& system, const void* sourcePixels,
                              void* destinationPixels, int width, int height, int sourceRowBytes,
                              int destinationRowBytes, const AudioMonitorRecord& monitor);

    void cleanup();                // the ping-pong set
    void releaseMatteResources();  // the matte-injection set
    void release();                // both

    bool isInitialized() const { return initialized_; }
    int width() const { return width_; }
    int height() const { return height_; }
    int totalPasses() const { return totalPasses_; }
    bool finalInA() const { return finalInA_; }
    bool hasMatteResources() const { return matteArray_ != nullptr; }
    int matteWidth() const { return matteWidth_; }
    int matteHeight() const { return matteHeight_; }

  private:
    bool allocate();
    void recordMetrics(const void* dstImgBuffer);
    void countFailure();

    GpuRuntime& gpu_;
    int width_ = 0;
    int height_ = 0;
    int totalPasses_ = 0;
    std::size_t bufferBytes_ = 0;
    bool initialized_ = false;
    bool finalInA_ = false;
    GpuArray arrayA_ = nullptr;
    GpuArray arrayB_ = nullptr;
    GpuTextureObject texA_ = 0;
    GpuTextureObject texB_ = 0;
    GpuSurfaceObject surfA_ = 0;
    GpuSurfaceObject surfB_ = 0;

    GpuArray matteArray_ = nullptr;
    GpuSurfaceObject matteSurface_ = 0;
    GpuTextureObject matteTexture_ = 0;
    int matteWidth_ = 0;
    int matteHeight_ = 0;
};
