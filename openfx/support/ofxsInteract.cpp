#include "ofxsInteract.h"

#include "ofxKeySyms.h"
#include "ofxsImageEffect.h"
#include "ofxsPrivate.h"
#include "ofxsSuites.h"

namespace OFX {

Interact::Interact(OfxInteractHandle handle) : handle_(handle) {
    OfxPropertySetHandle props = nullptr;
    throwSuiteStatusException(Private::interactSuite().interactGetPropertySet(handle, &props), "interact");
    props_.setHandle(props);
}

Interact::~Interact() = default;

bool Interact::draw(const DrawArgs&) {
    return false;
}
bool Interact::penMotion(const PenArgs&) {
    return false;
}
bool Interact::penDown(const PenArgs&) {
    return false;
}
bool Interact::penUp(const PenArgs&) {
    return false;
}
bool Interact::keyDown(const KeyArgs&) {
    return false;
}
bool Interact::keyUp(const KeyArgs&) {
    return false;
}
bool Interact::keyRepeat(const KeyArgs&) {
    return false;
}
void Interact::gainFocus(const FocusArgs&) {}
void Interact::loseFocus(const FocusArgs&) {}

void Interact::requestRedraw() const {
    if (hostSuites().interact) hostSuites().interact->interactRedraw(handle_);
}

void Interact::swapBuffers() const {
    if (hostSuites().interact) hostSuites().interact->interactSwapBuffers(handle_);
}

namespace Private {
namespace {

OfxPointD pointOf(const PropertySet& args, const char* name, OfxPointD fallback) {
    if (!args.propExists(name)) return fallback;
    return OfxPointD{args.propGetDouble(name, 0, false), args.propGetDouble(name, 1, false)};
}

OfxRGBColourD colourOf(const PropertySet& args) {
    if (!args.propExists(kOfxInteractPropBackgroundColour)) return OfxRGBColourD{0, 0, 0};
    return OfxRGBColourD{args.propGetDouble(kOfxInteractPropBackgroundColour, 0, false),
                         args.propGetDouble(kOfxInteractPropBackgroundColour, 1, false),
                         args.propGetDouble(kOfxInteractPropBackgroundColour, 2, false)};
}

void fillCommon(InteractArgs& a, const PropertySet& in) {
    a.time = in.propGetDouble(kOfxPropTime, 0, false);
    a.renderScale = pointOf(in, kOfxImageEffectPropRenderScale, OfxPointD{1, 1});
}

PropertySet interactProps(OfxInteractHandle handle) {
    OfxPropertySetHandle props = nullptr;
    throwSuiteStatusException(interactSuite().interactGetPropertySet(handle, &props), "interact");
    return PropertySet(props);
}

Interact& instanceOf(OfxInteractHandle handle) {
    void* data = interactProps(handle).propGetPointer(kOfxPropInstanceData, 0, false);
    if (!data) throw Exception::Suite(kOfxStatErrBadHandle, "no interact instance behind the handle");
    return *static_cast<Interact*>(data);
}

OfxStatus handled(bool yes) {
    return yes ? kOfxStatOK : kOfxStatReplyDefault;
}

OfxStatus dispatch(const std::string& action, OfxInteractHandle handle, const PropertySet& in,
                   InteractDescriptor& descriptor) {
    if (action == kOfxActionDescribeInteract) {
        descriptor.setPropertySet(interactProps(handle).getHandle());
        descriptor.describe();
        return kOfxStatOK;
    }
    if (action == kOfxActionCreateInstanceInteract) {
        PropertySet props = interactProps(handle);
        auto effectHandle =
            static_cast<OfxImageEffectHandle>(props.propGetPointer(kOfxPropEffectInstance, 0, false));
        ImageEffect* effect = retrieveImageEffectPointer(effectHandle);
        Interact* interact = descriptor.createInstance(handle, effect);
        if (!interact) return kOfxStatFailed;
        try {
            props.propSetPointer(kOfxPropInstanceData, interact);
        } catch (...) {
            delete interact;
            throw;
        }
        return kOfxStatOK;
    }
    if (action == kOfxActionDestroyInstanceInteract) {
        PropertySet props = interactProps(handle);
        auto* interact = static_cast<Interact*>(props.propGetPointer(kOfxPropInstanceData, 0, false));
        if (!interact) return kOfxStatErrBadHandle;
        props.propSetPointer(kOfxPropInstanceData, nullptr, 0, false);
        delete interact;
        return kOfxStatOK;
    }

    Interact& interact = instanceOf(handle);
    if (action == kOfxInteractActionDraw) {
        DrawArgs a;
        fillCommon(a, in);
        a.pixelScale = pointOf(in, kOfxInteractPropPixelScale, OfxPointD{1, 1});
        a.backGroundColour = colourOf(in);
        if (in.propExists(kOfxInteractPropDrawContext)) {
            a.drawContext =
                static_cast<OfxDrawContextHandle>(in.propGetPointer(kOfxInteractPropDrawContext, 0, false));
        }
        a.drawSuite = hostSuites().draw;
        return handled(interact.draw(a));
    }
    if (action == kOfxInteractActionPenMotion || action == kOfxInteractActionPenDown ||
        action == kOfxInteractActionPenUp) {
        PenArgs a;
        fillCommon(a, in);
        a.pixelScale = pointOf(in, kOfxInteractPropPixelScale, OfxPointD{1, 1});
        a.penPosition = pointOf(in, kOfxInteractPropPenPosition, OfxPointD{0, 0});
        if (in.propExists(kOfxInteractPropPenViewportPosition)) {
            a.penViewportPosition = OfxPointI{in.propGetInt(kOfxInteractPropPenViewportPosition, 0, false),
                                              in.propGetInt(kOfxInteractPropPenViewportPosition, 1, false)};
        }
        a.penPressure = in.propGetDouble(kOfxInteractPropPenPressure, 0, false);
        if (action == kOfxInteractActionPenMotion) return handled(interact.penMotion(a));
        if (action == kOfxInteractActionPenDown) return handled(interact.penDown(a));
        return handled(interact.penUp(a));
    }
    if (action == kOfxInteractActionKeyDown || action == kOfxInteractActionKeyUp ||
        action == kOfxInteractActionKeyRepeat) {
        KeyArgs a;
        fillCommon(a, in);
        a.keySymbol = in.propGetInt(kOfxPropKeySym, 0, false);
        a.keyString = in.propGetString(kOfxPropKeyString, 0, false);
        if (action == kOfxInteractActionKeyDown) return handled(interact.keyDown(a));
        if (action == kOfxInteractActionKeyUp) return handled(interact.keyUp(a));
        return handled(interact.keyRepeat(a));
    }
    if (action == kOfxInteractActionGainFocus || action == kOfxInteractActionLoseFocus) {
        FocusArgs a;
        fillCommon(a, in);
        a.pixelScale = pointOf(in, kOfxInteractPropPixelScale, OfxPointD{1, 1});
        a.backGroundColour = colourOf(in);
        if (action == kOfxInteractActionGainFocus) {
            interact.gainFocus(a);
        } else {
            interact.loseFocus(a);
        }
        return kOfxStatOK;
    }
    return kOfxStatReplyDefault;
}

}  // namespace

OfxStatus interactMainEntry(const char* action, const void* handle, OfxPropertySetHandle inArgs,
                            OfxPropertySetHandle, InteractDescriptor& descriptor) {
    if (!action) return kOfxStatErrBadHandle;
    return guardAction(action, [&] {
        auto interactHandle = static_cast<OfxInteractHandle>(const_cast<void*>(handle));
        return dispatch(action, interactHandle, PropertySet(inArgs), descriptor);
    });
}

}  // namespace Private
}  // namespace OFX
