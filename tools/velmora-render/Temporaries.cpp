#include "Temporaries.h"

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace temporaries {
namespace {

const char kMarker[] = ".tmp-";

long processId() {
#ifdef _WIN32
    return _getpid();
#else
    return static_cast<long>(::getpid());
#endif
}

bool processRunning(long pid) {
    if (pid <= 0) return false;
    if (pid == processId()) return false;  // an earlier process that had this id
#ifdef _WIN32
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
#else
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
#endif
}

// The pending temporary's name, read by the signal handler: only plain memory and a lock-free
// flag, so that the handler may look at it at any moment.
char pendingPath[4096];
std::atomic<bool> pendingSet{false};

extern "C" void onInterrupt(int signal) {
    if (pendingSet.load()) {
#ifdef _WIN32
        _unlink(pendingPath);
#else
        ::unlink(pendingPath);
#endif
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace

std::string temporaryFor(const std::string& path) {
    const std::filesystem::path target(path);
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    const std::string name = target.filename().string();
    return (folder / ("." + name.substr(0, kKeptNameBytes) + kMarker + std::to_string(processId()) +
                      target.extension().string()))
        .string();
}

Pending::Pending(const std::string& path) {
    if (path.size() >= sizeof(pendingPath)) return;  // longer than any path the system opens
    pendingSet.store(false);
    std::memcpy(pendingPath, path.c_str(), path.size() + 1);
    pendingSet.store(true);
}

Pending::~Pending() {
    pendingSet.store(false);
}

void removeOnInterrupt() {
    static_assert(std::atomic<bool>::is_always_lock_free, "the handler reads the flag");
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
}

std::vector<std::string> removeStale(const std::string& folder,
                                     const std::function<bool(const std::string& name)>& isOutput) {
    namespace fs = std::filesystem;
    std::vector<std::string> removed;
    std::error_code ec;
    for (fs::directory_iterator it(folder.empty() ? std::string(".") : folder, ec), last; !ec && it != last;
         it.increment(ec)) {
        // .<share>.tmp-<pid><extension>
        const std::string entry = it->path().filename().string();
        if (entry.size() < 2 || entry[0] != '.') continue;
        const std::size_t marker = entry.rfind(kMarker);
        if (marker == std::string::npos || marker < 2) continue;
        const std::size_t digits = marker + sizeof(kMarker) - 1;
        std::size_t end = digits;
        while (end < entry.size() && end - digits < 10 && entry[end] >= '0' && entry[end] <= '9') ++end;
        if (end == digits) continue;
        const std::string share = entry.substr(1, marker - 1);
        const std::string extension = entry.substr(end);
        if (extension.size() < 2 || extension[0] != '.' || extension.find('.', 1) != std::string::npos)
            continue;
        // A share that was not cut ends in the extension the temporary repeats.
        if (share.size() < kKeptNameBytes && fs::path(share).extension().string() != extension) continue;
        if (!isOutput(share)) continue;
        if (processRunning(std::stol(entry.substr(digits, end - digits)))) continue;
        std::error_code removeError;
        if (it->is_regular_file(removeError) && fs::remove(it->path(), removeError))
            removed.push_back(it->path().string());
    }
    return removed;
}

}  // namespace temporaries
