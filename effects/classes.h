// The effect base class, its shared types and the family bases.
#pragma once

#include "image/imagergba.h"

#include <cstdint>
#include <string>

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

// One setting as its family's table gives it: start value, range and the step
// of its arrow keys.
struct settingInfo {
    float start;
    int min;
    int max;
    float step;
};

// One effect as its family's table gives it: the family base reads titles,
// modes and settings from here, so nothing of it is repeated in constructors
// or key handlers.
struct effectInfo {
    const char* name;      // follows "Morvane Application | " in the title
    const char* modes[8];  // mode names in order; the unused ones null
    settingInfo value1;
    settingInfo value2;
    int modeCount() const;
};

// "Morvane Application | <name>", and " | Mode <m>: <mode name>" for a mode
// from 1 to the row's mode count.
std::string effectTitle(const effectInfo& info, int mode = 0);

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
    const effectInfo* info{};  // the family table's row; null for the plain effect
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
    // What a concrete constructor does after its family base: its title,
    // startup with the real arguments, then the mode count and both settings
    // from its table row. Committing and the first application stay with the
    // family.
    void begin(const effectInfo& row, ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch,
               ImageRGBA* hud, ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    // Stores the mode and puts up its title from the table row.
    void showMode(char m);
    // Up and Down step value1, Right and Left value2, by the steps of the
    // table row; nothing is clamped.
    void stepValues(char c);
    // Delete and Page Down step `size` within 1 to 30.
    void stepSize(char c);
    // Both values clamped into their ranges and truncated.
    void clampValues();

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
    geometric();
    void idleAction() override;
    void RBAction() override;
    void specialKey(int k) override;
    // The mode and its title, then a render at the current pointer.
    void changeMode(char m) override;
    void changeValue(char c) override;
    // Right/Left step value1, Up/Down value2, by the row's steps, clamped.
    virtual void keyRIGHT();
    virtual void keyLEFT();
    virtual void keyUP();
    virtual void keyDOWN();
    // idleAction at once, as if the left button were held.
    void renderOnce();
    // A concrete constructor's steps before its first render: title,
    // startup, the row's settings, commit, nearest sampling; `live` warps
    // take every key and motion event.
    void beginWarp(const effectInfo& row, ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch,
                   ImageRGBA* hud, ImageRGBA* icons, bool hasArea, point areaMin, point areaMax,
                   bool live);
    // Renders only with the pointer on the picture or just past its last
    // column or row.
    bool pointerOnPicture() const;
};

// Distortion family: the area rebuilt from backup once per click or change.
class distort : public effect {
public:
    // Upper ends of a size in a family table row that only the area decides:
    // its larger side, or a fifth of that.
    static constexpr int largerSide = -1;
    static constexpr int fifthOfLargerSide = -2;

    distort();
    void LBAction() override;
    void RBAction() override;
    void changeValue(char c) override;
    // range.intForceLimit(v) as a byte, for a finite v well inside int,
    // where truncating first gives the same; inline and without branches
    // for the per-pixel loops (on noisy pictures a branch mispredicts often).
    static unsigned char toByte(const limit& range, float v) {
        const int t = static_cast<int>(v);
        const int low = t < range.min ? range.min : t;
        return static_cast<unsigned char>(low > range.max ? range.max : low);
    }

protected:
    // begin(), then the upper ends marked above taken from the area.
    void beginOnArea(const effectInfo& row, ImageRGBA* image, ImageRGBA* backup,
                     ImageRGBA* scratch, ImageRGBA* hud, ImageRGBA* icons, bool hasArea,
                     point areaMin, point areaMax);
};

// Artistic family: stylised pictures made from backup once per click or change.
class artistic : public effect {
public:
    artistic();
    void RBAction() override;
    void key(unsigned char c) override;
    void specialKey(int k) override;
    void changeValue(char c) override;
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
    // For output columns x0..x1 of any row.
    convolution(const ImageRGBA* source, point areaMin, point areaMax, int x0, int x1);
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
};

// Convolution filter family.
class matrices : public effect {
public:
    matrices();
    void LBAction() override;
    void RBAction() override;
    void key(unsigned char c) override;
    void specialKey(int k) override;
    void changeValue(char c) override;
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
