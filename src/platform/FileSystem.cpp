#include "platform/FileSystem.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#if defined(_WIN32)
#include <io.h>
#include <process.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace platform {
namespace {

#if defined(_WIN32)
constexpr char kSeparator = '\\';
bool isSeparator(char c) {
    return c == '\\' || c == '/';
}
int processId() {
    return _getpid();
}
#else
constexpr char kSeparator = '/';
bool isSeparator(char c) {
    return c == '/';
}
int processId() {
    return static_cast<int>(getpid());
}
#endif

std::size_t lastSeparator(const std::string& path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (isSeparator(path[i - 1])) return i - 1;
    }
    return std::string::npos;
}

void setError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

std::string describe(const std::error_code& code) {
    return code.message();
}

// Pushes written data to the disk before the rename makes it visible.
bool flushToDisk(std::FILE* file) {
    if (std::fflush(file) != 0) return false;
#if defined(_WIN32)
    return _commit(_fileno(file)) == 0;
#else
    return fsync(fileno(file)) == 0;
#endif
}

void syncFolder(const std::string& folder) {
#if !defined(_WIN32)
    int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
#else
    (void)folder;
#endif
}

}  // namespace

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (isSeparator(folder.back())) return folder + name;
    return folder + kSeparator + name;
}

std::string parentFolder(const std::string& path) {
    std::size_t at = lastSeparator(path);
    if (at == std::string::npos) return std::string();
    if (at == 0) return path.substr(0, 1);  // the root folder
    return path.substr(0, at);
}

std::string fileName(const std::string& path) {
    std::size_t at = lastSeparator(path);
    return at == std::string::npos ? path : path.substr(at + 1);
}

bool isDirectory(const std::string& path) {
    std::error_code code;
    return !path.empty() && fs::is_directory(fs::path(path), code);
}

bool isRegularFile(const std::string& path) {
    std::error_code code;
    return !path.empty() && fs::is_regular_file(fs::path(path), code);
}

std::vector<std::string> listFilesWithSuffix(const std::string& folder, const std::string& suffix,
                                             std::size_t* entriesSeen) {
    std::vector<std::string> names;
    std::size_t seen = 0;
    std::error_code code;
    if (!folder.empty() && fs::is_directory(fs::path(folder), code)) {
        fs::directory_iterator it(fs::path(folder), fs::directory_options::skip_permission_denied, code);
        for (; !code && it != fs::directory_iterator(); it.increment(code)) {
            ++seen;
            std::string name = it->path().filename().string();
            if (name.size() <= suffix.size()) continue;
            if (name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) continue;
            std::error_code typeCode;
            if (!it->is_regular_file(typeCode)) continue;  // folders and devices are no files
            names.push_back(name.substr(0, name.size() - suffix.size()));
        }
    }
    std::sort(names.begin(), names.end());
    if (entriesSeen) *entriesSeen = seen;
    return names;
}

bool createDirectories(const std::string& folder, std::string* error) {
    if (folder.empty()) {
        setError(error, "empty folder path");
        return false;
    }
    std::error_code code;
    fs::create_directories(fs::path(folder), code);
    if (isDirectory(folder)) return true;
    setError(error, code ? describe(code) : "not a folder");
    return false;
}

bool removeFile(const std::string& path, std::string* error) {
    std::error_code code;
    if (isDirectory(path)) {
        setError(error, "is a folder");
        return false;
    }
    if (!fs::remove(fs::path(path), code)) {
        setError(error, code ? describe(code) : "no such file");
        return false;
    }
    return true;
}

bool renameFile(const std::string& from, const std::string& to, std::string* error) {
    std::error_code code;
    fs::rename(fs::path(from), fs::path(to), code);
    if (code) {
        setError(error, describe(code));
        return false;
    }
    return true;
}

bool readFile(const std::string& path, std::string& contents, std::string* error, std::size_t maxBytes) {
    if (isDirectory(path)) {
        setError(error, "is a folder");
        return false;
    }
    std::error_code sizeCode;
    const std::uintmax_t size = fs::file_size(fs::path(path), sizeCode);
    if (!sizeCode && size > maxBytes) {
        setError(error, "file is larger than " + std::to_string(maxBytes) + " bytes");
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        setError(error, std::strerror(errno));
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) {
        setError(error, "read error");
        return false;
    }
    contents = buffer.str();
    return true;
}

bool writeFileAtomically(const std::string& path, const std::string& contents, std::string* error) {
    static std::atomic<unsigned> counter{0};
    if (path.empty() || isSeparator(path.back())) {
        setError(error, "no file name");
        return false;
    }
    if (isDirectory(path)) {
        setError(error, "a folder of that name exists");
        return false;
    }
    const std::string temporary =
        path + ".tmp-" + std::to_string(processId()) + "-" + std::to_string(counter.fetch_add(1));

    std::FILE* file = std::fopen(temporary.c_str(), "wbx");
    if (!file) {
        setError(error, std::string("cannot create temporary file: ") + std::strerror(errno));
        return false;
    }
    bool written = std::fwrite(contents.data(), 1, contents.size(), file) == contents.size();
    written = flushToDisk(file) && written;
    int savedErrno = errno;
    written = (std::fclose(file) == 0) && written;
    if (!written) {
        std::remove(temporary.c_str());
        setError(error, std::string("write failed: ") + std::strerror(savedErrno));
        return false;
    }
    std::string renameError;
    if (!renameFile(temporary, path, &renameError)) {
        std::remove(temporary.c_str());
        setError(error, "cannot replace file: " + renameError);
        return false;
    }
    syncFolder(parentFolder(path));
    return true;
}

}  // namespace platform
