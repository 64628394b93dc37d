#pragma once

#include <string>

namespace platform {

// A path as UTF-8 text, for what must be UTF-8 (JSON documents). Windows gives narrow paths in the
// ANSI code page, which are converted; elsewhere the bytes stay as they are, so a name that is not
// valid UTF-8 stays so and the writer must replace what it cannot encode.
std::string pathAsUtf8(const std::string& path);

}  // namespace platform
