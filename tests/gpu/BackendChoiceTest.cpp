#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "gpu/GpuRuntime.h"

namespace {

struct ChoiceCase {
    const char* forced;
    bool cudaUsable;
    GpuBackendKind kind;
    bool complains;
};

TEST(BackendChoice, ForcedAndAutomaticChoices) {
    const ChoiceCase cases[] = {
        {nullptr, true, GpuBackendKind::Cuda, false}, {nullptr, false, GpuBackendKind::Host, false},
        {"", false, GpuBackendKind::Host, false},     {"cpu", true, GpuBackendKind::Host, false},
        {"CPU", true, GpuBackendKind::Host, false},   {"host", true, GpuBackendKind::Host, false},
        {"cuda", true, GpuBackendKind::Cuda, false},  {"cuda", false, GpuBackendKind::Host, true},
        {"metal", true, GpuBackendKind::Cuda, true},  {"metal", false, GpuBackendKind::Host, true},
    };
    for (const ChoiceCase& c : cases) {
        const std::string label =
            std::string(c.forced ? c.forced : "(unset)") + (c.cudaUsable ? " +gpu" : " -gpu");
        const GpuBackendChoice choice = chooseGpuBackend(c.forced, c.cudaUsable, "why");
        EXPECT_EQ(choice.kind, c.kind) << label;
        EXPECT_EQ(!choice.complaint.empty(), c.complains) << label;
        EXPECT_FALSE(choice.reason.empty()) << label;
    }
    const GpuBackendChoice noDevice = chooseGpuBackend("cuda", false, "no CUDA-capable device is detected");
    EXPECT_NE(noDevice.complaint.find("no CUDA-capable device is detected"), std::string::npos);
    EXPECT_NE(noDevice.complaint.find("falling back to the host backend"), std::string::npos);
}

// The process-wide choice, made in a fresh child process for each setting of the variable.
int chosenKindIn(const char* value) {
#ifdef _WIN32
    _putenv_s("VELMORA_BACKEND", value ? value : "");
#else
    if (value) {
        setenv("VELMORA_BACKEND", value, 1);
    } else {
        unsetenv("VELMORA_BACKEND");
    }
#endif
    GpuRuntime& rt = gpuRuntime();
    const bool consistent = (rt.kind() == GpuBackendKind::Host) == (std::string(rt.name()) == "host");
    if (!consistent) return 3;
    return rt.kind() == GpuBackendKind::Host ? 0 : 1;
}

TEST(BackendChoice, EnvironmentForcesTheProcessBackend) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(chosenKindIn("cpu")), ::testing::ExitedWithCode(0), "");
    std::string status;
    const int automatic = cudaDeviceUsable(&status) ? 1 : 0;
    EXPECT_FALSE(status.empty());
    EXPECT_EXIT(std::exit(chosenKindIn(nullptr)), ::testing::ExitedWithCode(automatic), "");
    // Forcing cuda without a device falls back to host rather than failing.
    EXPECT_EXIT(std::exit(chosenKindIn("cuda")), ::testing::ExitedWithCode(automatic), "");
}

}  // namespace
