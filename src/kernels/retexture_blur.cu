// Retexture blur: a separable Gaussian low-pass of the plate at the retexture offset, inside
// the mask (execution 0 along x on the offset plate, execution 1 along y on the result).

#include "gpu/KernelCompat.h"
#include "kernels/KernelDevice.h"
#include "kernels/KernelLaunch.h"
#include "kernels/TileLaunch.h"

namespace VELMORA_KERNEL_NS {

namespace {

constexpr int kPlateSlot = 0;
constexpr int kMaskShapeSlot = 1;
constexpr int kPreparedMaskSlot = 3;
constexpr int kMaxRetextureRadius = 50;

__device__ float4 retextureBlurPixel(const PixelSite& site, const SystemParameters& sys,
                                     const SourceConnections& sources, unsigned long long working,
                                     const AnimatedParameters& params) {
    const float u = site.u, v = site.v;
    const unsigned long long plate = sourceTexture(sources, kPlateSlot);
    if (!sourceConnected(sources, kMaskShapeSlot)) return readTexture(plate, u, v);
    if (readTexture(sourceTexture(sources, kPreparedMaskSlot), u, v).x < 0.001f)
        return readTexture(plate, u, v);

    const bool reflect = params.bools[4] != 0;
    const float ox = finiteOr(params.vec2s[1].x, 0.0f) * (float)sys.height / (float)sys.width;
    const float oy = finiteOr(params.vec2s[1].y, 0.0f);
    const float xo = edgeCoord(u + ox, reflect), yo = edgeCoord(v + oy, reflect);
    const float amount = finiteOr(params.floats[10], 0.0f);
    if (amount < 0.5f || params.bools[2] == 0) return readTexture(plate, xo, yo);

    const float sigma = fmaxf(amount / 3.0f, 0.001f);
    int radius = tapRadius(amount);
    if (radius > kMaxRetextureRadius) radius = kMaxRetextureRadius;
    const bool alongX = sys.currentExecution == 0;
    float4 sum = f4Zero();
    float total = 0.0f;
    for (int k = -radius; k <= radius; ++k) {
        const float w = gaussianTap((float)k, sigma);
        if (w < VELMORA_MIN_TAP_WEIGHT) continue;
        const float4 s =
            alongX ? readTexture(plate, edgeCoord(xo + (float)k * site.du, reflect), edgeCoord(yo, reflect))
                   : readTexture(working, edgeCoord(u, reflect), edgeCoord(v + (float)k * site.dv, reflect));
        f4Accumulate(sum, s, w);
        total += w;
    }
    return total > 0.0f ? f4Scale(sum, 1.0f / total) : sum;
}

// One pixel of the pass, computed and written.
struct RetextureBlurPass {
    __device__ static void write(const PixelSite& site, const SystemParameters& sys,
                                 const SourceConnections& sources, unsigned long long workingImageTex,
                                 unsigned long long outputSurface, const AnimatedParameters& params) {
        writePixel(outputSurface, site, retextureBlurPixel(site, sys, sources, workingImageTex, params));
    }
};

}  // namespace

__global__ void retexture_blurKernel(VELMORA_RECORD(SystemParameters) sys, VELMORA_RECORD(PipelineParameters),
                                     unsigned long long workingImageTex,
                                     VELMORA_RECORD(SourceConnections) sources,
                                     unsigned long long outputSurface,
                                     VELMORA_RECORD(AnimatedParameters) params,
                                     VELMORA_RECORD(BundledResources), VELMORA_RECORD(DeviceBuffers)) {
    PixelSite site;
    if (!pixelSite(sys, site)) return;
    RetextureBlurPass::write(site, sys, sources, workingImageTex, outputSurface, params);
}

int launchRetextureBlur(const KernelLaunchArgs& a) {
    const LaunchGeometry g = launchGeometryFor(*a.system);
    VELMORA_LAUNCH(retexture_blurKernel, dim3(g.gridX, g.gridY, 1), dim3(g.blockX, g.blockY, 1), a.stream,
                   *a.system, *a.pipeline, (unsigned long long)a.workingImageTex, *a.sources,
                   (unsigned long long)a.outputSurface, *a.parameters, *a.resources, *a.buffers);
    return VELMORA_LAUNCH_ERROR();
}

int launchRetextureBlurTiles(const KernelLaunchArgs& a, const unsigned* tiles, int tileCount) {
    return launchTiles<RetextureBlurPass>(a, tiles, tileCount);
}

}  // namespace VELMORA_KERNEL_NS
