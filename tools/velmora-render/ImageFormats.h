#pragma once

// The inner pieces of ImageFiles: what each format is, the plate's layout an output keeps, and the
// OpenImageIO readers opened through InputFile, so the library only ever sees a regular file, never
// past the size it had when it was opened.

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ImageFiles.h"
#include "InputFile.h"

namespace imagefiles {

struct FormatInfo {
    ImageFormat format;
    const char* oiioName;  // OpenImageIO's name of the format
    const char* noun;      // in messages: "unreadable OpenEXR file (...)"
    const char* named;     // "an OpenEXR file"
    bool writable;
    std::vector<std::string> depths;  // written depths, the default first
};

const FormatInfo& formatInfo(ImageFormat format);

// OpenImageIO reading through an opened InputFile.
class InputFileProxy : public OIIO::Filesystem::IOProxy {
  public:
    explicit InputFileProxy(InputFile& file);
    const char* proxytype() const override { return "velmora-input"; }
    size_t read(void* buffer, size_t size) override;
    size_t pread(void* buffer, size_t size, int64_t offset) override;
    bool seek(int64_t offset) override;
    int64_t tell() override;
    size_t size() const override;
    size_t write(const void*, size_t) override { return 0; }
    size_t pwrite(const void*, size_t, int64_t) override { return 0; }

  private:
    InputFile& file_;
    std::mutex mutex_;
};

// An image file opened and checked: regular, of its format, its pictures of a size the file can
// hold and velmora-render takes. `reader` is null for a luminance/chroma OpenEXR file, which the
// OpenEXR library's RGBA interface reads (OpenImageIO does not read subsampled channels).
struct OpenedImage {
    std::unique_ptr<InputFile> file;
    std::vector<unsigned char> contents;  // the whole file, for a reader that reads memory only (JPEG)
    std::unique_ptr<OIIO::Filesystem::IOProxy> proxy;
    std::unique_ptr<OIIO::ImageInput> reader;
    const FormatInfo* info = nullptr;
    OIIO::ImageSpec spec;  // the first subimage's
    ImageSize size;        // its display window
};

// Throws ImageFileError naming the file and the reason.
OpenedImage openImage(const std::string& path);

// The index of the channel of that name, or -1.
inline int channelIndex(const OIIO::ImageSpec& spec, const std::string& name) {
    for (int c = 0; c < spec.nchannels; ++c)
        if (spec.channel_name(c) == name) return c;
    return -1;
}

// "path: unreadable PNG (reason)".
ImageFileError unreadable(const std::string& path, const FormatInfo& info, const std::string& reason);

// Throws ImageFileError for a side longer than kMaxSide.
void requireSupportedSize(const std::string& path, std::uint64_t width, std::uint64_t height);
// Throws ImageFileError when the float RGBA image of `size` would take more than `maxBytes`.
void requireWithinLimit(const std::string& path, const ImageSize& size, std::uint64_t maxBytes);

// The image a reader fills: `reuse` when it has the size and tight rows, else a new one. Frames of
// a sequence then land in the same memory, which the plug-in refreshes in place.
vhost::ImagePtr imageFor(int width, int height, const vhost::ImagePtr& reuse);

// Rows of a subimage's data window, a strip at a time (scan lines, or rows of tiles), all channels
// in the given type (TypeUnknown: each channel's own); the strip holding a row is read when a row
// of it is first asked for.
class StripReader {
  public:
    StripReader(OIIO::ImageInput& reader, int subimage, const OIIO::ImageSpec& spec, OIIO::TypeDesc type);
    // The data-window row y (file coordinates), pixel by pixel; null outside the data window.
    const unsigned char* row(int y);
    std::size_t pixelBytes() const { return pixelBytes_; }

  private:
    OIIO::ImageInput& reader_;
    int subimage_;
    const OIIO::ImageSpec& spec_;
    OIIO::TypeDesc type_;
    std::size_t pixelBytes_;
    int stripLines_;
    int first_ = 0, count_ = 0;  // rows held
    std::vector<unsigned char> strip_;
};

// An OpenEXR file's first header, checked: not empty, no side too long, and no more chunks than the
// file can hold. Throws ImageFileError.
struct ExrFirstHeader {
    ImageSize size;  // the display window
    bool luminanceChroma = false;
};
ExrFirstHeader checkExrFirstHeader(InputFile& file);

// Reads a luminance/chroma OpenEXR file's display window into RGBA.
vhost::ImagePtr readLuminanceChroma(InputFile& file, const vhost::ImagePtr& reuse, std::uint64_t maxBytes);

// Writes `image` to exactly `path` (ImageFiles takes care of the temporary name and rename).
// Notes name the file as `shownPath`.
void writeFile(const std::string& path, const std::string& shownPath, ImageFormat format,
               const vhost::Image& image, const WriteOptions& options, const PlateLayout& layout);

struct PlateLayout::Data {
    std::string path;
    ImageFormat format = ImageFormat::Exr;
    FileStamp stamp;
    std::vector<OIIO::ImageSpec> specs;  // every subimage; the first is the one rendered
};

}  // namespace imagefiles
