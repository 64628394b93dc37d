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

// Copies strip lines [y0, y0 + n) of the file (top first) into the image, turned over.
void storeStrip(vhost::Image& image, const std::vector<float>& strip, int y0, int n, int minY) {
    const int width = image.width(), height = image.height();
    for (int i = 0; i < n; ++i) {
        const int fileRow = y0 + i - minY;
        std::memcpy(image.pixel(0, height - 1 - fileRow),
                    strip.data() + static_cast<std::size_t>(i) * width * 4,
                    static_cast<std::size_t>(width) * 16);
    }
}

// Luminance/chroma files go through the RGBA interface, which converts them (half precision).
vhost::ImagePtr readLuminanceChroma(const std::string& path, const vhost::ImagePtr& reuse) {
    Imf::RgbaInputFile file(path.c_str());
    const Imath::Box2i dw = file.dataWindow();
    const int width = dw.max.x - dw.min.x + 1, height = dw.max.y - dw.min.y + 1;
    vhost::ImagePtr image = imageFor(width, height, reuse);
    std::vector<Imf::Rgba> halves(static_cast<std::size_t>(width) * kStripLines);
    std::vector<float> strip(static_cast<std::size_t>(width) * 4 * kStripLines);
    for (int y0 = dw.min.y; y0 <= dw.max.y; y0 += kStripLines) {
        const int n = std::min(kStripLines, dw.max.y - y0 + 1);
        file.setFrameBuffer(halves.data() - dw.min.x - static_cast<std::ptrdiff_t>(y0) * width, 1, width);
        file.readPixels(y0, y0 + n - 1);
        for (std::size_t i = 0; i < static_cast<std::size_t>(width) * n; ++i) {
            strip[i * 4 + 0] = halves[i].r;
            strip[i * 4 + 1] = halves[i].g;
            strip[i * 4 + 2] = halves[i].b;
            strip[i * 4 + 3] = halves[i].a;
        }
        storeStrip(*image, strip, y0, n, dw.min.y);
    }
    return image;
}

vhost::ImagePtr readChannels(const std::string& path, const vhost::ImagePtr& reuse) {
    Imf::InputFile file(path.c_str());
    const Imf::ChannelList& channels = file.header().channels();
    const bool hasColour =
        channels.findChannel("R") || channels.findChannel("G") || channels.findChannel("B");
    const bool hasLuminance = channels.findChannel("Y") != nullptr;
    const Imath::Box2i dw = file.header().dataWindow();
    const long long width = static_cast<long long>(dw.max.x) - dw.min.x + 1;
    const long long height = static_cast<long long>(dw.max.y) - dw.min.y + 1;
    if (width <= 0 || height <= 0) throw ImageFileError(path + ": the image is empty");
    if (width > (1 << 15) || height > (1 << 15))
        throw ImageFileError(path + ": the image is too large (" + std::to_string(width) + "x" +
                             std::to_string(height) + ")");
    if (!hasColour && hasLuminance && (channels.findChannel("RY") || channels.findChannel("BY")))
        return readLuminanceChroma(path, reuse);
    if (!hasColour && !hasLuminance && !channels.findChannel("A"))
        throw ImageFileError(path + ": the OpenEXR file has no R, G, B, Y or A channel");
    const bool grey = !hasColour && hasLuminance;
    vhost::ImagePtr image = imageFor(static_cast<int>(width), static_cast<int>(height), reuse);
    std::vector<float> strip(static_cast<std::size_t>(width) * 4 * kStripLines);
    const std::size_t xStride = 16, yStride = static_cast<std::size_t>(width) * 16;
    for (int y0 = dw.min.y; y0 <= dw.max.y; y0 += kStripLines) {
        const int n = std::min(kStripLines, dw.max.y - y0 + 1);
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
        storeStrip(*image, strip, y0, n, dw.min.y);
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
