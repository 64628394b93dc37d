#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "definition/EffectDefinitionRecords.h"

namespace OFX {

// The overlays an effect declared, as registered when the effect was described.
struct OverlayRegistration {
    std::vector<OverlayDefinition> overlays;
    OverlayCoordinates coordinates = OverlayCoordinates::Uv;
};

// Process-wide registry of overlay declarations per effect name, filled during description and
// read when an overlay interact first draws. Entries are inserted or replaced, never removed.
class OverlayManager {
  public:
    static void registerOverlays(const std::string& effectName,
                                 const std::vector<OverlayDefinition>& overlays,
                                 OverlayCoordinates coordinates);
    static void setCurrentEffect(const std::string& effectName);
    static std::string currentEffect();
    // Copy of the entry for the effect; false when none was registered.
    static bool findOverlays(const std::string& effectName, OverlayRegistration& out);

  private:
    struct Registry {
        std::mutex mutex;
        std::map<std::string, OverlayRegistration> entries;
        std::string currentEffect;
    };
    static Registry& registry();
};

}  // namespace OFX
