#include "OverlayPainter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>

#include "ofxDrawSuite.h"

#if defined(VELMORA_HAVE_FREETYPE)
#include <ft2build.h>
#include FT_FREETYPE_H
#endif

namespace vhost {

namespace {

constexpr int kEllipseSegments = 96;
constexpr int kTextPixelSize = 13;

bool fileExists(const std::string& path) {
    return std::ifstream(path).good();
}

// Code points of a UTF-8 text; a malformed byte stands for itself.
std::vector<unsigned> decodeUtf8(const std::string& text) {
    std::vector<unsigned> out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        unsigned code = extra == 3 ? c & 0x07u : extra == 2 ? c & 0x0Fu : extra == 1 ? c & 0x1Fu : c;
        if (extra && i + extra >= text.size()) extra = 0, code = c;
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) ok = false;
            code = (code << 6) | (next & 0x3Fu);
        }
        if (!ok) extra = 0, code = c;
        out.push_back(code);
        i += 1 + extra;
    }
    return out;
}

// A pixel index from a plug-in's unbounded coordinate, held to [low, high] before it is converted
// (a double outside int's range does not convert); NaN gives low.
int heldPixel(double value, int low, int high) {
    if (!(value > low)) return low;
    if (value >= high) return high;
    return static_cast<int>(value);
}

}  // namespace

// Coverage of one primitive over a box of pixels; overlapping parts of a primitive count once.
struct OverlayPainter::Coverage {
    int x0 = 0, y0 = 0, width = 0, height = 0;
    std::vector<float> values;

    Coverage(const Image& image, double minX, double minY, double maxX, double maxY) {
        const OfxRectI& b = image.bounds();
        x0 = heldPixel(std::floor(minX), b.x1, b.x2);
        y0 = heldPixel(std::floor(minY), b.y1, b.y2);
        const int x1 = heldPixel(std::ceil(maxX) + 1.0, b.x1, b.x2);
        const int y1 = heldPixel(std::ceil(maxY) + 1.0, b.y1, b.y2);
        width = std::max(0, x1 - x0);
        height = std::max(0, y1 - y0);
        values.assign(static_cast<size_t>(width) * height, 0.0f);
    }
    bool empty() const { return width == 0 || height == 0; }
    void add(int x, int y, float value) {
        if (x < x0 || y < y0 || x >= x0 + width || y >= y0 + height) return;
        float& v = values[static_cast<size_t>(y - y0) * width + (x - x0)];
        v = std::max(v, std::min(value, 1.0f));
    }
};

#if defined(VELMORA_HAVE_FREETYPE)
struct OverlayPainter::Font {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    ~Font() {
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
    }
};
#else
struct OverlayPainter::Font {};
#endif

OverlayPainter::OverlayPainter(Image& image, OfxPointD canonicalPerPixel)
    : image_(image), scale_(canonicalPerPixel) {
    if (!(scale_.x > 0.0)) scale_.x = 1.0;
    if (!(scale_.y > 0.0)) scale_.y = 1.0;
}

OverlayPainter::~OverlayPainter() = default;

std::string OverlayPainter::fontPath() {
#if defined(VELMORA_HAVE_FREETYPE)
    if (const char* chosen = std::getenv("VELMORA_OVERLAY_FONT"); chosen && *chosen)
        return fileExists(chosen) ? chosen : std::string();
    static const char* const kCandidates[] = {
        "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
        "/usr/share/fonts/TTF/DejaVuSans.ttf",
        "/usr/share/fonts/dejavu/DejaVuSans.ttf",
        "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
        "/System/Library/Fonts/Supplemental/Arial.ttf",
        "/Library/Fonts/Arial.ttf",
        "C:/Windows/Fonts/arial.ttf",
    };
    for (const char* candidate : kCandidates)
        if (fileExists(candidate)) return candidate;
#endif
    return std::string();
}

OfxPointD OverlayPainter::toPixels(double x, double y) const {
    return OfxPointD{x / scale_.x, y / scale_.y};
}

void OverlayPainter::strokeSegment(Coverage& coverage, OfxPointD a, OfxPointD b) const {
    const double half = std::max(1.0, static_cast<double>(lineWidth_)) / 2.0;
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double lengthSquared = dx * dx + dy * dy;
    const int lastX = coverage.x0 + coverage.width - 1, lastY = coverage.y0 + coverage.height - 1;
    const int xa = heldPixel(std::floor(std::min(a.x, b.x) - half - 1.0), coverage.x0, lastX + 1);
    const int xb = heldPixel(std::ceil(std::max(a.x, b.x) + half + 1.0), coverage.x0 - 1, lastX);
    const int ya = heldPixel(std::floor(std::min(a.y, b.y) - half - 1.0), coverage.y0, lastY + 1);
    const int yb = heldPixel(std::ceil(std::max(a.y, b.y) + half + 1.0), coverage.y0 - 1, lastY);
    for (int y = ya; y <= yb; ++y) {
        for (int x = xa; x <= xb; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            double t = lengthSquared > 0.0 ? ((px - a.x) * dx + (py - a.y) * dy) / lengthSquared : 0.0;
            t = std::clamp(t, 0.0, 1.0);
            const double d = std::hypot(px - (a.x + t * dx), py - (a.y + t * dy));
            const double value = half + 0.5 - d;
            if (value > 0.0) coverage.add(x, y, static_cast<float>(value));
        }
    }
}

void OverlayPainter::composite(const Coverage& coverage, const float colour[4]) {
    const float alpha = std::clamp(colour[3], 0.0f, 1.0f);
    for (int y = 0; y < coverage.height; ++y) {
        for (int x = 0; x < coverage.width; ++x) {
            const float a = alpha * coverage.values[static_cast<size_t>(y) * coverage.width + x];
            if (a <= 0.0f) continue;
            float* p = image_.pixel(coverage.x0 + x, coverage.y0 + y);
            if (!p) continue;
            for (int c = 0; c < 3; ++c) p[c] = p[c] * (1.0f - a) + colour[c] * a;
            p[3] = p[3] + a * (1.0f - p[3]);
        }
    }
}

void OverlayPainter::drawLines(const std::vector<OfxPointD>& points, int primitive) {
    std::vector<std::pair<OfxPointD, OfxPointD>> segments;
    if (primitive == kOfxDrawPrimitiveLines) {
        for (size_t i = 0; i + 1 < points.size(); i += 2) segments.emplace_back(points[i], points[i + 1]);
    } else {
        for (size_t i = 0; i + 1 < points.size(); ++i) segments.emplace_back(points[i], points[i + 1]);
        if (primitive == kOfxDrawPrimitiveLineLoop && points.size() > 2)
            segments.emplace_back(points.back(), points.front());
    }
    if (segments.empty()) return;
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    for (const auto& s : segments) {
        for (const OfxPointD& p : {s.first, s.second}) {
            minX = std::min(minX, p.x), minY = std::min(minY, p.y);
            maxX = std::max(maxX, p.x), maxY = std::max(maxY, p.y);
        }
    }
    const double pad = lineWidth_ / 2.0 + 2.0;
    Coverage coverage(image_, minX - pad, minY - pad, maxX + pad, maxY + pad);
    if (coverage.empty()) return;
    for (const auto& s : segments) strokeSegment(coverage, s.first, s.second);
    composite(coverage, colour_);
    ++report_.primitives;
}

void OverlayPainter::drawEllipse(OfxPointD corner1, OfxPointD corner2) {
    const double cx = 0.5 * (corner1.x + corner2.x), cy = 0.5 * (corner1.y + corner2.y);
    const double rx = 0.5 * std::abs(corner2.x - corner1.x), ry = 0.5 * std::abs(corner2.y - corner1.y);
    std::vector<OfxPointD> outline;
    for (int i = 0; i <= kEllipseSegments; ++i) {
        const double a = 2.0 * 3.14159265358979323846 * i / kEllipseSegments;
        outline.push_back(OfxPointD{cx + rx * std::cos(a), cy + ry * std::sin(a)});
    }
    drawLines(outline, kOfxDrawPrimitiveLineStrip);
}

void OverlayPainter::fillRectangle(OfxPointD corner1, OfxPointD corner2) {
    const double x1 = std::min(corner1.x, corner2.x), x2 = std::max(corner1.x, corner2.x);
    const double y1 = std::min(corner1.y, corner2.y), y2 = std::max(corner1.y, corner2.y);
    Coverage coverage(image_, x1, y1, x2, y2);
    if (coverage.empty()) return;
    for (int y = coverage.y0; y < coverage.y0 + coverage.height; ++y) {
        const double covY = std::max(0.0, std::min<double>(y + 1, y2) - std::max<double>(y, y1));
        for (int x = coverage.x0; x < coverage.x0 + coverage.width; ++x) {
            const double covX = std::max(0.0, std::min<double>(x + 1, x2) - std::max<double>(x, x1));
            if (covX * covY > 0.0) coverage.add(x, y, static_cast<float>(covX * covY));
        }
    }
    composite(coverage, colour_);
    ++report_.primitives;
}

void OverlayPainter::fillPolygon(const std::vector<OfxPointD>& points) {
    if (points.size() < 3) return;
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    for (const OfxPointD& p : points) {
        minX = std::min(minX, p.x), minY = std::min(minY, p.y);
        maxX = std::max(maxX, p.x), maxY = std::max(maxY, p.y);
    }
    Coverage coverage(image_, minX, minY, maxX, maxY);
    if (coverage.empty()) return;
    for (int y = coverage.y0; y < coverage.y0 + coverage.height; ++y) {
        for (int x = coverage.x0; x < coverage.x0 + coverage.width; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            bool inside = false;
            for (size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
                const OfxPointD& a = points[i];
                const OfxPointD& b = points[j];
                if ((a.y > py) != (b.y > py) && px < (b.x - a.x) * (py - a.y) / (b.y - a.y) + a.x)
                    inside = !inside;
            }
            if (inside) coverage.add(x, y, 1.0f);
        }
    }
    composite(coverage, colour_);
    ++report_.primitives;
}

#if defined(VELMORA_HAVE_FREETYPE)
bool OverlayPainter::drawText(const std::string& text, OfxPointD position, int alignment) {
    if (!fontTried_) {
        fontTried_ = true;
        const std::string path = fontPath();
        auto font = std::make_unique<Font>();
        if (!path.empty() && FT_Init_FreeType(&font->library) == 0 &&
            FT_New_Face(font->library, path.c_str(), 0, &font->face) == 0 &&
            FT_Set_Pixel_Sizes(font->face, 0, kTextPixelSize) == 0)
            font_ = std::move(font);
    }
    if (!font_) return false;
    FT_Face face = font_->face;
    const std::vector<unsigned> codes = decodeUtf8(text);
    double advance = 0.0;
    for (unsigned code : codes)
        if (FT_Load_Char(face, code, FT_LOAD_DEFAULT) == 0) advance += face->glyph->advance.x / 64.0;
    const double ascender = face->size->metrics.ascender / 64.0;
    const double descender = face->size->metrics.descender / 64.0;  // negative

    const bool left = alignment & kOfxDrawTextAlignmentLeft, right = alignment & kOfxDrawTextAlignmentRight;
    double x = position.x;
    if (left && right)
        x -= advance / 2.0;
    else if (right)
        x -= advance;
    const bool top = alignment & kOfxDrawTextAlignmentTop,
               baseline = alignment & kOfxDrawTextAlignmentBaseline;
    double base = position.y;  // baseline row, y upwards
    if (top && baseline)
        base = position.y - (ascender + descender) / 2.0;
    else if (top)
        base = position.y - ascender;
    else if (alignment & kOfxDrawTextAlignmentBottom)
        base = position.y - descender;

    Coverage coverage(image_, x - 2.0, base + descender - 2.0, x + advance + 2.0, base + ascender + 2.0);
    if (coverage.empty()) return true;
    Coverage shadow = coverage;
    double pen = x;
    for (unsigned code : codes) {
        if (FT_Load_Char(face, code, FT_LOAD_RENDER) != 0) continue;
        const FT_GlyphSlot g = face->glyph;
        const int originX = static_cast<int>(std::lround(pen)) + g->bitmap_left;
        const int topRow = static_cast<int>(std::lround(base)) + g->bitmap_top - 1;
        for (unsigned r = 0; r < g->bitmap.rows; ++r) {
            for (unsigned c = 0; c < g->bitmap.width; ++c) {
                const float value = g->bitmap.buffer[r * g->bitmap.pitch + c] / 255.0f;
                if (value <= 0.0f) continue;
                coverage.add(originX + static_cast<int>(c), topRow - static_cast<int>(r), value);
                shadow.add(originX + static_cast<int>(c) + 1, topRow - static_cast<int>(r) - 1, value);
            }
        }
        pen += g->advance.x / 64.0;
    }
    // A soft dark shadow keeps light text readable over light pictures.
    const float shadowColour[4] = {0.0f, 0.0f, 0.0f, 0.6f * colour_[3]};
    composite(shadow, shadowColour);
    composite(coverage, colour_);
    return true;
}
#else
bool OverlayPainter::drawText(const std::string&, OfxPointD, int) {
    return false;
}
#endif

PaintReport OverlayPainter::paint(const std::vector<DrawRecord>& records) {
    report_ = PaintReport{};
    for (const DrawRecord& r : records) {
        if (r.op == "setColour" && r.values.size() >= 4) {
            for (int c = 0; c < 4; ++c) colour_[c] = static_cast<float>(r.values[c]);
        } else if (r.op == "setLineWidth" && !r.values.empty()) {
            lineWidth_ = static_cast<float>(r.values[0]);
        } else if (r.op == "draw") {
            std::vector<OfxPointD> points;
            for (size_t i = 0; i + 1 < r.values.size(); i += 2)
                points.push_back(toPixels(r.values[i], r.values[i + 1]));
            switch (r.code) {
                case kOfxDrawPrimitiveLines:
                case kOfxDrawPrimitiveLineStrip:
                case kOfxDrawPrimitiveLineLoop:
                    drawLines(points, r.code);
                    break;
                case kOfxDrawPrimitiveRectangle:
                    if (points.size() >= 2) fillRectangle(points[0], points[1]);
                    break;
                case kOfxDrawPrimitivePolygon:
                    fillPolygon(points);
                    break;
                case kOfxDrawPrimitiveEllipse:
                    if (points.size() >= 2) drawEllipse(points[0], points[1]);
                    break;
                default:
                    break;
            }
        } else if (r.op == "drawText" && r.values.size() >= 2 && !r.text.empty()) {
            if (drawText(r.text, toPixels(r.values[0], r.values[1]), r.code))
                ++report_.texts;
            else
                ++report_.textsSkipped;
        }
    }
    return report_;
}

}  // namespace vhost
