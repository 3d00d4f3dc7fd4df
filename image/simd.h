// Whether the SSE2 paths are built: SSE2 is part of every x86-64, and
// MORVANE_NO_SIMD builds the portable code instead.
#pragma once

#if defined(__SSE2__) && !defined(MORVANE_NO_SIMD)
#define MORVANE_SSE2 1
#include <emmintrin.h>
#include <immintrin.h>  // for functions built for AVX2, chosen at run time
#else
#define MORVANE_SSE2 0
#endif

// The widest kernels in use: the processor's best unless lowered for tests,
// and the baseline in a MORVANE_NO_SIMD build. avx512vbmi adds byte permutes
// to avx512.
enum class Simd { baseline, avx2, avx512, avx512vbmi };
Simd simdLevel();
// Lowers (or restores) the level, so tests can run the narrower kernels too.
void simdCap(Simd most);
