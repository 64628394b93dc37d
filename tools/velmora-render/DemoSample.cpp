#include "DemoSample.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <locale>
#include <sstream>

namespace {

constexpr float kObjectCentreU = 0.58f, kObjectCentreV = 0.36f;  // from the top left, in width and height
constexpr float kPi = 3.14159265358979f;

// Height of the horizon below the top of the picture, in picture heights, at u = x / width.
float horizonAt(float u) {
    return 0.62f + 0.03f * std::sin(u * 6.0f);
}

float smoothstep(float edge0, float edge1, float x) {
    const float t = std::clamp((x - edge0) / (edge1 - edge0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

float mix(float a, float b, float t) {
    return a + (b - a) * t;
}

float hash(int x, int y) {
    std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u + static_cast<std::uint32_t>(y) * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return static_cast<float>((h ^ (h >> 16)) & 0xffffffu) / 16777215.0f;
}

float valueNoise(float x, float y) {
    const int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
    const float fx = smoothstep(0, 1, x - ix), fy = smoothstep(0, 1, y - iy);
    return mix(mix(hash(ix, iy), hash(ix + 1, iy), fx), mix(hash(ix, iy + 1), hash(ix + 1, iy + 1), fx), fy);
}

// Fractal noise in 0..1, `scale` pixels for the coarsest octave.
float fractalNoise(float x, float y, float scale) {
    float sum = 0, amplitude = 0.5f, total = 0;
    for (int octave = 0; octave < 4; ++octave) {
        sum += amplitude * valueNoise(x / scale, y / scale);
        total += amplitude;
        scale *= 0.5f;
        amplitude *= 0.5f;
    }
    return sum / total;
}

// Colour of the background at (x, y), y measured from the top, in a picture of height h.
void backgroundAt(float x, float y, int w, int h, float* rgb) {
    const float u = x / w, v = y / h;
    const float horizon = horizonAt(u);
    const float sky = v / horizon;
    const float sun = 1.0f - u;  // warmer to the left
    const float cloud = fractalNoise(x, y, h * 0.25f);
    const float skyRgb[3] = {mix(0.22f, 0.85f, sky) + 0.06f * sun, mix(0.42f, 0.74f, sky) + 0.02f * sun,
                             mix(0.78f, 0.62f, sky) - 0.04f * sun};
    const float depth = std::clamp((v - horizon) / (1.0f - horizon), 0.0f, 1.0f);
    const float grit = fractalNoise(x * 1.7f, y * 3.0f, h * 0.08f);
    const float groundRgb[3] = {mix(0.42f, 0.30f, depth) + 0.05f * sun, mix(0.40f, 0.26f, depth),
                                mix(0.26f, 0.16f, depth) - 0.02f * sun};
    const float ground = smoothstep(horizon - 0.004f, horizon + 0.004f, v);
    for (int c = 0; c < 3; ++c) {
        const float s = skyRgb[c] + 0.05f * (cloud - 0.5f);
        const float g = groundRgb[c] * (0.8f + 0.4f * grit);
        rgb[c] = mix(s, g, ground);
    }
}

// The object: a round sign on a post. Returns its coverage at (x, y) (y from the top) with the
// shape grown by `grow` pixels, and its colour.
float objectAt(float x, float y, int w, int h, float grow, float* rgb) {
    const float s = h / 360.0f;
    const float cx = w * kObjectCentreU, cy = h * kObjectCentreV, radius = 44.0f * s;
    const float postHalf = 5.0f * s, postTop = cy, postBottom = h * 0.86f;
    const float disc = std::hypot(x - cx, y - cy) - radius;
    const float post = std::max(std::fabs(x - cx) - postHalf, std::max(postTop - y, y - postBottom));
    const float distance = std::min(disc, post) - grow;
    const float coverage = 1.0f - smoothstep(-0.75f, 0.75f, distance);
    if (rgb) {
        if (disc < post) {
            const float ring = disc > -7.0f * s ? 1.0f : 0.0f;  // white rim
            const float shade = 0.75f + 0.25f * (cx - x + cy - y) / (2 * radius);
            rgb[0] = mix(0.78f * shade, 0.95f, ring);
            rgb[1] = mix(0.10f * shade, 0.95f, ring);
            rgb[2] = mix(0.08f * shade, 0.95f, ring);
        } else {
            const float shade = 0.5f + 0.5f * (x - cx + postHalf) / (2 * postHalf);
            rgb[0] = rgb[1] = rgb[2] = 0.18f + 0.2f * shade;
        }
    }
    return coverage;
}

std::string number(double value) {
    std::ostringstream text;
    text.imbue(std::locale::classic());  // read back as a --set value, whatever the user's locale
    text.precision(4);
    text << value;
    return text.str();
}

}  // namespace

std::vector<std::string> demoSettings(int width, int height) {
    const double s = height / 360.0;
    // The horizon's slope where the post crosses it, in pixels up per pixel to the right.
    const double du = 1.0 / width;
    const double slope = -(horizonAt(kObjectCentreU + du) - horizonAt(kObjectCentreU - du)) * height / 2.0;
    // Detail comes from 0.3 picture heights to the left, past the sign, and from as much higher
    // or lower as the horizon is there, so that the borrowed ground meets the real horizon.
    const double offsetX = -0.3;
    const double offsetY = horizonAt(kObjectCentreU) - horizonAt(kObjectCentreU + offsetX * height / width);
    return {"blur_amount=" + number(6 * s),
            "dir_amount=" + number(300 * s),
            "dir_angle=" + number(std::atan(slope) * 180.0 / kPi),
            "mask_grow=" + number(4 * s),
            "mask_blur=" + number(6 * s),
            "retexture_enable=true",
            "retexture_offset=" + number(offsetX) + "," + number(offsetY),
            "retexture_blur=" + number(4 * s)};
}

DemoSample makeDemoSample(int width, int height) {
    DemoSample sample;
    sample.background = std::make_shared<vhost::Image>(width, height);
    sample.plate = std::make_shared<vhost::Image>(width, height);
    sample.mask = std::make_shared<vhost::Image>(width, height);
    const float maskGrow = 3.0f * height / 360.0f;
    for (int row = 0; row < height; ++row) {
        const int y = height - 1 - row;  // images hold the bottom row first
        for (int x = 0; x < width; ++x) {
            const float px = x + 0.5f, py = row + 0.5f;
            float back[3], object[3];
            backgroundAt(px, py, width, height, back);
            const float cover = objectAt(px, py, width, height, 0.0f, object);
            const float m = objectAt(px, py, width, height, maskGrow, nullptr);
            float* b = sample.background->pixel(x, y);
            float* p = sample.plate->pixel(x, y);
            float* k = sample.mask->pixel(x, y);
            for (int c = 0; c < 3; ++c) {
                b[c] = std::clamp(back[c], 0.0f, 1.0f);
                p[c] = std::clamp(mix(back[c], object[c], cover), 0.0f, 1.0f);
                k[c] = m;
            }
            b[3] = p[3] = k[3] = 1.0f;
        }
    }
    return sample;
}

vhost::ImagePtr holeMask(int width, int height, double share) {
    auto mask = std::make_shared<vhost::Image>(width, height);
    const double side = std::sqrt(std::clamp(share, 0.0, 1.0));
    const double halfW = 0.5 * side * width, halfH = 0.5 * side * height;
    const double cx = 0.5 * width, cy = 0.5 * height, fade = 4.0;
    mask->fillWith([&](int x, int y, float* p) {
        // Distance outside the rectangle, in pixels (0 inside).
        const double dx = std::max(0.0, std::fabs(x + 0.5 - cx) - halfW);
        const double dy = std::max(0.0, std::fabs(y + 0.5 - cy) - halfH);
        const double outside = std::max(dx, dy);
        const float v = side <= 0.0 ? 0.0f : static_cast<float>(std::clamp(1.0 - outside / fade, 0.0, 1.0));
        p[0] = p[1] = p[2] = v;
        p[3] = 1.0f;
    });
    return mask;
}

vhost::ImagePtr sideBySide(const vhost::Image& left, const vhost::Image& right) {
    const int gap = std::max(4, left.height() / 45);
    const int height = std::max(left.height(), right.height());
    auto joined = std::make_shared<vhost::Image>(left.width() + gap + right.width(), height);
    joined->fill(0.08f, 0.08f, 0.08f, 1.0f);
    auto place = [&](const vhost::Image& image, int x0) {
        const int y0 = height - image.height();  // top aligned
        for (int y = 0; y < image.height(); ++y)
            std::copy(image.pixel(image.bounds().x1, image.bounds().y1 + y),
                      image.pixel(image.bounds().x1, image.bounds().y1 + y) + image.width() * 4,
                      joined->pixel(x0, y0 + y));
    };
    place(left, 0);
    place(right, left.width() + gap);
    return joined;
}

bool parseSampleSize(const std::string& text, int* width, int* height) {
    int w = 0, h = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%dx%d%c", &w, &h, &tail) != 2 || w < 16 || h < 16 || w > 8192 || h > 8192)
        return false;
    *width = w;
    *height = h;
    return true;
}
