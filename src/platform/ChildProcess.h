#pragma once

#include <string>
#include <vector>

namespace platform {

// Looks a program name up in PATH (or checks a path that contains a separator);
// returns the full path of an executable file, or "" when there is none.
std::string findProgram(const std::string& name);

// One child process started from an argument vector, never through a shell. Its standard
// input is empty; standard output and standard error arrive together on one pipe that the
// parent reads. A child still running when the object is destroyed is terminated and reaped.
class ChildProcess {
  public:
    enum class ReadStatus { Data, Timeout, End };

    ChildProcess();
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // argv[0] is a path, or a name looked up in PATH. `captureOutput` false sends the child's
    // output to the null device instead of the pipe.
    bool start(const std::vector<std::string>& argv, std::string* error = nullptr, bool captureOutput = true);

    // Reads at most maxBytes of output into `chunk` (replacing it). timeoutMs < 0 waits for ever.
    ReadStatus read(std::string& chunk, std::size_t maxBytes, int timeoutMs = -1);

    // The next output line without its line feed (and a carriage return before it); a last
    // line without a line feed is returned too. False once the output has ended.
    bool readLine(std::string& line);

    // Waits for the child to end and returns its exit code; a child ended by a signal gives
    // 128 + the signal number. -1 when there is no child or its status cannot be had.
    int wait();

    // Waits at most timeoutMs; true with *exitCode set when the child has ended.
    bool waitFor(int timeoutMs, int* exitCode = nullptr);

    // Ends the child at once (it cannot refuse) without waiting for it.
    void terminate();

    bool started() const;
    bool hasExited() const { return exited_; }
    int exitCode() const { return exitCode_; }

  private:
    void closeOutput();
    bool collect(bool block);

    struct Handles;
    Handles* handles_;
    std::string pending_;  // output read beyond the last line handed out
    bool outputEnded_ = false;
    bool exited_ = false;
    int exitCode_ = -1;
};

}  // namespace platform
