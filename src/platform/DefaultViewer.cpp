#include "platform/DefaultViewer.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/ChildProcess.h"

#if defined(_WIN32)
#include <shellapi.h>
#include <windows.h>
#endif

namespace platform {

#if !defined(_WIN32)
namespace {

// Viewers that may still be running. Ended ones are reaped, without blocking, whenever another is
// opened. None is waited for on a thread: a thread of ours blocked in a wait when the host unloads
// the library would return into unmapped code. Those still running at unload are left alone
// (never killed) and end with the host process; the list is never destroyed for that reason.
struct RunningViewers {
    std::mutex mutex;
    std::vector<std::unique_ptr<ChildProcess>> children;
};

RunningViewers& runningViewers() {
    static RunningViewers* viewers = new RunningViewers;
    return *viewers;
}

void keepUntilEnded(std::unique_ptr<ChildProcess> child) {
    RunningViewers& viewers = runningViewers();
    std::lock_guard<std::mutex> lock(viewers.mutex);
    auto& children = viewers.children;
    children.erase(
        std::remove_if(children.begin(), children.end(), [](const auto& c) { return c->waitFor(0); }),
        children.end());
    children.push_back(std::move(child));
}

}  // namespace
#endif

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
    auto child = std::make_unique<ChildProcess>();
    std::string startError;
    if (!child->start({viewer, target}, &startError, false)) return fail(startError);
    keepUntilEnded(std::move(child));
    return true;
#endif
}

}  // namespace platform
