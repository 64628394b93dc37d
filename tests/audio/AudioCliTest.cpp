// velmora-render's audio commands end to end: analyze runs our installed tool, analysis shows
// what a file holds, describe shows the audio test effect's controls, render takes audio_file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "AudioTestSupport.h"
#include "CliRun.h"
#include "audio/AnalysisContainer.h"

using audio_test::TempFolder;
using nlohmann::json;

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A temporary APPDATA, with our tool installed in it when asked.
struct AppData {
    TempFolder folder;
    explicit AppData(bool withTool) {
        if (!withTool) return;
        const std::string tools = folder.path() + "/orbalt/tools";
        std::filesystem::create_directories(tools);
        std::filesystem::copy_file(ORBALT_AUDIO_TOOL, tools + "/orbalt_audio");
    }
    std::string environment() const {
        return "APPDATA='" + folder.path() + "' VELMORA_LOG_DIR='" + folder.path() + "/log'";
    }
};

std::string quoted(const std::string& path) {
    return "'" + path + "'";
}

TEST(AudioCli, AnalyzePreparesAnalysesWithTheInstalledTool) {
    TempFolder work;
    const std::string song = work.file("song one.wav");
    audio_test::writeWav(song, audio_test::clickTrack(2.0, 120.0, 0.25, 44100), 44100);

    AppData without(false);
    CliResult r = runCli("analyze " + quoted(song), without.environment());
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.err, "the audio analysis tool is not installed at " + without.folder.path()))
        << r.err;

    AppData with(true);
    r = runCli("analyze " + quoted(song) + " " + quoted(work.file("missing.wav")), with.environment());
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_TRUE(contains(r.out, "Wrote " + work.file("song one.orbalt_audio") + ": 1 stem, 11 channels, "))
        << r.out;
    EXPECT_TRUE(contains(r.out, "1 of 2 analysed")) << r.out;
    EXPECT_TRUE(contains(r.err, "20/20 steps")) << r.err;
    EXPECT_TRUE(contains(r.err, "cannot read " + work.file("missing.wav"))) << r.err;

    r = runCli("analyze " + quoted(song) + " --incremental", with.environment());
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(runCli("analyze --frobnicate " + quoted(song), with.environment()).code, 2);
}

TEST(AudioCli, AnalyzeSaysWhyTheToolFailed) {
    TempFolder work;
    const std::string song = work.file("song.wav");
    audio_test::writeWav(song, std::vector<float>(4410, 0.0f), 44100);
    AppData appdata(false);
    const std::string tool = appdata.folder.path() + "/orbalt/tools/orbalt_audio";
    std::filesystem::create_directories(appdata.folder.path() + "/orbalt/tools");
    auto install = [&](const std::string& script, std::filesystem::perms mode) {
        std::ofstream(tool) << "#!/bin/sh\n" << script << "\n";
        std::filesystem::permissions(tool, mode);
    };
    using std::filesystem::perms;

    // A tool that cannot be started fails before the command first waits for it: that must end
    // the wait all the same (each run is killed after 30 s).
    install("exit 0", perms::owner_read | perms::owner_write | perms::group_read | perms::others_read);
    for (int run = 0; run < 10; ++run) {
        const CliResult r = runCli("analyze " + quoted(song), appdata.environment(), 30);
        ASSERT_EQ(r.code, 1) << "run " << run << (r.code == -1 ? ": it hung" : "") << "\n" << r.err;
        EXPECT_TRUE(contains(r.err, "the analysis of " + song +
                                        " failed; the tool said:\n  not an executable program: " + tool +
                                        "\n"))
            << r.err;
    }

    // A tool that fails: what it said reaches the user, without its progress lines. Progress
    // written to a file is a line per update, without carriage returns or terminal codes.
    install(
        "echo 'PROGRESS:1/20'\necho 'orbalt_audio: cannot read song.wav: not audio' >&2\nexit 2",
        perms::owner_all | perms::group_read | perms::group_exec | perms::others_read | perms::others_exec);
    const CliResult r = runCli("analyze " + quoted(song), appdata.environment(), 30);
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_TRUE(
        contains(r.err, "the analysis of " + song +
                            " failed; the tool said:\n  orbalt_audio: cannot read song.wav: not audio\n"))
        << r.err;
    EXPECT_FALSE(contains(r.err, "PROGRESS")) << r.err;
    EXPECT_TRUE(contains(r.err, "\n1/20 steps  ")) << r.err;
    EXPECT_EQ(r.err.find_first_of("\r\x1b"), std::string::npos) << r.err;
}

TEST(AudioCli, AnalysisPrintsWhatAFileHolds) {
    TempFolder work;
    const std::string text =
        "{\"format\": \"orbalt_audio_analysis\", \"metadata\": {\"source_file\": \"s.wav\"},"
        " \"timing\": {\"analysis_rate\": 2}, \"channel_order\": [\"rms_energy\", \"bass\"],"
        " \"stems\": [\"mix\", \"drums\"], \"frames\": {\"mix\": [[0, 1], [1, 0], [0.5, 0.5]], \"drums\": "
        "[[1, 1]]},"
        " \"beat_times\": [0.25, 0.75]}";
    const std::string file = work.write("s.orbalt_audio", audio::packContainer(text, 1));
    AppData appdata(false);
    CliResult r = runCli("analysis " + quoted(file) + " --at 0.25", appdata.environment());
    ASSERT_EQ(r.code, 0) << r.err;
    const json report = json::parse(r.out);
    EXPECT_EQ(report["source_file"], "s.wav");
    EXPECT_EQ(report["analysis_rate"], 2.0);
    EXPECT_EQ(report["duration_seconds"], 1.5);
    EXPECT_EQ(report["total_frames"], 3);
    EXPECT_EQ(report["channels"], json({"rms_energy", "bass"}));
    EXPECT_EQ(report["stems"], json({"mix", "drums"}));
    EXPECT_EQ(report["mix"], "mix");
    EXPECT_EQ(report["frames"]["drums"], 1);
    EXPECT_EQ(report["beat_times"], json({0.25, 0.75}));
    EXPECT_EQ(report["beats_before"], 1);
    EXPECT_FLOAT_EQ(report["values"]["rms_energy"].get<float>(), 0.5f);  // halfway between frames 0 and 1
    EXPECT_FLOAT_EQ(report["values"]["bass"].get<float>(), 0.5f);

    std::string damaged = audio::packContainer(text, 1);
    damaged[40] = static_cast<char>(damaged[40] ^ 0x10);
    r = runCli("analysis " + quoted(work.write("bad.orbalt_audio", damaged)), appdata.environment());
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(
        contains(r.err, "Audio analysis unreadable: sidecar CRC32 mismatch (file corrupted or tampered)"))
        << r.err;
    // A file name that is not UTF-8 (Latin-1) is shown with the odd byte replaced.
    const std::string latin1 = work.write("caf\xe9.orbalt_audio", audio::packContainer(text, 1));
    r = runCli("analysis " + quoted(latin1), appdata.environment());
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(json::parse(r.out)["file"], work.file("caf\xef\xbf\xbd.orbalt_audio"));

    for (const std::string& bad :
         {std::string("analysis"), "analysis " + quoted(file) + " --at -1",
          "analysis " + quoted(file) + " --at 2x", "analysis " + quoted(file) + " extra"})
        EXPECT_EQ(runCli(bad, appdata.environment()).code, 2) << bad;
}

TEST(AudioCli, DescribeShowsTheAudioControlsOfTheTestEffect) {
    for (bool installed : {true, false}) {
        AppData appdata(installed);
        CliResult r = runCli(std::string("describe '") + AUDIO_PULSE_BUNDLE + "'", appdata.environment());
        ASSERT_EQ(r.code, 0) << r.err;
        std::map<std::string, json> params;
        const json described = json::parse(r.out);
        for (const json& param : described["parameters"]) params[param["name"].get<std::string>()] = param;
        EXPECT_EQ(params.count("audio_file"), installed ? 1u : 0u);
        EXPECT_EQ(params.count("audio_source_2"), installed ? 1u : 0u);
        EXPECT_EQ(params.count("download_audio_tool"), installed ? 0u : 1u);
        ASSERT_EQ(params.count("audio_status"), 1u);
        EXPECT_EQ(params["audio_status"]["default"],
                  installed ? "" : "Orbalt Audio required (free) — restart Resolve after installing");
    }
}

TEST(AudioCli, RenderTakesAnAudioFile) {
    TempFolder work;
    AppData appdata(true);
    const std::string analysis = work.write(
        "a.json", "{\"format\": \"orbalt_audio_analysis\", \"frames\": [[0.5], [0.25]], \"beat_times\": []}");
    CliResult r =
        runCli("demo --out " + quoted(work.file("demo")) + " --size 64x32 --bundle '" + VELMORA_BUNDLE + "'",
               appdata.environment());
    ASSERT_EQ(r.code, 0) << r.err;
    r = runCli("render --bundle '" + std::string(AUDIO_PULSE_BUNDLE) + "' --backend cpu --plate " +
                   quoted(work.file("demo/plate.png")) + " --out " + quoted(work.file("out.png")) +
                   " --set audio_file=" + quoted(analysis) + " --set bar_width=0 --set brightness=1",
               appdata.environment());
    ASSERT_EQ(r.code, 0) << r.err;
    r = runCli("compare " + quoted(work.file("out.png")) + " " + quoted(work.file("demo/plate.png")));
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    const std::string log = audio_test::readAll(appdata.folder.path() + "/log/velmora_plugin_log.txt");
    EXPECT_TRUE(contains(log, "AudioDataCache: Loaded ''")) << "the analysis was loaded";
}

}  // namespace
