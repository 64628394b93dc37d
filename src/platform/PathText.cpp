#include "platform/PathText.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace platform {

#if defined(_WIN32)

std::string pathAsUtf8(const std::string& path) {
    if (path.empty()) return path;
    const int length = static_cast<int>(path.size());
    const int wideLength = MultiByteToWideChar(CP_ACP, 0, path.data(), length, nullptr, 0);
    if (wideLength <= 0) return path;
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.data(), length, &wide[0], wideLength);
    const int utf8Length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (utf8Length <= 0) return path;
    std::string utf8(static_cast<std::size_t>(utf8Length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, &utf8[0], utf8Length, nullptr, nullptr);
    return utf8;
}

#else

std::string pathAsUtf8(const std::string& path) {
    return path;
}

#endif

}  // namespace platform
