// What OpenImageIO cannot do for OpenEXR files: check the first header before the library reads the
// offset table that follows it, and read luminance/chroma files (Y with subsampled RY and BY), which
// the OpenEXR library's RGBA interface turns into RGBA. Both read through the opened InputFile.
#include <ImfChannelList.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfRgbaFile.h>
#include <ImfTileDescription.h>
#include <ImfVersion.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "ImageFormats.h"

namespace imagefiles {
namespace {

constexpr int kStripLines = 64;

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

const FormatInfo& exr() {
    return formatInfo(ImageFormat::Exr);
}

// The first header (its attributes already walked by requireHeadersFit).
Imf::Header firstHeader(InputFile& file) {
    unsigned char start[8] = {};
    file.seek(0);
    if (file.read(start, sizeof start) != sizeof start)
        throw unreadable(file.path(), exr(), "the file ends early");
    int version =
        static_cast<int>(start[4] | (start[5] << 8) | (start[6] << 16) | (unsigned(start[7]) << 24));
    FileStream stream(file);
    Imf::Header header;
    try {
        header.readFrom(stream, version);
    } catch (const std::exception& e) {
        throw unreadable(file.path(), exr(), e.what());
    }
    file.seek(0);
    return header;
}

}  // namespace

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

ExrFirstHeader checkExrFirstHeader(InputFile& file) {
    const Imf::Header header = firstHeader(file);
    const Imath::Box2i& display = header.displayWindow();
    const Imath::Box2i& data = header.dataWindow();
    const long long width = static_cast<long long>(display.max.x) - display.min.x + 1;
    const long long height = static_cast<long long>(display.max.y) - display.min.y + 1;
    const long long dataWidth = static_cast<long long>(data.max.x) - data.min.x + 1;
    const long long dataHeight = static_cast<long long>(data.max.y) - data.min.y + 1;
    if (width <= 0 || height <= 0 || dataWidth <= 0 || dataHeight <= 0)
        throw ImageFileError(file.path() + ": the image is empty");
    requireSupportedSize(file.path(), static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height));
    requireSupportedSize(file.path(), static_cast<std::uint64_t>(dataWidth),
                         static_cast<std::uint64_t>(dataHeight));
    // Every chunk of the data window has an 8-byte entry in the offset table and a header of 8 bytes
    // or more, so a file shorter than that cannot hold the pixels it claims; the library would
    // allocate the table before finding out.
    std::uint64_t chunks = 0;
    if (header.hasTileDescription()) {
        const Imf::TileDescription& tiles = header.tileDescription();
        chunks = ((static_cast<std::uint64_t>(dataWidth) + tiles.xSize - 1) / std::max(1u, tiles.xSize)) *
                 ((static_cast<std::uint64_t>(dataHeight) + tiles.ySize - 1) / std::max(1u, tiles.ySize));
    } else {
        const std::uint64_t lines = static_cast<std::uint64_t>(linesPerChunk(header.compression()));
        chunks = (static_cast<std::uint64_t>(dataHeight) + lines - 1) / lines;
    }
    if (chunks > file.size() / 16)
        throw unreadable(file.path(), exr(),
                         "the file is too short for its " + std::to_string(dataWidth) + "x" +
                             std::to_string(dataHeight) + " pixels");
    const Imf::ChannelList& channels = header.channels();
    ExrFirstHeader facts;
    facts.size = ImageSize{static_cast<int>(width), static_cast<int>(height)};
    facts.luminanceChroma = !channels.findChannel("R") && !channels.findChannel("G") &&
                            !channels.findChannel("B") && channels.findChannel("Y") &&
                            (channels.findChannel("RY") || channels.findChannel("BY"));
    return facts;
}

vhost::ImagePtr readLuminanceChroma(InputFile& file, const vhost::ImagePtr& reuse, std::uint64_t maxBytes) {
    const ImageSize size = checkExrFirstHeader(file).size;
    requireWithinLimit(file.path(), size, maxBytes);
    try {
        file.seek(0);
        FileStream stream(file);
        Imf::RgbaInputFile input(stream);
        const Imath::Box2i dw = input.dataWindow(), display = input.displayWindow();
        const int firstY = std::max(dw.min.y, display.min.y), lastY = std::min(dw.max.y, display.max.y);
        const int firstX = std::max(dw.min.x, display.min.x), lastX = std::min(dw.max.x, display.max.x);
        vhost::ImagePtr image = imageFor(size.width, size.height, reuse);
        if (!(firstX == display.min.x && firstY == display.min.y && lastX == display.max.x &&
              lastY == display.max.y))
            image->fill(0.0f, 0.0f, 0.0f, 0.0f);
        const int width = dw.max.x - dw.min.x + 1;
        std::vector<Imf::Rgba> halves(static_cast<std::size_t>(width) * kStripLines);
        for (int y0 = firstY; y0 <= lastY; y0 += kStripLines) {
            const int n = std::min(kStripLines, lastY - y0 + 1);
            input.setFrameBuffer(halves.data() - dw.min.x - static_cast<std::ptrdiff_t>(y0) * width, 1,
                                 width);
            input.readPixels(y0, y0 + n - 1);
            for (int y = y0; y < y0 + n; ++y) {
                const Imf::Rgba* row = halves.data() + static_cast<std::size_t>(y - y0) * width;
                float* out = image->pixel(firstX - display.min.x, size.height - 1 - (y - display.min.y));
                for (int x = firstX; x <= lastX; ++x, out += 4) {
                    const Imf::Rgba& p = row[x - dw.min.x];
                    out[0] = p.r, out[1] = p.g, out[2] = p.b, out[3] = p.a;
                }
            }
        }
        return image;
    } catch (const ImageFileError&) {
        throw;
    } catch (const std::exception& e) {
        throw unreadable(file.path(), exr(), e.what());
    }
}

}  // namespace imagefiles
