#pragma once

// What a kernel pass reports about its reads and its output, for its parameter values, so that
// a render can run each pass over only the part of the frame the next passes need.

#include <utility>
#include <vector>

// Offsets in whole pixels around an output pixel: the pass reads within [x0, x1] x [y0, y1] of
// it (plus the one-texel spread of a filtered read), through the edge rule: reflect, else clamp.
struct ReadWindow {
    int x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    bool reflect = false;
};

struct PassReach {
    // False: the pass may read any pixel, or leaves pixels it does not compute as they were.
    bool bounded = false;
    bool readsWorking = false;
    ReadWindow working;
    std::vector<std::pair<int, ReadWindow>> sources;  // (source slot, window)

    // Where the output can be non-zero: anywhere; inside the tiles the module's scan finds,
    // grown by `supportWindow`; or inside the working image's non-zero part, grown by it.
    enum class Support { Anywhere, Scanned, OfWorking };
    Support support = Support::Anywhere;
    ReadWindow supportWindow;

    // When set: wherever source slot `identitySupportSlot` reads zero, the output is source slot
    // `identitySlot` read at the pixel itself.
    bool identityOutside = false;
    int identitySlot = 0, identitySupportSlot = 0;
};
