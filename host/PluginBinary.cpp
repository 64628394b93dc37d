#include "PluginBinary.h"

#include <filesystem>

#include "Effect.h"
#include "Host.h"
#include "HostError.h"
#include "PluginRecord.h"

namespace fs = std::filesystem;

namespace vhost {

const std::string& Plugin::identifier() const {
    return record_->identifier();
}
unsigned Plugin::versionMajor() const {
    return record_->versionMajor();
}
unsigned Plugin::versionMinor() const {
    return record_->versionMinor();
}
const std::string& Plugin::api() const {
    return record_->api();
}
int Plugin::apiVersion() const {
    return record_->apiVersion();
}
bool Plugin::isImageEffect() const {
    return record_->isImageEffect();
}

Effect Plugin::describe(const std::string& context) const {
    std::string chosen = context;
    if (chosen.empty()) {
        const auto contexts = record_->descriptor().props().strings(kOfxImageEffectPropSupportedContexts);
        if (contexts.empty())
            throw HostError("plug-in " + identifier() + " announces no context", kOfxStatErrValue);
        chosen = contexts.front();
    }
    record_->contextDescriptor(chosen);
    return Effect(record_, chosen);
}

PluginBinary::PluginBinary(Host& host, const std::string& bundlePath) : bundlePath_(bundlePath) {
    std::error_code ec;
    const fs::path path(bundlePath);
    if (!fs::exists(path, ec)) throw HostError("bundle not found: " + bundlePath);
    if (fs::is_directory(path, ec)) {
        binaryPath_ = Host::binaryPathOf(bundlePath);
        if (!fs::is_regular_file(binaryPath_, ec))
            throw HostError("bundle " + bundlePath + " has no plug-in binary (expected " + binaryPath_ + ")");
    } else {
        binaryPath_ = bundlePath;
    }

    auto library = std::make_shared<DynamicLibrary>(binaryPath_);
    using CountFn = int (*)();
    using GetFn = OfxPlugin* (*)(int);
    auto count = reinterpret_cast<CountFn>(library->symbol("OfxGetNumberOfPlugins"));
    auto get = reinterpret_cast<GetFn>(library->symbol("OfxGetPlugin"));
    if (count == nullptr || get == nullptr)
        throw HostError(
            binaryPath_ + " is not an OpenFX plug-in: it does not export " +
            (count == nullptr ? std::string("OfxGetNumberOfPlugins") : std::string("OfxGetPlugin")));
    int n = -1;
    try {
        n = count();
    } catch (...) {
        throw HostError(binaryPath_ + ": OfxGetNumberOfPlugins threw an exception");
    }
    if (n < 0) throw HostError(binaryPath_ + ": OfxGetNumberOfPlugins returned " + std::to_string(n));
    for (int i = 0; i < n; ++i) {
        OfxPlugin* raw = nullptr;
        try {
            raw = get(i);
        } catch (...) {
            raw = nullptr;
        }
        if (raw == nullptr)
            throw HostError(binaryPath_ + ": OfxGetPlugin(" + std::to_string(i) + ") returned nothing");
        plugins_.emplace_back(std::make_shared<PluginRecord>(host, library, raw, bundlePath_));
    }
}

const Plugin& PluginBinary::plugin(const std::string& identifier) const {
    for (const auto& p : plugins_)
        if (p.identifier() == identifier) return p;
    throw HostError(binaryPath_ + " holds no plug-in " + identifier);
}

}  // namespace vhost
