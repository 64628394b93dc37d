#include "presets/PresetStore.h"

#include <utility>

#include "log/PluginLog.h"
#include "platform/FileSystem.h"
#include "presets/PresetFolders.h"

PresetStore::PresetStore(std::string userFolder, std::string factoryFolder)
    : userFolder_(std::move(userFolder)), factoryFolder_(std::move(factoryFolder)) {}

PresetStore PresetStore::forEffect(const std::string& effectName, const std::string& bundleName) {
    return PresetStore(userPresetFolder(effectName), factoryPresetFolder(bundleName));
}

std::vector<std::string> PresetStore::userPresetNames(std::size_t* entriesSeen) const {
    return listPresetNames(userFolder_, entriesSeen);
}

std::vector<std::string> PresetStore::factoryPresetNames(std::size_t* entriesSeen) const {
    return listPresetNames(factoryFolder_, entriesSeen);
}

std::string PresetStore::pathIn(const std::string& folder, const std::string& name) const {
    std::string reason;
    if (!isValidPresetName(name, &reason)) {
        VLOG_ERROR("Refusing preset name '%s': %s", printableForLog(name).c_str(), reason.c_str());
        return std::string();
    }
    if (folder.empty()) {
        VLOG_ERROR("No preset folder available (no per-user folder: set APPDATA or HOME)");
        return std::string();
    }
    return presetFilePath(folder, name);
}

std::string PresetStore::userPresetPath(const std::string& name) const {
    return pathIn(userFolder_, name);
}

std::string PresetStore::factoryPresetPath(const std::string& name) const {
    return pathIn(factoryFolder_, name);
}

bool PresetStore::saveUserPreset(const std::string& typedName, const std::string& effectName,
                                 const std::string& version, const PresetValues& values,
                                 const std::vector<PresetParameter>& parameters,
                                 std::string* savedName) const {
    const std::string name = presetNameFromInput(typedName);
    std::string reason;
    if (!isSavablePresetName(name, &reason)) {
        VLOG_ERROR("Refusing preset name '%s': %s", printableForLog(name).c_str(), reason.c_str());
        return false;
    }
    const std::string path = userPresetPath(name);
    if (path.empty()) return false;
    if (!writePresetFile(path, effectName, version, values, parameters)) return false;
    if (savedName) *savedName = name;
    return true;
}

PresetValues PresetStore::loadUserPreset(const std::string& typedName, std::string& outEffect,
                                         std::string& outVersion) const {
    outEffect.clear();
    outVersion.clear();
    const std::string path = userPresetPath(presetNameFromInput(typedName));
    if (path.empty()) return PresetValues();
    return loadPresetFile(path, outEffect, outVersion);
}

PresetValues PresetStore::loadFactoryPreset(const std::string& name, std::string& outEffect,
                                            std::string& outVersion) const {
    outEffect.clear();
    outVersion.clear();
    const std::string path = factoryPresetPath(name);
    if (path.empty()) return PresetValues();
    return loadPresetFile(path, outEffect, outVersion);
}

bool PresetStore::deleteUserPreset(const std::string& name, std::string* error) const {
    const std::string path = userPresetPath(name);
    if (path.empty()) {
        if (error) *error = "refused preset name";
        return false;
    }
    return platform::removeFile(path, error);
}
