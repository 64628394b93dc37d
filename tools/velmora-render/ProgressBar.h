#pragma once

#include <chrono>
#include <ostream>

// A one-line progress bar for a sequence, redrawn in place on a terminal stream:
// "[##########----------]  5/10 frames  1.2 s".
class ProgressBar {
  public:
    ProgressBar(std::ostream& stream, int total) : stream_(stream), total_(total) {}

    void update(int done) {
        constexpr int kCells = 30;
        const int filled = total_ > 0 ? done * kCells / total_ : kCells;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        stream_ << "\r[";
        for (int i = 0; i < kCells; ++i) stream_ << (i < filled ? '#' : '-');
        stream_ << "] " << done << "/" << total_ << " frames  " << static_cast<long long>(seconds * 10) / 10.0
                << " s" << std::flush;
    }

    void finish() { stream_ << "\n" << std::flush; }

  private:
    std::ostream& stream_;
    int total_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};
