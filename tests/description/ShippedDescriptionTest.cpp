// The shipped effect as hosts see it: clips, parameters, groups and pages per host profile and context.
#include <algorithm>
#include <cmath>

#include "EffectTestSupport.h"
#include "ofxGPURender.h"

using velmora_test::describeEffect;
using velmora_test::TestFolders;
using Names = std::vector<std::string>;

namespace {

const Names kDefinitionOrder = {
    "source_offset",    "blur_amount",     "show_unfilled",      "dir_amount",    "dir_angle",
    "dir_bias",         "mask_from",       "mask_grow",          "mask_blur",     "post_blur_enable",
    "post_blur_amount", "post_dir_amount", "post_dir_angle",     "post_dir_bias", "retexture_enable",
    "retexture_offset", "retexture_blur",  "retexture_strength", "grain_enable",  "grain_amount",
    "grain_size",       "grain_chromatic", "edge_mode"};

Names concat(std::initializer_list<Names> parts) {
    Names all;
    for (const Names& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

const Names kUserGroups = {"_grp_Velmora", "_grp_Post Blur",     "_grp_Retexture",
                           "_grp_Grain",   "_grp_Edge Handling", "_grp_Source Offset"};

}  // namespace

TEST(ShippedDescription, SinglePageLayoutForUnknownHostInFilterAndGeneral) {
    for (const char* context : {"filter", "general"}) {
        SCOPED_TRACE(context);
        TestFolders folders;
        auto fx = describeEffect(VELMORA_BUNDLE, "com.example.compositor", context);

        const Names expected = concat({{"presetsHelp", "factory_preset_list", "preset_list", "delete_preset",
                                        "preset_name", "save_preset", "tutorialsButton", "Main"},
                                       kDefinitionOrder,
                                       kUserGroups,
                                       {"_grp_alpha_matte", "_premultiply_output", "Global Blend", "Blend"}});
        EXPECT_EQ(fx.paramNames(), expected);
        EXPECT_EQ(fx.clipNames(), (Names{"Source", "Mask_Shape", "Output"}));

        EXPECT_EQ(fx.pageChildren("Main"), kUserGroups);
        for (const char* name : {"factory_preset_list", "preset_list", "delete_preset", "preset_name",
                                 "save_preset", "tutorialsButton"})
            EXPECT_EQ(fx.parentOf(name), "presetsHelp") << name;
        EXPECT_EQ(fx.parentOf("blur_amount"), "_grp_Velmora");
        EXPECT_EQ(fx.parentOf("mask_blur"), "_grp_Velmora");
        EXPECT_EQ(fx.parentOf("post_dir_bias"), "_grp_Post Blur");
        EXPECT_EQ(fx.parentOf("retexture_offset"), "_grp_Retexture");
        EXPECT_EQ(fx.parentOf("grain_chromatic"), "_grp_Grain");
        EXPECT_EQ(fx.parentOf("edge_mode"), "_grp_Edge Handling");
        EXPECT_EQ(fx.parentOf("source_offset"), "_grp_Source Offset");
        EXPECT_EQ(fx.parentOf("_premultiply_output"), "_grp_alpha_matte");
        EXPECT_EQ(fx.parentOf("Blend"), "Global Blend");
        EXPECT_EQ(fx.parentOf("presetsHelp"), "");

        EXPECT_EQ(fx.param("_grp_Velmora")->props().integer(kOfxParamPropGroupOpen), 1);
        EXPECT_EQ(fx.param("_grp_Post Blur")->props().integer(kOfxParamPropGroupOpen), 0);
        EXPECT_EQ(fx.param("presetsHelp")->props().integer(kOfxParamPropGroupOpen), 0);
        EXPECT_EQ(fx.param("_grp_alpha_matte")->props().integer(kOfxParamPropGroupOpen), 0);
        EXPECT_EQ(fx.stringProp("_grp_alpha_matte", kOfxPropLabel), "Alpha / Matte");
        EXPECT_EQ(fx.stringProp("Global Blend", kOfxParamPropHint),
                  "Blend the effect with the original image");
        EXPECT_EQ(fx.param("_premultiply_output")->props().integer(kOfxParamPropAnimates), 0);
    }
}

TEST(ShippedDescription, EffectPropertiesAndContexts) {
    TestFolders folders;
    auto fx = describeEffect(VELMORA_BUNDLE, "com.example.compositor", "filter");
    vhost::PropertySet& props = fx.effect->baseProperties();
    EXPECT_EQ(props.string(kOfxPropLabel), "ORBALT Velmora");
    EXPECT_EQ(props.string(kOfxImageEffectPluginPropGrouping), "Orbalt");
    EXPECT_EQ(
        props.string(kOfxPropPluginDescription),
        "Simple object removal using blur and divide technique - blurs plate with inverted mask, divides to "
        "recover colors");
    EXPECT_EQ(props.strings(kOfxImageEffectPropSupportedContexts),
              (Names{kOfxImageEffectContextFilter, kOfxImageEffectContextGeneral}));
    EXPECT_EQ(props.strings(kOfxImageEffectPropSupportedPixelDepths), (Names{kOfxBitDepthFloat}));
    EXPECT_EQ(props.string(kOfxImageEffectPluginRenderThreadSafety), kOfxImageEffectRenderInstanceSafe);
    EXPECT_EQ(props.integer(kOfxImageEffectPropSupportsTiles), 0);
    EXPECT_EQ(props.integer(kOfxImageEffectPluginPropSingleInstance), 0);
    // The definition has cuda kernels, but on the CPU backend the effect needs host memory: no CUDA.
    EXPECT_NE(props.string(kOfxImageEffectPropCudaRenderSupported), "true");
    EXPECT_NE(props.string(kOfxImageEffectPropCudaStreamSupported), "true");
    EXPECT_FALSE(props.has(kOfxImageEffectPropOpenCLRenderSupported) &&
                 props.string(kOfxImageEffectPropOpenCLRenderSupported) == "true");
}

TEST(ShippedDescription, ResolveGeneralSynthesizesMatteAndRoutesInputTwo) {
    TestFolders folders;
    auto fx = describeEffect(VELMORA_BUNDLE, "resolve", "general");

    EXPECT_EQ(fx.clipNames(), (Names{"Source", "Mask_Shape", "Output", "Matte"}));
    EXPECT_EQ(fx.clip("Mask_Shape")->props().integer(kOfxImageClipPropIsMask), 1);
    EXPECT_EQ(fx.clip("Source")->props().integer(kOfxImageClipPropIsMask), 0);
    EXPECT_EQ(fx.clip("Source")->props().integer(kOfxImageClipPropOptional), 0);
    EXPECT_EQ(fx.clip("Mask_Shape")->props().integer(kOfxImageClipPropOptional), 1);
    EXPECT_EQ(fx.clip("Matte")->props().integer(kOfxImageClipPropOptional), 1);
    EXPECT_EQ(fx.clip("Matte")->props().integer(kOfxImageEffectPropSupportsTiles), 1);
    EXPECT_EQ(fx.clip("Matte")->props().strings(kOfxImageEffectPropSupportedComponents),
              (Names{kOfxImageComponentRGBA}));

    const Names expected =
        concat({{"presetsHelp", "factory_preset_list", "preset_list", "delete_preset", "preset_name",
                 "save_preset", "refresh_presets", "tutorialsButton", "Main"},
                kDefinitionOrder,
                kUserGroups,
                {"_grp_aux_routing", "_aux_input2_feeds", "_grp_alpha_matte", "_alpha_source",
                 "_premultiply_output", "Global Blend", "Blend"}});
    EXPECT_EQ(fx.paramNames(), expected);

    const vhost::Param* feeds = fx.param("_aux_input2_feeds");
    EXPECT_EQ(feeds->props().strings(kOfxParamPropChoiceOption),
              (Names{"None", "Mask Shape", "Matte Input"}));
    EXPECT_EQ(feeds->props().integer(kOfxParamPropDefault), 1);
    EXPECT_EQ(fx.parentOf("_aux_input2_feeds"), "_grp_aux_routing");
    EXPECT_EQ(fx.stringProp("_grp_aux_routing", kOfxPropLabel), "Resolve Color Page: Input 2 Routing");

    const vhost::Param* alpha = fx.param("_alpha_source");
    EXPECT_EQ(alpha->props().string(kOfxParamPropHint),
              "Matte = the Matte input. Color page: also set 'Use Input 2 As' to Matte Input.");
    EXPECT_EQ(alpha->props().strings(kOfxParamPropChoiceOption),
              (Names{"Auto", "Source's Embedded Alpha", "Matte Input's Luminance", "Opaque (Alpha = 1)"}));
    EXPECT_EQ(alpha->props().integer(kOfxParamPropAnimates), 0);
    EXPECT_EQ(fx.parentOf("_alpha_source"), "_grp_alpha_matte");
}

TEST(ShippedDescription, ResolveFilterHasNoMatteRoutingOrAlphaSource) {
    TestFolders folders;
    auto fx = describeEffect(VELMORA_BUNDLE, "resolve", "filter");
    EXPECT_EQ(fx.clipNames(), (Names{"Source", "Mask_Shape", "Output"}));
    EXPECT_EQ(fx.param("_aux_input2_feeds"), nullptr);
    EXPECT_EQ(fx.param("_alpha_source"), nullptr);
    EXPECT_NE(fx.param("_premultiply_output"), nullptr);
}

TEST(ShippedDescription, RefreshButtonOnlyWhereChoicesAreNotPrefilled) {
    // presetPrePop: Resolve and Fusion 0 (Refresh shown); Nuke and unknown hosts 1; Flame uses pages.
    const std::vector<std::pair<std::string, bool>> cases = {{"resolve", true},
                                                             {"fusion", true},
                                                             {"nuke", false},
                                                             {"com.example.compositor", false},
                                                             {"flame", false}};
    for (const auto& [host, hasRefresh] : cases) {
        SCOPED_TRACE(host);
        TestFolders folders;
        auto fx = describeEffect(VELMORA_BUNDLE, host, "filter");
        EXPECT_EQ(fx.param("refresh_presets") != nullptr, hasRefresh);
    }
}

TEST(ShippedDescription, FlamePagesPaddedToWholeTabs) {
    TestFolders folders;
    folders.useDefinition(velmora_test::shippedDefinitionAtLevel("info"));
    auto fx = describeEffect(VELMORA_TEST_BUNDLE, "flame", "general");

    EXPECT_EQ(fx.clipNames(), (Names{"Source", "Mask_Shape", "Output"}));
    EXPECT_EQ(fx.pageChildren("Main"), (Names{"_grp_Velmora", "_grp_Post Blur", "_grp_Retexture",
                                              "_grp_Grain", "_grp_Edge Handling"}));
    EXPECT_EQ(fx.pageChildren("Page 2"),
              (Names{"_grp_Source Offset", "_pad_0", "_pad_1", "_pad_2", "_pad_3", "_pad_4"}));
    EXPECT_EQ(fx.pageChildren("Settings"),
              (Names{"factoryPresets", "myPresets", "blendHelpGroup", "_grp_alpha_matte"}));
    EXPECT_EQ(fx.param("Main (2)"), nullptr);

    for (int column = 0; column < 5; ++column) {
        const std::string group = "_pad_" + std::to_string(column);
        EXPECT_EQ(fx.stringProp(group, kOfxPropLabel), " ");
        EXPECT_EQ(fx.param(group)->props().integer(kOfxParamPropGroupOpen), 0);
        EXPECT_EQ(fx.param(group)->props().integer(kOfxParamPropEnabled), 0);
        for (int row = 0; row < 5; ++row) {
            const std::string filler = group + "_" + std::to_string(row);
            ASSERT_NE(fx.param(filler), nullptr) << filler;
            EXPECT_EQ(fx.param(filler)->kind(), vhost::ParamKind::Boolean);
            EXPECT_EQ(fx.parentOf(filler), group);
            EXPECT_EQ(fx.param(filler)->props().integer(kOfxParamPropEnabled), 0);
        }
    }
    EXPECT_EQ(fx.param("_pad_5"), nullptr);

    // Parameters are created page by page: the Source Offset group comes after Edge Handling.
    const Names names = fx.paramNames();
    auto position = [&](const std::string& n) {
        return std::find(names.begin(), names.end(), n) - names.begin();
    };
    EXPECT_LT(position("edge_mode"), position("source_offset"));
    EXPECT_LT(position("Page 2"), position("source_offset"));
    EXPECT_LT(position("_pad_4_4"), position("Settings"));

    for (const char* name : {"preset_list", "delete_preset", "preset_name", "save_preset"})
        EXPECT_EQ(fx.parentOf(name), "myPresets") << name;
    EXPECT_EQ(fx.parentOf("factory_preset_list"), "factoryPresets");
    EXPECT_EQ(fx.parentOf("Blend"), "blendHelpGroup");
    EXPECT_EQ(fx.parentOf("getHelp"), "blendHelpGroup");
    EXPECT_EQ(fx.parentOf("show_overlays"), "blendHelpGroup");
    EXPECT_EQ(fx.param("show_overlays")->props().integer(kOfxParamPropDefault), 1);
    EXPECT_EQ(fx.parentOf("_premultiply_output"), "_grp_alpha_matte");
    EXPECT_EQ(fx.param("tutorialsButton"), nullptr);
    EXPECT_EQ(fx.param("refresh_presets"), nullptr);
    EXPECT_EQ(fx.param("Global Blend"), nullptr);

    fx.unload();
    const std::string log = folders.logText();
    EXPECT_NE(log.find("Using page layout for Flame (2 pages)"), std::string::npos);
    EXPECT_NE(log.find("  Page 'Main': 6 columns used, padding to 6 (0 padding cols, 1 Flame tab)"),
              std::string::npos);
    EXPECT_NE(log.find("  Page 'Page 2': 1 columns used, padding to 6 (5 padding cols, 1 Flame tab)"),
              std::string::npos);
    EXPECT_NE(log.find("  Total Flame tabs: 3 (user: 2 + Settings: 1)\n"), std::string::npos);
    EXPECT_EQ(log.find("WARNING"), std::string::npos);
}

// Every parameter of the shipped definition with the values the host receives.
TEST(ShippedDescription, ParameterValuesAsDeclared) {
    struct Row {
        const char* name;
        const char* label;
        double def, min, max, dmin, dmax, inc;
        int digits;
    };
    // Floats (and the two vec2, whose components share the numbers).
    const Row floats[] = {
        {"source_offset", "Source Offset", 0, -2, 2, -2, 2, 0.0001, 4},
        {"blur_amount", "Velmora Amount", 50, 0, 1000, 0, 200, 0.05, 2},
        {"dir_amount", "Directional Amount", 0, 0, 800, 0, 200, 0.05, 2},
        {"dir_angle", "Directional Angle", 0, -360, 360, -180, 180, 0.05, 2},
        {"dir_bias", "Directional Bias", 0, -1, 1, -1, 1, 0.001, 3},
        {"mask_grow", "Mask Grow", 0, -20, 50, -10, 20, 0.1, 1},
        {"mask_blur", "Mask Blur", 0, 0, 50, 0, 20, 0.1, 1},
        {"post_blur_amount", "Blur Amount", 10, 0, 100, 0, 50, 0.05, 2},
        {"post_dir_amount", "Directional Amount", 0, 0, 200, 0, 100, 0.05, 2},
        {"post_dir_angle", "Directional Angle", 0, -360, 360, -180, 180, 0.05, 2},
        {"post_dir_bias", "Directional Bias", 0, -1, 1, -1, 1, 0.001, 3},
        {"retexture_offset", "Retexture Offset", 0, -2, 2, -2, 2, 0.0001, 4},
        {"retexture_blur", "Retexture Blur", 5, 0, 50, 0, 20, 0.05, 2},
        {"retexture_strength", "Retexture Strength", 100, 0, 200, 0, 150, 0.05, 2},
        {"grain_amount", "Grain Amount", 0.5, 0, 2, 0, 1, 0.05, 2},
        {"grain_size", "Grain Size", 1, 0.01, 10, 0.1, 3, 0.05, 2},
        {"grain_chromatic", "Grain Chromatic", 0, 0, 1, 0, 1, 0.05, 2},
    };
    const std::pair<const char*, const char*> bools[] = {{"show_unfilled", "Highlight Unfilled"},
                                                         {"post_blur_enable", "Enable"},
                                                         {"retexture_enable", "Enable Retexture"},
                                                         {"grain_enable", "Enable Grain"},
                                                         {"edge_mode", "Reflect Edges"}};
    const std::pair<const char*, const char*> hints[] = {
        {"source_offset",
         "Shift where colors are sampled from (centered coords) - pulls color from another area"},
        {"blur_amount", "Primary blur amount - increase until masked area is filled (pixels)"},
        {"show_unfilled", "Red = core not filled; raise Velmora"},
        {"dir_amount", "Additional directional/motion blur (pixels)"},
        {"dir_angle", "Angle of directional blur (degrees)"},
        {"dir_bias", "Shifts blur center along direction (-1=behind, 0=center, 1=ahead)"},
        {"mask_grow", "Expand (or shrink, negative) the mask in pixels"},
        {"mask_blur", "Soften the mask edge (pixels)"},
        {"post_blur_enable", "Enable additional smoothing after the divide operation"},
        {"post_blur_amount", "Smoothing amount after divide (pixels)"},
        {"post_dir_amount", "Additional directional blur for post smoothing (pixels)"},
        {"post_dir_angle", "Angle of post directional blur (degrees)"},
        {"post_dir_bias", "Shifts post blur center along direction (-1=behind, 0=center, 1=ahead)"},
        {"retexture_enable", "Transfer texture/detail from another part of the frame"},
        {"retexture_offset", "Where to sample texture from (centered coords)"},
        {"retexture_blur", "Blur for frequency extraction - controls which detail frequencies transfer"},
        {"retexture_strength", "Strength of texture transfer (percentage)"},
        {"grain_enable", "Add film grain to blend patched area with surrounding footage"},
        {"grain_amount", "Intensity of grain"},
        {"grain_size", "Size/coarseness of grain"},
        {"grain_chromatic", "Color variation in grain (0=monochrome, 1=full RGB variation)"},
        {"edge_mode", "Off=clamp/stretch edges, On=reflect edges"},
    };

    TestFolders folders;
    auto fx = describeEffect(VELMORA_BUNDLE, "com.example.compositor", "filter");
    for (const Row& row : floats) {
        SCOPED_TRACE(row.name);
        const vhost::Param* p = fx.param(row.name);
        ASSERT_NE(p, nullptr);
        const bool vec2 = p->kind() == vhost::ParamKind::Double2D;
        const int dims = vec2 ? 2 : 1;
        EXPECT_EQ(p->props().string(kOfxPropLabel), row.label);
        EXPECT_EQ(p->props().string(kOfxPropShortLabel), row.label);
        EXPECT_EQ(p->props().string(kOfxPropLongLabel), row.label);
        for (int i = 0; i < dims; ++i) {
            EXPECT_DOUBLE_EQ(p->props().number(kOfxParamPropDefault, i), row.def);
            EXPECT_DOUBLE_EQ(p->props().number(kOfxParamPropMin, i), row.min);
            EXPECT_DOUBLE_EQ(p->props().number(kOfxParamPropMax, i), row.max);
            EXPECT_DOUBLE_EQ(p->props().number(kOfxParamPropDisplayMin, i), row.dmin);
            EXPECT_DOUBLE_EQ(p->props().number(kOfxParamPropDisplayMax, i), row.dmax);
        }
        EXPECT_DOUBLE_EQ(p->props().number(kOfxParamPropIncrement), row.inc);
        EXPECT_EQ(p->props().integer(kOfxParamPropDigits), row.digits);
        if (vec2) {
            EXPECT_EQ(p->props().string(kOfxParamPropDoubleType), kOfxParamDoubleTypePlain);
        }
    }
    for (const auto& [name, label] : bools) {
        SCOPED_TRACE(name);
        const vhost::Param* p = fx.param(name);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->kind(), vhost::ParamKind::Boolean);
        EXPECT_EQ(p->props().string(kOfxPropLabel), label);
        EXPECT_EQ(p->props().integer(kOfxParamPropDefault), 0);
    }
    for (const auto& [name, hint] : hints) EXPECT_EQ(fx.stringProp(name, kOfxParamPropHint), hint) << name;

    const vhost::Param* maskFrom = fx.param("mask_from");
    ASSERT_NE(maskFrom, nullptr);
    EXPECT_EQ(maskFrom->props().string(kOfxPropLabel), "Mask From");
    EXPECT_EQ(maskFrom->props().integer(kOfxParamPropDefault), 0);
    EXPECT_EQ(maskFrom->props().strings(kOfxParamPropChoiceOption),
              (Names{"Mask Shape's Luminance", "Mask Shape's Alpha", "Mask Shape's Red Channel"}));
    EXPECT_EQ(maskFrom->props().string(kOfxParamPropHint),
              "Channel used as the mask\n\nMask Shape's Luminance: Mask Shape's Luminance\nMask Shape's "
              "Alpha: Mask "
              "Shape's Alpha\nMask Shape's Red Channel: Mask Shape's Red Channel");
}
