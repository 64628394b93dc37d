#include "DynamicLibrary.h"

#include "HostError.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace vhost {

DynamicLibrary::DynamicLibrary(const std::string& path) : path_(path) {
#ifdef _WIN32
    handle_ = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
    if (handle_ == nullptr)
        throw HostError("cannot load " + path + ": error " + std::to_string(GetLastError()));
#else
    dlerror();
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* why = dlerror();
        throw HostError("cannot load " + path + ": " + (why ? why : "unknown loader error"));
    }
#endif
}

DynamicLibrary::~DynamicLibrary() {
    if (handle_ == nullptr) return;
#ifdef _WIN32
    FreeLibrary(reinterpret_cast<HMODULE>(handle_));
#else
    dlclose(handle_);
#endif
}

void* DynamicLibrary::symbol(const char* name) const {
#ifdef _WIN32
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle_), name));
#else
    return dlsym(handle_, name);
#endif
}

}  // namespace vhost
