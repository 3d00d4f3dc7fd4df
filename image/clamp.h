// Clamping for the per-pixel loops: inline, and without branches (on noisy
// pictures a branch per channel mispredicts often).
//
// For bounds in order (lo <= hi) and any value, each gives what
// limit::intForceLimit (effects/classes.h) gives on that range: a value
// inside is truncated toward zero, and NaN goes to the low end. clampFloat is
// limit::forceLimit but for NaN, which it too sends to the low end.
#pragma once

#include "image/lanes.h"

// Whole numbers into lo..hi.
inline int clampInt(int v, int lo, int hi) {
    const int low = v < lo ? lo : v;
    return v > hi ? hi : low;
}

// Reals into lo..hi, truncated toward zero; NaN gives lo.
inline int clampInt(float v, int lo, int hi) {
#if MORVANE_SIMD
    // What the lines below say, in the instructions they mean: compilers
    // tend to branch on the upper bound instead.
    const __m128 low = _mm_max_ss(_mm_set_ss(v), _mm_set_ss(static_cast<float>(lo)));
    return _mm_cvttss_si32(_mm_min_ss(low, _mm_set_ss(static_cast<float>(hi))));
#else
    const float low = v > static_cast<float>(lo) ? v : static_cast<float>(lo);
    return static_cast<int>(low < static_cast<float>(hi) ? low : static_cast<float>(hi));
#endif
}
inline int clampInt(double v, int lo, int hi) {
    const double low = v > lo ? v : lo;
    return static_cast<int>(low < hi ? low : hi);
}

// Into lo..hi, not truncated; NaN gives lo.
inline float clampFloat(float v, float lo, float hi) {
    const float low = v > lo ? v : lo;
    return low < hi ? low : hi;
}

// Into 0..255, as a byte.
inline unsigned char clampByte(int v) { return static_cast<unsigned char>(clampInt(v, 0, 255)); }
inline unsigned char clampByte(float v) { return static_cast<unsigned char>(clampInt(v, 0, 255)); }

// Into a range of bytes with fields min and max (an effect's byteRange), as a
// byte.
template <class Range>
inline unsigned char clampByte(const Range& range, int v) {
    return static_cast<unsigned char>(clampInt(v, range.min, range.max));
}
template <class Range>
inline unsigned char clampByte(const Range& range, float v) {
    return static_cast<unsigned char>(clampInt(v, range.min, range.max));
}
template <class Range>
inline unsigned char clampByte(const Range& range, double v) {
    return static_cast<unsigned char>(clampInt(v, range.min, range.max));
}
