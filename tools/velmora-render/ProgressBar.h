#pragma once

#include <chrono>
#include <ostream>

// A one-line progress bar, redrawn in place on a terminal stream:
// "[##########----------]  5/10 frames  1.2 s" (the unit is the caller's).
class ProgressBar {
  public:
    ProgressBar(std::ostream& stream, int total, const char* unit = "frames")
        : stream_(stream), total_(total), unit_(unit) {}

    // The same with a total that is only known (or changes) on the way.
    void update(int done, int total) {
        total_ = total;
        update(done);
    }

    void update(int done) {
        constexpr int kCells = 30;
        int filled = total_ > 0 ? static_cast<int>(static_cast<long long>(done) * kCells / total_) : kCells;
        filled = filled < 0 ? 0 : filled > kCells ? kCells : filled;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        stream_ << "\r[";
        for (int i = 0; i < kCells; ++i) stream_ << (i < filled ? '#' : '-');
        stream_ << "] " << done << "/" << total_ << " " << unit_ << "  "
                << static_cast<long long>(seconds * 10) / 10.0 << " s" << std::flush;
    }

    void finish() { stream_ << "\n" << std::flush; }

  private:
    std::ostream& stream_;
    int total_;
    const char* unit_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};
