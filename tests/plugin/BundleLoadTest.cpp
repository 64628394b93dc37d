#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ofxCore.h"

namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

using CountFunction = int (*)();
using GetFunction = OfxPlugin* (*)(int);

// Loads the built bundle the way a host does and lists its plug-ins.
TEST(BundleLoad, ListsOnePluginAndStartsItsLog) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("velmora-bundle-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    setenv("VELMORA_LOG_DIR", folder.c_str(), 1);

    // A first process loads, lists and exits, so that the log is complete on disk.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        void* library = dlopen(VELMORA_BUNDLE_BINARY, RTLD_NOW | RTLD_LOCAL);
        if (!library) _exit(2);
        auto count = reinterpret_cast<CountFunction>(dlsym(library, "OfxGetNumberOfPlugins"));
        std::exit(count && count() == 1 ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);

    const std::string log = readFile(folder / "velmora_plugin_log.txt");
    EXPECT_EQ(log.rfind("=== velmora Plugin Session Started ===\nSession time: ", 0), 0u) << log;
    EXPECT_NE(
        log.find("\n[INFO] Creating factory for effect: velmora\n[INFO] XML path: C:/Program Files/Common "
                 "Files/OFX/Plugins/velmora.ofx.bundle/Contents/effects/velmora.xml\n"),
        std::string::npos)
        << log;
    EXPECT_NE(log.find("[INFO] Embedded XML parsed successfully: effect 'ORBALT Velmora'\n"),
              std::string::npos);

    void* library = dlopen(VELMORA_BUNDLE_BINARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto count = reinterpret_cast<CountFunction>(dlsym(library, "OfxGetNumberOfPlugins"));
    auto get = reinterpret_cast<GetFunction>(dlsym(library, "OfxGetPlugin"));
    ASSERT_NE(count, nullptr);
    ASSERT_NE(get, nullptr);
    ASSERT_EQ(count(), 1);
    const OfxPlugin* plugin = get(0);
    ASSERT_NE(plugin, nullptr);
    EXPECT_STREQ(plugin->pluginApi, "OfxImageEffectPluginAPI");
    EXPECT_EQ(plugin->apiVersion, 1);
    EXPECT_STREQ(plugin->pluginIdentifier, "com.xmlframework.velmora");
    EXPECT_EQ(plugin->pluginVersionMajor, 1u);
    EXPECT_EQ(plugin->pluginVersionMinor, 0u);
    EXPECT_EQ(get(1), nullptr);
    EXPECT_EQ(count(), 1);  // the list is built once per process
    // The second session moved the first one to the backup.
    EXPECT_EQ(readFile(folder / "velmora_plugin_log.txt.1"), log);

    dlclose(library);
    std::filesystem::remove_all(folder);
}

}  // namespace

// The binary exports the OpenFX entry points and the kernel launch wrappers, and nothing of the
// libraries it links statically.
TEST(BundleLoad, ExportsTheEntryPointsAndKernelWrappersOnly) {
    void* library = dlopen(VELMORA_BUNDLE_BINARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const char* name : {"OfxGetNumberOfPlugins", "OfxGetPlugin", "call_mask_prep_kernel_Pass",
                             "call_blur_divide_kernel_Pass", "call_post_blur_kernel_Pass",
                             "call_retexture_blur_kernel_Pass", "call_composite_kernel_Pass"})
        EXPECT_NE(dlsym(library, name), nullptr) << name;
    for (const char* hidden : {"_ZN4pugi12xml_documentC1Ev",
                               "_ZN3OFX6Plugin12getPluginIDsERSt6vectorIPNS_13PluginFactoryESaIS3_EE"})
        EXPECT_EQ(dlsym(library, hidden), nullptr) << hidden;
    dlclose(library);
}
