#include "overlays/OverlayManager.h"

#include <exception>

#include "audio/TapClock.h"
#include "audio/TapRecords.h"
#include "log/PluginLog.h"
#include "ofxKeySyms.h"
#include "overlays/OverlayShapes.h"

namespace OFX {

namespace {

// The object for one declaration, with the INFO line that announces it; null for a qualifier.
std::unique_ptr<OverlayBase> createOverlay(OverlayParamHost* host, const OverlayDefinition& d) {
    switch (d.type) {
        case OverlayDefinition::Point:
            VLOG_INFO("Created PointOverlay for param '%s' with style '%s'", d.param.c_str(),
                      d.style.c_str());
            return std::make_unique<PointOverlay>(host, d.param, PointOverlay::styleCode(d.style));
        case OverlayDefinition::Radius:
            VLOG_INFO("Created RadiusOverlay for param '%s' with center '%s'", d.param.c_str(),
                      d.center.c_str());
            return std::make_unique<RadiusOverlay>(host, d.param, d.center);
        case OverlayDefinition::Scale2D:
            VLOG_INFO("Created Scale2DOverlay for param '%s' with center '%s'", d.param.c_str(),
                      d.center.c_str());
            return std::make_unique<Scale2DOverlay>(host, d.param, d.center);
        case OverlayDefinition::VSlider:
            VLOG_INFO("Created VSliderOverlay for param '%s' at x=%.2f", d.param.c_str(),
                      static_cast<double>(d.fixed_x));
            return std::make_unique<VSliderOverlay>(host, d.param, d.fixed_x);
        case OverlayDefinition::Vector:
            VLOG_INFO("Created VectorOverlay for direction '%s' from center '%s'", d.direction.c_str(),
                      d.center.c_str());
            return std::make_unique<VectorOverlay>(host, d.direction, d.center, d.magnitude,
                                                   d.fixed_magnitude);
        case OverlayDefinition::Ellipse:
            VLOG_INFO("Created EllipseOverlay for param '%s' with center '%s'", d.param.c_str(),
                      d.center.c_str());
            return std::make_unique<EllipseOverlay>(host, d.param, d.center);
        case OverlayDefinition::Line:
            VLOG_INFO("Created LineOverlay for center '%s' with angle '%s'", d.center.c_str(),
                      d.angle.c_str());
            return std::make_unique<LineOverlay>(host, d.center, d.angle);
        default:
            VLOG_INFO("QualifierOverlay not yet implemented for param '%s'", d.param.c_str());
            return nullptr;
    }
}

}  // namespace

OverlayManager::OverlayManager(OverlayParamHost* host, const std::vector<OverlayDefinition>& overlays,
                               OverlayCoordinates coordinates, OverlayEffectHooks* effect)
    : effect_(effect), host_(host), coordinates_(coordinates), clock_(audio::tapClockNanos) {
    for (const OverlayDefinition& declaration : overlays) {
        std::unique_ptr<OverlayBase> overlay = createOverlay(host, declaration);
        if (!overlay) continue;
        overlay->setCoordinateSystem(coordinates);
        if (declaration.color.set) overlay->setColour(declaration.color);
        overlay->setLabel(declaration.label);
        overlay->setVisibilityCondition(declaration.visible_when);
        overlays_.push_back(std::move(overlay));
    }
    VLOG_INFO("OverlayManager created with %zu overlays", overlays_.size());
}

OverlayManager::~OverlayManager() {
    dropActive();
}

bool OverlayManager::overlaysShown(double time) const {
    bool shown = true;
    if (!host_ || !host_->getBoolean("show_overlays", time, shown)) return true;
    return shown;
}

void OverlayManager::dropActive() {
    if (active_) active_->cancelDrag();
    active_ = nullptr;
}

bool OverlayManager::draw(OverlayDrawSurface& surface, const OverlayDrawArgs& args) {
    if (effect_ && effect_->audioMonitorShown()) return false;
    if (!overlaysShown(args.time)) return false;
    for (const auto& overlay : overlays_) overlay->draw(surface, args);
    return !overlays_.empty();
}

bool OverlayManager::penDown(const OverlayPenArgs& args) {
    if (effect_ && effect_->handleMonitorClick(args.time, args.penPosition.x, args.penPosition.y))
        return true;
    // A drag whose pen-up never came ends here.
    dropActive();
    if (!overlaysShown(args.time)) return false;
    for (auto it = overlays_.rbegin(); it != overlays_.rend(); ++it) {
        if ((*it)->penDown(args)) {
            active_ = it->get();
            return true;
        }
    }
    return false;
}

bool OverlayManager::penMotion(const OverlayPenArgs& args) {
    if (!overlaysShown(args.time)) {
        dropActive();
        return false;
    }
    if (active_ && active_->isDragging()) return active_->penMotion(args);
    return false;
}

bool OverlayManager::penUp(const OverlayPenArgs& args) {
    if (!overlaysShown(args.time)) {
        dropActive();
        return false;
    }
    if (!active_) return false;
    const bool handled = active_->penUp(args);
    active_ = nullptr;
    return handled;
}

int OverlayManager::tapTrackForKey(int keySymbol) {
    switch (keySymbol) {
        case kOfxKey_F1:
        case kOfxKey_1:
            return 1;
        case kOfxKey_F2:
        case kOfxKey_2:
            return 2;
        case kOfxKey_F3:
        case kOfxKey_3:
            return 3;
        case kOfxKey_F4:
        case kOfxKey_4:
            return 4;
        default:
            return 0;
    }
}

bool OverlayManager::keyDown(const OverlayKeyArgs& args) {
    const int track = tapTrackForKey(args.keySymbol);
    if (track == 0 || !effect_) return false;
    try {
        const int64_t now = clock_();
        const int slot = track - 1;
        if (tapped_[slot] && now - lastTapNanos_[slot] < kTapDebounceNanos) return true;
        const int gapMillis = tapped_[slot] ? static_cast<int>((now - lastTapNanos_[slot]) / 1'000'000) : 0;
        tapped_[slot] = true;
        lastTapNanos_[slot] = now;

        const std::string param = "audio_tap_track_" + std::to_string(track);
        double current = 0.0;
        if (host_ && host_->getDouble(param, args.time, current)) {
            host_->beginUndoBlock("Tap");
            host_->setDoubleAtTime(param, args.time, 1.0);
            host_->endUndoBlock();
            if (TapRecords* taps = effect_->tapRecords()) taps->record(track, args.time, now);
            VLOG_ERROR("Tap %d: keyframe at t=%.3f (gap=%dms)", track, args.time, gapMillis);
        }
    } catch (const std::exception& e) {
        VLOG_ERROR("Tap %d exception: %s", track, e.what());
    }
    return true;
}

OverlayManager::Registry& OverlayManager::registry() {
    static Registry instance;
    return instance;
}

void OverlayManager::registerOverlays(const std::string& effectName,
                                      const std::vector<OverlayDefinition>& overlays,
                                      OverlayCoordinates coordinates) {
    Registry& reg = registry();
    {
        std::lock_guard<std::mutex> lock(reg.mutex);
        OverlayRegistration& entry = reg.entries[effectName];
        entry.overlays = overlays;
        entry.coordinates = coordinates;
    }
    VLOG_INFO("Registered %zu overlays for effect '%s' (coordSystem=%d)", overlays.size(), effectName.c_str(),
              static_cast<int>(coordinates));
}

void OverlayManager::setCurrentEffect(const std::string& effectName) {
    Registry& reg = registry();
    std::lock_guard<std::mutex> lock(reg.mutex);
    reg.currentEffect = effectName;
}

std::string OverlayManager::currentEffect() {
    Registry& reg = registry();
    std::lock_guard<std::mutex> lock(reg.mutex);
    return reg.currentEffect;
}

bool OverlayManager::findOverlays(const std::string& effectName, OverlayRegistration& out) {
    Registry& reg = registry();
    std::lock_guard<std::mutex> lock(reg.mutex);
    auto it = reg.entries.find(effectName);
    if (it == reg.entries.end()) return false;
    out = it->second;
    return true;
}

}  // namespace OFX
