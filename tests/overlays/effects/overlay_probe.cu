// The overlay test effects' kernel: a spotlight. The source shows at full strength inside a
// circle around the first 2-D parameter (normalized position) whose radius is the first real
// parameter times the smaller image side, and at a third of it outside, so a rendered frame shows
// where the position and radius overlays sit.

#include "gpu/KernelCompat.h"
#include "kernels/KernelDevice.h"
#include "kernels/KernelLaunch.h"

namespace VELMORA_KERNEL_NS {

namespace {

__device__ float4 spotlightPixel(const PixelSite& site, const SystemParameters& sys,
                                 const SourceConnections& sources, const AnimatedParameters& params) {
    const float4 S = readTexture(sourceTexture(sources, 0), site.u, site.v);
    const float side = (float)(sys.width < sys.height ? sys.width : sys.height);
    const float dx = (site.u - finiteOr(params.vec2s[0].x, 0.5f)) * (float)sys.width;
    const float dy = (site.v - finiteOr(params.vec2s[0].y, 0.5f)) * (float)sys.height;
    const float radius = finiteOr(params.floats[0], 0.0f) * side;
    const float gain = dx * dx + dy * dy <= radius * radius ? 1.0f : 0.33f;
    return f4(S.x * gain, S.y * gain, S.z * gain, S.w);
}

}  // namespace

__global__ void overlayProbeKernel(VELMORA_RECORD(SystemParameters) sys, VELMORA_RECORD(PipelineParameters),
                                   unsigned long long, VELMORA_RECORD(SourceConnections) sources,
                                   unsigned long long outputSurface,
                                   VELMORA_RECORD(AnimatedParameters) params,
                                   VELMORA_RECORD(BundledResources), VELMORA_RECORD(DeviceBuffers)) {
    PixelSite site;
    if (!pixelSite(sys, site)) return;
    writePixel(outputSurface, site, spotlightPixel(site, sys, sources, params));
}

int launchOverlayProbe(const KernelLaunchArgs& a) {
    const LaunchGeometry g = launchGeometryFor(*a.system);
    VELMORA_LAUNCH(overlayProbeKernel, dim3(g.gridX, g.gridY, 1), dim3(g.blockX, g.blockY, 1), a.stream,
                   *a.system, *a.pipeline, (unsigned long long)a.workingImageTex, *a.sources,
                   (unsigned long long)a.outputSurface, *a.parameters, *a.resources, *a.buffers);
    return VELMORA_LAUNCH_ERROR();
}

}  // namespace VELMORA_KERNEL_NS
