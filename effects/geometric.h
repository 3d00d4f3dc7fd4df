// The geometric warps, rendered live under the pointer, and glass.
#pragma once

#include "effects/classes.h"

// ---------------------------------------------------------------------------
// Warps

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
