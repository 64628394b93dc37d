#include <gtest/gtest.h>

#include "LogCapture.h"
#include "definition/XMLEffectDefinition.h"
#include "presets/DefinitionPresets.h"

namespace {

const char kDefinition[] = R"(<effect name="t" category="c">
  <parameters>
    <parameter name="amount" type="float" default="12.5"/>
    <parameter name="passes" type="int" default="3"/>
    <parameter name="mode" type="choice" default="1.7">
      <option value="0" label="A"/><option value="1" label="B"/><option value="2" label="C"/>
    </parameter>
    <parameter name="invert" type="bool" default="true"/>
    <parameter name="offset" type="vec2" default="0.25,-0.5"/>
    <parameter name="tint" type="color">
      <component name="r" default="0.1"/><component name="g" default="0.2"/><component name="b" default="0.3"/>
    </parameter>
    <parameter name="overlay" type="vec4">
      <component name="r" default="1"/><component name="g" default="0.5"/><component name="b" default="0"/>
    </parameter>
    <parameter name="wash" type="color_rgba"/>
    <parameter name="label" type="string" default="glass"/>
    <parameter name="go" type="pushbutton"/>
  </parameters>
  <pipeline/>
</effect>)";

}  // namespace

TEST(DefinitionPresets, DefaultsAndParameterListFollowTheDefinition) {
    LogCapture log;
    XMLEffectDefinition definition;
    ASSERT_TRUE(definition.parse(kDefinition));

    const std::vector<PresetParameter> parameters = presetParametersOf(definition);
    ASSERT_EQ(parameters.size(), 10u);
    EXPECT_EQ(parameters[5].name, "tint");
    EXPECT_EQ(parameters[5].type, "color");

    const PresetValues defaults = defaultPresetValues(definition);
    EXPECT_EQ(defaults.size(), 9u);  // the push button has no value
    EXPECT_DOUBLE_EQ(defaults.at("amount").asDouble(), 12.5);
    EXPECT_EQ(defaults.at("passes").asInt(), 3);
    EXPECT_EQ(defaults.at("mode").kind(), ParameterValue::Kind::Int);
    EXPECT_EQ(defaults.at("mode").asInt(), 1);
    EXPECT_TRUE(defaults.at("invert").asBool());
    EXPECT_EQ(defaults.at("offset").kind(), ParameterValue::Kind::Vec2);
    EXPECT_EQ(defaults.at("offset").y(), -0.5f);
    EXPECT_EQ(defaults.at("tint").kind(), ParameterValue::Kind::Vec3);
    EXPECT_EQ(defaults.at("tint").z(), 0.3f);
    // A missing fourth component is opaque.
    EXPECT_EQ(defaults.at("overlay").kind(), ParameterValue::Kind::Vec4);
    EXPECT_EQ(defaults.at("overlay").y(), 0.5f);
    EXPECT_EQ(defaults.at("overlay").w(), 1.0f);
    EXPECT_EQ(defaults.at("wash").asString(), "(0.000000, 0.000000, 0.000000, 1.000000)");
    EXPECT_EQ(defaults.at("label").asString(), "glass");

    // The defaults survive a trip through the preset document.
    std::string effect, version;
    const std::string text = formatPresetXml("t", "1.0", "2024-01-01T00:00:00", defaults, parameters);
    const PresetValues loaded = parsePresetXml(text, effect, version);
    ASSERT_EQ(loaded.size(), defaults.size());
    for (const auto& [name, value] : defaults) {
        SCOPED_TRACE(name);
        EXPECT_EQ(loaded.at(name).asString(), value.asString());
    }
}
