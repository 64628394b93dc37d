#include "overlays/OverlayManager.h"

#include "log/PluginLog.h"

namespace OFX {

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
