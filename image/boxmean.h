// Exact means of box-filter windows of bytes without a division instruction
// per channel. Each gives sum / n (integer division) for every sum 0..255·n.
#pragma once

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
