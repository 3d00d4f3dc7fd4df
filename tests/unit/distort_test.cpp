#include "effects/distort.h"
#include "effects/geometric.h"
#include "image/pi.h"
#include "image/sampling.h"
#include "tests/unit/test_support.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using fixtures::Image;

namespace {

// ---------------------------------------------------------------------------
// Plain per-pixel references, straight from the formulas.

struct Job {
    const ImageRGBA* src;
    ImageRGBA* dst;
    int x0, y0, x1, y1;
    int mode;
    float v1, v2;
    Rgba colour;
    ImageRGBA* icons;
    float p1, p2, p3;
    int w() const { return x1 - x0 + 1; }
    int h() const { return y1 - y0 + 1; }
    bool in(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
    Rgba get(int x, int y) const { return src->data[y * src->width + x]; }
    Rgba& put(int x, int y) const { return pixel(dst, x, y); }
};

using Points = std::vector<point>;

Rgba meanOf(const Job& k, const Points& pts) {
    if (pts.empty()) return Rgba{0, 0, 0, 255};
    int s[3] = {0, 0, 0};
    for (point p : pts) {
        const Rgba c = k.get(p.x, p.y);
        s[0] += c.r, s[1] += c.g, s[2] += c.b;
    }
    const int n = static_cast<int>(pts.size());
    return Rgba{static_cast<unsigned char>(s[0] / n), static_cast<unsigned char>(s[1] / n),
                static_cast<unsigned char>(s[2] / n), 255};
}

// The area's pixels of square tile (r, c).
Points tile(const Job& k, int T, int r, int c) {
    Points pts;
    for (int i = 0; i < T; ++i)
        for (int j = 0; j < T; ++j)
            if (k.in(k.x0 + c * T + j, k.y0 + r * T + i)) pts.push_back(point(k.x0 + c * T + j, k.y0 + r * T + i));
    return pts;
}


void mosaicRef(const Job& k) {
    const float T = k.v1, G = k.v2;
    for (int r = 0; r < static_cast<int>(k.h() / T + 1); ++r)
        for (int c = 0; c < static_cast<int>(k.w() / T + 1); ++c) {
            const Rgba m = meanOf(k, tile(k, static_cast<int>(T), r, c));
            for (point p : tile(k, static_cast<int>(T), r, c)) {
                const int i = p.y - k.y0 - r * static_cast<int>(T), j = p.x - k.x0 - c * static_cast<int>(T);
                const int lo = static_cast<int>(G / 2), hi = static_cast<int>(T - G / 2);
                k.put(p.x, p.y) = (lo <= j && j < hi && lo <= i && i < hi) ? m : k.colour;
            }
        }
}

void boxRef(const Job& k) {
    const float T = k.v1;
    const int t = static_cast<int>(T), B = static_cast<int>(k.v2);
    const int rows = static_cast<int>(k.h() / T + 1), cols = static_cast<int>(k.w() / T + 1);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            for (point p : tile(k, t, r, c)) k.put(p.x, p.y) = meanOf(k, tile(k, t, r, c));
    auto V = [&](int x, int y) { Rgba p = k.put(x, y); return std::max({p.r, p.g, p.b}); };
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            int dV = 0, dH = 0;
            if (c > 0 && r > 0 && c < static_cast<int>(k.w() / T) && r < static_cast<int>(k.h() / T)) {
                auto mx = [&](int cc) { return static_cast<int>(T / 2 + cc * T + k.x0); };
                auto my = [&](int rr) { return static_cast<int>(T / 2 + rr * T + k.y0); };
                dV = V(mx(c), my(r)) - V(mx(c), my(r - 1));
                dH = V(mx(c), my(r)) - V(mx(c - 1), my(r));
            }
            const int lean = 2 * k.mode - 9;
            for (point p : tile(k, t, r, c)) {
                const int i = p.y - k.y0 - r * t, j = p.x - k.x0 - c * t;
                int d;
                if (i < B && j >= i && i < t - j) d = lean * dV + 50;
                else if (i >= t - B && j < i && i >= t - j) d = -50;
                else if (j < B) d = lean * dH + 20;
                else if (j >= t - B) d = -20;
                else continue;
                Rgba& q = k.put(p.x, p.y);
                q = Rgba{byteOf(q.r + d), byteOf(q.g + d), byteOf(q.b + d), 255};
            }
        }
}

void combRef(const Job& k) {
    const float Q = k.v1;
    const int hr = static_cast<int>(Q * 0.8660254037844386);
    if (hr < 1) return;
    for (int i = 0; i < static_cast<int>(static_cast<double>(k.h()) / hr + 2); ++i)
        for (int j = 0; j < static_cast<int>(static_cast<double>(k.w()) / Q + 2); ++j) {
            const float off = i % 2 ? Q / 2 : 0;
            Points tri[2];
            for (int t = 0; t < 2; ++t)
                for (int kk = 0; kk < hr; ++kk) {
                    const int y = i * hr + k.y0 + (t == 0 ? kk : -kk);
                    const float s = Q * (static_cast<float>(kk) / hr) / 2;
                    for (int m = static_cast<int>(s - off); m < Q - off - s; ++m) {
                        const int x = m + j * static_cast<int>(Q) + k.x0;
                        if (k.in(x, y)) tri[t].push_back(point(x, y));
                    }
                }
            const Rgba lower = meanOf(k, tri[0]), upper = meanOf(k, tri[1]);
            for (point p : tri[0]) k.put(p.x, p.y) = lower;
            for (point p : tri[1]) k.put(p.x, p.y) = upper;
        }
}

void dotsRef(const Job& k) {
    const float S = k.v1, D = std::min(k.v2, std::trunc(S / 2));
    const int s = static_cast<int>(S);
    if (k.mode == 1) {
        for (int r = 0; r < static_cast<int>(k.h() / S + 1); ++r)
            for (int c = 0; c < static_cast<int>(k.w() / S + 1); ++c) {
                const int xl = k.x0 + c * s, yt = k.y0 + r * s;
                if (!k.in(xl, yt)) continue;  // a cell beyond the area has nothing to read
                const int xr = std::min(xl + s, k.x1), yb = std::min(yt + s, k.y1);
                for (int i = 0; i < s; ++i)
                    for (int j = 0; j < s; ++j)
                        if (k.in(xl + j, yt + i))
                            k.put(xl + j, yt + i) = imageRgbaInterpolateColors(
                                j / S, i / S, k.get(xl, yt), k.get(xr, yt), k.get(xl, yb), k.get(xr, yb));
            }
    } else {
        imageRgbaSetArea(k.dst, k.x0, k.y0, k.x1 + 1, k.y1 + 1, k.colour);
    }
    for (int r = 0; r < static_cast<int>(k.h() / S + 2); ++r)
        for (int c = 0; c < static_cast<int>(k.w() / S + 2); ++c)
            for (int kk = static_cast<int>(-D); kk < static_cast<int>(D); ++kk) {
                const float e = std::sqrt(D * D - kk * kk);
                for (int l = static_cast<int>(-e); l < static_cast<int>(e); ++l) {
                    const int x = k.x0 + c * s + l, y = k.y0 + r * s + kk;
                    if (k.in(x, y)) k.put(x, y) = k.get(x, y);
                }
            }
}

void rgbdotsRef(const Job& k) {
    const float S = k.v1;
    const int s = static_cast<int>(S);
    const bool add = k.mode == 1;
    imageRgbaSetArea(k.dst, k.x0, k.y0, k.x1 + 1, k.y1 + 1,
                     add ? Rgba{0, 0, 0, 255} : Rgba{255, 255, 255, 255});
    for (int r = 0; r < static_cast<int>(k.h() / S + 1); ++r)
        for (int c = 0; c < static_cast<int>(k.w() / S + 1); ++c) {
            const int ox = k.x0 + c * s, oy = k.y0 + r * s;
            if (!k.in(ox, oy)) continue;  // no pixel inside: no average
            const Rgba m = meanOf(k, tile(k, s, r, c));
            const int level[3] = {m.r, m.g, m.b};
            const int px[3] = {static_cast<int>(S / 4), static_cast<int>(3 * S / 4), static_cast<int>(S / 2)};
            const int py[3] = {static_cast<int>(S / 4), 0, static_cast<int>(3 * S / 4)};
            for (int ch = 0; ch < 3; ++ch) {
                const int v = add ? level[ch] : 255 - level[ch];
                const float rho = std::sqrt(v / 255.0f * (S * S)) / 1.7724538509055159f;
                for (int kk = static_cast<int>(py[ch] - rho); kk < static_cast<int>(py[ch] + rho); ++kk) {
                    const float d = rho * rho - static_cast<float>((kk - py[ch]) * (kk - py[ch]));
                    if (d < 0) continue;
                    const float e = std::sqrt(d);
                    for (int mm = static_cast<int>(px[ch] - e); mm < static_cast<int>(px[ch] + e); ++mm)
                        if (k.in(ox + mm, oy + kk)) (&k.put(ox + mm, oy + kk).r)[ch] = add ? 255 : 0;
                }
            }
        }
}

void glassRef(const Job& k) {
    const float T = k.v1, G = k.v2;
    const int offset = (101 - k.mode) * 400;
    auto H = [&](float x, float y) { return imageRgbaInterpolateSubImage(k.icons, x, y, 20, 20, offset); };
    for (int i = 0; i < static_cast<int>(k.h() / T + 1); ++i)
        for (int j = 0; j < static_cast<int>(k.w() / T + 1); ++j)
            for (int b = 0; b < T; ++b)
                for (int a = 0; a < T; ++a) {
                    const float u = a / T * 20, v = b / T * 20;
                    const float dx = G * ((H(u - 1, v) - H(u + 1, v)) / 2.0f) / 255 * 20;
                    const float dy = G * ((H(u, v - 1) - H(u, v + 1)) / 2.0f) / 255 * 20;
                    auto clampF = [](float f, int lo, int hi) { return f > hi ? hi : f < lo ? lo : f; };
                    const float px = k.x0 + j * T + a, py = k.y0 + i * T + b;
                    const int sx = static_cast<int>(clampF(px + dx, k.x0, k.x1));
                    const int sy = static_cast<int>(clampF(py + dy, k.y0, k.y1));
                    Rgba& out = k.put(static_cast<int>(clampF(px, k.x0, k.x1)), static_cast<int>(clampF(py, k.y0, k.y1)));
                    const Rgba in = k.get(sx, sy);
                    if (k.p3 == 0) {
                        out = in;
                        continue;
                    }
                    double alpha = (dx == 0 && dy == 0) ? 0 : std::atan2(-(double)dx, -(double)dy);
                    if (alpha < 0) alpha += 2 * kPi;
                    float q = (std::fabs(dx) + std::fabs(dy)) / 2;
                    if (q < 2) q = 0;
                    const double s = q / (3 * G), e = std::asin(s / std::sqrt(s * s + 2));
                    const double p1 = k.p1, p2 = k.p2;  // the light in double precision
                    const double nl = std::sin(e) * std::cos(alpha) * std::cos(p2) * std::cos(p1) +
                                      std::sin(e) * std::sin(alpha) * std::cos(p2) * std::sin(p1) +
                                      std::cos(e) * std::sin(p2);
                    const float shade = static_cast<float>(std::asin(std::min(1.0, std::fabs(nl))) / (kPi / 2));
                    out.r = byteOf(in.r + k.p3 * shade * k.colour.r);
                    out.g = byteOf(in.g + k.p3 * shade * k.colour.g);
                    out.b = byteOf(in.b + k.p3 * shade * k.colour.b);
                }
}

template <class T>
std::unique_ptr<effect> build(EffectImages& imgs, bool hasArea, point lo, point hi) {
    return imgs.make<T>(hasArea, lo, hi);
}

struct Row {
    const char* name;
    std::unique_ptr<effect> (*make)(EffectImages&, bool, point, point);
    void (*ref)(const Job&);
    int mode;
    float v1, v2, p3;
};

TEST(Distortions, MatchThePlainFormulasOverEveryArea) {
    const Row rows[] = {
        {"mosaic", build<mosaic>, mosaicRef, 1, 10, 1, 0},
        {"mosaic no gap", build<mosaic>, mosaicRef, 1, 7, 0, 0},
        {"mosaic wide gap", build<mosaic>, mosaicRef, 1, 5, 4, 0},
        {"mosaic single pixels", build<mosaic>, mosaicRef, 1, 1, 0, 0},
        {"box 1", build<box>, boxRef, 1, 10, 1, 0},       {"box 2", build<box>, boxRef, 2, 6, 2, 0},
        {"box 3", build<box>, boxRef, 3, 7, 2, 0},        {"box 4", build<box>, boxRef, 4, 5, 1, 0},
        {"box 5", build<box>, boxRef, 5, 8, 3, 0},        {"box 6", build<box>, boxRef, 6, 10, 4, 0},
        {"box 7", build<box>, boxRef, 7, 4, 1, 0},        {"box 8 flat", build<box>, boxRef, 8, 9, 0, 0},
        {"comb", build<comb>, combRef, 1, 10, 0, 0},      {"comb odd", build<comb>, combRef, 1, 7, 0, 0},
        {"comb smallest", build<comb>, combRef, 1, 2, 0, 0},
        {"dots smooth", build<dots>, dotsRef, 1, 10, 5, 0},
        {"dots smooth, radius clamped", build<dots>, dotsRef, 1, 7, 10, 0},
        {"dots plain", build<dots>, dotsRef, 2, 10, 4, 0},
        {"dots no holes", build<dots>, dotsRef, 2, 6, 0, 0},
        {"rgbdots additive", build<rgbdots>, rgbdotsRef, 1, 10, 0, 0},
        {"rgbdots additive small", build<rgbdots>, rgbdotsRef, 1, 3, 0, 0},
        {"rgbdots subtractive", build<rgbdots>, rgbdotsRef, 2, 10, 0, 0},
        {"rgbdots subtractive odd", build<rgbdots>, rgbdotsRef, 2, 5, 0, 0},
        {"glass 1", build<glass>, glassRef, 1, 50, 10, 0},
        {"glass 3 small tiles", build<glass>, glassRef, 3, 7, 3, 0},
        {"glass 4 lit", build<glass>, glassRef, 4, 10, 10, 1.5f},
        {"glass 8 lit strong", build<glass>, glassRef, 8, 13, 50, 0.25f},
    };
    // Sizes and areas: tiles that fit whole or not, an area reaching past
    // the picture, one pixel wide, one pixel high.
    struct Setup {
        int w, h;
        bool hasArea;
        point lo, hi;
    };
    const Setup setups[] = {{37, 23, false, {}, {}},         {40, 30, false, {}, {}},
                            {37, 23, true, {5, 3}, {30, 19}}, {40, 30, true, {10, 0}, {60, 50}},
                            {37, 23, true, {7, 2}, {7, 20}},  {37, 23, true, {1, 9}, {35, 9}}};
    unsigned seed = 1;
    auto check = [&seed](const Row& row, const Setup& set) {
        EffectImages imgs(fixtures::randomImage(set.w, set.h, ++seed).release());
        Image atlas = fixtures::randomImage(400, 113, ++seed);
        imageRgbaCopy(atlas.get(), imgs.icons);
        std::unique_ptr<effect> e = row.make(imgs, set.hasArea, set.lo, set.hi);
        e->mode = static_cast<int8_t>(row.mode);
        e->value1 = row.v1;
        e->value2 = row.v2;
        e->param3 = row.p3;
        e->color = Rgba{200, 30, 90, 255};
        const pixelRect a = e->areaInPicture();
        Image want = fixtures::cloneOf(imgs.image);
        row.ref(Job{imgs.backup, want.get(), a.x0, a.y0, a.x1, a.y1, row.mode, row.v1, row.v2, e->color,
                    imgs.icons, e->param1, e->param2, row.p3});
        e->reapply();
        EXPECT_EQ(fixtures::firstDifference(want.get(), imgs.image), "")
            << row.name << " on " << set.w << "x" << set.h << " area " << a.x0 << "," << a.y0 << "-" << a.x1
            << "," << a.y1;
    };
    for (const Row& row : rows)
        for (const Setup& set : setups) check(row, set);
    // Glass tiles nearly as large as the area, whose rows are not kept.
    check({"glass 2 huge tiles", build<glass>, glassRef, 2, 600, 7, 0}, {600, 500, false, {}, {}});
    check({"glass 5 huge tiles lit", build<glass>, glassRef, 5, 590, 20, 1}, {600, 500, true, {3, 2}, {597, 499}});
}

// An area too small for the smallest tile: the first arrow key clamps the
// size to the area's fifth, which then draws nothing.
TEST(Distortions, SizesBelowTheirMinimumDrawNothing) {
    const std::function<std::unique_ptr<effect>(EffectImages&)> makers[] = {
        [](EffectImages& i) { return build<mosaic>(i, true, point(1, 1), point(4, 3)); },
        [](EffectImages& i) { return build<box>(i, true, point(1, 1), point(4, 3)); },
        [](EffectImages& i) { return build<rgbdots>(i, true, point(1, 1), point(4, 3)); },
        [](EffectImages& i) { return build<comb>(i, true, point(1, 1), point(9, 3)); },
    };
    for (const auto& make : makers) {
        EffectImages imgs(patternImage(20, 10));
        std::unique_ptr<effect> e = make(imgs);
        Image before = fixtures::cloneOf(imgs.image);
        e->specialKey(102);
        EXPECT_LE(e->value1, 1);
        EXPECT_TRUE(sameImage(before.get(), imgs.image)) << fwkGetWindowTitle();
    }
}

TEST(Glass, LightKeysStepClampAndShowThePanelOnly) {
    EffectImages imgs(patternImage(200, 120));
    auto e = imgs.make<glass>();
    Image applied = fixtures::cloneOf(imgs.image);
    for (int i = 0; i < 9; ++i) e->specialKey(105);
    EXPECT_EQ(e->param3, 2);
    e->param1 = 0.1f;
    e->specialKey(104);
    EXPECT_FLOAT_EQ(e->param1, 6.2831855f);
    e->param1 = 6.2f;
    e->specialKey(108);
    EXPECT_EQ(e->param1, 0);
    for (int i = 0; i < 20; ++i) e->specialKey(106);
    EXPECT_FLOAT_EQ(e->param2, 1.5707964f);
    for (int i = 0; i < 20; ++i) e->specialKey(107);
    EXPECT_FLOAT_EQ(e->param2, 0.19634955f);
    for (int i = 0; i < 9; ++i) e->key(127);
    EXPECT_EQ(e->param3, 0);
    // The panel, cut off by the picture's bottom, is all the keys changed.
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 200; ++x) {
            const Rgba p = pixel(imgs.image, x, y);
            if (x >= 150) {
                ASSERT_TRUE(samePixel(p, pixel(applied.get(), x, y))) << x << "," << y;
            } else {
                ASSERT_TRUE(p.r == p.g && p.g == p.b && p.a == 255) << x << "," << y;
            }
        }
}

// ---------------------------------------------------------------------------
// Lines and noise: the shared random sequence.

// Runs `f` in a child process, which starts from this process's state, the
// random sequence included; returns what `f` returned there.
std::string inChild(const std::function<std::string()>& f) {
    int fds[2];
    if (pipe(fds) != 0) return "pipe failed";
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const std::string out = f();
        for (size_t done = 0; done < out.size();) {
            const ssize_t n = write(fds[1], out.data() + done, out.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        _exit(0);
    }
    close(fds[1]);
    std::string out;
    char buffer[65536];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    return out;
}

// The next `count` values rand() will give here.
std::vector<int> nextDraws(size_t count) {
    const std::string bytes = inChild([count] {
        std::vector<int> v(count);
        for (int& d : v) d = std::rand();
        return std::string(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(int));
    });
    std::vector<int> v(bytes.size() / sizeof(int));
    std::copy_n(bytes.data(), v.size() * sizeof(int), reinterpret_cast<char*>(v.data()));
    return v;
}

struct Draws {
    std::vector<int> values;
    size_t used = 0;
    int next() { return values.at(used++); }
};

void linesRef(const Job& k, Draws& d) {
    const bool across = k.mode == 1;
    const int lines = across ? k.h() : k.w(), lo = across ? k.x0 : k.y0, hi = across ? k.x1 : k.y1;
    for (int line = 0; line < lines; ++line) {
        int s = lo, n = 0;
        while (s < hi) {
            s += n;
            n = static_cast<int>(std::fmod(d.next(), k.v1)) + 1;
            Points run;
            for (int p = s; p < s + n && p <= hi; ++p)
                run.push_back(across ? point(p, k.y0 + line) : point(k.x0 + line, p));
            const Rgba m = meanOf(k, run);
            for (point p : run) k.put(p.x, p.y) = m;
        }
    }
}

void noiseRef(const Job& k, Draws& d) {
    const float t = k.v2 / 100;
    for (int y = k.y0; y <= k.y1; ++y)
        for (int x = k.x0; x <= k.x1; ++x) {
            if (d.next() % 100 >= k.v1) {
                k.put(x, y) = k.get(x, y);
                continue;
            }
            const Rgba old = k.get(x, y);
            const int tint[3] = {k.colour.r, k.colour.g, k.colour.b}, was[3] = {old.r, old.g, old.b};
            for (int ch = 0; ch < 3; ++ch) {
                int v = d.next() % 256;
                if (k.mode == 2) v = std::min(255, v + tint[ch]);
                (&k.put(x, y).r)[ch] = byteOf(v * t + was[ch] * (1 - t));
            }
        }
}

TEST(RandomDistortions, FollowTheFormulaDrawForDraw) {
    struct Step {
        int mode;
        float v1, v2;
    };
    struct Case {
        const char* name;
        std::unique_ptr<effect> (*make)(EffectImages&, bool, point, point);
        void (*ref)(const Job&, Draws&);
        Step first;  // what the constructor applies
        std::vector<Step> then;
    };
    const Case cases[] = {
        {"lines", build<lines>, linesRef, {1, 50, 0}, {{2, 50, 0}, {1, 3, 0}, {2, 1, 0}, {2, 7, 0}}},
        {"noise", build<noise>, noiseRef, {1, 100, 50}, {{2, 100, 50}, {1, 60, 0}, {2, 30, 100}, {1, 0, 70}}},
    };
    for (const Case& c : cases) {
        for (bool hasArea : {false, true}) {
            EffectImages imgs(fixtures::randomImage(23, 17, 7).release());
            Image want = fixtures::cloneOf(imgs.image);
            Draws draws{nextDraws(20000)};
            std::unique_ptr<effect> e = c.make(imgs, hasArea, point(3, 2), point(19, 15));
            const pixelRect a = e->areaInPicture();
            Job job{imgs.backup, want.get(), a.x0, a.y0, a.x1, a.y1, 0, 0, 0, e->color, nullptr, 0, 0, 0};
            std::vector<Step> steps = {c.first};
            steps.insert(steps.end(), c.then.begin(), c.then.end());
            for (size_t i = 0; i < steps.size(); ++i) {
                job.mode = steps[i].mode, job.v1 = steps[i].v1, job.v2 = steps[i].v2;
                c.ref(job, draws);
                if (i > 0) {
                    e->mode = static_cast<int8_t>(job.mode);
                    e->value1 = job.v1;
                    e->value2 = job.v2;
                    e->reapply();
                }
                EXPECT_EQ(fixtures::firstDifference(want.get(), imgs.image), "") << c.name << " step " << i;
            }
            EXPECT_EQ(std::rand(), draws.next()) << c.name << ": draws used";
        }
    }
}

// The same keys from the same point of the random sequence give the same
// picture, however the work is shared out.
class RandomShell : public ShellOn {};

TEST_F(RandomShell, SameKeysGiveTheSamePicture) {
    startOn(patternImage(512, 300));
    auto session = [] {
        keyboardCB('*', 5, 5);
        specialCB(102, 5, 5);
        idleCB();
        specialCB(2, 5, 5);
        idleCB();
        keyboardCB(13, 5, 5);
        keyboardCB(')', 5, 5);
        specialCB(2, 5, 5);
        idleCB();
        mouseCB(0, 0, 50, 50);
        mouseCB(0, 1, 50, 50);
        return std::string(reinterpret_cast<const char*>(E->image->data), 512 * 300 * 4);
    };
    const std::string first = inChild(session), second = inChild(session);
    ASSERT_EQ(first.size(), 512u * 300 * 4);
    EXPECT_TRUE(first == second);
    EXPECT_NE(first, std::string(reinterpret_cast<const char*>(picture->data), first.size()));
}

}  // namespace
