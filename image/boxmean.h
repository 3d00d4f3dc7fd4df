// Box-filter windows shared by the box and motion blurs: exact means of
// windows of bytes without a division instruction per channel (each gives
// sum / n, integer division, for every sum 0..255·n), and how a mean goes
// into the destination.
#pragma once

#include "image/clamp.h"
#include "image/imagergba.h"

#include <algorithm>
#include <cstdint>

// Windows up to 257 pixels: the sums fit 16 bits, and the quotient comes from
// a 16-bit multiply-high with the round-down correction (shift1 = 0 for n = 1).
constexpr int kNarrowBoxWindow = 257;

struct NarrowDivisor {
    uint16_t magic = 0;
    int shift1 = 0, shift2 = 0;
};

constexpr NarrowDivisor narrowDivisor(int n) {
    int l = 0;
    while ((1 << l) < n) ++l;
    const uint32_t magic = ((1u << 16) * ((1u << l) - static_cast<uint32_t>(n))) / n + 1;
    return NarrowDivisor{static_cast<uint16_t>(magic), l > 0 ? 1 : 0, l > 0 ? l - 1 : 0};
}

// Every divisor a narrow window needs, worked out while compiling.
struct NarrowDivisors {
    NarrowDivisor of[kNarrowBoxWindow + 1];
    constexpr NarrowDivisors() : of() {
        for (int n = 1; n <= kNarrowBoxWindow; ++n) of[n] = narrowDivisor(n);
    }
};
inline constexpr NarrowDivisors kNarrowDivisors{};

inline uint32_t narrowQuotient(uint32_t sum, NarrowDivisor d) {
    const uint32_t t = (sum * d.magic) >> 16;
    return (t + ((sum - t) >> d.shift1)) >> d.shift2;
}

// Windows up to 16384 pixels: trunc((sum + 0.5) * (1 / n)) in single
// precision. The half keeps an exact quotient clear of the rounding error
// below it, and that error stays under the 0.5 / n margin above.
constexpr int kMediumBoxWindow = 16384;

inline float boxReciprocal(int n) { return 1.0f / static_cast<float>(n); }

inline int boxMean(int sum, float reciprocal) {
    return static_cast<int>((static_cast<float>(sum) + 0.5f) * reciprocal);
}

// A window mean `m` (r, g, b, a) blended into the destination pixel by alpha.
// The weights are single precision like the rest of the per-pixel maths.
inline Rgba blendOver(Rgba d, const int m[4]) {
    const int alpha = m[3] + d.a;
    if (alpha == 0) return Rgba{0, 0, 0, 0};
    const float wm = m[3] / 255.0f, wd = d.a / 255.0f, total = alpha / 255.0f;
    auto channel = [&](int mean, unsigned char dc) {
        const int mixed = static_cast<int>(wm * static_cast<float>(mean) + wd * dc);
        return clampByte(static_cast<int>(static_cast<float>(mixed) / total));
    };
    return Rgba{channel(m[0], d.r), channel(m[1], d.g), channel(m[2], d.b), clampByte(alpha)};
}

// Any window size, one pixel at a time: 64-bit sums and integer division.
struct WideSum {
    int64_t v[4] = {0, 0, 0, 0};

    void add(Rgba p) {
        v[0] += p.r;
        v[1] += p.g;
        v[2] += p.b;
        v[3] += p.a;
    }
    void sub(Rgba p) {
        v[0] -= p.r;
        v[1] -= p.g;
        v[2] -= p.b;
        v[3] -= p.a;
    }
    Rgba mean(int64_t n) const {
        return Rgba{static_cast<unsigned char>(v[0] / n), static_cast<unsigned char>(v[1] / n),
                    static_cast<unsigned char>(v[2] / n), static_cast<unsigned char>(v[3] / n)};
    }
};

// The region limited to both images; false when nothing of it is left.
inline bool fitRegion(const ImageRGBA* a, const ImageRGBA* b, int& x1, int& y1, int& x2, int& y2) {
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    x2 = std::min(x2, std::min(a->width, b->width) - 1);
    y2 = std::min(y2, std::min(a->height, b->height) - 1);
    return x1 <= x2 && y1 <= y2;
}
