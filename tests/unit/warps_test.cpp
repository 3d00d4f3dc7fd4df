#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <functional>

#include "effects/geometric.h"
#include "image/pi.h"
#include "image/sampling.h"
#include "tests/unit/test_support.h"

namespace {

enum Kind { kRipple, kBubble, kWave, kLens, kTwirl, kButtonize };

std::unique_ptr<geometric> makeWarp(Kind kind, EffectImages& im, bool hasArea, point lo, point hi) {
    switch (kind) {
        case kRipple: return im.make<ripple>(hasArea, lo, hi);
        case kBubble: return im.make<bubble>(hasArea, lo, hi);
        case kWave: return im.make<wave>(hasArea, lo, hi);
        case kLens: return im.make<lens>(hasArea, lo, hi);
        case kTwirl: return im.make<twirl>(hasArea, lo, hi);
        default: return im.make<buttonize>(hasArea, lo, hi);
    }
}

struct Setting {
    Kind kind;
    int mode;
    float v1, v2;
    bool smooth;
    point c;
    int x0, y0, x1, y1;  // the area, already inside the picture
    Rgba colour;
};

// The warps pixel by pixel, straight from their formulas: named lengths and
// factors in single precision, sin, cos, atan2, pow and cbrt in double.
void reference(ImageRGBA* src, ImageRGBA* out, const Setting& s) {
    const int W = src->width, H = src->height, cx = s.c.x, cy = s.c.y;
    const bool grid = s.kind == kTwirl && s.mode == 2;
    if (!grid && (cx < 0 || cx > W || cy < 0 || cy > H)) return;
    const float fx0 = s.x0, fy0 = s.y0, fx1 = s.x1, fy1 = s.y1;
    auto clampX = [&](float v) { return v > fx1 ? fx1 : v < fx0 ? fx0 : v; };
    auto clampY = [&](float v) { return v > fy1 ? fy1 : v < fy0 ? fy0 : v; };
    auto at = [&](int x, int y) -> Rgba& { return out->data[y * W + x]; };
    auto fetch = [&](float sx, float sy, bool bilinear) {
        return bilinear ? imageRgbaInterpolate(src, sx, sy) : src->data[int(sy) * W + int(sx)];
    };
    const float theta = static_cast<float>(s.v2 / 180.0 * kPi);
    if (grid) {
        const int n = int(s.v1 / 50 + 1), w = s.x1 - s.x0 + 1, h = s.y1 - s.y0 + 1;
        const float cw = float(w / n), ch = float(h / n), r = w <= h ? cw / 2 : ch / 2;
        for (int a = 0; a < n; ++a)
            for (int b = 0; b < n; ++b)
                for (int k = 0; k < ch; ++k)
                    for (int l = 0; l < cw; ++l) {
                        const int x = s.x0 + b * int(cw) + l, y = s.y0 + a * int(ch) + k;
                        const float mx = s.x0 + b * cw + cw / 2, my = s.y0 + a * ch + ch / 2;
                        const float ex = l - cw / 2, ey = k - ch / 2;
                        const float e = float(std::sqrt(double(ex) * ex + double(ey) * ey));
                        float sx = x, sy = y;
                        if (e <= r) {
                            const double q = (double(r) - e) / r;
                            const double alpha = theta * (q * q);
                            const double psi = std::atan2(double(ex), double(ey));
                            sx = clampX(float(mx + e * std::sin(psi + alpha)));
                            sy = clampY(float(my + e * std::cos(psi + alpha)));
                        }
                        at(x, y) = imageRgbaInterpolate(src, sx, sy);
                    }
        return;
    }
    const float B = s.v1, S = s.v2;
    for (int y = s.y0; y <= s.y1; ++y) {
        for (int x = s.x0; x <= s.x1; ++x) {
            const int dx = x - cx, dy = y - cy;
            const float d = float(std::sqrt(double(dx) * dx + double(dy) * dy));
            float sx = x, sy = y;
            bool bilinear = s.smooth;
            switch (s.kind) {
                case kRipple:
                case kWave: {
                    const double A = s.v2, L = s.v1;
                    const double radial =
                        A * std::sin(std::sqrt(double(dx) * dx + double(dy) * dy) / L);
                    const double alongX = A * std::sin(dx / L), alongY = A * std::sin(dy / L);
                    const int m = s.kind == kRipple ? s.mode : s.mode + 4;
                    const double ox[] = {radial, alongX, 0, alongX, alongY, 0, alongY};
                    const double oy[] = {radial, 0, alongY, alongY, 0, alongX, alongX};
                    sx = clampX(float(x + ox[m - 1]));
                    sy = clampY(float(y + oy[m - 1]));
                    break;
                }
                case kBubble: {
                    const float R = s.v1;
                    const double p = s.v2 / 20.0;
                    const float dd = s.mode <= 2 ? d : s.mode == 3 ? float(dx) : float(dy);
                    if (std::fabs(dd) > R) {
                        bilinear = false;
                        break;
                    }
                    if (s.mode == 1) {
                        const float u = float(std::pow(double(d) / R, p));
                        sx = cx + dx * u, sy = cy + dy * u;
                    } else if (s.mode == 2 && d == 0) {
                        sx = cx, sy = cy;
                    } else if (s.mode == 2) {
                        const float u = float(std::cbrt(double(d) / R));
                        sx = cx + dx / u, sy = cy + dy / u;
                    } else if (s.mode == 3) {
                        sx = cx + dx * float(std::pow(std::abs(dx) / double(R), p));
                    } else {
                        sy = cy + dy * float(std::pow(std::abs(dy) / double(R), p));
                    }
                    sx = clampX(sx), sy = clampY(sy);
                    break;
                }
                case kLens: {
                    if (d > s.v1) {
                        bilinear = false;
                        break;
                    }
                    const double phi = std::atan2(double(dx), double(dy));
                    const float z = s.v2 / 36;
                    if (s.mode == 1)
                        sx = float(cx + d * std::sin(phi + theta)),
                        sy = float(cy + d * std::cos(phi + theta));
                    if (s.mode == 2) sx = cx + dx * z, sy = cy + dy * z;
                    if (s.mode == 3) sx = 2 * cx - x;
                    if (s.mode == 4) sy = 2 * cy - y;
                    if (sx < fx0 || sy < fy0 || sx > fx1 || sy > fy1) {
                        at(x, y) = s.colour;
                        continue;
                    }
                    break;
                }
                case kTwirl: {
                    const float R = s.v1;
                    if (d > R) {
                        bilinear = false;
                        break;
                    }
                    const double q = (double(R) - d) / R;
                    const double a = std::atan2(double(dx), double(dy)) + theta * (q * q);
                    sx = clampX(float(cx + d * std::sin(a)));
                    sy = clampY(float(cy + d * std::cos(a)));
                    break;
                }
                case kButtonize: {
                    const int top = y - s.y0, bottom = s.y1 - y, left = x - s.x0, right = s.x1 - x;
                    float t;
                    int shift;
                    if (top < B && left >= top && right > top) {
                        t = S / 100 * (1 - top / B), shift = 50;
                    } else if (bottom <= B && right > bottom && left >= bottom) {
                        t = B == 0 ? 0 : S / 100 * (B - bottom) / B, shift = -50;
                    } else if (left < B) {
                        t = S / 100 * (1 - left / B), shift = 20;
                    } else if (right <= B) {
                        t = B == 0 ? 0 : S / 100 * (B - right) / B, shift = -20;
                    } else {
                        at(x, y) = src->data[y * W + x];
                        continue;
                    }
                    if (s.mode == 2)
                        t = S / 100;
                    else
                        shift = 0;
                    const Rgba u = src->data[y * W + x];
                    auto mix = [&](int c, int b) {
                        const float v = (c + shift) * t + b * (1 - t);
                        return static_cast<unsigned char>(v > 255 ? 255 : v < 0 ? 0 : int(v));
                    };
                    Rgba& o = at(x, y);
                    o = Rgba{mix(s.colour.r, u.r), mix(s.colour.g, u.g), mix(s.colour.b, u.b), o.a};
                    continue;
                }
            }
            at(x, y) = fetch(sx, sy, bilinear);
        }
    }
}

const int kW = 260, kH = 256;  // big enough that whole-picture renders use both cores

TEST(Warps, EveryModeMatchesItsFormulaInsideAndBeyondTheArea) {
    struct Row {
        Kind kind;
        int mode;
        float v1, v2;
    };
    const Row rows[] = {
        {kRipple, 1, 5, 10},
        {kRipple, 2, 3, 7},
        {kRipple, 3, 5, 10},
        {kRipple, 4, 7, 50},
        // Mode 2's centre pixel samples the centre, not 0/0.
        {kBubble, 1, 60, 25},
        {kBubble, 2, 60, 25},
        {kBubble, 3, 45, 60},
        {kBubble, 4, 45, 5},
        {kWave, 1, 5, 10},
        {kWave, 2, 9, 21},
        {kWave, 3, 2, 3},
        {kLens, 1, 60, 190},
        {kLens, 1, 400, 359},  // turned by the angle sum, all over the picture
        {kLens, 2, 60, 50},
        {kLens, 2, 400, 300},  // whole runs of sources beyond the area
        {kLens, 3, 60, 0},
        {kLens, 4, 75, 0},
        // The grids leave strips at the right and bottom, except with one cell.
        {kTwirl, 1, 60, 180},
        {kTwirl, 1, 70, -1000},
        {kTwirl, 1, 400, 1080},
        {kTwirl, 2, 100, -270},
        {kTwirl, 2, 10, 90},
        // B 0: the floating frame's weight is 0; the fixed one shades the last row and column.
        {kButtonize, 1, 7, 50},
        {kButtonize, 2, 7, 50},
        {kButtonize, 1, 0, 80},
        {kButtonize, 2, 0, 80},
        // A bevel deeper than half the area: all frame, edges meeting inside.
        {kButtonize, 1, 300, 30},
        {kButtonize, 2, 300, 100},
    };
    struct Area {
        bool has;
        point lo, hi;
    };
    // None, inside, and reaching past the picture (clamped to (0, 30)-(199, 169)).
    const Area areas[] = {
        {false, {}, {}}, {true, {13, 21}, {150, 140}}, {true, {-20, 30}, {250, 400}}};
    const point pointers[] = {{kW / 2, kH / 2}, {0, 0}, {kW, 60}};
    fixtures::Image earlier = fixtures::randomImage(kW, kH, 7);
    for (const Area& area : areas) {
        EffectImages im(fixtures::randomImage(kW, kH, 3).release());
        const int x0 = std::max(area.lo.x, 0), y0 = std::max(area.lo.y, 0);
        const int x1 = area.has ? std::min(area.hi.x, kW - 1) : kW - 1;
        const int y1 = area.has ? std::min(area.hi.y, kH - 1) : kH - 1;
        for (const Row& row : rows) {
            std::unique_ptr<geometric> e = makeWarp(row.kind, im, area.has, area.lo, area.hi);
            e->changeMode(static_cast<char>(row.mode));
            e->value1 = row.v1, e->value2 = row.v2;
            e->color = Rgba{200, 40, 90, 255};
            for (bool smooth : {false, true}) {
                for (point c : pointers) {
                    e->warpToggle = smooth;
                    e->setXY(static_cast<float>(c.x), static_cast<float>(c.y));
                    imageRgbaCopy(earlier.get(), im.image);
                    e->renderOnce();
                    fixtures::Image want = fixtures::cloneOf(earlier.get());
                    reference(im.backup, want.get(),
                              Setting{row.kind, row.mode, row.v1, row.v2, smooth, c, x0, y0, x1, y1,
                                      e->color});
                    ASSERT_EQ(fixtures::firstDifference(want.get(), im.image), "")
                        << "kind " << row.kind << " mode " << row.mode << " v " << row.v1 << "/"
                        << row.v2 << (smooth ? " bilinear" : " nearest") << " pointer " << c.x
                        << "," << c.y << " area " << x0 << "," << y0 << "-" << x1 << "," << y1;
                }
            }
        }
    }
}

TEST(Warps, NothingDrawnForAPointerOffThePictureExceptTheGrid) {
    EffectImages im(fixtures::randomImage(kW, kH, 5).release());
    fixtures::Image earlier = fixtures::randomImage(kW, kH, 9);
    // Beyond the picture nothing is drawn, however far the pointer.
    for (Kind kind : {kRipple, kBubble, kWave, kLens, kTwirl, kButtonize}) {
        auto e = makeWarp(kind, im, false, {}, {});
        for (point p :
             {point(kW + 1, 0), point(0, -1), point(INT_MAX, INT_MIN), point(INT_MIN, kH + 1)}) {
            e->cursor = p;
            imageRgbaCopy(earlier.get(), im.image);
            e->renderOnce();
            EXPECT_TRUE(sameImage(im.image, earlier.get())) << kind << " " << p.x << "," << p.y;
        }
    }
    // The grid ignores the pointer; on a 100 by 100 area its 3 by 3 cells of
    // 33 leave the area's last column and row alone.
    auto t = makeWarp(kTwirl, im, true, {10, 20}, {109, 119});
    t->changeMode(2);
    t->cursor = point(INT_MIN, INT_MIN);
    imageRgbaCopy(earlier.get(), im.image);
    t->renderOnce();
    EXPECT_FALSE(sameImage(im.image, earlier.get()));
    for (int i = 10; i <= 109; ++i) {
        EXPECT_TRUE(samePixel(pixel(im.image, 109, i + 10), pixel(earlier.get(), 109, i + 10)))
            << i;
        EXPECT_TRUE(samePixel(pixel(im.image, i, 119), pixel(earlier.get(), i, 119))) << i;
    }
}

TEST(Warps, KeysStepClampWrapAndRedraw) {
    EffectImages im(fixtures::randomImage(60, 50, 11).release());  // buttonize: B up to 25
    struct Row {
        Kind kind;
        int mode;
        float v1, v2;
        int key;
        float want1, want2;
    };
    const int left = 100, up = 101, right = 102, down = 103;
    const Row rows[] = {
        {kRipple, 1, 5, 49, up, 5, 50},         {kRipple, 1, 5, 10, down, 5, 8},
        {kRipple, 1, 1, 10, left, 1, 10},       {kWave, 3, 50, 10, right, 50, 10},
        {kBubble, 1, 100, 3, down, 100, 1},     {kBubble, 4, 998, 25, right, 1000, 25},
        {kLens, 1, 100, 355, up, 100, 0},       {kLens, 1, 100, 357, up, 100, 0},
        {kLens, 1, 100, 0, down, 100, 359},     {kLens, 1, 12, 190, left, 10, 190},
        {kTwirl, 1, 100, 1070, up, 100, 1080},  {kTwirl, 1, 100, 0, right, 110, 0},
        {kTwirl, 2, 100, 0, right, 150, 0},     {kTwirl, 2, 1000, 0, right, 1000, 0},
        {kTwirl, 2, 30, 0, left, 10, 0},        {kButtonize, 1, 0, 50, left, 0, 50},
        {kButtonize, 2, 24, 98, right, 25, 98}, {kButtonize, 1, 25, 50, right, 25, 50},
        {kButtonize, 2, 24, 98, up, 24, 100},   {kButtonize, 2, 25, 3, down, 25, 0},
    };
    fixtures::Image stale = fixtures::randomImage(60, 50, 12);
    for (const Row& r : rows) {
        auto e = makeWarp(r.kind, im, false, {}, {});
        e->changeMode(static_cast<char>(r.mode));
        e->value1 = r.v1, e->value2 = r.v2;
        e->setXY(30, 25);
        imageRgbaCopy(stale.get(), im.image);
        e->specialKey(r.key);
        EXPECT_EQ(e->value1, r.want1) << r.kind << " key " << r.key;
        EXPECT_EQ(e->value2, r.want2) << r.kind << " key " << r.key;
        EXPECT_FALSE(e->leftDown);
        // Redrawn without a button held; the grid's steps restore the picture first.
        fixtures::Image want =
            fixtures::cloneOf(r.kind == kTwirl && r.mode == 2 ? im.backup : stale.get());
        reference(
            im.backup, want.get(),
            Setting{r.kind, r.mode, r.want1, r.want2, false, {30, 25}, 0, 0, 59, 49, e->color});
        EXPECT_EQ(fixtures::firstDifference(want.get(), im.image), "")
            << r.kind << " key " << r.key;
    }
    // F4 means nothing to wave; End switches sampling and redraws; the right
    // button reverts.
    auto w = makeWarp(kWave, im, false, {}, {});
    w->specialKey(4);
    EXPECT_EQ(w->mode, 1);
    imageRgbaCopy(stale.get(), im.image);
    w->specialKey(107);
    EXPECT_TRUE(w->warpToggle);
    EXPECT_FALSE(sameImage(im.image, stale.get()));
    w->RB(true);
    EXPECT_TRUE(sameImage(im.image, im.backup));
    w->idle();
    EXPECT_TRUE(sameImage(im.image, im.backup));
}

// The helper thread that shares big renders does not exist in a forked
// child: there the render runs alone, and the child still exits.
TEST(Warps, AForkedChildRendersAloneAndExits) {
    EffectImages im(fixtures::randomImage(kW, kH, 13).release());
    auto e = makeWarp(kRipple, im, false, {}, {});
    e->setXY(50, 60);
    e->renderOnce();  // shared with the helper
    fixtures::Image want = fixtures::cloneOf(im.image);
    imageRgbaCopy(im.backup, im.image);
    const pid_t child = fork();
    if (child == 0) {
        e->renderOnce();
        // _exit: the parent's exit handlers (the test framework's, the leak
        // checker's) are not the child's to run.
        _exit(sameImage(im.image, want.get()) ? 0 : 1);
    }
    ASSERT_GT(child, 0);
    int status = -1;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (waitpid(child, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < until) {
        usleep(10000);
    }
    if (!WIFEXITED(status)) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        FAIL() << "the forked child did not end";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
