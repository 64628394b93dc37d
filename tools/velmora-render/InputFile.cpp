#include "InputFile.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>

#include "ImageFiles.h"

namespace imagefiles {
namespace {

std::string reason(int error) {
    return std::strerror(error);
}

}  // namespace

InputFile::InputFile(const std::string& path) : path_(path) {
#ifdef _WIN32
    fd_ = _open(path.c_str(), _O_RDONLY | _O_BINARY);
    struct _stat64 status {};
    const bool described = fd_ >= 0 && _fstat64(fd_, &status) == 0;
#else
    // Without O_NONBLOCK, opening a pipe that has no writer would wait for one.
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status {};
    const bool described = fd_ >= 0 && ::fstat(fd_, &status) == 0;
#endif
    const int error = errno;
    if (!described) {
        if (fd_ >= 0) close();
        if (error == ENOENT || error == ENOTDIR) throw ImageFileError(path + ": no such file");
        throw ImageFileError(path + ": cannot be read (" + reason(error) + ")");
    }
    if ((status.st_mode & S_IFMT) == S_IFDIR) {
        close();
        throw ImageFileError(path + ": is a folder, not an image file");
    }
    if ((status.st_mode & S_IFMT) != S_IFREG) {
        close();
        throw ImageFileError(path + ": is not a regular file (a pipe or a device), not an image file");
    }
#ifndef _WIN32
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
#endif
    size_ = static_cast<std::uint64_t>(status.st_size);
    stamp_.device = static_cast<std::uint64_t>(status.st_dev);
    stamp_.file = static_cast<std::uint64_t>(status.st_ino);
    stamp_.size = size_;
#if defined(_WIN32)
    stamp_.modified = static_cast<std::int64_t>(status.st_mtime) * 1000000000;
#elif defined(__APPLE__)
    stamp_.modified =
        static_cast<std::int64_t>(status.st_mtimespec.tv_sec) * 1000000000 + status.st_mtimespec.tv_nsec;
#else
    stamp_.modified = static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
#endif
}

InputFile::~InputFile() {
    close();
}

void InputFile::close() {
    if (fd_ < 0) return;
#ifdef _WIN32
    _close(fd_);
#else
    ::close(fd_);
#endif
    fd_ = -1;
}

std::size_t InputFile::read(void* buffer, std::size_t bytes) {
    if (bytes > size_ - position_) bytes = static_cast<std::size_t>(size_ - position_);
    std::size_t done = 0;
    auto* out = static_cast<unsigned char*>(buffer);
    while (done < bytes) {
        const std::size_t chunk = bytes - done < (std::size_t(1) << 30) ? bytes - done : std::size_t(1) << 30;
#ifdef _WIN32
        const long long got = _read(fd_, out + done, static_cast<unsigned>(chunk));
#else
        const long long got = ::read(fd_, out + done, chunk);
#endif
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw ImageFileError(path_ + ": cannot be read (" + reason(errno) + ")");
        if (got == 0) break;  // the file shrank since it was opened
        done += static_cast<std::size_t>(got);
    }
    position_ += done;
    return done;
}

bool InputFile::seek(std::uint64_t offset) {
    if (offset > size_) return false;
#ifdef _WIN32
    const bool moved = _lseeki64(fd_, static_cast<long long>(offset), SEEK_SET) >= 0;
#else
    const bool moved = ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) >= 0;
#endif
    if (!moved) return false;
    position_ = offset;
    return true;
}

}  // namespace imagefiles
