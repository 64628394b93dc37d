#include <gtest/gtest.h>

#include "LogCapture.h"
#include "definition/EmbeddedDefinition.h"
#include "definition/XMLEffectDefinition.h"
#include "platform/FileSystem.h"
#include "presets/DefinitionPresets.h"
#include "presets/PresetFolders.h"

namespace {

void expectWithin(const std::string& name, double value, double low, double high) {
    EXPECT_GE(value, low) << name;
    EXPECT_LE(value, high) << name;
}

}  // namespace

// Every shipped factory preset sets every parameter of the shipped effect to a value inside its
// range, and is stored exactly as the preset writer would store it.
TEST(FactoryPresets, MatchTheShippedEffect) {
    LogCapture log;
    XMLEffectDefinition definition;
    ASSERT_TRUE(definition.parse(velmora_definition_xml));
    const std::vector<PresetParameter> parameters = presetParametersOf(definition);

    const std::vector<std::string> names = listPresetNames(VELMORA_FACTORY_PRESETS_DIR);
    ASSERT_GE(names.size(), 4u);
    for (const std::string& presetName : names) {
        SCOPED_TRACE(presetName);
        const std::string path = presetFilePath(VELMORA_FACTORY_PRESETS_DIR, presetName);
        std::string effect, version;
        const PresetValues values = loadPresetFile(path, effect, version);
        EXPECT_EQ(effect, definition.getName());
        EXPECT_EQ(version, definition.getVersion());

        for (const ParameterDefinition& p : definition.getParameters()) {
            auto found = values.find(p.name);
            if (p.type == "pushbutton" || p.type == "curve") continue;
            ASSERT_NE(found, values.end()) << p.name;
            const ParameterValue& value = found->second;
            if (p.type == "float" || p.type == "double") {
                EXPECT_EQ(value.kind(), ParameterValue::Kind::Double) << p.name;
                expectWithin(p.name, value.asDouble(), p.minValue, p.maxValue);
            } else if (p.type == "choice") {
                EXPECT_EQ(value.kind(), ParameterValue::Kind::Int) << p.name;
                expectWithin(p.name, value.asInt(), 0, static_cast<double>(p.options.size()) - 1);
            } else if (p.type == "int") {
                expectWithin(p.name, value.asInt(), p.minValue, p.maxValue);
            } else if (p.type == "bool") {
                EXPECT_EQ(value.kind(), ParameterValue::Kind::Bool) << p.name;
            } else if (p.type == "vec2") {
                ASSERT_EQ(value.kind(), ParameterValue::Kind::Vec2) << p.name;
                ASSERT_EQ(p.components.size(), 2u);
                expectWithin(p.name, value.x(), p.components[0].minValue, p.components[0].maxValue);
                expectWithin(p.name, value.y(), p.components[1].minValue, p.components[1].maxValue);
            }
        }
        EXPECT_EQ(values.size(), parameters.size());

        std::string text;
        ASSERT_TRUE(platform::readFile(path, text));
        const std::string created = "2026-08-27T12:00:00";
        EXPECT_EQ(formatPresetXml(effect, version, created, values, parameters), text);
    }
}
