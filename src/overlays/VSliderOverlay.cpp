#include <algorithm>
#include <cmath>
#include <utility>

#include "overlays/OverlayShapes.h"

namespace OFX {

VSliderOverlay::VSliderOverlay(OverlayParamHost* host, std::string param, double fixedX)
    : OverlayBase(host), param_(std::move(param)), fixedX_(fixedX) {}

void VSliderOverlay::draw(OverlayDrawSurface& surface, const OverlayDrawArgs& args) {
    if (!isVisible(args.time)) return;
    refreshImageSize(args.time);
    double value = 0.5;
    if (!host_ || !host_->getDouble(param_, args.time, value)) value = 0.5;
    value = std::clamp(value, 0.0, 1.0);
    const double x = trackX(), y0 = trackBottom(), y1 = trackTop();
    const double px = args.pixelScale.x, py = args.pixelScale.y;
    const double middle = 0.5 * (y0 + y1), handleY = y0 + value * (y1 - y0);

    applyColour(surface);
    surface.setLineWidth(2.0f);
    surface.drawLines({{x, y0},
                       {x, y1},
                       {x - 8.0 * px, y0},
                       {x + 8.0 * px, y0},
                       {x - 8.0 * px, y1},
                       {x + 8.0 * px, y1},
                       {x - 5.6 * px, middle},
                       {x + 5.6 * px, middle}});
    surface.drawRectangle(OverlayPoint{x - 12.0 * px, handleY - 6.0 * py},
                          OverlayPoint{x + 12.0 * px, handleY + 6.0 * py});
    drawLabel(surface, OverlayPoint{x, y1 + 15.0 * py});
}

bool VSliderOverlay::penDown(const OverlayPenArgs& args) {
    if (!isVisible(args.time)) return false;
    refreshImageSize(args.time);
    const OverlayPoint pen = args.penPosition;
    if (std::abs(pen.x - trackX()) > kHitTolerance) return false;
    if (pen.y < trackBottom() - kHitTolerance || pen.y > trackTop() + kHitTolerance) return false;
    beginDrag("Drag slider");
    return true;
}

bool VSliderOverlay::penMotion(const OverlayPenArgs& args) {
    if (!continueDrag(args.time)) return false;
    refreshImageSize(args.time);
    const double y0 = trackBottom(), y1 = trackTop();
    host_->setDouble(param_, std::clamp((args.penPosition.y - y0) / (y1 - y0), 0.0, 1.0));
    return true;
}

}  // namespace OFX
