#include "PluginRecord.h"

#include <algorithm>

#include "Host.h"
#include "HostError.h"
#include "ofxImageEffect.h"

namespace vhost {

PluginRecord::PluginRecord(Host& host, std::shared_ptr<DynamicLibrary> library, OfxPlugin* plugin,
                           std::string bundlePath)
    : library_(std::move(library)), host_(host), plugin_(plugin), bundlePath_(std::move(bundlePath)) {
    identifier_ = plugin->pluginIdentifier ? plugin->pluginIdentifier : "";
    api_ = plugin->pluginApi ? plugin->pluginApi : "";
    apiVersion_ = plugin->apiVersion;
    versionMajor_ = plugin->pluginVersionMajor;
    versionMinor_ = plugin->pluginVersionMinor;
}

PluginRecord::~PluginRecord() {
    // Descriptors go before the plug-in is unloaded, as a host drops them before unloading.
    contexts_.clear();
    descriptor_.reset();
    if (loaded_) call(kOfxActionUnload, nullptr, nullptr, nullptr);
}

bool PluginRecord::isImageEffect() const {
    return api_ == kOfxImageEffectPluginApi && apiVersion_ == kOfxImageEffectPluginApiVersion &&
           plugin_->mainEntry != nullptr;
}

OfxStatus PluginRecord::call(const char* action, const void* handle, OfxPropertySetHandle inArgs,
                             OfxPropertySetHandle outArgs, const std::string& note) {
    OfxStatus status = kOfxStatErrFatal;
    std::string detail = note;
    try {
        status = plugin_->mainEntry(action, handle, inArgs, outArgs);
    } catch (const std::exception& e) {
        detail += (detail.empty() ? "" : "; ") + std::string("exception escaped the plug-in: ") + e.what();
    } catch (...) {
        detail += (detail.empty() ? "" : "; ") + std::string("exception escaped the plug-in");
    }
    host_.records().addAction(ActionRecord{identifier_, action, status, detail});
    return status;
}

void PluginRecord::ensureLoaded() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (loaded_) return;
    if (!isImageEffect())
        throw HostError("plug-in " + identifier_ + " uses API " + api_ + " version " +
                            std::to_string(apiVersion_) + ", which this host does not speak",
                        kOfxStatErrUnsupported);
    if (plugin_->setHost) plugin_->setHost(host_.ofxHost());
    const OfxStatus status = call(kOfxActionLoad, nullptr, nullptr, nullptr);
    if (!succeeded(status))
        throw HostError("plug-in " + identifier_ + " failed to load: " + statusName(status), status);
    loaded_ = true;
}

EffectObject& PluginRecord::descriptor() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (descriptor_) return *descriptor_;
    ensureLoaded();
    auto desc = std::make_unique<EffectObject>(&host_, EffectRole::Descriptor, "");
    desc->props().putString(kOfxPluginPropFilePath, {bundlePath_});
    desc->props().setRejected(host_.identity().unknownProperties);
    const OfxStatus status = call(kOfxActionDescribe, desc->handle(), nullptr, nullptr);
    if (!succeeded(status))
        throw HostError("plug-in " + identifier_ + " failed to describe itself: " + statusName(status),
                        status);
    descriptor_ = std::move(desc);
    return *descriptor_;
}

EffectObject& PluginRecord::contextDescriptor(const std::string& context) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    auto it = contexts_.find(context);
    if (it != contexts_.end()) return *it->second;
    EffectObject& base = descriptor();
    const std::vector<std::string> supported = base.props().strings(kOfxImageEffectPropSupportedContexts);
    if (std::find(supported.begin(), supported.end(), context) == supported.end())
        throw HostError("plug-in " + identifier_ + " does not support the context " + context,
                        kOfxStatErrUnsupported);
    const std::vector<std::string> hostContexts = host_.identity().contexts;
    if (std::find(hostContexts.begin(), hostContexts.end(), context) == hostContexts.end())
        throw HostError("host " + host_.identity().name + " does not offer the context " + context,
                        kOfxStatErrMissingHostFeature);

    auto desc = std::make_unique<EffectObject>(&host_, EffectRole::ContextDescriptor, context);
    desc->props() = base.props();
    desc->props().declareString(kOfxImageEffectPropContext, context);
    PropertySet inArgs("describeInContextArgs", false);
    inArgs.declareString(kOfxImageEffectPropContext, context);
    const OfxStatus status =
        call(kOfxImageEffectActionDescribeInContext, desc->handle(), inArgs.handle(), nullptr, context);
    if (!succeeded(status))
        throw HostError("plug-in " + identifier_ + " failed to describe itself in context " + context + ": " +
                            statusName(status),
                        status);
    EffectObject& out = *desc;
    contexts_[context] = std::move(desc);
    return out;
}

}  // namespace vhost
