#include "audio/AudioModulation.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <exception>
#include <utility>

#include "audio/AudioRouting.h"
#include "log/PluginLog.h"

namespace audio {

namespace {

constexpr double kBeatDecaySeconds = 0.1;
constexpr double kTapDecaySeconds = 0.1;
constexpr double kLiveTapDecaySeconds = 0.3;
constexpr int64_t kLiveTapNanos = 499999999;
constexpr double kDefaultFrameRate = 30.0;
constexpr double kDefaultTapLatency = 0.25;

// A control read that falls back to `fallback` when the control is missing, unreadable or throws.
double readOr(AudioControlSource& controls, const std::string& name, double fallback) {
    try {
        const std::optional<double> v = controls.value(name);
        return v && std::isfinite(*v) ? *v : fallback;
    } catch (const std::exception&) {
        return fallback;
    }
}

double readAtOr(AudioControlSource& controls, const std::string& name, double time, double fallback) {
    try {
        const std::optional<double> v = controls.valueAt(name, time);
        return v && std::isfinite(*v) ? *v : fallback;
    } catch (const std::exception&) {
        return fallback;
    }
}

// A slot control read: missing gives the fallback, an exception reaches the caller.
double slotValue(AudioControlSource& controls, const char* stem, int slot, double fallback) {
    const std::optional<double> v = controls.value(slotControl(stem, slot));
    return v && std::isfinite(*v) ? *v : fallback;
}

int toInt(double v) {
    if (!(v > -2147483648.0 && v < 2147483648.0)) return 0;
    return static_cast<int>(v);
}

std::string tapTrackControl(int track) {
    return "audio_tap_track_" + std::to_string(track);
}

// The name of a stem on the monitor: without the maker's prefix, upper case, at most 7 characters.
std::string monitorStemName(const std::string& name) {
    static const char prefix[] = "ORBALT_";
    const std::size_t prefixLength = sizeof(prefix) - 1;
    std::string bare = name;
    if (name.size() > prefixLength && name.compare(0, prefixLength, prefix) == 0)
        bare = name.substr(prefixLength);
    if (bare.size() > 7) bare.resize(7);
    for (char& c : bare) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return bare;
}

// The pulse of tap track n at a frame, from its parameter's keys and a copy of its tap record.
float trackPulse(AudioControlSource& controls, int track, double frame, double fps, double latency,
                 int64_t now) {
    TapRecord record;
    bool haveRecord = false;
    try {
        haveRecord = controls.tapRecord(track, &record);
    } catch (const std::exception&) {
    }
    const std::string name = tapTrackControl(track);
    const TapKeyLookup keys = [&controls, &name](double frame) -> std::optional<double> {
        try {
            return controls.latestKeyTime(name, frame);
        } catch (const std::exception&) {
            return std::nullopt;
        }
    };
    return tapPulse(keys, frame, fps, latency, haveRecord ? &record : nullptr, now);
}

template <std::size_t N>
void copyText(char (&field)[N], const std::string& text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N));
}

}  // namespace

std::string slotControl(const char* stem, int slot) {
    return std::string(stem) + "_" + std::to_string(slot);
}

void resetMonitorRecord(AudioMonitorRecord& monitor, int routeSlots) {
    std::memset(&monitor, 0, sizeof monitor);
    for (int k = 0; k < kMonitorMaxRoutes; ++k) {
        monitor.routeChannels[k] = -1;
        monitor.routeStems[k] = -1;
    }
    monitor.routeSlots = routeSlots;
}

float beatPulse(const AudioDataCache& analysis, int channel, double t, int pulsesPerMeasure, int beatOffset) {
    const std::vector<double>& beats = analysis.beatTimes();
    if (beats.empty()) return 0.0f;
    const int k = analysis.beatCountAt(t);
    if (k <= 0) return 0.0f;
    const double p = std::exp(-std::max(0.0, t - beats[static_cast<std::size_t>(k - 1)]) / kBeatDecaySeconds);
    if (channel == kFirstBeatChannel) return static_cast<float>(p);
    const long long m = std::max(pulsesPerMeasure, 1);
    long long position = (static_cast<long long>(beatOffset) + k - 1) % m;
    if (position < 0) position += m;
    return channel == kFirstBeatChannel + 1 + position ? static_cast<float>(p) : 0.0f;
}

float tapPulse(const TapKeyLookup& keys, double t, double fps, double latency, const TapRecord* record,
               int64_t nowNanos) {
    if (!keys || !(fps > 0.0)) return 0.0f;
    const double limit = t + latency * fps;
    const std::optional<double> key = keys(limit);
    if (!key) return 0.0f;
    const double e = *key;
    double decay = kTapDecaySeconds;
    if (record && record->tapTime > -1e17 && std::fabs(record->tapTime - e) <= 0.5 &&
        nowNanos - record->steadyNanos <= kLiveTapNanos) {
        decay = kLiveTapDecaySeconds;
    }
    return static_cast<float>(std::exp(-((limit - e) / fps) / decay));
}

double shapeRouteValue(double v, const RouteSettings& s, RouteState* state, double audioTime, double dt) {
    if (s.threshold > 0.0) {
        // The control stops at 0.99; a larger value would divide by zero or flip the sign.
        const double threshold = std::min(s.threshold, 0.99);
        v = v <= threshold ? 0.0 : (v - threshold) / (1.0 - threshold);
    }
    if (!state) return v;
    RouteState& st = *state;
    if (s.autoLevel) {
        const double g = std::exp(-dt / std::max(0.1, s.levelWindow));
        st.peak = v > st.peak ? v : st.peak + (v - st.peak) * (1.0 - g);
        st.floor = v < st.floor ? v : st.floor + (v - st.floor) * (1.0 - g);
        if (st.peak - st.floor > 0.001) v = std::clamp((v - st.floor) / (st.peak - st.floor), 0.0, 1.0);
    }
    if (s.envelope || s.spring) {
        // A jump in audio time (scrubbing, a cut in the timeline) restarts the dynamics at the value.
        if (st.lastTime >= 0.0 && std::fabs(audioTime - st.lastTime) > 2.0 * dt) {
            st.position = v;
            st.envelope = v;
            st.peak = v;
            st.floor = v;
            st.velocity = 0.0;
        }
        st.lastTime = audioTime;
        if (s.envelope) {
            const double rate = v > st.envelope ? s.attack : s.decay;
            const double coef = std::exp(-dt / std::max(0.001, rate));
            v = st.envelope + (v - st.envelope) * (1.0 - coef);
        }
        st.envelope = v;
        if (s.spring) {
            // Damping above 1 would raise a negative base to a fractional power.
            const double damping = std::clamp(s.springDamping, 0.0, 1.0);
            st.velocity = std::pow(1.0 - damping, 60.0 * dt) *
                          ((v - st.position) * s.springStrength * dt + st.velocity);
            v = st.position + st.velocity * dt;
        }
        st.position = v;
    }
    return v;
}

std::optional<double> modulatedValue(double current, double shaped, const RouteSettings& s) {
    const double out = s.rangeLow + (s.rangeHigh - s.rangeLow) * shaped;
    switch (s.op) {
        case static_cast<int>(RouteOperator::Add):
            return current + out;
        case static_cast<int>(RouteOperator::Multiply):
            return current * out;
        case static_cast<int>(RouteOperator::Replace):
            return out;
        default:
            return std::nullopt;
    }
}

struct AudioModulator::Timing {
    double time = 0.0;  // render time, frames
    double fps = kDefaultFrameRate;
    double dt = 1.0 / kDefaultFrameRate;
    double audioTime = 0.0;  // seconds into the analysis
    int pulsesPerMeasure = 4;
    int beatOffset = 0;
    double tapLatency = kDefaultTapLatency;
    int64_t now = 0;
};

AudioModulator::AudioModulator(int slotCount, std::vector<std::string> targets)
    : slots_(std::max(slotCount, 0)), targets_(std::move(targets)) {}

void AudioModulator::apply(std::map<std::string, ParameterValue>& values, double time, int selectedRoute,
                           const AudioDataCache& analysis, AudioControlSource& controls,
                           AudioMonitorRecord& monitor) {
    const double timelineOffset = readOr(controls, "audio_timeline_offset", 0.0);
    const bool muteAll = readOr(controls, "audio_mute_all", 0.0) != 0.0;
    Timing timing;
    timing.time = time;
    timing.pulsesPerMeasure = std::max(toInt(readAtOr(controls, "audio_pulses_per_measure", time, 4.0)), 1);
    timing.beatOffset = toInt(readAtOr(controls, "audio_beat_offset", time, 0.0));
    double fps = 0.0;
    double timelineStart = 0.0;
    try {
        fps = controls.frameRate();
        timelineStart = controls.timelineStart();
    } catch (const std::exception&) {
    }
    timing.fps = fps > 0.0 && std::isfinite(fps) ? fps : kDefaultFrameRate;
    if (!std::isfinite(timelineStart)) timelineStart = 0.0;
    timing.dt = 1.0 / timing.fps;
    timing.audioTime = (timelineOffset + (time - timelineStart)) / timing.fps;
    timing.tapLatency = readOr(controls, "audio_tap_latency", kDefaultTapLatency);
    timing.now = controls.steadyNowNanos();

    resetMonitorRecord(monitor, slots_);

    fillStemMeters(analysis, timing.audioTime, monitor);
    fillSelectedStem(timing, selectedRoute, analysis, controls, monitor);
    monitor.monitorEnabled = readOr(controls, "audio_show_monitor", 0.0) != 0.0 ? 1 : 0;
    monitor.dimmedBackdrop = readOr(controls, "audio_show_dimmed_effect", 0.0) != 0.0 ? 1 : 0;

    for (int slot = 1; slot <= slots_; ++slot) {
        RouteSettings settings;
        if (!readRoute(slot, muteAll, controls, settings)) continue;
        applyRoute(slot, settings, timing, analysis, controls, values, monitor);
    }
}

void AudioModulator::fillStemMeters(const AudioDataCache& analysis, double audioTime,
                                    AudioMonitorRecord& monitor) {
    const int n = std::min(analysis.stemCount(), kMonitorMaxStems);
    monitor.stemCount = n;
    int rms = analysis.channelIndex("rms_energy");
    if (rms < 0) rms = 1;
    for (int s = 0; s < n; ++s) {
        const std::string& name = analysis.stemNames()[static_cast<std::size_t>(s)];
        monitor.stemLevels[s] = analysis.sample(s, audioTime, rms);
        monitor.stemKinds[s] = stemKind(name);
        copyText(monitor.stemLabels[s], stemLabel(name, kMonitorStemLabelBytes - 1));
    }
}

void AudioModulator::fillSelectedStem(const Timing& timing, int selectedRoute, const AudioDataCache& analysis,
                                      AudioControlSource& controls, AudioMonitorRecord& monitor) {
    int stem = 0;
    int channel = -1;
    if (selectedRoute >= 0 && selectedRoute < slots_) {
        stem = toInt(readOr(controls, slotControl("audio_stem", selectedRoute + 1), 0.0));
        const int option = toInt(readOr(controls, slotControl("audio_source", selectedRoute + 1), 0.0));
        channel = option > 0 ? option - 1 : -1;
    }
    if (stem < 0 || stem >= monitor.stemCount) stem = 0;
    monitor.selectedStem = stem;
    monitor.selectedChannel = channel;
    monitor.selectedRoute = selectedRoute;

    monitor.channelValueCount = kMonitorChannels;
    const int analysisChannels = std::min(analysis.channelCount(), kAnalysisChannelCount);
    for (int ch = 0; ch < analysisChannels; ++ch)
        monitor.channelValues[ch] = analysis.sample(stem, timing.audioTime, ch);
    for (int ch = kFirstBeatChannel; ch < kFirstTapChannel; ++ch) {
        monitor.channelValues[ch] =
            beatPulse(analysis, ch, timing.audioTime, timing.pulsesPerMeasure, timing.beatOffset);
    }
    for (int ch = kFirstTapChannel; ch < kMonitorChannelCount; ++ch) {
        const int track = ch - kFirstTapChannel + 1;
        monitor.channelValues[ch] =
            trackPulse(controls, track, timing.time, timing.fps, timing.tapLatency, timing.now);
    }
    if (stem < analysis.stemCount())
        copyText(monitor.selectedStemName,
                 monitorStemName(analysis.stemNames()[static_cast<std::size_t>(stem)]));
}

bool AudioModulator::readRoute(int slot, bool muteAll, AudioControlSource& controls, RouteSettings& s) {
    try {
        s.stemOption = toInt(slotValue(controls, "audio_stem", slot, 0.0));
        s.sourceOption = toInt(slotValue(controls, "audio_source", slot, 0.0));
        if (s.sourceOption == 0) return false;
        s.muted = muteAll || slotValue(controls, "audio_mute", slot, 0.0) != 0.0;
        s.target = toInt(slotValue(controls, "audio_target", slot, 0.0));
        s.op = toInt(slotValue(controls, "audio_operator", slot, 0.0));
        s.rangeHigh = slotValue(controls, "audio_amplitude", slot, 1.0);
        s.rangeLow = slotValue(controls, "audio_offset", slot, 0.0);
        s.delay = slotValue(controls, "audio_delay", slot, 0.0);
        s.threshold = slotValue(controls, "audio_threshold", slot, 0.0);
        s.smoothing = slotValue(controls, "audio_smoothing", slot, 0.0);
        s.autoLevel = slotValue(controls, "audio_autolevel", slot, 0.0) != 0.0;
        s.levelWindow = slotValue(controls, "audio_autolevel_window", slot, 4.0);
        s.envelope = slotValue(controls, "audio_envelope", slot, 0.0) != 0.0;
        s.attack = slotValue(controls, "audio_attack", slot, 0.01);
        s.decay = slotValue(controls, "audio_decay", slot, 0.3);
        s.spring = slotValue(controls, "audio_spring_enable", slot, 0.0) != 0.0;
        s.springStrength = slotValue(controls, "audio_spring", slot, 850.0);
        s.springDamping = slotValue(controls, "audio_damping", slot, 0.1);
    } catch (const std::exception& error) {
        VLOG_ERROR("Audio slot %d: failed to fetch params: %s", slot, error.what());
        return false;
    }
    return true;
}

void AudioModulator::applyRoute(int slot, const RouteSettings& s, const Timing& timing,
                                const AudioDataCache& analysis, AudioControlSource& controls,
                                std::map<std::string, ParameterValue>& values, AudioMonitorRecord& monitor) {
    const int ch = s.sourceOption - 1;
    if (ch < 0 || ch >= kMonitorChannelCount) return;
    if (ch < kAnalysisChannelCount && ch >= analysis.channelCount()) return;

    double v;
    if (ch >= kFirstTapChannel) {
        v = trackPulse(controls, ch - kFirstTapChannel + 1, s.delay * timing.fps + timing.time, timing.fps,
                       timing.tapLatency, timing.now);
    } else if (ch >= kFirstBeatChannel) {
        v = beatPulse(analysis, ch, timing.audioTime + s.delay, timing.pulsesPerMeasure, timing.beatOffset);
    } else {
        const int stem =
            s.stemOption >= 0 && s.stemOption < analysis.stemCount() ? s.stemOption : analysis.mixIndex();
        v = analysis.windowAverage(stem, timing.audioTime + s.delay, ch, s.smoothing);
    }

    const int k = slot - 1;
    RouteState* state = k < kMonitorMaxRoutes ? &states_[static_cast<std::size_t>(k)] : nullptr;
    v = shapeRouteValue(v, s, state, timing.audioTime, timing.dt);

    if (k < kMonitorMaxRoutes) {
        monitor.routeLevels[k] = static_cast<float>(v);
        monitor.routeChannels[k] = ch;
        monitor.routeMuted[k] = s.muted ? 1 : 0;
        monitor.routeStems[k] = s.stemOption;
        monitor.routeCount = slot;
    }

    if (s.muted || s.target < 0 || s.target >= static_cast<int>(targets_.size())) return;
    auto entry = values.find(targets_[static_cast<std::size_t>(s.target)]);
    if (entry == values.end()) return;
    const std::optional<double> result = modulatedValue(entry->second.asDouble(), v, s);
    if (result) entry->second = ParameterValue(*result);
}

}  // namespace audio
