#include "render/GpuObjects.h"

#include "log/PluginLog.h"

GpuMemoryType queryMemoryType(GpuRuntime& gpu, const void* pointer, bool* queryFailed) {
    GpuPointerAttributes attributes;
    const GpuError error = gpu.pointerGetAttributes(&attributes, pointer);
    if (queryFailed) *queryFailed = error != GpuErr::Success;
    if (error != GpuErr::Success) {
        gpu.getLastError();
        return GpuMemoryTypeUnregistered;
    }
    return attributes.type;
}

GpuMemcpyKind copyKindForBuffer(GpuRuntime& gpu, const void* buffer, bool toBuffer) {
    bool failed = false;
    const GpuMemoryType type = queryMemoryType(gpu, buffer, &failed);
    if (failed) {
        VLOG_DEBUG("cudaPointerGetAttributes failed for %p, assuming device memory", buffer);
        return GpuMemcpyDeviceToDevice;
    }
    if (type == GpuMemoryTypeDevice || type == GpuMemoryTypeManaged) {
        VLOG_DEBUG("Buffer %p is device/managed memory (type=%d)", buffer, static_cast<int>(type));
        return GpuMemcpyDeviceToDevice;
    }
    if (toBuffer) {
        VLOG_DEBUG("Buffer %p is host memory (type=%d), using DeviceToHost", buffer, static_cast<int>(type));
        return GpuMemcpyDeviceToHost;
    }
    VLOG_DEBUG("Buffer %p is host memory (type=%d), using HostToDevice", buffer, static_cast<int>(type));
    return GpuMemcpyHostToDevice;
}

GpuError createArrayTexture(GpuRuntime& gpu, GpuArray array, GpuTextureObject* texture) {
    GpuResourceDesc resource;
    resource.type = GpuResourceTypeArray;
    resource.array = array;
    return gpu.createTextureObject(texture, resource, gpuStandardTextureDesc());
}

GpuError createPitchTexture(GpuRuntime& gpu, void* pixels, int width, int height, std::size_t pitchBytes,
                            GpuTextureObject* texture) {
    GpuResourceDesc resource;
    resource.type = GpuResourceTypePitch2D;
    resource.pitch2D.devPtr = pixels;
    resource.pitch2D.desc = gpuChannelDescFloat4();
    resource.pitch2D.width = static_cast<std::size_t>(width);
    resource.pitch2D.height = static_cast<std::size_t>(height);
    resource.pitch2D.pitchInBytes = pitchBytes;
    return gpu.createTextureObject(texture, resource, gpuStandardTextureDesc());
}

GpuError paddedRowPitch(GpuRuntime& gpu, int width, std::size_t* pitch) {
    *pitch = 0;
    std::size_t alignment = 0;
    const GpuError error = gpu.texturePitchAlignment(&alignment);
    if (error != GpuErr::Success) return error;
    const std::size_t packed = static_cast<std::size_t>(width > 0 ? width : 0) * kBytesPerPixel;
    *pitch = (packed + alignment - 1) / alignment * alignment;
    return GpuErr::Success;
}

GpuError createArraySurface(GpuRuntime& gpu, GpuArray array, GpuSurfaceObject* surface) {
    GpuResourceDesc resource;
    resource.type = GpuResourceTypeArray;
    resource.array = array;
    return gpu.createSurfaceObject(surface, resource);
}

GpuError mallocFloat4Array(GpuRuntime& gpu, GpuArray* array, int width, int height, unsigned flags) {
    return gpu.mallocArray(array, gpuChannelDescFloat4(), static_cast<std::size_t>(width),
                           static_cast<std::size_t>(height), flags);
}
