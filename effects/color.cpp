#include "effects/color.h"

#include "image/bands.h"
#include "image/clamp.h"
#include "image/lanes.h"
#include "image/sampling.h"

// The weighted sums and quotients below are single precision, the precision of
// value1 and of Hsva. It also keeps gray's weights, which add up to one,
// turning more grey pixels into themselves than double precision does.

namespace {

const float kGrayRed = 0.27f, kGrayGreen = 0.58f, kGrayBlue = 0.15f;

// The area in runs of pixels: run(source pixels, image pixels, count).
template <class Run>
void eachRun(const effect& e, pixelRect area, const ImageRGBA* source, Run run) {
    const int width = e.image->width;
    ::eachRun(area.x0, area.y0, area.x1, area.y1, width, [&](int y, int xa, int xb) {
        const size_t at = static_cast<size_t>(y) * width + xa;
        run(source->data + at, e.image->data + at, xb - xa + 1);
    });
}

// The rules below on N pixels at once (runLanes), each the same arithmetic as
// its `action`.

// clampInt on every lane.
template <int N>
MORVANE_LANES_INLINE typename lanes::of<N>::i clampLanes(const limit& range,
                                                        typename lanes::of<N>::i v) {
    const typename lanes::of<N>::i low = v < range.min ? range.min : v;
    return v > range.max ? range.max : low;
}

struct grayKernel {
    template <int N>
    static MORVANE_LANES_INLINE void run(const Rgba* src, Rgba* dst, limit range) {
        using namespace lanes;
        const typename of<N>::u x = load<N>(src);
        const typename of<N>::f sum = kGrayRed * toFloat<N>(channelAt<N>(x, 0)) +
                                      kGrayGreen * toFloat<N>(channelAt<N>(x, 8)) +
                                      kGrayBlue * toFloat<N>(channelAt<N>(x, 16));
        const typename of<N>::i level = clampLanes<N>(range, truncate<N>(sum));
        store<N>(dst, pack<N>(level, level, level, load<N>(dst)));
    }
};

template <int N>
MORVANE_LANES_INLINE typename lanes::of<N>::i spread(const limit& range, float factor,
                                                    typename lanes::of<N>::i c,
                                                    typename lanes::of<N>::i mean) {
    using namespace lanes;
    return clampLanes<N>(range, c + truncate<N>(factor * toFloat<N>(c - mean)));
}

struct saturationKernel {
    template <int N>
    static MORVANE_LANES_INLINE void run(const Rgba* src, Rgba* dst, limit range, float factor) {
        using namespace lanes;
        const typename of<N>::u x = load<N>(src);
        const typename of<N>::i r = channelAt<N>(x, 0), g = channelAt<N>(x, 8), b = channelAt<N>(x, 16);
        // The integer mean: (r + g + b) / 3, exact this way for sums up to 765.
        const typename of<N>::i mean = ((r + g + b) * 43691) >> 17;
        store<N>(dst, pack<N>(spread<N>(range, factor, r, mean), spread<N>(range, factor, g, mean),
                              spread<N>(range, factor, b, mean), load<N>(dst)));
    }
};

// hue (the hue moved by `value`, wrapping by 359) and colorize (replaced by
// it). Unless `checked`, every hue stays in 0..359: hue's value lies in 0..359
// and RGBtoHSV's hues in -60..300, colorize's value is in 0..360.
template <bool replace, bool checked>
struct hueKernel {
    template <int N>
    static MORVANE_LANES_INLINE void run(const Rgba* src, Rgba* dst, float value) {
        using namespace lanes;
        typedef typename of<N>::f f;
        const typename of<N>::u x = load<N>(src);
        f h, s, v;
        RGBtoHSV<N>(x, h, s, v);
        if constexpr (replace) {
            h = f{} + value;
        } else {
            h = h + value;
            h = h > 359 ? h - 359 : h;
            h = h < 0 ? h + 359 : h;
        }
        if constexpr (!checked) {
            store<N>(dst, HSVtoRGB<N>(h, s, v, x));
        } else {
            const typename of<N>::i outside = ~((h >= 0) & (h < 360));
            store<N>(dst, HSVtoRGB<N>(outside ? f{} : h, s, v, x));
            if (none<N>(outside)) return;
            for (int k = 0; k < N; ++k) {
                if (outside[k]) {
                    dst[k] = HSVtoRGB(Hsva{h[k], s[k], v[k], static_cast<unsigned char>(x[k] >> 24)});
                }
            }
        }
    }
};

template <bool replace>
void hueRows(const effect& e, pixelRect area, bool checked) {
    const float value = e.value1;
    eachRun(e, area, e.backup, [&](const Rgba* src, Rgba* dst, int count) {
        if (checked) {
            runLanes<hueKernel<replace, true>>(src, dst, count, value);
        } else {
            runLanes<hueKernel<replace, false>>(src, dst, count, value);
        }
    });
}

}  // namespace

// The rules read the members into locals and write each pixel in one store:
// byte stores could alias the members and force reloads.

const effectInfo brightness::descriptor = {&family, "Brightness", {}, {20, -255, 255, 5}};

brightness::brightness(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
                       ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void brightness::action(int index) {
    const limit range = byteRange;
    const int shift = static_cast<int>(value1);  // whole, within -255..255
    const Rgba s = backup->data[index];
    Rgba& d = image->data[index];
    d = Rgba{clampByte(range, s.r + shift), clampByte(range, s.g + shift),
             clampByte(range, s.b + shift), d.a};
}

void brightness::actionArea(pixelRect area) { actionByTables(area, backup); }

const effectInfo contrast::descriptor = {&family, "Contrast", {}, {20, -255, 255, 5}};

contrast::contrast(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
                   ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
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

void contrast::actionArea(pixelRect area) { actionByTables(area, backup); }

const effectInfo saturation::descriptor = {&family, "Saturation", {}, {20, -255, 255, 5}};

saturation::saturation(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
                       ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
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

void saturation::actionArea(pixelRect area) {
    const limit range = byteRange;
    const float factor = value1 / 255;
    eachRun(*this, area, backup, [&](const Rgba* src, Rgba* dst, int count) {
        runLanes<saturationKernel>(src, dst, count, range, factor);
    });
}

// Hues go round: past 359 comes 0, below 0 comes 359. The slider's click
// applies at once.
const effectInfo hue::descriptor =
    effectInfo{&family, "Hue", {}, settingInfo{20, 0, 359, 5}.wrapping()}.applyingOnClick();

hue::hue(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
         ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void hue::action(int index) {
    Hsva p = RGBtoHSV(backup->data[index]);
    // Wraps by 359, not 360; RGBtoHSV gives negative hues between magenta and red.
    p.h += value1;
    if (p.h > 359) p.h -= 359;
    if (p.h < 0) p.h += 359;
    image->data[index] = HSVtoRGB(p);
}

void hue::actionArea(pixelRect area) {
    hueRows<false>(*this, area, !(value1 >= 0 && value1 <= 359));
}

const effectInfo colorize::descriptor =
    effectInfo{&family, "Colorize", {}, settingInfo{20, 0, 359, 5}.wrapping()}.applyingOnClick();

colorize::colorize(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
                   ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void colorize::action(int index) {
    Hsva p = RGBtoHSV(backup->data[index]);
    p.h = value1;
    image->data[index] = HSVtoRGB(p);
}

void colorize::actionArea(pixelRect area) {
    hueRows<true>(*this, area, !(value1 >= 0 && value1 < 360));
}

const effectInfo channel::descriptor = {
    &family, "Channel", {"Red", "Green", "Blue"}, {20, -255, 255, 5}};

channel::channel(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
                 ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
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

void channel::actionArea(pixelRect area) { actionByTables(area, backup); }

const effectInfo gray::descriptor = {&family, "Gray"};

gray::gray(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
           ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void gray::action(int index) {
    const limit range = byteRange;
    const Rgba s = backup->data[index];
    Rgba& d = image->data[index];
    const unsigned char level = clampByte(range, kGrayRed * s.r + kGrayGreen * s.g + kGrayBlue * s.b);
    d = Rgba{level, level, level, d.a};
}

void gray::actionArea(pixelRect area) {
    const limit range = byteRange;
    eachRun(*this, area, backup, [&](const Rgba* src, Rgba* dst, int count) {
        runLanes<grayKernel>(src, dst, count, range);
    });
}

const effectInfo invert::descriptor = {&family, "Invert"};

invert::invert(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
               ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

// In place on image, so each application toggles the area.
void invert::action(int index) {
    Rgba& d = image->data[index];
    d = Rgba{static_cast<unsigned char>(255 - d.r), static_cast<unsigned char>(255 - d.g),
             static_cast<unsigned char>(255 - d.b), d.a};
}

void invert::actionArea(pixelRect area) { actionByTables(area, image); }

const effectInfo posterize::descriptor = {&family, "Posterize", {}, {8, 1, 255, 5}};

posterize::posterize(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
                     ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
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

void posterize::actionArea(pixelRect area) { actionByTables(area, backup); }

const effectInfo solarize::descriptor = {&family, "Solarize", {}, {150, 0, 255, 5}};

solarize::solarize(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
                   ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void solarize::action(int index) {
    const float v = value1;
    const Rgba s = backup->data[index];
    auto flip = [v](unsigned char c) { return c >= v ? static_cast<unsigned char>(255 - c) : c; };
    image->data[index] = Rgba{flip(s.r), flip(s.g), flip(s.b), s.a};
}

void solarize::actionArea(pixelRect area) { actionByTables(area, backup); }
