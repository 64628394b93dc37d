#pragma once

// VELMORA_ROW_KERNEL marks a hot row loop that gcc compiles twice, for AVX2 and for the baseline,
// picking one when the library loads. The pick runs in an ifunc resolver during relocation, before
// ThreadSanitizer has started, so a TSan build keeps the baseline only.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__) && \
    !defined(__SANITIZE_THREAD__)
#define VELMORA_ROW_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define VELMORA_ROW_KERNEL
#endif
