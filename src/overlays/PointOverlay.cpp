#include <cctype>
#include <cmath>
#include <utility>

#include "overlays/OverlayShapes.h"

namespace OFX {

int PointOverlay::styleCode(const std::string& style) {
    std::string name;
    for (char c : style) name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    static const char* const kNames[] = {"crosshair", "target", "cross", "diamond", "axis", "dot", "sun"};
    for (int code = 0; code < 7; ++code)
        if (name == kNames[code]) return code;
    return kCrosshair;
}

PointOverlay::PointOverlay(OverlayParamHost* host, std::string param, int style)
    : OverlayBase(host), param_(std::move(param)), style_(style) {}

void PointOverlay::draw(OverlayDrawSurface& surface, const OverlayDrawArgs& args) {
    if (!isVisible(args.time)) return;
    refreshImageSize(args.time);
    const OverlayPoint p = toImage(isDragging() ? dragPosition_ : readPositionOrCentre(param_, args.time));
    const double sx = args.pixelScale.x, sy = args.pixelScale.y;
    // Segments through the point, `half` screen pixels to each side on both axes.
    auto crossSegments = [&](double half) {
        return std::vector<OverlayPoint>{
            {p.x - half * sx, p.y}, {p.x + half * sx, p.y}, {p.x, p.y - half * sy}, {p.x, p.y + half * sy}};
    };

    applyColour(surface);
    surface.setLineWidth(2.0f);
    switch (style_) {
        case kTarget:
            surface.drawLines(crossSegments(4.5));
            drawCircle(surface, p, 7.5, args);
            drawCircle(surface, p, 15.0, args);
            break;
        case kCross:
            surface.drawLines(crossSegments(15.0));
            break;
        case kDiamond: {
            const OverlayPoint right{p.x + 15.0 * sx, p.y}, top{p.x, p.y + 15.0 * sy};
            const OverlayPoint left{p.x - 15.0 * sx, p.y}, bottom{p.x, p.y - 15.0 * sy};
            surface.drawLines({right, top, top, left, left, bottom, bottom, right});
            break;
        }
        case kAxis:
            surface.drawLines({{0.0, p.y}, {imageWidth(), p.y}, {p.x, 0.0}, {p.x, imageHeight()}});
            drawCircle(surface, p, 3.75, args);
            break;
        case kDot:
            drawCircle(surface, p, 6.0, args);
            break;
        case kSun: {
            drawCircle(surface, p, 3.75, args);
            drawCircle(surface, p, 9.0, args);
            std::vector<OverlayPoint> rays;
            for (int k = 0; k < 8; ++k) {
                const double c = std::cos(k * kPi / 4.0), s = std::sin(k * kPi / 4.0);
                rays.push_back({p.x + 11.25 * sx * c, p.y + 11.25 * sy * s});
                rays.push_back({p.x + 21.0 * sx * c, p.y + 21.0 * sy * s});
            }
            surface.drawLines(rays);
            break;
        }
        default:
            surface.drawLines(crossSegments(15.0));
            drawCircle(surface, p, 10.5, args);
            break;
    }
    drawLabel(surface, OverlayPoint{p.x, p.y - 22.5 * sy});
}

bool PointOverlay::penDown(const OverlayPenArgs& args) {
    if (!isVisible(args.time)) return false;
    refreshImageSize(args.time);
    OverlayPoint position;
    if (!readPosition(param_, args.time, position)) return false;
    if (!within(toImage(position), args.penPosition)) return false;
    dragPosition_ = position;
    beginDrag("Drag " + param_);
    return true;
}

bool PointOverlay::penMotion(const OverlayPenArgs& args) {
    if (!continueDrag(args.time)) return false;
    refreshImageSize(args.time);
    dragPosition_ = toNormalized(args.penPosition);
    writePosition(param_, dragPosition_);
    return true;
}

bool PointOverlay::penUp(const OverlayPenArgs&) {
    if (!isDragging()) return false;
    // The last position is written again inside the drag's undo block, so the drag stays one step.
    writePosition(param_, dragPosition_);
    endDrag();
    return true;
}

}  // namespace OFX
