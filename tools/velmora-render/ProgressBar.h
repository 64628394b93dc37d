#pragma once

#include <chrono>
#include <cstdio>
#include <iostream>
#include <ostream>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

// Progress on standard error. On a terminal one line is redrawn in place:
// "[##########----------]  5/10 frames  frame 1005  1.2 s, about 1.3 s left" (the unit and the
// item are the caller's). Elsewhere (a log file, a render farm's capture) each update adds a line
// of its own, without carriage returns.
// Whether progress written to `stream` reaches a terminal: only standard error is ever one.
inline bool progressOnTerminal(const std::ostream& stream) {
    if (&stream != &std::cerr) return false;
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return ::isatty(STDERR_FILENO) != 0;
#endif
}

class ProgressBar {
  public:
    ProgressBar(std::ostream& stream, long long total, const char* unit = "frames", bool terminal = true)
        : stream_(stream), total_(total), unit_(unit), terminal_(terminal) {}

    // The same with a total that is only known (or changes) on the way.
    void update(long long done, long long total) {
        total_ = total;
        update(done);
    }

    // `done` frames are finished, the last of them `frame`.
    void frameDone(long long done, int frame) {
        frame_ = frame;
        hasFrame_ = true;
        update(done);
    }

    void update(long long done) {
        const double seconds = elapsed();
        if (terminal_) {
            constexpr long long kCells = 30;
            long long filled = total_ > 0 ? done * kCells / total_ : kCells;
            filled = filled < 0 ? 0 : filled > kCells ? kCells : filled;
            stream_ << "\r[";
            for (long long i = 0; i < kCells; ++i) stream_ << (i < filled ? '#' : '-');
            stream_ << "] ";
        }
        stream_ << done << "/" << total_ << " " << unit_;
        if (hasFrame_) stream_ << "  frame " << frame_;
        stream_ << "  " << tenths(seconds) << " s";
        if (done > 0 && done < total_)
            stream_ << ", about "
                    << tenths(seconds / static_cast<double>(done) * static_cast<double>(total_ - done))
                    << " s left";
        stream_ << (terminal_ ? "\x1b[K" : "\n") << std::flush;
    }

    // Before a message of its own: ends the line being redrawn.
    void interrupt() {
        if (terminal_) stream_ << "\n" << std::flush;
    }
    void finish() { interrupt(); }

  private:
    double elapsed() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }
    static double tenths(double seconds) {
        return static_cast<double>(static_cast<long long>(seconds * 10)) / 10.0;
    }

    std::ostream& stream_;
    long long total_;
    const char* unit_;
    bool terminal_;
    int frame_ = 0;
    bool hasFrame_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};
