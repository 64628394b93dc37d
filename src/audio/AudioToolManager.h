#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Runs the audio analysis tool on a worker thread: the tool's output arrives on one pipe, its
// "PROGRESS:<done>/<total>" lines are reported as they come, and its exit code decides success.
// At most one job runs at a time; cancel() (and destruction) ends a running tool and waits for it.
class AudioToolManager {
  public:
    using ProgressCallback = std::function<void(int current, int total)>;
    using CompletionCallback = std::function<void(bool success)>;

    // toolPath: the program to run; empty: the installed tool (see audioToolPath()).
    explicit AudioToolManager(std::string toolPath = std::string());
    ~AudioToolManager();
    AudioToolManager(const AudioToolManager&) = delete;
    AudioToolManager& operator=(const AudioToolManager&) = delete;

    // Starts the tool with --input <inputPath> and the arguments. The callbacks run on the worker
    // thread, except onComplete(false) for a tool that is not installed, which runs at once.
    // False, with nothing started and no callback, while a job runs; callers on several threads
    // at once start one job at most.
    bool launch(const std::string& inputPath, const std::vector<std::string>& arguments,
                ProgressCallback onProgress, CompletionCallback onComplete);
    // Stops a running job (the tool is ended) and waits for the worker.
    void cancel();
    bool running() const { return running_.load(); }
    // What the last job's tool printed (at most 64 KiB), or why it could not be started; complete
    // once its onComplete has been called.
    std::string output() const;

    // The command line as the log shows it: quoted tool path, --input, quoted input, arguments.
    static std::string commandLine(const std::string& toolPath, const std::string& inputPath,
                                   const std::vector<std::string>& arguments);
    // Reads "PROGRESS:<current>/<total>" at the start of a line.
    static bool parseProgressLine(const std::string& line, int& current, int& total);

  private:
    void job(std::vector<std::string> argv, ProgressCallback onProgress, CompletionCallback onComplete);
    void joinWorker();
    void keepOutput(std::string text);

    std::string toolPath_;
    std::atomic<bool> running_{false};
    std::atomic<bool> cancel_{false};
    std::mutex workerMutex_;  // the worker thread, and the check-and-start of a job
    std::thread worker_;
    mutable std::mutex outputMutex_;
    std::string output_;
};

namespace audio {

// Where the analysis tool is installed: <per-user root>/orbalt/tools/orbalt_audio(.exe).
std::string audioToolPath();
// The tool counts as installed when that file can be opened for reading.
bool audioToolInstalled();

}  // namespace audio
