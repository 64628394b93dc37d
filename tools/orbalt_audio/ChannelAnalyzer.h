#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The eleven channels of one audio file per analysis frame (one hop of about 1/86 s), in the
// default channel order, each scaled to 0..1 over the whole file, and the beat times.
struct ChannelAnalysis {
    static constexpr int kChannels = 11;
    double analysisRate = 0.0;  // frames per second: the sample rate over the hop
    std::vector<std::array<float, kChannels>> frames;
    std::vector<double> beatTimes;  // seconds, ascending
    double duration = 0.0;          // seconds of audio
};

// The analysis frame rate aimed at; the hop is the whole number of samples nearest to it.
constexpr double kTargetAnalysisRate = 86.0;

// Analyses a file; `onProgress` gets the fraction of its samples done. False with *error set.
bool analyzeAudioFile(const std::string& path, ChannelAnalysis& result, std::string* error,
                      const std::function<void(double)>& onProgress);

// Frees what the analysis library keeps between files (call once, at the end).
void releaseAnalysisResources();
