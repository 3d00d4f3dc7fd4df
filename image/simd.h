// Whether the SSE2 paths are built: SSE2 is part of every x86-64, and
// MORVANE_NO_SIMD builds the portable code instead.
#pragma once

#if defined(__SSE2__) && !defined(MORVANE_NO_SIMD)
#define MORVANE_SSE2 1
#include <emmintrin.h>
#else
#define MORVANE_SSE2 0
#endif
