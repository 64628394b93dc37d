#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "log/PluginLog.h"
#include "plugin/HostCapabilities.h"
#include "plugin/PluginIdentifier.h"

namespace {

TEST(PluginIdentifier, StemOfTheDefinitionPath) {
    const struct {
        const char* path;
        const char* identifier;
    } cases[] = {
        {"C:/Program Files/Common Files/OFX/Plugins/velmora.ofx.bundle/Contents/effects/velmora.xml",
         "com.xmlframework.velmora"},
        {"C:\\a\\b\\fx", "com.xmlframework.fx"},
        {"fx.alt.xml", "com.xmlframework.fx.alt"},
        {"plain", "com.xmlframework.plain"},
        {"/dir.d/name", "com.xmlframework.name"},
        {"mixed\\dir/x.y", "com.xmlframework.x"},
        {"", "com.xmlframework."},
    };
    for (const auto& c : cases) EXPECT_EQ(pluginIdentifierFromPath(c.path), c.identifier) << c.path;
}

// Profile switches in one row: pages, resetOptions, presetPrePop, cudaReported, cudaFallback,
// metalFallback, drawSuite, mayCapAuxInputs, showOverlaysToggle, synthesizeMatte.
struct ProfileCase {
    const char* host;
    const char* hostName;
    const char* profileName;
    bool pages, resetOptions, presetPrePop, cudaReported, cudaFallback, metalFallback, drawSuite,
        mayCapAuxInputs, showOverlaysToggle, synthesizeMatte;
    double accumTimeTolerance;
};

TEST(HostCapabilities, ProfilesByHostName) {
    const ProfileCase cases[] = {
        {"DaVinciResolve", "DaVinciResolve", "Resolve", 0, 1, 0, 1, 0, 0, 1, 1, 0, 1, 15.0},
        {"com.autodesk.flame", "com.autodesk.flame", "Flame", 1, 0, 1, 0, 1, 1, 1, 0, 1, 0, 0.0},
        {"com.blackmagicdesign.Fusion", "com.blackmagicdesign.Fusion", "Fusion", 0, 1, 0, 1, 1, 1, 0, 0, 0, 0,
         0.0},
        {"uk.co.thefoundry.nuke", "uk.co.thefoundry.nuke", "Nuke", 0, 1, 1, 1, 0, 1, 0, 0, 0, 0, 0.0},
        {"NukeStudio", "NukeStudio", "Nuke", 0, 1, 1, 1, 0, 1, 0, 0, 0, 0, 0.0},
        {"com.example.nukex", "com.example.nukex", "Nuke", 0, 1, 1, 1, 0, 1, 0, 0, 0, 0, 0.0},
        {"nuke", "nuke", "Nuke", 0, 1, 1, 1, 0, 1, 0, 0, 0, 0, 0.0},
        {"NUKE", "NUKE", "NUKE", 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0.0},
        {"DaVinciResolveLite", "DaVinciResolveLite", "DaVinciResolveLite", 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0.0},
        {"davinciresolve", "davinciresolve", "davinciresolve", 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0.0},
        {"com.autodesk.flame2", "com.autodesk.flame2", "com.autodesk.flame2", 0, 0, 1, 0, 0, 0, 0, 0, 0, 0,
         0.0},
    };
    for (const ProfileCase& c : cases) {
        AnnouncedHost host;
        host.name = c.host;
        host.cudaRenderSupported = true;  // announcements never change the profile
        host.supportsOverlays = true;
        const HostCapabilities caps = HostCapabilities::fromIdentity(&host);
        SCOPED_TRACE(c.host);
        EXPECT_EQ(caps.hostName, c.hostName);
        EXPECT_EQ(caps.profileName, c.profileName);
        EXPECT_EQ(caps.pages, c.pages);
        EXPECT_EQ(caps.resetOptions, c.resetOptions);
        EXPECT_EQ(caps.presetPrePop, c.presetPrePop);
        EXPECT_EQ(caps.cudaReported, c.cudaReported);
        EXPECT_EQ(caps.cudaFallback, c.cudaFallback);
        EXPECT_EQ(caps.metalFallback, c.metalFallback);
        EXPECT_EQ(caps.drawSuite, c.drawSuite);
        EXPECT_EQ(caps.mayCapAuxInputs, c.mayCapAuxInputs);
        EXPECT_EQ(caps.showOverlaysToggle, c.showOverlaysToggle);
        EXPECT_EQ(caps.synthesizeMatte, c.synthesizeMatte);
        EXPECT_EQ(caps.accumTimeTolerance, c.accumTimeTolerance);
        EXPECT_TRUE(caps.supportsOverlays);
    }
}

TEST(HostCapabilities, NoDescriptionAndLoggedIdentity) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("velmora-caps-" + std::to_string(::getpid()));
    setenv("VELMORA_LOG_DIR", folder.c_str(), 1);
    PluginLog& log = PluginLog::instance();
    log.switchEffect("caps");
    log.setLevel(LogLevel::Info);

    const HostCapabilities none = HostCapabilities::fromIdentity(nullptr);
    EXPECT_EQ(none.hostName, "unknown");
    EXPECT_EQ(none.profileName, "Unknown Host");
    EXPECT_FALSE(none.supportsOverlays);
    EXPECT_TRUE(none.presetPrePop);

    AnnouncedHost host;
    host.name = "com.example.host";
    host.label = "Example";
    host.versionMajor = 3;
    host.versionMinor = 2;
    host.versionMicro = 1;
    host.versionLabel = "3.2.1b";
    host.apiVersionMajor = 1;
    host.apiVersionMinor = 4;
    host.cudaStreamSupported = true;
    const HostCapabilities caps = HostCapabilities::fromIdentity(&host);
    EXPECT_EQ(caps.versionMicro, 1);
    EXPECT_EQ(caps.versionLabel, "3.2.1b");
    EXPECT_EQ(caps.apiVersionMinor, 4);

    log.flush();
    std::ifstream in(log.path());
    std::stringstream text;
    text << in.rdbuf();
    const std::string expected[] = {
        "[ERROR] HostCapabilities::detect() - no host description available, using default profile\n",
        "[INFO] HostCapabilities: Unknown host 'com.example.host' \u2014 using conservative default "
        "profile\n",
        "[INFO] HostCapabilities: Host identity \u2014 name='com.example.host', label='Example', "
        "version=3.2.1 "
        "('3.2.1b'), API=1.4\n",
        "[INFO] HostCapabilities: RAW OFX host desc \u2014 supportsCudaRender=0, supportsCudaStream=1, "
        "supportsOpenCLRender=0, supportsMetalRender=0\n",
        "[INFO] HostCapabilities: Profile 'com.example.host' \u2014 pages=0, resetOptions=0, presetPrePop=1, "
        "cudaReported=0, cudaFallback=0, metalFallback=0, drawSuite=0, mayCapAuxInputs=0\n",
    };
    std::size_t at = 0;
    for (const std::string& line : expected) {
        const std::size_t found = text.str().find(line, at);
        EXPECT_NE(found, std::string::npos) << line << text.str();
        if (found != std::string::npos) at = found;
    }
    log.setLevel(LogLevel::Error);
    std::filesystem::remove_all(folder);
}

}  // namespace
