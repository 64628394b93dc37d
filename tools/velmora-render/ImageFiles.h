#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "Image.h"

// Image files for velmora-render: OpenEXR (float) and PNG. Files store the top row first; the
// images returned and written here follow the OpenFX convention (first row in memory is the
// bottom of the picture), with bounds (0, 0, width, height).
namespace imagefiles {

class ImageFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class ImageFormat { Exr, Png };

// The format named by the file's extension (.exr, .png, any case); throws ImageFileError for
// anything else.
ImageFormat formatOf(const std::string& path);

// The longest side of a picture read or written.
constexpr int kMaxSide = 1 << 15;

struct ImageSize {
    int width = 0;
    int height = 0;
};

// The size of the picture readImage would return, from the file's header alone. Throws
// ImageFileError, also for a picture that is empty, too large, or larger than the file can hold.
ImageSize readImageSize(const std::string& path);

// Reads an image as float RGBA. PNG samples are scaled to 0..1 (grey becomes r = g = b, a file
// without alpha is opaque); EXR channels R, G, B and A are read as float, a missing colour
// channel is 0, a missing alpha 1, and a luminance-only (Y) file becomes grey; the image is the
// EXR's display window, with the data window placed in it and uncovered pixels 0. Throws
// ImageFileError naming the file and the reason; only a regular file is read. When `reuse` has
// the file's size, the pixels are read into it and it is returned. An image that would take
// more than `maxBytes` is refused before anything is allocated for it.
vhost::ImagePtr readImage(const std::string& path, const vhost::ImagePtr& reuse = nullptr,
                          std::uint64_t maxBytes = UINT64_MAX);

// Writes float RGBA: EXR as 32-bit float (ZIP), PNG as 8-bit RGBA (clamped to 0..1). The file
// is written beside its final name and renamed, so an earlier file of that name survives a
// failed write; the temporary is removed when the program is interrupted (Temporaries.h).
// Throws ImageFileError.
void writeImage(const std::string& path, const vhost::Image& image);

}  // namespace imagefiles
