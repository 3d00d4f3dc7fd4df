// The artistic filters: stylised pictures made from backup into the area of
// image once per click, mode or value change.
#pragma once

#include "effects/classes.h"

// Metallic look: the amplified channel sum of a blurred copy folded back and
// forth into 0..255.
class chrome : public artistic {
public:
    chrome(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
           ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    void LBAction() override;
};

// Posterised flat regions outlined in the current colour; param4 is the
// opacity of the outline.
class relief : public artistic {
public:
    relief(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
           ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    void LBAction() override;
    // Delete and Page Down step the opacity instead of the size, End turns
    // the outline off and on.
    void changeValue(char c) override;
    void specialKey(int k) override;
};

// Two levels by brightness (mode 1) or by edge strength (mode 2).
class bw : public artistic {
public:
    bw(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud, ImageRGBA* icons,
       bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    void LBAction() override;
};

// The bright pixels smeared into star, cross or X streaks and added back.
class starlight : public artistic {
public:
    starlight(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
              ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    void LBAction() override;
};

// The bright pixels smeared into rays away from the pointer and added back.
class shine : public artistic {
public:
    shine(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
          ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    void LBAction() override;
};

// Oil paint: each pixel takes the dominant colour of its window.
class brush : public artistic {
public:
    brush(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
          ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    void LBAction() override;
};

// The picture redrawn from random drops of colour.
class spatter : public artistic {
public:
    spatter(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
            ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    void LBAction() override;
};

// The picture reduced to a palette of the sizes of its largest colour groups;
// logs the group sizes.
class cutout : public artistic {
public:
    cutout(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
           ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    void LBAction() override;
};

// The picture redrawn with short straight strokes in random directions.
class strokes : public artistic {
public:
    strokes(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
            ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    void LBAction() override;
};
