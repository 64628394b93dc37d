#include "platform/ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/FileSystem.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace platform {

#if defined(_WIN32)

struct ChildProcess::Handles {
    HANDLE process = nullptr;
    HANDLE output = nullptr;
};

namespace {

// Quotes one argument so that the child's command-line parser gives it back unchanged.
std::string quoteArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) return argument;
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
        } else if (c == '"') {
            quoted.append(backslashes * 2 + 1, '\\');
            quoted += '"';
            backslashes = 0;
        } else {
            quoted.append(backslashes, '\\');
            quoted += c;
            backslashes = 0;
        }
    }
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}

}  // namespace

std::string findProgram(const std::string& name) {
    if (name.empty()) return std::string();
    if (name.find_first_of("\\/:") != std::string::npos) return isRegularFile(name) ? name : std::string();
    char buffer[MAX_PATH * 4];
    DWORD length =
        SearchPathA(nullptr, name.c_str(), ".exe", static_cast<DWORD>(sizeof(buffer)), buffer, nullptr);
    if (length == 0 || length >= sizeof(buffer)) return std::string();
    return std::string(buffer, length);
}

ChildProcess::ChildProcess() : handles_(new Handles) {}

ChildProcess::~ChildProcess() {
    if (started() && !exited_) {
        terminate();
        wait();
    }
    closeOutput();
    if (handles_->process) CloseHandle(handles_->process);
    delete handles_;
}

bool ChildProcess::started() const {
    return handles_->process != nullptr;
}

bool ChildProcess::start(const std::vector<std::string>& argv, std::string* error, bool captureOutput) {
    if (started()) {
        if (error) *error = "a process was already started";
        return false;
    }
    if (argv.empty() || argv[0].empty()) {
        if (error) *error = "no program given";
        return false;
    }
    std::string program = findProgram(argv[0]);
    if (program.empty()) {
        if (error) *error = "program not found: " + argv[0];
        return false;
    }
    std::string commandLine;
    for (const std::string& argument : argv) {
        if (!commandLine.empty()) commandLine += ' ';
        commandLine += quoteArgument(argument);
    }

    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (captureOutput) {
        if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0) ||
            !SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0)) {
            if (error) *error = "cannot create pipe (error " + std::to_string(GetLastError()) + ")";
            if (readEnd) CloseHandle(readEnd);
            if (writeEnd) CloseHandle(writeEnd);
            return false;
        }
    } else {
        writeEnd = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    }
    HANDLE nullInput = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING, 0, nullptr);

    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullInput;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION info{};
    std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back('\0');
    BOOL created = CreateProcessA(program.c_str(), mutableLine.data(), nullptr, nullptr, TRUE,
                                  CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info);
    DWORD createError = GetLastError();
    if (writeEnd && writeEnd != INVALID_HANDLE_VALUE) CloseHandle(writeEnd);
    if (nullInput && nullInput != INVALID_HANDLE_VALUE) CloseHandle(nullInput);
    if (!created) {
        if (readEnd) CloseHandle(readEnd);
        if (error) *error = "CreateProcess failed (error " + std::to_string(createError) + ")";
        return false;
    }
    CloseHandle(info.hThread);
    handles_->process = info.hProcess;
    handles_->output = readEnd;
    outputEnded_ = readEnd == nullptr;
    return true;
}

ChildProcess::ReadStatus ChildProcess::read(std::string& chunk, std::size_t maxBytes, int timeoutMs) {
    chunk.clear();
    if (!handles_->output || maxBytes == 0) return ReadStatus::End;
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    while (timeoutMs >= 0) {
        DWORD available = 0;
        if (!PeekNamedPipe(handles_->output, nullptr, 0, nullptr, &available, nullptr)) break;  // ended
        if (available > 0) break;
        if (std::chrono::steady_clock::now() >= deadline) return ReadStatus::Timeout;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    chunk.resize(maxBytes);
    DWORD got = 0;
    if (!ReadFile(handles_->output, &chunk[0], static_cast<DWORD>(maxBytes), &got, nullptr) || got == 0) {
        chunk.clear();
        closeOutput();
        return ReadStatus::End;
    }
    chunk.resize(got);
    return ReadStatus::Data;
}

int ChildProcess::wait() {
    if (exited_) return exitCode_;
    if (!handles_->process) return -1;
    if (WaitForSingleObject(handles_->process, INFINITE) != WAIT_OBJECT_0) return -1;
    collect(false);
    return exitCode_;
}

bool ChildProcess::collect(bool) {
    DWORD code = 0;
    if (!GetExitCodeProcess(handles_->process, &code) || code == STILL_ACTIVE) return false;
    exitCode_ = static_cast<int>(code);
    exited_ = true;
    return true;
}

bool ChildProcess::waitFor(int timeoutMs, int* exitCode) {
    if (!exited_) {
        if (!handles_->process) return false;
        DWORD waited =
            WaitForSingleObject(handles_->process, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
        if (waited != WAIT_OBJECT_0 || !collect(false)) return false;
    }
    if (exitCode) *exitCode = exitCode_;
    return true;
}

void ChildProcess::terminate() {
    if (handles_->process && !exited_) TerminateProcess(handles_->process, 1);
}

void ChildProcess::closeOutput() {
    if (handles_->output) CloseHandle(handles_->output);
    handles_->output = nullptr;
    outputEnded_ = true;
}

#else  // POSIX

struct ChildProcess::Handles {
    pid_t pid = -1;
    int output = -1;
};

namespace {

bool isExecutableFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string findProgram(const std::string& name) {
    if (name.empty()) return std::string();
    if (name.find('/') != std::string::npos) return isExecutableFile(name) ? name : std::string();
    const char* path = std::getenv("PATH");
    if (!path) return std::string();
    std::string folders = path;
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        std::string folder = folders.substr(start, end - start);
        if (!folder.empty()) {
            std::string candidate = folder + "/" + name;
            if (isExecutableFile(candidate)) return candidate;
        }
        start = end + 1;
    }
    return std::string();
}

ChildProcess::ChildProcess() : handles_(new Handles) {}

ChildProcess::~ChildProcess() {
    if (started() && !exited_) {
        terminate();
        wait();
    }
    closeOutput();
    delete handles_;
}

bool ChildProcess::started() const {
    return handles_->pid > 0;
}

bool ChildProcess::start(const std::vector<std::string>& argv, std::string* error, bool captureOutput) {
    auto fail = [error](const std::string& text) {
        if (error) *error = text;
        return false;
    };
    if (started()) return fail("a process was already started");
    if (argv.empty() || argv[0].empty()) return fail("no program given");
    std::string program = findProgram(argv[0]);
    if (program.empty()) {
        const bool exists = argv[0].find('/') != std::string::npos && isRegularFile(argv[0]);
        return fail((exists ? "not an executable program: " : "program not found: ") + argv[0]);
    }

    int pipeEnds[2] = {-1, -1};
    if (captureOutput && pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return fail(std::string("cannot create pipe: ") + std::strerror(errno));
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (captureOutput) {
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // The host's own descriptors without close-on-exec stay out of the child.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif

    // The child starts with default signal handling and nothing blocked, whatever the host set.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t noSignals, allSignals;
    sigemptyset(&noSignals);
    sigfillset(&allSignals);
    posix_spawnattr_setsigmask(&attributes, &noSignals);
    posix_spawnattr_setsigdefault(&attributes, &allSignals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> arguments;
    arguments.reserve(argv.size() + 1);
    for (const std::string& argument : argv) arguments.push_back(const_cast<char*>(argument.c_str()));
    arguments.push_back(nullptr);

    pid_t pid = -1;
    int spawned = posix_spawn(&pid, program.c_str(), &actions, &attributes, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (captureOutput) close(pipeEnds[1]);
    if (spawned != 0) {
        if (captureOutput) close(pipeEnds[0]);
        return fail("cannot start " + program + ": " + std::strerror(spawned));
    }
    handles_->pid = pid;
    handles_->output = captureOutput ? pipeEnds[0] : -1;
    outputEnded_ = !captureOutput;
    return true;
}

ChildProcess::ReadStatus ChildProcess::read(std::string& chunk, std::size_t maxBytes, int timeoutMs) {
    chunk.clear();
    if (handles_->output < 0 || maxBytes == 0) return ReadStatus::End;
    if (timeoutMs >= 0) {
        pollfd waitFor{handles_->output, POLLIN, 0};
        int ready;
        do {
            ready = poll(&waitFor, 1, timeoutMs);
        } while (ready < 0 && errno == EINTR);
        if (ready == 0) return ReadStatus::Timeout;
    }
    chunk.resize(maxBytes);
    ssize_t got;
    do {
        got = ::read(handles_->output, &chunk[0], maxBytes);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) {
        chunk.clear();
        closeOutput();
        return ReadStatus::End;
    }
    chunk.resize(static_cast<std::size_t>(got));
    return ReadStatus::Data;
}

bool ChildProcess::collect(bool block) {
    int status = 0;
    pid_t done;
    do {
        done = waitpid(handles_->pid, &status, block ? 0 : WNOHANG);
    } while (done < 0 && errno == EINTR);
    if (done == 0) return false;
    exited_ = true;
    if (done < 0) {
        exitCode_ = -1;  // reaped elsewhere (SIGCHLD ignored by the host)
    } else if (WIFEXITED(status)) {
        exitCode_ = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        exitCode_ = 128 + WTERMSIG(status);
    } else {
        exitCode_ = -1;
    }
    return true;
}

int ChildProcess::wait() {
    if (exited_) return exitCode_;
    if (!started()) return -1;
    collect(true);
    return exitCode_;
}

bool ChildProcess::waitFor(int timeoutMs, int* exitCode) {
    if (!exited_) {
        if (!started()) return false;
        if (timeoutMs < 0) {
            collect(true);
        } else {
            auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
            while (!collect(false)) {
                if (std::chrono::steady_clock::now() >= deadline) return false;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
    }
    if (exitCode) *exitCode = exitCode_;
    return true;
}

void ChildProcess::terminate() {
    if (started() && !exited_) kill(handles_->pid, SIGKILL);
}

void ChildProcess::closeOutput() {
    if (handles_->output >= 0) close(handles_->output);
    handles_->output = -1;
    outputEnded_ = true;
}

#endif

bool ChildProcess::readLine(std::string& line) {
    for (;;) {
        std::size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return true;
        }
        std::string chunk;
        if (outputEnded_ || read(chunk, 4096) != ReadStatus::Data) {
            if (pending_.empty()) return false;
            line.swap(pending_);
            pending_.clear();
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return true;
        }
        pending_ += chunk;
    }
}

}  // namespace platform
