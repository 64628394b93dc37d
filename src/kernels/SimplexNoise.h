#pragma once

// Three-dimensional simplex noise over Perlin's reference permutation, for the composite's film
// grain. Shared by the kernel and the host backend's CPU path so both compute it identically.

#include "gpu/KernelCompat.h"
#include "kernels/PerlinPermutation.h"

namespace VELMORA_KERNEL_NS {

namespace {

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

}  // namespace

}  // namespace VELMORA_KERNEL_NS
