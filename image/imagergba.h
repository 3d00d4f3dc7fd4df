// RGBA image record, TIFF files, drawing primitives, sampling, colour space
// and blur kernels.
#pragma once

#include <string>

#include "image/check.h"

// One pixel. Read as a little-endian 32-bit word: red in bits 0-7, alpha in
// bits 24-31, the layout of libtiff's packed RGBA raster.
struct Rgba {
    unsigned char r, g, b, a;
};
static_assert(sizeof(Rgba) == 4, "Rgba must be one 32-bit word");

// Row-major pixels without gaps, row 0 at the top.
struct ImageRGBA {
    int width;
    int height;
    int bytesPerPixel;
    Rgba* data;
};

struct Hsva {
    float h;  // degrees
    float s;  // 0..1
    float v;  // 0..1
    unsigned char a;
};

// Record and elementary operations.
ImageRGBA* imageRgbaNew(int width, int height);  // null when memory is short
void imageRgbaFree(ImageRGBA* img);
ImageRGBA* imageRgbaClone(const ImageRGBA* img);
void imageRgbaCopy(const ImageRGBA* src, const ImageRGBA* dest);
void imageRgbaClear(ImageRGBA* img);
void imageRgbaSet(ImageRGBA* img, unsigned r, unsigned g, unsigned b, unsigned a);
void imageRgbaSetArea(ImageRGBA* img, int x1, int y1, int x2, int y2, Rgba colour);
void imageRgbaDrawHorizontalAreaLine(ImageRGBA* img, int x1, int x2, int y, int phase);
void imageRgbaDrawVerticalAreaLine(ImageRGBA* img, int y1, int y2, int x, int phase);

// What a read may take on. `accept` sees the declared size before any pixel
// memory is taken and refuses it by returning false with a reason.
struct TiffReadLimits {
    size_t maxSingleAlloc;  // libtiff's cap on any one of its allocations; 0: none
    bool (*accept)(unsigned width, unsigned height, std::string* reason);
};

// Null (read) or 1 (write) on failure; `reason`, when given, receives why.
// Only regular files are read. Writing goes to a temporary file renamed over
// `filename` only when complete, so a failed save leaves an earlier file
// intact; a link is followed and its target replaced, a read-only file is not.
ImageRGBA* imageRgbaReadTIFF(const char* filename, std::string* reason = nullptr,
                             const TiffReadLimits* limits = nullptr);
int imageRgbaWriteTIFF(const char* filename, const ImageRGBA* img, std::string* reason = nullptr);

// Drawing primitives. A clip rectangle is inclusive; maxX or maxY of -1 means
// the image width or height.
void imageRgbaDrawPoint(ImageRGBA* img, int x, int y, Rgba colour);
void imageRgbaDrawInvertedPoint(ImageRGBA* img, int x, int y);
void imageRgbaDrawLine(ImageRGBA* img, int x1, int y1, int x2, int y2, Rgba colour,
                       int minX, int minY, int maxX, int maxY);
void imageRgbaInvertLine(ImageRGBA* img, int x1, int y1, int x2, int y2,
                         int minX, int minY, int maxX, int maxY);
void imageRgbaDrawEllipse(ImageRGBA* img, int cx, int cy, int a, int b, Rgba colour,
                          int minX, int minY, int maxX, int maxY);
void imageRgbaInvertEllipse(ImageRGBA* img, int cx, int cy, int a, int b);

// Sampling and colour space.
Rgba imageRgbaInterpolate(ImageRGBA* img, float x, float y);
int imageRgbaInterpolateSubImage(ImageRGBA* img, float x, float y, int w, int h, int offset);
Rgba imageRgbaInterpolateColors(float x, float y, Rgba c00, Rgba c10, Rgba c01, Rgba c11);
Hsva RGBtoHSV(Rgba c);
Rgba HSVtoRGB(Hsva c);

// Blur kernels over the inclusive region x1..x2, y1..y2. blend 2 blends into
// the destination by alpha; anything else replaces it.
void horizontal_blur(ImageRGBA* dest, ImageRGBA* src, int x1, int y1, int x2, int y2,
                     float radius, int mode, unsigned char blend);
void vertical_blur(ImageRGBA* dest, ImageRGBA* src, int x1, int y1, int x2, int y2,
                   float radius, int mode, unsigned char blend);
void gaussian(ImageRGBA* temp, ImageRGBA* target, int x1, int y1, int x2, int y2,
              float radius, int mode, unsigned char blend);
// imageRgbaCopy(src, target) and then gaussian(..., blend 1): the same
// pixels, with the region read from src as the blur goes instead of copied.
void gaussianOfCopy(ImageRGBA* temp, ImageRGBA* target, const ImageRGBA* src, int x1, int y1,
                    int x2, int y2, float radius, int mode);
void motion_blur(ImageRGBA* dest, ImageRGBA* src, int x1, int y1, int x2, int y2,
                 float length, float angle, int mode, unsigned char blend);
int holdHighest(int* values, int count, int v);
