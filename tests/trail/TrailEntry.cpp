// The trail test bundle's own pieces: the factory-list hook, which registers the bundle's kernel
// modules in the launch table and builds the effect from the compiled-in trail definition (or
// from the document VELMORA_TEST_DEFINITION_FILE names, so that tests can vary it); and test
// hooks that fail allocations of the plug-in's CPU backend and count the blocks it keeps.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "TrailKernels.h"
#include "gpu/GpuRuntime.h"
#include "gpu/HostRuntime.h"
#include "kernels/KernelPasses.h"
#include "plugin/FactoryList.h"

extern const char velmora_trail_definition_xml[];

#if defined(VELMORA_HAVE_CUDA)
#define TRAIL_CUDA_LAUNCHER(fn) &cuda_impl::fn
#else
#define TRAIL_CUDA_LAUNCHER(fn) nullptr
#endif

extern "C" {

// The plug-in's CPU backend fails its n-th allocation from now (1: the next one; 0: none).
// Returns 0 when the plug-in renders on another backend, where nothing is changed.
VELMORA_KERNEL_EXPORT int velmora_trail_fail_allocation_after(unsigned long long n) {
    if (gpuRuntime().kind() != GpuBackendKind::Host) return 0;
    HostRuntime::instance().failAllocationAfter(static_cast<std::size_t>(n));
    return 1;
}

// Frame-sized blocks the plug-in's CPU backend keeps for reuse.
VELMORA_KERNEL_EXPORT unsigned long long velmora_trail_kept_blocks() {
    return HostRuntime::instance().spareBlockCount();
}

}  // extern "C"

namespace OFX {
namespace Plugin {

void getPluginIDs(OFX::PluginFactoryArray& factories) {
    registerKernelModule("trail_clear", &host_impl::launchTrailClear, TRAIL_CUDA_LAUNCHER(launchTrailClear));
    registerKernelModule("trail_measure", &host_impl::launchTrailMeasure,
                         TRAIL_CUDA_LAUNCHER(launchTrailMeasure));
    registerKernelModule("trail_blend", &host_impl::launchTrailBlend, TRAIL_CUDA_LAUNCHER(launchTrailBlend));
    registerKernelModule("trail_finish", &host_impl::launchTrailFinish,
                         TRAIL_CUDA_LAUNCHER(launchTrailFinish));

    // The stem names the plug-in: com.xmlframework.trail.
    static const char kTrailDefinitionPath[] =
        "C:/Program Files/Common Files/OFX/Plugins/velmora_trail.ofx.bundle/Contents/effects/trail.xml";
    // Lives as long as the library: the factory and its instances parse this text.
    static std::string text;
    const char* path = std::getenv("VELMORA_TEST_DEFINITION_FILE");
    if (!path || !*path) {
        velmora::fillFactoryList(factories, velmora_trail_definition_xml, kTrailDefinitionPath);
        return;
    }
    std::ifstream in(path, std::ios::binary);
    std::stringstream contents;
    contents << in.rdbuf();
    text = contents.str();
    velmora::fillFactoryList(factories, text.c_str(), kTrailDefinitionPath);
}

}  // namespace Plugin
}  // namespace OFX
