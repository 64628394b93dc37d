#pragma once

// An independent statement of the hardware's 2-D texture fetch, for checking the emulation:
// x_B = x*W - 0.5, i = floor(x_B), alpha = frac(x_B) held in 1.8 fixed point (rounded), likewise
// in y; T[i, j] addressed per axis; result = sum of the four texels weighted by (1-a|a)(1-b|b).

#include <cmath>
#include <vector>

struct RefTexture {
    int width = 0, height = 0;
    std::vector<float> texels;  // float4 rows
    int address[2] = {1, 1};    // 0 wrap, 1 clamp, 2 mirror, 3 border
    bool linear = true;
    bool normalized = true;

    void texel(int i, int j, float out[4]) const {
        const int size[2] = {width, height};
        int idx[2] = {i, j};
        for (int a = 0; a < 2; ++a) {
            const int n = size[a];
            int mode = address[a];
            if (!normalized && (mode == 0 || mode == 2)) mode = 1;
            int& k = idx[a];
            if (mode == 3 && (k < 0 || k >= n)) {
                out[0] = out[1] = out[2] = out[3] = 0.0f;
                return;
            }
            if (mode == 1) k = k < 0 ? 0 : (k >= n ? n - 1 : k);
            if (mode == 0) k = ((k % n) + n) % n;
            if (mode == 2) {
                int m = ((k % (2 * n)) + 2 * n) % (2 * n);
                k = m < n ? m : 2 * n - 1 - m;
            }
        }
        const float* t = &texels[(static_cast<size_t>(idx[1]) * width + idx[0]) * 4];
        for (int c = 0; c < 4; ++c) out[c] = t[c];
    }

    void sample(float u, float v, float out[4]) const {
        const float x = normalized ? u * width : u;
        const float y = normalized ? v * height : v;
        if (!linear) {
            texel(static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)), out);
            return;
        }
        const float xb = x - 0.5f, yb = y - 0.5f;
        const int i = static_cast<int>(std::floor(xb)), j = static_cast<int>(std::floor(yb));
        const float a = std::round((xb - std::floor(xb)) * 256.0f) / 256.0f;
        const float b = std::round((yb - std::floor(yb)) * 256.0f) / 256.0f;
        float t00[4], t10[4], t01[4], t11[4];
        texel(i, j, t00);
        texel(i + 1, j, t10);
        texel(i, j + 1, t01);
        texel(i + 1, j + 1, t11);
        for (int c = 0; c < 4; ++c)
            out[c] =
                (1 - a) * (1 - b) * t00[c] + a * (1 - b) * t10[c] + (1 - a) * b * t01[c] + a * b * t11[c];
    }
};
