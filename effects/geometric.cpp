#include "effects/geometric.h"

#include "image/bands.h"
#include "image/clamp.h"
#include "image/draw.h"
#include "image/pi.h"
#include "image/sampling.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

// ---------------------------------------------------------------------------
// Warps

namespace {

const float kTwirlGridStep = 50;  // mode 2's radius step; mode 1's is the descriptor's
const float kTwirlRadiusPerCell = 50;  // the grid has R / 50 + 1 cells a side

const double kBubblePowerDivisor = 20;  // the strength 25 gives the power 1.25
// Added to the colour on the fixed frame's top, left, right and bottom edges.
const int kLitTop = 50, kLitLeft = 20, kLitRight = -20, kLitBottom = -50;

// Precision. The lengths and factors the formulas name (d, u, z, θ) are
// floats, and so are the source points; what goes into sin, cos, atan2, pow
// and cbrt is worked out in double, and what comes out stays double until it
// becomes a source point. Ripple's radial distance only feeds a sine and
// stays double.

inline float distance(double dx, double dy) {
    return static_cast<float>(std::sqrt(dx * dx + dy * dy));
}

// A length over a radius, as a power's base.
inline double over(double length, float R) { return length / R; }

// Degrees to radians, held in single precision.
inline float radians(float degrees) { return static_cast<float>(degrees / 180.0 * kPi); }

// Rounding to float settles v, known within `slack`, where both ends of
// the interval round alike.
inline bool settled(double v, double slack, float& out) {
    out = static_cast<float>(v - slack);
    return out == static_cast<float>(v + slack);
}

// The source point (cx + d·sin t, cy + d·cos t) as floats, t = atan2(dx, dy)
// + turn, with d the float distance and r the exact one. The angle sum (sin
// = dx / r, cos = dy / r) gives it as cx + dx·C + dy·S, cy + dy·C - dx·S
// with C = d/r·cos turn and S = d/r·sin turn, within a few units in the
// last place of what the chain through atan2, sin and cos gives: far from
// most float roundings. Where one falls within the slack (about one point
// in ten million), the chain decides.
struct Turn {
    float d;
    double turn, C, S;
    Turn() = default;
    Turn(float d, double r, double turn, double sinTurn, double cosTurn)
        : d(d), turn(turn), C(r > 0 ? cosTurn * (d / r) : 0), S(r > 0 ? sinTurn * (d / r) : 0) {}
};

inline void turnedPoint(int cx, int cy, int dx, int dy, const Turn& t, float& px, float& py) {
    const double ox = cx + (dx * t.C + dy * t.S);
    const double oy = cy + (dy * t.C - dx * t.S);
    // Both ways err by under 1e-14 d and one unit in the last place of the sum.
    const double slack = t.d * 1e-13 + (std::fabs(ox) + std::fabs(oy)) * 4e-15;
    if ((dx != 0 || dy != 0) && settled(ox, slack, px) && settled(oy, slack, py)) return;
    const double turned = std::atan2(dx, dy) + t.turn;
    px = static_cast<float>(cx + t.d * std::sin(turned));
    py = static_cast<float>(cy + t.d * std::cos(turned));
}

// Source points worked out at a time.
constexpr int kRun = 256;

// Columns [lo, hi] of a row; empty when lo > hi.
struct Span {
    int lo, hi;
};

// What every warp render shares: the area, the centre, the two pictures.
struct Warp {
    pixelRect a;
    float x0, y0, x1, y1;  // the area's edges as source-point limits
    int cx, cy;
    ImageRGBA* source;
    const Rgba* in;
    Rgba* out;
    size_t width;
    bool smooth;  // bilinear where the warp allows it

    explicit Warp(const effect& e)
        : a(e.areaInPicture()),
          x0(static_cast<float>(a.x0)),
          y0(static_cast<float>(a.y0)),
          x1(static_cast<float>(a.x1)),
          y1(static_cast<float>(a.y1)),
          cx(e.cursor.x),
          cy(e.cursor.y),
          source(e.backup),
          in(e.backup->data),
          out(e.image->data),
          width(static_cast<size_t>(e.image->width)),
          smooth(e.warpToggle) {}

    bool empty() const { return a.x0 > a.x1 || a.y0 > a.y1; }
    long long areaWidth() const { return static_cast<long long>(a.x1) - a.x0 + 1; }
    // The work of a render over the whole area, for sharing it between cores.
    double pixels() const { return static_cast<double>(areaWidth()) * (a.y1 - a.y0 + 1); }

    float clampX(float sx) const { return clampFloat(sx, x0, x1); }
    float clampY(float sy) const { return clampFloat(sy, y0, y1); }

    // (sx, sy) within the area. Past 2^24 a float edge may round one beyond
    // the area, so the column and row are held to it as integers too.
    Rgba nearest(float sx, float sy) const {
        const int x = std::min(static_cast<int>(sx), a.x1);
        const int y = std::min(static_cast<int>(sy), a.y1);
        return in[static_cast<size_t>(y) * width + x];
    }
    // The largest |dx| in the area.
    long long farthest() const { return std::max<long long>(cx - a.x0, a.x1 - cx); }
    // The largest |dx| whose distance d from the centre, at row offset dy, is
    // at most R, as far as the area reaches; -1 where there is none. d grows
    // with |dx|, so it is found from an estimate by exact tests at its ends.
    long long reach(long long dy, float R) const {
        auto inside = [&](long long dx) {
            return distance(static_cast<double>(dx), static_cast<double>(dy)) <= R;
        };
        if (!inside(0)) return -1;
        const long long most = farthest();
        const double room = static_cast<double>(R) * R - static_cast<double>(dy) * dy;
        long long h =
            room > 0 ? static_cast<long long>(std::min(std::sqrt(room), static_cast<double>(most)))
                     : 0;
        while (h < most && inside(h + 1)) ++h;
        while (h > 0 && !inside(h)) --h;
        return h;
    }
    // The columns within `reach` h of the centre; with dy 0 and the same
    // test, |dx| <= R.
    Span around(long long h) const {
        const long long lo = std::max<long long>(a.x0, cx - h);
        const long long hi = std::min<long long>(a.x1, cx + h);
        if (h < 0 || lo > hi) return none();
        return Span{static_cast<int>(lo), static_cast<int>(hi)};
    }
    Span within(long long dy, float R) const { return around(reach(dy, R)); }
    Span whole() const { return Span{a.x0, a.x1}; }
    Span none() const { return Span{a.x1 + 1, a.x1}; }

    // Row y left as committed outside `s`.
    void copyAround(int y, Span s) const {
        const size_t row = static_cast<size_t>(y) * width;
        if (s.lo > a.x0)
            std::memcpy(out + row + a.x0, in + row + a.x0, (s.lo - a.x0) * sizeof(Rgba));
        if (s.hi < a.x1)
            std::memcpy(out + row + s.hi + 1, in + row + s.hi + 1, (a.x1 - s.hi) * sizeof(Rgba));
    }

    // Pixels of a row from the source points (sx, sy) of each: nearest or
    // bilinear. Where `paint` is given, points beyond the area take it
    // instead (the rest clamp their points into the area).
    void sample(float* sx, float* sy, int n, Rgba* line, bool bilinear,
                const Rgba* paint = nullptr) const {
        bool beyond[kRun];
        int outside = 0;
        if (paint) {
            for (int k = 0; k < n; ++k) {
                beyond[k] = !(sx[k] >= x0 && sx[k] <= x1 && sy[k] >= y0 && sy[k] <= y1);
                if (beyond[k]) sx[k] = x0, sy[k] = y0, ++outside;
            }
            if (outside == n) {
                std::fill(line, line + n, *paint);
                return;
            }
        }
        if (bilinear) {
            imageRgbaInterpolateRun(source, sx, sy, n, line);
        } else {
            for (int k = 0; k < n; ++k) line[k] = nearest(sx[k], sy[k]);
        }
        if (outside == 0) return;
        for (int k = 0; k < n; ++k) {
            if (beyond[k]) line[k] = *paint;
        }
    }

    // Row by row over the area: `row(y)` gives the span the warp changes and
    // a filler of the source points of n pixels from x on; the rest of the
    // row is copied.
    template <class Row>
    void render(Row row, const Rgba* paint = nullptr) const {
        if (empty()) return;
        inBands(a.y0, a.y1, pixels(), [&](int from, int to) {
            float sx[kRun], sy[kRun];
            for (int y = from; y <= to; ++y) {
                const auto [span, fill] = row(y);
                copyAround(y, span);
                Rgba* line = out + static_cast<size_t>(y) * width;
                for (long long x = span.lo; x <= span.hi; x += kRun) {
                    const int n = static_cast<int>(std::min<long long>(kRun, span.hi - x + 1));
                    fill(static_cast<int>(x), n, sx, sy);
                    sample(sx, sy, n, line + x, smooth, paint);
                }
            }
        });
    }
};

// A sine offset follows dx, dy, or is not there.
enum class Along { none, x, y };

// Ripple modes 2 to 4 and wave: each axis of the source point moves by
// A·sin(t/λ) with t the offset along `xBy` or `yBy`, clamped into the area.
// Column offsets are worked out once per band, row offsets once per row and
// run of columns.
void renderSine(const effect& e, Along xBy, Along yBy) {
    const Warp w(e);
    if (w.empty()) return;
    const double amplitude = e.value2, wavelength = e.value1;
    auto offset = [&](int t) { return amplitude * std::sin(t / wavelength); };
    const bool columns = xBy == Along::x || yBy == Along::x;
    inBands(w.a.y0, w.a.y1, w.pixels(), [&](int from, int to) {
        double byColumn[kRun];
        float sx[kRun], sy[kRun];
        for (int c0 = w.a.x0; c0 <= w.a.x1; c0 += kRun) {
            const int c1 = std::min(w.a.x1, c0 + kRun - 1), n = c1 - c0 + 1;
            if (columns) {
                for (int x = c0; x <= c1; ++x) byColumn[x - c0] = offset(x - w.cx);
            }
            for (int y = from; y <= to; ++y) {
                const double byRow = offset(y - w.cy);
                for (int k = 0; k < n; ++k) {
                    auto pick = [&](Along by) {
                        return by == Along::x ? byColumn[k] : by == Along::y ? byRow : 0.0;
                    };
                    sx[k] = w.clampX(static_cast<float>(c0 + k + pick(xBy)));
                    sy[k] = w.clampY(static_cast<float>(y + pick(yBy)));
                }
                w.sample(sx, sy, n, w.out + static_cast<size_t>(y) * w.width + c0, w.smooth);
            }
        }
    });
}

// The offsets |t - c| of the whole numbers t from lo to hi.
Span distances(long long c, int lo, int hi) {
    if (c < lo) return Span{static_cast<int>(lo - c), static_cast<int>(hi - c)};
    if (c > hi) return Span{static_cast<int>(c - hi), static_cast<int>(c - lo)};
    return Span{0, static_cast<int>(std::max(c - lo, hi - c))};
}

// Warps whose source point follows from the offset (dx, dy) from the centre
// and a factor of |dx| and |dy| alone: the factor is worked out once for the
// up to four pixels mirrored about the centre at (±a, ±b). `reach(b)` is the
// largest a that moves (-1 for none; the rest of the row is copied),
// `factor(a, b)` the factor, `place(x, y, f, sx, sy)` the source point;
// `paint` as in Warp::sample.
template <class Reach, class Factor, class Place>
void renderMirrored(const Warp& w, Reach reach, Factor factor, Place place,
                    const Rgba* paint = nullptr) {
    if (w.empty()) return;
    const Span across = distances(w.cx, w.a.x0, w.a.x1), down = distances(w.cy, w.a.y0, w.a.y1);
    typedef decltype(factor(0, 0)) F;
    inBands(down.lo, down.hi, 2.0 * w.areaWidth() * (down.hi - down.lo + 1), [&](int from, int to) {
        F factors[kRun];
        float sx[kRun], sy[kRun];
        for (int b = from; b <= to; ++b) {
            int rows[2], rowCount = 0;
            for (long long y :
                 {static_cast<long long>(w.cy) - b, static_cast<long long>(w.cy) + b}) {
                if (y >= w.a.y0 && y <= w.a.y1) rows[rowCount++] = static_cast<int>(y);
                if (b == 0) break;
            }
            const long long h = reach(b);
            for (int i = 0; i < rowCount; ++i) w.copyAround(rows[i], w.around(h));
            const int most = static_cast<int>(std::min<long long>(across.hi, h));
            for (int a0 = across.lo; a0 <= most; a0 += kRun) {
                const int a1 = std::min(most, a0 + kRun - 1);
                for (int a = a0; a <= a1; ++a) factors[a - a0] = factor(a, b);
                for (int i = 0; i < rowCount; ++i) {
                    const int y = rows[i];
                    Rgba* line = w.out + static_cast<size_t>(y) * w.width;
                    // Left of the centre x = cx - a, right of it x = cx + a (a > 0).
                    for (int side : {-1, 1}) {
                        const long long near =
                            side < 0 ? w.cx - w.a.x1 : std::max(w.a.x0 - w.cx, 1);
                        const long long far = side < 0 ? w.cx - w.a.x0 : w.a.x1 - w.cx;
                        const int first = static_cast<int>(std::max<long long>(a0, near));
                        const int last = static_cast<int>(std::min<long long>(a1, far));
                        if (first > last) continue;
                        // The run's columns from left to right.
                        const long long left = side < 0 ? w.cx - last : w.cx + first;
                        const int n = last - first + 1;
                        for (int k = 0; k < n; ++k) {
                            const long long x = left + k;
                            place(x, y, factors[(side < 0 ? w.cx - x : x - w.cx) - a0], sx[k],
                                  sy[k]);
                        }
                        w.sample(sx, sy, n, line + left, w.smooth, paint);
                    }
                }
            }
        }
    });
}

// Ripple mode 1: both axes move by A·sin(d/λ).
void rippleRadial(const effect& e) {
    const Warp w(e);
    const double amplitude = e.value2, wavelength = e.value1;
    renderMirrored(
        w, [&w](int) { return w.farthest(); },
        [=](int a, int b) {
            return amplitude *
                   std::sin(std::sqrt(static_cast<double>(a) * a + static_cast<double>(b) * b) /
                            wavelength);
        },
        [&w](long long x, int y, double o, float& sx, float& sy) {
            sx = w.clampX(static_cast<float>(x + o));
            sy = w.clampY(static_cast<float>(y + o));
        });
}

}  // namespace

// Each warp: name, modes, then value1 (Right/Left) and value2 (Up/Down) as
// start, range and key step. Like all warps they commit the picture and
// render once at (0, 0) in their first mode; those that follow the pointer
// take every event.

const effectInfo ripple::descriptor =
    effectInfo{&family,
               "Ripple",
               {"Radial", "Vertical", "Horizontal", "Crossed"},
               {5, 1, 50, 1},
               {10, 1, 50, 2}}
        .takingEveryEvent();

ripple::ripple(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
               ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void ripple::idleAction() {
    if (!leftDown || !pointerOnPicture()) return;
    static const Along xBy[] = {Along::none, Along::x, Along::none, Along::x};
    static const Along yBy[] = {Along::none, Along::none, Along::y, Along::y};
    if (mode >= 2 && mode <= 4) {
        renderSine(*this, xBy[mode - 1], yBy[mode - 1]);
        return;
    }
    rippleRadial(*this);
}

const effectInfo bubble::descriptor =
    effectInfo{&family,
               "Bubble",
               {"Convex", "Concave", "Vertical", "Horizontal"},
               {100, 10, 1000, 5},
               {25, 1, 250, 5}}
        .takingEveryEvent();

bubble::bubble(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
               ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void bubble::idleAction() {
    if (!leftDown || !pointerOnPicture()) return;
    const Warp w(*this);
    const float R = value1;
    const double power = value2 / kBubblePowerDivisor;
    const int m = mode;
    // Modes 1 and 2 move a pixel by a factor of its distance: shared by the
    // mirrored ones. Outside the radius nothing moves.
    if (m == 1 || m == 2) {
        renderMirrored(
            w, [&w, R](int b) { return w.reach(b, R); },
            [R, power, m](int a, int b) {
                const double q = over(distance(a, b), R);
                return static_cast<float>(m == 1 ? std::pow(q, power) : std::cbrt(q));
            },
            [&w, m](long long x, int y, float u, float& sx, float& sy) {
                const int dx = static_cast<int>(x - w.cx), dy = y - w.cy;
                if (m == 1) {
                    sx = w.clampX(w.cx + dx * u);
                    sy = w.clampY(w.cy + dy * u);
                } else if (dx == 0 && dy == 0) {  // the centre samples itself
                    sx = w.clampX(static_cast<float>(w.cx));
                    sy = w.clampY(static_cast<float>(w.cy));
                } else {
                    sx = w.clampX(w.cx + dx / u);
                    sy = w.clampY(w.cy + dy / u);
                }
            });
        return;
    }
    // Mode 3's source column follows the column alone: worked out once.
    static std::vector<float> byColumn;
    const Span columns = w.within(0, R);
    if (m == 3 && !w.empty()) {
        byColumn.resize(std::max(columns.hi - columns.lo + 1, 0));
        for (int x = columns.lo; x <= columns.hi; ++x) {
            const int dx = x - w.cx;
            const float u = static_cast<float>(std::pow(over(std::abs(dx), R), power));
            byColumn[x - columns.lo] = w.clampX(w.cx + dx * u);
        }
    }
    const float* sourceColumn = byColumn.data();
    w.render([&w, R, power, m, columns, sourceColumn](int y) {
        const int dy = y - w.cy;
        const bool inside = std::abs(dy) <= R;
        const Span span = m == 3 ? columns : inside ? w.whole() : w.none();
        // Mode 4's factor follows the row alone.
        const float rowU = m == 4 && inside ? static_cast<float>(std::pow(over(std::abs(dy), R), power)) : 0;
        auto fill = [&w, m, y, dy, rowU, columns, sourceColumn](int x0, int n, float* sx,
                                                                float* sy) {
            for (int k = 0; k < n; ++k) {
                sx[k] = m == 3 ? sourceColumn[x0 + k - columns.lo] : static_cast<float>(x0 + k);
                sy[k] = w.clampY(m == 3 ? static_cast<float>(y) : w.cy + dy * rowU);
            }
        };
        return std::make_pair(span, fill);
    });
}

const effectInfo wave::descriptor =
    effectInfo{&family, "Wave", {"Horizontal", "Vertical", "Full"}, {5, 1, 50, 1}, {10, 1, 50, 2}}
        .takingEveryEvent();

wave::wave(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
           ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void wave::idleAction() {
    if (!leftDown || !pointerOnPicture() || mode < 1 || mode > 3) return;
    static const Along xBy[] = {Along::y, Along::none, Along::y};
    static const Along yBy[] = {Along::none, Along::x, Along::x};
    renderSine(*this, xBy[mode - 1], yBy[mode - 1]);
}

// The angle or zoom goes round past either end instead of stopping.
const effectInfo lens::descriptor =
    effectInfo{&family,
               "Lens",
               {"Turn", "Zoom", "Flip vertical", "Flip horizontal"},
               {100, 10, 1000, 5},
               settingInfo{190, 0, 359, 5}.wrapping()}
        .usingColor(Rgba{0, 0, 0, 255})
        .takingEveryEvent();

lens::lens(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
           ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void lens::idleAction() {
    if (!leftDown || !pointerOnPicture()) return;
    const Warp w(*this);
    const float R = value1;
    const float z = value2 / 36;
    const Rgba paint = color;
    const int m = mode;
    // Sources are not clamped: those outside the area take the colour.
    if (m == 1) {
        // The turn is the same everywhere; d/r is shared by the mirrored pixels.
        const double theta = radians(value2);
        const double sinTheta = std::sin(theta), cosTheta = std::cos(theta);
        renderMirrored(
            w, [&w, R](int b) { return w.reach(b, R); },
            [=](int a, int b) {
                const double r = std::sqrt(static_cast<double>(a) * a + static_cast<double>(b) * b);
                return Turn(static_cast<float>(r), r, theta, sinTheta, cosTheta);
            },
            [&w](long long x, int y, const Turn& t, float& sx, float& sy) {
                turnedPoint(w.cx, w.cy, static_cast<int>(x - w.cx), y - w.cy, t, sx, sy);
            },
            &paint);
        return;
    }
    w.render(
        [&w, R, z, m](int y) {
            const int dy = y - w.cy;
            auto fill = [&w, z, m, y, dy](int x0, int n, float* sx, float* sy) {
                for (int k = 0; k < n; ++k) {
                    const int x = x0 + k, dx = x - w.cx;
                    float px = static_cast<float>(x), py = static_cast<float>(y);
                    if (m == 2) {
                        px = w.cx + dx * z;
                        py = w.cy + dy * z;
                    } else if (m == 3) {
                        px = static_cast<float>(2.0 * w.cx - x);
                    } else if (m == 4) {
                        py = static_cast<float>(2.0 * w.cy - y);
                    }
                    sx[k] = px;
                    sy[k] = py;
                }
            };
            return std::make_pair(w.within(dy, R), fill);
        },
        &paint);
}

namespace {

// The twist of a pixel at distance d from a twirl's centre: the full angle
// at the centre, none at radius R.
inline double twist(float theta, float d, float R) {
    const double q = (static_cast<double>(R) - d) / R;
    return theta * (q * q);
}

// The single twirl around the pointer. The twist follows the distance
// alone: its sine and cosine are shared by the mirrored pixels.
void twirlOnce(const effect& e) {
    const Warp w(e);
    const float R = e.value1;
    const float theta = radians(e.value2);
    renderMirrored(
        w, [&w, R](int b) { return w.reach(b, R); },
        [R, theta](int a, int b) {
            const double r = std::sqrt(static_cast<double>(a) * a + static_cast<double>(b) * b);
            const float d = static_cast<float>(r);
            const double turn = twist(theta, d, R);
            return Turn(d, r, turn, std::sin(turn), std::cos(turn));
        },
        [&w](long long x, int y, const Turn& t, float& sx, float& sy) {
            turnedPoint(w.cx, w.cy, static_cast<int>(x - w.cx), y - w.cy, t, sx, sy);
            sx = w.clampX(sx);
            sy = w.clampY(sy);
        });
}

// An n by n grid of equal twirls filling the area from its top-left corner;
// a strip narrower than a cell at the right and bottom stays as it is. The
// cells are alike, so each offset from a cell's centre is worked out once
// and used in all of them. Always bilinear; a pixel the twirl leaves samples
// its own place, which gives it opaque.
void twirlGrid(const effect& e) {
    const Warp w(e);
    if (w.empty()) return;
    const float theta = radians(e.value2);
    const int n = truncToInt(e.value1 / kTwirlRadiusPerCell + 1);
    const int cw = n >= 1 ? static_cast<int>(w.areaWidth() / n) : 0;
    const int ch = n >= 1 ? (w.a.y1 - w.a.y0 + 1) / n : 0;
    if (cw < 1 || ch < 1) return;
    const float halfW = cw / 2.0f, halfH = ch / 2.0f;
    const float r = w.areaWidth() <= w.a.y1 - w.a.y0 + 1 ? halfW : halfH;
    inBands(0, ch - 1, static_cast<double>(cw) * n * n * ch, [&](int from, int to) {
        double ox[kRun], oy[kRun];
        bool turned[kRun];
        float sx[kRun], sy[kRun];
        for (int k = from; k <= to; ++k) {
            const float ey = k - halfH;
            for (int l0 = 0; l0 < cw; l0 += kRun) {
                const int count = std::min(cw - l0, kRun);
                for (int i = 0; i < count; ++i) {
                    const float ex = l0 + i - halfW;
                    const float dist = distance(ex, ey);
                    turned[i] = dist <= r;
                    if (!turned[i]) continue;
                    const double angle =
                        std::atan2(static_cast<double>(ex), static_cast<double>(ey)) +
                        twist(theta, dist, r);
                    ox[i] = dist * std::sin(angle);
                    oy[i] = dist * std::cos(angle);
                }
                for (int a = 0; a < n; ++a) {
                    const int y = w.a.y0 + a * ch + k;
                    const float my = w.a.y0 + a * ch + halfH;
                    Rgba* line = w.out + static_cast<size_t>(y) * w.width;
                    for (int b = 0; b < n; ++b) {
                        const int left = w.a.x0 + b * cw + l0;
                        const float mx = w.a.x0 + b * cw + halfW;
                        for (int i = 0; i < count; ++i) {
                            if (turned[i]) {
                                sx[i] = w.clampX(static_cast<float>(mx + ox[i]));
                                sy[i] = w.clampY(static_cast<float>(my + oy[i]));
                            } else {
                                sx[i] = static_cast<float>(left + i);
                                sy[i] = static_cast<float>(y);
                            }
                        }
                        w.sample(sx, sy, count, line + left, true);
                    }
                }
            }
        }
    });
}

}  // namespace

const effectInfo twirl::descriptor =
    effectInfo{&family,
               "Twirl",
               {"Single Twirl", "Multiple Twirl"},
               {100, 10, 1000, 10},
               {180, -1080, 1080, 30}}
        .takingEveryEvent();

twirl::twirl(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
             ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void twirl::idleAction() {
    if (!leftDown) return;
    if (mode == 2) {
        twirlGrid(*this);  // the grid does not follow the pointer
    } else if (mode == 1 && pointerOnPicture()) {
        twirlOnce(*this);
    }
}

// The old grid's strip is wiped before the new one is drawn.
void twirl::changeValue(char c) {
    if (mode != 2 || (c != kKeyRight && c != kKeyLeft)) return effect::changeValue(c);
    imageRgbaCopy(backup, image);
    value1 = value1Range.forceLimit(value1 + (c == kKeyRight ? kTwirlGridStep : -kTwirlGridStep));
    renderOnce();
}

// The bevel's range follows the area (0 to half its smaller side), and so
// does its start (a quarter of that).
const effectInfo buttonize::descriptor =
    effectInfo{&family,
               "Buttonize",
               {"Floating", "Fixed"},
               settingInfo{0, 0, 0, 1}.upTo(rangeRule::halfSmallerSide),
               {50, 0, 100, 5}}
        .usingColor(Rgba{0, 0, 0, 255});

buttonize::buttonize(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
                     ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void buttonize::idleAction() { LBAction(); }

void buttonize::colorChangeAction() { renderOnce(); }

void buttonize::LBAction() {
    if (!leftDown || !pointerOnPicture()) return;
    const Warp w(*this);
    if (w.empty()) return;
    const float B = value1, S = value2;
    const Rgba paint = color;
    const limit bytes = byteRange;
    const bool floating = mode == 1;
    enum Edge { top, bottom, left, right };
    // The weight of the colour on each edge at distance `in` from the border.
    auto weight = [B, S, floating](Edge edge, int in) -> float {
        if (!floating) return S / 100;
        if (B == 0) return 0;  // only the last row and column are edges then
        if (edge == top || edge == left) return S / 100 * (1 - in / B);
        return S / 100 * (B - in) / B;
    };
    // Per edge and distance: the colour's part (c + lit)·t of each channel
    // and the weight 1 - t of the pixel under it.
    struct Shade {
        float part[3], keep;
    };
    static std::vector<Shade> shades[4];
    // Top and bottom reach at most the area's height in, left and right its width.
    const long long height = w.a.y1 - w.a.y0 + 1;
    for (Edge edge : {top, bottom, left, right}) {
        int lit = 0;
        if (!floating) {
            lit = edge == top     ? kLitTop
                  : edge == left  ? kLitLeft
                  : edge == right ? kLitRight
                                  : kLitBottom;
        }
        const long long across = edge == top || edge == bottom ? height : w.areaWidth();
        const int deepest = static_cast<int>(std::min<double>(std::max(B, 0.0f), across));
        shades[edge].resize(static_cast<size_t>(deepest) + 1);
        for (int in = 0; in <= deepest; ++in) {
            const float t = weight(edge, in);
            shades[edge][in] = Shade{{(paint.r + lit) * t, (paint.g + lit) * t, (paint.b + lit) * t},
                                     1 - t};
        }
    }
    auto shade = [&](Edge edge, int in, size_t at) {
        const Shade& h = shades[edge][in];
        const Rgba under = w.in[at];
        auto mix = [&](int c, int u) { return clampByte(bytes, h.part[c] + u * h.keep); };
        w.out[at] = Rgba{mix(0, under.r), mix(1, under.g), mix(2, under.b), w.out[at].a};
    };
    inBands(w.a.y0, w.a.y1, w.pixels(), [&](int from, int to) {
        for (int y = from; y <= to; ++y) {
            const int fromTop = y - w.a.y0, fromBottom = w.a.y1 - y;
            const size_t row = static_cast<size_t>(y) * w.width;
            // Between the top and bottom edges a row holds the left edge, the
            // inside and the right edge, in this order.
            if (!(fromTop < B) && !(fromBottom <= B)) {
                int x = w.a.x0;
                for (; x <= w.a.x1 && x - w.a.x0 < B; ++x) shade(left, x - w.a.x0, row + x);
                int end = x;
                while (end <= w.a.x1 && !(w.a.x1 - end <= B)) ++end;
                std::memcpy(w.out + row + x, w.in + row + x, (end - x) * sizeof(Rgba));
                for (x = end; x <= w.a.x1; ++x) shade(right, w.a.x1 - x, row + x);
                continue;
            }
            // The first matching rule decides; the edges meet on mitred diagonals.
            for (int x = w.a.x0; x <= w.a.x1; ++x) {
                const int fromLeft = x - w.a.x0, fromRight = w.a.x1 - x;
                if (fromTop < B && fromLeft >= fromTop && fromRight > fromTop) {
                    shade(top, fromTop, row + x);
                } else if (fromBottom <= B && fromRight > fromBottom && fromLeft >= fromBottom) {
                    shade(bottom, fromBottom, row + x);
                } else if (fromLeft < B) {
                    shade(left, fromLeft, row + x);
                } else if (fromRight <= B) {
                    shade(right, fromRight, row + x);
                } else {
                    w.out[row + x] = w.in[row + x];
                }
            }
        }
    });
}

// ---------------------------------------------------------------------------
// Glass

#include "image/bands.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Each mode sets its own tile size, and texture m is the 20 by 20 icon
// 101 - m of the atlas.
constexpr int kGlassTile[8] = {50, 50, 30, 20, 40, 20, 50, 60};
constexpr int kTextureSide = 20;
constexpr int textureOffset(int mode) { return (101 - mode) * kTextureSide * kTextureSide; }
constexpr Rgba kLightColour = {255, 255, 255, 255};

// The light: azimuth (param1), elevation (param2) and intensity (param3),
// their start values, key steps and limits.
constexpr float kAzimuthStart = kPiF / 4, kAzimuthStep = kPiF / 16, kFullTurn = 2 * kPiF;
constexpr float kElevationStart = kPiF / 8, kElevationStep = kPiF / 32;
constexpr float kElevationLow = kPiF / 16, kElevationHigh = kPiF / 2;
constexpr float kIntensityStep = 0.25f, kIntensityHigh = 2;

// Facets kept per core at most (12 bytes each).
constexpr size_t kKeptFacets = size_t(1) << 18;

// Rounding must never take an arcsine out of its domain.
inline double asinClamped(double v) { return std::asin(std::max(-1.0, std::min(1.0, v))); }

// What the glass does at offset (a, b) of a tile: the displacement and how
// much light the facet there catches (0 to 1).
struct Facet {
    float dx, dy, shade;
};

struct GlassSettings {
    ImageRGBA* texture;
    int offset;
    float tile, strength;
    bool lit;
    double azimuth, elevation;
};

Facet facetAt(const GlassSettings& g, int a, int b) {
    const float u = static_cast<float>(a) / g.tile * kTextureSide;
    const float v = static_cast<float>(b) / g.tile * kTextureSide;
    auto height = [&](float x, float y) {
        return imageRgbaInterpolateSubImage(g.texture, x, y, kTextureSide, kTextureSide, g.offset);
    };
    const int left = height(u - 1, v), right = height(u + 1, v);
    const int up = height(u, v - 1), down = height(u, v + 1);
    Facet f{g.strength * (static_cast<float>(left - right) / 2) / 255 * kTextureSide,
            g.strength * (static_cast<float>(up - down) / 2) / 255 * kTextureSide, 0};
    if (!g.lit) return f;
    // The facet leans toward -(dx, dy); flat below a slope of 2.
    double alpha = 0;
    if (f.dx != 0 || f.dy != 0) {
        alpha = std::atan2(-static_cast<double>(f.dx), -static_cast<double>(f.dy));
        if (alpha < 0) alpha += 2 * kPi;
    }
    float q = (std::fabs(f.dx) + std::fabs(f.dy)) / 2;
    if (q < 2) q = 0;
    const double s = q / (3 * g.strength);
    const double tilt = asinClamped(s / std::sqrt(s * s + 2));
    const double facing = std::sin(tilt) * std::cos(alpha) * std::cos(g.elevation) * std::cos(g.azimuth) +
                          std::sin(tilt) * std::sin(alpha) * std::cos(g.elevation) * std::sin(g.azimuth) +
                          std::cos(tilt) * std::sin(g.elevation);
    f.shade = static_cast<float>(asinClamped(std::fabs(facing)) / (kPi / 2));
    return f;
}

}  // namespace

// Tile size (value1, up to the area's larger side) and strength (value2).
const effectInfo glass::descriptor =
    effectInfo{&family,
               "Glass",
               {"Rough Glass", "Glass Plates", "Glass Blocks", "Curly Glass", "Glass Rings",
                "Dotted Glass", "Puzzle", "Custom"},
               settingInfo{40, 5, 0, 1}.upTo(rangeRule::largerSide),
               {10, 1, 50, 1}}
        .usingColor(kLightColour);

glass::glass(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
             ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    setUp(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
    param1 = kAzimuthStart;
    param2 = kElevationStart;
    param3 = 0;
    start();
}

// Tiles are drawn in order and a destination beyond the area is clamped onto
// its last column or row, so the last write there wins: the one from the
// last tile's last column or row. Each pixel is worked out directly from the
// write that lands last on it, which lets every core take whole rows.
void glass::LBAction() {
    if (!leftDown) return;
    const pixelRect r = areaInPicture();
    const int w = r.x1 - r.x0 + 1, h = r.y1 - r.y0 + 1;
    const float tile = value1;
    if (w <= 0 || h <= 0 || !(tile >= 1) || mode < 1 || mode > modeCount) return;
    const int offset = textureOffset(mode);
    if (!icons || static_cast<long long>(icons->width) * icons->height < offset + 400) return;
    const GlassSettings g{icons, offset, tile, value2, param3 > 0, param1, param2};
    const int side = static_cast<int>(tile);
    const int lastCol = truncToInt(w / tile + 1) - 1, lastRow = truncToInt(h / tile + 1) - 1;
    const int beyondX = r.x0 + lastCol * side + side - 1, beyondY = r.y0 + lastRow * side + side - 1;
    const int across = std::min(side, w - 1);  // offsets of the columns before the last
    const float intensity = param3;
    const float light[3] = {static_cast<float>(color.r), static_cast<float>(color.g),
                            static_cast<float>(color.b)};
    const limit bytes = byteRange;
    const float x0 = static_cast<float>(r.x0), x1 = static_cast<float>(r.x1);
    const float y0 = static_cast<float>(r.y0), y1 = static_cast<float>(r.y1);
    const Rgba* source = backup->data;
    const size_t stride = static_cast<size_t>(backup->width);

    // A row's facets depend on its offset in the tile only. They are worked
    // out once per offset and core and kept, unless the table would be large
    // (tiles nearly as large as the area, whose rows hardly repeat).
    const size_t width = static_cast<size_t>(std::max(across, 0)) + 1;  // the last column's last
    const size_t offsets = static_cast<size_t>(std::min(side, h));
    const bool keep = offsets * width <= kKeptFacets;
    inBands(0, h - 1, static_cast<double>(w) * h, [&](int first, int last) {
        const size_t kept = keep ? offsets : 0;
        std::vector<Facet> table((kept + 1) * width);  // the last row for those not kept
        std::vector<char> ready(kept, 0);
        auto facetsOf = [&](int b) {
            const size_t at = static_cast<size_t>(b) < kept ? static_cast<size_t>(b) : kept;
            Facet* row = &table[at * width];
            if (at < kept && ready[at]) return row;
            for (int a = 0; a < across; ++a) row[a] = facetAt(g, a, b);
            row[across] = facetAt(g, side - 1, b);
            if (at < kept) ready[at] = 1;
            return row;
        };
        auto draw = [&](int y, float py, const Facet* facets) {
            Rgba* out = image->data + static_cast<size_t>(y) * image->width;
            int a = 0;
            for (int x = r.x0; x <= r.x1; ++x) {
                const bool lastColumn = x == r.x1;
                const Facet& f = facets[lastColumn ? across : a];
                const float px = static_cast<float>(lastColumn ? beyondX : x);
                if (++a == side) a = 0;
                const int sx = static_cast<int>(clampFloat(px + f.dx, x0, x1));
                const int sy = static_cast<int>(clampFloat(py + f.dy, y0, y1));
                const Rgba in = source[static_cast<size_t>(sy) * stride + sx];
                if (!g.lit) {
                    out[x] = in;
                    continue;
                }
                const float gain = intensity * f.shade;
                out[x].r = clampByte(bytes, in.r + gain * light[0]);
                out[x].g = clampByte(bytes, in.g + gain * light[1]);
                out[x].b = clampByte(bytes, in.b + gain * light[2]);
            }
        };
        // Rows before the last use their offset; the last row takes the last
        // tile's last row.
        for (int row = first; row <= std::min(last, h - 2); ++row) {
            draw(r.y0 + row, static_cast<float>(r.y0 + row), facetsOf(row % side));
        }
        if (last == h - 1) draw(r.y1, static_cast<float>(beyondY), facetsOf(side - 1));
    });
}

void glass::colorChangeAction() { reapply(); }

void glass::key(unsigned char c) {
    effect::key(c);
    if (c != kKeyDelete) return;
    param3 = std::max(param3 - kIntensityStep, 0.0f);
    drawLightningMenu();
}

// The light keys only move the light and show it in the panel; the next
// application uses it.
void glass::specialKey(int k) {
    effect::specialKey(k);
    switch (k) {
        case kKeyPageDown:
            param3 = std::min(param3 + kIntensityStep, kIntensityHigh);
            break;
        case kKeyInsert:
            param1 = wrapInto(param1 + kAzimuthStep, 0.0f, kFullTurn);
            break;
        case kKeyPageUp:
            param1 = wrapInto(param1 - kAzimuthStep, 0.0f, kFullTurn);
            break;
        case kKeyHome:
            param2 = std::min(param2 + kElevationStep, kElevationHigh);
            break;
        case kKeyEnd:
            param2 = std::max(param2 - kElevationStep, kElevationLow);
            break;
        default:
            return;
    }
    drawLightningMenu();
}

void glass::changeMode(char m) {
    if (m < 1 || m > modeCount) return;  // no texture for it
    value1 = static_cast<float>(kGlassTile[m - 1]);  // beyond value1Range on a small area
    distort::changeMode(m);
}

// A black square with the horizon circle; the light's marker sits on its
// azimuth, nearer the centre the higher the light, filled grey by intensity.
void glass::drawLightningMenu() {
    const Rgba white = {255, 255, 255, 255};
    imageRgbaSetArea(image, 0, 0, std::min(150, image->width), std::min(150, image->height),
                     Rgba{0, 0, 0, 255});
    imageRgbaDrawEllipse(image, 75, 75, 50, 50, white, 0, 0, -1, -1);
    const double toward = static_cast<double>(param1) + kPi, up = param2;
    const int mx = truncToInt(std::cos(up) * std::sin(toward) * 50 + 75);
    const int my = truncToInt(std::cos(up) * std::cos(toward) * 50 + 75);
    const int rx = truncToInt(std::sin(toward) * 50 + 75), ry = truncToInt(std::cos(toward) * 50 + 75);
    imageRgbaDrawLine(image, mx, my, rx, ry, white, 0, 0, -1, -1);
    const unsigned char level = static_cast<unsigned char>(byteRange.intForceLimit(param3 * 127));
    const Rgba grey = {level, level, level, 255};
    for (int k = -7; k <= 6; ++k) {
        const float e = std::sqrt(static_cast<float>(49 - k * k)) + 1;
        for (int c = truncToInt(-e); c < truncToInt(e); ++c) imageRgbaDrawPoint(image, mx + c, my + k, grey);
    }
    imageRgbaDrawEllipse(image, mx, my, 7, 7, white, 0, 0, -1, -1);
}
