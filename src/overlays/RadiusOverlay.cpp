#include <algorithm>
#include <cmath>
#include <utility>

#include "overlays/OverlayShapes.h"

namespace OFX {

RadiusOverlay::RadiusOverlay(OverlayParamHost* host, std::string param, std::string center)
    : OverlayBase(host), param_(std::move(param)), center_(std::move(center)) {}

void RadiusOverlay::draw(OverlayDrawSurface& surface, const OverlayDrawArgs& args) {
    if (!isVisible(args.time)) return;
    refreshImageSize(args.time);
    double radius = 0.1;
    if (!host_ || !host_->getDouble(param_, args.time, radius)) radius = 0.1;
    const double r = radius * minDimension();
    const OverlayPoint c = toImage(readPositionOrCentre(center_, args.time));
    const double handle = 4.0 * args.pixelScale.x;

    applyColour(surface);
    surface.setLineWidth(2.0f);
    surface.drawEllipse(OverlayPoint{c.x - r, c.y - r}, OverlayPoint{c.x + r, c.y + r});
    surface.drawRectangle(OverlayPoint{c.x + r - handle, c.y - handle},
                          OverlayPoint{c.x + r + handle, c.y + handle});
    drawLabel(surface, OverlayPoint{c.x, c.y + r + 20.0 * args.pixelScale.y});
}

bool RadiusOverlay::penDown(const OverlayPenArgs& args) {
    if (!isVisible(args.time)) return false;
    refreshImageSize(args.time);
    double radius = 0.0;
    if (!host_ || !host_->getDouble(param_, args.time, radius)) return false;
    const OverlayPoint c = toImage(readPositionOrCentre(center_, args.time));
    const double distance = std::hypot(args.penPosition.x - c.x, args.penPosition.y - c.y);
    if (std::abs(distance - radius * minDimension()) > kHitTolerance) return false;
    beginDrag("Drag radius");
    return true;
}

bool RadiusOverlay::penMotion(const OverlayPenArgs& args) {
    if (!continueDrag(args.time)) return false;
    refreshImageSize(args.time);
    const OverlayPoint c = toImage(readPositionOrCentre(center_, args.time));
    const double distance = std::hypot(args.penPosition.x - c.x, args.penPosition.y - c.y);
    host_->setDouble(param_, std::clamp(distance / minDimension(), 0.001, 1.0));
    return true;
}

}  // namespace OFX
