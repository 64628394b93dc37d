#pragma once

// What a launch wrapper hands to a kernel module: the records of one pass, the chosen working
// image and the output surface. Shared by the GPU and CPU builds of every module.

#include <stdint.h>

#include "kernels/KernelRecords.h"

struct KernelLaunchArgs {
    void* stream;  // the pass's GPU stream (null: default stream)
    const SystemParameters* system;
    const PipelineParameters* pipeline;
    const SourceConnections* sources;
    const AnimatedParameters* parameters;
    const BundledResources* resources;
    const DeviceBuffers* buffers;
    uint64_t workingImageTex;
    uint64_t outputSurface;
};

// Grid and block sizes of a pass: one-dimensional for a count dispatch, else 16 x 16 tiles.
struct LaunchGeometry {
    unsigned gridX, gridY, blockX, blockY;
};

inline LaunchGeometry launchGeometryFor(const SystemParameters& system) {
    if (system.dispatchCount > 0) {
        return {static_cast<unsigned>((system.dispatchCount + 255) / 256), 1u, 256u, 1u};
    }
    const unsigned width = system.width > 0 ? static_cast<unsigned>(system.width) : 0u;
    const unsigned height = system.height > 0 ? static_cast<unsigned>(system.height) : 0u;
    return {(width + 15u) / 16u, (height + 15u) / 16u, 16u, 16u};
}

// One launcher per kernel module and backend; each returns the launch error code (0 on success).
// The Tiles launchers run the pass over a list of 16 x 16 tiles only (in the backend's memory,
// packed as (row << 16) | column), one block per tile.
#define VELMORA_DECLARE_KERNEL_LAUNCHERS(ns)                                                       \
    namespace ns {                                                                                 \
    int launchMaskPrep(const KernelLaunchArgs& args);                                              \
    int launchBlurDivide(const KernelLaunchArgs& args);                                            \
    int launchPostBlur(const KernelLaunchArgs& args);                                              \
    int launchRetextureBlur(const KernelLaunchArgs& args);                                         \
    int launchComposite(const KernelLaunchArgs& args);                                             \
    int launchMaskPrepTiles(const KernelLaunchArgs& args, const unsigned* tiles, int count);       \
    int launchBlurDivideTiles(const KernelLaunchArgs& args, const unsigned* tiles, int count);     \
    int launchPostBlurTiles(const KernelLaunchArgs& args, const unsigned* tiles, int count);       \
    int launchRetextureBlurTiles(const KernelLaunchArgs& args, const unsigned* tiles, int count);  \
    int launchCompositeTiles(const KernelLaunchArgs& args, const unsigned* tiles, int count);      \
    int launchMaskPrepSupport(const KernelLaunchArgs& args, unsigned char* tileFlags, int tilesX); \
    }

VELMORA_DECLARE_KERNEL_LAUNCHERS(host_impl)
VELMORA_DECLARE_KERNEL_LAUNCHERS(cuda_impl)
