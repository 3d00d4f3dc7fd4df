// The distortions: tilings, dots, lines and noise rebuilt from backup.
#pragma once

#include "effects/classes.h"

// Square tiles of their average colour, parted by a gap in `color`.
class mosaic : public distort {
public:
    mosaic(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
           ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    void LBAction() override;
    void colorChangeAction() override;
};

// Square tiles of their average colour with a bevelled edge; the mode sets
// how much the brightness of the tiles above and to the left tilts it.
class box : public distort {
public:
    box(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud, ImageRGBA* icons,
        bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    void LBAction() override;
};

// Triangles of their average colour, every other row shifted by half a cell.
class comb : public distort {
public:
    comb(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
         ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    void LBAction() override;
};

// The picture through a grid of round holes over a smoothed (mode 1) or
// plain (mode 2) background.
class dots : public distort {
public:
    dots(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
         ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    void LBAction() override;
    void colorChangeAction() override;
};

// Every cell as a red, a green and a blue disc sized by its content, lit on
// black (mode 1) or cleared from white (mode 2).
class rgbdots : public distort {
public:
    rgbdots(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
            ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    void LBAction() override;
};

// Rows (mode 1) or columns (mode 2) in runs of random length, each of its
// average colour.
class lines : public distort {
public:
    lines(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
          ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    void LBAction() override;
};

// Random values mixed into a random share of the pixels, plain (mode 1) or
// tinted by `color` (mode 2).
class noise : public distort {
public:
    noise(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
          ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    void LBAction() override;
    void colorChangeAction() override;
};
