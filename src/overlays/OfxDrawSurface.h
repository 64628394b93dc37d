#pragma once

#include "ofxDrawSuite.h"
#include "overlays/OverlayDrawSurface.h"

namespace OFX {

// The overlay draw surface over the OpenFX draw suite and one draw's context. Without either,
// every operation does nothing.
class OfxDrawSurface : public OverlayDrawSurface {
  public:
    OfxDrawSurface(const OfxDrawSuiteV1* suite, OfxDrawContextHandle context)
        : suite_(suite), context_(context) {}

    void setColour(float red, float green, float blue, float alpha) override;
    void setLineWidth(float width) override;
    void drawLines(const std::vector<OverlayPoint>& points) override;
    void drawEllipse(OverlayPoint corner1, OverlayPoint corner2) override;
    void drawRectangle(OverlayPoint corner1, OverlayPoint corner2) override;
    void drawText(const std::string& text, OverlayPoint position) override;

  private:
    bool usable() const { return suite_ != nullptr && context_ != nullptr; }
    void drawPoints(OfxDrawPrimitive primitive, const std::vector<OverlayPoint>& points);

    const OfxDrawSuiteV1* suite_;
    OfxDrawContextHandle context_;
};

}  // namespace OFX
