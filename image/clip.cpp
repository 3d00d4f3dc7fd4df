#include "image/clip.h"

#include <cmath>

int clippingCode(double x, double y, double xmin, double ymin, double xmax, double ymax) {
    int code = 0;
    if (xmin > x) code |= 1;
    if (x > xmax) code |= 2;
    if (ymin > y) code |= 4;
    if (y > ymax) code |= 8;
    return code;
}

namespace {

// v0 + (v1 - v0) * (edge - u0) / (u1 - u0). The stored end point is a float
// while its outcode comes from the double crossing, so an end point can sit
// exactly on the edge it is still reported outside of; then u1 == u0 and the
// end point itself is the crossing (0 / 0 would make it NaN).
double crossing(double v0, double v1, double u0, double u1, double edge) {
    if (u1 == u0) return v0;
    return v0 + (v1 - v0) * (edge - u0) / (u1 - u0);
}

}  // namespace

int clip(float* xs, float* ys, float xmin, float ymin, float xmax, float ymax) {
    for (int i = 0; i < 2; ++i) {
        xs[i] = clipSnap(xs[i], xmin, xmax);
        ys[i] = clipSnap(ys[i], ymin, ymax);
    }
    int code0 = clippingCode(xs[0], ys[0], xmin, ymin, xmax, ymax);
    int code1 = clippingCode(xs[1], ys[1], xmin, ymin, xmax, ymax);
    int result = 0;
    while (code0 + code1 != 0) {
        result = 1;
        if (code0 & code1) return 2;
        const int out = code0 ? code0 : code1;
        const double x0 = xs[0], y0 = ys[0], x1 = xs[1], y1 = ys[1];
        double nx = 0, ny = 0;
        // The tests go left, right, top, bottom, a later one overwriting an
        // earlier: with an x and a y bit set, the y edge is taken.
        if (out & (1 | 2)) {
            nx = out & 2 ? xmax : xmin;
            ny = crossing(y0, y1, x0, x1, nx);
        }
        if (out & (4 | 8)) {
            ny = out & 8 ? ymax : ymin;
            nx = crossing(x0, x1, y0, y1, ny);
        }
        const int code = clippingCode(nx, ny, xmin, ymin, xmax, ymax);
        const int end = out == code0 ? 0 : 1;
        xs[end] = static_cast<float>(nx);
        ys[end] = static_cast<float>(ny);
        (end == 0 ? code0 : code1) = code;
    }
    return result;
}
