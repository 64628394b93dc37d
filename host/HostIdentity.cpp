#include "HostIdentity.h"

#include <algorithm>
#include <cctype>

namespace vhost {

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

HostIdentity resolve() {
    HostIdentity id;
    id.name = "DaVinciResolve";
    id.label = "DaVinci Resolve";
    id.versionMajor = 19;
    id.versionMinor = 1;
    id.versionMicro = 0;
    id.versionLabel = "19.1.0";
    id.supportsOverlays = true;
    id.cudaRender = true;
    id.cudaStream = true;
    id.openCLRender = true;
    id.metalRender = false;
    id.isInteractive = true;
    return id;
}

HostIdentity flame() {
    HostIdentity id;
    id.name = "com.autodesk.flame";
    id.label = "Flame";
    id.versionMajor = 2025;
    id.versionMinor = 1;
    id.versionMicro = 0;
    id.versionLabel = "2025.1";
    id.supportsOverlays = true;
    id.isInteractive = true;
    id.maxPages = 6;
    return id;
}

HostIdentity nuke() {
    HostIdentity id;
    id.name = "uk.co.thefoundry.nuke";
    id.label = "Nuke";
    id.versionMajor = 15;
    id.versionMinor = 1;
    id.versionMicro = 2;
    id.versionLabel = "15.1v2";
    id.supportsOverlays = true;
    id.isInteractive = true;
    return id;
}

HostIdentity fusion() {
    HostIdentity id;
    id.name = "com.blackmagicdesign.Fusion";
    id.label = "Fusion";
    id.versionMajor = 19;
    id.versionMinor = 1;
    id.versionMicro = 0;
    id.versionLabel = "19.1";
    id.supportsOverlays = true;
    id.cudaRender = true;
    id.isInteractive = true;
    return id;
}

}  // namespace

HostIdentity HostIdentity::forName(const std::string& name) {
    const std::string key = lower(name);
    if (name == "DaVinciResolve" || key == "resolve") return resolve();
    if (name == "com.autodesk.flame" || key == "flame") return flame();
    if (name == "uk.co.thefoundry.nuke" || key == "nuke") return nuke();
    if (name == "com.blackmagicdesign.Fusion" || key == "fusion") return fusion();
    HostIdentity id;
    if (!name.empty()) {
        id.name = name;
        id.label = name;
    }
    return id;
}

std::vector<std::string> HostIdentity::knownNames() {
    return {"DaVinciResolve", "com.autodesk.flame", "uk.co.thefoundry.nuke", "com.blackmagicdesign.Fusion"};
}

}  // namespace vhost
