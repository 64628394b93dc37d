// The audio test effect's kernel: the source times Brightness, and a white vertical bar centred at
// Bar Position (a fraction of the width) that is Bar Width wide.

#include "gpu/KernelCompat.h"
#include "kernels/KernelDevice.h"
#include "kernels/KernelLaunch.h"

namespace VELMORA_KERNEL_NS {

namespace {

__device__ float4 pulsePixel(const PixelSite& site, const SystemParameters& sys, const SourceConnections& sources,
                             const AnimatedParameters& params) {
    const float4 S = readTexture(sourceTexture(sources, 0), site.u, site.v);
    const float gain = finiteOr(params.floats[0], 1.0f);
    const float bar = finiteOr(params.floats[1], 0.5f);
    const float halfWidth = 0.5f * finiteOr(params.floats[2], 0.0f);
    const float x = ((float)site.x + 0.5f) / (float)sys.width;
    if (fabsf(x - bar) <= halfWidth) return f4(1.0f, 1.0f, 1.0f, 1.0f);
    return f4(S.x * gain, S.y * gain, S.z * gain, S.w);
}

}  // namespace

__global__ void audioPulseKernel(VELMORA_RECORD(SystemParameters) sys, VELMORA_RECORD(PipelineParameters),
                                 unsigned long long, VELMORA_RECORD(SourceConnections) sources,
                                 unsigned long long outputSurface, VELMORA_RECORD(AnimatedParameters) params,
                                 VELMORA_RECORD(BundledResources), VELMORA_RECORD(DeviceBuffers)) {
    PixelSite site;
    if (!pixelSite(sys, site)) return;
    writePixel(outputSurface, site, pulsePixel(site, sys, sources, params));
}

int launchAudioPulse(const KernelLaunchArgs& a) {
    const LaunchGeometry g = launchGeometryFor(*a.system);
    VELMORA_LAUNCH(audioPulseKernel, dim3(g.gridX, g.gridY, 1), dim3(g.blockX, g.blockY, 1), a.stream, *a.system,
                   *a.pipeline, (unsigned long long)a.workingImageTex, *a.sources, (unsigned long long)a.outputSurface,
                   *a.parameters, *a.resources, *a.buffers);
    return VELMORA_LAUNCH_ERROR();
}

}  // namespace VELMORA_KERNEL_NS
