#pragma once

#include <string>

// Which files the audio controls accept and where an audio file's analysis lives.
namespace audio {

// The path without trailing blanks, tabs, line feeds and carriage returns.
std::string trimmedPath(std::string path);

// An audio file by its extension after the last "." (wav, mp3, flac, aac, ogg, m4a, wma; any case).
bool isAudioFile(const std::string& path);

// The path without its extension: from the last "." of the file name on (a "." in a folder's name
// starts none).
std::string pathWithoutExtension(const std::string& path);

// The audio path with its extension (from the last "." of the file name) replaced by
// ".orbalt_audio"; a file name without "." gets the suffix appended.
std::string analysisPathFor(const std::string& audioPath);

// True when the file exists and can be opened for reading.
bool isReadableFile(const std::string& path);

}  // namespace audio
