#include "gpu/GpuRuntime.h"

#include <cctype>
#include <cstdlib>

#include "gpu/HostRuntime.h"
#include "log/PluginLog.h"

namespace {

std::string lowered(const char* text) {
    std::string s = text ? text : "";
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

const char* gpuBackendName(GpuBackendKind kind) {
    return kind == GpuBackendKind::Cuda ? "cuda" : "host";
}

GpuBackendChoice chooseGpuBackend(const char* forcedValue, bool cudaUsable, const std::string& cudaStatus) {
    GpuBackendChoice choice;
    const std::string forced = lowered(forcedValue);
    if (forced == "cpu" || forced == "host") {
        choice.kind = GpuBackendKind::Host;
        choice.reason = "forced by VELMORA_BACKEND=" + forced;
        return choice;
    }
    if (forced == "cuda") {
        if (cudaUsable) {
            choice.kind = GpuBackendKind::Cuda;
            choice.reason = "forced by VELMORA_BACKEND=cuda; " + cudaStatus;
        } else {
            choice.kind = GpuBackendKind::Host;
            choice.reason = "VELMORA_BACKEND=cuda, but CUDA is not usable";
            choice.complaint = "VELMORA_BACKEND=cuda requested, but CUDA is not usable (" + cudaStatus +
                               "); falling back to the host backend";
        }
        return choice;
    }
    if (!forced.empty()) {
        choice.complaint = "VELMORA_BACKEND=" + std::string(forcedValue) +
                           " is not one of cpu, cuda; choosing the backend automatically";
    }
    if (cudaUsable) {
        choice.kind = GpuBackendKind::Cuda;
        choice.reason = cudaStatus;
    } else {
        choice.kind = GpuBackendKind::Host;
        choice.reason = "no usable CUDA device: " + cudaStatus;
    }
    return choice;
}

#if !VELMORA_HAVE_CUDA
bool cudaDeviceUsable(std::string* status) {
    if (status) *status = "built without the cuda backend";
    return false;
}
#endif

GpuRuntime& hostGpuRuntime() {
    return HostRuntime::instance();
}

GpuRuntime& gpuRuntime() {
    static GpuRuntime* chosen = [] {
        const char* forced = std::getenv("VELMORA_BACKEND");
        const std::string forcedText = lowered(forced);
        std::string status;
        // A forced host backend never touches the CUDA runtime.
        const bool usable = (forcedText == "cpu" || forcedText == "host") ? false : cudaDeviceUsable(&status);
        const GpuBackendChoice choice = chooseGpuBackend(forced, usable, status);
        if (!choice.complaint.empty()) VLOG_ERROR("%s", choice.complaint.c_str());
        VLOG_INFO("GPU backend: %s (%s)", gpuBackendName(choice.kind), choice.reason.c_str());
#if VELMORA_HAVE_CUDA
        if (choice.kind == GpuBackendKind::Cuda) return &cudaGpuRuntime();
#endif
        return &hostGpuRuntime();
    }();
    return *chosen;
}
