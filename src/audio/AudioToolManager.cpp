#include "audio/AudioToolManager.h"

#include <cctype>
#include <climits>
#include <utility>

#include "audio/AudioFiles.h"
#include "log/PluginLog.h"
#include "platform/ChildProcess.h"
#include "platform/UserFolders.h"

namespace audio {

std::string audioToolPath() {
    return platform::audioToolPath();
}

bool audioToolInstalled() {
    return isReadableFile(audioToolPath());
}

}  // namespace audio

namespace {

// How much of the tool's output is kept for the log, and the longest line taken apart.
constexpr std::size_t kKeptOutputBytes = 64 * 1024;
constexpr std::size_t kLongestLine = 64 * 1024;
// How long a read waits before the cancel flag is looked at again.
constexpr int kReadPollMs = 100;
constexpr int kCancelWaitMs = 5000;

// A decimal integer as scanf's %d reads it: leading white space, a sign, digits.
bool readInteger(const std::string& text, std::size_t& at, int& value) {
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    const std::size_t digitsStart = at;
    long long magnitude = 0;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
        if (magnitude <= INT_MAX) magnitude = magnitude * 10 + (text[at] - '0');
        ++at;
    }
    if (at == digitsStart || magnitude > INT_MAX) return false;
    value = static_cast<int>(negative ? -magnitude : magnitude);
    return true;
}

}  // namespace

AudioToolManager::AudioToolManager(std::string toolPath) : toolPath_(std::move(toolPath)) {}

AudioToolManager::~AudioToolManager() {
    cancel();
}

std::string AudioToolManager::commandLine(const std::string& toolPath, const std::string& inputPath,
                                          const std::vector<std::string>& arguments) {
    std::string line = "\"" + toolPath + "\" --input \"" + inputPath + "\"";
    if (!arguments.empty()) {
        line += ' ';
        for (std::size_t i = 0; i < arguments.size(); ++i) line += (i ? " " : "") + arguments[i];
    }
    return line;
}

bool AudioToolManager::parseProgressLine(const std::string& line, int& current, int& total) {
    static const std::string prefix = "PROGRESS:";
    if (line.compare(0, prefix.size(), prefix) != 0) return false;
    std::size_t at = prefix.size();
    int done = 0, all = 0;
    if (!readInteger(line, at, done) || at >= line.size() || line[at] != '/') return false;
    ++at;
    if (!readInteger(line, at, all)) return false;
    current = done;
    total = all;
    return true;
}

void AudioToolManager::joinWorker() {
    std::lock_guard<std::mutex> lock(workerMutex_);
    if (worker_.joinable()) worker_.join();
}

void AudioToolManager::cancel() {
    if (running_.load()) cancel_.store(true);
    joinWorker();
}

std::string AudioToolManager::output() const {
    std::lock_guard<std::mutex> lock(outputMutex_);
    return output_;
}

void AudioToolManager::keepOutput(std::string text) {
    std::lock_guard<std::mutex> lock(outputMutex_);
    output_ = std::move(text);
}

bool AudioToolManager::launch(const std::string& inputPath, const std::vector<std::string>& arguments,
                              ProgressCallback onProgress, CompletionCallback onComplete) {
    const std::string tool = toolPath_.empty() ? audio::audioToolPath() : toolPath_;
    {
        // The check and the start are one step, so two callers cannot both start a worker.
        std::lock_guard<std::mutex> lock(workerMutex_);
        if (running_.load()) return false;
        if (worker_.joinable()) worker_.join();  // a finished job's thread
        if (audio::isReadableFile(tool)) {
            VLOG_INFO("AudioToolManager: launching: %s", commandLine(tool, inputPath, arguments).c_str());
            std::vector<std::string> argv = {tool, "--input", inputPath};
            argv.insert(argv.end(), arguments.begin(), arguments.end());
            keepOutput(std::string());
            cancel_.store(false);
            running_.store(true);
            worker_ = std::thread(&AudioToolManager::job, this, std::move(argv), std::move(onProgress),
                                  std::move(onComplete));
            return true;
        }
    }
    VLOG_ERROR("AudioToolManager: orbalt_audio not installed");
    keepOutput("the analysis tool is not installed at " + tool + "\n");
    if (onComplete) onComplete(false);
    return true;
}

void AudioToolManager::job(std::vector<std::string> argv, ProgressCallback onProgress,
                           CompletionCallback onComplete) {
    auto finish = [&](bool success) {
        if (onComplete) onComplete(success);
        running_.store(false);
    };
    platform::ChildProcess child;
    std::string error;
    if (!child.start(argv, &error)) {
        VLOG_ERROR("AudioToolManager: %s", error.c_str());
        keepOutput(error + "\n");
        finish(false);
        return;
    }

    std::string pending, output, chunk;
    bool outputCut = false;
    auto takeLine = [&](std::string line) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // Control bytes (a NUL would end the log line) are kept out of the log.
        for (char& c : line)
            if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f) c = '?';
        int current = 0, total = 0;
        if (parseProgressLine(line, current, total) && onProgress) onProgress(current, total);
        if (output.size() + line.size() + 1 > kKeptOutputBytes) {
            outputCut = true;
            return;
        }
        output += line;
        output += '\n';
    };
    for (;;) {
        const platform::ChildProcess::ReadStatus status = child.read(chunk, 511, kReadPollMs);
        // A silent tool is looked at every poll, so a cancel never waits for output.
        if (cancel_.load()) {
            child.terminate();
            child.waitFor(kCancelWaitMs);
            VLOG_INFO("AudioToolManager: cancelled");
            finish(false);
            return;
        }
        if (status == platform::ChildProcess::ReadStatus::End) break;
        if (status == platform::ChildProcess::ReadStatus::Timeout) continue;
        pending += chunk;
        std::size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            takeLine(pending.substr(0, end));
            pending.erase(0, end + 1);
        }
        // A line that never ends is taken in pieces, so memory stays bounded.
        if (pending.size() > kLongestLine) {
            takeLine(pending);
            pending.clear();
        }
    }
    if (!pending.empty()) takeLine(pending);
    if (outputCut) output += "[further output not kept]\n";

    const int code = child.wait();
    if (code != 0) {
        VLOG_ERROR("AudioToolManager: failed (exit %lu): %s", static_cast<unsigned long>(code),
                   output.c_str());
    } else {
        VLOG_INFO("AudioToolManager: complete");
    }
    keepOutput(std::move(output));
    finish(code == 0);
}
