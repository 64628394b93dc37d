#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace audio {

// The channel names of an analysis that does not list its own, in column order.
const std::vector<std::string>& defaultChannelOrder();

// One stem's frames: `frameCount` rows of `channels` single-precision values each.
struct FrameTable {
    int frameCount = 0;
    std::vector<float> values;
};

// Everything an analysis file holds, as read.
struct AnalysisData {
    std::string sourceFile;
    std::string version = "1.0";
    double analysisRate = 86.0;
    double duration = 0.0;
    long long totalFrames = 0;
    std::vector<std::string> channels;
    std::vector<std::string> stems;
    std::vector<FrameTable> tables;  // one per stem
    int mixIndex = -1;
    std::vector<double> beatTimes;  // ascending
};

// Limits of what a reader accepts, so that a hostile file cannot exhaust memory.
constexpr std::size_t kMaxAnalysisChannels = 256;
constexpr std::size_t kMaxAnalysisStems = 64;
// Frame values and beat times as read, and again the values of the tables as built (every frame a
// full row of the channels).
constexpr std::size_t kMaxAnalysisValues = std::size_t(32) << 20;
constexpr std::size_t kMaxAnalysisDepth = 256;

// Reads the analysis JSON text into `data`. False with `error` set to the text the cache reports:
// "JSON parse error: ...", "Error: ..." for a value of the wrong type or beyond a limit,
// "Invalid format: expected orbalt_audio_analysis", "No channels defined in JSON",
// "No frame data in JSON".
bool readAnalysisJson(const std::string& text, AnalysisData& data, std::string& error);

}  // namespace audio
