// velmora-render takes the user's locale from the environment, as hosts do. In a locale that writes
// numbers with a decimal comma the plug-in must describe, render and keep presets exactly as in "C".
#include <gtest/gtest.h>

#include <sstream>

#include "../DecimalCommaLocale.h"
#include "CliTestSupport.h"
#include "ImageFiles.h"

using imagefiles::readImage;
using imagefiles::writeImage;

namespace {

// The first line where two texts differ, with its number; empty when they are the same.
std::string firstDifference(const std::string& a, const std::string& b) {
    std::istringstream left(a), right(b);
    std::string l, r;
    for (int line = 1;; ++line) {
        const bool moreLeft = static_cast<bool>(std::getline(left, l));
        const bool moreRight = static_cast<bool>(std::getline(right, r));
        if (!moreLeft && !moreRight) return std::string();
        if (moreLeft != moreRight || l != r)
            return "line " + std::to_string(line) + ": '" + l + "' / '" + r + "'";
    }
}

class LocaleCli : public ::testing::Test {
  protected:
    void SetUp() override {
        const ScopedLocale probe(kDecimalCommaLocale);
        ASSERT_TRUE(probe.active()) << kDecimalCommaLocale << ": " << kMissingLocaleHint;
        writeImage(dir / "plate.exr", *gradientPlate(48, 32));
        writeImage(dir / "mask.exr", *rectangleMask(48, 32, 18, 12, 30, 20));
    }

    // Runs velmora-render under `locale`, with presets kept in this test's folder.
    CliResult run(const std::string& locale, const std::string& args) {
        return runCli(args, "LC_ALL=" + locale + " LANG=" + locale + " APPDATA=" + quoted(dir / "appdata"));
    }
    CliResult render(const std::string& locale, const std::string& out, const std::string& options) {
        return run(locale, "render" + commonOptions() + " --plate " + quoted(dir / "plate.exr") + " --mask " +
                               quoted(dir / "mask.exr") + " --out " + quoted(dir / out) + " " + options);
    }
    float difference(const std::string& a, const std::string& b) {
        return maxDifference(*readImage(dir / a), *readImage(dir / b));
    }

    TemporaryFolder dir;
};

TEST_F(LocaleCli, DescribeGivesTheSameDefaultsRangesIncrementsAndDigits) {
    const std::string describe = std::string("describe '") + VELMORA_BUNDLE + "' --context general";
    const CliResult c = run("C", describe);
    const CliResult comma = run(kDecimalCommaLocale, describe);
    ASSERT_EQ(c.code, 0) << c.err;
    ASSERT_EQ(comma.code, 0) << comma.err;
    EXPECT_EQ(firstDifference(comma.out, c.out), "");
    EXPECT_NE(c.out.find("\"Grain Amount\""), std::string::npos);
}

TEST_F(LocaleCli, RenderGivesTheSamePixels) {
    // Fractional values on the command line, and defaults that have fractions (the grain amount).
    const std::string settings =
        "--set blur_amount=12.5 --set mask_blur=1.5 --set retexture_enable=on --set "
        "retexture_offset=0.25,-0.125 "
        "--set grain_enable=on";
    CliResult r = render("C", "c.exr", settings);
    ASSERT_EQ(r.code, 0) << r.err;
    r = render(kDecimalCommaLocale, "comma.exr", settings);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(difference("comma.exr", "c.exr"), 0.0f);
    EXPECT_NE(r.out.find("Rendered 1 frame (48x32) in "), std::string::npos) << r.out;
}

TEST_F(LocaleCli, PresetsSavedInOneLocaleLoadInTheOther) {
    const std::string settings =
        "--set blur_amount=12.5 --set retexture_enable=on --set retexture_offset=0.25,-0.125";
    ASSERT_EQ(render("C", "set.exr", settings).code, 0);
    const struct {
        const char* saveIn;
        const char* loadIn;
    } ways[] = {{kDecimalCommaLocale, "C"}, {"C", kDecimalCommaLocale}};
    for (const auto& way : ways) {
        SCOPED_TRACE(std::string("saved in ") + way.saveIn + ", loaded in " + way.loadIn);
        const std::string name = std::string("Saved in ") + way.saveIn;
        CliResult r =
            run(way.saveIn, "save-preset '" + name + "' --bundle '" + VELMORA_BUNDLE + "' " + settings);
        ASSERT_EQ(r.code, 0) << r.err;
        r = render(way.loadIn, "preset.exr", "--preset '" + name + "'");
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(difference("preset.exr", "set.exr"), 0.0f);
    }
}

}  // namespace
