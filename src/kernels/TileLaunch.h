#pragma once

// A pass over a list of 16 x 16 tiles only: one block per tile, the same pixel work as the
// full-frame launch. `Pass::write` computes and writes one pixel.

#include "gpu/KernelCompat.h"
#include "kernels/KernelDevice.h"
#include "kernels/KernelLaunch.h"

namespace VELMORA_KERNEL_NS {

template <class Pass>
__global__ void tilesKernel(VELMORA_RECORD(SystemParameters) sys, VELMORA_RECORD(SourceConnections) sources,
                            unsigned long long workingImageTex, unsigned long long outputSurface,
                            VELMORA_RECORD(AnimatedParameters) params, const unsigned* tiles, int tileCount) {
    PixelSite site;
    if (!tileSite(sys, tiles, tileCount, site)) return;
    Pass::write(site, sys, sources, workingImageTex, outputSurface, params);
}

// `tiles` in the backend's memory, packed as (row << 16) | column.
template <class Pass>
int launchTiles(const KernelLaunchArgs& a, const unsigned* tiles, int tileCount) {
    VELMORA_LAUNCH(tilesKernel<Pass>, dim3((unsigned)tileCount, 1, 1), dim3(16, 16, 1), a.stream, *a.system,
                   *a.sources, (unsigned long long)a.workingImageTex, (unsigned long long)a.outputSurface,
                   *a.parameters, tiles, tileCount);
    return VELMORA_LAUNCH_ERROR();
}

}  // namespace VELMORA_KERNEL_NS
