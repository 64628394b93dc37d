#include "KernelTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "kernels/cpu/CpuFastPaths.h"

GpuImage::GpuImage(int width, int height, GpuRuntime& runtime)
    : runtime_(runtime), width_(width), height_(height) {
    EXPECT_EQ(runtime_.mallocArray(&array_, gpuChannelDescFloat4(), width, height, GpuArraySurfaceLoadStore),
              0);
    GpuResourceDesc resource;
    resource.type = GpuResourceTypeArray;
    resource.array = array_;
    EXPECT_EQ(runtime_.createTextureObject(&texture_, resource, gpuStandardTextureDesc()), 0);
    EXPECT_EQ(runtime_.createSurfaceObject(&surface_, resource), 0);
    upload(std::vector<Rgba>(static_cast<size_t>(width) * height));
}

GpuImage::GpuImage(int width, int height, const std::vector<Rgba>& pixels, GpuRuntime& runtime)
    : GpuImage(width, height, runtime) {
    upload(pixels);
}

GpuImage::GpuImage(int width, int height, const std::function<Rgba(int, int)>& pixel, GpuRuntime& runtime)
    : GpuImage(width, height, runtime) {
    upload(HostImage(width, height, pixel).pixels);
}

GpuImage::~GpuImage() {
    runtime_.destroySurfaceObject(surface_);
    runtime_.destroyTextureObject(texture_);
    runtime_.freeArray(array_);
}

void GpuImage::upload(const std::vector<Rgba>& pixels) {
    ASSERT_EQ(pixels.size(), static_cast<size_t>(width_) * height_);
    const size_t row = static_cast<size_t>(width_) * sizeof(Rgba);
    ASSERT_EQ(runtime_.memcpy2DToArray(array_, 0, 0, pixels.data(), row, row, height_, GpuMemcpyHostToDevice),
              0);
}

std::vector<Rgba> GpuImage::download() const {
    std::vector<Rgba> pixels(static_cast<size_t>(width_) * height_);
    const size_t row = static_cast<size_t>(width_) * sizeof(Rgba);
    EXPECT_EQ(
        runtime_.memcpy2DFromArray(pixels.data(), row, array_, 0, 0, row, height_, GpuMemcpyDeviceToHost), 0);
    return pixels;
}

HostImage::HostImage(int w, int h, const std::function<Rgba(int, int)>& pixel) : width(w), height(h) {
    pixels.reserve(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) pixels.push_back(pixel(x, y));
}

const Rgba& HostImage::at(int x, int y) const {
    x = x < 0 ? 0 : (x >= width ? width - 1 : x);
    y = y < 0 ? 0 : (y >= height ? height - 1 : y);
    return pixels[static_cast<size_t>(y) * width + x];
}

Rgba HostImage::sample(double u, double v) const {
    const double bx = u * width - 0.5, by = v * height - 0.5;
    const double fx = std::floor(bx), fy = std::floor(by);
    const double a = std::round((bx - fx) * 256.0) / 256.0, b = std::round((by - fy) * 256.0) / 256.0;
    const int i = static_cast<int>(fx), j = static_cast<int>(fy);
    const Rgba &p00 = at(i, j), &p10 = at(i + 1, j), &p01 = at(i, j + 1), &p11 = at(i + 1, j + 1);
    auto mix = [&](float c00, float c10, float c01, float c11) {
        return static_cast<float>((1 - a) * (1 - b) * c00 + a * (1 - b) * c10 + (1 - a) * b * c01 +
                                  a * b * c11);
    };
    return {mix(p00.r, p10.r, p01.r, p11.r), mix(p00.g, p10.g, p01.g, p11.g), mix(p00.b, p10.b, p01.b, p11.b),
            mix(p00.a, p10.a, p01.a, p11.a)};
}

KernelRig::KernelRig(int w, int h) : width(w), height(h) {
    std::memset(&system, 0, sizeof(system));
    std::memset(&pipeline, 0, sizeof(pipeline));
    std::memset(&sources, 0, sizeof(sources));
    std::memset(&parameters, 0, sizeof(parameters));
    std::memset(&resources, 0, sizeof(resources));
    std::memset(&buffers, 0, sizeof(buffers));
    system.width = w;
    system.height = h;
}

void KernelRig::setSource(int slot, uint64_t texture, bool connected) {
    sources.sources[slot].textureObject = texture;
    sources.sources[slot].isConnected = connected ? 1 : 0;
    if (sources.sourceCount <= slot) sources.sourceCount = slot + 1;
}

std::vector<Rgba> KernelRig::run(KernelPassFunction pass, int execution, uint64_t workingImageTex) {
    GpuImage out(width, height);
    system.currentExecution = execution;
    const int error = pass(nullptr, &system, &pipeline, &sources, &parameters, &resources, &buffers, "test",
                           workingImageTex, out.surface());
    EXPECT_EQ(error, 0);
    EXPECT_EQ(hostGpuRuntime().getLastError(), 0);
    return out.download();
}

std::vector<Rgba> KernelRig::runChain(KernelPassFunction pass, int count) {
    std::vector<Rgba> result;
    uint64_t working = 0;
    GpuImage a(width, height), b(width, height);
    for (int e = 0; e < count; ++e) {
        GpuImage& out = (e % 2 == 0) ? a : b;
        system.currentExecution = e;
        EXPECT_EQ(pass(nullptr, &system, &pipeline, &sources, &parameters, &resources, &buffers, "test",
                       working, out.surface()),
                  0);
        EXPECT_EQ(hostGpuRuntime().getLastError(), 0);
        working = out.texture();
        result = out.download();
    }
    return result;
}

const RowPathModule kRowPathModules[5] = {
    {"mask_prep", 5, cpu_fast::maskPrep, host_impl::launchMaskPrep},
    {"blur_divide", 3, cpu_fast::blurDivide, host_impl::launchBlurDivide},
    {"post_blur", 2, cpu_fast::postBlur, host_impl::launchPostBlur},
    {"retexture_blur", 2, cpu_fast::retextureBlur, host_impl::launchRetextureBlur},
    {"composite", 1, cpu_fast::composite, host_impl::launchComposite},
};

double referenceTapWeight(double k, double s) {
    const double t = std::fabs(k) / s;
    if (t >= 6.0) return 0.0;
    const double p = t * 255.0 / 6.0;
    const int i = static_cast<int>(p);
    if (i > 254) return 0.0;
    auto entry = [](int n) {
        const double x = 6.0 * n / 255.0;
        return std::round(std::exp(-x * x) * 1e8) / 1e8;
    };
    const double w = entry(i) + (p - i) * (entry(i + 1) - entry(i));
    return w < 0.0001 ? 0.0 : w;
}

double referenceEdge(double e, bool reflect) {
    if (reflect) {
        e = std::fabs(e);
        return e > 1.0 ? 2.0 - e : e;
    }
    return e < 0.0 ? 0.0 : (e > 1.0 ? 1.0 : e);
}

namespace {

int permutation(int i) {
    static const int p[256] = {
        151, 160, 137, 91,  90,  15,  131, 13,  201, 95,  96,  53,  194, 233, 7,   225, 140, 36,  103, 30,
        69,  142, 8,   99,  37,  240, 21,  10,  23,  190, 6,   148, 247, 120, 234, 75,  0,   26,  197, 62,
        94,  252, 219, 203, 117, 35,  11,  32,  57,  177, 33,  88,  237, 149, 56,  87,  174, 20,  125, 136,
        171, 168, 68,  175, 74,  165, 71,  134, 139, 48,  27,  166, 77,  146, 158, 231, 83,  111, 229, 122,
        60,  211, 133, 230, 220, 105, 92,  41,  55,  46,  245, 40,  244, 102, 143, 54,  65,  25,  63,  161,
        1,   216, 80,  73,  209, 76,  132, 187, 208, 89,  18,  169, 200, 196, 135, 130, 116, 188, 159, 86,
        164, 100, 109, 198, 173, 186, 3,   64,  52,  217, 226, 250, 124, 123, 5,   202, 38,  147, 118, 126,
        255, 82,  85,  212, 207, 206, 59,  227, 47,  16,  58,  17,  182, 189, 28,  42,  223, 183, 170, 213,
        119, 248, 152, 2,   44,  154, 163, 70,  221, 153, 101, 155, 167, 43,  172, 9,   129, 22,  39,  253,
        19,  98,  108, 110, 79,  113, 224, 232, 178, 185, 112, 104, 218, 246, 97,  228, 251, 34,  242, 193,
        238, 210, 144, 12,  191, 179, 162, 241, 81,  51,  145, 235, 249, 14,  239, 107, 49,  192, 214, 31,
        181, 199, 106, 157, 184, 84,  204, 176, 115, 121, 50,  45,  127, 4,   150, 254, 138, 236, 205, 93,
        222, 114, 67,  29,  24,  72,  243, 141, 128, 195, 78,  66,  215, 61,  156, 180};
    return p[i & 255];
}

double gradientDot(int hash, double x, double y, double z) {
    // The twelve edge directions of the cube (with four repeats) of improved noise.
    static const int g[16][3] = {{1, 1, 0},  {-1, 1, 0},  {1, -1, 0}, {-1, -1, 0}, {1, 0, 1},  {-1, 0, 1},
                                 {1, 0, -1}, {-1, 0, -1}, {0, 1, 1},  {0, -1, 1},  {0, 1, -1}, {0, -1, -1},
                                 {1, 1, 0},  {0, -1, 1},  {-1, 1, 0}, {0, -1, -1}};
    const int* d = g[hash & 15];
    return d[0] * x + d[1] * y + d[2] * z;
}

}  // namespace

float referenceSimplexNoise(float X, float Y, float Z) {
    const float s = (X + Y + Z) / 3.0f;
    const int i = static_cast<int>(std::floor(X + s)), j = static_cast<int>(std::floor(Y + s)),
              k = static_cast<int>(std::floor(Z + s));
    const float t = static_cast<float>(i + j + k) / 6.0f;
    const float x0 = X - (i - t), y0 = Y - (j - t), z0 = Z - (k - t);
    // Corners visited in order of the largest coordinate differences.
    int o1[3], o2[3];
    if (x0 >= y0) {
        if (y0 >= z0) {
            o1[0] = 1, o1[1] = 0, o1[2] = 0, o2[0] = 1, o2[1] = 1, o2[2] = 0;
        } else if (x0 >= z0) {
            o1[0] = 1, o1[1] = 0, o1[2] = 0, o2[0] = 1, o2[1] = 0, o2[2] = 1;
        } else {
            o1[0] = 0, o1[1] = 0, o1[2] = 1, o2[0] = 1, o2[1] = 0, o2[2] = 1;
        }
    } else {
        if (y0 < z0) {
            o1[0] = 0, o1[1] = 0, o1[2] = 1, o2[0] = 0, o2[1] = 1, o2[2] = 1;
        } else if (x0 < z0) {
            o1[0] = 0, o1[1] = 1, o1[2] = 0, o2[0] = 0, o2[1] = 1, o2[2] = 1;
        } else {
            o1[0] = 0, o1[1] = 1, o1[2] = 0, o2[0] = 1, o2[1] = 1, o2[2] = 0;
        }
    }
    const int corners[4][3] = {{0, 0, 0}, {o1[0], o1[1], o1[2]}, {o2[0], o2[1], o2[2]}, {1, 1, 1}};
    float sum = 0;
    for (int c = 0; c < 4; ++c) {
        const int* o = corners[c];
        const float shift = static_cast<float>(c) / 6.0f;
        const float px = x0 - o[0] + shift, py = y0 - o[1] + shift, pz = z0 - o[2] + shift;
        const float w = 0.6f - px * px - py * py - pz * pz;
        if (w < 0) continue;
        const int hash =
            permutation((i & 255) + o[0] + permutation((j & 255) + o[1] + permutation((k & 255) + o[2])));
        sum += w * w * w * w * static_cast<float>(gradientDot(hash, px, py, pz));
    }
    return 32.0f * sum;
}

bool nearlyEqual(const Rgba& a, const Rgba& b, float tolerance) {
    return std::fabs(a.r - b.r) <= tolerance && std::fabs(a.g - b.g) <= tolerance &&
           std::fabs(a.b - b.b) <= tolerance && std::fabs(a.a - b.a) <= tolerance;
}

std::string describe(const Rgba& p) {
    char text[96];
    std::snprintf(text, sizeof text, "(%.6f, %.6f, %.6f, %.6f)", p.r, p.g, p.b, p.a);
    return text;
}
