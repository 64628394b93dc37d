#include "gpu/KernelCompat.h"
#include "kernels/GaussianLut.h"
#include "kernels/KernelTables.h"
#include "kernels/MonitorFont.h"
#include "kernels/PerlinPermutation.h"

const float* gaussianLutTable() {
    return GAUSSIAN_LUT;
}
const int* permutationTable() {
    return perm;
}
const unsigned char* monitorFontTable() {
    return FONT_8x12;
}
