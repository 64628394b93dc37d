#pragma once

#include "kernels/KernelLaunch.h"
#include "kernels/cpu/RowRegion.h"

// Whole-row CPU implementations of the effect kernels for the host backend. Each reproduces the
// per-pixel kernel's result exactly over the part of the frame it is given (finite pixels; zeros
// may differ in sign) and writes nothing outside it; a pixel whose reads land between texels
// (frames beyond 4096 pixels a side) is left to the per-pixel kernel. Each declines the cases it
// does not cover by returning false, leaving the whole pass to the per-pixel kernel.
namespace cpu_fast {

bool maskPrep(const KernelLaunchArgs& args, const RowRegion& region);
bool blurDivide(const KernelLaunchArgs& args, const RowRegion& region);
bool postBlur(const KernelLaunchArgs& args, const RowRegion& region);
bool retextureBlur(const KernelLaunchArgs& args, const RowRegion& region);
bool composite(const KernelLaunchArgs& args, const RowRegion& region);

// The first mask preparation execution's scan (see launchMaskPrepSupport) over the shape's texels.
// False when the shape is not a texture the rows can read.
bool maskPrepSupport(const KernelLaunchArgs& args, unsigned char* tileFlags, int tilesX);

// The same over the whole frame.
bool maskPrep(const KernelLaunchArgs& args);
bool blurDivide(const KernelLaunchArgs& args);
bool postBlur(const KernelLaunchArgs& args);
bool retextureBlur(const KernelLaunchArgs& args);
bool composite(const KernelLaunchArgs& args);

}  // namespace cpu_fast
