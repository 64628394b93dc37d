#include <gtest/gtest.h>

#include "LogCapture.h"
#include "presets/PresetFile.h"

namespace {

void expectVector(const ParameterValue& value, ParameterValue::Kind kind, float x, float y, float z = 0,
                  float w = 0) {
    EXPECT_EQ(value.kind(), kind);
    EXPECT_EQ(value.x(), x);
    EXPECT_EQ(value.y(), y);
    EXPECT_EQ(value.z(), z);
    EXPECT_EQ(value.w(), w);
}

}  // namespace

TEST(PresetFile, WritesTheDocumentExactly) {
    const std::vector<PresetParameter> parameters = {
        {"radius", "float"},     {"tiny", "double"},   {"big", "double"},         {"half", "float"},
        {"passes", "int"},       {"mode", "choice"},   {"invert", "bool"},        {"offset", "vec2"},
        {"tint", "color"},       {"position", "vec3"}, {"overlay", "color_rgba"}, {"label", "string"},
        {"file", "filepath"},    {"falloff", "curve"}, {"go", "pushbutton"},      {"save_preset", "double"},
        {"not_in_map", "float"},
    };
    PresetValues values = {
        {"radius", ParameterValue(50.0)},
        {"tiny", ParameterValue(1e-12)},
        {"big", ParameterValue(123456789.123)},
        {"half", ParameterValue(0.05)},
        {"passes", ParameterValue(3)},
        {"mode", ParameterValue(2)},
        {"invert", ParameterValue(true)},
        {"offset", ParameterValue(0.1, -2.0)},
        {"tint", ParameterValue(0.1, 0.2, 0.3)},
        {"position", ParameterValue(1.0, 2.0, 3.0)},
        {"overlay", ParameterValue(1.0, 0.5, 0.25, 1.0)},
        {"label", ParameterValue("a <b> & \"c\"")},
        {"file", ParameterValue("/media/clip.wav")},
        {"falloff", ParameterValue(1.0)},
        {"go", ParameterValue(1)},
        {"save_preset", ParameterValue(1.0)},
        // Values of no definition: written by kind, framework controls left out.
        {"_alpha_source", ParameterValue(1)},
        {"_gain", ParameterValue(0.5)},
        {"_enabled", ParameterValue(false)},
        {"_note", ParameterValue("hi")},
        {"_pivot", ParameterValue(0.5, 0.25)},
        {"Blend", ParameterValue(1.0)},
        {"preset_name", ParameterValue("mine")},
        {"audio_status", ParameterValue("idle")},
    };
    const std::string expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<preset>\n"
        "\t<meta effect=\"Velmora\" version=\"1.0\" created=\"2024-05-06T07:08:09\" />\n"
        "\t<parameters>\n"
        "\t\t<param name=\"radius\" type=\"float\" value=\"50\" />\n"
        "\t\t<param name=\"tiny\" type=\"float\" value=\"1e-12\" />\n"
        "\t\t<param name=\"big\" type=\"float\" value=\"123456789.1\" />\n"
        "\t\t<param name=\"half\" type=\"float\" value=\"0.05\" />\n"
        "\t\t<param name=\"passes\" type=\"int\" value=\"3\" />\n"
        "\t\t<param name=\"mode\" type=\"choice\" value=\"2\" />\n"
        "\t\t<param name=\"invert\" type=\"bool\" value=\"true\" />\n"
        "\t\t<param name=\"offset\" type=\"vec2\" value=\"0.1000000015,-2\" />\n"
        "\t\t<param name=\"tint\" type=\"vec3\" value=\"0.1000000015,0.200000003,0.3000000119\" />\n"
        "\t\t<param name=\"position\" type=\"vec3\" value=\"1,2,3\" />\n"
        "\t\t<param name=\"overlay\" type=\"vec4\" value=\"1,0.5,0.25,1\" />\n"
        "\t\t<param name=\"label\" type=\"string\" value=\"a &lt;b> &amp; &quot;c&quot;\" />\n"
        "\t\t<param name=\"file\" type=\"filepath\" value=\"/media/clip.wav\" />\n"
        "\t\t<param name=\"falloff\" type=\"curve\" value=\"\" />\n"
        "\t\t<param name=\"_alpha_source\" type=\"int\" value=\"1\" />\n"
        "\t\t<param name=\"_enabled\" type=\"bool\" value=\"false\" />\n"
        "\t\t<param name=\"_gain\" type=\"float\" value=\"0.5\" />\n"
        "\t\t<param name=\"_note\" type=\"string\" value=\"hi\" />\n"
        "\t\t<param name=\"_pivot\" value=\"\" />\n"
        "\t</parameters>\n"
        "</preset>\n";
    EXPECT_EQ(formatPresetXml("Velmora", "1.0", "2024-05-06T07:08:09", values, parameters), expected);
}

TEST(PresetFile, ParsesEachTypeAndSkipsBadParams) {
    LogCapture log;
    const std::string text = R"(<?xml version="1.0" encoding="UTF-8"?>
<preset>
  <meta effect="Other" version="2.1" created="2024-01-01T00:00:00"/>
  <parameters>
    <param name="radius" type="float" value="12.5"/>
    <param name="broken" type="float" value="abc"/>
    <param name="huge" type="double" value="1e999"/>
    <param name="count" type="int" value="3.7"/>
    <param name="mode" type="choice" value="2"/>
    <param name="flagTrue" type="bool" value="True"/>
    <param name="flagOne" type="bool" value="1"/>
    <param name="flagWord" type="bool" value="true"/>
    <param name="onePiece" type="vec2" value="1"/>
    <param name="threePieces" type="vec2" value="1,2,3"/>
    <param name="badPiece" type="vec2" value="1,x"/>
    <param name="tint" type="color" value="0.1000000015,0.200000003,0.3000000119"/>
    <param name="short4" type="vec4" value="1,2,3"/>
    <param name="rgba" type="color_rgba" value="1,2,3,4"/>
    <param name="label" type="string" value=" as is "/>
    <param name="file" type="filepath" value="C:\a b\c.wav"/>
    <param name="odd" type="curve" value="1"/>
    <param type="float" value="1"/>
    <param name="twice" type="int" value="1"/>
    <param name="twice" type="int" value="2"/>
  </parameters>
</preset>)";
    std::string effect, version;
    PresetValues values = parsePresetXml(text, effect, version);
    EXPECT_EQ(effect, "Other");
    EXPECT_EQ(version, "2.1");

    EXPECT_DOUBLE_EQ(values.at("radius").asDouble(), 12.5);
    EXPECT_EQ(values.at("count").kind(), ParameterValue::Kind::Int);
    EXPECT_EQ(values.at("count").asInt(), 3);
    EXPECT_EQ(values.at("mode").asInt(), 2);
    EXPECT_FALSE(values.at("flagTrue").asBool());
    EXPECT_TRUE(values.at("flagOne").asBool());
    EXPECT_TRUE(values.at("flagWord").asBool());
    expectVector(values.at("threePieces"), ParameterValue::Kind::Vec2, 1, 2);
    expectVector(values.at("tint"), ParameterValue::Kind::Vec3, 0.1f, 0.2f, 0.3f);
    expectVector(values.at("rgba"), ParameterValue::Kind::Vec4, 1, 2, 3, 4);
    EXPECT_EQ(values.at("label").asString(), " as is ");
    EXPECT_EQ(values.at("file").asString(), "C:\\a b\\c.wav");
    EXPECT_EQ(values.at("twice").asInt(), 2);
    for (const char* absent : {"broken", "huge", "onePiece", "badPiece", "short4", "odd", ""}) {
        EXPECT_EQ(values.count(absent), 0u) << absent;
    }
    EXPECT_EQ(values.size(), 12u);

    EXPECT_TRUE(log.contains("[INFO] Failed to parse preset param 'broken': not a number: 'abc'\n"));
    EXPECT_TRUE(log.contains("[INFO] Failed to parse preset param 'huge': number out of range: '1e999'\n"));
    EXPECT_TRUE(log.contains("[INFO] Failed to parse preset param 'badPiece': not a number: 'x'\n"));
    EXPECT_FALSE(log.contains("onePiece"));
}

TEST(PresetFile, UnusableDocumentsGiveEmptyMaps) {
    LogCapture log;
    struct Case {
        const char* text;
        const char* line;
    };
    const Case cases[] = {
        {"<preset><parameters>", "[ERROR] Failed to parse preset XML (from memory)\n"},
        {"", "[ERROR] Failed to parse preset XML (from memory)\n"},
        {"<settings><param name=\"a\" type=\"int\" value=\"1\"/></settings>",
         "[ERROR] Invalid preset XML (no <preset> root)\n"},
    };
    for (const Case& c : cases) {
        std::string effect = "stale", version = "stale";
        EXPECT_TRUE(parsePresetXml(c.text, effect, version).empty()) << c.text;
        EXPECT_TRUE(log.contains(c.line)) << c.line;
        EXPECT_EQ(effect, "");
    }

    // No <meta>: values load, effect and version stay empty.
    std::string effect, version;
    PresetValues values = parsePresetXml(
        "<preset><parameters><param name=\"a\" type=\"int\" value=\"4\"/></parameters></preset>", effect,
        version);
    EXPECT_EQ(values.at("a").asInt(), 4);
    EXPECT_EQ(effect, "");
}

TEST(PresetFile, LogLinesCannotBeForgedThroughNames) {
    LogCapture log;
    std::string effect, version;
    parsePresetXml(
        "<preset><parameters><param name=\"x&#10;[ERROR] fake\" type=\"float\" value=\"no\"/>"
        "</parameters></preset>",
        effect, version);
    EXPECT_TRUE(log.contains("Failed to parse preset param 'x?[ERROR] fake'"));
    EXPECT_FALSE(log.contains("\n[ERROR] fake"));
}
