#pragma once

// Host copies of the kernels' constant tables, for checks and CPU code paths.
const float* gaussianLutTable();          // 256 entries
const int* permutationTable();            // 512 entries
const unsigned char* monitorFontTable();  // FONT_8x12: 37 glyphs x 12 rows
