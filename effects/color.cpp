#include "effects/color.h"

// The weighted sums and quotients below are single precision, the precision of
// value1 and of Hsva. It also keeps gray's weights, which add up to one,
// turning more grey pixels into themselves than double precision does.

namespace {

// The adjustments: name, modes and their one setting (start, range, arrow step).
const effectInfo kBrightness = {"Brightness", {}, {20, -255, 255, 5}, {}};
const effectInfo kContrast = {"Contrast", {}, {20, -255, 255, 5}, {}};
const effectInfo kSaturation = {"Saturation", {}, {20, -255, 255, 5}, {}};
const effectInfo kHue = {"Hue", {}, {20, 0, 359, 5}, {}};
const effectInfo kColorize = {"Colorize", {}, {20, 0, 359, 5}, {}};
const effectInfo kChannel = {"Channel", {"Red", "Green", "Blue"}, {20, -255, 255, 5}, {}};
const effectInfo kGray = {"Gray", {}, {0, 0, 0, 0}, {}};
const effectInfo kInvert = {"Invert", {}, {0, 0, 0, 0}, {}};
const effectInfo kPosterize = {"Posterize", {}, {8, 1, 255, 5}, {}};
const effectInfo kSolarize = {"Solarize", {}, {150, 0, 255, 5}, {}};

// byteRange.intForceLimit, inline and without branches for the per-pixel rules
// (on noisy pictures a branch per channel mispredicts often).
inline unsigned char clampByte(const limit& range, int v) {
    const int low = v < range.min ? range.min : v;
    return static_cast<unsigned char>(v > range.max ? range.max : low);
}

// Every rule's result is far inside int, so truncating first gives the same.
inline unsigned char clampByte(const limit& range, float v) {
    return clampByte(range, static_cast<int>(v));
}

// Hues wrap at 359 instead of stopping; value1Range is not consulted.
void stepHue(color& e, char key) {
    if (key == 'e') e.value1 += e.info->value1.step;
    if (key == 'g') e.value1 -= e.info->value1.step;
    if (e.value1 > 359) {
        e.value1 = 0;
    } else if (e.value1 < 0) {
        e.value1 = 359;
    }
}

}  // namespace

// Each constructor commits the picture as the source and applies once;
// channel's selects its first mode instead, which applies.
#define MORVANE_ADJUSTMENT(cls, row)                                                  \
    cls::cls(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud, \
             ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {          \
        begin(row, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);    \
        imageRgbaCopy(this->image, this->backup);                                     \
        if (modeCount > 1) {                                                          \
            changeMode(1);                                                            \
        } else {                                                                      \
            reapply();                                                                \
        }                                                                             \
    }

MORVANE_ADJUSTMENT(brightness, kBrightness)
MORVANE_ADJUSTMENT(contrast, kContrast)
MORVANE_ADJUSTMENT(saturation, kSaturation)
MORVANE_ADJUSTMENT(hue, kHue)
MORVANE_ADJUSTMENT(colorize, kColorize)
MORVANE_ADJUSTMENT(channel, kChannel)
MORVANE_ADJUSTMENT(gray, kGray)
MORVANE_ADJUSTMENT(invert, kInvert)
MORVANE_ADJUSTMENT(posterize, kPosterize)
MORVANE_ADJUSTMENT(solarize, kSolarize)

#undef MORVANE_ADJUSTMENT

// The rules read the members into locals and write each pixel in one store:
// byte stores could alias the members and force reloads.

void brightness::action(int index) {
    const limit range = byteRange;
    const int shift = static_cast<int>(value1);  // whole, within -255..255
    const Rgba s = backup->data[index];
    Rgba& d = image->data[index];
    d = Rgba{clampByte(range, s.r + shift), clampByte(range, s.g + shift),
             clampByte(range, s.b + shift), d.a};
}

void contrast::action(int index) {
    const limit range = byteRange;
    const float v = value1;
    const Rgba s = backup->data[index];
    Rgba& d = image->data[index];
    if (v >= 0) {
        // Stretch about the middle; even at 0 this moves 0 to 1.
        const float divisor = 256 - v;
        auto stretch = [&](int c) {
            return clampByte(range, static_cast<int>((c - 127.5f) * 255 / divisor) + 128);
        };
        d = Rgba{stretch(s.r), stretch(s.g), stretch(s.b), d.a};
    } else {
        auto flatten = [&](int c) {
            return clampByte(range, c + static_cast<int>((c - 128) / 255.0f * v));
        };
        d = Rgba{flatten(s.r), flatten(s.g), flatten(s.b), d.a};
    }
}

void saturation::action(int index) {
    const limit range = byteRange;
    const float factor = value1 / 255;
    const Rgba s = backup->data[index];
    Rgba& d = image->data[index];
    const int mean = (s.r + s.g + s.b) / 3;  // integer mean
    auto spread = [&](int c) {
        return clampByte(range, c + static_cast<int>(factor * (c - mean)));
    };
    d = Rgba{spread(s.r), spread(s.g), spread(s.b), d.a};
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

void channel::action(int index) {
    const limit range = byteRange;
    const float v = value1;
    const Rgba s = backup->data[index];
    Rgba d = s;
    switch (mode) {
        case 1:
            d.r = clampByte(range, v + s.r);
            break;
        case 2:
            d.g = clampByte(range, v + s.g);
            break;
        case 3:
            d.b = clampByte(range, v + s.b);
            break;
        default:
            break;
    }
    image->data[index] = d;
}

void channel::changeMode(char m) {
    showMode(m);
    leftDown = true;
    LBAction();
    leftDown = false;
}

void gray::action(int index) {
    const limit range = byteRange;
    const Rgba s = backup->data[index];
    Rgba& d = image->data[index];
    const unsigned char level = clampByte(range, 0.27f * s.r + 0.58f * s.g + 0.15f * s.b);
    d = Rgba{level, level, level, d.a};
}

// In place on image, so each application toggles the area.
void invert::action(int index) {
    Rgba& d = image->data[index];
    d = Rgba{static_cast<unsigned char>(255 - d.r), static_cast<unsigned char>(255 - d.g),
             static_cast<unsigned char>(255 - d.b), d.a};
}

void posterize::action(int index) {
    const limit range = byteRange;
    const float step = 255.0f / value1;  // value1 >= 1
    const Rgba s = backup->data[index];
    Rgba& d = image->data[index];
    auto level = [&](int c) {
        return clampByte(range, step * static_cast<float>(static_cast<int>((c + step / 2) / step)));
    };
    d = Rgba{level(s.r), level(s.g), level(s.b), d.a};
}

void solarize::action(int index) {
    const float v = value1;
    const Rgba s = backup->data[index];
    auto flip = [v](unsigned char c) { return c >= v ? static_cast<unsigned char>(255 - c) : c; };
    image->data[index] = Rgba{flip(s.r), flip(s.g), flip(s.b), s.a};
}
