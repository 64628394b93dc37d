#pragma once

#include "kernels/KernelRecords.h"
#include "kernels/cpu/BilinearTaps.h"
#include "kernels/cpu/RowRegion.h"

// CPU path for the retexture low-pass inside the mask, at any offset. Gives the per-pixel
// kernel's result exactly (finite pixels; zeros may differ in sign).
namespace cpu_fast {

struct RetextureImages {
    int width = 0, height = 0;
    FloatPlane plate, mask, working;  // working: read by the pass along y
    PlaneTarget out;
};

void retextureBlurRows(const RetextureImages& images, const RowRegion& region, const SystemParameters& sys,
                       const AnimatedParameters& params);

// Taps each way of the low-pass.
int retextureRadius(const AnimatedParameters& params);

}  // namespace cpu_fast
