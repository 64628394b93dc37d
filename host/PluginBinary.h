#pragma once

#include <memory>
#include <string>
#include <vector>

namespace vhost {

class Host;
class PluginRecord;
class Effect;

// One plug-in of a binary, as listed by OfxGetPlugin.
class Plugin {
  public:
    explicit Plugin(std::shared_ptr<PluginRecord> record) : record_(std::move(record)) {}

    const std::string& identifier() const;
    unsigned versionMajor() const;
    unsigned versionMinor() const;
    const std::string& api() const;
    int apiVersion() const;
    // An image-effect plug-in of an API version this host speaks.
    bool isImageEffect() const;

    // Describes the effect (kOfxActionDescribe, once) and, for the context, describe-in-context.
    // An empty context takes the first context the effect supports.
    Effect describe(const std::string& context = "") const;

    const std::shared_ptr<PluginRecord>& record() const { return record_; }

  private:
    std::shared_ptr<PluginRecord> record_;
};

// A loaded plug-in binary. The binary stays open while this object or anything described from
// it lives; when the last of them goes, each loaded plug-in gets kOfxActionUnload and the
// binary is closed.
class PluginBinary {
  public:
    // Throws HostError: no such bundle, a bundle without a binary, a binary that does not load
    // or lacks the two OpenFX exports.
    PluginBinary(Host& host, const std::string& bundlePath);

    const std::string& bundlePath() const { return bundlePath_; }
    const std::string& binaryPath() const { return binaryPath_; }
    const std::vector<Plugin>& plugins() const { return plugins_; }
    // Throws HostError for an identifier the binary does not hold.
    const Plugin& plugin(const std::string& identifier) const;

  private:
    std::string bundlePath_;
    std::string binaryPath_;
    std::vector<Plugin> plugins_;
};

}  // namespace vhost
