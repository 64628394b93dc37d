// velmora-render as a command-line tool: numbered names and frame lists as compositors write
// them, parameters found by script name or label, the habits of such tools (--version, --quiet,
// --threads, a progress log without carriage returns, a default bundle).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "CliTestSupport.h"
#include "EffectSession.h"
#include "ImageFiles.h"
#include "gpu/GpuRuntime.h"

using imagefiles::readImage;
using imagefiles::writeImage;

namespace {

constexpr int kWidth = 40, kHeight = 24;

class CommandLine : public ::testing::Test {
  protected:
    void SetUp() override {
        writeImage(dir / "mask.png", *rectangleMask(kWidth, kHeight, 14, 8, 26, 16));
        writeImage(dir / "plate.png", *gradientPlate(kWidth, kHeight));
    }
    CliResult render(const std::string& options) {
        return runCli("render" + commonOptions() + " " + options);
    }
    std::string in(const std::string& name) const { return quoted(dir / name); }
    std::string plateAndMask() const { return "--plate " + in("plate.png") + " --mask " + in("mask.png"); }

    TemporaryFolder dir;
};

}  // namespace

// Each way of numbering a sequence and of listing its frames renders exactly the frames asked for,
// each from its own numbered plate.
TEST_F(CommandLine, FramePatternsAndFrameListsAsCompositorsWriteThem) {
    for (int frame : {1, 2, 3, 4, 5, 7, 10, 11, 12})  // p.001.png ...
        writeImage(dir / ("p." + std::to_string(1000 + frame).substr(1) + ".png"),
                   *gradientPlate(kWidth, kHeight, frame / 255.0f));
    struct Case {
        std::string plate, out, frames;
        std::vector<std::string> written;
    } cases[] = {
        {"p.###.png", "a.####.png", "1-3", {"a.0001.png", "a.0002.png", "a.0003.png"}},
        {"p.%03d.png", "b.@.png", "1-5x2", {"b.1.png", "b.3.png", "b.5.png"}},
        {"p.@@@.png", "c.%d.png", "2,7,10-12", {"c.2.png", "c.7.png", "c.10.png", "c.11.png", "c.12.png"}},
    };
    for (const auto& c : cases) {
        const CliResult r = render("--plate " + in(c.plate) + " --mask " + in("mask.png") + " --out " +
                                   in(c.out) + " --frames " + c.frames);
        ASSERT_EQ(r.code, 0) << c.plate << ": " << r.err;
        EXPECT_NE(r.out.find("Rendered " + std::to_string(c.written.size()) + " frames"), std::string::npos)
            << r.out;
        for (const std::string& name : c.written) {
            ASSERT_TRUE(std::filesystem::exists(dir / name)) << c.out << ": " << name;
            // Outside the hole the output is that frame's own plate.
            const int frame = std::stoi(name.substr(2, name.size() - 6));
            const std::string plate = "p." + std::to_string(1000 + frame).substr(1) + ".png";
            EXPECT_EQ(readImage(dir / name)->pixel(2, 2)[0], readImage(dir / plate)->pixel(2, 2)[0]) << name;
        }
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}),
                  static_cast<long>(11 + c.written.size()))
            << c.out << ": only the frames asked for";
        for (const std::string& name : c.written) std::filesystem::remove(dir / name);
    }
    const CliResult bad = render(plateAndMask() + " --out " + in("o.####.png") + " --frames 1-10x0");
    EXPECT_EQ(bad.code, 2);
    EXPECT_NE(bad.err.find("expected frames such as 7, 1-100, 1-100x2 or 1,5,10-20"), std::string::npos)
        << bad.err;
}

// `params` is the plug-in's own description, parameter by parameter.
TEST_F(CommandLine, ParamsListsWhatThePluginDescribes) {
    const CliResult listed = runCli(std::string("params --json --bundle '") + VELMORA_BUNDLE + "'");
    ASSERT_EQ(listed.code, 0) << listed.err;
    const CliResult described = runCli(std::string("describe '") + VELMORA_BUNDLE + "' --context general");
    ASSERT_EQ(described.code, 0) << described.err;
    const nlohmann::json params = nlohmann::json::parse(listed.out);
    const nlohmann::json description = nlohmann::json::parse(described.out);
    std::map<std::string, nlohmann::json> byName;
    for (const auto& p : description["parameters"]) byName[p["name"].get<std::string>()] = p;

    std::size_t valued = 0;
    for (const auto& [name, p] : byName)
        if (p["kind"] != "group" && p["kind"] != "page" && p["kind"] != "pushbutton") ++valued;
    EXPECT_EQ(params.size(), valued);
    for (const auto& p : params) {
        SCOPED_TRACE(p.dump());
        ASSERT_EQ(byName.count(p["name"]), 1u);
        const nlohmann::json& d = byName[p["name"]];
        EXPECT_EQ(p["label"], d["label"]);
        EXPECT_EQ(p["type"], d["kind"]);
        for (const char* key : {"min", "max", "default", "options"})
            if (d.contains(key)) {
                EXPECT_EQ(p[key], d[key]) << key;
            }
    }

    const CliResult table = runCli(std::string("params --bundle '") + VELMORA_BUNDLE + "'");
    ASSERT_EQ(table.code, 0) << table.err;
    EXPECT_NE(table.out.find(
                  "blur_amount           Velmora Amount              double    0 .. 1000             50\n"),
              std::string::npos)
        << table.out;
}

// --set takes a script name or a label; a name that is neither gets the nearest names, a value
// outside the range is clamped with a warning, and a preset's name is suggested the same way.
TEST_F(CommandLine, SettingsByLabelWithSuggestionsAndClampedValues) {
    // By label, any letter case: the same picture as by script name.
    CliResult r = render(plateAndMask() + " --out " + in("label.png") +
                         " --set 'velmora amount=3' --set show_unfilled=on");
    ASSERT_EQ(r.code, 0) << r.err;
    r = render(plateAndMask() + " --out " + in("name.png") +
               " --set blur_amount=3 --set 'Highlight Unfilled=on'");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(maxDifference(*readImage(dir / "label.png"), *readImage(dir / "name.png")), 0.0f);
    EXPECT_GT(maxDifference(*readImage(dir / "label.png"), *readImage(dir / "plate.png")), 0.1f);

    struct Case {
        std::string args, reason;
    } cases[] = {
        {"--set blur_amout=3", "did you mean 'blur_amount'"},
        {"--set 'Velmora Amont=3'", "did you mean 'Velmora Amount'"},
        {"--set 'Directional Amount=3'",
         "several parameters have that label ('dir_amount' or 'post_dir_amount')"},
        {"--set zzzzzzzz=1", "no parameter has that script name or label (velmora-render params lists them)"},
        {"--preset 'Wire Remval'", "did you mean 'Wire Removal'?"},
    };
    for (const auto& c : cases) {
        r = render(plateAndMask() + " --out " + in("bad.png") + " " + c.args);
        EXPECT_EQ(r.code, 1) << c.args;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << c.args << ": " << r.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "bad.png")) << c.args;
    }

    r = render(plateAndMask() + " --out " + in("clamped.png") +
               " --set blur_amount=5000 --set retexture_offset=0,-7");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(
        r.err.find("warning: --set blur_amount=5000: 5000 is above the largest value of blur_amount (Velmora "
                   "Amount), 1000; the host clamps it to that"),
        std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("-7 is below the smallest value of retexture_offset"), std::string::npos) << r.err;
    r = render(plateAndMask() + " --out " + in("max.png") + " --set blur_amount=1000");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(maxDifference(*readImage(dir / "clamped.png"), *readImage(dir / "max.png")), 0.0f);
}

// A request for the GPU where there is none says that the CPU renders.
TEST_F(CommandLine, AskingForTheGpuWithoutOneSaysTheCpuRenders) {
    std::string status;
    const bool gpu = cudaDeviceUsable(&status);
    const CliResult r = runCli("render --bundle '" + std::string(VELMORA_BUNDLE) + "' --backend cuda " +
                               plateAndMask() + " --out " + in("o.png"));
    ASSERT_EQ(r.code, 0) << r.err;
    const bool told =
        r.err.find("--backend cuda asks for the GPU, but CUDA is not usable here (") != std::string::npos;
    EXPECT_NE(told, gpu) << r.err;
    if (told) {
        EXPECT_NE(r.err.find("); rendering on the CPU\n"), std::string::npos) << r.err;
    }
}

TEST_F(CommandLine, HabitsOfCommandLineTools) {
    // --version names the program and the plug-in it renders with.
    CliResult r = runCli("--version");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind("velmora-render ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("plug-in: com.xmlframework.velmora 1.0 in "), std::string::npos) << r.out;

    // --quiet: nothing but errors, even for a sequence.
    for (int frame : {1, 2})
        writeImage(dir / ("q." + std::to_string(frame) + ".png"), *gradientPlate(kWidth, kHeight));
    r = render("--plate " + in("q.#.png") + " --mask " + in("mask.png") + " --out " + in("o.#.png") +
               " --frames 1-2 --quiet");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(std::filesystem::exists(dir / "o.2.png"));

    // list and describe take the bundle beside the program when none is named.
    r = runCli("list");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("com.xmlframework.velmora 1.0"), std::string::npos) << r.out;
    r = runCli("describe --host resolve");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\"identifier\": \"com.xmlframework.velmora\""), std::string::npos);

    r = runCli(std::string("presets --bundle '") + VELMORA_BUNDLE + "'");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Factory presets ("), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\n  Wire Removal\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("User presets ("), std::string::npos) << r.out;

    for (const char* bad : {"--threads 0", "--threads two", "--threads 2.5"}) {
        r = render(plateAndMask() + " --out " + in("o.png") + " " + bad);
        EXPECT_EQ(r.code, 2) << bad;
        EXPECT_NE(r.err.find("expected a whole number from 1 to 1024"), std::string::npos) << r.err;
    }
}

// --threads sets how many CPUs our host's multi-thread suite offers, and the plug-in's CPU work
// spreads over exactly that many threads.
TEST(CommandLineThreads, ThePluginWorksOnAsManyHostThreadsAsAllowed) {
    for (unsigned threads : {1u, 3u}) {
        SessionOptions options;
        options.bundle = VELMORA_BUNDLE;
        options.backend = "cpu";
        options.threads = threads;
        EffectSession session(options);
        session.render(1.0,
                       FrameImages{gradientPlate(64, 48), rectangleMask(64, 48, 20, 10, 40, 30), nullptr},
                       1.0, false);
        // One thread runs on the render's own; more go through the host's suite, never past the count.
        EXPECT_LE(session.hostRecords().mostThreads(), threads);
        if (threads > 1) {
            EXPECT_EQ(session.hostRecords().mostThreads(), threads);
        }
    }
}
