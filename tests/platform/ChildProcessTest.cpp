#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "TestSupport.h"
#include "platform/ChildProcess.h"
#include "platform/DefaultViewer.h"
#include "platform/FileDialog.h"

using namespace platform;

namespace {

std::vector<std::string> allLines(ChildProcess& child) {
    std::vector<std::string> lines;
    std::string line;
    while (child.readLine(line)) lines.push_back(line);
    return lines;
}

// Waits for a file that a background process writes.
bool waitForFile(const std::string& path) {
    for (int i = 0; i < 500 && !std::filesystem::exists(path); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return std::filesystem::exists(path);
}

}  // namespace

TEST(ChildProcess, PassesArgumentsVerbatimAndCollectsOutputAndExitCode) {
    ChildProcess child;
    std::string error;
    ASSERT_TRUE(child.start({"sh", "-c", "printf '%s\\n' \"$@\"; echo oops >&2; exit 3", "sh", "two words",
                             "quote\"s", "$HOME", "; rm -rf x"},
                            &error))
        << error;
    EXPECT_EQ(allLines(child),
              (std::vector<std::string>{"two words", "quote\"s", "$HOME", "; rm -rf x", "oops"}));
    EXPECT_EQ(child.wait(), 3);
    EXPECT_TRUE(child.hasExited());
    EXPECT_EQ(child.wait(), 3);  // asking again gives the same code
}

TEST(ChildProcess, LinesWithCarriageReturnsAndAnUnterminatedLastLine) {
    ChildProcess child;
    ASSERT_TRUE(child.start({"printf", "PROGRESS:1/2\r\n\nlast"}));
    EXPECT_EQ(allLines(child), (std::vector<std::string>{"PROGRESS:1/2", "", "last"}));
    EXPECT_EQ(child.wait(), 0);
}

TEST(ChildProcess, InputIsEmpty) {
    ChildProcess child;
    ASSERT_TRUE(child.start({"cat"}));
    EXPECT_TRUE(allLines(child).empty());
    EXPECT_EQ(child.wait(), 0);
}

TEST(ChildProcess, SilentChildTimesOutAndCanBeTerminated) {
    ChildProcess child;
    ASSERT_TRUE(child.start({"sleep", "30"}));
    std::string chunk;
    EXPECT_EQ(child.read(chunk, 511, 20), ChildProcess::ReadStatus::Timeout);
    EXPECT_FALSE(child.waitFor(0));
    child.terminate();
    int code = 0;
    EXPECT_TRUE(child.waitFor(5000, &code));
    EXPECT_EQ(code, 128 + 9);
    EXPECT_EQ(child.read(chunk, 511, 1000), ChildProcess::ReadStatus::End);
}

TEST(ChildProcess, StartFailures) {
    std::string error;
    ChildProcess missing;
    EXPECT_FALSE(missing.start({"/nonexistent/tool"}, &error));
    EXPECT_NE(error.find("/nonexistent/tool"), std::string::npos);
    EXPECT_EQ(missing.wait(), -1);

    ChildProcess empty;
    EXPECT_FALSE(empty.start({}, &error));

    TemporaryFolder folder;
    writeText(folder / "not-executable", "#!/bin/sh\n");
    ChildProcess notExecutable;
    EXPECT_FALSE(notExecutable.start({folder / "not-executable"}, &error));

    ChildProcess twice;
    ASSERT_TRUE(twice.start({"true"}));
    EXPECT_FALSE(twice.start({"true"}, &error));
    EXPECT_EQ(twice.wait(), 0);
}

TEST(ChildProcess, DestroyingARunningChildEndsIt) {
    int pid = 0;
    {
        ChildProcess child;
        ASSERT_TRUE(child.start({"sh", "-c", "echo $$; exec sleep 30"}));
        std::string line;
        ASSERT_TRUE(child.readLine(line));
        pid = std::stoi(line);
    }
    EXPECT_NE(kill(pid, 0), 0);  // gone and reaped
}

TEST(FileDialog, ReportsUnavailableWithoutADialogProgram) {
    TemporaryFolder empty;
    ScopedEnvironment path("PATH", empty.path().c_str());
    FileDialogResult result = openFileDialog({"Select Audio File", "Audio Files", {"*.wav"}, ""});
    EXPECT_EQ(result.status, FileDialogResult::Status::Unavailable);
    EXPECT_NE(result.message.find("No file dialog available"), std::string::npos);
}

TEST(FileDialog, UsesZenityWhenInstalled) {
    TemporaryFolder bin;
    writeScript(bin / "zenity", "printf '%s\\n' \"$@\" > \"$(dirname \"$0\")/args\"\necho /media/song.wav\n");
    ScopedEnvironment path("PATH", (bin.path() + ":/usr/bin:/bin").c_str());
    FileDialogResult result =
        openFileDialog({"Select Audio File", "Audio Files (wav, mp3)", {"*.wav", "*.mp3"}, ""});
    EXPECT_EQ(result.status, FileDialogResult::Status::Chosen);
    EXPECT_EQ(result.path, "/media/song.wav");
    EXPECT_EQ(
        readText(bin / "args"),
        "--file-selection\n--title=Select Audio File\n--file-filter=Audio Files (wav, mp3) | *.wav *.mp3\n");

    writeScript(bin / "zenity", "exit 1\n");
    EXPECT_EQ(openFileDialog({"t", "", {}, ""}).status, FileDialogResult::Status::Cancelled);
    writeScript(bin / "zenity", "echo broken display; exit 255\n");
    result = openFileDialog({"t", "", {}, ""});
    EXPECT_EQ(result.status, FileDialogResult::Status::Failed);
    EXPECT_NE(result.message.find("broken display"), std::string::npos);
}

TEST(DefaultViewer, StartsTheViewerWithTheTargetAsOneArgument) {
    TemporaryFolder bin;
    writeScript(bin / "xdg-open",
                "printf '%s|' \"$@\" > \"$(dirname \"$0\")/opened.tmp\"\n"
                "mv \"$(dirname \"$0\")/opened.tmp\" \"$(dirname \"$0\")/opened\"\n");
    ScopedEnvironment path("PATH", (bin.path() + ":/usr/bin:/bin").c_str());
    std::string error;
    ASSERT_TRUE(openInDefaultViewer("https://example.com/docs?a=1&b=2 x", &error)) << error;
    ASSERT_TRUE(waitForFile(bin / "opened"));
    EXPECT_EQ(readText(bin / "opened"), "https://example.com/docs?a=1&b=2 x|");

    EXPECT_FALSE(openInDefaultViewer("", &error));
    EXPECT_FALSE(openInDefaultViewer("--help", &error));
    EXPECT_FALSE(openInDefaultViewer("a\nb", &error));

    TemporaryFolder empty;
    ScopedEnvironment noPath("PATH", empty.path().c_str());
    EXPECT_FALSE(openInDefaultViewer("https://example.com", &error));
    EXPECT_NE(error.find("xdg-open"), std::string::npos);
}
