#include <algorithm>
#include <cmath>
#include <utility>

#include "overlays/OverlayShapes.h"

namespace OFX {

Scale2DOverlay::Scale2DOverlay(OverlayParamHost* host, std::string param, std::string center)
    : OverlayBase(host), param_(std::move(param)), center_(std::move(center)) {}

OverlayPoint Scale2DOverlay::centre(double time) const {
    double x = 0.5, y = 0.5;
    if (!host_ || !host_->getDouble2D(center_, time, x, y)) x = y = 0.5;
    return toImage(OverlayPoint{x, y});
}

void Scale2DOverlay::draw(OverlayDrawSurface& surface, const OverlayDrawArgs& args) {
    if (!isVisible(args.time)) return;
    refreshImageSize(args.time);
    double sx = 0.2, sy = 0.2;
    if (!host_ || !host_->getDouble2D(param_, args.time, sx, sy)) sx = sy = 0.2;
    const OverlayPoint c = centre(args.time);
    const double left = c.x - sx * imageWidth(), right = c.x + sx * imageWidth();
    const double bottom = c.y - sy * imageHeight(), top = c.y + sy * imageHeight();
    const double px = args.pixelScale.x, py = args.pixelScale.y;
    auto handle = [&](double x, double y) {
        surface.drawRectangle(OverlayPoint{x - 8.0 * px, y - 8.0 * py},
                              OverlayPoint{x + 8.0 * px, y + 8.0 * py});
    };

    applyColour(surface);
    surface.setLineWidth(1.5f);
    surface.drawLines({{left, bottom},
                       {right, bottom},
                       {right, bottom},
                       {right, top},
                       {right, top},
                       {left, top},
                       {left, top},
                       {left, bottom}});
    handle(right, c.y);
    handle(c.x, top);
    handle(right, top);
    surface.drawLines(
        {{c.x - 5.0 * px, c.y}, {c.x + 5.0 * px, c.y}, {c.x, c.y - 5.0 * py}, {c.x, c.y + 5.0 * py}});
    drawLabel(surface, OverlayPoint{c.x, top + 15.0 * py});
}

bool Scale2DOverlay::penDown(const OverlayPenArgs& args) {
    if (!isVisible(args.time)) return false;
    refreshImageSize(args.time);
    double sx = 0.0, sy = 0.0;
    if (!host_ || !host_->getDouble2D(param_, args.time, sx, sy)) return false;
    const OverlayPoint c = centre(args.time);
    const double right = c.x + sx * imageWidth(), top = c.y + sy * imageHeight();
    if (within(OverlayPoint{right, top}, args.penPosition)) {
        mode_ = kCorner;
        beginDrag("Drag scale corner");
    } else if (within(OverlayPoint{right, c.y}, args.penPosition)) {
        mode_ = kX;
        beginDrag("Drag scale X");
    } else if (within(OverlayPoint{c.x, top}, args.penPosition)) {
        mode_ = kY;
        beginDrag("Drag scale Y");
    } else {
        return false;
    }
    return true;
}

bool Scale2DOverlay::penMotion(const OverlayPenArgs& args) {
    if (!continueDrag(args.time)) return false;
    refreshImageSize(args.time);
    double sx = 0.2, sy = 0.2;
    if (!host_->getDouble2D(param_, args.time, sx, sy)) return false;
    const OverlayPoint c = centre(args.time);
    if (mode_ == kX || mode_ == kCorner)
        sx = std::clamp(std::abs(args.penPosition.x - c.x) / imageWidth(), 0.01, 1.0);
    if (mode_ == kY || mode_ == kCorner)
        sy = std::clamp(std::abs(args.penPosition.y - c.y) / imageHeight(), 0.01, 1.0);
    host_->setDouble2D(param_, sx, sy);
    return true;
}

}  // namespace OFX
