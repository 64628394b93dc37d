// velmora-render render and demo end to end: the built program loads the built bundle and
// renders real files on the CPU backend.
#include <gtest/gtest.h>

#include <fstream>

#include "CliTestSupport.h"
#include "DemoSample.h"
#include "ImageFiles.h"
#include "ProxyScale.h"

using imagefiles::readImage;
using imagefiles::writeImage;

namespace {

constexpr int kWidth = 48, kHeight = 32;
// The hole of the standard mask, in image coordinates.
constexpr int kHoleX0 = 18, kHoleY0 = 12, kHoleX1 = 30, kHoleY1 = 20;

bool inHole(int x, int y) {
    return x >= kHoleX0 && x < kHoleX1 && y >= kHoleY0 && y < kHoleY1;
}

class RenderCli : public ::testing::Test {
  protected:
    // Writes the standard plate and mask as NAME files of the given extension.
    void writeInputs(const std::string& ext, float offset = 0.0f) {
        plate = gradientPlate(kWidth, kHeight, offset);
        writeImage(dir / ("plate" + ext), *plate);
        writeImage(dir / ("mask" + ext), *rectangleMask(kWidth, kHeight, kHoleX0, kHoleY0, kHoleX1, kHoleY1));
    }

    CliResult render(const std::string& options) {
        return runCli("render" + commonOptions() + " " + options);
    }

    std::string in(const std::string& name) const { return quoted(dir / name); }

    // Outside the hole the output is the plate, exactly; inside it follows the gradient.
    void expectPlateKeptAndHoleFilled(const vhost::Image& output, const vhost::Image& source,
                                      float tolerance) {
        ASSERT_EQ(output.width(), source.width());
        ASSERT_EQ(output.height(), source.height());
        float inside = 0;
        for (int y = 0; y < source.height(); ++y)
            for (int x = 0; x < source.width(); ++x)
                for (int c = 0; c < 4; ++c) {
                    const float d = std::fabs(output.pixel(x, y)[c] - source.pixel(x, y)[c]);
                    if (inHole(x, y))
                        inside = std::max(inside, d);
                    else
                        ASSERT_EQ(d, 0.0f) << x << "," << y << " channel " << c;
                }
        EXPECT_LT(inside, tolerance);
    }

    TemporaryFolder dir;
    vhost::ImagePtr plate;
};

TEST_F(RenderCli, PngAndExrRoundTripsKeepThePlateAndFillTheHole) {
    writeInputs(".png");
    CliResult r =
        render("--plate " + in("plate.png") + " --mask " + in("mask.png") + " --out " + in("out.png"));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Rendered 1 frame (48x32) in "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" ms per frame"), std::string::npos) << r.out;
    expectPlateKeptAndHoleFilled(*readImage(dir / "out.png"), *readImage(dir / "plate.png"), 0.06f);

    // Values above 1 survive in EXR; a PNG mask drives an EXR plate.
    writeInputs(".exr", 1.5f);
    r = render("--plate " + in("plate.exr") + " --mask " + in("mask.png") + " --out " + in("out.exr"));
    ASSERT_EQ(r.code, 0) << r.err;
    expectPlateKeptAndHoleFilled(*readImage(dir / "out.exr"), *plate, 0.06f);
}

TEST_F(RenderCli, SequenceRendersEachNumberedFrameAtItsFrameNumber) {
    writeInputs(".png");
    for (int frame = 1; frame <= 3; ++frame)
        writeImage(dir / ("plate.000" + std::to_string(frame) + ".png"),
                   *gradientPlate(kWidth, kHeight, (frame - 1) * 20 / 255.0f));
    const std::string grain = " --set grain_enable=on --set grain_amount=1";
    CliResult r = render("--plate " + in("plate.%04d.png") + " --mask " + in("mask.png") + " --out " +
                         in("out.%04d.png") + " --frames 1-3" + grain);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Rendered 3 frames (48x32)"), std::string::npos) << r.out;
    // Standard error is a file here: a line per frame, no carriage return redrawing one line.
    EXPECT_NE(r.err.find("3/3 frames  frame 3  "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1/3 frames  frame 1  "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" s left\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\r'), std::string::npos) << r.err;
    for (int frame = 1; frame <= 3; ++frame) {
        const std::string name = "000" + std::to_string(frame) + ".png";
        expectPlateKeptAndHoleFilled(*readImage(dir / ("out." + name)), *readImage(dir / ("plate." + name)),
                                     0.35f);
    }

    // The grain follows the render time: frame 2 alone gives the sequence's frame 2, and the
    // same plate at time 3 differs inside the hole.
    r = render("--plate " + in("plate.0002.png") + " --mask " + in("mask.png") + " --out " + in("t2.png") +
               " --frames 2" + grain);
    ASSERT_EQ(r.code, 0) << r.err;
    r = render("--plate " + in("plate.0002.png") + " --mask " + in("mask.png") + " --out " + in("t3.png") +
               " --frames 3" + grain);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(maxDifference(*readImage(dir / "t2.png"), *readImage(dir / "out.0002.png")), 0.0f);
    EXPECT_GT(maxDifference(*readImage(dir / "t3.png"), *readImage(dir / "t2.png")), 0.0f);
}

TEST_F(RenderCli, SettingsReachTheEffect) {
    writeInputs(".exr");
    const std::string files = "--plate " + in("plate.exr") + " --mask " + in("mask.exr") + " --out ";
    ASSERT_EQ(render(files + in("default.exr")).code, 0);
    ASSERT_EQ(render(files + in("retexture.exr") + " --set retexture_enable=on").code, 0);
    ASSERT_EQ(
        render(files + in("offset.exr") + " --set retexture_enable=on --set retexture_offset=0.25,-0.1").code,
        0);
    ASSERT_EQ(render(files + in("blur.exr") + " --set blur_amount=3 --set show_unfilled=true").code, 0);
    const vhost::ImagePtr base = readImage(dir / "default.exr");
    EXPECT_GT(maxDifference(*readImage(dir / "offset.exr"), *readImage(dir / "retexture.exr")), 0.0f)
        << "the vector reached the effect";
    // A small blur leaves the hole's core unfilled, which the highlight tints red.
    const vhost::ImagePtr blurred = readImage(dir / "blur.exr");
    const float* core = blurred->pixel(24, 16);
    const float* filled = base->pixel(24, 16);
    EXPECT_GT(core[0], filled[0] + 0.1f);
    EXPECT_LT(core[1], filled[1] - 0.1f);
    EXPECT_LT(std::fabs(filled[0] - plate->pixel(24, 16)[0]), 0.06f);

    struct Case {
        std::string set;
        std::string reason;
    } cases[] = {
        {"nosuch=1", "nosuch"},
        {"blur_amount=abc", "'abc' is not a number"},
        {"blur_amount", "name=value"},
        {"show_unfilled=maybe", "not true or false"},
    };
    for (const auto& c : cases) {
        const CliResult bad = render(files + in("bad.exr") + " --set " + c.set);
        EXPECT_EQ(bad.code, 1) << c.set;
        EXPECT_NE(bad.err.find(c.reason), std::string::npos) << c.set << ": " << bad.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "bad.exr")) << c.set;
    }
}

TEST_F(RenderCli, ErrorsExitNonZeroWithAReasonAndWriteNothing) {
    writeInputs(".png");
    writeImage(dir / "small.png", *gradientPlate(24, 16));
    std::ofstream(dir / "text.png") << "not an image";
    const std::string plateAndMask = "--plate " + in("plate.png") + " --mask " + in("mask.png");
    struct Case {
        std::string args;
        int code;
        std::string reason;
    } cases[] = {
        {"--plate " + in("missing.png") + " --mask " + in("mask.png") + " --out " + in("o.png"), 1,
         "missing.png: no such file"},
        {"--plate " + in("text.png") + " --mask " + in("mask.png") + " --out " + in("o.png"), 1,
         "not a PNG file"},
        {"--plate " + in("plate.tga") + " --mask " + in("mask.png") + " --out " + in("o.png"), 1,
         "unsupported image format '.tga'"},
        {plateAndMask + " --out " + in("o.tga"), 2, "unsupported image format '.tga'"},
        {"--plate " + in("plate.png") + " --mask " + in("small.png") + " --out " + in("o.png"), 1,
         "the mask is 24x16 but the plate is 48x32"},
        {plateAndMask + " --matte " + in("small.png") + " --out " + in("o.png") + " --host resolve", 1,
         "the matte is 24x16 but the plate is 48x32"},
        {plateAndMask + " --matte " + in("mask.png") + " --out " + in("o.png"), 1, "no Matte input"},
        {"--plate " + in("plate.png") + " --out " + in("o.png"), 2, "no --mask given"},
        {plateAndMask + " --out " + in("o.%04d.png"), 2, "is numbered: say which frames with --frames"},
        {plateAndMask + " --out " + in("o.png") + " --frames 1-3", 2, "names one file for 3 frames"},
        {plateAndMask + " --out " + in("o.png") + " --frames 3-1", 2, "comes before the first"},
        {plateAndMask + " --out " + in("o.png") + " --scale 2", 2, "--scale '2'"},
        {plateAndMask + " --out " + in("o.png") + " --backend gpu", 2, "expected cpu or cuda"},
        {plateAndMask + " --out " + in("o.png") + " --preset 'No Such Preset'", 1, "no preset named"},
        {plateAndMask + " --out " + in("o.png") + " --preset ''", 2, "--preset needs a value"},
        {plateAndMask + " --out " + in("o.png") + " --scale=", 2, "--scale needs a value"},
        {plateAndMask + " --out " + in("o.png") + " --set mask_from=99999999999", 1, "is out of range"},
        // A numbered plate with no file at all stops before a billion frames are tried.
        {"--plate " + in("none.%04d.png") + " --mask " + in("mask.png") + " --out " + in("o.%04d.png") +
             " --frames 0-999999999",
         1, "--plate '" + dir / "none.%04d.png" + "': no file for frames 0-999999999"},
        {plateAndMask + " --out " + in("o.png") + " --frobnicate", 2, "unexpected argument '--frobnicate'"},
        {plateAndMask + " --out " + in("o.png") + " --bundle /nonexistent/velmora.ofx.bundle", 1,
         "bundle not found"},
    };
    for (const auto& c : cases) {
        const CliResult r = render(c.args);
        EXPECT_EQ(r.code, c.code) << c.args << "\n" << r.err;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << c.args << ": " << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "o.png")) << c.args;
    }
}

TEST_F(RenderCli, AFailedFrameKeepsTheEarlierFileAndTheOthersRender) {
    writeInputs(".png");
    writeImage(dir / "small.png", *gradientPlate(24, 16));
    writeImage(dir / "plate.0001.png", *plate);
    writeImage(dir / "plate.0003.png", *plate);
    writeImage(dir / "out.0002.png", *gradientPlate(24, 16));  // from an earlier run
    const CliResult r = render("--plate " + in("plate.%04d.png") + " --mask " + in("mask.png") + " --out " +
                               in("out.%04d.png") + " --frames 1-3");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("frame 2: "), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("Rendered 2 of 3 frames"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1 failed"), std::string::npos) << r.out;
    EXPECT_TRUE(std::filesystem::exists(dir / "out.0001.png"));
    EXPECT_TRUE(std::filesystem::exists(dir / "out.0003.png"));
    EXPECT_EQ(readImage(dir / "out.0002.png")->width(), 24) << "the earlier file is kept";

    // A single frame that fails leaves the earlier result untouched.
    const CliResult mismatch =
        render("--plate " + in("plate.png") + " --mask " + in("small.png") + " --out " + in("out.0002.png"));
    EXPECT_EQ(mismatch.code, 1);
    EXPECT_NE(mismatch.out.find("No frame rendered"), std::string::npos) << mismatch.out;
    EXPECT_EQ(readImage(dir / "out.0002.png")->width(), 24);
}

// One NaN or infinite plate pixel stays where it is: the rest of the plate is kept exactly and
// the hole is filled with finite colour.
TEST_F(RenderCli, NonFinitePlatePixelsDoNotSpreadOverTheFrame) {
    writeInputs(".exr");
    plate->pixel(3, 3)[0] = std::nanf("");
    plate->pixel(40, 28)[1] = INFINITY;
    plate->pixel(kHoleX0 - 2, kHoleY0 + 3)[2] = -INFINITY;  // within the blur's reach of the hole
    writeImage(dir / "plate.exr", *plate);
    // The retexture offset samples detail around the hole's left neighbour.
    const CliResult r =
        render("--plate " + in("plate.exr") + " --mask " + in("mask.exr") + " --out " + in("out.0005.exr") +
               " --frames 5 --set blur_amount=8 --set retexture_enable=on --set retexture_offset=-0.1,0");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Wrote " + dir / "out.0005.exr"), std::string::npos) << r.out;
    const vhost::ImagePtr out = readImage(dir / "out.0005.exr");
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            for (int c = 0; c < 3; ++c) {
                const float o = out->pixel(x, y)[c], p = plate->pixel(x, y)[c];
                if (inHole(x, y))
                    EXPECT_TRUE(std::isfinite(o)) << x << "," << y;
                else
                    EXPECT_TRUE(o == p || (std::isnan(o) && std::isnan(p))) << x << "," << y << ": " << o;
            }
}

// A proxy render at scale 0.5 is the full-size render of half-size images with the mask's grow
// and blur halved, and every other pixel distance (here the blur amount) unchanged.
TEST_F(RenderCli, HalfScaleHalvesMaskGrowAndBlurOnly) {
    plate = gradientPlate(64, 48);
    const vhost::ImagePtr mask = rectangleMask(64, 48, 24, 16, 40, 32);
    writeImage(dir / "plate.exr", *plate);
    writeImage(dir / "mask.exr", *mask);
    writeImage(dir / "plate-half.exr", *scaleImage(*plate, 0.5));
    writeImage(dir / "mask-half.exr", *scaleImage(*mask, 0.5));
    CliResult r =
        render("--plate " + in("plate.exr") + " --mask " + in("mask.exr") + " --out " + in("proxy.exr") +
               " --scale 0.5 --set mask_grow=4 --set mask_blur=2 --set blur_amount=20");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("(32x24 at scale 0.5)"), std::string::npos) << r.out;
    r = render("--plate " + in("plate-half.exr") + " --mask " + in("mask-half.exr") + " --out " +
               in("full.exr") + " --set mask_grow=2 --set mask_blur=1 --set blur_amount=20");
    ASSERT_EQ(r.code, 0) << r.err;
    r = render("--plate " + in("plate-half.exr") + " --mask " + in("mask-half.exr") + " --out " +
               in("unscaled.exr") + " --set mask_grow=4 --set mask_blur=2 --set blur_amount=20");
    ASSERT_EQ(r.code, 0) << r.err;

    const vhost::ImagePtr proxy = readImage(dir / "proxy.exr");
    ASSERT_EQ(proxy->width(), 32);
    ASSERT_EQ(proxy->height(), 24);
    EXPECT_EQ(maxDifference(*proxy, *readImage(dir / "full.exr")), 0.0f);
    EXPECT_GT(maxDifference(*proxy, *readImage(dir / "unscaled.exr")), 0.01f);
}

// An even plate whose half is odd (1998 wide gives 999 at scale 0.5): the proxy fills the hole too.
TEST_F(RenderCli, HalfScaleToAnOddWidthFillsTheHole) {
    plate = gradientPlate(38, 26);
    plate->fillWith([&](int x, int y, float* p) {
        if (x >= 14 && x < 24 && y >= 8 && y < 18) p[0] = 1.0f, p[1] = 0.0f, p[2] = 1.0f;  // the object
    });
    writeImage(dir / "plate.exr", *plate);
    writeImage(dir / "mask.exr", *rectangleMask(38, 26, 14, 8, 24, 18));
    CliResult r = render("--plate " + in("plate.exr") + " --mask " + in("mask.exr") + " --out " +
                         in("proxy.exr") + " --scale 0.5 --set blur_amount=10");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("(19x13 at scale 0.5)"), std::string::npos) << r.out;
    const vhost::ImagePtr proxy = readImage(dir / "proxy.exr");
    ASSERT_EQ(proxy->width(), 19);
    for (int y = 5; y < 8; ++y)
        for (int x = 8; x < 11; ++x) {
            const float* p = proxy->pixel(x, y);
            EXPECT_LT(p[0], 0.9f) << x << "," << y << ": the object is still there";
            EXPECT_GT(p[1], 0.1f) << x << "," << y << ": the object is still there";
        }
}

// Resolve offers the Matte input: with "Matte Input's Luminance" the output's alpha outside the
// hole is the matte's luminance.
TEST_F(RenderCli, MatteFeedsTheAlphaUnderTheResolveProfile) {
    writeInputs(".exr");
    auto matte = std::make_shared<vhost::Image>(kWidth, kHeight);
    matte->fillWith([](int x, int, float* p) { p[0] = p[1] = p[2] = x / float(kWidth - 1), p[3] = 1.0f; });
    writeImage(dir / "matte.exr", *matte);
    const CliResult r =
        render("--plate " + in("plate.exr") + " --mask " + in("mask.exr") + " --matte " + in("matte.exr") +
               " --out " + in("out.exr") + " --host resolve --set _alpha_source=2");
    ASSERT_EQ(r.code, 0) << r.err;
    const vhost::ImagePtr out = readImage(dir / "out.exr");
    for (int x : {0, 7, 40, kWidth - 1}) EXPECT_NEAR(out->pixel(x, 3)[3], matte->pixel(x, 3)[0], 1e-5) << x;
}

TEST(DemoCli, WritesBeforeAndAfterWithTheObjectRemoved) {
    TemporaryFolder dir;
    const CliResult r = runCli(std::string("demo --out ") + quoted(dir / "demo") +
                               " --size 160x90 --bundle '" + VELMORA_BUNDLE + "'");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find(dir / "demo"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("before-after.png"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  --set dir_amount=75\n"), std::string::npos) << r.out;  // scaled with the height

    const DemoSample sample = makeDemoSample(160, 90);
    EXPECT_LE(maxDifference(*readImage(dir / "demo/plate.png"), *sample.plate), 0.5f / 255 + 1e-6f);
    const vhost::ImagePtr result = readImage(dir / "demo/result.png");
    const vhost::ImagePtr pair = readImage(dir / "demo/before-after.png");
    EXPECT_EQ(pair->width(), 2 * 160 + 4);
    EXPECT_EQ(pair->height(), 90);

    // Where the object was, the result is far closer to the background than the plate is.
    double plateError = 0, resultError = 0;
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 160; ++x)
            for (int c = 0; c < 3; ++c) {
                const float back = sample.background->pixel(x, y)[c];
                plateError += std::fabs(sample.plate->pixel(x, y)[c] - back);
                resultError += std::fabs(result->pixel(x, y)[c] - back);
            }
    EXPECT_GT(plateError, 50.0);
    EXPECT_LT(resultError, plateError / 4);
}

// The benchmark renders in memory and prints the median time; its arguments are checked.
TEST(BenchCli, PrintsTheMedianTimePerFrameAndRefusesBadArguments) {
    const std::string bundle = std::string(" --bundle '") + VELMORA_BUNDLE + "'";
    CliResult r = runCli("bench --size 96x54 --frames 2 --hole 8 --backend cpu" + bundle);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("96x54, the demo sample with a 8% hole, 2 frames"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ms per frame (fastest "), std::string::npos) << r.out;

    TemporaryFolder dir;
    writeImage(dir / "plate.png", *gradientPlate(40, 30));
    writeImage(dir / "mask.png", *rectangleMask(40, 30, 10, 10, 20, 20));
    r = runCli("bench --plate " + quoted(dir / "plate.png") + " --mask " + quoted(dir / "mask.png") +
               " --frames 1 --set blur_amount=4 --backend cpu" + bundle);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("40x30, " + dir / "plate.png" + ", 1 frame"), std::string::npos) << r.out;

    for (const char* bad : {"--frames 0", "--frames 2.5", "--hole 101", "--size 8x8", "--plate a.png",
                            "--plate a.png --mask b.png --hole 3", "--frames", "--colour red"}) {
        r = runCli(std::string("bench ") + bad + bundle);
        EXPECT_EQ(r.code, 2) << bad;
        EXPECT_NE(r.err.find("velmora-render bench: "), std::string::npos) << bad << ": " << r.err;
    }
}

}  // namespace

TEST_F(RenderCli, CompareReportsTheLargestDifferenceAndHonoursATolerance) {
    plate = gradientPlate(kWidth, kHeight, 0.0f);
    writeImage(dir / "a.exr", *plate);
    plate->pixel(5, kHeight - 1 - 7)[1] += 0.25f;  // x 5, 7 rows from the top
    writeImage(dir / "b.exr", *plate);

    CliResult r = runCli("compare " + in("a.exr") + " " + in("b.exr"));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("max difference 0.25 (G at 5,7 from the top left)"), std::string::npos) << r.out;
    EXPECT_EQ(runCli("compare " + in("a.exr") + " " + in("b.exr") + " --tolerance 0.3").code, 0);
    EXPECT_EQ(runCli("compare " + in("a.exr") + " " + in("b.exr") + " --tolerance 0.1").code, 1);

    // Infinities of one sign are equal, not a NaN difference.
    plate->pixel(1, 1)[0] = INFINITY;
    writeImage(dir / "inf.exr", *plate);
    r = runCli("compare " + in("inf.exr") + " " + in("inf.exr"));
    EXPECT_NE(r.out.find("max difference 0 (R at 0,0 from the top left), mean 0\n"), std::string::npos)
        << r.out;

    writeImage(dir / "small.exr", *gradientPlate(8, 8, 0.0f));
    r = runCli("compare " + in("a.exr") + " " + in("small.exr"));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("is 48x32 but"), std::string::npos) << r.err;
    EXPECT_EQ(runCli("compare " + in("a.exr")).code, 2);
}

// Host names are any text: one that is not UTF-8 still gives the description, shown replaced.
TEST(DescribeCli, AnyHostNameDescribesTheEffect) {
    const CliResult r = runCli(std::string("describe '") + VELMORA_BUNDLE +
                               "' --host \"$(printf '\\377\\376Host')\" --context general");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\"host\": \"\xef\xbf\xbd\xef\xbf\xbdHost\""), std::string::npos)
        << r.out.substr(0, 400);
    EXPECT_EQ(runCli(std::string("describe '") + VELMORA_BUNDLE + "' --host").code, 2);
}

TEST(HelpCli, EveryCommandExplainsItself) {
    for (const char* command :
         {"list", "describe", "params", "presets", "render", "save-preset", "demo", "compare", "bench"}) {
        const CliResult r = runCli(std::string(command) + " --help");
        EXPECT_EQ(r.code, 0) << command << ": " << r.err;
        EXPECT_EQ(r.out.rfind(std::string("usage: velmora-render ") + command, 0), 0u) << r.out;
    }
}
