// Rays from a centre through every border pixel of an area, as the radial
// blur and shine cast them. Along each ray, in unit steps from the centre, a
// window of samples slides outward; its half-width grows from 0 at the centre
// to v at v steps past the border pixel.
#pragma once

#include "effects/classes.h"

#include <functional>
#include <vector>

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

    // `samples` is the picture the window reads, for fetching ahead.
    rays(pixelRect area, point centre, float v, widening w, written at, const ImageRGBA* samples);

    // Casts every ray in order, the window sliding along each: window.start()
    // as a ray begins, join(p) and leave(p) as a sample in the area enters and
    // leaves it, put(p, n) when the window, holding n > 0 samples, writes its
    // mean to the pixel p of the area.
    template <class Window>
    void cast(Window& window) {
        eachRay([&] { slide(window); });
    }

private:
    // Traces every ray that can meet the area, in order, and walks it.
    void eachRay(const std::function<void()>& walk);
    // The ray through border pixel (bx, by), going by sx and sy: its steps in
    // the area, if any.
    bool trace(long long bx, long long by, int sx, int sy);

    int halfWidth(long long k) const {
        if (k < 0) return 0;
        const float s = static_cast<float>(k);
        return truncToInt(widening_ == widening::stepShare ? s / reach_ * v_ : v_ * s / reach_);
    }

    template <class Window>
    void slide(Window& window);

    pixelRect area_;
    long long cx_, cy_;
    float v_;
    widening widening_;
    written written_;
    const ImageRGBA* samples_;

    // The ray traced last: its reach v + d, the steps first_..end_ in the
    // area with their positions, and the step the walk goes on to.
    float reach_ = 0;
    long long first_ = 0, end_ = -1, stop_ = -1;
    std::vector<point> path_;
};

template <class Window>
void rays::slide(Window& window) {
    window.start();
    auto at = [this](long long k) { return path_[static_cast<size_t>(k - first_)]; };
    int n = 0;
    int before2 = halfWidth(first_ - 2), before1 = halfWidth(first_ - 1);
    for (long long k = first_; k <= stop_; ++k) {
        const int a = halfWidth(k);
        // A window no wider than two steps back has moved on by one: its
        // trailing sample goes.
        if (k > 0 && a == before2) {
            const long long gone = k - 1 - 2 * static_cast<long long>(a);
            if (gone >= first_ && gone <= end_) {
                window.leave(at(gone));
                --n;
            }
        }
        before2 = before1;
        before1 = a;
        if (k <= end_) {
            // The rays cross rows far apart in memory: the sample a few steps
            // on is asked for early.
            if (k + 16 <= end_) {
                const point ahead = at(k + 16);
                __builtin_prefetch(samples_->data + static_cast<size_t>(ahead.y) * samples_->width +
                                   ahead.x);
            }
            window.join(at(k));
            ++n;
        }
        const long long to = written_ == written::atCentre ? k - a : k;
        if (n != 0 && to >= first_ && to <= end_) window.put(at(to), n);
    }
}
