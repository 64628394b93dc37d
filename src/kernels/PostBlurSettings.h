#pragma once

// The settings of one post blur execution, derived from its parameters once: the per-pixel kernel
// and the CPU row path both take them from here.

#include "kernels/KernelDevice.h"

namespace VELMORA_KERNEL_NS {

constexpr int kMaxPostBlurRadius = 100;

struct PostBlurSettings {
    bool gaussian, directional, reflect;
    float sigma;  // of the Gaussian along the axis
    int radius;
    int dirRadius;  // of the directional line
    float dirSigma, bias;
    float cd, sd;        // one step along the line, in normalized coordinates
    float axisU, axisV;  // one step along the axis of this execution
};

// `du` and `dv` are one pixel in normalized coordinates.
__device__ __forceinline__ PostBlurSettings postBlurSettings(const AnimatedParameters& params, int execution,
                                                             float du, float dv) {
    PostBlurSettings s;
    const float amount = finiteOr(params.floats[6], 0.0f);
    const float dirAmount = finiteOr(params.floats[7], 0.0f);
    s.gaussian = amount >= 0.5f;
    s.directional = dirAmount >= 0.5f;
    s.reflect = params.bools[4] != 0;
    s.sigma = fmaxf(amount / 3.0f, 0.001f);
    s.radius = tapRadius(amount);
    if (s.radius < 1) s.radius = 1;
    if (s.radius > kMaxPostBlurRadius) s.radius = kMaxPostBlurRadius;
    const float h = dirAmount / 2.0f;
    s.dirRadius = tapRadius(h) < 1 ? 1 : tapRadius(h);
    s.dirSigma = fmaxf(h / 3.0f, 0.001f);
    s.bias = h * finiteOr(params.floats[9], 0.0f);
    const float theta = finiteOr(params.floats[8], 0.0f) * 3.14159265358979f / 180.0f;
    s.cd = du * cosf(theta);
    s.sd = dv * sinf(theta);
    const bool alongX = execution == 0;
    s.axisU = alongX ? du : 0.0f;
    s.axisV = alongX ? 0.0f : dv;
    return s;
}

}  // namespace VELMORA_KERNEL_NS
