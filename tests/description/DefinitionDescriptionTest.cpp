// Small definitions for the description rules the shipped effect does not reach: transition
// context, declared Matte and premultiply controls, mask flags, accumulation buffers, every
// parameter type, and page layouts that overflow a tab or the tab bar.
#include <algorithm>

#include "EffectTestSupport.h"
#include "ofxGPURender.h"
#include "ofxParametricParam.h"

using velmora_test::describeEffect;
using velmora_test::testDefinition;
using velmora_test::TestFolders;
using Names = std::vector<std::string>;

namespace {

const char kTwoInputs[] =
    "<inputs><source name=\"Source\"/><source name=\"Mask_Shape\" noinput=\"white\"/></inputs>";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

bool has(const Names& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// `count` float parameters p<first>..., each one row of a column.
std::string floatParameters(int first, int count) {
    std::string text;
    for (int i = first; i < first + count; ++i)
        text += "<parameter name=\"p" + std::to_string(i) + "\" type=\"float\"/>";
    return text;
}

std::string groupOf(const std::string& name, int first, int count) {
    std::string text = "<group name=\"" + name + "\">";
    for (int i = first; i < first + count; ++i) text += "<parameter>p" + std::to_string(i) + "</parameter>";
    return text + "</group>";
}

}  // namespace

TEST(DefinitionDescription, TransitionDefinitionAnnouncesOnlyTransitionAndItsClips) {
    TestFolders folders;
    folders.useDefinition(testDefinition(std::string("<context>transition</context>") + kTwoInputs));
    // Resolve would synthesize a Matte in the general context; a transition never gets one.
    auto fx = describeEffect(VELMORA_TEST_BUNDLE, "resolve", "transition");

    EXPECT_EQ(fx.effect->baseProperties().strings(kOfxImageEffectPropSupportedContexts),
              (Names{kOfxImageEffectContextTransition}));
    EXPECT_EQ(fx.clipNames(), (Names{"SourceFrom", "SourceTo", "Output"}));
    for (const char* clip : {"SourceFrom", "SourceTo", "Output"}) {
        EXPECT_EQ(fx.clip(clip)->props().integer(kOfxImageEffectPropSupportsTiles), 0) << clip;
        EXPECT_EQ(fx.clip(clip)->props().strings(kOfxImageEffectPropSupportedComponents),
                  (Names{kOfxImageComponentRGBA}));
    }

    const vhost::Param* transition = fx.param("Transition");
    ASSERT_NE(transition, nullptr);
    EXPECT_EQ(transition->kind(), vhost::ParamKind::Double);
    EXPECT_EQ(transition->props().string(kOfxParamPropHint), "Transition progress (controlled by host)");
    EXPECT_EQ(transition->props().string(kOfxParamPropDoubleType), kOfxParamDoubleTypeScale);
    EXPECT_DOUBLE_EQ(transition->props().number(kOfxParamPropDefault), 0.0);
    EXPECT_DOUBLE_EQ(transition->props().number(kOfxParamPropMax), 1.0);
    EXPECT_DOUBLE_EQ(transition->props().number(kOfxParamPropDisplayMax), 1.0);

    for (const char* absent :
         {"_grp_alpha_matte", "_premultiply_output", "_alpha_source", "_aux_input2_feeds"})
        EXPECT_EQ(fx.param(absent), nullptr) << absent;
    EXPECT_NE(fx.param("Blend"), nullptr);

    fx.unload();
    const std::string log = folders.logText();
    EXPECT_TRUE(contains(log, "Registered as TRANSITION context only"));
    EXPECT_TRUE(contains(log, "TRANSITION parameter defined (Transition)"));
}

TEST(DefinitionDescription, OtherDefinitionsAnnounceFilterThenGeneral) {
    TestFolders folders;
    folders.useDefinition(testDefinition(kTwoInputs));
    auto fx = describeEffect(VELMORA_TEST_BUNDLE, "com.example.compositor", "filter");
    EXPECT_EQ(fx.effect->baseProperties().strings(kOfxImageEffectPropSupportedContexts),
              (Names{kOfxImageEffectContextFilter, kOfxImageEffectContextGeneral}));
    // No kernels of any platform: no GPU render support announced.
    EXPECT_NE(fx.effect->baseProperties().string(kOfxImageEffectPropCudaRenderSupported), "true");
}

// What the Alpha / Matte group holds in Resolve's general context, by what the definition declares.
TEST(DefinitionDescription, AlphaMatteGroupFollowsDeclaredMatteAndPremultiply) {
    struct Case {
        const char* what;
        bool declaresMatte, declaresPremultiply;
        Names groupChildren;  // empty: no group at all
    };
    const Case cases[] = {
        {"neither", false, false, {"_alpha_source", "_premultiply_output"}},
        {"premultiply declared", false, true, {"_alpha_source"}},
        {"Matte declared", true, false, {"_premultiply_output"}},
        {"both declared", true, true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestFolders folders;
        std::string inputs = "<inputs><source name=\"Source\"/>";
        if (c.declaresMatte) inputs += "<source name=\"Matte\" optional=\"true\"/>";
        inputs += "</inputs>";
        const std::string parameters =
            c.declaresPremultiply
                ? "<parameters><parameter name=\"premultiply_output\" type=\"bool\"/></parameters>"
                : "";
        folders.useDefinition(testDefinition(inputs + parameters));
        auto fx = describeEffect(VELMORA_TEST_BUNDLE, "resolve", "general");

        // Only a synthesized Matte adds a clip; a declared one is the definition's own.
        EXPECT_EQ(fx.clipNames(), c.declaresMatte ? (Names{"Source", "Matte", "Output"})
                                                  : (Names{"Source", "Output", "Matte"}));
        Names children;
        for (const std::string& name : fx.paramNames())
            if (fx.parentOf(name) == "_grp_alpha_matte") children.push_back(name);
        EXPECT_EQ(children, c.groupChildren);
        EXPECT_EQ(fx.param("_grp_alpha_matte") != nullptr, !c.groupChildren.empty());
        // One auxiliary input at most: no routing selector.
        EXPECT_EQ(fx.param("_aux_input2_feeds"), nullptr);
        if (fx.param("_alpha_source")) {
            EXPECT_EQ(fx.stringProp("_alpha_source", kOfxParamPropHint),
                      "Matte = the Matte input (Input 2 on the Color page).");
        }
    }
}

TEST(DefinitionDescription, DeclaredPremultiplyLeavesNoAlphaGroupOnSettingsPage) {
    TestFolders folders;
    folders.useDefinition(
        testDefinition(std::string(kTwoInputs) +
                       "<parameters><parameter name=\"premultiply_output\" type=\"bool\"/></parameters>"
                       "<ui><group name=\"Main\"><parameter>premultiply_output</parameter></group></ui>"));
    auto fx = describeEffect(VELMORA_TEST_BUNDLE, "flame", "general");
    EXPECT_EQ(fx.pageChildren("Settings"), (Names{"factoryPresets", "myPresets", "blendHelpGroup"}));
    EXPECT_EQ(fx.param("_premultiply_output"), nullptr);
    EXPECT_EQ(fx.parentOf("premultiply_output"), "_grp_Main");
}

TEST(DefinitionDescription, MaskFlagFromAttributeOrName) {
    TestFolders folders;
    folders.useDefinition(
        testDefinition("<inputs><source name=\"Source\"/>"
                       "<source name=\"Matte_Source\" optional=\"true\"/>"
                       "<source name=\"Matte_Plain\" is_mask=\"0\" optional=\"true\"/>"
                       "<source name=\"Garbage\" is_mask=\"true\" noinput=\"black\"/>"
                       "<source name=\"Clean_MASK\" is_mask=\"false\" noinput=\"error\"/></inputs>"));
    auto fx = describeEffect(VELMORA_TEST_BUNDLE, "com.example.compositor", "general");
    const std::pair<const char*, int> expected[] = {{"Source", 0},  {"Matte_Source", 1}, {"Matte_Plain", 0},
                                                    {"Garbage", 1}, {"Clean_MASK", 0},   {"Output", 0}};
    for (const auto& [clip, isMask] : expected) {
        ASSERT_NE(fx.clip(clip), nullptr) << clip;
        EXPECT_EQ(fx.clip(clip)->props().integer(kOfxImageClipPropIsMask), isMask) << clip;
        EXPECT_EQ(fx.clip(clip)->props().integer(kOfxImageEffectPropSupportsTiles), 1) << clip;
    }
    EXPECT_EQ(fx.clip("Garbage")->props().integer(kOfxImageClipPropOptional), 1);
    EXPECT_EQ(fx.clip("Clean_MASK")->props().integer(kOfxImageClipPropOptional), 0);
}

TEST(DefinitionDescription, AccumulationBuffersAddResetControlsAndSequentialRender) {
    const std::string withBuffer =
        testDefinition(std::string(kTwoInputs) +
                       "<parameters><parameter name=\"gain\" type=\"float\"/></parameters>"
                       "<ui><group name=\"Look\"><parameter>gain</parameter></group></ui>"
                       "<accumulation_buffers><buffer name=\"trail\"/></accumulation_buffers>");
    {
        TestFolders folders;
        folders.useDefinition(withBuffer);
        auto fx = describeEffect(VELMORA_TEST_BUNDLE, "com.example.compositor", "filter");
        EXPECT_EQ(fx.effect->baseProperties().integer(kOfxImageEffectInstancePropSequentialRender), 2);

        const vhost::Param* button = fx.param("flush_cache");
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->kind(), vhost::ParamKind::PushButton);
        EXPECT_EQ(button->props().string(kOfxPropLabel), "Reset Accumulation");
        EXPECT_TRUE(
            contains(button->props().string(kOfxParamPropHint), "breaks accumulation/feedback effects."));

        const vhost::Param* counter = fx.param("_flush_cache_counter");
        ASSERT_NE(counter, nullptr);
        EXPECT_EQ(counter->kind(), vhost::ParamKind::Integer);
        EXPECT_EQ(counter->props().string(kOfxPropLabel), " ");
        EXPECT_EQ(counter->props().integer(kOfxParamPropSecret), 1);
        EXPECT_EQ(counter->props().integer(kOfxParamPropEnabled), 0);
        EXPECT_EQ(counter->props().integer(kOfxParamPropAnimates), 0);
        EXPECT_EQ(counter->props().integer(kOfxParamPropMax), 999999);
        EXPECT_EQ(counter->props().integer(kOfxParamPropDefault), 0);
        // Single-page layout: right after the presets group, on no page.
        const Names names = fx.paramNames();
        EXPECT_LT(std::find(names.begin(), names.end(), "tutorialsButton"),
                  std::find(names.begin(), names.end(), "flush_cache"));
        EXPECT_EQ(fx.parentOf("flush_cache"), "");
    }
    {
        TestFolders folders;
        folders.useDefinition(withBuffer);
        auto fx = describeEffect(VELMORA_TEST_BUNDLE, "flame", "general");
        EXPECT_EQ(fx.pageChildren("Settings"),
                  (Names{"factoryPresets", "myPresets", "flush_cache", "_flush_cache_counter",
                         "blendHelpGroup", "_grp_alpha_matte"}));
    }
    {
        // A host that does not know the property: skipped, the description goes on.
        TestFolders folders;
        folders.useDefinition(withBuffer);
        auto fx = describeEffect(VELMORA_TEST_BUNDLE, "com.example.compositor", "filter",
                                 [](vhost::HostIdentity& id) {
                                     id.unknownProperties = {kOfxImageEffectInstancePropSequentialRender,
                                                             kOfxImageEffectPropNoSpatialAwareness};
                                 });
        EXPECT_NE(fx.param("flush_cache"), nullptr);
        fx.unload();
        const std::string log = folders.logText();
        EXPECT_TRUE(contains(log, "  setSequentialRender not supported by host (skipped)"));
        EXPECT_TRUE(contains(log, "  setNoSpatialAwareness not supported by host (skipped)"));
        EXPECT_TRUE(contains(log, "GenericEffectFactory::describe completed successfully"));
    }
    {
        TestFolders folders;
        folders.useDefinition(testDefinition(kTwoInputs));
        auto fx = describeEffect(VELMORA_TEST_BUNDLE, "com.example.compositor", "filter");
        EXPECT_EQ(fx.effect->baseProperties().integer(kOfxImageEffectInstancePropSequentialRender), 0);
        EXPECT_EQ(fx.param("flush_cache"), nullptr);
        EXPECT_EQ(fx.param("_flush_cache_counter"), nullptr);
    }
}

// A host that predates the GPU-render properties refuses them: the effect is described without
// those render modes instead of vanishing from the host.
TEST(DefinitionDescription, AHostRefusingGpuRenderPropertiesStillGetsTheEffect) {
    TestFolders folders;
    folders.useDefinition(testDefinition(
        std::string(kTwoInputs) +
        R"(<pipeline><process name="p"><cuda file="post_blur.cu"/><opencl file="post_blur.cl"/></process>)"
        R"(</pipeline>)"));
    auto fx =
        describeEffect(VELMORA_TEST_BUNDLE, "com.example.compositor", "filter", [](vhost::HostIdentity& id) {
            id.unknownProperties = {
                kOfxImageEffectPropOpenCLRenderSupported, kOfxImageEffectPropCudaRenderSupported,
                kOfxImageEffectPropCudaStreamSupported, kOfxImageEffectPropMetalRenderSupported};
        });
    ASSERT_NE(fx.effect, nullptr);
    EXPECT_EQ(fx.clipNames(), (Names{"Source", "Mask_Shape", "Output"}));
    EXPECT_EQ(fx.effect->baseProperties().string(kOfxImageEffectPropOpenCLRenderSupported), "false");
    fx.unload();
    const std::string log = folders.logText();
    EXPECT_TRUE(
        contains(log, "[INFO] setupGPUSupport: host refused OfxImageEffectPropOpenCLRenderSupported"));
    EXPECT_TRUE(contains(log, "GenericEffectFactory::describe completed successfully"));
}

TEST(DefinitionDescription, EveryParameterTypeAsTheHostSeesIt) {
    TestFolders folders;
    folders.useDefinition(testDefinition(std::string(kTwoInputs) + R"(<parameters>
        <parameter name="count" type="int" default="2.9" min="-1.5" max="10.7" displayMin="-1.2" displayMax="8.8" res_dependent="width" hint="How many"/>
        <parameter name="tint" type="color" hint="Tint"><component name="r" default="0.25"/><component name="b" default="0.75"/></parameter>
        <parameter name="wash" type="color_rgba"/>
        <parameter name="axis" type="vec3" res_dependent="height"><component name="x" default="1" min="-2" max="2"/><component name="z" default="3" min="0" max="9"/></parameter>
        <parameter name="position" type="vec2"/>
        <parameter name="falloff" type="curve" default_shape="ease_in_out"/>
        <parameter name="wobble" type="curve" default_shape="smooth"/>
        <parameter name="lut" type="filepath" default="/tmp/a.cube" mustexist="true"/>
        <parameter name="title" type="string" default="Hello"/>
        <parameter name="quad" type="vec4" default="1,2,3,4"/>
        <parameter name="fine" type="float" inc="0.0001" res_dependent="xy" hint="Fine"/>
        <parameter name="coarse" type="float" inc="0"/>
        <parameter name="flag" type="bool" default="true" res_dependent="xy" hint="Flag"/>
        <parameter name="pick" type="choice" default="2" hint="Pick one"><option value="7" label="A"/><option value="8" label="B"/><option value="9" label="C"/></parameter>
        <parameter name="go" type="pushbutton" label="Go!"/>
    </parameters>)"));
    auto fx = describeEffect(VELMORA_TEST_BUNDLE, "com.example.compositor", "filter");
    auto numbers = [&](const char* name, const char* property) {
        return fx.param(name)->props().doubles(property);
    };

    const std::pair<const char*, vhost::ParamKind> kinds[] = {
        {"count", vhost::ParamKind::Integer},     {"tint", vhost::ParamKind::RGB},
        {"wash", vhost::ParamKind::RGBA},         {"axis", vhost::ParamKind::Double3D},
        {"position", vhost::ParamKind::Double2D}, {"falloff", vhost::ParamKind::Parametric},
        {"lut", vhost::ParamKind::String},        {"title", vhost::ParamKind::String},
        {"fine", vhost::ParamKind::Double},       {"flag", vhost::ParamKind::Boolean},
        {"pick", vhost::ParamKind::Choice},       {"go", vhost::ParamKind::PushButton}};
    for (const auto& [name, kind] : kinds) {
        ASSERT_NE(fx.param(name), nullptr) << name;
        EXPECT_EQ(fx.param(name)->kind(), kind) << name;
    }

    // Integers truncate toward zero; the hint carries the resolution remark.
    EXPECT_EQ(fx.param("count")->props().integer(kOfxParamPropDefault), 2);
    EXPECT_EQ(numbers("count", kOfxParamPropMin), (std::vector<double>{-1}));
    EXPECT_EQ(numbers("count", kOfxParamPropMax), (std::vector<double>{10}));
    EXPECT_EQ(numbers("count", kOfxParamPropDisplayMin), (std::vector<double>{-1}));
    EXPECT_EQ(numbers("count", kOfxParamPropDisplayMax), (std::vector<double>{8}));
    EXPECT_EQ(fx.stringProp("count", kOfxParamPropHint), "How many (width-dependent)");

    EXPECT_EQ(numbers("tint", kOfxParamPropDefault), (std::vector<double>{0.25, 0, 0.75}));
    EXPECT_EQ(numbers("wash", kOfxParamPropDefault), (std::vector<double>{0, 0, 0, 1}));
    EXPECT_EQ(numbers("axis", kOfxParamPropDefault), (std::vector<double>{1, 0, 3}));
    EXPECT_EQ(numbers("axis", kOfxParamPropMin), (std::vector<double>{-2, 0, 0}));
    EXPECT_EQ(numbers("axis", kOfxParamPropMax), (std::vector<double>{2, 1, 9}));
    EXPECT_EQ(numbers("axis", kOfxParamPropDisplayMax), (std::vector<double>{2, 1, 9}));
    EXPECT_EQ(fx.stringProp("axis", kOfxParamPropHint), " (height-dependent)");

    // A vec2 without components: unit range, zero default, no increment.
    EXPECT_EQ(numbers("position", kOfxParamPropDefault), (std::vector<double>{0, 0}));
    EXPECT_EQ(numbers("position", kOfxParamPropMax), (std::vector<double>{1, 1}));
    EXPECT_EQ(numbers("position", kOfxParamPropDisplayMin), (std::vector<double>{0, 0}));
    EXPECT_EQ(fx.stringProp("position", kOfxParamPropDoubleType), kOfxParamDoubleTypePlain);

    using Points = std::vector<vhost::Param::Point>;
    ASSERT_EQ(fx.param("falloff")->curves().size(), 1u);
    EXPECT_EQ(fx.param("falloff")->curves()[0],
              (Points{{0, 0}, {0.25, 0.1}, {0.5, 0.5}, {0.75, 0.9}, {1, 1}}));
    EXPECT_EQ(fx.param("wobble")->curves()[0], (Points{{0, 0}, {1, 1}}));
    EXPECT_EQ(numbers("falloff", kOfxParamPropParametricRange), (std::vector<double>{0, 1}));
    EXPECT_EQ(fx.param("falloff")->props().integer(kOfxParamPropParametricDimension), 1);

    EXPECT_EQ(fx.stringProp("lut", kOfxParamPropStringMode), kOfxParamStringIsFilePath);
    EXPECT_EQ(fx.param("lut")->props().integer(kOfxParamPropStringFilePathExists), 1);
    EXPECT_EQ(fx.stringProp("lut", kOfxParamPropDefault), "/tmp/a.cube");
    EXPECT_EQ(fx.stringProp("title", kOfxParamPropStringMode), kOfxParamStringIsSingleLine);
    EXPECT_EQ(fx.stringProp("title", kOfxParamPropDefault), "Hello");

    EXPECT_EQ(fx.param("fine")->props().integer(kOfxParamPropDigits), 4);
    EXPECT_EQ(fx.stringProp("fine", kOfxParamPropHint), "Fine (dimension-dependent)");
    EXPECT_DOUBLE_EQ(fx.param("coarse")->props().number(kOfxParamPropIncrement), 0.0);
    // No digits set for a zero increment: the host's default stands, as for Blend, which sets none.
    EXPECT_EQ(fx.param("coarse")->props().integer(kOfxParamPropDigits),
              fx.param("Blend")->props().integer(kOfxParamPropDigits));
    EXPECT_EQ(fx.stringProp("flag", kOfxParamPropHint), "Flag");
    EXPECT_EQ(fx.param("flag")->props().integer(kOfxParamPropDefault), 1);

    // A choice's default is an option index; the option values play no part.
    EXPECT_EQ(fx.param("pick")->props().integer(kOfxParamPropDefault), 2);
    EXPECT_EQ(fx.param("pick")->props().strings(kOfxParamPropChoiceOption), (Names{"A", "B", "C"}));
    EXPECT_EQ(fx.stringProp("pick", kOfxParamPropHint), "Pick one\n\nA: A\nB: B\nC: C");
    EXPECT_EQ(fx.stringProp("go", kOfxPropLongLabel), "Go!");

    // vec4 has no host parameter type of its own: warned about and left out.
    EXPECT_EQ(fx.param("quad"), nullptr);

    fx.unload();
    const std::string log = folders.logText();
    EXPECT_TRUE(contains(log, "Unsupported parameter type: vec4"));
    EXPECT_TRUE(contains(log, "XMLParameterManager::createParameters completed successfully"));
}

TEST(DefinitionDescription, PageNamingAnUnknownGroupIsRefusedWithAClearMessage) {
    TestFolders folders;
    folders.useDefinition(testDefinition(R"(<parameters><parameter name="a" type="float"/></parameters>
        <ui><group name="Zeta"><parameter>a</parameter></group><group name="Alpha"><parameter>a</parameter></group></ui>
        <pages><page name="Main"><group>Nope</group></page></pages>)"));
    {
        vhost::Host host(vhost::HostIdentity::forName("com.example.compositor"));
        vhost::PluginBinary binary(host, VELMORA_TEST_BUNDLE);
        EXPECT_TRUE(binary.plugins().empty());
    }
    EXPECT_TRUE(
        contains(folders.logText(),
                 "Failed to parse embedded XML: Unknown group 'Nope' referenced in <page> 'Main'. Available "
                 "groups: 'Alpha', 'Zeta'"));
}

TEST(DefinitionDescription, GroupWiderThanATabGetsOverflowPageAndPadding) {
    // 40 one-row parameters: 8 columns in one group.
    TestFolders folders;
    folders.useDefinition(velmora_test::testDefinition(
        "<parameters>" + floatParameters(0, 40) + "</parameters><ui>" + groupOf("Wide", 0, 40) + "</ui>"));
    auto fx = describeEffect(VELMORA_TEST_BUNDLE, "flame", "general");

    EXPECT_EQ(fx.pageChildren("Main"), (Names{"_grp_Wide", "_pad_0", "_pad_1", "_pad_2", "_pad_3"}));
    ASSERT_NE(fx.param("Main (2)"), nullptr);
    EXPECT_EQ(fx.param("Main (2)")->kind(), vhost::ParamKind::Page);
    EXPECT_EQ(fx.pageChildren("Main (2)"), Names{});
    EXPECT_EQ(fx.param("_pad_4"), nullptr);
    EXPECT_EQ(fx.parentOf("p39"), "_grp_Wide");

    fx.unload();
    const std::string log = folders.logText();
    EXPECT_TRUE(contains(log, "  Synthesized page 'Main' with 1 group(s), 8 columns"));
    EXPECT_TRUE(contains(log, "  Page 'Main': 8 columns used, padding to 12 (4 padding cols, 2 Flame tabs)"));
    EXPECT_TRUE(contains(log, "    Overflow page 'Main (2)' for tab 2 of 2"));
    EXPECT_TRUE(contains(log, "  Total Flame tabs: 3 (user: 2 + Settings: 1)\n"));
}

TEST(DefinitionDescription, TabBarWarningFromSixTabs) {
    // One page per group, each group one column; an empty page counts no tab.
    struct Case {
        int pages;
        const char* totalLine;
    };
    const Case cases[] = {
        {4, "  Total Flame tabs: 5 (user: 4 + Settings: 1)\n"},
        {5, "  Total Flame tabs: 6 (user: 5 + Settings: 1) WARNING: >5 tabs triggers Flame dropdown mode!\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pages);
        std::string groups, pages;
        for (int i = 0; i < c.pages; ++i) {
            const std::string name = "G" + std::to_string(i);
            groups += groupOf(name, i, 1);
            pages += "<page name=\"Tab " + std::to_string(i) + "\"><group>" + name + "</group></page>";
        }
        pages += "<page name=\"Empty\"/>";
        TestFolders folders;
        // p99 is declared but placed nowhere.
        folders.useDefinition(testDefinition("<parameters>" + floatParameters(0, c.pages) +
                                             floatParameters(99, 1) + "</parameters><ui>" + groups +
                                             "</ui><pages>" + pages + "</pages>"));
        auto fx = describeEffect(VELMORA_TEST_BUNDLE, "flame", "general");
        EXPECT_EQ(fx.pageChildren("Tab 0"),
                  (Names{"_grp_G0", "_pad_0", "_pad_1", "_pad_2", "_pad_3", "_pad_4"}));
        EXPECT_EQ(fx.pageChildren("Empty"), Names{});
        EXPECT_EQ(fx.param("p99"), nullptr);
        fx.unload();
        const std::string log = folders.logText();
        EXPECT_TRUE(contains(log, c.totalLine));
        EXPECT_TRUE(
            contains(log, "  Page 'Empty': 0 columns used, padding to 0 (0 padding cols, 0 Flame tab)"));
        EXPECT_TRUE(contains(log, "WARNING: Parameter 'p99' defined in <parameters> but not referenced"));
        EXPECT_TRUE(contains(log, "WARNING: 1 parameters not referenced in <ui> groups."));
    }
    // The single-page layout still creates the unplaced parameter.
    TestFolders folders;
    folders.useDefinition(testDefinition("<parameters>" + floatParameters(0, 1) + floatParameters(99, 1) +
                                         "</parameters><ui>" + groupOf("G0", 0, 1) + "</ui>"));
    auto fx = describeEffect(VELMORA_TEST_BUNDLE, "nuke", "filter");
    EXPECT_NE(fx.param("p99"), nullptr);
    EXPECT_EQ(fx.parentOf("p99"), "");
}

TEST(DefinitionDescription, TopLevelParametersSitOnTheirPage) {
    TestFolders folders;
    folders.useDefinition(testDefinition(R"(<parameters><parameter name="gain" type="float"/>
        <parameter name="mode" type="choice"><option value="a"/></parameter><parameter name="p0" type="float"/></parameters>
        <ui><parameter>gain</parameter><parameter>mode</parameter>)" +
                                         groupOf("G", 0, 1) + R"(</ui>
        <pages><page name="Look"><top-level/><group>G</group></page></pages>)"));
    auto fx = describeEffect(VELMORA_TEST_BUNDLE, "flame", "general");
    // Two columns used (the top-level list and the group): four padding columns.
    EXPECT_EQ(fx.pageChildren("Look"),
              (Names{"gain", "mode", "_grp_G", "_pad_0", "_pad_1", "_pad_2", "_pad_3"}));
    EXPECT_EQ(fx.parentOf("gain"), "");
    EXPECT_TRUE(has(fx.paramNames(), "p0"));
}

TEST(DefinitionDescription, OverlayInteractChosenFromTheDefinition) {
    const std::string center = R"(<parameter name="center" type="vec2" default="0.5,0.5"/>)";
    struct Case {
        const char* what;
        std::string sections;
        bool hostOverlays;
        const char* registered;  // null: no interact
    };
    const Case cases[] = {
        {"declared overlays win over a center parameter",
         "<parameters>" + center + "</parameters><overlays><point param=\"center\"/></overlays>", true,
         "XML overlay interact registered for effect 'Test Effect' with 1 overlays"},
        {"center parameter alone", "<parameters>" + center + "</parameters>", true,
         "Legacy overlay interact registered for effect 'Test Effect'"},
        {"nothing to draw", "<parameters><parameter name=\"gain\" type=\"float\"/></parameters>", true,
         nullptr},
        {"host without overlays",
         "<parameters>" + center + "</parameters><overlays><point param=\"center\"/></overlays>", false,
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestFolders folders;
        folders.useDefinition(testDefinition(std::string(kTwoInputs) + c.sections));
        auto fx = describeEffect(VELMORA_TEST_BUNDLE, "com.example.compositor", "filter",
                                 [&](vhost::HostIdentity& id) { id.supportsOverlays = c.hostOverlays; });
        const vhost::PropertySet& props = fx.effect->baseProperties();
        const bool attached = props.has(kOfxImageEffectPluginPropOverlayInteractV1) &&
                              props.pointer(kOfxImageEffectPluginPropOverlayInteractV1);
        EXPECT_EQ(attached, c.registered != nullptr);
        fx.unload();
        const std::string log = folders.logText();
        if (c.registered) {
            EXPECT_TRUE(contains(log, c.registered));
        }
        EXPECT_TRUE(contains(log, std::string("supportsOverlays=") + (c.hostOverlays ? "1" : "0")));
    }
}
