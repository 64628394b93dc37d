// The effect's kernels at 1920 x 1080: each execution alone, and the twelve passes of one render
// in a row, with default parameters and with every feature on. The host backend unless
// VELMORA_BACKEND=cuda asks for the GPU; each figure is labelled with the backend that ran it.
// CPU time is the whole process's (every worker thread), which stays meaningful on a busy machine.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "gpu/GpuRuntime.h"
#include "kernels/KernelPasses.h"
#include "kernels/KernelRecords.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

struct Pixel {
    float r, g, b, a;
};

class Image {
  public:
    explicit Image(const std::vector<Pixel>& pixels) {
        GpuRuntime& rt = gpuRuntime();
        rt.mallocArray(&array_, gpuChannelDescFloat4(), kWidth, kHeight, GpuArraySurfaceLoadStore);
        GpuResourceDesc resource;
        resource.type = GpuResourceTypeArray;
        resource.array = array_;
        rt.createTextureObject(&texture_, resource, gpuStandardTextureDesc());
        rt.createSurfaceObject(&surface_, resource);
        const size_t row = kWidth * sizeof(Pixel);
        rt.memcpy2DToArray(array_, 0, 0, pixels.data(), row, row, kHeight, GpuMemcpyHostToDevice);
    }
    ~Image() {
        GpuRuntime& rt = gpuRuntime();
        rt.destroySurfaceObject(surface_);
        rt.destroyTextureObject(texture_);
        rt.freeArray(array_);
    }
    uint64_t texture() const { return texture_; }
    uint64_t surface() const { return surface_; }

  private:
    GpuArray array_ = nullptr;
    uint64_t texture_ = 0, surface_ = 0;
};

std::vector<Pixel> makePlate() {
    std::vector<Pixel> p(static_cast<size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            p[y * kWidth + x] = {0.5f + 0.4f * std::sin(x * 0.01f), 0.3f + 0.2f * std::cos(y * 0.013f),
                                 0.001f * ((x * 7 + y * 13) % 997), 1.0f};
    return p;
}

// An object of 400 x 300 pixels in the middle of the frame.
std::vector<Pixel> makeMaskShape() {
    std::vector<Pixel> p(static_cast<size_t>(kWidth) * kHeight, Pixel{0, 0, 0, 1});
    for (int y = 390; y < 690; ++y)
        for (int x = 760; x < 1160; ++x) p[y * kWidth + x] = {1, 1, 1, 1};
    return p;
}

// The records and images of one render, passes chained the way the dispatcher chains them.
struct Render {
    Image plate{makePlate()}, shape{makeMaskShape()};
    Image pingA{std::vector<Pixel>(static_cast<size_t>(kWidth) * kHeight)};
    Image pingB{std::vector<Pixel>(static_cast<size_t>(kWidth) * kHeight)};
    Image processOut[3] = {Image{std::vector<Pixel>(static_cast<size_t>(kWidth) * kHeight)},
                           Image{std::vector<Pixel>(static_cast<size_t>(kWidth) * kHeight)},
                           Image{std::vector<Pixel>(static_cast<size_t>(kWidth) * kHeight)}};
    SystemParameters system;
    PipelineParameters pipeline;
    SourceConnections sources;
    AnimatedParameters params;
    BundledResources resources;
    DeviceBuffers buffers;

    explicit Render(bool everyFeature) {
        std::memset(&system, 0, sizeof system);
        std::memset(&pipeline, 0, sizeof pipeline);
        std::memset(&sources, 0, sizeof sources);
        std::memset(&params, 0, sizeof params);
        std::memset(&resources, 0, sizeof resources);
        std::memset(&buffers, 0, sizeof buffers);
        system.width = kWidth;
        system.height = kHeight;
        system.frame = 24;
        const uint64_t slots[6] = {plate.texture(),         shape.texture(),         0,
                                   processOut[0].texture(), processOut[1].texture(), processOut[2].texture()};
        for (int i = 0; i < 6; ++i) {
            sources.sources[i].textureObject = slots[i];
            sources.sources[i].isConnected = 1;
        }
        sources.sourceCount = 6;
        // Shipped defaults.
        float* f = params.floats;
        f[0] = 50.0f, f[6] = 10.0f, f[10] = 5.0f, f[11] = 100.0f, f[12] = 0.5f, f[13] = 1.0f;
        params.floatCount = 15, params.intCount = 1, params.boolCount = 5, params.vec2Count = 2;
        if (everyFeature) {
            f[1] = 20.0f, f[2] = 30.0f, f[3] = 0.5f;  // directional fill
            f[4] = 5.0f, f[5] = 4.0f;                 // mask grow and blur
            f[7] = 8.0f, f[8] = 45.0f, f[9] = 0.2f;   // post blur with a line
            f[14] = 0.5f;                             // chromatic grain
            for (int b = 0; b < 5; ++b) params.bools[b] = 1;
            params.bools[0] = 0;  // no highlight
            params.vec2s[0] = {0.01f, 0.02f};
            params.vec2s[1] = {0.2f, -0.1f};
        }
    }

    // Runs one execution of `pass` from `input` into `output`.
    void run(KernelPassFunction pass, int pipelineIndex, int execution, uint64_t input, uint64_t output) {
        system.currentPipeline = pipelineIndex;
        system.currentExecution = execution;
        pass(nullptr, &system, &pipeline, &sources, &params, &resources, &buffers, "bench", input, output);
    }

    // The twelve passes: mask x4 | divide x3, post x2 | retexture x2, composite. Each process
    // starts without an input texture and ends in its own output image.
    void runAll() {
        struct Step {
            KernelPassFunction pass;
            int executions;
        };
        const std::vector<std::vector<Step>> processes = {
            {{call_mask_prep_kernel_Pass, 4}},
            {{call_blur_divide_kernel_Pass, 3}, {call_post_blur_kernel_Pass, 2}},
            {{call_retexture_blur_kernel_Pass, 2}, {call_composite_kernel_Pass, 1}}};
        for (int k = 0; k < 3; ++k) {
            int total = 0;
            for (const Step& s : processes[k]) total += s.executions;
            int pass = 0;
            uint64_t input = 0;
            for (const Step& s : processes[k]) {
                for (int e = 0; e < s.executions; ++e, ++pass) {
                    const bool last = pass == total - 1;
                    const Image& out = last ? processOut[k] : (pass % 2 == 0 ? pingA : pingB);
                    run(s.pass, k, e, input, out.surface());
                    input = out.texture();
                }
            }
        }
    }
};

Render& render(bool everyFeature) {
    static std::unique_ptr<Render> defaults, full;
    std::unique_ptr<Render>& r = everyFeature ? full : defaults;
    if (!r) {
        r = std::make_unique<Render>(everyFeature);
        // One render first, so each pass alone reads a real prepared mask and fill.
        r->runAll();
        gpuRuntime().deviceSynchronize();
    }
    return *r;
}

void BM_Pass(benchmark::State& state, KernelPassFunction pass, int process, int execution, bool everyFeature,
             bool rowPaths) {
    Render& r = render(everyFeature);
    const uint64_t input = execution == 0 && process != 1 ? 0 : r.pingB.texture();
    setCpuRowPathsEnabled(rowPaths);
    for (auto _ : state) {
        r.run(pass, process, execution, input, r.pingA.surface());
        gpuRuntime().deviceSynchronize();
    }
    setCpuRowPathsEnabled(true);
    state.SetLabel(gpuRuntime().name());
}

void BM_TwelvePasses(benchmark::State& state, bool everyFeature, bool rowPaths) {
    Render& r = render(everyFeature);
    setCpuRowPathsEnabled(rowPaths);
    for (auto _ : state) {
        r.runAll();
        gpuRuntime().deviceSynchronize();
    }
    setCpuRowPathsEnabled(true);
    state.SetLabel(gpuRuntime().name());
}

void registerAll() {
    setenv("VELMORA_BACKEND", "cpu", 0);  // an explicit choice stays
    struct Kernel {
        const char* name;
        KernelPassFunction pass;
        int process, executions;
    } kernels[] = {{"mask_prep", call_mask_prep_kernel_Pass, 0, 4},
                   {"blur_divide", call_blur_divide_kernel_Pass, 1, 3},
                   {"post_blur", call_post_blur_kernel_Pass, 1, 2},
                   {"retexture_blur", call_retexture_blur_kernel_Pass, 2, 2},
                   {"composite", call_composite_kernel_Pass, 2, 1}};
    for (bool every : {false, true}) {
        const std::string suffix = every ? "/every_feature" : "/defaults";
        for (bool rows : {true, false}) {
            // The per-pixel reference against the whole-row paths is a question for the CPU only.
            if (!rows && gpuRuntime().kind() == GpuBackendKind::Cuda) continue;
            for (const Kernel& k : kernels)
                for (int e = 0; e < k.executions; ++e)
                    benchmark::RegisterBenchmark((std::string(k.name) + "/exec" + std::to_string(e) + suffix +
                                                  (rows ? "" : "/per_pixel"))
                                                     .c_str(),
                                                 BM_Pass, k.pass, k.process, e, every, rows)
                        ->Unit(benchmark::kMillisecond)
                        ->MeasureProcessCPUTime()
                        ->UseRealTime();
        }
        for (bool rows : {true, false}) {
            if (!rows && gpuRuntime().kind() == GpuBackendKind::Cuda) continue;
            benchmark::RegisterBenchmark(("twelve_passes" + suffix + (rows ? "" : "/per_pixel")).c_str(),
                                         BM_TwelvePasses, every, rows)
                ->Unit(benchmark::kMillisecond)
                ->MeasureProcessCPUTime()
                ->UseRealTime();
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
