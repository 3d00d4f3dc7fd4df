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

    effect(const effect&) = delete;
    effect& operator=(const effect&) = delete;
};
