#pragma once

// Host copies of the kernels' constant tables, for checks and CPU code paths.
const float* gaussianLutTable();  // 256 entries
const int* permutationTable();    // 512 entries
