// velmora-render render over a sequence with an audio analysis: the audio test effect's routes
// drive its brightness and its bar frame by frame, so that a shot pulses to the music; and a
// render whose analysis does not load stops instead of writing unmodulated frames.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "AudioTestSupport.h"
#include "CliRun.h"
#include "ImageFiles.h"

using audio_test::TempFolder;

namespace {

// 24 analysis frames per second, 48 frames: RMS energy frame / 48, beats at 0.5 and 1 s.
std::string rampAnalysis() {
    std::string frames;
    for (int f = 0; f < 48; ++f) {
        frames += (f ? ",[0," : "[0,") + std::to_string(f / 48.0);
        for (int c = 2; c < 11; ++c) frames += ",0";
        frames += "]";
    }
    return R"({"format":"orbalt_audio_analysis","timing":{"analysis_rate":24},"frames":[)" + frames +
           R"(],"beat_times":[0.5,1.0]})";
}

class AudioRenderCli : public ::testing::Test {
  protected:
    AudioRenderCli() {
        // The audio controls exist where the analysis tool is installed.
        const std::string tools = work.path() + "/appdata/orbalt/tools";
        std::filesystem::create_directories(tools);
        std::filesystem::copy_file(ORBALT_AUDIO_TOOL, tools + "/orbalt_audio");
        environment = "APPDATA='" + work.path() + "/appdata' VELMORA_LOG_DIR='" + work.path() + "/log'";
        analysis = work.write("song.json", rampAnalysis());
        plate = work.file("plate.exr");
        auto image = std::make_shared<vhost::Image>(64, 36);
        image->fill(0.2f, 0.3f, 0.4f, 1.0f);
        imagefiles::writeImage(plate, *image);
    }

    CliResult render(const std::string& args) {
        return runCli(
            "render --bundle '" AUDIO_PULSE_BUNDLE "' --backend cpu --plate '" + plate + "' " + args,
            environment, 120);
    }

    float red(const std::string& name, int x) {
        return imagefiles::readImage(work.file(name))->pixel(x, 18)[0];
    }

    TempFolder work;
    std::string environment, analysis, plate;
};

TEST_F(AudioRenderCli, RoutesDriveTheEffectFrameByFrame) {
    const CliResult r =
        render("--frames 6-24 --out '" + work.file("pulse.%02d.exr") + "' --set audio_file='" + analysis +
               "' --set 'audio_source_1=RMS Energy' --set audio_target_1=brightness "
               "--set audio_operator_1=Replace --set audio_amplitude_1=4 "
               "--set audio_source_2=Pulse --set audio_target_2=bar_position "
               "--set audio_operator_2=Replace --set audio_offset_2=0.2 --set audio_amplitude_2=0.8");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Rendered 19 frames"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Audio: Loaded: 11 channels, 2.0s"), std::string::npos) << r.out;
    // Brightness is 4 x the energy: frame 12 (0.5 s, RMS 0.25) leaves the plate as it is, frame 24
    // doubles it, frame 6 halves it.
    EXPECT_NEAR(red("pulse.12.exr", 2), 0.2f, 1e-5f);
    EXPECT_NEAR(red("pulse.24.exr", 2), 0.4f, 1e-5f);
    EXPECT_NEAR(red("pulse.06.exr", 2), 0.1f, 1e-5f);
    // On the beat at frame 12 the bar stands at 0.8 of the width; a frame earlier at 0.2.
    EXPECT_EQ(red("pulse.12.exr", 51), 1.0f);
    EXPECT_LT(red("pulse.11.exr", 51), 1.0f);
    EXPECT_EQ(red("pulse.11.exr", 12), 1.0f);
}

TEST_F(AudioRenderCli, AnAnalysisThatDoesNotLoadStopsTheRender) {
    const std::string bad = work.write("bad.json", "{\"format\": \"orbalt_audio_analysis\"}");
    const CliResult r =
        render("--frames 1-3 --out '" + work.file("o.%d.png") + "' --set audio_file='" + bad + "'");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(
        r.err.find("the audio analysis is not loaded: Audio analysis unreadable: No frame data in JSON"),
        std::string::npos)
        << r.err;
    EXPECT_FALSE(std::filesystem::exists(work.file("o.1.png")));
}

// The plug-in analyses an audio file in the background, which one render does not wait for: the
// render says how to prepare the analysis.
TEST_F(AudioRenderCli, AnAudioFileWithoutItsAnalysisSaysHowToMakeIt) {
    const std::string song = work.file("song2.wav");
    audio_test::writeWav(song, std::vector<float>(4410, 0.0f), 44100);
    const CliResult r = render("--out '" + work.file("o.png") + "' --set audio_file='" + song + "'");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(
        r.err.find("the audio analysis is not loaded: no analysis beside " + song + " (" +
                   work.file("song2.orbalt_audio") + "): run velmora-render analyze " + song + " first"),
        std::string::npos)
        << r.err;
    EXPECT_FALSE(std::filesystem::exists(work.file("o.png")));
}

// Without the analysis tool the effect has only its minimal audio controls: a render that sets
// one of the others says why it is missing.
TEST_F(AudioRenderCli, WithoutTheAnalysisToolTheMissingAudioControlsAreExplained) {
    const std::string tool = work.path() + "/appdata/orbalt/tools/orbalt_audio";
    std::filesystem::remove(tool);
    for (const std::string& setting :
         std::vector<std::string>{"audio_file=" + analysis, "Audio File=" + analysis, "audio_source_1=2"}) {
        const CliResult r = render("--out '" + work.file("o.png") + "' --set '" + setting + "'");
        EXPECT_EQ(r.code, 1) << setting;
        EXPECT_NE(
            r.err.find(": the audio controls exist only where the audio analysis tool is installed, and it "
                       "is not installed at " +
                       tool + " (make install-audio-tool, or orbalt_audio --install, installs it)"),
            std::string::npos)
            << r.err;
    }
    // Any other unknown name is still unknown.
    const CliResult r = render("--out '" + work.file("o.png") + "' --set brightnes=1");
    EXPECT_NE(r.err.find("--set brightnes: no parameter has that script name or label"), std::string::npos)
        << r.err;
}

}  // namespace
