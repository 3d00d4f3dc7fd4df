// The vector layer. One switch, MORVANE_NO_SIMD, builds the plain code
// instead of every vector kernel. Otherwise kernels are compiled once per
// instruction set (target attributes or regions below) and chosen at run
// time by simdLevel().
//
// Pixels in lanes: row kernels work on N pixels at once in GCC vector types,
// with the scalar code's arithmetic operation for operation, so every result
// is bit for bit the per-pixel one. The bodies are templates over N, inlined
// into a baseline function (4 lanes) and AVX2 and AVX-512 ones (8 lanes);
// `runLanes` picks by what the processor has. Kernels that need an
// instruction the lane types cannot name (multiply-high, packs, permutes,
// masked loads) use the intrinsics of <immintrin.h> inside the same target
// attributes and regions, under the same switch.
#pragma once

#include "image/imagergba.h"

#include <cstdint>
#include <cstring>

// Clang before 16 refuses wide vectors passed to the lane templates from a
// target region even where they are inlined: it builds the plain code.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__SSE2__) && !defined(MORVANE_NO_SIMD) && \
    !(defined(__clang__) && __clang_major__ < 16)
#define MORVANE_SIMD 1
#include <immintrin.h>
#else
#define MORVANE_SIMD 0
#endif

// The widest kernels in use: the processor's best unless lowered for tests,
// and the baseline in a MORVANE_NO_SIMD build. avx512vbmi adds byte permutes
// to avx512.
enum class Simd { baseline, avx2, avx512, avx512vbmi };
Simd simdLevel();
// Lowers (or restores) the level, so tests can run the narrower kernels too.
void simdCap(Simd most);

#define MORVANE_LANES_INLINE __attribute__((always_inline)) inline

#if MORVANE_SIMD
// One function built for an instruction set.
#define MORVANE_AVX2 __attribute__((target("avx2")))
// 8 lanes still, but compares into mask registers and one-instruction blends.
#define MORVANE_AVX512 __attribute__((target("avx2,avx512f,avx512bw,avx512dq,avx512vl")))
#define MORVANE_VBMI __attribute__((target("avx512f,avx512bw,avx512vbmi")))

// Everything defined between these two is built for the given instructions.
#define MORVANE_PRAGMA(x) _Pragma(#x)
#ifdef __clang__
#define MORVANE_TARGET_BEGIN(isa) \
    MORVANE_PRAGMA(clang attribute push(__attribute__((target(isa))), apply_to = function))
#define MORVANE_TARGET_END MORVANE_PRAGMA(clang attribute pop)
#else
#define MORVANE_TARGET_BEGIN(isa) MORVANE_PRAGMA(GCC push_options) MORVANE_PRAGMA(GCC target(isa))
#define MORVANE_TARGET_END MORVANE_PRAGMA(GCC pop_options)
#endif

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

namespace lanes {

template <int N>
struct of {
    typedef float f __attribute__((vector_size(4 * N)));
    typedef int32_t i __attribute__((vector_size(4 * N)));
    typedef uint32_t u __attribute__((vector_size(4 * N)));
};

// Pixels as little-endian words: red in the low byte, alpha in the high one.
template <int N>
MORVANE_LANES_INLINE typename of<N>::u load(const Rgba* p) {
    typename of<N>::u x;
    std::memcpy(&x, p, sizeof x);
    return x;
}

template <int N>
MORVANE_LANES_INLINE void store(Rgba* p, typename of<N>::u x) {
    std::memcpy(p, &x, sizeof x);
}

// One channel (shift 0, 8, 16) of every lane as a whole number.
template <int N>
MORVANE_LANES_INLINE typename of<N>::i channelAt(typename of<N>::u x, int shift) {
    return (typename of<N>::i)((x >> shift) & 255);
}

template <int N>
MORVANE_LANES_INLINE typename of<N>::f toFloat(typename of<N>::i x) {
    return __builtin_convertvector(x, typename of<N>::f);
}

// Toward zero, like a scalar cast; callers keep the values inside int.
template <int N>
MORVANE_LANES_INLINE typename of<N>::i truncate(typename of<N>::f x) {
    return __builtin_convertvector(x, typename of<N>::i);
}

template <int N>
MORVANE_LANES_INLINE bool none(typename of<N>::i mask) {
    uint64_t words[N / 2];
    std::memcpy(words, &mask, sizeof words);
    uint64_t any = 0;
    for (int k = 0; k < N / 2; ++k) any |= words[k];
    return any == 0;
}

// r, g and b back into words, over the alpha bits `alpha`.
template <int N>
MORVANE_LANES_INLINE typename of<N>::u pack(typename of<N>::i r, typename of<N>::i g,
                                            typename of<N>::i b, typename of<N>::u alpha) {
    typedef typename of<N>::u u;
    return ((u)r & 255) | (((u)g & 255) << 8) | (((u)b & 255) << 16) | (alpha & 0xff000000u);
}

// RGBtoHSV on N pixels.
template <int N>
MORVANE_LANES_INLINE void RGBtoHSV(typename of<N>::u x, typename of<N>::f& h,
                                   typename of<N>::f& s, typename of<N>::f& v) {
    typedef typename of<N>::f f;
    typedef typename of<N>::i i;
    const f r = toFloat<N>(channelAt<N>(x, 0)) / 255.0f;
    const f g = toFloat<N>(channelAt<N>(x, 8)) / 255.0f;
    const f b = toFloat<N>(channelAt<N>(x, 16)) / 255.0f;
    const f gb = g < b ? b : g, max = r < gb ? gb : r;  // std::max's order
    const f bg = b < g ? b : g, min = bg < r ? bg : r;
    const f span = max - min;
    const f one = f{} + 1;
    // Later matches win: blue over green over red. One division serves all
    // three, its operands being the ones the chosen formula divides.
    const i isB = max == b, isG = max == g;
    const f q = (isB ? r - g : isG ? b - r : g - b) / (span == 0 ? one : span);
    const f hue = isB ? (q + 4) * 60 : isG ? (q + 2) * 60 : q * 60;
    h = max != min ? hue : f{};
    s = max > 0 ? span / (max > 0 ? max : one) : f{};
    v = max;
}

// HSVtoRGB on N pixels with hues in 0..360 (below 360) and saturations and
// values in 0..1, as RGBtoHSV makes them. There every channel lies in 0..1
// before it is scaled, so the clamping to 0..255 changes nothing and is left
// out; the caller takes the scalar function for other hues.
template <int N>
MORVANE_LANES_INLINE typename of<N>::u HSVtoRGB(typename of<N>::f h, typename of<N>::f s,
                                                typename of<N>::f v, typename of<N>::u alpha) {
    typedef typename of<N>::f f;
    typedef typename of<N>::i i;
    const f sector = h / 60;
    const i k = truncate<N>(sector);
    const f frac = sector - toFloat<N>(k);
    const f p = v * (1 - s), q = v * (1 - s * frac), t = v * (1 - s * (1 - frac));
    const f r = ((k == 0) | (k == 5)) ? v : k == 1 ? q : k == 4 ? t : p;
    const f g = k == 0 ? t : ((k == 1) | (k == 2)) ? v : k == 3 ? q : p;
    const f b = ((k == 3) | (k == 4)) ? v : k == 2 ? t : k == 5 ? q : p;
    return pack<N>(truncate<N>(r * 255), truncate<N>(g * 255), truncate<N>(b * 255), alpha);
}

}  // namespace lanes

// Runs Kernel::run<8> compiled for AVX-512 or AVX2 where the processor has
// it, else Kernel::run<4>. `run` takes a source and a destination row, a pixel count
// that is a multiple of the lane count, and the kernel's own arguments.
template <class Kernel, class... Args>
void runLanesNarrow(const Rgba* src, Rgba* dst, int count, Args... args) {
    for (int i = 0; i < count; i += 4) Kernel::template run<4>(src + i, dst + i, args...);
}

#if MORVANE_SIMD
template <class Kernel, class... Args>
MORVANE_AVX2 void runLanesAvx2(const Rgba* src, Rgba* dst, int count, Args... args) {
    for (int i = 0; i < count; i += 8) Kernel::template run<8>(src + i, dst + i, args...);
}

template <class Kernel, class... Args>
MORVANE_AVX512 void runLanesAvx512(const Rgba* src, Rgba* dst, int count, Args... args) {
    for (int i = 0; i < count; i += 8) Kernel::template run<8>(src + i, dst + i, args...);
}
#endif

// A row of any length: whole groups in place, the rest through an 8-pixel
// copy so the same kernel makes every pixel. src and dst may be the same row.
template <class Kernel, class... Args>
void runLanes(const Rgba* src, Rgba* dst, int count, Args... args) {
    if (count <= 0) return;
    const int whole = count & ~7;
#if MORVANE_SIMD
    if (simdLevel() >= Simd::avx512) {
        runLanesAvx512<Kernel>(src, dst, whole, args...);
    } else if (simdLevel() >= Simd::avx2) {
        runLanesAvx2<Kernel>(src, dst, whole, args...);
    } else
#endif
    {
        runLanesNarrow<Kernel>(src, dst, whole, args...);
    }
    const int rest = count - whole;
    if (rest == 0) return;
    Rgba from[8] = {}, to[8] = {};
    std::memcpy(from, src + whole, rest * sizeof(Rgba));
    std::memcpy(to, dst + whole, rest * sizeof(Rgba));
    runLanesNarrow<Kernel>(from, to, 8, args...);
    std::memcpy(dst + whole, to, rest * sizeof(Rgba));
}

