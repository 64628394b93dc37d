#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>

#include "TestSupport.h"
#include "platform/UserFolders.h"

using namespace platform;

TEST(UserFolders, RootFollowsEnvironment) {
    struct Case {
        const char* appData;
        const char* xdg;
        const char* home;
        std::string root;
    };
    const Case cases[] = {
        {"/data/app", "/data/xdg", "/home/u", "/data/app"},
        {nullptr, "/data/xdg", "/home/u", "/data/xdg"},
        {"", "/data/xdg", "/home/u", "/data/xdg"},
        {nullptr, "relative/xdg", "/home/u", "/home/u/.local/share"},
        {nullptr, nullptr, "/home/u", "/home/u/.local/share"},
        // A relative APPDATA would follow the host's working folder: ignored, and said so.
        {"appdata", "/data/xdg", "/home/u", "/data/xdg"},
        {"./x", nullptr, "/home/u", "/home/u/.local/share"},
    };
    for (const Case& c : cases) {
        ScopedEnvironment appData("APPDATA", c.appData);
        ScopedEnvironment xdg("XDG_DATA_HOME", c.xdg);
        ScopedEnvironment home("HOME", c.home);
        EXPECT_EQ(perUserRoot(), c.root);
        const bool relative = c.appData && *c.appData && c.appData[0] != '/';
        EXPECT_EQ(ignoredAppData(), relative ? c.appData : "") << c.root;
    }
}

TEST(UserFolders, PresetAndToolLocations) {
    ScopedEnvironment appData("APPDATA", "/tmp/root");
    EXPECT_EQ(userPresetsFolder("velmora"), "/tmp/root/orbalt/presets/velmora");
    EXPECT_EQ(userPresetsFolder(""), "");
    EXPECT_EQ(audioToolPath(), "/tmp/root/orbalt/tools/orbalt_audio");
}

TEST(UserFolders, FactoryPresetsLiveInTheBundle) {
    EXPECT_EQ(factoryPresetsFolderFor("/opt/ofx/velmora.ofx.bundle/Contents/Linux-x86-64/velmora.ofx"),
              "/opt/ofx/velmora.ofx.bundle/Contents/Resources/presets");
    EXPECT_EQ(bundleResourcesFolderFor("/opt/ofx/velmora.ofx.bundle/Contents/MacOS/velmora.ofx"),
              "/opt/ofx/velmora.ofx.bundle/Contents/Resources");
    EXPECT_EQ(factoryPresetsFolderFor("/usr/lib/libvelmora.so"), "");
    EXPECT_EQ(factoryPresetsFolderFor("velmora.ofx"), "");
    EXPECT_EQ(factoryPresetsFolderFor(""), "");
}

TEST(UserFolders, LoadedLibraryIsTheBinaryHoldingThisCode) {
    // Linked statically, the code lives in the test program itself.
    char self[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    ASSERT_GT(length, 0);
    EXPECT_EQ(loadedLibraryPath(), std::string(self, static_cast<std::size_t>(length)));
    EXPECT_EQ(factoryPresetsFolder(), "");  // the test program is not inside a bundle
}
