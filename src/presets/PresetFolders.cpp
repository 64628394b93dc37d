#include "presets/PresetFolders.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "log/PluginLog.h"
#include "platform/FileSystem.h"
#include "platform/SafeName.h"
#include "platform/UserFolders.h"
#include "presets/PresetFile.h"

namespace {

namespace fs = std::filesystem;

const char kPresetSuffix[] = ".xml";

// The standard OpenFX plug-in folder of each system.
std::string systemPluginFolder() {
#if defined(_WIN32)
    return "C:\\Program Files\\Common Files\\OFX\\Plugins";
#elif defined(__APPLE__)
    return "/Library/OFX/Plugins";
#else
    return "/usr/OFX/Plugins";
#endif
}

}  // namespace

std::string bundleNameFromDefinitionPath(const std::string& definitionPath) {
    std::string name = platform::fileName(definitionPath);
    // Windows-style paths carry backslashes even where they are no separator.
    std::size_t backslash = name.find_last_of('\\');
    if (backslash != std::string::npos) name = name.substr(backslash + 1);
    std::size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string presetEffectName(const std::string& shippedName, const std::string& name) {
    return shippedName.empty() ? name : shippedName;
}

std::string userPresetFolder(const std::string& effectName) {
    const std::string folder = platform::userPresetsFolder(effectName);
    const std::string ignored = platform::ignoredAppData();
    if (!ignored.empty())
        VLOG_ERROR("APPDATA '%s' is not an absolute path and is ignored: user presets are kept in %s",
                   printableForLog(ignored).c_str(), printableForLog(folder).c_str());
    return folder;
}

std::string factoryPresetFolder(const std::string& bundleName) {
    std::string inBundle = platform::factoryPresetsFolder();
    if (!inBundle.empty()) return inBundle;
    if (bundleName.empty()) return std::string();
    return platform::joinPath(
        platform::joinPath(platform::joinPath(systemPluginFolder(), bundleName + ".ofx.bundle"), "Contents"),
        platform::joinPath("Resources", "presets"));
}

std::vector<std::string> listPresetNames(const std::string& folder, std::size_t* entriesSeen) {
    std::vector<std::string> usable;
    std::size_t seen = 0;
    const std::size_t suffixLength = sizeof(kPresetSuffix) - 1;
    std::error_code code;
    if (!folder.empty() && fs::is_directory(fs::path(folder), code)) {
        // Every entry counts, folders included: a folder named x.xml lists as x and fails to load.
        fs::directory_iterator it(fs::path(folder), fs::directory_options::skip_permission_denied, code);
        for (; !code && it != fs::directory_iterator(); it.increment(code)) {
            ++seen;
            const std::string entry = it->path().filename().string();
            if (entry.size() <= suffixLength ||
                entry.compare(entry.size() - suffixLength, suffixLength, kPresetSuffix) != 0)
                continue;
            const std::string name = entry.substr(0, entry.size() - suffixLength);
            if (isValidPresetName(name)) {
                usable.push_back(name);
            } else {
                VLOG_DEBUG("Skipping preset file with an unusable name: %s", printableForLog(name).c_str());
            }
        }
    }
    std::sort(usable.begin(), usable.end());
    if (entriesSeen) *entriesSeen = seen;
    return usable;
}

std::string presetNameFromInput(const std::string& text) {
    const char* blanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return std::string();
    const std::size_t last = text.find_last_not_of(blanks);
    std::string name = text.substr(first, last - first + 1);
    const std::size_t suffixLength = sizeof(kPresetSuffix) - 1;
    if (name.size() >= suffixLength &&
        name.compare(name.size() - suffixLength, suffixLength, kPresetSuffix) == 0) {
        name.erase(name.size() - suffixLength);
    }
    return name;
}

bool isValidPresetName(const std::string& name, std::string* reason) {
    if (name.empty()) {
        if (reason) *reason = "the name is empty";
        return false;
    }
    // The file name carries the ".xml" ending, so "CON" and "CON.xml" are both caught.
    return platform::isSafeFileName(name, reason) && platform::isSafeFileName(name + kPresetSuffix, reason);
}

const std::size_t kMaxSavedPresetNameBytes = 255 - (sizeof(kPresetSuffix) - 1) - platform::kTemporarySuffixBytes;

bool isSavablePresetName(const std::string& name, std::string* reason) {
    if (!isValidPresetName(name, reason)) return false;
    if (name.size() <= kMaxSavedPresetNameBytes) return true;
    if (reason) *reason = "the name is longer than " + std::to_string(kMaxSavedPresetNameBytes) + " bytes";
    return false;
}

std::string presetFilePath(const std::string& folder, const std::string& name) {
    return folder + "/" + name + kPresetSuffix;
}
