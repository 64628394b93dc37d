#pragma once

#include <string>

#include "definition/EffectDefinitionRecords.h"
#include "overlays/OverlayDrawSurface.h"
#include "overlays/OverlayParamHost.h"
#include "overlays/OverlayRecords.h"

namespace OFX {

// One on-screen control declared by an effect definition: draws itself and edits its
// parameters while the user drags it. Positions are canonical image coordinates; a parameter
// position is normalized (0 to 1 across the image) after the definition's coordinate system.
class OverlayBase {
  public:
    enum State : int { kIdle = 0, kHover = 1, kDragging = 2 };

    explicit OverlayBase(OverlayParamHost* host) : host_(host) {}
    virtual ~OverlayBase() = default;
    OverlayBase(const OverlayBase&) = delete;
    OverlayBase& operator=(const OverlayBase&) = delete;

    virtual void draw(OverlayDrawSurface& surface, const OverlayDrawArgs& args) = 0;
    virtual bool penMotion(const OverlayPenArgs& args) = 0;
    virtual bool penDown(const OverlayPenArgs& args) = 0;
    // Ends a drag: closes its undo block and returns to idle; false when there was none.
    virtual bool penUp(const OverlayPenArgs& args);

    // Drops a drag without writing: closes its undo block and returns to idle.
    void cancelDrag();

    void setCoordinateSystem(OverlayCoordinates coordinates) { coordinates_ = coordinates; }
    void setColour(const OverlayColor& colour) { colour_ = colour; }
    void setLabel(const std::string& label) { label_ = label; }
    void setVisibilityCondition(const std::string& condition) { visibleWhen_ = condition; }

    int state() const { return state_; }
    bool isDragging() const { return state_ == kDragging; }
    double imageWidth() const { return width_; }
    double imageHeight() const { return height_; }

    // The visibility condition at a time: empty, unreadable or malformed conditions are visible.
    bool isVisible(double time) const;

  protected:
    static constexpr double kPi = 3.14159265358979323846;
    static constexpr double kDegreesPerRadian = 180.0 / kPi;
    // Pen distance (canonical units) within which a handle takes the pen.
    static constexpr double kHitTolerance = 25.0;
    // Whether b lies within the tolerances of a on each axis.
    static bool within(OverlayPoint a, OverlayPoint b, double toleranceX, double toleranceY);
    static bool within(OverlayPoint a, OverlayPoint b) { return within(a, b, kHitTolerance, kHitTolerance); }

    // Asks the host for the image size; keeps the previous size when it cannot tell.
    void refreshImageSize(double time);
    double minDimension() const { return width_ < height_ ? width_ : height_; }

    // A position parameter as a normalized point; false (and the centre) when unreadable.
    bool readPosition(const std::string& param, double time, OverlayPoint& normalized) const;
    OverlayPoint readPositionOrCentre(const std::string& param, double time) const;
    bool writePosition(const std::string& param, OverlayPoint normalized) const;
    OverlayPoint toImage(OverlayPoint normalized) const;
    OverlayPoint toNormalized(OverlayPoint image) const;

    // The drawing colour: declared or white, highlighted while hovered or dragged.
    void applyColour(OverlayDrawSurface& surface) const;
    // A circle of `radius` screen pixels around an image point.
    static void drawCircle(OverlayDrawSurface& surface, OverlayPoint centre, double radius,
                           const OverlayDrawArgs& args);
    void drawLabel(OverlayDrawSurface& surface, OverlayPoint at) const;

    // A drag runs inside one undo block.
    void beginDrag(const std::string& undoLabel);
    void endDrag();
    // True while the drag may go on; drops it when the overlay has become invisible.
    bool continueDrag(double time);

    OverlayParamHost* host_;  // not owned

  private:
    int state_ = kIdle;
    double width_ = 1920.0;
    double height_ = 1080.0;
    OverlayColor colour_;
    std::string label_;
    std::string visibleWhen_;
    OverlayCoordinates coordinates_ = OverlayCoordinates::Uv;
};

}  // namespace OFX
