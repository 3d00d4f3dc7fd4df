// The effect base class, its shared types and the family bases.
#pragma once

#include "effects/descriptor.h"
#include "image/imagergba.h"

#include <climits>
#include <cmath>
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
inline int truncToInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(v);
}

class matrix;

// An inclusive rectangle of pixels; empty when x0 > x1 or y0 > y1.
struct pixelRect {
    int x0, y0, x1, y1;
};

// What the overlay in `hud` is composed from, the ants' phase aside.
struct overlaySource {
    const ImageRGBA* image;
    const ImageRGBA* hud;
    bool area, menu;
    pixelRect rect;
    int8_t modeCount;
    bool usesColor;
    Rgba color;
    float value1, value2;
    limit value1Range, value2Range, xRange, yRange, byteRange;
    bool operator==(const overlaySource& o) const;
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
    const effectInfo* info{};  // what this effect is: never null
    // What `hud` was last composed from, while it holds a composition of ours.
    overlaySource hudSource{};
    bool hudComposed{};

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
    // The family's undo: the committed picture back into image.
    virtual void RBAction();
    virtual void colorChangeAction();
    // Space toggles the menu; Delete steps the size where the family has one.
    virtual void key(unsigned char c);
    // F1 to F<modeCount> select a mode; the arrows, and Page Down where the
    // family has a size, step the settings.
    virtual void specialKey(int k);
    virtual void setXY(float x, float y);
    // The mode, its title and, where modes bring their own, its settings;
    // shown at once where the effect has several modes.
    virtual void changeMode(char m);
    // The arrows step the settings as the family pairs them, each then
    // wrapped or clamped (and truncated) into its range; Delete and Page Down
    // step the size. Every code but 0 (the menu's slider click, whose press
    // applies anyway) shows the change at once, and 0 too where the
    // descriptor says so.
    virtual void changeValue(char c);
    virtual void showArea();
    virtual void showMenu();
    virtual bool useMenu(bool click);
    virtual void showHud();
    virtual void refreshImage();

    // The area with each corner clamped into the picture: an area handed on
    // may reach beyond it, and nothing may be read or written outside.
    pixelRect areaInPicture() const;
    // LBAction (reapply) or idleAction (renderOnce) at once, as if the left
    // button were held: how a changed setting shows.
    void reapply();
    void renderOnce();
    // A concrete constructor: setUp, then whatever the effect prepares for
    // its pixel work, then start; begin is both, for those with nothing to
    // prepare.
    void begin(const effectInfo& d, ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch,
               ImageRGBA* hud, ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    // The plain title, startup with the real arguments, then everything the
    // descriptor starts with, the copies of the picture last.
    void setUp(const effectInfo& d, ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch,
               ImageRGBA* hud, ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    // The start mode where there are several modes, else the first showing.
    void start();
    // Where value2's upper end follows value1: worked out again, and value2
    // clamped into it.
    void followValue1();

    effect(const effect&) = delete;
    effect& operator=(const effect&) = delete;

protected:
    // A family base's: no images yet (the member's constructor starts it),
    // the family's keys.
    explicit effect(const effectInfo& unnamed);

private:
    void takeSettings(int m);
    int upperEnd(const settingInfo& s) const;
    void applyChange();
    void withButtonHeld(void (effect::*hook)());
};

// The menu's colour palette: the hue field and the brightness strip.
bool inPalette(point p);

// The family bases. Each holds what its members share: the family's row,
// and a descriptor for a member that brings none of its own (it keys as the
// family does and has no settings).

// Tools family: groups scroll, selection, draw and telescope.
class tools : public effect {
public:
    static const familyInfo family;
    static const effectInfo unnamed;
    tools();
};

// Colour family: a per-pixel rule applied to the area, read from backup.
class color : public effect {
public:
    static const familyInfo family;
    static const effectInfo unnamed;
    color();
    void LBAction() override;
    // Pixel index y * width + x of `image`.
    virtual void action(int index);
    // The area, row by row: `action` on every pixel. Rules with a faster way
    // to the same pixels override it.
    virtual void actionArea(pixelRect area);

protected:
    // For rules whose result in each channel depends on that channel alone:
    // tables read off `action` once, then every row of the area through them.
    // `source` is the image the rule reads (backup, or image for one that
    // works in place).
    void actionByTables(pixelRect area, const ImageRGBA* source);
};

// Geometric family: warps rendered live under the pointer from backup.
class geometric : public effect {
public:
    static const familyInfo family;
    static const effectInfo unnamed;
    geometric();
    void idleAction() override;
    // End switches between nearest and bilinear sampling.
    void specialKey(int k) override;
    // Renders only with the pointer on the picture or just past its last
    // column or row.
    bool pointerOnPicture() const;
};

// Distortion family: the area rebuilt from backup once per click or change.
class distort : public effect {
public:
    static const familyInfo family;
    static const effectInfo unnamed;
    distort();
    void LBAction() override;
};

// Artistic family: stylised pictures made from backup once per click or change.
class artistic : public effect {
public:
    static const familyInfo family;
    static const effectInfo unnamed;
    artistic();
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

// applyMatrix over runs of pixels, many at once: each pixel gets the same
// single-precision sums in the same order. Each picture row a kernel needs is
// turned once into float rows with its clamped samples laid out, and kept
// while the kernel's rows pass over it, so the sums run without clamping.
// Memory is reused from call to call within a thread.
class convolution {
public:
    // For output columns x0..x1 of any row. A `turned` source is the
    // transpose of the picture (image/turned.h): a kernel's rows run across
    // its rows there, and its sums keep the kernel's order.
    convolution(const ImageRGBA* source, point areaMin, point areaMax, int x0, int x1,
                bool turned = false);
    ~convolution();
    // out[x - xa] = applyMatrix(source, kernel, x, y, areaMin, areaMax) for
    // x from xa to xb, inside x0..x1.
    void row(const matrix* kernel, int y, int xa, int xb, Rgba* out);

    convolution(const convolution&) = delete;
    convolution& operator=(const convolution&) = delete;

private:
    const float* samples(int sy);  // the float rows of picture row sy

    const ImageRGBA* source_;
    point areaMin_, areaMax_;
    int x0_, x1_;
    size_t plane_ = 0;  // floats in one channel's row
    int firstSame_ = 0, lastSame_ = -1;  // where a sample is its own column
    int* columns_ = nullptr;             // the clamped column of each sample
    int tags_[11];                       // the picture row each slot holds
    float* rows_ = nullptr;              // 11 slots of red, green and blue rows
    bool ownMemory_ = false;
    bool turned_ = false;
};

// Convolution filter family.
class matrices : public effect {
public:
    static const familyInfo family;
    static const effectInfo unnamed;
    matrices();
    // Every pixel of the area through matrixRow; a narrow area is worked on
    // turned, with image, backup and scratch standing for their transposes.
    void LBAction() override;
    // One pixel: the row operation for x alone.
    virtual void matrixAction(int x, int y);
    // Pixels x0..x1 of row y: image = the kernel of slot trunc(value1).
    // Rows are independent, so the area's rows may run on both cores.
    virtual void matrixRow(convolution& rows, int y, int x0, int x1);
    // The kernel of a slot; null for an empty slot or one outside the table.
    matrix* kernelAt(int slot) const;
    matrix* currentKernel() const { return kernelAt(truncToInt(value1)); }
    // Deletes every kernel and empties its slot.
    void freeKernels();
};
