#include "effects/classes.h"

#include "framewk/framewk.h"
#include "image/bands.h"
#include "image/check.h"
#include "image/clamp.h"
#include "image/draw.h"
#include "image/rows.h"
#include "image/sampling.h"
#include "image/lanes.h"
#include "image/turned.h"
#include "morvane.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

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

namespace {
// The plain effect: no family, no settings, no title of its own.
const familyInfo kNoFamily = {"", false, false, applied::later, false};
const effectInfo kPlainEffect = {&kNoFamily, ""};
}  // namespace

effect::effect(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
               ImageRGBA* icons, bool hasArea, point areaMin, point areaMax)
    : info(&kPlainEffect) {
    fwkSetWindowTitle("Morvane Application");
    startup(image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

effect::effect(const effectInfo& unnamed)
    : effect(nullptr, nullptr, nullptr, nullptr, nullptr, false, point(), point()) {
    info = &unnamed;
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
        consumed = useMenu(true);
        // An effect icon asked for another effect; it does not see the press.
        if (effectRequested()) return;
    }
    if (!consumed) leftDown = pressed;
    LBAction();
}

void effect::LBAction() {}

void effect::RB(bool pressed) {
    rightDown = pressed;
    RBAction();
}

void effect::RBAction() {
    if (rightDown && info->family->undoes) imageRgbaCopy(backup, image);
}

void effect::colorChangeAction() {}

void effect::key(unsigned char c) {
    busy = throttle;
    if (c == ' ') menuOn = !menuOn;
    if (c == kKeyDelete && info->family->sizeKeys) changeValue(static_cast<char>(c));
}

void effect::specialKey(int k) {
    busy = throttle;
    if (modeCount >= k) changeMode(static_cast<char>(k));
    if (k >= kKeyLeft && k <= kKeyDown) changeValue(static_cast<char>(k));
    if (k == kKeyPageDown && info->family->sizeKeys) changeValue(static_cast<char>(k));
}

void effect::setXY(float x, float y) { cursor.set(truncToInt(x), truncToInt(y)); }

void effect::changeMode(char m) {
    mode = m;
    if (m >= 1 && m <= info->modeCount()) {
        if (info->modes[m - 1]) fwkSetWindowTitle(effectTitle(*info, m).c_str());
        if (info->perMode) takeSettings(m);
    }
    if (info->modeCount() > 1) applyChange();
}

void effect::changeValue(char c) {
    const settingInfo& s1 = info->setting(1, mode);
    const settingInfo& s2 = info->setting(2, mode);
    // Each pair of arrows steps one setting; which one is the family's.
    const bool upDown1 = info->family->upDownSetsValue1;
    if (c == (upDown1 ? kKeyUp : kKeyRight)) value1 += s1.step;
    if (c == (upDown1 ? kKeyDown : kKeyLeft)) value1 -= s1.step;
    if (c == (upDown1 ? kKeyRight : kKeyUp)) value2 += s2.step;
    if (c == (upDown1 ? kKeyLeft : kKeyDown)) value2 -= s2.step;
    auto fit = [](float v, limit range, bool wraps) {
        if (wraps) return wrapInto(v, static_cast<float>(range.min), static_cast<float>(range.max));
        return static_cast<float>(range.intForceLimit(v));
    };
    value1 = fit(value1, value1Range, s1.wraps);
    value2 = fit(value2, value2Range, s2.wraps);
    if (info->family->sizeKeys) {
        if (c == kKeyDelete) size = std::max(size - 1, 1);
        if (c == kKeyPageDown) size = std::min(size + 1, 30);
    }
    if (c != 0 || info->clickApplies) applyChange();
}

void effect::showArea() {
    antsPhase = (antsPhase + 1) % 8;
    const pixelRect area = areaInPicture();
    areaMin.set(area.x0, area.y0);
    areaMax.set(area.x1, area.y1);
    imageRgbaDrawVerticalAreaLine(hud, areaMin.y, areaMax.y, areaMin.x, antsPhase);
    imageRgbaDrawHorizontalAreaLine(hud, areaMin.x, areaMax.x, areaMin.y, antsPhase);
    imageRgbaDrawVerticalAreaLine(hud, areaMin.y, areaMax.y, areaMax.x, antsPhase);
    imageRgbaDrawHorizontalAreaLine(hud, areaMin.x, areaMax.x, areaMax.y, antsPhase);
}

namespace {

const int kIcon = 20;                  // side of an icon and of a menu cell
const int kAtlasWidth = kIcon * kIcon;  // pixels of one icon, one atlas row

const int kSaveRow = 0, kRestoreRow = 1, kCloseRow = 2, kZoomInRow = 7, kZoomOutRow = 8;
const int kModeRow = 100;  // mode button n is row 100 + n
const int kMaxModeButtons = 8;
const int kModeY = 180;
const int kTrackStartRow = 109, kTrackMiddleRow = 110, kTrackEndRow = 111, kKnobRow = 112;
const int kSliderY = 200;
const int kKnobY = 203, kKnobWidth = 7, kKnobHeight = 14;
const int kMenuRows = kSliderY + kIcon;  // the menu draws above this row only
const int kSliderSpan = 60;  // knob travel in pixels from the low to the high end

// The two sliders: the value each sets, its range and the track's left end.
struct Slider {
    float effect::*value;
    limit effect::*range;
    int x;
};
const Slider kSliders[] = {{&effect::value1, &effect::value1Range, 0},
                           {&effect::value2, &effect::value2Range, 80}};

// The palette: hue field, brightness strip and swatch.
const int kHueX0 = 100, kHueX1 = 164, kStripX0 = 165, kStripX1 = 179, kPaletteY1 = 49;
const int kSwatchX0 = 190, kSwatchX1 = 209, kSwatchY0 = 30;

bool inCell(point p, int x, int y) {
    return p.checkArea(point(x, y), point(x + kIcon - 1, y + kIcon - 1));
}

// Where the menu may draw: xRange and yRange, and never beyond hud itself.
struct Canvas {
    Rgba* pixels;
    int width;
    int x0, y0, x1, y1;

    bool empty() const { return x0 > x1 || y0 > y1; }
    bool contains(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
    Rgba& at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

Canvas canvasOf(const effect& e) {
    return Canvas{e.hud->data,
                  e.hud->width,
                  std::max(e.xRange.min, 0),
                  std::max(e.yRange.min, 0),
                  std::min(e.xRange.max, e.hud->width - 1),
                  std::min(e.yRange.max, e.hud->height - 1)};
}

// intForceLimit for whole numbers of any size: a knob's corner may lie far off.
int squeeze(long long v, int lo, int hi) {
    if (v > hi) return hi;
    if (v < lo) return lo;
    return static_cast<int>(v);
}

// Copies the top-left w by h pixels of atlas row `row`, unblended, with the
// corner at (x, y). What does not fit is squeezed onto the last column or row
// rather than cut off, later pixels overwriting earlier ones.
void blit(const Canvas& canvas, const ImageRGBA* icons, int row, long long x, long long y,
          int w = kIcon, int h = kIcon) {
    const Rgba* icon = icons->data + row * kAtlasWidth;
    if (x >= canvas.x0 && x + w - 1 <= canvas.x1 && y >= canvas.y0 && y + h - 1 <= canvas.y1) {
        for (int r = 0; r < h; ++r) {
            std::copy_n(icon + r * kIcon, w,
                        &canvas.at(static_cast<int>(x), static_cast<int>(y) + r));
        }
        return;
    }
    for (int r = 0; r < h; ++r) {
        const int py = squeeze(y + r, canvas.y0, canvas.y1);
        for (int c = 0; c < w; ++c) {
            canvas.at(squeeze(x + c, canvas.x0, canvas.x1), py) = icon[r * kIcon + c];
        }
    }
}

bool sliderShown(limit range) { return range.min != range.max; }

// The menu's arithmetic is in double precision: a slider position or a palette
// row that lands exactly on a whole value then does not fall one short.

// Knob travel for `value`: 0 at the low end, kSliderSpan at the high end.
long long knobOffset(float value, limit range) {
    return truncToInt((value - static_cast<double>(range.min)) /
                      (static_cast<double>(range.max) - range.min) * kSliderSpan);
}

void drawSlider(const Canvas& canvas, const ImageRGBA* icons, int x, float value, limit range) {
    blit(canvas, icons, kTrackStartRow, x, kSliderY);
    blit(canvas, icons, kTrackMiddleRow, x + kIcon, kSliderY);
    blit(canvas, icons, kTrackMiddleRow, x + 2 * kIcon, kSliderY);
    blit(canvas, icons, kTrackEndRow, x + 3 * kIcon, kSliderY);
    blit(canvas, icons, kKnobRow, x + 7 + knobOffset(value, range), kKnobY, kKnobWidth,
         kKnobHeight);
}

// The inverse of the knob position; `dx` is the pointer's x minus the knob
// centre at the low end.
float sliderValue(int dx, limit range) {
    const double lo = range.min, hi = range.max;
    const double value = std::trunc(lo + dx / static_cast<double>(kSliderSpan) * (hi - lo));
    return range.forceLimit(static_cast<float>(value));
}

void drawPalette(const Canvas& canvas, Rgba colour, limit byteRange) {
    // Hue from left to right; black at the top, pure hues at y 25, pale tints below.
    for (int y = 0; y <= kPaletteY1; ++y) {
        const float saturation = static_cast<float>(std::min((50 - y) / 25.0, 1.0));
        const float value = static_cast<float>(std::min(y / 25.0, 1.0));
        for (int x = kHueX0; x <= kHueX1; ++x) {
            if (canvas.contains(x, y)) {
                const float hue = static_cast<float>((x - kHueX0) / 65.0 * 360);
                canvas.at(x, y) = HSVtoRGB(Hsva{hue, saturation, value, 255});
            }
        }
    }
    // The current colour sits in row level, darker above, lighter below.
    const double level = (colour.r + colour.g + colour.b) / 765.0 * 50;
    for (int y = 0; y <= kPaletteY1; ++y) {
        const double shift = (y - level) / 50 * 255;
        auto shade = [&](unsigned char c) { return clampByte(byteRange, c + shift); };  // in double
        const Rgba strip = {shade(colour.r), shade(colour.g), shade(colour.b), 255};
        for (int x = kStripX0; x <= kStripX1; ++x) {
            if (canvas.contains(x, y)) canvas.at(x, y) = strip;
        }
    }
    for (int y = kSwatchY0; y <= kPaletteY1; ++y) {
        for (int x = kSwatchX0; x <= kSwatchX1; ++x) {
            if (canvas.contains(x, y)) canvas.at(x, y) = colour;
        }
    }
}

// Takes the colour from the palette as last drawn. Off the picture nothing was
// drawn, so there is nothing to take.
void pickColor(effect& e) {
    const Canvas canvas = canvasOf(e);
    if (!canvas.contains(e.cursor.x, e.cursor.y)) return;
    e.color = canvas.at(e.cursor.x, e.cursor.y);
    e.color.a = 255;
    e.colorChangeAction();
}

}  // namespace

bool inPalette(point p) { return p.checkArea(point(kHueX0, 0), point(kStripX1, kPaletteY1)); }

void effect::showMenu() {
    const Canvas canvas = canvasOf(*this);
    if (canvas.empty()) return;
    blit(canvas, icons, kSaveRow, 0, 0);
    blit(canvas, icons, kRestoreRow, 20, 0);
    blit(canvas, icons, kZoomInRow, 50, 0);
    blit(canvas, icons, kZoomOutRow, 70, 0);
    blit(canvas, icons, kCloseRow, image->width - kIcon, 0);
    for (int i = 0; i < catalogueSize; ++i) {
        const catalogueEntry& cell = catalogue[i];
        blit(canvas, icons, cell.index, cell.menuX, cell.menuY);
    }
    if (modeCount > 1) {
        for (int n = 1; n <= std::min<int>(modeCount, kMaxModeButtons); ++n) {
            blit(canvas, icons, kModeRow + n, kIcon * (n - 1), kModeY);
        }
    }
    for (const Slider& s : kSliders) {
        if (sliderShown(this->*s.range)) {
            drawSlider(canvas, icons, s.x, this->*s.value, this->*s.range);
        }
    }
    if (usesColor) drawPalette(canvas, color, byteRange);
}

bool effect::useMenu(bool click) {
    const point p = cursor;
    if (!click) {
        // A drag follows the knob's own travel, a little narrower than a click's.
        for (const Slider& s : kSliders) {
            if (sliderShown(this->*s.range) &&
                p.checkArea(point(s.x + 7, kKnobY), point(s.x + 72, kKnobY + kKnobHeight - 1))) {
                this->*s.value = sliderValue(p.x - (s.x + 10), this->*s.range);
                changeValue(1);
                return true;
            }
        }
        if (usesColor && inPalette(p)) {
            pickColor(*this);
            return true;
        }
        return false;
    }

    if (inCell(p, 0, 0)) {
        saveImage();
        menuOn = false;
        return true;
    }
    if (inCell(p, 20, 0)) {
        resetImage();
        menuOn = false;
        return true;
    }
    if (inCell(p, image->width - kIcon, 0)) fwkExit(0);
    if (inCell(p, 50, 0)) {
        fwkSetDisplayZoom(fwkGetDisplayZoom() * 2);
        return true;
    }
    if (inCell(p, 70, 0)) {
        fwkSetDisplayZoom(fwkGetDisplayZoom() * 0.5f);
        return true;
    }
    for (int i = 0; i < catalogueSize; ++i) {
        const catalogueEntry& cell = catalogue[i];
        if (inCell(p, cell.menuX, cell.menuY)) {
            requestEffect(cell.index);  // the shell switches once the press is handled
            return true;
        }
    }
    if (modeCount > 1) {
        for (int n = 1; n <= std::min<int>(modeCount, kMaxModeButtons); ++n) {
            if (inCell(p, kIcon * (n - 1), kModeY)) {
                changeMode(static_cast<char>(n));
                menuOn = false;
                return true;
            }
        }
    }
    for (const Slider& s : kSliders) {
        if (sliderShown(this->*s.range) &&
            p.checkArea(point(s.x + 2, kKnobY), point(s.x + 77, kKnobY + kKnobHeight - 1))) {
            this->*s.value = sliderValue(p.x - (s.x + 10), this->*s.range);
            changeValue(0);  // clamp only: the press itself goes on to apply
            return false;
        }
    }
    if (usesColor && inPalette(p)) pickColor(*this);
    return false;
}

namespace {

bool sameLimit(limit a, limit b) { return a.min == b.min && a.max == b.max; }
bool sameColour(Rgba a, Rgba b) { return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a; }

overlaySource overlaySourceOf(const effect& e) {
    return overlaySource{e.image,     e.hud,         e.hasArea,     e.menuOn,
                         e.areaInPicture(), e.modeCount, e.usesColor, e.color,
                         e.value1,    e.value2,      e.value1Range, e.value2Range,
                         e.xRange,    e.yRange,      e.byteRange};
}

}  // namespace

bool overlaySource::operator==(const overlaySource& o) const {
    return image == o.image && hud == o.hud && area == o.area && menu == o.menu &&
           rect.x0 == o.rect.x0 && rect.y0 == o.rect.y0 && rect.x1 == o.rect.x1 &&
           rect.y1 == o.rect.y1 && modeCount == o.modeCount && usesColor == o.usesColor &&
           sameColour(color, o.color) && value1 == o.value1 && value2 == o.value2 &&
           sameLimit(value1Range, o.value1Range) && sameLimit(value2Range, o.value2Range) &&
           sameLimit(xRange, o.xRange) && sameLimit(yRange, o.yRange) &&
           sameLimit(byteRange, o.byteRange);
}

namespace {
// Where the overlay left a pixel transparent the picture shows through: rows
// y0 to y1 - 1.
void showPictureThrough(ImageRGBA* hud, const ImageRGBA* image, int y0, int y1) {
    const size_t from = static_cast<size_t>(y0) * image->width;
    const size_t to = static_cast<size_t>(y1) * image->width;
    Rgba* out = hud->data;
    const Rgba* in = image->data;
    for (size_t i = from; i < to; ++i) {
        if (out[i].a == 0) out[i] = in[i];
    }
}
}  // namespace

void effect::showHud() {
    if (!hasArea && !menuOn) {
        hudComposed = false;
        shown = image;
        refreshImage();
        return;
    }
    if (idleIsQuiet() && hudComposed && shown == hud && overlaySourceOf(*this) == hudSource) {
        // Nothing changed since the last composition but the ants' phase: they
        // move on drawn over themselves, and where the menu may cover them its
        // rows are composed afresh.
        if (hasArea) {
            const int menuRows = menuOn ? std::min(kMenuRows, hud->height) : 0;
            std::fill_n(hud->data, static_cast<size_t>(menuRows) * hud->width, Rgba{0, 0, 0, 0});
            showArea();
            if (menuOn) {
                showMenu();
                showPictureThrough(hud, image, 0, menuRows);
                fwkPostRedisplayPart(0, 0, hud->width, menuRows);
            }
            const int w = areaMax.x - areaMin.x + 1, h = areaMax.y - areaMin.y + 1;
            fwkPostRedisplayPart(areaMin.x, areaMin.y, 1, h);
            fwkPostRedisplayPart(areaMax.x, areaMin.y, 1, h);
            fwkPostRedisplayPart(areaMin.x, areaMin.y, w, 1);
            fwkPostRedisplayPart(areaMin.x, areaMax.y, w, 1);
        }
        refreshImage();
        return;
    }
    imageRgbaSet(hud, 0, 0, 0, 0);
    if (hasArea) showArea();
    if (menuOn) showMenu();
    showPictureThrough(hud, image, 0, image->height);
    hudSource = overlaySourceOf(*this);
    hudComposed = true;
    shown = hud;
    refreshImage();
    fwkPostRedisplay();
}

void effect::refreshImage() { fwkSetDisplayImage(shown); }

pixelRect effect::areaInPicture() const {
    return pixelRect{xRange.intForceLimit(areaMin.x), yRange.intForceLimit(areaMin.y),
                     xRange.intForceLimit(areaMax.x), yRange.intForceLimit(areaMax.y)};
}

int effectInfo::modeCount() const {
    if (unnamedModes > 0) return unnamedModes;
    int n = 0;
    while (n < 8 && modes[n]) ++n;
    return n == 0 ? 1 : n;
}

const settingInfo& effectInfo::setting(int n, int m) const {
    if (!perMode) return n == 1 ? value1 : value2;
    const modeSettings& s = perMode[m >= 1 && m <= modeCount() ? m - 1 : 0];
    return n == 1 ? s.value1 : s.value2;
}

std::string effectTitle(const effectInfo& info, int mode) {
    std::string title = std::string("Morvane Application | ") + info.name;
    if (mode >= 1 && mode <= 8 && info.modes[mode - 1]) {
        title += " | Mode " + std::to_string(mode) + ": " + info.modes[mode - 1];
    }
    return title;
}

void effect::begin(const effectInfo& d, ImageRGBA* image_, ImageRGBA* backup_,
                   ImageRGBA* scratch_, ImageRGBA* hud_, ImageRGBA* icons_, bool hasArea_,
                   point areaMin_, point areaMax_) {
    setUp(d, image_, backup_, scratch_, hud_, icons_, hasArea_, areaMin_, areaMax_);
    start();
}

void effect::setUp(const effectInfo& d, ImageRGBA* image_, ImageRGBA* backup_,
                   ImageRGBA* scratch_, ImageRGBA* hud_, ImageRGBA* icons_, bool hasArea_,
                   point areaMin_, point areaMax_) {
    info = &d;
    fwkSetWindowTitle(effectTitle(d).c_str());
    startup(image_, backup_, scratch_, hud_, icons_, hasArea_, areaMin_, areaMax_);
    modeCount = static_cast<int8_t>(d.modeCount());
    takeSettings(1);
    size = d.size;
    usesColor = d.usesColor;
    color = d.color;
    throttle = !d.live;
    if (d.keepsScratch) imageRgbaCopy(image, scratch);
    if (d.commits) imageRgbaCopy(image, backup);
}

void effect::start() {
    if (modeCount > 1) {
        changeMode(info->startMode);
    } else {
        applyChange();
    }
}

void effect::takeSettings(int m) {
    const settingInfo& s1 = info->setting(1, m);
    const settingInfo& s2 = info->setting(2, m);
    value1 = s1.start;
    value1Range.set(s1.min, upperEnd(s1));
    if (s1.upper == rangeRule::halfSmallerSide) value1 = static_cast<float>(value1Range.max / 4);
    value2 = s2.start;  // after value1: its upper end may follow value1
    value2Range.set(s2.min, upperEnd(s2));
}

void effect::followValue1() {
    const settingInfo& s2 = info->setting(2, mode);
    value2Range.set(s2.min, upperEnd(s2));
    value2 = static_cast<float>(value2Range.intForceLimit(value2));
}

int effect::upperEnd(const settingInfo& s) const {
    const pixelRect a = areaInPicture();
    const int w = a.x1 - a.x0 + 1, h = a.y1 - a.y0 + 1;
    switch (s.upper) {
        case rangeRule::fixed: break;
        case rangeRule::largerSide: return std::max(w, h);
        case rangeRule::fifthOfLargerSide: return std::max(w, h) / 5;
        case rangeRule::halfSmallerSide: return std::max(0, std::min(w, h) / 2);
        case rangeRule::halfDiagonal: {
            const int hw = w / 2, hh = h / 2;
            return static_cast<int>(std::sqrt(double(hw) * hw + double(hh) * hh) / 2);
        }
        case rangeRule::tileLessOne: return truncToInt(value1 - 1);
        case rangeRule::halfTileLessOne: return truncToInt(value1 / 2 - 1);
        case rangeRule::halfTile: return truncToInt(value1 / 2);
    }
    return s.max;
}

void effect::applyChange() {
    switch (info->family->change) {
        case applied::byClick: reapply(); break;
        case applied::byFrame: renderOnce(); break;
        case applied::later: break;
    }
}

void effect::reapply() { withButtonHeld(&effect::LBAction); }

void effect::renderOnce() { withButtonHeld(&effect::idleAction); }

void effect::withButtonHeld(void (effect::*hook)()) {
    if (leftDown) {
        (this->*hook)();
        return;
    }
    leftDown = true;
    (this->*hook)();
    leftDown = false;
}

// ---------------------------------------------------------------------------
// Family bases
//
// Each family's row: how --list names it, which arrows step which setting,
// whether Delete and Page Down step the size, how a change shows, whether
// the right button undoes.

const familyInfo tools::family = {"tool", false, false, applied::later, false};
const familyInfo color::family = {"filter", true, false, applied::byClick, true};
const familyInfo geometric::family = {"warp", false, false, applied::byFrame, true};
const familyInfo distort::family = {"filter", false, false, applied::byClick, true};
const familyInfo matrices::family = {"filter", true, true, applied::byClick, true};
const familyInfo artistic::family = {"filter", true, true, applied::byClick, true};

const effectInfo tools::unnamed = {&tools::family, ""};
const effectInfo color::unnamed = {&color::family, ""};
const effectInfo geometric::unnamed = {&geometric::family, ""};
const effectInfo distort::unnamed = {&distort::family, ""};
// The convolution family steps value1 by 1 and value2 by 3.
const effectInfo matrices::unnamed = {&matrices::family, "", {}, {0, 0, 0, 1}, {0, 0, 0, 3}};
const effectInfo artistic::unnamed = {&artistic::family, ""};

tools::tools() : effect(unnamed) {}
color::color() : effect(unnamed) {}
geometric::geometric() : effect(unnamed) {}
distort::distort() : effect(unnamed) {}
artistic::artistic() : effect(unnamed) {}
matrices::matrices() : effect(unnamed) {}

void color::LBAction() {
    if (leftDown) actionArea(areaInPicture());
}

void color::actionArea(pixelRect area) {
    const int width = image->width;
    for (int y = area.y0; y <= area.y1; ++y) {
        const int row = y * width;
        for (int x = area.x0; x <= area.x1; ++x) action(row + x);
    }
}

void color::actionByTables(pixelRect area, const ImageRGBA* source) {
    if (area.x0 > area.x1 || area.y0 > area.y1) return;
    // The rule on 256 probe pixels (k, k, k): source alpha 1, destination
    // alpha 2, so the results' alpha tells which one the rule keeps.
    Rgba from[256], to[256];
    for (int k = 0; k < 256; ++k) {
        const auto c = static_cast<unsigned char>(k);
        from[k] = Rgba{c, c, c, 1};
        to[k] = Rgba{c, c, c, 2};
    }
    ImageRGBA probeFrom{256, 1, 4, from}, probeTo{256, 1, 4, to};
    ImageRGBA* const picture = image;
    ImageRGBA* const committed = backup;
    image = &probeTo;
    backup = &probeFrom;
    for (int k = 0; k < 256; ++k) action(k);
    image = picture;
    backup = committed;

    channelTables tables;
    tables.alphaFromSource = to[0].a == 1;
    for (int k = 0; k < 256; ++k) {
        if (to[k].a != to[0].a || (to[k].a != 1 && to[k].a != 2)) {
            color::actionArea(area);  // not a rule of channels alone after all
            return;
        }
        tables.r[k] = to[k].r;
        tables.g[k] = to[k].g;
        tables.b[k] = to[k].b;
    }
    const int width = image->width;
    eachRun(area.x0, area.y0, area.x1, area.y1, width, [&](int y, int xa, int xb) {
        const size_t at = static_cast<size_t>(y) * width + xa;
        mapChannels(source->data + at, image->data + at, xb - xa + 1, 1, width, tables);
    });
}

void color::action(int) {}

bool geometric::pointerOnPicture() const {
    return cursor.x >= 0 && cursor.x <= image->width && cursor.y >= 0 &&
           cursor.y <= image->height;
}

void geometric::idleAction() {}

void geometric::specialKey(int k) {
    effect::specialKey(k);
    if (k == kKeyEnd) {
        warpToggle = !warpToggle;
        renderOnce();
    }
}

void distort::LBAction() {}

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
    // A zero divisor gives 0 for a zero sum (NaN), else 0 or 255.
    const float d = static_cast<float>(kernel->divisor);
    return Rgba{clampByte(R / d), clampByte(G / d), clampByte(B / d), 255};
}

namespace {

const int kReach = 5;      // the widest kernel's reach beyond its centre
const int kSlots = 11;     // picture rows one kernel spans at most
const int kMaxTaps = 121;  // cells of the widest kernel
// Floats read past a row's end by the last, partly used vectors of a run.
const int kSlack = 64;

// The rows of one thread, kept from one convolution to the next.
struct convolutionMemory {
    std::vector<float> rows;
    std::vector<int> columns;
    bool inUse = false;
};
thread_local convolutionMemory threadMemory;

// The same code for any vector width: F holds floats, I as many int32.
template <class F, class I>
constexpr int lanesOf() {
    static_assert(sizeof(F) == sizeof(I), "one int per float");
    return static_cast<int>(sizeof(F) / sizeof(float));
}

template <class V, class T>
inline __attribute__((always_inline)) void broadcast(V& v, T value) {
    for (int l = 0; l < static_cast<int>(sizeof(V) / sizeof(T)); ++l) v[l] = value;
}

// Red, green and blue of n pixels into three float rows.
template <class F, class I>
inline __attribute__((always_inline)) void spreadRun(const Rgba* src, int n, float* r, float* g,
                                                     float* b) {
    constexpr int N = lanesOf<F, I>();
    int p = 0;
    for (; p + N <= n; p += N) {
        I v;
        std::memcpy(&v, src + p, sizeof v);
        const F red = __builtin_convertvector(v & 0xff, F);
        const F green = __builtin_convertvector((v >> 8) & 0xff, F);
        const F blue = __builtin_convertvector((v >> 16) & 0xff, F);
        std::memcpy(r + p, &red, sizeof red);
        std::memcpy(g + p, &green, sizeof green);
        std::memcpy(b + p, &blue, sizeof blue);
    }
    for (; p < n; ++p) {
        r[p] = src[p].r;
        g[p] = src[p].g;
        b[p] = src[p].b;
    }
}

// n output pixels from the taps: for every pixel and channel the sum of
// weight * sample over the taps in their order, started at 0, divided,
// clamped and truncated as applyMatrix does it. Sample k of tap t, channel c
// is bases[c][t][k]; the rows may be read up to kSlack floats past n.
// Scale: the divisor is a power of two, by whose exact reciprocal a
// multiplication gives the quotient bit for bit, without a slow division.
template <class F, class I, bool Scale>
inline __attribute__((always_inline)) void convolveRun(int n, int taps, const float* weights,
                                                       const float* const (*bases)[kMaxTaps],
                                                       float divisor, Rgba* out) {
    constexpr int N = lanesOf<F, I>();
    constexpr int U = 4;  // independent sums per channel, to hide the adds' latency
    static_assert(N * U <= kSlack, "a run reads at most kSlack floats too far");
    F zero, top, d;
    I opaque;
    broadcast(zero, 0.0f);
    broadcast(top, 255.0f);
    broadcast(d, Scale ? 1.0f / divisor : divisor);
    broadcast(opaque, static_cast<int>(0xff000000u));
    for (int k = 0; k < n; k += N * U) {
        I pixels[U];
#pragma GCC unroll 4
        for (int u = 0; u < U; ++u) pixels[u] = opaque;
        for (int c = 0; c < 3; ++c) {
            F sums[U];
#pragma GCC unroll 4
            for (int u = 0; u < U; ++u) sums[u] = zero;
            const float* const* base = bases[c];
            for (int t = 0; t < taps; ++t) {
                F w;
                broadcast(w, weights[t]);
                const float* samples = base[t] + k;
#pragma GCC unroll 4
                for (int u = 0; u < U; ++u) {
                    F s;
                    std::memcpy(&s, samples + u * N, sizeof s);
                    sums[u] += w * s;
                }
            }
#pragma GCC unroll 4
            for (int u = 0; u < U; ++u) {
                F q = Scale ? sums[u] * d : sums[u] / d;
                q = q > zero ? q : zero;  // below zero, and no number, give 0
                q = q > top ? top : q;
                pixels[u] |= __builtin_convertvector(q, I) << (8 * c);
            }
        }
        if (n - k >= N * U) {
#pragma GCC unroll 4
            for (int u = 0; u < U; ++u) std::memcpy(out + k + u * N, &pixels[u], sizeof(I));
        } else {
            std::memcpy(out + k, pixels, static_cast<size_t>(n - k) * sizeof(Rgba));
        }
    }
}

typedef lanes::of<4>::f floats4;
typedef lanes::of<4>::i ints4;

void spreadPlain(const Rgba* src, int n, float* r, float* g, float* b) {
    spreadRun<floats4, ints4>(src, n, r, g, b);
}
void convolvePlain(int n, int taps, const float* weights, const float* const (*bases)[kMaxTaps],
                   float divisor, bool scale, Rgba* out) {
    if (scale) {
        convolveRun<floats4, ints4, true>(n, taps, weights, bases, divisor, out);
    } else {
        convolveRun<floats4, ints4, false>(n, taps, weights, bases, divisor, out);
    }
}

#if MORVANE_SIMD
// Eight lanes where the processor has them; the operations per lane are the same.
typedef lanes::of<8>::f floats8;
typedef lanes::of<8>::i ints8;

MORVANE_AVX2 void spreadWide(const Rgba* src, int n, float* r, float* g, float* b) {
    spreadRun<floats8, ints8>(src, n, r, g, b);
}
MORVANE_AVX2 void convolveWide(int n, int taps, const float* weights,
                               const float* const (*bases)[kMaxTaps], float divisor, bool scale,
                               Rgba* out) {
    if (scale) {
        convolveRun<floats8, ints8, true>(n, taps, weights, bases, divisor, out);
    } else {
        convolveRun<floats8, ints8, false>(n, taps, weights, bases, divisor, out);
    }
}
#else
void spreadWide(const Rgba* src, int n, float* r, float* g, float* b) {
    spreadPlain(src, n, r, g, b);
}
void convolveWide(int n, int taps, const float* weights, const float* const (*bases)[kMaxTaps],
                  float divisor, bool scale, Rgba* out) {
    convolvePlain(n, taps, weights, bases, divisor, scale, out);
}
#endif

}  // namespace

convolution::convolution(const ImageRGBA* source, point areaMin, point areaMax, int x0, int x1,
                         bool turned)
    : source_(source),
      areaMin_(areaMin),
      areaMax_(areaMax),
      x0_(x0),
      x1_(std::max(x1, x0 - 1)),
      turned_(turned) {
    for (int& tag : tags_) tag = -1;
    if (!source_) return;
    const int span = x1_ - x0_ + 1 + 2 * kReach;
    plane_ = (static_cast<size_t>(span) + kSlack + 15) / 16 * 16;
    const size_t floats = kSlots * 3 * plane_;
    if (!threadMemory.inUse) {
        threadMemory.inUse = true;
        if (threadMemory.rows.size() < floats) threadMemory.rows.resize(floats);
        if (threadMemory.columns.size() < static_cast<size_t>(span))
            threadMemory.columns.resize(span);
        rows_ = threadMemory.rows.data();
        columns_ = threadMemory.columns.data();
    } else {
        ownMemory_ = true;
        rows_ = new float[floats]();
        columns_ = new int[span];
    }
    const int last = source_->width - 1;
    for (int p = 0; p < span; ++p) {
        const int column = x0_ - kReach + p;
        columns_[p] = clampSample(column, areaMin_.x, areaMax_.x, last);
        if (columns_[p] == column) {
            if (lastSame_ < firstSame_) firstSame_ = p;
            lastSame_ = p;
        }
    }
}

convolution::~convolution() {
    if (ownMemory_) {
        delete[] rows_;
        delete[] columns_;
    } else if (rows_) {
        threadMemory.inUse = false;
    }
}

const float* convolution::samples(int sy) {
    const int slot = sy % kSlots;
    float* red = rows_ + slot * 3 * plane_;
    if (tags_[slot] == sy) return red;
    tags_[slot] = sy;
    float* green = red + plane_;
    float* blue = green + plane_;
    const Rgba* line = source_->data + static_cast<size_t>(sy) * source_->width;
    const int span = x1_ - x0_ + 1 + 2 * kReach;
    // Clamping makes a run of columns repeat a border; the rest is the row as it is.
    for (int p = 0; p < span; ++p) {
        if (p == firstSame_ && firstSame_ <= lastSame_) {
            const Rgba* run = line + x0_ - kReach + firstSame_;
            const int n = lastSame_ - firstSame_ + 1;
            if (simdLevel() >= Simd::avx2) {
                spreadWide(run, n, red + p, green + p, blue + p);
            } else {
                spreadPlain(run, n, red + p, green + p, blue + p);
            }
            p = lastSame_;
            continue;
        }
        const Rgba s = line[columns_[p]];
        red[p] = s.r;
        green[p] = s.g;
        blue[p] = s.b;
    }
    return red;
}

void convolution::row(const matrix* kernel, int y, int xa, int xb, Rgba* out) {
    if (xa > xb) return;
    const int n = xb - xa + 1;
    if (!source_ || !kernel) {
        std::fill_n(out, n, Rgba{0, 0, 0, 255});
        return;
    }
    const int r = std::min(std::max<int>(kernel->radius, 0), kReach);
    // Sample column x + j - 5 of pixel x = xa + k sits at k + shift + j.
    const int shift = xa - x0_ + kReach - 5;
    float weights[kMaxTaps];
    const float* bases[3][kMaxTaps];
    int taps = 0;
    for (int i = 5 - r; i <= 5 + r; ++i) {
        for (int j = 5 - r; j <= 5 + r; ++j) {
            const float w = kernel->grid[i][j];
            // A zero cell adds +0 or -0, which leaves any sum begun at +0 as it is.
            if (w == 0) continue;
            const int along = turned_ ? j : i, across = turned_ ? i : j;
            const float* red =
                samples(clampSample(y + along - 5, areaMin_.y, areaMax_.y, source_->height - 1));
            weights[taps] = w;
            for (int c = 0; c < 3; ++c) bases[c][taps] = red + c * plane_ + shift + across;
            ++taps;
        }
    }
    const float divisor = static_cast<float>(kernel->divisor);
    int exponent;
    const bool scale = std::fabs(std::frexp(divisor, &exponent)) == 0.5f;
    if (simdLevel() >= Simd::avx2) {
        convolveWide(n, taps, weights, bases, divisor, scale, out);
    } else {
        convolvePlain(n, taps, weights, bases, divisor, scale, out);
    }
}

namespace {
// Output columns a convolution makes at a time: the float rows it keeps grow
// with them.
const int kConvolutionRun = 4096;
}  // namespace

void matrices::LBAction() {
    if (!leftDown) return;
    pixelRect a = areaInPicture();
    if (a.x0 > a.x1 || a.y0 > a.y1) return;
    bool turned = false;
    ImageRGBA *picture = image, *committed = backup, *layer = scratch;
    point lo = areaMin, hi = areaMax;
    std::unique_ptr<TurnedRegion> turnedImage, turnedBackup, turnedScratch;
    if (narrowRegion(a.x0, a.y0, a.x1, a.y1)) {
        turnedImage = std::make_unique<TurnedRegion>(a.x0, a.y0, a.x1, a.y1, 0);
        turnedBackup = std::make_unique<TurnedRegion>(a.x0, a.y0, a.x1, a.y1, 1);
        turnedScratch = std::make_unique<TurnedRegion>(a.x0, a.y0, a.x1, a.y1, 2);
        turnedImage->turn(image);
        turnedBackup->turn(backup);
        turnedScratch->turn(scratch);
        image = turnedImage->image();
        backup = turnedBackup->image();
        scratch = turnedScratch->image();
        // The whole transpose is the area; clamping into it is clamping into
        // the area within the picture.
        a = pixelRect{0, 0, image->width - 1, image->height - 1};
        lo = point(a.x0, a.y0);
        hi = point(a.x1, a.y1);
        turned = true;
    }
    const int w = a.x1 - a.x0 + 1, h = a.y1 - a.y0 + 1;
    const int runs = (w + kConvolutionRun - 1) / kConvolutionRun;
    auto rows = [&](int y0, int y1, int run) {
        const int xa = a.x0 + run * kConvolutionRun, xb = std::min(a.x1, xa + kConvolutionRun - 1);
        convolution c(backup, lo, hi, xa, xb, turned);
        for (int y = y0; y <= y1; ++y) matrixRow(c, y, xa, xb);
    };
    // Rows on both cores; a few long rows share their runs instead.
    const double pixels = double(w) * h;
    if (h >= 16 || runs == 1) {
        inBands(a.y0, a.y1, pixels, [&](int from, int to) {
            for (int run = 0; run < runs; ++run) rows(from, to, run);
        });
    } else {
        inBands(0, runs - 1, pixels, [&](int first, int last) {
            for (int run = first; run <= last; ++run) rows(a.y0, a.y1, run);
        });
    }
    if (!turned) return;
    image = picture;
    backup = committed;
    scratch = layer;
    turnedImage->turnBack(image);
    turnedScratch->turnBack(scratch);
}

matrix* matrices::kernelAt(int slot) const {
    return slot >= 0 && slot < 10 ? kernels[slot] : nullptr;
}

void matrices::freeKernels() {
    for (matrix*& k : kernels) {
        delete k;
        k = nullptr;
    }
}

void matrices::matrixAction(int x, int y) {
    convolution rows(backup, areaMin, areaMax, x, x);
    matrixRow(rows, y, x, x);
}

void matrices::matrixRow(convolution& rows, int y, int x0, int x1) {
    rows.row(currentKernel(), y, x0, x1, image->data + static_cast<size_t>(y) * image->width + x0);
}
