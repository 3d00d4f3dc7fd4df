// The RGBA image record and its elementary operations.
#pragma once

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

// Record and elementary operations.
ImageRGBA* imageRgbaNew(int width, int height);  // null when memory is short
void imageRgbaFree(ImageRGBA* img);
ImageRGBA* imageRgbaClone(const ImageRGBA* img);
void imageRgbaCopy(const ImageRGBA* src, const ImageRGBA* dest);
void imageRgbaClear(ImageRGBA* img);
void imageRgbaSet(ImageRGBA* img, unsigned r, unsigned g, unsigned b, unsigned a);
void imageRgbaSetArea(ImageRGBA* img, int x1, int y1, int x2, int y2, Rgba colour);
