#pragma once

// Runs the built velmora-render (VELMORA_RENDER_EXE) and collects its exit code and output.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <string>

struct CliResult {
    int code = -1;
    std::string out;
    std::string err;
};

// Runs velmora-render with `args` (shell words, quoted by the caller where needed) and, when
// given, `environment` (NAME=value shell words) set for it alone. With `seconds`, a run that
// takes longer is killed (code -1) instead of holding up the suite.
inline CliResult runCli(const std::string& args, const std::string& environment = "", int seconds = 0) {
    const std::string errFile =
        testing::TempDir() + "velmora-cli-stderr-" + std::to_string(::getpid()) + ".txt";
    const std::string limit = seconds > 0 ? "timeout -s KILL " + std::to_string(seconds) + " " : "";
    const std::string command = limit + (environment.empty() ? "" : "env " + environment + " ") + "'" +
                                VELMORA_RENDER_EXE + "' " + args + " 2>'" + errFile + "'";
    CliResult r;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return r;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) r.out.append(buffer.data(), n);
    const int status = pclose(pipe);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (seconds > 0 && r.code == 128 + SIGKILL) r.code = -1;
    if (FILE* err = fopen(errFile.c_str(), "r")) {
        while ((n = fread(buffer.data(), 1, buffer.size(), err)) > 0) r.err.append(buffer.data(), n);
        fclose(err);
    }
    std::remove(errFile.c_str());
    return r;
}
