// The overlay manager on its own: objects made from declarations, drawing order, which overlay
// takes the pen, the show-overlays switch, the audio monitor's share, and the tap keys.
#include <gtest/gtest.h>

#include "OverlayTestDoubles.h"
#include "ofxKeySyms.h"
#include "overlays/OverlayManager.h"

namespace {

using namespace overlay_test;
using OFX::OverlayManager;

OFX::OverlayPenArgs pen(double x, double y, double time = 0.0) {
    return OFX::OverlayPenArgs{time, OverlayPoint{x, y}, OverlayPoint{1.0, 1.0}};
}

OverlayDefinition declare(int type, const std::string& param, const std::string& label = "") {
    OverlayDefinition d;
    d.type = type;
    d.param = param;
    d.label = label;
    return d;
}

TEST(OverlayManager, MakesOneObjectPerDrawableDeclarationAndDrawsThemInOrder) {
    FakeParamHost host;
    host.vec2s = {{"a", {0.25, 0.5}}, {"b", {0.75, 0.5}}};
    OverlayDefinition line = declare(OverlayDefinition::Line, "");
    line.center = "a";
    OverlayDefinition withSub = declare(OverlayDefinition::Point, "b", "second");
    withSub.subOverlays.push_back(declare(OverlayDefinition::Radius, "r"));
    OverlayManager manager(&host,
                           {declare(OverlayDefinition::Point, "a", "first"),
                            declare(OverlayDefinition::Qualifier, "a"), withSub, line},
                           OverlayCoordinates::Uv);
    EXPECT_EQ(manager.overlayCount(), 3u) << "the qualifier and the sub-overlay make no objects";
    RecordingSurface surface;
    EXPECT_TRUE(manager.draw(surface, OFX::OverlayDrawArgs{}));
    const auto texts = surface.of("text");
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].text, "first");
    EXPECT_EQ(texts[1].text, "second");

    OverlayManager onlyQualifier(&host, {declare(OverlayDefinition::Qualifier, "a")}, OverlayCoordinates::Uv);
    RecordingSurface nothing;
    EXPECT_EQ(onlyQualifier.overlayCount(), 0u);
    EXPECT_FALSE(onlyQualifier.draw(nothing, OFX::OverlayDrawArgs{}));
}

TEST(OverlayManager, DeclaredColourLabelVisibilityAndCoordinatesReachTheObjects) {
    FakeParamHost host;
    host.vec2s["p"] = {0.0, 0.0};
    host.booleans["shown"] = true;
    OverlayDefinition d = declare(OverlayDefinition::Point, "p", "Spot");
    d.color = OverlayColor{1.0f, 0.0f, 0.0f, true};
    d.visible_when = "shown";
    OverlayManager manager(&host, {d}, OverlayCoordinates::Centered);
    RecordingSurface surface;
    ASSERT_TRUE(manager.draw(surface, OFX::OverlayDrawArgs{}));
    EXPECT_EQ(surface.of("colour")[0].values, (std::vector<double>{1, 0, 0, 1}));
    EXPECT_EQ(surface.of("text")[0].text, "Spot");
    EXPECT_EQ(surface.of("ellipse")[0].values, (std::vector<double>{89.5, 39.5, 110.5, 60.5}))
        << "(0, 0) centered is the middle of the 200 x 100 image";
    host.booleans["shown"] = false;
    RecordingSurface hidden;
    EXPECT_TRUE(manager.draw(hidden, OFX::OverlayDrawArgs{}));
    EXPECT_TRUE(hidden.calls.empty());
}

TEST(OverlayManager, TheLaterDeclaredOfTwoOverlappingOverlaysTakesThePen) {
    FakeParamHost host;
    host.vec2s = {{"under", {0.5, 0.5}}, {"over", {0.5, 0.5}}};
    OverlayManager manager(
        &host, {declare(OverlayDefinition::Point, "under"), declare(OverlayDefinition::Point, "over")},
        OverlayCoordinates::Uv);
    ASSERT_TRUE(manager.penDown(pen(100, 50)));
    EXPECT_TRUE(manager.penMotion(pen(150, 75)));
    EXPECT_TRUE(manager.penUp(pen(150, 75)));
    EXPECT_EQ(host.vec2s["over"].x, 0.75);
    EXPECT_EQ(host.vec2s["under"].x, 0.5);
    EXPECT_EQ(manager.activeOverlay(), nullptr);
    EXPECT_FALSE(manager.penDown(pen(10, 10))) << "nothing there";
    EXPECT_FALSE(manager.penMotion(pen(20, 20)));
    EXPECT_FALSE(manager.penUp(pen(20, 20)));
}

TEST(OverlayManager, ShowOverlaysOffDrawsNothingRefusesPensAndDropsADrag) {
    FakeParamHost host;
    host.vec2s["p"] = {0.5, 0.5};
    host.booleans["show_overlays"] = true;
    OverlayManager manager(&host, {declare(OverlayDefinition::Point, "p")}, OverlayCoordinates::Uv);
    ASSERT_TRUE(manager.penDown(pen(100, 50)));

    host.booleans["show_overlays"] = false;
    RecordingSurface surface;
    EXPECT_FALSE(manager.draw(surface, OFX::OverlayDrawArgs{}));
    EXPECT_TRUE(surface.calls.empty());
    EXPECT_FALSE(manager.penMotion(pen(150, 75)));
    EXPECT_EQ(manager.activeOverlay(), nullptr);
    EXPECT_EQ(host.vec2s["p"].x, 0.5) << "the dropped drag wrote nothing";
    EXPECT_EQ(host.openBlocks, 0) << "and closed its undo block";
    EXPECT_FALSE(manager.penDown(pen(100, 50)));

    host.booleans["show_overlays"] = true;
    EXPECT_FALSE(manager.penMotion(pen(150, 75))) << "the drag does not come back";
    EXPECT_EQ(host.vec2s["p"].x, 0.5);
}

TEST(OverlayManager, TheAudioMonitorHidesOverlaysAndTakesClicksFirst) {
    FakeParamHost host;
    host.vec2s["p"] = {0.5, 0.5};
    FakeEffect effect;
    OverlayManager manager(&host, {declare(OverlayDefinition::Point, "p")}, OverlayCoordinates::Uv, &effect);
    RecordingSurface surface;
    effect.monitorShown = true;
    EXPECT_FALSE(manager.draw(surface, OFX::OverlayDrawArgs{}));
    EXPECT_TRUE(surface.calls.empty());

    effect.monitorTakesClicks = true;
    EXPECT_TRUE(manager.penDown(pen(100, 50)));
    EXPECT_EQ(manager.activeOverlay(), nullptr) << "the monitor consumed the click";
    effect.monitorTakesClicks = false;
    EXPECT_TRUE(manager.penDown(pen(100, 50)));
    EXPECT_NE(manager.activeOverlay(), nullptr);
    EXPECT_EQ(effect.monitorClicks, 2);
}

struct TapFixture : testing::Test {
    FakeParamHost host;
    FakeEffect effect;
    int64_t now = 5'000'000'000;
    std::unique_ptr<OverlayManager> manager;

    void SetUp() override {
        for (int n = 1; n <= 4; ++n) host.doubles["audio_tap_track_" + std::to_string(n)] = 0.0;
        manager = std::make_unique<OverlayManager>(&host, std::vector<OverlayDefinition>{},
                                                   OverlayCoordinates::Uv, &effect);
        manager->setClock([this] { return now; });
    }
    bool press(int key, double time) { return manager->keyDown(OFX::OverlayKeyArgs{time, key}); }
};

TEST_F(TapFixture, F2TwiceWithinTheDebounceKeysOnceAndConsumesBoth) {
    EXPECT_TRUE(press(kOfxKey_F2, 10.0));
    now += 99'000'000;
    EXPECT_TRUE(press(kOfxKey_F2, 10.5));
    EXPECT_EQ(host.keys["audio_tap_track_2"], (std::map<double, double>{{10.0, 1.0}}));
    EXPECT_EQ(host.log, (std::vector<std::string>{"begin:Tap", "key audio_tap_track_2", "end"}));
    TapRecord record;
    ASSERT_TRUE(effect.taps.copy(2, record));
    EXPECT_EQ(record.tapTime, 10.0);
    EXPECT_EQ(record.steadyNanos, 5'000'000'000);

    now += 51'000'000;  // 150 ms after the accepted press
    EXPECT_TRUE(press(kOfxKey_2, 12.0));
    EXPECT_EQ(host.keys["audio_tap_track_2"].size(), 2u);
    ASSERT_TRUE(effect.taps.copy(2, record));
    EXPECT_EQ(record.tapTime, 12.0);
}

TEST_F(TapFixture, EachTrackHasItsKeysAndItsOwnDebounce) {
    const std::vector<std::pair<int, int>> keys = {
        {kOfxKey_F1, 1}, {kOfxKey_3, 3}, {kOfxKey_F4, 4}, {kOfxKey_F3, 3}};
    for (const auto& [key, track] : keys) EXPECT_TRUE(press(key, 7.0)) << track;
    EXPECT_EQ(host.keys["audio_tap_track_1"].size(), 1u);
    EXPECT_EQ(host.keys["audio_tap_track_3"].size(), 1u) << "F3 right after 3 is debounced";
    EXPECT_EQ(host.keys["audio_tap_track_4"].size(), 1u);
    EXPECT_EQ(host.keys.count("audio_tap_track_2"), 0u);
    EXPECT_FALSE(press(kOfxKey_F5, 7.0));
    EXPECT_FALSE(press('a', 7.0));
    EXPECT_EQ(OverlayManager::tapTrackForKey(kOfxKey_F5), 0);
}

TEST_F(TapFixture, WithoutTheTapParameterThePressIsConsumedAndNothingIsRecorded) {
    host.doubles.erase("audio_tap_track_1");
    EXPECT_TRUE(press(kOfxKey_F1, 3.0));
    EXPECT_TRUE(host.log.empty());
    TapRecord record;
    ASSERT_TRUE(effect.taps.copy(1, record));
    EXPECT_EQ(record.tapTime, -1e18);
}

TEST(OverlayManagerTaps, WithoutAnEffectInstanceKeysAreLeftToTheHost) {
    FakeParamHost host;
    host.doubles["audio_tap_track_1"] = 0.0;
    OverlayManager manager(&host, {}, OverlayCoordinates::Uv);
    EXPECT_FALSE(manager.keyDown(OFX::OverlayKeyArgs{1.0, kOfxKey_F1}));
    EXPECT_TRUE(host.keys.empty());
}

TEST(TapRecordsStore, TracksOutsideOneToFourAreIgnored) {
    TapRecords taps;
    taps.record(0, 5.0, 1);
    taps.record(5, 5.0, 1);
    TapRecord record;
    EXPECT_FALSE(taps.copy(0, record));
    EXPECT_FALSE(taps.copy(5, record));
    for (int track = 1; track <= 4; ++track) {
        ASSERT_TRUE(taps.copy(track, record));
        EXPECT_EQ(record.tapTime, -1e18);
        EXPECT_EQ(record.steadyNanos, 0);
    }
}

}  // namespace
