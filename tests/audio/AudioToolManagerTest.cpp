#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

#include "../presets/LogCapture.h"
#include "AudioTestSupport.h"
#include "audio/AudioToolManager.h"

namespace {

using audio_test::TempFolder;

// A stand-in tool: a shell script with the given body.
std::string writeTool(const TempFolder& folder, const std::string& body) {
    const std::string path = folder.write("tool.sh", "#!/bin/sh\n" + body + "\n");
    chmod(path.c_str(), 0755);
    return path;
}

// Collects what the callbacks report and waits for completion.
struct JobRecord {
    std::mutex mutex;
    std::condition_variable done;
    std::vector<std::pair<int, int>> progress;
    int completions = 0;
    bool success = false;

    AudioToolManager::ProgressCallback onProgress() {
        return [this](int current, int total) {
            std::lock_guard<std::mutex> lock(mutex);
            progress.emplace_back(current, total);
        };
    }
    AudioToolManager::CompletionCallback onComplete() {
        return [this](bool ok) {
            std::lock_guard<std::mutex> lock(mutex);
            ++completions;
            success = ok;
            done.notify_all();
        };
    }
    void wait() {
        std::unique_lock<std::mutex> lock(mutex);
        done.wait(lock, [this] { return completions > 0; });
    }
};

TEST(AudioToolManager, ProgressLines) {
    struct Case {
        const char* line;
        bool matches;
        int current, total;
    };
    const Case cases[] = {
        {"PROGRESS:3/10", true, 3, 10},
        {"PROGRESS: 3/ 10 frames", true, 3, 10},
        {"PROGRESS:-1/+5", true, -1, 5},
        {"step PROGRESS:3/10", false, 0, 0},
        {"progress:3/10", false, 0, 0},
        {"PROGRESS:3", false, 0, 0},
        {"PROGRESS:3/", false, 0, 0},
        {"PROGRESS:/10", false, 0, 0},
        {"PROGRESS:99999999999/10", false, 0, 0},
    };
    for (const Case& c : cases) {
        int current = 0, total = 0;
        EXPECT_EQ(AudioToolManager::parseProgressLine(c.line, current, total), c.matches) << c.line;
        if (c.matches) {
            EXPECT_EQ(current, c.current) << c.line;
            EXPECT_EQ(total, c.total) << c.line;
        }
    }
    EXPECT_EQ(AudioToolManager::commandLine("/t/orbalt_audio", "/a b/song.wav", {}),
              "\"/t/orbalt_audio\" --input \"/a b/song.wav\"");
    EXPECT_EQ(
        AudioToolManager::commandLine("/t/orbalt_audio", "s.wav", {"--stems", "--model", "htdemucs_6s"}),
        "\"/t/orbalt_audio\" --input \"s.wav\" --stems --model htdemucs_6s");
}

TEST(AudioToolManager, RunsTheToolWithAnArgumentVectorAndReportsProgress) {
    LogCapture log;
    TempFolder folder;
    const std::string arguments = folder.file("arguments.txt");
    // Each argument on a line of its own: the input path with blanks and quotes arrives whole.
    const std::string tool =
        writeTool(folder, "for a in \"$@\"; do echo \"$a\" >> '" + arguments +
                              "'; done\nprintf 'starting\\r\\nPROGRESS:1/3\\r\\n'\n"
                              "echo 'PROGRESS:2/3'; echo 'not PROGRESS:9/9'; printf 'PROGRESS:3/3'");
    AudioToolManager manager(tool);
    JobRecord record;
    const std::string input = folder.file("my \"song\" $HOME.wav");
    ASSERT_TRUE(manager.launch(input, {"--analyze-stems", "--incremental"}, record.onProgress(),
                               record.onComplete()));
    record.wait();
    manager.cancel();  // joins the finished worker
    EXPECT_TRUE(record.success);
    EXPECT_EQ(record.completions, 1);
    EXPECT_EQ(record.progress, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
    EXPECT_EQ(audio_test::readAll(arguments), "--input\n" + input + "\n--analyze-stems\n--incremental\n");
    EXPECT_FALSE(manager.running());
    EXPECT_TRUE(log.contains("AudioToolManager: launching: \"" + tool + "\" --input \"" + input +
                             "\" --analyze-stems --incremental"));
    EXPECT_TRUE(log.contains("AudioToolManager: complete"));
}

TEST(AudioToolManager, NonZeroExitIsAFailureWithTheOutputLogged) {
    LogCapture log;
    TempFolder folder;
    AudioToolManager manager(writeTool(folder, "echo 'PROGRESS:1/4'; echo 'no model here' >&2; exit 2"));
    JobRecord record;
    ASSERT_TRUE(manager.launch("song.wav", {}, record.onProgress(), record.onComplete()));
    record.wait();
    manager.cancel();
    EXPECT_FALSE(record.success);
    EXPECT_TRUE(log.contains("AudioToolManager: failed (exit 2): PROGRESS:1/4\nno model here\n"));
}

TEST(AudioToolManager, MissingToolCompletesAtOnceAsAFailure) {
    LogCapture log;
    TempFolder folder;
    AudioToolManager manager(folder.file("orbalt_audio"));
    JobRecord record;
    ASSERT_TRUE(manager.launch("song.wav", {}, record.onProgress(), record.onComplete()));
    EXPECT_EQ(record.completions, 1);  // already, on this thread
    EXPECT_FALSE(record.success);
    EXPECT_FALSE(manager.running());
    EXPECT_TRUE(log.contains("AudioToolManager: orbalt_audio not installed"));

    // A readable file that cannot be run fails on the worker.
    const std::string notAProgram = folder.write("orbalt_audio", "plain text");
    AudioToolManager second(notAProgram);
    JobRecord again;
    ASSERT_TRUE(second.launch("song.wav", {}, again.onProgress(), again.onComplete()));
    again.wait();
    second.cancel();
    EXPECT_FALSE(again.success);
}

TEST(AudioToolManager, CancelEndsASilentToolAndASecondJobWaitsItsTurn) {
    LogCapture log;
    TempFolder folder;
    AudioToolManager manager(writeTool(folder, "exec sleep 600"));
    JobRecord record;
    ASSERT_TRUE(manager.launch("song.wav", {}, record.onProgress(), record.onComplete()));
    EXPECT_TRUE(manager.running());
    JobRecord refused;
    EXPECT_FALSE(manager.launch("other.wav", {}, refused.onProgress(), refused.onComplete()));
    EXPECT_EQ(refused.completions, 0);
    manager.cancel();
    EXPECT_EQ(record.completions, 1);
    EXPECT_FALSE(record.success);
    EXPECT_FALSE(manager.running());
    EXPECT_TRUE(log.contains("AudioToolManager: cancelled"));
}

TEST(AudioToolManager, EndlessOutputWithoutLineEndsKeepsMemoryBounded) {
    LogCapture log;
    TempFolder folder;
    // About 1 MB of garbage bytes with no line end, then a failure.
    AudioToolManager manager(writeTool(folder, "head -c 1000000 /dev/urandom | tr -d '\\n'; exit 3"));
    JobRecord record;
    ASSERT_TRUE(manager.launch("song.wav", {}, record.onProgress(), record.onComplete()));
    record.wait();
    manager.cancel();
    EXPECT_FALSE(record.success);
    const std::string text = log.text();
    EXPECT_NE(text.find("AudioToolManager: failed (exit 3)"), std::string::npos);
    EXPECT_NE(text.find("[further output not kept]"), std::string::npos);
    EXPECT_LT(text.size(), 200u * 1024u);
}

}  // namespace
