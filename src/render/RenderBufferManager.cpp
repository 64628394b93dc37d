#include "render/RenderBufferManager.h"

#include <ctime>
#include <mutex>

#include "log/PluginLog.h"
#include "render/CopyTiming.h"
#include "render/FinalProcessing.h"
#include "render/GpuObjects.h"
#include "render/PinnedCache.h"
#include "render/RegionCopies.h"

namespace {

// Process-wide initialisation metrics, reported once per wall-clock second. Instances render on
// threads of their own, so the counters are guarded.
struct InitMetrics {
    std::mutex mutex;
    int inits = 0;
    int failures = 0;
    int destinationChanges = 0;
    const void* lastDestination = nullptr;
    std::time_t lastSecond = 0;
};
InitMetrics metrics;

}  // namespace

RenderBufferManager::RenderBufferManager(GpuRuntime& gpu) : gpu_(gpu) {}

RenderBufferManager::~RenderBufferManager() {
    release();
}

void RenderBufferManager::recordMetrics(const void* dstImgBuffer) {
    std::lock_guard<std::mutex> lock(metrics.mutex);
    ++metrics.inits;
    if (dstImgBuffer != metrics.lastDestination) {
        ++metrics.destinationChanges;
        metrics.lastDestination = dstImgBuffer;
    }
    const std::time_t now = std::time(nullptr);
    if (metrics.lastSecond != 0 && now != metrics.lastSecond) {
        VLOG_DEBUG(
            "📊 RenderBufferManager CUDA metrics (last second): %d inits, %d failures, %d dstImgBuffer "
            "changes",
            metrics.inits, metrics.failures, metrics.destinationChanges);
        metrics.inits = metrics.failures = metrics.destinationChanges = 0;
    }
    metrics.lastSecond = now;
}

void RenderBufferManager::countFailure() {
    std::lock_guard<std::mutex> lock(metrics.mutex);
    ++metrics.failures;
}

bool RenderBufferManager::initialize(int width, int height, GpuStream, const void* dstImgBuffer,
                                     int totalPasses) {
    if (initialized_ && width == width_ && height == height_) {
        if (totalPasses != totalPasses_) {
            VLOG_DEBUG("RenderBufferManager: Pass count changed (%d→%d) but reusing buffers (same size)",
                       totalPasses_, totalPasses);
            totalPasses_ = totalPasses;
            finalInA_ = (totalPasses % 2) != 0;
        } else {
            VLOG_DEBUG("RenderBufferManager: Reusing existing buffers (%dx%d)", width, height);
        }
        return true;
    }
    if (initialized_) {
        VLOG_DEBUG("RenderBufferManager: Dimensions changed (%dx%d→%dx%d) - reallocating", width_, height_,
                   width, height);
        cleanup();
    }
    recordMetrics(dstImgBuffer);
    if (width <= 0 || height <= 0) {
        VLOG_ERROR("Failed to initialize CUDA buffers");
        countFailure();
        return false;
    }
    width_ = width;
    height_ = height;
    bufferBytes_ = frameBytes(width, height);
    finalInA_ = (totalPasses % 2) != 0;
    VLOG_INFO("RenderBufferManager: Allocating CUDA ping-pong buffers (%dx%d, %.2f MB each)", width, height,
              megabytes(bufferBytes_));
    if (!allocate()) {
        VLOG_ERROR("Failed to initialize CUDA buffers");
        countFailure();
        width_ = height_ = 0;
        bufferBytes_ = 0;
        return false;
    }
    totalPasses_ = totalPasses;
    initialized_ = true;
    VLOG_INFO("RenderBufferManager: CUDA buffers initialized successfully");
    return true;
}

bool RenderBufferManager::allocate() {
    // Undoes whatever this attempt obtained; the handles are all zero again afterwards.
    auto undo = [this]() {
        if (surfB_) gpu_.destroySurfaceObject(surfB_);
        if (surfA_) gpu_.destroySurfaceObject(surfA_);
        if (texB_) gpu_.destroyTextureObject(texB_);
        if (texA_) gpu_.destroyTextureObject(texA_);
        if (arrayB_) gpu_.freeArray(arrayB_);
        if (arrayA_) gpu_.freeArray(arrayA_);
        surfA_ = surfB_ = 0;
        texA_ = texB_ = 0;
        arrayA_ = arrayB_ = nullptr;
        gpu_.getLastError();
        return false;
    };
    GpuError error = mallocFloat4Array(gpu_, &arrayA_, width_, height_, GpuArraySurfaceLoadStore);
    if (error != GpuErr::Success) {
        arrayA_ = nullptr;
        VLOG_ERROR("Failed to allocate CUDA array A: %s", gpu_.getErrorString(error));
        return undo();
    }
    error = mallocFloat4Array(gpu_, &arrayB_, width_, height_, GpuArraySurfaceLoadStore);
    if (error != GpuErr::Success) {
        arrayB_ = nullptr;
        VLOG_ERROR("Failed to allocate CUDA array B: %s", gpu_.getErrorString(error));
        return undo();
    }
    error = createArrayTexture(gpu_, arrayA_, &texA_);
    if (error != GpuErr::Success) {
        texA_ = 0;
        VLOG_ERROR("Failed to create texture object A: %s", gpu_.getErrorString(error));
        return undo();
    }
    error = createArrayTexture(gpu_, arrayB_, &texB_);
    if (error != GpuErr::Success) {
        texB_ = 0;
        VLOG_ERROR("Failed to create texture object B: %s", gpu_.getErrorString(error));
        return undo();
    }
    error = createArraySurface(gpu_, arrayA_, &surfA_);
    if (error != GpuErr::Success) {
        surfA_ = 0;
        VLOG_ERROR("Failed to create surface object A: %s", gpu_.getErrorString(error));
        return undo();
    }
    error = createArraySurface(gpu_, arrayB_, &surfB_);
    if (error != GpuErr::Success) {
        surfB_ = 0;
        VLOG_ERROR("Failed to create surface object B: %s", gpu_.getErrorString(error));
        return undo();
    }
    VLOG_INFO("RenderBufferManager CUDA: Initialized %dx%d ping-pong buffers (totalPasses=%d)", width_,
              height_, totalPasses_);
    return true;
}

GpuTextureObject RenderBufferManager::getInputTexture(int pass) const {
    if (!initialized_) {
        VLOG_ERROR("RenderBufferManager not initialized");
        return 0;
    }
    if (pass <= 0) return 0;
    return (pass % 2) != 0 ? texA_ : texB_;
}

GpuSurfaceObject RenderBufferManager::getOutputSurface(int pass) const {
    if (!initialized_) {
        VLOG_ERROR("RenderBufferManager not initialized");
        return 0;
    }
    return (pass % 2) == 0 ? surfA_ : surfB_;
}

bool RenderBufferManager::copyFinalResult(GpuStream stream, int totalPasses, void* dst, int width, int height,
                                          int dstPitchBytes) {
    if (!initialized_) {
        VLOG_ERROR("RenderBufferManager not initialized for final copy");
        return false;
    }
    const bool inA = (totalPasses % 2) != 0;
    VLOG_DEBUG("Copying final result from cudaArray%s to output buffer (pitch=%d bytes)", inA ? "A" : "B",
               dstPitchBytes);
    // Never copy more than the arrays hold.
    const int copyWidth = width < width_ ? width : width_;
    const int copyHeight = height < height_ ? height : height_;
    return CopyTiming(gpu_, stream, inA ? arrayA_ : arrayB_, dst, copyWidth, copyHeight, dstPitchBytes);
}

bool RenderBufferManager::copyFinalRegion(GpuStream stream, int totalPasses, void* dst, int dstPitchBytes,
                                          const std::vector<TileMap::Rect>& rects) {
    if (!initialized_) {
        VLOG_ERROR("RenderBufferManager not initialized for final copy");
        return false;
    }
    const bool inA = (totalPasses % 2) != 0;
    VLOG_DEBUG("Copying %zu regions of the final result from cudaArray%s to output buffer (pitch=%d bytes)",
               rects.size(), inA ? "A" : "B", dstPitchBytes);
    for (const TileMap::Rect& r : rects) {
        if (r.x0 < 0 || r.y0 < 0 || r.x1 > width_ || r.y1 > height_) {
            VLOG_ERROR("Region copy outside the %dx%d arrays", width_, height_);
            return false;
        }
    }
    return copyArrayRects(gpu_, stream, inA ? arrayA_ : arrayB_, dst, dstPitchBytes, rects);
}

GpuTextureObject RenderBufferManager::applyMatteInjection(GpuStream stream, GpuTextureObject sourceTexture,
                                                          GpuTextureObject matteTexture, int mode) {
    if (!sourceTexture) {
        VLOG_ERROR("applyMatteInjection: srcTex is null");
        return 0;
    }
    GpuResourceDesc resource;
    GpuError error = gpu_.getTextureObjectResourceDesc(&resource, sourceTexture);
    int width = 0, height = 0;
    if (error != GpuErr::Success) {
        gpu_.getLastError();
        VLOG_ERROR("applyMatteInjection: cudaGetTextureObjectResourceDesc failed: %s",
                   gpu_.getErrorString(error));
    } else if (resource.type == GpuResourceTypeArray) {
        GpuChannelDesc desc;
        GpuExtent extent;
        unsigned flags = 0;
        error = gpu_.arrayGetInfo(&desc, &extent, &flags, resource.array);
        if (error != GpuErr::Success) {
            gpu_.getLastError();
            VLOG_ERROR("applyMatteInjection: cudaArrayGetInfo failed: %s", gpu_.getErrorString(error));
            VLOG_ERROR("applyMatteInjection: failed to read srcTex dimensions");
            return 0;
        }
        width = static_cast<int>(extent.width);
        height = static_cast<int>(extent.height > 0 ? extent.height : 1);
    } else if (resource.type == GpuResourceTypePitch2D) {
        width = static_cast<int>(resource.pitch2D.width);
        height = static_cast<int>(resource.pitch2D.height);
    } else {
        VLOG_ERROR("applyMatteInjection: unsupported srcTex resource type %d",
                   static_cast<int>(resource.type));
    }
    if (width <= 0 || height <= 0) {
        VLOG_ERROR("applyMatteInjection: failed to read srcTex dimensions");
        return 0;
    }

    if (!(matteArray_ && matteWidth_ == width && matteHeight_ == height)) {
        releaseMatteResources();
        GpuArray array = nullptr;
        error = mallocFloat4Array(gpu_, &array, width, height, GpuArraySurfaceLoadStore);
        if (error != GpuErr::Success) {
            gpu_.getLastError();
            VLOG_ERROR("applyMatteInjection: cudaMallocArray failed: %s", gpu_.getErrorString(error));
            return 0;
        }
        GpuSurfaceObject surface = 0;
        error = createArraySurface(gpu_, array, &surface);
        if (error != GpuErr::Success) {
            gpu_.getLastError();
            VLOG_ERROR("applyMatteInjection: cudaCreateSurfaceObject failed: %s", gpu_.getErrorString(error));
            gpu_.freeArray(array);
            return 0;
        }
        GpuTextureObject texture = 0;
        error = createArrayTexture(gpu_, array, &texture);
        if (error != GpuErr::Success) {
            gpu_.getLastError();
            VLOG_ERROR("applyMatteInjection: cudaCreateTextureObject failed: %s", gpu_.getErrorString(error));
            gpu_.destroySurfaceObject(surface);
            gpu_.freeArray(array);
            return 0;
        }
        matteArray_ = array;
        matteSurface_ = surface;
        matteTexture_ = texture;
        matteWidth_ = width;
        matteHeight_ = height;
    }

    launchMatteInjectKernel(stream, sourceTexture, matteTexture, matteSurface_, mode, width, height);
    error = gpu_.getLastError();
    if (error != GpuErr::Success) {
        VLOG_ERROR("applyMatteInjection: kernel launch failed: %s", gpu_.getErrorString(error));
        return 0;
    }
    error = gpu_.streamSynchronize(stream);
    if (error != GpuErr::Success) {
        gpu_.getLastError();
        VLOG_ERROR("applyMatteInjection: kernel execution failed: %s", gpu_.getErrorString(error));
        return 0;
    }
    VLOG_DEBUG("Matte injection applied (mode=%d, %dx%d)", mode, width, height);
    return matteTexture_;
}

bool RenderBufferManager::applyFinalProcessing(GpuStream stream, const SystemParameters& system,
                                               const void* sourcePixels, void* destinationPixels, int width,
                                               int height, int sourceRowBytes, int destinationRowBytes,
                                               const AudioMonitorRecord& monitor) {
    if (!initialized_ && !audioMonitorEnabled(monitor)) {
        VLOG_ERROR("RenderBufferManager not initialized for final processing");
        return false;
    }
    return runFinalProcessing(gpu_, stream, system, sourcePixels, destinationPixels, width, height,
                              sourceRowBytes, destinationRowBytes, monitor);
}

void RenderBufferManager::cleanup() {
    if (!initialized_) return;
    PinnedCache::instance().unregisterAll();
    if (texA_) gpu_.destroyTextureObject(texA_);
    if (texB_) gpu_.destroyTextureObject(texB_);
    if (surfA_) gpu_.destroySurfaceObject(surfA_);
    if (surfB_) gpu_.destroySurfaceObject(surfB_);
    if (arrayA_) gpu_.freeArray(arrayA_);
    if (arrayB_) gpu_.freeArray(arrayB_);
    VLOG_DEBUG("RenderBufferManager CUDA: Cleaned up");
    texA_ = texB_ = 0;
    surfA_ = surfB_ = 0;
    arrayA_ = arrayB_ = nullptr;
    initialized_ = false;
    width_ = height_ = 0;
    bufferBytes_ = 0;
    VLOG_DEBUG("RenderBufferManager: CUDA buffers cleaned up");
}

void RenderBufferManager::releaseMatteResources() {
    if (!matteArray_ && !matteSurface_ && !matteTexture_) return;
    if (matteTexture_) gpu_.destroyTextureObject(matteTexture_);
    if (matteSurface_) gpu_.destroySurfaceObject(matteSurface_);
    if (matteArray_) gpu_.freeArray(matteArray_);
    matteTexture_ = 0;
    matteSurface_ = 0;
    matteArray_ = nullptr;
    matteWidth_ = matteHeight_ = 0;
}

void RenderBufferManager::release() {
    cleanup();
    releaseMatteResources();
}
