#include "image/sampling.h"

#include "image/clamp.h"
#include "image/lanes.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// Two-stage bilinear blend of r, g, b: each stage truncates and keeps the low
// byte (a negative weight can push a stage out of 0..255).
#if MORVANE_SIMD
inline Rgba bilinear(float fx, float fy, Rgba c00, Rgba c10, Rgba c01, Rgba c11) {
    const __m128i z = _mm_setzero_si128(), lowByte = _mm_set1_epi32(0xFF);
    auto floats = [z](Rgba p) {
        return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(pixelVector(p), z), z));
    };
    auto stage = [lowByte](__m128 g, __m128 a, __m128 f, __m128 b) {
        const __m128 sum = _mm_add_ps(_mm_mul_ps(g, a), _mm_mul_ps(f, b));
        return _mm_and_si128(_mm_cvttps_epi32(sum), lowByte);
    };
    const __m128 vfx = _mm_set1_ps(fx), vgx = _mm_set1_ps(1 - fx);
    const __m128 vfy = _mm_set1_ps(fy), vgy = _mm_set1_ps(1 - fy);
    const __m128i top = stage(vgx, floats(c00), vfx, floats(c10));
    const __m128i bottom = stage(vgx, floats(c01), vfx, floats(c11));
    const __m128i v = stage(vgy, _mm_cvtepi32_ps(top), vfy, _mm_cvtepi32_ps(bottom));
    Rgba out = vectorPixel(_mm_packus_epi16(_mm_packs_epi32(v, z), z));
    out.a = 255;
    return out;
}
#else
inline unsigned char truncByte(float v) { return static_cast<unsigned char>(static_cast<int>(v)); }

inline unsigned char blendChannel(float fx, float gx, float fy, float gy, unsigned char c00,
                                  unsigned char c10, unsigned char c01, unsigned char c11) {
    const unsigned char top = truncByte(gx * c00 + fx * c10);
    const unsigned char bottom = truncByte(gx * c01 + fx * c11);
    return truncByte(gy * top + fy * bottom);
}

inline Rgba bilinear(float fx, float fy, Rgba c00, Rgba c10, Rgba c01, Rgba c11) {
    const float gx = 1 - fx, gy = 1 - fy;
    return Rgba{blendChannel(fx, gx, fy, gy, c00.r, c10.r, c01.r, c11.r),
                blendChannel(fx, gx, fy, gy, c00.g, c10.g, c01.g, c11.g),
                blendChannel(fx, gx, fy, gy, c00.b, c10.b, c01.b, c11.b), 255};
}
#endif

// Positions one fold cannot bring into the tile (and NaN) are folded first.
inline float nearTile(float v, int size) {
    if (v >= static_cast<float>(-size) && v < 2.0f * static_cast<float>(size)) return v;
    float folded = std::fmod(v, static_cast<float>(size));
    if (folded < 0) folded += static_cast<float>(size);
    return folded == folded ? folded : 0.0f;
}


}  // namespace

Rgba imageRgbaInterpolate(ImageRGBA* img, float x, float y) {
    const int maxX = img->width - 1, maxY = img->height - 1;
    if (maxX < 0 || maxY < 0) return Rgba{0, 0, 0, 255};  // nothing to sample
    if (!(x >= 0)) x = 0;
    if (x > static_cast<float>(maxX)) x = static_cast<float>(maxX);
    if (!(y >= 0)) y = 0;
    if (y > static_cast<float>(maxY)) y = static_cast<float>(maxY);
    // Past 2^24 a float need not hold the last index exactly and may round
    // above it.
    const int x0 = std::min(static_cast<int>(x), maxX), y0 = std::min(static_cast<int>(y), maxY);
    // A neighbour past the border wraps to 0; its weight is 0 there.
    const int x1 = x0 + 1 > maxX ? 0 : x0 + 1;
    const int y1 = y0 + 1 > maxY ? 0 : y0 + 1;
    const Rgba* row0 = img->data + static_cast<size_t>(y0) * img->width;
    const Rgba* row1 = img->data + static_cast<size_t>(y1) * img->width;
    return bilinear(x - static_cast<float>(x0), y - static_cast<float>(y0), row0[x0], row0[x1],
                    row1[x0], row1[x1]);
}

namespace {

#if MORVANE_SIMD
MORVANE_TARGET_BEGIN("avx2")
namespace avx2 {
constexpr int N = 8;
inline lanes::of<N>::u gather(const Rgba* data, lanes::of<N>::i at) {
    return (lanes::of<N>::u)_mm256_i32gather_epi32(reinterpret_cast<const int*>(data),
                                                   (__m256i)at, 4);
}
#include "image/interpolate.inc"
}  // namespace avx2
MORVANE_TARGET_END

MORVANE_TARGET_BEGIN("avx2,avx512f,avx512bw,avx512dq,avx512vl")
namespace avx512 {
constexpr int N = 16;
inline lanes::of<N>::u gather(const Rgba* data, lanes::of<N>::i at) {
    // (The masked form: the plain one trips a false uninitialised warning.)
    return (lanes::of<N>::u)_mm512_mask_i32gather_epi32(_mm512_setzero_si512(), 0xffff,
                                                        (__m512i)at, data, 4);
}
#include "image/interpolate.inc"
}  // namespace avx512
MORVANE_TARGET_END
#endif

}  // namespace

void imageRgbaInterpolateRun(ImageRGBA* img, const float* xs, const float* ys, int n, Rgba* out) {
    int done = 0;
#if MORVANE_SIMD
    // Lanes hold pixel indices and whole coordinates exactly as floats.
    const int exact = 1 << 24;
    if (img->width > 0 && img->height > 0 && img->width <= exact && img->height <= exact &&
        static_cast<int64_t>(img->width) * img->height <= INT32_MAX) {
        if (simdLevel() >= Simd::avx512) {
            done = avx512::interpolateRun(img, xs, ys, n, out);
        } else if (simdLevel() >= Simd::avx2) {
            done = avx2::interpolateRun(img, xs, ys, n, out);
        }
    }
#endif
    for (int k = done; k < n; ++k) out[k] = imageRgbaInterpolate(img, xs[k], ys[k]);
}

int imageRgbaInterpolateSubImage(ImageRGBA* img, float x, float y, int w, int h, int offset) {
    if (w <= 0 || h <= 0) return 0;
    x = nearTile(x, w);
    y = nearTile(y, h);
    int xi = static_cast<int>(std::floor(x)), yi = static_cast<int>(std::floor(y));
    if (xi < 0) {
        xi += w;
        x += static_cast<float>(w);
    }
    if (yi < 0) {
        yi += h;
        y += static_cast<float>(h);
    }
    if (xi > w - 1) {
        xi -= w;
        x -= static_cast<float>(w);
    }
    if (yi > h - 1) {
        yi -= h;
        y -= static_cast<float>(h);
    }
    const float fx = x - static_cast<float>(xi), fy = y - static_cast<float>(yi);
    const float gx = 1 - fx, gy = 1 - fy;
    const int xn = xi + 1 > w - 1 ? xi + 1 - w : xi + 1;
    const int yn = yi + 1 > h - 1 ? yi + 1 - h : yi + 1;
    const Rgba* tile = img->data + offset;
    auto sample = [&](int u, int v) -> float { return tile[static_cast<size_t>(v) * w + u].r; };
    const int top = static_cast<int>(gx * sample(xi, yi) + fx * sample(xn, yi));
    const int bottom = static_cast<int>(gx * sample(xi, yn) + fx * sample(xn, yn));
    return static_cast<int>(gy * static_cast<float>(top) + fy * static_cast<float>(bottom));
}

Rgba imageRgbaInterpolateColors(float x, float y, Rgba c00, Rgba c10, Rgba c01, Rgba c11) {
    return bilinear(x - std::trunc(x), y - std::trunc(y), c00, c10, c01, c11);
}

Hsva RGBtoHSV(Rgba c) {
    const float r = c.r / 255.0f, g = c.g / 255.0f, b = c.b / 255.0f;
    const float max = std::max(r, std::max(g, b)), min = std::min(r, std::min(g, b));
    const float span = max - min;
    float h = 0;
    if (max != min) {
        // Later matches win: blue over green over red when maxima tie.
        if (max == r) h = (g - b) / span * 60;
        if (max == g) h = ((b - r) / span + 2) * 60;
        if (max == b) h = ((r - g) / span + 4) * 60;
    }
    const float s = max > 0 ? span / max : 0;
    return Hsva{h, s, max, c.a};
}

Rgba HSVtoRGB(Hsva c) {
    float h = c.h;
    // Outside 0..360 the sector formulas give no colour (negative hues) or
    // channels far out of range; wrap first.
    if (!(h >= 0 && h < 360)) {
        h = std::fmod(h, 360.0f);
        if (h < 0) h += 360;
        if (!(h < 360)) h = 0;
    }
    const float sector = h / 60;
    // With h in 0..360 the sector lies in 0..6 (below 6 even for the float just
    // under 360), where fmod(sector, 6) is the sector itself.
    const int i = static_cast<int>(sector);
    const float f = sector - static_cast<float>(i);
    const float v = c.v;
    const float p = v * (1 - c.s), q = v * (1 - c.s * f), t = v * (1 - c.s * (1 - f));
    // r, g, b of each sector, as indices into v, p, q, t.
    static const unsigned char kSectors[6][3] = {{0, 3, 1}, {2, 0, 1}, {1, 0, 3},
                                                 {1, 2, 0}, {3, 1, 0}, {0, 1, 2}};
    const float values[4] = {v, p, q, t};
    const unsigned char* order = kSectors[i];
    return Rgba{clampByte(values[order[0]] * 255), clampByte(values[order[1]] * 255),
                clampByte(values[order[2]] * 255), c.a};
}

int holdHighest(int* values, int count, int v) {
    // Everything before a displaced value is at least as large as it, so the
    // search for its new place may go on from the next element.
    for (int i = 0; i < count; ++i) {
        if (values[i] < v) std::swap(values[i], v);
    }
    return count;
}
