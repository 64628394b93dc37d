#include <algorithm>
#include <memory>

#include "ofxsImageEffect.h"
#include "ofxsPrivate.h"
#include "ofxsSuites.h"

namespace OFX {
namespace {

std::unique_ptr<ImageEffectHostDescription> gDescription;

bool flag(const PropertySet& props, const char* name) {
    return props.propGetInt(name, 0, false) != 0;
}

// GPU support is announced as a string ("false", "true", "needed"); some hosts use an int.
bool announced(const PropertySet& props, const char* name) {
    if (!props.propExists(name)) return false;
    std::string text = props.propGetString(name, 0, false);
    if (!text.empty()) return text == "true" || text == "needed";
    return props.propGetInt(name, 0, false) != 0;
}

}  // namespace

bool ImageEffectHostDescription::supportsContext(ContextEnum context) const {
    return std::find(supportedContexts.begin(), supportedContexts.end(), context) != supportedContexts.end();
}

bool ImageEffectHostDescription::supportsPixelDepth(BitDepthEnum depth) const {
    return std::find(supportedPixelDepths.begin(), supportedPixelDepths.end(), depth) !=
           supportedPixelDepths.end();
}

const ImageEffectHostDescription* getImageEffectHostDescription() {
    return gDescription.get();
}

namespace Private {

void loadHostDescription() {
    OfxHost* h = host();
    auto d = std::make_unique<ImageEffectHostDescription>();
    PropertySet props(h ? h->host : nullptr);
    d->hostName = props.propGetString(kOfxPropName, 0, false);
    d->hostLabel = props.propGetString(kOfxPropLabel, 0, false);
    if (props.propExists(kOfxPropVersion)) {
        int n = props.propGetDimension(kOfxPropVersion, false);
        if (n > 0) d->versionMajor = props.propGetInt(kOfxPropVersion, 0, false);
        if (n > 1) d->versionMinor = props.propGetInt(kOfxPropVersion, 1, false);
        if (n > 2) d->versionMicro = props.propGetInt(kOfxPropVersion, 2, false);
    }
    d->versionLabel = props.propGetString(kOfxPropVersionLabel, 0, false);
    if (props.propExists(kOfxPropAPIVersion)) {
        int n = props.propGetDimension(kOfxPropAPIVersion, false);
        if (n > 0) d->APIVersionMajor = props.propGetInt(kOfxPropAPIVersion, 0, false);
        if (n > 1) d->APIVersionMinor = props.propGetInt(kOfxPropAPIVersion, 1, false);
    }
    d->hostIsBackground = flag(props, kOfxImageEffectHostPropIsBackground);
    d->supportsOverlays = flag(props, kOfxImageEffectPropSupportsOverlays);
    d->supportsMultiResolution = flag(props, kOfxImageEffectPropSupportsMultiResolution);
    d->supportsTiles = flag(props, kOfxImageEffectPropSupportsTiles);
    d->temporalClipAccess = flag(props, kOfxImageEffectPropTemporalClipAccess);
    d->supportsMultipleClipDepths = flag(props, kOfxImageEffectPropSupportsMultipleClipDepths);
    d->supportsMultipleClipPARs = flag(props, kOfxImageEffectPropSupportsMultipleClipPARs);
    d->supportsSetableFrameRate = flag(props, kOfxImageEffectPropSetableFrameRate);
    d->supportsSetableFielding = flag(props, kOfxImageEffectPropSetableFielding);
    d->supportsStringAnimation = flag(props, kOfxParamHostPropSupportsStringAnimation);
    d->supportsCustomInteract = flag(props, kOfxParamHostPropSupportsCustomInteract);
    d->supportsChoiceAnimation = flag(props, kOfxParamHostPropSupportsChoiceAnimation);
    d->supportsBooleanAnimation = flag(props, kOfxParamHostPropSupportsBooleanAnimation);
    d->supportsCustomAnimation = flag(props, kOfxParamHostPropSupportsCustomAnimation);
    d->supportsParametricAnimation = flag(props, kOfxParamHostPropSupportsParametricAnimation);
    if (props.propExists(kOfxParamHostPropMaxParameters)) {
        d->maxParameters = props.propGetInt(kOfxParamHostPropMaxParameters, 0, false);
    }
    d->maxPages = props.propGetInt(kOfxParamHostPropMaxPages, 0, false);
    if (props.propExists(kOfxParamHostPropPageRowColumnCount)) {
        d->pageRowCount = props.propGetInt(kOfxParamHostPropPageRowColumnCount, 0, false);
        d->pageColumnCount = props.propGetInt(kOfxParamHostPropPageRowColumnCount, 1, false);
    }
    if (props.propExists(kOfxImageEffectPropSupportedContexts)) {
        for (const std::string& c : props.propGetStrings(kOfxImageEffectPropSupportedContexts, false)) {
            d->supportedContexts.push_back(mapStrToContextEnum(c));
        }
    }
    if (props.propExists(kOfxImageEffectPropSupportedPixelDepths)) {
        for (const std::string& c : props.propGetStrings(kOfxImageEffectPropSupportedPixelDepths, false)) {
            d->supportedPixelDepths.push_back(mapStrToBitDepthEnum(c));
        }
    }
    if (props.propExists(kOfxImageEffectPropSupportedComponents)) {
        for (const std::string& c : props.propGetStrings(kOfxImageEffectPropSupportedComponents, false)) {
            d->supportedComponents.push_back(mapStrToPixelComponentEnum(c));
        }
    }
    d->supportsOpenGLRender = announced(props, kOfxImageEffectPropOpenGLRenderSupported);
    d->supportsCudaRender = announced(props, kOfxImageEffectPropCudaRenderSupported);
    d->supportsCudaStream = announced(props, kOfxImageEffectPropCudaStreamSupported);
    d->supportsOpenCLRender = announced(props, kOfxImageEffectPropOpenCLRenderSupported);
    d->supportsMetalRender = announced(props, kOfxImageEffectPropMetalRenderSupported);
    gDescription = std::move(d);
}

void clearHostDescription() {
    gDescription.reset();
}

}  // namespace Private
}  // namespace OFX
