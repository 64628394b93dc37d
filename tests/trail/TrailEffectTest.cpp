// The trail effect through our host: accumulation buffers (a trail filled after a process, an
// echo filled from the output behind a strobe gate), device buffers behind a count dispatch (a
// luminance histogram drawn into the picture), and how time jumps, proxy renders, resets and
// allocation failures change what a render keeps.
#include <dlfcn.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "InstanceTestSupport.h"

using velmora_test::InstanceOptions;
using velmora_test::occurrences;
using velmora_test::TestFolders;

namespace {

// A lit square the size of `dot` pixels at (x, y) on opaque black.
vhost::ImagePtr dotImage(int width, int height, int x, int y, int dot = 2) {
    auto image = std::make_shared<vhost::Image>(width, height);
    image->fillWith([&](int px, int py, float* p) {
        const float v = px >= x && px < x + dot && py >= y && py < y + dot ? 1.0f : 0.0f;
        p[0] = p[1] = p[2] = v;
        p[3] = 1.0f;
    });
    return image;
}

// The trail bundle; VELMORA_TRAIL_BUNDLE names another copy (scripts/gpu-check.sh carries one).
std::string trailBundle() {
    const char* path = std::getenv("VELMORA_TRAIL_BUNDLE");
    return path && *path ? path : VELMORA_TRAIL_BUNDLE;
}

// The bundle carries its definition document beside the compiled-in copy.
std::string trailDefinitionText() {
    std::ifstream in(trailBundle() + "/Contents/Resources/trail.xml");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// One trail instance in our host with the images it renders.
class TrailRig {
  public:
    explicit TrailRig(const std::string& host = "com.example.compositor") {
        InstanceOptions options;
        options.bundle = trailBundle();
        options.host = host;
        fx_ = velmora_test::openInstance(options);
    }

    vhost::Instance& instance() { return *fx_->instance; }

    // Renders `source` at `time`; the output has the source's size.
    vhost::ImagePtr render(double time, const vhost::ImagePtr& source, double scale = 1.0,
                           OfxStatus expected = kOfxStatOK) {
        auto out = std::make_shared<vhost::Image>(source->width(), source->height());
        out->fill(-1.0f, -1.0f, -1.0f, -1.0f);
        instance().connectClip("Source", source);
        instance().connectClip("Output", out);
        vhost::RenderOptions options;
        options.renderScale = {scale, scale};
        options.sequential = true;
        EXPECT_EQ(instance().render(time, OfxRectI{0, 0, source->width(), source->height()}, options),
                  expected)
            << "time " << time;
        return out;
    }

    // The plug-in's next `n`-th allocation fails (its CPU backend); false where that cannot be done.
    bool failAllocationAfter(unsigned long long n) {
        void* library = dlopen(binaryPath().c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (!library) return false;
        auto hook = reinterpret_cast<int (*)(unsigned long long)>(
            dlsym(library, "velmora_trail_fail_allocation_after"));
        const bool done = hook && hook(n) != 0;
        dlclose(library);
        return done;
    }

    // The frame-sized blocks the plug-in's CPU backend keeps for reuse.
    unsigned long long keptBlocks() {
        void* library = dlopen(binaryPath().c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (!library) return ~0ull;
        auto hook = reinterpret_cast<unsigned long long (*)()>(dlsym(library, "velmora_trail_kept_blocks"));
        const unsigned long long kept = hook ? hook() : ~0ull;
        dlclose(library);
        return kept;
    }

    // Destroys the instance; the plug-in stays loaded.
    void destroyInstance() { fx_->instance.reset(); }

    void close() { fx_->close(); }

  private:
    std::string binaryPath() const { return fx_->fx.binary->binaryPath(); }

    std::unique_ptr<velmora_test::LiveInstance> fx_;
};

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

float red(const vhost::Image& image, int x, int y) {
    return image.pixel(x, y)[0];
}

}  // namespace

// The CPU backend keeps freed frame-sized blocks for the next render; when the last instance is
// gone nothing can reuse them, and they are given back to the system.
TEST(TrailEffect, TheLastInstanceGivesBackTheBlocksTheCpuBackendKeeps) {
    TestFolders folders;
    TrailRig first, second;
    first.render(0, dotImage(320, 240, 10, 10));
    second.render(0, dotImage(320, 240, 10, 10));
    second.destroyInstance();
    EXPECT_GT(first.keptBlocks(), 0u) << "an instance is left that may reuse them";
    first.destroyInstance();
    EXPECT_EQ(first.keptBlocks(), 0u);
    second.close();
    first.close();
}

// The trail of a moving light fades by the decay each frame; an odd width keeps every pixel in
// place (the buffers' rows are padded for their textures, the copies honour the padding).
TEST(TrailEffect, ALightLeavesATrailThatFadesFrameByFrameOnAnOddWidth) {
    TestFolders folders;
    TrailRig rig;
    rig.instance().setParam("echo_amount", 0.0);
    const int width = 37, height = 23, y = 12;
    vhost::ImagePtr out;
    for (int frame = 0; frame < 5; ++frame)
        out = rig.render(frame, dotImage(width, height, 3 + 7 * frame, y));

    // Frame 4: the light itself, then 0.8, 0.64, ... of it where it was.
    std::vector<float> expected(width, 0.0f);
    float level = 1.0f;
    for (int age = 0; age < 5; ++age, level *= 0.8f) {
        const int x = 3 + 7 * (4 - age);
        expected[x] = expected[x + 1] = level;
    }
    for (int row = 3; row < height; ++row) {
        for (int x = 0; x < width; ++x) {
            const bool onDot = row == y || row == y + 1;
            const float* p = out->pixel(x, row);
            EXPECT_NEAR(p[0], onDot ? expected[x] : 0.0f, 1e-6) << x << "," << row;
            EXPECT_EQ(p[0], p[2]) << x << "," << row;
            EXPECT_EQ(p[3], 1.0f) << x << "," << row;
        }
    }
    rig.close();
    const std::string log = folders.logText();
    EXPECT_EQ(occurrences(log, "ACCUM FORCE COPY"), 2);  // frame 0, in the two processes before the copy
    EXPECT_EQ(occurrences(log, "ACCUM DEFERRED COPY: buffer 'trail' <- process 'trail' (pipeline 1)"), 5);
    EXPECT_TRUE(contains(log, "Accumulation buffer 'trail' allocated: 37x23"));
}

// Time 0 never holds accumulated state; DaVinci Resolve's tolerance keeps the state across a
// backward step of up to 15 frames, and a longer jump starts over with a forced copy.
TEST(TrailEffect, TimeZeroAndResolvesBackwardTolerance) {
    TestFolders folders;
    TrailRig rig("resolve");
    rig.instance().setParam("echo_amount", 0.0);
    const int width = 40, height = 24;
    rig.render(5, dotImage(width, height, 4, 10));
    vhost::ImagePtr out = rig.render(0, dotImage(width, height, 20, 10));
    EXPECT_EQ(red(*out, 4, 10), 0.0f) << "time 0 read the earlier trail";
    EXPECT_EQ(red(*out, 20, 10), 1.0f);

    rig.render(40, dotImage(width, height, 4, 10));
    out = rig.render(30, dotImage(width, height, 12, 10));
    EXPECT_NEAR(red(*out, 4, 10), 0.8f, 1e-6) << "40 -> 30 lies within the tolerance";
    rig.render(40, dotImage(width, height, 20, 10));
    out = rig.render(20, dotImage(width, height, 28, 10));
    EXPECT_EQ(red(*out, 20, 10), 0.0f) << "40 -> 20 lies beyond it";
    EXPECT_EQ(red(*out, 12, 10), 0.0f);
    EXPECT_EQ(red(*out, 28, 10), 1.0f);
    rig.close();

    // Each forced render logs in the two processes before the trail's copy.
    const std::string log = folders.logText();
    EXPECT_EQ(occurrences(log, "ACCUM FORCE COPY"), 4);
    EXPECT_EQ(occurrences(log, "first frame (buffer not yet valid)"), 2);
    EXPECT_EQ(occurrences(log, "backwards jump (last=40.0 → current=20.0)"), 2);
    EXPECT_EQ(occurrences(log, "time=20.000 < last=40.000 (delta=-20.000)"), 2);
}

// Strobe 4 refreshes the echo on frames 0, 4 and 8 only: the echo holds the output of the last
// of them (which held the echo before it), so every fourth position stays lit, halving.
TEST(TrailEffect, StrobeRefreshesTheEchoEveryFourthFrame) {
    TestFolders folders;
    TrailRig rig;
    rig.instance().setParam("decay", 0.0);
    rig.instance().setParam("strobe", 4);
    const int width = 64, height = 24, y = 12;
    auto dotX = [](int frame) { return 2 + 6 * frame; };
    std::vector<vhost::ImagePtr> outs;
    for (int frame = 0; frame <= 9; ++frame)
        outs.push_back(rig.render(frame, dotImage(width, height, dotX(frame), y)));

    auto levels = [&](int frame) {
        std::vector<float> at;
        for (int f = 0; f <= 9; ++f) at.push_back(red(*outs[frame], dotX(f), y));
        return at;
    };
    using Levels = std::vector<float>;
    EXPECT_EQ(levels(3), (Levels{0.5f, 0, 0, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(levels(7), (Levels{0.25f, 0, 0, 0, 0.5f, 0, 0, 1, 0, 0}));
    EXPECT_EQ(levels(8), (Levels{0.25f, 0, 0, 0, 0.5f, 0, 0, 0, 1, 0}));
    EXPECT_EQ(levels(9), (Levels{0.125f, 0, 0, 0, 0.25f, 0, 0, 0, 0.5f, 1}));
}

// A proxy render neither allocates nor fills the accumulation buffers, but prepares the device
// buffers for its own size; the next full render continues from the last full one.
TEST(TrailEffect, ProxyRendersLeaveTheAccumulatedStateAlone) {
    TestFolders folders;
    TrailRig rig;
    rig.instance().setParam("echo_amount", 0.0);
    const int width = 48, height = 24;
    vhost::ImagePtr out = rig.render(0, dotImage(width / 2, height / 2, 4, 6), 0.5);
    EXPECT_EQ(red(*out, 4, 6), 1.0f);
    rig.render(1, dotImage(width, height, 8, 12));
    rig.render(2, dotImage(width / 2, height / 2, 8, 6), 0.5);
    out = rig.render(3, dotImage(width, height, 24, 12));
    EXPECT_NEAR(red(*out, 8, 12), 0.8f, 1e-6) << "the trail continues from frame 1";
    EXPECT_EQ(red(*out, 16, 12), 0.0f) << "the proxy frame 2 left nothing";
    rig.close();

    const std::string log = folders.logText();
    EXPECT_EQ(occurrences(log, "Accumulation buffers: First allocation"), 1);
    EXPECT_EQ(occurrences(log, "Accumulation buffer 'trail' allocated: 48x24"), 1);
    EXPECT_FALSE(contains(log, "allocated: 24x12"));
    EXPECT_TRUE(contains(log, "Device buffer 'luma': 288 elements x 4 bytes"));
    EXPECT_EQ(occurrences(log, "Device buffer 'luma': 1152 elements x 4 bytes"), 2);
    EXPECT_TRUE(contains(log, "ACCUM SKIP ["));
    EXPECT_TRUE(contains(log, "proxy render frame=2.0, renderScale=0.50,0.50, valid=1, lastRendered=1.0"));
    EXPECT_FALSE(contains(log, "process 'trail' (pipeline 1), frame=2"));
    EXPECT_EQ(occurrences(log, "ACCUM COPY ["), 2);
}

// After "Reset Accumulation" the next render starts over as a first frame.
TEST(TrailEffect, ResetAccumulationMakesTheNextRenderAFirstFrame) {
    TestFolders folders;
    TrailRig rig;
    const int width = 40, height = 24;
    rig.render(0, dotImage(width, height, 4, 10));
    vhost::ImagePtr out = rig.render(1, dotImage(width, height, 12, 10));
    EXPECT_NEAR(red(*out, 4, 10), 0.8f, 1e-6);
    EXPECT_EQ(rig.instance().pressButton("flush_cache"), kOfxStatOK);
    out = rig.render(2, dotImage(width, height, 20, 10));
    EXPECT_EQ(red(*out, 12, 10), 0.0f);
    EXPECT_EQ(red(*out, 4, 10), 0.0f);
    EXPECT_EQ(std::get<int>(rig.instance().value("_flush_cache_counter")), 1);
    rig.close();
    const std::string log = folders.logText();
    EXPECT_EQ(occurrences(log, "first frame (buffer not yet valid)"), 4);
    EXPECT_TRUE(contains(log, "flush_cache: accum state invalidated; bumped _flush_cache_counter 0 → 1"));
}

// The histogram is counted by a count dispatch into a device buffer sized by a parameter and
// drawn as bars: a quarter of white pixels gives the white bin a third of the black bin's height.
TEST(TrailEffect, CountDispatchFillsTheHistogramTheStripShows) {
    TestFolders folders;
    TrailRig rig;
    rig.instance().setParam("echo_amount", 0.0);
    const int width = 64, height = 48, strip = height / 8;
    auto quarterWhite = std::make_shared<vhost::Image>(width, height);
    quarterWhite->fillWith([&](int x, int, float* p) {
        p[0] = p[1] = p[2] = x < width / 4 ? 1.0f : 0.0f;
        p[3] = 1.0f;
    });
    auto barHeight = [&](const vhost::Image& out, int x) {
        int rows = 0;
        while (rows < strip && out.pixel(x, rows)[0] == 1.0f) ++rows;
        for (int y = rows; y < strip; ++y) EXPECT_EQ(out.pixel(x, y)[0], 0.0f) << x << "," << y;
        return rows;
    };
    vhost::ImagePtr out = rig.render(0, quarterWhite);
    EXPECT_EQ(barHeight(*out, 0), strip);  // bin 0 of 16: black
    EXPECT_EQ(barHeight(*out, 3), strip);
    EXPECT_EQ(barHeight(*out, 4), 0);
    EXPECT_EQ(barHeight(*out, 59), 0);
    EXPECT_EQ(barHeight(*out, 60), 2);     // bin 15: white, 1/3 of 6 rows
    EXPECT_EQ(red(*out, 0, strip), 1.0f);  // above the strip: the picture

    rig.instance().setParam("bins", 4);
    out = rig.render(1, quarterWhite);
    EXPECT_EQ(barHeight(*out, 15), strip);
    EXPECT_EQ(barHeight(*out, 16), 0);
    EXPECT_EQ(barHeight(*out, 48), 2);

    rig.instance().setParam("show_histogram", false);
    out = rig.render(2, quarterWhite);
    EXPECT_EQ(red(*out, 0, 0), 1.0f);
    EXPECT_EQ(red(*out, 60, 0), 0.0f);
    rig.close();
    const std::string log = folders.logText();
    EXPECT_TRUE(contains(log, "Device buffer 'histogram': 16 elements x 4 bytes = 0.00 MB (uint32)"));
    EXPECT_TRUE(contains(log, "Device buffer 'histogram': 4 elements x 4 bytes = 0.00 MB (uint32)"));
    EXPECT_EQ(occurrences(log, "Device buffers ready: 2 buffer(s)"), 2);
    EXPECT_FALSE(contains(log, "not found in device buffers"));
}

// A count dispatch whose buffer the definition does not have runs over the image grid with a
// count of 0, and the pixels come out the same.
TEST(TrailEffect, ACountDispatchNamingNoBufferRunsWithZero) {
    const int width = 40, height = 24;
    const vhost::ImagePtr source = dotImage(width, height, 10, 10, 4);
    vhost::ImagePtr reference;
    {
        TestFolders folders;
        TrailRig rig;
        reference = rig.render(0, source);
    }
    TestFolders folders;
    folders.useDefinition(replaced(trailDefinitionText(), R"(buffer="luma")", R"(buffer="no_such_buffer")"));
    TrailRig rig;
    const vhost::ImagePtr out = rig.render(0, source);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 4; ++c)
                ASSERT_EQ(out->pixel(x, y)[c], reference->pixel(x, y)[c]) << x << "," << y;
    rig.close();
    EXPECT_TRUE(contains(folders.logText(),
                         "dispatch=\"count\" buffer=\"no_such_buffer\" not found in device buffers"));
}

// A failed allocation lets the render go on without the buffers of that kind, and the next
// render tries again.
TEST(TrailEffect, AFailedAllocationIsRetriedByTheNextRender) {
    TestFolders folders;
    TrailRig rig;
    rig.instance().setParam("echo_amount", 0.0);
    const int width = 48, height = 24;
    // A proxy render first makes everything but the accumulation buffers, so that the next full
    // render of the same size allocates those first.
    rig.render(0, dotImage(width, height, 4, 12), 0.5);
    if (!rig.failAllocationAfter(1)) GTEST_SKIP() << "the plug-in does not render on its CPU backend";
    vhost::ImagePtr out = rig.render(1, dotImage(width, height, 12, 12));
    EXPECT_EQ(red(*out, 12, 12), 1.0f);
    out = rig.render(2, dotImage(width, height, 20, 12));
    EXPECT_EQ(red(*out, 12, 12), 0.0f) << "no buffers at frame 1: nothing kept";
    out = rig.render(3, dotImage(width, height, 28, 12));
    EXPECT_NEAR(red(*out, 20, 12), 0.8f, 1e-6) << "buffers made at frame 2";

    // The histogram's buffer: a new bin count reallocates the device buffers, nothing else.
    rig.instance().setParam("bins", 8);
    ASSERT_TRUE(rig.failAllocationAfter(1));
    out = rig.render(4, dotImage(width, height, 36, 12));
    EXPECT_EQ(red(*out, 36, 12), 1.0f);
    EXPECT_EQ(red(*out, 0, 0), 0.0f) << "no histogram drawn without its buffer";
    out = rig.render(5, dotImage(width, height, 40, 12));
    EXPECT_EQ(red(*out, 0, 0), 1.0f) << "the histogram is back";
    rig.close();

    const std::string log = folders.logText();
    EXPECT_TRUE(contains(log, "Failed to allocate accumulation buffer 'trail': out of memory"));
    EXPECT_EQ(occurrences(log, "Accumulation buffer allocation failed - temporal effects will not work"), 1);
    EXPECT_EQ(occurrences(log, "Accumulation buffers: First allocation (2 buffers)"), 2);
    EXPECT_EQ(occurrences(log, "Accumulation buffers ready: 2 buffer(s)"), 1);
    EXPECT_TRUE(contains(log, "Failed to allocate device buffer 'histogram' (32 bytes): out of memory"));
    EXPECT_EQ(occurrences(log, "Device buffer allocation failed"), 1);
    EXPECT_TRUE(contains(log, "dispatch=\"count\" buffer=\"histogram\" not found in device buffers"));
    EXPECT_TRUE(contains(log, "Device buffer 'histogram': 8 elements x 4 bytes"));
}
