// The cuda backend: each operation maps onto NVIDIA's runtime of the same name.

#include <cuda_runtime.h>

#include <cstring>
#include <string>

#include "gpu/GpuRuntime.h"

static_assert(GpuErr::InvalidValue == cudaErrorInvalidValue, "error codes follow cudaError_t");
static_assert(GpuErr::MemoryAllocation == cudaErrorMemoryAllocation, "error codes follow cudaError_t");
static_assert(GpuErr::InitializationError == cudaErrorInitializationError, "error codes follow cudaError_t");
static_assert(GpuErr::InvalidConfiguration == cudaErrorInvalidConfiguration,
              "error codes follow cudaError_t");
static_assert(GpuErr::InvalidPitchValue == cudaErrorInvalidPitchValue, "error codes follow cudaError_t");
static_assert(GpuErr::InvalidChannelDescriptor == cudaErrorInvalidChannelDescriptor,
              "error codes follow cudaError_t");
static_assert(GpuErr::InvalidMemcpyDirection == cudaErrorInvalidMemcpyDirection,
              "error codes follow cudaError_t");
static_assert(GpuErr::InvalidFilterSetting == cudaErrorInvalidFilterSetting,
              "error codes follow cudaError_t");
static_assert(GpuErr::InvalidNormSetting == cudaErrorInvalidNormSetting, "error codes follow cudaError_t");
static_assert(GpuErr::StubLibrary == cudaErrorStubLibrary, "error codes follow cudaError_t");
static_assert(GpuErr::InsufficientDriver == cudaErrorInsufficientDriver, "error codes follow cudaError_t");
static_assert(GpuErr::NoDevice == cudaErrorNoDevice, "error codes follow cudaError_t");
static_assert(GpuErr::InvalidDevice == cudaErrorInvalidDevice, "error codes follow cudaError_t");
static_assert(GpuErr::InvalidResourceHandle == cudaErrorInvalidResourceHandle,
              "error codes follow cudaError_t");
static_assert(GpuErr::NotReady == cudaErrorNotReady, "error codes follow cudaError_t");
static_assert(GpuErr::IllegalAddress == cudaErrorIllegalAddress, "error codes follow cudaError_t");
static_assert(GpuErr::HostMemoryAlreadyRegistered == cudaErrorHostMemoryAlreadyRegistered,
              "error codes follow cudaError_t");
static_assert(GpuErr::HostMemoryNotRegistered == cudaErrorHostMemoryNotRegistered,
              "error codes follow cudaError_t");
static_assert(GpuErr::MisalignedAddress == cudaErrorMisalignedAddress, "error codes follow cudaError_t");
static_assert(GpuErr::LaunchFailure == cudaErrorLaunchFailure, "error codes follow cudaError_t");
static_assert(GpuErr::NotSupported == cudaErrorNotSupported, "error codes follow cudaError_t");
static_assert(GpuErr::Unknown == cudaErrorUnknown, "error codes follow cudaError_t");
#define VELMORA_SAME_VALUE(ours, cuda) static_assert(static_cast<int>(ours) == static_cast<int>(cuda), #ours)
VELMORA_SAME_VALUE(GpuAddressModeWrap, cudaAddressModeWrap);
VELMORA_SAME_VALUE(GpuAddressModeClamp, cudaAddressModeClamp);
VELMORA_SAME_VALUE(GpuAddressModeMirror, cudaAddressModeMirror);
VELMORA_SAME_VALUE(GpuAddressModeBorder, cudaAddressModeBorder);
VELMORA_SAME_VALUE(GpuFilterModePoint, cudaFilterModePoint);
VELMORA_SAME_VALUE(GpuFilterModeLinear, cudaFilterModeLinear);
VELMORA_SAME_VALUE(GpuReadModeElementType, cudaReadModeElementType);
VELMORA_SAME_VALUE(GpuReadModeNormalizedFloat, cudaReadModeNormalizedFloat);
VELMORA_SAME_VALUE(GpuMemcpyHostToHost, cudaMemcpyHostToHost);
VELMORA_SAME_VALUE(GpuMemcpyHostToDevice, cudaMemcpyHostToDevice);
VELMORA_SAME_VALUE(GpuMemcpyDeviceToHost, cudaMemcpyDeviceToHost);
VELMORA_SAME_VALUE(GpuMemcpyDeviceToDevice, cudaMemcpyDeviceToDevice);
VELMORA_SAME_VALUE(GpuMemcpyDefault, cudaMemcpyDefault);
VELMORA_SAME_VALUE(GpuMemoryTypeUnregistered, cudaMemoryTypeUnregistered);
VELMORA_SAME_VALUE(GpuMemoryTypeHost, cudaMemoryTypeHost);
VELMORA_SAME_VALUE(GpuMemoryTypeDevice, cudaMemoryTypeDevice);
VELMORA_SAME_VALUE(GpuMemoryTypeManaged, cudaMemoryTypeManaged);
VELMORA_SAME_VALUE(GpuArraySurfaceLoadStore, cudaArraySurfaceLoadStore);
VELMORA_SAME_VALUE(GpuStreamNonBlocking, cudaStreamNonBlocking);
VELMORA_SAME_VALUE(GpuResourceTypeArray, cudaResourceTypeArray);
VELMORA_SAME_VALUE(GpuResourceTypeMipmappedArray, cudaResourceTypeMipmappedArray);
VELMORA_SAME_VALUE(GpuResourceTypeLinear, cudaResourceTypeLinear);
VELMORA_SAME_VALUE(GpuResourceTypePitch2D, cudaResourceTypePitch2D);
VELMORA_SAME_VALUE(GpuChannelFormatKindSigned, cudaChannelFormatKindSigned);
VELMORA_SAME_VALUE(GpuChannelFormatKindUnsigned, cudaChannelFormatKindUnsigned);
VELMORA_SAME_VALUE(GpuChannelFormatKindFloat, cudaChannelFormatKindFloat);
VELMORA_SAME_VALUE(GpuChannelFormatKindNone, cudaChannelFormatKindNone);
#undef VELMORA_SAME_VALUE
static_assert(sizeof(GpuTextureObject) == sizeof(cudaTextureObject_t), "64-bit object handles");

namespace {

cudaStream_t toCuda(GpuStream s) {
    return reinterpret_cast<cudaStream_t>(s);
}
cudaArray_t toCuda(GpuArray a) {
    return reinterpret_cast<cudaArray_t>(a);
}
cudaEvent_t toCuda(GpuEvent e) {
    return reinterpret_cast<cudaEvent_t>(e);
}
cudaMemcpyKind toCuda(GpuMemcpyKind k) {
    return static_cast<cudaMemcpyKind>(k);
}
GpuError err(cudaError_t e) {
    return static_cast<GpuError>(e);
}

cudaChannelFormatDesc toCuda(const GpuChannelDesc& d) {
    return cudaCreateChannelDesc(d.x, d.y, d.z, d.w, static_cast<cudaChannelFormatKind>(d.f));
}

GpuChannelDesc fromCuda(const cudaChannelFormatDesc& d) {
    GpuChannelDesc g;
    g.x = d.x;
    g.y = d.y;
    g.z = d.z;
    g.w = d.w;
    g.f = static_cast<GpuChannelFormatKind>(d.f);
    return g;
}

cudaResourceDesc toCuda(const GpuResourceDesc& r) {
    cudaResourceDesc c;
    std::memset(&c, 0, sizeof c);
    c.resType = static_cast<cudaResourceType>(r.type);
    switch (r.type) {
        case GpuResourceTypeArray:
            c.res.array.array = toCuda(r.array);
            break;
        case GpuResourceTypeLinear:
            c.res.linear.devPtr = r.linear.devPtr;
            c.res.linear.desc = toCuda(r.linear.desc);
            c.res.linear.sizeInBytes = r.linear.sizeInBytes;
            break;
        case GpuResourceTypePitch2D:
            c.res.pitch2D.devPtr = r.pitch2D.devPtr;
            c.res.pitch2D.desc = toCuda(r.pitch2D.desc);
            c.res.pitch2D.width = r.pitch2D.width;
            c.res.pitch2D.height = r.pitch2D.height;
            c.res.pitch2D.pitchInBytes = r.pitch2D.pitchInBytes;
            break;
        default:
            break;
    }
    return c;
}

GpuResourceDesc fromCuda(const cudaResourceDesc& c) {
    GpuResourceDesc r;
    r.type = static_cast<GpuResourceType>(c.resType);
    switch (c.resType) {
        case cudaResourceTypeArray:
            r.array = reinterpret_cast<GpuArray>(c.res.array.array);
            break;
        case cudaResourceTypeLinear:
            r.linear.devPtr = c.res.linear.devPtr;
            r.linear.desc = fromCuda(c.res.linear.desc);
            r.linear.sizeInBytes = c.res.linear.sizeInBytes;
            break;
        case cudaResourceTypePitch2D:
            r.pitch2D.devPtr = c.res.pitch2D.devPtr;
            r.pitch2D.desc = fromCuda(c.res.pitch2D.desc);
            r.pitch2D.width = c.res.pitch2D.width;
            r.pitch2D.height = c.res.pitch2D.height;
            r.pitch2D.pitchInBytes = c.res.pitch2D.pitchInBytes;
            break;
        default:
            break;
    }
    return r;
}

cudaTextureDesc toCuda(const GpuTextureDesc& d) {
    cudaTextureDesc c;
    std::memset(&c, 0, sizeof c);
    for (int i = 0; i < 3; ++i) c.addressMode[i] = static_cast<cudaTextureAddressMode>(d.addressMode[i]);
    c.filterMode = static_cast<cudaTextureFilterMode>(d.filterMode);
    c.readMode = static_cast<cudaTextureReadMode>(d.readMode);
    c.sRGB = d.sRGB;
    for (int i = 0; i < 4; ++i) c.borderColor[i] = d.borderColor[i];
    c.normalizedCoords = d.normalizedCoords;
    c.maxAnisotropy = d.maxAnisotropy;
    return c;
}

class CudaRuntime final : public GpuRuntime {
  public:
    GpuBackendKind kind() const override { return GpuBackendKind::Cuda; }
    const char* name() const override { return "cuda"; }

    GpuError malloc(void** p, std::size_t bytes) override { return err(cudaMalloc(p, bytes)); }
    GpuError free(void* p) override { return err(cudaFree(p)); }
    GpuError memset(void* p, int value, std::size_t bytes) override {
        return err(cudaMemset(p, value, bytes));
    }

    GpuError mallocArray(GpuArray* array, const GpuChannelDesc& desc, std::size_t width, std::size_t height,
                         unsigned flags) override {
        if (!array) return err(cudaErrorInvalidValue);
        const cudaChannelFormatDesc c = toCuda(desc);
        cudaArray_t a = nullptr;
        const cudaError_t e = cudaMallocArray(&a, &c, width, height, flags);
        *array = reinterpret_cast<GpuArray>(a);
        return err(e);
    }
    GpuError freeArray(GpuArray array) override { return err(cudaFreeArray(toCuda(array))); }
    GpuError arrayGetInfo(GpuChannelDesc* desc, GpuExtent* extent, unsigned* flags, GpuArray array) override {
        cudaChannelFormatDesc c;
        cudaExtent x;
        unsigned f = 0;
        const cudaError_t e = cudaArrayGetInfo(&c, &x, &f, toCuda(array));
        if (e == cudaSuccess) {
            if (desc) *desc = fromCuda(c);
            if (extent) {
                extent->width = x.width;
                extent->height = x.height;
                extent->depth = x.depth;
            }
            if (flags) *flags = f;
        }
        return err(e);
    }

    GpuError createTextureObject(GpuTextureObject* texture, const GpuResourceDesc& resource,
                                 const GpuTextureDesc& desc) override {
        if (!texture) return err(cudaErrorInvalidValue);
        const cudaResourceDesc r = toCuda(resource);
        const cudaTextureDesc t = toCuda(desc);
        cudaTextureObject_t object = 0;
        const cudaError_t e = cudaCreateTextureObject(&object, &r, &t, nullptr);
        *texture = e == cudaSuccess ? object : 0;
        return err(e);
    }
    GpuError destroyTextureObject(GpuTextureObject texture) override {
        return err(cudaDestroyTextureObject(texture));
    }
    GpuError getTextureObjectResourceDesc(GpuResourceDesc* resource, GpuTextureObject texture) override {
        if (!resource) return err(cudaErrorInvalidValue);
        cudaResourceDesc r;
        std::memset(&r, 0, sizeof r);
        const cudaError_t e = cudaGetTextureObjectResourceDesc(&r, texture);
        if (e == cudaSuccess) *resource = fromCuda(r);
        return err(e);
    }
    GpuError createSurfaceObject(GpuSurfaceObject* surface, const GpuResourceDesc& resource) override {
        if (!surface) return err(cudaErrorInvalidValue);
        const cudaResourceDesc r = toCuda(resource);
        cudaSurfaceObject_t object = 0;
        const cudaError_t e = cudaCreateSurfaceObject(&object, &r);
        *surface = e == cudaSuccess ? object : 0;
        return err(e);
    }
    GpuError destroySurfaceObject(GpuSurfaceObject surface) override {
        return err(cudaDestroySurfaceObject(surface));
    }

    GpuError memcpy(void* dst, const void* src, std::size_t bytes, GpuMemcpyKind kind) override {
        return err(cudaMemcpy(dst, src, bytes, toCuda(kind)));
    }
    GpuError memcpyAsync(void* dst, const void* src, std::size_t bytes, GpuMemcpyKind kind,
                         GpuStream stream) override {
        return err(cudaMemcpyAsync(dst, src, bytes, toCuda(kind), toCuda(stream)));
    }
    GpuError memcpy2D(void* dst, std::size_t dpitch, const void* src, std::size_t spitch,
                      std::size_t widthBytes, std::size_t height, GpuMemcpyKind kind) override {
        return err(cudaMemcpy2D(dst, dpitch, src, spitch, widthBytes, height, toCuda(kind)));
    }
    GpuError memcpy2DAsync(void* dst, std::size_t dpitch, const void* src, std::size_t spitch,
                           std::size_t widthBytes, std::size_t height, GpuMemcpyKind kind,
                           GpuStream stream) override {
        return err(
            cudaMemcpy2DAsync(dst, dpitch, src, spitch, widthBytes, height, toCuda(kind), toCuda(stream)));
    }
    GpuError memcpy2DToArray(GpuArray dst, std::size_t wOffset, std::size_t hOffset, const void* src,
                             std::size_t spitch, std::size_t widthBytes, std::size_t height,
                             GpuMemcpyKind kind) override {
        return err(cudaMemcpy2DToArray(toCuda(dst), wOffset, hOffset, src, spitch, widthBytes, height,
                                       toCuda(kind)));
    }
    GpuError memcpy2DToArrayAsync(GpuArray dst, std::size_t wOffset, std::size_t hOffset, const void* src,
                                  std::size_t spitch, std::size_t widthBytes, std::size_t height,
                                  GpuMemcpyKind kind, GpuStream stream) override {
        return err(cudaMemcpy2DToArrayAsync(toCuda(dst), wOffset, hOffset, src, spitch, widthBytes, height,
                                            toCuda(kind), toCuda(stream)));
    }
    GpuError memcpy2DFromArray(void* dst, std::size_t dpitch, GpuArray src, std::size_t wOffset,
                               std::size_t hOffset, std::size_t widthBytes, std::size_t height,
                               GpuMemcpyKind kind) override {
        return err(cudaMemcpy2DFromArray(dst, dpitch, toCuda(src), wOffset, hOffset, widthBytes, height,
                                         toCuda(kind)));
    }
    GpuError memcpy2DFromArrayAsync(void* dst, std::size_t dpitch, GpuArray src, std::size_t wOffset,
                                    std::size_t hOffset, std::size_t widthBytes, std::size_t height,
                                    GpuMemcpyKind kind, GpuStream stream) override {
        return err(cudaMemcpy2DFromArrayAsync(dst, dpitch, toCuda(src), wOffset, hOffset, widthBytes, height,
                                              toCuda(kind), toCuda(stream)));
    }

    GpuError pointerGetAttributes(GpuPointerAttributes* attributes, const void* ptr) override {
        if (!attributes) return err(cudaErrorInvalidValue);
        cudaPointerAttributes a;
        std::memset(&a, 0, sizeof a);
        const cudaError_t e = cudaPointerGetAttributes(&a, ptr);
        *attributes = GpuPointerAttributes();
        if (e == cudaSuccess) {
            attributes->type = static_cast<GpuMemoryType>(a.type);
            attributes->device = a.device;
            attributes->devicePointer = a.devicePointer;
            attributes->hostPointer = a.hostPointer;
        }
        return err(e);
    }
    GpuError hostRegister(void* ptr, std::size_t bytes, unsigned flags) override {
        return err(cudaHostRegister(ptr, bytes, flags));
    }
    GpuError hostUnregister(void* ptr) override { return err(cudaHostUnregister(ptr)); }

    GpuError eventCreate(GpuEvent* event) override {
        if (!event) return err(cudaErrorInvalidValue);
        cudaEvent_t e = nullptr;
        const cudaError_t r = cudaEventCreate(&e);
        *event = reinterpret_cast<GpuEvent>(e);
        return err(r);
    }
    GpuError eventRecord(GpuEvent event, GpuStream stream) override {
        return err(cudaEventRecord(toCuda(event), toCuda(stream)));
    }
    GpuError eventSynchronize(GpuEvent event) override { return err(cudaEventSynchronize(toCuda(event))); }
    GpuError eventElapsedTime(float* ms, GpuEvent start, GpuEvent end) override {
        return err(cudaEventElapsedTime(ms, toCuda(start), toCuda(end)));
    }
    GpuError eventDestroy(GpuEvent event) override { return err(cudaEventDestroy(toCuda(event))); }

    GpuError streamCreateWithFlags(GpuStream* stream, unsigned flags) override {
        if (!stream) return err(cudaErrorInvalidValue);
        cudaStream_t s = nullptr;
        const cudaError_t e = cudaStreamCreateWithFlags(&s, flags);
        *stream = reinterpret_cast<GpuStream>(s);
        return err(e);
    }
    GpuError streamSynchronize(GpuStream stream) override {
        return err(cudaStreamSynchronize(toCuda(stream)));
    }
    GpuError streamDestroy(GpuStream stream) override { return err(cudaStreamDestroy(toCuda(stream))); }
    GpuError deviceSynchronize() override { return err(cudaDeviceSynchronize()); }
    GpuError texturePitchAlignment(std::size_t* bytes) override {
        if (!bytes) return err(cudaErrorInvalidValue);
        int device = 0;
        cudaError_t e = cudaGetDevice(&device);
        int value = 0;
        if (e == cudaSuccess) e = cudaDeviceGetAttribute(&value, cudaDevAttrTexturePitchAlignment, device);
        if (e == cudaSuccess && value <= 0) e = cudaErrorInvalidValue;
        *bytes = e == cudaSuccess ? static_cast<std::size_t>(value) : 0;
        return err(e);
    }

    GpuError getLastError() override { return err(cudaGetLastError()); }
    GpuError peekAtLastError() override { return err(cudaPeekAtLastError()); }
    const char* getErrorString(GpuError error) const override {
        return cudaGetErrorString(static_cast<cudaError_t>(error));
    }
};

}  // namespace

GpuRuntime& cudaGpuRuntime() {
    static CudaRuntime runtime;
    return runtime;
}

bool cudaDeviceUsable(std::string* status) {
    std::string text;
    bool usable = false;
    int count = 0;
    cudaError_t e = cudaGetDeviceCount(&count);
    if (e != cudaSuccess) {
        text = cudaGetErrorString(e);
    } else if (count <= 0) {
        text = "no CUDA-capable device is detected";
    } else {
        cudaDeviceProp p;
        std::memset(&p, 0, sizeof p);
        e = cudaGetDeviceProperties(&p, 0);
        if (e == cudaSuccess) e = cudaFree(nullptr);  // creates the context
        if (e != cudaSuccess) {
            text = cudaGetErrorString(e);
        } else {
            usable = true;
            text = std::string("device 0: ") + p.name + ", compute capability " + std::to_string(p.major) +
                   "." + std::to_string(p.minor) + ", " + std::to_string(count) + " device(s)";
        }
    }
    cudaGetLastError();  // a failed probe leaves no pending error behind
    if (status) *status = text;
    return usable;
}
