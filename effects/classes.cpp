#include "effects/classes.h"

#include "framewk/framewk.h"
#include "morvane.h"

#include <climits>
#include <cmath>

float limit::forceLimit(float v) const {
    if (v > max) return static_cast<float>(max);
    if (v < min) return static_cast<float>(min);
    return v;
}

int limit::intForceLimit(float v) const {
    if (v > max) return max;
    if (v < min) return min;
    if (std::isnan(v)) return min;  // no order for NaN; the low end is the safe answer
    return static_cast<int>(v);
}

int truncToInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(v);
}

effect::effect(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
               ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    fwkSetWindowTitle("Morvane Application");
    startup(image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

effect::~effect() {}

void effect::startup(ImageRGBA* image_, ImageRGBA* backup_, ImageRGBA* scratch_, ImageRGBA* hud_,
                     ImageRGBA* icons_, bool hasArea_, point areaMin_, point areaMax_) {
    if (!image_) return;
    image = image_;
    backup = backup_;
    scratch = scratch_;
    hud = hud_;
    icons = icons_;
    shown = image;
    xRange.set(0, image->width - 1);
    yRange.set(0, image->height - 1);
    cursor.set(0, 0);
    leftDown = rightDown = busy = false;
    throttle = true;
    menuOn = false;
    usesColor = false;
    color = Rgba{0, 0, 0, 255};
    mode = 1;
    modeCount = 1;
    value1 = value2 = 0;
    value1Range.set(0, 0);
    value2Range.set(0, 0);
    antsPhase = 0;
    byteRange.set(0, 255);
    param1 = param2 = param3 = 0;
    for (matrix*& k : kernels) k = nullptr;
    hasArea = hasArea_;
    if (hasArea) {
        areaMin = areaMin_;
        areaMax = areaMax_;
    } else {
        areaMin.set(0, 0);
        areaMax.set(image->width - 1, image->height - 1);
    }
}

void effect::idle() {
    busy = throttle;
    idleAction();
    showHud();
}

void effect::idleAction() {}

void effect::move() {
    busy = throttle;
    if (menuOn && leftDown) useMenu(false);
    moveAction();
    showHud();
}

void effect::moveAction() {}

void effect::LB(bool pressed) {
    bool consumed = false;
    if (menuOn && pressed) {
        const unsigned long switches = effectSwitchCount();
        consumed = useMenu(true);
        // An effect icon replaced this object; the new effect does not see the press.
        if (effectSwitchCount() != switches) return;
    }
    if (!consumed) leftDown = pressed;
    LBAction();
}

void effect::LBAction() {}

void effect::RB(bool pressed) {
    rightDown = pressed;
    RBAction();
}

void effect::RBAction() {}

void effect::colorChangeAction() {}

void effect::key(unsigned char c) {
    busy = throttle;
    if (c == ' ') menuOn = !menuOn;
}

void effect::specialKey(int k) {
    busy = throttle;
    if (modeCount >= k) changeMode(static_cast<char>(k));
    if (k >= 100 && k <= 103) changeValue(static_cast<char>(k));
}

void effect::setXY(float x, float y) { cursor.set(truncToInt(x), truncToInt(y)); }

void effect::changeMode(char m) { mode = m; }

void effect::changeValue(char) {}

void effect::showArea() {
    antsPhase = (antsPhase + 1) % 8;
    areaMin.x = truncToInt(xRange.forceLimit(areaMin.x));
    areaMin.y = truncToInt(yRange.forceLimit(areaMin.y));
    areaMax.x = truncToInt(xRange.forceLimit(areaMax.x));
    areaMax.y = truncToInt(yRange.forceLimit(areaMax.y));
    imageRgbaDrawVerticalAreaLine(hud, areaMin.y, areaMax.y, areaMin.x, antsPhase);
    imageRgbaDrawHorizontalAreaLine(hud, areaMin.x, areaMax.x, areaMin.y, antsPhase);
    imageRgbaDrawVerticalAreaLine(hud, areaMin.y, areaMax.y, areaMax.x, antsPhase);
    imageRgbaDrawHorizontalAreaLine(hud, areaMin.x, areaMax.x, areaMax.y, antsPhase);
}

void effect::showMenu() {}

bool effect::useMenu(bool) { return false; }

void effect::showHud() {
    if (!hasArea && !menuOn) {
        shown = image;
        refreshImage();
        return;
    }
    imageRgbaSet(hud, 0, 0, 0, 0);
    if (hasArea) showArea();
    if (menuOn) showMenu();
    const size_t count = static_cast<size_t>(image->width) * image->height;
    Rgba* out = hud->data;
    const Rgba* in = image->data;
    for (size_t i = 0; i < count; ++i) {
        if (out[i].a == 0) out[i] = in[i];
    }
    shown = hud;
    refreshImage();
}

void effect::refreshImage() { fwkSetDisplayImage(shown); }

// ---------------------------------------------------------------------------
// Tools family base

tools::tools()
    : effect(nullptr, nullptr, nullptr, nullptr, nullptr, false, point(0, 0), point(0, 0)) {}


// ---------------------------------------------------------------------------
// Colour family base


// ---------------------------------------------------------------------------
// Convolution kernels and the matrices family base

matrix::matrix(float* values, char radius_, short divisor_) : divisor(divisor_), radius(radius_) {
    // The grid holds at most an 11 by 11 kernel.
    MORVANE_CHECK(radius >= 0 && radius <= 5, "effects/classes");
    convertMatrix(values);
}

void matrix::convertMatrix(float* values) {
    const int side = 2 * radius + 1;
    for (int i = 0; i < 11; ++i) {
        for (int j = 0; j < 11; ++j) {
            if (j < 5 - radius || j > 5 + radius || i < 5 - radius || i > 5 + radius) {
                grid[i][j] = 0;
            } else {
                grid[i][j] = values[(i - 5 + radius) * side + (j - 5 + radius)];
            }
        }
    }
}

matrix::~matrix() {}

namespace {
// Area clamp first, as the convolution defines it; the image clamp after it
// changes nothing for an area inside the picture and keeps every read inside
// otherwise.
inline int clampSample(int v, int lo, int hi, int last) {
    if (v < lo) v = lo;
    if (v > hi) v = hi;
    if (v > last) v = last;
    if (v < 0) v = 0;
    return v;
}

inline unsigned char channelOf(float sum, float divisor) {
    const float q = sum / divisor;
    if (q > 255.0f) return 255;
    if (!(q >= 0.0f)) return 0;  // below zero, or no number from a zero divisor
    return static_cast<unsigned char>(q);
}
}  // namespace

Rgba applyMatrix(ImageRGBA* source, matrix* kernel, int x, int y, point areaMin, point areaMax) {
    if (!source || !kernel) return Rgba{0, 0, 0, 255};
    const int r = kernel->radius;
    const int width = source->width;
    int columns[11];
    for (int j = 5 - r; j <= 5 + r; ++j) {
        columns[j] = clampSample(x + j - 5, areaMin.x, areaMax.x, width - 1);
    }
    float R = 0, G = 0, B = 0;
    for (int i = 5 - r; i <= 5 + r; ++i) {
        const int sy = clampSample(y + i - 5, areaMin.y, areaMax.y, source->height - 1);
        const Rgba* row = source->data + static_cast<size_t>(sy) * width;
        const float* weights = kernel->grid[i];
        for (int j = 5 - r; j <= 5 + r; ++j) {
            const Rgba p = row[columns[j]];
            const float w = weights[j];
            R += p.r * w;
            G += p.g * w;
            B += p.b * w;
        }
    }
    const float d = static_cast<float>(kernel->divisor);
    return Rgba{channelOf(R, d), channelOf(G, d), channelOf(B, d), 255};
}

void matrices::LBAction() {
    if (!leftDown) return;
    // Corners outside the picture are clamped for the loop, so nothing is
    // written outside `image` whatever area was handed on.
    const int x0 = xRange.intForceLimit(areaMin.x), x1 = xRange.intForceLimit(areaMax.x);
    const int y0 = yRange.intForceLimit(areaMin.y), y1 = yRange.intForceLimit(areaMax.y);
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) matrixAction(x, y);
    }
}

void matrices::matrixAction(int x, int y) {
    const int slot = truncToInt(value1);
    matrix* k = (slot >= 0 && slot < 10) ? kernels[slot] : nullptr;
    image->data[static_cast<size_t>(y) * image->width + x] =
        applyMatrix(backup, k, x, y, areaMin, areaMax);
}

void matrices::RBAction() {
    if (rightDown) imageRgbaCopy(backup, image);
}

void matrices::key(unsigned char c) {
    busy = throttle;
    if (c == ' ') menuOn = !menuOn;
    if (c == 127) changeValue(127);
}

void matrices::specialKey(int k) {
    busy = throttle;
    if (k <= modeCount) changeMode(static_cast<char>(k));
    if ((k >= 100 && k <= 103) || k == 105) changeValue(static_cast<char>(k));
}

void matrices::changeValue(char c) {
    if (c == 'e') {
        value1 += 1;
    } else if (c == 'g') {
        value1 -= 1;
    }
    if (c == 'd') {
        value2 -= 3;
    } else if (c == 'f') {
        value2 += 3;
    }
    if (c == 127) {
        size -= 1;
        if (size <= 0) size = 1;
    } else if (c == 'i') {
        size += 1;
        if (size > 30) size = 30;
    }
    value1 = static_cast<float>(value1Range.intForceLimit(value1));
    value2 = static_cast<float>(value2Range.intForceLimit(value2));
    if (c == 0) return;
    if (leftDown) {
        LBAction();
    } else {
        leftDown = true;
        LBAction();
        leftDown = false;
    }
}

