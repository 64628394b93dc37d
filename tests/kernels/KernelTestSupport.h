#pragma once

// Small images on the host backend and a rig that runs one kernel pass through its exported
// launch function, plus the reference arithmetic the tests compare against (written here from
// the kernels' definitions, independently of the kernel sources).

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "gpu/GpuRuntime.h"
#include "kernels/KernelLaunch.h"
#include "kernels/KernelPasses.h"
#include "kernels/KernelRecords.h"
#include "kernels/cpu/RowRegion.h"

struct Rgba {
    float r = 0, g = 0, b = 0, a = 0;
};

// A float RGBA image held by a backend (the host one unless named) as an array with a texture and a surface.
class GpuImage {
  public:
    GpuImage(int width, int height, GpuRuntime& runtime = hostGpuRuntime());
    GpuImage(int width, int height, const std::vector<Rgba>& pixels, GpuRuntime& runtime = hostGpuRuntime());
    GpuImage(int width, int height, const std::function<Rgba(int x, int y)>& pixel,
             GpuRuntime& runtime = hostGpuRuntime());
    ~GpuImage();
    GpuImage(const GpuImage&) = delete;
    GpuImage& operator=(const GpuImage&) = delete;

    uint64_t texture() const { return texture_; }
    uint64_t surface() const { return surface_; }
    int width() const { return width_; }
    int height() const { return height_; }

    void upload(const std::vector<Rgba>& pixels);
    std::vector<Rgba> download() const;

  private:
    GpuRuntime& runtime_;
    int width_, height_;
    GpuArray array_ = nullptr;
    uint64_t texture_ = 0;
    uint64_t surface_ = 0;
};

// A CPU copy of an image with the texture unit's sampling rules, for expected values.
struct HostImage {
    int width = 0, height = 0;
    std::vector<Rgba> pixels;

    HostImage() = default;
    HostImage(int w, int h, const std::function<Rgba(int x, int y)>& pixel);
    HostImage(int w, int h, std::vector<Rgba> p) : width(w), height(h), pixels(std::move(p)) {}

    const Rgba& at(int x, int y) const;  // clamped to the image
    // Bilinear read at normalized coordinates with clamp addressing and 8-bit weights.
    Rgba sample(double u, double v) const;
};

// The records of one pass, filled the way the render engine fills them.
class KernelRig {
  public:
    KernelRig(int width, int height);

    void setSource(int slot, uint64_t texture, bool connected = true);
    void setFloat(int slot, float value) { parameters.floats[slot] = value; }
    void setBool(int slot, bool value) { parameters.bools[slot] = value ? 1 : 0; }
    void setVec2(int slot, float x, float y) { parameters.vec2s[slot] = {x, y}; }

    // Runs one execution into a fresh image and returns its pixels; fails the test on an error.
    std::vector<Rgba> run(KernelPassFunction pass, int execution, uint64_t workingImageTex);
    // Runs executions 0 .. count-1 chained through ping-pong images, like the dispatcher.
    std::vector<Rgba> runChain(KernelPassFunction pass, int count);

    int width, height;
    SystemParameters system;
    PipelineParameters pipeline;
    SourceConnections sources;
    AnimatedParameters parameters;
    BundledResources resources;
    DeviceBuffers buffers;
};

// Each kernel module's CPU row path beside its per-pixel kernel, with the executions a test runs
// (one more than the definition gives mask_prep: a later execution behaves as its last).
struct RowPathModule {
    const char* name;
    int executions;
    bool (*rows)(const KernelLaunchArgs&, const cpu_fast::RowRegion&);
    int (*perPixel)(const KernelLaunchArgs&);
};
extern const RowPathModule kRowPathModules[5];

// The blur tap weight: exp(-t^2) from a 256-entry table rounded to eight decimals, interpolated.
double referenceTapWeight(double k, double s);

// Reflect or clamp a normalized coordinate.
double referenceEdge(double e, bool reflect);

// Three-dimensional simplex noise with the reference permutation, in single precision: the noise
// has small steps on its cell faces, so the cell choice must round as the kernel's does.
float referenceSimplexNoise(float x, float y, float z);

bool nearlyEqual(const Rgba& a, const Rgba& b, float tolerance);
std::string describe(const Rgba& p);

#define EXPECT_RGBA_NEAR(actual, expected, tolerance)     \
    EXPECT_TRUE(nearlyEqual(actual, expected, tolerance)) \
        << "actual " << describe(actual) << " expected " << describe(expected)
