// The analysis tool, run the way the plug-in runs it, on generated audio.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <vector>

#include "../presets/LogCapture.h"
#include "AudioTestSupport.h"
#include "audio/AudioDataCache.h"
#include "audio/AudioToolManager.h"
#include "platform/ChildProcess.h"

namespace {

using audio_test::TempFolder;

constexpr int kRate = 44100;

struct ToolRun {
    bool success = false;
    std::vector<std::pair<int, int>> progress;
};

ToolRun runTool(const std::string& input, const std::vector<std::string>& arguments) {
    AudioToolManager manager(ORBALT_AUDIO_TOOL);
    ToolRun run;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    manager.launch(
        input, arguments,
        [&](int current, int total) {
            std::lock_guard<std::mutex> lock(mutex);
            run.progress.emplace_back(current, total);
        },
        [&](bool ok) {
            std::lock_guard<std::mutex> lock(mutex);
            run.success = ok;
            done = true;
            finished.notify_all();
        });
    std::unique_lock<std::mutex> lock(mutex);
    finished.wait(lock, [&] { return done; });
    return run;
}

// The largest value of a channel in the frames within one frame of a time.
float peakNear(const AudioDataCache& cache, int stem, double time, int channel) {
    const int centre = static_cast<int>(time * cache.analysisRate());
    float peak = 0.0f;
    for (int f = centre - 1; f <= centre + 1; ++f) peak = std::max(peak, cache.frameValue(stem, f, channel));
    return peak;
}

// Exit code and output of the tool run directly.
int runDirect(const std::vector<std::string>& arguments, std::string* output) {
    platform::ChildProcess child;
    std::vector<std::string> argv = {ORBALT_AUDIO_TOOL};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    if (!child.start(argv)) return -1;
    std::string line;
    while (child.readLine(line)) *output += line + "\n";
    return child.wait();
}

TEST(AnalysisTool, FindsTheBeatsOfAClickTrackWithinOneFrame) {
    LogCapture log;
    TempFolder folder;
    std::vector<double> clicks;
    const std::string audio = folder.file("click track.wav");
    audio_test::writeWav(audio, audio_test::clickTrack(12.0, 120.0, 0.25, kRate, &clicks), kRate);

    const ToolRun run = runTool(audio, {});
    ASSERT_TRUE(run.success) << log.text();
    ASSERT_FALSE(run.progress.empty());
    EXPECT_EQ(run.progress.front(), std::make_pair(0, 20));
    EXPECT_EQ(run.progress.back(), std::make_pair(20, 20));

    AudioDataCache cache;
    ASSERT_TRUE(cache.load(folder.file("click track.orbalt_audio"))) << cache.lastError();
    EXPECT_EQ(cache.channelCount(), 11);
    EXPECT_EQ(cache.stemNames(), std::vector<std::string>{"mix"});
    EXPECT_NEAR(cache.analysisRate(), 86.0, 0.1);
    EXPECT_NEAR(cache.duration(), 12.0, 0.02);
    EXPECT_EQ(cache.sourceFile(), audio);

    const double frame = 1.0 / cache.analysisRate();
    int matched = 0;
    for (double beat : cache.beatTimes()) {
        double nearest = 1e9;
        for (double click : clicks) nearest = std::min(nearest, std::fabs(beat - click));
        EXPECT_LE(nearest, frame) << "beat at " << beat << " s";
        if (nearest <= frame) ++matched;
    }
    // The tracker needs a few beats to lock on; after that it finds every click.
    EXPECT_GE(matched, static_cast<int>(clicks.size()) - 6) << cache.beatTimes().size() << " beats";

    // Energy and onsets peak on the clicks, not between them.
    const int rms = cache.channelIndex("rms_energy");
    const int onset = cache.channelIndex("onset_strength");
    for (double click : {4.25, 8.25}) {
        EXPECT_GT(peakNear(cache, 0, click, rms), 4.0f * peakNear(cache, 0, click + 0.25, rms)) << click;
        EXPECT_GT(peakNear(cache, 0, click, onset), 0.3f) << click;
        EXPECT_LT(peakNear(cache, 0, click + 0.25, onset), 0.1f) << click;
    }
    for (int channel = 0; channel < cache.channelCount(); ++channel) {
        for (int f = 0; f < cache.frameCount(0); f += 7) {
            const float value = cache.frameValue(0, f, channel);
            ASSERT_TRUE(value >= 0.0f && value <= 1.0f) << channel << " " << f << " " << value;
        }
    }
}

TEST(AnalysisTool, AnalysesStemFilesBesideTheAudio) {
    TempFolder folder;
    const std::string audio = folder.file("song.wav");
    audio_test::writeWav(audio, audio_test::clickTrack(2.0, 120.0, 0.25, kRate), kRate);
    audio_test::writeWav(folder.file("song_drums.wav"), audio_test::clickTrack(2.0, 240.0, 0.25, kRate),
                         kRate);
    audio_test::writeWav(folder.file("song_vocals.flac.wav"), std::vector<float>(kRate, 0.0f),
                         kRate);  // not a stem name
    audio_test::writeWav(folder.file("song_bass.wav"), std::vector<float>(kRate, 0.1f), kRate);

    ASSERT_TRUE(runTool(audio, {"--analyze-stems", "--incremental"}).success);
    AudioDataCache cache;
    ASSERT_TRUE(cache.load(folder.file("song.orbalt_audio"))) << cache.lastError();
    EXPECT_EQ(cache.stemNames(), (std::vector<std::string>{"mix", "drums", "bass"}));
    EXPECT_EQ(cache.mixIndex(), 0);
    EXPECT_NEAR(cache.frameCount(2), 86, 1);
    // The drums' clicks come twice as often as the mix's: at 0.5 s only the drums have one.
    const int rms = cache.channelIndex("rms_energy");
    EXPECT_GT(peakNear(cache, 1, 0.5, rms), 4.0f * peakNear(cache, 0, 0.5, rms));

    // Incremental: an analysis newer than its inputs is kept as it is.
    std::string output;
    const std::string before = audio_test::readAll(folder.file("song.orbalt_audio"));
    EXPECT_EQ(runDirect({"--input", audio, "--analyze-stems", "--incremental"}, &output), 0);
    EXPECT_NE(output.find("analysis is up to date"), std::string::npos) << output;
    EXPECT_EQ(audio_test::readAll(folder.file("song.orbalt_audio")), before);

    // A stem file added since, older than the analysis (moved in from elsewhere), is analysed.
    const std::string vocals = folder.file("song_vocals.wav");
    audio_test::writeWav(vocals, std::vector<float>(kRate, 0.2f), kRate);
    std::filesystem::last_write_time(vocals, std::filesystem::last_write_time(audio));
    output.clear();
    EXPECT_EQ(runDirect({"--input", audio, "--analyze-stems", "--incremental"}, &output), 0) << output;
    ASSERT_TRUE(cache.load(folder.file("song.orbalt_audio"))) << cache.lastError();
    EXPECT_EQ(cache.stemNames(), (std::vector<std::string>{"mix", "drums", "bass", "vocals"}));
}

TEST(AnalysisTool, OddNamesAndFoldersWithDots) {
    TempFolder folder;
    std::filesystem::create_directories(folder.file("my.dir"));
    // A file name without an extension in a folder with a dot: its stems are named after the file.
    const std::string track = folder.file("my.dir/track");
    audio_test::writeWav(track, audio_test::clickTrack(1.0, 120.0, 0.25, kRate), kRate);
    audio_test::writeWav(folder.file("my.dir/track_drums.wav"), std::vector<float>(kRate, 0.1f), kRate);
    std::string output;
    EXPECT_EQ(runDirect({"--input", track, "--analyze-stems"}, &output), 0) << output;
    AudioDataCache cache;
    ASSERT_TRUE(cache.load(folder.file("my.dir/track.orbalt_audio"))) << cache.lastError();
    EXPECT_EQ(cache.stemNames(), (std::vector<std::string>{"mix", "drums"}));

    // A file name that is not UTF-8 (a Latin-1 "o" with a stroke) is written, with that byte replaced.
    const std::string latin1 = folder.file("s\xf8ng.wav");
    audio_test::writeWav(latin1, audio_test::clickTrack(1.0, 120.0, 0.25, kRate), kRate);
    output.clear();
    EXPECT_EQ(runDirect({"--input", latin1}, &output), 0) << output;
    ASSERT_TRUE(cache.load(folder.file("s\xf8ng.orbalt_audio"))) << cache.lastError();
    EXPECT_EQ(cache.sourceFile(), folder.file("s\xef\xbf\xbdng.wav"));
}

TEST(AnalysisTool, FailuresHaveTheirOwnExitCodesAndWriteNothing) {
    TempFolder folder;
    const std::string garbage = folder.write("noise.wav", "this is not a RIFF file at all");
    const std::string empty = folder.file("empty.wav");
    audio_test::writeWav(empty, {}, kRate);
    struct Case {
        std::vector<std::string> arguments;
        int code;
        const char* message;
        std::string unwritten;
    };
    const Case cases[] = {
        {{"--input", garbage}, 2, "cannot read", folder.file("noise.orbalt_audio")},
        {{"--input", empty}, 2, "holds no audio samples", folder.file("empty.orbalt_audio")},
        {{"--input", folder.file("song.wav"), "--stems", "--model", "htdemucs_6s"},
         4,
         "needs a separation model",
         folder.file("song.orbalt_audio")},
        {{"--input"}, 1, "usage:", ""},
        {{"--frobnicate"}, 1, "unknown or incomplete option", ""},
    };
    for (const Case& c : cases) {
        std::string output;
        EXPECT_EQ(runDirect(c.arguments, &output), c.code) << output;
        EXPECT_NE(output.find(c.message), std::string::npos) << output;
        if (!c.unwritten.empty()) {
            EXPECT_FALSE(std::ifstream(c.unwritten).good()) << c.unwritten;
        }
    }
}

}  // namespace
