// Blur/divide fill: weight the plate by the inverted mask and blur it horizontally (execution 0),
// blur vertically (1), then an optional directional blur inside the mask and the division (2).

#include "gpu/KernelCompat.h"
#include "kernels/KernelDevice.h"
#include "kernels/KernelLaunch.h"
#include "kernels/TileLaunch.h"

namespace VELMORA_KERNEL_NS {

namespace {

constexpr int kPlateSlot = 0;
constexpr int kMaskShapeSlot = 1;
constexpr int kPreparedMaskSlot = 3;

__device__ float4 blurDividePixel(const PixelSite& site, const SystemParameters& sys,
                                  const SourceConnections& sources, unsigned long long working,
                                  const AnimatedParameters& params) {
    const unsigned long long plate = sourceTexture(sources, kPlateSlot);
    if (!sourceConnected(sources, kMaskShapeSlot)) return readTexture(plate, site.u, site.v);

    const unsigned long long mask = sourceTexture(sources, kPreparedMaskSlot);
    const float amount = finiteOr(params.floats[0], 0.0f);
    const bool reflect = params.bools[4] != 0;
    const float sigma = fmaxf(amount / 3.0f, 0.001f);
    int radius = tapRadius(amount);
    if (radius < 1) radius = 1;
    const float u = site.u, v = site.v;

    switch (sys.currentExecution) {
        case 0: {
            const float ox = finiteOr(params.vec2s[0].x, 0.0f) * (float)sys.height / (float)sys.width;
            const float oy = finiteOr(params.vec2s[0].y, 0.0f);
            const float plateV = edgeCoord(v + oy, reflect);
            const float maskV = edgeCoord(v, reflect);
            float4 sum = f4Zero();
            float total = 0.0f;
            for (int k = -radius; k <= radius; ++k) {
                const float w = gaussianTap((float)k, sigma);
                if (w < VELMORA_MIN_TAP_WEIGHT) continue;
                const float tapU = u + (float)k * site.du;
                float4 p = readTexture(plate, edgeCoord(tapU + ox, reflect), plateV);
                float m = 1.0f - readTexture(mask, edgeCoord(tapU, reflect), maskV).x;
                // A NaN or infinite plate sample counts as hole: it must not spread over the fill.
                if (!finiteColour(p.x, p.y, p.z)) p.x = p.y = p.z = m = 0.0f;
                sum.x += w * p.x * m;
                sum.y += w * p.y * m;
                sum.z += w * p.z * m;
                sum.w += w * m;
                total += w;
            }
            return total > 0.0f ? f4Scale(sum, 1.0f / total) : sum;
        }
        case 1: {
            const float tapU = edgeCoord(u, reflect);
            float4 sum = f4Zero();
            float total = 0.0f;
            for (int k = -radius; k <= radius; ++k) {
                const float w = gaussianTap((float)k, sigma);
                if (w < VELMORA_MIN_TAP_WEIGHT) continue;
                f4Accumulate(sum, readTexture(working, tapU, edgeCoord(v + (float)k * site.dv, reflect)), w);
                total += w;
            }
            return total > 0.0f ? f4Scale(sum, 1.0f / total) : sum;
        }
        default: {
            const float dirAmount = finiteOr(params.floats[1], 0.0f);
            float4 d;
            if (readTexture(mask, u, v).x < 0.001f || !(dirAmount > 0.5f)) {
                d = readTexture(working, u, v);
            } else {
                const float h = dirAmount / 2.0f;
                const int dirRadius = tapRadius(h) < 1 ? 1 : tapRadius(h);
                const float dirSigma = fmaxf(h / 3.0f, 0.001f);
                const float bias = h * finiteOr(params.floats[3], 0.0f);
                const float theta = finiteOr(params.floats[2], 0.0f) * 3.14159265358979f / 180.0f;
                const float cd = site.du * cosf(theta), sd = site.dv * sinf(theta);
                float4 sum = f4Zero();
                float total = 0.0f;
                for (int j = -dirRadius; j <= dirRadius; ++j) {
                    const float w = gaussianTap((float)j, dirSigma);
                    if (w < VELMORA_MIN_TAP_WEIGHT) continue;
                    const float s = (float)j + bias;
                    f4Accumulate(
                        sum,
                        readTexture(working, edgeCoord(u + s * cd, reflect), edgeCoord(v + s * sd, reflect)),
                        w);
                    total += w;
                }
                d = total > 0.0f ? f4Scale(sum, 1.0f / total) : sum;
            }
            // The plate is read only where the pixel is unfilled.
            const float4 p = d.w < VELMORA_MIN_FILL_WEIGHT ? readTexture(plate, u, v) : f4Zero();
            return dividedFill(d, p, params.bools[0] != 0);
        }
    }
}

// One pixel of the pass, computed and written.
struct BlurDividePass {
    __device__ static void write(const PixelSite& site, const SystemParameters& sys,
                                 const SourceConnections& sources, unsigned long long workingImageTex,
                                 unsigned long long outputSurface, const AnimatedParameters& params) {
        // Executions past the division have no job and leave the output untouched.
        if (sys.currentExecution > 2) return;
        writePixel(outputSurface, site, blurDividePixel(site, sys, sources, workingImageTex, params));
    }
};

}  // namespace

__global__ void blur_divideKernel(VELMORA_RECORD(SystemParameters) sys, VELMORA_RECORD(PipelineParameters),
                                  unsigned long long workingImageTex,
                                  VELMORA_RECORD(SourceConnections) sources, unsigned long long outputSurface,
                                  VELMORA_RECORD(AnimatedParameters) params, VELMORA_RECORD(BundledResources),
                                  VELMORA_RECORD(DeviceBuffers)) {
    PixelSite site;
    if (!pixelSite(sys, site)) return;
    BlurDividePass::write(site, sys, sources, workingImageTex, outputSurface, params);
}

int launchBlurDivide(const KernelLaunchArgs& a) {
    const LaunchGeometry g = launchGeometryFor(*a.system);
    VELMORA_LAUNCH(blur_divideKernel, dim3(g.gridX, g.gridY, 1), dim3(g.blockX, g.blockY, 1), a.stream,
                   *a.system, *a.pipeline, (unsigned long long)a.workingImageTex, *a.sources,
                   (unsigned long long)a.outputSurface, *a.parameters, *a.resources, *a.buffers);
    return VELMORA_LAUNCH_ERROR();
}

int launchBlurDivideTiles(const KernelLaunchArgs& a, const unsigned* tiles, int tileCount) {
    return launchTiles<BlurDividePass>(a, tiles, tileCount);
}

}  // namespace VELMORA_KERNEL_NS
