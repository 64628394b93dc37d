#pragma once

// A live instance of the plug-in in our host, over the description helpers.

#include <optional>

#include "EffectTestSupport.h"
#include "Image.h"
#include "PluginRecord.h"

namespace velmora_test {

struct LiveInstance {
    DescribedEffect fx;
    std::optional<vhost::Instance> instance;

    vhost::Instance* operator->() { return &*instance; }
    // Destroys the instance, then unloads the plug-in (which closes its log).
    void close() {
        instance.reset();
        fx.unload();
    }
    ~LiveInstance() { instance.reset(); }
};

struct InstanceOptions {
    std::string bundle = VELMORA_TEST_BUNDLE;
    std::string host = "com.example.compositor";
    std::string context = "filter";
    std::function<void(vhost::HostIdentity&)> adjustHost;
    // Offers the context even when the effect does not announce it, as hosts that apply a
    // transition from their effects list do.
    bool forceContext = false;
};

inline std::unique_ptr<LiveInstance> openInstance(const InstanceOptions& options = {}) {
    auto live = std::make_unique<LiveInstance>();
    vhost::HostIdentity identity = hostIdentityFor(options.host);
    if (options.adjustHost) options.adjustHost(identity);
    DescribedEffect& d = live->fx;
    d.host = std::make_unique<vhost::Host>(identity);
    d.binary = std::make_unique<vhost::PluginBinary>(*d.host, options.bundle);
    const vhost::Plugin& plugin = d.binary->plugins().at(0);
    const std::string context = vhost::contextFromShortName(options.context);
    if (options.forceContext) {
        vhost::PropertySet& props = plugin.record()->descriptor().props();
        std::vector<std::string> contexts = props.strings(kOfxImageEffectPropSupportedContexts);
        contexts.push_back(context);
        props.putString(kOfxImageEffectPropSupportedContexts, contexts);
    }
    d.effect = std::make_unique<vhost::Effect>(plugin.describe(context));
    live->instance.emplace(d.effect->createInstance());
    return live;
}

inline vhost::ImagePtr greyImage(int width = 8, int height = 8) {
    auto image = std::make_shared<vhost::Image>(width, height);
    image->fill(0.5f, 0.5f, 0.5f, 1.0f);
    return image;
}

inline int occurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

}  // namespace velmora_test
