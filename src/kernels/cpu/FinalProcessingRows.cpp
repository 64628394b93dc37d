#include "kernels/cpu/FinalProcessingRows.h"

#include <cmath>
#include <cstddef>

#include "gpu/ThreadPool.h"

namespace cpu_fast {

bool finalProcessingIsIdentity(const SystemParameters& sys, bool haveSource,
                               const AudioMonitorRecord& monitor) {
    return monitor.monitorEnabled == 0 && monitor.analysisRunning == 0 && sys.premultiplyOutput == 0 &&
           !(sys.globalBlend < 1.0f && haveSource);
}

bool finalProcessingRows(const SystemParameters& sys, const void* source, int sourceRowBytes,
                         void* destination, int destinationRowBytes, const AudioMonitorRecord& monitor) {
    if (monitor.monitorEnabled != 0 || monitor.analysisRunning != 0 || !destination || sys.width <= 0 ||
        sys.height <= 0)
        return false;
    const bool premultiply = sys.premultiplyOutput != 0;
    const bool mix = sys.globalBlend < 1.0f && source != nullptr;
    const float blend = fmaxf(sys.globalBlend, 0.0f);
    const float keep = 1.0f - blend;
    parallelFor(static_cast<std::size_t>(sys.height), [&](std::size_t y) {
        float* p = reinterpret_cast<float*>(static_cast<unsigned char*>(destination) +
                                            y * static_cast<std::size_t>(destinationRowBytes));
        const float* o = mix ? reinterpret_cast<const float*>(static_cast<const unsigned char*>(source) +
                                                              y * static_cast<std::size_t>(sourceRowBytes))
                             : nullptr;
        for (int x = 0; x < sys.width; ++x, p += 4) {
            if (premultiply) {
                p[0] *= p[3];
                p[1] *= p[3];
                p[2] *= p[3];
            }
            if (mix) {
                for (int c = 0; c < 4; ++c) p[c] = p[c] * blend + o[c] * keep;
                o += 4;
            }
        }
    });
    return true;
}

}  // namespace cpu_fast
