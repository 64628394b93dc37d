#pragma once

// Plain records handed to overlay objects: points in canonical image coordinates and the
// arguments of draw and pen events.

namespace OFX {

struct OverlayPoint {
    double x = 0.0;
    double y = 0.0;
};

// pixelScale: canonical units per screen pixel on each axis.
struct OverlayDrawArgs {
    double time = 0.0;
    OverlayPoint pixelScale{1.0, 1.0};
};

struct OverlayPenArgs {
    double time = 0.0;
    OverlayPoint penPosition;
    OverlayPoint pixelScale{1.0, 1.0};
};

struct OverlayKeyArgs {
    double time = 0.0;
    int keySymbol = 0;
};

}  // namespace OFX
