#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "ofxCore.h"

namespace vhost {

// A float RGBA image in host memory, laid out as OpenFX expects: the data pointer addresses the
// pixel (x1, y1), y grows upwards, and each row starts rowBytes after the previous one. rowBytes
// may exceed width * 16 (padded rows) or be negative (rows stored top first in memory).
class Image {
  public:
    static constexpr int kPixelBytes = 16;

    // rowBytes 0 means tightly packed rows.
    explicit Image(OfxRectI bounds, int rowBytes = 0);
    Image(int width, int height, int rowBytes = 0) : Image(OfxRectI{0, 0, width, height}, rowBytes) {}

    const OfxRectI& bounds() const { return bounds_; }
    int width() const { return bounds_.x2 - bounds_.x1; }
    int height() const { return bounds_.y2 - bounds_.y1; }
    int rowBytes() const { return rowBytes_; }
    void* data() { return origin_; }
    const void* data() const { return origin_; }

    // Pixel (x, y) in image coordinates; null outside the bounds.
    float* pixel(int x, int y);
    const float* pixel(int x, int y) const;

    void fill(float r, float g, float b, float a);
    // Fills every pixel from a function of its coordinates: f(x, y, rgba).
    template <typename F>
    void fillWith(F f) {
        for (int y = bounds_.y1; y < bounds_.y2; ++y)
            for (int x = bounds_.x1; x < bounds_.x2; ++x) f(x, y, pixel(x, y));
    }

  private:
    OfxRectI bounds_;
    int rowBytes_;
    std::vector<unsigned char> storage_;
    unsigned char* origin_ = nullptr;
};

using ImagePtr = std::shared_ptr<Image>;

}  // namespace vhost
