#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "LogCapture.h"
#include "presets/PresetFolders.h"
#include "presets/PresetStore.h"

namespace fs = std::filesystem;

namespace {

class PresetStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "velmora-presets-XXXXXX").string();
        ASSERT_TRUE(mkdtemp(&pattern[0]));
        root_ = pattern;
        userFolder_ = root_ + "/user/orbalt/presets/velmora";
        factoryFolder_ = root_ + "/bundle/Contents/Resources/presets";
        fs::create_directories(factoryFolder_);
    }
    void TearDown() override { fs::remove_all(root_); }

    PresetStore store() const { return PresetStore(userFolder_, factoryFolder_); }

    // Every file below the temporary root, relative to it.
    std::vector<std::string> allFiles() const {
        std::vector<std::string> files;
        for (auto& entry : fs::recursive_directory_iterator(root_)) {
            if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), root_).string());
        }
        std::sort(files.begin(), files.end());
        return files;
    }

    const std::vector<PresetParameter> parameters_ = {
        {"radius", "float"}, {"passes", "int"}, {"invert", "bool"}, {"tint", "color"}, {"label", "string"}};
    const PresetValues values_ = {{"radius", ParameterValue(12.5)},
                                  {"passes", ParameterValue(3)},
                                  {"invert", ParameterValue(true)},
                                  {"tint", ParameterValue(0.1, 0.2, 0.3)},
                                  {"label", ParameterValue("glass")}};

    LogCapture log_;
    std::string root_, userFolder_, factoryFolder_;
};

}  // namespace

TEST_F(PresetStoreTest, SaveListLoadDeleteRoundTrip) {
    PresetStore presets = store();
    EXPECT_TRUE(presets.userPresetNames().empty());  // folder not created yet
    EXPECT_FALSE(fs::exists(userFolder_));

    std::string saved;
    ASSERT_TRUE(presets.saveUserPreset("frosted", "Velmora", "1.0", values_, parameters_, &saved));
    EXPECT_EQ(saved, "frosted");
    ASSERT_TRUE(presets.saveUserPreset("  alpha.xml ", "Velmora", "1.0", values_, parameters_, &saved));
    EXPECT_EQ(saved, "alpha");
    ASSERT_TRUE(presets.saveUserPreset("b.xml.xml", "Velmora", "1.0", values_, parameters_, &saved));
    EXPECT_EQ(saved, "b.xml");
    EXPECT_EQ(presets.userPresetNames(), (std::vector<std::string>{"alpha", "b.xml", "frosted"}));
    EXPECT_TRUE(fs::is_regular_file(userFolder_ + "/alpha.xml"));
    EXPECT_TRUE(log_.contains("[INFO] Preset saved: " + userFolder_ + "/frosted.xml\n"));

    std::string effect, version;
    PresetValues loaded = presets.loadUserPreset("frosted.xml", effect, version);
    EXPECT_EQ(effect, "Velmora");
    EXPECT_EQ(version, "1.0");
    ASSERT_EQ(loaded.size(), values_.size());
    EXPECT_DOUBLE_EQ(loaded.at("radius").asDouble(), 12.5);
    EXPECT_EQ(loaded.at("passes").asInt(), 3);
    EXPECT_TRUE(loaded.at("invert").asBool());
    EXPECT_EQ(loaded.at("tint").kind(), ParameterValue::Kind::Vec3);
    EXPECT_EQ(loaded.at("tint").y(), 0.2f);
    EXPECT_EQ(loaded.at("label").asString(), "glass");
    EXPECT_TRUE(log_.contains("[INFO] Preset loaded: " + userFolder_ + "/frosted.xml (5 parameters)\n"));

    // Saving again under the same name replaces the preset.
    PresetValues changed = values_;
    changed["radius"] = ParameterValue(99.0);
    ASSERT_TRUE(presets.saveUserPreset("frosted", "Velmora", "1.0", changed, parameters_));
    EXPECT_DOUBLE_EQ(presets.loadUserPreset("frosted", effect, version).at("radius").asDouble(), 99.0);

    std::string error;
    EXPECT_TRUE(presets.deleteUserPreset("frosted", &error)) << error;
    EXPECT_FALSE(presets.deleteUserPreset("frosted", &error));
    EXPECT_EQ(presets.userPresetNames(), (std::vector<std::string>{"alpha", "b.xml"}));
    EXPECT_EQ(allFiles(), (std::vector<std::string>{"user/orbalt/presets/velmora/alpha.xml",
                                                    "user/orbalt/presets/velmora/b.xml.xml"}));
}

TEST_F(PresetStoreTest, UnsafeNamesAreRefusedAndWriteNothing) {
    PresetStore presets = store();
    const std::string unsafe[] = {"",           "   ",   ".xml",     "../escape", "..",       "a/b",
                                  "a\\b",       "CON",   "nul.xml",  "com3",      "lpt1.txt", "tab\tname",
                                  "line\nfeed", "dots.", "trail ..", "a:b",       "x|y"};
    for (const std::string& name : unsafe) {
        EXPECT_FALSE(presets.saveUserPreset(name, "Velmora", "1.0", values_, parameters_)) << name;
        std::string effect, version;
        EXPECT_TRUE(presets.loadUserPreset(name, effect, version).empty()) << name;
        EXPECT_FALSE(presets.deleteUserPreset(name)) << name;
    }
    EXPECT_TRUE(allFiles().empty());
    EXPECT_FALSE(fs::exists(userFolder_));
    EXPECT_TRUE(
        log_.contains("[ERROR] Refusing preset name '../escape': the name contains a path separator\n"));
    EXPECT_TRUE(
        log_.contains("[ERROR] Refusing preset name 'line?feed': the name contains a control character\n"));
}

TEST_F(PresetStoreTest, ListingTakesEveryXmlEntryAndSkipsUnusableNames) {
    for (const char* name :
         {"Soft.xml", "hard.xml", "a.xml.xml", "readme.txt", "CAPS.XML", "con.xml", ".xml"}) {
        std::ofstream(factoryFolder_ + "/" + name) << "<preset/>";
    }
    fs::create_directory(factoryFolder_ + "/folder.xml");
    std::size_t seen = 0;
    EXPECT_EQ(store().factoryPresetNames(&seen),
              (std::vector<std::string>{"Soft", "a.xml", "folder", "hard"}));
    EXPECT_EQ(seen, 8u);

    // The folder is listed but is no preset.
    std::string effect, version;
    EXPECT_TRUE(store().loadFactoryPreset("folder", effect, version).empty());
    EXPECT_TRUE(log_.contains("[ERROR] Failed to load preset file: " + factoryFolder_ + "/folder.xml\n"));
}

TEST_F(PresetStoreTest, FactoryPresetsLoadFromTheBundleAndPresetsOfOtherEffectsKeepTheirName) {
    std::ofstream(factoryFolder_ + "/Heavy Fill.xml")
        << "<?xml version=\"1.0\"?><preset><meta effect=\"Blurrr\" version=\"0.9\"/><parameters>"
           "<param name=\"radius\" type=\"float\" value=\"80\"/></parameters></preset>";
    std::string effect, version;
    PresetValues loaded = store().loadFactoryPreset("Heavy Fill", effect, version);
    EXPECT_EQ(effect, "Blurrr");
    EXPECT_EQ(version, "0.9");
    EXPECT_DOUBLE_EQ(loaded.at("radius").asDouble(), 80.0);

    EXPECT_TRUE(store().loadFactoryPreset("missing", effect, version).empty());
    EXPECT_TRUE(log_.contains("[ERROR] Failed to load preset file: " + factoryFolder_ + "/missing.xml\n"));
}

TEST_F(PresetStoreTest, FailedSaveReportsAndKeepsEarlierPreset) {
    PresetStore presets = store();
    ASSERT_TRUE(presets.saveUserPreset("keep", "Velmora", "1.0", values_, parameters_));
    // A folder where the preset file should go makes the write fail.
    fs::create_directory(userFolder_ + "/blocked.xml");
    EXPECT_FALSE(presets.saveUserPreset("blocked", "Velmora", "1.0", values_, parameters_));
    EXPECT_TRUE(log_.contains("[ERROR] Failed to save preset: " + userFolder_ + "/blocked.xml\n"));

    // A file where the presets folder should be makes the folder creation fail.
    PresetStore elsewhere(root_ + "/user/orbalt/presets/velmora/keep.xml/sub", factoryFolder_);
    EXPECT_FALSE(elsewhere.saveUserPreset("x", "Velmora", "1.0", values_, parameters_));
    EXPECT_TRUE(log_.contains("[ERROR] Failed to create preset directory: "));

    std::string effect, version;
    EXPECT_EQ(presets.loadUserPreset("keep", effect, version).size(), values_.size());
}

TEST(PresetFolders, FolderAndNameRules) {
    EXPECT_EQ(bundleNameFromDefinitionPath("/opt/effects/velmora.xml"), "velmora");
    EXPECT_EQ(bundleNameFromDefinitionPath("C:\\effects\\velmora.xml"), "velmora");
    EXPECT_EQ(bundleNameFromDefinitionPath("velmora"), "velmora");
    EXPECT_EQ(presetEffectName("Velmora Pro", "Velmora"), "Velmora Pro");
    EXPECT_EQ(presetEffectName("", "Velmora"), "Velmora");

    const char* previous = std::getenv("APPDATA");
    setenv("APPDATA", "/tmp/velmora-appdata", 1);
    EXPECT_EQ(PresetStore::forEffect("Velmora", "velmora").userFolder(),
              "/tmp/velmora-appdata/orbalt/presets/Velmora");
    if (previous) {
        setenv("APPDATA", previous, 1);
    } else {
        unsetenv("APPDATA");
    }
    // The test program is not inside a bundle: the system's plug-in folder is used.
    EXPECT_EQ(factoryPresetFolder("velmora"),
              "/usr/OFX/Plugins/velmora.ofx.bundle/Contents/Resources/presets");

    EXPECT_EQ(presetNameFromInput("foo.xml"), "foo");
    EXPECT_EQ(presetNameFromInput("a.xml.xml"), "a.xml");
    EXPECT_EQ(presetNameFromInput(" spaced name \n"), "spaced name");
    EXPECT_EQ(presetNameFromInput("foo.XML"), "foo.XML");
}
