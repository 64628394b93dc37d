#pragma once

#include <string>

// Per-user and per-installation folders. Every function returns an empty text when the
// folder cannot be determined (no home directory, library not inside a bundle).
namespace platform {

// The per-user data root: APPDATA when set to an absolute path; otherwise $XDG_DATA_HOME or
// ~/.local/share on Linux, ~/Library/Application Support on macOS. On Windows without APPDATA,
// "C:\". A relative APPDATA would put the user's files wherever the host happens to run, so it is
// ignored (ignoredAppData() tells).
std::string perUserRoot();

// The value of APPDATA when it is set but ignored for not being an absolute path; "" otherwise.
std::string ignoredAppData();

// root/orbalt/presets/<effectName>
std::string userPresetsFolder(const std::string& effectName);

// root/orbalt/tools/orbalt_audio (orbalt_audio.exe on Windows)
std::string audioToolPath();

// Full path of the shared library (or executable) that contains this code.
std::string loadedLibraryPath();

// <bundle>/Contents/Resources for a library at <bundle>/Contents/<arch>/<name>; empty otherwise.
std::string bundleResourcesFolderFor(const std::string& libraryPath);

// The factory presets shipped in the bundle this library was loaded from:
// <bundle>/Contents/Resources/presets.
std::string factoryPresetsFolder();
std::string factoryPresetsFolderFor(const std::string& libraryPath);

}  // namespace platform
