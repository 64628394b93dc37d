#pragma once

#include <cstdlib>

#include "log/PluginLog.h"

// With VELMORA_FUZZ_LOG set, a target's log lines are formatted into a real log file as well, so
// that what the code under test logs about bad input is fuzzed too. Call at each input; the log
// is set up once.
inline void setUpFuzzLog() {
    static const bool ready = [] {
        if (std::getenv("VELMORA_FUZZ_LOG")) {
            PluginLog::instance().switchEffect("fuzz");
            PluginLog::instance().setLevel(LogLevel::Debug);
        }
        return true;
    }();
    (void)ready;
}
