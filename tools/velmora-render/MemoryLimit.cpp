#include "MemoryLimit.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#elif defined(__APPLE__)
#include <sys/sysctl.h>
#include <sys/types.h>
#else
#include <unistd.h>
#endif

#include "params/NumberText.h"

namespace memorylimit {

std::uint64_t availableBytes() {
#ifdef _WIN32
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? status.ullAvailPhys : 0;
#elif defined(__APPLE__)
    std::uint64_t total = 0;
    std::size_t length = sizeof total;
    return sysctlbyname("hw.memsize", &total, &length, nullptr, 0) == 0 ? total : 0;
#else
    // MemAvailable counts the caches the kernel gives up on demand; free pages alone would not.
    std::ifstream info("/proc/meminfo");
    std::string line;
    while (std::getline(info, line)) {
        if (line.rfind("MemAvailable:", 0) != 0) continue;
        std::istringstream fields(line.substr(13));
        std::uint64_t kilobytes = 0;
        if (fields >> kilobytes) return kilobytes * 1024;
    }
    const long pages = sysconf(_SC_AVPHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0
               ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize)
               : 0;
#endif
}

bool parseSize(const std::string& text, std::uint64_t* bytes) {
    const char* first = text.c_str();
    double number = 0;
    if (text.empty() || text[0] == ' ' ||
        numbertext::readLeadingDouble(first, text.c_str() + text.size(), number) != numbertext::ParseStatus::Ok)
        return false;
    std::string unit(first);
    for (char& c : unit) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    double scale = 1;
    const std::string units = "KMGT";
    if (!unit.empty() && units.find(unit[0]) != std::string::npos) {
        scale = std::pow(1024.0, static_cast<double>(units.find(unit[0]) + 1));
        unit.erase(0, 1);
        if (unit == "IB") unit.clear();
    }
    if (unit == "B") unit.clear();
    if (!unit.empty()) return false;
    const double value = std::floor(number * scale);
    if (!(value >= 1) || value > 1.8e19) return false;
    *bytes = static_cast<std::uint64_t>(value);
    return true;
}

std::string describe(std::uint64_t bytes) {
    char text[32];
    if (bytes >= (std::uint64_t(1) << 30))
        std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / (1u << 30));
    else if (bytes >= (std::uint64_t(1) << 20))
        std::snprintf(text, sizeof text, "%llu MB",
                      static_cast<unsigned long long>((bytes + (1u << 19)) >> 20));
    else
        std::snprintf(text, sizeof text, "%llu KB", static_cast<unsigned long long>((bytes + 1023) >> 10));
    return text;
}

std::uint64_t renderBytes(std::uint64_t inputBytes, int inputCount, std::uint64_t scaledFrameBytes,
                          bool scaled) {
    const std::uint64_t scaledInputs = scaled ? scaledFrameBytes * static_cast<std::uint64_t>(inputCount) : 0;
    const std::uint64_t engine =
        scaledFrameBytes * static_cast<std::uint64_t>(kEngineFramesBesideInputs + inputCount);
    return inputBytes + scaledInputs + scaledFrameBytes + engine;
}

}  // namespace memorylimit
