// Small kernels that exercise the launch, texture and surface paths of both backends.

#include "gpu/KernelCompat.h"
#include "probe_kernels.h"

namespace VELMORA_KERNEL_NS {

namespace {

__global__ void writeCoordsKernel(cudaSurfaceObject_t surface, int width, int height, int guarded) {
    const int x = (int)(blockIdx.x * blockDim.x + threadIdx.x);
    const int y = (int)(blockIdx.y * blockDim.y + threadIdx.y);
    if (guarded && (x >= width || y >= height)) return;
    const float4 value = make_float4((float)x, (float)y, (float)(blockIdx.x + 1000 * blockIdx.y),
                                     (float)(threadIdx.x + 100 * threadIdx.y));
    surf2Dwrite(value, surface, x * 16, y);
}

__global__ void sampleKernel(cudaTextureObject_t texture, const float* coords, float* out, int count) {
    const int i = (int)(blockIdx.x * blockDim.x + threadIdx.x);
    if (i >= count) return;
    const float4 v = tex2D<float4>(texture, coords[2 * i], coords[2 * i + 1]);
    out[4 * i + 0] = v.x;
    out[4 * i + 1] = v.y;
    out[4 * i + 2] = v.z;
    out[4 * i + 3] = v.w;
}

}  // namespace

int launchWriteCoords(void* stream, unsigned long long surface, int width, int height, unsigned gridX,
                      unsigned gridY, bool guarded) {
    VELMORA_LAUNCH(writeCoordsKernel, dim3(gridX, gridY, 1), dim3(16, 16, 1), stream, surface, width, height,
                   guarded ? 1 : 0);
    return VELMORA_LAUNCH_ERROR();
}

int launchSample(void* stream, unsigned long long texture, const float* coords, float* out, int count) {
    VELMORA_LAUNCH(sampleKernel, dim3((unsigned)(count + 63) / 64), dim3(64), stream, texture, coords, out,
                   count);
    return VELMORA_LAUNCH_ERROR();
}

int launchWithBlock(void* stream, unsigned long long surface, unsigned blockX, unsigned blockY) {
    VELMORA_LAUNCH(writeCoordsKernel, dim3(1, 1, 1), dim3(blockX, blockY, 1), stream, surface, 1, 1, 1);
    return VELMORA_LAUNCH_ERROR();
}

}  // namespace VELMORA_KERNEL_NS
