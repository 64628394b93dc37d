// Writing image files through OpenImageIO. A file rendered from a plate keeps what its format can
// hold of the plate: metadata, the channels besides RGBA and (OpenEXR) the data and display windows
// and the other parts. Those are read again from the plate a strip at a time while the output is
// written, so nothing beyond a strip is held in memory for them.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "ImageFormats.h"

namespace imagefiles {
namespace {

constexpr int kStripLines = 64;

// An output channel: from the rendered RGBA (result 0..3) or a channel of the plate.
struct OutputChannel {
    std::string name;
    OIIO::TypeDesc type;
    int result = -1;
    int plate = -1;
};

OIIO::TypeDesc depthType(const std::string& depth) {
    if (depth == "8") return OIIO::TypeDesc::UINT8;
    if (depth == "half") return OIIO::TypeDesc::HALF;
    if (depth == "float") return OIIO::TypeDesc::FLOAT;
    return OIIO::TypeDesc::UINT16;  // 10, 12 and 16 bits
}

// The depth written when none is asked for: an integer format keeps the plate's integer depth where
// it takes it.
std::string chosenDepth(const FormatInfo& info, const std::string& asked, const OIIO::ImageSpec* plate) {
    if (!asked.empty()) return asked;
    if (plate && info.format != ImageFormat::Exr && plate->format.basetype != OIIO::TypeDesc::FLOAT &&
        plate->format.basetype != OIIO::TypeDesc::HALF) {
        const int bits =
            plate->get_int_attribute("oiio:BitsPerSample", static_cast<int>(plate->format.size() * 8));
        const std::string kept = std::to_string(bits);
        if (std::find(info.depths.begin(), info.depths.end(), kept) != info.depths.end()) return kept;
    }
    return info.depths.front();
}

const char* attributePrefix(ImageFormat format) {
    switch (format) {
        case ImageFormat::Exr:
            return "openexr:";
        case ImageFormat::Dpx:
            return "dpx:";
        case ImageFormat::Tiff:
            return "tiff:";
        case ImageFormat::Jpeg:
            return "jpeg:";
        case ImageFormat::Png:
            return "png:";
    }
    return "";
}

// Whether a plate's attribute goes into the output: everything that describes the picture (time
// code, frame rate, owner, comments, camera data...), not what describes the old file's own
// layout, nor another format's private attributes.
bool keepsAttribute(const std::string& name, ImageFormat plate, ImageFormat out) {
    if (name == "oiio:subimagename") return true;
    if (name.rfind("oiio:", 0) == 0 || name == "compression" || name == "planarconfig" ||
        name == "openexr:chunkCount")
        return false;
    for (ImageFormat f :
         {ImageFormat::Exr, ImageFormat::Dpx, ImageFormat::Tiff, ImageFormat::Jpeg, ImageFormat::Png})
        if (name.rfind(attributePrefix(f), 0) == 0) return f == out && plate == out;
    return true;
}

bool allOpaque(const vhost::Image& image) {
    for (int y = 0; y < image.height(); ++y) {
        const float* p = image.pixel(image.bounds().x1, image.bounds().y1 + y);
        for (int x = 0; x < image.width(); ++x)
            if (p[4 * x + 3] != 1.0f) return false;
    }
    return true;
}

// The plate read again for the channels and pixels the output keeps, checked to be the file the
// frame was rendered from.
class PlateRows {
  public:
    explicit PlateRows(const PlateLayout::Data& layout) : layout_(layout), opened_(openImage(layout.path)) {
        if (!(opened_.file->stamp() == layout.stamp) || !opened_.reader)
            throw ImageFileError(layout.path + ": the plate changed while the frame was rendered");
    }

    OIIO::ImageInput& reader() { return *opened_.reader; }

    // Rows of subimage `subimage`, its channels in their own types.
    StripReader& rows(int subimage) {
        if (!rows_ || subimage != subimage_) {
            rows_ = std::make_unique<StripReader>(*opened_.reader, subimage, layout_.specs[subimage],
                                                  OIIO::TypeUnknown);
            subimage_ = subimage;
        }
        return *rows_;
    }

  private:
    const PlateLayout::Data& layout_;
    OpenedImage opened_;
    std::unique_ptr<StripReader> rows_;
    int subimage_ = -1;
};

// Byte offsets of each channel within a pixel of `spec` in its own types.
std::vector<std::size_t> channelOffsets(const OIIO::ImageSpec& spec) {
    std::vector<std::size_t> offsets;
    std::size_t at = 0;
    for (int c = 0; c < spec.nchannels; ++c) {
        offsets.push_back(at);
        at += spec.channelformat(c).size();
    }
    return offsets;
}

class FileWriter {
  public:
    FileWriter(const std::string& path, const std::string& shownPath, ImageFormat format,
               const vhost::Image& image, const WriteOptions& options, const PlateLayout::Data* layout)
        : path_(path),
          shownPath_(shownPath),
          info_(formatInfo(format)),
          image_(image),
          options_(options),
          layout_(layout) {}

    void write() {
        plan();
        output_ = OIIO::ImageOutput::create(info_.oiioName);
        if (!output_) fail("no writer for the format");
        std::vector<OIIO::ImageSpec> specs = {spec_};
        specs.insert(specs.end(), otherParts_.begin(), otherParts_.end());
        const bool opened = specs.size() > 1
                                ? output_->open(path_, static_cast<int>(specs.size()), specs.data())
                                : output_->open(path_, spec_);
        if (!opened) fail(output_->geterror());
        writeFirst();
        for (std::size_t part = 0; part < otherParts_.size(); ++part)
            copyPart(static_cast<int>(part) + 1, specs[part + 1]);
        if (!output_->close()) fail(output_->geterror());
    }

  private:
    [[noreturn]] void fail(const std::string& reason) const {
        throw ImageFileError(path_ + ": " + info_.noun + " not written (" + reason + ")");
    }

    void note(const std::string& text) const {
        if (options_.notes) *options_.notes << "velmora-render: note: " << shownPath_ << ": " << text << "\n";
    }

    // The output's channels, windows and metadata.
    void plan() {
        const OIIO::ImageSpec* plate = layout_ ? &layout_->specs.front() : nullptr;
        std::string depth = chosenDepth(info_, options_.depth, plate);
        bool alpha = (plate && channelIndex(*plate, "A") >= 0) || !allOpaque(image_);
        // 10- and 12-bit DPX are written as RGB: OpenImageIO packs four channels at those depths
        // wrongly (the last sample of a row is lost).
        if (info_.format == ImageFormat::Dpx && (depth == "10" || depth == "12") && alpha) {
            if (options_.depth.empty()) {
                depth = "16";
            } else {
                alpha = false;
                note("alpha is not written: a " + depth +
                     "-bit DPX file is written as RGB (--depth 16 keeps alpha)");
            }
        }
        bits_ = depth == "10" || depth == "12" ? std::stoi(depth) : 0;
        const OIIO::TypeDesc colourType = depthType(depth);
        const char* names[4] = {"R", "G", "B", "A"};
        for (int c = 0; c < (alpha ? 4 : 3); ++c) channels_.push_back({names[c], colourType, c, -1});

        const int width = image_.width(), height = image_.height();
        spec_ = OIIO::ImageSpec(width, height, 0, colourType);
        if (plate) {
            // Windows: an OpenEXR output keeps the plate's data and display windows; other formats
            // take the display window.
            keepsWindows_ = info_.format == ImageFormat::Exr;
            spec_.full_x = plate->full_x, spec_.full_y = plate->full_y;
            if (keepsWindows_) {
                spec_.x = plate->x, spec_.y = plate->y, spec_.width = plate->width,
                spec_.height = plate->height;
            } else {
                spec_.x = plate->full_x, spec_.y = plate->full_y;
                if (plate->x != plate->full_x || plate->y != plate->full_y ||
                    plate->width != plate->full_width || plate->height != plate->full_height)
                    note(std::string("the plate's data window is not kept: ") + info_.named +
                         " holds the picture's display window only");
            }
            planKeptChannels(*plate, colourType);
            for (const OIIO::ParamValue& attribute : plate->extra_attribs)
                if (keepsAttribute(attribute.name().string(), layout_->format, info_.format))
                    spec_.attribute(attribute.name().string(), attribute.type(), attribute.data());
            planOtherParts();
        }
        spec_.full_width = width, spec_.full_height = height;
        spec_.nchannels = static_cast<int>(channels_.size());
        spec_.set_format(colourType);  // clears the channel formats: set them after it
        spec_.channelnames.clear();
        bool mixed = false;
        for (const OutputChannel& c : channels_) {
            spec_.channelnames.push_back(c.name);
            mixed = mixed || c.type != colourType;
        }
        if (mixed)
            for (const OutputChannel& c : channels_) spec_.channelformats.push_back(c.type);
        spec_.alpha_channel = alpha ? 3 : -1;
        spec_.z_channel = -1;
        if (bits_) spec_.attribute("oiio:BitsPerSample", bits_);
        // Values as given: a format that keeps alpha unassociated gets the colour unchanged.
        spec_.attribute("oiio:UnassociatedAlpha", 1);
        if (info_.format == ImageFormat::Exr) {
            const std::string kept = plate && layout_->format == ImageFormat::Exr
                                         ? plate->get_string_attribute("compression")
                                         : "";
            spec_.attribute("compression", kept.empty() ? std::string("zip") : kept);
        } else if (info_.format == ImageFormat::Tiff) {
            spec_.attribute("compression", "zip");
        }
    }

    // The plate's channels besides its colour: kept in OpenEXR (each in its own type) and TIFF (in
    // the output's depth); other formats hold colour and alpha only.
    void planKeptChannels(const OIIO::ImageSpec& plate, OIIO::TypeDesc colourType) {
        const bool grey =
            channelIndex(plate, "R") < 0 && channelIndex(plate, "G") < 0 && channelIndex(plate, "B") < 0;
        std::vector<std::string> dropped;
        for (int c = 0; c < plate.nchannels; ++c) {
            const std::string name = plate.channel_name(c);
            if (name == "R" || name == "G" || name == "B" || name == "A" || (grey && name == "Y")) continue;
            if (info_.format == ImageFormat::Exr)
                channels_.push_back({name, plate.channelformat(c), -1, c});
            else if (info_.format == ImageFormat::Tiff)
                channels_.push_back({name, colourType, -1, c});
            else
                dropped.push_back(name);
        }
        if (!dropped.empty()) {
            std::string list;
            for (const std::string& name : dropped) list += (list.empty() ? "" : ", ") + name;
            note("the plate's channels " + list + " are not written: " + info_.named +
                 " holds colour and alpha only");
        }
        for (int c = 0; c < 4; ++c)
            plateColour_[c] = channelIndex(plate, c == 3 ? "A" : std::string(1, "RGB"[c]));
        if (grey) plateColour_[0] = plateColour_[1] = plateColour_[2] = channelIndex(plate, "Y");
    }

    void planOtherParts() {
        const std::size_t parts = layout_->specs.size();
        if (parts < 2) return;
        if (info_.format != ImageFormat::Exr) {
            note(parts == 2 ? std::string("the plate's other part is not written: ") + info_.named +
                                  " holds one picture"
                            : "the plate's " + std::to_string(parts - 1) +
                                  " other parts are not written: " + info_.named + " holds one picture");
            return;
        }
        for (std::size_t part = 1; part < parts; ++part) {
            OIIO::ImageSpec spec = layout_->specs[part];
            if (spec.deep) {
                note("the plate's part " + std::to_string(part) + " (deep pixels) is not written");
                continue;
            }
            spec.tile_width = spec.tile_height = spec.tile_depth = 0;  // written as scan lines
            otherParts_.push_back(spec);
            otherSources_.push_back(static_cast<int>(part));
        }
    }

    bool needsPlatePixels() const {
        if (!layout_) return false;
        for (const OutputChannel& c : channels_)
            if (c.plate >= 0) return true;
        return keepsWindows_ && !(spec_.x >= spec_.full_x && spec_.y >= spec_.full_y &&
                                  spec_.x + spec_.width <= spec_.full_x + spec_.full_width &&
                                  spec_.y + spec_.height <= spec_.full_y + spec_.full_height);
    }

    void writeFirst() {
        if (needsPlatePixels() || !otherParts_.empty()) plate_ = std::make_unique<PlateRows>(*layout_);
        const OIIO::ImageSpec* plate = layout_ ? &layout_->specs.front() : nullptr;
        const std::vector<std::size_t> plateOffsets =
            plate ? channelOffsets(*plate) : std::vector<std::size_t>();
        const std::size_t pixelBytes = spec_.pixel_bytes(true);
        std::vector<unsigned char> strip(pixelBytes * static_cast<std::size_t>(spec_.width) * kStripLines);
        const int height = image_.height(), width = image_.width();
        const bool readsPlate = plate_ && needsPlatePixels();
        for (int y0 = spec_.y; y0 < spec_.y + spec_.height; y0 += kStripLines) {
            const int lines = std::min(kStripLines, spec_.y + spec_.height - y0);
            std::memset(strip.data(), 0, strip.size());
            for (int y = y0; y < y0 + lines; ++y) {
                const unsigned char* plateRow = readsPlate ? plate_->rows(0).row(y) : nullptr;
                unsigned char* out =
                    strip.data() + pixelBytes * static_cast<std::size_t>(spec_.width) * (y - y0);
                const int dy = y - spec_.full_y;
                for (int x = spec_.x; x < spec_.x + spec_.width; ++x, out += pixelBytes) {
                    const int dx = x - spec_.full_x;
                    const bool rendered = dx >= 0 && dx < width && dy >= 0 && dy < height;
                    const unsigned char* platePixel =
                        plateRow && x >= plate->x && x < plate->x + plate->width
                            ? plateRow + plate->pixel_bytes(true) * static_cast<std::size_t>(x - plate->x)
                            : nullptr;
                    float kept[4] = {0, 0, 0, 1};
                    if (!rendered && platePixel) keptColour(*plate, plateOffsets, platePixel, kept);
                    const float* result =
                        rendered ? image_.pixel(image_.bounds().x1 + dx, image_.bounds().y1 + height - 1 - dy)
                                 : kept;
                    unsigned char* at = out;
                    for (const OutputChannel& c : channels_) {
                        if (c.result >= 0) {
                            storeColour(result[c.result], c.type, at);
                        } else if (platePixel) {
                            OIIO::convert_pixel_values(plate->channelformat(c.plate),
                                                       platePixel + plateOffsets[c.plate], c.type, at, 1);
                        }
                        at += c.type.size();
                    }
                }
            }
            if (!output_->write_scanlines(y0, y0 + lines, 0, OIIO::TypeUnknown, strip.data()))
                fail(output_->geterror());
        }
    }

    // A colour sample in the channel's type. At 10 or 12 bits the sample is rounded to that depth
    // first and spread over 16 bits, so that the library's reduction to the file's bits keeps it.
    void storeColour(float value, OIIO::TypeDesc type, unsigned char* at) const {
        if (bits_ && type == OIIO::TypeDesc::UINT16) {
            const float top = static_cast<float>((1 << bits_) - 1);
            const float level = std::nearbyint(std::min(std::max(value, 0.0f), 1.0f) * top);
            const auto wide = static_cast<std::uint16_t>(std::lround(level * 65535.0f / top));
            std::memcpy(at, &wide, sizeof wide);
            return;
        }
        OIIO::convert_pixel_values(OIIO::TypeDesc::FLOAT, &value, type, at, 1);
    }

    // A pixel outside the display window, kept from the plate in the output's colour space.
    void keptColour(const OIIO::ImageSpec& plate, const std::vector<std::size_t>& offsets,
                    const unsigned char* pixel, float rgba[4]) const {
        for (int c = 0; c < 4; ++c)
            if (plateColour_[c] >= 0)
                OIIO::convert_pixel_values(plate.channelformat(plateColour_[c]),
                                           pixel + offsets[plateColour_[c]], OIIO::TypeDesc::FLOAT, rgba + c,
                                           1);
        if (options_.convertKeptColour) options_.convertKeptColour(rgba, 1);
    }

    // Another part of the plate, copied unchanged.
    void copyPart(int index, const OIIO::ImageSpec& spec) {
        const int source = otherSources_[static_cast<std::size_t>(index - 1)];
        if (!output_->open(path_, spec, OIIO::ImageOutput::AppendSubimage)) fail(output_->geterror());
        StripReader& rows = plate_->rows(source);
        const std::size_t rowBytes = spec.pixel_bytes(true) * static_cast<std::size_t>(spec.width);
        std::vector<unsigned char> strip(rowBytes * kStripLines);
        for (int y0 = spec.y; y0 < spec.y + spec.height; y0 += kStripLines) {
            const int lines = std::min(kStripLines, spec.y + spec.height - y0);
            for (int y = y0; y < y0 + lines; ++y)
                std::memcpy(strip.data() + rowBytes * (y - y0), rows.row(y), rowBytes);
            if (!output_->write_scanlines(y0, y0 + lines, 0, OIIO::TypeUnknown, strip.data()))
                fail(output_->geterror());
        }
    }

    const std::string& path_;
    const std::string& shownPath_;
    const FormatInfo& info_;
    const vhost::Image& image_;
    const WriteOptions& options_;
    const PlateLayout::Data* layout_;
    OIIO::ImageSpec spec_;
    std::vector<OutputChannel> channels_;
    bool keepsWindows_ = false;
    int bits_ = 0;  // 10 or 12 in 16-bit samples; 0 otherwise
    int plateColour_[4] = {-1, -1, -1, -1};
    std::vector<OIIO::ImageSpec> otherParts_;
    std::vector<int> otherSources_;
    std::unique_ptr<PlateRows> plate_;
    std::unique_ptr<OIIO::ImageOutput> output_;
};

}  // namespace

void writeFile(const std::string& path, const std::string& shownPath, ImageFormat format,
               const vhost::Image& image, const WriteOptions& options, const PlateLayout& layout) {
    const int width = image.width(), height = image.height();
    if (width <= 0 || height <= 0) throw ImageFileError(path + ": the image is empty");
    try {
        FileWriter(path, shownPath, format, image, options, layout.data()).write();
    } catch (const ImageFileError&) {
        throw;
    } catch (const std::exception& e) {
        throw ImageFileError(path + ": " + formatInfo(format).noun + " not written (" + e.what() + ")");
    }
}

}  // namespace imagefiles
