// Feeds arbitrary bytes to the audio analysis loader, as a container or as plain JSON. The loader
// must refuse bad input through its return value, never crash, hang or exhaust memory, and a
// loaded analysis must answer every query within its tables.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzLog.h"
#include "audio/AnalysisContainer.h"
#include "audio/AudioDataCache.h"

namespace {

double query(const AudioDataCache& cache) {
    double total = cache.duration() + cache.beatCountAt(1.0) + cache.channelIndex("rms_energy");
    for (int stem = -1; stem <= cache.stemCount(); ++stem) {
        for (int channel = -1; channel <= cache.channelCount() && channel < 16; ++channel) {
            total += cache.sample(stem, 0.37, channel) + cache.windowAverage(stem, 0.5, channel, 0.25) +
                     cache.frameValue(stem, cache.frameCount(stem) - 1, channel);
        }
    }
    return total;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    setUpFuzzLog();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    AudioDataCache cache;
    if (cache.loadBytes(bytes)) {
        volatile double sink = query(cache);
        (void)sink;
    }
    // The same bytes as the JSON inside a deflated container reach the JSON reader through inflate.
    if (size > 0 && data[0] == '{') {
        AudioDataCache packed;
        if (packed.loadBytes(audio::packContainer(bytes, 1))) {
            volatile double sink = query(packed);
            (void)sink;
        }
    }
    return 0;
}
