#include "BundleLocation.h"

#include <filesystem>
#include <system_error>

namespace {

std::filesystem::path executableFolder() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : self.parent_path();
}

bool isBundle(const std::filesystem::path& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(path / "Contents", ec);
}

}  // namespace

std::string defaultBundlePath() {
    const char* name = "velmora.ofx.bundle";
    std::filesystem::path folder = executableFolder();
    for (int up = 0; up < 3 && !folder.empty(); ++up, folder = folder.parent_path()) {
        if (isBundle(folder / name)) return (folder / name).string();
        if (folder == folder.parent_path()) break;
    }
#ifdef VELMORA_BUILT_BUNDLE
    if (isBundle(VELMORA_BUILT_BUNDLE)) return VELMORA_BUILT_BUNDLE;
#endif
    return std::string();
}
