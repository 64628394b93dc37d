// Trail, measure process, pass 1: clears the histogram's bins (one thread per bin, a count
// dispatch over the histogram buffer) before the frame is counted.

#include "TrailDevice.h"
#include "TrailKernels.h"
#include "gpu/KernelCompat.h"

namespace VELMORA_KERNEL_NS {

__global__ void trailClearKernel(VELMORA_RECORD(SystemParameters) sys, VELMORA_RECORD(PipelineParameters),
                                 unsigned long long, VELMORA_RECORD(SourceConnections), unsigned long long,
                                 VELMORA_RECORD(AnimatedParameters), VELMORA_RECORD(BundledResources),
                                 VELMORA_RECORD(DeviceBuffers) buffers) {
    int bins = 0;
    unsigned int* histogram = trail::deviceBuffer<unsigned int>(buffers, trail::kHistogramBuffer, &bins);
    const int i = (int)(blockIdx.x * blockDim.x + threadIdx.x);
    // Without the buffer the dispatch falls back to the image grid: nothing to clear.
    if (!histogram || sys.dispatchCount <= 0 || i >= sys.dispatchCount || i >= bins) return;
    histogram[i] = 0u;
}

int launchTrailClear(const KernelLaunchArgs& a) {
    const LaunchGeometry g = launchGeometryFor(*a.system);
    VELMORA_LAUNCH(trailClearKernel, dim3(g.gridX, g.gridY, 1), dim3(g.blockX, g.blockY, 1), a.stream,
                   *a.system, *a.pipeline, (unsigned long long)a.workingImageTex, *a.sources,
                   (unsigned long long)a.outputSurface, *a.parameters, *a.resources, *a.buffers);
    return VELMORA_LAUNCH_ERROR();
}

}  // namespace VELMORA_KERNEL_NS
