// The preset controls of the built plug-in, driven through our host the way a user in a host
// drives them: dropdown selections, the name field and the buttons.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>

#include "Effect.h"
#include "Host.h"
#include "Image.h"
#include "Instance.h"
#include "Param.h"
#include "PluginBinary.h"
#include "PresetCommands.h"

namespace fs = std::filesystem;

namespace {

const char kIdentifier[] = "com.xmlframework.velmora";
const std::vector<std::string> kNoUserPresets = {"(no presets found)", ">> Load Defaults <<"};

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

double number(const vhost::ParamValue& value) {
    if (auto d = std::get_if<double>(&value)) return *d;
    if (auto i = std::get_if<int>(&value)) return *i;
    if (auto b = std::get_if<bool>(&value)) return *b ? 1.0 : 0.0;
    ADD_FAILURE() << "not a number: " << vhost::toText(value);
    return 0.0;
}

class PresetControls : public ::testing::Test {
  protected:
    void SetUp() override {
        static int counter = 0;
        root_ = fs::temp_directory_path() /
                ("velmora-preset-controls-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
        fs::remove_all(root_);
        fs::create_directories(root_ / "appdata");
        setenv("APPDATA", (root_ / "appdata").c_str(), 1);
        setenv("VELMORA_LOG_DIR", (root_ / "log").c_str(), 1);
    }

    void TearDown() override {
        unsetenv("VELMORA_TEST_DEFINITION_FILE");
        instance_.reset();
        effect_.reset();
        binary_.reset();
        host_.reset();
        fs::remove_all(root_);
    }

    // Loads a bundle, describes the effect and creates one instance. Our own host's identity
    // gets the profile that fills the dropdowns once at description time.
    vhost::Instance& open(const std::string& bundle = VELMORA_BUNDLE_DIR,
                          const vhost::HostIdentity& identity = vhost::HostIdentity()) {
        instance_.reset();
        effect_.reset();
        binary_.reset();
        host_ = std::make_unique<vhost::Host>(identity);
        binary_.emplace(host_->load(bundle));
        effect_.emplace(binary_->plugin(kIdentifier).describe());
        instance_.emplace(effect_->createInstance());
        return *instance_;
    }

    // A copy of the built bundle whose factory presets are the given files.
    std::string bundleWithFactoryPresets(const std::vector<std::string>& presets) {
        const fs::path bundle = root_ / "bundles" / "velmora.ofx.bundle";
        fs::create_directories(bundle / "Contents" / "Resources" / "presets");
        fs::copy(fs::path(VELMORA_BUNDLE_DIR) / "Contents" / "Linux-x86-64",
                 bundle / "Contents" / "Linux-x86-64", fs::copy_options::recursive);
        for (const std::string& name : presets)
            fs::copy_file(
                fs::path(VELMORA_BUNDLE_DIR) / "Contents" / "Resources" / "presets" / (name + ".xml"),
                bundle / "Contents" / "Resources" / "presets" / (name + ".xml"));
        return bundle.string();
    }

    // A host whose profile rebuilds the dropdowns at run time and shows the Refresh button.
    vhost::Instance& openRebuilding(const std::string& bundle = VELMORA_BUNDLE_DIR) {
        return open(bundle, vhost::HostIdentity::forName("Resolve"));
    }

    fs::path userFolder() const { return root_ / "appdata" / "orbalt" / "presets" / "ORBALT Velmora"; }

    void writeUserPreset(const std::string& name, const std::string& blurAmount) {
        fs::create_directories(userFolder());
        std::ofstream(userFolder() / (name + ".xml"))
            << "<?xml version=\"1.0\"?><preset><meta effect=\"ORBALT Velmora\" version=\"1.1\"/><parameters>"
               "<param name=\"blur_amount\" type=\"float\" value=\""
            << blurAmount << "\"/></parameters></preset>";
    }

    std::string log() const { return readText(root_ / "log" / "velmora_plugin_log.txt"); }

    double value(const std::string& name) { return number(instance_->value(name)); }

    void render() {
        auto source = std::make_shared<vhost::Image>(8, 8);
        source->fillWith([](int, int, float* p) { p[0] = p[1] = p[2] = p[3] = 0.5f; });
        instance_->connectClip("Source", source);
        instance_->render(0.0, OfxRectI{0, 0, 8, 8});
    }

    fs::path root_;
    std::unique_ptr<vhost::Host> host_;
    std::optional<vhost::PluginBinary> binary_;
    std::optional<vhost::Effect> effect_;
    std::optional<vhost::Instance> instance_;
};

TEST_F(PresetControls, SaveListLoadAndDeleteRoundTrip) {
    vhost::Instance& fx = open();
    EXPECT_EQ(fx.choiceOptions("preset_list"), kNoUserPresets);

    fx.setParam("blur_amount", 12.5);
    fx.setParam("post_blur_enable", true);
    fx.setParam("source_offset", std::vector<double>{0.1, -0.2});
    presetcmd::savePreset(fx, "plate fix.xml");  // the ending is not doubled
    ASSERT_TRUE(fs::exists(userFolder() / "plate fix.xml"));
    EXPECT_EQ(fx.choiceOptions("preset_list"),
              (std::vector<std::string>{"Select from 1 preset", ">> Load Defaults <<", "plate fix"}));
    EXPECT_EQ(value("preset_list"), 2);

    // A second preset sorts before the first; saving selects it.
    fx.setParam("blur_amount", 3.0);
    presetcmd::savePreset(fx, "another");
    EXPECT_EQ(
        fx.choiceOptions("preset_list"),
        (std::vector<std::string>{"Select from 2 presets", ">> Load Defaults <<", "another", "plate fix"}));
    EXPECT_EQ(value("preset_list"), 2);

    // Selecting a preset loads it and resets the factory dropdown.
    fx.setParam("blur_amount", 77.0);
    fx.setParam("post_blur_enable", false);
    fx.setParam("factory_preset_list", 1);
    EXPECT_EQ(presetcmd::applyPreset(fx, "plate fix"), presetcmd::PresetSource::User);
    EXPECT_DOUBLE_EQ(value("blur_amount"), 12.5);
    EXPECT_EQ(value("post_blur_enable"), 1.0);
    const std::vector<double> offset = std::get<std::vector<double>>(fx.value("source_offset"));
    EXPECT_NEAR(offset[0], 0.1, 1e-6);
    EXPECT_NEAR(offset[1], -0.2, 1e-6);
    EXPECT_EQ(value("factory_preset_list"), 0);
    EXPECT_EQ(value("preset_list"), 3);  // the selection stays where the user put it

    // A factory selection blocks Delete; with it cleared the selected user preset goes.
    fx.setParam("factory_preset_list", 2);
    fx.pressButton("delete_preset");
    EXPECT_TRUE(fs::exists(userFolder() / "plate fix.xml"));
    fx.setParam("preset_list", 3);
    EXPECT_EQ(value("factory_preset_list"), 0);
    fx.pressButton("delete_preset");
    EXPECT_FALSE(fs::exists(userFolder() / "plate fix.xml"));
    EXPECT_TRUE(fs::exists(userFolder() / "another.xml"));
    EXPECT_EQ(fx.choiceOptions("preset_list"),
              (std::vector<std::string>{"Select from 1 preset", ">> Load Defaults <<", "another"}));
    EXPECT_EQ(value("preset_list"), 0);

    // A new instance lists what the folder holds.
    vhost::Instance& again = open();
    EXPECT_EQ(again.choiceOptions("preset_list"),
              (std::vector<std::string>{"Select from 1 preset", ">> Load Defaults <<", "another"}));
    presetcmd::applyPreset(again, "another");
    EXPECT_DOUBLE_EQ(value("blur_amount"), 3.0);
}

TEST_F(PresetControls, RefusedNamesWriteNothingAndKeepPresets) {
    vhost::Instance& fx = open();
    fx.setParam("blur_amount", 20.0);
    presetcmd::savePreset(fx, "keep");
    const std::string kept = readText(userFolder() / "keep.xml");

    for (const char* name : {"../escape", "a/b", "CON", "", "   "}) {
        SCOPED_TRACE(name);
        EXPECT_THROW(presetcmd::savePreset(fx, name), std::runtime_error);
    }
    EXPECT_FALSE(fs::exists(userFolder().parent_path() / "escape.xml"));
    EXPECT_EQ(std::distance(fs::directory_iterator(userFolder()), fs::directory_iterator()), 1);
    EXPECT_EQ(readText(userFolder() / "keep.xml"), kept);
    EXPECT_NE(log().find("Refusing preset name '../escape'"), std::string::npos) << log();
}

// Every failure tells the user its cause, and no preset file, however hostile, blocks the host or
// feeds it without end.
TEST_F(PresetControls, FailuresSayWhyAndNothingBlocks) {
    fs::create_directories(userFolder());
    ASSERT_EQ(mkfifo((userFolder() / "fifo.xml").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", (userFolder() / "devzero.xml").c_str()), 0);
    std::ofstream(userFolder() / "broken.xml") << "<preset><parameters><param name=";
    std::ofstream(userFolder() / "empty.xml") << "<preset/>";
    std::ofstream(userFolder() / "big.xml")
        << "<preset><parameters>" << std::string(16u << 20, ' ') << "</parameters></preset>";
    vhost::Instance& fx = open();
    const struct {
        const char* name;
        const char* cause;
    } loads[] = {
        {"fifo", "could not be loaded: it is not a regular file"},
        {"devzero", "could not be loaded: it is not a regular file"},
        {"broken", "could not be loaded: it is not valid XML"},
        {"empty", "could not be loaded: it holds no parameter values"},
        {"big", "could not be loaded: it is larger than 16 MB"},
    };
    for (const auto& c : loads) {
        try {
            presetcmd::applyPreset(fx, c.name);
            ADD_FAILURE() << c.name << " loaded";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.cause), std::string::npos) << c.name << ": " << e.what();
        }
    }

    // The longest name that leaves room for the temporary file is saved; a longer one is refused
    // before anything is written.
    presetcmd::savePreset(fx, std::string(225, 'n'));
    EXPECT_TRUE(fs::is_regular_file(userFolder() / (std::string(225, 'n') + ".xml")));
    try {
        presetcmd::savePreset(fx, std::string(226, 'n'));
        ADD_FAILURE() << "a 226-byte name was saved";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("the name is longer than 225 bytes"), std::string::npos)
            << e.what();
    }

    // A file where the presets folder should be.
    fs::remove_all(userFolder());
    std::ofstream(userFolder()) << "in the way";
    try {
        presetcmd::savePreset(fx, "any");
        ADD_FAILURE() << "saved over a file";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("could not be saved: the folder "), std::string::npos)
            << e.what();
        EXPECT_NE(std::string(e.what()).find("ORBALT Velmora is a file, not a folder"), std::string::npos)
            << e.what();
    }
    // A folder that takes no file (root may write anywhere but in /proc).
    setenv("APPDATA", "/proc/self", 1);
    vhost::Instance& readOnly = open();
    try {
        presetcmd::savePreset(readOnly, "any");
        ADD_FAILURE() << "saved in /proc";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(
                      "could not be saved: the folder /proc/self/orbalt/presets/ORBALT Velmora "
                      "cannot be made"),
                  std::string::npos)
            << e.what();
    }
}

// A relative APPDATA would put presets wherever the host runs from: it is ignored, and said so.
TEST_F(PresetControls, ARelativeAppDataIsIgnoredAndSaidSo) {
    setenv("APPDATA", "relative/appdata", 1);
    setenv("XDG_DATA_HOME", (root_ / "xdg").c_str(), 1);
    vhost::Instance& fx = open();
    presetcmd::savePreset(fx, "kept");
    unsetenv("XDG_DATA_HOME");
    EXPECT_TRUE(fs::is_regular_file(root_ / "xdg" / "orbalt" / "presets" / "ORBALT Velmora" / "kept.xml"));
    EXPECT_FALSE(fs::exists("relative"));
    EXPECT_NE(log().find("APPDATA 'relative/appdata' is not an absolute path and is ignored"),
              std::string::npos)
        << log();
    const auto messages = host_->records().messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_NE(messages.back().text.find("APPDATA 'relative/appdata' is not an absolute path"),
              std::string::npos)
        << messages.back().text;
}

TEST_F(PresetControls, OnlyOneXmlEndingIsDropped) {
    vhost::Instance& fx = open();
    fx.setParam("blur_amount", 8.0);
    presetcmd::savePreset(fx, " a.xml.xml ");
    EXPECT_TRUE(fs::is_regular_file(userFolder() / "a.xml.xml"));
    EXPECT_EQ(fx.choiceOptions("preset_list").back(), "a.xml");

    fx.setParam("blur_amount", 50.0);
    EXPECT_EQ(presetcmd::applyPreset(fx, "a.xml"), presetcmd::PresetSource::User);
    EXPECT_DOUBLE_EQ(value("blur_amount"), 8.0);
}

TEST_F(PresetControls, PresetFileValuesAreCheckedBeforeTheyReachTheEffect) {
    fs::create_directories(userFolder());
    std::ofstream(userFolder() / "odd.xml") << "<preset><meta effect=\"Some Other Effect\"/><parameters>"
                                               "<param name=\"blur_amount\" type=\"float\" value=\"nan\"/>"
                                               "<param name=\"mask_from\" type=\"choice\" value=\"42\"/>"
                                               "<param name=\"preset_list\" type=\"int\" value=\"3\"/>"
                                               "<param name=\"mask_grow\" type=\"float\" value=\"4\"/>"
                                               "<param name=\"no_such_control\" type=\"float\" value=\"1\"/>"
                                               "</parameters></preset>";
    vhost::Instance& fx = open();
    const double blur = value("blur_amount");
    presetcmd::applyPreset(fx, "odd");
    EXPECT_DOUBLE_EQ(value("blur_amount"), blur);
    EXPECT_EQ(value("mask_from"), 0);
    EXPECT_DOUBLE_EQ(value("mask_grow"), 4.0);
    EXPECT_EQ(value("preset_list"), 2);
    const std::string text = log();
    EXPECT_NE(text.find("Failed to apply preset parameter 'mask_from'"), std::string::npos) << text;
    EXPECT_NE(text.find("Failed to apply preset parameter 'preset_list'"), std::string::npos) << text;
}

TEST_F(PresetControls, FactoryPresetLoadsThroughItsDropdown) {
    vhost::Instance& fx = open();
    const std::vector<std::string> options = fx.choiceOptions("factory_preset_list");
    ASSERT_GE(options.size(), 5u);
    EXPECT_EQ(options[0], "Select from " + std::to_string(options.size() - 1) + " presets");
    EXPECT_TRUE(std::is_sorted(options.begin() + 1, options.end()));

    presetcmd::savePreset(fx, "mine");
    EXPECT_EQ(presetcmd::applyPreset(fx, "Wire Removal"), presetcmd::PresetSource::Factory);
    EXPECT_DOUBLE_EQ(value("dir_amount"), 30.0);
    EXPECT_DOUBLE_EQ(value("blur_amount"), 10.0);
    EXPECT_DOUBLE_EQ(value("mask_grow"), 1.0);
    EXPECT_EQ(value("preset_list"), 0);

    try {
        presetcmd::applyPreset(fx, "Nonexistent");
        FAIL() << "an unknown preset was applied";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("'Wire Removal'"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("'mine'"), std::string::npos) << e.what();
    }
}

TEST_F(PresetControls, LoadDefaultsResetsEveryParameterAndBothDropdowns) {
    vhost::Instance& fx = open();
    std::map<std::string, vhost::ParamValue> defaults;
    for (const char* name : {"blur_amount", "dir_angle", "mask_from", "post_blur_enable", "source_offset",
                             "grain_amount", "edge_mode"})
        defaults[name] = fx.value(name);
    presetcmd::applyPreset(fx, "Textured Patch");
    fx.setParam("blur_amount", 91.0);
    fx.setParam("source_offset", std::vector<double>{0.3, 0.3});
    fx.setParam("factory_preset_list", 2);

    fx.setParam("preset_list", 1);
    for (const auto& [name, original] : defaults)
        EXPECT_EQ(vhost::toText(fx.value(name)), vhost::toText(original)) << name;
    EXPECT_EQ(value("preset_list"), 0);
    EXPECT_EQ(value("factory_preset_list"), 0);
}

TEST_F(PresetControls, RenderRebuildsOptionsTheHostLostOrKeptStale) {
    writeUserPreset("alpha", "10");
    {
        // A host that keeps the described options is trusted: nothing is rebuilt.
        vhost::Instance& fx = open();
        fx.param("preset_list").props().putString(kOfxParamPropChoiceOption, {});
        render();
        EXPECT_TRUE(fx.choiceOptions("preset_list").empty());
    }
    vhost::Instance& fx = openRebuilding();
    fx.param("preset_list").props().putString(kOfxParamPropChoiceOption, {});
    fx.param("factory_preset_list").props().putString(kOfxParamPropChoiceOption, {"Select from 6 presets"});
    render();
    EXPECT_EQ(fx.choiceOptions("preset_list"),
              (std::vector<std::string>{"Select from 1 preset", ">> Load Defaults <<", "alpha"}));
    const auto shipped = std::distance(
        fs::directory_iterator(fs::path(VELMORA_BUNDLE_DIR) / "Contents" / "Resources" / "presets"),
        fs::directory_iterator());
    EXPECT_EQ(static_cast<long>(fx.choiceOptions("factory_preset_list").size()), shipped + 1);

    // Options that name other presets than the indexes stand for are rebuilt too.
    fx.param("preset_list")
        .props()
        .putString(kOfxParamPropChoiceOption, {"Select from 1 preset", ">> Load Defaults <<", "stale"});
    render();
    EXPECT_EQ(fx.choiceOptions("preset_list").back(), "alpha");
}

TEST_F(PresetControls, SelectionActsOnThePresetTheUserSaw) {
    writeUserPreset("b", "20");
    vhost::Instance& fx = open();
    ASSERT_EQ(fx.choiceOptions("preset_list").back(), "b");
    // Another instance adds "a", which sorts first: index 2 is "a" in the folder, "b" on screen.
    writeUserPreset("a", "10");
    fx.setParam("preset_list", 2);
    EXPECT_DOUBLE_EQ(value("blur_amount"), 20.0);
    fx.pressButton("delete_preset");
    EXPECT_FALSE(fs::exists(userFolder() / "b.xml"));
    EXPECT_TRUE(fs::exists(userFolder() / "a.xml"));
}

TEST_F(PresetControls, RefreshKeepsTheSelectedPresetWithoutReloadingIt) {
    writeUserPreset("b", "20");
    vhost::Instance& fx = openRebuilding();
    fx.setParam("preset_list", 2);
    ASSERT_DOUBLE_EQ(value("blur_amount"), 20.0);
    fx.setParam("blur_amount", 33.0);  // a tweak after loading

    writeUserPreset("a", "10");
    fx.pressButton("refresh_presets");
    EXPECT_EQ(fx.choiceOptions("preset_list"),
              (std::vector<std::string>{"Select from 2 presets", ">> Load Defaults <<", "a", "b"}));
    EXPECT_EQ(value("preset_list"), 3);
    EXPECT_DOUBLE_EQ(value("blur_amount"), 33.0);

    fs::remove(userFolder() / "b.xml");
    fx.pressButton("refresh_presets");
    EXPECT_EQ(value("preset_list"), 0);
    EXPECT_DOUBLE_EQ(value("blur_amount"), 33.0);
}

TEST_F(PresetControls, FactoryDropdownFollowsTheBundlesPresets) {
    {
        vhost::Instance& fx = openRebuilding(bundleWithFactoryPresets({}));
        EXPECT_EQ(fx.choiceOptions("factory_preset_list"),
                  (std::vector<std::string>{"(no factory presets)"}));
        EXPECT_TRUE(fx.param("factory_preset_list").props().integer(kOfxParamPropSecret));
        render();  // healing leaves the hidden dropdown alone
        EXPECT_EQ(fx.choiceOptions("factory_preset_list"),
                  (std::vector<std::string>{"(no factory presets)"}));
        fx.pressButton("refresh_presets");
        EXPECT_EQ(fx.choiceOptions("factory_preset_list"), (std::vector<std::string>{"(no presets)"}));
    }
    fs::remove_all(root_ / "bundles");
    vhost::Instance& fx = open(bundleWithFactoryPresets({"Wire Removal"}));
    EXPECT_EQ(fx.choiceOptions("factory_preset_list"),
              (std::vector<std::string>{"Select from 1 preset", "Wire Removal"}));
    EXPECT_FALSE(fx.param("factory_preset_list").props().integer(kOfxParamPropSecret));
}

#ifdef VELMORA_TEST_BUNDLE_DIR
// Every stored parameter type goes to the file and back through the host's parameters, and a
// preset of another effect applies what matches.
TEST_F(PresetControls, EveryValueTypeRoundTripsThroughTheHost) {
    const fs::path definition = root_ / "grade.xml";
    std::ofstream(definition)
        << R"(<effect name="Grade Test" category="Tests" version="2.0" debug_level="info">
        <inputs><source name="Source"/></inputs>
        <parameters>
            <parameter name="tint" type="color"/>
            <parameter name="wash" type="color_rgba"/>
            <parameter name="axis" type="vec3"/>
            <parameter name="count" type="int" default="2" min="0" max="10"/>
            <parameter name="title" type="string" default="Hello"/>
            <parameter name="lut" type="filepath"/>
            <parameter name="gain" type="float" default="1" min="0" max="1000000000"/>
        </parameters><pipeline/></effect>)";
    setenv("VELMORA_TEST_DEFINITION_FILE", definition.c_str(), 1);
    vhost::Instance& fx = openRebuilding(VELMORA_TEST_BUNDLE_DIR);
    const fs::path folder = root_ / "appdata" / "orbalt" / "presets" / "Grade Test";

    fx.setParam("tint", std::vector<double>{0.1, 0.2, 0.3});
    fx.setParam("wash", std::vector<double>{0.5, 0.25, 0.125, 0.75});
    fx.setParam("axis", std::vector<double>{0.75, 0.5, 0.25});
    fx.setParam("count", 7);
    fx.setParam("title", std::string("a \"b\" <c> & d"));
    fx.setParam("lut", std::string("/luts/x.cube"));
    fx.setParam("gain", 123456789.123);
    presetcmd::savePreset(fx, "grade");
    const std::string saved = readText(folder / "grade.xml");
    for (const char* line : {
             R"(<meta effect="Grade Test" version="2.0" created=")",
             R"(<param name="tint" type="vec3" value="0.1000000015,0.200000003,0.3000000119" />)",
             R"(<param name="wash" type="vec4" value="0.5,0.25,0.125,0.75" />)",
             R"(<param name="axis" type="vec3" value="0.75,0.5,0.25" />)",
             R"(<param name="count" type="int" value="7" />)",
             R"(<param name="title" type="string" value="a &quot;b&quot; &lt;c> &amp; d" />)",
             R"(<param name="lut" type="filepath" value="/luts/x.cube" />)",
             R"(<param name="gain" type="float" value="123456789.1" />)",
         })
        EXPECT_NE(saved.find(line), std::string::npos) << line << "\n" << saved;
    EXPECT_EQ(saved.find("preset_"), std::string::npos) << saved;

    fx.setParam("preset_list", 1);  // Load Defaults
    ASSERT_EQ(vhost::toText(fx.value("title")), "Hello");
    presetcmd::applyPreset(fx, "grade");
    const auto tint = std::get<std::vector<double>>(fx.value("tint"));
    EXPECT_EQ(tint, (std::vector<double>{0.1f, 0.2f, 0.3f}));
    EXPECT_EQ(std::get<std::vector<double>>(fx.value("wash")), (std::vector<double>{0.5, 0.25, 0.125, 0.75}));
    EXPECT_EQ(std::get<std::vector<double>>(fx.value("axis")), (std::vector<double>{0.75, 0.5, 0.25}));
    EXPECT_EQ(value("count"), 7);
    EXPECT_EQ(std::get<std::string>(fx.value("title")), "a \"b\" <c> & d");
    EXPECT_EQ(std::get<std::string>(fx.value("lut")), "/luts/x.cube");
    EXPECT_DOUBLE_EQ(value("gain"), 123456789.1);

    // A preset of another effect: matching names apply, the rest are skipped with a log line.
    std::ofstream(folder / "borrowed.xml")
        << "<preset><meta effect=\"ORBALT Velmora\" version=\"1.1\"/><parameters>"
           "<param name=\"blur_amount\" type=\"float\" value=\"50\"/>"
           "<param name=\"count\" type=\"int\" value=\"3\"/></parameters></preset>";
    fx.pressButton("refresh_presets");
    presetcmd::applyPreset(fx, "borrowed");
    EXPECT_EQ(value("count"), 3);
    EXPECT_DOUBLE_EQ(value("gain"), 123456789.1);
    instance_.reset();  // unloading the plug-in closes its log
    effect_.reset();
    binary_.reset();
    const std::string text = log();
    EXPECT_NE(text.find("[INFO] Preset was created for 'ORBALT Velmora' but loading into 'Grade Test' - some "
                        "parameters may not apply\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[INFO] Preset parameter 'blur_amount' not found in effect - skipping\n"),
              std::string::npos);
}
#endif

TEST(SavePresetCommand, SavesThroughThePluginAndRejectsBadArguments) {
    const fs::path root = fs::temp_directory_path() / ("velmora-save-preset-" + std::to_string(::getpid()));
    fs::remove_all(root);
    setenv("APPDATA", (root / "appdata").c_str(), 1);
    setenv("VELMORA_LOG_DIR", (root / "log").c_str(), 1);
    std::ostringstream out, err;
    EXPECT_EQ(presetcmd::runSavePreset({"soft", "--set", "blur_amount=15", "--set=post_blur_enable=on",
                                        "--set", "source_offset=0.25,0"},
                                       VELMORA_BUNDLE_DIR, out, err),
              0)
        << err.str();
    const std::string saved = readText(root / "appdata/orbalt/presets/ORBALT Velmora/soft.xml");
    EXPECT_NE(saved.find("name=\"blur_amount\" type=\"float\" value=\"15\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("name=\"post_blur_enable\" type=\"bool\" value=\"true\""), std::string::npos);
    EXPECT_NE(saved.find("name=\"source_offset\" type=\"vec2\" value=\"0.25,0\""), std::string::npos);

    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {{}, 2, "no preset name"},
        {{"x", "--set"}, 2, "needs a value"},
        {{"x", "--frobnicate"}, 2, "unknown option"},
        {{"x", "--set", "blur_amount=lots"}, 1, "not a number"},
        {{"x", "--set", "no_such=1"}, 1, "no_such"},
        {{"x", "--bundle", (root / "missing.ofx.bundle").string()}, 1, "missing.ofx.bundle"},
        {{"../x"}, 1, "preset name"},
    };
    for (const Case& c : cases) {
        std::ostringstream o, e;
        EXPECT_EQ(presetcmd::runSavePreset(c.args, VELMORA_BUNDLE_DIR, o, e), c.status) << e.str();
        EXPECT_NE(e.str().find(c.message), std::string::npos) << e.str();
    }
    EXPECT_FALSE(fs::exists(root / "appdata/orbalt/presets/ORBALT Velmora/x.xml"));
    fs::remove_all(root);
}

}  // namespace
