#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <memory>
#include <random>

#include "RenderTestSupport.h"
#include "gpu/HostRuntime.h"
#include "render/RegionPlan.h"
#include "render/RenderEngine.h"
#include "render/TileMap.h"

// A render that computes only what the mask can change gives the pixels of a render that
// computes every pass over the whole frame, bit for bit.

namespace {

template <class T>
T pick(std::mt19937& rng, std::initializer_list<T> values) {
    std::uniform_int_distribution<size_t> d(0, values.size() - 1);
    return *(values.begin() + d(rng));
}

float uniform(std::mt19937& rng, float low, float high) {
    return std::uniform_real_distribution<float>(low, high)(rng);
}

// Textured plate, so every blur and the retexture have detail to move.
void paintPlate(TestImage& plate, std::mt19937& rng) {
    const float phase = uniform(rng, 0.0f, 6.0f);
    for (int y = 0; y < plate.height; ++y)
        for (int x = 0; x < plate.width; ++x) {
            float* p = plate.pixel(x, y);
            p[0] = 0.5f + 0.4f * std::sin(0.37f * x + phase) * std::cos(0.21f * y);
            p[1] = 0.2f + 0.6f * static_cast<float>((x * 7 + y * 13) % 17) / 17.0f;
            p[2] = 0.3f + 0.3f * std::cos(0.11f * (x + y) + phase);
            p[3] = 0.75f + 0.25f * std::sin(0.05f * x * y);
        }
}

// Holes of random kinds: small and large soft discs, bars along a border, several islands, a
// faint wash below the mask threshold, or nothing at all.
void paintMask(TestImage& mask, std::mt19937& rng) {
    const int w = mask.width, h = mask.height;
    mask.fill(0, 0, 0, 1);
    auto disc = [&](float cx, float cy, float r, float soft) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const float d = std::hypot(x + 0.5f - cx, y + 0.5f - cy);
                const float v = d < r ? 1.0f : (d < r + soft ? (r + soft - d) / soft : 0.0f);
                float* m = mask.pixel(x, y);
                m[0] = m[1] = m[2] = std::max(m[0], v);
                m[3] = std::max(m[3], v);
            }
    };
    switch (std::uniform_int_distribution<int>(0, 5)(rng)) {
        case 0:  // a speck
            disc(uniform(rng, 0.0f, w), uniform(rng, 0.0f, h), 0.8f, 1.0f);
            break;
        case 1:  // a large hole
            disc(w * 0.5f, h * 0.5f, std::min(w, h) * 0.4f, 3.0f);
            break;
        case 2:  // on the borders and corners
            disc(0.0f, uniform(rng, 0.0f, h), 4.0f, 2.0f);
            disc(w - 1.0f, h - 1.0f, 3.0f, 2.0f);
            break;
        case 3:  // islands
            for (int i = 0; i < 4; ++i)
                disc(uniform(rng, 0.0f, w), uniform(rng, 0.0f, h), uniform(rng, 1.0f, 5.0f), 2.0f);
            break;
        case 4:  // a faint wash that the mask rule reads as nothing, and one real spot
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    mask.pixel(x, y)[0] = mask.pixel(x, y)[1] = mask.pixel(x, y)[2] = 0.04f;
            disc(uniform(rng, 0.0f, w), uniform(rng, 0.0f, h), 2.0f, 1.0f);
            break;
        default:  // nothing to remove
            break;
    }
}

void randomParameters(FakeRenderHost& host, RenderRequest& request, std::mt19937& rng) {
    host.set("blur_amount", ParameterValue(static_cast<double>(pick(rng, {0.0f, 3.0f, 9.5f, 25.0f}))));
    host.set("dir_amount", ParameterValue(static_cast<double>(pick(rng, {0.0f, 0.6f, 7.0f}))));
    host.set("dir_angle", ParameterValue(static_cast<double>(uniform(rng, -180.0f, 360.0f))));
    host.set("dir_bias", ParameterValue(static_cast<double>(uniform(rng, -1.0f, 1.0f))));
    host.set("mask_grow", ParameterValue(static_cast<double>(pick(rng, {0.0f, 1.5f, -2.0f, 6.25f}))));
    host.set("mask_blur", ParameterValue(static_cast<double>(pick(rng, {0.0f, 2.0f, 5.5f}))));
    host.set("mask_from", ParameterValue(pick(rng, {0, 1, 2})));
    host.set("show_unfilled", ParameterValue(uniform(rng, 0, 1) < 0.5f));
    host.set("edge_mode", ParameterValue(uniform(rng, 0, 1) < 0.5f));
    host.set("post_blur_enable", ParameterValue(uniform(rng, 0, 1) < 0.6f));
    host.set("post_blur_amount", ParameterValue(static_cast<double>(pick(rng, {0.0f, 3.0f, 8.0f}))));
    host.set("post_dir_amount", ParameterValue(static_cast<double>(pick(rng, {0.0f, 5.0f}))));
    host.set("post_dir_angle", ParameterValue(static_cast<double>(uniform(rng, 0.0f, 360.0f))));
    host.set("post_dir_bias", ParameterValue(static_cast<double>(uniform(rng, -1.0f, 1.0f))));
    host.set("retexture_enable", ParameterValue(uniform(rng, 0, 1) < 0.6f));
    host.set("retexture_blur", ParameterValue(static_cast<double>(pick(rng, {0.0f, 4.0f, 12.0f}))));
    host.set("retexture_strength", ParameterValue(static_cast<double>(pick(rng, {0.0f, 100.0f, 180.0f}))));
    host.set("grain_enable", ParameterValue(uniform(rng, 0, 1) < 0.5f));
    host.set("grain_amount", ParameterValue(static_cast<double>(pick(rng, {0.0f, 1.5f}))));
    host.set("grain_size", ParameterValue(static_cast<double>(pick(rng, {1.0f, 2.5f}))));
    host.set("grain_chromatic", ParameterValue(static_cast<double>(pick(rng, {0.0f, 0.7f}))));
    // Offsets in picture heights: small, and far beyond the frame either way.
    host.set("source_offset", ParameterValue(pick(rng, {0.0, 0.05, -0.3, 2.7}), pick(rng, {0.0, 0.1, -1.6})));
    host.set("retexture_offset", ParameterValue(pick(rng, {0.0, 0.2, -2.2}), pick(rng, {0.0, -0.15, 3.1})));
    // Framework settings: an opaque copy of the plate in slot 0, premultiplied output, a blend.
    host.alpha.alphaSourceMode = pick(rng, {0, 3});
    host.alpha.premultiplyOutput = uniform(rng, 0, 1) < 0.3f;
    host.blend = pick(rng, {1.0, 1.0, 0.6});
    const double scale = pick(rng, {1.0, 0.5, 0.37});
    request.renderScaleX = request.renderScaleY = scale;
    request.time = std::uniform_int_distribution<int>(0, 40)(rng) / 24.0;
}

}  // namespace

// Random masks and parameters, rendered in sequence by engines whose pools keep two or four
// managers (so arrays hold earlier frames' pixels), with and without region plans.
TEST(RegionRender, MatchesTheWholeFrameRenderBitForBit) {
    LogCapture log;
    FakeRenderHost host(shippedDefinition());
    std::mt19937 rng(20270201);
    int planned = 0;
    for (std::size_t capacity : {std::size_t(2), std::size_t(4)}) {
        RenderEngine regions(host, shippedDefinition(), RenderProfile(), HostRuntime::instance());
        RenderEngine whole(host, shippedDefinition(), RenderProfile(), HostRuntime::instance());
        regions.bufferPool().limitCapacity(capacity);
        whole.bufferPool().limitCapacity(capacity);
        std::deque<std::unique_ptr<TestImage>> outputs;  // a host cycling among output buffers
        for (int round = 0; round < 14; ++round) {
            const int w = std::uniform_int_distribution<int>(60, 230)(rng),
                      h = std::uniform_int_distribution<int>(40, 170)(rng);
            SCOPED_TRACE(testing::Message()
                         << "capacity " << capacity << " round " << round << " " << w << "x" << h);
            TestImage plate(w, h), mask(w, h), reference(w, h);
            paintPlate(plate, rng);
            paintMask(mask, rng);
            RenderRequest request;
            randomParameters(host, request, rng);
            host.connect("Source", &plate);
            host.connect("Mask_Shape", &mask);

            outputs.push_back(std::make_unique<TestImage>(w, h));
            if (outputs.size() > capacity + 1) outputs.pop_front();
            TestImage& out = *outputs.back();
            out.fill(-3.0f, -3.0f, -3.0f, -3.0f);
            host.connect("output", &out);
            const int before = log.count("tiles can change");
            setRegionPlansEnabled(true);
            regions.setupAndProcess(request);
            if (log.count("tiles can change") > before) ++planned;

            host.connect("output", &reference);
            setRegionPlansEnabled(false);
            whole.setupAndProcess(request);
            setRegionPlansEnabled(true);

            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(std::memcmp(out.pixel(x, y), reference.pixel(x, y), 16), 0)
                        << x << "," << y << ": (" << out.pixel(x, y)[0] << ", " << out.pixel(x, y)[1] << ", "
                        << out.pixel(x, y)[2] << ", " << out.pixel(x, y)[3] << ") vs ("
                        << reference.pixel(x, y)[0] << ", " << reference.pixel(x, y)[1] << ", "
                        << reference.pixel(x, y)[2] << ", " << reference.pixel(x, y)[3] << ")";
        }
    }
    EXPECT_GT(planned, 10) << "region plans were rarely made";
}

// Reads through the edge rules land where the kernels' reads land.
TEST(RegionRender, EdgeIntervalsFollowClampAndReflection) {
    using Intervals = std::vector<std::pair<int, int>>;
    EXPECT_EQ(edgeIntervals(-5, 3, 10, false), (Intervals{{0, 3}}));
    EXPECT_EQ(edgeIntervals(12, 40, 10, false), (Intervals{{9, 9}}));
    // Mirrored about the left edge: -1 reads 0, -5 reads 4.
    EXPECT_EQ(edgeIntervals(-5, 3, 10, true), (Intervals{{0, 4}, {0, 3}}));
    // Beyond the right edge: 10 reads 9, 14 reads 5; beyond twice the width the read clamps to 0.
    EXPECT_EQ(edgeIntervals(8, 14, 10, true), (Intervals{{8, 9}, {5, 9}}));
    EXPECT_EQ(edgeIntervals(25, 30, 10, true), (Intervals{{0, 0}}));
}
