#include <cmath>
#include <stdexcept>

#include "DefinitionTestSupport.h"

namespace {

class DefinitionTest : public LoggedTest {
  protected:
    XMLEffectDefinition parsed(const std::string& body) {
        XMLEffectDefinition definition;
        EXPECT_TRUE(definition.parse(effectDocument(body).c_str())) << logText();
        return definition;
    }
};

const std::string kScaled = R"(<parameters><parameter name="s" type="float" resolution_scaled="true"/>
                               <parameter name="n" type="int"/></parameters>)";
const std::string kTwoParams =
    R"(<parameters><parameter name="a" type="float"/><parameter name="b" type="bool"/></parameters>)";

struct FailureCase {
    const char* what;
    std::string document;  // complete text
    std::string message;   // the ERROR line after its prefix
};

// A host process whose locale writes numbers with a decimal comma reads the same definition.
TEST_F(DefinitionTest, NumbersReadTheSameInADecimalCommaLocale) {
    const std::string body = R"(<parameters>
        <parameter name="f" type="float" default="0.5" min="-2.25" max="1e3" displayMin="0.125"
                   displayMax="7.5" inc="0.05"/>
        <parameter name="v" type="vec2" default="0.25, 0.75" min="-1.5,-2.5" max="1.5,2.5" inc="0.001"/>
        <parameter name="c" type="color"><component name="r" default="0.2" min="0.1" max="0.9" inc="0.01"/>
        </parameter></parameters>)";
    for (const char* locale : {"C", kDecimalCommaLocale}) {
        SCOPED_TRACE(locale);
        const ScopedLocale scoped(locale);
        ASSERT_TRUE(scoped.active()) << kMissingLocaleHint;
        const XMLEffectDefinition definition = parsed(body);
        const ParameterDefinition& f = definition.getParameters().at(0);
        EXPECT_EQ(f.defaultValue, 0.5);
        EXPECT_EQ(f.minValue, -2.25);
        EXPECT_EQ(f.maxValue, 1000.0);
        EXPECT_EQ(f.displayMin, 0.125);
        EXPECT_EQ(f.displayMax, 7.5);
        EXPECT_EQ(f.inc, 0.05);
        const ParameterDefinition& v = definition.getParameters().at(1);
        ASSERT_EQ(v.components.size(), 2u);
        EXPECT_EQ(v.components[0].defaultValue, 0.25);
        EXPECT_EQ(v.components[1].defaultValue, 0.75);
        EXPECT_EQ(v.components[1].minValue, -2.5);
        EXPECT_EQ(v.components[0].maxValue, 1.5);
        EXPECT_EQ(v.components[0].inc, 0.001);
        const ParameterDefinition& c = definition.getParameters().at(2);
        ASSERT_EQ(c.components.size(), 1u);
        EXPECT_EQ(c.components[0].defaultValue, 0.2);
        EXPECT_EQ(c.components[0].inc, 0.01);
    }
}

TEST_F(DefinitionTest, InvalidDocumentsFailWithTheirMessage) {
    const std::string fail = "Failed to parse embedded XML: ";
    const FailureCase cases[] = {
        {"not xml", "<effect name=", fail},
        {"no effect", "<other/>", "Embedded XML does not contain an effect element"},
        {"no name", "<effect category=\"c\"><pipeline/></effect>",
         fail + "Effect must have a name attribute"},
        {"no category", "<effect name=\"n\"><pipeline/></effect>",
         fail + "Effect must have a category attribute"},
        {"no pipeline", "<effect name=\"n\" category=\"c\"/>",
         fail + "Effect must have a <pipeline> section with <process> children"},
        {"unnamed input", effectDocument("<inputs><source noinput=\"black\"/></inputs>"),
         fail + "Input source must have a name attribute"},
        {"duplicate input", effectDocument("<inputs><source name=\"A\"/><source name=\"A\"/></inputs>"),
         fail + "Duplicate input name: A"},
        {"unnamed parameter", effectDocument("<parameters><parameter type=\"float\"/></parameters>"),
         fail + "Parameter must have a name attribute"},
        {"untyped parameter", effectDocument("<parameters><parameter name=\"p\"/></parameters>"),
         fail + "Parameter must have a type attribute"},
        {"trailing comma",
         effectDocument("<parameters><parameter name=\"v\" type=\"vec2\" default=\"0.5,\"/></parameters>"),
         fail + "invalid stod argument"},
        {"word in min list",
         effectDocument(
             "<parameters><parameter name=\"v\" type=\"vec2\" default=\"1\" min=\"a\"/></parameters>"),
         fail + "invalid stod argument"},
        {"nan piece",
         effectDocument("<parameters><parameter name=\"v\" type=\"vec2\" default=\" -NaN,1\"/></parameters>"),
         fail + "invalid stod argument"},
        {"overflowing piece",
         effectDocument(
             "<parameters><parameter name=\"v\" type=\"color\" default=\"1e999,0,0\"/></parameters>"),
         fail + "stod argument out of range"},
        {"infinite real",
         effectDocument("<parameters><parameter name=\"f\" type=\"float\" max=\"1e400\"/></parameters>"),
         fail + "Attribute 'max' of <parameter> is not a finite number: '1e400'"},
        {"scaled int",
         effectDocument(
             "<parameters><parameter name=\"i\" type=\"int\" resolution_scaled=\"1\"/></parameters>"),
         fail + "resolution_scaled=\"true\" is only supported on float/double/vec2 parameters (parameter 'i' "
                "has "
                "type 'int')"},
        {"option without value",
         effectDocument("<parameters><parameter name=\"c\" type=\"choice\"><option "
                        "label=\"x\"/></parameter></parameters>"),
         fail + "Option must have a value attribute"},
        {"component without name",
         effectDocument(
             "<parameters><parameter name=\"v\" type=\"vec2\"><component/></parameter></parameters>"),
         fail + "Component must have a name attribute"},
        {"pipeline executions scaled", effectDocument(kScaled + "<pipeline executions=\"param:s\"/>"),
         fail +
             "executions=\"param:s\" (effect/pipeline level) references a resolution_scaled parameter - pass "
             "counts must not vary with render scale. Remove resolution_scaled from 's' or drive executions "
             "from an int parameter."},
        {"process executions scaled",
         effectDocument(
             kScaled +
             "<pipeline><process executions=\"param:n\"/><process executions=\"param:s\"/></pipeline>"),
         fail +
             "executions=\"param:s\" (process level) references a resolution_scaled parameter - pass counts "
             "must not vary with render scale. Remove resolution_scaled from 's' or drive executions from an "
             "int parameter."},
        {"count without buffer",
         effectDocument("<pipeline><process><cuda file=\"k.cu\" dispatch=\"count\"/></process></pipeline>"),
         fail + "Kernel 'k.cu' has dispatch=\"count\" but no buffer attribute"},
        {"empty top-level", effectDocument(kTwoParams + "<ui><parameter></parameter></ui>"),
         fail + "Top-level parameter reference in <ui> cannot be empty"},
        {"unknown top-level", effectDocument(kTwoParams + "<ui><parameter>zz</parameter></ui>"),
         fail + "Referenced top-level parameter does not exist: zz"},
        {"unnamed group", effectDocument(kTwoParams + "<ui><group><parameter>a</parameter></group></ui>"),
         fail + "group must have a name attribute"},
        {"empty group", effectDocument(kTwoParams + "<ui><group name=\"g\"/></ui>"),
         fail + "group must contain either columns or direct parameter references"},
        {"unnamed column", effectDocument(kTwoParams + "<ui><group name=\"g\"><column/></group></ui>"),
         fail + "Column must have a name attribute"},
        {"empty reference",
         effectDocument(kTwoParams +
                        "<ui><group name=\"g\"><column name=\"c\"><parameter/></column></group></ui>"),
         fail + "Parameter reference cannot be empty"},
        {"unknown reference",
         effectDocument(kTwoParams + "<ui><group name=\"g\"><parameter>zz</parameter></group></ui>"),
         fail + "Referenced parameter does not exist: zz"},
        {"unnamed page", effectDocument("<pages><page/></pages>"),
         fail + "<page> must have a name attribute"},
        {"empty page group", effectDocument("<pages><page name=\"P\"><group/></page></pages>"),
         fail + "<group> reference in <page> 'P' cannot be empty"},
        {"unknown group sorted",
         effectDocument(kTwoParams + "<ui><group name=\"b\"><parameter>a</parameter></group><group "
                                     "name=\"B\"><parameter>a</parameter>"
                                     "</group><group name=\"a\"><parameter>b</parameter></group></ui>"
                                     "<pages><page name=\"P\"><group>zz</group></page></pages>"),
         fail + "Unknown group 'zz' referenced in <page> 'P'. Available groups: 'B', 'a', 'b'"},
        {"unknown page element",
         effectDocument("<pages><page name=\"P\">text<top-level/><column/></page></pages>"),
         fail + "Unknown element <column> in <page> 'P'. Valid elements: <group>, <top-level/>"},
        {"condition without parameter",
         effectDocument("<identity_conditions><condition/></identity_conditions>"),
         fail + "Condition must have a parameter element"},
        {"condition without name",
         effectDocument("<identity_conditions><condition><parameter "
                        "operator=\"equal\"/></condition></identity_conditions>"),
         fail + "Parameter in condition must have a name attribute"},
        {"condition without operator",
         effectDocument(
             kTwoParams +
             "<identity_conditions><condition><parameter name=\"a\"/></condition></identity_conditions>"),
         fail + "Parameter in condition must have an operator attribute"},
        {"condition on unknown",
         effectDocument("<identity_conditions><condition><parameter name=\"q\" "
                        "operator=\"x\"/></condition></identity_conditions>"),
         fail + "Referenced parameter does not exist: q"},
    };
    for (const FailureCase& c : cases) {
        PluginLog::instance().switchEffect("deftest");
        XMLEffectDefinition definition;
        EXPECT_FALSE(definition.parse(c.document.c_str())) << c.what;
        EXPECT_NE(logText().find("[ERROR] " + c.message), std::string::npos) << c.what << "\n" << logText();
    }
    XMLEffectDefinition definition;
    EXPECT_FALSE(definition.parse(nullptr));
    EXPECT_TRUE(logged("[ERROR] Embedded XML content is null"));
}

TEST_F(DefinitionTest, MinimalDocumentAndEffectAttributes) {
    XMLEffectDefinition minimal = parsed("");
    EXPECT_TRUE(minimal.getProcesses().empty());
    EXPECT_EQ(minimal.getDisplayName(), "t");
    EXPECT_EQ(minimal.getDebugLevel(), "none");
    EXPECT_EQ(minimal.getContext(), "filter");
    EXPECT_TRUE(minimal.isFrameVarying());
    EXPECT_EQ(minimal.getPipelineExecutions(), "1");

    XMLEffectDefinition full;
    ASSERT_TRUE(
        full.parse(R"(<?xml version="1.0"?><!-- c --><effect name="n" shipped_name="Shown" category="c"
        version="2.0" release_date="today" debug_level="Info" frame_varying="no">
        <description>about <b>it</b></description><context>Transition</context><pipeline/></effect>)"));
    EXPECT_EQ(full.getDisplayName(), "Shown");
    EXPECT_EQ(full.getVersion(), "2.0");
    EXPECT_EQ(full.getReleaseDate(), "today");
    EXPECT_EQ(full.getDebugLevel(), "Info");
    EXPECT_EQ(full.getDescription(), "about ");
    EXPECT_FALSE(full.isFrameVarying());
    EXPECT_FALSE(full.isTransition());
    EXPECT_TRUE(logged("[INFO] Invalid context 'Transition', defaulting to 'filter'"));
    EXPECT_TRUE(logged("[INFO] Effect context: filter"));
    EXPECT_TRUE(logged("[INFO] Embedded XML parsed successfully: effect 'n'"));
    EXPECT_TRUE(logged("[INFO] Debug level from embedded XML: Info"));

    EXPECT_TRUE(parsed("<context>transition</context>").isTransition());
}

TEST_F(DefinitionTest, InputOptionalAndNoInputInference) {
    const XMLEffectDefinition definition = parsed(R"(<inputs>
        <source name="W" noinput="white"/>
        <source name="Plain"/>
        <source name="Opt" optional="true"/>
        <source name="Blk" optional="false" noinput="black" border_mode="mirror" is_mask="0" route="r" label="L"/>
        <source name="Odd" noinput="" border_mode="wrap" is_mask="yes"/>
    </inputs>)");
    struct Expected {
        const char* name;
        bool optional;
        const char* noInput;
        int noInputCode;
        int borderCode;
        int isMask;
    };
    const Expected expected[] = {{"W", true, "white", 2, 0, -1},
                                 {"Plain", false, "error", 0, 0, -1},
                                 {"Opt", true, "white", 2, 0, -1},
                                 {"Blk", false, "black", 1, 2, 0},
                                 {"Odd", true, "", 2, 0, 1}};
    ASSERT_EQ(definition.getInputs().size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        const InputDefinition& input = definition.getInputs()[i];
        EXPECT_EQ(input.name, expected[i].name);
        EXPECT_EQ(input.optional, expected[i].optional) << input.name;
        EXPECT_EQ(input.noInputMode, expected[i].noInput) << input.name;
        EXPECT_EQ(definition.getInputNoInputCode(input.name), expected[i].noInputCode) << input.name;
        EXPECT_EQ(definition.getInputBorderModeCode(input.name), expected[i].borderCode) << input.name;
        EXPECT_EQ(input.is_mask, expected[i].isMask) << input.name;
    }
    EXPECT_EQ(definition.getInputs()[3].label, "L");
    EXPECT_EQ(definition.getInputs()[1].label, "Plain");
    EXPECT_EQ(definition.getInputs()[4].border_mode, "wrap");
    EXPECT_TRUE(logged("[INFO] Input 'W': optional inferred as 1 from noinput='white'"));
    EXPECT_TRUE(logged("[INFO] No noinput attribute and not optional, using 'error'"));
    EXPECT_TRUE(logged("[INFO] No noinput attribute, but optional=true, using 'white'"));
    EXPECT_TRUE(logged("[INFO] Input 'Blk': optional explicitly set to 0"));
    EXPECT_TRUE(logged("[INFO] Found noinput attribute: 'black'"));
    EXPECT_TRUE(logged("[INFO] Input parsed - name: Blk, noInputMode: black"));
}

TEST_F(DefinitionTest, ScalarParameterDefaults) {
    const XMLEffectDefinition definition = parsed(R"(<parameters>
        <parameter name="f" type="float"/>
        <parameter name="m" type="double" min="-5" label=""/>
        <parameter name="i" type="int" default="abc" displayMax="7" inc="1"/>
        <parameter name="b" type="bool" default="Yes"/>
        <parameter name="s" type="string" default=" keep "/>
        <parameter name="p" type="filepath" mustexist="true"/>
        <parameter name="k" type="curve" curve_background="99999999999"/>
        <parameter name="c" type="choice" default="2"><option value="v1"/><option value="v2" label="Two"/></parameter>
        <parameter name="x" type="color_rgba" default="1,1,1,1"/>
    </parameters>)");
    const ParameterDefinition& f = definition.getParameter("f");
    EXPECT_EQ(f.label, "f");
    EXPECT_EQ(f.res_dependent, "none");
    EXPECT_EQ(f.defaultValue, 0.0);
    EXPECT_EQ(f.minValue, 0.0);
    EXPECT_EQ(f.maxValue, 1.0);
    EXPECT_EQ(f.displayMin, 0.0);
    EXPECT_EQ(f.displayMax, 1.0);
    EXPECT_DOUBLE_EQ(f.inc, 0.1);
    const ParameterDefinition& m = definition.getParameter("m");
    EXPECT_EQ(m.label, "m");
    EXPECT_EQ(m.displayMin, -5.0);
    EXPECT_EQ(m.displayMax, 1.0);
    const ParameterDefinition& i = definition.getParameter("i");
    EXPECT_EQ(i.defaultValue, 0.0);
    EXPECT_EQ(i.displayMax, 7.0);
    EXPECT_TRUE(definition.getParameter("b").defaultBool);
    EXPECT_EQ(definition.getParameter("s").defaultText, " keep ");
    EXPECT_TRUE(definition.getParameter("p").mustexist);
    EXPECT_EQ(definition.getParameter("k").default_shape, "linear");
    EXPECT_EQ(definition.getParameter("k").curve_background, 2147483647);
    const ParameterDefinition& c = definition.getParameter("c");
    EXPECT_EQ(c.defaultValue, 2.0);
    ASSERT_EQ(c.options.size(), 2u);
    EXPECT_EQ(c.options[0].label, "v1");
    EXPECT_EQ(c.options[1].label, "Two");
    const ParameterDefinition& x = definition.getParameter("x");
    EXPECT_TRUE(x.components.empty());
    EXPECT_TRUE(x.defaultText.empty());
    EXPECT_EQ(definition.getParameters().size(), 9u);
}

TEST_F(DefinitionTest, VectorComponentsFromListsAndChildren) {
    const XMLEffectDefinition definition = parsed(R"(<parameters>
        <parameter name="v" type="vec2" default="0.5,0.25" min="-1" max="1,1,7"/>
        <parameter name="one" type="vec2" default=" 0.5xyz" inc="0.5"/>
        <parameter name="v3" type="vec3" default="1,2,3"/>
        <parameter name="v4" type="vec4" default="1,2,3,4,5"/>
        <parameter name="col" type="color" default="0.1,0.2,0.3"/>
        <parameter name="none" type="vec2"/>
        <parameter name="kids" type="vec2" default="9,9"><component name="u" default="0.3" max="4"/></parameter>
    </parameters>)");
    struct Expected {
        const char* param;
        std::size_t index;
        const char* name;
        double defaultValue, minValue, maxValue, inc;
    };
    const Expected expected[] = {
        {"v", 0, "x", 0.5, -1, 1, 0.01},   {"v", 1, "y", 0.25, 0, 1, 0.01}, {"one", 0, "x", 0.5, 0, 1, 0.5},
        {"v3", 2, "z", 3, 0, 1, 0.01},     {"v4", 3, "a", 4, 0, 1, 0.01},   {"col", 1, "g", 0.2, 0, 1, 0.01},
        {"kids", 0, "u", 0.3, 0, 4, 0.01},
    };
    for (const Expected& e : expected) {
        const ParameterDefinition& p = definition.getParameter(e.param);
        ASSERT_LT(e.index, p.components.size()) << e.param;
        const ParameterComponent& component = p.components[e.index];
        EXPECT_EQ(component.name, e.name) << e.param;
        EXPECT_DOUBLE_EQ(component.defaultValue, e.defaultValue) << e.param;
        EXPECT_DOUBLE_EQ(component.minValue, e.minValue) << e.param;
        EXPECT_DOUBLE_EQ(component.maxValue, e.maxValue) << e.param;
        EXPECT_DOUBLE_EQ(component.inc, e.inc) << e.param;
    }
    EXPECT_EQ(definition.getParameter("v").components.size(), 2u);
    EXPECT_EQ(definition.getParameter("one").components.size(), 1u);
    EXPECT_EQ(definition.getParameter("v4").components.size(), 4u);
    EXPECT_TRUE(definition.getParameter("none").components.empty());
    EXPECT_EQ(definition.getParameter("kids").components.size(), 1u);
}

TEST_F(DefinitionTest, ResolutionScaledAndExecutionReferences) {
    const XMLEffectDefinition definition = parsed(kScaled + R"(
        <parameters><parameter name="v" type="vec2" resolution_scaled="true"/></parameters>
        <pipeline executions="param:n">
          <process name="p" executions="param:missing" initialization="zero">
            <cuda file="a.cu" executions="3"/><note/><metal file="a.metal"/>
            <opencl file="c.cl" dispatch="count" buffer="buf"/>
          </process>
          <process/>
        </pipeline>)");
    EXPECT_TRUE(definition.getParameter("s").resolution_scaled);
    EXPECT_FALSE(definition.hasParameter("v"));  // only the first <parameters> section counts
    EXPECT_EQ(definition.getPipelineExecutions(), "param:n");
    ASSERT_EQ(definition.getProcesses().size(), 2u);
    const ProcessDefinition& p = definition.getProcesses()[0];
    ASSERT_EQ(p.kernels.size(), 3u);
    EXPECT_EQ(p.kernels[0].executions, 3);
    EXPECT_EQ(p.kernels[1].platform, "metal");
    EXPECT_EQ(p.kernels[1].executions, 1);
    EXPECT_EQ(p.kernels[2].buffer, "buf");
    EXPECT_EQ(definition.getProcesses()[1].name, "unnamed_process");
    EXPECT_TRUE(logged("[INFO] Effect executions (from <pipeline>): param:n"));
    EXPECT_TRUE(logged("[INFO]   Process 'p': 3 kernels, executions=param:missing, init=zero"));
    EXPECT_TRUE(logged("[INFO]   Process 'unnamed_process': 0 kernels, executions=1, init=none"));
    EXPECT_TRUE(logged("[DEBUG]     Kernel: a.cu (platform=cuda, executions=3)"));
    EXPECT_TRUE(
        logged("[DEBUG]     Kernel: c.cl (platform=opencl, executions=1, dispatch=count, buffer=buf)"));
    EXPECT_TRUE(logged("[INFO] Parsed 2 processes from <pipeline> section"));

    XMLEffectDefinition vec;
    EXPECT_TRUE(
        vec.parse(effectDocument(R"(<parameters><parameter name="v" type="vec2" resolution_scaled="true"/>
        </parameters>)")
                      .c_str()));
}

TEST_F(DefinitionTest, LayoutSectionsAndConditions) {
    const XMLEffectDefinition definition = parsed(kTwoParams + R"(
        <ui>
          <parameter>b</parameter>
          <group name="G" tooltip="tip" open="false">
            <column name="C1"><parameter>a</parameter></column>
            <parameter>b</parameter>
          </group>
          <group name="H"><parameter>a</parameter></group>
        </ui>
        <pages><page name="Main"><group>H</group> <top-level/><group>G</group></page></pages>
        <identity_conditions>
          <condition><parameter name="a" operator="lessThan" value="0.5"/></condition>
          <condition><parameter name="b" operator="whatever"/></condition>
        </identity_conditions>)");
    ASSERT_EQ(definition.getTopLevelParameters(), std::vector<std::string>{"b"});
    ASSERT_EQ(definition.getGroups().size(), 2u);
    const GroupDefinition& g = definition.getGroups()[0];
    EXPECT_FALSE(g.open);
    EXPECT_EQ(g.tooltip, "tip");
    ASSERT_EQ(g.columns.size(), 1u);
    EXPECT_EQ(g.columns[0].parameters, std::vector<std::string>{"a"});
    EXPECT_EQ(g.parameters, std::vector<std::string>{"b"});
    EXPECT_TRUE(definition.getGroups()[1].open);
    ASSERT_EQ(definition.getPages().size(), 1u);
    const std::vector<PageItem>& items = definition.getPages()[0].items;
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].groupName, "H");
    EXPECT_EQ(items[1].kind, PageItem::TopLevel);
    EXPECT_EQ(items[2].groupName, "G");
    ASSERT_EQ(definition.getIdentityConditions().size(), 2u);
    EXPECT_EQ(definition.getIdentityConditions()[0].op, "lessThan");
    EXPECT_EQ(definition.getIdentityConditions()[0].value, 0.5);
    EXPECT_EQ(definition.getIdentityConditions()[1].value, 0.0);
    EXPECT_TRUE(logged("[INFO] Parsed 1 top-level parameters in <ui>"));
    EXPECT_TRUE(logged("[INFO] XMLEffectDefinition::parseUI completed, parsed 2 groups"));
    EXPECT_TRUE(logged("[INFO]   Page 'Main': 3 items"));
    EXPECT_TRUE(logged("[INFO] XMLEffectDefinition::parsePages completed, parsed 1 pages"));
}

TEST_F(DefinitionTest, DuplicateParameterNamesAndLookup) {
    const XMLEffectDefinition definition = parsed(R"(<parameters>
        <parameter name="d" type="float" default="1"/><parameter name="d" type="float" default="2"/>
    </parameters>)");
    EXPECT_EQ(definition.getParameters().size(), 2u);
    EXPECT_EQ(definition.getParameter("d").defaultValue, 2.0);
    EXPECT_EQ(definition.getParameterIndex().at("d"), 1u);
    try {
        definition.getParameter("nope");
        FAIL() << "no exception";
    } catch (const std::out_of_range& error) {
        EXPECT_STREQ(error.what(), "Parameter not found: nope");
    }
}

TEST_F(DefinitionTest, FailedParseLeavesEarlierContent) {
    XMLEffectDefinition definition;
    ASSERT_TRUE(definition.parse(effectDocument(kTwoParams).c_str()));
    EXPECT_FALSE(definition.parse(effectDocument("<inputs><source/></inputs>").c_str()));
    EXPECT_EQ(definition.getParameters().size(), 2u);
    EXPECT_EQ(definition.getName(), "t");
}

}  // namespace
