#pragma once

#include "kernels/KernelDevice.h"

namespace cpu_fast {

// The kernel's division of one pixel: `d` the blurred weighted colour, `plate` the plate pixel.
inline void writeDividedFill(const float* d, const float* plate, bool highlight, float* out) {
    const float4 r = host_impl::dividedFill(host_impl::f4(d[0], d[1], d[2], d[3]),
                                            host_impl::f4(plate[0], plate[1], plate[2], plate[3]), highlight);
    out[0] = r.x, out[1] = r.y, out[2] = r.z, out[3] = r.w;
}

}  // namespace cpu_fast
