#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "../DecimalCommaLocale.h"
#include "definition/XMLEffectDefinition.h"
#include "log/PluginLog.h"

// Points the plug-in log at a fresh temporary folder for each test and reads it back.
class LoggedTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("velmora-def-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder_);
        setenv("VELMORA_LOG_DIR", folder_.c_str(), 1);
        PluginLog::instance().switchEffect("deftest");
        PluginLog::instance().setLevel(LogLevel::Debug);
    }
    void TearDown() override {
        PluginLog::instance().setLevel(LogLevel::Error);
        std::filesystem::remove_all(folder_);
    }
    std::string logText() const {
        PluginLog::instance().flush();
        std::ifstream in(PluginLog::instance().path(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    bool logged(const std::string& line) const { return logText().find(line + "\n") != std::string::npos; }

    std::filesystem::path folder_;
};

// An effect document with the required attributes; adds an empty pipeline unless the body has one.
inline std::string effectDocument(const std::string& body) {
    std::string document = "<effect name=\"t\" category=\"c\">" + body;
    if (body.find("<pipeline") == std::string::npos) document += "<pipeline/>";
    return document + "</effect>";
}
