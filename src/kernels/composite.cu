// Composite: the fill of the divide chain, with optional retexture detail and film grain, mixed
// over the plate through the prepared mask.

#include "gpu/KernelCompat.h"
#include "kernels/KernelDevice.h"
#include "kernels/KernelLaunch.h"
#include "kernels/PerlinPermutation.h"

namespace VELMORA_KERNEL_NS {

namespace {

constexpr int kPlateSlot = 0;
constexpr int kMaskShapeSlot = 1;
constexpr int kPreparedMaskSlot = 3;
constexpr int kFillSlot = 4;

__device__ __forceinline__ float gradient(int hash, float p, float q, float r) {
    const int e = hash & 15;
    const float first = e < 8 ? p : q;
    const float second = e < 4 ? q : (e == 12 || e == 14 ? p : r);
    return ((e & 1) ? -first : first) + ((e & 2) ? -second : second);
}

__device__ __forceinline__ float cornerTerm(int hash, float p, float q, float r) {
    float w = 0.6f - p * p - q * q - r * r;
    if (w < 0.0f) return 0.0f;
    w *= w;
    return w * w * gradient(hash, p, q, r);
}

// Three-dimensional simplex noise, roughly within [-1, 1].
__device__ float simplexNoise(float X, float Y, float Z) {
    const float s = (X + Y + Z) / 3.0f;
    const int i = (int)floorf(X + s), j = (int)floorf(Y + s), k = (int)floorf(Z + s);
    const float t = (float)(i + j + k) / 6.0f;
    const float x0 = X - ((float)i - t), y0 = Y - ((float)j - t), z0 = Z - ((float)k - t);

    int i1, j1, k1, i2, j2, k2;
    if (x0 >= y0) {
        if (y0 >= z0) {
            i1 = 1;
            j1 = 0;
            k1 = 0;
            i2 = 1;
            j2 = 1;
            k2 = 0;
        } else if (x0 >= z0) {
            i1 = 1;
            j1 = 0;
            k1 = 0;
            i2 = 1;
            j2 = 0;
            k2 = 1;
        } else {
            i1 = 0;
            j1 = 0;
            k1 = 1;
            i2 = 1;
            j2 = 0;
            k2 = 1;
        }
    } else {
        if (y0 < z0) {
            i1 = 0;
            j1 = 0;
            k1 = 1;
            i2 = 0;
            j2 = 1;
            k2 = 1;
        } else if (x0 < z0) {
            i1 = 0;
            j1 = 1;
            k1 = 0;
            i2 = 0;
            j2 = 1;
            k2 = 1;
        } else {
            i1 = 0;
            j1 = 1;
            k1 = 0;
            i2 = 1;
            j2 = 1;
            k2 = 0;
        }
    }

    const int ii = i & 255, jj = j & 255, kk = k & 255;
    const int h0 = perm[ii + perm[jj + perm[kk]]];
    const int h1 = perm[ii + i1 + perm[jj + j1 + perm[kk + k1]]];
    const int h2 = perm[ii + i2 + perm[jj + j2 + perm[kk + k2]]];
    const int h3 = perm[ii + 1 + perm[jj + 1 + perm[kk + 1]]];

    const float g1 = 1.0f / 6.0f, g2 = 1.0f / 3.0f;
    float n = cornerTerm(h0, x0, y0, z0);
    n += cornerTerm(h1, x0 - (float)i1 + g1, y0 - (float)j1 + g1, z0 - (float)k1 + g1);
    n += cornerTerm(h2, x0 - (float)i2 + g2, y0 - (float)j2 + g2, z0 - (float)k2 + g2);
    n += cornerTerm(h3, x0 - 1.0f + 0.5f, y0 - 1.0f + 0.5f, z0 - 1.0f + 0.5f);
    return 32.0f * n;
}

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
        qr += a * (P.x - LP.x);
        qg += a * (P.y - LP.y);
        qb += a * (P.z - LP.z);
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

    const float keep = 1.0f - M;
    return f4(S.x * keep + qr * M, S.y * keep + qg * M, S.z * keep + qb * M, S.w);
}

}  // namespace

__global__ void compositeKernel(VELMORA_RECORD(SystemParameters) sys, VELMORA_RECORD(PipelineParameters),
                                unsigned long long workingImageTex, VELMORA_RECORD(SourceConnections) sources,
                                unsigned long long outputSurface, VELMORA_RECORD(AnimatedParameters) params,
                                VELMORA_RECORD(BundledResources), VELMORA_RECORD(DeviceBuffers)) {
    PixelSite site;
    if (!pixelSite(sys, site)) return;
    writePixel(outputSurface, site, compositePixel(site, sys, sources, workingImageTex, params));
}

int launchComposite(const KernelLaunchArgs& a) {
    const LaunchGeometry g = launchGeometryFor(*a.system);
    VELMORA_LAUNCH(compositeKernel, dim3(g.gridX, g.gridY, 1), dim3(g.blockX, g.blockY, 1), a.stream,
                   *a.system, *a.pipeline, (unsigned long long)a.workingImageTex, *a.sources,
                   (unsigned long long)a.outputSurface, *a.parameters, *a.resources, *a.buffers);
    return VELMORA_LAUNCH_ERROR();
}

}  // namespace VELMORA_KERNEL_NS
