// Overlay objects on their own: what each shape and point style draws, what dragging it writes in
// each coordinate system, visibility conditions, highlight colours and undo blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "OverlayTestDoubles.h"
#include "overlays/OverlayShapes.h"

namespace {

using namespace overlay_test;

using OFX::OverlayDrawArgs;
using OFX::OverlayPenArgs;

OverlayPenArgs pen(double x, double y) {
    return OverlayPenArgs{0.0, OverlayPoint{x, y}, OverlayPoint{1.0, 1.0}};
}

// The first n values of a call.
std::vector<double> firstValues(const DrawCall& call, size_t n) {
    return std::vector<double>(call.values.begin(), call.values.begin() + std::min(n, call.values.size()));
}

void expectValues(const std::vector<double>& actual, const std::vector<double>& expected,
                  const std::string& what) {
    ASSERT_EQ(actual.size(), expected.size()) << what;
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_NEAR(actual[i], expected[i], 1e-6) << what << " [" << i << "]";
}

// Drags an overlay from one image point to another: pen down, one motion, pen up.
bool drag(OFX::OverlayBase& overlay, OverlayPoint from, OverlayPoint to) {
    if (!overlay.penDown(pen(from.x, from.y))) return false;
    overlay.penMotion(pen(to.x, to.y));
    overlay.penUp(pen(to.x, to.y));
    return true;
}

// The image is 200 x 100 throughout; the point sits at its centre (100, 50) and the x pixel scale
// is 2, so screen sizes show up doubled along x.
TEST(PointOverlayDraw, EachStyleDrawsItsPrimitivesAtScreenSizes) {
    struct Case {
        const char* style;
        const char* sequence;
        std::vector<double> lines;                  // the first lines call
        std::vector<std::vector<double>> ellipses;  // in order
    };
    const std::vector<Case> cases = {
        {"crosshair",
         "colour width lines ellipse text",
         {70, 50, 130, 50, 100, 35, 100, 65},
         {{79, 39.5, 121, 60.5}}},
        {"Target",
         "colour width lines ellipse ellipse text",
         {91, 50, 109, 50, 100, 45.5, 100, 54.5},
         {{85, 42.5, 115, 57.5}, {70, 35, 130, 65}}},
        {"cross", "colour width lines text", {70, 50, 130, 50, 100, 35, 100, 65}, {}},
        {"diamond",
         "colour width lines text",
         {130, 50, 100, 65, 100, 65, 70, 50, 70, 50, 100, 35, 100, 35, 130, 50},
         {}},
        {"axis",
         "colour width lines ellipse text",
         {0, 50, 200, 50, 100, 0, 100, 100},
         {{92.5, 46.25, 107.5, 53.75}}},
        {"dot", "colour width ellipse text", {}, {{88, 44, 112, 56}}},
        {"sun",
         "colour width ellipse ellipse lines text",
         {},
         {{92.5, 46.25, 107.5, 53.75}, {82, 41, 118, 59}}},
        {"star",
         "colour width lines ellipse text",
         {70, 50, 130, 50, 100, 35, 100, 65},
         {{79, 39.5, 121, 60.5}}},
    };
    for (const Case& c : cases) {
        FakeParamHost host;
        host.vec2s["p"] = {0.5, 0.5};
        OFX::PointOverlay point(&host, "p", OFX::PointOverlay::styleCode(c.style));
        point.setLabel("P");
        RecordingSurface surface;
        point.draw(surface, OverlayDrawArgs{0.0, {2.0, 1.0}});
        EXPECT_EQ(surface.sequence(), c.sequence) << c.style;
        expectValues(surface.of("width").at(0).values, {2.0}, c.style);
        expectValues(surface.of("colour").at(0).values, {1, 1, 1, 1}, c.style);
        if (!c.lines.empty()) expectValues(surface.of("lines").at(0).values, c.lines, c.style);
        const auto ellipses = surface.of("ellipse");
        ASSERT_EQ(ellipses.size(), c.ellipses.size()) << c.style;
        for (size_t i = 0; i < ellipses.size(); ++i) expectValues(ellipses[i].values, c.ellipses[i], c.style);
        const auto texts = surface.of("text");
        ASSERT_EQ(texts.size(), 1u);
        expectValues(texts[0].values, {100, 27.5}, c.style);
    }
}

TEST(PointOverlayDraw, SunRaysRunFromElevenToTwentyOnePixels) {
    FakeParamHost host;
    host.vec2s["p"] = {0.5, 0.5};
    OFX::PointOverlay sun(&host, "p", OFX::PointOverlay::kSun);
    RecordingSurface surface;
    sun.draw(surface, OverlayDrawArgs{0.0, {2.0, 1.0}});
    const std::vector<double> rays = surface.of("lines").at(0).values;
    ASSERT_EQ(rays.size(), 32u);  // eight segments
    expectValues({rays.begin(), rays.begin() + 4}, {122.5, 50, 142, 50}, "ray at 0 degrees");
    expectValues({rays.begin() + 8, rays.begin() + 12}, {100, 61.25, 100, 71}, "ray at 90 degrees");
}

TEST(ShapeDraw, EachShapeDrawsItsPrimitivesSizesAndLabel) {
    FakeParamHost host;
    host.vec2s = {{"c", {0.5, 0.5}}, {"left", {0.25, 0.5}}, {"scale", {0.1, 0.2}}, {"radii", {0.2, 0.1}}};
    host.doubles = {{"r", 0.2}, {"v", 0.75}, {"dir", 90.0}, {"mag", 0.3}, {"angle", 0.0}};
    const OverlayDrawArgs args{0.0, {2.0, 1.0}};
    auto drawn = [&](OFX::OverlayBase& overlay) {
        overlay.setLabel("L");
        RecordingSurface surface;
        overlay.draw(surface, args);
        return surface;
    };

    OFX::RadiusOverlay radius(&host, "r", "left");
    RecordingSurface s = drawn(radius);
    EXPECT_EQ(s.sequence(), "colour width ellipse rectangle text");
    expectValues(s.of("ellipse")[0].values, {30, 30, 70, 70}, "radius circle");
    expectValues(s.of("rectangle")[0].values, {62, 42, 78, 58}, "radius handle (x pixel scale on both axes)");
    expectValues(s.of("text")[0].values, {50, 90}, "radius label");

    OFX::Scale2DOverlay scale(&host, "scale", "c");
    s = drawn(scale);
    EXPECT_EQ(s.sequence(), "colour width lines rectangle rectangle rectangle lines text");
    expectValues(s.of("width")[0].values, {1.5}, "scale width");
    expectValues(s.of("lines")[0].values,
                 {80, 30, 120, 30, 120, 30, 120, 70, 120, 70, 80, 70, 80, 70, 80, 30}, "scale box");
    expectValues(s.of("rectangle")[0].values, {104, 42, 136, 58}, "right handle");
    expectValues(s.of("rectangle")[1].values, {84, 62, 116, 78}, "top handle");
    expectValues(s.of("rectangle")[2].values, {104, 62, 136, 78}, "corner handle");
    expectValues(s.of("lines")[1].values, {90, 50, 110, 50, 100, 45, 100, 55}, "centre cross");
    expectValues(s.of("text")[0].values, {100, 85}, "scale label");

    OFX::VSliderOverlay slider(&host, "v", 0.25);
    s = drawn(slider);
    EXPECT_EQ(s.sequence(), "colour width lines rectangle text");
    expectValues(s.of("lines")[0].values,
                 {50, 10, 50, 90, 34, 10, 66, 10, 34, 90, 66, 90, 38.8, 50, 61.2, 50},
                 "track, caps and tick");
    expectValues(s.of("rectangle")[0].values, {26, 64, 74, 76}, "slider handle at 0.75");
    expectValues(s.of("text")[0].values, {50, 105}, "slider label");

    OFX::VectorOverlay vector(&host, "dir", "c", "mag", 0.1);
    s = drawn(vector);
    EXPECT_EQ(s.sequence(), "colour width lines ellipse text");
    const std::vector<double> arrow = s.of("lines")[0].values;
    expectValues({arrow.begin(), arrow.begin() + 4}, {100, 50, 100, 80}, "shaft to the tip");
    expectValues(
        {arrow.begin() + 4, arrow.end()},
        {100, 80, 100 + 24 * std::cos(4.71238898 + 0.436332313), 80 + 12 * std::sin(4.71238898 + 0.436332313),
         100, 80, 100 + 24 * std::cos(4.71238898 - 0.436332313),
         80 + 12 * std::sin(4.71238898 - 0.436332313)},
        "arrowhead of 12 px at 25 degrees");
    expectValues(s.of("ellipse")[0].values, {92, 46, 108, 54}, "vector centre");
    expectValues(s.of("text")[0].values, {120, 80}, "vector label");

    OFX::EllipseOverlay ellipse(&host, "radii", "c");
    s = drawn(ellipse);
    EXPECT_EQ(s.sequence(), "colour width lines width lines text");
    expectValues(s.of("width")[0].values, {1.5}, "outline width");
    EXPECT_EQ(s.of("lines")[0].values.size(), 48u * 4u);
    expectValues(firstValues(s.of("lines")[0], 2), {120, 50}, "outline start");
    expectValues(s.of("width")[1].values, {2.5}, "handle width");
    expectValues(s.of("lines")[1].values, {112.8, 50, 144, 50, 100, 56.4, 100, 72}, "handles");
    expectValues(s.of("text")[0].values, {100, 25}, "ellipse label");

    OFX::LineOverlay line(&host, "c", "angle");
    s = drawn(line);
    EXPECT_EQ(s.sequence(), "colour width lines ellipse text");
    const double reach = std::hypot(200.0, 100.0);
    expectValues(s.of("lines")[0].values, {100 - reach, 50, 100 + reach, 50, 0, 42, 0, 58, 200, 42, 200, 58},
                 "line and ticks");
    expectValues(s.of("ellipse")[0].values, {90, 45, 110, 55}, "line centre");
    expectValues(s.of("text")[0].values, {130, 65}, "line label");
}

TEST(ShapeDraw, UnreadableParametersFallBackToDefaults) {
    FakeParamHost host;  // no parameters at all
    const OverlayDrawArgs args{0.0, {1.0, 1.0}};
    RecordingSurface radius, slider, ellipse, vector;
    OFX::RadiusOverlay(&host, "r", "c").draw(radius, args);
    expectValues(radius.of("ellipse")[0].values, {90, 40, 110, 60}, "radius 0.1 around the centre");
    OFX::VSliderOverlay(&host, "v", 0.5).draw(slider, args);
    expectValues(slider.of("rectangle")[0].values, {88, 44, 112, 56}, "slider at 0.5");
    OFX::EllipseOverlay(&host, "radii", "c").draw(ellipse, args);
    expectValues(firstValues(ellipse.of("lines")[0], 2), {110, 50}, "radii 0.1");
    OFX::VectorOverlay(&host, "dir", "c", "", 0.25).draw(vector, args);
    expectValues(firstValues(vector.of("lines")[0], 4), {100, 50, 125, 50}, "angle 0, fixed magnitude");
}

TEST(ShapeDrag, PointWritesNormalizedPositionsInEachCoordinateSystem) {
    struct Case {
        OverlayCoordinates coordinates;
        OverlayPoint stored;   // the parameter before the drag
        OverlayPoint drawnAt;  // where it is drawn (image units)
        OverlayPoint dropAt;   // where the pen lets go
        OverlayPoint written;  // the parameter after the drag
    };
    const std::vector<Case> cases = {
        {OverlayCoordinates::Uv, {0.25, 0.5}, {50, 50}, {150, 75}, {0.75, 0.75}},
        {OverlayCoordinates::Centered, {0.0, 0.0}, {100, 50}, {200, 100}, {0.5, 0.5}},
        {OverlayCoordinates::CenteredAspect, {0.5, 0.25}, {150, 75}, {200, 100}, {1.0, 0.5}},
    };
    for (const Case& c : cases) {
        const std::string what = "coordinates " + std::to_string(static_cast<int>(c.coordinates));
        FakeParamHost host;
        host.vec2s["p"] = c.stored;
        OFX::PointOverlay point(&host, "p", OFX::PointOverlay::kCross);
        point.setCoordinateSystem(c.coordinates);
        RecordingSurface surface;
        point.draw(surface, OverlayDrawArgs{});
        expectValues(surface.of("lines")[0].values,
                     {c.drawnAt.x - 15, c.drawnAt.y, c.drawnAt.x + 15, c.drawnAt.y, c.drawnAt.x,
                      c.drawnAt.y - 15, c.drawnAt.x, c.drawnAt.y + 15},
                     what);
        EXPECT_FALSE(point.penDown(pen(c.drawnAt.x + 26, c.drawnAt.y))) << what;
        ASSERT_TRUE(drag(point, {c.drawnAt.x + 24, c.drawnAt.y - 24}, c.dropAt)) << what;
        expectValues({host.vec2s["p"].x, host.vec2s["p"].y}, {c.written.x, c.written.y}, what);
        EXPECT_EQ(host.log, (std::vector<std::string>{"begin:Drag p", "set p", "set p", "end"})) << what;
    }
}

TEST(ShapeDrag, EachShapeWritesItsParametersInOneNamedUndoBlock) {
    FakeParamHost host;
    host.vec2s = {{"c", {0.5, 0.5}}, {"scale", {0.2, 0.4}}, {"radii", {0.3, 0.2}}};
    host.doubles = {{"r", 0.2}, {"v", 0.5}, {"dir", 0.0}, {"mag", 0.8}, {"angle", 0.0}};
    auto expectDrag = [&](OFX::OverlayBase& overlay, OverlayPoint from, OverlayPoint to,
                          const std::string& label) {
        host.log.clear();
        ASSERT_TRUE(drag(overlay, from, to)) << label;
        EXPECT_EQ(host.log.front(), "begin:" + label);
        EXPECT_EQ(host.log.back(), "end") << label;
        EXPECT_EQ(host.openBlocks, 0) << label;
        EXPECT_EQ(overlay.state(), OFX::OverlayBase::kIdle) << label;
    };

    OFX::RadiusOverlay radius(&host, "r", "c");  // centre (100, 50), radius 20
    expectDrag(radius, {130, 50}, {150, 50}, "Drag radius");
    EXPECT_NEAR(host.doubles["r"], 0.5, 1e-9);
    expectDrag(radius, {150, 50}, {100, 50}, "Drag radius");
    EXPECT_NEAR(host.doubles["r"], 0.001, 1e-12) << "dragged onto its centre, the radius stays above 0";
    EXPECT_FALSE(radius.penDown(pen(160, 50))) << "60 away from a circle of radius 0.1: no hit";

    OFX::Scale2DOverlay scale(&host, "scale", "c");  // from (0.2, 0.4): right 140, top 90
    expectDrag(scale, {140, 90}, {150, 90}, "Drag scale corner");
    expectValues({host.vec2s["scale"].x, host.vec2s["scale"].y}, {0.25, 0.4}, "corner");
    host.vec2s["scale"] = {0.2, 0.4};
    expectDrag(scale, {140, 50}, {110, 10}, "Drag scale X");
    expectValues({host.vec2s["scale"].x, host.vec2s["scale"].y}, {0.05, 0.4}, "X only");
    host.vec2s["scale"] = {0.2, 0.4};
    expectDrag(scale, {100, 90}, {100, 50}, "Drag scale Y");
    expectValues({host.vec2s["scale"].x, host.vec2s["scale"].y}, {0.2, 0.01}, "Y only, clamped to 0.01");

    OFX::VSliderOverlay slider(&host, "v", 0.25);  // x 50, track 10 to 90
    EXPECT_FALSE(slider.penDown(pen(80, 50)));
    expectDrag(slider, {60, -10}, {60, 30}, "Drag slider");
    EXPECT_NEAR(host.doubles["v"], 0.25, 1e-9);
    expectDrag(slider, {60, 30}, {60, 500}, "Drag slider");
    EXPECT_NEAR(host.doubles["v"], 1.0, 1e-9);

    OFX::VectorOverlay vector(&host, "dir", "c", "mag", 0.1);  // tip (180, 50)
    EXPECT_FALSE(vector.penDown(pen(110, 50))) << "inner part of the shaft";
    expectDrag(vector, {150, 52}, {100, 10}, "Drag vector");
    EXPECT_NEAR(host.doubles["dir"], 270.0, 1e-9) << "straight down";
    EXPECT_NEAR(host.doubles["mag"], 0.4, 1e-9);

    OFX::EllipseOverlay ellipse(&host, "radii", "c");  // handles (130, 50) and (100, 70)
    expectDrag(ellipse, {130, 52}, {150, 0}, "Drag ellipse X");
    expectValues({host.vec2s["radii"].x, host.vec2s["radii"].y}, {0.5, 0.2}, "ellipse X");
    expectDrag(ellipse, {100, 70}, {0, 40}, "Drag ellipse Y");
    expectValues({host.vec2s["radii"].x, host.vec2s["radii"].y}, {0.5, 0.1}, "ellipse Y");

    OFX::LineOverlay line(&host, "c", "angle");
    expectDrag(line, {180, 55}, {100, 0}, "Rotate line");
    EXPECT_NEAR(host.doubles["angle"], -90.0, 1e-9) << "straight down";
    expectDrag(line, {100, 45}, {150, 75}, "Drag line center");
    expectValues({host.vec2s["c"].x, host.vec2s["c"].y}, {0.75, 0.75}, "line centre");
}

TEST(ShapeDrag, UnreadableParametersRefuseTheDrag) {
    FakeParamHost host;
    host.vec2s["c"] = {0.5, 0.5};
    EXPECT_FALSE(OFX::RadiusOverlay(&host, "r", "c").penDown(pen(110, 50)));
    EXPECT_FALSE(OFX::Scale2DOverlay(&host, "scale", "c").penDown(pen(140, 70)));
    EXPECT_FALSE(OFX::EllipseOverlay(&host, "radii", "missing").penDown(pen(110, 50)));
    EXPECT_FALSE(OFX::PointOverlay(&host, "missing", 0).penDown(pen(100, 50)));
    EXPECT_TRUE(host.log.empty());
}

TEST(OverlayVisibility, ConditionsOnParameterValues) {
    struct Case {
        const char* condition;
        bool visible;
    };
    const std::vector<Case> cases = {
        {"", true},
        {"quality>=2", false},
        {"  quality  >=  2 ", false},
        {"quality >= 1", true},
        {"quality > 1", false},
        {"quality < 2", true},
        {"quality <= 0.5", false},
        {"quality == 1", true},
        {"quality != 1", false},
        {"mode == 2", true},  // an integer parameter
        {"enabled", false},   // a bare name reads a boolean
        {" enabled ", false},
        {"on", true},
        {"missing", true},  // unreadable: visible
        {"missing > 5", true},
        {"quality >= many", true},  // not a number: visible
        {">= 2", true},             // nothing on the left
        {"quality ==", true},       // nothing on the right
    };
    for (const Case& c : cases) {
        FakeParamHost host;
        host.vec2s["p"] = {0.5, 0.5};
        host.doubles["quality"] = 1.0;
        host.ints["mode"] = 2;
        host.booleans = {{"enabled", false}, {"on", true}};
        OFX::PointOverlay point(&host, "p", OFX::PointOverlay::kDot);
        point.setVisibilityCondition(c.condition);
        RecordingSurface surface;
        point.draw(surface, OverlayDrawArgs{});
        EXPECT_EQ(!surface.calls.empty(), c.visible) << "'" << c.condition << "'";
        EXPECT_EQ(point.penDown(pen(100, 50)), c.visible) << "'" << c.condition << "'";
        point.cancelDrag();
    }
}

TEST(OverlayVisibility, HidingDuringADragDropsItWithoutWriting) {
    FakeParamHost host;
    host.vec2s["p"] = {0.5, 0.5};
    host.booleans["shown"] = true;
    OFX::PointOverlay point(&host, "p", OFX::PointOverlay::kCross);
    point.setVisibilityCondition("shown");
    ASSERT_TRUE(point.penDown(pen(100, 50)));
    host.booleans["shown"] = false;
    EXPECT_FALSE(point.penMotion(pen(150, 75)));
    EXPECT_FALSE(point.penUp(pen(150, 75)));
    EXPECT_EQ(host.log, (std::vector<std::string>{"begin:Drag p", "end"}));
    expectValues({host.vec2s["p"].x, host.vec2s["p"].y}, {0.5, 0.5}, "unchanged");
    EXPECT_EQ(point.state(), OFX::OverlayBase::kIdle);
}

TEST(OverlayColour, DeclaredOrWhiteAndHighlightedWhileDragged) {
    struct Case {
        OverlayColor declared;
        std::vector<double> idle, dragged;
    };
    const std::vector<Case> cases = {
        {OverlayColor{}, {1, 1, 1, 1}, {0.7, 0.7, 0.7, 1}},
        {OverlayColor{0, 0, 0, true}, {0, 0, 0, 1}, {0.2, 0.4, 0.2, 1}},
        {OverlayColor{1, 1, 0, true}, {1, 1, 0, 1}, {1, 1, 0.2, 1}},
        {OverlayColor{1, 1, 0.5f, true}, {1, 1, 0.5, 1}, {0.7, 0.7, 0.2, 1}},
        {OverlayColor{1, 0, 0, true}, {1, 0, 0, 1}, {1, 0.4, 0.2, 1}},
    };
    for (const Case& c : cases) {
        FakeParamHost host;
        host.vec2s["p"] = {0.5, 0.5};
        OFX::PointOverlay point(&host, "p", OFX::PointOverlay::kDot);
        point.setColour(c.declared);
        RecordingSurface idle, dragged;
        point.draw(idle, OverlayDrawArgs{});
        ASSERT_TRUE(point.penDown(pen(100, 50)));
        point.draw(dragged, OverlayDrawArgs{});
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_NEAR(idle.of("colour")[0].values[i], c.idle[i], 1e-6);
            EXPECT_NEAR(dragged.of("colour")[0].values[i], c.dragged[i], 1e-6);
        }
    }
}

TEST(OverlayImageSize, KeptWhenTheHostCannotTell) {
    FakeParamHost host;
    host.vec2s["p"] = {0.5, 0.5};
    OFX::PointOverlay point(&host, "p", OFX::PointOverlay::kDot);
    RecordingSurface first, second;
    point.draw(first, OverlayDrawArgs{});
    host.sizeKnown = false;
    host.width = 1000;
    point.draw(second, OverlayDrawArgs{});
    EXPECT_EQ(first.of("ellipse")[0].values, second.of("ellipse")[0].values);
    EXPECT_EQ(point.imageWidth(), 200.0);
}

}  // namespace
