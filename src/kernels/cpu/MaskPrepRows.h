#pragma once

#include "kernels/cpu/BilinearTaps.h"
#include "kernels/cpu/RowRegion.h"

// CPU paths for the mask preparation passes that read several texels per pixel: the grow (a
// running maximum or minimum, with a fractional step read between texels) and the Gaussian blur.
// Both give the per-pixel kernel's result exactly (finite pixels; zeros may differ in sign).
namespace cpu_fast {

struct MaskImages {
    int width = 0, height = 0;
    FloatPlane in;  // the mask shape (execution 0) or the working image
    PlaneTarget out;
};

// The matte a "Mask_Shape" texel gives: luminance (0), alpha (1) or red (2), remapped from
// 0.05 .. 0.95 to 0 .. 1 (NaN gives 0).
inline float maskChannel(const float* s, int maskFrom) {
    const float q = maskFrom == 1   ? s[3]
                    : maskFrom == 2 ? s[0]
                                    : 0.2126f * s[0] + 0.7152f * s[1] + 0.0722f * s[2];
    const float m = (q - 0.05f) / 0.9f;
    const float low = m > 0.0f ? m : 0.0f;
    return low < 1.0f ? low : 1.0f;
}

// Whole pixel steps the grow takes each way.
int growSteps(const MaskImages& images, float grow);

// Executions 0 (along x, from the shape through the channel rule `maskFrom`) and 1 (along y).
// Declines (false, nothing written) a working image with NaN, whose order of comparison matters.
bool growMask(const MaskImages& images, const RowRegion& region, int execution, float grow, int maskFrom);

// Execution 2 blurs along x, later ones along y.
void blurMask(const MaskImages& images, const RowRegion& region, int execution, float blur);

}  // namespace cpu_fast
