#include <algorithm>
#include <cmath>
#include <utility>

#include "overlays/OverlayShapes.h"

namespace OFX {

VectorOverlay::VectorOverlay(OverlayParamHost* host, std::string direction, std::string center,
                             std::string magnitude, double fixedMagnitude)
    : OverlayBase(host),
      direction_(std::move(direction)),
      center_(std::move(center)),
      magnitude_(std::move(magnitude)),
      fixedMagnitude_(fixedMagnitude) {}

VectorOverlay::Geometry VectorOverlay::geometry(double time) const {
    double degrees = 0.0;
    if (!host_ || !host_->getDouble(direction_, time, degrees)) degrees = 0.0;
    double magnitude = fixedMagnitude_;
    if (magnitude_.empty() || !host_ || !host_->getDouble(magnitude_, time, magnitude))
        magnitude = fixedMagnitude_;
    Geometry g;
    g.angle = degrees / kDegreesPerRadian;
    g.centre = toImage(readPositionOrCentre(center_, time));
    const double length = magnitude * minDimension();
    g.tip = OverlayPoint{g.centre.x + length * std::cos(g.angle), g.centre.y + length * std::sin(g.angle)};
    return g;
}

void VectorOverlay::draw(OverlayDrawSurface& surface, const OverlayDrawArgs& args) {
    if (!isVisible(args.time)) return;
    refreshImageSize(args.time);
    const Geometry g = geometry(args.time);
    const double px = args.pixelScale.x, py = args.pixelScale.y;
    const double back = g.angle + kPi;
    const double spread = 25.0 / kDegreesPerRadian;
    auto barb = [&](double angle) {
        return OverlayPoint{g.tip.x + 12.0 * px * std::cos(angle), g.tip.y + 12.0 * py * std::sin(angle)};
    };

    applyColour(surface);
    surface.setLineWidth(2.0f);
    surface.drawLines({g.centre, g.tip, g.tip, barb(back + spread), g.tip, barb(back - spread)});
    drawCircle(surface, g.centre, 4.0, args);
    drawLabel(surface, OverlayPoint{g.tip.x + 10.0 * px, g.tip.y});
}

bool VectorOverlay::penDown(const OverlayPenArgs& args) {
    if (!isVisible(args.time)) return false;
    refreshImageSize(args.time);
    const Geometry g = geometry(args.time);
    const double px = args.pixelScale.x, py = args.pixelScale.y;
    const OverlayPoint pen = args.penPosition;
    // The head: a little back from the tip, with the arrowhead's size added to the tolerance.
    const OverlayPoint head{g.tip.x - 6.0 * px * std::cos(g.angle), g.tip.y - 6.0 * py * std::sin(g.angle)};
    bool hit = within(head, pen, 12.0 * px + kHitTolerance, 12.0 * py + kHitTolerance);
    if (!hit) {
        // Or the outer part of the shaft.
        const double dx = g.tip.x - g.centre.x, dy = g.tip.y - g.centre.y;
        const double lengthSquared = dx * dx + dy * dy;
        if (lengthSquared > 0.0) {
            const double t =
                std::clamp(((pen.x - g.centre.x) * dx + (pen.y - g.centre.y) * dy) / lengthSquared, 0.0, 1.0);
            hit = t > 0.3 && within(OverlayPoint{g.centre.x + t * dx, g.centre.y + t * dy}, pen);
        }
    }
    if (!hit) return false;
    beginDrag("Drag vector");
    return true;
}

bool VectorOverlay::penMotion(const OverlayPenArgs& args) {
    if (!continueDrag(args.time)) return false;
    refreshImageSize(args.time);
    const OverlayPoint c = toImage(readPositionOrCentre(center_, args.time));
    const double dx = args.penPosition.x - c.x, dy = args.penPosition.y - c.y;
    double degrees = std::atan2(dy, dx) * kDegreesPerRadian;
    if (degrees < 0.0) degrees += 360.0;
    if (degrees >= 360.0) degrees -= 360.0;
    host_->setDouble(direction_, degrees);
    if (!magnitude_.empty())
        host_->setDouble(magnitude_, std::clamp(std::hypot(dx, dy) / minDimension(), 0.01, 1.0));
    return true;
}

}  // namespace OFX
