// OpenEXR through the OpenEXR library. Files are read and written in strips of scan lines that
// are turned over into the image (bottom row first), so no second full frame is needed.
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>
#include <ImfRgbaFile.h>
#include <ImfThreading.h>
#include <ImfTileDescription.h>
#include <ImfVersion.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "ExrHeaderScan.h"
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

// The OpenEXR library reads through the opened file, so it sees only what InputFile accepted.
class FileStream : public Imf::IStream {
  public:
    explicit FileStream(InputFile& file) : Imf::IStream(file.path().c_str()), file_(file) {}

    bool read(char c[], int n) override {
        if (n < 0 || file_.read(c, static_cast<std::size_t>(n)) != static_cast<std::size_t>(n))
            throw std::runtime_error("the file ends early");
        return file_.position() < file_.size();
    }
    uint64_t tellg() override { return file_.position(); }
    void seekg(uint64_t pos) override {
        if (!file_.seek(pos)) throw std::runtime_error("a read past the end of the file");
    }

  private:
    InputFile& file_;
};

// Scan lines per stored chunk of each compression.
int linesPerChunk(Imf::Compression compression) {
    switch (compression) {
        case Imf::ZIP_COMPRESSION:
        case Imf::PXR24_COMPRESSION:
            return 16;
        case Imf::PIZ_COMPRESSION:
        case Imf::B44_COMPRESSION:
        case Imf::B44A_COMPRESSION:
        case Imf::DWAA_COMPRESSION:
            return 32;
        case Imf::DWAB_COMPRESSION:
            return 256;
        default:
            return 1;
    }
}

// Every chunk of the data window has an 8-byte entry in the file's offset table and a header of 8
// bytes or more, so a file shorter than that cannot hold the pixels it claims.
void requireChunksFit(const std::string& path, const Imf::Header& header, std::uint64_t fileBytes) {
    const Imath::Box2i& dw = header.dataWindow();
    const std::uint64_t width = static_cast<std::uint64_t>(static_cast<long long>(dw.max.x) - dw.min.x + 1);
    const std::uint64_t height = static_cast<std::uint64_t>(static_cast<long long>(dw.max.y) - dw.min.y + 1);
    std::uint64_t chunks = 0;
    if (header.hasTileDescription()) {
        const Imf::TileDescription& tiles = header.tileDescription();
        const std::uint64_t across = (width + tiles.xSize - 1) / std::max(1u, tiles.xSize);
        const std::uint64_t down = (height + tiles.ySize - 1) / std::max(1u, tiles.ySize);
        chunks = across * down;
    } else {
        const std::uint64_t lines = static_cast<std::uint64_t>(linesPerChunk(header.compression()));
        chunks = (height + lines - 1) / lines;
    }
    if (chunks > fileBytes / 16)
        throw ImageFileError(path + ": unreadable OpenEXR file (the file is too short for its " +
                             std::to_string(width) + "x" + std::to_string(height) + " pixels)");
}

// The file's first header, read before the OpenEXR library reads the offset table that follows it.
Imf::Header firstHeader(InputFile& input, FileStream& stream) {
    unsigned char start[8] = {};
    if (input.read(start, sizeof start) != sizeof start || !Imf::isImfMagic(reinterpret_cast<char*>(start)))
        throw ImageFileError(input.path() + ": unreadable OpenEXR file (not an OpenEXR file)");
    int version =
        static_cast<int>(start[4] | (start[5] << 8) | (start[6] << 16) | (unsigned(start[7]) << 24));
    if (Imf::getVersion(version) != Imf::EXR_VERSION || !Imf::supportsFlags(Imf::getFlags(version)))
        throw ImageFileError(input.path() + ": unreadable OpenEXR file (unsupported version)");
    requireHeadersFit(input, Imf::isMultiPart(version));
    input.seek(sizeof start);
    Imf::Header header;
    header.readFrom(stream, version);
    input.seek(0);
    return header;
}

// The display window's size, checked against the supported size and the data against the file.
ImageSize checkedSize(const std::string& path, const Imf::Header& header, std::uint64_t fileBytes) {
    const Imath::Box2i& display = header.displayWindow();
    const Imath::Box2i& data = header.dataWindow();
    const long long width = static_cast<long long>(display.max.x) - display.min.x + 1;
    const long long height = static_cast<long long>(display.max.y) - display.min.y + 1;
    const long long dataWidth = static_cast<long long>(data.max.x) - data.min.x + 1;
    const long long dataHeight = static_cast<long long>(data.max.y) - data.min.y + 1;
    if (width <= 0 || height <= 0 || dataWidth <= 0 || dataHeight <= 0)
        throw ImageFileError(path + ": the image is empty");
    requireSupportedSize(path, static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height));
    requireSupportedSize(path, static_cast<std::uint64_t>(dataWidth), static_cast<std::uint64_t>(dataHeight));
    requireChunksFit(path, header, fileBytes);
    return ImageSize{static_cast<int>(width), static_cast<int>(height)};
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

// The image for the file's display window, within `maxBytes`.
vhost::ImagePtr imageForWindows(const std::string& path, const Placement& place, const ImageSize& size,
                                const vhost::ImagePtr& reuse, std::uint64_t maxBytes) {
    requireWithinLimit(path, size, maxBytes);
    vhost::ImagePtr image = imageFor(size.width, size.height, reuse);
    if (!place.coversDisplay()) image->fill(0.0f, 0.0f, 0.0f, 0.0f);
    return image;
}

// Luminance/chroma files go through the RGBA interface, which converts them (half precision).
vhost::ImagePtr readLuminanceChroma(Imf::IStream& stream, const ImageSize& size, const vhost::ImagePtr& reuse,
                                    std::uint64_t maxBytes) {
    stream.seekg(0);
    Imf::RgbaInputFile file(stream);
    const Placement place(file.dataWindow(), file.displayWindow());
    vhost::ImagePtr image = imageForWindows(stream.fileName(), place, size, reuse, maxBytes);
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

vhost::ImagePtr readChannels(InputFile& input, const vhost::ImagePtr& reuse, std::uint64_t maxBytes) {
    const std::string& path = input.path();
    FileStream stream(input);
    const ImageSize size = checkedSize(path, firstHeader(input, stream), input.size());
    Imf::InputFile file(stream);
    const Imf::ChannelList& channels = file.header().channels();
    const bool hasColour =
        channels.findChannel("R") || channels.findChannel("G") || channels.findChannel("B");
    const bool hasLuminance = channels.findChannel("Y") != nullptr;
    const Placement place(file.header().dataWindow(), file.header().displayWindow());
    if (!hasColour && hasLuminance && (channels.findChannel("RY") || channels.findChannel("BY")))
        return readLuminanceChroma(stream, size, reuse, maxBytes);
    if (!hasColour && !hasLuminance && !channels.findChannel("A"))
        throw ImageFileError(path + ": the OpenEXR file has no R, G, B, Y or A channel");
    const bool grey = !hasColour && hasLuminance;

    vhost::ImagePtr image = imageForWindows(path, place, size, reuse, maxBytes);
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

ImageSize exrSize(InputFile& input) {
    try {
        FileStream stream(input);
        return checkedSize(input.path(), firstHeader(input, stream), input.size());
    } catch (const ImageFileError&) {
        throw;
    } catch (const std::exception& e) {
        throw ImageFileError(input.path() + ": unreadable OpenEXR file (" + e.what() + ")");
    }
}

vhost::ImagePtr readExr(InputFile& input, const vhost::ImagePtr& reuse, std::uint64_t maxBytes) {
    useAllCores();
    try {
        return readChannels(input, reuse, maxBytes);
    } catch (const ImageFileError&) {
        throw;
    } catch (const std::exception& e) {
        throw ImageFileError(input.path() + ": unreadable OpenEXR file (" + e.what() + ")");
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
