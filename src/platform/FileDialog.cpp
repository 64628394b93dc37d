#include "platform/FileDialog.h"

#include "platform/ChildProcess.h"

#if defined(_WIN32)
#include <commdlg.h>
#include <windows.h>
#endif

namespace platform {
namespace {

#if !defined(_WIN32) && !defined(__APPLE__)
const char kUnavailable[] = "No file dialog available: install zenity or kdialog";

std::string joinPatterns(const std::vector<std::string>& patterns) {
    std::string joined;
    for (const std::string& pattern : patterns) {
        if (!joined.empty()) joined += ' ';
        joined += pattern;
    }
    return joined;
}
#endif

#if !defined(_WIN32)
// Runs a dialog program and takes its first output line as the chosen path.
// Exit code 1 is how zenity, kdialog and osascript report a cancelled dialog.
FileDialogResult runDialogProgram(const std::vector<std::string>& argv) {
    FileDialogResult result;
    ChildProcess child;
    std::string error;
    if (!child.start(argv, &error)) {
        result.status = FileDialogResult::Status::Failed;
        result.message = error;
        return result;
    }
    std::string output, line;
    bool first = true;
    while (child.readLine(line)) {
        if (first) output = line;
        first = false;
    }
    int code = child.wait();
    if (code == 0 && !output.empty()) {
        result.status = FileDialogResult::Status::Chosen;
        result.path = output;
    } else if (code == 0 || code == 1) {
        result.status = FileDialogResult::Status::Cancelled;
    } else {
        result.status = FileDialogResult::Status::Failed;
        result.message = argv[0] + " failed (exit " + std::to_string(code) + ")" +
                         (output.empty() ? std::string() : ": " + output);
    }
    return result;
}
#endif

#if defined(__APPLE__)
std::string appleScriptString(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}
#endif

}  // namespace

FileDialogResult openFileDialog(const FileDialogRequest& request) {
#if defined(_WIN32)
    FileDialogResult result;
    std::string filter = request.filterDescription.empty() ? "Files" : request.filterDescription;
    filter.push_back('\0');
    std::string patterns;
    for (const std::string& pattern : request.patterns) {
        if (!patterns.empty()) patterns += ';';
        patterns += pattern;
    }
    filter += patterns.empty() ? "*.*" : patterns;
    filter.push_back('\0');
    filter.push_back('\0');
    char chosen[MAX_PATH * 4] = {0};
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = chosen;
    dialog.nMaxFile = static_cast<DWORD>(sizeof(chosen));
    dialog.lpstrTitle = request.title.c_str();
    dialog.lpstrInitialDir = request.startFolder.empty() ? nullptr : request.startFolder.c_str();
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (GetOpenFileNameA(&dialog)) {
        result.status = FileDialogResult::Status::Chosen;
        result.path = chosen;
    } else if (CommDlgExtendedError() == 0) {
        result.status = FileDialogResult::Status::Cancelled;
    } else {
        result.status = FileDialogResult::Status::Failed;
        result.message = "file dialog failed (code " + std::to_string(CommDlgExtendedError()) + ")";
    }
    return result;
#elif defined(__APPLE__)
    std::string script = "POSIX path of (choose file with prompt " + appleScriptString(request.title) + ")";
    if (findProgram("osascript").empty()) {
        FileDialogResult result;
        result.status = FileDialogResult::Status::Unavailable;
        result.message = "No file dialog available: osascript not found";
        return result;
    }
    return runDialogProgram({"osascript", "-e", script});
#else
    const std::string patterns = joinPatterns(request.patterns);
    if (!findProgram("zenity").empty()) {
        std::vector<std::string> argv = {"zenity", "--file-selection", "--title=" + request.title};
        if (!patterns.empty()) {
            std::string description = request.filterDescription.empty() ? "Files" : request.filterDescription;
            // zenity splits the filter at '|'; keep it out of the description.
            for (char& c : description) {
                if (c == '|') c = '/';
            }
            argv.push_back("--file-filter=" + description + " | " + patterns);
        }
        if (!request.startFolder.empty()) argv.push_back("--filename=" + request.startFolder + "/");
        return runDialogProgram(argv);
    }
    if (!findProgram("kdialog").empty()) {
        std::string filter = patterns.empty() ? std::string("*") : patterns;
        if (!request.filterDescription.empty()) filter += "|" + request.filterDescription;
        std::string start = request.startFolder.empty() ? std::string(".") : request.startFolder;
        return runDialogProgram({"kdialog", "--title", request.title, "--getopenfilename", start, filter});
    }
    FileDialogResult result;
    result.status = FileDialogResult::Status::Unavailable;
    result.message = kUnavailable;
    return result;
#endif
}

}  // namespace platform
