// Factory-list hook of the audio test bundle: its own definition and its kernel in the launch table.
#include "kernels/KernelLaunch.h"
#include "kernels/KernelPasses.h"
#include "plugin/FactoryList.h"

extern const char velmora_audio_pulse_xml[];

namespace host_impl {
int launchAudioPulse(const KernelLaunchArgs& args);
}
#if defined(VELMORA_HAVE_CUDA)
namespace cuda_impl {
int launchAudioPulse(const KernelLaunchArgs& args);
}
#define VELMORA_AUDIO_PULSE_CUDA &cuda_impl::launchAudioPulse
#else
#define VELMORA_AUDIO_PULSE_CUDA nullptr
#endif

namespace OFX {
namespace Plugin {

void getPluginIDs(OFX::PluginFactoryArray& factories) {
    registerKernelModule("audio_pulse", &host_impl::launchAudioPulse, VELMORA_AUDIO_PULSE_CUDA);
    velmora::fillFactoryList(factories, velmora_audio_pulse_xml);
}

}  // namespace Plugin
}  // namespace OFX
