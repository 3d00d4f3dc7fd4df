// The effect base class, its shared types and the family bases.
#pragma once

#include "image/imagergba.h"

#include <cstdint>

struct point {
    int x;
    int y;
    point(int x = 0, int y = 0) : x(x), y(y) {}
    void set(int nx, int ny) {
        x = nx;
        y = ny;
    }
    // Inclusive on all four sides.
    bool checkArea(point min, point max) const {
        return min.x <= x && x <= max.x && min.y <= y && y <= max.y;
    }
};

// An integer range; min <= max is not enforced. The test against max comes
// first, so with min > max large values give max and small ones min.
struct limit {
    int min;
    int max;
    limit(int min = 0, int max = 0) : min(min), max(max) {}
    void set(int nmin, int nmax) {
        min = nmin;
        max = nmax;
    }
    bool checkLimit(float v) const { return min <= v && v <= max; }
    float forceLimit(float v) const;
    int intForceLimit(float v) const;
};

// Float to int, truncating toward zero, for values that may come from
// arbitrary pointer positions and zooms: out-of-range values saturate and
// NaN gives 0 instead of undefined behaviour.
int truncToInt(double v);

class matrix;

// An inclusive rectangle of pixels; empty when x0 > x1 or y0 > y1.
struct pixelRect {
    int x0, y0, x1, y1;
};

class effect {
public:
    ImageRGBA* image{};    // working picture, written by effects and saved
    ImageRGBA* backup{};   // committed picture: filters read it, right button restores it
    ImageRGBA* scratch{};  // work picture for intermediate results
    ImageRGBA* hud{};      // overlay composed from outline, menu and image
    ImageRGBA* shown{};    // whichever of image and hud is displayed
    ImageRGBA* icons{};    // the 400 by 113 icon atlas
    point cursor{};
    bool leftDown{};
    bool rightDown{};
    bool busy{};
    bool throttle{};
    point anchor{};
    point dragPoint{};
    point areaMin{};
    point areaMax{};
    int32_t antsPhase{};
    bool hasArea{};
    bool menuOn{};
    bool usesColor{};
    Rgba color{};
    int8_t mode{};
    int8_t modeCount{};
    float value1{};
    float value2{};
    limit value1Range{};
    limit value2Range{};
    limit xRange{};
    limit yRange{};
    limit byteRange{};
    point shapeStart{};
    point shapeEnd{};
    bool shapeDone{};
    bool shapeDirty{};
    bool warpToggle{};
    matrix* kernels[10]{};
    int32_t size{};
    float param1{};
    float param2{};
    float param3{};
    float param4{};

    effect(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
           ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    virtual ~effect();
    virtual void startup(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
                         ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    virtual void idle();
    virtual void idleAction();
    virtual void move();
    virtual void moveAction();
    virtual void LB(bool pressed);
    virtual void LBAction();
    virtual void RB(bool pressed);
    virtual void RBAction();
    virtual void colorChangeAction();
    virtual void key(unsigned char c);
    virtual void specialKey(int k);
    virtual void setXY(float x, float y);
    virtual void changeMode(char m);
    virtual void changeValue(char c);
    virtual void showArea();
    virtual void showMenu();
    virtual bool useMenu(bool click);
    virtual void showHud();
    virtual void refreshImage();

    // The area with each corner clamped into the picture: an area handed on
    // may reach beyond it, and nothing may be read or written outside.
    pixelRect areaInPicture() const;
    // LBAction at once, as if the left button were held: how a changed
    // setting is applied.
    void reapply();

    effect(const effect&) = delete;
    effect& operator=(const effect&) = delete;
};

// The menu's colour palette: the hue field and the brightness strip.
bool inPalette(point p);

// Tools family: groups scroll, selection, draw and telescope.
class tools : public effect {
public:
    tools();
};

// Colour family: a per-pixel rule applied to the area, read from backup.
class color : public effect {
public:
    color();
    void LBAction() override;
    void RBAction() override;
    void changeValue(char key) override;
    // Pixel index y * width + x of `image`.
    virtual void action(int index);
};

// A square kernel of odd side 1 to 11, centred in an 11 by 11 grid.
class matrix {
public:
    int16_t divisor;
    float grid[11][11];
    int8_t radius;
    matrix(float* values, char radius, short divisor);
    void convertMatrix(float* values);
    ~matrix();
};

// One output pixel of `kernel` at (x, y), every sample clamped into the area.
Rgba applyMatrix(ImageRGBA* source, matrix* kernel, int x, int y, point areaMin, point areaMax);

// Convolution filter family.
class matrices : public effect {
public:
    matrices();
    void LBAction() override;
    void RBAction() override;
    void key(unsigned char c) override;
    void specialKey(int k) override;
    void changeValue(char c) override;
    virtual void matrixAction(int x, int y);
};
