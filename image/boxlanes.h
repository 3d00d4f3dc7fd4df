// The box sums in SSE2 vectors, as policies: the streamed box passes
// (image/boxpipe) build their baseline kernels on them, and the one-by-one
// passes (image/boxblur) step four pixels at a time with them. Sums are exact
// modulo the width of E, and every window sum fits it.
#pragma once

#include "image/boxmean.h"
#include "image/lanes.h"

#include <cstdint>
#include <cstring>

#if MORVANE_SIMD

// A pixel's four sums as one word.
inline uint64_t pixelSums(const uint16_t* p) {
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

// sum / n for n >= 3 as two multiplies: the round-down correction's first
// shift is always 1 there, and the second becomes a multiply by a power of
// two, where a shift by a register count would take the shuffle port.
// Windows of one or two pixels shift instead.
struct DivParts {
    uint16_t magic, power;
    int n;
    explicit DivParts(int count) : n(count) {
        const NarrowDivisor d = kNarrowDivisors.of[count];
        magic = d.magic;
        power = count >= 3 ? static_cast<uint16_t>(1u << (16 - d.shift2)) : 0;
    }
};

// Two pixels a vector.
struct Sse2 {
    static constexpr bool kEdgeLanes = false;
    typedef __m128i T;
    typedef uint16_t E;
    static constexpr int kPx = 2;
    struct Div {
        T magic, power;
        int n;
        explicit Div(int count) {
            const DivParts d(count);
            magic = _mm_set1_epi16(static_cast<short>(d.magic));
            power = _mm_set1_epi16(static_cast<short>(d.power));
            n = d.n;
        }
    };
    struct Run {
        T w;
        Run() : w(zero()) {}
    };
    static T zero() { return _mm_setzero_si128(); }
    static void leave() {}
    static T widen(const Rgba* p) {
        return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero());
    }
    // Four pixels' sums in two vectors: four pixels held in a register
    // enter and four leave, and the four means as bytes.
    static void step4(T sums[2], __m128i in, __m128i out) {
        sums[0] = add(sums[0], sub(_mm_unpacklo_epi8(in, zero()), _mm_unpacklo_epi8(out, zero())));
        sums[1] = add(sums[1], sub(_mm_unpackhi_epi8(in, zero()), _mm_unpackhi_epi8(out, zero())));
    }
    static __m128i means4(const T sums[2], const Div& d) {
        return _mm_packus_epi16(quotient(sums[0], d), quotient(sums[1], d));
    }
    static void put(Rgba* p, T v) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(v, v));
    }
    static void put(uint16_t* p, T v) { store(p, v); }
    static void putPair(Rgba* p, T a, T b) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(a, b));
    }
    static T load(const uint16_t* p) { return _mm_loadu_si128(reinterpret_cast<const T*>(p)); }
    static void store(uint16_t* p, T v) { _mm_storeu_si128(reinterpret_cast<T*>(p), v); }
    static T add(T a, T b) { return _mm_add_epi16(a, b); }
    static T sub(T a, T b) { return _mm_sub_epi16(a, b); }
    // The sums of the last two columns at each of the vector's.
    static T window(Run& run, T w) {
        const T d = add(w, _mm_or_si128(_mm_slli_si128(w, 8), _mm_srli_si128(run.w, 8)));
        run.w = w;
        return d;
    }
    static T broadcast(const uint16_t* p) {
        return _mm_set1_epi64x(static_cast<long long>(pixelSums(p)));
    }
    static T quotient(T v, const Div& d) {
        if (d.n < 3) return d.n == 1 ? v : _mm_srli_epi16(v, 1);
        const T t = _mm_mulhi_epu16(v, d.magic);
        return _mm_mulhi_epu16(add(t, _mm_srli_epi16(sub(v, t), 1)), d.power);
    }
};

// 32-bit sums for wider windows, one pixel a vector; the quotient is
// boxMean's, lane by lane.
struct Sse2Wide {
    typedef __m128i T;
    typedef uint32_t E;
    static constexpr int kPx = 1;
    // Windows cut by an edge, whose size changes each pixel, go in lanes too.
    static constexpr bool kEdgeLanes = true;
    static __m128 reciprocals(int n, int) { return _mm_set1_ps(boxReciprocal(n)); }
    static T quotientBy(T v, __m128 reciprocal) {
        return _mm_cvttps_epi32(
            _mm_mul_ps(_mm_add_ps(_mm_cvtepi32_ps(v), _mm_set1_ps(0.5f)), reciprocal));
    }
    struct Div {
        __m128 reciprocal;
        explicit Div(int n) : reciprocal(_mm_set1_ps(boxReciprocal(n))) {}
    };
    struct Run {};
    static T zero() { return _mm_setzero_si128(); }
    static void leave() {}
    static T widen(const Rgba* p) {
        int word;
        std::memcpy(&word, p, sizeof word);
        const T bytes = _mm_cvtsi32_si128(word);
        return _mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero()), zero());
    }
    static void put(Rgba* p, T v) {
        const int word = _mm_cvtsi128_si32(_mm_packus_epi16(_mm_packs_epi32(v, v), zero()));
        std::memcpy(p, &word, sizeof word);
    }
    // Four pixels' sums in four vectors: four pixels held in a register
    // enter and four leave (their differences taken in 16 bits, then widened
    // with their sign), and the four means as bytes.
    static void step4(T sums[4], __m128i in, __m128i out) {
        const T lo = _mm_sub_epi16(_mm_unpacklo_epi8(in, zero()), _mm_unpacklo_epi8(out, zero()));
        const T hi = _mm_sub_epi16(_mm_unpackhi_epi8(in, zero()), _mm_unpackhi_epi8(out, zero()));
        sums[0] = add(sums[0], _mm_srai_epi32(_mm_unpacklo_epi16(lo, lo), 16));
        sums[1] = add(sums[1], _mm_srai_epi32(_mm_unpackhi_epi16(lo, lo), 16));
        sums[2] = add(sums[2], _mm_srai_epi32(_mm_unpacklo_epi16(hi, hi), 16));
        sums[3] = add(sums[3], _mm_srai_epi32(_mm_unpackhi_epi16(hi, hi), 16));
    }
    static __m128i means4(const T sums[4], const Div& d) {
        return _mm_packus_epi16(_mm_packs_epi32(quotient(sums[0], d), quotient(sums[1], d)),
                                _mm_packs_epi32(quotient(sums[2], d), quotient(sums[3], d)));
    }
    static void put(uint32_t* p, T v) { store(p, v); }
    static void putPair(Rgba* p, T a, T b) {
        put(p, a);
        put(p + kPx, b);
    }
    static T load(const uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const T*>(p)); }
    static void store(uint32_t* p, T v) { _mm_storeu_si128(reinterpret_cast<T*>(p), v); }
    static T add(T a, T b) { return _mm_add_epi32(a, b); }
    static T sub(T a, T b) { return _mm_sub_epi32(a, b); }
    static T window(Run&, T w) { return w; }
    static T broadcast(const uint32_t* p) { return load(p); }
    static T quotient(T v, const Div& d) { return quotientBy(v, d.reciprocal); }
};

#endif
