// Effect instances through our host: construction and clip fetching, identity, clip preferences,
// parameter changes, the render action's checks and the reading of parameter values.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "InstanceTestSupport.h"

using velmora_test::greyImage;
using velmora_test::InstanceOptions;
using velmora_test::occurrences;
using velmora_test::openInstance;
using velmora_test::testDefinition;
using velmora_test::TestFolders;

namespace {

const char kInputs[] =
    "<inputs><source name=\"Source\"/><source name=\"Mask_Shape\" noinput=\"white\"/></inputs>";

// An amount at or above one half passes the source through.
std::string identityDefinition(const std::string& op = "greaterEqual", const std::string& extra = "") {
    return testDefinition(
        extra + kInputs +
        "<parameters><parameter name=\"amount\" type=\"float\" default=\"0.5\" min=\"0\" "
        "max=\"1\"/></parameters><identity_conditions><condition><parameter name=\"amount\" "
        "operator=\"" +
        op + "\" value=\"0.5\"/></condition></identity_conditions>");
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

constexpr OfxRectI kWindow{0, 0, 8, 8};

}  // namespace

TEST(Instance, IdentityWhenTheConditionHoldsAndAlphaIsUntouched) {
    struct Case {
        const char* what;
        const char* host;
        const char* context;
        std::function<void(vhost::Instance&)> setup;
        bool identity;
    };
    const Case cases[] = {
        {"amount at the threshold", "com.example.compositor", "filter", [](vhost::Instance&) {}, true},
        {"amount below", "com.example.compositor", "filter",
         [](vhost::Instance& fx) { fx.setParam("amount", 0.4); }, false},
        {"premultiply on", "com.example.compositor", "filter",
         [](vhost::Instance& fx) { fx.setParam("_premultiply_output", true); }, false},
        {"Auto without a Matte", "resolve", "general", [](vhost::Instance&) {}, true},
        {"Auto with a connected Matte", "resolve", "general",
         [](vhost::Instance& fx) { fx.connectClip("Matte", greyImage()); }, false},
        {"Luminance with a connected Matte", "resolve", "general",
         [](vhost::Instance& fx) {
             fx.setParam("_alpha_source", 2);
             fx.connectClip("Matte", greyImage());
         },
         false},
        {"embedded alpha with a connected Matte", "resolve", "general",
         [](vhost::Instance& fx) {
             fx.setParam("_alpha_source", 1);
             fx.connectClip("Matte", greyImage());
         },
         true},
        {"opaque", "resolve", "general", [](vhost::Instance& fx) { fx.setParam("_alpha_source", 3); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestFolders folders;
        folders.useDefinition(identityDefinition());
        InstanceOptions options;
        options.host = c.host;
        options.context = c.context;
        auto fx = openInstance(options);
        (*fx)->connectClip("Source", greyImage());
        c.setup(*fx->instance);
        const vhost::IdentityResult result = (*fx)->isIdentity(3.0, kWindow);
        EXPECT_EQ(result.identity, c.identity);
        if (c.identity) {
            EXPECT_EQ(result.status, kOfxStatOK);
            EXPECT_EQ(result.clip, "Source");
            EXPECT_DOUBLE_EQ(result.time, 3.0);
        } else {
            EXPECT_EQ(result.status, kOfxStatReplyDefault);
        }
    }
}

// The host needs a clip with every identity answer: without the first input's clip it renders.
TEST(Instance, NeverIdentityWithoutTheFirstInputsClip) {
    struct Case {
        const char* what;
        std::string definition;
        const char* context;
        std::vector<std::string> unknownClips;
        const char* logLine;
    };
    const Case cases[] = {
        {"transition context",
         identityDefinition("greaterEqual", "<context>transition</context>"),
         "transition",
         {},
         "Identity condition met but clip 'Source' is not available - rendering instead"},
        {"fetch failed",
         identityDefinition(),
         "filter",
         {"Source"},
         "Identity condition met but clip 'Source' is not available - rendering instead"},
        {"no declared input",
         testDefinition("<parameters><parameter name=\"amount\" type=\"float\" default=\"0.5\"/></parameters>"
                        "<identity_conditions><condition><parameter name=\"amount\" operator=\"equal\" "
                        "value=\"0.5\"/></condition></identity_conditions>"),
         "filter",
         {},
         nullptr},
        {"unknown operator",
         identityDefinition("between"),
         "filter",
         {},
         "WARNING: Unknown identity operator: between"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestFolders folders;
        folders.useDefinition(c.definition);
        InstanceOptions options;
        options.context = c.context;
        options.adjustHost = [&](vhost::HostIdentity& id) { id.unknownClips = c.unknownClips; };
        auto fx = openInstance(options);
        const vhost::IdentityResult result = (*fx)->isIdentity(0.0, kWindow);
        EXPECT_FALSE(result.identity);
        EXPECT_EQ(result.status, kOfxStatReplyDefault);
        fx->close();
        if (c.logLine) {
            EXPECT_TRUE(contains(folders.logText(), c.logLine));
        }
    }
}

TEST(Instance, ClipsFetchedPerContext) {
    struct Case {
        const char* what;
        std::string definition;
        const char* context;
        bool forceContext;
        std::vector<std::string> unknownClips;
        std::vector<std::string> lines;
    };
    const std::string transition = testDefinition(std::string("<context>transition</context>") + kInputs);
    const Case cases[] = {
        {"filter",
         testDefinition(kInputs),
         "filter",
         false,
         {},
         {"Effect instantiation context: FILTER/GENERAL (XML says transition=no)",
          "GenericEffect constructor completed: 3 clips fetched"}},
        {"an input the host does not know",
         testDefinition(kInputs),
         "filter",
         false,
         {"Mask_Shape"},
         {"Failed to fetch clip Mask_Shape: ", "GenericEffect constructor completed: 2 clips fetched"}},
        {"transition",
         transition,
         "transition",
         false,
         {},
         {"Effect instantiation context: TRANSITION (XML says transition=yes)",
          "Fetched transition clips: SourceFrom, SourceTo", "Fetched host Transition parameter",
          "GenericEffect constructor completed: 3 clips fetched"}},
        {"transition applied as a filter",
         transition,
         "filter",
         true,
         {},
         {"Effect instantiation context: FILTER/GENERAL (XML says transition=yes)",
          "WARNING: Effect is defined as transition but host instantiated as filter! Apply from Transitions "
          "bin, "
          "not Effects.",
          "GenericEffect constructor completed: 3 clips fetched"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestFolders folders;
        folders.useDefinition(c.definition);
        InstanceOptions options;
        options.context = c.context;
        options.forceContext = c.forceContext;
        options.adjustHost = [&](vhost::HostIdentity& id) { id.unknownClips = c.unknownClips; };
        auto fx = openInstance(options);
        fx->close();
        const std::string log = folders.logText();
        for (const std::string& line : c.lines) EXPECT_TRUE(contains(log, line)) << line;
    }
}

TEST(Instance, RenderActionRefusesAMissingOrUnusableOutput) {
    struct Case {
        const char* what;
        std::vector<std::string> unknownClips;
        const char* depth;
        const char* components;
        OfxStatus status;
        const char* logLine;
    };
    const Case cases[] = {
        {"no output clip",
         {"Output"},
         kOfxBitDepthFloat,
         kOfxImageComponentRGBA,
         kOfxStatErrValue,
         "No output clip found"},
        {"8-bit output",
         {},
         kOfxBitDepthByte,
         kOfxImageComponentRGBA,
         kOfxStatErrUnsupported,
         "Unsupported pixel format"},
        {"RGB output",
         {},
         kOfxBitDepthFloat,
         kOfxImageComponentRGB,
         kOfxStatErrUnsupported,
         "Unsupported pixel format"},
        {"float RGBA output", {}, kOfxBitDepthFloat, kOfxImageComponentRGBA, kOfxStatOK, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestFolders folders;
        folders.useDefinition(testDefinition(kInputs));
        InstanceOptions options;
        options.adjustHost = [&](vhost::HostIdentity& id) { id.unknownClips = c.unknownClips; };
        auto fx = openInstance(options);
        (*fx)->connectClip("Source", greyImage());
        (*fx)->connectClip("Output", greyImage());
        vhost::PropertySet& output = (*fx)->clip("Output").props();
        output.putString(kOfxImageEffectPropPixelDepth, {c.depth});
        output.putString(kOfxImageEffectPropComponents, {c.components});
        EXPECT_EQ((*fx)->render(0.0, kWindow), c.status);
        fx->close();
        if (c.logLine) {
            EXPECT_TRUE(contains(folders.logText(), c.logLine));
        }
    }
}

TEST(Instance, ClipPreferencesReportFrameVarying) {
    for (const bool varying : {true, false}) {
        SCOPED_TRACE(varying);
        TestFolders folders;
        folders.useDefinition(testDefinition(kInputs, varying ? "" : "frame_varying=\"false\""));
        auto fx = openInstance();
        ASSERT_EQ((*fx)->clipPreferences(), kOfxStatOK);
        EXPECT_EQ((*fx)->clip("Output").props().integer(kOfxImageEffectFrameVarying), varying ? 1 : 0);
    }
}

TEST(Instance, ResetAccumulationBumpsTheHiddenCounter) {
    TestFolders folders;
    folders.useDefinition(testDefinition(
        std::string(kInputs) + "<accumulation_buffers><buffer name=\"trail\"/></accumulation_buffers>"));
    auto fx = openInstance();
    EXPECT_EQ((*fx)->pressButton("flush_cache"), kOfxStatOK);
    EXPECT_EQ((*fx)->pressButton("flush_cache"), kOfxStatOK);
    EXPECT_EQ(std::get<int>((*fx)->value("_flush_cache_counter")), 2);
    fx->close();
    const std::string log = folders.logText();
    EXPECT_TRUE(contains(log, "changedParam called: paramName='flush_cache'"));
    EXPECT_TRUE(contains(log, "bumped _flush_cache_counter 0 → 1 (invalidates host cache)"));
    EXPECT_TRUE(contains(log, "bumped _flush_cache_counter 1 → 2 (invalidates host cache)"));
}

TEST(Instance, ExecutionCountFromAParameter) {
    struct Case {
        const char* what;
        const char* parameter;
        vhost::ParamValue value;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"float 2.9",
         R"(<parameter name="count" type="float" default="1" min="0" max="10"/>)",
         2.9,
         {"Parameter count is double/float (2.90), converting to int (2)", "Effect execution 2/2 starting"}},
        {"float 0.4",
         R"(<parameter name="count" type="float" default="1" min="0" max="10"/>)",
         0.4,
         {"Parameter count is double/float (0.40), converting to int (0)",
          "Parameter count has value 0 < 1, clamping to 1"}},
        {"int 3",
         R"(<parameter name="count" type="int" default="1" min="0" max="10"/>)",
         3,
         {"Effect execution 3/3 starting"}},
        {"choice",
         R"(<parameter name="count" type="choice" default="0"><option value="a"/><option value="b"/><option value="c"/></parameter>)",
         2,
         {"Parameter count is not int/float/double type, defaulting to 1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestFolders folders;
        folders.useDefinition(testDefinition(std::string(kInputs) + "<parameters>" + c.parameter +
                                             "</parameters><pipeline executions=\"param:count\"/>"));
        auto fx = openInstance();
        (*fx)->setParam("count", c.value);
        (*fx)->connectClip("Source", greyImage());
        EXPECT_EQ((*fx)->render(0.0, kWindow), kOfxStatOK);
        fx->close();
        const std::string log = folders.logText();
        for (const std::string& line : c.lines) EXPECT_TRUE(contains(log, line)) << line;
    }
}

TEST(Instance, FirstRenderWritesTheParameterDumpOnce) {
    TestFolders folders;
    folders.useDefinition(testDefinition(std::string(kInputs) + R"(<parameters>
        <parameter name="gain" type="float" default="1.25" min="0" max="4"/>
        <parameter name="count" type="int" default="2.9" min="0" max="10"/>
        <parameter name="pick" type="choice" default="1.7"><option value="a"/><option value="b"/><option value="c"/></parameter>
        <parameter name="flag" type="bool" default="true"/>
        <parameter name="pos" type="vec2" default="0.1,0.2"/>
        <parameter name="tint" type="color" default="0.5,0.25,1"/>
        <parameter name="lut" type="filepath" default="/tmp/look.cube"/>
        <parameter name="wobble" type="curve"/>
    </parameters>)"));
    auto fx = openInstance();
    (*fx)->setParam("gain", 0.75);
    (*fx)->setParam("pick", 2);
    (*fx)->connectClip("Source", greyImage());
    EXPECT_EQ((*fx)->render(0.0, kWindow), kOfxStatOK);
    (*fx)->setParam("gain", 2.0);
    EXPECT_EQ((*fx)->render(1.0, kWindow), kOfxStatOK);
    fx->close();

    const std::string log = folders.logText();
    EXPECT_EQ(occurrences(log, "=== FIRST RENDER PARAMETER DUMP ==="), 1);
    EXPECT_EQ(occurrences(log, "=== END PARAMETER DUMP ==="), 1);
    const std::string dump = log.substr(log.find("=== FIRST RENDER PARAMETER DUMP ==="));
    for (const char* line : {"  gain [float]: 0.7500 (default=1.2500)\n", "  count [int]: 2 (default=2)\n",
                             "  pick [choice]: 2 (default=1)\n", "  flag [bool]: true (default=true)\n",
                             "  pos [vec2]: (0.1000, 0.2000)\n", "  tint [color]: (0.5000, 0.2500, 1.0000)\n",
                             "  lut [filepath]: (complex type)\n", "  wobble [curve]: (complex type)\n"})
        EXPECT_TRUE(contains(dump, line)) << line;
    EXPECT_FALSE(contains(log, "gain [float]: 2.0000"));
    // Seven definition parameters (the curve has no handle) and five preset controls.
    EXPECT_TRUE(contains(log, "Unsupported parameter type: curve"));
    EXPECT_TRUE(contains(log, "Fetched 12 parameters (including framework params)"));
}

TEST(Instance, DestructorReleasesRenderStateBetweenItsLines) {
    TestFolders folders;
    folders.useDefinition(testDefinition(kInputs));
    auto fx = openInstance();
    (*fx)->connectClip("Source", greyImage());
    ASSERT_EQ((*fx)->render(0.0, kWindow), kOfxStatOK);
    fx->close();
    const std::string log = folders.logText();
    const std::size_t start = log.find("🔴 GenericEffect destructor START");
    const std::size_t released = log.find("Released cached effectOutput CUDA linear buffer", start);
    const std::size_t end = log.find("🔴 GenericEffect destroyed", start);
    ASSERT_NE(start, std::string::npos);
    ASSERT_NE(released, std::string::npos);
    EXPECT_LT(released, end);
}

namespace {

// A stand-in for the desktop's opener on PATH that records what it was asked to open.
class FakeOpener {
  public:
    explicit FakeOpener(const std::string& root) : record_(root + "/opened.txt") {
        const std::string bin = root + "/bin";
        mkdir(bin.c_str(), 0700);
        const std::string script = bin + "/xdg-open";
        std::ofstream(script) << "#!/bin/sh\nprintf '%s' \"$1\" > '" << record_ << ".part'\nmv '" << record_
                              << ".part' '" << record_ << "'\n";
        chmod(script.c_str(), 0700);
        const char* path = std::getenv("PATH");
        savedPath_ = path ? path : "";
        setenv("PATH", (bin + ":" + savedPath_).c_str(), 1);
    }
    ~FakeOpener() { setenv("PATH", savedPath_.c_str(), 1); }

    // What the opener received, waiting a little for it to run; empty when it never ran.
    std::string opened(int waitMs) const {
        for (int waited = 0; waited <= waitMs; waited += 20) {
            std::ifstream in(record_);
            if (in) {
                std::stringstream text;
                text << in.rdbuf();
                // The plug-in reaps the opener on a thread of its own; let it finish before unloading.
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                return text.str();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return "";
    }

  private:
    std::string record_;
    std::string savedPath_;
};

}  // namespace

TEST(Instance, DocumentationButtonsOpenTheManualInTheBundle) {
    struct Case {
        const char* what;
        std::string bundle;
        const char* host;
        const char* button;
        bool opens;
    };
    const Case cases[] = {
        {"single-page layout", VELMORA_BUNDLE, "com.example.compositor", "tutorialsButton", true},
        {"page layout", VELMORA_BUNDLE, "flame", "getHelp", true},
        {"bundle without the manual", VELMORA_TEST_BUNDLE, "com.example.compositor", "tutorialsButton",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestFolders folders;
        FakeOpener opener(folders.root());
        InstanceOptions options;
        options.bundle = c.bundle;
        options.host = c.host;
        options.context = "general";
        auto fx = openInstance(options);
        const std::string manual = c.bundle + "/Contents/Resources/velmora.html";
        EXPECT_EQ((*fx)->pressButton(c.button), kOfxStatOK);
        EXPECT_EQ(opener.opened(c.opens ? 5000 : 300), c.opens ? manual : "");
        fx->close();
        const std::string log = folders.logText();
        if (!c.opens) {
            EXPECT_TRUE(contains(log, "Documentation: manual not found at " + manual));
        }
    }
}
