#include "effects/color.h"

#include "framewk/framewk.h"

// The weighted sums and quotients below are single precision, the precision of
// value1 and of Hsva. It also keeps gray's weights, which add up to one,
// turning more grey pixels into themselves than double precision does.

namespace {

// byteRange.intForceLimit, inline for the per-pixel rules.
inline unsigned char clampByte(const limit& range, int v) {
    if (v > range.max) return static_cast<unsigned char>(range.max);
    if (v < range.min) return static_cast<unsigned char>(range.min);
    return static_cast<unsigned char>(v);
}

inline unsigned char clampByte(const limit& range, float v) {
    if (v > range.max) return static_cast<unsigned char>(range.max);
    if (v < range.min) return static_cast<unsigned char>(range.min);
    return static_cast<unsigned char>(static_cast<int>(v));
}

// What every constructor does after the family base: title, start-up, the
// value and its range, and the commit that makes the picture the source.
void begin(color& e, const char* title, float value, limit range, ImageRGBA* image,
           ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud, ImageRGBA* icons, bool hasArea,
           point areaMin, point areaMax) {
    fwkSetWindowTitle(title);
    e.effect::startup(image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
    e.value1 = value;
    e.value1Range = range;
    imageRgbaCopy(e.image, e.backup);
}

// Hues wrap at 359 instead of stopping; value1Range is not consulted.
void stepHue(color& e, char key) {
    if (key == 'e') e.value1 += 5;
    if (key == 'g') e.value1 -= 5;
    if (e.value1 > 359) {
        e.value1 = 0;
    } else if (e.value1 < 0) {
        e.value1 = 359;
    }
}

}  // namespace

// The constructors: title, default value and its range. Each commits the
// picture as the source and applies once (channel's is below).
#define MORVANE_ADJUSTMENT(cls, name, value, lo, hi)                                              \
    cls::cls(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,             \
             ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {                      \
        begin(*this, "Morvane Application | " name, value, limit(lo, hi), image, backup, scratch, \
              hud, icons, hasArea, areaMin, areaMax);                                             \
        reapply();                                                                                \
    }

MORVANE_ADJUSTMENT(brightness, "Brightness", 20, -255, 255)
MORVANE_ADJUSTMENT(contrast, "Contrast", 20, -255, 255)
MORVANE_ADJUSTMENT(saturation, "Saturation", 20, -255, 255)
MORVANE_ADJUSTMENT(hue, "Hue", 20, 0, 359)
MORVANE_ADJUSTMENT(colorize, "Colorize", 20, 0, 359)
MORVANE_ADJUSTMENT(gray, "Gray", 0, 0, 0)
MORVANE_ADJUSTMENT(invert, "Invert", 0, 0, 0)
MORVANE_ADJUSTMENT(posterize, "Posterize", 8, 1, 255)
MORVANE_ADJUSTMENT(solarize, "Solarize", 150, 0, 255)

#undef MORVANE_ADJUSTMENT

void brightness::action(int index) {
    const Rgba s = backup->data[index];
    Rgba& d = image->data[index];
    const int shift = static_cast<int>(value1);  // whole, within -255..255
    d.r = clampByte(byteRange, s.r + shift);
    d.g = clampByte(byteRange, s.g + shift);
    d.b = clampByte(byteRange, s.b + shift);
}

void contrast::action(int index) {
    const Rgba s = backup->data[index];
    Rgba& d = image->data[index];
    const float v = value1;
    if (v >= 0) {
        // Stretch about the middle; even at 0 this moves 0 to 1.
        const float divisor = 256 - v;
        auto stretch = [&](int c) {
            return clampByte(byteRange, static_cast<int>((c - 127.5f) * 255 / divisor) + 128);
        };
        d.r = stretch(s.r);
        d.g = stretch(s.g);
        d.b = stretch(s.b);
    } else {
        auto flatten = [&](int c) {
            return clampByte(byteRange, c + static_cast<int>((c - 128) / 255.0f * v));
        };
        d.r = flatten(s.r);
        d.g = flatten(s.g);
        d.b = flatten(s.b);
    }
}

void saturation::action(int index) {
    const Rgba s = backup->data[index];
    Rgba& d = image->data[index];
    const int mean = (s.r + s.g + s.b) / 3;  // integer mean
    const float factor = value1 / 255;
    d.r = clampByte(byteRange, s.r + static_cast<int>(factor * (s.r - mean)));
    d.g = clampByte(byteRange, s.g + static_cast<int>(factor * (s.g - mean)));
    d.b = clampByte(byteRange, s.b + static_cast<int>(factor * (s.b - mean)));
}

void hue::action(int index) {
    Hsva p = RGBtoHSV(backup->data[index]);
    // Wraps by 359, not 360; RGBtoHSV gives negative hues between magenta and red.
    p.h += value1;
    if (p.h > 359) p.h -= 359;
    if (p.h < 0) p.h += 359;
    image->data[index] = HSVtoRGB(p);
}

void hue::changeValue(char key) {
    stepHue(*this, key);
    reapply();
}

void colorize::action(int index) {
    Hsva p = RGBtoHSV(backup->data[index]);
    p.h = value1;
    image->data[index] = HSVtoRGB(p);
}

void colorize::changeValue(char key) {
    stepHue(*this, key);
    reapply();
}

channel::channel(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
                 ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(*this, "Morvane Application | Channel", 20, limit(-255, 255), image, backup, scratch, hud,
          icons, hasArea, areaMin, areaMax);
    modeCount = 3;
    changeMode(1);
}

void channel::action(int index) {
    const Rgba s = backup->data[index];
    Rgba d = s;
    switch (mode) {
        case 1:
            d.r = clampByte(byteRange, value1 + s.r);
            break;
        case 2:
            d.g = clampByte(byteRange, value1 + s.g);
            break;
        case 3:
            d.b = clampByte(byteRange, value1 + s.b);
            break;
        default:
            break;
    }
    image->data[index] = d;
}

void channel::changeMode(char m) {
    static const char* const titles[] = {"Morvane Application | Channel | Mode 1: Red",
                                         "Morvane Application | Channel | Mode 2: Green",
                                         "Morvane Application | Channel | Mode 3: Blue"};
    mode = m;
    if (m >= 1 && m <= 3) fwkSetWindowTitle(titles[m - 1]);
    leftDown = true;
    LBAction();
    leftDown = false;
}

void gray::action(int index) {
    const Rgba s = backup->data[index];
    Rgba& d = image->data[index];
    const unsigned char level = clampByte(byteRange, 0.27f * s.r + 0.58f * s.g + 0.15f * s.b);
    d.r = d.g = d.b = level;
}

// In place on image, so each application toggles the area.
void invert::action(int index) {
    Rgba& d = image->data[index];
    d.r = static_cast<unsigned char>(255 - d.r);
    d.g = static_cast<unsigned char>(255 - d.g);
    d.b = static_cast<unsigned char>(255 - d.b);
}

void posterize::action(int index) {
    const Rgba s = backup->data[index];
    Rgba& d = image->data[index];
    const float step = 255.0f / value1;  // value1 >= 1
    auto level = [&](int c) {
        return clampByte(byteRange, step * static_cast<float>(static_cast<int>((c + step / 2) / step)));
    };
    d.r = level(s.r);
    d.g = level(s.g);
    d.b = level(s.b);
}

void solarize::action(int index) {
    const Rgba s = backup->data[index];
    Rgba d = s;
    const float v = value1;
    if (s.r >= v) d.r = static_cast<unsigned char>(255 - s.r);
    if (s.g >= v) d.g = static_cast<unsigned char>(255 - s.g);
    if (s.b >= v) d.b = static_cast<unsigned char>(255 - s.b);
    image->data[index] = d;
}
