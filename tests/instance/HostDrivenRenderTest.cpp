// The shipped effect rendered the odd ways real hosts drive it: offset and mismatched images,
// partial windows, odd render scales and times, extreme parameter values, many instances,
// concurrent renders and several host identities.
#include <cmath>
#include <cstring>
#include <thread>

#include "InstanceTestSupport.h"
#include "ofxGPURender.h"
#include "ofxMessage.h"
#include "ofxMultiThread.h"
#include "ofxProgress.h"

using velmora_test::InstanceOptions;
using velmora_test::openInstance;
using velmora_test::TestFolders;

namespace {

constexpr float kPadMarker = -7.0f;

// A source with a bright square in a mid-grey field, so blur/divide has something to fill.
vhost::ImagePtr plate(OfxRectI bounds, int rowBytes = 0) {
    auto image = std::make_shared<vhost::Image>(bounds, rowBytes);
    image->fillWith([](int x, int y, float* p) {
        p[0] = 0.2f + 0.01f * static_cast<float>(x & 15);
        p[1] = 0.3f + 0.01f * static_cast<float>(y & 15);
        p[2] = 0.4f;
        p[3] = 1.0f;
    });
    return image;
}

// A white disc on black: the region to remove.
vhost::ImagePtr disc(OfxRectI bounds, double cx, double cy, double radius, int rowBytes = 0) {
    auto image = std::make_shared<vhost::Image>(bounds, rowBytes);
    image->fillWith([&](int x, int y, float* p) {
        const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
        const float v = dx * dx + dy * dy <= radius * radius ? 1.0f : 0.0f;
        p[0] = p[1] = p[2] = p[3] = v;
    });
    return image;
}

// An output image whose row padding (when rows are padded) holds a marker.
vhost::ImagePtr outputImage(OfxRectI bounds, int rowBytes = 0) {
    auto image = std::make_shared<vhost::Image>(bounds, rowBytes);
    image->fill(kPadMarker, kPadMarker, kPadMarker, kPadMarker);
    const int tight = (bounds.x2 - bounds.x1) * vhost::Image::kPixelBytes;
    const int stride = std::abs(image->rowBytes());
    for (int y = bounds.y1; y < bounds.y2; ++y) {
        auto* row = reinterpret_cast<unsigned char*>(image->pixel(bounds.x1, y));
        for (int at = tight; at < stride; at += 4) std::memcpy(row + at, &kPadMarker, 4);
    }
    return image;
}

// Every pixel inside `window` is finite and was written; row padding is untouched.
void expectWritten(const vhost::Image& out, OfxRectI window, const std::string& what) {
    int unwritten = 0, nonFinite = 0;
    for (int y = window.y1; y < window.y2; ++y)
        for (int x = window.x1; x < window.x2; ++x) {
            const float* p = out.pixel(x, y);
            for (int c = 0; c < 4; ++c) {
                if (!std::isfinite(p[c])) ++nonFinite;
                if (p[c] == kPadMarker) ++unwritten;
            }
        }
    EXPECT_EQ(nonFinite, 0) << what;
    EXPECT_EQ(unwritten, 0) << what;
    const OfxRectI b = out.bounds();
    const int tight = (b.x2 - b.x1) * vhost::Image::kPixelBytes;
    const int stride = std::abs(out.rowBytes());
    int padTouched = 0;
    for (int y = b.y1; y < b.y2; ++y) {
        const auto* row = reinterpret_cast<const unsigned char*>(out.pixel(b.x1, y));
        for (int at = tight; at < stride; at += 4) {
            float v;
            std::memcpy(&v, row + at, 4);
            if (v != kPadMarker) ++padTouched;
        }
    }
    EXPECT_EQ(padTouched, 0) << what << ": row padding written";
}

std::unique_ptr<velmora_test::LiveInstance> openShipped(const std::string& host = "com.example.compositor",
                                                        const std::string& context = "filter") {
    InstanceOptions options;
    options.bundle = VELMORA_BUNDLE;
    options.host = host;
    options.context = context;
    return openInstance(options);
}

}  // namespace

TEST(HostDrivenRender, ImageGeometryHostsHandOver) {
    TestFolders folders;
    struct Case {
        const char* what;
        OfxRectI source;
        int sourceRowBytes;
        OfxRectI mask;
        OfxRectI output;
        int outputRowBytes;
        OfxRectI window;
    };
    const OfxRectI square{0, 0, 24, 24};
    const Case cases[] = {
        {"all at the origin", square, 0, square, square, 0, square},
        {"all offset", {10, -6, 34, 18}, 0, {10, -6, 34, 18}, {10, -6, 34, 18}, 0, {10, -6, 34, 18}},
        {"window inside the output", square, 0, square, square, 0, {4, 6, 15, 20}},
        {"mask smaller and offset", square, 0, {8, 8, 16, 16}, square, 0, square},
        {"mask larger than the source", square, 0, {-8, -8, 40, 40}, square, 0, square},
        {"mask beside the source", square, 0, {30, 30, 40, 40}, square, 0, square},
        {"source smaller than the output", {4, 4, 20, 20}, 0, square, square, 0, square},
        {"source larger than the output", {-10, -10, 40, 40}, 0, square, square, 0, square},
        {"padded rows", square, 24 * 16 + 48, square, square, 24 * 16 + 32, square},
        {"rows top first", square, -24 * 16, square, square, -(24 * 16 + 16), square},
        {"overscan plate stored top first", {-10, -10, 40, 40}, -50 * 16, square, square, -24 * 16, square},
        {"zero-size window", square, 0, square, square, 0, {5, 5, 5, 5}},
    };
    for (const Case& c : cases) {
        auto live = openShipped();
        vhost::Instance& fx = *live->instance;
        fx.setParam("blur_amount", 8.0);
        fx.connectClip("Source", plate(c.source, c.sourceRowBytes));
        fx.connectClip("Mask_Shape", disc(c.mask, 12, 12, 5));
        auto out = outputImage(c.output, c.outputRowBytes);
        fx.connectClip("Output", out);
        EXPECT_EQ(fx.render(0.0, c.window), kOfxStatOK) << c.what;
        expectWritten(*out, c.window, c.what);
        EXPECT_EQ(fx.outstandingImages(), 0) << c.what;
        // Far from the disc (where nothing is removed) the source shows through unchanged: inputs
        // line up with the output by their pixel coordinates, whatever their bounds.
        const vhost::ImagePtr source = fx.clipImage("Source");
        int differing = 0;
        for (int y = c.window.y1; y < c.window.y2; ++y)
            for (int x = c.window.x1; x < c.window.x2; ++x) {
                const double dx = x + 0.5 - 12, dy = y + 0.5 - 12;
                const float* in = source->pixel(x, y);
                if (in == nullptr || dx * dx + dy * dy < 7 * 7) continue;
                for (int ch = 0; ch < 4; ++ch)
                    if (std::fabs(out->pixel(x, y)[ch] - in[ch]) > 1e-4f) ++differing;
            }
        EXPECT_EQ(differing, 0) << c.what;
    }
}

TEST(HostDrivenRender, OddScalesAndTimes) {
    TestFolders folders;
    struct Case {
        const char* what;
        OfxPointD scale;
        double time;
    };
    const Case cases[] = {
        {"half scale", {0.5, 0.5}, 0.0},   {"scale 0.3", {0.3, 0.3}, 0.0},
        {"scale 1e-6", {1e-6, 1e-6}, 0.0}, {"uneven scale", {1.0, 0.25}, 0.0},
        {"negative time", {1, 1}, -3.0},   {"fractional time", {1, 1}, 2.25},
        {"far future", {1, 1}, 1e9},       {"far past", {1, 1}, -1e9},
    };
    const OfxRectI bounds{0, 0, 20, 16};
    for (const Case& c : cases) {
        auto live = openShipped();
        vhost::Instance& fx = *live->instance;
        // Animated, so that the time picks the value.
        fx.setParamAtTime("blur_amount", 0.0, 4.0);
        fx.setParamAtTime("blur_amount", 10.0, 30.0);
        fx.setParam("mask_grow", 4.0);
        fx.setParam("mask_blur", 3.0);
        fx.setParam("grain_enable", true);
        fx.connectClip("Source", plate(bounds));
        fx.connectClip("Mask_Shape", disc(bounds, 10, 8, 4));
        auto out = outputImage(bounds);
        fx.connectClip("Output", out);
        EXPECT_EQ(fx.render(c.time, bounds, c.scale), kOfxStatOK) << c.what;
        expectWritten(*out, bounds, c.what);
    }
}

// Values a host may hand over for every control: far past each end of its range (the host clamps
// them to the range) and choice indices past the last option.
TEST(HostDrivenRender, ExtremeParameterValuesRenderFiniteImages) {
    TestFolders folders;
    const std::vector<std::string> floats = {
        "blur_amount",    "dir_amount",         "dir_angle",       "dir_bias",       "mask_grow",
        "mask_blur",      "post_blur_amount",   "post_dir_amount", "post_dir_angle", "post_dir_bias",
        "retexture_blur", "retexture_strength", "grain_amount",    "grain_size",     "grain_chromatic"};
    const std::vector<std::string> switches = {"show_unfilled", "post_blur_enable", "retexture_enable",
                                               "grain_enable", "edge_mode"};
    const OfxRectI bounds{0, 0, 16, 12};
    for (double extreme : {1e300, -1e300, 0.0}) {
        for (int choice : {1, 2}) {
            auto live = openShipped();
            vhost::Instance& fx = *live->instance;
            for (const std::string& name : floats) fx.setParam(name, extreme);
            for (const std::string& name : switches) fx.setParam(name, true);
            fx.setParam("source_offset", std::vector<double>{extreme, -extreme});
            fx.setParam("retexture_offset", std::vector<double>{-extreme, extreme});
            fx.setParam("mask_from", choice);
            fx.connectClip("Source", plate(bounds));
            fx.connectClip("Mask_Shape", disc(bounds, 8, 6, 3));
            auto out = outputImage(bounds);
            fx.connectClip("Output", out);
            const std::string what =
                "value " + std::to_string(extreme) + ", choice " + std::to_string(choice);
            EXPECT_EQ(fx.render(0.0, bounds), kOfxStatOK) << what;
            expectWritten(*out, bounds, what);
        }
    }
}

TEST(HostDrivenRender, ManyInstancesSomeNeverRendered) {
    TestFolders folders;
    InstanceOptions options;
    options.bundle = VELMORA_BUNDLE;
    auto live = openInstance(options);
    std::vector<vhost::Instance> more;
    for (int i = 0; i < 12; ++i) more.push_back(live->fx.effect->createInstance());
    const OfxRectI bounds{0, 0, 12, 12};
    for (std::size_t i = 0; i < more.size(); i += 3) {
        more[i].connectClip("Source", plate(bounds));
        auto out = outputImage(bounds);
        more[i].connectClip("Output", out);
        EXPECT_EQ(more[i].render(static_cast<double>(i), bounds), kOfxStatOK);
        expectWritten(*out, bounds, "instance " + std::to_string(i));
    }
    while (more.size() > 6) more.pop_back();
    more.clear();
    live->instance->connectClip("Source", plate(bounds));
    EXPECT_EQ(live->instance->render(0.0, bounds), kOfxStatOK);
}

// Two threads at once: one instance (the host serialises its renders) and two instances of the
// same effect (rendered truly in parallel), each giving the image a lone render gives.
TEST(HostDrivenRender, ConcurrentRendersGiveTheSameImages) {
    TestFolders folders;
    auto live = openShipped();
    std::vector<vhost::Instance> others;
    others.push_back(live->fx.effect->createInstance());
    const OfxRectI bounds{0, 0, 24, 20};
    auto source = plate(bounds);
    auto mask = disc(bounds, 12, 10, 5);
    auto setUp = [&](vhost::Instance& fx) {
        fx.setParam("blur_amount", 12.0);
        fx.setParam("mask_blur", 2.0);
        fx.setParam("post_blur_enable", true);
        fx.connectClip("Source", source);
        fx.connectClip("Mask_Shape", mask);
    };
    vhost::Instance& first = *live->instance;
    setUp(first);
    setUp(others[0]);
    auto reference = outputImage(bounds);
    first.connectClip("Output", reference);
    ASSERT_EQ(first.render(0.0, bounds), kOfxStatOK);

    for (bool sameInstance : {true, false}) {
        vhost::Instance* targets[2] = {&first, sameInstance ? &first : &others[0]};
        std::vector<vhost::ImagePtr> outs;
        for (int t = 0; t < 2; ++t) {
            outs.push_back(outputImage(bounds));
            targets[t]->connectClipAt("Output", 10.0 + t, outs.back());
        }
        OfxStatus status[2] = {kOfxStatFailed, kOfxStatFailed};
        std::vector<std::thread> threads;
        for (int t = 0; t < 2; ++t)
            threads.emplace_back([&, t] {
                for (int round = 0; round < 6; ++round) {
                    status[t] = targets[t]->render(10.0 + t, bounds);
                    if (status[t] != kOfxStatOK) break;
                }
            });
        for (std::thread& th : threads) th.join();
        for (int t = 0; t < 2; ++t) {
            EXPECT_EQ(status[t], kOfxStatOK) << sameInstance << t;
            int differing = 0;
            for (int y = 0; y < bounds.y2; ++y)
                for (int x = 0; x < bounds.x2; ++x)
                    for (int c = 0; c < 4; ++c)
                        if (outs[t]->pixel(x, y)[c] != reference->pixel(x, y)[c]) ++differing;
            EXPECT_EQ(differing, 0) << (sameInstance ? "one instance" : "two instances") << ", thread " << t;
        }
        EXPECT_EQ(targets[1]->outstandingImages(), 0);
    }
}

TEST(HostDrivenRender, EveryHostIdentityAndContextRenders) {
    TestFolders folders;
    const OfxRectI bounds{0, 0, 16, 16};
    for (const char* host : {"resolve", "flame", "nuke", "fusion", "org.example.unknown"}) {
        for (const char* context : {"filter", "general"}) {
            auto live = openShipped(host, context);
            vhost::Instance& fx = *live->instance;
            fx.connectClip("Source", plate(bounds));
            fx.connectClip("Mask_Shape", disc(bounds, 8, 8, 4));
            auto out = outputImage(bounds);
            fx.connectClip("Output", out);
            const std::string what = std::string(host) + " " + context;
            EXPECT_EQ(fx.render(0.0, bounds), kOfxStatOK) << what;
            expectWritten(*out, bounds, what);
        }
    }
}

TEST(HostDrivenRender, HostWithoutMultithreadOrMessageSuite) {
    TestFolders folders;
    InstanceOptions options;
    options.bundle = VELMORA_BUNDLE;
    options.adjustHost = [](vhost::HostIdentity& identity) {
        identity.withheldSuites = {kOfxMultiThreadSuite, kOfxMessageSuite, kOfxProgressSuite};
    };
    auto live = openInstance(options);
    vhost::Instance& fx = *live->instance;
    const OfxRectI bounds{0, 0, 16, 16};
    fx.connectClip("Mask_Shape", disc(bounds, 8, 8, 4));
    auto out = outputImage(bounds);
    fx.connectClip("Output", out);
    // No source: the failure cannot be shown in a message, and the render still fails.
    EXPECT_NE(fx.render(0.0, bounds), kOfxStatOK);
    fx.connectClip("Source", plate(bounds));
    EXPECT_EQ(fx.render(0.0, bounds), kOfxStatOK);
    expectWritten(*out, bounds, "no suites");
}

// A host that predates the GPU-render properties (where a CUDA device makes the effect announce
// them) still describes the effect, and renders it from host memory.
TEST(HostDrivenRender, HostRefusingGpuRenderProperties) {
    TestFolders folders;
    InstanceOptions options;
    options.bundle = VELMORA_BUNDLE;
    options.adjustHost = [](vhost::HostIdentity& identity) {
        identity.unknownProperties = {
            kOfxImageEffectPropCudaRenderSupported, kOfxImageEffectPropCudaStreamSupported,
            kOfxImageEffectPropOpenCLRenderSupported, kOfxImageEffectPropMetalRenderSupported};
    };
    auto live = openInstance(options);
    vhost::Instance& fx = *live->instance;
    const OfxRectI bounds{0, 0, 16, 16};
    fx.connectClip("Source", plate(bounds));
    fx.connectClip("Mask_Shape", disc(bounds, 8, 8, 4));
    auto out = outputImage(bounds);
    fx.connectClip("Output", out);
    EXPECT_EQ(fx.render(0.0, bounds), kOfxStatOK);
    expectWritten(*out, bounds, "GPU properties refused");
}

// A connected clip whose image the host cannot deliver at the render time, and an empty output.
TEST(HostDrivenRender, ImagesMissingAtTheRenderTime) {
    TestFolders folders;
    const OfxRectI bounds{0, 0, 16, 16};
    {
        auto live = openShipped();
        vhost::Instance& fx = *live->instance;
        fx.connectClipAt("Source", 5.0, plate(bounds));
        fx.connectClip("Mask_Shape", disc(bounds, 8, 8, 4));
        auto out = outputImage(bounds);
        fx.connectClip("Output", out);
        EXPECT_NE(fx.render(0.0, bounds), kOfxStatOK) << "no source image at time 0";
        EXPECT_EQ(fx.render(5.0, bounds), kOfxStatOK);
        expectWritten(*out, bounds, "source at its time");
    }
    {
        auto live = openShipped();
        vhost::Instance& fx = *live->instance;
        fx.connectClip("Source", plate(bounds));
        fx.connectClipAt("Mask_Shape", 5.0, disc(bounds, 8, 8, 4));
        auto out = outputImage(bounds);
        fx.connectClip("Output", out);
        const OfxStatus status = fx.render(0.0, bounds);
        if (status == kOfxStatOK) expectWritten(*out, bounds, "mask missing at time 0");
        EXPECT_EQ(fx.outstandingImages(), 0);
    }
    {
        auto live = openShipped();
        vhost::Instance& fx = *live->instance;
        fx.connectClip("Source", plate(bounds));
        fx.connectClip("Output", std::make_shared<vhost::Image>(OfxRectI{3, 3, 3, 3}));
        fx.render(0.0, OfxRectI{3, 3, 3, 3});
        EXPECT_EQ(fx.outstandingImages(), 0);
        fx.connectClip("Output", outputImage(bounds));
        EXPECT_EQ(fx.render(0.0, bounds), kOfxStatOK) << "renders on after an empty output";
    }
}

TEST(HostDrivenRender, MatteOfAnotherSizeInResolveGeneral) {
    TestFolders folders;
    const OfxRectI bounds{0, 0, 16, 16};
    for (OfxRectI matte : {OfxRectI{0, 0, 4, 4}, OfxRectI{-20, -20, 60, 60}, OfxRectI{30, 30, 31, 31}}) {
        auto live = openShipped("resolve", "general");
        vhost::Instance& fx = *live->instance;
        fx.setParam("_alpha_source", 2);
        fx.connectClip("Source", plate(bounds));
        fx.connectClip("Mask_Shape", disc(bounds, 8, 8, 4));
        fx.connectClip("Matte", disc(matte, 2, 2, 2));
        auto out = outputImage(bounds);
        fx.connectClip("Output", out);
        EXPECT_EQ(fx.render(0.0, bounds), kOfxStatOK);
        expectWritten(*out, bounds, "matte");
    }
}

// A mask cropped to its object (as compositors hand over a roto's bounding box) and a plate with
// overscan give the image their full-frame equivalents give.
TEST(HostDrivenRender, CroppedMaskAndOverscanLineUpWithTheOutput) {
    TestFolders folders;
    const OfxRectI frame{0, 0, 32, 24};
    auto renderWith = [&](vhost::ImagePtr source, vhost::ImagePtr mask) {
        auto live = openShipped();
        vhost::Instance& fx = *live->instance;
        fx.setParam("blur_amount", 10.0);
        fx.setParam("mask_blur", 2.0);
        fx.connectClip("Source", source);
        fx.connectClip("Mask_Shape", mask);
        auto out = outputImage(frame);
        fx.connectClip("Output", out);
        EXPECT_EQ(fx.render(0.0, frame), kOfxStatOK);
        return out;
    };
    const vhost::ImagePtr reference = renderWith(plate(frame), disc(frame, 20, 9, 4));
    struct Case {
        const char* what;
        OfxRectI source, mask;
    };
    const Case cases[] = {
        {"mask cropped to the disc", frame, {15, 4, 25, 14}},
        {"mask with a margin", frame, {-6, -6, 40, 30}},
        {"plate with overscan", {-8, -4, 40, 28}, frame},
    };
    for (const Case& c : cases) {
        const vhost::ImagePtr out = renderWith(plate(c.source), disc(c.mask, 20, 9, 4));
        int differing = 0;
        for (int y = frame.y1; y < frame.y2; ++y)
            for (int x = frame.x1; x < frame.x2; ++x)
                for (int ch = 0; ch < 4; ++ch)
                    if (std::fabs(out->pixel(x, y)[ch] - reference->pixel(x, y)[ch]) > 1e-5f) ++differing;
        EXPECT_EQ(differing, 0) << c.what;
    }
}
