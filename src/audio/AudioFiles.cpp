#include "audio/AudioFiles.h"

#include <cctype>
#include <cstdio>

#include "platform/FileSystem.h"

namespace audio {

std::string trimmedPath(std::string path) {
    while (!path.empty() &&
           (path.back() == ' ' || path.back() == '\t' || path.back() == '\n' || path.back() == '\r'))
        path.pop_back();
    return path;
}

bool isAudioFile(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos) return false;
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* known : {"wav", "mp3", "flac", "aac", "ogg", "m4a", "wma"})
        if (extension == known) return true;
    return false;
}

std::string pathWithoutExtension(const std::string& path) {
    // Only a dot in the file name starts an extension, not one in a folder's name.
    const std::size_t dot = path.rfind('.');
    const std::size_t separator = path.find_last_of("/\\");
    const bool hasExtension = dot != std::string::npos && (separator == std::string::npos || dot > separator);
    return hasExtension ? path.substr(0, dot) : path;
}

std::string analysisPathFor(const std::string& audioPath) {
    return pathWithoutExtension(audioPath) + ".orbalt_audio";
}

bool isReadableFile(const std::string& path) {
    // Only regular files: opening a pipe for reading would wait for a writer.
    if (path.empty() || !platform::isRegularFile(path)) return false;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::fclose(file);
    return true;
}

}  // namespace audio
