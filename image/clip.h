// Cohen-Sutherland line clipping.
#pragma once

// Outcode bits: 1 left of xmin, 2 right of xmax, 4 above ymin, 8 below ymax.
int clippingCode(double x, double y, double xmin, double ymin, double xmax, double ymax);

// Clips (xs[0], ys[0])-(xs[1], ys[1]) in place: 0 inside, 1 shortened,
// 2 nothing inside.
int clip(float* xs, float* ys, float xmin, float ymin, float xmax, float ymax);
