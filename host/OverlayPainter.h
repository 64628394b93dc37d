#pragma once

#include <memory>
#include <string>
#include <vector>

#include "HostRecords.h"
#include "Image.h"
#include "ofxCore.h"

namespace vhost {

struct PaintReport {
    int primitives = 0;    // lines, rectangles, polygons and ellipses drawn
    int texts = 0;         // texts drawn
    int textsSkipped = 0;  // texts left out for want of a font
};

// Draws recorded draw-suite calls over an image, as a viewer shows an overlay over the effect's
// output: anti-aliased lines of the set width, ellipse outlines, filled rectangles and polygons,
// and text (with FreeType and a font found on the system). Coordinates are canonical; one pixel
// of the image covers `canonicalPerPixel` canonical units, and pixel (x, y) of the image covers
// canonical [x, x + 1) x [y, y + 1) at scale 1 with y upwards, as in the image's own layout.
class OverlayPainter {
  public:
    explicit OverlayPainter(Image& image, OfxPointD canonicalPerPixel = {1.0, 1.0});
    ~OverlayPainter();
    OverlayPainter(const OverlayPainter&) = delete;
    OverlayPainter& operator=(const OverlayPainter&) = delete;

    PaintReport paint(const std::vector<DrawRecord>& records);

    // The font file texts are drawn with: VELMORA_OVERLAY_FONT when set, else the first of a
    // few usual system fonts that exists; empty when there is none or no FreeType in this build.
    static std::string fontPath();

  private:
    struct Coverage;
    struct Font;

    OfxPointD toPixels(double x, double y) const;
    void strokeSegment(Coverage& coverage, OfxPointD a, OfxPointD b) const;
    void composite(const Coverage& coverage, const float colour[4]);
    void drawLines(const std::vector<OfxPointD>& points, int primitive);
    void drawEllipse(OfxPointD corner1, OfxPointD corner2);
    void fillRectangle(OfxPointD corner1, OfxPointD corner2);
    void fillPolygon(const std::vector<OfxPointD>& points);
    bool drawText(const std::string& text, OfxPointD position, int alignment);

    Image& image_;
    OfxPointD scale_;
    float colour_[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float lineWidth_ = 1.0f;
    std::unique_ptr<Font> font_;
    bool fontTried_ = false;
    PaintReport report_;
};

}  // namespace vhost
