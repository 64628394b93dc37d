#pragma once

#include <memory>
#include <string>
#include <vector>

#include "EffectObject.h"

namespace vhost {

class PluginRecord;
class Instance;

// The OpenFX context name for a short one ("filter" gives kOfxImageEffectContextFilter); a full
// context name is returned unchanged. Throws HostError for anything else.
std::string contextFromShortName(const std::string& name);

// An effect as described in one context: its properties, clips and parameters as the plug-in
// defined them.
class Effect {
  public:
    Effect(std::shared_ptr<PluginRecord> record, std::string context);

    const std::string& context() const { return context_; }
    const std::string& identifier() const;
    // The properties set by kOfxActionDescribe and describe-in-context.
    PropertySet& properties() const;
    // The effect-level descriptor (kOfxActionDescribe only).
    PropertySet& baseProperties() const;
    const std::vector<std::unique_ptr<Clip>>& clips() const;
    const ParamSet& params() const;
    std::vector<std::string> supportedContexts() const;

    // Creates an instance in this effect's context; throws HostError when the action fails.
    Instance createInstance() const;

    const std::shared_ptr<PluginRecord>& record() const { return record_; }

  private:
    EffectObject& object() const;

    std::shared_ptr<PluginRecord> record_;
    std::string context_;
};

}  // namespace vhost
