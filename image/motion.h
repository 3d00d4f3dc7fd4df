// The motion blur: a box filter along parallel straight lines.
#pragma once

#include "image/imagergba.h"

// Over the inclusive region x1..x2, y1..y2; blend 2 blends into the
// destination by alpha, anything else replaces it.
void motion_blur(ImageRGBA* dest, ImageRGBA* src, int x1, int y1, int x2, int y2,
                 float length, float angle, int mode, unsigned char blend);
