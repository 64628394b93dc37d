// The audio controls of the audio test effect as hosts see them, with and without the analysis tool.
#include <algorithm>

#include "AudioEffectTestSupport.h"
#include "ofxParam.h"

using audio_test::AudioEffectFixture;
using Names = std::vector<std::string>;

namespace {

// The full set's controls for `slots` routes, in the order they are created.
Names fullControls(int slots) {
    Names names = {"_grp_audio_reactive",
                   "audio_show_monitor",
                   "audio_show_dimmed_effect",
                   "audio_mute_all",
                   "audio_timeline_offset",
                   "_grp_audio_analysis",
                   "audio_file",
                   "browse_audio_file",
                   "audio_pulses_per_measure",
                   "audio_beat_offset",
                   "stem_model",
                   "extract_stems",
                   "analyze_audio",
                   "audio_status",
                   "_grp_audio_events",
                   "audio_tap_track_1",
                   "audio_tap_track_2",
                   "audio_tap_track_3",
                   "audio_tap_track_4",
                   "audio_tap_latency"};
    for (int i = 1; i <= slots; ++i) {
        for (const char* stem : {"_grp_audio_slot",     "audio_mute",          "_grp_audio_assign",
                                 "audio_stem",          "audio_source",        "audio_target",
                                 "audio_operator",      "_grp_audio_params",   "audio_amplitude",
                                 "audio_offset",        "audio_delay",         "audio_threshold",
                                 "audio_smoothing",     "audio_autolevel",     "audio_autolevel_window",
                                 "_grp_audio_dynamics", "audio_envelope",      "audio_attack",
                                 "audio_decay",         "audio_spring_enable", "audio_spring",
                                 "audio_damping"})
            names.push_back(std::string(stem) + "_" + std::to_string(i));
    }
    return names;
}

// The described names from `first` on, as many as `count`.
Names slice(const velmora_test::DescribedEffect& fx, const std::string& first, std::size_t count) {
    Names all = fx.paramNames();
    auto at = std::find(all.begin(), all.end(), first);
    if (at == all.end()) return {};
    return Names(at, at + std::min<std::size_t>(count, static_cast<std::size_t>(all.end() - at)));
}

TEST(AudioControls, FullSetWhenTheToolIsInstalled) {
    AudioEffectFixture fixture;
    fixture.installStandIn("exit 0");
    auto fx = velmora_test::describeEffect(AUDIO_PULSE_BUNDLE, "com.example.compositor", "filter");
    const Names expected = fullControls(2);
    EXPECT_EQ(slice(fx, "_grp_audio_reactive", expected.size()), expected);

    // Groups, parents and the kinds of text.
    EXPECT_EQ(fx.parentOf("_grp_audio_reactive"), "");
    EXPECT_EQ(fx.parentOf("audio_file"), "_grp_audio_analysis");
    EXPECT_EQ(fx.parentOf("_grp_audio_slot_2"), "_grp_audio_reactive");
    EXPECT_EQ(fx.parentOf("audio_source_2"), "_grp_audio_assign_2");
    EXPECT_EQ(fx.parentOf("audio_spring_1"), "_grp_audio_dynamics_1");
    EXPECT_EQ(fx.param("_grp_audio_reactive")->props().integer(kOfxParamPropGroupOpen), 0);
    EXPECT_EQ(fx.param("_grp_audio_params_1")->props().integer(kOfxParamPropGroupOpen), 1);
    EXPECT_EQ(fx.stringProp("_grp_audio_slot_2", kOfxPropLabel), "Route 2");
    EXPECT_EQ(fx.stringProp("audio_file", kOfxParamPropStringMode), kOfxParamStringIsFilePath);
    EXPECT_EQ(fx.param("audio_file")->props().integer(kOfxParamPropStringFilePathExists), 1);
    EXPECT_EQ(fx.stringProp("audio_status", kOfxParamPropStringMode), kOfxParamStringIsSingleLine);
    EXPECT_EQ(fx.stringProp("audio_status", kOfxParamPropDefault), "");
    EXPECT_EQ(fx.stringProp("audio_amplitude_1", kOfxPropLongLabel), "Range High");
    EXPECT_EQ(fx.stringProp("audio_amplitude_1", kOfxParamPropHint), "Output value at audio peak.");

    // Options and defaults: the targets in order, one route per target to begin with.
    const auto options = [&](const std::string& name) {
        return fx.param(name)->props().strings(kOfxParamPropChoiceOption);
    };
    EXPECT_EQ(options("audio_target_1"), (Names{"brightness", "bar_position"}));
    EXPECT_EQ(fx.param("audio_target_1")->props().integer(kOfxParamPropDefault), 0);
    EXPECT_EQ(fx.param("audio_target_2")->props().integer(kOfxParamPropDefault), 1);
    EXPECT_EQ(options("audio_source_1").size(), 25u);
    EXPECT_EQ(options("audio_source_1")[5], "Bass");
    EXPECT_EQ(options("audio_stem_2").front(), "Mix");
    EXPECT_EQ(options("audio_stem_2").back(), "Stem 15");
    EXPECT_EQ(options("audio_operator_1"), (Names{"Add", "Multiply", "Replace"}));
    EXPECT_EQ(options("stem_model"), (Names{"6-stem (htdemucs_6s)", "4-stem fine-tuned (htdemucs_ft)"}));
    const vhost::PropertySet& offset = fx.param("audio_timeline_offset")->props();
    EXPECT_EQ(offset.integer(kOfxParamPropMax), 999999);
    EXPECT_EQ(offset.integer(kOfxParamPropDisplayMax), 100000);
    const vhost::PropertySet& spring = fx.param("audio_spring_2")->props();
    EXPECT_EQ(spring.number(kOfxParamPropDefault), 850.0);
    EXPECT_EQ(spring.number(kOfxParamPropMin), 1.0);
    EXPECT_EQ(spring.number(kOfxParamPropDisplayMax), 1500.0);
    EXPECT_EQ(fx.param("audio_tap_track_3")->props().number(kOfxParamPropIncrement), 1.0);

    fx.unload();
    const std::string log = fixture.folders.logText();
    for (const char* line :
         {"Creating audio reactive parameters: 2 slots, 2 targets", "Orbalt Audio tool: installed",
          "  Created audio routing slot 2", "✓ Audio reactive parameters created"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
}

TEST(AudioControls, StatusAndDownloadOnlyWithoutTheTool) {
    AudioEffectFixture fixture;
    auto fx = velmora_test::describeEffect(AUDIO_PULSE_BUNDLE, "com.example.compositor", "filter");
    EXPECT_EQ(slice(fx, "_grp_audio_reactive", 4),
              (Names{"_grp_audio_reactive", "audio_status", "download_audio_tool", "_grp_alpha_matte"}));
    EXPECT_EQ(fx.stringProp("audio_status", kOfxParamPropDefault),
              "Orbalt Audio required (free) — restart Resolve after installing");
    EXPECT_EQ(fx.stringProp("audio_status", kOfxParamPropHint), "");
    EXPECT_EQ(fx.stringProp("download_audio_tool", kOfxPropLabel), "Download Orbalt Audio");
    EXPECT_EQ(fx.param("audio_file"), nullptr);
    EXPECT_EQ(fx.param("audio_source_1"), nullptr);
    fx.unload();
    EXPECT_NE(fixture.folders.logText().find("Audio reactive: minimal UI (tool not installed)"),
              std::string::npos);
}

TEST(AudioControls, OnTheAudioPageInAHostWithPages) {
    AudioEffectFixture fixture;
    fixture.installStandIn("exit 0");
    auto fx = velmora_test::describeEffect(AUDIO_PULSE_BUNDLE, "flame", "filter");
    EXPECT_EQ(fx.pageChildren("Audio"), fullControls(2));
    EXPECT_EQ(fx.stringProp("Audio", kOfxPropLabel), "Audio");
    // The audio page comes before the settings page.
    const Names names = fx.paramNames();
    EXPECT_LT(std::find(names.begin(), names.end(), "Audio"),
              std::find(names.begin(), names.end(), "Settings"));
}

}  // namespace
