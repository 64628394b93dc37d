// Every frame size renders the fill. The scenes vary along one axis only, so the result does not
// depend on the size along the other: a narrow render must equal the columns of a wide one, a
// short render the rows of a tall one, whatever row pitch the engine's buffers need.
#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <memory>
#include <string>

#include "RenderTestSupport.h"
#include "gpu/HostRuntime.h"
#include "render/RenderEngine.h"

namespace {

constexpr float kObject[3] = {1.0f, 0.0f, 1.0f};  // what the mask covers and the fill must remove

// A graded plate with an object in a band of rows (`alongY`) or of columns; the mask covers the band.
void paintBandScene(TestImage& plate, TestImage& mask, bool alongY) {
    const int extent = alongY ? plate.height : plate.width;
    const int b0 = extent / 3, b1 = extent - extent / 3;
    for (int y = 0; y < plate.height; ++y) {
        for (int x = 0; x < plate.width; ++x) {
            const int t = alongY ? y : x;
            const bool inBand = t >= b0 && t < b1;
            float* p = plate.pixel(x, y);
            p[0] = inBand ? kObject[0] : 0.2f + 0.02f * static_cast<float>(t % 23);
            p[1] = inBand ? kObject[1] : 0.6f - 0.015f * static_cast<float>(t % 17);
            p[2] = inBand ? kObject[2] : 0.35f;
            p[3] = 1.0f;
            float* m = mask.pixel(x, y);
            m[0] = m[1] = m[2] = inBand ? 1.0f : 0.0f;
            m[3] = 1.0f;
        }
    }
}

class FrameSizeTest : public ::testing::Test {
  protected:
    // Renders the band scene at `width` x `height` into a fresh output. The last few outputs are
    // kept, so the pool sees a host cycling among several buffers.
    const TestImage& render(RenderEngine& engine, int width, int height, bool alongY, double scale) {
        TestImage plate(width, height), mask(width, height);
        paintBandScene(plate, mask, alongY);
        outputs_.push_back(std::make_unique<TestImage>(width, height));
        if (outputs_.size() > 5) outputs_.pop_front();
        host_.connect("Source", &plate);
        host_.connect("Mask_Shape", &mask);
        host_.connect("output", outputs_.back().get());
        RenderRequest request;
        request.renderScaleX = request.renderScaleY = scale;
        engine.setupAndProcess(request);
        host_.connect("Source", nullptr);
        host_.connect("Mask_Shape", nullptr);
        return *outputs_.back();
    }

    RenderEngine& engineWithCapacity(std::size_t capacity) {
        engines_.push_back(std::make_unique<RenderEngine>(host_, shippedDefinition(), RenderProfile(),
                                                          HostRuntime::instance()));
        engines_.back()->bufferPool().limitCapacity(capacity);
        return *engines_.back();
    }

    FrameSizeTest() : host_(shippedDefinition()) {
        // Everything that reads the processes' buffers: soft mask edges and the post blur.
        host_.set("blur_amount", ParameterValue(12.0));
        host_.set("mask_grow", ParameterValue(2.0));
        host_.set("mask_blur", ParameterValue(3.0));
        host_.set("post_blur_enable", ParameterValue(true));
        host_.set("post_blur_amount", ParameterValue(2.0));
    }

    LogCapture log_;
    FakeRenderHost host_;
    std::deque<std::unique_ptr<TestImage>> outputs_;
    std::deque<std::unique_ptr<RenderEngine>> engines_;
};

// Largest channel difference between `out` and a line of `reference` (its column or row `line`):
// along y, every column of `out` is compared with column `line` of `reference`; else every row.
float worstAgainstLine(const TestImage& out, const TestImage& reference, int line, bool alongY) {
    float worst = 0.0f;
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            const float* o = out.pixel(x, y);
            const float* r = alongY ? reference.pixel(line, y) : reference.pixel(x, line);
            for (int c = 0; c < 4; ++c) {
                const float d = std::fabs(o[c] - r[c]);
                worst = std::isnan(d) ? INFINITY : std::max(worst, d);
            }
        }
    }
    return worst;
}

// The object's colour is gone from the middle of the band: the fill there comes from the plate.
void expectFilled(const TestImage& out, const std::string& what) {
    const float* centre = out.pixel(out.width / 2, out.height / 2);
    EXPECT_LT(centre[0], 0.7f) << what;
    EXPECT_GT(centre[1], 0.3f) << what;
    EXPECT_NEAR(centre[2], 0.35f, 0.05f) << what;
}

// The engine pads its own rows to the texture pitch alignment; the host's images keep theirs,
// and the engine's padding is no stride mismatch to report.
TEST_F(FrameSizeTest, TheEnginesRowsArePaddedTheHostsKeepTheirOwn) {
    RenderEngine& engine = engineWithCapacity(0);
    const TestImage& out = render(engine, 7, 5, true, 1.0);
    EXPECT_EQ(engine.processBufferPitch(), 128u);  // 7 x 16 = 112 bytes, padded to a multiple of 32
    EXPECT_EQ(out.rowBytes, 7 * 16);
    EXPECT_FALSE(log_.contains("ROW STRIDE MISMATCH"));
    EXPECT_FALSE(log_.contains("pitch2D texture:"));
}

TEST_F(FrameSizeTest, EveryWidthFromOneToFortyFillsLikeAWideRender) {
    constexpr int kHeight = 17;
    for (std::size_t capacity : {2u, 4u}) {
        RenderEngine& engine = engineWithCapacity(capacity);
        for (double scale : {1.0, 0.5}) {
            const TestImage wide = render(engine, 64, kHeight, true, scale);
            expectFilled(wide, "wide");
            ASSERT_LT(worstAgainstLine(wide, wide, 0, true), 1e-5f)
                << "the wide render is not column-invariant";
            const TestImage reference = wide;
            for (int width = 1; width <= 40; ++width) {
                const std::string what = "width " + std::to_string(width) + ", scale " +
                                         std::to_string(scale) + ", pool capacity " +
                                         std::to_string(capacity);
                const TestImage& out = render(engine, width, kHeight, true, scale);
                EXPECT_LT(worstAgainstLine(out, reference, 0, true), 1e-5f) << what;
            }
        }
        EXPECT_EQ(engine.bufferPool().size(), capacity);  // full, evicting the least recently used
    }
}

TEST_F(FrameSizeTest, OddHeightsFillLikeATallRender) {
    for (std::size_t capacity : {2u, 4u}) {
        RenderEngine& engine = engineWithCapacity(capacity);
        for (int width : {5, 17, 39}) {
            for (double scale : {1.0, 0.5}) {
                const TestImage reference = render(engine, width, 64, false, scale);
                if (width >= 17) expectFilled(reference, "tall, width " + std::to_string(width));
                for (int height : {1, 3, 7, 15, 31}) {
                    const std::string what = std::to_string(width) + "x" + std::to_string(height) +
                                             ", scale " + std::to_string(scale) + ", pool capacity " +
                                             std::to_string(capacity);
                    const TestImage& out = render(engine, width, height, false, scale);
                    EXPECT_LT(worstAgainstLine(out, reference, 0, false), 1e-5f) << what;
                }
            }
        }
    }
}

}  // namespace
