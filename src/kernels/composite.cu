// Composite: the fill of the divide chain, with optional retexture detail and film grain, mixed
// over the plate through the prepared mask.

#include "gpu/KernelCompat.h"
#include "kernels/KernelDevice.h"
#include "kernels/KernelLaunch.h"
#include "kernels/SimplexNoise.h"
#include "kernels/TileLaunch.h"

namespace VELMORA_KERNEL_NS {

namespace {

constexpr int kPlateSlot = 0;
constexpr int kMaskShapeSlot = 1;
constexpr int kPreparedMaskSlot = 3;
constexpr int kFillSlot = 4;

__device__ float4 compositePixel(const PixelSite& site, const SystemParameters& sys,
                                 const SourceConnections& sources, unsigned long long working,
                                 const AnimatedParameters& params) {
    const float u = site.u, v = site.v;
    const float4 S = readTexture(sourceTexture(sources, kPlateSlot), u, v);
    if (!sourceConnected(sources, kMaskShapeSlot)) return f4(0.7f * S.x + 0.3f, 0.5f * S.y, 0.5f * S.z, S.w);

    const float M = readTexture(sourceTexture(sources, kPreparedMaskSlot), u, v).x;
    const float4 F = readTexture(sourceTexture(sources, kFillSlot), u, v);
    float qr = F.x, qg = F.y, qb = F.z;

    const float strength = finiteOr(params.floats[11], 0.0f);
    if (params.bools[2] != 0 && strength > 0.001f) {
        const bool reflect = params.bools[4] != 0;
        const float ox = finiteOr(params.vec2s[1].x, 0.0f) * (float)sys.height / (float)sys.width;
        const float oy = finiteOr(params.vec2s[1].y, 0.0f);
        const float4 P = readTexture(sourceTexture(sources, kPlateSlot), edgeCoord(u + ox, reflect),
                                     edgeCoord(v + oy, reflect));
        const float4 LP = readTexture(working, u, v);
        const float a = strength / 100.0f;
        // Detail from a NaN or infinite neighbourhood is left out rather than spoiling the fill.
        if (finiteColour(P.x - LP.x, P.y - LP.y, P.z - LP.z)) {
            qr += a * (P.x - LP.x);
            qg += a * (P.y - LP.y);
            qb += a * (P.z - LP.z);
        }
    }

    const float amount = finiteOr(params.floats[12], 0.0f);
    if (params.bools[3] != 0 && amount > 0.001f) {
        const float L = clampf(0.2126f * qr + 0.7152f * qg + 0.0722f * qb, 0.0f, 1.0f);
        const float response = fmaxf(4.0f * L * (1.0f - L), 0.1f);
        const float f = 1.0f / fmaxf(finiteOr(params.floats[13], 1.0f), 0.1f);
        const float X = (float)site.x * f, Y = (float)site.y * f, Z = (float)sys.frame * 0.5f;
        const float n = simplexNoise(X, Y, Z);
        float nG = n, nB = n;
        const float q = finiteOr(params.floats[14], 0.0f);
        if (q > 0.001f) {
            nG = (1.0f - q) * n + q * simplexNoise(X + 100.0f, Y + 50.0f, Z);
            nB = (1.0f - q) * n + q * simplexNoise(X + 200.0f, Y + 100.0f, Z);
        }
        const float a = amount * 0.05f;
        qr += a * 0.5f * n * response;
        qg += a * 0.5f * nG * response;
        qb += a * 0.5f * nB * response;
    }

    return f4(mixByMask(S.x, qr, M), mixByMask(S.y, qg, M), mixByMask(S.z, qb, M), S.w);
}

// One pixel of the pass, computed and written.
struct CompositePass {
    __device__ static void write(const PixelSite& site, const SystemParameters& sys,
                                 const SourceConnections& sources, unsigned long long workingImageTex,
                                 unsigned long long outputSurface, const AnimatedParameters& params) {
        writePixel(outputSurface, site, compositePixel(site, sys, sources, workingImageTex, params));
    }
};

}  // namespace

__global__ void compositeKernel(VELMORA_RECORD(SystemParameters) sys, VELMORA_RECORD(PipelineParameters),
                                unsigned long long workingImageTex, VELMORA_RECORD(SourceConnections) sources,
                                unsigned long long outputSurface, VELMORA_RECORD(AnimatedParameters) params,
                                VELMORA_RECORD(BundledResources), VELMORA_RECORD(DeviceBuffers)) {
    PixelSite site;
    if (!pixelSite(sys, site)) return;
    CompositePass::write(site, sys, sources, workingImageTex, outputSurface, params);
}

int launchComposite(const KernelLaunchArgs& a) {
    const LaunchGeometry g = launchGeometryFor(*a.system);
    VELMORA_LAUNCH(compositeKernel, dim3(g.gridX, g.gridY, 1), dim3(g.blockX, g.blockY, 1), a.stream,
                   *a.system, *a.pipeline, (unsigned long long)a.workingImageTex, *a.sources,
                   (unsigned long long)a.outputSurface, *a.parameters, *a.resources, *a.buffers);
    return VELMORA_LAUNCH_ERROR();
}

int launchCompositeTiles(const KernelLaunchArgs& a, const unsigned* tiles, int tileCount) {
    return launchTiles<CompositePass>(a, tiles, tileCount);
}

}  // namespace VELMORA_KERNEL_NS
