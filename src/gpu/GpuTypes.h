#pragma once

// Neutral types of the GPU runtime layer. Host code uses these instead of cuda_runtime.h; every
// numeric value equals its CUDA runtime counterpart, so the cuda backend passes them straight through.

#include <cstddef>
#include <cstdint>

// Error codes: the values of cudaError_t for the codes this system meets.
using GpuError = int;

namespace GpuErr {
constexpr GpuError Success = 0;
constexpr GpuError InvalidValue = 1;
constexpr GpuError MemoryAllocation = 2;
constexpr GpuError InitializationError = 3;
constexpr GpuError InvalidConfiguration = 9;
constexpr GpuError InvalidPitchValue = 12;
constexpr GpuError InvalidDevicePointer = 17;
constexpr GpuError InvalidChannelDescriptor = 20;
constexpr GpuError InvalidMemcpyDirection = 21;
constexpr GpuError InvalidFilterSetting = 26;
constexpr GpuError InvalidNormSetting = 27;
constexpr GpuError StubLibrary = 34;
constexpr GpuError InsufficientDriver = 35;
constexpr GpuError NoDevice = 100;
constexpr GpuError InvalidDevice = 101;
constexpr GpuError InvalidResourceHandle = 400;
constexpr GpuError NotReady = 600;
constexpr GpuError IllegalAddress = 700;
constexpr GpuError HostMemoryAlreadyRegistered = 712;
constexpr GpuError HostMemoryNotRegistered = 713;
constexpr GpuError MisalignedAddress = 716;
constexpr GpuError LaunchFailure = 719;
constexpr GpuError NotSupported = 801;
constexpr GpuError Unknown = 999;
}  // namespace GpuErr

// Opaque handles. A null stream is the default stream.
struct GpuStreamHandle;
struct GpuArrayHandle;
struct GpuEventHandle;
using GpuStream = GpuStreamHandle*;
using GpuArray = GpuArrayHandle*;
using GpuEvent = GpuEventHandle*;

// 64-bit object handles as kernels receive them; 0 means none.
using GpuTextureObject = std::uint64_t;
using GpuSurfaceObject = std::uint64_t;

enum GpuChannelFormatKind : int {
    GpuChannelFormatKindSigned = 0,
    GpuChannelFormatKindUnsigned = 1,
    GpuChannelFormatKindFloat = 2,
    GpuChannelFormatKindNone = 3,
};

struct GpuChannelDesc {
    int x = 0, y = 0, z = 0, w = 0;  // bits per component
    GpuChannelFormatKind f = GpuChannelFormatKindNone;
};

// Four 32-bit float components: the format of every image of the render engine.
inline GpuChannelDesc gpuChannelDescFloat4() {
    GpuChannelDesc d;
    d.x = d.y = d.z = d.w = 32;
    d.f = GpuChannelFormatKindFloat;
    return d;
}

struct GpuExtent {
    std::size_t width = 0, height = 0, depth = 0;
};

// Array allocation flags.
constexpr unsigned GpuArrayDefault = 0x00;
constexpr unsigned GpuArraySurfaceLoadStore = 0x02;

enum GpuResourceType : int {
    GpuResourceTypeArray = 0,
    GpuResourceTypeMipmappedArray = 1,
    GpuResourceTypeLinear = 2,
    GpuResourceTypePitch2D = 3,
};

// What a texture or surface object views. Only the member matching `type` is read.
struct GpuResourceDesc {
    GpuResourceType type = GpuResourceTypeArray;
    GpuArray array = nullptr;
    struct Linear {
        void* devPtr = nullptr;
        GpuChannelDesc desc;
        std::size_t sizeInBytes = 0;
    } linear;
    struct Pitch2D {
        void* devPtr = nullptr;
        GpuChannelDesc desc;
        std::size_t width = 0, height = 0;  // in elements
        std::size_t pitchInBytes = 0;
    } pitch2D;
};

enum GpuAddressMode : int {
    GpuAddressModeWrap = 0,
    GpuAddressModeClamp = 1,
    GpuAddressModeMirror = 2,
    GpuAddressModeBorder = 3,
};

enum GpuFilterMode : int {
    GpuFilterModePoint = 0,
    GpuFilterModeLinear = 1,
};

enum GpuReadMode : int {
    GpuReadModeElementType = 0,
    GpuReadModeNormalizedFloat = 1,
};

struct GpuTextureDesc {
    GpuAddressMode addressMode[3] = {GpuAddressModeWrap, GpuAddressModeWrap, GpuAddressModeWrap};
    GpuFilterMode filterMode = GpuFilterModePoint;
    GpuReadMode readMode = GpuReadModeElementType;
    int sRGB = 0;
    float borderColor[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    int normalizedCoords = 0;
    unsigned maxAnisotropy = 0;
};

// The descriptor of every texture the render engine makes: clamp in x and y, wrap in z, linear
// filtering, element-type reads, normalized coordinates, everything else zero.
inline GpuTextureDesc gpuStandardTextureDesc() {
    GpuTextureDesc d;
    d.addressMode[0] = GpuAddressModeClamp;
    d.addressMode[1] = GpuAddressModeClamp;
    d.addressMode[2] = GpuAddressModeWrap;
    d.filterMode = GpuFilterModeLinear;
    d.readMode = GpuReadModeElementType;
    d.normalizedCoords = 1;
    return d;
}

enum GpuMemcpyKind : int {
    GpuMemcpyHostToHost = 0,
    GpuMemcpyHostToDevice = 1,
    GpuMemcpyDeviceToHost = 2,
    GpuMemcpyDeviceToDevice = 3,
    GpuMemcpyDefault = 4,
};

enum GpuMemoryType : int {
    GpuMemoryTypeUnregistered = 0,
    GpuMemoryTypeHost = 1,
    GpuMemoryTypeDevice = 2,
    GpuMemoryTypeManaged = 3,
};

struct GpuPointerAttributes {
    GpuMemoryType type = GpuMemoryTypeUnregistered;
    int device = 0;
    void* devicePointer = nullptr;
    void* hostPointer = nullptr;
};

// Stream and host-registration flags.
constexpr unsigned GpuStreamDefault = 0x00;
constexpr unsigned GpuStreamNonBlocking = 0x01;
constexpr unsigned GpuHostRegisterDefault = 0x00;

enum class GpuBackendKind { Cuda, Host };
