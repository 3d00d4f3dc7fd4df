// Cohen-Sutherland line clipping.
#pragma once

#include <cmath>

// Outcode bits: 1 left of xmin, 2 right of xmax, 4 above ymin, 8 below ymax.
int clippingCode(double x, double y, double xmin, double ymin, double xmax, double ymax);

// Clips (xs[0], ys[0])-(xs[1], ys[1]) in place: 0 inside, 1 shortened,
// 2 nothing inside.
int clip(float* xs, float* ys, float xmin, float ymin, float xmax, float ymax);

// Points a hair outside an edge count as on it, so rounding noise in the
// callers' coordinates does not shorten a segment.
inline float clipSnap(float v, float lo, float hi) {
    const float eps = std::fabs(hi - lo) / 10000;
    if (std::fabs(lo - v) <= eps) v = lo;
    if (std::fabs(hi - v) <= eps) v = hi;
    return v;
}

// Whether clip() keeps the whole-pixel end coordinate v within 0..hi as it
// is: inside, exact as a float, and not snapped onto an edge. Below 10000
// the snapping margin is under a pixel and moves no whole pixel.
inline bool clipKeeps(int v, int hi) {
    if (v < 0 || v > hi) return false;
    return hi < 10000 || (v < (1 << 24) && clipSnap(static_cast<float>(v), 0.0f, static_cast<float>(hi)) ==
                                               static_cast<float>(v));
}
