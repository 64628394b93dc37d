#pragma once

#include <cstdio>
#include <mutex>
#include <string>

// The process-wide plug-in log: one text file per effect, levels, size-based rotation.
#if defined(__GNUC__) || defined(__clang__)
#define VELMORA_PRINTF_FORMAT(formatIndex, firstArgument) \
    __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define VELMORA_PRINTF_FORMAT(formatIndex, firstArgument)
#endif

enum class LogLevel : int { Error = 0, Info = 1, Debug = 2 };

class PluginLog {
  public:
    static PluginLog& instance();

    void write(LogLevel level, const char* format, ...) VELMORA_PRINTF_FORMAT(3, 4);
    void debug(const char* format, ...) VELMORA_PRINTF_FORMAT(2, 3);

    void setLevel(LogLevel level);
    void setLevelFromText(const std::string& text);
    LogLevel level() const;

    // Starts a fresh file for the named effect, keeping earlier ones as backups.
    void switchEffect(const std::string& effectName);
    void flush();

    // Folder the log file lives in (VELMORA_LOG_DIR, else the per-user state folder).
    static std::string logFolder();
    std::string path() const;

    ~PluginLog();

  private:
    PluginLog();
    PluginLog(const PluginLog&) = delete;
    PluginLog& operator=(const PluginLog&) = delete;

    // Implementation members are the implementer's; keep them below.
    struct State;
    State* state_;
};

#define VLOG_ERROR(...) PluginLog::instance().write(LogLevel::Error, __VA_ARGS__)
#define VLOG_INFO(...) PluginLog::instance().write(LogLevel::Info, __VA_ARGS__)
#define VLOG_DEBUG(...) PluginLog::instance().write(LogLevel::Debug, __VA_ARGS__)
