// The tools: scroll, selection, draw and telescope.
#pragma once

#include "effects/classes.h"

// Moves the picture, or the contents of the area, with wrap-around while the
// left button is held; the right button brings back the picture of tool start.
class scroll : public tools {
public:
    static const effectInfo descriptor;
    scroll(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
           ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    void idleAction() override;
    void LBAction() override;
    void RBAction() override;
};

// Marks the rectangle every later effect works on; the right button clears it.
class selection : public tools {
public:
    static const effectInfo descriptor;
    selection(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
              ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    void moveAction() override;
    void LBAction() override;
    void RBAction() override;
};

// Pipette, freehand, line, rectangle, ellipse and circle, previewed by
// inversion while dragged and drawn clipped to the area on release.
class draw : public tools {
public:
    static const effectInfo descriptor;
    draw(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud, ImageRGBA* icons,
         bool hasArea, point areaMin, point areaMax);
    ~draw() override;
    void idleAction() override;
    void LB(bool down) override;
    void RBAction() override;
    void colorChangeAction() override;
    void key(unsigned char c) override;
    void changeMode(char m) override;
};

// A lens following the pointer while the left button is held: magnified or
// filtered view of the committed picture inside a disc.
class telescope : public tools {
public:
    static const effectInfo descriptor;
    telescope(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
              ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    ~telescope() override;
    void idleAction() override;
    void LB(bool pressed) override;
    void LBAction() override;
    void key(unsigned char c) override;
    // The settings, then the lens restarted at the pointer.
    void changeValue(char c) override;
};
