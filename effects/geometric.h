// The geometric warps, rendered live under the pointer, and glass.
#pragma once

#include "effects/classes.h"

// ---------------------------------------------------------------------------
// Warps

#define MORVANE_WARP_CONSTRUCTOR(cls)                                                              \
    cls(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud, ImageRGBA* icons, \
        bool hasArea, point areaMin, point areaMax)

// Sine displacement around the pointer: radial, along one axis or both.
class ripple : public geometric {
public:
    MORVANE_WARP_CONSTRUCTOR(ripple);
    void idleAction() override;
};

// A power warp inside a radius: the disc, or a band along one axis, is
// magnified or pinched towards the pointer.
class bubble : public geometric {
public:
    MORVANE_WARP_CONSTRUCTOR(bubble);
    void idleAction() override;
};

// Like ripple, but each axis moves with a sine of the other.
class wave : public geometric {
public:
    MORVANE_WARP_CONSTRUCTOR(wave);
    void idleAction() override;
};

// Turns, zooms or mirrors a disc; sources outside the area show `color`.
class lens : public geometric {
public:
    MORVANE_WARP_CONSTRUCTOR(lens);
    void idleAction() override;
    void keyUP() override;
    void keyDOWN() override;
};

// One swirl around the pointer, or a grid of them over the area.
class twirl : public geometric {
public:
    MORVANE_WARP_CONSTRUCTOR(twirl);
    void idleAction() override;
    void keyRIGHT() override;
    void keyLEFT() override;
};

// A bevelled frame just inside the area: a fade towards `color`, or a lit
// and shaded edge. Redrawn whole on every tick while the button is held.
class buttonize : public geometric {
public:
    MORVANE_WARP_CONSTRUCTOR(buttonize);
    void idleAction() override;
    void LBAction() override;
    void colorChangeAction() override;
};

#undef MORVANE_WARP_CONSTRUCTOR

// ---------------------------------------------------------------------------
// Glass

// The area seen through textured glass: a height map per mode stretched over
// square tiles displaces the pixels and, with a light on, brightens the
// facets that face it. param1 is the light's azimuth, param2 its elevation
// and param3 its intensity (0 switches it off).
class glass : public distort {
public:
    glass(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
          ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    void LBAction() override;
    void colorChangeAction() override;
    void key(unsigned char c) override;
    void specialKey(int k) override;
    void changeMode(char m) override;
    // The light's panel in the picture's top-left corner.
    void drawLightningMenu();
};
