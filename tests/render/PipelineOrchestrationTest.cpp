#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "RenderTestSupport.h"
#include "gpu/HostRuntime.h"
#include "render/RenderEngine.h"

namespace {

constexpr int kWidth = 24;
constexpr int kHeight = 16;

// A definition of one input around the given parameters and pipeline.
XMLEffectDefinition makeDefinition(const std::string& parameters, const std::string& pipeline) {
    const std::string text = R"(<?xml version="1.0"?><effect name="Chain" category="Test" version="1.0">)"
                             R"(<inputs><source name="Source" noinput="error"/></inputs><parameters>)" +
                             parameters + "</parameters>" + pipeline + "</effect>";
    XMLEffectDefinition definition;
    if (!definition.parse(text.c_str())) throw std::runtime_error("test definition does not parse");
    return definition;
}

class PipelineOrchestrationTest : public ::testing::Test {
  protected:
    PipelineOrchestrationTest() : plate(kWidth, kHeight), output(kWidth, kHeight) {
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                float* p = plate.pixel(x, y);
                p[0] = 0.01f * x, p[1] = 0.02f * y, p[2] = 0.3f, p[3] = 1.0f;
            }
        }
        output.fill(-1.0f, -1.0f, -1.0f, -1.0f);
    }

    void connect(FakeRenderHost& host) {
        host.connect("Source", &plate);
        host.connect("output", &output);
    }

    bool outputUntouched() const {
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                if (output.pixel(x, y)[0] != -1.0f) return false;
            }
        }
        return true;
    }

    LogCapture log;
    TestImage plate, output;
    RenderRequest request;
};

// Every process but the last writes its own buffer; between effect executions the last
// process's buffer is fed back into the effect-output buffer.
TEST_F(PipelineOrchestrationTest, ProcessesWriteTheirBuffersAndEffectExecutionsFeedBack) {
    const XMLEffectDefinition definition = makeDefinition(
        R"(<parameter name="passes" type="int" default="1" min="0" max="4"/>)",
        R"(<pipeline executions="param:passes">)"
        R"(<process name="first"><cuda file="post_blur.cu" executions="2"/></process>)"
        R"(<process name="second" executions="2"><cuda file="post_blur.cu" executions="1"/></process>)"
        R"(</pipeline>)");
    FakeRenderHost host(definition);
    connect(host);
    host.set("passes", ParameterValue(2));
    RenderEngine engine(host, definition, RenderProfile(), HostRuntime::instance());
    engine.setupAndProcess(request);

    EXPECT_FALSE(outputUntouched());
    EXPECT_EQ(engine.pipelineBufferCount(), 2u);
    EXPECT_TRUE(log.contains("Dynamic effect executions from parameter 'passes': 2"));
    EXPECT_TRUE(log.contains("Effect execution 2/2 starting"));
    EXPECT_TRUE(log.contains("🔁 Pipeline 'second' iteration 2/2 (effect iter 2/2)"));
    EXPECT_EQ(log.count("Writing to _dstImg (final output)"), 1);
    EXPECT_EQ(log.count("CUDA Pipeline 0: Writing to pipelineOutput[0] array"), 2);
    EXPECT_EQ(log.count("CUDA Pipeline 1: Writing to pipelineOutput[1] array"), 3);
    EXPECT_EQ(log.count("✅ Feedback: Copied pipeline 1 output to effectOutput"), 1);
    EXPECT_TRUE(log.contains("Phase 3a.5: Added pipelineOutput_1 to SourceConnections at index 3"));
}

// The audio monitor shown over black stands in for the effect: its pipeline does not run and the
// render still succeeds. Over the dimmed effect, the pipeline runs as usual.
TEST_F(PipelineOrchestrationTest, TheAudioMonitorOverBlackBypassesThePipeline) {
    const std::string text =
        R"(<?xml version="1.0"?><effect name="Chain" category="Test" version="1.0">)"
        R"(<inputs><source name="Source" noinput="error"/></inputs>)"
        R"(<parameters><parameter name="gain" type="float" default="1"/></parameters>)"
        R"(<audio_reactive slots="1"><target name="gain"/></audio_reactive>)"
        R"(<pipeline><process name="only"><cuda file="post_blur.cu"/></process></pipeline></effect>)";
    XMLEffectDefinition definition;
    ASSERT_TRUE(definition.parse(text.c_str()));
    // Large enough for the monitor's margin to hold no text.
    TestImage source(200, 120), frame(200, 120);
    source.fill(0.5f, 0.5f, 0.5f, 1.0f);
    FakeRenderHost host(definition);
    host.connect("Source", &source);
    host.connect("output", &frame);
    bool dimmed = false;
    host.audioSteps = [&](double, ParameterValueMap&, AudioMonitorRecord& monitor) {
        monitor.monitorEnabled = 1;
        monitor.dimmedBackdrop = dimmed ? 1 : 0;
    };
    RenderEngine engine(host, definition, RenderProfile(), HostRuntime::instance());
    engine.setupAndProcess(request);
    EXPECT_TRUE(log.contains("Audio visualizer active (no dimmed backdrop) — bypassing effect pipeline"));
    EXPECT_EQ(log.count("Writing to _dstImg (final output)"), 0);
    const float* margin = frame.pixel(195, 60);  // right of every panel: black
    EXPECT_EQ(margin[0], 0.0f);
    EXPECT_EQ(margin[3], 1.0f);

    dimmed = true;
    engine.setupAndProcess(request);
    EXPECT_EQ(log.count("Writing to _dstImg (final output)"), 1);
    EXPECT_EQ(log.count("bypassing effect pipeline"), 1);
}

// A host that enables no GPU API, for a definition without kernels, gets the CPU copy of the
// source; kernels that run no pass leave the output alone and fail the render instead of
// handing over whatever the ping-pong arrays held.
TEST_F(PipelineOrchestrationTest, CpuCopyOnlyWithoutCudaKernelsAndNoPassMeansNoOutput) {
    const XMLEffectDefinition noKernels = makeDefinition("", "<pipeline/>");
    FakeRenderHost host(noKernels);
    connect(host);
    RenderEngine cpu(host, noKernels, RenderProfile(), HostRuntime::instance());
    cpu.setupAndProcess(request);
    for (int y = 0; y < kHeight; ++y) {
        ASSERT_EQ(std::memcmp(output.pixel(0, y), plate.pixel(0, y), kWidth * 16), 0) << y;
    }
    EXPECT_TRUE(log.contains("CPU fallback called"));
    EXPECT_FALSE(cpu.hasPluginStream());

    output.fill(-1.0f, -1.0f, -1.0f, -1.0f);
    const XMLEffectDefinition idle = makeDefinition(
        "",
        R"(<pipeline><process name="idle"><cuda file="post_blur.cu" executions="0"/></process></pipeline>)");
    FakeRenderHost idleHost(idle);
    connect(idleHost);
    RenderEngine engine(idleHost, idle, RenderProfile(), HostRuntime::instance());
    EXPECT_THROW(engine.setupAndProcess(request), std::runtime_error);
    EXPECT_TRUE(outputUntouched());
    EXPECT_TRUE(log.contains("No kernel passes to run"));
    EXPECT_EQ(engine.renderCount(), 0);
}

// A process whose pass cannot run fails the render, even when a later process would still write
// the output: handing over an image built on a buffer nobody wrote would report garbage as success.
TEST_F(PipelineOrchestrationTest, APassThatCannotRunFailsTheRender) {
    const XMLEffectDefinition definition =
        makeDefinition("", R"(<pipeline><process name="lost"><cuda file="no_such_kernel.cu"/></process>)"
                           R"(<process name="last"><cuda file="post_blur.cu"/></process></pipeline>)");
    FakeRenderHost host(definition);
    connect(host);
    RenderEngine engine(host, definition, RenderProfile(), HostRuntime::instance());
    EXPECT_THROW(engine.setupAndProcess(request), std::runtime_error);
    EXPECT_TRUE(outputUntouched());
    EXPECT_TRUE(
        log.contains("ERROR in setupAndProcess: The effect pipeline could not run process 1 of 2 "
                     "(platform cuda): kernel pass 1 (no_such_kernel.cu) could not run"));
    EXPECT_EQ(engine.renderCount(), 0);
}

}  // namespace
