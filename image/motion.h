// The motion blur's lines from above the region, for whole lengths that
// replace the destination, walked all at once: every line takes step k
// together, so the pixels that enter, leave and are written at that step
// lie side by side in a row.
#pragma once

#include "image/imagergba.h"

// Lines start at (first + l, across), l = 0..count - 1. At distance d a line
// is at column trunc(start + d * along) and row trunc(across + d * over),
// each product and sum rounded to single precision as the line walk rounds
// them.
struct MotionLines {
    int first, count;
    float across, along, over;
    const int* steps;  // per line: how many steps (k = 0 ..) it examines
};

// Whether the lines can be swept without changing a pixel: lines from
// different steps can then meet in a pixel only in the order that makes the
// later line's write the lasting one (see the .cpp).
bool motionSweepFits(const MotionLines& lines, int x1, int y1, int x2, int y2, int length);

// Does what walking the lines one after another with `length` (whole, 1 up)
// and no blending does, over the region x1..x2, y1..y2 of two different
// images.
void motionSweep(ImageRGBA* dest, const ImageRGBA* src, int x1, int y1, int x2, int y2, int length,
                 const MotionLines& lines);
