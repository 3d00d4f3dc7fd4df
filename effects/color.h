// The colour adjustments: one per-pixel rule each over the area, read from
// backup and written into image (invert alone works in place). `action` is
// the rule; `actionArea` gets the same pixels a row at a time, through tables
// or several pixels at once.
#pragma once

#include "effects/classes.h"

class brightness : public color {
public:
    brightness(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
               ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    void action(int index) override;
    void actionArea(pixelRect area) override;
};

class contrast : public color {
public:
    contrast(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
             ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    void action(int index) override;
    void actionArea(pixelRect area) override;
};

class saturation : public color {
public:
    saturation(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
               ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    void action(int index) override;
    void actionArea(pixelRect area) override;
};

// The value is a hue in degrees and wraps at 359 instead of stopping.
class hue : public color {
public:
    hue(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud, ImageRGBA* icons,
        bool hasArea, point areaMin, point areaMax);
    void action(int index) override;
    void actionArea(pixelRect area) override;
    void changeValue(char key) override;
};

class colorize : public color {
public:
    colorize(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
             ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    void action(int index) override;
    void actionArea(pixelRect area) override;
    void changeValue(char key) override;
};

// Modes 1 to 3 shift red, green or blue.
class channel : public color {
public:
    channel(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
            ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    void action(int index) override;
    void actionArea(pixelRect area) override;
    void changeMode(char m) override;
};

class gray : public color {
public:
    gray(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud, ImageRGBA* icons,
         bool hasArea, point areaMin, point areaMax);
    void action(int index) override;
    void actionArea(pixelRect area) override;
};

class invert : public color {
public:
    invert(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
           ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    void action(int index) override;
    void actionArea(pixelRect area) override;
};

class posterize : public color {
public:
    posterize(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
              ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    void action(int index) override;
    void actionArea(pixelRect area) override;
};

class solarize : public color {
public:
    solarize(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
             ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    void action(int index) override;
    void actionArea(pixelRect area) override;
};
