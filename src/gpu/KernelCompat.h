#pragma once

// Include first in every kernel .cu file. Under nvcc it is the CUDA runtime; under the C++ compiler
// it emulates the device side on the CPU for the host backend: vector types, thread and block
// indices, the CUDA math that C++ lacks, tex2D and surf2Dwrite over the host backend's objects,
// and a launch that runs the grid's blocks in parallel on the CPU's threads.
//
// Kernel sources put their code in `namespace VELMORA_KERNEL_NS` (cuda_impl or host_impl), so both
// builds of one source live in one library, and launch with
//     VELMORA_LAUNCH(kernel, grid, block, stream, args...);
//     return VELMORA_LAUNCH_ERROR();   // 0, or the launch's error code
// CUDA's vector types have no operators; kernels define their own helpers.

#include "gpu/GpuTypes.h"

#if defined(__CUDACC__)

#include <cuda_runtime.h>

#define VELMORA_KERNEL_NS cuda_impl
#define VELMORA_LAUNCH(kernel, grid, block, stream, ...) \
    kernel<<<(grid), (block), 0, (cudaStream_t)(stream)>>>(__VA_ARGS__)
// The launch's error stays pending, so the caller's getLastError still sees it.
#define VELMORA_LAUNCH_ERROR() (static_cast<int>(cudaPeekAtLastError()))

#else  // the CPU emulation

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <tuple>
#include <type_traits>
#include <utility>

#include "gpu/HostKernelSupport.h"

#define VELMORA_KERNEL_NS host_impl

#define __global__
#define __device__
#define __host__
#define __constant__
#define __forceinline__ inline
#define __launch_bounds__(...)
#if defined(_MSC_VER)
#define __restrict__ __restrict
#endif
// __shared__ is deliberately left undefined: blocks run their threads one after another, so
// shared memory and barriers between threads cannot be emulated.

// ---- vector types (sizes and alignments as CUDA's) ----
struct uint3 {
    unsigned int x, y, z;
};
struct alignas(8) uint2 {
    unsigned int x, y;
};
struct alignas(16) uint4 {
    unsigned int x, y, z, w;
};
struct alignas(8) int2 {
    int x, y;
};
struct int3 {
    int x, y, z;
};
struct alignas(16) int4 {
    int x, y, z, w;
};
struct alignas(8) float2 {
    float x, y;
};
struct float3 {
    float x, y, z;
};
struct alignas(16) float4 {
    float x, y, z, w;
};
struct alignas(4) uchar4 {
    unsigned char x, y, z, w;
};

struct dim3 {
    unsigned int x, y, z;
    constexpr dim3(unsigned int vx = 1, unsigned int vy = 1, unsigned int vz = 1) : x(vx), y(vy), z(vz) {}
    constexpr dim3(uint3 v) : x(v.x), y(v.y), z(v.z) {}
    constexpr operator uint3() const { return uint3{x, y, z}; }
};

inline uint2 make_uint2(unsigned int x, unsigned int y) {
    return uint2{x, y};
}
inline uint3 make_uint3(unsigned int x, unsigned int y, unsigned int z) {
    return uint3{x, y, z};
}
inline uint4 make_uint4(unsigned int x, unsigned int y, unsigned int z, unsigned int w) {
    return uint4{x, y, z, w};
}
inline int2 make_int2(int x, int y) {
    return int2{x, y};
}
inline int3 make_int3(int x, int y, int z) {
    return int3{x, y, z};
}
inline int4 make_int4(int x, int y, int z, int w) {
    return int4{x, y, z, w};
}
inline float2 make_float2(float x, float y) {
    return float2{x, y};
}
inline float3 make_float3(float x, float y, float z) {
    return float3{x, y, z};
}
inline float4 make_float4(float x, float y, float z, float w) {
    return float4{x, y, z, w};
}
inline uchar4 make_uchar4(unsigned char x, unsigned char y, unsigned char z, unsigned char w) {
    return uchar4{x, y, z, w};
}

// ---- built-in variables, per CPU thread, set by the launch ----
inline thread_local uint3 threadIdx{0, 0, 0};
inline thread_local uint3 blockIdx{0, 0, 0};
inline thread_local dim3 blockDim{1, 1, 1};
inline thread_local dim3 gridDim{1, 1, 1};

// ---- runtime types a kernel source may name ----
typedef unsigned long long cudaTextureObject_t;
typedef unsigned long long cudaSurfaceObject_t;
typedef GpuStream cudaStream_t;
typedef int cudaError_t;
constexpr cudaError_t cudaSuccess = 0;

enum cudaSurfaceBoundaryMode {
    cudaBoundaryModeZero = velmora_emu::SurfaceBoundaryZero,
    cudaBoundaryModeClamp = velmora_emu::SurfaceBoundaryClamp,
    cudaBoundaryModeTrap = velmora_emu::SurfaceBoundaryTrap,
};

// ---- synchronisation (one thread runs at a time within a block) ----
inline void __syncthreads() {}
inline void __threadfence() {}

// ---- math that CUDA has and C++ lacks ----
inline float __expf(float x) {
    return std::exp(x);
}
inline float __exp10f(float x) {
    return std::pow(10.0f, x);
}
inline float __logf(float x) {
    return std::log(x);
}
inline float __log2f(float x) {
    return std::log2(x);
}
inline float __log10f(float x) {
    return std::log10(x);
}
inline float __powf(float x, float y) {
    return std::pow(x, y);
}
inline float __sinf(float x) {
    return std::sin(x);
}
inline float __cosf(float x) {
    return std::cos(x);
}
inline float __tanf(float x) {
    return std::tan(x);
}
inline void __sincosf(float x, float* s, float* c) {
    *s = std::sin(x);
    *c = std::cos(x);
}
inline float __fdividef(float x, float y) {
    return x / y;
}
inline float __frcp_rn(float x) {
    return 1.0f / x;
}
inline float __fsqrt_rn(float x) {
    return std::sqrt(x);
}
inline float __fadd_rn(float x, float y) {
    return x + y;
}
inline float __fmul_rn(float x, float y) {
    return x * y;
}
inline float __fmaf_rn(float x, float y, float z) {
    return std::fma(x, y, z);
}
inline float rsqrtf(float x) {
    return 1.0f / std::sqrt(x);
}
inline float __saturatef(float x) {
    return x > 0.0f ? (x < 1.0f ? x : 1.0f) : 0.0f;
}  // NaN -> 0
inline int __float2int_rn(float x) {
    return static_cast<int>(std::nearbyint(x));
}
inline int __float2int_rz(float x) {
    return static_cast<int>(x);
}
inline int __float2int_rd(float x) {
    return static_cast<int>(std::floor(x));
}
inline int __float2int_ru(float x) {
    return static_cast<int>(std::ceil(x));
}
inline unsigned int __float2uint_rn(float x) {
    return static_cast<unsigned int>(std::nearbyint(x));
}
inline unsigned int __float2uint_rz(float x) {
    return static_cast<unsigned int>(x);
}
inline float __int2float_rn(int x) {
    return static_cast<float>(x);
}
inline float __uint2float_rn(unsigned int x) {
    return static_cast<float>(x);
}
inline int __float_as_int(float x) {
    int i;
    std::memcpy(&i, &x, sizeof i);
    return i;
}
inline unsigned int __float_as_uint(float x) {
    unsigned int i;
    std::memcpy(&i, &x, sizeof i);
    return i;
}
inline float __int_as_float(int i) {
    float x;
    std::memcpy(&x, &i, sizeof x);
    return x;
}
inline float __uint_as_float(unsigned int i) {
    float x;
    std::memcpy(&x, &i, sizeof x);
    return x;
}
template <class T>
inline T __ldg(const T* p) {
    return *p;
}
inline int __popc(unsigned int x) {
    int n = 0;
    for (; x; x &= x - 1) ++n;
    return n;
}
inline int min(int a, int b) {
    return a < b ? a : b;
}
inline int max(int a, int b) {
    return a > b ? a : b;
}
inline unsigned int min(unsigned int a, unsigned int b) {
    return a < b ? a : b;
}
inline unsigned int max(unsigned int a, unsigned int b) {
    return a > b ? a : b;
}
inline long long min(long long a, long long b) {
    return a < b ? a : b;
}
inline long long max(long long a, long long b) {
    return a > b ? a : b;
}
inline float min(float a, float b) {
    return std::fmin(a, b);
}
inline float max(float a, float b) {
    return std::fmax(a, b);
}

// ---- atomics on global memory ----
inline int atomicAdd(int* address, int value) {
    return reinterpret_cast<std::atomic<int>*>(address)->fetch_add(value);
}
inline unsigned int atomicAdd(unsigned int* address, unsigned int value) {
    return reinterpret_cast<std::atomic<unsigned int>*>(address)->fetch_add(value);
}
inline float atomicAdd(float* address, float value) {
    std::atomic<float>* a = reinterpret_cast<std::atomic<float>*>(address);
    float old = a->load();
    while (!a->compare_exchange_weak(old, old + value)) {
    }
    return old;
}
inline int atomicMax(int* address, int value) {
    std::atomic<int>* a = reinterpret_cast<std::atomic<int>*>(address);
    int old = a->load();
    while (old < value && !a->compare_exchange_weak(old, value)) {
    }
    return old;
}
inline int atomicMin(int* address, int value) {
    std::atomic<int>* a = reinterpret_cast<std::atomic<int>*>(address);
    int old = a->load();
    while (old > value && !a->compare_exchange_weak(old, value)) {
    }
    return old;
}
inline int atomicExch(int* address, int value) {
    return reinterpret_cast<std::atomic<int>*>(address)->exchange(value);
}

// ---- textures and surfaces ----
// Element-type reads of float textures with the texture's filtering and addressing. Handle 0 reads
// zero; a destroyed or unknown handle reads zero and faults the launch.
template <class T>
T tex2D(cudaTextureObject_t texture, float x, float y);

template <>
inline float4 tex2D<float4>(cudaTextureObject_t texture, float x, float y) {
    float v[4];
    velmora_emu::sampleTexture2D(texture, x, y, v);
    return float4{v[0], v[1], v[2], v[3]};
}
template <>
inline float2 tex2D<float2>(cudaTextureObject_t texture, float x, float y) {
    float v[4];
    velmora_emu::sampleTexture2D(texture, x, y, v);
    return float2{v[0], v[1]};
}
template <>
inline float tex2D<float>(cudaTextureObject_t texture, float x, float y) {
    float v[4];
    velmora_emu::sampleTexture2D(texture, x, y, v);
    return v[0];
}

// Surface access at byte column x, row y. Out of range: trap faults the launch (nothing is
// written), zero drops the write (reads give zero), clamp moves to the nearest element.
template <class T>
inline void surf2Dwrite(T value, cudaSurfaceObject_t surface, int x, int y,
                        cudaSurfaceBoundaryMode mode = cudaBoundaryModeTrap) {
    static_assert(std::is_trivially_copyable<T>::value, "surface elements are plain values");
    unsigned char* p = velmora_emu::surfaceAddress(surface, x, y, sizeof(T), mode);
    if (p) std::memcpy(p, &value, sizeof(T));
}

template <class T>
inline T surf2Dread(cudaSurfaceObject_t surface, int x, int y,
                    cudaSurfaceBoundaryMode mode = cudaBoundaryModeTrap) {
    static_assert(std::is_trivially_copyable<T>::value, "surface elements are plain values");
    T value;
    std::memset(&value, 0, sizeof(T));
    const unsigned char* p = velmora_emu::surfaceAddress(surface, x, y, sizeof(T), mode);
    if (p) std::memcpy(&value, p, sizeof(T));
    return value;
}

// ---- launch ----
namespace velmora_emu {

// Evaluates the arguments once, then runs every thread of every block: blocks in parallel, the
// threads of one block in a loop on one CPU thread. Kernel parameters taken by const reference see
// the launch's single copy; parameters taken by value are copied per thread, as on the GPU.
template <class Body, class... Args>
void launchKernel(GpuStream stream, dim3 grid, dim3 block, const Body& body, Args&&... args) {
    const std::tuple<std::decay_t<Args>...> bound(std::forward<Args>(args)...);
    const unsigned gridSize[3] = {grid.x, grid.y, grid.z};
    const unsigned blockSize[3] = {block.x, block.y, block.z};
    launchGrid(stream, gridSize, blockSize, [&](unsigned bx, unsigned by, unsigned bz) {
        ::gridDim = grid;
        ::blockDim = block;
        ::blockIdx = uint3{bx, by, bz};
        for (unsigned z = 0; z < block.z; ++z) {
            for (unsigned y = 0; y < block.y; ++y) {
                for (unsigned x = 0; x < block.x; ++x) {
                    ::threadIdx = uint3{x, y, z};
                    std::apply(body, bound);
                }
            }
        }
    });
}

}  // namespace velmora_emu

#define VELMORA_LAUNCH(kernel, grid, block, stream, ...)                                                \
    ::velmora_emu::launchKernel((GpuStream)(stream), dim3(grid), dim3(block),                           \
                                [](const auto&... velmoraLaunchArgs) { kernel(velmoraLaunchArgs...); }, \
                                __VA_ARGS__)
#define VELMORA_LAUNCH_ERROR() (::velmora_emu::peekLastError())

#endif
