#pragma once

#include <string>
#include <vector>

namespace vhost {

// Who the host says it is and what it announces to plug-ins.
struct HostIdentity {
    std::string name = "com.velmora.render";
    std::string label = "Velmora Render";
    int versionMajor = 1;
    int versionMinor = 0;
    int versionMicro = 0;
    std::string versionLabel = "1.0.0";
    int apiVersionMajor = 1;
    int apiVersionMinor = 4;
    bool supportsOverlays = false;
    bool cudaRender = false;
    bool cudaStream = false;
    bool openCLRender = false;
    bool metalRender = false;
    bool openGLRender = false;
    bool isInteractive = false;
    bool drawSuite = true;  // offers the draw suite to overlay interacts
    // Page layout support: the most pages, rows and columns the host lays out (0: no pages).
    int maxPages = 0;
    // Effect properties the host does not know: setting one fails with kOfxStatErrUnknown.
    std::vector<std::string> unknownProperties;
    // Clips described by the plug-in that instances cannot fetch (as from a host that drops them).
    std::vector<std::string> unknownClips;
    // Suites the host does not offer (as from a host without a multithread or message suite).
    std::vector<std::string> withheldSuites;
    std::vector<std::string> contexts = {"OfxImageEffectContextFilter", "OfxImageEffectContextGeneral",
                                         "OfxImageEffectContextTransition", "OfxImageEffectContextGenerator"};

    // The identity a known host presents (Resolve, Flame, Nuke, Fusion, or this program's own),
    // looked up by its OpenFX name or a short alias; any other name gives this program's own
    // identity under that name.
    static HostIdentity forName(const std::string& name);
    static std::vector<std::string> knownNames();
};

}  // namespace vhost
