#pragma once

#include "kernels/KernelRecords.h"
#include "kernels/cpu/BilinearTaps.h"
#include "kernels/cpu/RowRegion.h"

// CPU paths for the blur/divide passes whose reads land between texels: the weighted horizontal
// blur with a plate offset, and the directional blur before the division. Both give the per-pixel
// kernel's result exactly (finite pixels; zeros may differ in sign).
namespace cpu_fast {

struct BlurDivideImages {
    int width = 0, height = 0;
    bool reflect = false;
    FloatPlane plate, mask, working;
    PlaneTarget out;
};

// Execution 0 with a plate offset: the offset plate weighted by the inverted mask, blurred along x.
void offsetWeightedRowBlur(const BlurDivideImages& images, const RowRegion& region,
                           const AnimatedParameters& params);

// Execution 2 with a directional amount above one half: the directional blur inside the mask,
// then the division.
void directionalDivide(const BlurDivideImages& images, const RowRegion& region,
                       const AnimatedParameters& params);

}  // namespace cpu_fast
