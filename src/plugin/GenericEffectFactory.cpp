#include "plugin/GenericEffectFactory.h"

#include <stdexcept>

#include "definition/EffectDefinitionRegistry.h"
#include "definition/EmbeddedDefinition.h"
#include "log/PluginLog.h"
#include "plugin/HostThreads.h"
#include "plugin/PluginIdentifier.h"

GenericEffectFactory::GenericEffectFactory(const std::string& definitionPath, const char* definitionText)
    : OFX::PluginFactoryHelper<GenericEffectFactory>(pluginIdentifierFromPath(definitionPath), 1, 0),
      definitionPath_(definitionPath),
      definitionText_(definitionText ? definitionText : velmora_definition_xml) {
    VLOG_DEBUG("GenericEffectFactory::constructor started");
    if (!definition_.parse(definitionText_)) {
        throw std::runtime_error("Failed to parse embedded XML");
    }
    VLOG_INFO("Loaded XML from embedded binary (release build)");

    const std::string& debugLevel = definition_.getDebugLevel();
    if (!debugLevel.empty() && debugLevel != "none") {
        PluginLog::instance().setLevelFromText(debugLevel);
        VLOG_INFO("Debug level set from XML: %s", debugLevel.c_str());
    }

    pluginIdentifier_ = pluginIdentifierFromPath(definitionPath);
    EffectDefinitionRegistry::registerDefinition(definition_.getName(), &definition_);
    VLOG_DEBUG("Registered XML definition for '%s' with EffectDefinitionRegistry",
               definition_.getName().c_str());
    VLOG_DEBUG("GenericEffectFactory::constructor finishing");
}

void GenericEffectFactory::load() {
    useHostThreads();
}

void GenericEffectFactory::unload() {
    releaseHostThreads();
}
