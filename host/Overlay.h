#pragma once

#include <memory>
#include <string>
#include <vector>

#include "HandleTag.h"
#include "HostRecords.h"
#include "PropertySet.h"
#include "ofxCore.h"
#include "ofxInteract.h"

namespace vhost {

class Instance;
class Host;

// The object behind an OfxInteractHandle.
class InteractObject : public HandleTag {
  public:
    static constexpr HandleKind kHandleKind = HandleKind::Interact;
    explicit InteractObject(Host* host) : HandleTag(kHandleKind), host(host), props("OfxInteract") {}
    OfxInteractHandle handle() { return toHandle<OfxInteractHandle>(this); }
    static InteractObject* from(OfxInteractHandle h) { return fromHandle<InteractObject>(h); }
    Host* host;
    PropertySet props;
};

// The draw context handed to an interact's draw action; draw-suite calls on it are recorded.
class DrawContext : public HandleTag {
  public:
    static constexpr HandleKind kHandleKind = HandleKind::DrawContext;
    explicit DrawContext(Host* host) : HandleTag(kHandleKind), host(host) {}
    Host* host;
};

// An effect instance's overlay interact, as a viewer would drive it: described and created on
// construction, destroyed with this object. Every action carries the time and the viewer's pixel
// scale (canonical units per screen pixel). Each call returns the plug-in's status: kOfxStatOK
// when the interact handled the event (or drew), kOfxStatReplyDefault when it left it to the
// host. Draw-suite calls land in the host's records; lastDraw() holds those of the last draw.
class Overlay {
  public:
    // Whether the instance's effect has an overlay interact for a viewer.
    static bool available(Instance& instance);
    // Throws HostError when the effect has no overlay or its interact fails to start.
    explicit Overlay(Instance& instance);
    ~Overlay();
    Overlay(const Overlay&) = delete;
    Overlay& operator=(const Overlay&) = delete;

    OfxStatus draw(double time, OfxPointD pixelScale = {1.0, 1.0});
    OfxStatus penDown(double time, OfxPointD position, OfxPointD pixelScale = {1.0, 1.0},
                      double pressure = 1.0);
    OfxStatus penMotion(double time, OfxPointD position, OfxPointD pixelScale = {1.0, 1.0},
                        double pressure = 1.0);
    OfxStatus penUp(double time, OfxPointD position, OfxPointD pixelScale = {1.0, 1.0},
                    double pressure = 0.0);
    OfxStatus keyDown(double time, int key, const std::string& text = "");
    OfxStatus keyUp(double time, int key, const std::string& text = "");
    OfxStatus keyRepeat(double time, int key, const std::string& text = "");
    OfxStatus gainFocus(double time, OfxPointD pixelScale = {1.0, 1.0});
    OfxStatus loseFocus(double time, OfxPointD pixelScale = {1.0, 1.0});
    PropertySet& properties() { return instance_->props; }

    // The draw-suite calls the last draw made.
    const std::vector<DrawRecord>& lastDraw() const { return lastDraw_; }

  private:
    OfxStatus call(const char* action, InteractObject& object, OfxPropertySetHandle args);
    OfxStatus pen(const char* action, double time, OfxPointD position, OfxPointD pixelScale, double pressure);
    OfxStatus key(const char* action, double time, int key, const std::string& text);
    OfxStatus focus(const char* action, double time, OfxPointD pixelScale);
    void baseArgs(PropertySet& args, double time, OfxPointD pixelScale);

    Instance& effect_;
    OfxPluginEntryPoint* entry_ = nullptr;
    std::unique_ptr<InteractObject> descriptor_;
    std::unique_ptr<InteractObject> instance_;
    DrawContext drawContext_;
    bool created_ = false;
    std::vector<DrawRecord> lastDraw_;
};

}  // namespace vhost
