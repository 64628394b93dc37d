// Trail, measure process, pass 2: one thread per pixel (a count dispatch over the per-pixel
// luminance buffer) stores the source pixel's luminance, counts it into the histogram and
// passes the source through as the process's image. Without the buffer the dispatch falls back
// to the image grid, and the pass still copies the source.

#include "TrailDevice.h"
#include "TrailKernels.h"
#include "gpu/KernelCompat.h"

namespace VELMORA_KERNEL_NS {

namespace {

__device__ void measurePixel(int x, int y, int index, const SystemParameters& sys,
                             const SourceConnections& sources, unsigned long long outputSurface,
                             const DeviceBuffers& buffers) {
    PixelSite site;
    site.x = x;
    site.y = y;
    site.du = 1.0f / (float)sys.width;
    site.dv = 1.0f / (float)sys.height;
    site.u = ((float)x + 0.5f) * site.du;
    site.v = ((float)y + 0.5f) * site.dv;
    const float4 S = readTexture(sourceTexture(sources, trail::kSourceSlot), site.u, site.v);
    writePixel(outputSurface, site, S);

    const float luma = trail::luminance(S);
    int pixels = 0;
    float* lumaBuffer = trail::deviceBuffer<float>(buffers, trail::kLumaBuffer, &pixels);
    if (lumaBuffer && index < pixels) lumaBuffer[index] = luma;
    int bins = 0;
    unsigned int* histogram = trail::deviceBuffer<unsigned int>(buffers, trail::kHistogramBuffer, &bins);
    if (histogram) atomicAdd(&histogram[trail::binOf(luma, bins)], 1u);
}

}  // namespace

__global__ void trailMeasureKernel(VELMORA_RECORD(SystemParameters) sys, VELMORA_RECORD(PipelineParameters),
                                   unsigned long long, VELMORA_RECORD(SourceConnections) sources,
                                   unsigned long long outputSurface, VELMORA_RECORD(AnimatedParameters),
                                   VELMORA_RECORD(BundledResources), VELMORA_RECORD(DeviceBuffers) buffers) {
    if (sys.width <= 0 || sys.height <= 0) return;
    int x, y, index;
    if (sys.dispatchCount > 0) {
        index = (int)(blockIdx.x * blockDim.x + threadIdx.x);
        if (index >= sys.dispatchCount) return;
        x = index % sys.width;
        y = index / sys.width;
        if (y >= sys.height) return;
    } else {
        x = (int)(blockIdx.x * blockDim.x + threadIdx.x);
        y = (int)(blockIdx.y * blockDim.y + threadIdx.y);
        if (x >= sys.width || y >= sys.height) return;
        index = y * sys.width + x;
    }
    measurePixel(x, y, index, sys, sources, outputSurface, buffers);
}

int launchTrailMeasure(const KernelLaunchArgs& a) {
    const LaunchGeometry g = launchGeometryFor(*a.system);
    VELMORA_LAUNCH(trailMeasureKernel, dim3(g.gridX, g.gridY, 1), dim3(g.blockX, g.blockY, 1), a.stream,
                   *a.system, *a.pipeline, (unsigned long long)a.workingImageTex, *a.sources,
                   (unsigned long long)a.outputSurface, *a.parameters, *a.resources, *a.buffers);
    return VELMORA_LAUNCH_ERROR();
}

}  // namespace VELMORA_KERNEL_NS
