// Final processing (premultiply, global blend, the audio monitor) and matte injection.

#include "gpu/KernelCompat.h"
#include "kernels/AudioMonitorDraw.h"
#include "kernels/FinalProcessingLaunch.h"
#include "kernels/KernelDevice.h"

namespace VELMORA_KERNEL_NS {

namespace {

__device__ __forceinline__ float4 finalPixel(float4 p, int x, int y, unsigned long long sourceSurface,
                                             const SystemParameters& sys, const AudioMonitorRecord& monitor) {
    const bool monitorOn = monitor.monitorEnabled != 0;
    if (monitorOn) drawAudioMonitor(p, x, y, sys, monitor);
    if (sys.premultiplyOutput != 0) {
        p.x *= p.w;
        p.y *= p.w;
        p.z *= p.w;
    }
    // A blend below 0 would extrapolate away from the source; the control's range is 0 to 1.
    const float blend = fmaxf(sys.globalBlend, 0.0f);
    if (sys.globalBlend < 1.0f && sourceSurface != 0) {
        const float4 o = surf2Dread<float4>((cudaSurfaceObject_t)sourceSurface, x * 16, y);
        const float keep = 1.0f - blend;
        p = make_float4(p.x * blend + o.x * keep, p.y * blend + o.y * keep, p.z * blend + o.z * keep,
                        p.w * blend + o.w * keep);
    }
    if (monitorOn) p.w = 1.0f;
    if (monitor.analysisRunning != 0) drawAnalysisBanner(p, x, y, sys, monitor);
    return p;
}

__device__ __forceinline__ float matteAlpha(float4 t) {
    const float l = 0.2126f * t.x + 0.7152f * t.y + 0.0722f * t.z;
    // Not finite (NaN compares false, an infinity exceeds the largest float): no alpha.
    if (!(fabsf(l) <= 3.402823466e38f)) return 0.0f;
    return clampf(l, 0.0f, 1.0f);
}

}  // namespace

__global__ void applyFinalProcessingKernel(unsigned long long resultSurface, unsigned long long sourceSurface,
                                           VELMORA_RECORD(SystemParameters) sys,
                                           VELMORA_RECORD(AudioMonitorRecord) monitor) {
    const int x = (int)(blockIdx.x * blockDim.x + threadIdx.x);
    const int y = (int)(blockIdx.y * blockDim.y + threadIdx.y);
    if (x >= sys.width || y >= sys.height) return;
    const float4 p = surf2Dread<float4>((cudaSurfaceObject_t)resultSurface, x * 16, y);
    surf2Dwrite(finalPixel(p, x, y, sourceSurface, sys, monitor), (cudaSurfaceObject_t)resultSurface, x * 16,
                y);
}

__global__ void orbalt_matteInjectKernel(unsigned long long sourceTexture, unsigned long long matteTexture,
                                         unsigned long long outputSurface, int mode, int width, int height) {
    const int x = (int)(blockIdx.x * blockDim.x + threadIdx.x);
    const int y = (int)(blockIdx.y * blockDim.y + threadIdx.y);
    if (x >= width || y >= height) return;
    const float u = ((float)x + 0.5f) / (float)width;
    const float v = ((float)y + 0.5f) / (float)height;
    const float4 s = readTexture(sourceTexture, u, v);
    const float alpha = mode == kMatteInjectLuminance ? matteAlpha(readTexture(matteTexture, u, v)) : 1.0f;
    surf2Dwrite(make_float4(s.x, s.y, s.z, alpha), (cudaSurfaceObject_t)outputSurface, x * 16, y);
}

int launchFinalProcessing(const FinalProcessingLaunchArgs& a) {
    const unsigned width = a.system->width > 0 ? (unsigned)a.system->width : 0u;
    const unsigned height = a.system->height > 0 ? (unsigned)a.system->height : 0u;
    const dim3 grid((width + 15u) / 16u, (height + 15u) / 16u, 1);
    VELMORA_LAUNCH(applyFinalProcessingKernel, grid, dim3(16, 16, 1), a.stream,
                   (unsigned long long)a.resultSurface, (unsigned long long)a.sourceSurface, *a.system,
                   *a.monitor);
    return VELMORA_LAUNCH_ERROR();
}

int launchMatteInject(const MatteInjectLaunchArgs& a) {
    const unsigned width = a.width > 0 ? (unsigned)a.width : 0u;
    const unsigned height = a.height > 0 ? (unsigned)a.height : 0u;
    const dim3 grid((width + 15u) / 16u, (height + 15u) / 16u, 1);
    VELMORA_LAUNCH(orbalt_matteInjectKernel, grid, dim3(16, 16, 1), a.stream,
                   (unsigned long long)a.sourceTexture, (unsigned long long)a.matteTexture,
                   (unsigned long long)a.outputSurface, a.mode, a.width, a.height);
    return VELMORA_LAUNCH_ERROR();
}

}  // namespace VELMORA_KERNEL_NS
