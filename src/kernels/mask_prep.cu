// Mask preparation: channel extraction and horizontal grow (execution 0), vertical grow (1),
// horizontal and vertical Gaussian blur (2 and 3). Output (m, m, m, 1).

#include "gpu/KernelCompat.h"
#include "kernels/KernelDevice.h"
#include "kernels/KernelLaunch.h"
#include "kernels/TileLaunch.h"

namespace VELMORA_KERNEL_NS {

namespace {

constexpr int kMaskShapeSlot = 1;

__device__ __forceinline__ float maskFromChannel(float4 s, int maskFrom) {
    float q;
    if (maskFrom == 1) {
        q = s.w;
    } else if (maskFrom == 2) {
        q = s.x;
    } else {
        q = 0.2126f * s.x + 0.7152f * s.y + 0.0722f * s.z;
    }
    return clampf((q - 0.05f) / 0.9f, 0.0f, 1.0f);
}

struct MaskSampler {
    unsigned long long texture;
    bool fromShape;  // execution 0 reads "Mask_Shape" through the channel rule
    int maskFrom;
    float u, v, stepU, stepV;

    __device__ __forceinline__ float at(float k) const {
        const float su = clampf(u + k * stepU, 0.0f, 1.0f);
        const float sv = clampf(v + k * stepV, 0.0f, 1.0f);
        const float4 s = readTexture(texture, su, sv);
        return fromShape ? maskFromChannel(s, maskFrom) : s.x;
    }
};

__device__ __forceinline__ float growOp(bool dilate, float a, float b, float c) {
    return dilate ? fmaxf(a, fmaxf(b, c)) : fminf(a, fminf(b, c));
}

__device__ float maskPrepPixel(const PixelSite& site, const SystemParameters& sys,
                               const SourceConnections& sources, unsigned long long workingImageTex,
                               const AnimatedParameters& params) {
    const int execution = sys.currentExecution;
    const float grow = finiteOr(params.floats[4], 0.0f);
    const float blur = finiteOr(params.floats[5], 0.0f);

    MaskSampler sample;
    sample.fromShape = execution == 0;
    sample.texture = sample.fromShape ? sourceTexture(sources, kMaskShapeSlot) : workingImageTex;
    sample.maskFrom = params.ints[0];
    sample.u = site.u;
    sample.v = site.v;
    const bool horizontal = execution == 0 || execution == 2;
    sample.stepU = horizontal ? site.du : 0.0f;
    sample.stepV = horizontal ? 0.0f : site.dv;

    if (execution <= 1) {
        float g = fabsf(grow);
        // Beyond the image every clamped sample is an edge sample: a longer reach changes nothing.
        const float reach = (float)(sys.width > sys.height ? sys.width : sys.height) + 1.0f;
        if (g > reach) g = reach;
        const bool dilate = grow >= 0.0f;
        float m = sample.at(0.0f);
        if (g <= 0.0001f) return m;
        const int n = (int)floorf(g);
        const float f = g - (float)n;
        for (int k = 1; k <= n; ++k) m = growOp(dilate, m, sample.at((float)k), sample.at((float)-k));
        if (f > 0.0001f) {
            const float e = growOp(dilate, m, sample.at(g), sample.at(-g));
            m = m + f * (e - m);
        }
        return m;
    }

    const int radius = tapRadius(blur);
    if (radius < 1) return sample.at(0.0f);
    const float sigma = fmaxf(blur / 3.0f, 0.001f);
    float sum = 0.0f, total = 0.0f;
    for (int k = -radius; k <= radius; ++k) {
        const float w = expf(-0.5f * (float)(k * k) / (sigma * sigma));
        if (w < VELMORA_MIN_TAP_WEIGHT) continue;
        sum += w * sample.at((float)k);
        total += w;
    }
    return total > 0.0f ? sum / total : sample.at(0.0f);
}

// One pixel of the pass, computed and written.
struct MaskPrepPass {
    __device__ static void write(const PixelSite& site, const SystemParameters& sys,
                                 const SourceConnections& sources, unsigned long long workingImageTex,
                                 unsigned long long outputSurface, const AnimatedParameters& params) {
        const float m = maskPrepPixel(site, sys, sources, workingImageTex, params);
        writePixel(outputSurface, site, f4(m, m, m, 1.0f));
    }
};

}  // namespace

__global__ void mask_prepKernel(VELMORA_RECORD(SystemParameters) sys, VELMORA_RECORD(PipelineParameters),
                                unsigned long long workingImageTex, VELMORA_RECORD(SourceConnections) sources,
                                unsigned long long outputSurface, VELMORA_RECORD(AnimatedParameters) params,
                                VELMORA_RECORD(BundledResources), VELMORA_RECORD(DeviceBuffers)) {
    PixelSite site;
    if (!pixelSite(sys, site)) return;
    MaskPrepPass::write(site, sys, sources, workingImageTex, outputSurface, params);
}

int launchMaskPrep(const KernelLaunchArgs& a) {
    const LaunchGeometry g = launchGeometryFor(*a.system);
    VELMORA_LAUNCH(mask_prepKernel, dim3(g.gridX, g.gridY, 1), dim3(g.blockX, g.blockY, 1), a.stream,
                   *a.system, *a.pipeline, (unsigned long long)a.workingImageTex, *a.sources,
                   (unsigned long long)a.outputSurface, *a.parameters, *a.resources, *a.buffers);
    return VELMORA_LAUNCH_ERROR();
}

// Marks the 16 x 16 tile of every pixel whose "Mask_Shape" sample gives a non-zero matte: the
// first execution writes zero wherever its reads see none of them.
__global__ void mask_prepSupportKernel(VELMORA_RECORD(SystemParameters) sys, unsigned long long shape,
                                       int maskFrom, unsigned char* tileFlags, int tilesX) {
    PixelSite site;
    if (!pixelSite(sys, site)) return;
    if (maskFromChannel(readTexture(shape, site.u, site.v), maskFrom) > 0.0f)
        tileFlags[(site.y / 16) * tilesX + site.x / 16] = 1;
}

int launchMaskPrepSupport(const KernelLaunchArgs& a, unsigned char* tileFlags, int tilesX) {
    const LaunchGeometry g = launchGeometryFor(*a.system);
    const unsigned long long shape =
        kMaskShapeSlot < a.sources->sourceCount ? a.sources->sources[kMaskShapeSlot].textureObject : 0ull;
    VELMORA_LAUNCH(mask_prepSupportKernel, dim3(g.gridX, g.gridY, 1), dim3(16, 16, 1), a.stream, *a.system,
                   shape, a.parameters->ints[0], tileFlags, tilesX);
    return VELMORA_LAUNCH_ERROR();
}

int launchMaskPrepTiles(const KernelLaunchArgs& a, const unsigned* tiles, int tileCount) {
    return launchTiles<MaskPrepPass>(a, tiles, tileCount);
}

}  // namespace VELMORA_KERNEL_NS
