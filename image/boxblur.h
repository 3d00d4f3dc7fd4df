// Box blurs by running sums: a pass along rows or columns, and gaussian's
// iterated pass pairs (streamed through the cache by image/boxpipe where
// they can be).
#pragma once

#include "image/imagergba.h"

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
