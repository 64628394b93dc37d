#include "platform/DefaultViewer.h"

#include <memory>
#include <thread>

#include "platform/ChildProcess.h"

#if defined(_WIN32)
#include <shellapi.h>
#include <windows.h>
#endif

namespace platform {

bool openInDefaultViewer(const std::string& target, std::string* error) {
    auto fail = [error](const std::string& text) {
        if (error) *error = text;
        return false;
    };
    if (target.empty()) return fail("nothing to open");
    // A leading dash would be taken for an option by the viewer program.
    if (target[0] == '-') return fail("refusing to open a target that starts with '-'");
    for (unsigned char c : target) {
        if (c < 0x20 || c == 0x7f) return fail("the target contains a control character");
    }
#if defined(_WIN32)
    HINSTANCE result = ShellExecuteA(nullptr, "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(result) <= 32) {
        return fail("ShellExecute failed (code " + std::to_string(reinterpret_cast<INT_PTR>(result)) + ")");
    }
    return true;
#else
#if defined(__APPLE__)
    const char* viewer = "open";
#else
    const char* viewer = "xdg-open";
#endif
    auto child = std::make_shared<ChildProcess>();
    std::string startError;
    if (!child->start({viewer, target}, &startError, false)) return fail(startError);
    // The viewer may linger; reap it in the background so no zombie is left behind.
    std::thread([child] { child->wait(); }).detach();
    return true;
#endif
}

}  // namespace platform
