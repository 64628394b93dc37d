// orbalt_audio: the audio analysis tool the plug-in starts. It analyses an audio file (and any
// stem files found beside it) into the eleven default channels at about 86 frames per second plus
// the beat times, and writes the analysis as a ".orbalt_audio" container beside the audio file.
// Progress goes to standard output as "PROGRESS:<done>/<total>" lines; exit code 0 means written.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <system_error>
#include <vector>

#include "ChannelAnalyzer.h"
#include "audio/AnalysisContainer.h"
#include "audio/AnalysisData.h"
#include "audio/AudioDataCache.h"
#include "audio/AudioFiles.h"
#include "audio/AudioToolManager.h"
#include "platform/FileSystem.h"
#include "platform/PathText.h"
#include "platform/UserFolders.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

enum ExitCode { Success = 0, UsageError = 1, AudioUnreadable = 2, NotWritten = 3, StemsUnavailable = 4 };

// Stem files are found beside the audio as <name>_<stem>.<extension>, for these stems.
const char* const kStemNames[] = {"drums",
                                  "bass",
                                  "vocals",
                                  "guitar",
                                  "piano",
                                  "other",
                                  "synth",
                                  "strings",
                                  "wind",
                                  "percussion",
                                  "background_vocals",
                                  "effects"};
const char* const kAudioExtensions[] = {"wav", "flac", "ogg", "mp3", "aac", "m4a", "wma"};
constexpr int kProgressSteps = 20;

struct Options {
    std::string input;
    bool analyzeStems = false;
    bool incremental = false;
    bool separateStems = false;
    std::string model;
    bool install = false;
};

void usage(std::ostream& out) {
    out << "usage: orbalt_audio --input AUDIO [--analyze-stems] [--incremental]\n"
           "       orbalt_audio --input AUDIO --stems [--model NAME]\n"
           "       orbalt_audio --install\n"
           "Writes AUDIO's analysis beside it, with the extension .orbalt_audio.\n"
           "  --analyze-stems  also analyse stem files beside AUDIO: NAME_drums.wav, NAME_bass.wav, ...\n"
           "                   (stems: drums bass vocals guitar piano other synth strings wind percussion\n"
           "                   background_vocals effects; extensions: wav flac ogg mp3 aac m4a wma)\n"
           "  --incremental    keep an analysis that is newer than the audio and its stem files\n"
           "  --stems          stem separation (needs a separation model; this build has none)\n"
           "  --install        copy this program to where the plug-in looks for it\n"
           "Exit codes: 0 written, 1 usage, 2 audio unreadable, 3 analysis not written, 4 stem separation "
           "unavailable.\n";
}

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--input" && i + 1 < argc) {
            options.input = argv[++i];
        } else if (arg == "--analyze-stems") {
            options.analyzeStems = true;
        } else if (arg == "--incremental") {
            options.incremental = true;
        } else if (arg == "--stems") {
            options.separateStems = true;
        } else if (arg == "--model" && i + 1 < argc) {
            options.model = argv[++i];
        } else if (arg == "--install") {
            options.install = true;
        } else {
            std::cerr << "orbalt_audio: unknown or incomplete option '" << arg << "'\n";
            return false;
        }
    }
    return options.install || !options.input.empty();
}

void printProgress(int done) {
    std::printf("PROGRESS:%d/%d\n", done, kProgressSteps);
    std::fflush(stdout);
}

struct StemFile {
    std::string name;
    std::string path;
};

std::vector<StemFile> findStemFiles(const std::string& audioPath) {
    const std::string base = audio::pathWithoutExtension(audioPath);
    std::vector<StemFile> found;
    for (const char* stem : kStemNames) {
        for (const char* extension : kAudioExtensions) {
            const std::string candidate = base + "_" + stem + "." + extension;
            if (audio::isReadableFile(candidate)) {
                found.push_back({stem, candidate});
                break;
            }
        }
    }
    return found;
}

// Whether an existing analysis can be kept: it is newer than the audio and its stem files and,
// when stems are analysed, holds the stems found now (stem files older than the analysis may
// have been added since it was made).
bool upToDate(const std::string& analysisPath, const std::vector<std::string>& inputs,
              const std::vector<StemFile>* stems) {
    std::error_code code;
    const fs::file_time_type written = fs::last_write_time(analysisPath, code);
    if (code) return false;
    for (const std::string& input : inputs) {
        const fs::file_time_type changed = fs::last_write_time(input, code);
        if (code || changed > written) return false;
    }
    if (!stems) return true;
    AudioDataCache analysis;
    if (!analysis.load(analysisPath)) return false;
    std::vector<std::string> names = {"mix"};
    for (const StemFile& stem : *stems) names.push_back(stem.name);
    return analysis.stemNames() == names;
}

double rounded(double value) {
    return std::round(value * 10000.0) / 10000.0;
}

json frameTable(const ChannelAnalysis& analysis) {
    json table = json::array();
    for (const auto& frame : analysis.frames) {
        json row = json::array();
        for (float value : frame) row.push_back(rounded(value));
        table.push_back(std::move(row));
    }
    return table;
}

int install() {
    const std::string self = platform::loadedLibraryPath();
    const std::string target = audio::audioToolPath();
    std::string program, error;
    if (self.empty() || target.empty() || !platform::readFile(self, program, &error)) {
        std::cerr << "orbalt_audio: cannot read this program" << (error.empty() ? "" : ": " + error) << "\n";
        return NotWritten;
    }
    if (!platform::createDirectories(platform::parentFolder(target), &error) ||
        !platform::writeFileAtomically(target, program, &error)) {
        std::cerr << "orbalt_audio: cannot install to " << target << ": " << error << "\n";
        return NotWritten;
    }
#if !defined(_WIN32)
    chmod(target.c_str(), 0755);
#endif
    std::cout << "orbalt_audio: installed to " << target << "\n";
    return Success;
}

int run(const Options& options) {
    if (options.separateStems) {
        std::cerr
            << "orbalt_audio: stem separation" << (options.model.empty() ? "" : " with " + options.model)
            << " needs a separation model, which this build of orbalt_audio does not include.\n"
               "Separate the stems elsewhere, save them beside the audio as NAME_drums.wav, NAME_bass.wav, "
               "NAME_vocals.wav, NAME_other.wav, ... and press Analyze.\n";
        return StemsUnavailable;
    }
    const std::string audioPath = options.input;
    const std::string analysisPath = audio::analysisPathFor(audioPath);
    std::vector<StemFile> stems;
    if (options.analyzeStems) stems = findStemFiles(audioPath);

    std::vector<std::string> inputs = {audioPath};
    for (const StemFile& stem : stems) inputs.push_back(stem.path);
    printProgress(0);
    if (options.incremental && upToDate(analysisPath, inputs, options.analyzeStems ? &stems : nullptr)) {
        printProgress(kProgressSteps);
        std::cout << "orbalt_audio: analysis is up to date: " << analysisPath << "\n";
        return Success;
    }

    std::vector<ChannelAnalysis> analyses(inputs.size());
    int shown = 0;
    for (std::size_t f = 0; f < inputs.size(); ++f) {
        std::cout << "orbalt_audio: analysing " << inputs[f] << "\n" << std::flush;
        std::string error;
        auto progress = [&](double fraction) {
            const int done = static_cast<int>((f + fraction) * kProgressSteps / inputs.size());
            if (done > shown && done < kProgressSteps) printProgress(shown = done);
        };
        if (!analyzeAudioFile(inputs[f], analyses[f], &error, progress)) {
            std::cerr << "orbalt_audio: " << error << "\n";
            return AudioUnreadable;
        }
    }

    const ChannelAnalysis& mix = analyses[0];
    std::size_t tableCount = 1;
    json document;
    document["format"] = "orbalt_audio_analysis";
    document["version"] = "1.0";
    document["metadata"] = {{"source_file", platform::pathAsUtf8(audioPath)}, {"generator", "orbalt_audio"}};
    document["timing"] = {{"analysis_rate", mix.analysisRate},
                          {"duration_seconds", rounded(mix.duration)},
                          {"total_frames", mix.frames.size()}};
    document["channel_order"] = audio::defaultChannelOrder();
    if (stems.empty()) {
        document["frames"] = frameTable(mix);
    } else {
        json names = json::array({"mix"});
        json tables = json::object();
        tables["mix"] = frameTable(mix);
        for (std::size_t s = 0; s < stems.size(); ++s) {
            const ChannelAnalysis& stem = analyses[s + 1];
            // Tables share the mix's frame rate; a stem sampled at another rate would not line up.
            if (std::fabs(stem.analysisRate - mix.analysisRate) > 1e-9) {
                std::cerr << "orbalt_audio: leaving out " << stems[s].path
                          << ": its sample rate differs from the mix's\n";
                continue;
            }
            names.push_back(stems[s].name);
            tables[stems[s].name] = frameTable(stem);
        }
        tableCount = names.size();
        document["stems"] = names;
        document["frames"] = tables;
    }
    json beats = json::array();
    for (double beat : mix.beatTimes) beats.push_back(rounded(beat));
    document["beat_times"] = beats;

    // A file name that is not UTF-8 reaches the document with its odd bytes replaced.
    const std::string text = document.dump(-1, ' ', false, json::error_handler_t::replace);
    if (text.size() > audio::kMaxAnalysisBytes) {
        std::cerr << "orbalt_audio: the analysis of " << audioPath << " would be " << text.size()
                  << " bytes, more than the plug-in reads (" << audio::kMaxAnalysisBytes << ")\n";
        return NotWritten;
    }
    std::string error;
    if (!platform::writeFileAtomically(analysisPath, audio::packContainer(text, 1), &error)) {
        std::cerr << "orbalt_audio: cannot write " << analysisPath << ": " << error << "\n";
        return NotWritten;
    }
    printProgress(kProgressSteps);
    std::cout << "orbalt_audio: wrote " << analysisPath << " (" << mix.frames.size() << " frames, "
              << mix.beatTimes.size() << " beats, " << tableCount
              << (tableCount == 1 ? " table)\n" : " tables)\n");
    return Success;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        usage(std::cout);
        return Success;
    }
    if (!parseOptions(argc, argv, options)) {
        usage(std::cerr);
        return UsageError;
    }
    const int code = options.install ? install() : run(options);
    releaseAnalysisResources();
    return code;
}
