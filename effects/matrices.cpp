#include "effects/matrices.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "effects/rays.h"
#include "image/bands.h"
#include "image/boxblur.h"
#include "image/boxmean.h"
#include "image/clamp.h"
#include "image/motion.h"
#include "image/pi.h"

namespace {

// ---------------------------------------------------------------------------
// Settings of the filters whose modes bring their own (start, range, arrow
// step), and the kernel families of edge's modes.

constexpr modeSettings kBlurModes[] = {
    {{10, 1, 250, 1}},  // box radius
    {{5, 1, 100, 1}},   // first radius and number of passes
    {{5, 1, 250, 1}},   // box radius, rows only
    {{5, 1, 250, 1}},   // box radius, columns only
    {{5, 1, 250, 1}, settingInfo{45, 1, 179, 3}.wrapping()},  // length; direction in degrees
    {settingInfo{10, 1, 0, 1}.upTo(rangeRule::halfDiagonal)},  // greatest window half-width
    {{10, 1, 250, 1}},  // greatest angular window
};

constexpr modeSettings kSharpenModes[] = {
    {{5, 1, 250, 1}},  // box radius
    {{5, 1, 100, 1}},  // first radius of the iterated box
    {{1, 0, 9, 1}},    // kernel slot
};

// The kernel slot; Sobel Vertical's kernels are the second family's.
constexpr modeSettings kEdgeModes[] = {
    {{0, 0, 4, 1}}, {{0, 0, 4, 1}}, {{0, 0, 4, 1}}, {{0, 0, 4, 1}},
    {{5, 5, 9, 1}}, {{0, 0, 4, 1}}, {{0, 0, 4, 1}}, {{0, 0, 4, 1}},
};
// Kernel families; slot k holds radius k + 1, the second family slots 5..9.
enum kernelFamily { none, laplace, ring, ghost, sobelX, sobelY };
struct kernelFamilies {
    kernelFamily first, second;
};
constexpr kernelFamilies kEdgeKernels[] = {
    {laplace, none}, {ring, none},    {sobelX, sobelY}, {sobelX, sobelY},
    {sobelX, sobelY}, {laplace, none}, {laplace, none},  {ghost, none},
};

// The size at the start: the gain of the glow and of the haze, in tenths.
constexpr int kGainStart = 10;

// ---------------------------------------------------------------------------
// Kernels

// The ten predefined sharpening kernels: outer cells -a, centre 1 + 8a.
constexpr float kSharpenOuter[10] = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.7f, 0.9f, 1.1f, 1.4f, 1.8f};
constexpr float kSharpenCentre[10] = {1.8f, 2.6f, 3.4f, 4.2f, 5.0f, 6.6f, 8.2f, 9.8f, 12.2f, 15.4f};

// The rings of the strong Laplace and the ghost, radius 1 to 5: '#' a ring
// cell, 'c' the centre.
const char* const kRings[5][11] = {
    {"###", "#c#", "###"},
    {".###.", "#...#", "#.c.#", "#...#", ".###."},
    {"..###..", ".#...#.", "#.....#", "#..c..#", "#.....#", ".#...#.", "..###.."},
    {"..#####..", ".#.....#.", "#.......#", "#.......#", "#...c...#", "#.......#", "#.......#",
     ".#.....#.", "..#####.."},
    {"...#####...", "..#.....#..", ".#.......#.", "#.........#", "#.........#", "#....c....#",
     "#.........#", "#.........#", ".#.......#.", "..#.....#..", "...#####..."},
};

// Emboss, radius 1, by direction (mode - 1); larger radii follow from these.
constexpr float kEmbossOne[8][9] = {
    {1, 0, -1, 2, 1, -2, 1, 0, -1},   // Right
    {1, -2, -1, 2, 1, -2, 1, 2, -1},  // Right-Up
    {-1, -2, -1, 0, 1, 0, 1, 2, 1},   // Up
    {-1, -2, -1, -2, 1, 2, 1, 2, 1},  // Left-Up
    {-1, 0, 1, -2, 1, 2, -1, 0, 1},   // Left
    {1, 2, 1, -2, 1, 2, -1, -2, -1},  // Left-Down
    {1, 2, 1, 0, 1, 0, -1, -2, -1},   // Down
    {1, 2, -1, 2, 1, -2, 1, -2, -1},  // Right-Down
};
// Left at radius 3 has its light side one column in from the border.
constexpr int kLeft = 4, kLeftOddRadius = 3;
constexpr float kLeftThree[49] = {
    -1, 0, 0, 0, 0, 1, 0,  //
    -1, 0, 0, 0, 0, 1, 0,  //
    -1, 0, 0, 0, 0, 1, 0,  //
    -2, 0, 0, 1, 0, 2, 0,  //
    -1, 0, 0, 0, 0, 1, 0,  //
    -1, 0, 0, 0, 0, 1, 0,  //
    -1, 0, 0, 0, 0, 1, 0,  //
};

constexpr int kRadii = 5;  // the kernel families' radii 1..5 in slots 0..4

// A heap kernel of radius r whose cell (dy, dx) is cell(dy, dx).
template <class Cell>
matrix* kernelOf(int r, short divisor, Cell cell) {
    float values[121];
    const int side = 2 * r + 1;
    for (int dy = -r; dy <= r; ++dy) {
        for (int dx = -r; dx <= r; ++dx) values[(dy + r) * side + dx + r] = cell(dy, dx);
    }
    return new matrix(values, static_cast<char>(r), divisor);
}

template <class T>
int sign(T v) {
    return (v > 0) - (v < 0);
}

matrix* familyKernel(kernelFamily f, int r) {
    switch (f) {
        case laplace:
            return kernelOf(r, 1, [r](int dy, int dx) -> float {
                if (dy == 0 && dx == 0) return -4;
                return (dy == 0 && std::abs(dx) == r) || (dx == 0 && std::abs(dy) == r) ? 1 : 0;
            });
        case ring:
        case ghost: {
            const char* const* rows = kRings[r - 1];
            int cells = 0;
            for (int i = 0; i < 2 * r + 1; ++i)
                cells += static_cast<int>(std::count(rows[i], rows[i] + 2 * r + 1, '#'));
            const float centre = static_cast<float>(-cells + (f == ghost ? 1 : 0));
            return kernelOf(r, 1, [=](int dy, int dx) -> float {
                const char c = rows[dy + r][dx + r];
                return c == '#' ? 1 : c == 'c' ? centre : 0;
            });
        }
        case sobelX:
            return kernelOf(r, 1, [r](int dy, int dx) -> float {
                return std::abs(dx) == r ? static_cast<float>(sign(dx) * (dy == 0 ? 2 : 1)) : 0;
            });
        case sobelY:
            return kernelOf(r, 1, [r](int dy, int dx) -> float {
                return std::abs(dy) == r ? static_cast<float>(sign(dy) * (dx == 0 ? 2 : 1)) : 0;
            });
        case none:
            break;
    }
    return nullptr;
}

// Centre 1; a border cell takes the sign of the radius-1 cell in its
// direction, 2 in the middle of a side and 1 elsewhere.
matrix* embossKernel(int direction, int r) {
    if (direction == kLeft && r == kLeftOddRadius) {
        float values[49];
        std::copy(kLeftThree, kLeftThree + 49, values);
        return new matrix(values, static_cast<char>(r), 1);
    }
    const float* one = kEmbossOne[direction];
    return kernelOf(r, 1, [=](int dy, int dx) -> float {
        if (dy == 0 && dx == 0) return 1;
        if (std::abs(dy) != r && std::abs(dx) != r) return 0;
        const int a = std::abs(dy) == r ? sign(dy) : 0, b = std::abs(dx) == r ? sign(dx) : 0;
        const float towards = one[(a + 1) * 3 + b + 1];
        return static_cast<float>(sign(towards) * (dy == 0 || dx == 0 ? 2 : 1));
    });
}

// ---------------------------------------------------------------------------
// Shared steps

// body(y) for the rows of the area, on both cores.
template <class Body>
void eachRow(pixelRect a, Body body) {
    const double pixels = (a.x1 - a.x0 + 1.0) * (a.y1 - a.y0 + 1.0);
    inBands(a.y0, a.y1, pixels, [&](int from, int to) {
        for (int y = from; y <= to; ++y) body(y);
    });
}

inline Rgba* rowOf(ImageRGBA* img, int y) {
    return img->data + static_cast<size_t>(y) * img->width;
}

bool empty(pixelRect a) { return a.x0 > a.x1 || a.y0 > a.y1; }

// (R / N, G / N, B / N, 255) in integer division, each clamped into the byte
// range. Sums of whole samples take the exact quotient by reciprocal instead
// of three divisions.
inline Rgba meanOf(int R, int G, int B, int N, limit bytes) {
    const int most = 255 * N;
    if (N > 0 && N <= kMediumBoxWindow && R >= 0 && G >= 0 && B >= 0 && R <= most && G <= most &&
        B <= most) {
        const float reciprocal = boxReciprocal(N);
        R = boxMean(R, reciprocal), G = boxMean(G, reciprocal), B = boxMean(B, reciprocal);
    } else {
        R /= N, G /= N, B /= N;
    }
    return Rgba{clampByte(bytes, R), clampByte(bytes, G), clampByte(bytes, B), 255};
}

// ---------------------------------------------------------------------------
// Radial blur (blur mode 6)

// dx² + dy², exact for any picture and without overflow for a pointer far
// off it.
double squared(long long dx, long long dy) {
    return double(dx) * double(dx) + double(dy) * double(dy);
}

inline bool inArea(pixelRect a, long long x, long long y) {
    return x >= a.x0 && x <= a.x1 && y >= a.y0 && y <= a.y1;
}

// A sample position: truncated toward zero; far beyond any picture it only
// has to stay there.
inline int pixelOf(float v) {
    constexpr float kFar = 1e9f;
    return v > kFar    ? static_cast<int>(kFar)
           : v < -kFar ? -static_cast<int>(kFar)
                       : static_cast<int>(v);
}

// The mean of the r, g and b of the samples on a ray's stretch, written at
// the stretch's centre.
Rgba radialMean(const int sum[4], int n, const void* bytes) {
    return meanOf(sum[0], sum[1], sum[2], n, *static_cast<const limit*>(bytes));
}

// A gap takes the first written pixel on its probe toward the centre:
// (x + trunc(i sx), y + trunc(i sy)) for i = 0, 1, ... while i < d. Both
// coordinates move one way only, so once the probe has left the area it
// stays out.
struct probe {
    float sx, sy, d;
    probe(long long dx, long long dy) : d(rayLength(dx, dy)) {
        const float t = rayAngle(dx, dy);
        // A zero dx or dy keeps the probe in the pixel's column or row.
        sx = static_cast<float>(sign(dx)) * std::sin(t);
        sy = static_cast<float>(sign(dy)) * std::cos(t);
    }
};

inline int offsetAt(long long i, float s) { return pixelOf(static_cast<float>(i) * s); }

void fillGapStepByStep(ImageRGBA* image, pixelRect a, long long cx, long long cy, int x, int y) {
    const long long dx = cx - x, dy = cy - y;
    if (dx == 0 && dy == 0) return;
    const probe p(dx, dy);
    for (long long i = 0; static_cast<float>(i) < p.d; ++i) {
        const long long px = x + offsetAt(i, p.sx), py = y + offsetAt(i, p.sy);
        if (!inArea(a, px, py)) break;
        const Rgba q = rowOf(image, static_cast<int>(py))[px];
        if (q.a != 0) {
            rowOf(image, y)[x] = q;
            break;
        }
    }
}

// The first step i in 1..limit whose offset trunc(i s) gets as far as
// `target` (on s's side of zero), or -1. Offsets only grow away from zero
// with i, so a guess from the quotient is corrected by single steps.
long long firstStepTo(float s, long long target, long long limit) {
    auto reached = [&](long long i) {
        const int o = offsetAt(i, s);
        return target > 0 ? o >= target : o <= target;
    };
    if (target == 0 || s == 0 || (target > 0) != (s > 0) || !reached(limit)) return -1;
    long long i = std::clamp(static_cast<long long>(static_cast<double>(target) / s), 1LL, limit);
    while (i > 1 && reached(i - 1)) --i;
    while (!reached(i)) ++i;
    return i;
}

// 64 bits of a row's bit set from bit `pos` on; bits beyond the row are 0.
uint64_t bitsFrom(const uint64_t* row, long long words, long long pos) {
    const long long q = pos >= 0 ? pos / 64 : -((63 - pos) / 64);
    const int shift = static_cast<int>(pos - q * 64);
    auto word = [&](long long k) { return k >= 0 && k < words ? row[k] : 0; };
    return shift == 0 ? word(q) : (word(q) >> shift) | (word(q + 1) << (64 - shift));
}

template <class T>
bool monotone(const T* v, long long n) {
    bool up = true, down = true;
    for (long long k = 1; k < n; ++k) up &= v[k] >= v[k - 1], down &= v[k] <= v[k - 1];
    return up || down;
}

}  // namespace

// With the pointer far off, the probes of a row run side by side: at each
// step the offsets of neighbouring pixels agree over long runs, so a whole
// run is tested at once against a bit set of the written pixels, and steps
// through rows holding nothing are skipped. The pixels are read and written
// in the order of the step-by-step loop: rows above as already filled, rows
// below as the rays left them, and the pixel's own row one pixel at a time.
bool fillRadialGapsAlongLines(ImageRGBA* image, pixelRect a, point centre) {
    if (empty(a)) return true;
    const long long cx = centre.x, cy = centre.y;
    const long long W = a.x1 - a.x0 + 1, H = a.y1 - a.y0 + 1;
    // Every probe leaves the area within `limit` steps, long before its length
    // d runs out; the offsets of a row must then be monotone along it.
    const long long limit = 2 * (W + H) + 8;
    if (!(cx < a.x0 - 2 * limit || cx > a.x1 + 2 * limit || cy < a.y0 - 2 * limit ||
          cy > a.y1 + 2 * limit))
        return false;
    const long long words = (W + 63) / 64;
    std::vector<uint64_t> bits(static_cast<size_t>(H * words));
    std::vector<float> xs(static_cast<size_t>(W * H)), ys(xs.size());
    std::vector<char> holds(static_cast<size_t>(H));  // whether a row has a written pixel
    eachRow(a, [&](int y) {
        const long long r = y - a.y0;
        const Rgba* row = rowOf(image, y) + a.x0;
        uint64_t* b = &bits[r * words];
        for (long long x = 0; x < W; ++x) {
            if (row[x].a != 0) b[x / 64] |= uint64_t{1} << (x % 64);
            const probe p(cx - (a.x0 + x), cy - y);
            xs[r * W + x] = p.sx, ys[r * W + x] = p.sy;
        }
        holds[r] = std::any_of(b, b + words, [](uint64_t w) { return w != 0; });
    });
    // The first row from r down holding a written pixel (H if none); the last
    // one from r up (-1 if none), kept up to date as rows are filled.
    std::vector<long long> below(static_cast<size_t>(H + 1), H), above(static_cast<size_t>(H), -1);
    for (long long r = H - 1; r >= 0; --r) below[r] = holds[r] ? r : below[r + 1];

    struct scratch {
        std::vector<uint64_t> open;   // gaps whose probe has found nothing yet
        std::vector<int> found;       // the step at which another row's pixel was found
        std::vector<long long> left;  // written pixels of the row left of the current one
        std::vector<std::pair<long long, long long>> runs;  // stretches of the row to split
        std::vector<long long> right;  // the first pixel from x on that the rays wrote (W if none)
        explicit scratch(long long W)
            : open(static_cast<size_t>((W + 63) / 64)),
              found(static_cast<size_t>(W)),
              right(static_cast<size_t>(W + 1)) {}
    };

    auto fillRow = [&](int y, scratch& s) {
        const long long r = y - a.y0;
        const float *sx = &xs[r * W], *sy = &ys[r * W];
        Rgba* row = rowOf(image, y) + a.x0;
        const uint64_t* own = &bits[r * words];
        if (!monotone(sx, W) || !monotone(sy, W) || (sy[0] > 0 && sy[W - 1] < 0) ||
            (sy[0] < 0 && sy[W - 1] > 0)) {
            // Step by step; other rows as the bit sets hold them, which the
            // other core's filling does not touch.
            for (long long x = 0; x < W; ++x) {
                for (long long i = 1; row[x].a == 0 && i <= limit; ++i) {
                    const long long px = x + offsetAt(i, sx[x]), py = r + offsetAt(i, sy[x]);
                    if (px < 0 || px >= W || py < 0 || py >= H) break;
                    if (py == r ? row[px].a != 0 : (bits[py * words + px / 64] >> (px % 64)) & 1)
                        row[x] = rowOf(image, static_cast<int>(a.y0 + py))[a.x0 + px];
                }
            }
            return;
        }
        // Steps into other rows first, for the whole row at once.
        long long open = 0;
        for (long long k = 0; k < words; ++k) {
            uint64_t w = ~own[k];
            if (k == words - 1 && W % 64 != 0) w &= (uint64_t{1} << (W % 64)) - 1;
            s.open[k] = w;
            open += __builtin_popcountll(w);
        }
        std::fill(s.found.begin(), s.found.end(), 0);
        const float fastest = std::fabs(sy[0]) >= std::fabs(sy[W - 1]) ? sy[0] : sy[W - 1];
        auto& runs = s.runs;
        for (long long i = 1; open > 0 && i <= limit;) {
            bool inside = false, readsWritten = false;
            long long lag = LLONG_MAX;
            runs.assign(1, {0, W - 1});
            while (!runs.empty()) {
                const auto [lo, hi] = runs.back();
                runs.pop_back();
                const int ox = offsetAt(i, sx[lo]), oy = offsetAt(i, sy[lo]);
                if (ox != offsetAt(i, sx[hi]) || oy != offsetAt(i, sy[hi])) {
                    const long long mid = lo + (hi - lo) / 2;
                    runs.push_back({lo, mid});
                    runs.push_back({mid + 1, hi});
                    continue;
                }
                const long long from = std::max(lo, -static_cast<long long>(ox)),
                                to = std::min(hi, W - 1 - ox), source = r + oy;
                if (from > to || source < 0 || source >= H) continue;
                inside = true;
                lag = std::min(lag, static_cast<long long>(std::abs(oy)));
                if (oy == 0 || !holds[source]) continue;
                readsWritten = true;
                const uint64_t* src = &bits[source * words];
                for (long long k = from / 64; k <= to / 64; ++k) {
                    uint64_t mask = s.open[k];
                    if (k == from / 64) mask &= ~uint64_t{0} << (from % 64);
                    if (k == to / 64) mask &= ~uint64_t{0} >> (63 - to % 64);
                    uint64_t hit = mask ? mask & bitsFrom(src, words, k * 64 + ox) : 0;
                    if (hit == 0) continue;
                    s.open[k] &= ~hit;
                    open -= __builtin_popcountll(hit);
                    for (; hit; hit &= hit - 1)
                        s.found[k * 64 + __builtin_ctzll(hit)] = static_cast<int>(i);
                }
            }
            if (!inside) break;
            if (readsWritten) {
                ++i;
                continue;
            }
            // Nothing written in the rows read now nor before the next row
            // that holds something: no probe can find anything until the
            // fastest of them gets there.
            const long long start = r + (fastest > 0 ? 1 : -1) * std::max(lag, 1LL);
            const long long next = fastest > 0   ? (start < H ? below[start] : H)
                                   : start >= 0 ? above[start]
                                                : -1;
            const long long j = next < 0 || next >= H ? -1 : firstStepTo(fastest, next - r, limit);
            if (j < 0) break;
            i = std::max(i + 1, j);
        }
        // Then pixel by pixel: a written pixel in the probe's own row comes
        // first, read as it is at that moment.
        s.left.clear();
        s.right[W] = W;
        for (long long x = W - 1; x >= 0; --x) s.right[x] = row[x].a != 0 ? x : s.right[x + 1];
        for (long long x = 0; x < W; ++x) {
            if (row[x].a != 0) {
                s.left.push_back(x);
                continue;
            }
            const float fx = sx[x], fy = sy[x];
            long long end = fy == 0 ? -1 : firstStepTo(fy, fy > 0 ? 1 : -1, limit);
            if (end < 0) end = limit + 1;
            auto member = [&](long long q) {  // 1 on the row's stretch, 0 beyond it, -1 missed
                const long long j = firstStepTo(fx, q - x, limit);
                if (j < 0 || j >= end) return 0;
                return offsetAt(j, fx) == q - x ? 1 : -1;
            };
            long long hit = -1;
            if (fx < 0) {
                for (auto q = s.left.rbegin(); q != s.left.rend(); ++q) {
                    const int m = member(*q);
                    if (m == 0) break;
                    if (m == 1) {
                        hit = *q;
                        break;
                    }
                }
            } else if (fx > 0) {
                for (long long q = s.right[x + 1]; q < W; q = s.right[q + 1]) {
                    const int m = member(q);
                    if (m == 0) break;
                    if (m == 1) {
                        hit = q;
                        break;
                    }
                }
            }
            if (hit >= 0) {
                row[x] = row[hit];
            } else if (s.found[x] != 0) {
                const long long i = s.found[x];
                const Rgba* source = rowOf(image, static_cast<int>(y + offsetAt(i, fy)));
                row[x] = source[a.x0 + x + offsetAt(i, fx)];
            }
            if (row[x].a != 0) s.left.push_back(x);
        }
    };

    if (cy >= a.y1) {
        // Every probe moves down or along its row: rows below are read as the
        // rays left them, so the rows are independent.
        inBands(a.y0, a.y1, static_cast<double>(W) * static_cast<double>(H), [&](int from, int to) {
            scratch s(W);
            for (int y = from; y <= to; ++y) fillRow(y, s);
        });
        return true;
    }
    scratch s(W);
    for (int y = a.y0; y <= a.y1; ++y) {
        fillRow(y, s);
        const long long r = y - a.y0;
        const Rgba* row = rowOf(image, y) + a.x0;
        uint64_t* b = &bits[r * words];
        for (long long x = 0; x < W; ++x)
            if (row[x].a != 0) b[x / 64] |= uint64_t{1} << (x % 64);
        holds[r] = std::any_of(b, b + words, [](uint64_t w) { return w != 0; });
        above[r] = holds[r] ? r : r > 0 ? above[r - 1] : -1;
    }
    return true;
}

namespace {

// Whether the probes run side by side closely enough for the shortcut to pay:
// far enough off that the rays leave most of the area to the gap fill, or
// where the offsets across a row part into few runs (about the steps across
// the area's short side times how far the probes fan out over them).
bool probesRunSideBySide(pixelRect a, long long cx, long long cy) {
    const double W = a.x1 - a.x0 + 1.0, H = a.y1 - a.y0 + 1.0;
    const double off = static_cast<double>(std::max({a.x0 - cx, cx - a.x1, a.y0 - cy, cy - a.y1}));
    const double steps = 1.5 * std::min(W, H) + 2;
    return off >= 1 << 21 || H * steps * steps * W <= 2e8 * off;
}

void radialBlur(ImageRGBA* image, const ImageRGBA* backup, pixelRect a, point centre, float v,
                limit bytes) {
    imageRgbaSetArea(image, a.x0, a.y0, a.x1 + 1, a.y1 + 1, Rgba{0, 0, 0, 0});
    rays(a, centre, v, rays::widening::stepShare, rays::written::atCentre)
        .cast(backup, image, radialMean, &bytes);
    const long long cx = centre.x, cy = centre.y;
    if (probesRunSideBySide(a, cx, cy) && fillRadialGapsAlongLines(image, a, centre)) return;
    // Gaps take the first written pixel toward the centre, in raster order.
    for (int y = a.y0; y <= a.y1; ++y) {
        for (int x = a.x0; x <= a.x1; ++x)
            if (rowOf(image, y)[x].a == 0) fillGapStepByStep(image, a, cx, cy, x, y);
    }
}

// ---------------------------------------------------------------------------
// Spheric blur (blur mode 7)

// The angles a at which the point (r sin a + ox, r cos a + oy) of a circle
// can fall within `margin` pixels of the area: at most four arcs within
// -pi/2 .. 3pi/2. A point outside all of them lies outside the area.
struct arcs {
    double lo[4], hi[4];
    int count = 0;

    arcs(pixelRect a, double ox, double oy, double r, double margin)
        : arcs(a, ox, oy, r, margin, margin) {}

    // With a margin of its own across and down.
    arcs(pixelRect a, double ox, double oy, double r, double marginX, double marginY) {
        const double p = (a.x0 - 1 - marginX - ox) / r, q = (a.x1 + 1 + marginX - ox) / r;
        const double pc = (a.y0 - 1 - marginY - oy) / r, qc = (a.y1 + 1 + marginY - oy) / r;
        if (p > 1 || q < -1 || pc > 1 || qc < -1) return;
        // sin a within p..q on its rising and its falling half; a thin area
        // leaves one of them whole, and its ends need no arc sine.
        const double s0 = p <= -1 ? -kPi / 2 : std::asin(p), s1 = q >= 1 ? kPi / 2 : std::asin(q);
        const double sines[2][2] = {{s0, s1}, {kPi - s1, kPi - s0}};
        // cos a within pc..qc on its falling half, and on the rising half
        // before it and after it.
        const double c0 = qc >= 1 ? 0 : std::acos(qc), c1 = pc <= -1 ? kPi : std::acos(pc);
        const double cosines[3][2] = {{c0, c1}, {-c1, -c0}, {2 * kPi - c1, 2 * kPi - c0}};
        for (const auto& sn : sines) {
            for (const auto& cs : cosines) {
                const double lo = std::max(sn[0], cs[0]), hi = std::min(sn[1], cs[1]);
                if (lo <= hi && count < 4) {
                    this->lo[count] = lo;
                    this->hi[count] = hi;
                    ++count;
                }
            }
        }
    }

    bool holds(double angle) const {
        for (int i = 0; i < count; ++i) {
            const double turns = std::floor((angle - lo[i]) / (2 * kPi));
            if (angle - turns * 2 * kPi <= hi[i]) return true;
        }
        return false;
    }

    // The first angle from `angle` on that the arcs hold (infinity if none).
    double nextStart(double angle) const {
        double next = HUGE_VAL;
        for (int i = 0; i < count; ++i) {
            const double turns = std::floor((angle - lo[i]) / (2 * kPi));
            if (angle - turns * 2 * kPi <= hi[i]) return angle;
            next = std::min(next, lo[i] + (turns + 1) * 2 * kPi);
        }
        return next;
    }
};

// How far a computed point may stray from the true one, in pixels: the
// truncation, and single precision at the size of the coordinates (the
// radius as a float, the sine or cosine, the product and the sum each round
// by at most 0.6 units of 2^-23, in all below 2.5e-7 of their size).
double slack(double ox, double oy, double r) {
    return 2 + (std::fabs(ox) + std::fabs(oy) + r) * 3e-7;
}

// Steps below this are whole floats.
constexpr long long kExactSteps = 1LL << 24;

struct sphericRings {
    ImageRGBA* image;
    const ImageRGBA* backup;
    pixelRect area;
    long long cx, cy;  // the centre
    float ox, oy;      // ... as sample positions use it
    // Steps from..to of a ring at one position, with the sample there (r, g,
    // b and 1, or nothing outside the area) and the totals before them.
    struct stretch {
        long long from, to;
        point p;
        long long before[4];
        int sample[4];
    };
    std::vector<stretch> stretches;
    // The steps of a run whose positions lie in the area.
    struct hit {
        long long k;
        point p;
    };
    std::vector<hit> hits;
    // The steps near the area, near the part, and those walked.
    std::vector<std::pair<long long, long long>> runs, partRuns, walks;
    // The rings write only here; the samples come from the whole area.
    pixelRect part;
    // ... and only as near the centre as this, squared.
    double withinSquared = HUGE_VAL;

    point at(float r, long long m, float dt) const {
        const float angle = static_cast<float>(m) * dt;
        return point(pixelOf(r * std::sin(angle) + ox), pixelOf(r * std::cos(angle) + oy));
    }

    bool inside(point p) const { return inArea(area, p.x, p.y); }
    bool inPart(point p) const {
        return inArea(part, p.x, p.y) && squared(p.x - cx, p.y - cy) <= withinSquared;
    }

    // Ring r: each output pixel the mean of the 2W + 1 ring samples around it.
    void ring(long long r, long long rMax, float v, limit bytes) {
        const float fr = static_cast<float>(r);
        const float dt = std::atan(1.0f / fr);
        const int W = truncToInt(fr / static_cast<float>(rMax) * v);
        const double bound = 2.0 * W + 2 * kPi / dt;
        const long long kEnd = static_cast<long long>(std::ceil(bound));  // k < bound
        stepsNear(area, r, dt, kEnd, runs);
        const bool whole =
            part.x0 == area.x0 && part.x1 == area.x1 && part.y0 == area.y0 && part.y1 == area.y1;
        if (!whole) stepsNear(part, r, dt, kEnd, partRuns);
        // Runs closer than a window go as one, so that each sum starts empty.
        const long long spread = 2LL * W + 1;
        walks.clear();
        for (size_t i = 0; i < runs.size(); ++i) {
            long long first = runs[i].first, last = runs[i].second;
            while (i + 1 < runs.size() && runs[i + 1].first <= last + spread) {
                last = std::max(last, runs[++i].second);
            }
            if (first > last) continue;
            if (whole) {
                walks.emplace_back(first, last);
                continue;
            }
            // Of a run over the whole area, the part needs the steps that can
            // write in it and the window around them; the samples before such
            // a stretch lie outside the area or outside every window it writes.
            for (const auto& p : partRuns) {
                const long long from = std::max(first, p.first - W);
                const long long to = std::min(last, p.second + W);
                if (from > to) continue;
                if (!walks.empty() && from <= walks.back().second + spread) {
                    walks.back().second = std::max(walks.back().second, to);
                } else {
                    walks.emplace_back(from, to);
                }
            }
        }
        for (const auto& run : walks) {
            const long long first = run.first, last = run.second;
            if (first > last) continue;
            const long long end = std::min(last + W, kEnd - 1);
            if (last < kExactSteps) {
                walkSteps(fr, dt, W, first, last, end, bytes);
            } else {
                walk(fr, dt, W, first, last, end, bytes);
            }
        }
    }

    // The steps of a ring of radius r whose positions can lie in `box`, in
    // order: the whole ring when it is short.
    void stepsNear(const pixelRect& box, long long r, float dt, long long kEnd,
                   std::vector<std::pair<long long, long long>>& out) const {
        out.clear();
        if (kEnd <= 256) {
            out.emplace_back(0, kEnd - 1);
            return;
        }
        // How far a position in the box may lie from the point at the
        // float angle, along either axis, in units u = 2^-24 of the sizes
        // involved: the sum rounds by u |o + d|, where d = r sin a is within
        // reach of the box, d itself as a product by u |d|, r as a float by
        // u |d| and the sine by 0.6 of its last place, 1.2 u |d|. 1e-7
        // over-counts u.
        auto margin = [&](int lo, int hi, double o) {
            const double reach = std::max(std::fabs(lo - 2 - o), std::fabs(hi + 2 - o));
            return 1e-7 * (std::fabs(o) + reach + 3.3 * std::min(reach, r + 1.0)) + 0.01;
        };
        const arcs in(box, ox, oy, r, margin(box.x0, box.x1, ox), margin(box.y0, box.y1, oy));
        // Arcs that meet go as one.
        std::pair<double, double> joined[4];
        int count = 0;
        for (int i = 0; i < in.count; ++i) joined[count++] = {in.lo[i], in.hi[i]};
        std::sort(joined, joined + count);
        int kept = 0;
        for (int i = 1; i < count; ++i) {
            if (joined[i].first <= joined[kept].second) {
                joined[kept].second = std::max(joined[kept].second, joined[i].second);
            } else {
                joined[++kept] = joined[i];
            }
        }
        count = count == 0 ? 0 : kept + 1;
        // The float angle of step k lies within e k dt of k dt: the product
        // rounds, by at most 2^-24 of it, and from 2^24 steps on k too. It
        // grows with k, so the steps whose angles lie on an arc are found
        // exactly from there.
        const double e = kEnd < kExactSteps ? 6e-8 : 1.2e-7;
        const double turn = 2 * kPi, span = kEnd * static_cast<double>(dt) * (1 + e);
        const double perStep = 1 / static_cast<double>(dt);
        auto angleOf = [dt](long long k) { return double(static_cast<float>(k) * dt); };
        for (int i = 0; i < count; ++i) {
            const double lo = joined[i].first, hi = joined[i].second;
            for (double shift = std::floor(-hi / turn) * turn; lo + shift <= span; shift += turn) {
                const double from = lo + shift, to = hi + shift;
                long long first =
                    static_cast<long long>(std::floor((from - e * std::fabs(from)) * perStep)) - 1;
                long long last =
                    static_cast<long long>(std::ceil((to + e * std::fabs(to)) * perStep)) + 1;
                first = std::max(first, 0LL);
                last = std::min(last, kEnd - 1);
                for (int n = 0; n < 64 && first <= last && angleOf(first) < from; ++n) ++first;
                for (int n = 0; n < 64 && first <= last && angleOf(last) > to; ++n) --last;
                if (first <= last) out.emplace_back(first, last);
            }
        }
        if (!std::is_sorted(out.begin(), out.end())) std::sort(out.begin(), out.end());
    }

    // Steps first..end of a ring, starting with empty sums: every sample
    // before `first` and after `last` lies outside the area, so only the
    // positions up to `last` are worked out; the walk goes on until the
    // window's centre has passed them. Only the steps in the area change the
    // sums or write, so the window moves from one of them to the next.
    void walkSteps(float r, float dt, int W, long long first, long long last, long long end,
                   limit bytes) {
        hits.clear();
        for (long long k = first; k <= last; ++k) {
            const point p = at(r, k, dt);
            if (inside(p)) hits.push_back(hit{k, p});
        }
        const Rgba* const samples = backup->data;
        const size_t width = static_cast<size_t>(backup->width);
        auto sampleAt = [&](size_t i) { return samples[hits[i].p.y * width + hits[i].p.x]; };
        // The window centred on step c spans c - W .. c + W; its centre
        // passes c when the walk reaches c + W <= end, from step 2W on.
        const long long lowest = std::max(first, static_cast<long long>(W)), highest = end - W;
        int R = 0, G = 0, B = 0, N = 0;
        size_t taken = 0, dropped = 0;  // the hits added to the sums, and taken off again
        for (const hit& h : hits) {
            if (h.k > highest) break;
            if (h.k < lowest || !inPart(h.p)) continue;
            for (; taken < hits.size() && hits[taken].k <= h.k + W; ++taken) {
                // Rings cross rows far apart in memory: the sample a few
                // steps on is asked for early.
                const hit& ahead = hits[std::min(taken + 16, hits.size() - 1)];
                __builtin_prefetch(samples + ahead.p.y * width + ahead.p.x);
                const Rgba s = sampleAt(taken);
                R += s.r;
                G += s.g;
                B += s.b;
                ++N;
            }
            for (; hits[dropped].k < h.k - W; ++dropped) {
                const Rgba s = sampleAt(dropped);
                R -= s.r;
                G -= s.g;
                B -= s.b;
                --N;
            }
            rowOf(image, h.p.y)[h.p.x] = meanOf(R, G, B, N, bytes);
        }
    }

    // What walkSteps does, where steps from 2^24 on round to floats shared
    // by whole runs of steps and so to one position. Far out, whole
    // runs of steps round to one float and so to one position: the steps go
    // in stretches of one position, and of each stretch only the last write
    // stays, its window summed from running totals.
    void walk(float r, float dt, int W, long long first, long long last, long long end,
              limit bytes) {
        stretches.clear();
        for (long long m = first; m <= last;) {
            const long long to = std::min(last, lastOfFloat(m));
            const point p = at(r, m, dt);
            if (!stretches.empty() && stretches.back().p.x == p.x && stretches.back().p.y == p.y) {
                stretches.back().to = to;
            } else {
                stretches.push_back(stretch{m, to, p, {0, 0, 0, 0}, {0, 0, 0, 0}});
            }
            m = to + 1;
        }
        // The totals of r, g, b and the count before each stretch.
        long long total[4] = {0, 0, 0, 0};
        for (stretch& s : stretches) {
            std::copy(total, total + 4, s.before);
            if (inside(s.p)) {
                const Rgba px = rowOf(const_cast<ImageRGBA*>(backup), s.p.y)[s.p.x];
                const int one[4] = {px.r, px.g, px.b, 1};
                std::copy(one, one + 4, s.sample);
                for (int c = 0; c < 4; ++c) total[c] += (s.to - s.from + 1) * one[c];
            }
        }
        // Totals over first..k, k within stretch i.
        auto upTo = [&](size_t i, long long k, int c) {
            const stretch& s = stretches[i];
            return s.before[c] + (k - s.from + 1) * s.sample[c];
        };
        size_t lo = 0, hi = 0;  // the stretches of the window's ends
        for (const stretch& s : stretches) {
            if (!inPart(s.p)) continue;
            // The window centred on step c spans c - W .. c + W; its centre
            // passes c when the walk reaches c + W <= end, from step 2W on.
            const long long c = std::min(s.to, end - W);
            if (c < std::max(s.from, static_cast<long long>(W))) continue;
            const long long a = std::max(first, c - W) - 1, b = std::min(c + W, last);
            while (stretches[hi].to < b) ++hi;
            while (a >= first && stretches[lo].to < a) ++lo;
            long long sum[4];
            for (int ch = 0; ch < 4; ++ch) sum[ch] = upTo(hi, b, ch) - (a >= first ? upTo(lo, a, ch) : 0);
            rowOf(image, s.p.y)[s.p.x] = meanOf(static_cast<int>(sum[0]), static_cast<int>(sum[1]),
                                                static_cast<int>(sum[2]), static_cast<int>(sum[3]), bytes);
        }
    }

    // What a pixel left out takes: the first written pixel on its own ring,
    // walked twice round from its angle, as the fills go in raster order.
    // With `since`, the first of those whose fills are yet to come, the walk
    // ends unsure at one of them before this pixel, which may be filled by
    // then; those after it are still empty then.
    enum class found { some, none, unsure };
    found search(int x, int y, const point* since, Rgba& got) const {
        auto before = [](point p, point q) { return p.y < q.y || (p.y == q.y && p.x < q.x); };
        const long long dx = cx - x, dy = cy - y;
        const long long rr = static_cast<long long>(std::sqrt(squared(dx, dy)));
        float a;
        if (dy == 0) {
            a = static_cast<float>(sign(dx) * kPi / 2);
        } else {
            a = std::atan(static_cast<float>(dx) / static_cast<float>(dy));
        }
        // Added in double and rounded once: the float sum just above pi/2
        // would start a pixel on the pointer's row on the row above.
        if (dy >= 0) a = static_cast<float>(a + kPi);
        const float step = rr == 0 ? static_cast<float>(kPi / 2) : std::atan(1.0f / rr);
        const float fr = static_cast<float>(rr);
        const arcs in(area, ox, oy, std::max(rr, 1LL), slack(ox, oy, rr));
        while (a < 4 * kPi) {
            if (in.holds(a)) {
                const point q(pixelOf(fr * std::sin(a) + ox), pixelOf(fr * std::cos(a) + oy));
                if (inside(q)) {
                    const Rgba p = rowOf(image, q.y)[q.x];
                    if (p.a != 0) {
                        got = p;
                        return found::some;
                    }
                    if (since && !before(q, *since) && before(q, point(x, y))) return found::unsure;
                }
            } else {
                // Far from the centre the steps are tiny: stride to just
                // before the next arc instead of millions of single steps.
                const double until = std::min(in.nextStart(a) - 1e-6, 4 * kPi);
                if (until > a) {
                    if (!stepAngle(a, step, until)) return found::none;
                    continue;
                }
            }
            const float next = a + step;
            if (!(next > a)) return found::none;  // the step is lost below the angle's precision
            a = next;
        }
        return found::none;
    }
};

// The exponent frexp gives a finite float that is not zero, read from its
// bits: the walk below asks for it several times a step.
int exponentOf(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    const int biased = static_cast<int>((bits >> 23) & 0xff);
    if (biased == 0 || biased == 0xff) {
        int e;
        std::frexp(v, &e);
        return e;
    }
    return biased - 126;
}

// 2^n, for n within a double's normal exponents.
double twoTo(int n) {
    const uint64_t bits = static_cast<uint64_t>(n + 1023) << 52;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

// The sign and exponent of a normal float; 0 for zero and subnormals, whose
// spacing differs.
int binadeOf(float v) {
    if (!(std::fabs(v) >= FLT_MIN)) return 0;
    const int e = exponentOf(v);
    return v < 0 ? -1000 - e : 1000 + e;
}
}  // namespace

std::vector<std::pair<long long, long long>> sphericStepsNear(pixelRect box, point centre,
                                                              long long r, long long steps) {
    const float ox = static_cast<float>(centre.x), oy = static_cast<float>(centre.y);
    const sphericRings rings{nullptr, nullptr, box, centre.x, centre.y, ox, oy,
                             {},      {},      {},  {},       {},       box};
    std::vector<std::pair<long long, long long>> runs;
    rings.stepsNear(box, r, std::atan(1.0f / static_cast<float>(r)), steps, runs);
    return runs;
}

bool stepAngle(float& a, float step, double until) {
    // Inside one binade the sums lie on one grid, so a + step adds the same
    // amount each time; after a tie to even it settles from the second step,
    // hence two equal gaps before striding.
    double lastGap = -1;
    while (a < until) {
        const float next = a + step;
        if (!(next > a)) return false;
        const int binade = binadeOf(a);
        const double gap = double(next) - double(a);
        const bool steady = binade != 0 && binade == binadeOf(next) && gap == lastGap;
        lastGap = binade != 0 && binade == binadeOf(next) ? gap : -1;
        a = next;
        if (!steady) continue;
        const int e = exponentOf(a);
        const double u = twoTo(e - 24);  // the grid
        const double edge = a > 0 ? twoTo(e) : -twoTo(e - 1);
        // Each sum stays on the grid short of the binade's end, and the last
        // value reached stays below `until`.
        const double inBinade = std::floor((edge - u - step - a) / gap) + 1;
        const double beforeUntil = std::ceil((until - a) / gap) - 1;
        const double k = std::min(inBinade, beforeUntil) - 1;
        if (k >= 1) a = static_cast<float>(a + k * gap);
    }
    return true;
}

namespace {
void sphericBlur(ImageRGBA* image, const ImageRGBA* backup, pixelRect a, point centre, float v,
                 limit bytes) {
    imageRgbaSetArea(image, a.x0, a.y0, a.x1 + 1, a.y1 + 1, Rgba{0, 0, 0, 0});
    // The rings centre on the pointer; their bound is the distance from it,
    // within the area, to the area's far sides.
    const long long cx = centre.x, cy = centre.y;
    const long long hx = (a.x1 - a.x0) / 2 + 1, hy = (a.y1 - a.y0) / 2 + 1;
    const long long rx = hx < cx - a.x0 ? cx - a.x0 : a.x1 - cx;
    const long long ry = hy < cy - a.y0 ? cy - a.y0 : a.y1 - cy;
    const long long rMax = static_cast<long long>(std::sqrt(double(rx) * rx + double(ry) * ry));
    auto ringsOver = [&](pixelRect part) {
        sphericRings rings{image, backup, a, cx, cy, static_cast<float>(cx), static_cast<float>(cy),
                           {},    {},    {},    {}, {}, part};
        return rings;
    };
    sphericRings rings = ringsOver(a);
    // Rings that cannot meet the area are left out.
    const double nearX = std::max({0.0, double(a.x0 - cx), double(cx - a.x1)});
    const double nearY = std::max({0.0, double(a.y0 - cy), double(cy - a.y1)});
    const double farX = std::max(std::fabs(double(a.x0 - cx)), std::fabs(double(a.x1 + 1 - cx)));
    const double farY = std::max(std::fabs(double(a.y0 - cy)), std::fabs(double(a.y1 + 1 - cy)));
    const double margin = 2 * slack(rings.ox, rings.oy, std::hypot(farX, farY));
    const long long rFrom =
        std::max(1LL, static_cast<long long>(std::hypot(nearX, nearY) - margin));
    const long long rTo = std::min(rMax, static_cast<long long>(std::hypot(farX, farY) + margin));
    // Far out, neighbouring radii round to one float: their rings are one
    // ring, drawn again, and only the last time counts.
    auto draw = [&](sphericRings& with, long long from, long long to) {
        for (long long r = from; r <= to; ++r) {
            if (r < rTo && static_cast<float>(r) == static_cast<float>(r + 1)) continue;
            with.ring(r, rMax, v, bytes);
        }
    };
    if (std::min(a.x1 - a.x0, a.y1 - a.y0) >= 255) {
        // Each half of the area walks every ring but writes only its own
        // pixels.
        inHalves(a, true, [&](pixelRect part) {
            sphericRings half = ringsOver(part);
            draw(half, rFrom, rTo);
        });
    } else {
        // On a thin area a ring holds a few steps in it, and working out its
        // reach for each half would cost more than the second core saves:
        // the cores share the rings instead. A ring's positions stray from
        // its circle by less than the slack, so it writes only pixels within
        // `reach` of its radius, and runs of rings that lie 2 reach apart
        // never write the same pixel. The rings between them come after, in
        // order, and then the next run's first rings again, over the pixels
        // that those between could have written, so that each pixel ends
        // with the last ring's write.
        const long long reach =
            static_cast<long long>(std::ceil(2 * slack(rings.ox, rings.oy, double(rTo)))) + 1;
        const long long apart = 2 * reach, count = rTo - rFrom + 1;
        const int runs = static_cast<int>(std::clamp(count / (8 * reach), 1LL, 16LL));
        auto start = [&](int i) { return rFrom + count * i / runs; };
        inBands(0, runs - 1, 8.0 * count, [&](int first, int last) {
            sphericRings own = ringsOver(a);
            for (int i = first; i <= last; ++i) {
                draw(own, start(i) + (i > 0 ? apart : 0), start(i + 1) - 1);
            }
        });
        for (int i = 1; i < runs; ++i) {
            draw(rings, start(i), start(i) + apart - 1);
            sphericRings again = ringsOver(a);
            const double within = static_cast<double>(start(i) + apart - 1 + reach);
            again.withinSquared = within * within;
            draw(again, start(i) + apart, start(i) + apart + 2 * reach - 1);
        }
    }

    // The pixels left out fill in raster order, and a fill may take one
    // filled before it. Both cores search for a batch of them at once; those
    // whose walk met one before them in the batch search again in order,
    // after the fills before them.
    struct gap {
        int x, y;
        Rgba got;
        sphericRings::found how;
    };
    std::vector<gap> gaps;
    auto fillGaps = [&] {
        if (gaps.empty()) return;
        const point since(gaps[0].x, gaps[0].y);
        inBands(0, static_cast<int>(gaps.size()) - 1, 64.0 * gaps.size(), [&](int first, int last) {
            for (int i = first; i <= last; ++i) {
                gaps[i].how = rings.search(gaps[i].x, gaps[i].y, &since, gaps[i].got);
            }
        });
        for (gap& g : gaps) {
            if (g.how == sphericRings::found::unsure) {
                g.how = rings.search(g.x, g.y, nullptr, g.got);
            }
            if (g.how == sphericRings::found::some) rowOf(image, g.y)[g.x] = g.got;
        }
        gaps.clear();
    };
    for (int y = a.y0; y <= a.y1; ++y) {
        const Rgba* row = rowOf(image, y);
        for (int x = a.x0; x <= a.x1; ++x) {
            if (row[x].a != 0) continue;
            gaps.push_back(gap{x, y, {}, sphericRings::found::unsure});
            if (gaps.size() == 1 << 16) fillGaps();
        }
    }
    fillGaps();
}
}  // namespace

// ---------------------------------------------------------------------------
// Blur

// Scratch starts as the picture: the row passes leave their work there.
const effectInfo blur::descriptor =
    effectInfo{&family,
               "Blur",
               {"Simple Blur", "Gaussian Blur", "Motion Blur Horizontal", "Motion Blur Vertical",
                "Motion Blur", "Radial Blur", "Spheric Blur"}}
        .settingsPerMode(kBlurModes)
        .keepingScratch();

blur::blur(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
           ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void blur::LBAction() {
    if (!leftDown) return;
    const pixelRect a = areaInPicture();
    if (empty(a)) return;
    switch (mode) {
        case 1:
        case 2:
            // The row pass writes image and the column pass reads it back
            // into scratch; the two then trade places, so that image holds
            // the result and scratch the last row pass.
            gaussianOfCopy(image, scratch, backup, a.x0, a.y0, a.x1, a.y1, value1, mode);
            std::swap(image, scratch);
            break;
        case 3:
            imageRgbaCopy(backup, scratch);
            horizontal_blur(image, scratch, a.x0, a.y0, a.x1, a.y1, value1, mode, 1);
            break;
        case 4:
            imageRgbaCopy(backup, scratch);
            vertical_blur(image, scratch, a.x0, a.y0, a.x1, a.y1, value1, mode, 1);
            break;
        case 5:
            motion_blur(image, backup, a.x0, a.y0, a.x1, a.y1, value1, value2, 5, 1);
            return;
        case 6:
            radialBlur(image, backup, a, cursor, value1, byteRange);
            return;
        case 7:
            sphericBlur(image, backup, a, cursor, value1, byteRange);
            return;
        default:
            return;
    }
    shown = image;
    refreshImage();
}

// ---------------------------------------------------------------------------
// Sharpen

const effectInfo sharpen::descriptor =
    effectInfo{&family, "Sharpen", {"Simple Sharpen", "Gaussian Sharpen", "Predefined Sharpen"}}
        .settingsPerMode(kSharpenModes)
        .keepingScratch();

sharpen::sharpen(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
                 ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    setUp(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
    for (int slot = 0; slot < 10; ++slot) {
        const float outer = -kSharpenOuter[slot], centre = kSharpenCentre[slot];
        kernels[slot] =
            kernelOf(1, 1, [=](int dy, int dx) { return dy == 0 && dx == 0 ? centre : outer; });
    }
    start();
}

sharpen::~sharpen() { freeKernels(); }

void sharpen::LBAction() {
    if (!leftDown) return;
    if (mode == 3) {
        matrices::LBAction();
        return;
    }
    const pixelRect a = areaInPicture();
    if (empty(a)) return;
    // Twice the picture less its blur, the blur being what the row pass of
    // the last blur pass left in image.
    gaussianOfCopy(image, scratch, backup, a.x0, a.y0, a.x1, a.y1, value1, mode);
    shown = image;
    refreshImage();
    const limit bytes = byteRange;
    eachRow(a, [&](int y) {
        Rgba* out = rowOf(image, y);
        const Rgba* in = rowOf(backup, y);
        for (int x = a.x0; x <= a.x1; ++x) {
            const Rgba b = in[x], d = out[x];
            out[x] = Rgba{clampByte(bytes, 2 * b.r - d.r), clampByte(bytes, 2 * b.g - d.g),
                          clampByte(bytes, 2 * b.b - d.b), d.a};
        }
    });
}

// ---------------------------------------------------------------------------
// Edge

const effectInfo edge::descriptor =
    effectInfo{&family,
               "Edge",
               {"Laplace", "Strong Laplace", "Sobel Combined", "Sobel Horizontal", "Sobel Vertical",
                "Lighten Edges", "Darken Edges", "Ghost"}}
        .settingsPerMode(kEdgeModes);

edge::edge(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
           ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

edge::~edge() { freeKernels(); }

// The mode's kernels, then the mode itself.
void edge::changeMode(char m) {
    if (m >= 1 && m <= 8) {
        const kernelFamilies& row = kEdgeKernels[m - 1];
        freeKernels();
        for (int k = 0; k < kRadii; ++k) {
            kernels[k] = familyKernel(row.first, k + 1);
            kernels[k + kRadii] = familyKernel(row.second, k + 1);
        }
    }
    matrices::changeMode(m);
}

void edge::matrixRow(convolution& rows, int y, int x0, int x1) {
    const int slot = truncToInt(value1);
    Rgba* out = rowOf(image, y) + x0;
    if (mode != 3 && mode != 6 && mode != 7) {
        rows.row(kernelAt(slot), y, x0, x1, out);
        return;
    }
    // The combined modes keep the first response in scratch.
    Rgba* first = rowOf(scratch, y) + x0;
    const Rgba* in = rowOf(backup, y) + x0;
    rows.row(kernelAt(slot), y, x0, x1, first);
    if (mode == 3) rows.row(kernelAt(slot + kRadii), y, x0, x1, out);
    const limit bytes = byteRange;
    if (mode == 3) {  // both gradients, each already clipped at 0
        for (int i = 0; i <= x1 - x0; ++i) {
            const Rgba e = first[i], d = out[i];
            out[i] = Rgba{clampByte(bytes, d.r + e.r), clampByte(bytes, d.g + e.g),
                          clampByte(bytes, d.b + e.b), d.a};
        }
        return;
    }
    // Lighten or darken the picture by its edges; alpha stays.
    const int s = mode == 6 ? 1 : -1;
    for (int i = 0; i <= x1 - x0; ++i) {
        const Rgba e = first[i], b = in[i];
        out[i] = Rgba{clampByte(bytes, b.r + s * e.r), clampByte(bytes, b.g + s * e.g),
                      clampByte(bytes, b.b + s * e.b), out[i].a};
    }
}

// ---------------------------------------------------------------------------
// Emboss and separate

// The slot (radius - 1) is kept when the direction changes.
const effectInfo emboss::descriptor = {
    &family,
    "Emboss",
    {"Right", "Right-Up", "Up", "Left-Up", "Left", "Left-Down", "Down", "Right-Down"},
    {0, 0, 4, 1}};

emboss::emboss(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
               ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

emboss::~emboss() { freeKernels(); }

// The direction's kernels, then the mode itself.
void emboss::changeMode(char m) {
    if (m >= 1 && m <= 8) {
        freeKernels();
        for (int k = 0; k < kRadii; ++k) kernels[k] = embossKernel(m - 1, k + 1);
    }
    matrices::changeMode(m);
}

const effectInfo separate::descriptor = {&family, "Separate", {}, {1, 0, 4, 1}};  // the slot

separate::separate(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
                   ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    setUp(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
    for (int k = 0; k < kRadii; ++k) {
        const int r = k + 1;
        kernels[k] = kernelOf(r, 4, [r](int dy, int dx) -> float {
            return std::abs(dy) == r && std::abs(dx) == r ? 1 : 0;
        });
    }
    start();
}

separate::~separate() { freeKernels(); }

// ---------------------------------------------------------------------------
// Halfblur, whiteblur and blackblur: a blurred layer in scratch mixed back
// into the picture.

namespace {

// Blurs scratch over the area in place, or a copy of `from` into scratch
// when given (image as the work picture), and mixes: image = mix(backup,
// scratch), opaque.
template <class Mix>
void mixBlurred(matrices& e, pixelRect a, Mix mix, const ImageRGBA* from = nullptr) {
    if (from) {
        gaussianOfCopy(e.image, e.scratch, from, a.x0, a.y0, a.x1, a.y1, e.value1, e.mode);
    } else {
        gaussian(e.image, e.scratch, a.x0, a.y0, a.x1, a.y1, e.value1, e.mode, 1);
    }
    const limit bytes = e.byteRange;
    eachRow(a, [&](int y) {
        const Rgba* in = rowOf(e.backup, y);
        const Rgba* layer = rowOf(e.scratch, y);
        Rgba* out = rowOf(e.image, y);
        for (int x = a.x0; x <= a.x1; ++x) {
            const Rgba b = in[x], s = layer[x];
            out[x] =
                Rgba{clampByte(bytes, mix(b.r, s.r, s.a)), clampByte(bytes, mix(b.g, s.g, s.a)),
                     clampByte(bytes, mix(b.b, s.b, s.a)), 255};
        }
    });
    e.shown = e.image;
    e.refreshImage();
}

// The layer of the picture's pixels that `taken` picks, opaque, the rest
// transparent black.
template <class Taken>
void pickLayer(matrices& e, pixelRect a, Taken taken) {
    eachRow(a, [&](int y) {
        const Rgba* in = rowOf(e.backup, y);
        Rgba* layer = rowOf(e.scratch, y);
        for (int x = a.x0; x <= a.x1; ++x) {
            const Rgba p = in[x];
            layer[x] = taken(p) ? Rgba{p.r, p.g, p.b, 255} : Rgba{0, 0, 0, 0};
        }
    });
}

// The glow's and the haze's gain: (size / 10) squared.
float gainOf(const matrices& e) {
    const float tenths = static_cast<float>(e.size) / 10;
    return tenths * tenths;
}

inline unsigned char brightest(Rgba p) { return std::max({p.r, p.g, p.b}); }

}  // namespace

// value1 is the blur radius; value2 the percentage of the blurred copy, the
// brightness threshold below white, or the darkness threshold. Halfblur
// leaves the size unused.

const effectInfo halfblur::descriptor =
    effectInfo{&family, "Halfblur", {"Simple", "Gaussian"}, {10, 1, 100, 1}, {50, 0, 100, 3}}
        .sized(kGainStart);

halfblur::halfblur(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
                   ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

const effectInfo whiteblur::descriptor =
    effectInfo{&family, "Whiteblur", {"Simple", "Gaussian"}, {40, 1, 200, 1}, {40, 0, 255, 3}}
        .sized(kGainStart);

whiteblur::whiteblur(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
                     ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

const effectInfo blackblur::descriptor =
    effectInfo{&family, "Blackblur", {"Simple", "Gaussian"}, {40, 1, 200, 1}, {150, 0, 255, 3}}
        .sized(kGainStart);

blackblur::blackblur(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
                     ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void halfblur::LBAction() {
    const pixelRect a = areaInPicture();
    if (!leftDown || empty(a)) return;
    const float blurred = value2 / 100, sharp = (100 - value2) / 100;
    mixBlurred(*this, a, [=](int b, int s, int) { return sharp * b + blurred * s; }, backup);
}

void whiteblur::LBAction() {
    const pixelRect a = areaInPicture();
    if (!leftDown || empty(a)) return;
    const float threshold = 255 - value2, gain = gainOf(*this);
    pickLayer(*this, a, [=](Rgba p) { return brightest(p) >= threshold; });
    mixBlurred(*this, a, [=](int b, int s, int alpha) { return b + alpha / 255.0f * gain * s; });
}

void blackblur::LBAction() {
    const pixelRect a = areaInPicture();
    if (!leftDown || empty(a)) return;
    const float threshold = value2, gain = gainOf(*this);
    pickLayer(*this, a, [=](Rgba p) { return brightest(p) <= threshold; });
    mixBlurred(*this, a, [=](int b, int s, int alpha) { return b - alpha / 255.0f * gain * s; });
}
