#pragma once

// The inner loops the CPU paths share, over n floats, built for AVX2 where the processor has it.
// Each does one multiply and one add per float in this order, as the per-pixel kernels do.
namespace cpu_fast {

// acc[i] += (w * p[i]) * m[i]
void accumulateWeighted(float* acc, const float* p, const float* m, float w, int n);
// acc[i] += w * p[i]
void accumulate(float* acc, const float* p, float w, int n);
// dst[i] = acc[i] * s
void scaleInto(float* dst, const float* acc, float s, int n);

}  // namespace cpu_fast
