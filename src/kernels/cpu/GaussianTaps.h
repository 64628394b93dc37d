#pragma once

#include <vector>

#include "kernels/KernelDevice.h"

namespace cpu_fast {

// The Gaussian taps of radius `radius` that carry weight, in ascending order, with the kernel's
// weights and their total summed in the kernel's order, and the farthest offset kept.
struct GaussianTaps {
    std::vector<int> offsets;
    std::vector<float> weights;
    float total = 0.0f;
    int reach = 0;
};

inline GaussianTaps gaussianTaps(int radius, float sigma) {
    GaussianTaps taps;
    for (int k = -radius; k <= radius; ++k) {
        const float w = host_impl::gaussianTap((float)k, sigma);
        if (w < VELMORA_MIN_TAP_WEIGHT) continue;
        taps.offsets.push_back(k);
        taps.weights.push_back(w);
        taps.total += w;
        const int a = k < 0 ? -k : k;
        if (a > taps.reach) taps.reach = a;
    }
    return taps;
}

}  // namespace cpu_fast
