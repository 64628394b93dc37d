#pragma once

#include <cstdint>
#include <string>

#include "Image.h"
#include "ImageFiles.h"
#include "InputFile.h"

// The format-specific halves of ImageFiles. Readers take an opened file; writers write the
// file at exactly the path given (ImageFiles takes care of the temporary name and rename).
namespace imagefiles {

// The image a reader fills: `reuse` when it has the size and tight rows, else a new one. Frames of a
// sequence then land in the same memory, which the plug-in refreshes in place.
vhost::ImagePtr imageFor(int width, int height, const vhost::ImagePtr& reuse);

// Throws ImageFileError for a side longer than kMaxSide.
void requireSupportedSize(const std::string& path, std::uint64_t width, std::uint64_t height);
// Throws ImageFileError when the float RGBA image of `size` would take more than `maxBytes`.
void requireWithinLimit(const std::string& path, const ImageSize& size, std::uint64_t maxBytes);

// The picture's size from the file's header; the file is left at its start.
ImageSize exrSize(InputFile& file);
ImageSize pngSize(InputFile& file);

vhost::ImagePtr readExr(InputFile& file, const vhost::ImagePtr& reuse, std::uint64_t maxBytes);
void writeExr(const std::string& path, const vhost::Image& image);

vhost::ImagePtr readPng(InputFile& file, const vhost::ImagePtr& reuse, std::uint64_t maxBytes);
void writePng(const std::string& path, const vhost::Image& image);

}  // namespace imagefiles
