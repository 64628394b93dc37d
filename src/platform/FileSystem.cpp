#include "platform/FileSystem.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
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

void closeDescriptor(int fd) {
#if defined(_WIN32)
    _close(fd);
#else
    ::close(fd);
#endif
}

// "16 MB", "300 bytes": a size limit for a message.
std::string describeBytes(std::size_t bytes) {
    if (bytes >= (std::size_t(1) << 20) && bytes % (std::size_t(1) << 20) == 0)
        return std::to_string(bytes >> 20) + " MB";
    return std::to_string(bytes) + " bytes";
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
    // A file where a folder of the path should be is the commonest cause; name it.
    for (fs::path at(folder); !at.empty() && at != at.parent_path(); at = at.parent_path()) {
        std::error_code statusCode;
        const fs::file_status status = fs::status(at, statusCode);
        if (!fs::exists(status)) continue;
        if (!fs::is_directory(status)) {
            setError(error, at.string() + " is a file, not a folder");
            return false;
        }
        break;
    }
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
    // Judged on the opened file itself, so a name that becomes a pipe or a device after a check
    // cannot make the read block or run without end; a pipe with no writer does not block the open.
#if defined(_WIN32)
    const int fd = _open(path.c_str(), _O_RDONLY | _O_BINARY);
    struct _stat64 status {};
    const bool described = fd >= 0 && _fstat64(fd, &status) == 0;
    const bool regular = described && (status.st_mode & _S_IFMT) == _S_IFREG;
    const bool folder = described && (status.st_mode & _S_IFMT) == _S_IFDIR;
#else
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status {};
    const bool described = fd >= 0 && ::fstat(fd, &status) == 0;
    const bool regular = described && S_ISREG(status.st_mode);
    const bool folder = described && S_ISDIR(status.st_mode);
    if (regular) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
#endif
    const int openErrno = errno;
    auto fail = [&](const std::string& text) {
        if (fd >= 0) closeDescriptor(fd);
        setError(error, text);
        return false;
    };
    if (fd < 0 || !described) return fail(std::strerror(openErrno));
    if (folder) return fail("is a folder");
    if (!regular) return fail("is not a regular file (a pipe, a device or a socket)");
    const std::string tooLarge = "is larger than " + describeBytes(maxBytes);
    if (static_cast<std::uintmax_t>(status.st_size) > maxBytes) return fail(tooLarge);

    // The cap holds while reading too: a file that grows is never read past it.
    std::string text;
    char buffer[65536];
    for (;;) {
        const std::size_t room = maxBytes - text.size();
        const std::size_t want = room < sizeof buffer ? room + 1 : sizeof buffer;
#if defined(_WIN32)
        const long long got = _read(fd, buffer, static_cast<unsigned>(want));
#else
        const long long got = ::read(fd, buffer, want);
        if (got < 0 && errno == EINTR) continue;
#endif
        if (got < 0) return fail(std::string("read error: ") + std::strerror(errno));
        if (got == 0) break;
        if (static_cast<std::size_t>(got) > room) return fail(tooLarge);
        text.append(buffer, static_cast<std::size_t>(got));
    }
    closeDescriptor(fd);
    contents.swap(text);
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
        setError(error, std::string("cannot create a file there: ") + std::strerror(errno));
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
