// Feeds arbitrary bytes to velmora-render's image reading, as the format they start like (PNG,
// TIFF, DPX, JPEG) and as an OpenEXR file otherwise. A bad file must be refused with ImageFileError, never
// crash, hang or allocate beyond the memory cap given to the reader.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ImageFiles.h"

namespace {

constexpr std::uint64_t kMaxImageBytes = 64u << 20;

std::string scratchName(const char* extension) {
    const char* folder = std::getenv("TMPDIR");
    return std::string(folder && *folder ? folder : "/tmp") + "/velmora-fuzz-image-" +
           std::to_string(getpid()) + extension;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string png = scratchName(".png"), exr = scratchName(".exr"), tiff = scratchName(".tif"),
                             dpx = scratchName(".dpx"), jpeg = scratchName(".jpg");
    auto startsWith = [&](const char* magic, std::size_t n) {
        return size >= n && std::memcmp(data, magic, n) == 0;
    };
    const std::string& path = startsWith("\x89PNG", 4)                         ? png
                              : startsWith("II*", 3) || startsWith("MM\0*", 4) ? tiff
                              : startsWith("SDPX", 4) || startsWith("XPDS", 4) ? dpx
                              : startsWith("\xff\xd8\xff", 3)                  ? jpeg
                                                                               : exr;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    if (size && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);
    try {
        const imagefiles::ImageSize claimed = imagefiles::readImageSize(path);
        const vhost::ImagePtr image = imagefiles::readImage(path, nullptr, kMaxImageBytes);
        // The header and the reader agree, and every pixel is there to be read.
        if (image->width() != claimed.width || image->height() != claimed.height) std::abort();
        volatile float sink =
            image->pixel(image->width() - 1, image->height() - 1)[3] + image->pixel(0, 0)[0];
        (void)sink;
    } catch (const imagefiles::ImageFileError&) {
    }
    return 0;
}
