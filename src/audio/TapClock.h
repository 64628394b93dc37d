#pragma once

// The clock of the tap keys: the steady clock in nanoseconds, which stamps a tap and tells at
// render time how long ago it was. It can be held at a fixed reading, so that a test bundle can
// age a tap by exact amounts whatever the machine's load.

#include <atomic>
#include <chrono>
#include <cstdint>

namespace audio {

inline std::atomic<int64_t>& heldTapClock() {
    static std::atomic<int64_t> held{0};
    return held;
}

// Holds the clock at `nanos`; 0 lets it run again.
inline void holdTapClock(int64_t nanos) {
    heldTapClock().store(nanos);
}

inline int64_t tapClockNanos() {
    const int64_t held = heldTapClock().load();
    if (held != 0) return held;
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace audio
