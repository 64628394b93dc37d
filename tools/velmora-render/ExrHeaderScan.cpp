#include "ExrHeaderScan.h"

#include <cstdint>
#include <map>
#include <string>

#include "ImageFiles.h"

namespace imagefiles {
namespace {

// Bytes the OpenEXR library reads for a value of each type whose length is fixed, whatever size
// the attribute states.
const std::map<std::string, std::uint64_t>& fixedValueBytes() {
    static const std::map<std::string, std::uint64_t> bytes = {
        {"box2i", 16},      {"box2f", 16},   {"chromaticities", 32},
        {"compression", 1}, {"double", 8},   {"envmap", 1},
        {"float", 4},       {"int", 4},      {"keycode", 28},
        {"lineOrder", 1},   {"m33f", 36},    {"m33d", 72},
        {"m44f", 64},       {"m44d", 128},   {"rational", 8},
        {"tiledesc", 9},    {"timecode", 8}, {"v2i", 8},
        {"v2f", 8},         {"v2d", 16},     {"v3i", 12},
        {"v3f", 12},        {"v3d", 24},     {"deepImageState", 1}};
    return bytes;
}

class HeaderScan {
  public:
    explicit HeaderScan(InputFile& file) : file_(file) {}

    // One header; false when the file holds an empty one (the end of a multi-part file's headers).
    bool header() {
        for (bool first = true;; first = false) {
            const std::string name = text();
            if (name.empty()) return !first;
            const std::string type = text();
            const std::uint64_t size = word();
            value(name, type, size);
        }
    }

  private:
    [[noreturn]] void refuse(const std::string& why) const {
        throw ImageFileError(file_.path() + ": unreadable OpenEXR file (" + why + ")");
    }

    std::uint64_t left() const { return file_.size() - file_.position(); }

    // A zero-terminated name of at most 255 characters.
    std::string text() {
        std::string out;
        char c = 0;
        while (file_.read(&c, 1) == 1 && c != 0) {
            if (out.size() >= 255) refuse("a name in the header is too long");
            out += c;
        }
        if (c != 0) refuse("the header is cut short");
        return out;
    }

    std::uint64_t word() {
        unsigned char b[4] = {};
        if (file_.read(b, 4) != 4) refuse("the header is cut short");
        return b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint64_t(b[3]) << 24);
    }

    void skip(const std::string& name, std::uint64_t bytes) {
        if (bytes > left() || !file_.seek(file_.position() + bytes))
            refuse("the attribute '" + name + "' is longer than the file");
    }

    void value(const std::string& name, const std::string& type, std::uint64_t size) {
        const auto fixed = fixedValueBytes().find(type);
        if (name == "chunkCount" && type == "int") {
            // A part's offset table has that many 8-byte entries.
            const std::uint64_t count = word();
            chunks_ += count < 0x80000000u ? count : 0x80000000u;
        } else if (fixed != fixedValueBytes().end()) {
            skip(name, fixed->second);
        } else if (type == "chlist") {
            // Channels up to an empty name: a name, then type, linearity and sampling (16 bytes).
            while (!text().empty()) skip(name, 16);
        } else if (type == "preview") {
            const std::uint64_t width = word(), height = word();
            if (width != 0 && height > left() / 4 / width)
                refuse("the preview image is larger than the file");
            skip(name, width * height * 4);
        } else if (type == "stringvector") {
            // Strings, each with its length, within the stated size.
            if (size > left()) skip(name, size);
            for (std::uint64_t used = 0; used < size;) {
                if (size - used < 4) refuse("the attribute '" + name + "' is malformed");
                const std::uint64_t length = word();
                if (length > size - used - 4) refuse("the attribute '" + name + "' is longer than the file");
                skip(name, length);
                used += 4 + length;
            }
        } else {
            skip(name, size);  // strings, float vectors, ID manifests and unknown types: as stated
        }
    }

    InputFile& file_;

  public:
    std::uint64_t chunks_ = 0;  // the parts' stated chunk counts
};

}  // namespace

void requireHeadersFit(InputFile& file, bool multiPart) {
    HeaderScan scan(file);
    if (!scan.header()) throw ImageFileError(file.path() + ": unreadable OpenEXR file (the header is empty)");
    while (multiPart && scan.header()) {
    }
    if (scan.chunks_ > file.size() / 16)
        throw ImageFileError(file.path() + ": unreadable OpenEXR file (the file is too short for its " +
                             std::to_string(scan.chunks_) + " chunks)");
}

}  // namespace imagefiles
