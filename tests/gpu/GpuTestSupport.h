#pragma once

// Helpers shared by the GPU tests: a float4 test image, device buffers and sampling through a
// kernel, written against GpuRuntime so that both backends run the same checks.

#include <gtest/gtest.h>

#include <vector>

#include "TextureReference.h"
#include "gpu/GpuRuntime.h"

// A width x height float4 image whose texels all differ: (i, j, i*j, 1 + i + 10 j) scaled.
inline std::vector<float> testTexels(int width, int height) {
    std::vector<float> t(static_cast<size_t>(width) * height * 4);
    for (int j = 0; j < height; ++j) {
        for (int i = 0; i < width; ++i) {
            float* p = &t[(static_cast<size_t>(j) * width + i) * 4];
            p[0] = 0.1f * i + 0.37f * j;
            p[1] = static_cast<float>((i * 7 + j * 3) % 5);
            p[2] = -0.5f * i * j;
            p[3] = 1.0f + i + 10.0f * j;
        }
    }
    return t;
}

// A pitch2D float4 resource over `devPtr`.
inline GpuResourceDesc pitch2DResource(void* devPtr, std::size_t width, std::size_t height,
                                       std::size_t pitch) {
    GpuResourceDesc res;
    res.type = GpuResourceTypePitch2D;
    res.pitch2D.devPtr = devPtr;
    res.pitch2D.desc = gpuChannelDescFloat4();
    res.pitch2D.width = width;
    res.pitch2D.height = height;
    res.pitch2D.pitchInBytes = pitch;
    return res;
}

// An array texture of `texels` on `rt` with the given sampling settings.
struct ArrayTexture {
    GpuRuntime& rt;
    GpuArray array = nullptr;
    GpuTextureObject texture = 0;

    ArrayTexture(GpuRuntime& runtime, const RefTexture& ref) : rt(runtime) {
        EXPECT_EQ(rt.mallocArray(&array, gpuChannelDescFloat4(), ref.width, ref.height, GpuArrayDefault), 0);
        EXPECT_EQ(rt.memcpy2DToArray(array, 0, 0, ref.texels.data(), ref.width * 16u, ref.width * 16u,
                                     ref.height, GpuMemcpyHostToDevice),
                  0);
        GpuResourceDesc res;
        res.type = GpuResourceTypeArray;
        res.array = array;
        GpuTextureDesc desc = gpuStandardTextureDesc();
        desc.addressMode[0] = static_cast<GpuAddressMode>(ref.address[0]);
        desc.addressMode[1] = static_cast<GpuAddressMode>(ref.address[1]);
        desc.filterMode = ref.linear ? GpuFilterModeLinear : GpuFilterModePoint;
        desc.normalizedCoords = ref.normalized ? 1 : 0;
        EXPECT_EQ(rt.createTextureObject(&texture, res, desc), 0);
    }
    ~ArrayTexture() {
        rt.destroyTextureObject(texture);
        rt.freeArray(array);
    }
};

using SampleLauncher = int (*)(void*, unsigned long long, const float*, float*, int);

// Samples `texture` at each (u, v) through a kernel; returns float4 results.
inline std::vector<float> sampleThroughKernel(GpuRuntime& rt, SampleLauncher launch, GpuTextureObject texture,
                                              const std::vector<float>& coords) {
    const int count = static_cast<int>(coords.size() / 2);
    void* dCoords = nullptr;
    void* dOut = nullptr;
    EXPECT_EQ(rt.malloc(&dCoords, coords.size() * sizeof(float)), 0);
    EXPECT_EQ(rt.malloc(&dOut, count * 16u), 0);
    EXPECT_EQ(rt.memcpy(dCoords, coords.data(), coords.size() * sizeof(float), GpuMemcpyHostToDevice), 0);
    EXPECT_EQ(launch(nullptr, texture, static_cast<const float*>(dCoords), static_cast<float*>(dOut), count),
              0);
    EXPECT_EQ(rt.deviceSynchronize(), 0);
    std::vector<float> out(count * 4u);
    EXPECT_EQ(rt.memcpy(out.data(), dOut, out.size() * sizeof(float), GpuMemcpyDeviceToHost), 0);
    rt.free(dCoords);
    rt.free(dOut);
    return out;
}

// Coordinates that probe texel centres, fractions, both edges and beyond them.
inline std::vector<float> probeCoordinates(bool normalized, int width, int height) {
    const float us[] = {-0.7f, -0.01f, 0.0f, 0.03f, 0.1f, 0.1234f, 0.5f,
                        0.61f, 0.999f, 1.0f, 1.02f, 1.6f, 2.3f};
    const float vs[] = {-0.2f, 0.0f, 0.17f, 0.5f, 0.77f, 1.0f, 1.4f};
    std::vector<float> c;
    for (float v : vs) {
        for (float u : us) {
            c.push_back(normalized ? u : u * width);
            c.push_back(normalized ? v : v * height);
        }
    }
    return c;
}
