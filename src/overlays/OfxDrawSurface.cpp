#include "overlays/OfxDrawSurface.h"

namespace OFX {

void OfxDrawSurface::setColour(float red, float green, float blue, float alpha) {
    if (!usable() || !suite_->setColour) return;
    const OfxRGBAColourF colour{red, green, blue, alpha};
    suite_->setColour(context_, &colour);
}

void OfxDrawSurface::setLineWidth(float width) {
    if (!usable()) return;
    if (suite_->setLineWidth) suite_->setLineWidth(context_, width);
    if (suite_->setLineStipple) suite_->setLineStipple(context_, kOfxDrawLineStipplePatternSolid);
}

void OfxDrawSurface::drawPoints(OfxDrawPrimitive primitive, const std::vector<OverlayPoint>& points) {
    if (!usable() || !suite_->draw || points.empty()) return;
    std::vector<OfxPointD> ofxPoints;
    ofxPoints.reserve(points.size());
    for (const OverlayPoint& p : points) ofxPoints.push_back(OfxPointD{p.x, p.y});
    suite_->draw(context_, primitive, ofxPoints.data(), static_cast<int>(ofxPoints.size()));
}

void OfxDrawSurface::drawLines(const std::vector<OverlayPoint>& points) {
    drawPoints(kOfxDrawPrimitiveLines, points);
}

void OfxDrawSurface::drawEllipse(OverlayPoint corner1, OverlayPoint corner2) {
    drawPoints(kOfxDrawPrimitiveEllipse, {corner1, corner2});
}

void OfxDrawSurface::drawRectangle(OverlayPoint corner1, OverlayPoint corner2) {
    drawPoints(kOfxDrawPrimitiveRectangle, {corner1, corner2});
}

void OfxDrawSurface::drawText(const std::string& text, OverlayPoint position) {
    if (!usable() || !suite_->drawText || text.empty()) return;
    const OfxPointD at{position.x, position.y};
    suite_->drawText(context_, text.c_str(), &at,
                     kOfxDrawTextAlignmentLeft | kOfxDrawTextAlignmentRight | kOfxDrawTextAlignmentTop);
}

}  // namespace OFX
