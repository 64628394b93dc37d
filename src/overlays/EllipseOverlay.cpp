#include <algorithm>
#include <cmath>
#include <utility>

#include "overlays/OverlayShapes.h"

namespace OFX {

namespace {
constexpr int kOutlineSegments = 48;
}  // namespace

EllipseOverlay::EllipseOverlay(OverlayParamHost* host, std::string param, std::string center)
    : OverlayBase(host), param_(std::move(param)), center_(std::move(center)) {}

void EllipseOverlay::draw(OverlayDrawSurface& surface, const OverlayDrawArgs& args) {
    if (!isVisible(args.time)) return;
    refreshImageSize(args.time);
    double rx = 0.1, ry = 0.1;
    if (!host_ || !host_->getDouble2D(param_, args.time, rx, ry)) rx = ry = 0.1;
    const double ex = rx * minDimension(), ey = ry * minDimension();
    const OverlayPoint c = toImage(readPositionOrCentre(center_, args.time));
    const double px = args.pixelScale.x, py = args.pixelScale.y;

    applyColour(surface);
    surface.setLineWidth(1.5f);
    std::vector<OverlayPoint> outline;
    outline.reserve(2 * kOutlineSegments);
    for (int i = 0; i < kOutlineSegments; ++i) {
        const double a0 = 2.0 * kPi * i / kOutlineSegments, a1 = 2.0 * kPi * (i + 1) / kOutlineSegments;
        outline.push_back({c.x + ex * std::cos(a0), c.y + ey * std::sin(a0)});
        outline.push_back({c.x + ex * std::cos(a1), c.y + ey * std::sin(a1)});
    }
    surface.drawLines(outline);
    surface.setLineWidth(2.5f);
    surface.drawLines({{c.x + ex - 3.6 * px, c.y},
                       {c.x + ex + 12.0 * px, c.y},
                       {c.x, c.y + ey - 3.6 * py},
                       {c.x, c.y + ey + 12.0 * py}});
    drawLabel(surface, OverlayPoint{c.x, c.y - ey - 15.0 * py});
}

bool EllipseOverlay::penDown(const OverlayPenArgs& args) {
    if (!isVisible(args.time)) return false;
    refreshImageSize(args.time);
    double rx = 0.0, ry = 0.0;
    if (!host_ || !host_->getDouble2D(param_, args.time, rx, ry)) return false;
    OverlayPoint centre;
    if (!readPosition(center_, args.time, centre)) return false;
    const OverlayPoint c = toImage(centre);
    const double ex = rx * minDimension(), ey = ry * minDimension();
    if (within(OverlayPoint{c.x + ex, c.y}, args.penPosition)) {
        mode_ = kX;
        beginDrag("Drag ellipse X");
    } else if (within(OverlayPoint{c.x, c.y + ey}, args.penPosition)) {
        mode_ = kY;
        beginDrag("Drag ellipse Y");
    } else {
        return false;
    }
    return true;
}

bool EllipseOverlay::penMotion(const OverlayPenArgs& args) {
    if (!continueDrag(args.time)) return false;
    refreshImageSize(args.time);
    double rx = 0.1, ry = 0.1;
    if (!host_->getDouble2D(param_, args.time, rx, ry)) return false;
    const OverlayPoint c = toImage(readPositionOrCentre(center_, args.time));
    if (mode_ == kX) rx = std::clamp(std::abs(args.penPosition.x - c.x) / minDimension(), 0.01, 1.0);
    if (mode_ == kY) ry = std::clamp(std::abs(args.penPosition.y - c.y) / minDimension(), 0.01, 1.0);
    host_->setDouble2D(param_, rx, ry);
    return true;
}

}  // namespace OFX
