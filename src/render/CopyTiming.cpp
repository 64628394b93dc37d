#include "render/CopyTiming.h"

#include <atomic>

#include "log/PluginLog.h"
#include "render/GpuObjects.h"
#include "render/PinnedCache.h"

namespace {

thread_local double hostToDeviceMs = 0.0;
thread_local double deviceToHostMs = 0.0;
std::atomic<unsigned long long> copyFrame{0};

// Copies on the default stream between two events; the elapsed time when both exist.
GpuError timedCopy(GpuRuntime& gpu, void* dst, int dstPitchBytes, GpuArray array, int width, int height,
                   GpuMemcpyKind kind, double* milliseconds) {
    *milliseconds = 0.0;
    GpuEvent start = nullptr, end = nullptr;
    const bool timed = gpu.eventCreate(&start) == GpuErr::Success && gpu.eventCreate(&end) == GpuErr::Success;
    if (!timed) gpu.getLastError();
    if (timed) gpu.eventRecord(start, nullptr);
    const GpuError error = gpu.memcpy2DFromArrayAsync(dst, static_cast<std::size_t>(dstPitchBytes), array, 0,
                                                      0, static_cast<std::size_t>(width) * kBytesPerPixel,
                                                      static_cast<std::size_t>(height), kind, nullptr);
    if (timed) {
        gpu.eventRecord(end, nullptr);
        gpu.eventSynchronize(end);
        float elapsed = 0.0f;
        if (error == GpuErr::Success && gpu.eventElapsedTime(&elapsed, start, end) == GpuErr::Success) {
            *milliseconds = elapsed;
        }
    } else {
        gpu.streamSynchronize(nullptr);
    }
    if (start) gpu.eventDestroy(start);
    if (end) gpu.eventDestroy(end);
    return error;
}

}  // namespace

void addHostToDeviceCopyTime(double milliseconds) {
    hostToDeviceMs += milliseconds;
}

bool CopyTiming(GpuRuntime& gpu, GpuStream stream, GpuArray array, void* dst, int width, int height,
                int dstPitchBytes) {
    const GpuMemcpyKind kind = copyKindForBuffer(gpu, dst, true);
    if (kind == GpuMemcpyDeviceToHost) {
        if (stream) gpu.streamSynchronize(stream);
        const bool pinned = PinnedCache::instance().registerBuffer(
            dst, static_cast<std::size_t>(height) * static_cast<std::size_t>(dstPitchBytes));
        double ms = 0.0;
        const GpuError error = timedCopy(gpu, dst, dstPitchBytes, array, width, height, kind, &ms);
        if (error != GpuErr::Success) {
            VLOG_DEBUG("CopyTiming[%s]: copy failed — %s", "D2H", gpu.getErrorString(error));
            ms = 0.0;
        }
        deviceToHostMs += ms;
        const unsigned long long frame = ++copyFrame;
        VLOG_INFO("[CopyTiming] frame=%llu  H2D=%.2fms  D2H=%.2fms  total=%.2fms  pinned=%s", frame,
                  hostToDeviceMs, deviceToHostMs, hostToDeviceMs + deviceToHostMs, pinned ? "yes" : "no");
        hostToDeviceMs = 0.0;
        deviceToHostMs = 0.0;
        const GpuError pending = gpu.getLastError();
        if (error != GpuErr::Success || pending != GpuErr::Success) {
            const GpuError reported = error != GpuErr::Success ? error : pending;
            VLOG_ERROR("cudaMemcpy2DFromArray failed: %s (copyKind=%d)", gpu.getErrorString(reported),
                       static_cast<int>(kind));
            return false;
        }
        return true;
    }
    GpuError error = gpu.memcpy2DFromArrayAsync(dst, static_cast<std::size_t>(dstPitchBytes), array, 0, 0,
                                                static_cast<std::size_t>(width) * kBytesPerPixel,
                                                static_cast<std::size_t>(height), kind, stream);
    if (error == GpuErr::Success) error = gpu.streamSynchronize(stream);
    if (error != GpuErr::Success) {
        gpu.getLastError();
        VLOG_ERROR("cudaMemcpy2DFromArray failed: %s (copyKind=%d)", gpu.getErrorString(error),
                   static_cast<int>(kind));
        return false;
    }
    return true;
}
