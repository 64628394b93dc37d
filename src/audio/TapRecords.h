#pragma once

// The taps of one effect instance: for each tap track 1 to 4, when the user last tapped (the
// event's time in frames and the steady clock's time of the key press). The tap keys of the
// viewer write them on the user-interface thread; renders read copies for the tap pulses.

#include <array>
#include <cstdint>
#include <mutex>

struct TapRecord {
    double tapTime = -1e18;   // frames; far in the past until the first tap
    int64_t steadyNanos = 0;  // steady-clock time of the tap, in nanoseconds
};

class TapRecords {
  public:
    static constexpr int kTrackCount = 4;

    // Writes the record of a track (1 to 4) under the tap lock; other tracks are ignored.
    void record(int track, double tapTime, int64_t steadyNanos) {
        if (track < 1 || track > kTrackCount) return;
        std::lock_guard<std::mutex> lock(tapLock_);
        records_[track - 1] = TapRecord{tapTime, steadyNanos};
    }

    // A copy of a track's record taken under the tap lock; false for a track outside 1 to 4.
    bool copy(int track, TapRecord& out) const {
        if (track < 1 || track > kTrackCount) return false;
        std::lock_guard<std::mutex> lock(tapLock_);
        out = records_[track - 1];
        return true;
    }

  private:
    mutable std::mutex tapLock_;
    std::array<TapRecord, kTrackCount> records_{};
};
