#pragma once

// The audio controls of an effect instance as modulation reads them: the host's parameters by
// name, the effect's frame rate, the timeline's first frame, the keys of the tap tracks and the
// instance's tap records.

#include "audio/AudioModulation.h"

class TapRecords;

namespace OFX {
class ImageEffect;
}

class OfxAudioControls : public audio::AudioControlSource {
  public:
    OfxAudioControls(OFX::ImageEffect& effect, TapRecords* taps) : effect_(effect), taps_(taps) {}

    std::optional<double> value(const std::string& name) override;
    std::optional<double> valueAt(const std::string& name, double time) override;
    std::optional<double> latestKeyTime(const std::string& name, double frame) override;
    double frameRate() override;
    double timelineStart() override;
    bool tapRecord(int track, TapRecord* record) override;
    int64_t steadyNowNanos() override;

  private:
    std::optional<double> read(const std::string& name, const double* time);

    OFX::ImageEffect& effect_;
    TapRecords* taps_;
};
