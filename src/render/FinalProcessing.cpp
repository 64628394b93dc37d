#include "render/FinalProcessing.h"

#include <cstring>

#include "kernels/SystemParametersBuilder.h"
#include "kernels/cpu/FinalProcessingRows.h"
#include "log/PluginLog.h"
#include "render/GpuObjects.h"
#include "render/PinnedCache.h"

namespace {

// An uploaded copy of a host or device image with a surface over it.
struct SurfaceImage {
    GpuRuntime& gpu;
    GpuArray array = nullptr;
    GpuSurfaceObject surface = 0;

    explicit SurfaceImage(GpuRuntime& runtime) : gpu(runtime) {}
    ~SurfaceImage() {
        if (surface) gpu.destroySurfaceObject(surface);
        if (array) gpu.freeArray(array);
    }
};

// Stream for copies of a buffer: the default stream for host memory (after the render stream
// has finished), the render stream for device memory.
GpuStream copyStreamFor(GpuRuntime& gpu, GpuMemcpyKind kind, GpuStream stream) {
    if (kind == GpuMemcpyHostToDevice || kind == GpuMemcpyDeviceToHost) {
        if (stream) gpu.streamSynchronize(stream);
        return nullptr;
    }
    return stream;
}

}  // namespace

SystemParameters finalProcessingSystemParameters(int width, int height, double time, double globalBlend,
                                                 bool premultiplyOutput) {
    SystemParameters system;
    std::memset(&system, 0, sizeof system);
    system.width = width;
    system.height = height;
    system.frame = kernelFrameNumber(time);
    system.globalBlend = static_cast<float>(globalBlend);
    system.premultiplyOutput = premultiplyOutput ? 1 : 0;
    return system;
}

bool runFinalProcessing(GpuRuntime& gpu, GpuStream stream, const SystemParameters& system,
                        const void* sourcePixels, void* destinationPixels, int width, int height,
                        int sourceRowBytes, int destinationRowBytes, const AudioMonitorRecord& monitor) {
    // On the CPU the destination is processed where it is, at the speed of a copy, or not at all
    // when no pixel would change.
    if (gpu.kind() == GpuBackendKind::Host && system.width == width && system.height == height) {
        if (stream) gpu.streamSynchronize(stream);
        if (cpu_fast::finalProcessingIsIdentity(system, sourcePixels != nullptr, monitor) ||
            cpu_fast::finalProcessingRows(system, sourcePixels, sourceRowBytes, destinationPixels,
                                          destinationRowBytes, monitor)) {
            VLOG_DEBUG("Final processing completed successfully");
            return true;
        }
    }
    const std::size_t rowBytes = static_cast<std::size_t>(width) * kBytesPerPixel;
    const GpuMemcpyKind uploadKind = copyKindForBuffer(gpu, destinationPixels, false);
    const GpuStream uploadStream = copyStreamFor(gpu, uploadKind, stream);

    SurfaceImage result(gpu);
    GpuError error = mallocFloat4Array(gpu, &result.array, width, height, GpuArraySurfaceLoadStore);
    if (error != GpuErr::Success) {
        result.array = nullptr;
        gpu.getLastError();
        VLOG_ERROR("Failed to allocate output array for final processing: %s", gpu.getErrorString(error));
        return false;
    }
    if (uploadKind == GpuMemcpyHostToDevice) {
        PinnedCache::instance().registerBuffer(
            destinationPixels,
            static_cast<std::size_t>(height) * static_cast<std::size_t>(destinationRowBytes));
    }
    error = gpu.memcpy2DToArrayAsync(result.array, 0, 0, destinationPixels,
                                     static_cast<std::size_t>(destinationRowBytes), rowBytes,
                                     static_cast<std::size_t>(height), uploadKind, uploadStream);
    if (error != GpuErr::Success) {
        gpu.getLastError();
        VLOG_ERROR("Failed to copy output buffer to array: %s (copyKind=%d)", gpu.getErrorString(error),
                   static_cast<int>(uploadKind));
        return false;
    }
    error = createArraySurface(gpu, result.array, &result.surface);
    if (error != GpuErr::Success) {
        result.surface = 0;
        gpu.getLastError();
        VLOG_ERROR("Failed to create output surface: %s", gpu.getErrorString(error));
        return false;
    }

    SurfaceImage source(gpu);
    GpuStream sourceStream = uploadStream;
    if (sourcePixels && system.globalBlend < 1.0f) {
        error = mallocFloat4Array(gpu, &source.array, width, height, GpuArraySurfaceLoadStore);
        if (error != GpuErr::Success) {
            source.array = nullptr;
            gpu.getLastError();
            VLOG_ERROR("Failed to allocate source array for final processing: %s", gpu.getErrorString(error));
            return false;
        }
        const GpuMemcpyKind sourceKind = copyKindForBuffer(gpu, sourcePixels, false);
        sourceStream = copyStreamFor(gpu, sourceKind, stream);
        if (sourceKind == GpuMemcpyHostToDevice) {
            PinnedCache::instance().registerBuffer(
                const_cast<void*>(sourcePixels),
                static_cast<std::size_t>(height) * static_cast<std::size_t>(sourceRowBytes));
        }
        error = gpu.memcpy2DToArrayAsync(source.array, 0, 0, sourcePixels,
                                         static_cast<std::size_t>(sourceRowBytes), rowBytes,
                                         static_cast<std::size_t>(height), sourceKind, sourceStream);
        if (error != GpuErr::Success) {
            gpu.getLastError();
            VLOG_ERROR("Failed to copy source buffer to array: %s (copyKind=%d)", gpu.getErrorString(error),
                       static_cast<int>(sourceKind));
            return false;
        }
        error = createArraySurface(gpu, source.array, &source.surface);
        if (error != GpuErr::Success) {
            source.surface = 0;
            gpu.getLastError();
            VLOG_ERROR("Failed to create source surface: %s", gpu.getErrorString(error));
            return false;
        }
    }
    // The source may have gone up on another stream than the kernel's.
    if (sourceStream != uploadStream) gpu.streamSynchronize(sourceStream);

    launchFinalProcessingKernel(uploadStream, result.surface, source.surface, system, monitor);
    error = gpu.getLastError();
    if (error != GpuErr::Success) {
        VLOG_ERROR("Failed to launch final processing kernel: %s", gpu.getErrorString(error));
        return false;
    }
    error = gpu.streamSynchronize(uploadStream);
    if (error != GpuErr::Success) {
        gpu.getLastError();
        VLOG_ERROR("Final processing kernel failed: %s", gpu.getErrorString(error));
        return false;
    }

    const GpuMemcpyKind downloadKind = copyKindForBuffer(gpu, destinationPixels, true);
    const GpuStream downloadStream = downloadKind == GpuMemcpyDeviceToHost ? nullptr : stream;
    error = gpu.memcpy2DFromArrayAsync(destinationPixels, static_cast<std::size_t>(destinationRowBytes),
                                       result.array, 0, 0, rowBytes, static_cast<std::size_t>(height),
                                       downloadKind, downloadStream);
    if (error == GpuErr::Success) error = gpu.streamSynchronize(downloadStream);
    if (error != GpuErr::Success) {
        gpu.getLastError();
        VLOG_ERROR("Failed to copy result back to output buffer: %s (copyKind=%d)", gpu.getErrorString(error),
                   static_cast<int>(downloadKind));
        return false;
    }
    VLOG_DEBUG("Final processing completed successfully");
    return true;
}
