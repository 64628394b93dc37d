#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// An image file opened for reading. Only a regular file is accepted, judged on the opened file
// itself, so a name that turns into a pipe or a device between a check and the open cannot make
// a reader block or read without end; and no read goes past the size the file had when opened.
namespace imagefiles {

// What identifies a file's content as it was opened: the same file, unchanged, has the same stamp.
struct FileStamp {
    std::uint64_t device = 0, file = 0, size = 0;
    std::int64_t modified = 0;  // nanoseconds
    bool operator==(const FileStamp& o) const {
        return device == o.device && file == o.file && size == o.size && modified == o.modified;
    }
};

class InputFile {
  public:
    // Throws ImageFileError naming the file and the reason.
    explicit InputFile(const std::string& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const std::string& path() const { return path_; }
    std::uint64_t size() const { return size_; }
    std::uint64_t position() const { return position_; }
    const FileStamp& stamp() const { return stamp_; }

    // Reads up to `bytes` bytes at the current position, never past size(); returns how many were
    // read (0 at the end). Throws ImageFileError on a read error.
    std::size_t read(void* buffer, std::size_t bytes);
    // Moves to `offset` (at most size()); false when it is beyond the end.
    bool seek(std::uint64_t offset);

  private:
    void close();

    std::string path_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;
    FileStamp stamp_;
};

}  // namespace imagefiles
