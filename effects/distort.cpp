#include "effects/distort.h"

#include "effects/draws.h"
#include "image/bands.h"
#include "image/clamp.h"
#include "image/lanes.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

// The tile sizes reach a fifth of the area's larger side (the spacing of
// dots the whole side); value2's upper end for mosaic, box and dots follows
// value1 and is worked out again at every application.
constexpr settingInfo kTileSize = settingInfo{10, 1, 0, 1}.upTo(rangeRule::fifthOfLargerSide);

// A run length is kept in a byte.
constexpr int kLongestRun = 200;
static_assert(kLongestRun <= 255, "runs of lines must fit a byte");

constexpr Rgba kBlack = {0, 0, 0, 255}, kWhite = {255, 255, 255, 255};

// The area inside the picture and its size.
struct Area {
    int x0, y0, x1, y1;
    int w, h;
    bool empty() const { return w <= 0 || h <= 0; }
    long long pixels() const { return empty() ? 0 : static_cast<long long>(w) * h; }
};

Area areaOf(const effect& e) {
    const pixelRect r = e.areaInPicture();
    return Area{r.x0, r.y0, r.x1, r.y1, r.x1 - r.x0 + 1, r.y1 - r.y0 + 1};
}

inline Rgba* rowOf(const ImageRGBA* img, int y) {
    return img->data + static_cast<size_t>(y) * img->width;
}

// Fills columns from..to of a row, both clipped to the area.
inline void fillSpan(Rgba* row, int from, int to, const Area& a, Rgba colour) {
    from = std::max(from, a.x0);
    to = std::min(to, a.x1);
    if (from <= to) std::fill(row + from, row + to + 1, colour);
}

// Channel sums toward an integer mean.
struct Sum {
    uint64_t r = 0, g = 0, b = 0, n = 0;
    void add(const Rgba* p, int count) {
        uint64_t sr = 0, sg = 0, sb = 0;
        for (int i = 0; i < count; ++i) {
            sr += p[i].r;
            sg += p[i].g;
            sb += p[i].b;
        }
        r += sr;
        g += sg;
        b += sb;
        n += static_cast<uint64_t>(std::max(count, 0));
    }
    // Opaque; (0, 0, 0) over no pixels. Sums of fewer than 2^24 pixels fit
    // 32 bits, whose division is much the quicker.
    Rgba mean(const limit& bytes) const {
        if (n == 0) return kBlack;
        if (n < (1u << 24)) {
            const uint32_t m = static_cast<uint32_t>(n);
            return Rgba{clampByte(bytes, static_cast<float>(static_cast<uint32_t>(r) / m)),
                        clampByte(bytes, static_cast<float>(static_cast<uint32_t>(g) / m)),
                        clampByte(bytes, static_cast<float>(static_cast<uint32_t>(b) / m)), 255};
        }
        return Rgba{clampByte(bytes, static_cast<float>(r / n)),
                    clampByte(bytes, static_cast<float>(g / n)),
                    clampByte(bytes, static_cast<float>(b / n)), 255};
    }
};

// Square tiles from the area's top-left corner: the rows and columns that fit
// whole and one more, partly or wholly beyond the area; none for a size
// under 1.
struct Tiling {
    Area a;
    int size, rows, cols;
    int top(int r) const { return a.y0 + r * size; }
    int left(int c) const { return a.x0 + c * size; }
    int bottom(int r) const { return std::min(top(r) + size - 1, a.y1); }  // last row inside
    int right(int c) const { return std::min(left(c) + size - 1, a.x1); }
};

Tiling tilingOf(const Area& a, float size) {
    if (!(size >= 1)) return Tiling{a, 0, 0, 0};
    return Tiling{a, static_cast<int>(size), truncToInt(a.h / size + 1),
                  truncToInt(a.w / size + 1)};
}

// Column sums of the rows of one row of tiles, four channels a column, for
// adding up its tiles.
using ColumnSums = std::vector<uint32_t>;

// Adds a row of pixels to the column sums.
inline void addRow(const Rgba* row, int w, uint32_t* sums) {
    int x = 0;
#if MORVANE_SIMD
    const __m128i zero = _mm_setzero_si128();
    for (; x + 4 <= w; x += 4) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
        const __m128i lo = _mm_unpacklo_epi8(p, zero), hi = _mm_unpackhi_epi8(p, zero);
        const __m128i wide[4] = {_mm_unpacklo_epi16(lo, zero), _mm_unpackhi_epi16(lo, zero),
                                 _mm_unpacklo_epi16(hi, zero), _mm_unpackhi_epi16(hi, zero)};
        for (int i = 0; i < 4; ++i) {
            __m128i* s = reinterpret_cast<__m128i*>(sums + 4 * (x + i));
            _mm_storeu_si128(s, _mm_add_epi32(_mm_loadu_si128(s), wide[i]));
        }
    }
#endif
    for (; x < w; ++x) {
        sums[4 * x] += row[x].r;
        sums[4 * x + 1] += row[x].g;
        sums[4 * x + 2] += row[x].b;
    }
}

// The means of tile row r from `src`, one per column; `sums` is scratch.
// The columns are added up first, row by row, then each tile's columns: a
// column of a tile is at most 255 times the tile size.
void tileRowMeans(const ImageRGBA* src, const Tiling& t, int r, const limit& bytes, Rgba* means,
                  ColumnSums& sums) {
    sums.assign(4 * static_cast<size_t>(t.a.w), 0);
    for (int y = t.top(r); y <= t.bottom(r); ++y) addRow(rowOf(src, y) + t.a.x0, t.a.w, sums.data());
    const int rows = std::max(0, t.bottom(r) - t.top(r) + 1);
    for (int c = 0; c < t.cols; ++c) {
        Sum sum;
        for (int x = t.left(c) - t.a.x0; x <= t.right(c) - t.a.x0; ++x) {
            sum.r += sums[4 * x];
            sum.g += sums[4 * x + 1];
            sum.b += sums[4 * x + 2];
        }
        sum.n = static_cast<uint64_t>(rows) * std::max(0, t.right(c) - t.left(c) + 1);
        means[c] = sum.mean(bytes);
    }
}

// All tile means, row-major, worked out on all cores.
std::vector<Rgba> tileMeans(const ImageRGBA* src, const Tiling& t, const limit& bytes) {
    std::vector<Rgba> means(static_cast<size_t>(t.rows) * t.cols);
    inBands(0, t.rows - 1, t.a.pixels(), [&](int r0, int r1) {
        ColumnSums sums;
        for (int r = r0; r <= r1; ++r) tileRowMeans(src, t, r, bytes, &means[size_t(r) * t.cols], sums);
    });
    return means;
}

}  // namespace

// ---------------------------------------------------------------------------
// Mosaic

// The gap (value2) is drawn in `color`.
const effectInfo mosaic::descriptor =
    effectInfo{
        &family, "Mosaic", {}, kTileSize, settingInfo{1, 0, 0, 1}.upTo(rangeRule::tileLessOne)}
        .usingColor(kBlack);

mosaic::mosaic(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
               ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void mosaic::LBAction() {
    if (!leftDown) return;
    const float size = value1;
    followValue1();
    const Area a = areaOf(*this);
    if (a.empty()) return;
    const Tiling t = tilingOf(a, size);
    // Tile pixels i, j with lo <= i, j < hi show the mean, the others the gap.
    const int lo = truncToInt(value2 / 2), hi = truncToInt(size - value2 / 2);
    const Rgba gap = color;
    const limit bytes = byteRange;
    inBands(0, t.rows - 1, a.pixels(), [&](int r0, int r1) {
        ColumnSums sums;
        std::vector<Rgba> means(t.cols);
        for (int r = r0; r <= r1; ++r) {
            tileRowMeans(backup, t, r, bytes, means.data(), sums);
            for (int y = t.top(r); y <= t.bottom(r); ++y) {
                const int i = y - t.top(r);
                const bool band = lo <= i && i < hi;
                Rgba* row = rowOf(image, y);
                for (int c = 0; c < t.cols && t.left(c) <= a.x1; ++c) {
                    const int x = t.left(c);
                    if (!band) {
                        fillSpan(row, x, t.right(c), a, gap);
                        continue;
                    }
                    fillSpan(row, x, std::min(x + lo - 1, t.right(c)), a, gap);
                    fillSpan(row, x + lo, std::min(x + hi - 1, t.right(c)), a, means[c]);
                    fillSpan(row, std::max(x + hi, x + lo), t.right(c), a, gap);
                }
            }
        }
    });
}

void mosaic::colorChangeAction() { reapply(); }

// ---------------------------------------------------------------------------
// Box

namespace {

// The parts of a tile with a bevel of width `bevel`; the top and bottom edges
// win over the sides above and below the diagonals.
enum Bevel : unsigned char { kFlat, kTop, kBottom, kLeft, kRight };

Bevel bevelAt(int i, int j, int tile, int bevel) {
    if (i < bevel && j >= i && i < tile - j) return kTop;
    if (i >= tile - bevel && j < i && i >= tile - j) return kBottom;
    if (j < bevel) return kLeft;
    if (j >= tile - bevel) return kRight;
    return kFlat;
}

inline int brightest(Rgba p) { return std::max<int>(p.r, std::max(p.g, p.b)); }

Rgba shifted(Rgba p, int delta, const limit& bytes) {
    return Rgba{clampByte(bytes, static_cast<float>(p.r + delta)),
                clampByte(bytes, static_cast<float>(p.g + delta)),
                clampByte(bytes, static_cast<float>(p.b + delta)), 255};
}

}  // namespace

// The bevel width is value2. Eight modes without names (the title stays
// plain); it starts in mode 6.
const effectInfo box::descriptor =
    effectInfo{
        &family, "Box", {}, kTileSize, settingInfo{1, 0, 0, 1}.upTo(rangeRule::halfTileLessOne)}
        .modesWithoutNames(8)
        .startingIn(6);

box::box(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud, ImageRGBA* icons,
         bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void box::LBAction() {
    if (!leftDown) return;
    const float size = value1;
    followValue1();
    const int bevel = static_cast<int>(value2);
    const Area a = areaOf(*this);
    if (a.empty()) return;
    const Tiling t = tilingOf(a, size);
    const limit bytes = byteRange;
    const std::vector<Rgba> means = tileMeans(backup, t, bytes);
    // Only tiles with whole neighbours above and to the left, and whole
    // themselves, lean toward their neighbours.
    const int wholeCols = truncToInt(a.w / size), wholeRows = truncToInt(a.h / size);
    const int lean = 2 * mode - 9;
    auto shades = [&](int r, int c, Rgba* out) {
        const Rgba m = means[size_t(r) * t.cols + c];
        int dV = 0, dH = 0;
        if (c > 0 && r > 0 && c < wholeCols && r < wholeRows) {
            dV = brightest(m) - brightest(means[size_t(r - 1) * t.cols + c]);
            dH = brightest(m) - brightest(means[size_t(r) * t.cols + c - 1]);
        }
        out[kFlat] = m;
        out[kTop] = shifted(m, lean * dV + 50, bytes);
        out[kBottom] = shifted(m, -50, bytes);
        out[kLeft] = shifted(m, lean * dH + 20, bytes);
        out[kRight] = shifted(m, -20, bytes);
    };
    inBands(0, t.rows - 1, a.pixels(), [&](int r0, int r1) {
        std::vector<unsigned char> part(t.size);
        std::vector<Rgba> palette(size_t(t.cols) * 5);
        for (int r = r0; r <= r1; ++r) {
            for (int c = 0; c < t.cols; ++c) shades(r, c, &palette[size_t(c) * 5]);
            for (int y = t.top(r); y <= t.bottom(r); ++y) {
                const int i = y - t.top(r);
                for (int j = 0; j < t.size; ++j) part[j] = bevelAt(i, j, t.size, bevel);
                Rgba* row = rowOf(image, y);
                for (int c = 0; c < t.cols && t.left(c) <= a.x1; ++c) {
                    const Rgba* p = &palette[size_t(c) * 5];
                    const int x0 = t.left(c), n = t.right(c) - x0 + 1;
                    for (int j = 0; j < n; ++j) row[x0 + j] = p[part[j]];
                }
            }
        }
    });
}

// ---------------------------------------------------------------------------
// Comb

namespace {

// Columns first..last of one row of a triangle, relative to its cell.
struct Span {
    int first, last;
};

}  // namespace

// The cell width (value1).
const effectInfo comb::descriptor = {
    &family, "Comb", {}, settingInfo{10, 2, 0, 1}.upTo(rangeRule::fifthOfLargerSide)};

comb::comb(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
           ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void comb::LBAction() {
    if (!leftDown) return;
    const float cell = value1;
    const int rowHeight = truncToInt(cell * 0.8660254037844386);  // cell times sqrt(3) / 2
    const Area a = areaOf(*this);
    if (a.empty() || rowHeight < 1) return;
    const int width = static_cast<int>(cell);
    const int bands = truncToInt(static_cast<double>(a.h) / rowHeight + 2);
    const int cells = truncToInt(static_cast<double>(a.w) / cell + 2);

    // Row k of a triangle (k rows from its base) on an even or odd band; the
    // lower and upper triangles share them.
    std::vector<Span> spans[2];
    for (int odd = 0; odd < 2; ++odd) {
        const float off = odd ? cell / 2 : 0.0f;
        for (int k = 0; k < rowHeight; ++k) {
            const float s = cell * (static_cast<float>(k) / static_cast<float>(rowHeight)) / 2;
            const float end = cell - off - s;  // columns stop before it
            spans[odd].push_back(Span{truncToInt(s - off), truncToInt(std::ceil(end)) - 1});
        }
    }
    // Triangle t = 0 (below the band line) or 1 (above) of cell j in band i:
    // calls row(y, from, to) for its rows inside rows lo..hi, columns clipped.
    auto walk = [&](int i, int j, int t, int lo, int hi, auto row) {
        const int line = a.y0 + i * rowHeight, x = a.x0 + j * width;
        const std::vector<Span>& part = spans[i & 1];
        for (int k = 0; k < rowHeight; ++k) {
            const int y = t == 0 ? line + k : line - k;
            if (y < lo || y > hi) continue;
            const int from = std::max(a.x0, x + part[k].first), to = std::min(a.x1, x + part[k].last);
            if (from <= to) row(y, from, to);
        }
    };

    // Triangles overlap on band lines and at their slanted edges, where the
    // later one wins; each core takes whole rows and keeps that order in them.
    const limit bytes = byteRange;
    inBands(a.y0, a.y1, a.pixels(), [&](int lo, int hi) {
        std::vector<Rgba> means(size_t(cells) * 2);
        for (int i = 0; i < bands; ++i) {
            const int line = a.y0 + i * rowHeight;
            if (line + rowHeight - 1 < lo || line - rowHeight + 1 > hi) continue;
            for (int j = 0; j < cells; ++j) {
                for (int t = 0; t < 2; ++t) {
                    Sum sum;
                    walk(i, j, t, a.y0, a.y1, [&](int y, int from, int to) {
                        sum.add(rowOf(backup, y) + from, to - from + 1);
                    });
                    means[size_t(j) * 2 + t] = sum.mean(bytes);
                }
            }
            for (int j = 0; j < cells; ++j) {
                for (int t = 0; t < 2; ++t) {
                    const Rgba m = means[size_t(j) * 2 + t];
                    walk(i, j, t, lo, hi, [&](int y, int from, int to) {
                        std::fill(rowOf(image, y) + from, rowOf(image, y) + to + 1, m);
                    });
                }
            }
        }
    });
}

// ---------------------------------------------------------------------------
// Dots

// Spacing (value1) and dot radius (value2) over a background in `color`.
const effectInfo dots::descriptor =
    effectInfo{&family,
               "Dots",
               {"Interpolated", "Colorized"},
               settingInfo{30, 2, 0, 1}.upTo(rangeRule::largerSide),
               settingInfo{10, 0, 0, 1}.upTo(rangeRule::halfTile)}
        .usingColor(kBlack);

dots::dots(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
           ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void dots::LBAction() {
    if (!leftDown) return;
    const float spacing = value1;
    followValue1();
    const float radius = value2;
    const Area a = areaOf(*this);
    if (a.empty() || !(spacing >= 1)) return;
    const int s = static_cast<int>(spacing);
    const int cellRows = truncToInt(a.h / spacing + 1), cellCols = truncToInt(a.w / spacing + 1);
    const int holeRows = truncToInt(a.h / spacing + 2), holeCols = truncToInt(a.w / spacing + 2);
    // Half widths of the hole's rows -r..r-1: columns -half..half-1.
    const int r = truncToInt(radius);
    std::vector<int> half;
    for (int k = -r; k < r; ++k) {
        half.push_back(truncToInt(std::sqrt(radius * radius - static_cast<float>(k * k))));
    }
    const bool smooth = mode == 1;
    const Rgba ground = color;

    // Each core takes whole rows of cells and the hole rows that fall in them.
    inBands(0, cellRows - 1, a.pixels(), [&](int r0, int r1) {
        const int lo = a.y0 + r0 * s, hi = std::min(a.y1, a.y0 + (r1 + 1) * s - 1);
        if (lo > hi) return;
        if (smooth) {
            // imageRgbaInterpolateColors(j/S, i/S, the cell's corners), with
            // its first stage worked out once per column.
            std::vector<float> top(size_t(s) * 3), bottom(size_t(s) * 3);
            for (int cr = r0; cr <= r1; ++cr) {
                const int yt = a.y0 + cr * s;
                if (yt > a.y1) break;  // no pixel of the area: nothing to read
                const int yb = std::min(yt + s, a.y1);
                for (int c = 0; c < cellCols; ++c) {
                    const int xl = a.x0 + c * s;
                    if (xl > a.x1) break;
                    const int xr = std::min(xl + s, a.x1);
                    const Rgba tl = rowOf(backup, yt)[xl], tr = rowOf(backup, yt)[xr];
                    const Rgba bl = rowOf(backup, yb)[xl], br = rowOf(backup, yb)[xr];
                    const int cols = std::min(s, a.x1 - xl + 1);
                    for (int j = 0; j < cols; ++j) {
                        const float fx = static_cast<float>(j) / spacing, gx = 1 - fx;
                        auto stage = [&](unsigned char p, unsigned char q) {
                            return static_cast<float>(static_cast<int>(gx * p + fx * q) & 0xFF);
                        };
                        top[j * 3] = stage(tl.r, tr.r);
                        top[j * 3 + 1] = stage(tl.g, tr.g);
                        top[j * 3 + 2] = stage(tl.b, tr.b);
                        bottom[j * 3] = stage(bl.r, br.r);
                        bottom[j * 3 + 1] = stage(bl.g, br.g);
                        bottom[j * 3 + 2] = stage(bl.b, br.b);
                    }
                    for (int i = 0; i < s && yt + i <= a.y1; ++i) {
                        const float fy = static_cast<float>(i) / spacing, gy = 1 - fy;
                        Rgba* out = rowOf(image, yt + i) + xl;
                        for (int j = 0; j < cols; ++j) {
                            auto blend = [&](int k) {
                                return static_cast<unsigned char>(
                                    static_cast<int>(gy * top[j * 3 + k] + fy * bottom[j * 3 + k]));
                            };
                            out[j] = Rgba{blend(0), blend(1), blend(2), 255};
                        }
                    }
                }
            }
        } else {
            imageRgbaSetArea(image, a.x0, lo, a.x1 + 1, hi + 1, ground);
        }
        for (int hr = 0; hr < holeRows; ++hr) {
            const int cy = a.y0 + hr * s;
            if (cy + r - 1 < lo || cy - r > hi) continue;
            for (int k = -r; k < r; ++k) {
                const int y = cy + k;
                if (y < lo || y > hi) continue;
                const int e = half[k + r];
                const Rgba* in = rowOf(backup, y);
                Rgba* out = rowOf(image, y);
                for (int hc = 0; hc < holeCols; ++hc) {
                    const int cx = a.x0 + hc * s;
                    const int from = std::max(a.x0, cx - e), to = std::min(a.x1, cx + e - 1);
                    if (from <= to) std::copy(in + from, in + to + 1, out + from);
                }
            }
        }
    });
}

void dots::colorChangeAction() { reapply(); }

// ---------------------------------------------------------------------------
// RGB-Dots

const effectInfo rgbdots::descriptor = {&family,
                                        "RGB-Dots",
                                        {"Additive", "Subtractive"},
                                        settingInfo{10, 2, 0, 1}.upTo(rangeRule::fifthOfLargerSide)};

rgbdots::rgbdots(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
                 ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void rgbdots::LBAction() {
    if (!leftDown) return;
    const float size = value1;
    const Area a = areaOf(*this);
    if (a.empty() || !(size >= 1)) return;
    const Tiling t = tilingOf(a, size);
    const std::vector<Rgba> means = tileMeans(backup, t, byteRange);
    const bool additive = mode == 1;
    const Rgba ground = additive ? kBlack : kWhite;
    const unsigned char ink = additive ? 255 : 0;
    // Disc centres of red, green and blue relative to the cell; a disc of
    // full strength covers the cell's area.
    const int cx[3] = {truncToInt(size / 4), truncToInt(3 * size / 4), truncToInt(size / 2)};
    const int cy[3] = {truncToInt(size / 4), 0, truncToInt(3 * size / 4)};
    const float kSqrtPi = 1.7724538509055159f;
    auto strength = [additive](int level) { return additive ? level : 255 - level; };

    // The rows of each channel's disc for every level that occurs, worked
    // out once: row k from the cell's top, columns from..to from its left.
    struct DiscRow {
        int k, from, to;
    };
    std::vector<std::vector<DiscRow>> discs(3 * 256);
    std::vector<bool> occurs(3 * 256, false);
    for (const Rgba m : means) {
        occurs[m.r] = occurs[256 + m.g] = occurs[512 + m.b] = true;
    }
    for (int ch = 0; ch < 3; ++ch) {
        for (int level = 0; level < 256; ++level) {
            if (!occurs[ch * 256 + level]) continue;
            const float v = static_cast<float>(strength(level));
            const float rho = std::sqrt(v / 255 * (size * size)) / kSqrtPi;
            for (int k = truncToInt(cy[ch] - rho); k < truncToInt(cy[ch] + rho); ++k) {
                const float reach = rho * rho - static_cast<float>((k - cy[ch]) * (k - cy[ch]));
                if (reach < 0) continue;
                const float e = std::sqrt(reach);
                discs[ch * 256 + level].push_back(
                    DiscRow{k, truncToInt(cx[ch] - e), truncToInt(cx[ch] + e) - 1});
            }
        }
    }

    // A disc only sets one channel to one value, so the order of the discs
    // does not matter and each core takes whole rows.
    inBands(a.y0, a.y1, a.pixels(), [&](int lo, int hi) {
        imageRgbaSetArea(image, a.x0, lo, a.x1 + 1, hi + 1, ground);
        for (int r = 0; r < t.rows && t.top(r) <= a.y1; ++r) {
            // Discs reach less than one cell above and two below the cell's top.
            if (t.top(r) + 2 * t.size < lo || t.top(r) - t.size > hi) continue;
            for (int c = 0; c < t.cols && t.left(c) <= a.x1; ++c) {
                const Rgba m = means[size_t(r) * t.cols + c];
                const unsigned char level[3] = {m.r, m.g, m.b};
                for (int ch = 0; ch < 3; ++ch) {
                    for (const DiscRow& d : discs[ch * 256 + level[ch]]) {
                        const int y = t.top(r) + d.k;
                        if (y < lo || y > hi) continue;
                        const int from = std::max(a.x0, t.left(c) + d.from);
                        const int to = std::min(a.x1, t.left(c) + d.to);
                        unsigned char* bytes = &rowOf(image, y)->r;
                        for (int x = from; x <= to; ++x) bytes[size_t(x) * 4 + ch] = ink;
                    }
                }
            }
        }
    });
}

// ---------------------------------------------------------------------------
// Lines

// value1 is the longest run.
const effectInfo lines::descriptor = {
    &family, "Lines", {"Horizontal", "Vertical"}, {50, 1, kLongestRun, 1}};

lines::lines(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
             ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void lines::LBAction() {
    if (!leftDown) return;
    const Area a = areaOf(*this);
    if (a.empty()) return;
    const int longest = value1Range.intForceLimit(value1);
    if (longest < 1) return;
    const bool across = mode != 2;
    const int count = across ? a.h : a.w;
    const int lo = across ? a.x0 : a.y0, hi = across ? a.x1 : a.y1;

    // The runs of every line are drawn first, in the order of the loop and
    // on this thread alone, so the shared random sequence is used exactly as
    // a run-by-run walk would; the pixels then go to all cores. The loop
    // tests where the previous run started, so most lines end with a draw
    // that makes an empty run, and a line of one pixel makes none.
    std::vector<unsigned char> runs;
    std::vector<size_t> starts(size_t(count) + 1);
    {
        randRun run;
        randDraws draws = run.draws();
        for (int line = 0; line < count; ++line) {
            starts[line] = runs.size();
            int s = lo, n = 0;
            while (s < hi) {
                s += n;
                n = draws.next() % longest + 1;
                const int length = std::min(s + n - 1, hi) - s + 1;
                if (length > 0) runs.push_back(static_cast<unsigned char>(length));
            }
        }
        run.resume(draws);
    }
    starts[count] = runs.size();
    const limit bytes = byteRange;

    if (across) {
        inBands(0, count - 1, a.pixels(), [&](int first, int last) {
            for (int line = first; line <= last; ++line) {
                const Rgba* in = rowOf(backup, a.y0 + line);
                Rgba* out = rowOf(image, a.y0 + line);
                int x = a.x0;
                for (size_t k = starts[line]; k < starts[line + 1]; ++k) {
                    Sum sum;
                    sum.add(in + x, runs[k]);
                    std::fill_n(out + x, runs[k], sum.mean(bytes));
                    x += runs[k];
                }
            }
        });
        return;
    }
    // Columns go down together in groups, row by row, so that memory is
    // read and written in whole cache lines: once to average the runs, once
    // to write them. A run's sums fit 32 bits.
    const int kGroup = 256;
    std::vector<Rgba> means(runs.size());
    struct Column {
        uint32_t r, g, b;
        int left;
        size_t next, end;
        void take(const std::vector<unsigned char>& all) {
            left = next < end ? all[next++] : 0;
            r = g = b = 0;
        }
    };
    inBands(0, (count - 1) / kGroup, a.pixels(), [&](int g0, int g1) {
        Column col[kGroup];
        for (int g = g0; g <= g1; ++g) {
            const int c0 = g * kGroup, n = std::min(count - c0, kGroup);
            for (int i = 0; i < n; ++i) {
                col[i].next = starts[c0 + i];
                col[i].end = starts[c0 + i + 1];
                col[i].take(runs);
            }
            for (int y = a.y0; y <= a.y1; ++y) {
                const Rgba* in = rowOf(backup, y) + a.x0 + c0;
                for (int i = 0; i < n; ++i) {
                    Column& k = col[i];
                    if (k.left == 0) continue;
                    k.r += in[i].r;
                    k.g += in[i].g;
                    k.b += in[i].b;
                    if (--k.left > 0) continue;
                    const uint32_t length = runs[k.next - 1];
                    means[k.next - 1] = Rgba{clampByte(bytes, static_cast<float>(k.r / length)),
                                             clampByte(bytes, static_cast<float>(k.g / length)),
                                             clampByte(bytes, static_cast<float>(k.b / length)), 255};
                    k.take(runs);
                }
            }
            for (int i = 0; i < n; ++i) {
                col[i].next = starts[c0 + i];
                col[i].take(runs);
            }
            for (int y = a.y0; y <= a.y1; ++y) {
                Rgba* out = rowOf(image, y) + a.x0 + c0;
                for (int i = 0; i < n; ++i) {
                    Column& k = col[i];
                    if (k.left == 0) continue;
                    out[i] = means[k.next - 1];
                    if (--k.left == 0) k.take(runs);
                }
            }
        }
    });
}

// ---------------------------------------------------------------------------
// Noise

// The share of pixels changed (value1) and the strength (value2); mode 2
// tints with `color`.
const effectInfo noise::descriptor =
    effectInfo{&family, "Noise", {"Random", "Colorized"}, {100, 0, 100, 1}, {50, 0, 100, 1}}
        .usingColor(Rgba{64, 64, 192, 255});

noise::noise(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
             ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

// One thread, pixel by pixel: the shared random sequence is drawn in exactly
// this order.
void noise::LBAction() {
    if (!leftDown) return;
    const Area a = areaOf(*this);
    if (a.empty()) return;
    const float share = value1, t = value2 / 100, keep = 1 - t;
    const bool tinted = mode == 2;
    const int tint[3] = {color.r, color.g, color.b};
    const limit bytes = byteRange;
    randRun run;
    randDraws draws = run.draws();
    for (int y = a.y0; y <= a.y1; ++y) {
        const Rgba* in = rowOf(backup, y);
        Rgba* out = rowOf(image, y);
        for (int x = a.x0; x <= a.x1; ++x) {
            if (!(draws.next() % 100 < share)) {
                out[x] = in[x];
                continue;
            }
            const unsigned char old[3] = {in[x].r, in[x].g, in[x].b};
            unsigned char mixed[3];
            for (int k = 0; k < 3; ++k) {
                int v = draws.next() % 256;
                if (tinted) v = clampByte(bytes, static_cast<float>(v + tint[k]));
                mixed[k] = clampByte(bytes, static_cast<float>(v) * t + static_cast<float>(old[k]) * keep);
            }
            out[x].r = mixed[0];
            out[x].g = mixed[1];
            out[x].b = mixed[2];
        }
    }
    run.resume(draws);
}

void noise::colorChangeAction() { reapply(); }

