#include "platform/UserFolders.h"

#include <cctype>
#include <cstdlib>

#include "platform/FileSystem.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <pwd.h>
#include <unistd.h>
#endif

namespace platform {
namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

#if !defined(_WIN32)
std::string homeFolder() {
    std::string home = environment("HOME");
    if (!home.empty()) return home;
    if (const passwd* entry = getpwuid(getuid())) {
        if (entry->pw_dir && *entry->pw_dir) return entry->pw_dir;
    }
    return std::string();
}
#endif

std::string orbaltFolder() {
    std::string root = perUserRoot();
    if (root.empty()) return std::string();
    return joinPath(root, "orbalt");
}

// Anchor for the address lookup of the library holding this code.
void libraryAnchor() {}

bool isAbsolutePath(const std::string& path) {
#if defined(_WIN32)
    const bool separatorAt2 = path.size() > 2 && (path[2] == '\\' || path[2] == '/');
    const bool drive = path.size() > 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
    const bool share = path.size() > 1 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/');
    return (drive && separatorAt2) || share;
#else
    return !path.empty() && path[0] == '/';
#endif
}

}  // namespace

std::string ignoredAppData() {
    const std::string appData = environment("APPDATA");
    return !appData.empty() && !isAbsolutePath(appData) ? appData : std::string();
}

std::string perUserRoot() {
    std::string appData = environment("APPDATA");
    if (!appData.empty() && isAbsolutePath(appData)) return appData;
#if defined(_WIN32)
    return "C:\\";
#elif defined(__APPLE__)
    std::string home = homeFolder();
    return home.empty() ? std::string() : home + "/Library/Application Support";
#else
    // Only an absolute XDG_DATA_HOME counts; a relative one is to be ignored.
    std::string xdg = environment("XDG_DATA_HOME");
    if (!xdg.empty() && xdg[0] == '/') return xdg;
    std::string home = homeFolder();
    return home.empty() ? std::string() : home + "/.local/share";
#endif
}

std::string userPresetsFolder(const std::string& effectName) {
    std::string orbalt = orbaltFolder();
    if (orbalt.empty() || effectName.empty()) return std::string();
    return joinPath(joinPath(orbalt, "presets"), effectName);
}

std::string audioToolPath() {
    std::string orbalt = orbaltFolder();
    if (orbalt.empty()) return std::string();
#if defined(_WIN32)
    return joinPath(joinPath(orbalt, "tools"), "orbalt_audio.exe");
#else
    return joinPath(joinPath(orbalt, "tools"), "orbalt_audio");
#endif
}

std::string loadedLibraryPath() {
#if defined(_WIN32)
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCSTR>(&libraryAnchor), &module)) {
        return std::string();
    }
    char buffer[MAX_PATH * 4];
    DWORD length = GetModuleFileNameA(module, buffer, static_cast<DWORD>(sizeof(buffer)));
    if (length == 0 || length >= sizeof(buffer)) return std::string();
    return std::string(buffer, length);
#else
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&libraryAnchor), &info) == 0 || !info.dli_fname) return std::string();
    std::string path = info.dli_fname;
    // dladdr may report a path relative to the working directory; make it absolute once.
    if (!path.empty() && path[0] != '/') {
        if (char* resolved = realpath(path.c_str(), nullptr)) {
            path = resolved;
            std::free(resolved);
        }
    }
    return path;
#endif
}

std::string bundleResourcesFolderFor(const std::string& libraryPath) {
    std::string archFolder = parentFolder(libraryPath);
    std::string contents = parentFolder(archFolder);
    if (archFolder.empty() || contents.empty() || fileName(contents) != "Contents") return std::string();
    return joinPath(contents, "Resources");
}

std::string factoryPresetsFolderFor(const std::string& libraryPath) {
    std::string resources = bundleResourcesFolderFor(libraryPath);
    return resources.empty() ? std::string() : joinPath(resources, "presets");
}

std::string factoryPresetsFolder() {
    return factoryPresetsFolderFor(loadedLibraryPath());
}

}  // namespace platform
