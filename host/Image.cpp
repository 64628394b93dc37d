#include "Image.h"

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace vhost {

Image::Image(OfxRectI bounds, int rowBytes) : bounds_(bounds) {
    if (bounds.x2 < bounds.x1 || bounds.y2 < bounds.y1)
        throw std::invalid_argument("image bounds are inverted");
    const long long width = bounds.x2 - bounds.x1;
    const long long height = bounds.y2 - bounds.y1;
    const long long tight = width * kPixelBytes;
    if (rowBytes == 0) rowBytes = static_cast<int>(tight);
    const long long stride = std::llabs(static_cast<long long>(rowBytes));
    if (stride < tight)
        throw std::invalid_argument("row stride of " + std::to_string(rowBytes) +
                                    " bytes is shorter than a row of " + std::to_string(tight) + " bytes");
    if (stride % 4 != 0) throw std::invalid_argument("row stride must be a multiple of 4 bytes");
    if (stride * height > (1LL << 34)) throw std::invalid_argument("image is too large");
    rowBytes_ = rowBytes;
    storage_.assign(static_cast<size_t>(stride * height), 0);
    origin_ = storage_.data();
    if (rowBytes < 0 && height > 0) origin_ += stride * (height - 1);
}

float* Image::pixel(int x, int y) {
    if (x < bounds_.x1 || x >= bounds_.x2 || y < bounds_.y1 || y >= bounds_.y2) return nullptr;
    return reinterpret_cast<float*>(origin_ + static_cast<std::ptrdiff_t>(y - bounds_.y1) * rowBytes_ +
                                    static_cast<std::ptrdiff_t>(x - bounds_.x1) * kPixelBytes);
}

const float* Image::pixel(int x, int y) const {
    return const_cast<Image*>(this)->pixel(x, y);
}

void Image::fill(float r, float g, float b, float a) {
    fillWith([&](int, int, float* p) {
        p[0] = r;
        p[1] = g;
        p[2] = b;
        p[3] = a;
    });
}

}  // namespace vhost
