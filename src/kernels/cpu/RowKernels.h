#pragma once

// The inner loops the CPU paths share, over n floats, built for AVX2 where the processor has it.
// Each does one multiply and one add per float in this order, as the per-pixel kernels do.
namespace cpu_fast {

// acc[i] += (w * p[i]) * m[i]
void accumulateWeighted(float* acc, const float* p, const float* m, float w, int n);
// acc[i] += w * p[i]
void accumulate(float* acc, const float* p, float w, int n);
// acc[i] += w * (((w00 * a[i] + w10 * b[i]) + w01 * c[i]) + w11 * d[i]): a bilinear read of the
// same weights at every element, as the texture unit sums it. Pass zeros for a term of no weight.
void accumulateBilinear(float* acc, const float* a, const float* b, const float* c, const float* d, float w00,
                        float w10, float w01, float w11, float w, int n);
// dst[i] = acc[i] * s
void scaleInto(float* dst, const float* acc, float s, int n);

}  // namespace cpu_fast
