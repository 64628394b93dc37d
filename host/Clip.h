#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "HandleTag.h"
#include "Image.h"
#include "PropertySet.h"
#include "ofxImageEffect.h"

namespace vhost {

class EffectObject;

// A clip of a descriptor or instance. An instance's clip is connected to host images: one for
// every time, and optionally others for given times.
class Clip : public HandleTag {
  public:
    static constexpr HandleKind kHandleKind = HandleKind::Clip;

    Clip(EffectObject* owner, std::string name);
    // The instance's clip, made from the descriptor's.
    Clip(EffectObject* owner, const Clip& descriptor);
    ~Clip();

    OfxImageClipHandle handle() { return toHandle<OfxImageClipHandle>(this); }
    static Clip* from(OfxImageClipHandle handle) { return fromHandle<Clip>(handle); }

    const std::string& name() const { return name_; }
    PropertySet& props() { return props_; }
    EffectObject* owner() const { return owner_; }

    void connect(ImagePtr image);
    void connectAt(double time, ImagePtr image);
    void disconnect();
    bool connected() const;
    ImagePtr imageAt(double time) const;

    // The image-effect suite's operations on this clip.
    OfxStatus getImage(double time, const OfxRectD* region, OfxPropertySetHandle* imageProps);
    OfxStatus regionOfDefinition(double time, OfxRectD* rod) const;
    static OfxStatus releaseImage(OfxPropertySetHandle imageProps);

    // Images handed to the plug-in and not yet released.
    int outstandingImages() const;

  private:
    void updateConnectedProps();

    EffectObject* owner_;
    std::string name_;
    PropertySet props_;
    ImagePtr image_;
    std::map<double, ImagePtr> timed_;
    struct Fetched {
        std::unique_ptr<PropertySet> props;
        ImagePtr image;
    };
    std::map<PropertySet*, Fetched> fetched_;
    mutable std::mutex mutex_;
};

}  // namespace vhost
