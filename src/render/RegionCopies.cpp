#include "render/RegionCopies.h"

#include "log/PluginLog.h"
#include "render/GpuObjects.h"

namespace {

// Runs copy(rect, kind, stream) for every rectangle, then waits for the copies.
template <class Copy>
bool copyRects(GpuRuntime& gpu, GpuStream stream, void* dst, const std::vector<TileMap::Rect>& rects,
               const Copy& copy) {
    if (rects.empty()) return true;
    const GpuMemcpyKind kind = copyKindForBuffer(gpu, dst, true);
    GpuStream copyStream = stream;
    if (kind == GpuMemcpyDeviceToHost) {
        // The passes wrote on `stream`; host memory is copied on the default stream after them.
        if (stream) gpu.streamSynchronize(stream);
        copyStream = nullptr;
    }
    GpuError error = GpuErr::Success;
    for (const TileMap::Rect& r : rects) {
        error = copy(r, kind, copyStream);
        if (error != GpuErr::Success) break;
    }
    if (error == GpuErr::Success) error = gpu.streamSynchronize(copyStream);
    if (error != GpuErr::Success) {
        gpu.getLastError();
        VLOG_ERROR("Region copy failed: %s (copyKind=%d)", gpu.getErrorString(error), static_cast<int>(kind));
        return false;
    }
    return true;
}

unsigned char* at(void* base, int pitch, int x, int y) {
    return static_cast<unsigned char*>(base) + static_cast<std::size_t>(y) * static_cast<std::size_t>(pitch) +
           static_cast<std::size_t>(x) * kBytesPerPixel;
}

}  // namespace

bool copyArrayRects(GpuRuntime& gpu, GpuStream stream, GpuArray array, void* dst, int dstPitch,
                    const std::vector<TileMap::Rect>& rects) {
    return copyRects(gpu, stream, dst, rects, [&](const TileMap::Rect& r, GpuMemcpyKind kind, GpuStream s) {
        return gpu.memcpy2DFromArrayAsync(at(dst, dstPitch, r.x0, r.y0), static_cast<std::size_t>(dstPitch),
                                          array, static_cast<std::size_t>(r.x0) * kBytesPerPixel,
                                          static_cast<std::size_t>(r.y0),
                                          static_cast<std::size_t>(r.x1 - r.x0) * kBytesPerPixel,
                                          static_cast<std::size_t>(r.y1 - r.y0), kind, s);
    });
}

bool copyTextureRects(GpuRuntime& gpu, GpuStream stream, GpuTextureObject texture, void* dst, int dstPitch,
                      const std::vector<TileMap::Rect>& rects) {
    if (rects.empty()) return true;
    GpuResourceDesc resource;
    if (!texture || gpu.getTextureObjectResourceDesc(&resource, texture) != GpuErr::Success) {
        gpu.getLastError();
        VLOG_ERROR("Region copy: the source texture cannot be read");
        return false;
    }
    // The rectangles must lie in the image: the texture may be a stand-in of another size.
    int right = 0, top = 0;
    for (const TileMap::Rect& r : rects) {
        right = r.x1 > right ? r.x1 : right;
        top = r.y1 > top ? r.y1 : top;
    }
    std::size_t width = 0, height = 0;
    if (resource.type == GpuResourceTypeArray) {
        GpuChannelDesc desc;
        GpuExtent extent;
        unsigned flags = 0;
        if (gpu.arrayGetInfo(&desc, &extent, &flags, resource.array) == GpuErr::Success) {
            width = extent.width;
            height = extent.height;
        }
        gpu.getLastError();
    } else if (resource.type == GpuResourceTypePitch2D) {
        width = resource.pitch2D.width;
        height = resource.pitch2D.height;
    }
    if (width < static_cast<std::size_t>(right) || height < static_cast<std::size_t>(top)) {
        VLOG_ERROR("Region copy: the source texture (%zux%zu, type %d) does not cover the frame", width,
                   height, static_cast<int>(resource.type));
        return false;
    }
    if (resource.type == GpuResourceTypeArray)
        return copyArrayRects(gpu, stream, resource.array, dst, dstPitch, rects);
    const auto& p = resource.pitch2D;
    const int srcPitch = static_cast<int>(p.pitchInBytes);
    return copyRects(gpu, stream, dst, rects, [&](const TileMap::Rect& r, GpuMemcpyKind kind, GpuStream s) {
        return gpu.memcpy2DAsync(at(dst, dstPitch, r.x0, r.y0), static_cast<std::size_t>(dstPitch),
                                 at(p.devPtr, srcPitch, r.x0, r.y0), p.pitchInBytes,
                                 static_cast<std::size_t>(r.x1 - r.x0) * kBytesPerPixel,
                                 static_cast<std::size_t>(r.y1 - r.y0), kind, s);
    });
}
