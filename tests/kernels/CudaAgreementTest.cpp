#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

#include "KernelTestSupport.h"
#include "kernels/FinalProcessingLaunch.h"
#include "kernels/KernelLaunch.h"
#include "kernels/PassRegion.h"

// The twelve passes of one render on the cuda backend against the same passes of the kernels
// built for the CPU, every feature on. Needs a CUDA device; skips without one.

namespace {

using Launcher = std::function<int(int module, const KernelLaunchArgs&)>;

struct Chain {
    int width, height;
    GpuRuntime& runtime;
    GpuImage plate, shape, pingA, pingB;
    GpuImage outputs[3];
    SystemParameters system{};
    PipelineParameters pipeline{};
    SourceConnections sources{};
    AnimatedParameters params{};
    BundledResources resources{};
    DeviceBuffers buffers{};

    Chain(int w, int h, GpuRuntime& rt)
        : width(w),
          height(h),
          runtime(rt),
          plate(
              w, h,
              [](int x, int y) {
                  return Rgba{0.5f + 0.4f * std::sin(0.21f * x), 0.02f * (y % 40), 0.3f, 1};
              },
              rt),
          shape(
              w, h,
              [w, h](int x, int y) {
                  const bool in = std::abs(x - w / 2) < w / 6 && std::abs(y - h / 2) < h / 5;
                  return in ? Rgba{1, 1, 1, 1} : Rgba{0, 0, 0, 1};
              },
              rt),
          pingA(w, h, rt),
          pingB(w, h, rt),
          outputs{GpuImage(w, h, rt), GpuImage(w, h, rt), GpuImage(w, h, rt)} {
        std::memset(&system, 0, sizeof system);
        std::memset(&sources, 0, sizeof sources);
        std::memset(&params, 0, sizeof params);
        system.width = w, system.height = h, system.frame = 37;
        const uint64_t slots[6] = {plate.texture(),      shape.texture(),      0,
                                   outputs[0].texture(), outputs[1].texture(), outputs[2].texture()};
        for (int i = 0; i < 6; ++i)
            sources.sources[i].textureObject = slots[i], sources.sources[i].isConnected = 1;
        sources.sourceCount = 6;
        const float f[15] = {12.0f, 6.0f, 30.0f, 0.5f,   2.5f, 3.0f, 4.0f, 5.0f,
                             45.0f, 0.2f, 5.0f,  100.0f, 1.0f, 1.5f, 0.5f};
        std::memcpy(params.floats, f, sizeof f);
        for (int b = 1; b < 5; ++b) params.bools[b] = 1;
        params.vec2s[0] = {0.013f, -0.02f};
        params.vec2s[1] = {0.2f, 0.05f};
    }

    void run(const Launcher& launch) {
        const int modules[3][2][2] = {{{0, 4}, {-1, 0}}, {{1, 3}, {2, 2}}, {{3, 2}, {4, 1}}};
        for (int k = 0; k < 3; ++k) {
            const int total = modules[k][0][1] + modules[k][1][1];
            int pass = 0;
            uint64_t input = 0;
            for (int s = 0; s < 2; ++s) {
                for (int e = 0; e < modules[k][s][1]; ++e, ++pass) {
                    const GpuImage& out = pass == total - 1 ? outputs[k] : (pass % 2 == 0 ? pingA : pingB);
                    system.currentPipeline = k, system.currentExecution = e;
                    const KernelLaunchArgs args{nullptr,    &system,  &pipeline, &sources,     &params,
                                                &resources, &buffers, input,     out.surface()};
                    ASSERT_EQ(launch(modules[k][s][0], args), 0);
                    ASSERT_EQ(runtime.streamSynchronize(nullptr), 0);
                    input = out.texture();
                }
            }
        }
    }
};

}  // namespace

TEST(CudaAgreement, TwelvePassesMatchTheCpuBuild) {
    if (gpuRuntime().kind() != GpuBackendKind::Cuda) GTEST_SKIP() << "no CUDA device";
    for (auto size : {std::pair<int, int>{64, 48}, std::pair<int, int>{333, 187}}) {
        Chain gpu(size.first, size.second, gpuRuntime()), cpu(size.first, size.second, hostGpuRuntime());
        gpu.run([](int module, const KernelLaunchArgs& a) {
            static const KernelPassFunction passes[5] = {
                call_mask_prep_kernel_Pass, call_blur_divide_kernel_Pass, call_post_blur_kernel_Pass,
                call_retexture_blur_kernel_Pass, call_composite_kernel_Pass};
            return passes[module]((GpuStream)a.stream, a.system, a.pipeline, a.sources, a.parameters,
                                  a.resources, a.buffers, "gpu", a.workingImageTex, a.outputSurface);
        });
        cpu.run([](int module, const KernelLaunchArgs& a) {
            static int (*const launchers[5])(const KernelLaunchArgs&) = {
                host_impl::launchMaskPrep, host_impl::launchBlurDivide, host_impl::launchPostBlur,
                host_impl::launchRetextureBlur, host_impl::launchComposite};
            return launchers[module](a);
        });
        for (int k = 0; k < 3; ++k) {
            const std::vector<Rgba> a = gpu.outputs[k].download(), b = cpu.outputs[k].download();
            float worst = 0;
            for (size_t i = 0; i < a.size(); ++i) {
                worst = std::max({worst, std::fabs(a[i].r - b[i].r), std::fabs(a[i].g - b[i].g),
                                  std::fabs(a[i].b - b[i].b), std::fabs(a[i].a - b[i].a)});
            }
            std::printf("process %d at %dx%d: largest cuda/host difference %.3g\n", k, size.first,
                        size.second, worst);
            EXPECT_LT(worst, 2e-3f) << "process " << k;
        }
    }
}

// The audio monitor and the analysis banner drawn by final processing, over a dimmed frame and
// blended with a source: the same pixels from both builds.
TEST(CudaAgreement, AudioMonitorMatchesTheCpuBuild) {
    if (gpuRuntime().kind() != GpuBackendKind::Cuda) GTEST_SKIP() << "no CUDA device";
    AudioMonitorRecord m;
    std::memset(&m, 0, sizeof m);
    m.monitorEnabled = 1, m.dimmedBackdrop = 1, m.analysisRunning = 1, m.progressDone = 7,
    m.progressTotal = 12;
    m.stemCount = 4, m.selectedStem = 2;
    const char* labels[4] = {"MIX", "DRUMS", "BASS", "O_VOC"};
    for (int s = 0; s < 4; ++s) {
        m.stemKinds[s] = s == 0 ? 0 : 13 + s;
        m.stemLevels[s] = 0.2f * (s + 1);
        std::memcpy(m.stemLabels[s], labels[s], std::strlen(labels[s]));
    }
    std::memcpy(m.selectedStemName, "BASS", 4);
    for (int c = 0; c < 24; ++c) m.channelValues[c] = 0.04f * c;
    m.selectedChannel = 13;
    m.routeSlots = 11, m.routeCount = 10, m.selectedRoute = 9;
    for (int k = 0; k < 16; ++k) {
        m.routeChannels[k] = k < 10 ? 2 * k + 1 : -1;
        m.routeStems[k] = k % 5 - 1;
        m.routeLevels[k] = 0.1f * k;
        m.routeMuted[k] = k % 3 == 0;
    }
    for (auto size : {std::pair<int, int>{333, 187}, std::pair<int, int>{640, 360}}) {
        const int w = size.first, h = size.second;
        auto frame = [](int x, int y) { return Rgba{0.01f * (x % 97), 0.5f, 0.003f * (y % 200), 0.75f}; };
        auto plate = [](int x, int y) { return Rgba{0.2f, 0.002f * x, 0.001f * y, 1.0f}; };
        GpuImage gpuResult(w, h, frame, gpuRuntime()), gpuSource(w, h, plate, gpuRuntime());
        GpuImage cpuResult(w, h, frame, hostGpuRuntime()), cpuSource(w, h, plate, hostGpuRuntime());
        SystemParameters system;
        std::memset(&system, 0, sizeof system);
        system.width = w, system.height = h, system.globalBlend = 0.6f, system.premultiplyOutput = 1;
        const FinalProcessingLaunchArgs onGpu{nullptr, gpuResult.surface(), gpuSource.surface(), &system, &m};
        const FinalProcessingLaunchArgs onCpu{nullptr, cpuResult.surface(), cpuSource.surface(), &system, &m};
        ASSERT_EQ(cuda_impl::launchFinalProcessing(onGpu), 0);
        ASSERT_EQ(gpuRuntime().streamSynchronize(nullptr), 0);
        ASSERT_EQ(host_impl::launchFinalProcessing(onCpu), 0);
        ASSERT_EQ(hostGpuRuntime().streamSynchronize(nullptr), 0);
        const std::vector<Rgba> a = gpuResult.download(), b = cpuResult.download();
        float worst = 0;
        for (size_t i = 0; i < a.size(); ++i) {
            worst = std::max({worst, std::fabs(a[i].r - b[i].r), std::fabs(a[i].g - b[i].g),
                              std::fabs(a[i].b - b[i].b), std::fabs(a[i].a - b[i].a)});
        }
        std::printf("audio monitor at %dx%d: largest cuda/host difference %.3g\n", w, h, worst);
        EXPECT_LT(worst, 1e-5f);
    }
}

// A pass launched over a list of tiles writes those tiles as the whole-frame launch does and
// leaves the others; the mask scan finds the tiles of the shape's object.
TEST(CudaAgreement, TileLaunchesAndTheMaskScanMatchTheWholeFrame) {
    if (gpuRuntime().kind() != GpuBackendKind::Cuda) GTEST_SKIP() << "no CUDA device";
    GpuRuntime& rt = gpuRuntime();
    const int w = 150, h = 70;
    Chain chain(w, h, rt);
    std::vector<uint32_t> tiles;
    for (int ty = 0; ty < (h + 15) / 16; ++ty)
        for (int tx = 0; tx < (w + 15) / 16; ++tx)
            if ((tx * 7 + ty * 3) % 4 != 0) tiles.push_back(packRegionTile(tx, ty));
    void* deviceTiles = nullptr;
    ASSERT_EQ(rt.malloc(&deviceTiles, tiles.size() * 4), 0);
    ASSERT_EQ(rt.memcpy(deviceTiles, tiles.data(), tiles.size() * 4, GpuMemcpyHostToDevice), 0);
    const PassRegion region{tiles.data(), static_cast<int32_t>(tiles.size()),
                            static_cast<const uint32_t*>(deviceTiles)};
    const char* files[5] = {"mask_prep", "blur_divide", "post_blur", "retexture_blur", "composite"};
    const int executions[5] = {4, 3, 2, 2, 1};
    for (int m = 0; m < 5; ++m) {
        for (int e = 0; e < executions[m]; ++e) {
            chain.system.currentExecution = e;
            GpuImage whole(w, h, rt),
                part(w, h, std::vector<Rgba>(static_cast<size_t>(w) * h, Rgba{-5, -5, -5, -5}), rt);
            const KernelPassFunction full = findKernelPassFunction(files[m]);
            const KernelRegionPassFunction tiled = findKernelRegionPassFunction(files[m]);
            ASSERT_EQ(
                full(nullptr, &chain.system, &chain.pipeline, &chain.sources, &chain.params, &chain.resources,
                     &chain.buffers, files[m], chain.plate.texture(), whole.surface()),
                0);
            ASSERT_EQ(tiled(nullptr, &chain.system, &chain.pipeline, &chain.sources, &chain.params,
                            &chain.resources, &chain.buffers, files[m], chain.plate.texture(), part.surface(),
                            &region),
                      0);
            ASSERT_EQ(rt.streamSynchronize(nullptr), 0);
            const std::vector<Rgba> a = whole.download(), b = part.download();
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const bool inside =
                        std::find(tiles.begin(), tiles.end(), packRegionTile(x / 16, y / 16)) != tiles.end();
                    const Rgba& expected = inside ? a[y * w + x] : Rgba{-5, -5, -5, -5};
                    ASSERT_EQ(std::memcmp(&b[y * w + x], &expected, 16), 0)
                        << files[m] << " " << e << " at " << x << "," << y;
                }
        }
    }
    rt.free(deviceTiles);

    std::vector<unsigned char> gpuFlags;
    chain.system.currentExecution = 0;
    const KernelLaunchArgs gpuArgs{nullptr,
                                   &chain.system,
                                   &chain.pipeline,
                                   &chain.sources,
                                   &chain.params,
                                   &chain.resources,
                                   &chain.buffers,
                                   0,
                                   0};
    ASSERT_TRUE(scanKernelPassSupport("mask_prep", gpuArgs, gpuFlags));
    std::vector<unsigned char> expected((w + 15) / 16 * ((h + 15) / 16), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (std::abs(x - w / 2) < w / 6 && std::abs(y - h / 2) < h / 5)
                expected[(y / 16) * ((w + 15) / 16) + x / 16] = 1;
    EXPECT_EQ(gpuFlags, expected);
}
