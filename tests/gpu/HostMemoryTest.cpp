#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gpu/HostRuntime.h"

namespace {

constexpr unsigned char kPad = 0xA5;

// Rows of `width` float4 pixels at `pitch` bytes, with recognisable pixels and padded gaps.
std::vector<unsigned char> pitchedImage(int width, int height, size_t pitch, float seed) {
    std::vector<unsigned char> bytes(pitch * height, kPad);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float px[4] = {seed + x, seed + y, seed * x * y, seed - x};
            std::memcpy(&bytes[y * pitch + x * 16], px, 16);
        }
    }
    return bytes;
}

// Pixels equal and the padding between rows untouched.
void expectSameRows(const unsigned char* got, size_t gotPitch, const unsigned char* want, size_t wantPitch,
                    size_t rowBytes, int height) {
    for (int y = 0; y < height; ++y) {
        ASSERT_EQ(std::memcmp(got + y * gotPitch, want + y * wantPitch, rowBytes), 0) << "row " << y;
        for (size_t b = rowBytes; b < gotPitch; ++b)
            ASSERT_EQ(got[y * gotPitch + b], kPad) << "padding, row " << y;
    }
}

class HostMemory : public ::testing::Test {
  protected:
    HostRuntime& rt = HostRuntime::instance();
    HostRuntime::Usage before = rt.usage();
    void TearDown() override {
        rt.resetAllocationFailures();
        rt.getLastError();
        const HostRuntime::Usage after = rt.usage();
        EXPECT_EQ(after.buffers, before.buffers) << "leaked buffers";
        EXPECT_EQ(after.arrays, before.arrays) << "leaked arrays";
        EXPECT_EQ(after.textures, before.textures);
        EXPECT_EQ(after.surfaces, before.surfaces);
        EXPECT_EQ(after.streams, before.streams);
        EXPECT_EQ(after.events, before.events);
        EXPECT_EQ(after.registeredRanges, before.registeredRanges);
    }
};

// Host -> device -> device -> array -> host, every hop with its own pitch wider than the row,
// synchronous and on a stream.
TEST_F(HostMemory, PitchedCopiesInEveryDirectionHonourPitches) {
    const int w = 5, h = 4;
    const size_t row = w * 16, hostPitch = row + 48, devPitchA = row + 176, devPitchB = row + 16;
    const std::vector<unsigned char> source = pitchedImage(w, h, hostPitch, 2.5f);

    GpuStream stream = nullptr;
    ASSERT_EQ(rt.streamCreateWithFlags(&stream, GpuStreamNonBlocking), 0);
    void* devA = nullptr;
    void* devB = nullptr;
    ASSERT_EQ(rt.malloc(&devA, devPitchA * h), 0);
    ASSERT_EQ(rt.malloc(&devB, devPitchB * h), 0);
    ASSERT_EQ(rt.memset(devA, kPad, devPitchA * h), 0);
    ASSERT_EQ(rt.memset(devB, kPad, devPitchB * h), 0);
    GpuArray array = nullptr;
    ASSERT_EQ(rt.mallocArray(&array, gpuChannelDescFloat4(), w + 2, h + 1, GpuArraySurfaceLoadStore), 0);

    ASSERT_EQ(rt.memcpy2D(devA, devPitchA, source.data(), hostPitch, row, h, GpuMemcpyHostToDevice), 0);
    ASSERT_EQ(rt.memcpy2DAsync(devB, devPitchB, devA, devPitchA, row, h, GpuMemcpyDeviceToDevice, stream), 0);
    // Into the array at pixel (2, 1): offsets are bytes in x and rows in y.
    ASSERT_EQ(rt.memcpy2DToArrayAsync(array, 32, 1, devB, devPitchB, row, h, GpuMemcpyDeviceToDevice, stream),
              0);
    std::vector<unsigned char> back(hostPitch * h, kPad);
    ASSERT_EQ(rt.memcpy2DFromArrayAsync(back.data(), hostPitch, array, 32, 1, row, h, GpuMemcpyDeviceToHost,
                                        stream),
              0);
    ASSERT_EQ(rt.streamSynchronize(stream), 0);
    expectSameRows(back.data(), hostPitch, source.data(), hostPitch, row, h);

    std::vector<unsigned char> viaDevice(hostPitch * h, kPad);
    ASSERT_EQ(rt.memcpy2D(viaDevice.data(), hostPitch, devB, devPitchB, row, h, GpuMemcpyDeviceToHost), 0);
    expectSameRows(viaDevice.data(), hostPitch, source.data(), hostPitch, row, h);
    std::vector<unsigned char> devBytes(devPitchB * h);
    ASSERT_EQ(rt.memcpy(devBytes.data(), devB, devBytes.size(), GpuMemcpyDeviceToHost), 0);
    expectSameRows(devBytes.data(), devPitchB, source.data(), hostPitch, row, h);

    // Host -> array directly (the texture upload path), then array -> device linear memory.
    ASSERT_EQ(rt.memcpy2DToArray(array, 0, 0, source.data(), hostPitch, row, h, GpuMemcpyHostToDevice), 0);
    ASSERT_EQ(rt.memset(devA, kPad, devPitchA * h), 0);
    ASSERT_EQ(rt.memcpy2DFromArray(devA, devPitchA, array, 0, 0, row, h, GpuMemcpyDeviceToDevice), 0);
    std::vector<unsigned char> aBytes(devPitchA * h);
    ASSERT_EQ(rt.memcpyAsync(aBytes.data(), devA, aBytes.size(), GpuMemcpyDeviceToHost, stream), 0);
    ASSERT_EQ(rt.streamSynchronize(stream), 0);
    expectSameRows(aBytes.data(), devPitchA, source.data(), hostPitch, row, h);

    EXPECT_EQ(rt.freeArray(array), 0);
    EXPECT_EQ(rt.free(devA), 0);
    EXPECT_EQ(rt.free(devB), 0);
    EXPECT_EQ(rt.streamDestroy(stream), 0);
}

// Bad copies fail with CUDA's codes and write nothing.
TEST_F(HostMemory, RefusedCopiesChangeNothing) {
    const int w = 4, h = 3;
    GpuArray array = nullptr;
    ASSERT_EQ(rt.mallocArray(&array, gpuChannelDescFloat4(), w, h, GpuArrayDefault), 0);
    void* dev = nullptr;
    ASSERT_EQ(rt.malloc(&dev, w * 16 * h), 0);
    ASSERT_EQ(rt.memset(dev, 0, w * 16 * h), 0);
    std::vector<unsigned char> host(w * 16 * h, 0x11);
    std::vector<unsigned char> hostCopy = host;
    std::vector<unsigned char> larger(host.size() + 16, 0x11);

    struct Case {
        const char* what;
        GpuError expected;
        GpuError got;
    };
    const Case cases[] = {
        {"row past the array", GpuErr::InvalidValue,
         rt.memcpy2DToArray(array, 16, 0, host.data(), w * 16, w * 16, h, GpuMemcpyHostToDevice)},
        {"rows past the array", GpuErr::InvalidValue,
         rt.memcpy2DToArray(array, 0, 1, host.data(), w * 16, w * 16, h, GpuMemcpyHostToDevice)},
        {"source pitch below the row", GpuErr::InvalidPitchValue,
         rt.memcpy2DToArray(array, 0, 0, host.data(), 16, w * 16, h, GpuMemcpyHostToDevice)},
        {"device-to-host into an array", GpuErr::InvalidMemcpyDirection,
         rt.memcpy2DToArray(array, 0, 0, host.data(), w * 16, w * 16, h, GpuMemcpyDeviceToHost)},
        {"host-to-device out of an array", GpuErr::InvalidMemcpyDirection,
         rt.memcpy2DFromArray(host.data(), w * 16, array, 0, 0, w * 16, h, GpuMemcpyHostToDevice)},
        {"device-to-device from host memory", GpuErr::InvalidValue,
         rt.memcpy2DToArray(array, 0, 0, host.data(), w * 16, w * 16, h, GpuMemcpyDeviceToDevice)},
        {"past the end of a device buffer", GpuErr::InvalidValue,
         rt.memcpy(dev, larger.data(), larger.size(), GpuMemcpyHostToDevice)},
        {"unknown copy kind", GpuErr::InvalidMemcpyDirection,
         rt.memcpy(dev, host.data(), 16, static_cast<GpuMemcpyKind>(9))},
        {"unknown stream", GpuErr::InvalidResourceHandle,
         rt.memcpyAsync(dev, host.data(), 16, GpuMemcpyHostToDevice, reinterpret_cast<GpuStream>(&host))},
        {"memset past the buffer", GpuErr::InvalidValue, rt.memset(dev, 1, host.size() + 1)},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.expected) << c.what;

    std::vector<unsigned char> arrayBytes(w * 16 * h, 0x22);
    ASSERT_EQ(rt.memcpy2DFromArray(arrayBytes.data(), w * 16, array, 0, 0, w * 16, h, GpuMemcpyDeviceToHost),
              0);
    EXPECT_EQ(arrayBytes, std::vector<unsigned char>(w * 16 * h, 0)) << "array written by a refused copy";
    std::vector<unsigned char> devBytes(w * 16 * h, 0x22);
    ASSERT_EQ(rt.memcpy(devBytes.data(), dev, devBytes.size(), GpuMemcpyDeviceToHost), 0);
    EXPECT_EQ(devBytes, std::vector<unsigned char>(w * 16 * h, 0)) << "buffer written by a refused copy";
    EXPECT_EQ(host, hostCopy);
    rt.freeArray(array);
    rt.free(dev);
}

TEST_F(HostMemory, PointerAttributesKnowWhatWasHandedOut) {
    void* dev = nullptr;
    ASSERT_EQ(rt.malloc(&dev, 1024), 0);
    std::vector<unsigned char> pageable(64);
    std::vector<unsigned char> pinned(4096);
    ASSERT_EQ(rt.hostRegister(pinned.data(), pinned.size(), GpuHostRegisterDefault), 0);

    struct Case {
        const char* what;
        const void* ptr;
        GpuMemoryType type;
    };
    const Case cases[] = {
        {"device base", dev, GpuMemoryTypeDevice},
        {"inside a device buffer", static_cast<char*>(dev) + 1000, GpuMemoryTypeDevice},
        {"one past a device buffer", static_cast<char*>(dev) + 1024, GpuMemoryTypeUnregistered},
        {"pageable host memory", pageable.data(), GpuMemoryTypeUnregistered},
        {"page-locked host memory", pinned.data() + 100, GpuMemoryTypeHost},
    };
    for (const Case& c : cases) {
        GpuPointerAttributes a;
        ASSERT_EQ(rt.pointerGetAttributes(&a, c.ptr), 0) << c.what;
        EXPECT_EQ(a.type, c.type) << c.what;
    }
    EXPECT_EQ(rt.hostRegister(pinned.data() + 8, 16, 0), GpuErr::HostMemoryAlreadyRegistered);
    EXPECT_EQ(rt.hostUnregister(pinned.data()), 0);
    EXPECT_EQ(rt.hostUnregister(pinned.data()), GpuErr::HostMemoryNotRegistered);
    EXPECT_EQ(std::string(rt.getErrorString(GpuErr::HostMemoryNotRegistered)),
              "pointer does not correspond to a registered memory region");

    ASSERT_EQ(rt.free(dev), 0);
    GpuPointerAttributes a;
    ASSERT_EQ(rt.pointerGetAttributes(&a, dev), 0);
    EXPECT_EQ(a.type, GpuMemoryTypeUnregistered) << "freed memory is no longer device memory";
    EXPECT_EQ(rt.free(dev), GpuErr::InvalidValue) << "double free";
}

TEST_F(HostMemory, LastErrorIsReturnedOnceAndPeekKeepsIt) {
    rt.getLastError();
    EXPECT_EQ(rt.free(reinterpret_cast<void*>(0x1234)), GpuErr::InvalidValue);
    void* ok = nullptr;
    ASSERT_EQ(rt.malloc(&ok, 16), 0);  // success leaves the pending error alone
    EXPECT_EQ(rt.peekAtLastError(), GpuErr::InvalidValue);
    EXPECT_EQ(rt.getLastError(), GpuErr::InvalidValue);
    EXPECT_EQ(rt.getLastError(), GpuErr::Success);
    EXPECT_EQ(std::string(rt.getErrorString(GpuErr::InvalidValue)), "invalid argument");
    rt.free(ok);
}

TEST_F(HostMemory, AllocationFailuresOnDemandReportOutOfMemory) {
    rt.failAllocationAfter(2);
    void* first = nullptr;
    void* second = reinterpret_cast<void*>(1);
    EXPECT_EQ(rt.malloc(&first, 64), 0);
    EXPECT_EQ(rt.malloc(&second, 64), GpuErr::MemoryAllocation);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(std::string(rt.getErrorString(rt.getLastError())), "out of memory");
    void* third = nullptr;
    EXPECT_EQ(rt.malloc(&third, 64), 0) << "only the n-th allocation fails";

    rt.setAllocationBudget(rt.usage().bufferBytes + rt.usage().arrayBytes + 1000);
    GpuArray array = nullptr;
    EXPECT_EQ(rt.mallocArray(&array, gpuChannelDescFloat4(), 8, 8, GpuArrayDefault),
              GpuErr::MemoryAllocation);
    EXPECT_EQ(array, nullptr);
    EXPECT_EQ(rt.mallocArray(&array, gpuChannelDescFloat4(), 4, 4, GpuArrayDefault), 0);
    void* over = nullptr;
    EXPECT_EQ(rt.malloc(&over, 1000), GpuErr::MemoryAllocation);
    rt.resetAllocationFailures();
    EXPECT_EQ(rt.malloc(&over, 1000), 0);
    rt.free(first);
    rt.free(third);
    rt.free(over);
    rt.freeArray(array);
}

TEST_F(HostMemory, ArraysReportTheirShapeAndSurfacesNeedTheFlag) {
    GpuArray plain = nullptr, surfaceable = nullptr;
    ASSERT_EQ(rt.mallocArray(&plain, gpuChannelDescFloat4(), 7, 3, GpuArrayDefault), 0);
    ASSERT_EQ(rt.mallocArray(&surfaceable, gpuChannelDescFloat4(), 7, 3, GpuArraySurfaceLoadStore), 0);
    GpuChannelDesc d;
    GpuExtent e;
    unsigned flags = 99;
    ASSERT_EQ(rt.arrayGetInfo(&d, &e, &flags, surfaceable), 0);
    EXPECT_EQ(d.x, 32);
    EXPECT_EQ(d.w, 32);
    EXPECT_EQ(d.f, GpuChannelFormatKindFloat);
    EXPECT_EQ(e.width, 7u);
    EXPECT_EQ(e.height, 3u);
    EXPECT_EQ(flags, GpuArraySurfaceLoadStore);

    GpuResourceDesc res;
    res.array = plain;
    GpuSurfaceObject s = 0;
    EXPECT_EQ(rt.createSurfaceObject(&s, res), GpuErr::InvalidValue);
    res.array = surfaceable;
    ASSERT_EQ(rt.createSurfaceObject(&s, res), 0);
    EXPECT_NE(s, 0u);
    EXPECT_EQ(rt.destroySurfaceObject(s), 0);
    EXPECT_EQ(rt.destroySurfaceObject(s), GpuErr::InvalidValue);

    GpuChannelDesc bogus;
    bogus.x = 12;
    bogus.f = GpuChannelFormatKindFloat;
    GpuArray none = nullptr;
    EXPECT_EQ(rt.mallocArray(&none, bogus, 4, 4, 0), GpuErr::InvalidChannelDescriptor);
    EXPECT_EQ(rt.mallocArray(&none, gpuChannelDescFloat4(), 0, 4, 0), GpuErr::InvalidValue);
    rt.freeArray(plain);
    rt.freeArray(surfaceable);
}

TEST_F(HostMemory, EventsTimeAStreamAndStreamsValidateHandles) {
    GpuStream stream = nullptr;
    ASSERT_EQ(rt.streamCreateWithFlags(&stream, GpuStreamNonBlocking), 0);
    GpuEvent start = nullptr, stop = nullptr;
    ASSERT_EQ(rt.eventCreate(&start), 0);
    ASSERT_EQ(rt.eventCreate(&stop), 0);
    float ms = -1.0f;
    EXPECT_EQ(rt.eventElapsedTime(&ms, start, stop), GpuErr::InvalidResourceHandle) << "not recorded yet";
    ASSERT_EQ(rt.eventRecord(start, stream), 0);
    std::vector<unsigned char> big(1 << 20, 3);
    void* dev = nullptr;
    ASSERT_EQ(rt.malloc(&dev, big.size()), 0);
    ASSERT_EQ(rt.memcpyAsync(dev, big.data(), big.size(), GpuMemcpyHostToDevice, stream), 0);
    ASSERT_EQ(rt.eventRecord(stop, stream), 0);
    ASSERT_EQ(rt.eventSynchronize(stop), 0);
    ASSERT_EQ(rt.eventElapsedTime(&ms, start, stop), 0);
    EXPECT_GE(ms, 0.0f);
    EXPECT_EQ(rt.eventDestroy(start), 0);
    EXPECT_EQ(rt.eventDestroy(stop), 0);
    EXPECT_EQ(rt.eventDestroy(stop), GpuErr::InvalidResourceHandle);

    EXPECT_EQ(rt.streamSynchronize(stream), 0);
    EXPECT_EQ(rt.streamDestroy(stream), 0);
    EXPECT_EQ(rt.streamSynchronize(stream), GpuErr::InvalidResourceHandle);
    EXPECT_EQ(rt.streamCreateWithFlags(&stream, 0x80), GpuErr::InvalidValue);
    rt.free(dev);
}

}  // namespace
