#pragma once

#include <string>

#include "overlays/OverlayBase.h"

namespace OFX {

// A draggable point bound to a 2-D position parameter, drawn in one of seven styles.
class PointOverlay : public OverlayBase {
  public:
    enum Style : int { kCrosshair = 0, kTarget, kCross, kDiamond, kAxis, kDot, kSun };
    // The style code of a style name, compared without regard to case; unknown names are crosshair.
    static int styleCode(const std::string& style);

    PointOverlay(OverlayParamHost* host, std::string param, int style);
    void draw(OverlayDrawSurface& surface, const OverlayDrawArgs& args) override;
    bool penMotion(const OverlayPenArgs& args) override;
    bool penDown(const OverlayPenArgs& args) override;
    bool penUp(const OverlayPenArgs& args) override;

  private:
    std::string param_;
    int style_;
    OverlayPoint dragPosition_;  // normalized
};

// A circle around a position parameter whose radius (a fraction of the smaller image side) is dragged.
class RadiusOverlay : public OverlayBase {
  public:
    RadiusOverlay(OverlayParamHost* host, std::string param, std::string center);
    void draw(OverlayDrawSurface& surface, const OverlayDrawArgs& args) override;
    bool penMotion(const OverlayPenArgs& args) override;
    bool penDown(const OverlayPenArgs& args) override;

  private:
    std::string param_;
    std::string center_;
};

// A box around a centre whose half-sizes (fractions of width and height) are dragged by handles.
class Scale2DOverlay : public OverlayBase {
  public:
    enum DragMode : int { kNone = 0, kX, kY, kCorner };
    Scale2DOverlay(OverlayParamHost* host, std::string param, std::string center);
    void draw(OverlayDrawSurface& surface, const OverlayDrawArgs& args) override;
    bool penMotion(const OverlayPenArgs& args) override;
    bool penDown(const OverlayPenArgs& args) override;

  private:
    // The centre as a plain normalized point (the coordinate system does not apply), in image units.
    OverlayPoint centre(double time) const;

    std::string param_;
    std::string center_;
    int mode_ = kNone;
};

// A vertical slider for a value from 0 (bottom) to 1 (top) at a fixed horizontal position.
class VSliderOverlay : public OverlayBase {
  public:
    VSliderOverlay(OverlayParamHost* host, std::string param, double fixedX);
    void draw(OverlayDrawSurface& surface, const OverlayDrawArgs& args) override;
    bool penMotion(const OverlayPenArgs& args) override;
    bool penDown(const OverlayPenArgs& args) override;

  private:
    double trackX() const { return fixedX_ * imageWidth(); }
    double trackBottom() const { return 0.1 * imageHeight(); }
    double trackTop() const { return 0.9 * imageHeight(); }

    std::string param_;
    double fixedX_;
};

// An arrow from a centre along a direction (degrees), of a dragged or fixed length.
class VectorOverlay : public OverlayBase {
  public:
    VectorOverlay(OverlayParamHost* host, std::string direction, std::string center, std::string magnitude,
                  double fixedMagnitude);
    void draw(OverlayDrawSurface& surface, const OverlayDrawArgs& args) override;
    bool penMotion(const OverlayPenArgs& args) override;
    bool penDown(const OverlayPenArgs& args) override;

  private:
    struct Geometry {
        OverlayPoint centre, tip;
        double angle;  // radians
    };
    Geometry geometry(double time) const;

    std::string direction_;
    std::string center_;
    std::string magnitude_;
    double fixedMagnitude_;
};

// An ellipse around a centre whose radii (fractions of the smaller image side) are dragged by handles.
class EllipseOverlay : public OverlayBase {
  public:
    enum DragMode : int { kNone = 0, kX, kY };
    EllipseOverlay(OverlayParamHost* host, std::string param, std::string center);
    void draw(OverlayDrawSurface& surface, const OverlayDrawArgs& args) override;
    bool penMotion(const OverlayPenArgs& args) override;
    bool penDown(const OverlayPenArgs& args) override;

  private:
    std::string param_;
    std::string center_;
    int mode_ = kNone;
};

// A line through a centre at an angle (degrees), moved by its centre and rotated anywhere else.
class LineOverlay : public OverlayBase {
  public:
    enum DragMode : int { kNone = 0, kRotate, kMove };
    LineOverlay(OverlayParamHost* host, std::string center, std::string angle);
    void draw(OverlayDrawSurface& surface, const OverlayDrawArgs& args) override;
    bool penMotion(const OverlayPenArgs& args) override;
    bool penDown(const OverlayPenArgs& args) override;

  private:
    std::string center_;
    std::string angle_;
    int mode_ = kNone;
};

}  // namespace OFX
