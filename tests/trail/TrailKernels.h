#pragma once

// Launchers of the trail effect's kernel modules, one set per backend build.

#include "kernels/KernelLaunch.h"

#define VELMORA_DECLARE_TRAIL_LAUNCHERS(ns)               \
    namespace ns {                                        \
    int launchTrailClear(const KernelLaunchArgs& args);   \
    int launchTrailMeasure(const KernelLaunchArgs& args); \
    int launchTrailBlend(const KernelLaunchArgs& args);   \
    int launchTrailFinish(const KernelLaunchArgs& args);  \
    }

VELMORA_DECLARE_TRAIL_LAUNCHERS(host_impl)
VELMORA_DECLARE_TRAIL_LAUNCHERS(cuda_impl)
