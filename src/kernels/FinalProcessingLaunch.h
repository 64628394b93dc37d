#pragma once

// The framework's own kernels, run around every effect pipeline: final processing (premultiply,
// global blend, the audio monitor) and matte injection (a copy of the source whose alpha comes
// from a matte's luminance or is opaque).

#include <stdint.h>

#include "gpu/GpuTypes.h"
#include "kernels/AudioMonitorRecord.h"
#include "kernels/KernelRecords.h"

// Matte-injection modes.
constexpr int kMatteInjectLuminance = 1;  // alpha = luminance of the matte
constexpr int kMatteInjectOpaque = 2;     // alpha = 1

struct FinalProcessingLaunchArgs {
    GpuStream stream;
    uint64_t resultSurface;  // read and written in place
    uint64_t sourceSurface;  // 0: no blend
    const SystemParameters* system;
    const AudioMonitorRecord* monitor;
};

struct MatteInjectLaunchArgs {
    GpuStream stream;
    uint64_t sourceTexture;
    uint64_t matteTexture;
    uint64_t outputSurface;
    int mode;
    int width;
    int height;
};

namespace host_impl {
int launchFinalProcessing(const FinalProcessingLaunchArgs& args);
int launchMatteInject(const MatteInjectLaunchArgs& args);
}  // namespace host_impl
namespace cuda_impl {
int launchFinalProcessing(const FinalProcessingLaunchArgs& args);
int launchMatteInject(const MatteInjectLaunchArgs& args);
}  // namespace cuda_impl

// Launch on the process's backend (16 x 16 blocks over the image); returns the launch error code.
// The caller checks the runtime's last error and synchronises the stream.
int launchFinalProcessingKernel(GpuStream stream, GpuSurfaceObject resultSurface,
                                GpuSurfaceObject sourceSurface, const SystemParameters& system,
                                const AudioMonitorRecord& monitor);
int launchMatteInjectKernel(GpuStream stream, GpuTextureObject sourceTexture, GpuTextureObject matteTexture,
                            GpuSurfaceObject outputSurface, int mode, int width, int height);
