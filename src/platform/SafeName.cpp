#include "platform/SafeName.h"

#include <cctype>
#include <cstdio>

namespace platform {
namespace {

bool refuse(std::string* reason, const std::string& text) {
    if (reason) *reason = text;
    return false;
}

std::string upper(const std::string& text) {
    std::string result = text;
    for (char& c : result) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

bool isReservedDeviceName(const std::string& name) {
    // Windows ignores everything from the first dot, and trailing blanks before it.
    std::string base = upper(name.substr(0, name.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
    if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0)) {
        return base[3] >= '1' && base[3] <= '9';
    }
    return false;
}

}  // namespace

bool isSafeFileName(const std::string& name, std::string* reason) {
    if (name.empty()) return refuse(reason, "the name is empty");
    if (name.size() > 255) return refuse(reason, "the name is longer than 255 bytes");
    for (unsigned char c : name) {
        if (c == '/' || c == '\\') return refuse(reason, "the name contains a path separator");
        if (c < 0x20 || c == 0x7f) return refuse(reason, "the name contains a control character");
        if (c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' || c == '*') {
            return refuse(reason, std::string("the name contains the character '") + static_cast<char>(c) +
                                      "', which Windows does not allow");
        }
    }
    if (name.find("..") != std::string::npos) return refuse(reason, "the name contains \"..\"");
    if (name.back() == '.' || name.back() == ' ') return refuse(reason, "the name ends in a dot or a blank");
    if (isReservedDeviceName(name)) return refuse(reason, "the name is reserved by Windows for a device");
    return true;
}

}  // namespace platform
