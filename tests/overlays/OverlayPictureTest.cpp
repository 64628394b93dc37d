// Pictures of overlays: our host's painter turning recorded draw calls into pixels, and
// velmora-render overlay writing a frame with the overlays drawn over it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "CliRun.h"
#include "ImageFiles.h"
#include "OverlayPainter.h"
#include "ofxDrawSuite.h"

namespace {

vhost::DrawRecord colour(double r, double g, double b, double a = 1.0) {
    return vhost::DrawRecord{"setColour", 0, {r, g, b, a}, ""};
}
vhost::DrawRecord width(double w) {
    return vhost::DrawRecord{"setLineWidth", 0, {w}, ""};
}
vhost::DrawRecord draw(int primitive, std::vector<double> points) {
    return vhost::DrawRecord{"draw", primitive, std::move(points), ""};
}

vhost::Image blackImage(int w, int h) {
    vhost::Image image(w, h);
    image.fill(0.0f, 0.0f, 0.0f, 1.0f);
    return image;
}

TEST(OverlayPainter, LinesRectanglesEllipsesAndPolygonsLandOnTheirPixels) {
    vhost::Image image = blackImage(60, 40);
    vhost::OverlayPainter painter(image);
    const vhost::PaintReport report = painter.paint({
        colour(1, 0, 0),
        width(3),
        draw(kOfxDrawPrimitiveLines, {5, 30.5, 55, 30.5}),
        colour(0, 1, 0, 0.5),
        draw(kOfxDrawPrimitiveRectangle, {2, 2, 6, 6}),
        colour(0, 0, 1),
        width(1),
        draw(kOfxDrawPrimitiveEllipse, {20, 5, 40, 25}),
        colour(1, 1, 1),
        draw(kOfxDrawPrimitivePolygon, {45, 2, 58, 2, 58, 12}),
        vhost::DrawRecord{"setLineStipple", kOfxDrawLineStipplePatternDash, {}, ""},
    });
    EXPECT_EQ(report.primitives, 4);
    EXPECT_FLOAT_EQ(image.pixel(30, 30)[0], 1.0f) << "a line 3 wide covers its row";
    EXPECT_FLOAT_EQ(image.pixel(30, 29)[0], 1.0f);
    EXPECT_FLOAT_EQ(image.pixel(30, 33)[0], 0.0f);
    EXPECT_FLOAT_EQ(image.pixel(3, 3)[1], 0.5f) << "a filled rectangle, half transparent";
    EXPECT_FLOAT_EQ(image.pixel(7, 3)[1], 0.0f);
    EXPECT_GT(image.pixel(30, 24)[2], 0.4f) << "the ellipse outline at its top";
    EXPECT_GT(image.pixel(20, 15)[2], 0.4f) << "and at its left";
    EXPECT_FLOAT_EQ(image.pixel(30, 15)[2], 0.0f) << "an outline, not a disc";
    EXPECT_FLOAT_EQ(image.pixel(55, 4)[0], 1.0f) << "inside the filled triangle";
    EXPECT_FLOAT_EQ(image.pixel(47, 10)[0], 0.0f) << "outside it";
    EXPECT_FLOAT_EQ(image.pixel(0, 0)[3], 1.0f);
}

TEST(OverlayPainter, CanonicalCoordinatesAreScaledAndClippedToTheImage) {
    vhost::Image image = blackImage(20, 20);
    vhost::OverlayPainter painter(image, {2.0, 2.0});
    painter.paint({colour(1, 1, 1), draw(kOfxDrawPrimitiveRectangle, {-100, -100, 10, 10}),
                   draw(kOfxDrawPrimitiveLines, {1000, 1000, 2000, 2000})});
    EXPECT_FLOAT_EQ(image.pixel(4, 4)[0], 1.0f) << "canonical 10 is pixel 5 at scale 2";
    EXPECT_FLOAT_EQ(image.pixel(6, 6)[0], 0.0f);

    // Coordinates far beyond any pixel index are clipped like near ones; NaN draws nothing.
    const double far = 1e10, nan = std::nan("");
    painter.paint({colour(0, 1, 0), draw(kOfxDrawPrimitiveRectangle, {-far, 30, far, 32}),
                   draw(kOfxDrawPrimitiveLines, {-far, 35, far, 35}),
                   draw(kOfxDrawPrimitiveLines, {nan, 3, 30, nan, -far, nan, nan, far}),
                   draw(kOfxDrawPrimitiveRectangle, {nan, 0, 40, 40})});
    for (int x : {0, 10, 19}) {
        EXPECT_FLOAT_EQ(image.pixel(x, 15)[1], 1.0f) << "the rectangle at " << x;
        EXPECT_GT(image.pixel(x, 17)[1], 0.99f) << "the line at " << x;
    }
    EXPECT_FLOAT_EQ(image.pixel(10, 8)[1], 0.0f);
}

TEST(OverlayPainter, TextIsDrawnWithAFontOrCountedAsLeftOut) {
    vhost::Image image = blackImage(80, 30);
    vhost::OverlayPainter painter(image);
    const vhost::PaintReport report = painter.paint(
        {colour(1, 1, 0),
         vhost::DrawRecord{"drawText",
                           kOfxDrawTextAlignmentLeft | kOfxDrawTextAlignmentRight | kOfxDrawTextAlignmentTop,
                           {40, 25},
                           "Spot"}});
    if (vhost::OverlayPainter::fontPath().empty()) {
        EXPECT_EQ(report.textsSkipped, 1);
        GTEST_SKIP() << "no font on this machine";
    }
    EXPECT_EQ(report.texts, 1);
    int lit = 0, above = 0, offCentre = 0;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 80; ++x) {
            if (image.pixel(x, y)[0] < 0.5f) continue;
            ++lit;
            above += y > 25;
            offCentre += x < 20 || x > 60;
        }
    }
    EXPECT_GT(lit, 20);
    EXPECT_EQ(above, 0) << "the text hangs below its top";
    EXPECT_EQ(offCentre, 0) << "centred on x = 40";
}

class OverlayCommand : public testing::Test {
  protected:
    void SetUp() override {
        out_ = testing::TempDir() + "overlay-" + std::to_string(::getpid()) + ".png";
        setenv("VELMORA_LOG_DIR", (testing::TempDir() + "overlay-log").c_str(), 1);
        setenv("APPDATA", (testing::TempDir() + "overlay-appdata").c_str(), 1);
    }
    void TearDown() override { std::remove(out_.c_str()); }
    std::string out_;
};

bool near(const float* pixel, float r, float g, float b) {
    return std::abs(pixel[0] - r) < 0.06f && std::abs(pixel[1] - g) < 0.06f && std::abs(pixel[2] - b) < 0.06f;
}

TEST_F(OverlayCommand, WritesTheRenderedFrameWithTheOverlaysOverIt) {
    const CliResult r = runCli(std::string("overlay --bundle '") + VELMORA_OVERLAY_SHOWCASE_BUNDLE +
                               "' --out '" + out_ + "' --size 320x180 --set level=0.6 --backend cpu");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("overlay shapes"), std::string::npos) << r.out;
    const vhost::ImagePtr picture = imagefiles::readImage(out_);
    ASSERT_EQ(picture->width(), 320);
    // The level slider's handle (filled, green) at x = 0.04 x 320, 0.6 up the track from 18 to 162.
    EXPECT_TRUE(near(picture->pixel(12, 104), 0.0f, 1.0f, 0.0f));
    // The spot's crosshair (yellow) at (96, 99).
    EXPECT_TRUE(near(picture->pixel(86, 99), 1.0f, 1.0f, 0.0f));
}

TEST_F(OverlayCommand, DragsMoveTheOverlayAndTheRenderFollows) {
    const CliResult r =
        runCli(std::string("overlay --bundle '") + VELMORA_OVERLAY_SHOWCASE_BUNDLE + "' --out '" + out_ +
               "' --size 320x180 --drag 96,99:240,60 --drag 300,10:301,11 --key F2");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("drag (96, 99) to (240, 60): taken by the overlay"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("drag (300, 10) to (301, 11): no overlay there"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("key F2: taken by the overlay"), std::string::npos) << r.out;
    const vhost::ImagePtr picture = imagefiles::readImage(out_);
    EXPECT_TRUE(near(picture->pixel(230, 60), 1.0f, 1.0f, 0.0f)) << "the crosshair moved";
    EXPECT_FALSE(near(picture->pixel(86, 99), 1.0f, 1.0f, 0.0f)) << "and left its old place";
}

TEST_F(OverlayCommand, RefusesBadArgumentsAndEffectsWithoutOverlays) {
    EXPECT_EQ(runCli("overlay --out x.png").code, 2);
    EXPECT_EQ(runCli(std::string("overlay --bundle '") + VELMORA_OVERLAY_SHOWCASE_BUNDLE + "' --out '" +
                     out_ + "' --drag 1,2")
                  .code,
              2);
    EXPECT_EQ(runCli(std::string("overlay --bundle '") + VELMORA_OVERLAY_SHOWCASE_BUNDLE + "' --out '" +
                     out_ + "' --key F9")
                  .code,
              2);
    const CliResult none =
        runCli(std::string("overlay --bundle '") + VELMORA_BUNDLE + "' --out '" + out_ + "'");
    EXPECT_EQ(none.code, 1);
    EXPECT_NE(none.err.find("has no on-screen overlay"), std::string::npos) << none.err;
    EXPECT_FALSE(std::ifstream(out_).good()) << "nothing written";
}

}  // namespace
