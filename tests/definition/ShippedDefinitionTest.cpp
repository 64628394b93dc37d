#include <map>

#include "DefinitionTestSupport.h"
#include "definition/EmbeddedDefinition.h"

namespace {

class ShippedDefinitionTest : public LoggedTest {};

TEST_F(ShippedDefinitionTest, ContentOfTheVelmoraDocument) {
    XMLEffectDefinition definition;
    ASSERT_TRUE(definition.parse(velmora_definition_xml)) << logText();
    EXPECT_EQ(definition.getName(), "ORBALT Velmora");
    EXPECT_EQ(definition.getCategory(), "Orbalt");
    EXPECT_EQ(definition.getVersion(), "1.1");
    EXPECT_EQ(definition.getReleaseDate(), "2026-08-27");
    EXPECT_EQ(definition.getDebugLevel(), "error");
    EXPECT_TRUE(definition.isFrameVarying());
    EXPECT_FALSE(definition.isTransition());

    ASSERT_EQ(definition.getInputs().size(), 2u);
    EXPECT_EQ(definition.getInputs()[0].name, "Source");
    EXPECT_FALSE(definition.getInputs()[0].optional);
    EXPECT_EQ(definition.getInputs()[1].name, "Mask_Shape");
    EXPECT_TRUE(definition.getInputs()[1].optional);
    EXPECT_EQ(definition.getInputNoInputCode("Mask_Shape"), 2);

    std::map<std::string, int> byType;
    for (const ParameterDefinition& p : definition.getParameters()) ++byType[p.type];
    EXPECT_EQ(definition.getParameters().size(), 23u);
    EXPECT_EQ(byType, (std::map<std::string, int>{{"float", 15}, {"bool", 5}, {"choice", 1}, {"vec2", 2}}));

    // Float and bool slots are ranks among parameters of the same kind.
    int floatRank = -1, boolRank = -1;
    for (const ParameterDefinition& p : definition.getParameters()) {
        if (p.type == "float") ++floatRank;
        if (p.type == "bool") ++boolRank;
        if (p.name == "grain_chromatic") {
            EXPECT_EQ(floatRank, 14);
        }
        if (p.name == "edge_mode") {
            EXPECT_EQ(boolRank, 4);
        }
    }

    const ParameterDefinition& offset = definition.getParameter("source_offset");
    ASSERT_EQ(offset.components.size(), 2u);
    EXPECT_EQ(offset.components[1].name, "y");
    EXPECT_EQ(offset.components[1].minValue, -2.0);
    EXPECT_EQ(offset.components[1].maxValue, 2.0);
    EXPECT_DOUBLE_EQ(offset.components[0].inc, 0.0001);
    const ParameterDefinition& blur = definition.getParameter("blur_amount");
    EXPECT_EQ(blur.defaultValue, 50.0);
    EXPECT_EQ(blur.maxValue, 1000.0);
    EXPECT_EQ(blur.displayMax, 200.0);
    EXPECT_TRUE(definition.getParameter("mask_grow").resolution_scaled);
    EXPECT_TRUE(definition.getParameter("mask_blur").resolution_scaled);
    EXPECT_FALSE(definition.getParameter("blur_amount").resolution_scaled);
    const ParameterDefinition& maskFrom = definition.getParameter("mask_from");
    ASSERT_EQ(maskFrom.options.size(), 3u);
    EXPECT_EQ(maskFrom.options[0].label, "Mask Shape's Luminance");
    EXPECT_EQ(maskFrom.options[2].value, "2");
    EXPECT_EQ(definition.getParameter("edge_mode").hint, "Off=clamp/stretch edges, On=reflect edges");

    const std::vector<std::size_t> groupSizes = {8, 5, 4, 4, 1, 1};
    ASSERT_EQ(definition.getGroups().size(), groupSizes.size());
    for (std::size_t g = 0; g < groupSizes.size(); ++g) {
        EXPECT_EQ(definition.getGroups()[g].parameters.size(), groupSizes[g])
            << definition.getGroups()[g].name;
        EXPECT_EQ(definition.getGroups()[g].open, g == 0) << definition.getGroups()[g].name;
    }
    EXPECT_EQ(definition.getGroups()[5].name, "Source Offset");

    ASSERT_EQ(definition.getProcesses().size(), 3u);
    std::vector<std::string> cudaFiles;
    std::vector<int> cudaExecutions;
    int passes = 0;
    for (const ProcessDefinition& process : definition.getProcesses()) {
        for (const KernelDefinition& kernel : process.kernels) {
            if (kernel.platform != "cuda") continue;
            cudaFiles.push_back(kernel.file);
            cudaExecutions.push_back(kernel.executions);
            passes += kernel.executions;
        }
    }
    EXPECT_EQ(cudaFiles, (std::vector<std::string>{"mask_prep.cu", "blur_divide.cu", "post_blur.cu",
                                                   "retexture_blur.cu", "composite.cu"}));
    EXPECT_EQ(cudaExecutions, (std::vector<int>{4, 3, 2, 2, 1}));
    EXPECT_EQ(passes, 12);
    EXPECT_EQ(definition.getProcesses()[1].kernels.size(), 4u);  // cuda and metal twins
    EXPECT_TRUE(definition.getPages().empty());
    EXPECT_TRUE(definition.getOverlays().empty());
}

}  // namespace
