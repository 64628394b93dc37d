#include "ImageFiles.h"

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "ImageCodecs.h"

namespace imagefiles {
namespace {

long processId() {
#ifdef _WIN32
    return _getpid();
#else
    return static_cast<long>(::getpid());
#endif
}

std::string lowerExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

// A readable regular file, or an ImageFileError saying why not.
void requireReadableFile(const std::string& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) throw ImageFileError(path + ": no such file");
    if (std::filesystem::is_directory(status))
        throw ImageFileError(path + ": is a folder, not an image file");
    // A pipe or a device could block the read for ever or never end.
    if (!std::filesystem::is_regular_file(status))
        throw ImageFileError(path + ": is not a regular file (a pipe or a device), not an image file");
    if (::access(path.c_str(), R_OK) != 0)
        throw ImageFileError(path + ": cannot be read (" + std::strerror(errno) + ")");
}

}  // namespace

ImageFormat formatOf(const std::string& path) {
    const std::string ext = lowerExtension(path);
    if (ext == ".exr") return ImageFormat::Exr;
    if (ext == ".png") return ImageFormat::Png;
    throw ImageFileError(path + ": unsupported image format '" + (ext.empty() ? std::string("(none)") : ext) +
                         "' (velmora-render reads and writes .exr and .png)");
}

vhost::ImagePtr imageFor(int width, int height, const vhost::ImagePtr& reuse) {
    if (reuse && reuse->width() == width && reuse->height() == height && reuse->rowBytes() == width * 16 &&
        reuse->bounds().x1 == 0 && reuse->bounds().y1 == 0)
        return reuse;
    return std::make_shared<vhost::Image>(width, height);
}

vhost::ImagePtr readImage(const std::string& path, const vhost::ImagePtr& reuse) {
    const ImageFormat format = formatOf(path);
    requireReadableFile(path);
    return format == ImageFormat::Exr ? readExr(path, reuse) : readPng(path, reuse);
}

void writeImage(const std::string& path, const vhost::Image& image) {
    const ImageFormat format = formatOf(path);
    const std::filesystem::path target(path);
    std::error_code ec;
    if (std::filesystem::is_directory(target, ec)) throw ImageFileError(path + ": is a folder");
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    if (!std::filesystem::is_directory(folder, ec))
        throw ImageFileError(path + ": the folder " + folder.string() + " does not exist");

    // The temporary keeps the extension: the EXR library picks nothing from it, but a reader of
    // the folder sees what it is. Its share of the name is cut so that any name that fits the
    // file system also fits with the temporary's additions.
    const std::string name = target.filename().string();
    const std::string temporary = (folder / ("." + name.substr(0, 160) + ".tmp-" +
                                             std::to_string(processId()) + target.extension().string()))
                                      .string();
    try {
        if (format == ImageFormat::Exr)
            writeExr(temporary, image);
        else
            writePng(temporary, image);
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
