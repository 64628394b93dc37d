#include "log/PluginLog.h"
#include "plugin/GenericEffect.h"
#include "plugin/GenericEffectFactory.h"

OFX::ImageEffect* GenericEffectFactory::createInstance(OfxImageEffectHandle handle,
                                                       OFX::ContextEnum /*context*/) {
    VLOG_DEBUG("GenericEffectFactory::createInstance called");
    VLOG_DEBUG("  Factory XML file: %s", definitionPath_.c_str());
    // The instance asks the host for its context itself.
    return new GenericEffect(handle, definitionPath_, definitionText_);
}
