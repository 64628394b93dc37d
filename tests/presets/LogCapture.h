#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "log/PluginLog.h"

// Sends the plug-in log to a fresh file in a temporary folder at DEBUG level, so that a test
// can read what was logged.
class LogCapture {
  public:
    LogCapture() {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-log-XXXXXX").string();
        folder_ = mkdtemp(&pattern[0]) ? pattern : std::string();
        setenv("VELMORA_LOG_DIR", folder_.c_str(), 1);
        PluginLog::instance().switchEffect("presets_test");
        PluginLog::instance().setLevel(LogLevel::Debug);
    }
    ~LogCapture() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    std::string text() const {
        PluginLog::instance().flush();
        std::ifstream in(PluginLog::instance().path());
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    bool contains(const std::string& line) const { return text().find(line) != std::string::npos; }

  private:
    std::string folder_;
};
