// analyze AUDIO...: runs the installed analysis tool on audio files, with a progress bar.
// analysis FILE [--at SECONDS]: what an analysis (JSON or container) holds, as JSON.
#include <condition_variable>
#include <mutex>
#include <nlohmann/json.hpp>
#include <ostream>

#include "Command.h"
#include "ProgressBar.h"
#include "audio/AudioDataCache.h"
#include "audio/AudioFiles.h"
#include "audio/AudioToolManager.h"
#include "params/NumberText.h"
#include "platform/PathText.h"

using nlohmann::json;

namespace {

const char kAnalyzeUsage[] =
    "usage: velmora-render analyze AUDIO... [--analyze-stems] [--incremental]\n"
    "Runs the installed audio analysis tool on each file and writes AUDIO's analysis beside it\n"
    "(the name with the extension .orbalt_audio). --analyze-stems also analyses stem files beside\n"
    "the audio (NAME_drums.wav, NAME_bass.wav, ...); --incremental keeps analyses newer than their audio.\n";

const char kAnalysisUsage[] =
    "usage: velmora-render analysis FILE [--at SECONDS]\n"
    "Prints what an audio analysis (a .orbalt_audio file or its JSON) holds, as JSON: its source,\n"
    "rate, duration, channels, stems, beat times, and the mix's channel values at SECONDS (default 0).\n";

// The tool's output as the user reads it after a failure: its lines without the progress reports.
std::string toolMessages(const std::string& output) {
    std::string messages;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        const std::string line = output.substr(start, end - start);
        int current = 0, total = 0;
        if (!line.empty() && !AudioToolManager::parseProgressLine(line, current, total))
            messages += "  " + line + "\n";
        start = end + 1;
    }
    return messages;
}

// Runs the tool on one file and waits for it; false, with what the tool said, when it failed.
bool analyzeOne(const std::string& input, const std::vector<std::string>& arguments, bool terminal,
                std::ostream& err, std::string* messages) {
    AudioToolManager tool;
    std::mutex mutex;
    std::condition_variable changed;
    int done = 0, total = 0;
    bool finished = false, success = false;
    const bool launched = tool.launch(
        input, arguments,
        [&](int current, int all) {
            std::lock_guard<std::mutex> lock(mutex);
            done = current;
            total = all;
            changed.notify_all();
        },
        [&](bool ok) {
            std::lock_guard<std::mutex> lock(mutex);
            finished = true;
            success = ok;
            changed.notify_all();
        });
    if (!launched) return false;
    ProgressBar bar(err, 0, "steps", terminal);
    {
        std::unique_lock<std::mutex> lock(mutex);
        int shownDone = 0, shownTotal = 0;
        for (;;) {
            // The job may have finished before this thread first waits: the state, not a
            // notification, says when to go on.
            changed.wait(lock, [&] { return finished || done != shownDone || total != shownTotal; });
            if (total > 0 && (done != shownDone || total != shownTotal)) bar.update(done, total);
            shownDone = done;
            shownTotal = total;
            if (finished) break;
        }
    }
    bar.finish();
    if (!success && messages) *messages = toolMessages(tool.output());
    return success;
}

}  // namespace

int runAnalyze(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> inputs, arguments;
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            out << kAnalyzeUsage;
            return 0;
        }
        if (arg == "--analyze-stems" || arg == "--incremental")
            arguments.push_back(arg);
        else if (!arg.empty() && arg[0] == '-') {
            err << "velmora-render analyze: unknown option '" << arg << "'\n" << kAnalyzeUsage;
            return 2;
        } else
            inputs.push_back(arg);
    }
    if (inputs.empty()) {
        err << kAnalyzeUsage;
        return 2;
    }
    if (!audio::audioToolInstalled()) {
        err << "velmora-render analyze: the audio analysis tool is not installed at "
            << audio::audioToolPath() << " (make install-audio-tool installs it)\n";
        return 1;
    }
    const bool terminal = progressOnTerminal(err);
    int failed = 0;
    for (const std::string& input : inputs) {
        if (!audio::isReadableFile(input)) {
            err << "velmora-render analyze: cannot read " << input << "\n";
            ++failed;
            continue;
        }
        err << "Analysing " << input << "\n";
        const std::string analysisPath = audio::analysisPathFor(input);
        AudioDataCache cache;
        std::string messages;
        if (!analyzeOne(input, arguments, terminal, err, &messages)) {
            err << "velmora-render analyze: the analysis of " << input << " failed"
                << (messages.empty() ? std::string(" (the tool said nothing)\n")
                                     : "; the tool said:\n" + messages);
            ++failed;
        } else if (!cache.load(analysisPath)) {
            err << "velmora-render analyze: " << analysisPath << " is unreadable: " << cache.lastError()
                << "\n";
            ++failed;
        } else {
            out << "Wrote " << analysisPath << ": " << cache.stemCount()
                << (cache.stemCount() == 1 ? " stem, " : " stems, ") << cache.channelCount() << " channels, "
                << cache.totalFrames() << " frames, " << cache.beatTimes().size() << " beats, "
                << numbertext::formatGeneral(cache.duration(), 6) << " s\n";
        }
    }
    out << (inputs.size() - failed) << " of " << inputs.size() << " analysed\n";
    return failed == 0 ? 0 : 1;
}

int runAnalysis(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string file;
    double at = 0.0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            out << kAnalysisUsage;
            return 0;
        }
        if (args[i] == "--at") {
            if (i + 1 >= args.size() ||
                numbertext::parseDouble(args[i + 1], at) != numbertext::ParseStatus::Ok || at < 0.0) {
                err << "velmora-render analysis: --at needs a time in seconds, 0 or more\n";
                return 2;
            }
            ++i;
        } else if (!file.empty() || (!args[i].empty() && args[i][0] == '-')) {
            err << "velmora-render analysis: unexpected argument '" << args[i] << "'\n" << kAnalysisUsage;
            return 2;
        } else {
            file = args[i];
        }
    }
    if (file.empty()) {
        err << kAnalysisUsage;
        return 2;
    }
    AudioDataCache cache;
    if (!cache.load(file)) {
        err << "velmora-render analysis: Audio analysis unreadable: " << cache.lastError() << "\n";
        return 1;
    }
    json report;
    report["file"] = platform::pathAsUtf8(file);
    report["source_file"] = cache.sourceFile();
    report["version"] = cache.version();
    report["analysis_rate"] = cache.analysisRate();
    report["duration_seconds"] = cache.duration();
    report["total_frames"] = cache.totalFrames();
    report["channels"] = cache.channelNames();
    report["stems"] = cache.stemNames();
    report["mix"] = cache.stemNames()[static_cast<std::size_t>(cache.mixIndex())];
    json frames = json::object();
    for (int s = 0; s < cache.stemCount(); ++s)
        frames[cache.stemNames()[static_cast<std::size_t>(s)]] = cache.frameCount(s);
    report["frames"] = frames;
    report["beat_times"] = cache.beatTimes();
    report["at"] = at;
    report["beats_before"] = cache.beatCountAt(at);
    json values = json::object();
    for (int c = 0; c < cache.channelCount(); ++c)
        values[cache.channelNames()[static_cast<std::size_t>(c)]] = cache.sample(cache.mixIndex(), at, c);
    report["values"] = values;
    // A file name that is not UTF-8 is shown with its odd bytes replaced.
    out << report.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
    return 0;
}
