#include "kernels/KernelReach.h"

#include <algorithm>
#include <cmath>

#include "kernels/KernelDevice.h"
#include "kernels/PostBlurSettings.h"

// Each module's reads as its kernel takes them (see the .cu sources): the tap radii and offsets
// are derived from the parameters exactly as there, and a fractional offset counts both texels
// either side of it.

namespace {

using host_impl::finiteOr;
using host_impl::tapRadius;

constexpr int kPlateSlot = 0, kMaskShapeSlot = 1, kPreparedMaskSlot = 3, kFillSlot = 4;
constexpr int kMaxRetextureRadius = 50;

bool connected(const SourceConnections& s, int slot) {
    return slot < s.sourceCount && s.sources[slot].isConnected != 0;
}

// A shift of `pixels` along an axis of n pixels, as the whole pixels either side of it. Beyond
// two widths every read lands on the same edge texel, so the shift is kept within three.
void shiftSpan(double pixels, int n, int& low, int& high) {
    const double limit = 3.0 * n + 2.0;
    if (!(pixels == pixels)) pixels = 0.0;
    pixels = std::max(-limit, std::min(limit, pixels));
    low = static_cast<int>(std::floor(pixels));
    high = static_cast<int>(std::ceil(pixels));
}

ReadWindow window(int x0, int x1, int y0, int y1, bool reflect) {
    ReadWindow w;
    w.x0 = x0;
    w.x1 = x1;
    w.y0 = y0;
    w.y1 = y1;
    w.reflect = reflect;
    return w;
}

ReadWindow own(bool reflect = false) {
    return window(0, 0, 0, 0, reflect);
}
ReadWindow alongX(int low, int high, bool reflect) {
    return window(low, high, 0, 0, reflect);
}
ReadWindow alongY(int low, int high, bool reflect) {
    return window(0, 0, low, high, reflect);
}

// The window of a read at an offset of (ox, oy) texture units (x already divided by the aspect),
// widened by `radius` pixels along x.
ReadWindow offsetWindow(float ox, float oy, int radius, int width, int height, bool reflect) {
    ReadWindow w;
    shiftSpan(static_cast<double>(ox) * width, width, w.x0, w.x1);
    shiftSpan(static_cast<double>(oy) * height, height, w.y0, w.y1);
    w.x0 -= radius;
    w.x1 += radius;
    w.reflect = reflect;
    return w;
}

// The box a line of taps covers: from `from` to `to` steps of (cos, sin) pixels.
ReadWindow lineWindow(float from, float to, float theta, int width, int height, bool reflect) {
    const double c = std::cos(static_cast<double>(theta)), s = std::sin(static_cast<double>(theta));
    ReadWindow w;
    int a0, a1, b0, b1;
    shiftSpan(from * c, width, a0, a1);
    shiftSpan(to * c, width, b0, b1);
    w.x0 = std::min(a0, b0);
    w.x1 = std::max(a1, b1);
    shiftSpan(from * s, height, a0, a1);
    shiftSpan(to * s, height, b0, b1);
    w.y0 = std::min(a0, b0);
    w.y1 = std::max(a1, b1);
    w.reflect = reflect;
    return w;
}

// The reads of `a` and then of `b` from each of their points: their sum.
ReadWindow sum(const ReadWindow& a, const ReadWindow& b) {
    return window(a.x0 + b.x0, a.x1 + b.x1, a.y0 + b.y0, a.y1 + b.y1, a.reflect || b.reflect);
}

// The window grown to take in the pixel itself.
ReadWindow withOrigin(ReadWindow w) {
    w.x0 = std::min(0, w.x0);
    w.x1 = std::max(0, w.x1);
    w.y0 = std::min(0, w.y0);
    w.y1 = std::max(0, w.y1);
    return w;
}

// Where the retexture reads the plate: at the retexture offset (x in picture heights).
ReadWindow retextureWindow(const SystemParameters& sys, const AnimatedParameters& params, int radius) {
    const float ox = finiteOr(params.vec2s[1].x, 0.0f) * (float)sys.height / (float)sys.width;
    const float oy = finiteOr(params.vec2s[1].y, 0.0f);
    return offsetWindow(ox, oy, radius, sys.width, sys.height, params.bools[4] != 0);
}

// Whole pixel steps the grow reads each way (its fractional step reads the texel beyond).
int growReach(float grow, int width, int height) {
    float g = fabsf(grow);
    const float reach = (float)(width > height ? width : height) + 1.0f;
    if (g > reach) g = reach;
    if (g <= 0.0001f) return 0;
    return static_cast<int>(std::ceil(g));
}

}  // namespace

bool maskPrepReach(const KernelLaunchArgs& a, PassReach& reach) {
    const SystemParameters& sys = *a.system;
    const int e = sys.currentExecution;
    if (e < 0) return false;
    const int steps = growReach(finiteOr(a.parameters->floats[4], 0.0f), sys.width, sys.height);
    int radius = tapRadius(finiteOr(a.parameters->floats[5], 0.0f));
    if (radius < 1) radius = 0;
    reach.bounded = true;
    if (e == 0) {
        // The shape, through the channel rule: zero where the channel is at most 0.05.
        reach.sources.push_back({kMaskShapeSlot, alongX(-steps, steps, false)});
        reach.support = PassReach::Support::Scanned;
        reach.supportWindow = alongX(-steps, steps, false);
        return true;
    }
    reach.readsWorking = true;
    if (e == 1) reach.working = alongY(-steps, steps, false);
    if (e == 2) reach.working = alongX(-radius, radius, false);
    if (e >= 3) reach.working = alongY(-radius, radius, false);
    reach.support = PassReach::Support::OfWorking;
    reach.supportWindow = reach.working;
    return true;
}

bool blurDivideReach(const KernelLaunchArgs& a, PassReach& reach) {
    const SystemParameters& sys = *a.system;
    const AnimatedParameters& params = *a.parameters;
    const int e = sys.currentExecution;
    // Executions past the division leave their output as it was.
    if (e < 0 || e > 2) return false;
    reach.bounded = true;
    if (!connected(*a.sources, kMaskShapeSlot)) {
        reach.sources.push_back({kPlateSlot, own()});
        return true;
    }
    const bool reflect = params.bools[4] != 0;
    int radius = tapRadius(finiteOr(params.floats[0], 0.0f));
    if (radius < 1) radius = 1;
    if (e == 0) {
        const float ox = finiteOr(params.vec2s[0].x, 0.0f) * (float)sys.height / (float)sys.width;
        const float oy = finiteOr(params.vec2s[0].y, 0.0f);
        reach.sources.push_back({kPlateSlot, offsetWindow(ox, oy, radius, sys.width, sys.height, reflect)});
        reach.sources.push_back({kPreparedMaskSlot, alongX(-radius, radius, reflect)});
        return true;
    }
    reach.readsWorking = true;
    if (e == 1) {
        reach.working = alongY(-radius, radius, reflect);
        return true;
    }
    reach.sources.push_back({kPlateSlot, own()});
    reach.sources.push_back({kPreparedMaskSlot, own()});
    reach.working = own(reflect);
    const float dirAmount = finiteOr(params.floats[1], 0.0f);
    if (dirAmount > 0.5f) {
        const float h = dirAmount / 2.0f;
        const int dirRadius = tapRadius(h) < 1 ? 1 : tapRadius(h);
        const float bias = h * finiteOr(params.floats[3], 0.0f);
        const float theta = finiteOr(params.floats[2], 0.0f) * 3.14159265358979f / 180.0f;
        const ReadWindow line = lineWindow((float)-dirRadius + bias, (float)dirRadius + bias, theta,
                                           sys.width, sys.height, reflect);
        reach.working.x0 = std::min(0, line.x0);
        reach.working.x1 = std::max(0, line.x1);
        reach.working.y0 = std::min(0, line.y0);
        reach.working.y1 = std::max(0, line.y1);
    }
    return true;
}

bool postBlurReach(const KernelLaunchArgs& a, PassReach& reach) {
    const SystemParameters& sys = *a.system;
    const AnimatedParameters& params = *a.parameters;
    reach.bounded = true;
    reach.readsWorking = true;
    reach.working = own();
    if (!connected(*a.sources, kMaskShapeSlot) || params.bools[1] == 0) return true;
    reach.sources.push_back({kPreparedMaskSlot, own()});
    const host_impl::PostBlurSettings ps = host_impl::postBlurSettings(
        params, sys.currentExecution, 1.0f / (float)sys.width, 1.0f / (float)sys.height);
    if (!ps.gaussian && !ps.directional) return true;
    ReadWindow axis = own(ps.reflect);
    if (ps.gaussian) {
        axis = sys.currentExecution == 0 ? alongX(-ps.radius, ps.radius, ps.reflect)
                                         : alongY(-ps.radius, ps.radius, ps.reflect);
    }
    ReadWindow line = own(ps.reflect);
    if (ps.directional) {
        const float theta = finiteOr(params.floats[8], 0.0f) * 3.14159265358979f / 180.0f;
        line = lineWindow((float)-ps.dirRadius + ps.bias, (float)ps.dirRadius + ps.bias, theta, sys.width,
                          sys.height, ps.reflect);
    }
    reach.working = withOrigin(sum(axis, line));
    return true;
}

bool retextureBlurReach(const KernelLaunchArgs& a, PassReach& reach) {
    const SystemParameters& sys = *a.system;
    const AnimatedParameters& params = *a.parameters;
    reach.bounded = true;
    reach.sources.push_back({kPlateSlot, own()});
    if (!connected(*a.sources, kMaskShapeSlot)) return true;
    reach.sources.push_back({kPreparedMaskSlot, own()});
    const bool reflect = params.bools[4] != 0;
    const float amount = finiteOr(params.floats[10], 0.0f);
    const bool blurred = !(amount < 0.5f) && params.bools[2] != 0;
    int radius = tapRadius(amount);
    if (radius > kMaxRetextureRadius) radius = kMaxRetextureRadius;
    const bool alongXPass = sys.currentExecution == 0;
    reach.sources.push_back({kPlateSlot, retextureWindow(sys, params, blurred && alongXPass ? radius : 0)});
    if (blurred && !alongXPass) {
        reach.readsWorking = true;
        reach.working = alongY(-radius, radius, reflect);
    }
    return true;
}

bool compositeReach(const KernelLaunchArgs& a, PassReach& reach) {
    const SystemParameters& sys = *a.system;
    const AnimatedParameters& params = *a.parameters;
    reach.bounded = true;
    reach.sources.push_back({kPlateSlot, own()});
    if (!connected(*a.sources, kMaskShapeSlot)) return true;
    reach.sources.push_back({kPreparedMaskSlot, own()});
    reach.sources.push_back({kFillSlot, own()});
    if (params.bools[2] != 0 && finiteOr(params.floats[11], 0.0f) > 0.001f) {
        reach.sources.push_back({kPlateSlot, retextureWindow(sys, params, 0)});
        reach.readsWorking = true;
        reach.working = own();
    }
    // Where the prepared mask is zero the plate is kept exactly, whatever the fill.
    reach.identityOutside = true;
    reach.identitySlot = kPlateSlot;
    reach.identitySupportSlot = kPreparedMaskSlot;
    return true;
}
