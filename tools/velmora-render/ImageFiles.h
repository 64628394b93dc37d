#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>

#include "Image.h"

// Image files for velmora-render, through OpenImageIO: OpenEXR, DPX, TIFF, JPEG and PNG are read;
// all but JPEG are written. Files store the top row first; the images returned and written here
// follow the OpenFX convention (first row in memory is the bottom of the picture), with bounds
// (0, 0, width, height): the file's display window.
namespace imagefiles {

class ImageFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class ImageFormat { Exr, Dpx, Tiff, Jpeg, Png };

// The format named by the file's extension (.exr, .dpx, .tif/.tiff, .jpg/.jpeg, .png, any case);
// throws ImageFileError for anything else.
ImageFormat formatOf(const std::string& path);

// The longest side of a picture read or written.
constexpr int kMaxSide = 1 << 15;

struct ImageSize {
    int width = 0;
    int height = 0;
};

// What an output keeps of the plate it was rendered from: the plate's channels, windows, metadata
// and, in an OpenEXR file, its other parts. Only RGBA passes through the effect; the rest is read
// again from the plate, a strip at a time, when the output is written.
class PlateLayout {
  public:
    struct Data;
    PlateLayout() = default;
    explicit PlateLayout(std::shared_ptr<const Data> data) : data_(std::move(data)) {}
    const Data* data() const { return data_.get(); }
    bool empty() const { return !data_; }

  private:
    std::shared_ptr<const Data> data_;
};

// The size of the picture readImage would return, from the file's header alone. Throws
// ImageFileError, also for a picture that is empty, too large, or larger than the file can hold.
ImageSize readImageSize(const std::string& path);

// Reads an image's display window as float RGBA, values as stored (integer formats scaled to
// 0..1). R, G, B and A are taken by name; a missing colour channel is 0, a missing alpha 1; a
// luminance (Y) or single-channel file becomes grey. The data window is placed in the display
// window, and display pixels it does not cover are 0 in every channel; an OpenEXR file's first
// part is read. Throws ImageFileError naming the file and the reason; only a regular file is read.
// When `reuse` has the picture's size, the pixels are read into it and it is returned. An image
// that would take more than `maxBytes` is refused before anything is allocated for it. `layout`,
// when given, receives what an output rendered from this file keeps of it.
vhost::ImagePtr readImage(const std::string& path, const vhost::ImagePtr& reuse = nullptr,
                          std::uint64_t maxBytes = UINT64_MAX, PlateLayout* layout = nullptr);

// How a file is written.
struct WriteOptions {
    // Sample depth: "" for the default, or "8", "10", "12", "16", "half", "float", as the format
    // allows (OpenEXR half or float, default float; DPX 8, 10, 12 or 16, default 10; TIFF 8, 10,
    // 16 or float, default 16; PNG 8 or 16, default 8). By default an integer format keeps the
    // plate's depth where it allows it.
    std::string depth;
    // The colour conversion of pixels kept from the plate rather than rendered (an OpenEXR
    // data window beyond the display window): from the plate's colour space to the output's.
    std::function<void(float* rgba, int pixels)> convertKeptColour;
    // Where notes about what the output format cannot hold go (channels or parts not written).
    std::ostream* notes = nullptr;
};

// Throws ImageFileError unless `depth` is one the format of `path` writes ("" always is).
void requireWritableDepth(const std::string& path, const std::string& depth);

// Writes float RGBA as the file's format and depth, keeping from `layout` (when not empty) the
// plate's metadata, its other channels, windows and OpenEXR parts as far as the format holds them.
// The file is written beside its final name and renamed, so an earlier file of that name survives
// a failed write; the temporary is removed when the program is interrupted (Temporaries.h).
// Throws ImageFileError.
void writeImage(const std::string& path, const vhost::Image& image, const WriteOptions& options = {},
                const PlateLayout& layout = PlateLayout());

}  // namespace imagefiles
