#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Where presets live and how preset names map onto file names.

// The bundle name: the file name of the definition path without its extension.
std::string bundleNameFromDefinitionPath(const std::string& definitionPath);

// The effect name used for the user folder: shippedName when not empty, else name.
std::string presetEffectName(const std::string& shippedName, const std::string& name);

// <per-user root>/orbalt/presets/<effectName>; "" when there is no per-user root.
std::string userPresetFolder(const std::string& effectName);

// <bundle>/Contents/Resources/presets of the bundle this library was loaded from; when the
// library runs outside a bundle, the bundle of that name in the system's OpenFX plug-in folder.
std::string factoryPresetFolder(const std::string& bundleName);

// Preset names in a folder: entries (files and folders alike) ending in ".xml" with that ending
// removed, in byte-wise order. Names that are no usable preset names are left out. A missing
// folder lists as empty; *entriesSeen receives the number of folder entries before filtering.
std::vector<std::string> listPresetNames(const std::string& folder, std::size_t* entriesSeen = nullptr);

// A name typed by the user: surrounding blanks and one trailing ".xml" removed.
std::string presetNameFromInput(const std::string& text);

// A preset name must be usable as a file name inside the presets folder on every system.
bool isValidPresetName(const std::string& name, std::string* reason = nullptr);

// A name a preset can be saved under: a valid one that leaves room for the temporary file's
// additions (kMaxSavedPresetNameBytes at most).
bool isSavablePresetName(const std::string& name, std::string* reason = nullptr);
extern const std::size_t kMaxSavedPresetNameBytes;

// folder "/" name ".xml"
std::string presetFilePath(const std::string& folder, const std::string& name);
