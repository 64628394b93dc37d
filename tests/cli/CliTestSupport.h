#pragma once

// Fixtures of the velmora-render tests: a temporary folder, a run of the built program, and
// small plates and masks.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "CliRun.h"
#include "Image.h"

class TemporaryFolder {
  public:
    TemporaryFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-cli-XXXXXX").string();
        path_ = mkdtemp(&pattern[0]) ? pattern : std::string();
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// The options every render of the tests takes: the built bundle, the CPU backend.
inline std::string commonOptions() {
    return std::string(" --bundle '") + VELMORA_BUNDLE + "' --backend cpu";
}

inline std::string quoted(const std::string& path) {
    return "'" + path + "'";
}

// A smooth gradient (values on the 8-bit grid, so PNG keeps them exactly), opaque.
inline vhost::ImagePtr gradientPlate(int width, int height, float offset = 0.0f) {
    auto image = std::make_shared<vhost::Image>(width, height);
    image->fillWith([&](int x, int y, float* p) {
        p[0] = (51 + (153 * x) / (width - 1)) / 255.0f + offset;
        p[1] = (26 + (128 * y) / (height - 1)) / 255.0f + offset;
        p[2] = 128 / 255.0f;
        p[3] = 1.0f;
    });
    return image;
}

// White inside the rectangle [x0, x1) x [y0, y1) (image coordinates, y up), black elsewhere.
inline vhost::ImagePtr rectangleMask(int width, int height, int x0, int y0, int x1, int y1) {
    auto image = std::make_shared<vhost::Image>(width, height);
    image->fillWith([&](int x, int y, float* p) {
        const float v = x >= x0 && x < x1 && y >= y0 && y < y1 ? 1.0f : 0.0f;
        p[0] = p[1] = p[2] = v;
        p[3] = 1.0f;
    });
    return image;
}

inline float maxDifference(const vhost::Image& a, const vhost::Image& b) {
    float worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            for (int c = 0; c < 4; ++c)
                worst = std::max(worst, std::fabs(a.pixel(x, y)[c] - b.pixel(x, y)[c]));
    return worst;
}
