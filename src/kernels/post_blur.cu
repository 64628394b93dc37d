// Post blur: optional smoothing of the fill inside the mask, a Gaussian along x (execution 0) or
// y (1), a directional line blur, or both combined.

#include "gpu/KernelCompat.h"
#include "kernels/KernelDevice.h"
#include "kernels/KernelLaunch.h"

namespace VELMORA_KERNEL_NS {

namespace {

constexpr int kMaskShapeSlot = 1;
constexpr int kPreparedMaskSlot = 3;
constexpr int kMaxPostBlurRadius = 100;

__device__ float4 postBlurPixel(const PixelSite& site, const SystemParameters& sys,
                                const SourceConnections& sources, unsigned long long working,
                                const AnimatedParameters& params) {
    const float u = site.u, v = site.v;
    if (!sourceConnected(sources, kMaskShapeSlot)) return readTexture(working, u, v);

    const float amount = finiteOr(params.floats[6], 0.0f);
    const float dirAmount = finiteOr(params.floats[7], 0.0f);
    const bool gaussian = amount >= 0.5f;
    const bool directional = dirAmount >= 0.5f;
    if (params.bools[1] == 0 || (!gaussian && !directional)) return readTexture(working, u, v);
    if (readTexture(sourceTexture(sources, kPreparedMaskSlot), u, v).x < 0.001f)
        return readTexture(working, u, v);

    const bool reflect = params.bools[4] != 0;
    const float sigma = fmaxf(amount / 3.0f, 0.001f);
    int radius = tapRadius(amount);
    if (radius < 1) radius = 1;
    if (radius > kMaxPostBlurRadius) radius = kMaxPostBlurRadius;
    const float h = dirAmount / 2.0f;
    const int dirRadius = tapRadius(h) < 1 ? 1 : tapRadius(h);
    const float dirSigma = fmaxf(h / 3.0f, 0.001f);
    const float bias = h * finiteOr(params.floats[9], 0.0f);
    const float theta = finiteOr(params.floats[8], 0.0f) * 3.14159265358979f / 180.0f;
    const float cd = site.du * cosf(theta), sd = site.dv * sinf(theta);
    const bool alongX = sys.currentExecution == 0;
    const float axisU = alongX ? site.du : 0.0f, axisV = alongX ? 0.0f : site.dv;

    float4 sum = f4Zero();
    float total = 0.0f;
    const int axisFrom = gaussian ? -radius : 0, axisTo = gaussian ? radius : 0;
    const int dirFrom = directional ? -dirRadius : 0, dirTo = directional ? dirRadius : 0;
    for (int k = axisFrom; k <= axisTo; ++k) {
        const float wk = gaussian ? gaussianTap((float)k, sigma) : 1.0f;
        if (wk < VELMORA_MIN_TAP_WEIGHT) continue;
        const float baseU = u + (float)k * axisU, baseV = v + (float)k * axisV;
        for (int j = dirFrom; j <= dirTo; ++j) {
            float w = wk, tapU = baseU, tapV = baseV;
            if (directional) {
                const float wj = gaussianTap((float)j, dirSigma);
                if (wj < VELMORA_MIN_TAP_WEIGHT) continue;
                w = wk * wj;
                const float s = (float)j + bias;
                tapU += s * cd;
                tapV += s * sd;
            }
            f4Accumulate(sum, readTexture(working, edgeCoord(tapU, reflect), edgeCoord(tapV, reflect)), w);
            total += w;
        }
    }
    return total > 0.0f ? f4Scale(sum, 1.0f / total) : sum;
}

}  // namespace

__global__ void post_blurKernel(VELMORA_RECORD(SystemParameters) sys, VELMORA_RECORD(PipelineParameters),
                                unsigned long long workingImageTex, VELMORA_RECORD(SourceConnections) sources,
                                unsigned long long outputSurface, VELMORA_RECORD(AnimatedParameters) params,
                                VELMORA_RECORD(BundledResources), VELMORA_RECORD(DeviceBuffers)) {
    PixelSite site;
    if (!pixelSite(sys, site)) return;
    writePixel(outputSurface, site, postBlurPixel(site, sys, sources, workingImageTex, params));
}

int launchPostBlur(const KernelLaunchArgs& a) {
    const LaunchGeometry g = launchGeometryFor(*a.system);
    VELMORA_LAUNCH(post_blurKernel, dim3(g.gridX, g.gridY, 1), dim3(g.blockX, g.blockY, 1), a.stream,
                   *a.system, *a.pipeline, (unsigned long long)a.workingImageTex, *a.sources,
                   (unsigned long long)a.outputSurface, *a.parameters, *a.resources, *a.buffers);
    return VELMORA_LAUNCH_ERROR();
}

}  // namespace VELMORA_KERNEL_NS
