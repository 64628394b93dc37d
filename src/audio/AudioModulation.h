#pragma once

// Audio modulation: at each render, every route of an effect with audio slots takes its channel
// of its stem (or a beat or tap pulse), shapes it (delay, smoothing, threshold, automatic
// levelling, attack/decay envelope, spring), maps it into its range and adds it to, multiplies it
// into or replaces its target's value in the render's value store. The same pass fills the meter
// fields of the audio monitor record.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "audio/AudioDataCache.h"
#include "audio/TapRecords.h"
#include "kernels/AudioMonitorRecord.h"
#include "params/ParameterValue.h"

namespace audio {

// The pulse of a beat channel at audio time t (seconds): 11 "Pulse" on every beat, 12 + n on the
// beats at position n of a bar of pulsesPerMeasure beats, the bar turned by beatOffset. Each beat
// decays as exp(-dt / 0.1 s).
float beatPulse(const AudioDataCache& analysis, int channel, double t, int pulsesPerMeasure, int beatOffset);

// The latest keyframe of a tap track's parameter at or before a frame; nothing when the track has
// no parameter or no such key.
using TapKeyLookup = std::function<std::optional<double>(double frame)>;

// The pulse of a tap track at frame t: 1 on a keyframe, decaying as exp(-seconds / 0.1 s), with
// the keys seen `latency` seconds early. A tap keyed live (record within half a frame of the key,
// pressed less than half a second ago) decays over 0.3 s instead.
float tapPulse(const TapKeyLookup& keys, double t, double fps, double latency, const TapRecord* record,
               int64_t nowNanos);

enum class RouteOperator { Add = 0, Multiply = 1, Replace = 2 };

// The controls of one route slot, as read for a render.
struct RouteSettings {
    int stemOption = 0;
    int sourceOption = 0;  // 0: off; option k reads channel k - 1
    bool muted = false;
    int target = 0;
    int op = 0;  // RouteOperator
    double rangeHigh = 1.0;
    double rangeLow = 0.0;
    double delay = 0.0;      // seconds
    double threshold = 0.0;  // 0 .. 0.99
    double smoothing = 0.0;  // half window, seconds
    bool autoLevel = false;
    double levelWindow = 4.0;  // seconds
    bool envelope = false;
    double attack = 0.01;  // seconds
    double decay = 0.3;    // seconds
    bool spring = false;
    double springStrength = 850.0;
    double springDamping = 0.1;  // 0 none .. 1 critical
};

// What a route remembers between renders.
struct RouteState {
    double position = 0.0;  // spring
    double envelope = 0.0;
    double velocity = 0.0;   // spring
    double peak = 0.0;       // levelling
    double floor = 0.0;      // levelling
    double lastTime = -1.0;  // audio time of the last stateful evaluation, -1: none
};

// Threshold, levelling, envelope and spring applied to a raw value at audio time `audioTime`, one
// frame being dt seconds. Without a state (slots beyond the monitor's 16) only the threshold
// applies.
double shapeRouteValue(double value, const RouteSettings& settings, RouteState* state, double audioTime,
                       double dt);

// A shaped value mapped into [rangeLow, rangeHigh] and combined with the target's current value;
// nothing for an operator that does not exist.
std::optional<double> modulatedValue(double current, double shaped, const RouteSettings& settings);

// Where modulation reads the audio controls and the host's timing. Reads answer nothing when the
// effect has no such control or the host cannot read it; they may throw.
class AudioControlSource {
  public:
    virtual ~AudioControlSource() = default;
    // The current value of a double, integer, boolean or choice control.
    virtual std::optional<double> value(const std::string& name) = 0;
    // Its value at a render time.
    virtual std::optional<double> valueAt(const std::string& name, double time) = 0;
    // The latest keyframe of a double control at or before a frame.
    virtual std::optional<double> latestKeyTime(const std::string& name, double frame) = 0;
    // The effect's frame rate (not above 0: unknown) and the first frame of the host's timeline.
    virtual double frameRate() = 0;
    virtual double timelineStart() = 0;
    // A copy of tap track n's record (1..4), taken under the tap lock; false without one.
    virtual bool tapRecord(int track, TapRecord* record) = 0;
    virtual int64_t steadyNowNanos() = 0;
};

// The route state of one effect instance and the pass that applies its routes.
class AudioModulator {
  public:
    AudioModulator(int slotCount, std::vector<std::string> targets);

    // Rewrites the routes' targets in `values` at render time `time` (frames) from the loaded
    // analysis, and the whole monitor record except its switches (monitorEnabled and
    // dimmedBackdrop are read here, the analysis state is left zero). selectedRoute: the slot the
    // monitor highlights, from 0.
    void apply(std::map<std::string, ParameterValue>& values, double time, int selectedRoute,
               const AudioDataCache& analysis, AudioControlSource& controls, AudioMonitorRecord& monitor);

    const RouteState& routeState(int slotIndex) const { return states_[static_cast<std::size_t>(slotIndex)]; }
    int slotCount() const { return slots_; }

  private:
    struct Timing;
    void fillStemMeters(const AudioDataCache& analysis, double audioTime, AudioMonitorRecord& monitor);
    void fillSelectedStem(const Timing& timing, int selectedRoute, const AudioDataCache& analysis,
                          AudioControlSource& controls, AudioMonitorRecord& monitor);
    bool readRoute(int slot, bool muteAll, AudioControlSource& controls, RouteSettings& settings);
    void applyRoute(int slot, const RouteSettings& settings, const Timing& timing,
                    const AudioDataCache& analysis, AudioControlSource& controls,
                    std::map<std::string, ParameterValue>& values, AudioMonitorRecord& monitor);

    int slots_;
    std::vector<std::string> targets_;
    std::array<RouteState, kMonitorMaxRoutes> states_{};
};

// The monitor record emptied: no meters, no route channels or stems (-1), `routeSlots` slots.
void resetMonitorRecord(AudioMonitorRecord& monitor, int routeSlots);

// The name of slot i's control `stem` ("audio_mute" and 2 give "audio_mute_2").
std::string slotControl(const char* stem, int slot);

}  // namespace audio
