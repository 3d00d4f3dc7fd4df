// The colour adjustments: one per-pixel rule each over the area, read from
// backup and written into image (invert alone works in place). `action` is
// the rule; `actionArea` gets the same pixels a row at a time, through tables
// or several pixels at once.
#pragma once

#include "effects/classes.h"

class brightness : public color {
public:
    static const effectInfo descriptor;
    brightness(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
               ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    void action(int index) override;
    void actionArea(pixelRect area) override;
};

class contrast : public color {
public:
    static const effectInfo descriptor;
    contrast(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
             ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    void action(int index) override;
    void actionArea(pixelRect area) override;
};

class saturation : public color {
public:
    static const effectInfo descriptor;
    saturation(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
               ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    void action(int index) override;
    void actionArea(pixelRect area) override;
};

// The value is a hue in degrees.
class hue : public color {
public:
    static const effectInfo descriptor;
    hue(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud, ImageRGBA* icons,
        bool hasArea, point areaMin, point areaMax);
    void action(int index) override;
    void actionArea(pixelRect area) override;
};

class colorize : public color {
public:
    static const effectInfo descriptor;
    colorize(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
             ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    void action(int index) override;
    void actionArea(pixelRect area) override;
};

// Modes 1 to 3 shift red, green or blue.
class channel : public color {
public:
    static const effectInfo descriptor;
    channel(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
            ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    void action(int index) override;
    void actionArea(pixelRect area) override;
};

class gray : public color {
public:
    static const effectInfo descriptor;
    gray(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud, ImageRGBA* icons,
         bool hasArea, point areaMin, point areaMax);
    void action(int index) override;
    void actionArea(pixelRect area) override;
};

class invert : public color {
public:
    static const effectInfo descriptor;
    invert(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
           ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    void action(int index) override;
    void actionArea(pixelRect area) override;
};

class posterize : public color {
public:
    static const effectInfo descriptor;
    posterize(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
              ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    void action(int index) override;
    void actionArea(pixelRect area) override;
};

class solarize : public color {
public:
    static const effectInfo descriptor;
    solarize(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
             ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    void action(int index) override;
    void actionArea(pixelRect area) override;
};
