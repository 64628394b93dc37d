#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What makes two names the same file: links, "./" and other spellings of one file share it.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;

    bool operator<(const FileIdentity& other) const {
        return device != other.device ? device < other.device : file < other.file;
    }
    bool operator==(const FileIdentity& other) const { return device == other.device && file == other.file; }
};

// The identity of the file `path` names (following links); none when it does not exist.
std::optional<FileIdentity> fileIdentity(const std::string& path);
