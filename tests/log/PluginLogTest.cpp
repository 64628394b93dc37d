#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "log/PluginLog.h"

namespace fs = std::filesystem;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class PluginLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ =
            fs::temp_directory_path() / ("velmora-log-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        setenv("VELMORA_LOG_DIR", folder_.c_str(), 1);
    }
    void TearDown() override {
        fs::remove_all(folder_);
        unsetenv("VELMORA_LOG_DIR");
    }
    std::string logPath(const std::string& effect) const {
        return (folder_ / (effect + "_plugin_log.txt")).string();
    }

    fs::path folder_;
};

TEST_F(PluginLogTest, SwitchWritesSessionHeaderInOwnerOnlyFolder) {
    PluginLog& log = PluginLog::instance();
    log.switchEffect("hdr");
    log.flush();
    EXPECT_EQ(log.path(), logPath("hdr"));
    const std::string text = readFile(logPath("hdr"));
    EXPECT_EQ(text.rfind("=== hdr Plugin Session Started ===\nSession time: ", 0), 0u) << text;
    EXPECT_NE(text.find("\nLog file: " + logPath("hdr") + "\nMax log size: 2 MB, backups: 2\n"),
              std::string::npos)
        << text;
    struct stat info {};
    ASSERT_EQ(stat(folder_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(PluginLogTest, LevelFiltersLinesAndPrefixes) {
    PluginLog& log = PluginLog::instance();
    log.switchEffect("levels");
    log.setLevel(LogLevel::Error);
    VLOG_ERROR("e%d", 1);
    VLOG_INFO("i%d", 1);
    VLOG_DEBUG("d%d", 1);
    // An error line reaches the file at once, without a flush.
    EXPECT_NE(readFile(logPath("levels")).find("[ERROR] e1\n"), std::string::npos);

    log.setLevel(LogLevel::Info);
    VLOG_INFO("i%s", "2");
    VLOG_DEBUG("d2");
    log.debug("d3");
    log.setLevel(LogLevel::Debug);
    log.debug("d%d", 4);
    VLOG_DEBUG("d5");
    log.flush();
    const std::string text = readFile(logPath("levels"));
    const std::string tail = text.substr(text.find("[ERROR] e1\n"));
    EXPECT_EQ(tail, "[ERROR] e1\nDebug level: INFO\n[INFO] i2\nDebug level: DEBUG\n[DEBUG] d4\n[DEBUG] d5\n");
    log.setLevel(LogLevel::Error);
}

TEST_F(PluginLogTest, LevelFromText) {
    struct Case {
        const char* text;
        LogLevel expected;
    };
    const Case cases[] = {
        {"debug", LogLevel::Debug},   {"DeBuG", LogLevel::Debug}, {"info", LogLevel::Info},
        {"INFO", LogLevel::Info},     {"iNfO", LogLevel::Info},   {"error", LogLevel::Error},
        {"warning", LogLevel::Error}, {"", LogLevel::Error},      {"info ", LogLevel::Error}};
    PluginLog& log = PluginLog::instance();
    for (const Case& c : cases) {
        log.setLevel(LogLevel::Info);
        log.setLevelFromText(c.text);
        EXPECT_EQ(log.level(), c.expected) << '"' << c.text << '"';
    }
    log.setLevel(LogLevel::Error);
}

TEST_F(PluginLogTest, EachSwitchShiftsBackups) {
    PluginLog& log = PluginLog::instance();
    log.setLevel(LogLevel::Error);
    const std::string path = logPath("shift");
    for (int session = 1; session <= 3; ++session) {
        log.switchEffect("shift");
        VLOG_ERROR("session %d", session);
    }
    log.switchEffect("other");
    EXPECT_NE(readFile(path).find("[ERROR] session 3\n[INFO] === Switching to new effect: other ===\n"),
              std::string::npos);
    EXPECT_NE(readFile(path + ".1").find("[ERROR] session 2\n"), std::string::npos);
    EXPECT_NE(readFile(path + ".2").find("[ERROR] session 1\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(path + ".3"));
}

// Builds a file of exactly `target` bytes after 99 message lines, so that the 100th
// write runs the size check.
void fillTo(PluginLog& log, const std::string& path, long target) {
    log.flush();
    long remaining = target - static_cast<long>(fs::file_size(path));
    const long overhead = 8;  // "[INFO] " and the newline
    const long each = remaining / 99;
    for (int line = 1; line <= 98; ++line) {
        VLOG_INFO("%s", std::string(each - overhead, 'x').c_str());
        remaining -= each;
    }
    VLOG_INFO("%s", std::string(remaining - overhead, 'y').c_str());
    log.flush();
    ASSERT_EQ(static_cast<long>(fs::file_size(path)), target);
}

TEST_F(PluginLogTest, RotatesAtTheHundredthLineOnceFull) {
    PluginLog& log = PluginLog::instance();
    log.switchEffect("rot");
    log.setLevel(LogLevel::Info);
    const std::string path = logPath("rot");
    fillTo(log, path, 2097152);
    EXPECT_FALSE(fs::exists(path + ".1")) << "rotated before the size check";

    VLOG_INFO("line 100");
    log.flush();
    const std::string backup = readFile(path + ".1");
    EXPECT_NE(backup.find("[INFO] === Log rotation triggered (size: 2097152 bytes) ===\n"),
              std::string::npos);
    const std::string fresh = readFile(path);
    EXPECT_EQ(fresh.rfind("=== rot Plugin Log Continued (rotation) ===\nRotation time: ", 0), 0u);
    EXPECT_NE(fresh.find("\nPrevious log backed up to: " + path + ".1\n[INFO] line 100\n"),
              std::string::npos);

    // The next rotation pushes the first backup to .2.
    fillTo(log, path, 2097152 + 3000);
    VLOG_INFO("line 200");
    log.flush();
    EXPECT_NE(readFile(path + ".2").find("(size: 2097152 bytes)"), std::string::npos);
    EXPECT_NE(readFile(path + ".1").find("(size: 2100152 bytes)"), std::string::npos);
    log.setLevel(LogLevel::Error);
}

TEST_F(PluginLogTest, OneByteShortIsNotRotated) {
    PluginLog& log = PluginLog::instance();
    log.switchEffect("short");
    log.setLevel(LogLevel::Info);
    const std::string path = logPath("short");
    fillTo(log, path, 2097151);
    VLOG_INFO("line 100");
    log.flush();
    EXPECT_FALSE(fs::exists(path + ".1"));
    EXPECT_NE(readFile(path).find("y\n[INFO] line 100\n"), std::string::npos);
    log.setLevel(LogLevel::Error);
}

TEST_F(PluginLogTest, DroppedLinesDoNotAdvanceTheSizeCheck) {
    PluginLog& log = PluginLog::instance();
    log.switchEffect("drop");
    log.setLevel(LogLevel::Info);
    const std::string path = logPath("drop");
    fillTo(log, path, 2097152);
    for (int i = 0; i < 150; ++i) VLOG_DEBUG("dropped");
    EXPECT_FALSE(fs::exists(path + ".1"));
    VLOG_INFO("line 100");
    log.flush();
    EXPECT_TRUE(fs::exists(path + ".1"));
    log.setLevel(LogLevel::Error);
}

TEST_F(PluginLogTest, FailedOpenDropsLinesUntilNextSwitch) {
    PluginLog& log = PluginLog::instance();
    fs::create_directories(folder_);
    const fs::path blocker = folder_ / "not-a-folder";
    std::ofstream(blocker.string()) << "plain file";
    setenv("VELMORA_LOG_DIR", (blocker / "logs").c_str(), 1);
    log.switchEffect("blocked");
    VLOG_ERROR("lost");  // must not crash or appear anywhere
    log.flush();
    EXPECT_EQ(readFile(blocker.string()), "plain file");

    setenv("VELMORA_LOG_DIR", folder_.c_str(), 1);
    log.switchEffect("blocked");
    VLOG_ERROR("kept");
    const std::string text = readFile(logPath("blocked"));
    EXPECT_EQ(text.find("lost"), std::string::npos);
    EXPECT_NE(text.find("[ERROR] kept\n"), std::string::npos);
}

TEST_F(PluginLogTest, EffectNameCannotLeaveTheFolder) {
    PluginLog& log = PluginLog::instance();
    log.switchEffect("../escape");
    EXPECT_EQ(fs::path(log.path()).parent_path(), folder_);
    EXPECT_TRUE(fs::exists(log.path()));
}

TEST_F(PluginLogTest, ConcurrentLinesNeverInterleave) {
    PluginLog& log = PluginLog::instance();
    log.switchEffect("threads");
    log.setLevel(LogLevel::Info);
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < 500; ++i)
                VLOG_INFO("writer %d line %d %s", t, i, std::string(200, 'a' + t).c_str());
        });
    }
    for (std::thread& writer : writers) writer.join();
    log.flush();
    std::istringstream lines(readFile(logPath("threads")));
    std::string line;
    int messages = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("[INFO] writer ", 0) != 0) continue;
        ++messages;
        const int t = line[14] - '0';
        EXPECT_EQ(line.substr(line.size() - 200), std::string(200, 'a' + t)) << line;
    }
    EXPECT_EQ(messages, 2000);
    log.setLevel(LogLevel::Error);
}

// The static log object says goodbye when the process (or the library) goes away, at INFO only.
TEST_F(PluginLogTest, DestroyedLineAtUnload) {
    for (const LogLevel level : {LogLevel::Info, LogLevel::Error}) {
        const std::string effect = level == LogLevel::Info ? "bye_info" : "bye_error";
        PluginLog::instance().flush();  // nothing buffered is written twice by the child
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            PluginLog::instance().switchEffect(effect);
            PluginLog::instance().setLevel(level);
            VLOG_ERROR("last words");
            std::exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        const std::string text = readFile(logPath(effect));
        const std::string last = "[INFO] === Logger Destroyed ===\n";
        const bool destroyed =
            text.size() > last.size() && text.compare(text.size() - last.size(), last.size(), last) == 0;
        EXPECT_EQ(destroyed, level == LogLevel::Info) << text;
        EXPECT_NE(text.find("[ERROR] last words\n"), std::string::npos);
    }
}

}  // namespace
