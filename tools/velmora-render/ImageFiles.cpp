#include "ImageFiles.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "ImageFormats.h"
#include "Temporaries.h"

namespace imagefiles {
namespace {

std::string lowerExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

std::string megabytes(std::uint64_t bytes) {
    return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MB";
}

}  // namespace

const FormatInfo& formatInfo(ImageFormat format) {
    static const FormatInfo formats[] = {
        {ImageFormat::Exr, "openexr", "OpenEXR file", "an OpenEXR file", true, {"float", "half"}},
        {ImageFormat::Dpx, "dpx", "DPX file", "a DPX file", true, {"10", "8", "12", "16"}},
        {ImageFormat::Tiff, "tiff", "TIFF file", "a TIFF file", true, {"16", "8", "10", "float"}},
        {ImageFormat::Jpeg, "jpeg", "JPEG file", "a JPEG file", false, {}},
        {ImageFormat::Png, "png", "PNG", "a PNG file", true, {"8", "16"}},
    };
    for (const FormatInfo& info : formats)
        if (info.format == format) return info;
    return formats[0];
}

ImageFormat formatOf(const std::string& path) {
    const std::string ext = lowerExtension(path);
    if (ext == ".exr") return ImageFormat::Exr;
    if (ext == ".dpx") return ImageFormat::Dpx;
    if (ext == ".tif" || ext == ".tiff") return ImageFormat::Tiff;
    if (ext == ".jpg" || ext == ".jpeg") return ImageFormat::Jpeg;
    if (ext == ".png") return ImageFormat::Png;
    throw ImageFileError(path + ": unsupported image format '" + (ext.empty() ? std::string("(none)") : ext) +
                         "' (velmora-render reads .exr, .dpx, .tif, .jpg and .png, and writes all but .jpg)");
}

void requireWritableDepth(const std::string& path, const std::string& depth) {
    const FormatInfo& info = formatInfo(formatOf(path));
    if (!info.writable)
        throw ImageFileError(path + ": velmora-render reads " + info.noun +
                             "s but does not write them; write .exr, .dpx, .tif or .png");
    if (depth.empty() || std::find(info.depths.begin(), info.depths.end(), depth) != info.depths.end())
        return;
    std::string allowed;
    for (const std::string& d : info.depths) allowed += (allowed.empty() ? "" : ", ") + d;
    throw ImageFileError(path + ": " + info.named + " is not written with depth '" + depth + "' (it takes " +
                         allowed + ")");
}

vhost::ImagePtr imageFor(int width, int height, const vhost::ImagePtr& reuse) {
    if (reuse && reuse->width() == width && reuse->height() == height && reuse->rowBytes() == width * 16 &&
        reuse->bounds().x1 == 0 && reuse->bounds().y1 == 0)
        return reuse;
    return std::make_shared<vhost::Image>(width, height);
}

void requireSupportedSize(const std::string& path, std::uint64_t width, std::uint64_t height) {
    if (width > static_cast<std::uint64_t>(kMaxSide) || height > static_cast<std::uint64_t>(kMaxSide))
        throw ImageFileError(path + ": the picture is " + std::to_string(width) + "x" +
                             std::to_string(height) + " pixels; velmora-render takes at most " +
                             std::to_string(kMaxSide) + " pixels a side");
}

void requireWithinLimit(const std::string& path, const ImageSize& size, std::uint64_t maxBytes) {
    const std::uint64_t bytes =
        static_cast<std::uint64_t>(size.width) * static_cast<std::uint64_t>(size.height) * 16;
    if (bytes > maxBytes)
        throw ImageFileError(path + ": the " + std::to_string(size.width) + "x" +
                             std::to_string(size.height) + " picture takes " + megabytes(bytes) +
                             " in memory, more than the " + megabytes(maxBytes) + " allowed");
}

void writeImage(const std::string& path, const vhost::Image& image, const WriteOptions& options,
                const PlateLayout& layout) {
    requireWritableDepth(path, options.depth);
    const std::filesystem::path target(path);
    std::error_code ec;
    if (std::filesystem::is_directory(target, ec)) throw ImageFileError(path + ": is a folder");
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    if (!std::filesystem::is_directory(folder, ec))
        throw ImageFileError(path + ": the folder " + folder.string() + " does not exist");

    const std::string temporary = temporaries::temporaryFor(path);
    const temporaries::Pending pending(temporary);
    try {
        writeFile(temporary, path, formatOf(path), image, options, layout);
    } catch (const ImageFileError& e) {
        std::remove(temporary.c_str());
        // The user knows the file by its own name, not by the temporary's.
        std::string message = e.what();
        for (std::size_t at = message.find(temporary); at != std::string::npos;
             at = message.find(temporary, at + path.size()))
            message.replace(at, temporary.size(), path);
        throw ImageFileError(message);
    } catch (...) {
        std::remove(temporary.c_str());
        throw;
    }
    std::filesystem::rename(temporary, target, ec);
    if (ec) {
        std::remove(temporary.c_str());
        throw ImageFileError(path + ": cannot be written (" + ec.message() + ")");
    }
}

}  // namespace imagefiles
