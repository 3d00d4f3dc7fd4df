// The iterated box blur streamed: every pass pair advances row by row behind
// the one before it, so that the intermediate pictures live in a few rows of
// cache instead of travelling through memory once per pass.
#pragma once

#include "image/imagergba.h"

#include <vector>

// One pass pair: the radius of its row pass and of its column pass (each
// already limited to the region's span).
struct boxPassPair {
    int across, down;
};

// Runs the pass pairs over the region x1..x2, y1..y2 (inside all three
// images) as the row pass into temp and the column pass back into target
// would, pair after pair, replacing pixels, the first row pass reading src
// (which may be target): target ends with the blur, temp with the last row
// pass. Returns false, touching nothing, where a window is too wide for the
// streamed sums or the rows to keep would take too much memory; the caller
// then runs the passes one by one.
bool streamBoxPasses(ImageRGBA* temp, ImageRGBA* target, const ImageRGBA* src, int x1, int y1,
                     int x2, int y2, const std::vector<boxPassPair>& passes);
