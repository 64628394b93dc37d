#include "definition/EffectDefinitionRegistry.h"

#include "log/PluginLog.h"

EffectDefinitionRegistry& EffectDefinitionRegistry::instance() {
    static EffectDefinitionRegistry registry;
    return registry;
}

namespace {
// The registry exists from library load on.
[[maybe_unused]] const EffectDefinitionRegistry& kRegistryAtLoad = EffectDefinitionRegistry::instance();
}  // namespace

void EffectDefinitionRegistry::registerDefinition(const std::string& effectName,
                                                  const XMLEffectDefinition* definition) {
    if (!definition) {
        VLOG_ERROR("EffectDefinitionRegistry::registerDefinition called with null definition for %s",
                   effectName.c_str());
        return;
    }
    EffectDefinitionRegistry& registry = instance();
    std::lock_guard<std::mutex> guard(registry.mutex_);
    registry.definitions_[effectName] = definition;
    VLOG_DEBUG("EffectDefinitionRegistry registered definition for '%s'", effectName.c_str());
}

const XMLEffectDefinition* EffectDefinitionRegistry::find(const std::string& effectName) {
    EffectDefinitionRegistry& registry = instance();
    std::lock_guard<std::mutex> guard(registry.mutex_);
    const auto found = registry.definitions_.find(effectName);
    return found == registry.definitions_.end() ? nullptr : found->second;
}
