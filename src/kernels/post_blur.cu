// Post blur: optional smoothing of the fill inside the mask, a Gaussian along x (execution 0) or
// y (1), a directional line blur, or both combined.

#include "gpu/KernelCompat.h"
#include "kernels/KernelDevice.h"
#include "kernels/KernelLaunch.h"
#include "kernels/PostBlurSettings.h"
#include "kernels/TileLaunch.h"

namespace VELMORA_KERNEL_NS {

namespace {

constexpr int kMaskShapeSlot = 1;
constexpr int kPreparedMaskSlot = 3;

__device__ float4 postBlurPixel(const PixelSite& site, const SystemParameters& sys,
                                const SourceConnections& sources, unsigned long long working,
                                const AnimatedParameters& params) {
    const float u = site.u, v = site.v;
    if (!sourceConnected(sources, kMaskShapeSlot)) return readTexture(working, u, v);

    // Every early return gives the working image unchanged; the settings are derived only for a
    // pixel inside the mask.
    if (params.bools[1] == 0) return readTexture(working, u, v);
    if (readTexture(sourceTexture(sources, kPreparedMaskSlot), u, v).x < 0.001f)
        return readTexture(working, u, v);
    const PostBlurSettings ps = postBlurSettings(params, sys.currentExecution, site.du, site.dv);
    if (!ps.gaussian && !ps.directional) return readTexture(working, u, v);

    float4 sum = f4Zero();
    float total = 0.0f;
    const int axisFrom = ps.gaussian ? -ps.radius : 0, axisTo = ps.gaussian ? ps.radius : 0;
    const int dirFrom = ps.directional ? -ps.dirRadius : 0, dirTo = ps.directional ? ps.dirRadius : 0;
    for (int k = axisFrom; k <= axisTo; ++k) {
        const float wk = ps.gaussian ? gaussianTap((float)k, ps.sigma) : 1.0f;
        if (wk < VELMORA_MIN_TAP_WEIGHT) continue;
        const float baseU = u + (float)k * ps.axisU, baseV = v + (float)k * ps.axisV;
        for (int j = dirFrom; j <= dirTo; ++j) {
            float w = wk, tapU = baseU, tapV = baseV;
            if (ps.directional) {
                const float wj = gaussianTap((float)j, ps.dirSigma);
                if (wj < VELMORA_MIN_TAP_WEIGHT) continue;
                w = wk * wj;
                const float s = (float)j + ps.bias;
                tapU += s * ps.cd;
                tapV += s * ps.sd;
            }
            f4Accumulate(sum, readTexture(working, edgeCoord(tapU, ps.reflect), edgeCoord(tapV, ps.reflect)),
                         w);
            total += w;
        }
    }
    return total > 0.0f ? f4Scale(sum, 1.0f / total) : sum;
}

// One pixel of the pass, computed and written.
struct PostBlurPass {
    __device__ static void write(const PixelSite& site, const SystemParameters& sys,
                                 const SourceConnections& sources, unsigned long long workingImageTex,
                                 unsigned long long outputSurface, const AnimatedParameters& params) {
        writePixel(outputSurface, site, postBlurPixel(site, sys, sources, workingImageTex, params));
    }
};

}  // namespace

__global__ void post_blurKernel(VELMORA_RECORD(SystemParameters) sys, VELMORA_RECORD(PipelineParameters),
                                unsigned long long workingImageTex, VELMORA_RECORD(SourceConnections) sources,
                                unsigned long long outputSurface, VELMORA_RECORD(AnimatedParameters) params,
                                VELMORA_RECORD(BundledResources), VELMORA_RECORD(DeviceBuffers)) {
    PixelSite site;
    if (!pixelSite(sys, site)) return;
    PostBlurPass::write(site, sys, sources, workingImageTex, outputSurface, params);
}

int launchPostBlur(const KernelLaunchArgs& a) {
    const LaunchGeometry g = launchGeometryFor(*a.system);
    VELMORA_LAUNCH(post_blurKernel, dim3(g.gridX, g.gridY, 1), dim3(g.blockX, g.blockY, 1), a.stream,
                   *a.system, *a.pipeline, (unsigned long long)a.workingImageTex, *a.sources,
                   (unsigned long long)a.outputSurface, *a.parameters, *a.resources, *a.buffers);
    return VELMORA_LAUNCH_ERROR();
}

int launchPostBlurTiles(const KernelLaunchArgs& a, const unsigned* tiles, int tileCount) {
    return launchTiles<PostBlurPass>(a, tiles, tileCount);
}

}  // namespace VELMORA_KERNEL_NS
