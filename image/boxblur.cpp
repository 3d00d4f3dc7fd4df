#include "image/boxblur.h"

#include "image/bands.h"
#include "image/boxlanes.h"
#include "image/boxmean.h"
#include "image/boxpipe.h"
#include "image/check.h"
#include "image/lanes.h"
#include "image/turned.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {
const char* const kSource = "image/boxblur";
}  // namespace

namespace {

template <bool Blend>
inline void putMean(Rgba& d, Rgba mean) {
    if constexpr (Blend) {
        const int m[4] = {mean.r, mean.g, mean.b, mean.a};
        d = blendOver(d, m);
    } else {
        d = mean;
    }
}

// The box window around i over lo..hi with radius r: its pixel count.
inline int windowCount(int i, int lo, int hi, int r) {
    return std::min(hi, i + r) - std::max(lo, i - r) + 1;
}


// One box pass along `count` lines of the region: line l has its pixels at
// base + l * across + i * along for i = 0..len - 1, and pixels from..to of
// each are made.
template <bool Blend>
void wideLines(const Rgba* src, Rgba* dst, size_t srcAcross, size_t srcAlong, size_t dstAcross,
               size_t dstAlong, int count, int len, int r, int from, int to) {
    for (int l = 0; l < count; ++l) {
        const Rgba* s = src + l * srcAcross;
        Rgba* d = dst + l * dstAcross;
        WideSum sum;
        for (int i = std::max(0, from - r), hi = std::min(len - 1, from + r); i <= hi; ++i)
            sum.add(s[i * srcAlong]);
        for (int i = from; i <= to; ++i) {
            if (i > from) {
                if (i - r - 1 >= 0) sum.sub(s[(i - r - 1) * srcAlong]);
                if (i + r <= len - 1) sum.add(s[(i + r) * srcAlong]);
            }
            putMean<Blend>(d[i * dstAlong], sum.mean(windowCount(i, 0, len - 1, r)));
        }
    }
}

#if MORVANE_SIMD

// Four pixels' window sums side by side, in the vectors of the box-sum
// policy V (image/boxlanes.h) whose sums suit windows up to MaxWindow
// pixels. step() lets one pixel per lane enter and one leave; means() gives
// the four means as bytes.
template <class V, int MaxWindow>
struct FourPixels {
    static constexpr int kMaxWindow = MaxWindow;
    struct Sums {
        typename V::T part[4 / V::kPx];
        Sums() {
            for (typename V::T& p : part) p = V::zero();
        }
    };
    typedef typename V::Div Divider;

    static void step(Sums& s, __m128i in, __m128i out) { V::step4(s.part, in, out); }
    static __m128i means(const Sums& s, const Divider& d) { return V::means4(s.part, d); }
};

typedef FourPixels<Sse2, kNarrowBoxWindow> NarrowLanes;
typedef FourPixels<Sse2Wide, kMediumBoxWindow> MediumLanes;

inline __m128i loadPixels(const Rgba* p, int count) {
    if (count == 4) return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    alignas(16) Rgba part[4] = {};
    std::memcpy(part, p, count * sizeof(Rgba));
    return _mm_load_si128(reinterpret_cast<const __m128i*>(part));
}

template <bool Blend>
inline void storePixels(Rgba* p, int count, __m128i means) {
    if (!Blend && count == 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), means);
        return;
    }
    alignas(16) Rgba part[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(part), means);
    for (int i = 0; i < count; ++i) putMean<Blend>(p[i], part[i]);
}

// Columns are walked in blocks, all columns of a block advancing row by row
// together, so that every step reads and writes whole row segments. Long
// segments keep the hardware prefetch streaming; 4096 columns of sums take
// at most 64 KiB of stack.
constexpr int kColumnBlock = 4096;
static_assert(kColumnBlock % 4 == 0, "blocks hold whole groups of four columns");
alignas(16) const Rgba kNoPixels[kColumnBlock] = {};

template <class Lanes, bool Blend>
void blurColumns(ImageRGBA* dest, const ImageRGBA* src, int x1, int y1, int x2, int y2, int r) {
    const size_t srcStride = src->width, destStride = dest->width;
    typename Lanes::Sums sums[kColumnBlock / 4];
    for (int c0 = x1; c0 <= x2; c0 += kColumnBlock) {
        const int cols = std::min(kColumnBlock, x2 - c0 + 1);
        const int groups = (cols + 3) / 4;
        const Rgba* s = src->data + c0;
        Rgba* d = dest->data + c0;
        for (int g = 0; g < groups; ++g) sums[g] = typename Lanes::Sums();
        for (int y = y1, hi = std::min(y2, y1 + r); y <= hi; ++y) {
            const Rgba* in = s + y * srcStride;
            for (int g = 0; g < groups; ++g) {
                const int lanes = std::min(4, cols - 4 * g);
                Lanes::step(sums[g], loadPixels(in + 4 * g, lanes), _mm_setzero_si128());
            }
        }
        int count = windowCount(y1, y1, y2, r);
        typename Lanes::Divider divider(count);
        for (int y = y1; y <= y2; ++y) {
            const bool enter = y > y1 && y + r <= y2, leave = y > y1 && y - r - 1 >= y1;
            const int n = windowCount(y, y1, y2, r);
            if (n != count) {
                count = n;
                divider = typename Lanes::Divider(n);
            }
            const Rgba* in = enter ? s + (y + r) * srcStride : kNoPixels;
            const Rgba* out = leave ? s + (y - r - 1) * srcStride : kNoPixels;
            Rgba* drow = d + y * destStride;
            for (int g = 0; g < groups; ++g) {
                const int lanes = std::min(4, cols - 4 * g);
                Lanes::step(sums[g], loadPixels(in + 4 * g, lanes), loadPixels(out + 4 * g, lanes));
                storePixels<Blend>(drow + 4 * g, lanes, Lanes::means(sums[g], divider));
            }
        }
    }
}

// Four vectors of four pixels, rows turned into columns (its own inverse).
inline void transpose(__m128i v[4]) {
    const __m128i t0 = _mm_unpacklo_epi32(v[0], v[1]), t1 = _mm_unpacklo_epi32(v[2], v[3]);
    const __m128i t2 = _mm_unpackhi_epi32(v[0], v[1]), t3 = _mm_unpackhi_epi32(v[2], v[3]);
    v[0] = _mm_unpacklo_epi64(t0, t1);
    v[1] = _mm_unpackhi_epi64(t0, t1);
    v[2] = _mm_unpacklo_epi64(t2, t3);
    v[3] = _mm_unpackhi_epi64(t2, t3);
}

// Rows are walked four at a time, the pixels of one column of the four
// forming a vector; a short last group repeats its last row but stores it
// once. Columns xa..xb of the rows are made.
template <class Lanes, bool Blend>
void blurRows(ImageRGBA* dest, const ImageRGBA* src, int x1, int y1, int x2, int y2, int r, int xa,
              int xb) {
    const __m128i none = _mm_setzero_si128();
    for (int y = y1; y <= y2; y += 4) {
        const int rows = std::min(4, y2 - y + 1);
        const Rgba* s[4];
        Rgba* d[4];
        for (int i = 0; i < 4; ++i) {
            const int row = y + std::min(i, rows - 1);
            s[i] = src->data + static_cast<size_t>(row) * src->width;
            d[i] = dest->data + static_cast<size_t>(row) * dest->width;
        }
        auto column = [&s](int x) {
            const __m128i a = _mm_unpacklo_epi32(pixelVector(s[0][x]), pixelVector(s[1][x]));
            const __m128i b = _mm_unpacklo_epi32(pixelVector(s[2][x]), pixelVector(s[3][x]));
            return _mm_unpacklo_epi64(a, b);
        };
        // Four columns at once, as column vectors (the loads spelt out so that
        // the vectors stay in registers).
        auto columns = [&s](int x, __m128i v[4]) __attribute__((always_inline)) {
            v[0] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s[0] + x));
            v[1] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s[1] + x));
            v[2] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s[2] + x));
            v[3] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s[3] + x));
            transpose(v);
        };
        auto put = [&](int x, __m128i means) {
            for (int i = 0; i < rows; ++i) {
                putMean<Blend>(d[i][x], vectorPixel(means));
                means = _mm_srli_si128(means, 4);
            }
        };
        typename Lanes::Sums sums;
        for (int x = std::max(x1, xa - r), hi = std::min(x2, xa + r); x <= hi; ++x)
            Lanes::step(sums, column(x), none);
        int count = windowCount(xa, x1, x2, r);
        typename Lanes::Divider divider(count);
        auto single = [&](int x) __attribute__((always_inline)) {
            if (x > xa) {
                Lanes::step(sums, x + r <= x2 ? column(x + r) : none,
                            x - r - 1 >= x1 ? column(x - r - 1) : none);
            }
            const int n = windowCount(x, x1, x2, r);
            if (n != count) {
                count = n;
                divider = typename Lanes::Divider(n);
            }
            put(x, Lanes::means(sums, divider));
        };
        // Inside x1 + r + 1 .. x2 - r a pixel enters and one leaves at every
        // step and the window is full: four steps share their loads and stores.
        const int inner = x1 + r + 1, innerEnd = std::min(x2 - r, xb);
        single(xa);
        int x = xa + 1;
        for (; x < std::min(inner, xb + 1); ++x) single(x);
        if (x + 3 <= innerEnd) {
            count = 2 * r + 1;
            divider = typename Lanes::Divider(count);
            for (; x + 3 <= innerEnd; x += 4) {
                __m128i in[4], out[4], means[4];
                columns(x + r, in);
                columns(x - r - 1, out);
                Lanes::step(sums, in[0], out[0]);
                means[0] = Lanes::means(sums, divider);
                Lanes::step(sums, in[1], out[1]);
                means[1] = Lanes::means(sums, divider);
                Lanes::step(sums, in[2], out[2]);
                means[2] = Lanes::means(sums, divider);
                Lanes::step(sums, in[3], out[3]);
                means[3] = Lanes::means(sums, divider);
                transpose(means);
                storePixels<Blend>(d[0] + x, 4, means[0]);
                if (rows > 1) storePixels<Blend>(d[1] + x, 4, means[1]);
                if (rows > 2) storePixels<Blend>(d[2] + x, 4, means[2]);
                if (rows > 3) storePixels<Blend>(d[3] + x, 4, means[3]);
            }
        }
        for (; x <= xb; ++x) single(x);
    }
}

#endif  // MORVANE_SIMD


// trunc(radius) for a window: one past the region changes nothing, and a
// negative radius (which would leave the first window empty) counts as 0.
int windowRadius(float radius, int span) {
    if (!(radius > 0)) return 0;
    if (radius >= static_cast<float>(span)) return span;
    return static_cast<int>(radius);
}

enum class Direction { rows, columns };

// Columns xa..xb of a row pass are made; a column pass makes the region.
template <Direction dir, bool Blend>
void boxPass(ImageRGBA* dest, const ImageRGBA* src, int x1, int y1, int x2, int y2, int r, int xa,
             int xb) {
    const int span = dir == Direction::rows ? x2 - x1 : y2 - y1;
    const int64_t window =
        std::min(2 * static_cast<int64_t>(r) + 1, static_cast<int64_t>(span) + 1);
#if MORVANE_SIMD
    if (window <= NarrowLanes::kMaxWindow) {
        if (dir == Direction::rows)
            return blurRows<NarrowLanes, Blend>(dest, src, x1, y1, x2, y2, r, xa, xb);
        return blurColumns<NarrowLanes, Blend>(dest, src, x1, y1, x2, y2, r);
    }
    if (window <= MediumLanes::kMaxWindow) {
        if (dir == Direction::rows)
            return blurRows<MediumLanes, Blend>(dest, src, x1, y1, x2, y2, r, xa, xb);
        return blurColumns<MediumLanes, Blend>(dest, src, x1, y1, x2, y2, r);
    }
#else
    (void)window;
#endif
    const size_t sw = src->width, dw = dest->width;
    const Rgba* s = src->data + y1 * sw + x1;
    Rgba* d = dest->data + y1 * dw + x1;
    if (dir == Direction::rows) {
        wideLines<Blend>(s, d, sw, 1, dw, 1, y2 - y1 + 1, x2 - x1 + 1, r, xa - x1, xb - x1);
    } else {
        wideLines<Blend>(s, d, 1, sw, 1, dw, x2 - x1 + 1, y2 - y1 + 1, r, 0, y2 - y1);
    }
}

template <Direction dir>
void boxPass(ImageRGBA* dest, const ImageRGBA* src, int x1, int y1, int x2, int y2, float radius,
             unsigned char blend) {
    if (!fitRegion(dest, src, x1, y1, x2, y2)) return;
    const int w = x2 - x1 + 1, h = y2 - y1 + 1;
    // A narrow region's columns are its transpose's rows.
    if (dir == Direction::columns && narrowRegion(x1, y1, x2, y2)) {
        TurnedRegion in(x1, y1, x2, y2, 0), out(x1, y1, x2, y2, 1);
        in.turn(src);
        if (blend == 2) out.turn(dest);
        boxPass<Direction::rows>(out.image(), in.image(), 0, 0, h - 1, w - 1, radius, blend);
        out.turnBack(dest);
        return;
    }
    const int r = windowRadius(radius, dir == Direction::rows ? x2 - x1 : y2 - y1);
    const double pixels = double(w) * h;
    // A window of one pixel is its mean: a copy (the column pass of a single
    // row, or of a narrow region's transpose).
    if (r == 0 && blend != 2) {
        inBands(y1, y2, pixels, [&](int from, int to) {
            for (int y = from; y <= to; ++y) {
                const Rgba* s = src->data + size_t(y) * src->width + x1;
                std::copy(s, s + w, dest->data + size_t(y) * dest->width + x1);
            }
        });
        return;
    }
    auto pass = [&](int px1, int py1, int px2, int py2, int xa, int xb) {
        if (blend == 2) {
            boxPass<dir, true>(dest, src, px1, py1, px2, py2, r, xa, xb);
        } else {
            boxPass<dir, false>(dest, src, px1, py1, px2, py2, r, xa, xb);
        }
    };
    // The rows of a row pass, and the columns of a column pass, are
    // independent. A few long rows share their columns instead, each part
    // summing its first window afresh.
    if (dir == Direction::rows) {
        const int parts = h < 16 ? int(std::min<int64_t>(16, w / (16 * (int64_t(r) + 1)))) : 1;
        if (parts > 1) {
            inBands(0, parts - 1, pixels, [&](int first, int last) {
                const int xa = x1 + int(int64_t(w) * first / parts);
                const int xb = x1 + int(int64_t(w) * (last + 1) / parts) - 1;
                pass(x1, y1, x2, y2, xa, xb);
            });
            return;
        }
        inBands(y1, y2, pixels, [&](int from, int to) { pass(x1, from, x2, to, x1, x2); });
    } else {
        inBands(x1, x2, pixels, [&](int from, int to) { pass(from, y1, to, y2, from, to); });
    }
}

}  // namespace

void horizontal_blur(ImageRGBA* dest, ImageRGBA* src, int x1, int y1, int x2, int y2, float radius,
                     int mode, unsigned char blend) {
    (void)mode;
    boxPass<Direction::rows>(dest, src, x1, y1, x2, y2, radius, blend);
}

void vertical_blur(ImageRGBA* dest, ImageRGBA* src, int x1, int y1, int x2, int y2, float radius,
                   int mode, unsigned char blend) {
    (void)mode;
    boxPass<Direction::columns>(dest, src, x1, y1, x2, y2, radius, blend);
}

namespace {

// Radius of gaussian's pass i (0 from the first that is 0 on).
float passRadius(float R, int i) {
    // trunc in float: the same whole number as a cast through int, and
    // defined for radii past the int range too.
    return i == 0 ? R
                  : std::trunc(R * std::exp(-static_cast<float>(static_cast<int64_t>(i) * i) / R));
}

int passCount(float R, int mode) {
    if (!(R > 0)) return 0;
    return mode != 2 ? 1 : R >= 2147483647.0f ? INT_MAX : static_cast<int>(R);
}

// More passes than this are run one by one (they would not stream in the
// cache anyway), without listing them first.
constexpr size_t kMostStreamedPasses = 4096;

// The pass radii of gaussian, in order, or false where there are too many.
bool listRadii(float R, int mode, std::vector<float>& radii) {
    for (int i = 0, n = passCount(R, mode); i < n; ++i) {
        const float r = passRadius(R, i);
        // The radii only shrink: once one is 0, so are the rest.
        if (!(r > 0)) break;
        if (radii.size() == kMostStreamedPasses) return false;
        radii.push_back(r);
    }
    return true;
}

// Replacing passes streamed through the cache together, the first reading
// src; false where they cannot be, or where there are none. The region is
// left limited to the images.
bool streamGaussian(ImageRGBA* temp, ImageRGBA* target, const ImageRGBA* src, int& x1, int& y1,
                    int& x2, int& y2, float R, int mode) {
    // Streaming keeps temp's and target's rows apart.
    if (temp->data == target->data) return false;
    static thread_local std::vector<float> radii;
    static thread_local std::vector<boxPassPair> pairs;
    radii.clear();
    pairs.clear();
    if (!listRadii(R, mode, radii) || radii.empty() || !fitRegion(temp, target, x1, y1, x2, y2))
        return false;
    for (float r : radii) pairs.push_back({windowRadius(r, x2 - x1), windowRadius(r, y2 - y1)});
    return streamBoxPasses(temp, target, src, x1, y1, x2, y2, pairs);
}

void gaussianPasses(ImageRGBA* temp, ImageRGBA* target, int x1, int y1, int x2, int y2, float R,
                    int mode, unsigned char blend) {
    for (int i = 0, n = passCount(R, mode); i < n; ++i) {
        const float r = passRadius(R, i);
        if (!(r > 0)) break;
        horizontal_blur(temp, target, x1, y1, x2, y2, r, mode, blend);
        vertical_blur(target, temp, x1, y1, x2, y2, r, mode, blend);
    }
}

// Copies everything of src outside the region (already inside both) into dest.
void copyAround(const ImageRGBA* src, ImageRGBA* dest, int x1, int y1, int x2, int y2) {
    const size_t w = src->width;
    auto rows = [&](int from, int to) {
        if (from >= to) return;
        std::memcpy(dest->data + from * w, src->data + from * w, (to - from) * w * sizeof(Rgba));
    };
    rows(0, y1);
    rows(y2 + 1, src->height);
    for (int y = y1; y <= y2; ++y) {
        const Rgba* s = src->data + y * w;
        Rgba* d = dest->data + y * w;
        std::copy(s, s + x1, d);
        std::copy(s + x2 + 1, s + w, d + x2 + 1);
    }
}

// The passes on the transpose of a narrow region, each row pass a column
// pass there and each column pass a row pass; the rest of target is src's.
// False, touching nothing, for another region or no pass.
bool turnedGaussian(ImageRGBA* temp, ImageRGBA* target, const ImageRGBA* src, int x1, int y1,
                    int x2, int y2, float R, int mode) {
    if (!fitRegion(temp, target, x1, y1, x2, y2) || !narrowRegion(x1, y1, x2, y2) ||
        !(passRadius(R, 0) > 0))
        return false;
    const int w = x2 - x1 + 1, h = y2 - y1 + 1;
    TurnedRegion blurred(x1, y1, x2, y2, 0), across(x1, y1, x2, y2, 1);
    blurred.turn(src);
    for (int i = 0, n = passCount(R, mode); i < n; ++i) {
        const float r = passRadius(R, i);
        if (!(r > 0)) break;
        boxPass<Direction::columns>(across.image(), blurred.image(), 0, 0, h - 1, w - 1, r, 1);
        boxPass<Direction::rows>(blurred.image(), across.image(), 0, 0, h - 1, w - 1, r, 1);
    }
    blurred.turnBack(target);
    across.turnBack(temp);
    if (src->data != target->data) copyAround(src, target, x1, y1, x2, y2);
    return true;
}

}  // namespace

void gaussian(ImageRGBA* temp, ImageRGBA* target, int x1, int y1, int x2, int y2, float radius,
              int mode, unsigned char blend) {
    int fx1 = x1, fy1 = y1, fx2 = x2, fy2 = y2;
    if (blend != 2 && (turnedGaussian(temp, target, target, x1, y1, x2, y2, radius, mode) ||
                       streamGaussian(temp, target, target, fx1, fy1, fx2, fy2, radius, mode)))
        return;
    gaussianPasses(temp, target, x1, y1, x2, y2, radius, mode, blend);
}

void gaussianOfCopy(ImageRGBA* temp, ImageRGBA* target, const ImageRGBA* src, int x1, int y1,
                    int x2, int y2, float radius, int mode) {
    MORVANE_CHECK(src->height == target->height && src->width == target->width, kSource);
    if (src->data != target->data && src->data != temp->data &&
        turnedGaussian(temp, target, src, x1, y1, x2, y2, radius, mode))
        return;
    int fx1 = x1, fy1 = y1, fx2 = x2, fy2 = y2;
    if (src->data != target->data && src->data != temp->data &&
        streamGaussian(temp, target, src, fx1, fy1, fx2, fy2, radius, mode)) {
        copyAround(src, target, fx1, fy1, fx2, fy2);
        return;
    }
    imageRgbaCopy(src, target);
    gaussianPasses(temp, target, x1, y1, x2, y2, radius, mode, 1);
}
