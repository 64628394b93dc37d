#include <cmath>

#include "overlays/OfxDrawSurface.h"
#include "overlays/OverlayDescriptors.h"

namespace OFX {

namespace {
constexpr double kHitTolerance = 15.0;
}

PointOverlayInteract::PointOverlayInteract(OfxInteractHandle handle, ImageEffect* effect)
    : OverlayInteract(handle, effect) {}

Double2DParam* PointOverlayInteract::centerParam() {
    if (center_ || !_effect) return center_;
    try {
        if (_effect->paramExists("center")) center_ = _effect->fetchDouble2DParam("center");
    } catch (...) {
        center_ = nullptr;
    }
    return center_;
}

void PointOverlayInteract::refreshImageSize(double time) {
    if (_effect) OfxOverlayParamHost::sourceImageSize(*_effect, time, width_, height_);
}

bool PointOverlayInteract::overlaysShown(double time) {
    try {
        if (_effect && _effect->paramExists("show_overlays"))
            return _effect->fetchBooleanParam("show_overlays")->getValueAtTime(time);
    } catch (...) {
    }
    return true;
}

OfxPointD PointOverlayInteract::position(double time) {
    double x = 0.5, y = 0.5;
    try {
        if (Double2DParam* p = centerParam()) p->getValueAtTime(time, x, y);
    } catch (...) {
        x = y = 0.5;
    }
    return OfxPointD{x * width_, y * height_};
}

bool PointOverlayInteract::draw(const DrawArgs& args) {
    if (!args.drawSuite || !args.drawContext) return false;
    if (!overlaysShown(args.time)) return false;
    refreshImageSize(args.time);
    const OfxPointD p = position(args.time);
    const double sx = args.pixelScale.x, sy = args.pixelScale.y;
    OfxDrawSurface surface(args.drawSuite, args.drawContext);
    if (dragging_) {
        surface.setColour(0.0f, 1.0f, 0.0f, 1.0f);
    } else {
        surface.setColour(1.0f, 1.0f, 1.0f, 1.0f);
    }
    surface.setLineWidth(2.0f);
    surface.drawLines(
        {{p.x - 15.0 * sx, p.y}, {p.x + 15.0 * sx, p.y}, {p.x, p.y - 15.0 * sy}, {p.x, p.y + 15.0 * sy}});
    surface.drawEllipse(OverlayPoint{p.x - 10.5 * sx, p.y - 10.5 * sy},
                        OverlayPoint{p.x + 10.5 * sx, p.y + 10.5 * sy});
    surface.drawText("center", OverlayPoint{p.x, p.y - 22.5 * sy});
    return true;
}

bool PointOverlayInteract::penDown(const PenArgs& args) {
    if (!overlaysShown(args.time) || !centerParam()) return false;
    refreshImageSize(args.time);
    const OfxPointD p = position(args.time);
    if (std::abs(args.penPosition.x - p.x) > kHitTolerance ||
        std::abs(args.penPosition.y - p.y) > kHitTolerance)
        return false;
    dragging_ = true;
    return true;
}

bool PointOverlayInteract::penMotion(const PenArgs& args) {
    if (!dragging_) return false;
    if (!overlaysShown(args.time)) {
        dragging_ = false;
        requestRedraw();
        return false;
    }
    refreshImageSize(args.time);
    const double x = width_ > 0.0 ? args.penPosition.x / width_ : 0.5;
    const double y = height_ > 0.0 ? args.penPosition.y / height_ : 0.5;
    try {
        if (Double2DParam* p = centerParam()) p->setValue(x, y);
    } catch (...) {
    }
    requestRedraw();
    return true;
}

bool PointOverlayInteract::penUp(const PenArgs&) {
    if (!dragging_) return false;
    dragging_ = false;
    requestRedraw();
    return true;
}

void PointOverlayInteract::gainFocus(const FocusArgs&) {
    requestRedraw();
}

void PointOverlayInteract::loseFocus(const FocusArgs&) {
    if (!dragging_) return;
    dragging_ = false;
    requestRedraw();
}

}  // namespace OFX
