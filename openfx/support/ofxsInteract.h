#pragma once

// Interacts: overlays drawn in the host's viewer over an effect, with pen, key and focus events.

#include <memory>
#include <string>

#include "ofxDrawSuite.h"
#include "ofxInteract.h"
#include "ofxPixels.h"
#include "ofxsCore.h"
#include "ofxsPropertySet.h"

namespace OFX {

class ImageEffect;

struct InteractArgs {
    double time = 0.0;
    OfxPointD renderScale{1.0, 1.0};
};

struct DrawArgs : InteractArgs {
    OfxPointD pixelScale{1.0, 1.0};
    OfxRGBColourD backGroundColour{0.0, 0.0, 0.0};
    // The host's draw suite and this draw's context; either may be null when the host draws with OpenGL.
    OfxDrawContextHandle drawContext = nullptr;
    const OfxDrawSuiteV1* drawSuite = nullptr;
};

struct PenArgs : InteractArgs {
    OfxPointD pixelScale{1.0, 1.0};
    OfxPointD penPosition{0.0, 0.0};
    OfxPointI penViewportPosition{0, 0};
    double penPressure = 0.0;
};

struct KeyArgs : InteractArgs {
    int keySymbol = 0;
    std::string keyString;
};

struct FocusArgs : InteractArgs {
    OfxPointD pixelScale{1.0, 1.0};
    OfxRGBColourD backGroundColour{0.0, 0.0, 0.0};
};

class Interact {
  public:
    explicit Interact(OfxInteractHandle handle);
    virtual ~Interact();
    Interact(const Interact&) = delete;
    Interact& operator=(const Interact&) = delete;

    // Each returns true when it handled the event, so the host does not act on it as well.
    virtual bool draw(const DrawArgs& args);
    virtual bool penMotion(const PenArgs& args);
    virtual bool penDown(const PenArgs& args);
    virtual bool penUp(const PenArgs& args);
    virtual bool keyDown(const KeyArgs& args);
    virtual bool keyUp(const KeyArgs& args);
    virtual bool keyRepeat(const KeyArgs& args);
    virtual void gainFocus(const FocusArgs& args);
    virtual void loseFocus(const FocusArgs& args);

    OfxInteractHandle getHandle() const { return handle_; }
    PropertySet& getPropertySet() { return props_; }
    // Asks the host to draw the interact again; does nothing without an interact suite.
    void requestRedraw() const;
    void swapBuffers() const;

  private:
    OfxInteractHandle handle_;
    PropertySet props_;
};

// An interact drawn over the effect's images.
class OverlayInteract : public Interact {
  public:
    OverlayInteract(OfxInteractHandle handle, ImageEffect* effect) : Interact(handle), _effect(effect) {}
    ImageEffect* getEffect() const { return _effect; }

  protected:
    ImageEffect* _effect;  // the instance the overlay belongs to; null when the host gave none we know
};

class InteractDescriptor {
  public:
    virtual ~InteractDescriptor() = default;
    // Called on the interact's describe action.
    virtual void describe() {}
    virtual Interact* createInstance(OfxInteractHandle handle, ImageEffect* effect) = 0;
    virtual OfxPluginEntryPoint* getMainEntry() = 0;
    PropertySet& getPropertySet() { return props_; }
    void setPropertySet(OfxPropertySetHandle props) { props_.setHandle(props); }

  private:
    PropertySet props_;
};

class EffectOverlayDescriptor : public InteractDescriptor {};

namespace Private {
// The action dispatch of every interact: finds the instance, builds the arguments, turns exceptions into
// statuses.
OfxStatus interactMainEntry(const char* action, const void* handle, OfxPropertySetHandle inArgs,
                            OfxPropertySetHandle outArgs, InteractDescriptor& descriptor);
}  // namespace Private

// The usual overlay descriptor: one INSTANCE per host interact, constructed as INSTANCE(handle, effect).
template <class DESC, class INSTANCE>
class DefaultEffectOverlayDescriptor : public EffectOverlayDescriptor {
  public:
    Interact* createInstance(OfxInteractHandle handle, ImageEffect* effect) override {
        return new INSTANCE(handle, effect);
    }
    OfxPluginEntryPoint* getMainEntry() override { return &overlayMain; }

    static OfxStatus overlayMain(const char* action, const void* handle, OfxPropertySetHandle inArgs,
                                 OfxPropertySetHandle outArgs) {
        static DESC descriptor;
        return Private::interactMainEntry(action, handle, inArgs, outArgs, descriptor);
    }
};

}  // namespace OFX
