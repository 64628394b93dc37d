#pragma once

#include <string>
#include <vector>

namespace platform {

struct FileDialogRequest {
    std::string title;
    std::string filterDescription;      // e.g. "Audio Files (wav, mp3)"
    std::vector<std::string> patterns;  // e.g. "*.wav"
    std::string startFolder;            // optional
};

struct FileDialogResult {
    enum class Status { Chosen, Cancelled, Unavailable, Failed };
    Status status = Status::Failed;
    std::string path;     // the chosen file when Chosen
    std::string message;  // what went wrong otherwise
};

// Shows a modal open-file dialog for one file: the system dialog on Windows, osascript on macOS,
// zenity or kdialog on Linux. Without any of them the result is Unavailable with a message
// saying so.
FileDialogResult openFileDialog(const FileDialogRequest& request);

}  // namespace platform
