#pragma once

#include <string>

namespace platform {

// True when `name` can be used as a single file name inside a folder on every supported
// system: not empty, no path separators, no "..", no control characters, none of the
// characters Windows forbids (< > : " | ? *), no trailing dot or blank, not a name Windows
// reserves for devices (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without an extension),
// and at most 255 bytes. Otherwise *reason (when given) says why.
bool isSafeFileName(const std::string& name, std::string* reason = nullptr);

}  // namespace platform
