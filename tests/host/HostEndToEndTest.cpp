// The whole road of a plug-in through our host: load, describe, instance, change, render, unload.
#include <gtest/gtest.h>

#include <algorithm>

#include "Effect.h"
#include "Host.h"
#include "HostError.h"
#include "Instance.h"
#include "PluginBinary.h"
#include "ofxImageEffect.h"

using namespace vhost;

namespace {

std::vector<std::string> actionNames(const Host& host) {
    std::vector<std::string> names;
    for (const auto& a : const_cast<Host&>(host).records().actions()) names.push_back(a.action);
    return names;
}

bool hasMessage(Host& host, const std::string& text) {
    for (const auto& m : host.records().messages())
        if (m.text == text) return true;
    return false;
}

}  // namespace

TEST(HostEndToEnd, InvertGoesTheWholeRoad) {
    Host host(HostIdentity::forName("DaVinciResolve"));
    {
        PluginBinary binary = host.load(VHOST_INVERT_BUNDLE);
        ASSERT_EQ(binary.plugins().size(), 1u);
        const Plugin& plugin = binary.plugin("com.velmora.test.invert");
        EXPECT_EQ(plugin.versionMajor(), 1u);
        EXPECT_EQ(plugin.versionMinor(), 2u);

        // Every announced context describes; another is refused with the plug-in's reason.
        for (const char* context : {kOfxImageEffectContextFilter, kOfxImageEffectContextGeneral}) {
            Effect fx = plugin.describe(context);
            EXPECT_EQ(fx.properties().string(kOfxPropLabel), "Invert");
            EXPECT_EQ(fx.properties().string(kOfxImageEffectPropContext), context);
            ASSERT_EQ(fx.clips().size(), 2u);
            EXPECT_EQ(fx.clips()[0]->name(), "Source");
        }
        try {
            plugin.describe(kOfxImageEffectContextTransition);
            FAIL() << "transition is not announced";
        } catch (const HostError& e) {
            EXPECT_EQ(e.status(), kOfxStatErrUnsupported);
        }

        Effect fx = plugin.describe(kOfxImageEffectContextFilter);
        std::vector<std::string> names;
        for (const auto& p : fx.params().params()) names.push_back(p->name());
        EXPECT_EQ(names, (std::vector<std::string>{"amount", "mode", "rebuild", "echo", "fail"}));

        Instance inst = fx.createInstance();
        host.records().clear();
        EXPECT_EQ(inst.setParam("amount", 0.25), kOfxStatOK);
        EXPECT_EQ(actionNames(host),
                  (std::vector<std::string>{kOfxActionBeginInstanceChanged, kOfxActionInstanceChanged,
                                            kOfxActionEndInstanceChanged}));
        EXPECT_TRUE(hasMessage(host, "changed OfxTypeParameter amount OfxChangeUserEdited 0"));

        // Source stored top row first (negative stride), output with padded rows.
        const OfxRectI bounds{0, 0, 5, 3};
        auto source = std::make_shared<Image>(bounds, -(5 * 16 + 48));
        source->fillWith([](int x, int y, float* p) {
            p[0] = 0.1f * x;
            p[1] = 0.2f * y;
            p[2] = 0.5f;
            p[3] = 1.0f;
        });
        auto output = std::make_shared<Image>(bounds, 5 * 16 + 32);
        EXPECT_EQ(inst.connectClip("Source", source), kOfxStatOK);
        EXPECT_EQ(inst.connectClip("Output", output), kOfxStatOK);
        ASSERT_EQ(inst.render(0.0, bounds), kOfxStatOK);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) {
                const float* in = source->pixel(x, y);
                const float* out = output->pixel(x, y);
                for (int c = 0; c < 4; ++c)
                    EXPECT_NEAR(out[c], 0.25f * (1 - in[c]) + 0.75f * in[c], 1e-6) << x << "," << y;
            }
        EXPECT_EQ(inst.outstandingImages(), 0);

        // A render window outside the output image never reaches the plug-in.
        EXPECT_THROW(inst.render(0.0, OfxRectI{0, 0, 6, 3}), HostError);

        // A render that throws is a failed render, and the instance lives on.
        inst.setParam("fail", true);
        EXPECT_EQ(inst.render(0.0, bounds), kOfxStatErrFatal);
        inst.setParam("fail", false);
        EXPECT_EQ(inst.render(0.0, bounds), kOfxStatOK);

        inst.setParam("amount", 0.0);
        const IdentityResult identity = inst.isIdentity(0.0, bounds);
        EXPECT_TRUE(identity.identity);
        EXPECT_EQ(identity.clip, "Source");
        host.records().clear();
    }
    // The instance went first, then the plug-in was unloaded.
    const auto names = actionNames(host);
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names[names.size() - 2], kOfxActionDestroyInstance);
    EXPECT_EQ(names.back(), kOfxActionUnload);
}

TEST(HostEndToEnd, PluginEditsAreAnnouncedOnceAndUndoable) {
    Host host;
    PluginBinary binary = host.load(VHOST_INVERT_BUNDLE);
    Instance inst = binary.plugins()[0].describe().createInstance();
    host.records().clear();

    // The plug-in answers every change of "echo" by writing "echo" again.
    EXPECT_EQ(inst.setParam("echo", 1), kOfxStatOK);
    EXPECT_EQ(std::get<int>(inst.value("echo")), 3);
    EXPECT_TRUE(hasMessage(host, "changed OfxTypeParameter echo OfxChangeUserEdited 0"));
    EXPECT_TRUE(hasMessage(host, "changed OfxTypeParameter echo OfxChangePluginEdited 0"));
    const auto names = actionNames(host);
    EXPECT_EQ(std::count(names.begin(), names.end(), kOfxActionInstanceChanged), 2);

    // Each paramEditBegin/End pair was one undo block; undo takes back the last.
    ASSERT_EQ(inst.object().params().undoBlocks().size(), 2u);
    // Undo restores 2 and announces it; the plug-in's answer takes it to 3 and, once more, 4.
    EXPECT_TRUE(inst.undo());
    EXPECT_EQ(std::get<int>(inst.value("echo")), 4);
}

TEST(HostEndToEnd, ChoiceOptionsChangedAtRunTime) {
    Host host;
    PluginBinary binary = host.load(VHOST_INVERT_BUNDLE);
    Instance inst = binary.plugins()[0].describe().createInstance();
    EXPECT_EQ(inst.choiceOptions("mode"), (std::vector<std::string>{"All", "Colour only"}));
    EXPECT_THROW(inst.setParam("mode", 2), HostError);

    EXPECT_EQ(inst.pressButton("rebuild"), kOfxStatOK);
    EXPECT_EQ(inst.choiceOptions("mode"), (std::vector<std::string>{"Red", "Green", "Blue"}));
    EXPECT_EQ(std::get<int>(inst.value("mode")), 2);
    EXPECT_TRUE(hasMessage(host, "changed OfxTypeParameter mode OfxChangePluginEdited 0"));
    EXPECT_EQ(inst.setParam("mode", std::string("Green")), kOfxStatOK);
    EXPECT_EQ(std::get<int>(inst.value("mode")), 1);
}
