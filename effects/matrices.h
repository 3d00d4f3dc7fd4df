// Convolution filters: the matrices family. Each reads the committed picture
// (backup) and writes the area of image.
#pragma once

#include "effects/classes.h"

#include <utility>
#include <vector>

// Seven ways of softening: box, iterated box, rows only, columns only, along
// a direction, along rays from the pointer and along rings around it.
class blur : public matrices {
public:
    blur(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud, ImageRGBA* icons,
         bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    void LBAction() override;
};

// Unsharp masking with a box or iterated blur, or one of ten 3 by 3 kernels.
class sharpen : public matrices {
public:
    sharpen(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
            ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    ~sharpen() override;
    void LBAction() override;
};

// Laplace, ring, Sobel and ghost kernels at five radii; the Sobel pair
// combined, and edges added to or taken from the picture.
class edge : public matrices {
public:
    edge(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud, ImageRGBA* icons,
         bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    ~edge() override;
    void changeMode(char m) override;
    void matrixRow(convolution& rows, int y, int x0, int x1) override;
};

// Light from eight directions at five radii.
class emboss : public matrices {
public:
    emboss(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
           ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    ~emboss() override;
    void changeMode(char m) override;
};

// Each pixel the mean of its four diagonal neighbours at a distance.
class separate : public matrices {
public:
    separate(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
             ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    ~separate() override;
};

// A blurred copy mixed into the picture in a chosen proportion.
class halfblur : public matrices {
public:
    halfblur(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
             ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    void LBAction() override;
};

// The bright parts blurred and added as a glow.
class whiteblur : public matrices {
public:
    whiteblur(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
              ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    void LBAction() override;
};

// The dark parts blurred and taken away as a haze.
class blackblur : public matrices {
public:
    blackblur(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
              ImageRGBA* icons, bool hasArea, point areaMin, point areaMax);
    static const effectInfo descriptor;
    void LBAction() override;
};

// Adds step to a in single precision, one rounded sum at a time, and stops at
// the first value not below `until`; false when the step is lost below a's
// precision first. Whole runs of equal sums are taken at once.
bool stepAngle(float& a, float step, double until);

// The steps k, among the first `steps`, of the spheric blur's ring of radius r
// around `centre`, at the float angles k atan(1 / r), whose positions can fall
// in `box`: runs of them, in order.
std::vector<std::pair<long long, long long>> sphericStepsNear(pixelRect box, point centre,
                                                              long long r, long long steps);

// The radial blur's gap fill with the pointer far off the area, where the
// probes of a row run side by side; false, leaving the image, when the
// pointer is too near for it.
bool fillRadialGapsAlongLines(ImageRGBA* image, pixelRect a, point centre);
