#pragma once

#include <string>
#include <vector>

#include "presets/PresetFile.h"

// The named presets of one effect: the user's own, which can be saved and deleted, and the
// read-only factory presets of the bundle. Names are checked before they become file names,
// so no operation reaches outside the two folders.
class PresetStore {
  public:
    PresetStore(std::string userFolder, std::string factoryFolder);

    // The folders of an effect (definition shipped_name or name) and bundle.
    static PresetStore forEffect(const std::string& effectName, const std::string& bundleName);

    const std::string& userFolder() const { return userFolder_; }
    const std::string& factoryFolder() const { return factoryFolder_; }

    std::vector<std::string> userPresetNames(std::size_t* entriesSeen = nullptr) const;
    std::vector<std::string> factoryPresetNames(std::size_t* entriesSeen = nullptr) const;

    // The file of a named preset, "" (with a log line) when the name is refused.
    std::string userPresetPath(const std::string& name) const;
    std::string factoryPresetPath(const std::string& name) const;

    // Saves under a name typed by the user (a trailing ".xml" is dropped); *savedName receives
    // the name the preset was stored under. An existing preset of that name is replaced.
    bool saveUserPreset(const std::string& typedName, const std::string& effectName,
                        const std::string& version, const PresetValues& values,
                        const std::vector<PresetParameter>& parameters,
                        std::string* savedName = nullptr) const;

    // Loads a named preset; an unknown or refused name gives an empty map.
    PresetValues loadUserPreset(const std::string& typedName, std::string& outEffect,
                                std::string& outVersion) const;
    PresetValues loadFactoryPreset(const std::string& name, std::string& outEffect,
                                   std::string& outVersion) const;

    // Removes a user preset's file; false with *error set when it cannot be removed.
    bool deleteUserPreset(const std::string& name, std::string* error = nullptr) const;

  private:
    std::string pathIn(const std::string& folder, const std::string& name) const;

    std::string userFolder_;
    std::string factoryFolder_;
};
