#pragma once

#include "kernels/KernelLaunch.h"
#include "kernels/PassReach.h"

// What each kernel module's pass reads and where its output can differ from zero or from its
// input, for the pass's records. False: the module cannot bound the pass.
bool maskPrepReach(const KernelLaunchArgs& args, PassReach& reach);
bool blurDivideReach(const KernelLaunchArgs& args, PassReach& reach);
bool postBlurReach(const KernelLaunchArgs& args, PassReach& reach);
bool retextureBlurReach(const KernelLaunchArgs& args, PassReach& reach);
bool compositeReach(const KernelLaunchArgs& args, PassReach& reach);
