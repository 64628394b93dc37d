// The final_processing kernel module built for the host backend, and the launch entries that pick
// the build matching the process's GPU backend.
#include "../final_processing.cu"
#include "gpu/GpuRuntime.h"

int launchFinalProcessingKernel(GpuStream stream, GpuSurfaceObject resultSurface,
                                GpuSurfaceObject sourceSurface, const SystemParameters& system,
                                const AudioMonitorRecord& monitor) {
    if (system.width <= 0 || system.height <= 0) return GpuErr::InvalidConfiguration;
    const FinalProcessingLaunchArgs args{stream, resultSurface, sourceSurface, &system, &monitor};
    if (gpuRuntime().kind() == GpuBackendKind::Cuda) {
#if defined(VELMORA_HAVE_CUDA)
        return cuda_impl::launchFinalProcessing(args);
#else
        return GpuErr::NoDevice;
#endif
    }
    return host_impl::launchFinalProcessing(args);
}

int launchMatteInjectKernel(GpuStream stream, GpuTextureObject sourceTexture, GpuTextureObject matteTexture,
                            GpuSurfaceObject outputSurface, int mode, int width, int height) {
    if (width <= 0 || height <= 0) return GpuErr::InvalidConfiguration;
    const MatteInjectLaunchArgs args{stream, sourceTexture, matteTexture, outputSurface, mode, width, height};
    if (gpuRuntime().kind() == GpuBackendKind::Cuda) {
#if defined(VELMORA_HAVE_CUDA)
        return cuda_impl::launchMatteInject(args);
#else
        return GpuErr::NoDevice;
#endif
    }
    return host_impl::launchMatteInject(args);
}
