#pragma once

#include "kernels/KernelRecords.h"
#include "kernels/cpu/BilinearTaps.h"
#include "kernels/cpu/RowRegion.h"

// CPU path for the composite with retexture detail or film grain. Gives the per-pixel kernel's
// result exactly (finite pixels; zeros may differ in sign).
namespace cpu_fast {

struct CompositeImages {
    int width = 0, height = 0;
    FloatPlane plate, mask, fill, working;  // working: only read with retexture on
    PlaneTarget out;
};

void compositeRows(const CompositeImages& images, const RowRegion& region, const SystemParameters& sys,
                   const AnimatedParameters& params);

}  // namespace cpu_fast
