// PNG through libpng. Its errors arrive through a long jump; the functions that set the jump
// point hold only plain data whose lifetime spans the whole call, and turn a failure into an
// ImageFileError once back on the ordinary path.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "ImageCodecs.h"
#include "ImageFiles.h"

namespace imagefiles {
namespace {

struct ErrorText {
    char text[256] = "";
};

void onError(png_structp png, png_const_charp message) {
    auto* error = static_cast<ErrorText*>(png_get_error_ptr(png));
    std::snprintf(error->text, sizeof(error->text), "%s", message ? message : "unknown libpng error");
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File openFile(const std::string& path, const char* mode) {
    File file(std::fopen(path.c_str(), mode));
    if (!file) throw ImageFileError(path + ": cannot be opened (" + std::strerror(errno) + ")");
    return file;
}

// The decoded picture: rows top first, 4 samples a pixel of 8 or 16 bits (native order).
struct Decoded {
    png_uint_32 width = 0, height = 0;
    int bitDepth = 8;
    std::vector<unsigned char> pixels;
    std::vector<png_bytep> rows;
};

// Where libpng reads from: the opened file, and a read error's text.
struct Source {
    InputFile* file = nullptr;
    ErrorText* error = nullptr;
};

void readFromSource(png_structp png, png_bytep data, png_size_t length) {
    auto* source = static_cast<Source*>(png_get_io_ptr(png));
    std::size_t got = 0;
    bool failed = false;
    try {
        got = source->file->read(data, length);
    } catch (const ImageFileError&) {
        failed = true;
    }
    if (failed) png_error(png, "read error");
    if (got != length) png_error(png, "the file ends early");
}

// Reads the whole file into `out`; false with `error` filled on failure.
bool decode(InputFile& file, Decoded* out, ErrorText* error) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, error, onError, onWarning);
    if (!png) {
        std::snprintf(error->text, sizeof(error->text), "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        if (!error->text[0]) std::snprintf(error->text, sizeof(error->text), "out of memory");
        return false;
    }
    Source source{&file, error};
    png_set_read_fn(png, &source, readFromSource);
    png_set_user_limits(png, kMaxSide, kMaxSide);
    png_read_info(png, info);
    const int colorType = png_get_color_type(png, info);
    png_set_expand(png);  // palette to RGB, grey below 8 bits to 8, transparency to alpha
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_add_alpha(png, 0xffff, PNG_FILLER_AFTER);
    if (png_get_bit_depth(png, info) == 16) png_set_swap(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    out->width = png_get_image_width(png, info);
    out->height = png_get_image_height(png, info);
    out->bitDepth = png_get_bit_depth(png, info);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    if (png_get_channels(png, info) != 4 || rowBytes != out->width * 4u * (out->bitDepth / 8u)) {
        std::snprintf(error->text, sizeof(error->text), "unexpected pixel layout after conversion");
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    out->pixels.resize(rowBytes * out->height);
    out->rows.resize(out->height);
    for (png_uint_32 y = 0; y < out->height; ++y) out->rows[y] = out->pixels.data() + rowBytes * y;
    png_read_image(png, out->rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

// Writes `height` rows of 8-bit RGBA produced by fillRow(top-first row index, row).
struct Encoder {
    png_uint_32 width = 0, height = 0;
    const vhost::Image* image = nullptr;
    std::vector<unsigned char> row;
};

unsigned char toByte(float v) {
    if (!(v > 0.0f)) return 0;  // also NaN
    if (v >= 1.0f) return 255;
    return static_cast<unsigned char>(std::lround(v * 255.0f));
}

void fillRow(const Encoder& encoder, png_uint_32 fileRow, unsigned char* row) {
    const vhost::Image& image = *encoder.image;
    const int y = image.bounds().y2 - 1 - static_cast<int>(fileRow);
    const float* src = image.pixel(image.bounds().x1, y);
    for (png_uint_32 i = 0; i < encoder.width * 4; ++i) row[i] = toByte(src[i]);
}

bool encode(std::FILE* file, Encoder* encoder, ErrorText* error) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, error, onError, onWarning);
    if (!png) {
        std::snprintf(error->text, sizeof(error->text), "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        if (!error->text[0]) std::snprintf(error->text, sizeof(error->text), "out of memory");
        return false;
    }
    png_init_io(png, file);
    // Fast compression: a sequence spends its time rendering, not deflating.
    png_set_compression_level(png, 3);
    png_set_IHDR(png, info, encoder->width, encoder->height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (png_uint_32 y = 0; y < encoder->height; ++y) {
        fillRow(*encoder, y, encoder->row.data());
        png_write_row(png, encoder->row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

ImageSize pngSize(InputFile& file) {
    // Signature, then the IHDR chunk: length 13, "IHDR", width and height (big-endian), bit depth
    // and colour type.
    unsigned char head[26] = {};
    if (file.read(head, sizeof head) != sizeof head || png_sig_cmp(head, 0, 8) != 0 ||
        std::memcmp(head + 12, "IHDR", 4) != 0)
        throw ImageFileError(file.path() + ": not a PNG file");
    auto word = [&](int at) {
        return (std::uint32_t(head[at]) << 24) | (std::uint32_t(head[at + 1]) << 16) |
               (std::uint32_t(head[at + 2]) << 8) | std::uint32_t(head[at + 3]);
    };
    const std::uint32_t width = word(16), height = word(20);
    if (width == 0 || height == 0) throw ImageFileError(file.path() + ": the image is empty");
    requireSupportedSize(file.path(), width, height);
    // Deflate packs at most about 1032 bytes into one, so a file far shorter than its stated
    // picture is damaged: refuse it before anything is allocated for it.
    const int channels[7] = {1, 0, 3, 1, 2, 0, 4};
    const int samples = head[25] < 7 ? channels[head[25]] : 0;
    const double rowBytes = std::ceil(static_cast<double>(width) * std::max(samples, 1) * head[24] / 8.0) + 1;
    if (rowBytes * height > 1100.0 * static_cast<double>(file.size()) + 4096.0)
        throw ImageFileError(file.path() + ": unreadable PNG (the file is too short for its " +
                             std::to_string(width) + "x" + std::to_string(height) + " picture)");
    file.seek(0);
    return ImageSize{static_cast<int>(width), static_cast<int>(height)};
}

vhost::ImagePtr readPng(InputFile& file, const vhost::ImagePtr& reuse, std::uint64_t maxBytes) {
    const ImageSize size = pngSize(file);
    requireWithinLimit(file.path(), size, maxBytes);

    Decoded decoded;
    ErrorText error;
    if (!decode(file, &decoded, &error))
        throw ImageFileError(file.path() + ": unreadable PNG (" + error.text + ")");
    if (decoded.width == 0 || decoded.height == 0) throw ImageFileError(file.path() + ": the image is empty");

    const int width = static_cast<int>(decoded.width);
    const int height = static_cast<int>(decoded.height);
    vhost::ImagePtr image = imageFor(width, height, reuse);
    const std::size_t samples = static_cast<std::size_t>(width) * 4;
    for (int fileRow = 0; fileRow < height; ++fileRow) {
        float* dst = image->pixel(0, height - 1 - fileRow);
        const unsigned char* src = decoded.rows[static_cast<std::size_t>(fileRow)];
        if (decoded.bitDepth == 16) {
            const auto* wide = reinterpret_cast<const std::uint16_t*>(src);
            for (std::size_t i = 0; i < samples; ++i) dst[i] = wide[i] / 65535.0f;
        } else {
            for (std::size_t i = 0; i < samples; ++i) dst[i] = src[i] / 255.0f;
        }
    }
    return image;
}

void writePng(const std::string& path, const vhost::Image& image) {
    if (image.width() <= 0 || image.height() <= 0) throw ImageFileError(path + ": the image is empty");
    File file = openFile(path, "wb");
    Encoder encoder;
    encoder.width = static_cast<png_uint_32>(image.width());
    encoder.height = static_cast<png_uint_32>(image.height());
    encoder.image = &image;
    encoder.row.resize(static_cast<std::size_t>(image.width()) * 4);
    ErrorText error;
    if (!encode(file.get(), &encoder, &error))
        throw ImageFileError(path + ": PNG not written (" + error.text + ")");
    const bool failed = std::ferror(file.get()) != 0;
    if (std::fclose(file.release()) != 0 || failed)
        throw ImageFileError(path + ": PNG not written (" + std::strerror(errno) + ")");
}

}  // namespace imagefiles
