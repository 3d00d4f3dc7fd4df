// Regions a few columns wide and many times taller, turned over their
// diagonal: kernels that walk along rows, or put neighbouring columns in
// vector lanes, find long rows there instead of a pixel or two each.
#pragma once

#include "image/imagergba.h"

// Whether the region x1..x2, y1..y2 is narrow enough to be worked on turned.
bool narrowRegion(int x1, int y1, int x2, int y2);

// The transpose of a region, h = y2 - y1 + 1 pixels wide and w = x2 - x1 + 1
// tall: pixel (x, y) of the region at (y - y1, x - x1). Its memory is kept by
// the thread from call to call, one store per `slot` (0 to 2): a tall picture
// is worked on again and again while a setting is stepped, and fresh pages
// would cost as much as the work.
class TurnedRegion {
  public:
    TurnedRegion(int x1, int y1, int x2, int y2, int slot);
    TurnedRegion(const TurnedRegion&) = delete;
    TurnedRegion& operator=(const TurnedRegion&) = delete;

    ImageRGBA* image() { return &image_; }
    // The region of `from` into the transpose, or the transpose back into
    // the region of `to`; both pictures hold the region.
    void turn(const ImageRGBA* from);
    void turnBack(ImageRGBA* to) const;

  private:
    int x1_, y1_, x2_, y2_;
    ImageRGBA image_;
};
