#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>

#include "audio/AudioModulation.h"

using audio::AudioControlSource;
using audio::AudioModulator;
using audio::RouteSettings;
using audio::RouteState;

namespace {

// An analysis at 24 frames per second, 48 frames. Mix: channel c of frame f is (f + c) / 100.
// Drums: every channel 0.5. Beats every half second from 0.5 s.
std::string analysisJson(int channels = 11) {
    std::ostringstream json;
    json << R"({"format":"orbalt_audio_analysis","timing":{"analysis_rate":24},)";
    if (channels != 11) {
        json << R"("channel_order":[)";
        for (int c = 0; c < channels; ++c)
            json << (c ? "," : "") << (c == 1 ? "\"rms_energy\"" : "\"c" + std::to_string(c) + "\"");
        json << "],";
    }
    json << R"("stems":["mix","ORBALT_drums"],"frames":{"mix":[)";
    for (int f = 0; f < 48; ++f) {
        json << (f ? "," : "") << "[";
        for (int c = 0; c < channels; ++c) json << (c ? "," : "") << (f + c) / 100.0;
        json << "]";
    }
    json << R"(],"ORBALT_drums":[)";
    for (int f = 0; f < 48; ++f) {
        json << (f ? "," : "") << "[";
        for (int c = 0; c < channels; ++c) json << (c ? "," : "") << 0.5;
        json << "]";
    }
    json << R"(]},"beat_times":[0.5,1.0,1.5,2.0,2.5,3.0,3.5,4.0,4.5,5.0]})";
    return json.str();
}

AudioDataCache loadedAnalysis(int channels = 11) {
    AudioDataCache cache;
    EXPECT_TRUE(cache.loadBytes(analysisJson(channels))) << cache.lastError();
    return cache;
}

class FakeControls : public AudioControlSource {
  public:
    std::map<std::string, double> values;
    std::map<std::string, std::vector<double>> keys;  // ascending key frames per tap track
    std::set<std::string> throwing;
    std::map<int, TapRecord> taps;
    double fps = 24.0;
    double start = 0.0;
    int64_t now = 10'000'000'000;

    std::optional<double> value(const std::string& name) override {
        if (throwing.count(name)) throw std::runtime_error("host refused " + name);
        auto found = values.find(name);
        if (found == values.end()) return std::nullopt;
        return found->second;
    }
    std::optional<double> valueAt(const std::string& name, double) override { return value(name); }
    std::optional<double> latestKeyTime(const std::string& name, double frame) override {
        auto found = keys.find(name);
        if (found == keys.end()) return std::nullopt;
        std::optional<double> latest;
        for (double key : found->second)
            if (key <= frame) latest = key;
        return latest;
    }
    double frameRate() override { return fps; }
    double timelineStart() override { return start; }
    bool tapRecord(int track, TapRecord* record) override {
        auto found = taps.find(track);
        if (found == taps.end()) return false;
        *record = found->second;
        return true;
    }
    int64_t steadyNowNanos() override { return now; }

    void route(int slot, int source, int target, int op = 0, int stem = 0) {
        values[audio::slotControl("audio_source", slot)] = source;
        values[audio::slotControl("audio_target", slot)] = target;
        values[audio::slotControl("audio_operator", slot)] = op;
        values[audio::slotControl("audio_stem", slot)] = stem;
    }
};

constexpr int kPulse = 11, kDownbeat = 12;

TEST(BeatPulse, BeatsFallOnTheirPlaceInTheBar) {
    const AudioDataCache analysis = loadedAnalysis();
    struct Case {
        int offset;
        int beat;     // 1-based beat number; beat k is at k * 0.5 s
        int channel;  // the one channel of 12..19 that pulses
    };
    const Case cases[] = {
        {0, 1, kDownbeat}, {0, 2, 13},        {0, 4, 15},         {0, 5, kDownbeat},
        {0, 6, 13},        {0, 9, kDownbeat}, {1, 1, 13},         {1, 4, kDownbeat},
        {1, 8, kDownbeat}, {-1, 1, 15},       {-1, 2, kDownbeat}, {-1, 6, kDownbeat},
    };
    for (const Case& c : cases) {
        const double t = 0.5 * c.beat;
        for (int channel = kDownbeat; channel <= 19; ++channel) {
            EXPECT_FLOAT_EQ(audio::beatPulse(analysis, channel, t, 4, c.offset),
                            channel == c.channel ? 1.0f : 0.0f)
                << "offset " << c.offset << " beat " << c.beat << " channel " << channel;
        }
        EXPECT_FLOAT_EQ(audio::beatPulse(analysis, kPulse, t, 4, c.offset), 1.0f);
    }
}

TEST(BeatPulse, DecaysOverATenthOfASecond) {
    const AudioDataCache analysis = loadedAnalysis();
    EXPECT_NEAR(audio::beatPulse(analysis, kPulse, 1.1, 4, 0), std::exp(-1.0), 1e-6);
    EXPECT_NEAR(audio::beatPulse(analysis, 13, 1.1, 4, 0), std::exp(-1.0), 1e-6);
    EXPECT_EQ(audio::beatPulse(analysis, kPulse, 0.49, 4, 0), 0.0f);          // before the first beat
    EXPECT_FLOAT_EQ(audio::beatPulse(analysis, kDownbeat, 1.0, 0, 0), 1.0f);  // a bar below 1 beat is 1 beat
    AudioDataCache unloaded;
    EXPECT_EQ(audio::beatPulse(unloaded, kPulse, 1.0, 4, 0), 0.0f);
}

TEST(TapPulse, KeysAreSeenLatencyEarlyAndDecay) {
    const audio::TapKeyLookup keys = [](double frame) -> std::optional<double> {
        if (frame >= 100.0) return 100.0;
        return std::nullopt;
    };
    const int64_t now = 5'000'000'000;
    const TapRecord live{100.2, now - 100'000'000};
    const TapRecord stale{100.0, now - 600'000'000};
    const TapRecord elsewhere{90.0, now - 100'000'000};
    struct Case {
        double frame;
        const TapRecord* record;
        double expected;
    };
    const Case cases[] = {
        {94.0, nullptr, 1.0},
        {96.4, nullptr, std::exp(-1.0)},
        {93.9, nullptr, 0.0},  // the key is still ahead
        {96.4, &live, std::exp(-1.0 / 3.0)},
        {96.4, &stale, std::exp(-1.0)},
        {96.4, &elsewhere, std::exp(-1.0)},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(audio::tapPulse(keys, c.frame, 24.0, 0.25, c.record, now), c.expected, 1e-6) << c.frame;
    EXPECT_EQ(audio::tapPulse(keys, 96.4, 0.0, 0.25, nullptr, now), 0.0f);
    EXPECT_EQ(audio::tapPulse(audio::TapKeyLookup(), 96.4, 24.0, 0.25, nullptr, now), 0.0f);
}

TEST(RouteShaping, ThresholdRangeAndOperators) {
    RouteSettings s;
    s.threshold = 0.5;
    EXPECT_DOUBLE_EQ(audio::shapeRouteValue(0.75, s, nullptr, 0, 1.0 / 24), 0.5);
    EXPECT_DOUBLE_EQ(audio::shapeRouteValue(0.4, s, nullptr, 0, 1.0 / 24), 0.0);
    EXPECT_DOUBLE_EQ(audio::shapeRouteValue(0.5, s, nullptr, 0, 1.0 / 24), 0.0);
    s.threshold = 1.5;  // beyond the control's range: held at 0.99
    EXPECT_NEAR(audio::shapeRouteValue(1.0, s, nullptr, 0, 1.0 / 24), 1.0, 1e-12);

    struct Case {
        int op;
        double current;
        std::optional<double> expected;
    };
    const Case cases[] = {{2, 7.0, 0.5}, {0, 1.0, 1.5}, {1, 2.0, 1.0}, {3, 2.0, std::nullopt}};
    RouteSettings range;
    range.rangeLow = 0.2;
    range.rangeHigh = 0.8;
    for (const Case& c : cases) {
        range.op = c.op;
        const std::optional<double> out = audio::modulatedValue(c.current, 0.5, range);
        ASSERT_EQ(out.has_value(), c.expected.has_value()) << c.op;
        if (out) {
            EXPECT_NEAR(*out, *c.expected, 1e-12) << c.op;
        }
    }
}

TEST(RouteShaping, LevellingEnvelopeAndSpringKeepState) {
    const double dt = 1.0 / 24.0;
    RouteSettings level;
    level.autoLevel = true;
    level.levelWindow = 4.0;
    RouteState state;
    // The first value sets the peak while the floor creeps up from 0: the level reads full scale.
    EXPECT_DOUBLE_EQ(audio::shapeRouteValue(0.4, level, &state, 0.0, dt), 1.0);
    const double g = std::exp(-dt / 4.0);
    const double peak = 0.4 + (0.2 - 0.4) * (1 - g);
    double floor = 0.4 * (1 - g);
    floor += (0.2 - floor) * (1 - g);
    EXPECT_NEAR(audio::shapeRouteValue(0.2, level, &state, dt, dt), (0.2 - floor) / (peak - floor), 1e-12);
    EXPECT_DOUBLE_EQ(audio::shapeRouteValue(0.0, level, &state, 2 * dt, dt), 0.0);  // a new floor
    EXPECT_EQ(state.lastTime, -1.0);  // levelling alone keeps no time

    RouteSettings envelope;
    envelope.envelope = true;
    envelope.attack = 0.01;
    envelope.decay = 0.3;
    RouteState env;
    const double rise = 1.0 - std::exp(-dt / 0.01);
    EXPECT_NEAR(audio::shapeRouteValue(1.0, envelope, &env, 0.0, dt), rise, 1e-12);
    const double fall = rise * std::exp(-dt / 0.3);
    EXPECT_NEAR(audio::shapeRouteValue(0.0, envelope, &env, dt, dt), fall, 1e-12);
    // A jump of more than two frames restarts at the value.
    EXPECT_DOUBLE_EQ(audio::shapeRouteValue(0.7, envelope, &env, 10.0, dt), 0.7);
    EXPECT_DOUBLE_EQ(env.envelope, 0.7);
    EXPECT_DOUBLE_EQ(env.lastTime, 10.0);

    RouteSettings spring;
    spring.spring = true;
    spring.springStrength = 850.0;
    spring.springDamping = 0.1;
    RouteState sp;
    const double v1 = std::pow(0.9, 60 * dt) * (1.0 * 850.0 * dt);
    EXPECT_NEAR(audio::shapeRouteValue(1.0, spring, &sp, 0.0, dt), v1 * dt, 1e-12);
    const double x1 = v1 * dt;
    const double v2 = std::pow(0.9, 60 * dt) * ((1.0 - x1) * 850.0 * dt + v1);
    EXPECT_NEAR(audio::shapeRouteValue(1.0, spring, &sp, dt, dt), x1 + v2 * dt, 1e-12);
}

class ModulatorTest : public ::testing::Test {
  protected:
    AudioDataCache analysis = loadedAnalysis();
    FakeControls controls;
    std::map<std::string, ParameterValue> values = {
        {"gain", ParameterValue(1.0)}, {"count", ParameterValue(3)}, {"offset", ParameterValue(0.25, 0.5)}};
    AudioMonitorRecord monitor{};
};

TEST_F(ModulatorTest, RoutesChangeTheirTargetsAndFillTheMonitor) {
    AudioModulator modulator(3, {"gain", "count", "offset"});
    controls.route(1, 2, 0, 2);     // RMS of the mix replaces gain
    controls.route(2, 2, 1, 0, 1);  // RMS of the drums added to count
    controls.route(3, 0, 2);        // source None
    controls.values["audio_amplitude_2"] = 2.0;
    controls.values["audio_show_monitor"] = 1;
    modulator.apply(values, 12.0, 1, analysis, controls, monitor);  // route 2 selected: the drums

    // Frame 12 at 24 fps is 0.5 s: analysis frame 12, RMS (12 + 1) / 100.
    EXPECT_EQ(values["gain"].kind(), ParameterValue::Kind::Double);
    EXPECT_NEAR(values["gain"].asDouble(), 0.13, 1e-6);
    EXPECT_EQ(values["count"].kind(), ParameterValue::Kind::Double);  // an integer target becomes a double
    EXPECT_NEAR(values["count"].asDouble(), 4.0, 1e-6);
    EXPECT_EQ(values["offset"].kind(), ParameterValue::Kind::Vec2);  // route 3 is off

    EXPECT_EQ(monitor.monitorEnabled, 1);
    EXPECT_EQ(monitor.stemCount, 2);
    EXPECT_STREQ(monitor.stemLabels[0], "MIX");
    EXPECT_STREQ(monitor.stemLabels[1], "O_DRU");
    EXPECT_EQ(monitor.stemKinds[1], 1);
    EXPECT_NEAR(monitor.stemLevels[0], 0.13f, 1e-6);
    EXPECT_NEAR(monitor.stemLevels[1], 0.5f, 1e-6);
    EXPECT_EQ(monitor.selectedRoute, 1);
    EXPECT_EQ(monitor.selectedStem, 1);
    EXPECT_EQ(monitor.selectedChannel, 1);
    EXPECT_STREQ(monitor.selectedStemName, "DRUMS");
    EXPECT_EQ(monitor.channelValueCount, 24);
    EXPECT_NEAR(monitor.channelValues[4], 0.5f, 1e-6);
    EXPECT_FLOAT_EQ(monitor.channelValues[kPulse], 1.0f);  // on the first beat
    EXPECT_EQ(monitor.routeSlots, 3);
    EXPECT_EQ(monitor.routeCount, 2);
    EXPECT_EQ(monitor.routeChannels[1], 1);
    EXPECT_EQ(monitor.routeStems[1], 1);
    EXPECT_EQ(monitor.routeChannels[2], -1);
    EXPECT_EQ(monitor.routeStems[2], -1);
    EXPECT_NEAR(monitor.routeLevels[1], 0.5f, 1e-6);
}

TEST_F(ModulatorTest, MuteAllKeepsTargetsButShowsTheLevels) {
    AudioModulator modulator(2, {"gain"});
    controls.route(1, 2, 0, 2);
    controls.route(2, 2, 5, 2);  // a target outside the list
    controls.values["audio_mute_all"] = 1;
    modulator.apply(values, 12.0, 0, analysis, controls, monitor);
    EXPECT_DOUBLE_EQ(values["gain"].asDouble(), 1.0);
    EXPECT_EQ(monitor.routeMuted[0], 1);
    EXPECT_NEAR(monitor.routeLevels[0], 0.13f, 1e-6);
    EXPECT_EQ(monitor.routeCount, 2);
}

TEST_F(ModulatorTest, SlotsBeyondSixteenApplyWithoutStateOrMeter) {
    AudioModulator modulator(17, {"gain"});
    controls.route(17, 2, 0, 2);
    controls.values["audio_envelope_17"] = 1;  // not applied beyond 16
    modulator.apply(values, 12.0, 0, analysis, controls, monitor);
    EXPECT_NEAR(values["gain"].asDouble(), 0.13, 1e-6);
    EXPECT_EQ(monitor.routeCount, 0);
    EXPECT_EQ(monitor.routeSlots, 17);
}

TEST_F(ModulatorTest, UnreadableSlotsAndMissingChannelsAreSkipped) {
    const AudioDataCache narrow = loadedAnalysis(3);
    AudioModulator modulator(3, {"gain", "count"});
    controls.route(1, 5, 0, 2);  // "Bass" is channel 4: beyond a three-channel analysis
    controls.route(2, 2, 1, 2);
    controls.route(3, 2, 0, 2);
    controls.throwing.insert("audio_operator_3");
    modulator.apply(values, 12.0, 0, narrow, controls, monitor);
    EXPECT_DOUBLE_EQ(values["gain"].asDouble(), 1.0);
    EXPECT_NEAR(values["count"].asDouble(), 0.13, 1e-6);
    EXPECT_EQ(monitor.routeChannels[0], -1);
    EXPECT_EQ(monitor.routeCount, 2);
    EXPECT_EQ(monitor.routeChannels[2], -1);
}

TEST_F(ModulatorTest, AudioTimeFollowsTimelineOffsetAndStart) {
    AudioModulator modulator(1, {"gain"});
    controls.route(1, 2, 0, 2);
    controls.values["audio_timeline_offset"] = 24;  // one second into the audio
    controls.start = 10.0;
    controls.fps = 24.0;
    modulator.apply(values, 22.0, 0, analysis, controls, monitor);
    // (24 + 22 - 10) / 24 = 1.5 s: analysis frame 36.
    EXPECT_NEAR(values["gain"].asDouble(), 0.37, 1e-6);

    controls.fps = 0.0;  // unknown: 30 frames per second
    controls.start = 0.0;
    controls.values["audio_timeline_offset"] = 0;
    values["gain"] = ParameterValue(1.0);
    modulator.apply(values, 15.0, 0, analysis, controls, monitor);
    EXPECT_NEAR(values["gain"].asDouble(), 0.13, 1e-6);  // 0.5 s
}

TEST_F(ModulatorTest, TapRoutesReadTheirTrackAndRecord) {
    AudioModulator modulator(1, {"gain"});
    controls.route(1, 21, 0, 2);  // "Tap F1"
    controls.keys["audio_tap_track_1"] = {100.0};
    controls.values["audio_tap_latency"] = 0.25;
    modulator.apply(values, 96.4, 0, analysis, controls, monitor);
    EXPECT_NEAR(values["gain"].asDouble(), std::exp(-1.0), 1e-6);
    EXPECT_NEAR(monitor.channelValues[20], std::exp(-1.0), 1e-6);
    EXPECT_EQ(monitor.channelValues[21], 0.0f);

    controls.taps[1] = TapRecord{100.0, controls.now - 50'000'000};
    controls.values["audio_delay_1"] = 0.1;  // 2.4 frames later
    modulator.apply(values, 94.0, 0, analysis, controls, monitor);
    EXPECT_NEAR(values["gain"].asDouble(), std::exp(-1.0 / 3.0), 1e-6);
}

}  // namespace
