#include "Effect.h"

#include "HostError.h"
#include "Instance.h"
#include "PluginRecord.h"

namespace vhost {

std::string contextFromShortName(const std::string& name) {
    if (name == "filter") return kOfxImageEffectContextFilter;
    if (name == "general") return kOfxImageEffectContextGeneral;
    if (name == "transition") return kOfxImageEffectContextTransition;
    if (name == "generator") return kOfxImageEffectContextGenerator;
    if (name == "paint") return kOfxImageEffectContextPaint;
    if (name == "retimer") return kOfxImageEffectContextRetimer;
    for (const char* full :
         {kOfxImageEffectContextFilter, kOfxImageEffectContextGeneral, kOfxImageEffectContextTransition,
          kOfxImageEffectContextGenerator, kOfxImageEffectContextPaint, kOfxImageEffectContextRetimer})
        if (name == full) return name;
    throw HostError(
        "unknown context '" + name + "' (expected filter, general, transition, generator, paint or retimer)",
        kOfxStatErrValue);
}

Effect::Effect(std::shared_ptr<PluginRecord> record, std::string context)
    : record_(std::move(record)), context_(std::move(context)) {}

EffectObject& Effect::object() const {
    return record_->contextDescriptor(context_);
}

const std::string& Effect::identifier() const {
    return record_->identifier();
}
PropertySet& Effect::properties() const {
    return object().props();
}
PropertySet& Effect::baseProperties() const {
    return record_->descriptor().props();
}
const std::vector<std::unique_ptr<Clip>>& Effect::clips() const {
    return object().clips();
}
const ParamSet& Effect::params() const {
    return object().params();
}

std::vector<std::string> Effect::supportedContexts() const {
    return baseProperties().strings(kOfxImageEffectPropSupportedContexts);
}

Instance Effect::createInstance() const {
    return Instance(record_, context_);
}

}  // namespace vhost
