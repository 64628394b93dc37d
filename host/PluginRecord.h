#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "DynamicLibrary.h"
#include "EffectObject.h"
#include "ofxCore.h"

namespace vhost {

class Host;

// One plug-in of a loaded binary: its OpenFX record, whether it is loaded, and its descriptors.
// It keeps the binary open; destroying it sends kOfxActionUnload when the plug-in was loaded.
class PluginRecord {
  public:
    PluginRecord(Host& host, std::shared_ptr<DynamicLibrary> library, OfxPlugin* plugin,
                 std::string bundlePath);
    ~PluginRecord();
    PluginRecord(const PluginRecord&) = delete;
    PluginRecord& operator=(const PluginRecord&) = delete;

    Host& host() const { return host_; }
    const std::string& identifier() const { return identifier_; }
    const std::string& api() const { return api_; }
    int apiVersion() const { return apiVersion_; }
    unsigned versionMajor() const { return versionMajor_; }
    unsigned versionMinor() const { return versionMinor_; }
    const std::string& bundlePath() const { return bundlePath_; }
    bool isImageEffect() const;

    // Calls the plug-in's main entry, records the action and its status. An exception thrown
    // out of the plug-in is caught here and reported as kOfxStatErrFatal.
    OfxStatus call(const char* action, const void* handle, OfxPropertySetHandle inArgs,
                   OfxPropertySetHandle outArgs, const std::string& note = "");

    // setHost and kOfxActionLoad, once; throws HostError when the plug-in refuses to load.
    void ensureLoaded();
    // The descriptor after kOfxActionDescribe, and per context after describe-in-context;
    // each is made once. Throws HostError on a failed action.
    EffectObject& descriptor();
    EffectObject& contextDescriptor(const std::string& context);

  private:
    std::shared_ptr<DynamicLibrary> library_;  // first member: closed last
    Host& host_;
    OfxPlugin* plugin_;
    std::string identifier_;
    std::string api_;
    int apiVersion_ = 0;
    unsigned versionMajor_ = 0;
    unsigned versionMinor_ = 0;
    std::string bundlePath_;
    bool loaded_ = false;
    std::unique_ptr<EffectObject> descriptor_;
    std::map<std::string, std::unique_ptr<EffectObject>> contexts_;
    std::recursive_mutex mutex_;
};

}  // namespace vhost
