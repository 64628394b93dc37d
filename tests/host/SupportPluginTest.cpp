// The support-layer plug-in through our host: describe, instance, change, render, failure, unload.
#include <gtest/gtest.h>

#include "Effect.h"
#include "Host.h"
#include "HostError.h"
#include "Instance.h"
#include "PluginBinary.h"
#include "ofxImageEffect.h"

using namespace vhost;

TEST(SupportPlugin, WholeRoad) {
    Host host(HostIdentity::forName("uk.co.thefoundry.nuke"));
    {
        PluginBinary binary = host.load(VHOST_SUPPORT_INVERT_BUNDLE);
        const Plugin& plugin = binary.plugin("com.velmora.test.supportinvert");
        EXPECT_EQ(plugin.versionMajor(), 2u);
        for (const char* context : {kOfxImageEffectContextFilter, kOfxImageEffectContextGeneral}) {
            Effect fx = plugin.describe(context);
            EXPECT_EQ(fx.properties().string(kOfxPropLabel), "Support Invert");
            ASSERT_NE(fx.params().find("amount"), nullptr);
            EXPECT_EQ(fx.params().find("amount")->props().number(kOfxParamPropDefault), 1.0);
        }

        Instance inst = plugin.describe(kOfxImageEffectContextFilter).createInstance();
        host.records().clear();
        EXPECT_EQ(inst.setParam("amount", 0.5), kOfxStatOK);
        bool announced = false;
        for (const auto& m : host.records().messages()) announced |= m.text == "changed amount user 0.000000";
        EXPECT_TRUE(announced);

        const OfxRectI bounds{-2, 1, 2, 4};  // bounds off the origin, padded rows
        auto source = std::make_shared<Image>(bounds, 4 * 16 + 16);
        source->fill(0.2f, 0.4f, 0.8f, 1.0f);
        auto output = std::make_shared<Image>(bounds, -(4 * 16 + 64));
        inst.connectClip("Source", source);
        inst.connectClip("Output", output);
        ASSERT_EQ(inst.render(1.0, bounds), kOfxStatOK);
        const float* p = output->pixel(1, 3);
        EXPECT_NEAR(p[0], 0.5f, 1e-6);
        EXPECT_NEAR(p[3], 0.5f, 1e-6);
        EXPECT_EQ(inst.outstandingImages(), 0);

        // The support layer turns the render's exception into a failed status.
        inst.setParam("fail", true);
        const OfxStatus failed = inst.render(1.0, bounds);
        EXPECT_FALSE(succeeded(failed)) << statusName(failed);
        EXPECT_EQ(inst.outstandingImages(), 0);
        host.records().clear();
    }
    const auto actions = host.records().actions();
    ASSERT_GE(actions.size(), 2u);
    EXPECT_EQ(actions[actions.size() - 2].action, kOfxActionDestroyInstance);
    EXPECT_EQ(actions.back().action, kOfxActionUnload);
    EXPECT_EQ(actions.back().status, kOfxStatOK);
}
