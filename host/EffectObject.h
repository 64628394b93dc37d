#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "Clip.h"
#include "HandleTag.h"
#include "ParamSet.h"
#include "PropertySet.h"
#include "ofxImageEffect.h"

namespace vhost {

class Host;
class DeviceImages;

enum class EffectRole { Descriptor, ContextDescriptor, Instance };

// The object behind an OfxImageEffectHandle: a plug-in's descriptor, a descriptor for one
// context, or an instance. It owns the properties, parameters and clips the plug-in sees.
class EffectObject : public HandleTag {
  public:
    static constexpr HandleKind kHandleKind = HandleKind::ImageEffect;

    EffectObject(Host* host, EffectRole role, std::string context);

    OfxImageEffectHandle handle() { return toHandle<OfxImageEffectHandle>(this); }
    static EffectObject* from(OfxImageEffectHandle handle) { return fromHandle<EffectObject>(handle); }
    static EffectObject* fromVoid(void* handle) { return from(static_cast<OfxImageEffectHandle>(handle)); }

    Host* host() const { return host_; }
    EffectRole role() const { return role_; }
    const std::string& context() const { return context_; }
    PropertySet& props() { return props_; }
    ParamSet& params() { return params_; }

    // kOfxStatErrExists for a name already defined; clips are only defined on descriptors.
    OfxStatus defineClip(const char* name, Clip** clip);
    Clip* clip(const std::string& name);
    const std::vector<std::unique_ptr<Clip>>& clips() const { return clips_; }

    // The instance's state, made from a context descriptor.
    void cloneFrom(EffectObject& descriptor);

    std::atomic<bool> abortRequested{false};
    // Render scale of the action in progress (images report it).
    double renderScale[2] = {1.0, 1.0};
    // Set while a render with CUDA enabled is in progress: images are handed out in device memory.
    DeviceImages* deviceImages = nullptr;

  private:
    Host* host_;
    EffectRole role_;
    std::string context_;
    PropertySet props_;
    ParamSet params_;
    std::vector<std::unique_ptr<Clip>> clips_;
};

}  // namespace vhost
