// Overlays through our host, as a viewer drives them: the overlay test effects (and test
// definitions) loaded like any plug-in, their interacts drawn, dragged and keyed.
#include <gtest/gtest.h>

#include <memory>

#include "HostError.h"
#include "InstanceTestSupport.h"
#include "Overlay.h"
#include "ofxDrawSuite.h"
#include "ofxKeySyms.h"

namespace {

using namespace velmora_test;

constexpr OfxPointD kUnitScale{1.0, 1.0};

// An instance of a bundle in a host that shows overlays (Flame: overlays, the draw suite and the
// "Show Overlays" switch), its Source a grey picture of the given size.
struct OverlayTestInstance {
    TestFolders folders;
    std::unique_ptr<LiveInstance> live;

    explicit OverlayTestInstance(const std::string& bundle, int width = 640, int height = 360,
                                 const std::string& host = "flame",
                                 std::function<void(vhost::HostIdentity&)> adjust = {},
                                 const std::string& definition = "") {
        if (!definition.empty()) folders.useDefinition(definition);
        InstanceOptions options;
        options.bundle = bundle;
        options.host = host;
        options.adjustHost = std::move(adjust);
        live = openInstance(options);
        (*live)->connectClip("Source", greyImage(width, height));
    }
    vhost::Instance& instance() { return *live->instance; }
    std::vector<double> vec2(const std::string& name) {
        return std::get<std::vector<double>>(instance().value(name));
    }
};

std::vector<vhost::DrawRecord> recordsOf(const std::vector<vhost::DrawRecord>& records,
                                         const std::string& op) {
    std::vector<vhost::DrawRecord> out;
    for (const auto& r : records)
        if (r.op == op) out.push_back(r);
    return out;
}

TEST(OverlayInteract, ShowcaseDrawsEveryDeclaredOverlayThroughTheDrawSuite) {
    OverlayTestInstance fx(VELMORA_OVERLAY_SHOWCASE_BUNDLE);
    ASSERT_TRUE(vhost::Overlay::available(fx.instance()));
    vhost::Overlay overlay(fx.instance());
    ASSERT_EQ(overlay.draw(1.0, {2.0, 2.0}), kOfxStatOK);
    const auto& calls = overlay.lastDraw();

    std::vector<std::string> labels;
    for (const auto& text : recordsOf(calls, "drawText")) {
        labels.push_back(text.text);
        EXPECT_EQ(text.code,
                  kOfxDrawTextAlignmentLeft | kOfxDrawTextAlignmentRight | kOfxDrawTextAlignmentTop);
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"Spot", "Radius", "Box", "Level", "Wind", "Oval", "Horizon",
                                                "target", "cross", "diamond", "axis", "dot", "sun"}));
    // The first overlay: yellow, width 2, solid, its crosshair 30 canonical units to each side at
    // pixel scale 2 around spot_center (0.3, 0.55) of the 640 x 360 Source.
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls[0].op, "setColour");
    EXPECT_EQ(calls[0].values, (std::vector<double>{1, 1, 0, 1}));
    EXPECT_EQ(calls[1].op, "setLineWidth");
    EXPECT_EQ(calls[1].values, (std::vector<double>{2}));
    EXPECT_EQ(calls[2].op, "setLineStipple");
    EXPECT_EQ(calls[2].code, kOfxDrawLineStipplePatternSolid);
    EXPECT_EQ(calls[3].op, "draw");
    EXPECT_EQ(calls[3].code, kOfxDrawPrimitiveLines);
    ASSERT_EQ(calls[3].values.size(), 8u);
    EXPECT_NEAR(calls[3].values[0], 192.0 - 30.0, 1e-9);
    EXPECT_NEAR(calls[3].values[1], 198.0, 1e-9);
    int ellipses = 0, rectangles = 0;
    for (const auto& d : recordsOf(calls, "draw")) {
        ellipses += d.code == kOfxDrawPrimitiveEllipse;
        rectangles += d.code == kOfxDrawPrimitiveRectangle;
        if (d.code != kOfxDrawPrimitiveLines) {
            EXPECT_EQ(d.values.size(), 4u) << "two corners";
        }
    }
    EXPECT_EQ(rectangles, 1 + 3 + 1) << "radius handle, scale handles, slider handle";
    EXPECT_GE(ellipses, 8);

    fx.instance().setParam("show_markers", false);
    ASSERT_EQ(overlay.draw(1.0), kOfxStatOK);
    EXPECT_EQ(recordsOf(overlay.lastDraw(), "drawText").size(), 8u)
        << "five markers hidden by their condition";
}

TEST(OverlayInteract, DraggingAPointWritesItsParameterInOneUndoStep) {
    OverlayTestInstance fx(VELMORA_OVERLAY_SHOWCASE_BUNDLE);
    vhost::Overlay overlay(fx.instance());
    ASSERT_EQ(overlay.draw(1.0), kOfxStatOK);
    ASSERT_EQ(overlay.penDown(1.0, {195.0, 190.0}), kOfxStatOK);
    ASSERT_EQ(overlay.penMotion(1.0, {256.0, 90.0}), kOfxStatOK);
    ASSERT_EQ(overlay.penMotion(1.0, {320.0, 180.0}), kOfxStatOK);
    ASSERT_EQ(overlay.penUp(1.0, {320.0, 180.0}), kOfxStatOK);
    EXPECT_EQ(fx.vec2("spot_center"), (std::vector<double>{0.5, 0.5}));

    const auto& blocks = fx.instance().object().params().undoBlocks();
    ASSERT_FALSE(blocks.empty());
    EXPECT_EQ(blocks.back().label, "Drag spot_center");
    EXPECT_FALSE(blocks.back().open);
    ASSERT_TRUE(fx.instance().undo());
    EXPECT_EQ(fx.vec2("spot_center"), (std::vector<double>{0.3, 0.55}));

    EXPECT_EQ(overlay.penDown(1.0, {600.0, 10.0}), kOfxStatReplyDefault) << "nothing there";
    EXPECT_EQ(overlay.penUp(1.0, {600.0, 10.0}), kOfxStatReplyDefault);
}

TEST(OverlayInteract, DraggingTheVectorAndTheLineStraightDown) {
    OverlayTestInstance fx(VELMORA_OVERLAY_SHOWCASE_BUNDLE);
    fx.instance().setParam("wind_direction", 0.0);
    vhost::Overlay overlay(fx.instance());
    ASSERT_EQ(overlay.draw(1.0), kOfxStatOK);
    // The wind arrow starts at (352, 79.2) and is 54 long.
    ASSERT_EQ(overlay.penDown(1.0, {400.0, 80.0}), kOfxStatOK);
    overlay.penMotion(1.0, {352.0, 20.0});
    overlay.penUp(1.0, {352.0, 20.0});
    EXPECT_NEAR(std::get<double>(fx.instance().value("wind_direction")), 270.0, 1e-6);
    EXPECT_NEAR(std::get<double>(fx.instance().value("wind_strength")), 59.2 / 360.0, 1e-6);
    EXPECT_EQ(fx.instance().object().params().undoBlocks().back().label, "Drag vector");

    // The horizon runs through (320, 324); pressing on it away from its centre rotates it.
    ASSERT_EQ(overlay.penDown(1.0, {520.0, 310.0}), kOfxStatOK);
    overlay.penMotion(1.0, {320.0, 100.0});
    overlay.penUp(1.0, {320.0, 100.0});
    EXPECT_NEAR(std::get<double>(fx.instance().value("horizon_angle")), -90.0, 1e-6);
    EXPECT_EQ(fx.instance().object().params().undoBlocks().back().label, "Rotate line");
}

TEST(OverlayInteract, ShowOverlaysOffDrawsNothingAndDropsADragInProgress) {
    OverlayTestInstance fx(VELMORA_OVERLAY_SHOWCASE_BUNDLE);
    vhost::Overlay overlay(fx.instance());
    ASSERT_EQ(overlay.draw(1.0), kOfxStatOK);
    ASSERT_EQ(overlay.penDown(1.0, {192.0, 198.0}), kOfxStatOK);

    fx.instance().setParam("show_overlays", false);
    EXPECT_EQ(overlay.draw(1.0), kOfxStatReplyDefault);
    EXPECT_TRUE(overlay.lastDraw().empty());
    EXPECT_EQ(overlay.penMotion(1.0, {320.0, 180.0}), kOfxStatReplyDefault);
    EXPECT_EQ(overlay.penUp(1.0, {320.0, 180.0}), kOfxStatReplyDefault);
    EXPECT_EQ(overlay.penDown(1.0, {192.0, 198.0}), kOfxStatReplyDefault);
    EXPECT_EQ(fx.vec2("spot_center"), (std::vector<double>{0.3, 0.55}));
    EXPECT_FALSE(fx.instance().object().params().undoBlocks().back().open)
        << "the dropped drag closed its block";

    fx.instance().setParam("show_overlays", true);
    EXPECT_EQ(overlay.draw(1.0), kOfxStatOK);
    EXPECT_EQ(overlay.penMotion(1.0, {320.0, 180.0}), kOfxStatReplyDefault) << "the drag stays dropped";
}

TEST(OverlayInteract, TapKeysSetOneKeyframePerPressAndKeepTheirKeysFromTheHost) {
    OverlayTestInstance fx(VELMORA_OVERLAY_SHOWCASE_BUNDLE);
    auto overlay = std::make_unique<vhost::Overlay>(fx.instance());
    EXPECT_EQ(overlay->keyDown(10.0, kOfxKey_F2), kOfxStatReplyDefault)
        << "no overlay objects before the first draw";
    ASSERT_EQ(overlay->draw(10.0), kOfxStatOK);

    EXPECT_EQ(overlay->keyDown(10.0, kOfxKey_F2), kOfxStatOK);
    EXPECT_EQ(overlay->keyDown(10.5, kOfxKey_F2), kOfxStatOK)
        << "the second press within 100 ms is still consumed";
    EXPECT_EQ(fx.instance().param("audio_tap_track_2").keyTimes(), (std::vector<double>{10.0}));
    EXPECT_EQ(std::get<double>(fx.instance().valueAt("audio_tap_track_2", 10.0)), 1.0);
    EXPECT_EQ(fx.instance().object().params().undoBlocks().back().label, "Tap");

    EXPECT_EQ(overlay->keyUp(10.5, kOfxKey_F2), kOfxStatOK);
    EXPECT_EQ(overlay->keyRepeat(10.5, kOfxKey_2), kOfxStatOK);
    EXPECT_EQ(overlay->keyDown(11.0, kOfxKey_a), kOfxStatReplyDefault);
    EXPECT_EQ(overlay->keyUp(11.0, kOfxKey_a), kOfxStatReplyDefault);
    EXPECT_EQ(overlay->keyRepeat(11.0, kOfxKey_F5), kOfxStatReplyDefault);

    EXPECT_EQ(overlay->keyDown(12.0, kOfxKey_F3), kOfxStatOK);
    EXPECT_EQ(fx.instance().param("audio_tap_track_3").keyTimes(), (std::vector<double>{12.0}));
    overlay.reset();
    fx.live->close();
    EXPECT_NE(fx.folders.logText().find("[ERROR] Tap 2: keyframe at t=10.000 (gap=0ms)"), std::string::npos);
}

TEST(OverlayInteract, AHostWithoutOverlaySupportGetsNoInteract) {
    OverlayTestInstance fx(VELMORA_OVERLAY_SHOWCASE_BUNDLE, 64, 36, "flame",
                           [](vhost::HostIdentity& id) { id.supportsOverlays = false; });
    EXPECT_FALSE(vhost::Overlay::available(fx.instance()));
    EXPECT_THROW(vhost::Overlay overlay(fx.instance()), vhost::HostError);
}

TEST(OverlayInteract, AHostWithoutTheDrawSuiteGetsNoDrawingButStillDrags) {
    OverlayTestInstance fx(VELMORA_OVERLAY_SHOWCASE_BUNDLE, 640, 360, "flame",
                           [](vhost::HostIdentity& id) { id.drawSuite = false; });
    vhost::Overlay overlay(fx.instance());
    EXPECT_EQ(overlay.draw(1.0), kOfxStatReplyDefault);
    EXPECT_TRUE(overlay.lastDraw().empty());
    EXPECT_EQ(overlay.penDown(1.0, {192.0, 198.0}), kOfxStatOK);
    EXPECT_EQ(overlay.penMotion(1.0, {320.0, 180.0}), kOfxStatOK);
    EXPECT_EQ(overlay.penUp(1.0, {320.0, 180.0}), kOfxStatOK);
    EXPECT_EQ(fx.vec2("spot_center"), (std::vector<double>{0.5, 0.5}));
}

TEST(OverlayInteract, TheCenterPointEffectGetsTheSinglePointInteract) {
    OverlayTestInstance fx(VELMORA_CENTER_POINT_BUNDLE, 200, 100);
    vhost::Overlay overlay(fx.instance());
    ASSERT_EQ(overlay.draw(1.0, {2.0, 1.0}), kOfxStatOK);
    auto calls = overlay.lastDraw();
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_EQ(calls[0].values, (std::vector<double>{1, 1, 1, 1}));
    EXPECT_EQ(calls[1].values, (std::vector<double>{2}));
    EXPECT_EQ(calls[3].values, (std::vector<double>{70, 50, 130, 50, 100, 35, 100, 65}));
    EXPECT_EQ(calls[4].values, (std::vector<double>{79, 39.5, 121, 60.5}));
    EXPECT_EQ(calls[5].text, "center");
    EXPECT_EQ(calls[5].values, (std::vector<double>{100, 27.5}));

    EXPECT_EQ(overlay.penDown(1.0, {116.0, 50.0}), kOfxStatReplyDefault) << "16 away: outside the point";
    ASSERT_EQ(overlay.penDown(1.0, {110.0, 55.0}), kOfxStatOK);
    const int redrawsBefore = fx.live->fx.host->records().redraws();
    ASSERT_EQ(overlay.penMotion(1.0, {150.0, 75.0}), kOfxStatOK);
    EXPECT_EQ(fx.vec2("center"), (std::vector<double>{0.75, 0.75}));
    EXPECT_GT(fx.live->fx.host->records().redraws(), redrawsBefore);
    ASSERT_EQ(overlay.draw(1.0), kOfxStatOK);
    EXPECT_EQ(overlay.lastDraw()[0].values, (std::vector<double>{0, 1, 0, 1})) << "green while dragged";
    overlay.loseFocus(1.0);
    ASSERT_EQ(overlay.draw(1.0), kOfxStatOK);
    EXPECT_EQ(overlay.lastDraw()[0].values, (std::vector<double>{1, 1, 1, 1}));
    EXPECT_EQ(overlay.penUp(1.0, {150.0, 75.0}), kOfxStatReplyDefault) << "losing focus ended the drag";
}

TEST(OverlayInteract, DeclaredOverlaysWinOverACenterParameter) {
    const std::string definition = testDefinition(R"(<inputs><source name="Source"/></inputs>
        <parameters><parameter name="center" type="vec2" default="0.5,0.5"/></parameters>
        <overlays coordinates="centered"><point param="center" style="dot" label="C"/></overlays>)");
    OverlayTestInstance fx(VELMORA_TEST_BUNDLE, 200, 100, "flame", {}, definition);
    vhost::Overlay overlay(fx.instance());
    ASSERT_EQ(overlay.draw(1.0), kOfxStatOK);
    const auto texts = recordsOf(overlay.lastDraw(), "drawText");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "C");
    // (0.5, 0.5) in centered coordinates is the top-right corner.
    EXPECT_EQ(recordsOf(overlay.lastDraw(), "draw")[0].values, (std::vector<double>{194, 94, 206, 106}));
}

TEST(OverlayInteract, ADefinitionWithOnlyAQualifierDrawsNothing) {
    const std::string definition = testDefinition(R"(<inputs><source name="Source"/></inputs>
        <parameters><parameter name="spot" type="vec2" default="0.5,0.5"/></parameters>
        <overlays><qualifier param="spot"/></overlays>)");
    OverlayTestInstance fx(VELMORA_TEST_BUNDLE, 200, 100, "flame", {}, definition);
    auto overlay = std::make_unique<vhost::Overlay>(fx.instance());
    EXPECT_EQ(overlay->draw(1.0), kOfxStatReplyDefault);
    EXPECT_EQ(overlay->penDown(1.0, {100.0, 50.0}), kOfxStatReplyDefault);
    overlay.reset();
    fx.live->close();
    EXPECT_NE(fx.folders.logText().find("OverlayManager created with 0 overlays"), std::string::npos);
}

TEST(OverlayTestEffects, TheShowcaseKernelLightsTheSpotAndDimsTheRest) {
    OverlayTestInstance fx(VELMORA_OVERLAY_SHOWCASE_BUNDLE, 160, 90);
    auto output = std::make_shared<vhost::Image>(160, 90);
    fx.instance().connectClip(kOfxImageEffectOutputClipName, output);
    ASSERT_EQ(fx.instance().render(1.0, OfxRectI{0, 0, 160, 90}), kOfxStatOK);
    // spot_center (0.3, 0.55) is pixel (48, 49); the radius is 0.2 x 90 = 18 pixels.
    EXPECT_NEAR(output->pixel(48, 49)[0], 0.5f, 1e-4);
    EXPECT_NEAR(output->pixel(48 + 15, 49)[1], 0.5f, 1e-4);
    EXPECT_NEAR(output->pixel(48 + 21, 49)[0], 0.5f * 0.33f, 1e-4);
    EXPECT_NEAR(output->pixel(150, 5)[2], 0.5f * 0.33f, 1e-4);
    EXPECT_NEAR(output->pixel(150, 5)[3], 1.0f, 1e-6);
}

}  // namespace
