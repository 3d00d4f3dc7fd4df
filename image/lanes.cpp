#include "image/lanes.h"

#include <algorithm>

namespace {

Simd detectSimd() {
#if MORVANE_SIMD
    __builtin_cpu_init();  // this runs among the static constructors
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl") &&
        __builtin_cpu_supports("avx2")) {
        return __builtin_cpu_supports("avx512vbmi") ? Simd::avx512vbmi : Simd::avx512;
    }
    if (__builtin_cpu_supports("avx2")) return Simd::avx2;
#endif
    return Simd::baseline;
}

const Simd kProcessor = detectSimd();
Simd cap = Simd::avx512vbmi;

}  // namespace

Simd simdLevel() { return std::min(kProcessor, cap); }

void simdCap(Simd most) { cap = most; }
