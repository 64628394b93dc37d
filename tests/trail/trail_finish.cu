// Trail, finish process: the trail with the echo of the last strobe frame over it (whichever is
// brighter), and the luminance histogram drawn in a strip along the bottom: one white bar per
// bin, the fullest bin as tall as the strip, on black.

#include "TrailDevice.h"
#include "TrailKernels.h"
#include "gpu/KernelCompat.h"

namespace VELMORA_KERNEL_NS {

namespace {

// The histogram strip at (x, y), or false outside it or without a histogram.
__device__ bool histogramPixel(const PixelSite& site, const SystemParameters& sys,
                               const DeviceBuffers& buffers, float4* value) {
    const int strip = sys.height / 8 > 0 ? sys.height / 8 : 1;
    if (site.y >= strip) return false;
    int bins = 0;
    const unsigned int* histogram =
        trail::deviceBuffer<unsigned int>(buffers, trail::kHistogramBuffer, &bins);
    if (!histogram) return false;
    unsigned int fullest = 0;
    for (int b = 0; b < bins; ++b) fullest = histogram[b] > fullest ? histogram[b] : fullest;
    const int bin = (int)(((long long)site.x * bins) / sys.width);
    // Bar height in rows, rounded to nearest: count / fullest of the strip.
    const unsigned long long count = histogram[bin];
    const int bar =
        fullest == 0 ? 0 : (int)((2ull * count * (unsigned long long)strip + fullest) / (2ull * fullest));
    const float level = site.y < bar ? 1.0f : 0.0f;
    *value = f4(level, level, level, 1.0f);
    return true;
}

__device__ float4 finishPixel(const PixelSite& site, const SystemParameters& sys,
                              const SourceConnections& sources, unsigned long long working,
                              const AnimatedParameters& params, const DeviceBuffers& buffers) {
    float4 histogram;
    if (params.bools[trail::kShowHistogram] != 0 && histogramPixel(site, sys, buffers, &histogram))
        return histogram;
    const float4 W = readTexture(working, site.u, site.v);
    if (!sys.accumValid) return W;
    const float amount = clampf(finiteOr(params.floats[trail::kEchoAmount], 0.0f), 0.0f, 1.0f);
    const float4 E = f4Scale(readTexture(sourceTexture(sources, trail::kEchoSlot), site.u, site.v), amount);
    return trail::brighter(W, trail::luminance(W), E);
}

}  // namespace

__global__ void trailFinishKernel(VELMORA_RECORD(SystemParameters) sys, VELMORA_RECORD(PipelineParameters),
                                  unsigned long long workingImageTex,
                                  VELMORA_RECORD(SourceConnections) sources, unsigned long long outputSurface,
                                  VELMORA_RECORD(AnimatedParameters) params, VELMORA_RECORD(BundledResources),
                                  VELMORA_RECORD(DeviceBuffers) buffers) {
    PixelSite site;
    if (!pixelSite(sys, site)) return;
    writePixel(outputSurface, site, finishPixel(site, sys, sources, workingImageTex, params, buffers));
}

int launchTrailFinish(const KernelLaunchArgs& a) {
    const LaunchGeometry g = launchGeometryFor(*a.system);
    VELMORA_LAUNCH(trailFinishKernel, dim3(g.gridX, g.gridY, 1), dim3(g.blockX, g.blockY, 1), a.stream,
                   *a.system, *a.pipeline, (unsigned long long)a.workingImageTex, *a.sources,
                   (unsigned long long)a.outputSurface, *a.parameters, *a.resources, *a.buffers);
    return VELMORA_LAUNCH_ERROR();
}

}  // namespace VELMORA_KERNEL_NS
