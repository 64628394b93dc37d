#pragma once

#include "kernels/KernelRecords.h"
#include "kernels/cpu/BilinearTaps.h"
#include "kernels/cpu/RowRegion.h"

// CPU path for the post blur inside the mask: the Gaussian along one axis, the directional line
// blur, or both. Gives the per-pixel kernel's result exactly (finite pixels; zeros may differ in sign).
namespace cpu_fast {

struct PostBlurImages {
    int width = 0, height = 0;
    FloatPlane mask, working;
    PlaneTarget out;
};

void postBlurRows(const PostBlurImages& images, const RowRegion& region, const SystemParameters& sys,
                  const AnimatedParameters& params);

}  // namespace cpu_fast
