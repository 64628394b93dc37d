#pragma once

#include <string>
#include <vector>

#include "overlays/OverlayRecords.h"

namespace OFX {

// Where overlay objects draw, in canonical image coordinates.
class OverlayDrawSurface {
  public:
    virtual ~OverlayDrawSurface() = default;

    virtual void setColour(float red, float green, float blue, float alpha) = 0;
    // Also makes lines solid.
    virtual void setLineWidth(float width) = 0;
    // Separate segments: two points each.
    virtual void drawLines(const std::vector<OverlayPoint>& points) = 0;
    // The ellipse inside the box of two opposite corners.
    virtual void drawEllipse(OverlayPoint corner1, OverlayPoint corner2) = 0;
    virtual void drawRectangle(OverlayPoint corner1, OverlayPoint corner2) = 0;
    // Horizontally centred, its top at the position.
    virtual void drawText(const std::string& text, OverlayPoint position) = 0;
};

}  // namespace OFX
