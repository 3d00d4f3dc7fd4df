// Bilinear sampling, conversion between RGB and HSV, and a keeper of the
// highest values seen.
#pragma once

#include "image/imagergba.h"

struct Hsva {
    float h;  // degrees
    float s;  // 0..1
    float v;  // 0..1
    unsigned char a;
};

// Sampling and colour space.
Rgba imageRgbaInterpolate(ImageRGBA* img, float x, float y);
// out[i] = imageRgbaInterpolate(img, xs[i], ys[i]) for i below n.
void imageRgbaInterpolateRun(ImageRGBA* img, const float* xs, const float* ys, int n, Rgba* out);
int imageRgbaInterpolateSubImage(ImageRGBA* img, float x, float y, int w, int h, int offset);
Rgba imageRgbaInterpolateColors(float x, float y, Rgba c00, Rgba c10, Rgba c01, Rgba c11);
Hsva RGBtoHSV(Rgba c);
Rgba HSVtoRGB(Hsva c);


// Inserts v into the `count` highest values, kept in descending order;
// returns count.
int holdHighest(int* values, int count, int v);
