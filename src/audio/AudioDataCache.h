#pragma once

#include <string>
#include <vector>

#include "audio/AnalysisData.h"

// One loaded audio analysis (a ".orbalt_audio" container or plain JSON), answering sampling
// queries at a time in seconds. Every query answers 0 while nothing is loaded or for an index
// out of range.
class AudioDataCache {
  public:
    // Replaces the whole state from the file. False leaves the cache unloaded with lastError() set.
    bool load(const std::string& path);
    // The same from the file's bytes, already read.
    bool loadBytes(const std::string& bytes);

    bool isLoaded() const { return loaded_; }
    const std::string& lastError() const { return error_; }

    int channelIndex(const std::string& name) const;
    float frameValue(int stem, int frame, int channel) const;
    // Linear interpolation between the frames around the time; 0 before 0 s and after the last frame.
    float sample(int stem, double time, int channel) const;
    // Mean over the frames within halfWindow seconds of the time; `sample` when halfWindow <= 0.
    float windowAverage(int stem, double time, int channel, double halfWindow) const;
    // Number of beat times not after the time.
    int beatCountAt(double time) const;

    const std::vector<std::string>& stemNames() const { return data_.stems; }
    int stemCount() const { return static_cast<int>(data_.stems.size()); }
    int channelCount() const { return static_cast<int>(data_.channels.size()); }
    const std::vector<std::string>& channelNames() const { return data_.channels; }
    int frameCount(int stem) const;
    int mixIndex() const { return data_.mixIndex; }
    double analysisRate() const { return data_.analysisRate; }
    double duration() const { return data_.duration; }
    long long totalFrames() const { return data_.totalFrames; }
    const std::vector<double>& beatTimes() const { return data_.beatTimes; }
    const std::string& sourceFile() const { return data_.sourceFile; }
    const std::string& version() const { return data_.version; }

  private:
    bool fail(const std::string& text);
    const audio::FrameTable* table(int stem) const;

    audio::AnalysisData data_;
    bool loaded_ = false;
    std::string error_;
};
