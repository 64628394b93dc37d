#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <thread>

#include "RenderTestSupport.h"
#include "gpu/HostRuntime.h"
#include "render/RenderEngine.h"

namespace {

constexpr int kWidth = 48;
constexpr int kHeight = 32;

bool insideHole(int x, int y) {
    return x >= 18 && x < 30 && y >= 12 && y < 20;
}

// A plate with a smooth gradient and a rectangular hole in its mask.
void paintPlate(TestImage& plate) {
    for (int y = 0; y < plate.height; ++y) {
        for (int x = 0; x < plate.width; ++x) {
            float* p = plate.pixel(x, y);
            p[0] = 0.2f + 0.6f * x / (plate.width - 1);
            p[1] = 0.1f + 0.5f * y / (plate.height - 1);
            p[2] = 0.5f;
            p[3] = 1.0f;
        }
    }
}

void paintMask(TestImage& mask, int x0 = 18, int y0 = 12, int x1 = 30, int y1 = 20) {
    mask.fill(0, 0, 0, 1);
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            float* p = mask.pixel(x, y);
            p[0] = p[1] = p[2] = 1.0f;
        }
    }
}

class RenderEngineTest : public ::testing::Test {
  protected:
    RenderEngineTest() : host(shippedDefinition()), plate(kWidth, kHeight), mask(kWidth, kHeight) {
        paintPlate(plate);
        paintMask(mask);
        host.connect("Source", &plate);
        host.connect("Mask_Shape", &mask);
    }

    TestImage render(RenderEngine& target, int outputPitch = 0) {
        TestImage output(kWidth, kHeight, outputPitch);
        host.connect("output", &output);
        target.setupAndProcess(request);
        return output;
    }
    TestImage render(int outputPitch = 0) { return render(engine, outputPitch); }

    LogCapture log;
    FakeRenderHost host;
    TestImage plate, mask;
    RenderRequest request;
    RenderEngine engine{host, shippedDefinition(), RenderProfile(), HostRuntime::instance()};
};

TEST_F(RenderEngineTest, DefaultsKeepThePlateOutsideTheMaskAndFillTheHoleFromItsSurroundings) {
    const TestImage out = render();
    float worst = 0.0f;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const float* o = out.pixel(x, y);
            const float* p = plate.pixel(x, y);
            if (!insideHole(x, y)) {
                ASSERT_EQ(std::memcmp(o, p, 16), 0) << x << "," << y;
            } else {
                for (int c = 0; c < 3; ++c) worst = std::max(worst, std::fabs(o[c] - p[c]));
                EXPECT_FLOAT_EQ(o[3], 1.0f);
            }
        }
    }
    EXPECT_LT(worst, 0.06f);                // the fill follows the gradient
    EXPECT_TRUE(engine.hasPluginStream());  // no GPU API enabled: forced onto the engine's own stream
    EXPECT_EQ(engine.pipelineBufferCount(), 3u);
}

// A mask handed over cropped to its object lines up by its pixel coordinates, render after render,
// and a full-frame mask afterwards is read as itself again.
TEST_F(RenderEngineTest, AMaskCroppedToItsObjectLinesUpWithThePlate) {
    const TestImage full = render();
    TestImage cropped(16, 12, 0, 16, 10);
    paintMask(cropped, 2, 2, 14, 10);
    host.connect("Mask_Shape", &cropped);
    for (int round = 0; round < 2; ++round) {
        const TestImage out = render();
        EXPECT_EQ(std::memcmp(out.storage.data(), full.storage.data(), full.storage.size() * 4), 0) << round;
    }
    host.connect("Mask_Shape", &mask);
    const TestImage again = render();
    EXPECT_EQ(std::memcmp(again.storage.data(), full.storage.data(), full.storage.size() * 4), 0);
}

TEST_F(RenderEngineTest, HighlightUnfilledMarksAHoleTooLargeForTheAmount) {
    paintMask(mask, 4, 4, 44, 28);
    host.set("show_unfilled", ParameterValue(true));
    host.set("blur_amount", ParameterValue(2.0));
    TestImage small = render();
    const float* centre = small.pixel(24, 16);
    const float* plateCentre = plate.pixel(24, 16);
    EXPECT_NEAR(centre[0], plateCentre[0] + 0.5f * (1.0f - plateCentre[0]), 1e-5);
    EXPECT_NEAR(centre[1], 0.5f * plateCentre[1], 1e-5);

    host.set("blur_amount", ParameterValue(60.0));
    TestImage large = render();
    const float* filled = large.pixel(24, 16);
    EXPECT_LT(std::fabs(filled[1] - plateCentre[1]), 0.2f);
    EXPECT_GT(filled[1], 0.5f * plateCentre[1] + 0.05f);
}

TEST_F(RenderEngineTest, BlendAndPremultiplyApplyToTheFinishedResult) {
    const TestImage full = render();
    host.blend = 0.5;
    const TestImage half = render();
    for (int y = 10; y < 22; ++y) {
        for (int x = 16; x < 32; ++x) {
            for (int c = 0; c < 4; ++c) {
                EXPECT_NEAR(half.pixel(x, y)[c], 0.5f * (full.pixel(x, y)[c] + plate.pixel(x, y)[c]), 1e-6);
            }
        }
    }
    host.blend.reset();
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) plate.pixel(x, y)[3] = 0.5f;
    }
    host.alpha.premultiplyOutput = true;
    const TestImage premultiplied = render();
    EXPECT_FLOAT_EQ(premultiplied.pixel(2, 2)[0], plate.pixel(2, 2)[0] * 0.5f);
    EXPECT_FLOAT_EQ(premultiplied.pixel(2, 2)[3], 0.5f);
}

TEST_F(RenderEngineTest, AlphaSourceModes) {
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) plate.pixel(x, y)[3] = 0.25f;
    }
    TestImage matte(kWidth, kHeight);
    matte.fill(0.5f, 0.5f, 0.5f, 1.0f);
    struct Case {
        int mode;
        bool matteConnected;
        float alpha;
    };
    const Case cases[] = {
        {0, false, 0.25f}, {0, true, 0.5f},   {1, true, 0.25f},
        {2, true, 0.5f},   {2, false, 0.25f}, {3, false, 1.0f},
    };
    for (const Case& c : cases) {
        host.alpha.alphaSourceMode = c.mode;
        host.alpha.matteConnected = c.matteConnected;
        if (c.matteConnected) {
            host.connect("Matte", &matte);
        } else {
            host.disconnect("Matte");
        }
        const TestImage out = render();
        EXPECT_FLOAT_EQ(out.pixel(1, 1)[3], c.alpha) << c.mode << " " << c.matteConnected;
        EXPECT_FLOAT_EQ(out.pixel(1, 1)[0], plate.pixel(1, 1)[0]) << c.mode;
    }
    // One texture made for the Matte (later renders refresh it), and logged once.
    EXPECT_EQ(log.count("Created texture for: Matte"), 1);
}

TEST_F(RenderEngineTest, ResolveRoutesInputTwoToTheMatte) {
    RenderProfile resolve;
    resolve.mayCapAuxInputs = true;
    resolve.synthesizeMatte = true;
    RenderEngine routed(host, shippedDefinition(), resolve, HostRuntime::instance());
    host.auxInput2Feeds = 2;  // "Matte Input": the mask's luminance becomes the alpha
    const TestImage out = render(routed);
    EXPECT_TRUE(routed.auxRoutingActive());
    EXPECT_FLOAT_EQ(out.pixel(1, 1)[3], 0.0f);
    EXPECT_FLOAT_EQ(out.pixel(20, 14)[3], 1.0f);
    // Mask_Shape no longer feeds the effect: the red-tinted plate.
    EXPECT_NEAR(out.pixel(1, 1)[0], 0.7f * plate.pixel(1, 1)[0] + 0.3f, 1e-6);

    host.auxInput2Feeds = 1;
    const TestImage normal = render(routed);
    EXPECT_FLOAT_EQ(normal.pixel(1, 1)[3], 1.0f);
    EXPECT_FLOAT_EQ(normal.pixel(1, 1)[0], plate.pixel(1, 1)[0]);
}

TEST_F(RenderEngineTest, UnconnectedMaskGivesTheRedTintedPlate) {
    host.disconnect("Mask_Shape");
    const TestImage out = render();
    for (const auto& [x, y] : {std::pair<int, int>{0, 0}, {24, 16}, {47, 31}}) {
        const float* o = out.pixel(x, y);
        const float* p = plate.pixel(x, y);
        EXPECT_NEAR(o[0], 0.7f * p[0] + 0.3f, 1e-6);
        EXPECT_NEAR(o[1], 0.5f * p[1], 1e-6);
        EXPECT_NEAR(o[2], 0.5f * p[2], 1e-6);
        EXPECT_FLOAT_EQ(o[3], p[3]);
    }
}

TEST_F(RenderEngineTest, MissingRequiredSourceFailsTheRender) {
    host.connect("Source", nullptr);  // connected, but the host has no image
    TestImage output(kWidth, kHeight);
    host.connect("output", &output);
    EXPECT_THROW(engine.setupAndProcess(request), std::runtime_error);
    EXPECT_TRUE(log.contains("ERROR in setupAndProcess: Failed to fetch input image: Source"));
    EXPECT_EQ(engine.renderCount(), 0);

    host.connect("Source", &plate);
    host.removeClip("output");
    EXPECT_THROW(engine.setupAndProcess(request), std::runtime_error);
    EXPECT_TRUE(log.contains("ERROR in setupAndProcess: Failed to fetch output image"));
}

// Without its texture every pass would read a stand-in for the plate.
TEST_F(RenderEngineTest, ARequiredInputWhoseTextureCannotBeMadeFailsTheRender) {
    render();
    TestImage another(kWidth, kHeight);  // a new pointer: its texture is made anew
    paintPlate(another);
    host.connect("Source", &another);
    TestImage output(kWidth, kHeight);
    output.fill(-1, -1, -1, -1);
    host.connect("output", &output);
    HostRuntime::instance().failAllocationAfter(1);  // the Source texture's array
    EXPECT_THROW(engine.setupAndProcess(request), std::runtime_error);
    HostRuntime::instance().resetAllocationFailures();
    EXPECT_TRUE(
        log.contains("ERROR in setupAndProcess: Failed to create texture for required input: Source"));
    EXPECT_EQ(output.pixel(3, 3)[0], -1.0f);
    render();  // and the next render makes it
}

TEST_F(RenderEngineTest, PaddedRowsInAndOutGiveTheSameImage) {
    const TestImage tight = render();
    TestImage paddedPlate(kWidth, kHeight, kWidth * 16 + 64), paddedMask(kWidth, kHeight, kWidth * 16 + 16);
    paintPlate(paddedPlate);
    paintMask(paddedMask);
    host.connect("Source", &paddedPlate);
    host.connect("Mask_Shape", &paddedMask);
    const TestImage padded = render(kWidth * 16 + 32);
    for (int y = 0; y < kHeight; ++y) {
        ASSERT_EQ(std::memcmp(padded.pixel(0, y), tight.pixel(0, y), kWidth * 16), 0) << y;
        EXPECT_FLOAT_EQ(padded.pixel(0, y)[kWidth * 4], -7.0f);  // padding untouched
    }
    EXPECT_TRUE(log.contains("ROW STRIDE MISMATCH DETECTED"));
}

TEST_F(RenderEngineTest, HostsWithoutAUsablePathFailInsteadOfReturningAnUnwrittenImage) {
    request.isEnabledOpenCLRender = true;
    RenderProfile plain;
    RenderEngine openCL(host, shippedDefinition(), plain, HostRuntime::instance());
    TestImage output(kWidth, kHeight);
    host.connect("output", &output);
    EXPECT_THROW(openCL.setupAndProcess(request), std::runtime_error);
    EXPECT_TRUE(log.contains("OpenCL no longer supported - use CUDA or Metal"));

    // CUDA images live in device memory, out of the CPU backend's reach: refused, output untouched.
    request.isEnabledOpenCLRender = false;
    request.isEnabledCudaRender = true;
    output.fill(-1, -1, -1, -1);
    RenderEngine onCpu(host, shippedDefinition(), plain, HostRuntime::instance());
    EXPECT_THROW(onCpu.setupAndProcess(request), std::runtime_error);
    EXPECT_TRUE(log.contains("no CUDA device is usable by the plug-in"));
    EXPECT_EQ(output.pixel(3, 3)[0], -1.0f);
    request.isEnabledCudaRender = false;
    request.isEnabledOpenCLRender = true;

    // The CUDA-fallback profile forces the CUDA path whatever the host enables.
    RenderProfile fallback;
    fallback.cudaFallback = true;
    RenderEngine forced(host, shippedDefinition(), fallback, HostRuntime::instance());
    const TestImage out = render(forced);
    EXPECT_EQ(std::memcmp(out.pixel(0, 0), plate.pixel(0, 0), 16), 0);
}

TEST_F(RenderEngineTest, SecondRenderOfOneInstanceWaitsAndIsReported) {
    TestImage output(kWidth, kHeight);
    host.connect("output", &output);
    // The first render holds the instance until the second one has arrived.
    std::atomic<bool> holding{true};
    host.onFetch = [&](const std::string& clip) {
        if (clip != "output" || !holding.exchange(false)) return;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (engine.renderCount() < 2 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
    };
    std::thread a([&] { engine.setupAndProcess(request); });
    while (holding.load()) std::this_thread::yield();
    std::thread b([&] { engine.setupAndProcess(request); });
    a.join();
    b.join();
    EXPECT_EQ(engine.renderCount(), 0);
    EXPECT_TRUE(log.contains("CONCURRENT RENDER DETECTED on instance"));
    EXPECT_TRUE(log.contains("active=2"));
    EXPECT_EQ(std::memcmp(output.pixel(0, 0), plate.pixel(0, 0), 16), 0);
}

TEST_F(RenderEngineTest, TwoInstancesRenderInParallelWithoutInterference) {
    FakeRenderHost otherHost(shippedDefinition());
    TestImage otherPlate(kWidth, kHeight), otherMask(kWidth, kHeight);
    otherPlate.fill(0.9f, 0.1f, 0.3f, 1.0f);
    paintMask(otherMask, 2, 2, 10, 10);
    otherHost.connect("Source", &otherPlate);
    otherHost.connect("Mask_Shape", &otherMask);
    RenderEngine otherEngine(otherHost, shippedDefinition(), RenderProfile(), HostRuntime::instance());

    TestImage expectedA = render();
    TestImage expectedB(kWidth, kHeight);
    otherHost.connect("output", &expectedB);
    otherEngine.setupAndProcess(request);

    TestImage outA(kWidth, kHeight), outB(kWidth, kHeight);
    host.connect("output", &outA);
    otherHost.connect("output", &outB);
    for (int round = 0; round < 3; ++round) {
        std::thread a([&] { engine.setupAndProcess(request); });
        std::thread b([&] { otherEngine.setupAndProcess(request); });
        a.join();
        b.join();
        EXPECT_EQ(outA.storage, expectedA.storage);
        EXPECT_EQ(outB.storage, expectedB.storage);
    }
}

}  // namespace
