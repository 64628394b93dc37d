#pragma once

#include <cstddef>
#include <string>
#include <vector>

// File and folder operations. None of them throws; failures return false with a
// readable reason in *error when one is asked for.
namespace platform {

// Joins with the native separator unless `folder` already ends in one.
std::string joinPath(const std::string& folder, const std::string& name);
// Everything before the last separator ("" when there is none).
std::string parentFolder(const std::string& path);
// Everything after the last separator.
std::string fileName(const std::string& path);

bool isDirectory(const std::string& path);
bool isRegularFile(const std::string& path);

// Names of the regular files in `folder` whose names end in `suffix` (case-sensitive), with the
// suffix removed, in byte-wise order. Names that would be empty are left out. A missing folder
// lists as empty. *entriesSeen receives the number of entries enumerated before filtering.
std::vector<std::string> listFilesWithSuffix(const std::string& folder, const std::string& suffix,
                                             std::size_t* entriesSeen = nullptr);

// Creates the folder and all missing parents; true when it exists afterwards.
bool createDirectories(const std::string& folder, std::string* error = nullptr);

bool removeFile(const std::string& path, std::string* error = nullptr);

// Renames, replacing an existing target.
bool renameFile(const std::string& from, const std::string& to, std::string* error = nullptr);

// Reads a whole regular file of at most maxBytes: a larger one is refused, whether its size says
// so or it grows while being read; folders, pipes and devices are refused without a read.
bool readFile(const std::string& path, std::string& contents, std::string* error = nullptr,
              std::size_t maxBytes = static_cast<std::size_t>(-1));

// What writeFileAtomically adds to the file's name for its temporary, at most: a name that is to
// be written must leave room for it within the system's 255 bytes.
constexpr std::size_t kTemporarySuffixBytes = 26;  // ".tmp-" process id "-" counter

// Writes a temporary file beside `path`, flushes it to disk and renames it over `path`.
// On any failure the temporary file is removed and an earlier file at `path` stays untouched.
bool writeFileAtomically(const std::string& path, const std::string& contents, std::string* error = nullptr);

}  // namespace platform
