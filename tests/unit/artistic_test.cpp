#include "effects/artistic.h"
#include "image/boxblur.h"
#include "image/draw.h"
#include "image/motion.h"
#include "image/pi.h"
#include "image/sampling.h"
#include "tests/unit/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

using fixtures::firstDifference;
using fixtures::Image;

namespace {

// ---------------------------------------------------------------------------
// Plain references: each filter's rules written out, one loop per step

struct World {
    const effect& e;
    ImageRGBA *image, *backup, *scratch;
    int x1, y1, x2, y2;
    bool in(int x, int y) const { return x >= x1 && x <= x2 && y >= y1 && y <= y2; }
    unsigned char clamp(float v) const { return static_cast<unsigned char>(e.byteRange.intForceLimit(v)); }
    template <class F> void each(F f) const {
        for (int y = y1; y <= y2; ++y)
            for (int x = x1; x <= x2; ++x) f(x, y);
    }
};

int maxOf(Rgba p) { return std::max({p.r, p.g, p.b}); }
bool rgbDiffer(Rgba a, Rgba b) { return a.r != b.r || a.g != b.g || a.b != b.b; }
bool near(Rgba a, Rgba b, float tol) {
    return std::abs(a.r - b.r) <= tol && std::abs(a.g - b.g) <= tol && std::abs(a.b - b.b) <= tol;
}

void chromeRef(const World& w) {
    imageRgbaCopy(w.backup, w.scratch);
    gaussian(w.image, w.scratch, w.x1, w.y1, w.x2, w.y2, w.e.value2, w.e.mode, 1);
    w.each([&](int x, int y) {
        const Rgba s = pixel(w.scratch, x, y);
        int a = static_cast<int>((w.e.value1 / 2) * (s.r + s.g + s.b));
        while (a > 255 || a < 0) a = a > 255 ? 511 - a : -a;
        Rgba& p = pixel(w.image, x, y);
        p.r = p.g = p.b = static_cast<unsigned char>(a);
    });
}

void reliefRef(const World& w) {
    imageRgbaCopy(w.backup, w.scratch);
    gaussian(w.image, w.scratch, w.x1, w.y1, w.x2, w.y2, w.e.value1, w.e.mode, 1);
    const float q = 255 / w.e.value2;
    auto post = [&](int s) { return w.clamp(q * std::trunc((s + q / 2) / q)); };
    w.each([&](int x, int y) {
        const Rgba s = pixel(w.scratch, x, y);
        Rgba& p = pixel(w.image, x, y);
        p = Rgba{post(s.r), post(s.g), post(s.b), p.a};
    });
    const float o = w.e.param4;
    const Rgba k = w.e.color;
    w.each([&](int x, int y) {
        const Rgba c = pixel(w.image, x, y);
        const Rgba L = {w.clamp((1 - o) * c.r + o * k.r), w.clamp((1 - o) * c.g + o * k.g),
                        w.clamp((1 - o) * c.b + o * k.b), 0};
        if (x < w.image->width - 1 && rgbDiffer(c, pixel(w.image, x + 1, y)) &&
            rgbDiffer(L, pixel(w.image, x + 1, y)))
            pixel(w.image, x, y) = L;
        if (y < w.image->height - 1 && rgbDiffer(c, pixel(w.image, x, y + 1)) &&
            rgbDiffer(L, pixel(w.image, x, y + 1)))
            pixel(w.image, x, y) = L;
    });
    w.each([&](int x, int y) { pixel(w.image, x, y).a = 255; });
}

void bwRef(const World& w) {
    imageRgbaCopy(w.backup, w.scratch);
    const float d = w.e.value1;
    if (w.e.mode == 2) {
        w.each([&](int x, int y) {
            const Rgba l = pixel(w.backup, x >= w.x1 + d ? static_cast<int>(x - d) : w.x1, y);
            const Rgba r = pixel(w.backup, x < w.x2 - d ? static_cast<int>(x + d) : w.x2, y);
            const Rgba u = pixel(w.backup, x, y >= w.y1 + d ? static_cast<int>(y - d) : w.y1);
            const Rgba n = pixel(w.backup, x, y < w.y2 - d ? static_cast<int>(y + d) : w.y2);
            const unsigned char s = w.clamp(
                std::abs(l.r - r.r) + std::abs(u.r - n.r) + std::abs(l.g - r.g) + std::abs(u.g - n.g) +
                std::abs(l.b - r.b) + std::abs(u.b - n.b));
            Rgba& p = pixel(w.scratch, x, y);
            p.r = p.g = p.b = s;
        });
    }
    gaussian(w.image, w.scratch, w.x1, w.y1, w.x2, w.y2, w.e.value1, 1, 1);
    w.each([&](int x, int y) {
        pixel(w.image, x, y) = maxOf(pixel(w.scratch, x, y)) <= w.e.value2 ? Rgba{0, 0, 0, 255}
                                                                           : Rgba{255, 255, 255, 255};
    });
}

void lightRef(const World& w, bool colorized) {
    imageRgbaSetArea(w.image, w.x1, w.y1, w.x2 + 1, w.y2 + 1, Rgba{0, 0, 0, 0});
    w.each([&](int x, int y) {
        const Rgba b = pixel(w.backup, x, y);
        Rgba s = {0, 0, 0, 0};
        if (maxOf(b) >= 255 - w.e.value2) {
            s = colorized ? w.e.color : b;
            s.a = 255;
        }
        pixel(w.scratch, x, y) = s;
    });
}

void compositeRef(const World& w, ImageRGBA* weight) {
    const float g = (w.e.size / 10.0f) * (w.e.size / 10.0f);
    w.each([&](int x, int y) {
        Rgba& p = pixel(w.image, x, y);
        const Rgba b = pixel(w.backup, x, y);
        const float f = pixel(weight, x, y).a / 255.0f * g;
        p = Rgba{w.clamp(b.r + f * p.r), w.clamp(b.g + f * p.g), w.clamp(b.b + f * p.b), 255};
    });
}

void starlightRef(const World& w) {
    const int m = w.e.mode;
    const float L = w.e.value1;
    lightRef(w, m >= 4);
    if (m % 3 == 1 || m % 3 == 2) {
        horizontal_blur(w.image, w.scratch, w.x1, w.y1, w.x2, w.y2, L, m, 1);
        vertical_blur(w.image, w.scratch, w.x1, w.y1, w.x2, w.y2, L, m, 2);
    }
    if (m % 3 == 1 || m % 3 == 0) {
        motion_blur(w.image, w.scratch, w.x1, w.y1, w.x2, w.y2, L, 45, m, 2);
        motion_blur(w.image, w.scratch, w.x1, w.y1, w.x2, w.y2, L, 135, m, 2);
    }
    compositeRef(w, w.image);
}

void rayRef(const World& w, int bx, int by, int sx, int sy) {
    const int cx = w.e.cursor.x, cy = w.e.cursor.y, dx = cx - bx, dy = cy - by;
    if (dx == 0 && dy == 0) return;
    const float v = w.e.value1, d = std::sqrt(static_cast<float>(dx * dx + dy * dy));
    const float t = static_cast<float>(dy == 0 ? std::atan(HUGE_VAL)
                                               : std::atan(static_cast<double>(std::abs(dx)) / std::abs(dy)));
    auto P = [&](int s, int& px, int& py) {
        px = static_cast<int>(cx + sx * static_cast<float>(s) * std::sin(t));
        py = static_cast<int>(cy + sy * static_cast<float>(s) * std::cos(t));
        return w.in(px, py);
    };
    int sum[4] = {}, n = 0, before1 = 0, before2 = 0, px, py;
    for (int k = 0; k <= v + d; ++k) {
        const int A = static_cast<int>(v * k / (v + d));
        if (k == 0) {
            sum[0] = sum[1] = sum[2] = sum[3] = n = 0;
        } else if (A == before2 && P(k - 1 - 2 * A, px, py)) {
            const Rgba s = pixel(w.scratch, px, py);
            sum[0] -= s.r, sum[1] -= s.g, sum[2] -= s.b, sum[3] -= s.a, --n;
        }
        before2 = before1;
        before1 = A;
        if (P(k, px, py)) {
            const Rgba s = pixel(w.scratch, px, py);
            sum[0] += s.r, sum[1] += s.g, sum[2] += s.b, sum[3] += s.a, ++n;
            if (n != 0)
                pixel(w.image, px, py) = Rgba{w.clamp(sum[0] / n), w.clamp(sum[1] / n),
                                              w.clamp(sum[2] / n), w.clamp(sum[3] / n)};
        }
    }
}

void shineRef(const World& w) {
    lightRef(w, w.e.mode == 2);
    const int cx = w.e.cursor.x, cy = w.e.cursor.y;
    for (int x = w.x1; x <= cx; ++x) {
        if (x == w.x1) for (int y = w.y1; y <= cy; ++y) rayRef(w, x, y, -1, -1);
        else rayRef(w, x, w.y1, -1, -1);
    }
    for (int x = w.x1; x <= cx; ++x) {
        if (x == w.x1) for (int y = w.y2; y >= cy; --y) rayRef(w, x, y, -1, 1);
        else rayRef(w, x, w.y2, -1, 1);
    }
    for (int x = w.x2; x >= cx; --x) {
        if (x == w.x2) for (int y = w.y1; y <= cy; ++y) rayRef(w, x, y, 1, -1);
        else rayRef(w, x, w.y1, 1, -1);
    }
    for (int x = w.x2; x >= cx; --x) {
        if (x == w.x2) for (int y = w.y2; y >= cy; --y) rayRef(w, x, y, 1, 1);
        else rayRef(w, x, w.y2, 1, 1);
    }
    w.each([&](int x, int y) {
        if (pixel(w.image, x, y).a != 0) return;
        int sum[4] = {}, n = 0;
        for (int ny = y - 1; ny <= y + 1; ++ny)
            for (int nx = x - 1; nx <= x + 1; ++nx)
                if ((nx != x || ny != y) && w.in(nx, ny)) {
                    const Rgba q = pixel(w.image, nx, ny);
                    sum[0] += q.r, sum[1] += q.g, sum[2] += q.b, sum[3] += q.a, ++n;
                }
        if (n > 0)
            pixel(w.image, x, y) = Rgba{w.clamp(static_cast<float>(sum[0]) / n), w.clamp(static_cast<float>(sum[1]) / n),
                                        w.clamp(static_cast<float>(sum[2]) / n), w.clamp(static_cast<float>(sum[3]) / n)};
    });
    gaussian(w.scratch, w.image, w.x1, w.y1, w.x2, w.y2, 2, 2, 1);
    compositeRef(w, w.scratch);
}

// Only the area's rows are written.
void brushRef(const World& w) {
    const float v2 = w.e.value2;
    const int n = static_cast<int>(2 * v2 + 1);
    std::vector<Rgba> win(n * n);
    for (int x = w.x1; x <= w.x2; ++x) {
        for (int y = w.y1; y <= w.y2; ++y) {
            for (int dy = static_cast<int>(-v2); dy <= v2; ++dy)
                for (int dx = static_cast<int>(-v2); dx <= v2; ++dx)
                    win[static_cast<int>(dy + v2) * n + static_cast<int>(dx + v2)] =
                        pixel(w.backup, std::min(std::max(x + dx, w.x1), w.x2), std::min(std::max(y + dy, w.y1), w.y2));
            for (int i = 0; i < n * n; ++i) {
                if (win[i].a == 0) continue;
                win[i].a = 0;
                for (int j = i + 1; j < n * n; ++j)
                    if (win[j].a != 0 && near(win[i], win[j], w.e.value1)) win[j].a = 0, ++win[i].a;
            }
            int M = 0;
            for (const Rgba& p : win) M = std::max<int>(M, p.a);
            float R = 0, G = 0, B = 0, count = 0;
            for (const Rgba& p : win)
                if (p.a == M) R += p.r, G += p.g, B += p.b, ++count;
            pixel(w.image, x, y) = Rgba{w.clamp(R / count), w.clamp(G / count), w.clamp(B / count), 255};
        }
    }
}

void preBlurRef(const World& w) {
    if (w.e.size < 1) {
        imageRgbaCopy(w.backup, w.scratch);
    } else {
        imageRgbaCopy(w.backup, w.image);
        gaussian(w.scratch, w.image, w.x1, w.y1, w.x2, w.y2, w.e.size, 2, 1);
    }
}

// Entries no group filled are left out; with none filled the area stays as committed.
std::vector<int> cutoutRef(const World& w) {
    imageRgbaCopy(w.backup, w.image);
    const int P = static_cast<int>(w.e.value1), width = w.x2 - w.x1 + 1;
    const int A = width * (w.y2 - w.y1 + 1);
    preBlurRef(w);
    auto src = [&](int i) { return pixel(w.scratch, w.x1 + i % width, w.y1 + i / width); };
    std::vector<int> group(A, 1), counter(P, 0);
    for (int i = 0; i < A; ++i) {
        if (group[i] == 0) continue;
        group[i] = 0;
        for (int j = i + 1; j < A; ++j)
            if (group[j] != 0 && near(src(i), src(j), w.e.value2)) group[j] = 0, ++group[i];
    }
    for (int g : group) holdHighest(counter.data(), P, g);
    std::vector<Rgba> palette(P);
    std::vector<bool> filled(P, false);
    for (int i = 0; i < A; ++i)
        for (int k = 0; k < P; ++k)
            if (group[i] > 0 && group[i] == counter[k]) palette[k] = src(i), filled[k] = true;
    for (int i = 0; i < A; ++i) {
        int best = -1, bestD = 0;
        for (int k = 0; k < P; ++k) {
            const Rgba s = src(i), c = palette[k];
            const int d = std::max({std::abs(s.r - c.r), std::abs(s.g - c.g), std::abs(s.b - c.b)});
            if (filled[k] && (best < 0 || d < bestD)) best = k, bestD = d;
        }
        const int x = w.x1 + i % width, y = w.y1 + i / width;
        pixel(w.image, x, y) = best < 0 ? pixel(w.backup, x, y) : palette[best];
    }
    return counter;
}

// The random filters, drawing straight from rand().
int triangularRef(float v) {
    for (;;) {
        const int p = std::rand(), q = std::rand();
        const int t = q % static_cast<int>(2 * v) - static_cast<int>(v);
        if (p % static_cast<int>(v) >= std::abs(t)) return t;
    }
}

void spatterRef(const World& w) {
    preBlurRef(w);
    imageRgbaSetArea(w.image, w.x1, w.y1, w.x2 + 1, w.y2 + 1, Rgba{0, 0, 0, 0});
    const float v1 = w.e.value1, v2 = w.e.value2;
    auto cx = [&](int x) { return std::min(std::max(x, w.x1), w.x2); };
    auto cy = [&](int y) { return std::min(std::max(y, w.y1), w.y2); };
    auto drop = [&](int x, int y) {
        const int ox = triangularRef(v1), oy = triangularRef(v1);
        const Rgba c = pixel(w.scratch, cx(x + ox), cy(y + oy));
        for (int i = 0; i < 4 * v2 * v2; ++i) {
            const int sx = triangularRef(v2), sy = triangularRef(v2);
            pixel(w.image, cx(x + sx), cy(y + sy)) = c;
        }
    };
    for (int x = w.x1; x <= w.x2; x += static_cast<int>(v2))
        for (int y = w.y1; y <= w.y2; y += static_cast<int>(v2)) drop(x, y);
    const int W = w.image->width, H = w.image->height;
    for (int k = 0; k < static_cast<int>(W * H / (4 * v2 * v2)); ++k) {
        const int bx = std::rand() % W, by = std::rand() % H;
        drop(bx, by);
    }
    for (int x = w.x1; x <= w.x2; ++x)
        for (int y = w.y1; y <= w.y2; ++y) {
            if (pixel(w.image, x, y).a == 255) continue;
            int sum[3] = {}, n = 0;
            for (int ny = y - 1; ny <= y + 1; ++ny)
                for (int nx = x - 1; nx <= x + 1; ++nx)
                    if ((nx != x || ny != y) && w.in(nx, ny)) {
                        const Rgba q = pixel(w.image, nx, ny);
                        sum[0] += q.r, sum[1] += q.g, sum[2] += q.b, ++n;
                    }
            if (n > 0)
                pixel(w.image, x, y) = Rgba{w.clamp(static_cast<float>(sum[0]) / n), w.clamp(static_cast<float>(sum[1]) / n),
                                            w.clamp(static_cast<float>(sum[2]) / n), 255};
        }
}

void strokesRef(const World& w) {
    preBlurRef(w);
    imageRgbaSetArea(w.image, w.x1, w.y1, w.x2 + 1, w.y2 + 1, Rgba{0, 0, 0, 0});
    const float width = w.e.value2, L = w.e.value1;
    const int m = static_cast<int>(width / 2), mL = static_cast<int>(L / 2);
    auto stroke = [&](int px, int py, int dir, Rgba c) {
        for (int d = -static_cast<int>(width - std::rand() % m);; ++d) {
            if (!(width - std::rand() % m > d)) break;
            const float t = static_cast<float>(dir % 360 + std::rand() % 30 - 15) / 180 * kPiF, u = t + kPiF / 2;
            const int sh1 = std::rand() % mL, sh2 = std::rand() % mL, sh3 = std::rand() % mL, sh4 = std::rand() % mL;
            const float x = px + d * std::sin(u), y = py + d * std::cos(u);
            imageRgbaDrawLine(w.image, static_cast<int>(x + (L - sh4) * std::sin(t)), static_cast<int>(y + (L - sh3) * std::cos(t)),
                              static_cast<int>(x - (L - sh2) * std::sin(t)), static_cast<int>(y - (L - sh1) * std::cos(t)), c,
                              w.x1, w.y1, w.x2, w.y2);
        }
    };
    for (int sweep = 0; sweep < 2; ++sweep)
        w.each([&](int x, int y) {
            if (pixel(w.image, x, y).a != 0) return;
            const int dir = std::rand();
            for (int l = 0; l < 3; ++l) stroke(x + l, y, dir, pixel(w.scratch, x, y));
        });
    if (w.x2 - w.x1 < 1 || w.y2 - w.y1 < 1) return;
    for (int k = 0; k < static_cast<int>(w.image->width * w.image->height / (4 * L * width)); ++k) {
        const int ix = std::rand() % (w.x2 - w.x1), iy = std::rand() % (w.y2 - w.y1), dir = std::rand();
        for (int j = 0; j < 3; ++j) stroke(w.x1 + ix + j, w.y1 + iy, dir, pixel(w.scratch, w.x1 + ix, w.y1 + iy));
    }
}

// ---------------------------------------------------------------------------
// Pictures with few colours, so that groups, equal counts and ties abound

Image fewColours(int w, int h, unsigned seed, int colours, int jitter, bool someClear) {
    std::mt19937 gen(seed);
    std::vector<Rgba> base(colours);
    for (Rgba& c : base) c = Rgba{static_cast<unsigned char>(gen()), static_cast<unsigned char>(gen()),
                                  static_cast<unsigned char>(gen()), 255};
    Image img(imageRgbaNew(w, h));
    for (int i = 0; i < w * h; ++i) {
        Rgba c = base[gen() % colours];
        auto shake = [&](unsigned char v) {
            return static_cast<unsigned char>(std::min(255, std::max(0, v + static_cast<int>(gen() % (2 * jitter + 1)) - jitter)));
        };
        c = Rgba{shake(c.r), shake(c.g), shake(c.b), static_cast<unsigned char>(someClear && gen() % 5 == 0 ? gen() % 2 * 90 : 255)};
        img->data[i] = c;
    }
    return img;
}

struct Case {
    const char* what;
    std::function<std::unique_ptr<effect>(EffectImages&, bool, point, point)> make;
    std::function<void(const World&)> ref;
    int mode;  // 0: single mode
    float v1, v2;
    int size;
    point cursor;
    float param4;
    bool big = false;  // checked on a picture split between threads too
};

template <class T>
std::function<std::unique_ptr<effect>(EffectImages&, bool, point, point)> maker() {
    return [](EffectImages& imgs, bool has, point lo, point hi) -> std::unique_ptr<effect> {
        return imgs.make<T>(has, lo, hi);
    };
}

// The filter applied with the case's settings, against the reference applied
// to copies of the same images; the whole picture is compared.
std::string check(const Case& c, Image start, bool hasArea, point lo, point hi) {
    EffectImages imgs(start.release());
    std::unique_ptr<effect> e = c.make(imgs, hasArea, lo, hi);
    e->value1 = c.v1;
    e->value2 = c.v2;
    e->size = c.size;
    e->cursor = c.cursor;
    e->param4 = c.param4;
    e->color = Rgba{200, 40, 90, 255};
    Image image = fixtures::cloneOf(imgs.image), scratch = fixtures::cloneOf(imgs.scratch);
    std::srand(7);  // the random filters draw the same numbers twice
    if (c.mode) {
        e->changeMode(static_cast<char>(c.mode));
    } else {
        e->reapply();
    }
    const int next = std::rand();
    const World w{*e, image.get(), imgs.backup, scratch.get(), e->areaMin.x, e->areaMin.y,
                  e->areaMax.x, e->areaMax.y};
    std::srand(7);
    c.ref(w);
    if (std::rand() != next) return "the filter and its reference took different numbers of draws";
    return firstDifference(image.get(), imgs.image);
}

const Case kCases[] = {
    {"chrome simple", maker<chrome>(), chromeRef, 1, 4, 4, 0, {}, 0, true},
    {"chrome gaussian", maker<chrome>(), chromeRef, 2, 20, 5, 0, {}, 0},
    {"chrome unblurred", maker<chrome>(), chromeRef, 2, 2, 0, 0, {}, 0},
    {"relief simple", maker<relief>(), reliefRef, 1, 10, 10, 0, {}, 1, true},
    {"relief gaussian half lines", maker<relief>(), reliefRef, 2, 3, 4, 0, {}, 0.5f},
    {"relief two levels, no lines", maker<relief>(), reliefRef, 1, 0, 1, 0, {}, 0},
    {"bw brightness", maker<bw>(), bwRef, 1, 1, 120, 0, {}, 0},
    {"bw all black", maker<bw>(), bwRef, 1, 5, 255, 0, {}, 0},
    {"bw edge", maker<bw>(), bwRef, 2, 2, 100, 0, {}, 0, true},
    {"bw edge far", maker<bw>(), bwRef, 2, 9, 30, 0, {}, 0},
    {"starlight star", maker<starlight>(), starlightRef, 1, 4, 120, 10, {}, 0, true},
    {"starlight cross", maker<starlight>(), starlightRef, 2, 3, 255, 30, {}, 0},
    {"starlight x", maker<starlight>(), starlightRef, 3, 5, 200, 1, {}, 0},
    {"starlight colorized star", maker<starlight>(), starlightRef, 4, 15, 90, 10, {}, 0},
    {"starlight colorized cross", maker<starlight>(), starlightRef, 5, 2, 0, 20, {}, 0},
    {"starlight colorized x", maker<starlight>(), starlightRef, 6, 6, 150, 10, {}, 0},
    {"shine from the corner", maker<shine>(), shineRef, 1, 15, 150, 10, {0, 0}, 0},
    {"shine from inside", maker<shine>(), shineRef, 1, 4, 200, 10, {5, 4}, 0, true},
    {"shine from a border pixel", maker<shine>(), shineRef, 2, 3, 255, 20, {2, 1}, 0},
    {"shine from the right", maker<shine>(), shineRef, 2, 6, 180, 10, {40, 3}, 0},
    {"shine from far above left", maker<shine>(), shineRef, 1, 0, 255, 10, {-30, -20}, 0},
    {"shine from below", maker<shine>(), shineRef, 1, 200, 100, 10, {6, 60}, 0},
    {"brush", maker<brush>(), brushRef, 0, 10, 2, 0, {}, 0, true},
    {"brush narrow", maker<brush>(), brushRef, 0, 5, 1, 0, {}, 0},
    {"brush wide", maker<brush>(), brushRef, 0, 30, 5, 0, {}, 0},
    {"cutout", maker<cutout>(), [](const World& w) { cutoutRef(w); }, 0, 3, 20, 2, {}, 0},
    {"cutout unblurred", maker<cutout>(), [](const World& w) { cutoutRef(w); }, 0, 2, 5, 0, {}, 0},
    {"cutout more entries than groups", maker<cutout>(), [](const World& w) { cutoutRef(w); }, 0, 100, 30, 1, {}, 0},
    {"spatter", maker<spatter>(), spatterRef, 0, 15, 7, 2, {}, 0, true},
    {"spatter fine", maker<spatter>(), spatterRef, 0, 1, 1, 0, {}, 0},
    {"spatter wide", maker<spatter>(), spatterRef, 0, 50, 20, 1, {}, 0},
    {"strokes", maker<strokes>(), strokesRef, 0, 7, 3, 2, {}, 0, true},
    {"strokes long and thick", maker<strokes>(), strokesRef, 0, 30, 15, 0, {}, 0},
};

}  // namespace

TEST(Artistic, FiltersFollowTheirFormulas) {
    unsigned seed = 0;
    for (const Case& c : kCases) {
        for (int variant = 0; variant < 4; ++variant) {
            const bool hasArea = variant % 2 == 1;
            Image start = variant < 2 ? fixtures::randomImage(12, 9, ++seed)
                                      : fewColours(12, 9, ++seed, 3, 12, variant == 3);
            EXPECT_EQ(check(c, std::move(start), hasArea, point(2, 1), point(9, 7)), "")
                << c.what << ", variant " << variant;
        }
        // Big enough to be split between two threads.
        if (c.big) {
            EXPECT_EQ(check(c, fewColours(520, 400, ++seed, 4, 30, true), true, point(3, 2), point(510, 397)), "")
                << c.what << ", large";
        }
    }
}

// Shine on thin pictures and from pointers off them, where most rays miss
// the area or cross it for a few steps only.
TEST(Artistic, ShineOnThinPicturesFollowsItsFormulas) {
    const Case& plain = *std::find_if(std::begin(kCases), std::end(kCases),
                                      [](const Case& c) { return std::string(c.what) == "shine from inside"; });
    unsigned seed = 900;
    for (const point size : {point(1, 260), point(260, 1), point(2, 150), point(150, 3), point(37, 23)}) {
        for (const point at : {point(size.x / 2, size.y / 2), point(size.x - 1, size.y - 1),
                               point(-50, size.y / 3), point(size.x + 80, -60)}) {
            for (float v1 : {3.0f, 15.0f, 120.0f}) {
                Case c = plain;
                c.cursor = at;
                c.v1 = v1;
                c.mode = 1 + seed % 2;
                EXPECT_EQ(check(c, fewColours(size.x, size.y, ++seed, 4, 30, true), false, point(0, 0),
                                point(0, 0)),
                          "")
                    << size.x << "x" << size.y << " pointer " << at.x << "," << at.y << " value1 " << v1;
            }
        }
    }
}

// Thin pictures and areas: every splash and stroke clamped or clipped.
TEST(Artistic, RandomFiltersOnThinShapes) {
    struct Shape {
        int w, h;
        bool hasArea;
        point lo, hi;
    };
    const Shape shapes[] = {{1, 300, false, {}, {}}, {300, 1, false, {}, {}}, {3, 200, false, {}, {}},
                            {20, 20, true, {5, 0}, {5, 19}}, {20, 20, true, {0, 7}, {19, 8}}};
    unsigned seed = 50;
    for (const Case& c : kCases) {
        const std::string name = c.what;
        if (name.rfind("spatter", 0) != 0 && name.rfind("strokes", 0) != 0) continue;
        for (const Shape& s : shapes) {
            EXPECT_EQ(check(c, fixtures::randomImage(s.w, s.h, ++seed), s.hasArea, s.lo, s.hi), "")
                << c.what << " on " << s.w << " by " << s.h;
        }
    }
}

// Shine at random: pictures, areas, pointers, ray lengths and thresholds.
TEST(Artistic, ShineAtRandomFollowsItsFormulas) {
    const Case& plain = *std::find_if(std::begin(kCases), std::end(kCases),
                                      [](const Case& c) { return std::string(c.what) == "shine from inside"; });
    std::mt19937 gen(31);
    for (int round = 0; round < 120; ++round) {
        // A third of them a line or two across, where rays run along one line.
        const int w = 1 + gen() % (round % 3 == 0 ? 2 : 70), h = 1 + gen() % (round % 3 == 1 ? 2 : 70);
        const int x0 = gen() % w, y0 = gen() % h;
        const point lo(x0, y0), hi(x0 + gen() % (w - x0), y0 + gen() % (h - y0));
        Case c = plain;
        c.cursor = point(static_cast<int>(gen() % 260) - 100, static_cast<int>(gen() % 260) - 100);
        if (round % 3 == 0) c.cursor.x = lo.x;  // in line with the thin area
        if (round % 3 == 1) c.cursor.y = lo.y;
        c.v1 = static_cast<float>(gen() % 201);
        c.v2 = static_cast<float>(gen() % 256);
        c.mode = 1 + round % 2;
        EXPECT_EQ(check(c, fewColours(w, h, gen(), 4, 30, true), gen() % 2 == 0, lo, hi), "")
            << "round " << round << ": " << w << "x" << h << " pointer " << c.cursor.x << ","
            << c.cursor.y << " value1 " << c.v1;
    }
}

TEST(Artistic, FastBrushAndCutoutGroupLikeTheStraightforwardOnes) {
    auto named = [](const std::string& what) {
        return std::find_if(std::begin(kCases), std::end(kCases), [&](const Case& c) { return c.what == what; });
    };
    const Case* brushCase = named("brush");
    const Case* cutoutCase = named("cutout");
    std::mt19937 gen(7);
    for (int round = 0; round < 160; ++round) {
        const int w = 1 + gen() % 14, h = 1 + gen() % 11;
        const int x0 = gen() % w, y0 = gen() % h;
        const int x1 = x0 + gen() % (w - x0), y1 = y0 + gen() % (h - y0);
        const point lo(x0, y0), hi(x1, y1);
        const bool hasArea = gen() % 2;
        const int colours = 1 + gen() % 5;
        const int jitter = gen() % 2 ? 0 : 1 + gen() % 25;
        Case b = *brushCase;
        b.v1 = 5 + gen() % 26;
        b.v2 = 1 + gen() % 5;
        const unsigned seed = gen();
        const bool someClear = gen() % 2;
        EXPECT_EQ(check(b, fewColours(w, h, seed, colours, jitter, someClear), hasArea, lo, hi), "")
            << "brush round " << round;
        Case c = *cutoutCase;
        c.v1 = 2 + gen() % 8;
        c.v2 = 5 + gen() % 26;
        c.size = gen() % 3;
        EXPECT_EQ(check(c, fewColours(w, h, seed + 1, colours, jitter, false), hasArea, lo, hi), "")
            << "cutout round " << round;
    }
    // Noise: many leaders, several of them around each cube.
    for (int round = 0; round < 6; ++round) {
        Case c = *cutoutCase;
        c.v1 = 2 + 3 * round;
        c.v2 = round % 2 ? 5 : 30;
        c.size = round % 3;
        EXPECT_EQ(check(c, fixtures::randomImage(40, 30, 900 + round), round >= 3, point(3, 2), point(36, 27)), "")
            << "cutout on noise, round " << round;
    }
}

TEST(Artistic, ShineWithThePointerFarOffEndsAndLeavesTheRestAlone) {
    for (const point far : {point(INT_MAX, 3), point(-2000000000, INT_MIN), point(5, 1000000)}) {
        EffectImages imgs(fixtures::randomImage(30, 20, 4, true).release());
        auto e = imgs.make<shine>(true, point(3, 2), point(25, 17));
        e->cursor = far;
        e->changeMode(1);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 30; ++x)
                if (x < 3 || x > 25 || y < 2 || y > 17) {
                    ASSERT_TRUE(samePixel(pixel(imgs.image, x, y), pixel(imgs.picture, x, y)));
                } else {
                    ASSERT_EQ(pixel(imgs.image, x, y).a, 255);
                }
    }
}

// ---------------------------------------------------------------------------
// The random filters through the shell

class RandomFilters : public ShellOn {
protected:
    // From start-up: an area, the filter's key, two value keys; the picture then.
    Image run(char key) {
        startOn(fixtures::randomImage(24, 18, 11, true).release());
        std::srand(1);  // where every run of the program starts
        specialCB(10, 0, 0);  // selection
        leftDrag({point(4, 3), point(19, 14)});
        keyboardCB(static_cast<unsigned char>(key), 0, 0);
        idleCB();
        specialCB(101, 0, 0);
        idleCB();
        specialCB(100, 0, 0);
        idleCB();
        Image result = fixtures::cloneOf(E->image);
        morvaneShutdown();
        imageRgbaFree(picture);
        picture = nullptr;
        return result;
    }
};

TEST_F(RandomFilters, SameKeysSamePictureOnlyInsideTheArea) {
    const Image original = fixtures::randomImage(24, 18, 11, true);
    for (char key : {'h', 'j'}) {
        const Image first = run(key), second = run(key);
        EXPECT_TRUE(sameImage(first.get(), second.get())) << key;
        EXPECT_FALSE(sameImage(first.get(), original.get())) << key;
        for (int y = 0; y < 18; ++y)
            for (int x = 0; x < 24; ++x) {
                const bool inside = x >= 4 && x <= 19 && y >= 3 && y <= 14;
                if (!inside) {
                    ASSERT_TRUE(samePixel(pixel(first.get(), x, y), pixel(original.get(), x, y))) << key;
                } else if (key == 'h') {
                    ASSERT_EQ(pixel(first.get(), x, y).a, 255) << x << "," << y;
                }
            }
    }
}

TEST(Artistic, StrokesAndSpatterOnAOnePixelWideArea) {
    EffectImages imgs(fixtures::randomImage(10, 8, 2, true).release());
    imgs.make<strokes>(true, point(4, 1), point(4, 6));
    imgs.make<spatter>(true, point(2, 3), point(8, 3));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x)
            if (!((x == 4 && y >= 1 && y <= 6) || (y == 3 && x >= 2 && x <= 8))) {
                ASSERT_TRUE(samePixel(pixel(imgs.image, x, y), pixel(imgs.picture, x, y)));
            }
    for (int x = 2; x <= 8; ++x) EXPECT_EQ(pixel(imgs.image, x, 3).a, 255);
}

class CutoutLog : public ShellOn {};

TEST_F(CutoutLog, EveryApplicationLogsTheGroupSizes) {
    startOn(fewColours(20, 15, 3, 4, 3, false).release());
    keyboardCB('f', 0, 0);
    idleCB();
    specialCB(101, 0, 0);  // four entries
    idleCB();
    const std::string log = readFile("log.txt");
    std::vector<int> sizes;
    for (size_t at = 0; (at = log.find("LOG: ", at)) != std::string::npos; at += 5) sizes.push_back(std::atoi(log.c_str() + at + 5));
    ASSERT_EQ(sizes.size(), 7u) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 7);
    EXPECT_TRUE(std::is_sorted(sizes.rbegin() + 4, sizes.rend())) << log;
    EXPECT_TRUE(std::is_sorted(sizes.rbegin(), sizes.rbegin() + 4)) << log;
    EXPECT_GT(sizes[0], 0);
}

TEST(Artistic, CutoutWithoutAnyGroupLeavesTheArea) {
    // Four colours far apart: every group is its leader alone.
    Image start(imageRgbaNew(4, 3));
    const Rgba far[4] = {{0, 0, 0, 255}, {255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}};
    for (int i = 0; i < 12; ++i) start->data[i] = far[i % 4];
    EffectImages imgs(start.release());
    auto e = imgs.make<cutout>(true, point(0, 0), point(3, 0));
    e->size = 0;
    e->reapply();
    EXPECT_TRUE(sameImage(imgs.image, imgs.picture));
}

TEST(Artistic, KeysStepClampAndReapply) {
    EffectImages imgs(fixtures::randomImage(8, 6, 9, true).release());
    auto e = imgs.make<relief>();  // Page Down, End and Delete set the line opacity here
    e->param4 = 0.95f;
    e->specialKey(105);  // Page Down
    EXPECT_EQ(e->param4, 1.0f);
    e->specialKey(107);  // End
    EXPECT_EQ(e->param4, 0.0f);
    e->param4 = 0.05f;
    e->key(127);  // Delete
    EXPECT_EQ(e->param4, 0.0f);
    EXPECT_EQ(e->size, 0);
    // param4 0: no visible line, yet alpha 255 everywhere.
    for (int i = 0; i < 48; ++i) EXPECT_EQ(imgs.image->data[i].a, 255);

    auto s = imgs.make<spatter>();  // and the size elsewhere
    s->key(127);
    s->key(127);
    EXPECT_EQ(s->size, 1);
    s->size = 29;
    s->specialKey(105);
    s->specialKey(105);
    EXPECT_EQ(s->size, 30);
    s->specialKey(101);
    EXPECT_EQ(s->value1, 16);
    EXPECT_FALSE(s->leftDown);
}
