// velmora-render list and describe on the test bundles, including their error exits.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "CliRun.h"

TEST(VelmoraRenderCli, ListsPlugins) {
    const CliResult r = runCli(std::string("list '") + VHOST_INVERT_BUNDLE + "'");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "com.velmora.test.invert 1.2\n");
}

TEST(VelmoraRenderCli, DescribesParametersInCreationOrder) {
    const CliResult r =
        runCli(std::string("describe '") + VHOST_INVERT_BUNDLE + "' --host flame --context general");
    ASSERT_EQ(r.code, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["identifier"], "com.velmora.test.invert");
    EXPECT_EQ(j["host"], "com.autodesk.flame");
    EXPECT_EQ(j["context"], "OfxImageEffectContextGeneral");
    ASSERT_EQ(j["parameters"].size(), 5u);
    const auto& amount = j["parameters"][0];
    EXPECT_EQ(amount["name"], "amount");
    EXPECT_EQ(amount["kind"], "double");
    EXPECT_EQ(amount["default"], 1.0);
    EXPECT_EQ(amount["max"], 1.0);
    EXPECT_EQ(amount["increment"], 0.01);
    EXPECT_EQ(amount["hint"], "Share of the inverted colour");
    EXPECT_EQ(j["parameters"][1]["options"], (std::vector<std::string>{"All", "Colour only"}));
    EXPECT_EQ(j["parameters"][3]["secret"], true);
    EXPECT_EQ(j["clips"][1]["name"], "Output");
}

TEST(VelmoraRenderCli, ErrorsExitNonZeroWithAReason) {
    struct Case {
        std::string args;
        std::string reason;
    } cases[] = {
        {"list /nonexistent/x.ofx.bundle", "bundle not found"},
        {std::string("list '") + VHOST_EMPTY_BUNDLE + "'", "has no plug-in binary"},
        {std::string("list '") + VHOST_NOEXPORTS_BUNDLE + "'", "does not export OfxGetNumberOfPlugins"},
        {std::string("describe '") + VHOST_NOEXPORTS_BUNDLE + "'", "does not export"},
        {std::string("describe '") + VHOST_INVERT_BUNDLE + "' --context transition",
         "does not support the context"},
        {std::string("describe '") + VHOST_INVERT_BUNDLE + "' --context sideways", "unknown context"},
        {"frobnicate", "unknown command"},
    };
    for (const auto& c : cases) {
        const CliResult r = runCli(c.args);
        EXPECT_NE(r.code, 0) << c.args;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << c.args << ": " << r.err;
        EXPECT_TRUE(r.out.empty()) << c.args;
    }
}
