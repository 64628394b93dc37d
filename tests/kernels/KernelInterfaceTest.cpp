#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "KernelTestSupport.h"
#include "kernels/AnimatedParametersPacker.h"
#include "kernels/KernelLaunch.h"
#include "kernels/KernelPasses.h"
#include "kernels/KernelTables.h"
#include "kernels/SystemParametersBuilder.h"

namespace {

template <class T>
T fieldAt(const void* record, size_t offset) {
    T value;
    std::memcpy(&value, static_cast<const char*>(record) + offset, sizeof(T));
    return value;
}

ParameterDefinition param(const std::string& name, const std::string& type, bool scaled = false) {
    ParameterDefinition d;
    d.name = name;
    d.type = type;
    d.resolution_scaled = scaled;
    return d;
}

// The effect's parameters in declaration order, with their default values.
std::vector<ParameterDefinition> shippedParameters() {
    return {param("source_offset", "vec2"),     param("blur_amount", "float"),
            param("show_unfilled", "bool"),     param("dir_amount", "float"),
            param("dir_angle", "float"),        param("dir_bias", "float"),
            param("mask_from", "choice"),       param("mask_grow", "float", true),
            param("mask_blur", "float", true),  param("post_blur_enable", "bool"),
            param("post_blur_amount", "float"), param("post_dir_amount", "float"),
            param("post_dir_angle", "float"),   param("post_dir_bias", "float"),
            param("retexture_enable", "bool"),  param("retexture_offset", "vec2"),
            param("retexture_blur", "float"),   param("retexture_strength", "float"),
            param("grain_enable", "bool"),      param("grain_amount", "float"),
            param("grain_size", "float"),       param("grain_chromatic", "float"),
            param("edge_mode", "bool")};
}

std::map<std::string, ParameterValue> shippedValues() {
    std::map<std::string, ParameterValue> v;
    int i = 0;
    for (const ParameterDefinition& d : shippedParameters()) {
        ++i;
        if (d.type == "float") v[d.name] = ParameterValue(1.0 + i);  // distinct per parameter
        if (d.type == "bool") v[d.name] = ParameterValue(i % 2 == 0);
        if (d.type == "choice") v[d.name] = ParameterValue(2);
        if (d.type == "vec2") v[d.name] = ParameterValue(0.1 * i, -0.2 * i);
    }
    return v;
}

class ThrowingReader : public HostParameterReader {
  public:
    ParameterValue readVector(const std::string& name, const std::string&, double time) const override {
        lastTime = time;
        if (name == "broken") throw std::runtime_error("no such parameter");
        return ParameterValue(1.5, 2.5, 3.5, 4.5);
    }
    mutable double lastTime = -1;
};

}  // namespace

TEST(KernelInterface, GaussianTableEntries) {
    const float* lut = gaussianLutTable();
    EXPECT_FLOAT_EQ(lut[0], 1.0f);
    EXPECT_FLOAT_EQ(lut[128], 0.00011498f);
    for (int i = 0; i < 256; ++i) {
        const double x = 6.0 * i / 255.0;
        EXPECT_EQ(lut[i], static_cast<float>(std::round(std::exp(-x * x) * 1e8) / 1e8)) << i;
        if (i >= 186) {
            EXPECT_EQ(lut[i], 0.0f) << i;
        }
    }
    const int* perm = permutationTable();
    EXPECT_EQ(perm[0], 151);
    EXPECT_EQ(perm[255], 180);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(perm[i + 256], perm[i]);
}

TEST(KernelInterface, LaunchGeometry) {
    SystemParameters s;
    std::memset(&s, 0, sizeof s);
    s.width = 1000, s.height = 600;
    LaunchGeometry g = launchGeometryFor(s);
    EXPECT_EQ(g.gridX, 63u);
    EXPECT_EQ(g.gridY, 38u);
    EXPECT_EQ(g.blockX, 16u);
    EXPECT_EQ(g.blockY, 16u);
    s.dispatchCount = 1000;
    g = launchGeometryFor(s);
    EXPECT_EQ(g.gridX, 4u);
    EXPECT_EQ(g.gridY, 1u);
    EXPECT_EQ(g.blockX, 256u);
    EXPECT_EQ(g.blockY, 1u);
}

TEST(KernelInterface, PassWritesEveryPixelOfAnOddSizedImageAndRejectsBadRecords) {
    const int w = 37, h = 19;  // not multiples of 16: edge blocks must stop at the border
    GpuImage shape(w, h, [](int, int) { return Rgba{1, 1, 1, 1}; });
    KernelRig rig(w, h);
    rig.setSource(1, shape.texture());
    for (const Rgba& p : rig.run(call_mask_prep_kernel_Pass, 0, 0))
        EXPECT_RGBA_NEAR(p, (Rgba{1, 1, 1, 1}), 0.0f);

    GpuImage out(w, h);
    EXPECT_EQ(call_composite_kernel_Pass(nullptr, nullptr, &rig.pipeline, &rig.sources, &rig.parameters,
                                         &rig.resources, &rig.buffers, "composite", 0, out.surface()),
              GpuErr::InvalidValue);
    rig.system.width = 0;
    EXPECT_EQ(call_composite_kernel_Pass(nullptr, &rig.system, &rig.pipeline, &rig.sources, &rig.parameters,
                                         &rig.resources, &rig.buffers, "composite", 0, out.surface()),
              GpuErr::InvalidConfiguration);
}

TEST(KernelInterface, KernelTableLookup) {
    struct Case {
        const char* file;
        KernelPassFunction expected;
    } cases[] = {
        {"mask_prep.cu", call_mask_prep_kernel_Pass},
        {"blur_divide.cu", call_blur_divide_kernel_Pass},
        {"post_blur.cu", call_post_blur_kernel_Pass},
        {"retexture_blur.cu", call_retexture_blur_kernel_Pass},
        {"composite.cu", call_composite_kernel_Pass},
        {"composite.metal", call_composite_kernel_Pass},
        {"composite", call_composite_kernel_Pass},
        {"Composite.cu", nullptr},
        {"composite.cuh", call_composite_kernel_Pass},  // cut at the first ".cu"
        {"final.cu", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) EXPECT_EQ(findKernelPassFunction(c.file), c.expected) << c.file;
    EXPECT_EQ(kernelBaseName("a.metal.cu"), "a");
}

TEST(KernelInterface, WorkingImageFallback) {
    SourceConnections sources;
    std::memset(&sources, 0, sizeof sources);
    static const char* names[] = {"Source",           "Mask_Shape",       "effectOutput",
                                  "pipelineOutput_0", "pipelineOutput_1", "pipelineOutput_2"};
    for (int i = 0; i < 6; ++i) {
        sources.sources[i].textureObject = 100 + i;
        sources.sources[i].sourceName = reinterpret_cast<uintptr_t>(names[i]);
    }
    struct Case {
        int sourceCount, pipeline, pipelineExecution, processExecution;
        uint64_t expected;
    } cases[] = {
        {6, 0, 0, 0, 100},  // first input
        {6, 1, 0, 0, 103},  // process 1 reads the output of process 0
        {6, 2, 0, 1, 105},  // second execution of process 2 reads its own output
        {5, 2, 0, 1, 0},    // ... which does not exist yet
        {6, 0, 1, 0, 102},  // later effect execution reads effectOutput
        {2, 0, 1, 0, 0},   {0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        sources.sourceCount = c.sourceCount;
        SystemParameters s;
        std::memset(&s, 0, sizeof s);
        s.currentPipeline = c.pipeline;
        s.currentPipelineExecution = c.pipelineExecution;
        s.currentProcessExecution = c.processExecution;
        EXPECT_EQ(chooseWorkingImage(s, sources, effectInputCount(sources)), c.expected)
            << c.sourceCount << " " << c.pipeline << " " << c.pipelineExecution << " " << c.processExecution;
    }
    sources.sourceCount = 6;
    EXPECT_EQ(effectInputCount(sources), 2);
}

TEST(KernelInterface, SystemParametersWithAndWithoutRenderArguments) {
    SystemParameterInputs in;
    in.width = 1920, in.height = 1080;
    in.frameRate = 25.0, in.pixelAspectRatio = 2.0;
    in.time = 10.5, in.renderScaleX = 0.5, in.renderScaleY = 0.25;
    in.sequentialRender = in.interactiveRender = true;
    in.renderWindow[2] = 1920, in.renderWindow[3] = 1080;
    in.currentPipeline = 2, in.totalPipelines = 3, in.currentProcessExecution = 1,
    in.totalProcessExecutions = 2;

    const SystemParameters bare = buildSystemParameters(in);  // no render arguments
    EXPECT_EQ(bare.time, 0.0f);
    EXPECT_EQ(bare.frame, 0);
    EXPECT_EQ(bare.renderScaleX, 1.0f);
    EXPECT_EQ(bare.renderScaleY, 1.0f);
    EXPECT_EQ(bare.sequentialRender + bare.interactiveRender, 0);
    EXPECT_EQ(bare.globalBlend, 1.0f);

    in.hasRenderArguments = true;
    in.globalBlend = 0.25;
    const SystemParameters s = buildSystemParameters(in);
    EXPECT_EQ(fieldAt<int32_t>(&s, 0), 1920);
    EXPECT_EQ(fieldAt<float>(&s, 8), 10.5f);
    EXPECT_EQ(fieldAt<float>(&s, 12), 25.0f);
    EXPECT_EQ(fieldAt<int32_t>(&s, 16), 252);
    EXPECT_EQ(fieldAt<float>(&s, 20), 100.0f);
    EXPECT_FLOAT_EQ(fieldAt<float>(&s, 28), 1920.0f * 2.0f / 1080.0f);
    EXPECT_EQ(fieldAt<float>(&s, 32), 0.5f);
    EXPECT_EQ(fieldAt<float>(&s, 36), 0.25f);
    EXPECT_EQ(fieldAt<uint8_t>(&s, 41), 1);
    EXPECT_EQ(fieldAt<int32_t>(&s, 52), 1920);
    EXPECT_EQ(fieldAt<uint8_t>(&s, 60), 1);
    EXPECT_EQ(fieldAt<int32_t>(&s, 76), 1);
    EXPECT_EQ(fieldAt<int32_t>(&s, 84), 1);
    EXPECT_EQ(fieldAt<int32_t>(&s, 96), 2);
    EXPECT_EQ(fieldAt<int32_t>(&s, 104), 1);
    EXPECT_EQ(fieldAt<int32_t>(&s, 112), 32);
    EXPECT_EQ(fieldAt<int32_t>(&s, 116), 32);
    EXPECT_EQ(fieldAt<int32_t>(&s, 120), 3);
    EXPECT_EQ(fieldAt<float>(&s, 128), 1.0f);
    EXPECT_EQ(fieldAt<float>(&s, 140), 0.25f);
    EXPECT_EQ(fieldAt<int32_t>(&s, 160), -1);
    EXPECT_EQ(fieldAt<int32_t>(&s, 164), -1);
    EXPECT_EQ(fieldAt<float>(&s, 168), -1.0f);
    EXPECT_EQ(fieldAt<uint8_t>(&s, 172), 1);

    EXPECT_EQ(kernelFrameNumber(-0.99 / 24.0), 0);
    EXPECT_EQ(kernelFrameNumber(1e300), 0);
    EXPECT_EQ(kernelFrameNumber(std::nan("")), 0);
}

TEST(KernelInterface, PackingFollowsTypeRanksAndRenderScale) {
    const std::vector<ParameterDefinition> defs = shippedParameters();
    std::map<std::string, ParameterValue> values = shippedValues();
    values["mask_grow"] = ParameterValue(10.0);
    values["mask_blur"] = ParameterValue(4.0);
    values["blur_amount"] = ParameterValue(50.0);

    PackingContext scaled;
    scaled.hasRenderArguments = true;
    scaled.renderScaleX = scaled.renderScaleY = 0.5;
    const AnimatedParameters p = packAnimatedParameters(defs, values, nullptr, scaled);
    EXPECT_EQ(p.floatCount, 15);
    EXPECT_EQ(p.intCount, 1);
    EXPECT_EQ(p.boolCount, 5);
    EXPECT_EQ(p.vec2Count, 2);
    EXPECT_EQ(fieldAt<float>(&p, 0), 50.0f);         // blur_amount, unscaled
    EXPECT_EQ(fieldAt<float>(&p, 16), 5.0f);         // mask_grow
    EXPECT_EQ(fieldAt<float>(&p, 20), 2.0f);         // mask_blur
    EXPECT_EQ(fieldAt<float>(&p, 56), 23.0f);        // grain_chromatic, 22nd parameter
    EXPECT_EQ(fieldAt<int32_t>(&p, 256), 2);         // mask_from
    EXPECT_EQ(fieldAt<uint8_t>(&p, 388), 0);         // edge_mode, 23rd parameter
    EXPECT_EQ(fieldAt<uint8_t>(&p, 385), 1);         // post_blur_enable, 10th
    EXPECT_EQ(fieldAt<uint8_t>(&p, 386), 0);         // retexture_enable, 15th
    EXPECT_FLOAT_EQ(fieldAt<float>(&p, 416), 0.1f);  // source_offset, never scaled
    EXPECT_FLOAT_EQ(fieldAt<float>(&p, 428), -3.2f);

    // Without render arguments, nothing is scaled.
    const AnimatedParameters full = packAnimatedParameters(defs, values, nullptr, PackingContext{});
    EXPECT_EQ(full.floats[4], 10.0f);
    EXPECT_EQ(full.floats[5], 4.0f);
}

TEST(KernelInterface, PackingCapacityAndMissingValues) {
    std::vector<ParameterDefinition> defs;
    std::map<std::string, ParameterValue> values;
    for (int i = 0; i < 17; ++i) {
        defs.push_back(param("v" + std::to_string(i), "vec2", true));
        values["v" + std::to_string(i)] = ParameterValue(i, 2.0 * i);
    }
    defs.push_back(param("gone", "float", true));  // no value: takes no slot
    defs.push_back(param("grow", "float", true));
    defs.push_back(param("curve", "curve"));
    values["grow"] = ParameterValue(8.0);
    values["curve"] = ParameterValue(3.0);

    PackingContext ctx;
    ctx.hasRenderArguments = true;
    ctx.renderScaleX = 0.5, ctx.renderScaleY = 0.25;
    const AnimatedParameters p = packAnimatedParameters(defs, values, nullptr, ctx);
    EXPECT_EQ(p.vec2Count, 16);
    EXPECT_EQ(p.vec2s[15].x, 7.5f);
    EXPECT_EQ(p.vec2s[15].y, 7.5f);
    EXPECT_EQ(p.floatCount, 1);
    EXPECT_EQ(p.floats[0], 4.0f) << "the scale follows the slot the value took";
    EXPECT_EQ(p.floats[1], 0.0f);
}

TEST(KernelInterface, PackingReadsVectorsFromTheHostAtTheRenderTime) {
    const std::vector<ParameterDefinition> defs = {param("broken", "vec2"), param("pos", "vec2"),
                                                   param("dir", "vec3"), param("tint", "color"),
                                                   param("rgba", "color_rgba")};
    ThrowingReader reader;
    PackingContext ctx;
    ctx.hasRenderArguments = true;
    ctx.time = 3.25;
    const AnimatedParameters p = packAnimatedParameters(defs, {}, &reader, ctx);
    EXPECT_EQ(reader.lastTime, 3.25);
    EXPECT_EQ(p.vec2Count, 1);  // the failing read takes no slot
    EXPECT_EQ(p.vec2s[0].x, 1.5f);
    EXPECT_EQ(p.vec3Count, 1);
    EXPECT_EQ(p.vec3s[0].z, 3.5f);
    EXPECT_EQ(p.colorCount, 1);
    EXPECT_EQ(p.colors[0].y, 2.5f);
    EXPECT_EQ(p.colorRGBACount, 1);
    EXPECT_EQ(fieldAt<float>(&p, 928 + 12), 4.5f);
}
