// Accumulation and device buffers on the CPU backend: sizes and reallocation, the reset that
// overtakes a render in progress, and the forced render that refills a strobed buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "RenderTestSupport.h"
#include "gpu/HostRuntime.h"
#include "render/AccumulationBuffers.h"
#include "render/DeviceBufferSet.h"
#include "render/GpuObjects.h"

namespace {

DeviceBufferDefinition deviceBuffer(const std::string& name, const std::string& type,
                                    const std::string& count) {
    DeviceBufferDefinition d;
    d.name = name;
    d.type = type;
    d.count = count;
    return d;
}

AccumulationBufferDefinition accumulationBuffer(const std::string& name, const std::string& strobe = "",
                                                const std::string& process = "") {
    AccumulationBufferDefinition d;
    d.name = name;
    d.strobe_param = strobe;
    d.source_process = process;
    return d;
}

std::size_t liveBufferBytes() {
    return HostRuntime::instance().usage().bufferBytes;
}

// A frame of `width` x `height` filled with `value`, as the copies read it.
struct Frame {
    Frame(int w, int h, float value)
        : width(w), height(h), pixels(static_cast<std::size_t>(w) * h * 4, value) {}
    AccumulationBuffers::Frame view() const {
        AccumulationBuffers::Frame f;
        f.pixels = pixels.data();
        f.rowBytes = static_cast<std::size_t>(width) * 16;
        f.width = width;
        f.height = height;
        return f;
    }
    int width, height;
    std::vector<float> pixels;
};

// Every pixel of accumulation buffer `index`, row padding left out, equals `value`.
bool bufferHolds(const AccumulationBuffers& buffers, std::size_t index, float value) {
    const auto* base = static_cast<const unsigned char*>(buffers.buffers().at(index));
    for (int y = 0; y < buffers.height(); ++y) {
        const auto* row = reinterpret_cast<const float*>(base + y * buffers.pitch());
        for (int i = 0; i < buffers.width() * 4; ++i)
            if (row[i] != value) return false;
    }
    return true;
}

}  // namespace

TEST(DeviceBufferSet, CountsFollowTheImageAndTheParametersAndAFixedCountKeepsItsAllocation) {
    LogCapture log;
    DeviceBufferSet image(HostRuntime::instance(), {deviceBuffer("points", "float3", "image")});
    DeviceBuffers record;
    const std::size_t before = liveBufferBytes();
    image.prepare(1920, 1080, nullptr, record);
    EXPECT_EQ(liveBufferBytes() - before, 24883200u);
    ASSERT_EQ(record.bufferCount, 1);
    EXPECT_EQ(record.buffers[0].elementCount, 1920 * 1080);
    EXPECT_EQ(record.buffers[0].elementSize, 12);
    EXPECT_STREQ(reinterpret_cast<const char*>(static_cast<uintptr_t>(record.buffers[0].name)), "points");
    EXPECT_NE(record.buffers[0].devicePointer, 0u);
    image.prepare(960, 540, nullptr, record);
    EXPECT_EQ(liveBufferBytes() - before, 24883200u / 4);
    EXPECT_EQ(record.buffers[0].elementCount, 960 * 540);
    EXPECT_EQ(log.count("Device buffer 'points': 518400 elements x 12 bytes = 5.93 MB (float3)"), 1);
    image.release();

    DeviceBufferSet fixed(HostRuntime::instance(), {deviceBuffer("bins", "uint32", "1024")});
    fixed.prepare(64, 48, nullptr, record);
    const uint64_t pointer = record.buffers[0].devicePointer;
    fixed.prepare(32, 24, nullptr, record);
    EXPECT_EQ(record.buffers[0].devicePointer, pointer);
    EXPECT_EQ(log.count("Device buffer 'bins': 1024 elements x 4 bytes"), 1);

    int bins = 0;
    DeviceBufferSet byParameter(HostRuntime::instance(), {deviceBuffer("h", "uint64", "param:bins")});
    byParameter.prepare(
        8, 8, [&](const std::string& name) { return name == "bins" ? bins : -1; }, record);
    EXPECT_EQ(record.buffers[0].elementCount, 1);
    EXPECT_TRUE(log.contains("[ERROR] Device buffer 'h': param 'bins' resolved to 0 (must be > 0)"));
    bins = 32;
    byParameter.prepare(
        8, 8, [&](const std::string&) { return bins; }, record);
    EXPECT_EQ(record.buffers[0].elementCount, 32);
    EXPECT_EQ(record.buffers[0].elementSize, 8);
}

TEST(DeviceBufferSet, ACountThatIsNotAPositiveNumberFailsTheRenderWithItsName) {
    DeviceBuffers record;
    for (const char* count : {"many", "12x", "0", "-4", "99999999999"}) {
        DeviceBufferSet set(HostRuntime::instance(), {deviceBuffer("scratch", "float", count)});
        try {
            set.prepare(8, 8, nullptr, record);
            ADD_FAILURE() << count;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find("Device buffer 'scratch' has count"), std::string::npos)
                << e.what();
        }
        EXPECT_TRUE(set.buffers().empty()) << count;
    }
}

TEST(DeviceBufferSet, AFailedAllocationLeavesNoBuffersAndTheNextPrepareRetries) {
    LogCapture log;
    DeviceBufferSet set(HostRuntime::instance(),
                        {deviceBuffer("a", "float", "16"), deviceBuffer("b", "float4", "image")});
    DeviceBuffers record;
    HostRuntime::instance().failAllocationAfter(2);
    set.prepare(8, 8, nullptr, record);
    HostRuntime::instance().resetAllocationFailures();
    EXPECT_EQ(record.bufferCount, 0);
    EXPECT_TRUE(set.buffers().empty());
    EXPECT_TRUE(log.contains("Failed to allocate device buffer 'b' (1024 bytes): out of memory"));
    set.prepare(8, 8, nullptr, record);
    EXPECT_EQ(record.bufferCount, 2);
    EXPECT_EQ(log.count("Device buffers ready: 2 buffer(s)"), 1);
}

// Rows padded for the pitch2D textures, zero-filled; odd widths included.
TEST(AccumulationBuffers, BuffersHaveThePaddedPitchAndStartZeroed) {
    AccumulationBuffers buffers(HostRuntime::instance(), {accumulationBuffer("a"), accumulationBuffer("b")},
                                0.0);
    buffers.allocate(37, 5);
    ASSERT_TRUE(buffers.allocated());
    std::size_t pitch = 0;
    ASSERT_EQ(paddedRowPitch(HostRuntime::instance(), 37, &pitch), GpuErr::Success);
    EXPECT_EQ(buffers.pitch(), pitch);
    EXPECT_GT(pitch, 37u * 16);
    EXPECT_TRUE(bufferHolds(buffers, 0, 0.0f));
    TextureMap textures;
    buffers.addTextures(textures);
    EXPECT_EQ(textures.size(), 2u);
    EXPECT_NE(textures["accum_b"], 0u);
    EXPECT_EQ(buffers.release(), 2u);
}

// A reset that arrives while a render runs: that render's copies do not make the state valid
// again, and the next render starts over as a first frame.
TEST(AccumulationBuffers, AResetDuringARenderKeepsTheStateInvalid) {
    LogCapture log;
    AccumulationBuffers buffers(HostRuntime::instance(),
                                {accumulationBuffer("a", "", "p"), accumulationBuffer("b")}, 0.0);
    const Frame frame(6, 4, 0.5f);
    auto render = [&](double time, bool resetMidway) {
        buffers.beginRender();
        buffers.allocate(6, 4);
        buffers.evaluate(time, 1.0, 1.0, nullptr);
        if (resetMidway) buffers.flush();
        buffers.copyAfterProcess("p", 0, frame.view(), time, nullptr);
        buffers.copyAtEnd(frame.view(), time, 1.0, 1.0, nullptr);
    };
    render(1, false);
    EXPECT_TRUE(buffers.stateValid());
    EXPECT_EQ(buffers.stateLastTime(), 1.0);
    render(2, true);
    EXPECT_FALSE(buffers.stateValid());
    EXPECT_EQ(buffers.stateLastTime(), -1.0);
    EXPECT_EQ(log.count("reset during this render - the accumulated state stays invalid"), 2);
    render(3, false);
    EXPECT_TRUE(buffers.stateValid());
    EXPECT_EQ(log.count("ACCUM FORCE COPY ["), 2);
}

// Strobe 4 gates the end-of-render copy; a forced render (here a backward jump) refills the
// strobed buffer too, and none of its executions is told the state is valid.
TEST(AccumulationBuffers, AForcedRenderRefillsEveryBufferWhateverTheStrobe) {
    AccumulationBuffers buffers(HostRuntime::instance(), {accumulationBuffer("echo", "strobe")}, 0.0);
    buffers.allocate(4, 3);
    const auto strobe = [](const std::string& name) { return name == "strobe" ? 4 : 0; };
    auto render = [&](double time, float value) {
        buffers.beginRender();
        const AccumulationDecision decision = buffers.evaluate(time, 1.0, 1.0, strobe);
        buffers.copyAtEnd(Frame(4, 3, value).view(), time, 1.0, 1.0, nullptr);
        return decision;
    };
    EXPECT_TRUE(render(0, 0.0f).update);  // first frame
    EXPECT_TRUE(bufferHolds(buffers, 0, 0.0f));
    AccumulationDecision d = render(1, 1.0f);
    EXPECT_FALSE(d.update);
    EXPECT_TRUE(d.valid);
    render(2, 2.0f);
    EXPECT_TRUE(render(4, 4.0f).update);
    EXPECT_TRUE(bufferHolds(buffers, 0, 4.0f));
    render(5, 5.0f);
    EXPECT_TRUE(bufferHolds(buffers, 0, 4.0f));
    d = render(3, 3.0f);  // backwards from 5
    EXPECT_TRUE(d.update);
    EXPECT_FALSE(d.valid);
    EXPECT_TRUE(bufferHolds(buffers, 0, 3.0f));
    EXPECT_EQ(buffers.stateLastTime(), 3.0);
}
