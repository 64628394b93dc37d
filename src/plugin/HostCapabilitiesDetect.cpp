#include "ofxsImageEffect.h"
#include "plugin/HostCapabilities.h"

HostCapabilities HostCapabilities::detect() {
    const OFX::ImageEffectHostDescription* description = OFX::getImageEffectHostDescription();
    if (!description) return fromIdentity(nullptr);
    AnnouncedHost host;
    host.name = description->hostName;
    host.label = description->hostLabel;
    host.versionMajor = description->versionMajor;
    host.versionMinor = description->versionMinor;
    host.versionMicro = description->versionMicro;
    host.versionLabel = description->versionLabel;
    host.apiVersionMajor = description->APIVersionMajor;
    host.apiVersionMinor = description->APIVersionMinor;
    host.supportsOverlays = description->supportsOverlays;
    host.cudaRenderSupported = description->supportsCudaRender;
    host.cudaStreamSupported = description->supportsCudaStream;
    host.openCLRenderSupported = description->supportsOpenCLRender;
    host.metalRenderSupported = description->supportsMetalRender;
    return fromIdentity(&host);
}
