#include "plugin/HostCapabilities.h"

#include "log/PluginLog.h"

namespace {

HostCapabilities resolveProfile() {
    HostCapabilities caps;
    caps.hostName = "DaVinciResolve";
    caps.profileName = "Resolve";
    caps.resetOptions = true;
    caps.drawSuite = true;
    caps.cudaReported = true;
    caps.synthesizeMatte = true;
    caps.accumTimeTolerance = 15.0;
    caps.presetPrePop = false;
    caps.mayCapAuxInputs = true;
    return caps;
}

HostCapabilities flameProfile() {
    HostCapabilities caps;
    caps.hostName = "com.autodesk.flame";
    caps.profileName = "Flame";
    caps.pages = true;
    caps.drawSuite = true;
    caps.showOverlaysToggle = true;
    caps.cudaFallback = true;
    caps.metalFallback = true;
    caps.presetPrePop = true;
    return caps;
}

HostCapabilities fusionProfile() {
    HostCapabilities caps;
    caps.hostName = "com.blackmagicdesign.Fusion";
    caps.profileName = "Fusion";
    caps.resetOptions = true;
    caps.cudaReported = true;
    caps.cudaFallback = true;
    caps.metalFallback = true;
    caps.presetPrePop = false;
    return caps;
}

HostCapabilities nukeProfile(const std::string& hostName) {
    HostCapabilities caps;
    caps.hostName = hostName;
    caps.profileName = "Nuke";
    caps.resetOptions = true;
    caps.cudaReported = true;
    caps.metalFallback = true;
    caps.presetPrePop = true;
    return caps;
}

bool isNuke(const std::string& name) {
    if (name == "uk.co.thefoundry.nuke") return true;
    return name.size() >= 4 &&
           (name.find("nuke") != std::string::npos || name.find("Nuke") != std::string::npos);
}

}  // namespace

HostCapabilities HostCapabilities::fromIdentity(const AnnouncedHost* host) {
    if (!host) {
        VLOG_ERROR("HostCapabilities::detect() - no host description available, using default profile");
        return HostCapabilities();
    }
    const std::string& name = host->name;
    HostCapabilities caps;
    if (name == "DaVinciResolve") {
        caps = resolveProfile();
    } else if (name == "com.autodesk.flame") {
        caps = flameProfile();
    } else if (isNuke(name)) {
        caps = nukeProfile(name);
    } else if (name == "com.blackmagicdesign.Fusion") {
        caps = fusionProfile();
    } else {
        caps.hostName = name;
        caps.profileName = name;
        VLOG_INFO("HostCapabilities: Unknown host '%s' \u2014 using conservative default profile",
                  name.c_str());
    }

    caps.supportsOverlays = host->supportsOverlays;
    caps.versionMajor = host->versionMajor;
    caps.versionMinor = host->versionMinor;
    caps.versionMicro = host->versionMicro;
    caps.versionLabel = host->versionLabel;
    caps.apiVersionMajor = host->apiVersionMajor;
    caps.apiVersionMinor = host->apiVersionMinor;

    VLOG_INFO(
        "HostCapabilities: Host identity \u2014 name='%s', label='%s', version=%d.%d.%d ('%s'), API=%d.%d",
        host->name.c_str(), host->label.c_str(), host->versionMajor, host->versionMinor, host->versionMicro,
        host->versionLabel.c_str(), host->apiVersionMajor, host->apiVersionMinor);
    VLOG_INFO(
        "HostCapabilities: RAW OFX host desc \u2014 supportsCudaRender=%d, supportsCudaStream=%d, "
        "supportsOpenCLRender=%d, supportsMetalRender=%d",
        host->cudaRenderSupported ? 1 : 0, host->cudaStreamSupported ? 1 : 0,
        host->openCLRenderSupported ? 1 : 0, host->metalRenderSupported ? 1 : 0);
    VLOG_INFO(
        "HostCapabilities: Profile '%s' \u2014 pages=%d, resetOptions=%d, presetPrePop=%d, cudaReported=%d, "
        "cudaFallback=%d, metalFallback=%d, drawSuite=%d, mayCapAuxInputs=%d",
        caps.profileName.c_str(), caps.pages, caps.resetOptions, caps.presetPrePop, caps.cudaReported,
        caps.cudaFallback, caps.metalFallback, caps.drawSuite, caps.mayCapAuxInputs);
    return caps;
}
