// The convolution filters against per-pixel references written from their
// formulas, the fast area convolution against applyMatrix, the kernels'
// shapes, and their lifetime.
#include "effects/matrices.h"
#include "effects/rays.h"
#include "image/motion.h"

#include <climits>
#include <cmath>
#include <functional>
#include <random>
#include <sstream>
#include <vector>

#include "image/pi.h"
#include "tests/unit/test_support.h"

using fixtures::cloneOf;
using fixtures::firstDifference;
using fixtures::randomImage;
using Picture = fixtures::Image;

namespace {

struct Rect {
    int x0, y0, x1, y1;
    bool has(long long x, long long y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};

int sgn(long long v) { return (v > 0) - (v < 0); }

// ---------------------------------------------------------------------------
// Kernels as the filters are to build them, row by row from the top.

struct Kernel {
    int r;
    std::vector<float> w;
    int divisor = 1;
    float at(int dy, int dx) const { return w[(dy + r) * (2 * r + 1) + dx + r]; }
};

// "1 2 1 / 0 0 0 / -1 -2 -1"
Kernel drawn(const std::string& rows, int divisor = 1) {
    Kernel k{0, {}, divisor};
    std::istringstream in(rows);
    std::string word;
    while (in >> word) {
        if (word != "/") k.w.push_back(std::stof(word));
    }
    while ((2 * k.r + 1) * (2 * k.r + 1) < static_cast<int>(k.w.size())) ++k.r;
    return k;
}

template <class Cell>
Kernel ruled(int r, Cell cell, int divisor = 1) {
    Kernel k{r, {}, divisor};
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx) k.w.push_back(cell(dy, dx));
    return k;
}

const char* const kRingRows[5] = {
    "1 1 1 / 1 -8 1 / 1 1 1",
    "0 1 1 1 0 / 1 0 0 0 1 / 1 0 -12 0 1 / 1 0 0 0 1 / 0 1 1 1 0",
    "0 0 1 1 1 0 0 / 0 1 0 0 0 1 0 / 1 0 0 0 0 0 1 / 1 0 0 -16 0 0 1 / 1 0 0 0 0 0 1 / "
    "0 1 0 0 0 1 0 / 0 0 1 1 1 0 0",
    "0 0 1 1 1 1 1 0 0 / 0 1 0 0 0 0 0 1 0 / 1 0 0 0 0 0 0 0 1 / 1 0 0 0 0 0 0 0 1 / "
    "1 0 0 0 -24 0 0 0 1 / 1 0 0 0 0 0 0 0 1 / 1 0 0 0 0 0 0 0 1 / 0 1 0 0 0 0 0 1 0 / "
    "0 0 1 1 1 1 1 0 0",
    "0 0 0 1 1 1 1 1 0 0 0 / 0 0 1 0 0 0 0 0 1 0 0 / 0 1 0 0 0 0 0 0 0 1 0 / "
    "1 0 0 0 0 0 0 0 0 0 1 / 1 0 0 0 0 0 0 0 0 0 1 / 1 0 0 0 0 -28 0 0 0 0 1 / "
    "1 0 0 0 0 0 0 0 0 0 1 / 1 0 0 0 0 0 0 0 0 0 1 / 0 1 0 0 0 0 0 0 0 1 0 / "
    "0 0 1 0 0 0 0 0 1 0 0 / 0 0 0 1 1 1 1 1 0 0 0",
};
const char* const kEmbossRows[8] = {
    "1 0 -1 / 2 1 -2 / 1 0 -1",  "1 -2 -1 / 2 1 -2 / 1 2 -1", "-1 -2 -1 / 0 1 0 / 1 2 1",
    "-1 -2 -1 / -2 1 2 / 1 2 1", "-1 0 1 / -2 1 2 / -1 0 1",  "1 2 1 / -2 1 2 / -1 -2 -1",
    "1 2 1 / 0 1 0 / -1 -2 -1",  "1 2 -1 / 2 1 -2 / 1 -2 -1",
};
const char* const kLeftThree =
    "-1 0 0 0 0 1 0 / -1 0 0 0 0 1 0 / -1 0 0 0 0 1 0 / -2 0 0 1 0 2 0 / "
    "-1 0 0 0 0 1 0 / -1 0 0 0 0 1 0 / -1 0 0 0 0 1 0";

Kernel laplace(int r) {
    return ruled(r, [r](int dy, int dx) -> float {
        return dy == 0 && dx == 0 ? -4 : std::abs(dy) + std::abs(dx) == r && (dy == 0 || dx == 0);
    });
}
Kernel ring(int r, bool ghost) {
    Kernel k = drawn(kRingRows[r - 1]);
    k.w[k.w.size() / 2] += ghost;
    return k;
}
Kernel sobel(int r, bool acrossRows) {
    return ruled(r, [=](int dy, int dx) -> float {
        const int along = acrossRows ? dy : dx, other = acrossRows ? dx : dy;
        return std::abs(along) == r ? sgn(along) * (other == 0 ? 2 : 1) : 0;
    });
}
Kernel embossKernel(int mode, int r) {
    if (mode == 5 && r == 3) return drawn(kLeftThree);
    const Kernel one = drawn(kEmbossRows[mode - 1]);
    return ruled(r, [&](int dy, int dx) -> float {
        if (dy == 0 && dx == 0) return 1;
        if (std::abs(dy) < r && std::abs(dx) < r) return 0;
        const float c = one.at(std::abs(dy) == r ? sgn(dy) : 0, std::abs(dx) == r ? sgn(dx) : 0);
        return sgn(static_cast<long long>(c)) * (dy == 0 || dx == 0 ? 2 : 1);
    });
}
Kernel separateKernel(int r) {
    return ruled(
        r, [r](int dy, int dx) -> float { return std::abs(dy) == r && std::abs(dx) == r; }, 4);
}
Kernel sharpenKernel(int slot) {
    const float a[] = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.7f, 0.9f, 1.1f, 1.4f, 1.8f};
    const float c[] = {1.8f, 2.6f, 3.4f, 4.2f, 5.0f, 6.6f, 8.2f, 9.8f, 12.2f, 15.4f};
    return ruled(1, [&](int dy, int dx) { return dy == 0 && dx == 0 ? c[slot] : -a[slot]; });
}

// One pixel of a kernel: samples clamped into the area, then the picture.
Rgba convolve(const ImageRGBA* src, const Kernel& k, int x, int y, Rect a) {
    auto clampTo = [](int v, int lo, int hi, int last) {
        v = std::min(std::max(v, lo), hi);
        return std::min(std::max(v, 0), last);
    };
    float sum[3] = {0, 0, 0};
    for (int dy = -k.r; dy <= k.r; ++dy) {
        for (int dx = -k.r; dx <= k.r; ++dx) {
            const int sx = clampTo(x + dx, a.x0, a.x1, src->width - 1);
            const int sy = clampTo(y + dy, a.y0, a.y1, src->height - 1);
            const Rgba p = src->data[sy * src->width + sx];
            sum[0] += p.r * k.at(dy, dx);
            sum[1] += p.g * k.at(dy, dx);
            sum[2] += p.b * k.at(dy, dx);
        }
    }
    const float d = static_cast<float>(k.divisor);
    return Rgba{byteOf(sum[0] / d), byteOf(sum[1] / d), byteOf(sum[2] / d), 255};
}

// ---------------------------------------------------------------------------
// The blurs of the image library, written out.

// Rows (or columns) of the region: each pixel the integer mean of its window.
void boxPass(ImageRGBA* dest, const ImageRGBA* src, Rect a, int r, bool rows) {
    for (int y = a.y0; y <= a.y1; ++y) {
        for (int x = a.x0; x <= a.x1; ++x) {
            int sum[4] = {0, 0, 0, 0}, n = 0;
            const int at = rows ? x : y, lo = rows ? a.x0 : a.y0, hi = rows ? a.x1 : a.y1;
            for (int i = std::max(lo, at - r); i <= std::min(hi, at + r); ++i, ++n) {
                const Rgba p = rows ? pixel(const_cast<ImageRGBA*>(src), i, y)
                                    : pixel(const_cast<ImageRGBA*>(src), x, i);
                sum[0] += p.r, sum[1] += p.g, sum[2] += p.b, sum[3] += p.a;
            }
            pixel(dest, x, y) =
                Rgba{byteOf(sum[0] / n), byteOf(sum[1] / n), byteOf(sum[2] / n), byteOf(sum[3] / n)};
        }
    }
}

// Passes of radius R, R e^(-1/R), R e^(-4/R)... (mode 2) or one (mode 1):
// target blurred in place, temp left with the last row pass.
void gaussianPasses(ImageRGBA* temp, ImageRGBA* target, Rect a, float R, int mode) {
    const int passes = mode == 2 ? static_cast<int>(R) : 1;
    for (int i = 0; i < passes; ++i) {
        const int r = static_cast<int>(i == 0 ? R : R * std::exp(-static_cast<float>(i * i) / R));
        if (r <= 0) break;
        boxPass(temp, target, a, r, true);
        boxPass(target, temp, a, r, false);
    }
}

// ---------------------------------------------------------------------------
// Radial and spheric blur, as written, without shortcuts.

// Radial blur's gaps, in raster order: each takes the first written pixel
// toward the centre. A probe that has left the area never comes back, as
// both its coordinates move one way.
void radialGapsReference(ImageRGBA* img, Rect a, long long cx, long long cy) {
    auto angle = [](long long dx, long long dy) {
        return dy == 0
                   ? static_cast<float>(kPi / 2)
                   : static_cast<float>(std::atan(double(std::llabs(dx)) / double(std::llabs(dy))));
    };
    for (int y = a.y0; y <= a.y1; ++y) {
        for (int x = a.x0; x <= a.x1; ++x) {
            if (pixel(img, x, y).a != 0 || (cx == x && cy == y)) continue;
            const long long dx = cx - x, dy = cy - y;
            const float d = std::sqrt(static_cast<float>(double(dx) * dx + double(dy) * dy)),
                        t = angle(dx, dy);
            for (long long i = 0; i < d; ++i) {
                const long long px =
                    x + static_cast<long long>(static_cast<float>(i * sgn(dx)) * std::sin(t));
                const long long py =
                    y + static_cast<long long>(static_cast<float>(i * sgn(dy)) * std::cos(t));
                if (!a.has(px, py)) break;
                if (pixel(img, px, py).a != 0) {
                    pixel(img, x, y) = pixel(img, px, py);
                    break;
                }
            }
        }
    }
}

void radialReference(ImageRGBA* img, const ImageRGBA* src, Rect a, long long cx, long long cy,
                     float v) {
    for (int y = a.y0; y <= a.y1; ++y)
        for (int x = a.x0; x <= a.x1; ++x) pixel(img, x, y) = Rgba{0, 0, 0, 0};
    auto angle = [](long long dx, long long dy) {
        return dy == 0
                   ? static_cast<float>(kPi / 2)
                   : static_cast<float>(std::atan(double(std::llabs(dx)) / double(std::llabs(dy))));
    };
    auto ray = [&](long long x, long long y, int sx, int sy) {
        const long long dx = cx - x, dy = cy - y;
        if (dx == 0 && dy == 0) return;
        const float d = std::sqrt(static_cast<float>(dx * dx + dy * dy)), t = angle(dx, dy);
        auto P = [&](long long s) {
            return std::make_pair(
                static_cast<long long>(cx + static_cast<float>(sx * s) * std::sin(t)),
                static_cast<long long>(cy + static_cast<float>(sy * s) * std::cos(t)));
        };
        std::vector<int> A;
        int R = 0, G = 0, B = 0, N = 0;
        for (long long k = 0; k <= v + d; ++k) {
            A.push_back(static_cast<int>(k / (v + d) * v));
            const int before = k >= 2 ? A[k - 2] : 0;
            if (k > 0 && A[k] == before) {
                const auto p = P(k - 1 - 2 * A[k]);
                if (a.has(p.first, p.second)) {
                    const Rgba s = pixel(const_cast<ImageRGBA*>(src), p.first, p.second);
                    R -= s.r, G -= s.g, B -= s.b, --N;
                }
            }
            const auto p = P(k);
            if (a.has(p.first, p.second)) {
                const Rgba s = pixel(const_cast<ImageRGBA*>(src), p.first, p.second);
                R += s.r, G += s.g, B += s.b, ++N;
            }
            const auto q = P(k - A[k]);
            if (a.has(q.first, q.second) && N != 0)
                pixel(img, q.first, q.second) = Rgba{byteOf(R / N), byteOf(G / N), byteOf(B / N), 255};
        }
    };
    for (long long x = a.x0; x <= cx; ++x) {
        if (x == a.x0)
            for (long long y = a.y0; y <= cy; ++y) ray(x, y, -1, -1);
        else
            ray(x, a.y0, -1, -1);
    }
    for (long long x = a.x0; x <= cx; ++x) {
        if (x == a.x0)
            for (long long y = a.y1; y >= cy; --y) ray(x, y, -1, 1);
        else
            ray(x, a.y1, -1, 1);
    }
    for (long long x = a.x1; x >= cx; --x) {
        if (x == a.x1)
            for (long long y = a.y0; y <= cy; ++y) ray(x, y, 1, -1);
        else
            ray(x, a.y0, 1, -1);
    }
    for (long long x = a.x1; x >= cx; --x) {
        if (x == a.x1)
            for (long long y = a.y1; y >= cy; --y) ray(x, y, 1, 1);
        else
            ray(x, a.y1, 1, 1);
    }
    radialGapsReference(img, a, cx, cy);
}

void sphericReference(ImageRGBA* img, const ImageRGBA* src, Rect a, long long cx, long long cy,
                      float v) {
    for (int y = a.y0; y <= a.y1; ++y)
        for (int x = a.x0; x <= a.x1; ++x) pixel(img, x, y) = Rgba{0, 0, 0, 0};
    // Centred on the pointer; the bound measured from it within the area.
    const long long hx = (a.x1 - a.x0) / 2 + 1, hy = (a.y1 - a.y0) / 2 + 1;
    const long long rx = hx < cx - a.x0 ? cx - a.x0 : a.x1 - cx;
    const long long ry = hy < cy - a.y0 ? cy - a.y0 : a.y1 - cy;
    const long long rMax = static_cast<long long>(std::sqrt(double(rx * rx + ry * ry)));
    auto Q = [&](float r, float angle) {
        return std::make_pair(static_cast<long long>(r * std::sin(angle) + cx),
                              static_cast<long long>(r * std::cos(angle) + cy));
    };
    for (long long r = 1; r <= rMax; ++r) {
        const float dt = std::atan(1.0f / r);
        const int W = static_cast<int>(static_cast<float>(r) / rMax * v);
        int R = 0, G = 0, B = 0, N = 0;
        for (long long k = 0; k < 2.0 * W + 2 * kPi / dt; ++k) {
            if ((k - 2 * W) - dt >= 0) {
                const auto p = Q(r, (k - 2 * W - 1) * dt);
                if (a.has(p.first, p.second)) {
                    const Rgba s = pixel(const_cast<ImageRGBA*>(src), p.first, p.second);
                    R -= s.r, G -= s.g, B -= s.b, --N;
                }
            }
            const auto p = Q(r, k * dt);
            if (a.has(p.first, p.second)) {
                const Rgba s = pixel(const_cast<ImageRGBA*>(src), p.first, p.second);
                R += s.r, G += s.g, B += s.b, ++N;
            }
            const auto q = Q(r, (k - W) * dt);
            if (k - 2 * W >= 0 && a.has(q.first, q.second) && N != 0)
                pixel(img, q.first, q.second) = Rgba{byteOf(R / N), byteOf(G / N), byteOf(B / N), 255};
        }
    }
    for (int y = a.y0; y <= a.y1; ++y) {
        for (int x = a.x0; x <= a.x1; ++x) {
            if (pixel(img, x, y).a != 0) continue;
            const long long dx = cx - x, dy = cy - y;
            const long long rr = static_cast<long long>(std::sqrt(double(dx * dx + dy * dy)));
            float angle = dy == 0 ? static_cast<float>(sgn(dx) * kPi / 2)
                                  : std::atan(static_cast<float>(dx) / static_cast<float>(dy));
            if (dy >= 0) angle = static_cast<float>(angle + kPi);
            const float step = rr == 0 ? static_cast<float>(kPi / 2) : std::atan(1.0f / rr);
            // The walk ends where a step no longer moves the angle.
            for (; angle < 4 * kPi; angle += step) {
                const auto q = Q(rr, angle);
                if (a.has(q.first, q.second) && pixel(img, q.first, q.second).a != 0) {
                    pixel(img, x, y) = pixel(img, q.first, q.second);
                    break;
                }
                if (!(angle + step > angle)) break;
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Every filter and mode against its formulas.

enum Kind { kBlur, kSharpen, kEdge, kEmboss, kSeparate, kHalfblur, kWhiteblur, kBlackblur };

std::unique_ptr<matrices> build(Kind kind, EffectImages& im, bool hasArea, point lo, point hi) {
    switch (kind) {
        case kBlur:
            return im.make<blur>(hasArea, lo, hi);
        case kSharpen:
            return im.make<sharpen>(hasArea, lo, hi);
        case kEdge:
            return im.make<edge>(hasArea, lo, hi);
        case kEmboss:
            return im.make<emboss>(hasArea, lo, hi);
        case kSeparate:
            return im.make<separate>(hasArea, lo, hi);
        case kHalfblur:
            return im.make<halfblur>(hasArea, lo, hi);
        case kWhiteblur:
            return im.make<whiteblur>(hasArea, lo, hi);
        case kBlackblur:
            return im.make<blackblur>(hasArea, lo, hi);
    }
    return nullptr;
}

struct Row {
    Kind kind;
    int mode;
    std::vector<float> value1s;
    float value2;
    int size;
    point cursor;
};

// The picture expected in image after the filter ran over `picture`.
Picture expected(const Row& row, float v1, const ImageRGBA* picture, Rect a) {
    Picture out = cloneOf(picture), temp = cloneOf(picture), layer = cloneOf(picture);
    const int slot = static_cast<int>(v1), m = row.mode;
    auto each = [&](auto rule) {
        for (int y = a.y0; y <= a.y1; ++y)
            for (int x = a.x0; x <= a.x1; ++x) pixel(out.get(), x, y) = rule(x, y);
    };
    auto kernelled = [&](const Kernel& k) {
        each([&](int x, int y) { return convolve(picture, k, x, y, a); });
    };
    const float g = (row.size / 10.0f) * (row.size / 10.0f);
    const auto in = [&](int x, int y) { return pixel(const_cast<ImageRGBA*>(picture), x, y); };
    switch (row.kind) {
        case kBlur:
            if (m <= 2) {
                gaussianPasses(temp.get(), layer.get(), a, v1, m);
                return layer;
            }
            if (m == 3 || m == 4) boxPass(out.get(), picture, a, static_cast<int>(v1), m == 3);
            if (m == 5) {
                motion_blur(out.get(), const_cast<ImageRGBA*>(picture), a.x0, a.y0, a.x1, a.y1, v1,
                            row.value2, 5, 1);
            }
            if (m == 6) radialReference(out.get(), picture, a, row.cursor.x, row.cursor.y, v1);
            if (m == 7) sphericReference(out.get(), picture, a, row.cursor.x, row.cursor.y, v1);
            break;
        case kSharpen:
            if (m == 3) {
                kernelled(sharpenKernel(slot));
                break;
            }
            gaussianPasses(out.get(), layer.get(), a, v1, m);
            each([&](int x, int y) {
                const Rgba b = in(x, y), s = pixel(out.get(), x, y);
                return Rgba{byteOf(2 * b.r - s.r), byteOf(2 * b.g - s.g), byteOf(2 * b.b - s.b), s.a};
            });
            break;
        case kEdge: {
            const int r = m == 5 ? slot - 4 : slot + 1;
            const Kernel k = m == 2             ? ring(r, false)
                             : m == 8           ? ring(r, true)
                             : m == 4 || m == 3 ? sobel(r, false)
                             : m == 5           ? sobel(r, true)
                                                : laplace(r);
            each([&](int x, int y) {
                const Rgba e = convolve(picture, k, x, y, a), b = in(x, y);
                if (m == 3) {
                    const Rgba f = convolve(picture, sobel(r, true), x, y, a);
                    return Rgba{byteOf(e.r + f.r), byteOf(e.g + f.g), byteOf(e.b + f.b), 255};
                }
                const int s = m == 6 ? 1 : -1;
                if (m == 6 || m == 7)
                    return Rgba{byteOf(b.r + s * e.r), byteOf(b.g + s * e.g), byteOf(b.b + s * e.b), b.a};
                return e;
            });
            break;
        }
        case kEmboss:
            kernelled(embossKernel(m, slot + 1));
            break;
        case kSeparate:
            kernelled(separateKernel(slot + 1));
            break;
        case kHalfblur:
        case kWhiteblur:
        case kBlackblur:
            for (int y = a.y0; y <= a.y1; ++y) {
                for (int x = a.x0; x <= a.x1; ++x) {
                    const Rgba b = in(x, y);
                    const int most = std::max({b.r, b.g, b.b});
                    const bool taken =
                        row.kind == kHalfblur ||
                        (row.kind == kWhiteblur ? most >= 255 - row.value2 : most <= row.value2);
                    pixel(layer.get(), x, y) = taken ? Rgba{b.r, b.g, b.b, 255} : Rgba{0, 0, 0, 0};
                }
            }
            gaussianPasses(temp.get(), layer.get(), a, v1, m);
            each([&](int x, int y) {
                const Rgba b = in(x, y), s = pixel(layer.get(), x, y);
                auto mix = [&](int bc, int sc) {
                    if (row.kind == kHalfblur)
                        return byteOf((100 - row.value2) / 100 * bc + row.value2 / 100 * sc);
                    const float glow = s.a / 255.0f * g * sc;
                    return byteOf(row.kind == kWhiteblur ? bc + glow : bc - glow);
                };
                return Rgba{mix(b.r, s.r), mix(b.g, s.g), mix(b.b, s.b), 255};
            });
            break;
    }
    return out;
}

TEST(MatrixFilters, EveryModeFollowsItsFormulas) {
    const point mid(9, 6), far(70, -45);
    const std::vector<Row> rows = {
        {kBlur, 1, {1, 3, 250}, 0, 0, mid},  {kBlur, 2, {1, 2, 5}, 0, 0, mid},
        {kBlur, 3, {2, 30}, 0, 0, mid},      {kBlur, 4, {1, 4}, 0, 0, mid},
        {kBlur, 5, {1, 5}, 1, 0, mid},       {kBlur, 5, {3}, 90, 0, mid},
        {kBlur, 5, {5}, 135, 0, mid},        {kBlur, 5, {2}, 179, 0, mid},
        {kBlur, 6, {1, 10}, 0, 0, mid},      {kBlur, 6, {4}, 0, 0, point(3, 2)},
        {kBlur, 6, {10}, 0, 0, far},         {kBlur, 7, {1, 10}, 0, 0, mid},
        {kBlur, 7, {6}, 0, 0, point(3, 2)},  {kBlur, 7, {10}, 0, 0, far},
        {kBlur, 7, {10}, 0, 0, point(-17, 6)},  // gaps on the pointer's row
        {kSharpen, 1, {1, 5}, 0, 0, mid},    {kSharpen, 2, {3, 5}, 0, 0, mid},
        {kSharpen, 3, {0, 4, 9}, 0, 0, mid}, {kSeparate, 1, {0, 1, 4}, 0, 0, mid},
        {kHalfblur, 1, {2}, 0, 0, mid},      {kHalfblur, 2, {4}, 37, 0, mid},
        {kHalfblur, 1, {3}, 100, 0, mid},    {kWhiteblur, 1, {3}, 40, 10, mid},
        {kWhiteblur, 2, {5}, 0, 30, mid},    {kWhiteblur, 1, {2}, 255, 1, mid},
        {kBlackblur, 1, {3}, 150, 10, mid},  {kBlackblur, 2, {4}, 255, 30, mid},
    };
    std::vector<Row> all = rows;
    for (int m = 1; m <= 8; ++m) {
        all.push_back({kEdge, m, m == 5 ? std::vector<float>{5, 7, 9} : std::vector<float>{0, 2, 4},
                       0, 0, mid});
        all.push_back({kEmboss, m, {0, 2, 4}, 0, 0, mid});
    }
    struct Area {
        bool has;
        point lo, hi;
        int w = 19, h = 14;  // the picture
    };
    const Area areas[] = {{false, {}, {}},
                          {true, point(3, 2), point(15, 11)},
                          {true, point(7, 1), point(7, 12)},    // one pixel wide
                          {true, point(-3, 4), point(40, 30)},  // beyond the picture
                          {false, {}, {}, 2, 23},               // narrow, worked on turned
                          {false, {}, {}, 4200, 2}};            // rows longer than one run
    unsigned seed = 7;
    for (const Row& row : all) {
        for (const Area& area : areas) {
            if (!area.has && row.kind == kBlur && row.mode >= 6 && row.cursor.x == 3) continue;
            if (area.w != 19 && row.kind == kBlur && row.mode >= 5) continue;  // lines and rays
            for (float v1 : row.value1s) {
                EffectImages images(randomImage(area.w, area.h, ++seed).release());
                auto f = build(row.kind, images, area.has, area.lo, area.hi);
                f->setXY(static_cast<float>(row.cursor.x), static_cast<float>(row.cursor.y));
                f->changeMode(static_cast<char>(row.mode));
                f->value1 = v1;
                f->value2 = row.value2;
                f->size = row.size;
                imageRgbaCopy(images.picture, f->image);
                f->reapply();
                const pixelRect p = f->areaInPicture();
                Picture want = expected(row, v1, images.picture, Rect{p.x0, p.y0, p.x1, p.y1});
                EXPECT_EQ(firstDifference(want.get(), f->image), "")
                    << "kind " << row.kind << " mode " << row.mode << " value1 " << v1 << " value2 "
                    << row.value2 << " area " << area.lo.x << "," << area.lo.y << "-" << area.hi.x
                    << "," << area.hi.y << " cursor " << row.cursor.x << "," << row.cursor.y;
                // Blur may leave image and scratch exchanged.
                images.image = f->image;
                images.scratch = f->scratch;
            }
        }
    }
}

// Thin pictures and areas and pointers off them, where rays and rings mostly
// miss the area and only a few steps of each are worked out; pictures large
// enough to be split between two threads, and thin ones with enough rings to
// be shared out.
TEST(MatrixFilters, RaysAndRingsOnThinPicturesFollowTheirFormulas) {
    struct Shape {
        int w, h;
        bool has = false;  // else the area is the whole picture
        point lo{}, hi{};
    };
    const Shape shapes[] = {{1, 300},
                            {300, 1},
                            {2, 170},
                            {170, 3},
                            {41, 29},
                            {300, 260},
                            {260, 300},
                            {40, 300, true, point(17, 5), point(18, 290)},    // a thin area
                            {300, 30, true, point(-10, 12), point(280, 12)}};  // one row, beyond
    unsigned seed = 50;
    for (const Shape s : shapes) {
        const Rect a = s.has ? Rect{std::max(s.lo.x, 0), std::max(s.lo.y, 0),
                                    std::min(s.hi.x, s.w - 1), std::min(s.hi.y, s.h - 1)}
                             : Rect{0, 0, s.w - 1, s.h - 1};
        const int H = a.y1 - a.y0 + 1;
        // The middle, the far corner (the far edge), and off every side.
        const point pointers[] = {point((a.x0 + a.x1) / 2, (a.y0 + a.y1) / 2), point(a.x1, a.y1),
                                  point(a.x0 - 40, a.y0 + H / 3), point(a.x1 + 90, a.y0 - 70),
                                  point((a.x0 + a.x1) / 2, a.y1 + 400)};
        for (const point c : pointers) {
            for (int mode : {6, 7}) {
                for (float v1 : {1.0f, 10.0f, 45.0f}) {
                    EffectImages images(randomImage(s.w, s.h, ++seed).release());
                    auto f = build(kBlur, images, s.has, s.lo, s.hi);
                    f->setXY(static_cast<float>(c.x), static_cast<float>(c.y));
                    f->changeMode(static_cast<char>(mode));
                    f->value1 = v1;
                    imageRgbaCopy(images.picture, f->image);
                    f->reapply();
                    const Row row{kBlur, mode, {v1}, 0, 0, c};
                    const pixelRect p = f->areaInPicture();
                    Picture want = expected(row, v1, images.picture, Rect{p.x0, p.y0, p.x1, p.y1});
                    EXPECT_EQ(firstDifference(want.get(), f->image), "")
                        << s.w << "x" << s.h << " area " << a.x0 << "," << a.y0 << "-" << a.x1
                        << "," << a.y1 << " mode " << mode << " value1 " << v1 << " cursor "
                        << c.x << "," << c.y;
                    images.image = f->image;
                    images.scratch = f->scratch;
                }
            }
        }
    }
}

// Random pictures, areas, pointers and window widths: every shortcut of the
// rays (shared lines, skipped steps, one write per pixel) and of the rings.
TEST(MatrixFilters, RaysAndRingsAtRandomFollowTheirFormulas) {
    std::mt19937 gen(23);
    for (int round = 0; round < 120; ++round) {
        // A third of them a line or two across, where rays run along one line.
        const int w = 1 + gen() % (round % 3 == 0 ? 2 : 70), h = 1 + gen() % (round % 3 == 1 ? 2 : 70);
        const int x0 = gen() % w, y0 = gen() % h;
        const point lo(x0, y0), hi(x0 + gen() % (w - x0), y0 + gen() % (h - y0));
        point c(static_cast<int>(gen() % 260) - 100, static_cast<int>(gen() % 260) - 100);
        if (round % 3 == 0) c.x = lo.x;  // in line with the thin area
        if (round % 3 == 1) c.y = lo.y;
        const int mode = 6 + round % 2;
        const float v1 = static_cast<float>(1 + gen() % 60);
        EffectImages images(randomImage(w, h, gen()).release());
        auto f = build(kBlur, images, true, lo, hi);
        f->setXY(static_cast<float>(c.x), static_cast<float>(c.y));
        f->changeMode(static_cast<char>(mode));
        f->value1 = v1;
        imageRgbaCopy(images.picture, f->image);
        f->reapply();
        const pixelRect p = f->areaInPicture();
        const Row row{kBlur, mode, {v1}, 0, 0, c};
        Picture want = expected(row, v1, images.picture, Rect{p.x0, p.y0, p.x1, p.y1});
        ASSERT_EQ(firstDifference(want.get(), f->image), "")
            << "round " << round << ": " << w << "x" << h << " mode " << mode << " value1 " << v1
            << " cursor " << c.x << "," << c.y;
        images.image = f->image;
        images.scratch = f->scratch;
    }
}

// Rays and rings from a pointer at the ends of int's range (a window zoomed
// far out): the sums must not overflow and nothing outside the area moves.
TEST(MatrixFilters, RaysAndRingsFromAFarPointer) {
    const point pointers[] = {point(INT_MIN, INT_MIN), point(8, INT_MIN), point(9, -16777216)};
    for (const point c : pointers) {
        for (int mode : {6, 7}) {
            EffectImages images(randomImage(19, 14, 5).release());
            auto f = build(kBlur, images, true, point(4, 3), point(9, 7));
            f->setXY(static_cast<float>(c.x), static_cast<float>(c.y));
            f->changeMode(static_cast<char>(mode));
            imageRgbaCopy(images.picture, f->image);
            f->reapply();
            for (int y = 0; y < 14; ++y) {
                for (int x = 0; x < 19; ++x) {
                    if (x >= 4 && x <= 9 && y >= 3 && y <= 7) continue;
                    ASSERT_TRUE(samePixel(pixel(f->image, x, y), pixel(images.picture, x, y)))
                        << "mode " << mode << " pointer " << c.x << "," << c.y;
                }
            }
            images.image = f->image;
            images.scratch = f->scratch;
        }
    }
}

// Rays from 2^25 steps off and more, walked a float at a time, against the
// same rays slid step by step: both ways of widening and of placing the
// mean, thin and split areas, pointers in every direction.
TEST(MatrixFilters, FarRaysWalkedAFloatAtATimeAsStepByStep) {
    std::mt19937 gen(61);
    auto random = [&](int n) { return static_cast<int>(gen() % static_cast<unsigned>(n)); };
    auto mean = [](const int sum[4], int n, const void*) {
        return Rgba{byteOf(sum[0] / n), byteOf(sum[1] % 251), byteOf((sum[2] + sum[3]) % 256), byteOf(n)};
    };
    for (int round = 0; round < 120; ++round) {
        const bool large = round % 20 == 7;  // split between two threads
        const int w = large ? 70000 : 1 + random(round % 3 == 0 ? 2 : 40),
                  h = large ? 1 : 1 + random(round % 3 == 1 ? 2 : 40);
        Picture src = randomImage(w, h, gen());
        const int x0 = random(w), y0 = random(h);
        const pixelRect a{x0, y0, x0 + random(w - x0), y0 + random(h - y0)};
        const int far[] = {INT_MIN, INT_MAX, 33554432 + random(1 << 20), -40000000 - random(1 << 24)};
        point c(far[random(4)], far[random(4)]);
        if (round % 4 == 1) c.x = a.x0 + random(a.x1 - a.x0 + 1);  // above or below the area
        if (round % 4 == 2) c.y = a.y0 + random(a.y1 - a.y0 + 1);  // beside it
        const float v = static_cast<float>(random(3) == 0 ? 1 + random(300) : 1 + random(25));
        const bool shine = round % 2 == 1;
        const rays walk(a, c, v, shine ? rays::widening::scaled : rays::widening::stepShare,
                        shine ? rays::written::atLead : rays::written::atCentre);
        Picture want = cloneOf(src.get()), got = cloneOf(src.get());
        raysWalkFloats = false;
        walk.cast(src.get(), want.get(), mean, nullptr);
        raysWalkFloats = true;
        walk.cast(src.get(), got.get(), mean, nullptr);
        ASSERT_EQ(firstDifference(want.get(), got.get()), "")
            << "round " << round << ": " << w << "x" << h << " area " << a.x0 << "," << a.y0 << "-"
            << a.x1 << "," << a.y1 << " pointer " << c.x << "," << c.y << " v " << v;
    }
}

// The gap fill with the pointer far off, against step-by-step probes: rows
// run over in long stretches, rows holding nothing skipped, the pixel's own
// row read as it is being filled. Written pixels from sparse grids like the
// rays' far off to dense scatter; pointers in every direction, on the axes and
// just far enough to take the shortcut.
TEST(MatrixFilters, RadialGapsFromAFarPointerAsStepByStep) {
    std::mt19937 gen(31);
    auto random = [&](int n) { return static_cast<int>(gen() % static_cast<unsigned>(n)); };
    for (int round = 0; round < 400; ++round) {
        // Every 25th large enough to be split between two threads.
        const bool large = round % 25 == 1;
        const int w = large ? 300 : 1 + random(round % 4 == 0 ? 3 : 60),
                  h = large ? 260 : 1 + random(round % 4 == 1 ? 3 : 60);
        Picture img = randomImage(w, h, gen());
        const int grid = 1 + random(9), density = random(100);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const bool onGrid = x % grid == 0 && y % grid == 0;
                const bool written = (onGrid && random(100) < density) || random(400) == 0;
                pixel(img.get(), x, y).a = written ? 255 : 0;
            }
        }
        const int x0 = large ? 0 : random(w), y0 = large ? 0 : random(h);
        const Rect a{x0, y0, large ? w - 1 : x0 + random(w - x0),
                     large ? h - 1 : y0 + random(h - y0)};
        // Just beyond the distance where the shortcut starts.
        const long long reach = 4LL * (a.x1 - a.x0 + a.y1 - a.y0 + 2) + 17;
        const long long nearX[] = {a.x0 - reach - random(300), a.x1 + reach + random(300),
                                   a.x0 + random(a.x1 - a.x0 + 1)};
        const long long nearY[] = {a.y0 - reach - random(300), a.y1 + reach + random(300),
                                   a.y0 + random(a.y1 - a.y0 + 1)};
        const long long farX[] = {INT_MIN, INT_MAX, a.x0 - 40000000LL, a.x0 + random(w)};
        const long long farY[] = {INT_MIN, INT_MAX, a.y1 + 9000000LL, a.y0 + random(h)};
        long long cx, cy;
        if (large) {  // below, where rows are filled apart, or in line
            cx = nearX[random(2)], cy = nearY[1 + random(2)];
        } else if (round % 2 == 0) {
            cx = nearX[random(3)], cy = nearY[random(3)];
            if (cx >= a.x0 && cx <= a.x1 && cy >= a.y0 && cy <= a.y1) cy = nearY[random(2)];
        } else {
            const int across = random(4);  // 3: in line with the area
            cx = farX[across], cy = farY[across == 3 ? random(3) : random(4)];
        }
        Picture want = cloneOf(img.get());
        radialGapsReference(want.get(), a, cx, cy);
        ASSERT_TRUE(fillRadialGapsAlongLines(img.get(), pixelRect{a.x0, a.y0, a.x1, a.y1},
                                             point(static_cast<int>(cx), static_cast<int>(cy))));
        ASSERT_EQ(firstDifference(want.get(), img.get()), "")
            << "round " << round << ": " << w << "x" << h << " area " << a.x0 << "," << a.y0 << "-"
            << a.x1 << "," << a.y1 << " pointer " << cx << "," << cy;
    }
    // Too near: the step-by-step loop's.
    Picture img = randomImage(9, 7, 3);
    EXPECT_FALSE(fillRadialGapsAlongLines(img.get(), pixelRect{0, 0, 8, 6}, point(60, 3)));
}

// The steps of a ring that can reach an area against every step of the
// ring, on thin areas far out, where a position strays from the circle by
// the rounding of a sum with a large centre (2^24 and more, where floats lie
// two apart) and, on the largest rings, of the angle.
TEST(MatrixFilters, RingStepsNearAnAreaHoldEveryStepInIt) {
    std::mt19937 gen(41);
    for (int round = 0; round < 200; ++round) {
        const long long r = round % 20 == 0 ? 1000000 + gen() % 1000000 : 300 + gen() % 60000;
        const bool tall = round % 2 == 0;
        const int across = 1 + gen() % 3, along = 1 + gen() % 500;
        const int x0 = (1 << 24) + gen() % (1 << 24), y0 = (1 << 24) + gen() % (1 << 24);
        const int w = tall ? across : along, h = tall ? along : across;
        const pixelRect box{x0, y0, x0 + w - 1, y0 + h - 1};
        // A ring through the middle of the box, from any direction.
        const double t = (gen() % 3600) * kPi / 1800;
        const point c(static_cast<int>((box.x0 + box.x1) / 2 + std::llround(r * std::sin(t))),
                      static_cast<int>((box.y0 + box.y1) / 2 + std::llround(r * std::cos(t))));
        const float fr = static_cast<float>(r), dt = std::atan(1.0f / fr);
        const long long steps =
            static_cast<long long>(std::ceil(2.0 * (gen() % 11) + 2 * kPi / dt));
        const auto runs = sphericStepsNear(box, c, r, steps);
        for (long long k = 0; k < steps; ++k) {
            const float angle = static_cast<float>(k) * dt;
            const long long x = static_cast<long long>(fr * std::sin(angle) + float(c.x));
            const long long y = static_cast<long long>(fr * std::cos(angle) + float(c.y));
            if (x < box.x0 || x > box.x1 || y < box.y0 || y > box.y1) continue;
            const bool held = std::any_of(runs.begin(), runs.end(), [k](auto run) {
                return run.first <= k && k <= run.second;
            });
            ASSERT_TRUE(held) << "round " << round << " radius " << r << " step " << k << " centre "
                              << c.x << "," << c.y;
        }
    }
}

// The strided angle walk of the ring gap fill against single steps: starts on
// both sides of zero, steps that tie, walks that stall or cross binades.
TEST(MatrixFilters, StridedAngleWalkEqualsSingleSteps) {
    // Single steps while below `until`, stopping where a step is lost.
    auto check = [](float a0, float step, double until) {
        float plain = a0, fast = a0;
        bool p = true;
        while (plain < until) {
            const float next = plain + step;
            if (!(next > plain)) {
                p = false;
                break;
            }
            plain = next;
        }
        const bool f = stepAngle(fast, step, until);
        ASSERT_EQ(p, f) << "step " << step << " from " << a0 << " until " << until;
        ASSERT_EQ(plain, fast) << "step " << step << " from " << a0 << " until " << until;
    };
    std::mt19937 gen(17);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int i = 0; i < 3000; ++i) {
        float step = static_cast<float>(std::ldexp(1 + unit(gen), -8 - int(gen() % 28)));
        float a0;
        double until;
        switch (i % 4) {
            case 0:  // across zero
                a0 = static_cast<float>((unit(gen) - 0.5) * step * 4e4);
                break;
            case 1:  // near where the step is lost
                a0 = static_cast<float>(step * std::ldexp(0.4 + unit(gen), 23));
                break;
            case 2:
                a0 = static_cast<float>(unit(gen) * 12);
                break;
            default: {  // a step of n and a half grid spaces: sums that tie
                a0 = static_cast<float>(1 + unit(gen));
                const float u = std::nextafter(a0, 4.0f) - a0;
                step = (static_cast<float>(gen() % 40) + 0.5f) * u;
                a0 = -a0;
                until = a0 + double(step) * (gen() % 100000);
                check(a0, step, until);
                continue;
            }
        }
        until = a0 + double(step) * (gen() % 200000) * (i % 8 == 1 ? 2 : 1);
        check(a0, step, until);
    }
}

// ---------------------------------------------------------------------------
// The fast area convolution against applyMatrix.

TEST(AreaConvolution, EqualsApplyMatrixForEveryKernel) {
    std::vector<Kernel> kernels;
    for (int r = 1; r <= 5; ++r) {
        for (Kernel k : {laplace(r), ring(r, false), ring(r, true), sobel(r, false), sobel(r, true),
                         separateKernel(r)})
            kernels.push_back(k);
        for (int m = 1; m <= 8; ++m) kernels.push_back(embossKernel(m, r));
    }
    for (int slot = 0; slot < 10; ++slot) kernels.push_back(sharpenKernel(slot));
    kernels.push_back(drawn("1 2 1 / 2 4 2 / 1 2 1", 16));
    // Fractions, zero cells and odd divisors, zero and negative ones too.
    std::mt19937 gen(3);
    for (int i = 0; i < 60; ++i) {
        Kernel k = ruled(i % 6, [&](int, int) {
            return gen() % 3 == 0 ? 0.0f
                                  : static_cast<float>(static_cast<int>(gen() % 2001) - 1000) / 97;
        });
        const int divisors[] = {1, 3, -2, 0, 7, 64};
        k.divisor = divisors[i % 6];
        kernels.push_back(k);
    }
    const Rect areas[] = {{0, 0, 36, 12}, {5, 3, 30, 9},    {8, 2, 8, 10},
                          {2, 6, 4, 7},   {-4, -3, 50, 20}, {30, 0, 36, 12}};
    Picture src = randomImage(37, 13, 11);
    fixtures::atEverySimdLevel([&](Simd level) {
        for (const Kernel& k : kernels) {
            std::vector<float> w = k.w;
            matrix m(w.data(), static_cast<char>(k.r), static_cast<short>(k.divisor));
            for (const Rect& a : areas) {
                const int x0 = std::max(a.x0, 0), x1 = std::min(a.x1, 36);
                convolution rows(src.get(), point(a.x0, a.y0), point(a.x1, a.y1), x0, x1);
                std::vector<Rgba> out(x1 - x0 + 1);
                for (int y = std::max(a.y0, 0); y <= std::min(a.y1, 12); ++y) {
                    const int xa = x0 + y % 3, xb = x1 - y % 2;  // parts of the span too
                    rows.row(&m, y, xa, xb, out.data());
                    for (int x = xa; x <= xb; ++x) {
                        const Rgba want = applyMatrix(src.get(), &m, x, y, point(a.x0, a.y0),
                                                      point(a.x1, a.y1));
                        ASSERT_EQ(str(out[x - xa]), str(want))
                            << "radius " << k.r << " divisor " << k.divisor << " at " << x << ","
                            << y << " on " << fixtures::simdName(level);
                    }
                }
            }
        }
    });
}

// ---------------------------------------------------------------------------
// Kernels as the filters build them.

TEST(MatrixKernels, ShapesAsDrawn) {
    struct Shape {
        Kind kind;
        int mode, slot;
        Kernel want;
    };
    const Shape shapes[] = {
        {kEdge, 2, 0, drawn(kRingRows[0])},
        {kEdge, 2, 1, drawn(kRingRows[1])},
        {kEdge, 2, 2, drawn(kRingRows[2])},
        {kEdge, 2, 3, drawn(kRingRows[3])},
        {kEdge, 2, 4, drawn(kRingRows[4])},
        {kEdge, 8, 0, drawn("1 1 1 / 1 -7 1 / 1 1 1")},
        {kEdge, 8, 2,
         drawn("0 0 1 1 1 0 0 / 0 1 0 0 0 1 0 / 1 0 0 0 0 0 1 / 1 0 0 -15 0 0 1 / "
               "1 0 0 0 0 0 1 / 0 1 0 0 0 1 0 / 0 0 1 1 1 0 0")},
        {kEdge, 1, 1, drawn("0 0 1 0 0 / 0 0 0 0 0 / 1 0 -4 0 1 / 0 0 0 0 0 / 0 0 1 0 0")},
        {kEdge, 3, 1, drawn("-1 0 0 0 1 / -1 0 0 0 1 / -2 0 0 0 2 / -1 0 0 0 1 / -1 0 0 0 1")},
        {kEdge, 3, 6, drawn("-1 -1 -2 -1 -1 / 0 0 0 0 0 / 0 0 0 0 0 / 0 0 0 0 0 / 1 1 2 1 1")},
        {kEmboss, 1, 1, drawn("1 0 0 0 -1 / 1 0 0 0 -1 / 2 0 1 0 -2 / 1 0 0 0 -1 / 1 0 0 0 -1")},
        {kEmboss, 2, 1, drawn("1 -1 -2 -1 -1 / 1 0 0 0 -1 / 2 0 1 0 -2 / 1 0 0 0 -1 / 1 1 2 1 -1")},
        {kEmboss, 5, 2, drawn(kLeftThree)},
        {kEmboss, 5, 1, drawn("-1 0 0 0 1 / -1 0 0 0 1 / -2 0 1 0 2 / -1 0 0 0 1 / -1 0 0 0 1")},
        {kSeparate, 1, 1, drawn("1 0 0 0 1 / 0 0 0 0 0 / 0 0 0 0 0 / 0 0 0 0 0 / 1 0 0 0 1", 4)},
        {kSharpen, 1, 0, drawn("-0.1 -0.1 -0.1 / -0.1 1.8 -0.1 / -0.1 -0.1 -0.1")},
    };
    for (const Shape& s : shapes) {
        EffectImages images(flatImage(12, 12, Rgba{9, 9, 9, 9}));
        auto f = build(s.kind, images, false, point(), point());
        f->changeMode(static_cast<char>(s.mode));
        const matrix* k = f->kernels[s.slot];
        ASSERT_TRUE(k);
        ASSERT_EQ(k->radius, s.want.r) << s.kind << " mode " << s.mode << " slot " << s.slot;
        EXPECT_EQ(k->divisor, s.want.divisor);
        for (int dy = -k->radius; dy <= k->radius; ++dy)
            for (int dx = -k->radius; dx <= k->radius; ++dx)
                EXPECT_EQ(k->grid[5 + dy][5 + dx], s.want.at(dy, dx))
                    << s.kind << " mode " << s.mode << " slot " << s.slot << " at " << dy << ","
                    << dx;
    }
}

// Under LeakSanitizer a kernel left behind fails the run.
TEST(MatrixKernels, ModeAndEffectChangesLeaveNoKernel) {
    EffectImages images(randomImage(6, 5, 1).release());
    for (int round = 0; round < 3; ++round) {
        for (Kind kind :
             {kBlur, kSharpen, kEdge, kEmboss, kSeparate, kHalfblur, kWhiteblur, kBlackblur}) {
            auto f = build(kind, images, false, point(), point());
            for (int m = 1; m <= 8; ++m) f->specialKey(m);
            f->specialKey(101);
            images.image = f->image;
            images.scratch = f->scratch;
        }
    }
}

// ---------------------------------------------------------------------------
// Settings by key

TEST(MatrixFilters, KeysStepClampAndWrap) {
    EffectImages images(randomImage(30, 20, 5).release());
    auto b = build(kBlur, images, false, point(), point());
    b->specialKey(5);
    EXPECT_EQ(b->value2, 45);
    b->value2 = 179;
    b->specialKey(102);  // Right: 182 wraps to 1
    EXPECT_EQ(b->value2, 1);
    b->specialKey(100);  // Left: -2 wraps to 179
    EXPECT_EQ(b->value2, 179);
    b->specialKey(6);  // half the distance from the centre to a corner: sqrt(15² + 10²) / 2
    EXPECT_EQ(b->value1, 10);
    EXPECT_EQ(b->value1Range.max, 9);
    b->specialKey(101);
    EXPECT_EQ(b->value1, 9);
    images.image = b->image;
    images.scratch = b->scratch;

    auto e = build(kEdge, images, false, point(), point());
    e->specialKey(5);
    e->specialKey(103);  // Down at the first Sobel Y slot stays there
    EXPECT_EQ(e->value1, 5);

    auto m = build(kEmboss, images, false, point(), point());
    m->specialKey(101);
    m->specialKey(101);
    m->specialKey(7);  // the radius stays with the direction
    EXPECT_EQ(m->value1, 2);

    auto w = build(kWhiteblur, images, false, point(), point());
    EXPECT_EQ(w->size, 10);
    for (int i = 0; i < 25; ++i) w->specialKey(105);
    EXPECT_EQ(w->size, 30);
    w->specialKey(102);  // Right: 43
    EXPECT_EQ(w->value2, 43);
}

}  // namespace
