#pragma once

#include <string>

// What the plug-in needs to know about the running host, as the host announces it.
struct AnnouncedHost {
    std::string name;
    std::string label;
    int versionMajor = 0;
    int versionMinor = 0;
    int versionMicro = 0;
    std::string versionLabel;
    int apiVersionMajor = 0;
    int apiVersionMinor = 0;
    bool supportsOverlays = false;
    // The host's own GPU announcements; logged only, the profile decides.
    bool cudaRenderSupported = false;
    bool cudaStreamSupported = false;
    bool openCLRenderSupported = false;
    bool metalRenderSupported = false;
};

// The detected host and the fixed profile of behaviour switches that applies to it.
struct HostCapabilities {
    std::string hostName = "unknown";
    std::string profileName = "Unknown Host";
    int versionMajor = 0;
    int versionMinor = 0;
    int versionMicro = 0;
    std::string versionLabel;
    int apiVersionMajor = 0;
    int apiVersionMinor = 0;

    bool resetOptions = false;
    bool pages = false;
    bool supportsOverlays = false;
    bool drawSuite = false;
    bool showOverlaysToggle = false;
    bool cudaReported = false;
    bool cudaFallback = false;
    bool metalFallback = false;
    bool synthesizeMatte = false;
    double accumTimeTolerance = 0.0;
    bool presetPrePop = true;
    bool mayCapAuxInputs = false;

    // Reads the support layer's host description; the default profile when there is none.
    static HostCapabilities detect();
    // The profile for a host identity; null means no host description is available.
    static HostCapabilities fromIdentity(const AnnouncedHost* host);
};
