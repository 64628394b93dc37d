#pragma once

class TapRecords;

namespace OFX {

// What the overlays of a viewer need from their effect instance besides its parameters: the
// audio monitor, which is drawn over the image instead of the overlays and takes clicks first,
// and the instance's tap records.
class OverlayEffectHooks {
  public:
    virtual ~OverlayEffectHooks() = default;
    virtual bool audioMonitorShown() const = 0;
    // The monitor panel's share of a pen-down at canonical (x, y); true when it took the click.
    virtual bool handleMonitorClick(double time, double x, double y) = 0;
    // Null when the instance keeps none.
    virtual TapRecords* tapRecords() = 0;
};

}  // namespace OFX
