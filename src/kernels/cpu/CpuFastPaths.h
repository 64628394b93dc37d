#pragma once

#include "kernels/KernelLaunch.h"

// Whole-row CPU implementations of the effect kernels for the host backend. Each reproduces the
// per-pixel kernel's result exactly for the cases it takes (finite pixels; zeros may differ in
// sign), and declines the others by returning false, leaving them to the per-pixel kernel.
namespace cpu_fast {

bool maskPrep(const KernelLaunchArgs& args);
bool blurDivide(const KernelLaunchArgs& args);
bool postBlur(const KernelLaunchArgs& args);
bool retextureBlur(const KernelLaunchArgs& args);
bool composite(const KernelLaunchArgs& args);

}  // namespace cpu_fast
