// The audio test effect's instance: loading analyses, running the analysis tool, the status texts,
// the stem dropdowns, the monitor panel's clicks, and the effect's pixels.
#include "AudioEffectTestSupport.h"
#include "Overlay.h"
#include "audio/AnalysisContainer.h"
#include "platform/ChildProcess.h"

using audio_test::AudioEffectFixture;
using audio_test::renderUntil;
using audio_test::stemAnalysis;
using audio_test::text;
using velmora_test::occurrences;
using Names = std::vector<std::string>;

namespace {

constexpr OfxRectI kFrame{0, 0, 16, 8};

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::unique_ptr<velmora_test::LiveInstance> openWithSource(AudioEffectFixture& fixture) {
    auto fx = fixture.open();
    (*fx)->connectClip("Source", velmora_test::greyImage(kFrame.x2, kFrame.y2));
    return fx;
}

TEST(AudioFlows, AnAnalysisFileLoadsAndBecomesTheStemDropdowns) {
    AudioEffectFixture fixture;
    fixture.installStandIn("exit 0");
    auto fx = openWithSource(fixture);
    (*fx)->setParam("audio_stem_2", 2);
    const std::string analysis = fixture.file("mix.orbalt_audio");
    std::ofstream(analysis, std::ios::binary)
        << audio::packContainer(stemAnalysis({"mix", "drums", "bass"}), 1);

    EXPECT_EQ((*fx)->setParam("audio_file", analysis + " \n"), kOfxStatOK);
    EXPECT_EQ(text(*fx->instance, "audio_status"), "Loaded: 3 stems x 11 channels, 2.0s");
    EXPECT_EQ((*fx)->choiceOptions("audio_stem_1"), (Names{"mix", "drums", "bass"}));
    EXPECT_EQ(std::get<int>((*fx)->value("audio_stem_2")), 2);  // nothing remembered: the index stays

    // A new analysis keeps each route on its stem by name: bass moves from 2 to 1.
    std::ofstream(fixture.file("other.json")) << stemAnalysis({"mix", "bass", "vocals", "piano"});
    EXPECT_EQ((*fx)->setParam("audio_file", fixture.file("other.json")), kOfxStatOK);
    EXPECT_EQ(text(*fx->instance, "audio_status"), "Loaded: 4 stems x 11 channels, 2.0s");
    EXPECT_EQ((*fx)->choiceOptions("audio_stem_2"), (Names{"mix", "bass", "vocals", "piano"}));
    EXPECT_EQ(std::get<int>((*fx)->value("audio_stem_2")), 1);

    // Clearing the file forgets the analysis; a later render loads nothing.
    EXPECT_EQ((*fx)->setParam("audio_file", std::string()), kOfxStatOK);
    EXPECT_EQ(text(*fx->instance, "audio_status"), "");
    EXPECT_EQ((*fx)->render(0.0, kFrame), kOfxStatOK);
    EXPECT_EQ(text(*fx->instance, "audio_status"), "");
    fx->close();
    const std::string log = fixture.folders.logText();
    EXPECT_TRUE(contains(log, "Audio file changed: '" + analysis + "'")) << "the path is trimmed";
    EXPECT_TRUE(contains(log, "Rebuilt stem dropdowns: 3 stems"));
    EXPECT_TRUE(contains(log, "Audio file cleared"));
}

TEST(AudioFlows, UnreadableAnalysesSayWhy) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string status;
    };
    std::string corrupted = audio::packContainer(stemAnalysis({"mix"}), 1);
    corrupted[40] = static_cast<char>(corrupted[40] ^ 1);
    const Case cases[] = {
        {"bad.orbalt_audio", corrupted,
         "Audio analysis unreadable: sidecar CRC32 mismatch (file corrupted or tampered)"},
        {"bad.json", "{\"format\": \"orbalt_audio_analysis\"}",
         "Audio analysis unreadable: No frame data in JSON"},
        {"deep.json", "{\"format\": \"orbalt_audio_analysis\", \"x\": " + std::string(200000, '['),
         "Audio analysis unreadable: Error: the JSON is nested deeper than 256 levels"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AudioEffectFixture fixture;
        fixture.installStandIn("exit 0");
        auto fx = openWithSource(fixture);
        std::ofstream(fixture.file(c.name), std::ios::binary) << c.bytes;
        EXPECT_EQ((*fx)->setParam("audio_file", fixture.file(c.name)), kOfxStatOK);
        EXPECT_TRUE(startsWith(text(*fx->instance, "audio_status"), c.status))
            << text(*fx->instance, "audio_status");
        // The effect renders on without audio; the next render tries the file once more, then no more.
        for (int i = 0; i < 3; ++i) EXPECT_EQ((*fx)->render(0.0, kFrame), kOfxStatOK);
        fx->close();
        const std::string log = fixture.folders.logText();
        EXPECT_EQ(occurrences(log, "Failed to load audio data: "), 1);
        EXPECT_EQ(occurrences(log, "AudioDataCache: " +
                                       c.status.substr(std::string("Audio analysis unreadable: ").size())),
                  2);
    }
}

TEST(AudioFlows, AnAudioFileWithoutItsAnalysisIsAnalysedAndLoadedByTheNextRender) {
    AudioEffectFixture fixture;
    fixture.installTool();
    auto fx = openWithSource(fixture);
    const std::string audio = fixture.file("my song.wav");
    audio_test::writeWav(audio, audio_test::clickTrack(3.0, 120.0, 0.25, 44100), 44100);

    EXPECT_EQ((*fx)->setParam("audio_file", audio), kOfxStatOK);
    const std::string status =
        renderUntil(*fx->instance, [](const std::string& s) { return startsWith(s, "Loaded"); });
    EXPECT_EQ(status, "Loaded: 11 channels, 3.0s");
    EXPECT_TRUE(std::ifstream(fixture.file("my song.orbalt_audio")).good());
    // The stem dropdowns follow at the next parameter change.
    EXPECT_EQ((*fx)->choiceOptions("audio_stem_1").size(), 16u);
    (*fx)->setParam("audio_mute_1", true);
    EXPECT_EQ((*fx)->choiceOptions("audio_stem_1"), (Names{"mix"}));

    fx->close();
    const std::string log = fixture.folders.logText();
    EXPECT_TRUE(contains(
        log, "AudioToolManager: launching: \"" + fixture.toolPath() + "\" --input \"" + audio + "\""));
    EXPECT_TRUE(contains(log, "AudioToolManager: complete"));
    EXPECT_TRUE(
        contains(log, "Async analysis complete — loading '" + fixture.file("my song.orbalt_audio") + "'"));
    EXPECT_TRUE(contains(log, "Audio data loaded successfully from async analysis"));
}

TEST(AudioFlows, AFailingToolShowsAnalysisFailed) {
    AudioEffectFixture fixture;
    fixture.installStandIn("echo 'PROGRESS:1/20'; echo 'cannot read this' >&2; exit 2");
    auto fx = openWithSource(fixture);
    audio_test::writeWav(fixture.file("song.wav"), std::vector<float>(4410, 0.0f), 44100);
    EXPECT_EQ((*fx)->setParam("audio_file", fixture.file("song.wav")), kOfxStatOK);
    EXPECT_EQ(renderUntil(*fx->instance, [](const std::string& s) { return !s.empty(); }),
              "Analysis failed — check log");
    // Later renders do not start the tool again.
    for (int i = 0; i < 3; ++i) EXPECT_EQ((*fx)->render(0.0, kFrame), kOfxStatOK);
    fx->close();
    const std::string log = fixture.folders.logText();
    EXPECT_EQ(occurrences(log, "AudioToolManager: launching"), 1);
    EXPECT_TRUE(contains(log, "AudioToolManager: failed (exit 2): PROGRESS:1/20\ncannot read this\n"));
    EXPECT_TRUE(contains(log, "Async analysis failed for '" + fixture.file("song.wav") + "'"));
}

TEST(AudioFlows, ButtonsWhileTheToolRunsAndClosingTheInstanceEndsIt) {
    AudioEffectFixture fixture;
    const std::string started = fixture.file("started");
    // The stand-in writes its arguments and a last line "end", then waits to be ended.
    fixture.installStandIn("for a in \"$@\"; do echo \"$a\" >> '" + started + "'; done\necho end >> '" +
                           started + "'\nexec sleep 600");
    auto fx = openWithSource(fixture);
    audio_test::writeWav(fixture.file("song.wav"), std::vector<float>(4410, 0.0f), 44100);
    // Analyze without a file does nothing.
    EXPECT_EQ((*fx)->pressButton("analyze_audio"), kOfxStatOK);
    std::ofstream(fixture.file("song.orbalt_audio")) << stemAnalysis({"mix"});
    EXPECT_EQ((*fx)->setParam("audio_file", fixture.file("song.wav")), kOfxStatOK);
    EXPECT_EQ(text(*fx->instance, "audio_status"), "Loaded: 11 channels, 2.0s")
        << "an existing analysis loads at once";

    EXPECT_EQ((*fx)->pressButton("analyze_audio"), kOfxStatOK);
    (*fx)->setParam("stem_model", 1);
    EXPECT_EQ((*fx)->pressButton("extract_stems"), kOfxStatOK);
    EXPECT_EQ(text(*fx->instance, "audio_status"), "Analysis already running — please wait...");
    EXPECT_EQ((*fx)->render(0.0, kFrame), kOfxStatOK);
    const std::string arguments =
        "--input\n" + fixture.file("song.wav") + "\n--analyze-stems\n--incremental\nend\n";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (audio_test::readAll(started) != arguments && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));

    const auto before = std::chrono::steady_clock::now();
    fx->close();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(30)) << "the tool was ended";
    EXPECT_EQ(audio_test::readAll(started), arguments);
    const std::string log = fixture.folders.logText();
    EXPECT_TRUE(contains(log, "analyze_audio: No audio file selected"));
    EXPECT_TRUE(contains(log, "launchOrbaltAudio: analysis already running, ignoring click"));
    EXPECT_TRUE(contains(log, "AudioToolManager: cancelled"));
}

// An analysis that ends after the user chose another file never replaces that file's analysis:
// choosing it ends the job, and the result of a change the host did not announce is dropped.
TEST(AudioFlows, TheAnalysisOfAnEarlierChoiceNeverReplacesTheFileChosenSince) {
    for (const bool announced : {true, false}) {
        SCOPED_TRACE(announced ? "announced" : "not announced");
        AudioEffectFixture fixture;
        // A slow tool that writes a three-stem analysis beside its input.
        fixture.installStandIn("sleep 0.5\nout=\"${2%.*}.orbalt_audio\"\ncat > \"$out\" <<'J'\n" +
                               stemAnalysis({"mix", "drums", "bass"}) + "\nJ\nexit 0");
        auto fx = openWithSource(fixture);
        audio_test::writeWav(fixture.file("a.wav"), std::vector<float>(4410, 0.0f), 44100);
        std::ofstream(fixture.file("b.json")) << stemAnalysis({"mix"});
        const std::string earlier = fixture.file("a.orbalt_audio");
        EXPECT_EQ((*fx)->setParam("audio_file", fixture.file("a.wav")), kOfxStatOK);  // the tool starts
        std::string status;
        if (announced) {
            EXPECT_EQ((*fx)->setParam("audio_file", fixture.file("b.json")), kOfxStatOK);
            // Renders while the tool would have run its course.
            for (int i = 0; i < 30; ++i) {
                EXPECT_EQ((*fx)->render(0.0, kFrame), kOfxStatOK);
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            status = text(*fx->instance, "audio_status");
            EXPECT_FALSE(std::filesystem::exists(earlier)) << "the tool was ended";
        } else {
            (*fx)->param("audio_file").assign(vhost::ParamValue(fixture.file("b.json")), 0.0, false);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (!std::filesystem::exists(earlier) && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            status = renderUntil(*fx->instance, [](const std::string& s) { return startsWith(s, "Loaded"); });
        }
        EXPECT_EQ(status, "Loaded: 11 channels, 2.0s");
        EXPECT_EQ((*fx)->choiceOptions("audio_stem_1"), (Names{"mix"}));
        fx->close();
        EXPECT_FALSE(contains(fixture.folders.logText(), "Async analysis complete"));
    }
}

TEST(AudioFlows, StemExtractionRunsTheToolWithTheChosenModel) {
    AudioEffectFixture fixture;
    const std::string started = fixture.file("started");
    fixture.installStandIn("for a in \"$@\"; do echo \"$a\" >> '" + started + "'; done\nexit 4");
    auto fx = openWithSource(fixture);
    audio_test::writeWav(fixture.file("song.wav"), std::vector<float>(4410, 0.0f), 44100);
    std::ofstream(fixture.file("song.orbalt_audio")) << stemAnalysis({"mix"});
    (*fx)->setParam("audio_file", fixture.file("song.wav"));
    (*fx)->setParam("stem_model", 1);
    EXPECT_EQ((*fx)->pressButton("extract_stems"), kOfxStatOK);
    EXPECT_EQ(
        renderUntil(*fx->instance, [](const std::string& s) { return s != "Loaded: 11 channels, 2.0s"; }),
        "Analysis failed — check log");
    EXPECT_EQ(audio_test::readAll(started),
              "--input\n" + fixture.file("song.wav") + "\n--stems\n--model\nhtdemucs_ft\n");
}

TEST(AudioFlows, AnAudioFileSetBeforeTheFirstRenderLoadsAutomatically) {
    struct Case {
        const char* what;
        std::function<std::string(AudioEffectFixture&)> prepare;  // the audio_file value
        std::string status;
    };
    const Case cases[] = {
        {"an analysis beside the audio",
         [](AudioEffectFixture& f) {
             audio_test::writeWav(f.file("a.flac"), std::vector<float>(441, 0.0f), 44100);
             std::ofstream(f.file("a.orbalt_audio"), std::ios::binary)
                 << audio::packContainer(stemAnalysis({"mix", "drums"}), 0);
             return f.file("a.flac") + "\r\n";
         },
         "Loaded: 2 stems x 11 channels, 2.0s"},
        {"a JSON analysis",
         [](AudioEffectFixture& f) {
             std::ofstream(f.file("x.json")) << stemAnalysis({"mix"});
             return f.file("x.json");
         },
         "Loaded: 11 channels, 2.0s"},
        {"a missing audio file", [](AudioEffectFixture& f) { return f.file("gone.mp3"); },
         "Audio file not found: "},
        {"an unreadable analysis", [](AudioEffectFixture& f) { return f.file("gone.json"); },
         "Audio analysis unreadable: Failed to load sidecar: could not open sidecar: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AudioEffectFixture fixture;
        fixture.installStandIn("exit 0");
        auto fx = openWithSource(fixture);
        // A value the host restores with the project: no change is announced.
        (*fx)->param("audio_file").assign(vhost::ParamValue(c.prepare(fixture)), 0.0, false);
        EXPECT_EQ((*fx)->render(0.0, kFrame), kOfxStatOK);
        EXPECT_TRUE(startsWith(text(*fx->instance, "audio_status"), c.status))
            << text(*fx->instance, "audio_status");
    }
}

TEST(AudioFlows, EmptiedStemDropdownsAreRefilledAndRefreshRebuildsThem) {
    AudioEffectFixture fixture;
    fixture.installStandIn("exit 0");
    auto fx = openWithSource(fixture);
    // Without an analysis the placeholders come back.
    (*fx)->param("audio_stem_1").props().putString(kOfxParamPropChoiceOption, {});
    EXPECT_EQ((*fx)->render(0.0, kFrame), kOfxStatOK);
    EXPECT_EQ((*fx)->choiceOptions("audio_stem_1").size(), 16u);

    std::ofstream(fixture.file("s.json")) << stemAnalysis({"mix", "drums"});
    (*fx)->setParam("audio_file", fixture.file("s.json"));
    (*fx)->param("audio_stem_2").props().putString(kOfxParamPropChoiceOption, {});
    EXPECT_EQ((*fx)->render(0.0, kFrame), kOfxStatOK);
    EXPECT_EQ((*fx)->choiceOptions("audio_stem_2"), (Names{"mix", "drums"}));

    (*fx)->param("audio_stem_1").props().putString(kOfxParamPropChoiceOption, {"stale"});
    EXPECT_EQ((*fx)->pressButton("refresh_presets"), kOfxStatOK);
    EXPECT_EQ((*fx)->choiceOptions("audio_stem_1"), (Names{"mix", "drums"}));
}

TEST(AudioFlows, MonitorPanelClicksChooseStemsChannelsAndRoutes) {
    AudioEffectFixture fixture;
    fixture.installStandIn("exit 0");
    auto fx = fixture.open();
    (*fx)->connectClip("Source", velmora_test::greyImage(100, 50));
    vhost::Overlay overlay(*fx->instance);
    overlay.draw(0.0);  // the viewer's first draw makes the overlay manager
    // The monitor is hidden: clicks are the host's.
    EXPECT_EQ(overlay.penDown(0.0, {30.0, 30.0}), kOfxStatReplyDefault);

    std::ofstream(fixture.file("s.json")) << stemAnalysis({"mix", "drums", "bass"});
    (*fx)->setParam("audio_file", fixture.file("s.json"));
    (*fx)->setParam("audio_show_monitor", true);
    ASSERT_EQ((*fx)->render(0.0, OfxRectI{0, 0, 100, 50}), kOfxStatOK);
    // The monitor takes the viewer's place: the overlays draw nothing.
    EXPECT_EQ(overlay.draw(0.0), kOfxStatReplyDefault);

    // Channel panel at nx 0.3, ny 0.4 (y measured upward from the bottom): "Bass" on route 1.
    EXPECT_EQ(overlay.penDown(0.0, {30.0, 30.0}), kOfxStatOK);
    EXPECT_EQ(std::get<int>((*fx)->value("audio_source_1")), 5);
    // Route row: the second of two routes becomes the selected one.
    EXPECT_EQ(overlay.penDown(0.0, {70.0, 10.0}), kOfxStatOK);
    // Stem row: the second stem, on route 2, whose source was "None" and becomes "RMS Energy".
    EXPECT_EQ(overlay.penDown(0.0, {30.0, 45.0}), kOfxStatOK);
    EXPECT_EQ(std::get<int>((*fx)->value("audio_stem_2")), 1);
    EXPECT_EQ(std::get<int>((*fx)->value("audio_source_2")), 2);
    EXPECT_EQ(std::get<int>((*fx)->value("audio_stem_1")), 0);
    // With three stems the fourth of six slots is empty, and the side margins hold nothing: both consumed.
    EXPECT_EQ(overlay.penDown(0.0, {55.0, 45.0}), kOfxStatOK);
    EXPECT_EQ(overlay.penDown(0.0, {5.0, 30.0}), kOfxStatOK);
    EXPECT_EQ(std::get<int>((*fx)->value("audio_stem_2")), 1);
}

TEST(AudioFlows, BrowseWithoutAFileDialogSaysWhatIsMissing) {
    if (!platform::findProgram("zenity").empty() || !platform::findProgram("kdialog").empty())
        GTEST_SKIP() << "a file dialog program is installed here";
    AudioEffectFixture fixture;
    fixture.installStandIn("exit 0");
    auto fx = openWithSource(fixture);
    EXPECT_EQ((*fx)->pressButton("browse_audio_file"), kOfxStatOK);
    EXPECT_EQ(text(*fx->instance, "audio_status"), "No file dialog available: install zenity or kdialog");
    EXPECT_EQ(text(*fx->instance, "audio_file"), "");
}

TEST(AudioEffect, BrightnessAndBarPositionShowInThePixels) {
    AudioEffectFixture fixture;
    auto fx = fixture.open();
    auto source = std::make_shared<vhost::Image>(50, 4);
    source->fill(0.25f, 0.125f, 0.5f, 1.0f);
    (*fx)->connectClip("Source", source);
    auto out = std::make_shared<vhost::Image>(50, 4);
    (*fx)->connectClip("Output", out);
    (*fx)->setParam("brightness", 2.0);
    (*fx)->setParam("bar_position", 0.25);
    (*fx)->setParam("bar_width", 0.1);
    ASSERT_EQ((*fx)->render(0.0, OfxRectI{0, 0, 50, 4}), kOfxStatOK);
    for (int x = 0; x < 50; ++x) {
        const float* p = out->pixel(x, 2);
        const bool bar = x >= 10 && x <= 14;  // pixel centres within 0.05 of 0.25
        EXPECT_FLOAT_EQ(p[0], bar ? 1.0f : 0.5f) << x;
        EXPECT_FLOAT_EQ(p[2], bar ? 1.0f : 1.0f) << x;
        EXPECT_FLOAT_EQ(p[1], bar ? 1.0f : 0.25f) << x;
    }
}

}  // namespace
