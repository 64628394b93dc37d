// Trail, trail process: the source over the decayed trail of the earlier frames, whichever is
// brighter. The trail is the accumulation buffer this process's own result is copied into, so
// it is read only while the accumulated state is valid.

#include "TrailDevice.h"
#include "TrailKernels.h"
#include "gpu/KernelCompat.h"

namespace VELMORA_KERNEL_NS {

namespace {

__device__ float4 blendPixel(const PixelSite& site, const SystemParameters& sys,
                             const SourceConnections& sources, const AnimatedParameters& params,
                             const DeviceBuffers& buffers) {
    const float4 S = readTexture(sourceTexture(sources, trail::kSourceSlot), site.u, site.v);
    if (!sys.accumValid) return S;
    // The measure process stored the source's luminance; without that buffer it is computed here.
    int pixels = 0;
    const float* lumaBuffer = trail::deviceBuffer<float>(buffers, trail::kLumaBuffer, &pixels);
    const int index = site.y * sys.width + site.x;
    const float lumaS =
        lumaBuffer && pixels == sys.width * sys.height ? lumaBuffer[index] : trail::luminance(S);
    const float decay = clampf(finiteOr(params.floats[trail::kDecay], 0.0f), 0.0f, 1.0f);
    const float4 T = f4Scale(readTexture(sourceTexture(sources, trail::kTrailSlot), site.u, site.v), decay);
    return trail::brighter(S, lumaS, T);
}

}  // namespace

__global__ void trailBlendKernel(VELMORA_RECORD(SystemParameters) sys, VELMORA_RECORD(PipelineParameters),
                                 unsigned long long, VELMORA_RECORD(SourceConnections) sources,
                                 unsigned long long outputSurface, VELMORA_RECORD(AnimatedParameters) params,
                                 VELMORA_RECORD(BundledResources), VELMORA_RECORD(DeviceBuffers) buffers) {
    PixelSite site;
    if (!pixelSite(sys, site)) return;
    writePixel(outputSurface, site, blendPixel(site, sys, sources, params, buffers));
}

int launchTrailBlend(const KernelLaunchArgs& a) {
    const LaunchGeometry g = launchGeometryFor(*a.system);
    VELMORA_LAUNCH(trailBlendKernel, dim3(g.gridX, g.gridY, 1), dim3(g.blockX, g.blockY, 1), a.stream,
                   *a.system, *a.pipeline, (unsigned long long)a.workingImageTex, *a.sources,
                   (unsigned long long)a.outputSurface, *a.parameters, *a.resources, *a.buffers);
    return VELMORA_LAUNCH_ERROR();
}

}  // namespace VELMORA_KERNEL_NS
