#include "plugin/FactoryList.h"

#include <memory>
#include <mutex>

#include "log/PluginLog.h"
#include "plugin/GenericEffectFactory.h"

namespace velmora {

const char* const kDefinitionPath =
    "C:/Program Files/Common Files/OFX/Plugins/velmora.ofx.bundle/Contents/effects/velmora.xml";
const char* const kProductId = "velmora";

namespace {
std::mutex factoryMutex;
// Lives until the library is unloaded; never deleted, as hosts may still hold its records.
GenericEffectFactory* factory = nullptr;
}  // namespace

void fillFactoryList(OFX::PluginFactoryArray& factories, const char* definitionText,
                     const char* definitionPath) {
    if (!definitionPath) definitionPath = kDefinitionPath;
    PluginLog& log = PluginLog::instance();
    log.setLevel(LogLevel::Info);
    log.switchEffect(kProductId);
    VLOG_INFO("Creating factory for effect: %s", kProductId);
    VLOG_INFO("XML path: %s", definitionPath);

    std::lock_guard<std::mutex> guard(factoryMutex);
    if (!factory) factory = new GenericEffectFactory(definitionPath, definitionText);
    factories.push_back(factory);
}

GenericEffectFactory* processFactory() {
    std::lock_guard<std::mutex> guard(factoryMutex);
    return factory;
}

}  // namespace velmora
