#include "effects/tools.h"

#include "framewk/framewk.h"
#include "image/draw.h"
#include "image/sampling.h"
#include "morvane.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

namespace {

// a mod n in 0..n-1. The difference of two pointer positions may not fit an
// int at extreme zooms, and stepping by n would take as many steps as it is big.
int wrap(long long a, int n) {
    long long m = a % n;
    if (m < 0) m += n;
    return static_cast<int>(m);
}

// Copies `count` pixels (none when count <= 0).
inline void copyPixels(Rgba* to, const Rgba* from, int count) {
    if (count > 0) std::memcpy(to, from, static_cast<size_t>(count) * sizeof(Rgba));
}

// The same for the shifted runs of a scroll step. A destination a few bytes
// past its source in 4 KB address terms (a small step to the right) makes a
// plain copy several times slower, the loads waiting on stores they only seem
// to overlap; such runs go through a stack buffer placed 1 KB away from both.
void copyShifted(Rgba* to, const Rgba* from, int count) {
    const size_t bytes = count > 0 ? static_cast<size_t>(count) * sizeof(Rgba) : 0;
    const uintptr_t gap =
        (reinterpret_cast<uintptr_t>(to) - reinterpret_cast<uintptr_t>(from)) & 4095;
    if (bytes < 4096 || gap == 0 || gap >= 64) {
        copyPixels(to, from, count);
        return;
    }
    const size_t chunk = 2048;
    alignas(64) unsigned char buffer[4096 + chunk];
    unsigned char* bounce =
        buffer +
        ((reinterpret_cast<uintptr_t>(from) + 1024 - reinterpret_cast<uintptr_t>(buffer)) & 4095);
    const unsigned char* in = reinterpret_cast<const unsigned char*>(from);
    unsigned char* out = reinterpret_cast<unsigned char*>(to);
    for (size_t done = 0; done < bytes; done += chunk) {
        const size_t n = std::min(chunk, bytes - done);
        std::memcpy(bounce, in + done, n);
        std::memcpy(out + done, bounce, n);
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Scroll

// The picture of tool start is kept in scratch for the right button.
const effectInfo scroll::descriptor =
    effectInfo{&family, "Scrolling"}.takingEveryEvent().leavingBackup().keepingScratch();

scroll::scroll(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
               ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void scroll::LBAction() {
    if (leftDown) shapeStart = cursor;
}

void scroll::RBAction() {
    if (rightDown) imageRgbaCopy(scratch, image);
}

// Builds the shifted picture in `backup` by block copies, then exchanges the
// two buffers.
void scroll::idleAction() {
    if (!leftDown) return;
    const int width = image->width, height = image->height;
    // Without a selection the area is the whole picture.
    const pixelRect area = areaInPicture();
    const int x0 = area.x0, y0 = area.y0, x1 = area.x1, y1 = area.y1;
    const int w = x1 - x0 + 1, h = y1 - y0 + 1;
    if (w <= 0 || h <= 0) {  // an inverted area holds nothing to move
        shapeStart = cursor;
        return;
    }
    const int dx = wrap(static_cast<long long>(shapeStart.x) - cursor.x, w);
    const int dy = wrap(static_cast<long long>(shapeStart.y) - cursor.y, h);

    const Rgba* from = image->data;
    Rgba* to = backup->data;
    const size_t stride = static_cast<size_t>(width);
    copyPixels(to, from, y0 * width);
    copyPixels(to + (y1 + 1) * stride, from + (y1 + 1) * stride, (height - 1 - y1) * width);
    for (int v = 0; v < h; ++v) {
        Rgba* out = to + (y0 + v) * stride;
        const Rgba* same = from + (y0 + v) * stride;
        const Rgba* in = from + (y0 + (v + dy) % h) * stride;
        copyPixels(out, same, x0);
        copyPixels(out + x1 + 1, same + x1 + 1, width - 1 - x1);
        copyShifted(out + x0, in + x0 + dx, w - dx);
        copyShifted(out + x0 + w - dx, in + x0, dx);
    }
    std::swap(image, backup);
    fwkSetDisplayImage(image);
    shapeStart = cursor;
}

// ---------------------------------------------------------------------------
// Selection

const effectInfo selection::descriptor = effectInfo{&family, "Selection"}.leavingBackup();

selection::selection(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
                     ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void selection::LBAction() {
    if (!leftDown) return;
    anchor = cursor;
    dragPoint = cursor;
}

void selection::moveAction() {
    if (!leftDown) return;
    hasArea = true;
    dragPoint = cursor;
    areaMin.set(truncToInt(xRange.forceLimit(std::min(anchor.x, dragPoint.x))),
                truncToInt(yRange.forceLimit(std::min(anchor.y, dragPoint.y))));
    areaMax.set(truncToInt(xRange.forceLimit(std::max(anchor.x, dragPoint.x))),
                truncToInt(yRange.forceLimit(std::max(anchor.y, dragPoint.y))));
}

void selection::RBAction() {
    if (!rightDown) return;
    areaMin.set(0, 0);
    areaMax.set(image->width - 1, image->height - 1);
    hasArea = false;
}

// ---------------------------------------------------------------------------
// Draw

// The picture of tool start is kept in scratch for the right button.
const effectInfo draw::descriptor =
    effectInfo{&family, "Draw", {"Pipette", "Point", "Line", "Rectangle", "Ellipse", "Circle"}}
        .startingIn(5)
        .usingColor(Rgba{255, 255, 255, 255})
        .takingEveryEvent()
        .keepingScratch();

draw::draw(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
           ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    setUp(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
    shapeStart.set(0, 0);
    shapeEnd.set(0, 0);
    shapeDone = false;
    shapeDirty = true;
    start();
}

// Leaving the tool in the middle of a shape: a drag is cancelled and a pending
// finish completed, so that no inverted preview stays in the picture that the
// next effect takes over.
draw::~draw() {
    if (!image) return;
    if (leftDown) {
        shapeDirty = true;
        shapeDone = false;
        leftDown = false;
    }
    if (shapeDirty) draw::idleAction();
}

void draw::LB(bool down) {
    if (menuOn && down) {
        const bool consumed = useMenu(true);
        if (effectRequested()) return;  // an effect icon asked for another effect
        if (consumed || inPalette(cursor)) return;
    }
    if (down) {
        // A release or cancel not yet handled by a tick is settled first, so
        // its preview is not taken into `backup`.
        if (shapeDirty) idleAction();
        imageRgbaCopy(image, backup);
        shapeStart = cursor;
        shapeEnd = cursor;
        leftDown = true;
    } else if (leftDown) {
        shapeDirty = true;
        shapeDone = true;
        leftDown = false;
    }
}

void draw::RBAction() {
    if (!rightDown) return;
    if (leftDown) {
        shapeDirty = true;
        shapeDone = false;
        leftDown = false;
    } else {
        // Also drops a finish still pending, which would otherwise redraw
        // the shape over the restored picture at the next tick.
        shapeDirty = false;
        shapeDone = false;
        imageRgbaCopy(scratch, image);
    }
}

void draw::colorChangeAction() { RBAction(); }

// The rubber band is taken out before the shell takes the picture; the drag
// goes on, its next preview drawn from the press point as after a press. A
// release or cancel still waiting for its tick is settled first.
void draw::key(unsigned char c) {
    if (keyTakesPicture(c)) {
        if (leftDown && mode >= 3 && mode <= 6) {
            shapeDirty = true;
            shapeDone = false;
            idleAction();
            shapeEnd = shapeStart;
        } else if (shapeDirty) {
            idleAction();
        }
    }
    effect::key(c);
}

void draw::changeMode(char m) {
    if (leftDown) {
        shapeDirty = true;
        shapeDone = false;
        idleAction();
        shapeStart = cursor;
        shapeEnd = cursor;
        imageRgbaCopy(image, backup);
    }
    effect::changeMode(m);
}

namespace {

// Semi-axis of the ellipse inscribed between two coordinates, in double so
// that far pointer positions do not overflow.
inline int halfSpan(int from, int to) { return truncToInt((static_cast<double>(to) - from) / 2); }

inline int distance(int x1, int y1, int x2, int y2) {
    const double dx = static_cast<double>(x2) - x1, dy = static_cast<double>(y2) - y1;
    return truncToInt(std::sqrt(dx * dx + dy * dy));
}

void invertRectangle(ImageRGBA* img, int sx, int sy, int ex, int ey) {
    imageRgbaInvertLine(img, sx, sy, sx, ey, 0, 0, -1, -1);
    imageRgbaInvertLine(img, sx, sy, ex, sy, 0, 0, -1, -1);
    imageRgbaInvertLine(img, ex, sy, ex, ey, 0, 0, -1, -1);
    imageRgbaInvertLine(img, sx, ey, ex, ey, 0, 0, -1, -1);
    // Each corner lies on two sides; a third inversion makes it show.
    imageRgbaDrawInvertedPoint(img, sx, sy);
    imageRgbaDrawInvertedPoint(img, sx, ey);
    imageRgbaDrawInvertedPoint(img, ex, sy);
    imageRgbaDrawInvertedPoint(img, ex, ey);
}

}  // namespace

void draw::idleAction() {
    if (!leftDown && !shapeDone && !shapeDirty) return;
    const int sx = shapeStart.x, sy = shapeStart.y;
    const int ex = shapeEnd.x, ey = shapeEnd.y;
    const int cx = cursor.x, cy = cursor.y;
    const int minX = areaMin.x, minY = areaMin.y, maxX = areaMax.x, maxY = areaMax.y;

    if (mode == 1 && !shapeDone && cx >= 0 && cx < image->width && cy >= 0 && cy < image->height) {
        color = image->data[static_cast<size_t>(cy) * image->width + cx];
    }
    switch (mode) {
        case 2:
            if (!shapeDirty)
                imageRgbaDrawLine(image, ex, ey, cx, cy, color, minX, minY, maxX, maxY);
            break;
        case 3:
            if (shapeDirty) {
                imageRgbaCopy(backup, image);
                if (shapeDone)
                    imageRgbaDrawLine(image, sx, sy, ex, ey, color, minX, minY, maxX, maxY);
            } else {
                imageRgbaInvertLine(image, sx, sy, ex, ey, 0, 0, -1, -1);
                imageRgbaInvertLine(image, sx, sy, cx, cy, 0, 0, -1, -1);
            }
            break;
        case 4:
            if (shapeDirty) {
                imageRgbaCopy(backup, image);
                if (shapeDone) {
                    imageRgbaDrawLine(image, sx, sy, sx, ey, color, minX, minY, maxX, maxY);
                    imageRgbaDrawLine(image, sx, sy, ex, sy, color, minX, minY, maxX, maxY);
                    imageRgbaDrawLine(image, ex, sy, ex, ey, color, minX, minY, maxX, maxY);
                    imageRgbaDrawLine(image, sx, ey, ex, ey, color, minX, minY, maxX, maxY);
                }
            } else {
                invertRectangle(image, sx, sy, ex, ey);
                invertRectangle(image, sx, sy, cx, cy);
            }
            break;
        case 5: {
            const int a = halfSpan(sx, ex), b = halfSpan(sy, ey);
            if (shapeDirty) {
                imageRgbaCopy(backup, image);
                if (shapeDone) {
                    imageRgbaDrawEllipse(image, sx + a, sy + b, a, b, color, minX, minY, maxX,
                                         maxY);
                }
            } else {
                imageRgbaInvertEllipse(image, sx + a, sy + b, a, b);
                const int a2 = halfSpan(sx, cx), b2 = halfSpan(sy, cy);
                imageRgbaInvertEllipse(image, sx + a2, sy + b2, a2, b2);
            }
            break;
        }
        case 6: {
            const int r = distance(sx, sy, ex, ey);
            if (shapeDirty) {
                imageRgbaCopy(backup, image);
                if (shapeDone)
                    imageRgbaDrawEllipse(image, sx, sy, r, r, color, minX, minY, maxX, maxY);
            } else {
                imageRgbaInvertEllipse(image, sx, sy, r, r);
                const int r2 = distance(sx, sy, cx, cy);
                imageRgbaInvertEllipse(image, sx, sy, r2, r2);
            }
            break;
        }
        default:
            break;
    }
    shapeDirty = false;
    if (shapeDone) {
        imageRgbaCopy(image, backup);
        shapeDone = false;
    }
    shapeEnd = cursor;
}

// ---------------------------------------------------------------------------
// Telescope
//
// `shapeDirty` records that a lens (disc and outline) is drawn into `image`.

namespace {

const Rgba kOpaqueBlack = {0, 0, 0, 255};

// Inverts the lens outline. A circle wholly off the picture plots nothing;
// skipping it keeps the primitive's sums of centre and radius in range for
// the far pointer positions of extreme zooms.
void lensOutline(ImageRGBA* img, int cx, int cy, int r) {
    const long long margin = static_cast<long long>(r) + 2;
    if (cx + margin < 0 || cx - margin >= img->width || cy + margin < 0 ||
        cy - margin >= img->height) {
        return;
    }
    imageRgbaInvertEllipse(img, cx, cy, r, r);
}

// The span lo..hi limited to 0..size - 1, empty (from > to) when it misses.
// Computed in 64 bits: a pointer far outside puts lo and hi beyond int.
inline void spanInside(long long lo, long long hi, int size, int* from, int* to) {
    *from = static_cast<int>(std::min<long long>(std::max<long long>(lo, 0), size));
    *to = static_cast<int>(std::max<long long>(std::min<long long>(hi, size - 1), -1));
}

// Rows cy - r .. cy + last of the disc, limited to the picture.
inline void discRows(int cy, int r, int last, int height, int* from, int* to) {
    spanInside(static_cast<long long>(cy) - r, static_cast<long long>(cy) + last, height, from, to);
}

// Columns cx - hw - extra .. cx + hw + last, limited to the picture; empty when from > to.
inline void discColumns(int cx, int hw, int extra, int last, int width, int* from, int* to) {
    spanInside(static_cast<long long>(cx) - hw - extra, static_cast<long long>(cx) + hw + last,
               width, from, to);
}

inline int halfWidth(int r, int dy) {
    return static_cast<int>(std::sqrt(static_cast<double>(r) * r - static_cast<double>(dy) * dy));
}

// Takes a shown lens, outline and disc, out of the picture. Every pixel it
// changed comes from `backup`, and without a lens `image` equals `backup`.
void hideLens(telescope& t) {
    if (!t.shapeDirty) return;
    imageRgbaCopy(t.backup, t.image);
    t.shapeDirty = false;
}

}  // namespace

// value1 is the lens radius (Right/Left), value2 the zoom (Up/Down).
const effectInfo telescope::descriptor =
    effectInfo{&family,
               "Telescope",
               {"Zoom", "Gaussian Blur", "Gaussian Sharpen", "Laplace", "Sobel Combined",
                "Sobel Horizontal", "Sobel Vertical"},
               {100, 10, 250, 2},
               {2, 2, 10, 1}}
        .takingEveryEvent();

telescope::telescope(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
                     ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    setUp(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
    float gauss[] = {1, 2, 1, 2, 4, 2, 1, 2, 1};
    float laplace[] = {0, 1, 0, 1, -4, 1, 0, 1, 0};
    float sobelH[] = {1, 0, -1, 2, 0, -2, 1, 0, -1};
    float sobelV[] = {1, 2, 1, 0, 0, 0, -1, -2, -1};
    kernels[0] = new matrix(gauss, 1, 16);
    kernels[1] = new matrix(laplace, 1, 1);
    kernels[2] = new matrix(sobelH, 1, 1);
    kernels[3] = new matrix(sobelV, 1, 1);
    start();
    shapeDirty = false;
}

telescope::~telescope() {
    // A lens still shown would otherwise become part of the picture that the
    // next effect commits.
    if (image) hideLens(*this);
    for (int i = 0; i < 4; ++i) {
        delete kernels[i];
        kernels[i] = nullptr;
    }
}

void telescope::LBAction() {
    if (!leftDown) {
        hideLens(*this);
        return;
    }
    // A lens still shown (one started by a value key) is taken away, which
    // leaves the committed picture; otherwise the picture is committed now.
    if (shapeDirty) {
        hideLens(*this);
    } else {
        imageRgbaCopy(image, backup);
    }
    shapeStart = cursor;
    lensOutline(image, shapeStart.x, shapeStart.y, truncToInt(value1));
    shapeDirty = true;
}

// The lens is taken out before the shell takes the picture; the next tick
// draws it again.
void telescope::key(unsigned char c) {
    if (keyTakesPicture(c)) hideLens(*this);
    effect::key(c);
}

// The same for the menu, whose save button writes the picture: a lens started
// by a value key is shown while the button is up.
void telescope::LB(bool pressed) {
    if (menuOn && pressed) hideLens(*this);
    effect::LB(pressed);
}

void telescope::changeValue(char c) {
    effect::changeValue(c);
    if (c == 0) return;
    // Restart the lens at the pointer as a release and a press would; the
    // press alone takes the old lens away, with one copy of the picture
    // instead of two. Straight to LBAction: a key must not click the menu
    // item under the pointer.
    leftDown = true;
    LBAction();
}

void telescope::idleAction() {
    if (!leftDown) return;
    const int r = truncToInt(value1);
    const int ox = shapeStart.x, oy = shapeStart.y;
    const int cx = cursor.x, cy = cursor.y;
    const int width = image->width, height = image->height;
    const size_t stride = static_cast<size_t>(width);
    int yFrom, yTo, xFrom, xTo;

    if (shapeDirty) {
        lensOutline(image, ox, oy, r);
        // The old disc, one row lower and one column wider on each side than drawn.
        discRows(oy, r, r, height, &yFrom, &yTo);
        for (int y = yFrom; y <= yTo; ++y) {
            discColumns(ox, halfWidth(r, y - oy), 1, 0, width, &xFrom, &xTo);
            if (xFrom > xTo) continue;
            copyPixels(image->data + y * stride + xFrom, backup->data + y * stride + xFrom,
                       xTo - xFrom + 1);
        }
    }

    const point whole(0, 0), wholeMax(width - 1, height - 1);
    matrix* const* k = kernels;
    // Modes 2, 4, 6 and 7 show one kernel's response as it is.
    matrix* const plain = mode == 2   ? k[0]
                          : mode == 4 ? k[1]
                          : mode == 6 ? k[2]
                          : mode == 7 ? k[3]
                                      : nullptr;
    const limit bytes = byteRange;
    auto opaque = [bytes](int r, int g, int b) {
        return Rgba{static_cast<unsigned char>(bytes.intForceLimit(r)),
                    static_cast<unsigned char>(bytes.intForceLimit(g)),
                    static_cast<unsigned char>(bytes.intForceLimit(b)), 255};
    };
    int xMin, xMax;
    discColumns(cx, r, 0, -1, width, &xMin, &xMax);
    convolution lens(backup, whole, wholeMax, xMin, xMax);
    // The combined modes take their responses in pieces of a bounded size.
    const int kPiece = 256;
    Rgba first[kPiece], second[kPiece];
    discRows(cy, r, r - 1, height, &yFrom, &yTo);
    for (int y = yFrom; y <= yTo; ++y) {
        discColumns(cx, halfWidth(r, y - cy), 0, -1, width, &xFrom, &xTo);
        Rgba* out = image->data + y * stride;
        const Rgba* in = backup->data + y * stride;
        switch (mode) {
            case 1: {
                const float sy = cy + (y - cy) / value2;
                const bool rowInside = sy >= 0 && sy < height;
                for (int x = xFrom; x <= xTo; ++x) {
                    const float sx = cx + (x - cx) / value2;
                    out[x] = rowInside && sx >= 0 && sx < width
                                 ? imageRgbaInterpolate(backup, sx, sy)
                                 : kOpaqueBlack;
                }
                break;
            }
            case 3:  // unsharp mask: twice the picture less its blur
            case 5:
                for (int x0 = xFrom; x0 <= xTo; x0 += kPiece) {
                    const int x1 = std::min(xTo, x0 + kPiece - 1);
                    lens.row(k[mode == 3 ? 0 : 2], y, x0, x1, first);
                    if (mode == 5) lens.row(k[3], y, x0, x1, second);
                    for (int x = x0; x <= x1; ++x) {
                        const Rgba a = first[x - x0], p = mode == 3 ? in[x] : second[x - x0];
                        out[x] = mode == 3 ? opaque(2 * p.r - a.r, 2 * p.g - a.g, 2 * p.b - a.b)
                                           : opaque(a.r + p.r, a.g + p.g, a.b + p.b);
                    }
                }
                break;
            default:
                if (plain) lens.row(plain, y, xFrom, xTo, out + xFrom);
                break;
        }
    }

    shapeStart = cursor;
    lensOutline(image, cx, cy, r);
    shapeDirty = true;
}
