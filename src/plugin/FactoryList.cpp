#include "plugin/FactoryList.h"

#include <memory>
#include <mutex>

#include "gpu/HostRuntime.h"
#include "log/PluginLog.h"
#include "plugin/GenericEffectFactory.h"
#include "render/PinnedCache.h"

namespace velmora {

const char* const kDefinitionPath =
    "C:/Program Files/Common Files/OFX/Plugins/velmora.ofx.bundle/Contents/effects/velmora.xml";
const char* const kProductId = "velmora";

namespace {
std::mutex factoryMutex;
// Lives until the library is unloaded.
GenericEffectFactory* factory = nullptr;

// Releases what the process-wide objects hold when the library is unloaded (or the process ends),
// so that a host that unloads and loads the plug-in again loses nothing: the factory with its
// definition, the page-locked cache and the CPU backend's memory. Made at load after the log, so
// that it is torn down before the log closes.
struct ReleaseAtUnload {
    ReleaseAtUnload() { PluginLog::instance(); }
    ~ReleaseAtUnload() {
        {
            std::lock_guard<std::mutex> guard(factoryMutex);
            delete factory;
            factory = nullptr;
        }
        PinnedCache::destroyInstance();
        HostRuntime::destroyInstance();
    }
};
const ReleaseAtUnload releaseAtUnload;
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
