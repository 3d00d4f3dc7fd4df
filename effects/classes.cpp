#include "effects/classes.h"

#include "framewk/framewk.h"
#include "morvane.h"

#include <algorithm>
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


// ---------------------------------------------------------------------------
// Colour family base

color::color() : effect(nullptr, nullptr, nullptr, nullptr, nullptr, false, point(), point()) {}

void color::LBAction() {
    if (!leftDown) return;
    // The area always lies inside the picture in use; the bounds are clamped
    // anyway so that a stray one can never write outside it.
    const int width = image->width;
    const int x0 = std::max(areaMin.x, 0), x1 = std::min(areaMax.x, width - 1);
    const int y0 = std::max(areaMin.y, 0), y1 = std::min(areaMax.y, image->height - 1);
    for (int y = y0; y <= y1; ++y) {
        const int row = y * width;
        for (int x = x0; x <= x1; ++x) action(row + x);
    }
}

void color::RBAction() {
    if (rightDown) imageRgbaCopy(backup, image);
}

void color::changeValue(char key) {
    if (key == 'e') value1 += 5;
    if (key == 'g') value1 -= 5;
    value1 = static_cast<float>(value1Range.intForceLimit(value1));
    if (key == 0) return;  // the menu's slider: its press applies the value
    reapply();
}

void color::action(int) {}

void color::reapply() {
    if (leftDown) {
        LBAction();
        return;
    }
    leftDown = true;
    LBAction();
    leftDown = false;
}

// ---------------------------------------------------------------------------
// Convolution kernels and the matrices family base

