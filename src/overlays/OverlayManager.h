#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "definition/EffectDefinitionRecords.h"
#include "overlays/OverlayBase.h"
#include "overlays/OverlayEffectHooks.h"
#include "overlays/OverlayRecords.h"

namespace OFX {

// The overlays an effect declared, as registered when the effect was described.
struct OverlayRegistration {
    std::vector<OverlayDefinition> overlays;
    OverlayCoordinates coordinates = OverlayCoordinates::Uv;
};

// The overlay objects of one viewer: made from an effect's declarations, drawn in declaration
// order, offered pen-downs from the last declared to the first, and the audio tap keys.
//
// The class also keeps the process-wide registry of overlay declarations per effect name,
// filled during description and read when an overlay interact first draws. Entries are
// inserted or replaced, never removed.
class OverlayManager {
  public:
    static constexpr int kTapTrackCount = 4;
    // Presses of one tap key closer together than this count once.
    static constexpr int64_t kTapDebounceNanos = 150'000'000;

    // Registry.
    static void registerOverlays(const std::string& effectName,
                                 const std::vector<OverlayDefinition>& overlays,
                                 OverlayCoordinates coordinates);
    static void setCurrentEffect(const std::string& effectName);
    static std::string currentEffect();
    // Copy of the entry for the effect; false when none was registered.
    static bool findOverlays(const std::string& effectName, OverlayRegistration& out);

    // effect may be null (no monitor, no tap keys); host and effect are not owned.
    OverlayManager(OverlayParamHost* host, const std::vector<OverlayDefinition>& overlays,
                   OverlayCoordinates coordinates, OverlayEffectHooks* effect = nullptr);
    ~OverlayManager();
    OverlayManager(const OverlayManager&) = delete;
    OverlayManager& operator=(const OverlayManager&) = delete;

    // False when nothing was drawn: no objects, overlays switched off or the audio monitor shown.
    bool draw(OverlayDrawSurface& surface, const OverlayDrawArgs& args);
    bool penDown(const OverlayPenArgs& args);
    bool penMotion(const OverlayPenArgs& args);
    bool penUp(const OverlayPenArgs& args);
    // The tap keys: F1 to F4 or the digits 1 to 4 key tap tracks 1 to 4.
    bool keyDown(const OverlayKeyArgs& args);

    // The tap track (1 to 4) of a key symbol, 0 for any other key.
    static int tapTrackForKey(int keySymbol);

    size_t overlayCount() const { return overlays_.size(); }
    const OverlayBase* activeOverlay() const { return active_; }
    // The steady clock in nanoseconds; replaceable for tests of the tap debounce.
    void setClock(std::function<int64_t()> clock) { clock_ = std::move(clock); }

  private:
    bool overlaysShown(double time) const;
    // Drops the drag of the active overlay, if any, and forgets it.
    void dropActive();

    OverlayEffectHooks* effect_;
    OverlayParamHost* host_;
    std::vector<std::unique_ptr<OverlayBase>> overlays_;
    OverlayCoordinates coordinates_;
    OverlayBase* active_ = nullptr;
    std::array<int64_t, kTapTrackCount> lastTapNanos_{};
    std::array<bool, kTapTrackCount> tapped_{};
    std::function<int64_t()> clock_;

    struct Registry {
        std::mutex mutex;
        std::map<std::string, OverlayRegistration> entries;
        std::string currentEffect;
    };
    static Registry& registry();
};

}  // namespace OFX
