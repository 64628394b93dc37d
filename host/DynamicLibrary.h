#pragma once

#include <string>

namespace vhost {

// A shared library opened by path; closed when destroyed.
class DynamicLibrary {
  public:
    // Throws HostError with the loader's message when the file cannot be loaded.
    explicit DynamicLibrary(const std::string& path);
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Null when the library has no such export.
    void* symbol(const char* name) const;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    void* handle_ = nullptr;
};

}  // namespace vhost
