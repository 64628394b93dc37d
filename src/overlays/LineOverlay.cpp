#include <cmath>
#include <utility>

#include "overlays/OverlayShapes.h"

namespace OFX {

namespace {

double distanceToSegment(OverlayPoint p, OverlayPoint a, OverlayPoint b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double lengthSquared = dx * dx + dy * dy;
    if (lengthSquared < 0.0001) return std::hypot(p.x - a.x, p.y - a.y);
    double t = ((p.x - a.x) * dx + (p.y - a.y) * dy) / lengthSquared;
    t = t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t);
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}
}  // namespace

LineOverlay::LineOverlay(OverlayParamHost* host, std::string center, std::string angle)
    : OverlayBase(host), center_(std::move(center)), angle_(std::move(angle)) {}

void LineOverlay::draw(OverlayDrawSurface& surface, const OverlayDrawArgs& args) {
    if (!isVisible(args.time)) return;
    refreshImageSize(args.time);
    double degrees = 0.0;
    if (!host_ || !host_->getDouble(angle_, args.time, degrees)) degrees = 0.0;
    const double a = degrees / kDegreesPerRadian, ca = std::cos(a), sa = std::sin(a);
    const OverlayPoint c = toImage(readPositionOrCentre(center_, args.time));
    const double reach = std::hypot(imageWidth(), imageHeight());
    const double px = args.pixelScale.x, py = args.pixelScale.y;

    std::vector<OverlayPoint> lines{{c.x - reach * ca, c.y - reach * sa},
                                    {c.x + reach * ca, c.y + reach * sa}};
    for (double side : {-1.0, 1.0}) {
        const OverlayPoint t{c.x + side * 50.0 * px * ca, c.y + side * 50.0 * py * sa};
        lines.push_back({t.x + 8.0 * px * sa, t.y - 8.0 * py * ca});
        lines.push_back({t.x - 8.0 * px * sa, t.y + 8.0 * py * ca});
    }
    applyColour(surface);
    surface.setLineWidth(2.0f);
    surface.drawLines(lines);
    drawCircle(surface, c, 5.0, args);
    drawLabel(surface, OverlayPoint{c.x + 15.0 * px, c.y + 15.0 * py});
}

bool LineOverlay::penDown(const OverlayPenArgs& args) {
    if (!isVisible(args.time)) return false;
    refreshImageSize(args.time);
    const OverlayPoint c = toImage(readPositionOrCentre(center_, args.time));
    if (within(c, args.penPosition)) {
        mode_ = kMove;
        beginDrag("Drag line center");
        return true;
    }
    double degrees = 0.0;
    if (!host_ || !host_->getDouble(angle_, args.time, degrees)) degrees = 0.0;
    const double a = degrees / kDegreesPerRadian;
    const double reach = std::hypot(imageWidth(), imageHeight());
    const OverlayPoint start{c.x - reach * std::cos(a), c.y - reach * std::sin(a)};
    const OverlayPoint end{c.x + reach * std::cos(a), c.y + reach * std::sin(a)};
    if (distanceToSegment(args.penPosition, start, end) > kHitTolerance) return false;
    mode_ = kRotate;
    beginDrag("Rotate line");
    return true;
}

bool LineOverlay::penMotion(const OverlayPenArgs& args) {
    if (!continueDrag(args.time)) return false;
    refreshImageSize(args.time);
    if (mode_ == kMove) {
        writePosition(center_, toNormalized(args.penPosition));
        return true;
    }
    const OverlayPoint c = toImage(readPositionOrCentre(center_, args.time));
    double degrees = std::atan2(args.penPosition.y - c.y, args.penPosition.x - c.x) * kDegreesPerRadian;
    if (degrees <= -180.0) degrees += 360.0;
    if (degrees > 180.0) degrees -= 360.0;
    host_->setDouble(angle_, degrees);
    return true;
}

}  // namespace OFX
