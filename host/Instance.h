#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "EffectObject.h"
#include "Image.h"
#include "ParamValue.h"

namespace vhost {

class PluginRecord;

struct IdentityResult {
    OfxStatus status = kOfxStatReplyDefault;
    bool identity = false;
    std::string clip;  // the clip to pass through
    double time = 0.0;
};

struct RenderOptions {
    OfxPointD renderScale{1.0, 1.0};
    std::string field = "OfxFieldNone";
    bool sequential = false;
    bool interactive = false;
    bool draft = false;
    // Images in device memory with CUDA enabled, where the host announces CUDA render, the
    // effect supports it and a CUDA device is usable; otherwise images stay in host memory.
    bool cudaImages = true;
};

// A live instance of an effect. Values set through this class are user edits: each one is
// announced to the plug-in with kOfxActionInstanceChanged between the begin and end actions.
// Changes the plug-in makes itself during that action are announced afterwards as plug-in
// edits, each parameter once per edit, so a plug-in that reacts to its own changes terminates.
// Destroying the instance sends kOfxActionDestroyInstance.
class Instance {
  public:
    // Sends kOfxActionCreateInstance; throws HostError when it fails.
    Instance(std::shared_ptr<PluginRecord> record, const std::string& context);
    ~Instance();
    Instance(Instance&& other) noexcept;
    Instance& operator=(Instance&&) = delete;
    Instance(const Instance&) = delete;

    const std::string& context() const;
    EffectObject& object() { return *object_; }
    PropertySet& properties() { return object_->props(); }

    // Parameters. Unknown names and values of the wrong kind throw HostError; the status
    // returned is that of the instance-changed action.
    Param& param(const std::string& name);
    ParamValue value(const std::string& name) const;
    ParamValue valueAt(const std::string& name, double time) const;
    OfxStatus setParam(const std::string& name, const ParamValue& value);
    OfxStatus setParamAtTime(const std::string& name, double time, const ParamValue& value);
    OfxStatus pressButton(const std::string& name);
    std::vector<std::string> choiceOptions(const std::string& name) const;
    bool undo();

    // Clips. An image connected without a time serves every time.
    Clip& clip(const std::string& name);
    OfxStatus connectClip(const std::string& name, ImagePtr image);
    OfxStatus connectClipAt(const std::string& name, double time, ImagePtr image);
    OfxStatus disconnectClip(const std::string& name);
    ImagePtr clipImage(const std::string& name, double time = 0.0);
    int outstandingImages() const;

    // Actions. render allocates a tight output image covering the window when none is
    // connected to "Output"; a window outside the output image throws HostError.
    OfxStatus render(double time, OfxRectI window, OfxPointD renderScale = {1.0, 1.0});
    OfxStatus render(double time, OfxRectI window, const RenderOptions& options);
    IdentityResult isIdentity(double time, OfxRectI window, OfxPointD renderScale = {1.0, 1.0});
    OfxStatus regionOfDefinition(double time, OfxPointD renderScale, OfxRectD* rod);
    OfxStatus clipPreferences();
    OfxStatus beginInstanceEdit();
    OfxStatus endInstanceEdit();
    OfxStatus syncPrivateData();
    OfxStatus purgeCaches();
    void setAbort(bool abort) { object_->abortRequested = abort; }

    // Sends instance-changed for any parameter or clip, as the host's user interface would.
    OfxStatus announceChange(const std::string& type, const std::string& name, const std::string& reason,
                             double time);

    const std::shared_ptr<PluginRecord>& record() const { return record_; }

    // Whether the last render handed the plug-in device memory.
    bool lastRenderOnDevice() const { return state_->lastRenderOnDevice; }

  private:
    OfxStatus sendChanged(const std::string& type, const std::string& name, const std::string& reason,
                          double time);
    void pluginChanged(Param& param);
    OfxStatus call(const char* action, OfxPropertySetHandle in, OfxPropertySetHandle out,
                   const std::string& note = "");
    OfxStatus connect(const std::string& name, double time, bool timed, ImagePtr image);
    bool rendersOnDevice(const RenderOptions& options) const;
    bool effectAnnounces(const char* property) const;

    // Kept on the heap so that a moved instance keeps its locks and the plug-in callback.
    struct State {
        Instance* self = nullptr;
        bool created = false;
        bool preferencesDirty = true;
        std::recursive_mutex changeMutex;
        int changeDepth = 0;
        std::deque<std::string> pendingEdits;
        std::set<std::string> announcedEdits;
        std::mutex renderMutex;
        bool lastRenderOnDevice = false;
    };

    std::shared_ptr<PluginRecord> record_;
    std::unique_ptr<EffectObject> object_;
    std::unique_ptr<State> state_;
};

}  // namespace vhost
