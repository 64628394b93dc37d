#include "kernels/cpu/RowKernels.h"

#include "kernels/cpu/RowKernel.h"

namespace cpu_fast {

VELMORA_ROW_KERNEL void accumulateWeighted(float* acc, const float* p, const float* m, float w, int n) {
    for (int i = 0; i < n; ++i) acc[i] += w * p[i] * m[i];
}

VELMORA_ROW_KERNEL void accumulate(float* acc, const float* p, float w, int n) {
    for (int i = 0; i < n; ++i) acc[i] += w * p[i];
}

VELMORA_ROW_KERNEL void accumulateBilinear(float* acc, const float* a, const float* b, const float* c,
                                           const float* d, float w00, float w10, float w01, float w11,
                                           float w, int n) {
    for (int i = 0; i < n; ++i) acc[i] += w * (((w00 * a[i] + w10 * b[i]) + w01 * c[i]) + w11 * d[i]);
}

VELMORA_ROW_KERNEL void scaleInto(float* dst, const float* acc, float s, int n) {
    for (int i = 0; i < n; ++i) dst[i] = acc[i] * s;
}

}  // namespace cpu_fast
