#pragma once

#include <mutex>
#include <string>
#include <unordered_map>

class XMLEffectDefinition;

// Process-wide record of the definitions that were loaded, by effect name. Entries are
// added or replaced, never removed; the registry does not own the definitions.
class EffectDefinitionRegistry {
  public:
    static EffectDefinitionRegistry& instance();

    static void registerDefinition(const std::string& effectName, const XMLEffectDefinition* definition);
    // The registered definition, or null.
    static const XMLEffectDefinition* find(const std::string& effectName);

  private:
    EffectDefinitionRegistry() = default;

    std::mutex mutex_;
    std::unordered_map<std::string, const XMLEffectDefinition*> definitions_;
};
