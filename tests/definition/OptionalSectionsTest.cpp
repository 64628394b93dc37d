#include <cmath>

#include "DefinitionTestSupport.h"

namespace {

class OptionalSectionsTest : public LoggedTest {
  protected:
    bool parse(XMLEffectDefinition& definition, const std::string& body) {
        return definition.parse(effectDocument(body).c_str());
    }
};

TEST_F(OptionalSectionsTest, ResourceTexturesAreRepaired) {
    XMLEffectDefinition definition;
    ASSERT_TRUE(parse(definition, R"(<resources>
        <texture name="a" file="a.png" channels="0" sampler="cubic" wrap="border"/>
        <texture name="b" file="b.png" channels="7" sampler="nearest" wrap="repeat"/>
        <texture name="c" file="c.png" channels="1"/>
    </resources>)"));
    const auto& textures = definition.getResourceTextures();
    ASSERT_EQ(textures.size(), 3u);
    EXPECT_EQ(textures[0].channels, 4);
    EXPECT_EQ(textures[0].sampler, "linear");
    EXPECT_EQ(textures[0].wrap, "mirror");
    EXPECT_EQ(textures[1].channels, 4);
    EXPECT_EQ(textures[1].sampler, "nearest");
    EXPECT_EQ(textures[1].wrap, "repeat");
    EXPECT_EQ(textures[2].channels, 1);
    EXPECT_TRUE(logged("[INFO] Resource 'a': invalid sampler 'cubic', using 'linear'"));
    EXPECT_TRUE(logged("[INFO] Resource 'a': invalid wrap 'border', using 'mirror'"));
    EXPECT_TRUE(logged("[INFO] Resource 'b': invalid channels 7, using 4"));
    EXPECT_TRUE(
        logged("[INFO] Resource parsed - name: c, file: c.png, channels: 1, sampler: linear, wrap: mirror"));
    EXPECT_TRUE(logged("[INFO] Parsed 3 bundled resources"));
}

TEST_F(OptionalSectionsTest, BuffersAndTheirChecks) {
    XMLEffectDefinition definition;
    ASSERT_TRUE(parse(definition, R"(<accumulation_buffers><buffer name="acc"/>
        <buffer name="trail" strobe_param="s" source_process="p"/></accumulation_buffers>
        <device_buffers><buffer name="pts" type="float2" count="param:n"/></device_buffers>)"));
    ASSERT_EQ(definition.getAccumulationBuffers().size(), 2u);
    EXPECT_EQ(definition.getAccumulationBuffers()[1].source_process, "p");
    ASSERT_EQ(definition.getDeviceBuffers().size(), 1u);
    EXPECT_EQ(definition.getDeviceBuffers()[0].count, "param:n");
    EXPECT_TRUE(logged("[INFO]   Accumulation buffer: 'acc'"));
    EXPECT_TRUE(logged("[INFO]   Accumulation buffer: 'trail' (strobe_param='s', source_process='p')"));
    EXPECT_TRUE(logged("[INFO]   Device buffer: 'pts' (type=float2, count=param:n)"));

    std::string nine;
    for (int i = 0; i < 9; ++i)
        nine += "<buffer name=\"b" + std::to_string(i) + "\" type=\"int\" count=\"4\"/>";
    const std::string fail = "[ERROR] Failed to parse embedded XML: ";
    const struct {
        std::string body;
        std::string message;
    } failures[] = {
        {"<accumulation_buffers><buffer name=\"a\"/><buffer name=\"a\"/></accumulation_buffers>",
         "Duplicate accumulation buffer name: a"},
        {"<accumulation_buffers><buffer/></accumulation_buffers>",
         "Accumulation buffer must have a name attribute"},
        {"<device_buffers><buffer type=\"double\"/></device_buffers>",
         "Device buffer must have a name attribute"},
        {"<device_buffers><buffer name=\"d\" count=\"1\"/></device_buffers>",
         "Device buffer 'd' must have a type attribute"},
        {"<device_buffers><buffer name=\"d\" type=\"double\"/></device_buffers>",
         "Device buffer 'd' has invalid type 'double'. Valid types: float, float2, float3, float4, int, "
         "uint32, uint64"},
        {"<device_buffers><buffer name=\"d\" type=\"int\" count=\"1\"/><buffer name=\"d\" "
         "type=\"int\"/></device_buffers>",
         "Device buffer 'd' must have a count attribute"},
        {"<device_buffers><buffer name=\"d\" type=\"int\" count=\"1\"/><buffer name=\"d\" type=\"int\" "
         "count=\"2\"/>"
         "</device_buffers>",
         "Duplicate device buffer name: d"},
        {"<resources><texture file=\"f\"/></resources>", "Resource texture must have a name attribute"},
        {"<resources><texture name=\"n\"/></resources>", "Resource texture must have a file attribute"},
        {"<device_buffers>" + nine + "</device_buffers>", "Too many device buffers (9). Maximum is 8"},
    };
    for (const auto& c : failures) {
        PluginLog::instance().switchEffect("deftest");
        XMLEffectDefinition failing;
        EXPECT_FALSE(parse(failing, c.body)) << c.message;
        EXPECT_TRUE(logged(fail + c.message)) << logText();
    }
    // The too-many check (last case) comes after every buffer was read.
    EXPECT_TRUE(logged("[INFO]   Device buffer: 'b8' (type=int, count=4)"));
}

TEST_F(OptionalSectionsTest, AudioReactiveTargets) {
    const std::string params = R"(<parameters><parameter name="gain" type="float"/></parameters>)";
    XMLEffectDefinition none;
    ASSERT_TRUE(parse(none, params + R"(<audio_reactive slots="0"><target name="gain"/></audio_reactive>)"));
    EXPECT_EQ(none.getAudioSlotCount(), 0);
    EXPECT_TRUE(none.getAudioTargets().empty());
    EXPECT_TRUE(logged("[INFO]   <audio_reactive> has no slots (slots=0)"));

    XMLEffectDefinition negative;
    ASSERT_TRUE(parse(negative, R"(<audio_reactive slots="-3"/>)"));
    EXPECT_EQ(negative.getAudioSlotCount(), 0);

    XMLEffectDefinition two;
    ASSERT_TRUE(parse(two, params + R"(<audio_reactive slots="2"><target name="ghost"/><target/>
        <target name="gain"/></audio_reactive>)"));
    EXPECT_EQ(two.getAudioSlotCount(), 2);
    EXPECT_EQ(two.getAudioTargets(), std::vector<std::string>{"gain"});
    EXPECT_TRUE(logged("[INFO]   Audio reactive target 'ghost' not found in <parameters> \u2014 skipping"));
    EXPECT_TRUE(logged("[INFO]   Skipping <target> with no name attribute"));
    EXPECT_TRUE(logged("[INFO] Parsed audio_reactive: 2 slots, 1 targets"));
}

TEST_F(OptionalSectionsTest, OverlaysKeptDroppedAndNested) {
    XMLEffectDefinition definition;
    ASSERT_TRUE(parse(definition, R"(<overlays coordinates="centered_aspect">
        <point style="Target"/>
        <line center="c" angle="ang"/>
        <point param="pos" fixed_x="0.25" label="P">
          <radius param="r" center="pos"/><ellipse param="e"/><vector direction="d"><scale2d param="s"/></vector>
        </point>
        <spiral param="x"/>
        <qualifier param="q"/>
    </overlays>)"));
    EXPECT_EQ(definition.getOverlayCoordinates(), OverlayCoordinates::CenteredAspect);
    const auto& overlays = definition.getOverlays();
    ASSERT_EQ(overlays.size(), 3u);
    EXPECT_EQ(overlays[0].type, OverlayDefinition::Line);
    EXPECT_EQ(overlays[0].center, "c");
    EXPECT_EQ(overlays[0].style, "crosshair");
    EXPECT_FLOAT_EQ(overlays[0].fixed_magnitude, 0.1f);
    EXPECT_FALSE(overlays[0].color.set);
    const OverlayDefinition& point = overlays[1];
    EXPECT_FLOAT_EQ(point.fixed_x, 0.25f);
    ASSERT_EQ(point.subOverlays.size(), 2u);
    EXPECT_EQ(point.subOverlays[0].type, OverlayDefinition::Radius);
    EXPECT_EQ(point.subOverlays[1].type, OverlayDefinition::Vector);
    ASSERT_EQ(point.subOverlays[1].subOverlays.size(), 1u);
    EXPECT_EQ(overlays[2].type, OverlayDefinition::Qualifier);
    EXPECT_TRUE(logged("[INFO] Unknown overlay type 'spiral', skipping"));
    EXPECT_TRUE(logged("[INFO] Overlay coordinate system: centered_aspect (aspect-corrected)"));
    EXPECT_TRUE(logged("[INFO] Parsed overlay: type=line, param=, style=crosshair"));
    EXPECT_TRUE(logged("[INFO] Parsed 3 overlays"));
}

TEST_F(OptionalSectionsTest, OverlayColours) {
    const struct {
        const char* text;
        float red, green, blue;
        bool set;
    } cases[] = {
        {"", 1, 1, 1, false},
        {"#f80", 1, 0x88 / 255.0f, 0, true},
        {"#ff8800", 1, 0x88 / 255.0f, 0, true},
        {"#12zz56", 0x12 / 255.0f, 1, 1, true},
        {"#1z3", 1, 1, 1, true},
        {"#12345", 1, 1, 1, true},
        {"0.2,0.4", 0.2f, 0.4f, 1, true},
        {"0.1, 0.2, 0.3", 0.1f, 0.2f, 0.3f, true},
        {"Red", 1, 0, 0, true},
        {"GREY", 0.5f, 0.5f, 0.5f, true},
        {"orange", 1, 0.5f, 0, true},
        {"teal", 1, 1, 1, true},
    };
    // The same in a host process whose locale writes numbers with a decimal comma.
    for (const char* locale : {"C", kDecimalCommaLocale}) {
        const ScopedLocale scoped(locale);
        ASSERT_TRUE(scoped.active()) << locale << ": " << kMissingLocaleHint;
        for (const auto& c : cases) {
            XMLEffectDefinition definition;
            ASSERT_TRUE(parse(definition, std::string("<overlays><point param=\"p\" color=\"") + c.text +
                                              "\" fixed_x=\"0.25\"/></overlays>"));
            const OverlayDefinition& overlay = definition.getOverlays().at(0);
            const OverlayColor& color = overlay.color;
            EXPECT_NEAR(color.red, c.red, 1e-6) << c.text << " in " << locale;
            EXPECT_NEAR(color.green, c.green, 1e-6) << c.text << " in " << locale;
            EXPECT_NEAR(color.blue, c.blue, 1e-6) << c.text << " in " << locale;
            EXPECT_EQ(color.set, c.set) << c.text;
            EXPECT_FLOAT_EQ(overlay.fixed_x, 0.25f) << locale;
        }
    }
    EXPECT_TRUE(logged("[INFO] Unknown overlay color 'teal', using white"));
}

}  // namespace
