// Whether the SSE2 paths are built: SSE2 is part of every x86-64, and
// MORVANE_NO_SIMD builds the portable code instead.
#pragma once

#include "image/imagergba.h"

#include <cstring>

#if defined(__SSE2__) && !defined(MORVANE_NO_SIMD)
#define MORVANE_SSE2 1
#include <emmintrin.h>
#include <immintrin.h>  // for functions built for AVX2, chosen at run time
#else
#define MORVANE_SSE2 0
#endif

#if MORVANE_SSE2
// One pixel in the lowest lane and back, without a trip through memory.
inline __m128i pixelVector(Rgba p) {
    int w;
    std::memcpy(&w, &p, sizeof p);
    return _mm_cvtsi32_si128(w);
}

inline Rgba vectorPixel(__m128i v) {
    const int w = _mm_cvtsi128_si32(v);
    Rgba p;
    std::memcpy(&p, &w, sizeof p);
    return p;
}
#endif

// The widest kernels in use: the processor's best unless lowered for tests,
// and the baseline in a MORVANE_NO_SIMD build. avx512vbmi adds byte permutes
// to avx512.
enum class Simd { baseline, avx2, avx512, avx512vbmi };
Simd simdLevel();
// Lowers (or restores) the level, so tests can run the narrower kernels too.
void simdCap(Simd most);
