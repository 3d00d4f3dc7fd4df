// The geometric warps, rendered live under the pointer, and glass.
#pragma once

#include "effects/classes.h"

// ---------------------------------------------------------------------------
// Warps

// Sine displacement around the pointer: radial, along one axis or both.
class ripple : public geometric {
public:
    ripple(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
           ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    void idleAction() override;
};

// A power warp inside a radius: the disc, or a band along one axis, is
// magnified or pinched towards the pointer.
class bubble : public geometric {
public:
    bubble(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
           ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    void idleAction() override;
};

// Like ripple, but each axis moves with a sine of the other.
class wave : public geometric {
public:
    wave(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
         ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    void idleAction() override;
};

// Turns, zooms or mirrors a disc; sources outside the area show `color`.
class lens : public geometric {
public:
    lens(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
         ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    void idleAction() override;
};

// One swirl around the pointer, or a grid of them over the area.
class twirl : public geometric {
public:
    twirl(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
          ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    void idleAction() override;
    // Mode 2's grid: Right and Left step by whole cells.
    void changeValue(char c) override;
};

// A bevelled frame just inside the area: a fade towards `color`, or a lit
// and shaded edge. Redrawn whole on every tick while the button is held.
class buttonize : public geometric {
public:
    buttonize(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
              ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    void idleAction() override;
    void LBAction() override;
    void colorChangeAction() override;
};

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
    static const effectInfo descriptor;
    void LBAction() override;
    void colorChangeAction() override;
    // Delete, Page Down, Insert, Page Up, Home and End move the light.
    void key(unsigned char c) override;
    void specialKey(int k) override;
    void changeMode(char m) override;
    // The light's panel in the picture's top-left corner.
    void drawLightningMenu();
};
