#include "log/PluginLog.h"

#include <cctype>
#include <cstdarg>
#include <cstdlib>
#include <ctime>

#ifdef _WIN32
#include <direct.h>
#else
#include <sys/stat.h>
#include <sys/types.h>
#endif

namespace {

constexpr long kMaxLogBytes = 2L * 1024 * 1024;
constexpr std::size_t kMaxLogMegabytes = 2;
constexpr int kBackupCount = 2;
constexpr int kLinesPerSizeCheck = 100;

const char* levelPrefix(LogLevel level) {
    switch (level) {
        case LogLevel::Error:
            return "[ERROR] ";
        case LogLevel::Info:
            return "[INFO] ";
        case LogLevel::Debug:
            return "[DEBUG] ";
    }
    return "[ERROR] ";
}

const char* levelName(LogLevel level) {
    switch (level) {
        case LogLevel::Error:
            return "ERROR";
        case LogLevel::Info:
            return "INFO";
        case LogLevel::Debug:
            return "DEBUG";
    }
    return "ERROR";
}

LogLevel clampLevel(LogLevel level) {
    const int value = static_cast<int>(level);
    if (value <= 0) return LogLevel::Error;
    if (value >= 2) return LogLevel::Debug;
    return LogLevel::Info;
}

std::string localTimeText() {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
#ifdef _WIN32
    localtime_s(&parts, &now);
#else
    localtime_r(&now, &parts);
#endif
    char text[32];
    if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts) == 0) return "unknown";
    return text;
}

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// Creates every missing component of the folder, owner-only where the system has modes.
void makeFolders(const std::string& folder) {
    for (std::size_t i = 1; i <= folder.size(); ++i) {
        if (i != folder.size() && folder[i] != '/' && folder[i] != '\\') continue;
        const std::string prefix = folder.substr(0, i);
#ifdef _WIN32
        _mkdir(prefix.c_str());
#else
        mkdir(prefix.c_str(), 0700);
#endif
    }
}

// The effect name becomes part of a file name: anything that could leave the folder or
// upset the file system is replaced.
std::string fileSafeName(const std::string& name) {
    std::string safe;
    for (char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        const bool unsafe = u < 0x20 || u == 0x7f || c == '/' || c == '\\' || c == ':' || c == '*' ||
                            c == '?' || c == '"' || c == '<' || c == '>' || c == '|';
        safe += unsafe ? '_' : c;
    }
    if (safe.empty() || safe.find_first_not_of('.') == std::string::npos) safe = "UnknownEffect";
    return safe;
}

bool fileExists(const std::string& path) {
    std::FILE* probe = std::fopen(path.c_str(), "rb");
    if (!probe) return false;
    std::fclose(probe);
    return true;
}

// Failures of delete and rename are expected (missing backups) and ignored.
void shiftBackups(const std::string& path) {
    std::remove((path + ".2").c_str());
    std::remove((path + ".2").c_str());
    std::rename((path + ".1").c_str(), (path + ".2").c_str());
}

void moveCurrentToFirstBackup(const std::string& path) {
    std::remove((path + ".1").c_str());
    std::rename(path.c_str(), (path + ".1").c_str());
}

}  // namespace

struct PluginLog::State {
    std::FILE* file = nullptr;
    std::string effectName = "UnknownEffect";
    std::string path;
    LogLevel level = LogLevel::Error;
    int writeCounter = 0;
    mutable std::mutex lock;

    // Called under the lock before each message line.
    void checkSize() {
        if (++writeCounter < kLinesPerSizeCheck) return;
        writeCounter = 0;
        if (!file || path.empty()) return;
        const long size = std::ftell(file);
        if (size < 0 || size < kMaxLogBytes) return;

        std::fprintf(file, "[INFO] === Log rotation triggered (size: %ld bytes) ===\n", size);
        std::fflush(file);
        std::fclose(file);
        file = nullptr;

        shiftBackups(path);
        moveCurrentToFirstBackup(path);

        file = std::fopen(path.c_str(), "w");
        if (!file) return;
        std::fprintf(file, "=== %s Plugin Log Continued (rotation) ===\n", effectName.c_str());
        std::fprintf(file, "Rotation time: %s\n", localTimeText().c_str());
        std::fprintf(file, "Previous log backed up to: %s.1\n", path.c_str());
        std::fflush(file);
    }

    void writeLine(LogLevel lineLevel, const char* format, va_list args) {
        std::lock_guard<std::mutex> guard(lock);
        if (static_cast<int>(lineLevel) > static_cast<int>(level) || !file) return;
        checkSize();
        if (!file) return;
        std::fputs(levelPrefix(lineLevel), file);
        std::vfprintf(file, format, args);
        std::fputc('\n', file);
        if (lineLevel == LogLevel::Error) std::fflush(file);
    }
};

PluginLog& PluginLog::instance() {
    static PluginLog log;
    return log;
}

namespace {
// The log object exists from library load on, before any other code asks for it.
[[maybe_unused]] const PluginLog& kLogAtLoad = PluginLog::instance();
}  // namespace

PluginLog::PluginLog() : state_(new State) {}

PluginLog::~PluginLog() {
    State* state = state_;
    if (!state) return;
    {
        std::lock_guard<std::mutex> guard(state->lock);
        if (state->file && static_cast<int>(state->level) >= static_cast<int>(LogLevel::Info)) {
            std::fputs("[INFO] === Logger Destroyed ===\n", state->file);
        }
        if (state->file) std::fclose(state->file);
        state->file = nullptr;
    }
    // Static objects destroyed after this one may still log; they find no state and write nothing.
    state_ = nullptr;
    delete state;
}

void PluginLog::write(LogLevel level, const char* format, ...) {
    if (!state_ || !format) return;
    va_list args;
    va_start(args, format);
    state_->writeLine(clampLevel(level), format, args);
    va_end(args);
}

void PluginLog::debug(const char* format, ...) {
    if (!state_ || !format) return;
    va_list args;
    va_start(args, format);
    state_->writeLine(LogLevel::Debug, format, args);
    va_end(args);
}

void PluginLog::setLevel(LogLevel level) {
    if (!state_) return;
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->level = clampLevel(level);
    if (state_->file) std::fprintf(state_->file, "Debug level: %s\n", levelName(state_->level));
}

void PluginLog::setLevelFromText(const std::string& text) {
    if (!state_) return;
    std::string lower;
    for (char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    LogLevel level = LogLevel::Error;
    if (lower == "debug")
        level = LogLevel::Debug;
    else if (lower == "info")
        level = LogLevel::Info;
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->level = level;
}

LogLevel PluginLog::level() const {
    if (!state_) return LogLevel::Error;
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->level;
}

std::string PluginLog::logFolder() {
    const std::string overridden = environmentValue("VELMORA_LOG_DIR");
    if (!overridden.empty()) return overridden;
#if defined(_WIN32)
    return "C:\\Users\\Public";
#elif defined(__APPLE__)
    return "/Users/Shared";
#else
    const std::string stateHome = environmentValue("XDG_STATE_HOME");
    if (!stateHome.empty()) return stateHome + "/orbalt";
    const std::string home = environmentValue("HOME");
    if (!home.empty()) return home + "/.local/state/orbalt";
    return "/tmp/orbalt";
#endif
}

std::string PluginLog::path() const {
    if (!state_) return std::string();
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->path;
}

void PluginLog::switchEffect(const std::string& effectName) {
    if (!state_) return;
    const std::string folder = logFolder();
    std::lock_guard<std::mutex> guard(state_->lock);
    State& s = *state_;
    s.effectName = effectName;
    s.writeCounter = 0;
    if (s.file) {
        std::fprintf(s.file, "[INFO] === Switching to new effect: %s ===\n", effectName.c_str());
        std::fflush(s.file);
        std::fclose(s.file);
        s.file = nullptr;
    }

#if !defined(_WIN32) && !defined(__APPLE__)
    makeFolders(folder);
#else
    if (!environmentValue("VELMORA_LOG_DIR").empty()) makeFolders(folder);
#endif
    std::string folderWithSeparator = folder;
    if (!folderWithSeparator.empty() && folderWithSeparator.back() != '/' &&
        folderWithSeparator.back() != '\\') {
        folderWithSeparator += kSeparator;
    }
    s.path = folderWithSeparator + fileSafeName(effectName) + "_plugin_log.txt";

    shiftBackups(s.path);
    if (fileExists(s.path)) moveCurrentToFirstBackup(s.path);

    s.file = std::fopen(s.path.c_str(), "w");
    if (!s.file) return;
    std::fprintf(s.file, "=== %s Plugin Session Started ===\n", effectName.c_str());
    std::fprintf(s.file, "Session time: %s\n", localTimeText().c_str());
    std::fprintf(s.file, "Log file: %s\n", s.path.c_str());
    std::fprintf(s.file, "Max log size: %zu MB, backups: %d\n", kMaxLogMegabytes, kBackupCount);
    std::fflush(s.file);
}

void PluginLog::flush() {
    if (!state_) return;
    std::lock_guard<std::mutex> guard(state_->lock);
    if (state_->file) std::fflush(state_->file);
}
