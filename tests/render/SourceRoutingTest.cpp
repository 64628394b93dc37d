#include <gtest/gtest.h>

#include <cstring>

#include "RenderTestSupport.h"
#include "gpu/HostRuntime.h"
#include "render/RenderBufferManager.h"
#include "render/SourceRouting.h"
#include "render/TextureManager.h"

namespace {

std::string slotName(const SourceConnections& record, int i) {
    return reinterpret_cast<const char*>(static_cast<uintptr_t>(record.sources[i].sourceName));
}

// Routing over the shipped inputs ("Source", and "Mask_Shape" with noinput white), with real
// textures so that the injection can run.
class SourceRoutingTest : public ::testing::Test {
  protected:
    SourceRoutingTest() : plate(8, 8), mask(8, 8), matte(8, 8) {
        plate.fill(0.2f, 0.4f, 0.6f, 0.3f);
        mask.fill(1, 1, 1, 1);
        matte.fill(0, 0, 0, 1);
        textures.createDefaultTextures(8, 8);
        textures.createTexture("Source", 8, 8, plate.plane().data, plate.rowBytes);
        textures.createTexture("Mask_Shape", 8, 8, mask.plane().data, mask.rowBytes);
        textures.createTexture("Matte", 8, 8, matte.plane().data, matte.rowBytes);
        for (const char* name : {"Source", "Mask_Shape", "Matte"}) {
            TextureEntry entry;
            textures.findEntry(name, &entry);
            texture[name] = entry.texture;
        }
        map["Source"] = texture["Source"];
        map["Mask_Shape"] = texture["Mask_Shape"];
        connections["Source"] = true;
        connections["Mask_Shape"] = true;
        inputs.inputs = &shippedDefinition().getInputs();
        inputs.textures = &map;
        inputs.connectionStatus = &connections;
        inputs.textureManager = &textures;
        inputs.bufferManager = &manager;
    }

    // Alpha of the texture in slot 0, at its centre texel.
    float slot0Alpha(const SourceConnections& record) {
        GpuResourceDesc resource;
        EXPECT_EQ(gpu.getTextureObjectResourceDesc(&resource, record.sources[0].textureObject),
                  GpuErr::Success);
        float texel[4] = {-1, -1, -1, -1};
        gpu.memcpy2DFromArray(texel, 16, resource.array, 4 * 16, 4, 16, 1, GpuMemcpyDeviceToHost);
        return texel[3];
    }

    LogCapture log;
    HostRuntime& gpu = HostRuntime::instance();
    TestImage plate, mask, matte;
    TextureManager textures{gpu, true};
    RenderBufferManager manager{gpu};
    std::map<std::string, GpuTextureObject> texture;
    TextureMap map;
    ConnectionMap connections;
    SourceRoutingInputs inputs;
    MatteInjectionState state;
    SourceConnections record;
};

TEST_F(SourceRoutingTest, InputsThenEffectOutputThenProcessOutputsInOrder) {
    map["effectOutput"] = 101;
    map["pipelineOutput_0"] = 102;
    map["pipelineOutput_1"] = 103;
    map["pipelineOutput_3"] = 104;  // after a gap: not reached
    inputs.alphaSourceMode = 1;
    injectMatteTexture(inputs, state, record);
    ASSERT_EQ(record.sourceCount, 5);
    const char* names[] = {"Source", "Mask_Shape", "effectOutput", "pipelineOutput_0", "pipelineOutput_1"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(slotName(record, i), names[i]);
    EXPECT_EQ(record.sources[0].textureObject, texture["Source"]);
    EXPECT_EQ(record.sources[1].defaultMode, 2);
    EXPECT_EQ(record.sources[4].textureObject, 103u);
    EXPECT_EQ(record.sources[2].reserved36, -1);
    EXPECT_EQ(record.sources[2].reserved48, 4);
}

TEST_F(SourceRoutingTest, UnconnectedInputsGetTheirDefaultTexture) {
    map.erase("Mask_Shape");
    connections["Mask_Shape"] = false;
    map.erase("Source");
    injectMatteTexture(inputs, state, record);
    EXPECT_EQ(record.sources[0].textureObject, 0u);  // noinput "error": nothing stands in
    EXPECT_TRUE(log.contains("Required input 'Source' not connected"));
    EXPECT_EQ(record.sources[1].textureObject, textures.getDefaultTexture(TextureManager::NoInputWhite));
    EXPECT_EQ(record.sources[1].isConnected, 0);
}

// Resolve's Input 2 routing: what slot 1 holds and what feeds the injection, by selector value.
TEST_F(SourceRoutingTest, InputTwoRoutingFollowsTheSelector) {
    struct Case {
        int feeds;
        bool matteConnected;
        bool slot1IsMask;
        float slot0Alpha;  // after "Auto" alpha handling
    };
    const Case cases[] = {
        {1, false, true, 0.3f},   // Input 2 is Mask_Shape: rebound, no matte
        {2, false, false, 1.0f},  // Input 2 is the Matte: slot 1 default, the white mask feeds the matte
        {0, false, false, 0.3f},  // None: slot 1 default, no matte
        {2, true, true, 0.0f},    // a connected Matte clip turns routing off: its black matte feeds
    };
    inputs.auxRoutingActive = true;
    for (const Case& c : cases) {
        inputs.auxSourceIndex = c.feeds;
        inputs.matteConnected = c.matteConnected;
        inputs.matteTexture = c.matteConnected ? texture["Matte"] : 0;
        state = MatteInjectionState();
        injectMatteTexture(inputs, state, record);
        const GpuTextureObject white = textures.getDefaultTexture(TextureManager::NoInputWhite);
        EXPECT_EQ(record.sources[1].textureObject, c.slot1IsMask ? texture["Mask_Shape"] : white) << c.feeds;
        EXPECT_EQ(record.sources[1].isConnected, c.slot1IsMask ? 1 : 0) << c.feeds;
        EXPECT_FLOAT_EQ(slot0Alpha(record), c.slot0Alpha) << c.feeds;
    }
}

TEST_F(SourceRoutingTest, OpaqueInjectsOnceWithoutAMatteAndLaterPassesReuseIt) {
    inputs.alphaSourceMode = 3;
    injectMatteTexture(inputs, state, record);
    ASSERT_TRUE(state.injectionDone);
    ASSERT_NE(state.injectedTexture, 0u);
    EXPECT_EQ(record.sources[0].textureObject, state.injectedTexture);
    EXPECT_FLOAT_EQ(slot0Alpha(record), 1.0f);
    const int launches = log.count("Matte injection applied");
    injectMatteTexture(inputs, state, record);
    EXPECT_EQ(log.count("Matte injection applied"), launches);
    EXPECT_EQ(record.sources[0].textureObject, state.injectedTexture);

    // "Source's Embedded Alpha" keeps the source's own texture.
    inputs.alphaSourceMode = 1;
    MatteInjectionState fresh;
    injectMatteTexture(inputs, fresh, record);
    EXPECT_EQ(record.sources[0].textureObject, texture["Source"]);
    EXPECT_FALSE(fresh.injectionDone);
}

TEST_F(SourceRoutingTest, FailedInjectionFallsBackToTheSourceAlpha) {
    inputs.alphaSourceMode = 3;
    inputs.bufferManager = nullptr;
    injectMatteTexture(inputs, state, record);
    EXPECT_TRUE(state.injectionDone);
    EXPECT_EQ(record.sources[0].textureObject, texture["Source"]);
    EXPECT_TRUE(log.contains("Matte injection failed - falling back to Embedded alpha"));
}

TEST_F(SourceRoutingTest, SixteenSlotsAtMostAndTransitionsHoldTheirTwoSources) {
    for (int i = 0; i < 20; ++i) map["pipelineOutput_" + std::to_string(i)] = 200 + i;
    map["effectOutput"] = 100;
    injectMatteTexture(inputs, state, record);
    EXPECT_EQ(record.sourceCount, 16);
    EXPECT_EQ(slotName(record, 15), "pipelineOutput_12");

    TextureMap transition{{"SourceFrom", 11}, {"SourceTo", 12}, {"Source", 13}};
    inputs.textures = &transition;
    inputs.isTransition = true;
    inputs.alphaSourceMode = 3;
    injectMatteTexture(inputs, state, record);
    ASSERT_EQ(record.sourceCount, 2);
    EXPECT_EQ(slotName(record, 0), "SourceFrom");
    EXPECT_EQ(record.sources[1].textureObject, 12u);
}

TEST(SourceRoutingRules, AuxRoutingAndMatteSynthesisFollowTheProfile) {
    const std::vector<InputDefinition>& shipped = shippedDefinition().getInputs();
    EXPECT_TRUE(auxRoutingApplies(true, true, true, shipped));    // Resolve, general: Mask_Shape + Matte
    EXPECT_FALSE(auxRoutingApplies(true, true, false, shipped));  // filter context
    EXPECT_FALSE(auxRoutingApplies(true, false, true, shipped));  // one auxiliary target only
    EXPECT_FALSE(auxRoutingApplies(false, true, true, shipped));
    std::vector<InputDefinition> withMatte = shipped;
    withMatte.push_back(InputDefinition());
    withMatte.back().name = "Matte";
    EXPECT_FALSE(matteClipSynthesized(true, true, withMatte));
    EXPECT_TRUE(auxRoutingApplies(true, true, true, withMatte));  // two declared auxiliary inputs

    EXPECT_EQ(matteInjectionMode(3, false), 2);
    EXPECT_EQ(matteInjectionMode(0, true), 1);
    EXPECT_EQ(matteInjectionMode(2, false), 0);
    EXPECT_EQ(matteInjectionMode(1, true), 0);
}

}  // namespace
