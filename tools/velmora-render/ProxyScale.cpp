#include "ProxyScale.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

struct Tap {
    int index;
    float weight;
};

// For each of `outLength` output samples, the input samples it covers and their shares.
std::vector<std::vector<Tap>> areaTaps(int inLength, int outLength) {
    std::vector<std::vector<Tap>> taps(static_cast<std::size_t>(outLength));
    const double step = static_cast<double>(inLength) / outLength;
    for (int o = 0; o < outLength; ++o) {
        const double start = o * step, end = (o + 1) * step;
        for (int i = static_cast<int>(std::floor(start));
             i < std::min(inLength, static_cast<int>(std::ceil(end))); ++i) {
            const double cover = std::min(end, i + 1.0) - std::max(start, static_cast<double>(i));
            if (cover > 0) taps[static_cast<std::size_t>(o)].push_back({i, static_cast<float>(cover / step)});
        }
    }
    return taps;
}

}  // namespace

int scaledLength(int length, double scale) {
    return std::max(1, static_cast<int>(std::lround(length * scale)));
}

vhost::ImagePtr scaleImage(const vhost::Image& image, double scale, const vhost::ImagePtr& reuse) {
    const int w = image.width(), h = image.height();
    const int sw = scaledLength(w, scale), sh = scaledLength(h, scale);
    const auto columns = areaTaps(w, sw);
    const auto rows = areaTaps(h, sh);
    const int x0 = image.bounds().x1, y0 = image.bounds().y1;

    // Horizontal pass into rows of the input's height, then vertical into the result.
    vhost::Image wide(sw, h);
    for (int y = 0; y < h; ++y) {
        const float* src = image.pixel(x0, y0 + y);
        float* dst = wide.pixel(0, y);
        for (int x = 0; x < sw; ++x) {
            float sum[4] = {0, 0, 0, 0};
            for (const Tap& t : columns[static_cast<std::size_t>(x)])
                for (int c = 0; c < 4; ++c) sum[c] += t.weight * src[t.index * 4 + c];
            std::copy(sum, sum + 4, dst + x * 4);
        }
    }
    vhost::ImagePtr result = reuse;
    if (!result || result->width() != sw || result->height() != sh || result->rowBytes() != sw * 16)
        result = std::make_shared<vhost::Image>(sw, sh);
    for (int y = 0; y < sh; ++y) {
        float* dst = result->pixel(result->bounds().x1, result->bounds().y1 + y);
        std::fill(dst, dst + sw * 4, 0.0f);
        for (const Tap& t : rows[static_cast<std::size_t>(y)]) {
            const float* src = wide.pixel(0, t.index);
            for (int i = 0; i < sw * 4; ++i) dst[i] += t.weight * src[i];
        }
    }
    return result;
}
