// Rays from a centre through every border pixel of an area, as the radial
// blur and shine cast them. Along each ray, in unit steps from the centre, a
// window of samples slides outward; its half-width grows from 0 at the centre
// to v at v steps past the border pixel.
#pragma once

#include "effects/classes.h"

#include <functional>

// The distance dx, dy: the square root, in single precision, of the exact
// sum of squares.
float rayLength(long long dx, long long dy);

// atan(|dx| / |dy|) in double, kept as a float; pi/2 on the centre's row.
float rayAngle(long long dx, long long dy);

class rays {
public:
    // How the half-width at step k grows over the ray's reach L = v + d:
    // trunc(k / L * v) or trunc(v * k / L), each in single precision.
    enum class widening { stepShare, scaled };
    // Where the window's mean goes: the pixel at its centre, or the one it
    // has just taken in.
    enum class written { atCentre, atLead };
    // What a write puts in a pixel, from the window's sums of r, g, b and a
    // over its n samples (n is not 0).
    using meanFn = Rgba (*)(const int sum[4], int n, const void* context);

    rays(pixelRect area, point centre, float v, widening w, written at);

    // Casts every ray in order over `samples`, and leaves in each pixel of
    // `out` that the rays write what the last write gives it; the others
    // keep what they hold.
    void cast(const ImageRGBA* samples, ImageRGBA* out, meanFn mean, const void* context) const;

private:
    pixelRect area_;
    long long cx_, cy_;
    float v_;
    widening widening_;
    written written_;
};

// The last whole number from k on that single precision rounds to the same
// float as k: beyond 2^24 they round in runs to multiples of 2, 4, ...
// Far out, a walk in unit steps takes such a run as one position.
long long lastOfFloat(long long k);

// Off, rays far from their centre are slid a step at a time like near ones:
// the yardstick the tests hold the float-at-a-time walk to.
extern bool raysWalkFloats;

// Runs `part` over the two halves of `area` across its longer side, one per
// core, when `split` and two cores work; else once over the whole area.
void inHalves(pixelRect area, bool split, const std::function<void(pixelRect)>& part);
