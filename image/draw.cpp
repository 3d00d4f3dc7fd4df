#include "image/draw.h"

#include "image/clip.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
inline Rgba antsPixel(int phase) {
    return phase % 8 > 3 ? Rgba{255, 255, 255, 255} : Rgba{0, 0, 0, 255};
}
}  // namespace

void imageRgbaDrawHorizontalAreaLine(ImageRGBA* img, int x1, int x2, int y, int phase) {
    Rgba* row = img->data + static_cast<size_t>(y) * img->width;
    for (int x = x2; x >= x1; --x) row[x] = antsPixel(phase++);
}

void imageRgbaDrawVerticalAreaLine(ImageRGBA* img, int y1, int y2, int x, int phase) {
    for (int y = y2; y >= y1; --y) img->data[static_cast<size_t>(y) * img->width + x] = antsPixel(phase++);
}

namespace {

inline bool insideImage(const ImageRGBA* img, long long x, long long y) {
    return x >= 0 && y >= 0 && x < img->width && y < img->height;
}

inline Rgba& pixelAt(ImageRGBA* img, int x, int y) {
    return img->data[static_cast<size_t>(y) * img->width + x];
}

inline void invertPixel(Rgba& p) {
    p.r = static_cast<unsigned char>(255 - p.r);
    p.g = static_cast<unsigned char>(255 - p.g);
    p.b = static_cast<unsigned char>(255 - p.b);
}

// A maximum of -1 stands for the image width or height.
void resolveClipMax(const ImageRGBA* img, int& maxX, int& maxY) {
    if (maxX == -1) maxX = img->width;
    if (maxY == -1) maxY = img->height;
}

inline int roundToPixel(float v) {
    return static_cast<int>(std::floor(static_cast<double>(v) + 0.5));
}

// Clips the segment to the image, rounds its ends and walks it with
// Bresenham, handing each pixel inside the clip rectangle to `plot` once.
template <class Plot>
void walkLine(ImageRGBA* img, int x1, int y1, int x2, int y2, int minX, int minY, int maxX,
              int maxY, Plot plot) {
    resolveClipMax(img, maxX, maxY);
    if (img->width <= 0 || img->height <= 0) return;
    int x = x1, y = y1, endX = x2, endY = y2;
    // Ends on pixels well inside the picture are what clipping and rounding
    // would give back.
    const int lastX = img->width - 1, lastY = img->height - 1;
    if (!(clipKeeps(x1, lastX) && clipKeeps(x2, lastX) && clipKeeps(y1, lastY) && clipKeeps(y2, lastY))) {
        float xs[2] = {static_cast<float>(x1), static_cast<float>(x2)};
        float ys[2] = {static_cast<float>(y1), static_cast<float>(y2)};
        if (clip(xs, ys, 0.0f, 0.0f, static_cast<float>(lastX), static_cast<float>(lastY)) == 2) return;
        x = roundToPixel(xs[0]), y = roundToPixel(ys[0]);
        endX = roundToPixel(xs[1]), endY = roundToPixel(ys[1]);
    }
    // The clipped line lies in the image, so one rectangle test serves both.
    minX = std::max(minX, 0);
    minY = std::max(minY, 0);
    maxX = std::min(maxX, lastX);
    maxY = std::min(maxY, lastY);
    const int dx = endX - x, dy = endY - y;
    const int sx = (dx > 0) - (dx < 0), sy = (dy > 0) - (dy < 0);
    const int ax = std::abs(dx), ay = std::abs(dy);
    // Steps along the major axis; ties between the axes go to x. The minor
    // steps follow the slope, not a pattern: taken without a branch (a
    // mask of err's sign).
    if (std::min(x, endX) >= minX && std::max(x, endX) <= maxX && std::min(y, endY) >= minY &&
        std::max(y, endY) <= maxY) {
        // All of it inside the rectangle: the pixel address steps along.
        const bool alongX = ax >= ay;
        const int aMajor = alongX ? ax : ay, aMinor = alongX ? ay : ax;
        const ptrdiff_t row = img->width;
        const ptrdiff_t along = alongX ? sx : sy * row, across = alongX ? sy * row : sx;
        Rgba* p = img->data + y * row + x;
        int err = 2 * aMinor - aMajor;
        for (int n = aMajor;; --n) {
            plot(*p);
            if (n == 0) break;
            const int stay = err >> 31;  // all ones while err < 0
            err += 2 * aMinor - (2 * aMajor & ~stay);
            p += along + (across & ~static_cast<ptrdiff_t>(stay));
        }
        return;
    }
    auto walk = [&](int& major, int& minor, int end, int sMajor, int sMinor, int aMajor, int aMinor) {
        int err = 2 * aMinor - aMajor;
        for (;;) {
            if (x >= minX && x <= maxX && y >= minY && y <= maxY) plot(pixelAt(img, x, y));
            if (major == end) break;
            const int stay = err >> 31;
            err += 2 * aMinor - (2 * aMajor & ~stay);
            minor += sMinor & ~stay;
            major += sMajor;
        }
    };
    if (ax < ay) {
        walk(y, x, endY, sy, sx, ay, ax);
    } else {
        walk(x, y, endX, sx, sy, ax, ay);
    }
}

// Midpoint ellipse in two regions, calling emit(x, y) for each step of the
// quarter from (a, 0) to (0, b). The terms grow like 4·a·b², so they are
// carried in 64 bits.
template <class Emit>
void walkEllipse(int a, int b, Emit emit) {
    const int64_t A = a < 0 ? -static_cast<int64_t>(a) : a;
    const int64_t B = b;
    const int64_t A2 = A * A, B2 = B * B;
    const int64_t twoA2 = 2 * A2, fourA2 = 4 * A2, twoB2 = 2 * B2, fourB2 = 4 * B2;
    int64_t xslope = 2 * A * twoB2, yslope = 0;
    int64_t d1 = twoA2 + (B2 >> 1) - A * twoB2;
    int64_t d2 = (A2 >> 1) + twoB2 - 2 * A * twoB2;
    int64_t x = A, y = 0;
    while (d2 < 0) {
        emit(x, y);
        ++y;
        yslope += fourA2;
        int64_t t = yslope;
        if (d1 < 0) {
            d1 += twoA2 + t;
        } else {
            --x;
            xslope -= fourB2;
            d1 += twoA2 + t - xslope;
            t += twoB2 - xslope;
        }
        d2 += t;
    }
    while (x >= 0) {
        emit(x, y);
        --x;
        xslope -= fourB2;
        if (d2 < 0) {
            ++y;
            yslope += fourA2;
            d2 += twoB2 + yslope - xslope;
        } else {
            d2 += twoB2 - xslope;
        }
    }
}

// Semi-axes beyond this would carry the midpoint terms out of 64 bits; no
// picture that fits in memory is that large.
constexpr int64_t kLargestSemiAxis = int64_t{1} << 19;

// Whether any point of the outline can land in the picture. Huge figures
// far off it (the pointer at extreme zooms) then cost nothing.
bool ellipseMayShow(const ImageRGBA* img, int cx, int cy, int a, int b) {
    const int64_t A = std::abs(static_cast<int64_t>(a)), B = std::abs(static_cast<int64_t>(b));
    if (A > kLargestSemiAxis || B > kLargestSemiAxis) return false;
    return cx + A >= 0 && cx - A < img->width && cy + B >= 0 && cy - B < img->height;
}

// The four mirror images of a quarter-ellipse step, in drawing order.
template <class Point>
void emitFour(int cx, int cy, int64_t x, int64_t y, Point point) {
    point(cx + x, cy + y);
    point(cx + x, cy - y);
    point(cx - x, cy + y);
    point(cx - x, cy - y);
}

}  // namespace

void imageRgbaDrawPoint(ImageRGBA* img, int x, int y, Rgba colour) {
    if (insideImage(img, x, y)) pixelAt(img, x, y) = colour;
}

void imageRgbaDrawInvertedPoint(ImageRGBA* img, int x, int y) {
    if (insideImage(img, x, y)) invertPixel(pixelAt(img, x, y));
}

void imageRgbaDrawLine(ImageRGBA* img, int x1, int y1, int x2, int y2, Rgba colour, int minX,
                       int minY, int maxX, int maxY) {
    walkLine(img, x1, y1, x2, y2, minX, minY, maxX, maxY, [colour](Rgba& p) { p = colour; });
}

void imageRgbaInvertLine(ImageRGBA* img, int x1, int y1, int x2, int y2, int minX, int minY,
                         int maxX, int maxY) {
    walkLine(img, x1, y1, x2, y2, minX, minY, maxX, maxY, invertPixel);
}

void imageRgbaDrawEllipse(ImageRGBA* img, int cx, int cy, int a, int b, Rgba colour, int minX,
                          int minY, int maxX, int maxY) {
    resolveClipMax(img, maxX, maxY);
    auto point = [&](int64_t px, int64_t py) {
        if (px >= minX && px <= maxX && py >= minY && py <= maxY && insideImage(img, px, py)) {
            pixelAt(img, static_cast<int>(px), static_cast<int>(py)) = colour;
        }
    };
    if (ellipseMayShow(img, cx, cy, a, b)) {
        walkEllipse(a, b, [&](int64_t x, int64_t y) { emitFour(cx, cy, x, y, point); });
    }
}

void imageRgbaInvertEllipse(ImageRGBA* img, int cx, int cy, int a, int b) {
    auto point = [img](int64_t px, int64_t py) {
        if (insideImage(img, px, py)) {
            invertPixel(pixelAt(img, static_cast<int>(px), static_cast<int>(py)));
        }
    };
    if (ellipseMayShow(img, cx, cy, a, b)) {
        walkEllipse(a, b, [&](int64_t x, int64_t y) { emitFour(cx, cy, x, y, point); });
    }
}
