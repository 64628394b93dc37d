#pragma once

#include <string>

namespace platform {

// Opens a web address or a file in the user's default viewer (xdg-open on Linux, open on
// macOS, the shell's association on Windows) without waiting for it. False with *error set
// when no viewer could be started or the target is unusable.
bool openInDefaultViewer(const std::string& target, std::string* error = nullptr);

}  // namespace platform
