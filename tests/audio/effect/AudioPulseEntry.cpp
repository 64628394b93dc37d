// Factory-list hook of the audio test bundle: its own definition and its kernel in the launch
// table; and a test hook that holds the plug-in's tap clock.
#include "audio/TapClock.h"
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

extern "C" {

// Holds the clock that stamps taps and ages them at `nanos` (0: the steady clock runs again).
VELMORA_KERNEL_EXPORT void velmora_audiopulse_hold_tap_clock(long long nanos) {
    audio::holdTapClock(nanos);
}

}  // extern "C"

namespace OFX {
namespace Plugin {

void getPluginIDs(OFX::PluginFactoryArray& factories) {
    registerKernelModule("audio_pulse", &host_impl::launchAudioPulse, VELMORA_AUDIO_PULSE_CUDA);
    velmora::fillFactoryList(factories, velmora_audio_pulse_xml);
}

}  // namespace Plugin
}  // namespace OFX
