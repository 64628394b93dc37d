// Factory-list hook of the overlay test effects: registers their kernel in the launch table and
// describes the definition compiled into this bundle (VELMORA_TEST_EFFECT_XML names its text,
// VELMORA_TEST_EFFECT_PATH the path whose stem names the plug-in).
#include "kernels/KernelLaunch.h"
#include "kernels/KernelPasses.h"
#include "plugin/FactoryList.h"

extern const char VELMORA_TEST_EFFECT_XML[];

namespace host_impl {
int launchOverlayProbe(const KernelLaunchArgs& args);
}
#if defined(VELMORA_HAVE_CUDA)
namespace cuda_impl {
int launchOverlayProbe(const KernelLaunchArgs& args);
}
#define VELMORA_OVERLAY_PROBE_CUDA &cuda_impl::launchOverlayProbe
#else
#define VELMORA_OVERLAY_PROBE_CUDA nullptr
#endif

namespace OFX {
namespace Plugin {

void getPluginIDs(OFX::PluginFactoryArray& factories) {
    registerKernelModule("overlay_probe", &host_impl::launchOverlayProbe, VELMORA_OVERLAY_PROBE_CUDA);
    velmora::fillFactoryList(factories, VELMORA_TEST_EFFECT_XML, VELMORA_TEST_EFFECT_PATH);
}

}  // namespace Plugin
}  // namespace OFX
