// Drawing into a record: the dashed outline of an area, points, lines
// (clipped by image/clip) and ellipses, solid or inverted.
#pragma once

#include "image/imagergba.h"

// Marching ants: walks x2 (y2) down to x1 (y1), four pixels white and four
// black by phase.
void imageRgbaDrawHorizontalAreaLine(ImageRGBA* img, int x1, int x2, int y, int phase);
void imageRgbaDrawVerticalAreaLine(ImageRGBA* img, int y1, int y2, int x, int phase);

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
