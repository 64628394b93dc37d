// OpenEXR through the OpenEXR library. Files are read and written in strips of scan lines that
// are turned over into the image (bottom row first), so no second full frame is needed.
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>
#include <ImfRgbaFile.h>
#include <ImfThreading.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "ImageCodecs.h"
#include "ImageFiles.h"

namespace imagefiles {
namespace {

constexpr int kStripLines = 64;

void useAllCores() {
    static std::once_flag once;
    std::call_once(once, [] {
        const unsigned cores = std::thread::hardware_concurrency();
        Imf::setGlobalThreadCount(static_cast<int>(cores > 1 ? cores : 0));
    });
}

// Where the file's pixels (its data window) land in the image, which is its display window:
// rows and columns outside the display window are dropped, and image pixels the data window
// does not cover are 0 in every channel.
struct Placement {
    Imath::Box2i data, display;
    int firstY = 0, lastY = -1;  // file rows of the data window inside the display window
    int firstX = 0, lastX = -1;  // and its columns

    Placement(const Imath::Box2i& dataWindow, const Imath::Box2i& displayWindow)
        : data(dataWindow), display(displayWindow) {
        firstY = std::max(data.min.y, display.min.y), lastY = std::min(data.max.y, display.max.y);
        firstX = std::max(data.min.x, display.min.x), lastX = std::min(data.max.x, display.max.x);
    }
    bool coversDisplay() const {
        return data.min.x <= display.min.x && data.min.y <= display.min.y && data.max.x >= display.max.x &&
               data.max.y >= display.max.y;
    }
    int dataWidth() const { return data.max.x - data.min.x + 1; }

    // Copies file rows [y0, y0 + n) held in `strip` (data-window wide, top first) into the image.
    void store(vhost::Image& image, const std::vector<float>& strip, int y0, int n) const {
        if (lastX < firstX) return;
        const int height = image.height();
        const std::size_t samples = static_cast<std::size_t>(lastX - firstX + 1) * 4;
        for (int y = std::max(y0, firstY); y <= std::min(y0 + n - 1, lastY); ++y) {
            const float* src =
                strip.data() + (static_cast<std::size_t>(y - y0) * dataWidth() + (firstX - data.min.x)) * 4;
            std::memcpy(image.pixel(firstX - display.min.x, height - 1 - (y - display.min.y)), src,
                        samples * sizeof(float));
        }
    }
};

// The image for the file's display window; throws ImageFileError for an empty or huge one.
vhost::ImagePtr imageForWindows(const std::string& path, const Placement& place,
                                const vhost::ImagePtr& reuse) {
    const long long width = static_cast<long long>(place.display.max.x) - place.display.min.x + 1;
    const long long height = static_cast<long long>(place.display.max.y) - place.display.min.y + 1;
    const long long dataWidth = static_cast<long long>(place.data.max.x) - place.data.min.x + 1;
    const long long dataHeight = static_cast<long long>(place.data.max.y) - place.data.min.y + 1;
    if (width <= 0 || height <= 0 || dataWidth <= 0 || dataHeight <= 0)
        throw ImageFileError(path + ": the image is empty");
    if (width > (1 << 15) || height > (1 << 15) || dataWidth > (1 << 15) || dataHeight > (1 << 15))
        throw ImageFileError(path + ": the image is too large (" + std::to_string(width) + "x" +
                             std::to_string(height) + ", data " + std::to_string(dataWidth) + "x" +
                             std::to_string(dataHeight) + ")");
    vhost::ImagePtr image = imageFor(static_cast<int>(width), static_cast<int>(height), reuse);
    if (!place.coversDisplay()) image->fill(0.0f, 0.0f, 0.0f, 0.0f);
    return image;
}

// Luminance/chroma files go through the RGBA interface, which converts them (half precision).
vhost::ImagePtr readLuminanceChroma(const std::string& path, const vhost::ImagePtr& reuse) {
    Imf::RgbaInputFile file(path.c_str());
    const Placement place(file.dataWindow(), file.displayWindow());
    vhost::ImagePtr image = imageForWindows(path, place, reuse);
    const Imath::Box2i& dw = place.data;
    const int width = place.dataWidth();
    std::vector<Imf::Rgba> halves(static_cast<std::size_t>(width) * kStripLines);
    std::vector<float> strip(static_cast<std::size_t>(width) * 4 * kStripLines);
    for (int y0 = place.firstY; y0 <= place.lastY; y0 += kStripLines) {
        const int n = std::min(kStripLines, place.lastY - y0 + 1);
        file.setFrameBuffer(halves.data() - dw.min.x - static_cast<std::ptrdiff_t>(y0) * width, 1, width);
        file.readPixels(y0, y0 + n - 1);
        for (std::size_t i = 0; i < static_cast<std::size_t>(width) * n; ++i) {
            strip[i * 4 + 0] = halves[i].r;
            strip[i * 4 + 1] = halves[i].g;
            strip[i * 4 + 2] = halves[i].b;
            strip[i * 4 + 3] = halves[i].a;
        }
        place.store(*image, strip, y0, n);
    }
    return image;
}

vhost::ImagePtr readChannels(const std::string& path, const vhost::ImagePtr& reuse) {
    Imf::InputFile file(path.c_str());
    const Imf::ChannelList& channels = file.header().channels();
    const bool hasColour =
        channels.findChannel("R") || channels.findChannel("G") || channels.findChannel("B");
    const bool hasLuminance = channels.findChannel("Y") != nullptr;
    const Placement place(file.header().dataWindow(), file.header().displayWindow());
    if (!hasColour && hasLuminance && (channels.findChannel("RY") || channels.findChannel("BY")))
        return readLuminanceChroma(path, reuse);
    if (!hasColour && !hasLuminance && !channels.findChannel("A"))
        throw ImageFileError(path + ": the OpenEXR file has no R, G, B, Y or A channel");
    const bool grey = !hasColour && hasLuminance;

    vhost::ImagePtr image = imageForWindows(path, place, reuse);
    const Imath::Box2i& dw = place.data;
    const long long width = place.dataWidth();
    std::vector<float> strip(static_cast<std::size_t>(width) * 4 * kStripLines);
    const std::size_t xStride = 16, yStride = static_cast<std::size_t>(width) * 16;
    for (int y0 = place.firstY; y0 <= place.lastY; y0 += kStripLines) {
        const int n = std::min(kStripLines, place.lastY - y0 + 1);
        const Imath::V2i origin(dw.min.x, y0);
        auto slice = [&](int channel, double fill) {
            return Imf::Slice::Make(Imf::FLOAT, strip.data() + channel, origin, int64_t{width}, int64_t{n},
                                    xStride, yStride, 1, 1, fill);
        };
        Imf::FrameBuffer buffer;
        buffer.insert(grey ? "Y" : "R", slice(0, 0.0));
        if (!grey) {
            buffer.insert("G", slice(1, 0.0));
            buffer.insert("B", slice(2, 0.0));
        }
        buffer.insert("A", slice(3, 1.0));
        file.setFrameBuffer(buffer);
        file.readPixels(y0, y0 + n - 1);
        if (grey)
            for (std::size_t i = 0; i < static_cast<std::size_t>(width) * n; ++i)
                strip[i * 4 + 1] = strip[i * 4 + 2] = strip[i * 4];
        place.store(*image, strip, y0, n);
    }
    return image;
}

}  // namespace

vhost::ImagePtr readExr(const std::string& path, const vhost::ImagePtr& reuse) {
    useAllCores();
    try {
        return readChannels(path, reuse);
    } catch (const ImageFileError&) {
        throw;
    } catch (const std::exception& e) {
        throw ImageFileError(path + ": unreadable OpenEXR file (" + e.what() + ")");
    }
}

void writeExr(const std::string& path, const vhost::Image& image) {
    useAllCores();
    const int width = image.width(), height = image.height();
    if (width <= 0 || height <= 0) throw ImageFileError(path + ": the image is empty");
    try {
        Imf::Header header(width, height);
        header.compression() = Imf::ZIP_COMPRESSION;
        for (const char* name : {"R", "G", "B", "A"})
            header.channels().insert(name, Imf::Channel(Imf::FLOAT));
        Imf::OutputFile file(path.c_str(), header);
        std::vector<float> strip(static_cast<std::size_t>(width) * 4 * kStripLines);
        const std::size_t rowBytes = static_cast<std::size_t>(width) * 16;
        for (int y0 = 0; y0 < height; y0 += kStripLines) {
            const int n = std::min(kStripLines, height - y0);
            for (int i = 0; i < n; ++i)
                std::memcpy(strip.data() + static_cast<std::size_t>(i) * width * 4,
                            image.pixel(image.bounds().x1, image.bounds().y2 - 1 - (y0 + i)), rowBytes);
            Imf::FrameBuffer buffer;
            const char* names[] = {"R", "G", "B", "A"};
            for (int c = 0; c < 4; ++c)
                buffer.insert(names[c],
                              Imf::Slice::Make(Imf::FLOAT, strip.data() + c, Imath::V2i(0, y0),
                                               int64_t{width}, int64_t{n}, std::size_t{16}, rowBytes));
            file.setFrameBuffer(buffer);
            file.writePixels(n);
        }
    } catch (const std::exception& e) {
        throw ImageFileError(path + ": OpenEXR file not written (" + e.what() + ")");
    }
}

}  // namespace imagefiles
