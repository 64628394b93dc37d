#pragma once

#include "ofxsImageEffect.h"

class GenericEffectFactory;

namespace velmora {

// Where the compiled-in definition would live in an installed bundle; only its stem is used
// (for the plug-in identifier), and the path is logged and handed to instances.
extern const char* const kDefinitionPath;
// The effect name the plug-in log is switched to.
extern const char* const kProductId;

// The body of the factory-list hook: restarts the log for the effect, builds the one factory
// on first success and appends it. Construction failures propagate and leave nothing behind,
// so a later call tries again. A null text means the compiled-in definition; a null path means
// kDefinitionPath (the path's stem names the plug-in, so an effect of its own brings its own).
void fillFactoryList(OFX::PluginFactoryArray& factories, const char* definitionText = nullptr,
                     const char* definitionPath = nullptr);

// The process-wide factory, or null before the first successful construction.
GenericEffectFactory* processFactory();

}  // namespace velmora
