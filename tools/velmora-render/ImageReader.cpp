// Reading image files through OpenImageIO: each file is opened by us (a regular file, never read
// past its size), checked before anything is allocated for its pictures, then read a strip at a
// time into the float RGBA display window the effect takes.
#include <ImfVersion.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "ExrHeaderScan.h"
#include "ImageFormats.h"

namespace imagefiles {
namespace {

constexpr int kStripLines = 64;

bool startsWith(const unsigned char* head, std::size_t got, const char* magic, std::size_t length) {
    return got >= length && std::memcmp(head, magic, length) == 0;
}

bool hasMagic(ImageFormat format, const unsigned char* head, std::size_t got) {
    switch (format) {
        case ImageFormat::Exr:
            return startsWith(head, got, "\x76\x2f\x31\x01", 4);
        case ImageFormat::Png:
            return startsWith(head, got, "\x89PNG\r\n\x1a\n", 8);
        case ImageFormat::Tiff:
            return startsWith(head, got, "II*\0", 4) || startsWith(head, got, "MM\0*", 4) ||
                   startsWith(head, got, "II+\0", 4) || startsWith(head, got, "MM\0+", 4);
        case ImageFormat::Dpx:
            return startsWith(head, got, "SDPX", 4) || startsWith(head, got, "XPDS", 4);
        case ImageFormat::Jpeg:
            return startsWith(head, got, "\xff\xd8\xff", 3);
    }
    return false;
}

// An OpenEXR file's version and flags, and every header walked as the OpenEXR library will read it,
// so that no attribute claims more than the file holds.
void checkExrHeaders(InputFile& file, const FormatInfo& info, const unsigned char* head) {
    const int version =
        static_cast<int>(head[4] | (head[5] << 8) | (head[6] << 16) | (unsigned(head[7]) << 24));
    if (Imf::getVersion(version) != Imf::EXR_VERSION || !Imf::supportsFlags(Imf::getFlags(version)))
        throw unreadable(file.path(), info, "unsupported version");
    file.seek(8);
    requireHeadersFit(file, Imf::isMultiPart(version));
}

// A PNG's size from its header: larger than velmora-render takes, or far larger than the file can
// hold (deflate packs at most about 1032 bytes into one), it is refused before the PNG library
// sees it.
void checkPngHeader(InputFile& file, const FormatInfo& info, const unsigned char* head, std::size_t got) {
    if (got < 33 || std::memcmp(head + 12, "IHDR", 4) != 0) throw unreadable(file.path(), info, "no header");
    auto word = [&](int at) {
        return (std::uint32_t(head[at]) << 24) | (std::uint32_t(head[at + 1]) << 16) |
               (std::uint32_t(head[at + 2]) << 8) | std::uint32_t(head[at + 3]);
    };
    const std::uint32_t width = word(16), height = word(20);
    if (width == 0 || height == 0) throw ImageFileError(file.path() + ": the image is empty");
    requireSupportedSize(file.path(), width, height);
    const int channels[7] = {1, 0, 3, 1, 2, 0, 4};
    const int samples = head[25] < 7 ? channels[head[25]] : 0;
    const double rowBytes = std::ceil(static_cast<double>(width) * std::max(samples, 1) * head[24] / 8.0) + 1;
    if (rowBytes * height > 1100.0 * static_cast<double>(file.size()) + 4096.0)
        throw unreadable(file.path(), info,
                         "the file is too short for its " + std::to_string(width) + "x" +
                             std::to_string(height) + " picture");
}

// A DPX file's header, before the library allocates what it states: the user data and the
// picture must fit in the file, and the picture in the sides velmora-render takes.
void checkDpxHeader(InputFile& file, const FormatInfo& info, const unsigned char* head, std::size_t got) {
    if (got < 780) throw unreadable(file.path(), info, "the header is cut short");
    const bool big = head[0] == 'S';
    auto word = [&](int at) {
        return big ? (std::uint32_t(head[at]) << 24) | (std::uint32_t(head[at + 1]) << 16) |
                         (std::uint32_t(head[at + 2]) << 8) | std::uint32_t(head[at + 3])
                   : (std::uint32_t(head[at + 3]) << 24) | (std::uint32_t(head[at + 2]) << 16) |
                         (std::uint32_t(head[at + 1]) << 8) | std::uint32_t(head[at]);
    };
    const std::uint64_t size = file.size();
    if (word(4) > size) throw unreadable(file.path(), info, "the picture starts beyond the end of the file");
    if (word(32) != 0xffffffffu && word(32) > size)
        throw unreadable(file.path(), info, "the user data is longer than the file");
    const std::uint32_t width = word(772), height = word(776);
    if (width == 0 || height == 0) throw ImageFileError(file.path() + ": the image is empty");
    requireSupportedSize(file.path(), width, height);
    // Uncompressed samples of at least one bit: eight pixels a byte at the very most.
    if (static_cast<std::uint64_t>(width) * height > size * 8)
        throw unreadable(file.path(), info,
                         "the file is too short for its " + std::to_string(width) + "x" +
                             std::to_string(height) + " picture");
}

// The pictures' sizes, checked: not empty, no side too long, and no more pixels than the file can
// hold (formats other than OpenEXR pack at most a few thousand bytes of pixels into one).
void checkSizes(const std::string& path, const FormatInfo& info, const OIIO::ImageSpec& spec,
                std::uint64_t fileBytes) {
    if (spec.width <= 0 || spec.height <= 0 || spec.full_width <= 0 || spec.full_height <= 0)
        throw ImageFileError(path + ": the image is empty");
    requireSupportedSize(path, static_cast<std::uint64_t>(spec.full_width),
                         static_cast<std::uint64_t>(spec.full_height));
    requireSupportedSize(path, static_cast<std::uint64_t>(spec.width),
                         static_cast<std::uint64_t>(spec.height));
    if (spec.deep) throw unreadable(path, info, "deep pixels are not supported");
    if (spec.depth > 1) throw unreadable(path, info, "volume images are not supported");
    if (info.format == ImageFormat::Exr)
        return;  // its chunks were counted against the file before it was opened
    const double pixelBytes = static_cast<double>(spec.width) * static_cast<double>(spec.height) *
                              static_cast<double>(std::max<std::size_t>(spec.pixel_bytes(true), 1));
    if (pixelBytes > 4096.0 * static_cast<double>(fileBytes) + 65536.0)
        throw unreadable(path, info,
                         "the file is too short for its " + std::to_string(spec.width) + "x" +
                             std::to_string(spec.height) + " picture");
}

// Where each of R, G, B and A comes from among the file's channels (-1: none), by name: a
// luminance or lone channel is grey.
struct ChannelMap {
    int source[4] = {-1, -1, -1, -1};

    explicit ChannelMap(const OIIO::ImageSpec& spec) {
        const char* names[4] = {"R", "G", "B", "A"};
        for (int c = 0; c < 4; ++c) source[c] = channelIndex(spec, names[c]);
        if (source[0] >= 0 || source[1] >= 0 || source[2] >= 0) return;
        int grey = channelIndex(spec, "Y");
        for (int c = 0; grey < 0 && c < spec.nchannels; ++c)
            if (c != source[3]) grey = c;
        source[0] = source[1] = source[2] = grey;
    }
};

}  // namespace

ImageFileError unreadable(const std::string& path, const FormatInfo& info, const std::string& reason) {
    return ImageFileError(path + ": unreadable " + info.noun + " (" + reason + ")");
}

InputFileProxy::InputFileProxy(InputFile& file) : IOProxy(file.path(), Read), file_(file) {
    file_.seek(0);
}

size_t InputFileProxy::read(void* buffer, size_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!file_.seek(static_cast<std::uint64_t>(std::max<int64_t>(m_pos, 0)))) return 0;
    const size_t got = file_.read(buffer, size);
    m_pos += static_cast<int64_t>(got);
    return got;
}

size_t InputFileProxy::pread(void* buffer, size_t size, int64_t offset) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (offset < 0 || !file_.seek(static_cast<std::uint64_t>(offset))) return 0;
    return file_.read(buffer, size);
}

bool InputFileProxy::seek(int64_t offset) {
    if (offset < 0 || static_cast<std::uint64_t>(offset) > file_.size()) return false;
    m_pos = offset;
    return true;
}

int64_t InputFileProxy::tell() {
    return m_pos;
}

size_t InputFileProxy::size() const {
    return static_cast<size_t>(file_.size());
}

OpenedImage openImage(const std::string& path) {
    OpenedImage opened;
    opened.info = &formatInfo(formatOf(path));
    const FormatInfo& info = *opened.info;
    opened.file = std::make_unique<InputFile>(path);
    InputFile& file = *opened.file;

    unsigned char head[1024] = {};
    const std::size_t got = file.read(head, sizeof head);
    if (!hasMagic(info.format, head, got)) throw ImageFileError(path + ": not " + info.named);
    if (info.format == ImageFormat::Exr) {
        checkExrHeaders(file, info, head);
        const ExrFirstHeader first = checkExrFirstHeader(file);
        if (first.luminanceChroma) {
            opened.size = first.size;
            return opened;
        }
    }
    if (info.format == ImageFormat::Png) checkPngHeader(file, info, head, got);
    if (info.format == ImageFormat::Dpx) checkDpxHeader(file, info, head, got);
    file.seek(0);

    if (info.format == ImageFormat::Jpeg) {
        // OpenImageIO's JPEG reader takes its input from memory only.
        constexpr std::uint64_t kLargestJpeg = std::uint64_t(512) << 20;
        if (file.size() > kLargestJpeg)
            throw unreadable(path, info, "larger than the 512 MB a JPEG file may take");
        opened.contents.resize(static_cast<std::size_t>(file.size()));
        file.seek(0);
        if (file.read(opened.contents.data(), opened.contents.size()) != opened.contents.size())
            throw unreadable(path, info, "the file ends early");
        opened.proxy =
            std::make_unique<OIIO::Filesystem::IOMemReader>(opened.contents.data(), opened.contents.size());
    } else {
        opened.proxy = std::make_unique<InputFileProxy>(file);
    }
    opened.reader = OIIO::ImageInput::create(info.oiioName);
    if (!opened.reader) throw unreadable(path, info, "no reader for the format: " + OIIO::geterror());
    opened.reader->set_ioproxy(opened.proxy.get());
    // Values as stored: alpha that a format keeps unassociated (PNG, TIFF) is not multiplied in.
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    void* proxy = opened.proxy.get();
    config.attribute("oiio:ioproxy", OIIO::TypeDesc::PTR, &proxy);
    OIIO::ImageSpec spec;
    if (!opened.reader->open(path, spec, config)) {
        std::string reason = opened.reader->geterror();
        throw unreadable(path, info, reason.empty() ? std::string("the library cannot read it") : reason);
    }
    opened.spec = spec;
    checkSizes(path, info, spec, file.size());
    opened.size = ImageSize{spec.full_width, spec.full_height};
    return opened;
}

StripReader::StripReader(OIIO::ImageInput& reader, int subimage, const OIIO::ImageSpec& spec,
                         OIIO::TypeDesc type)
    : reader_(reader),
      subimage_(subimage),
      spec_(spec),
      type_(type),
      pixelBytes_(type == OIIO::TypeUnknown ? spec.pixel_bytes(true) : type.size() * spec.nchannels),
      stripLines_(spec.tile_width > 0 && spec.tile_height > 0 ? spec.tile_height : kStripLines) {}

const unsigned char* StripReader::row(int y) {
    if (y < spec_.y || y >= spec_.y + spec_.height) return nullptr;
    if (y < first_ || y >= first_ + count_) {
        first_ = spec_.y + (y - spec_.y) / stripLines_ * stripLines_;
        count_ = std::min(stripLines_, spec_.y + spec_.height - first_);
        const std::size_t rowBytes = pixelBytes_ * static_cast<std::size_t>(spec_.width);
        strip_.resize(rowBytes * static_cast<std::size_t>(count_));
        const bool read =
            spec_.tile_width > 0 && spec_.tile_height > 0
                ? reader_.read_tiles(subimage_, 0, spec_.x, spec_.x + spec_.width, first_, first_ + count_, 0,
                                     1, 0, spec_.nchannels, type_, strip_.data())
                : reader_.read_scanlines(subimage_, 0, first_, first_ + count_, 0, 0, spec_.nchannels, type_,
                                         strip_.data());
        if (!read) {
            count_ = 0;
            const std::string reason = reader_.geterror();
            throw std::runtime_error(reason.empty() ? std::string("the pixels cannot be read") : reason);
        }
    }
    return strip_.data() +
           pixelBytes_ * static_cast<std::size_t>(spec_.width) * static_cast<std::size_t>(y - first_);
}

ImageSize readImageSize(const std::string& path) {
    return openImage(path).size;
}

vhost::ImagePtr readImage(const std::string& path, const vhost::ImagePtr& reuse, std::uint64_t maxBytes,
                          PlateLayout* layout) {
    OpenedImage opened = openImage(path);
    requireWithinLimit(path, opened.size, maxBytes);
    if (!opened.reader) {
        if (layout) *layout = PlateLayout();
        return readLuminanceChroma(*opened.file, reuse, maxBytes);
    }
    const OIIO::ImageSpec& spec = opened.spec;
    vhost::ImagePtr image = imageFor(opened.size.width, opened.size.height, reuse);
    const int firstX = std::max(spec.x, spec.full_x),
              lastX = std::min(spec.x + spec.width, spec.full_x + spec.full_width);
    const int firstY = std::max(spec.y, spec.full_y),
              lastY = std::min(spec.y + spec.height, spec.full_y + spec.full_height);
    if (!(firstX == spec.full_x && firstY == spec.full_y && lastX == spec.full_x + spec.full_width &&
          lastY == spec.full_y + spec.full_height))
        image->fill(0.0f, 0.0f, 0.0f, 0.0f);

    const ChannelMap map(spec);
    const float fallback[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    try {
        StripReader rows(*opened.reader, 0, spec, OIIO::TypeFloat);
        const int height = opened.size.height;
        for (int y = firstY; y < lastY; ++y) {
            const float* row = reinterpret_cast<const float*>(rows.row(y));
            float* out = image->pixel(firstX - spec.full_x, height - 1 - (y - spec.full_y));
            for (int x = firstX; x < lastX; ++x, out += 4) {
                const float* in = row + static_cast<std::size_t>(x - spec.x) * spec.nchannels;
                for (int c = 0; c < 4; ++c) out[c] = map.source[c] >= 0 ? in[map.source[c]] : fallback[c];
            }
        }
    } catch (const std::runtime_error& e) {
        throw unreadable(path, *opened.info, e.what());
    }

    if (layout) {
        auto data = std::make_shared<PlateLayout::Data>();
        data->path = path;
        data->format = opened.info->format;
        data->stamp = opened.file->stamp();
        data->specs.push_back(spec);
        for (int subimage = 1; opened.reader->seek_subimage(subimage, 0); ++subimage)
            data->specs.push_back(opened.reader->spec());
        *layout = PlateLayout(data);
    }
    return image;
}

}  // namespace imagefiles
