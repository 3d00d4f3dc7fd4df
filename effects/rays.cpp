#include "effects/rays.h"

#include "image/pi.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

float rayLength(long long dx, long long dy) {
    return std::sqrt(static_cast<float>(double(dx) * double(dx) + double(dy) * double(dy)));
}

float rayAngle(long long dx, long long dy) {
    if (dy == 0) return static_cast<float>(kPi / 2);
    return static_cast<float>(
        std::atan(static_cast<double>(std::llabs(dx)) / static_cast<double>(std::llabs(dy))));
}

namespace {

// The first k in lo..hi where `holds` is true, for a test that is false and
// then true as k grows; hi + 1 when it never holds.
template <class Test>
long long firstWhere(long long lo, long long hi, Test holds) {
    while (lo <= hi) {
        const long long mid = lo + (hi - lo) / 2;
        if (holds(mid)) {
            hi = mid - 1;
        } else {
            lo = mid + 1;
        }
    }
    return lo;
}

// The k in 0..last where lo <= at(k) <= hi, for at(k) monotone in k: rising
// when `rising`, else falling. Empty when first > end.
template <class At>
void stepsWithin(long long last, bool rising, int lo, int hi, At at, long long& first,
                 long long& end) {
    if (rising) {
        first = firstWhere(0, last, [&](long long k) { return at(k) >= lo; });
        end = firstWhere(0, last, [&](long long k) { return at(k) > hi; }) - 1;
    } else {
        first = firstWhere(0, last, [&](long long k) { return at(k) <= hi; });
        end = firstWhere(0, last, [&](long long k) { return at(k) < lo; }) - 1;
    }
}

}  // namespace

rays::rays(pixelRect area, point centre, float v, widening w, written at,
           const ImageRGBA* samples)
    : area_(area),
      cx_(centre.x),
      cy_(centre.y),
      v_(v),
      widening_(w),
      written_(at),
      samples_(samples) {}

// Quadrant by quadrant: the left border pixels from the top, then from the
// bottom, the right ones from the top, then from the bottom; each quadrant
// runs along its row of the border from the corner toward the centre.
void rays::eachRay(const std::function<void()>& walk) {
    // A ray runs v past its border pixel, so one through a pixel further than
    // that beyond the area, with the centre further still, misses it. The
    // margin allows for the rounding of single precision far from the picture.
    const long long past = static_cast<long long>(std::min(std::fabs(v_), 1e9f)) + 4 +
                           (std::llabs(cx_) + std::llabs(cy_) + samples_->width + samples_->height) /
                               65536;
    const long long x1 = area_.x0, y1 = area_.y0, x2 = area_.x1, y2 = area_.y1;
    const long long leftTo = std::min(cx_, x2 + past), rightTo = std::max(cx_, x1 - past);
    const long long upTo = std::min(cy_, y2 + past), downTo = std::max(cy_, y1 - past);
    auto cast = [&](long long x, long long y, int sx, int sy) {
        if (trace(x, y, sx, sy)) walk();
    };
    for (long long x = x1; x <= leftTo; ++x) {
        if (x == x1) {
            for (long long y = y1; y <= upTo; ++y) cast(x, y, -1, -1);
        } else {
            cast(x, y1, -1, -1);
        }
    }
    for (long long x = x1; x <= leftTo; ++x) {
        if (x == x1) {
            for (long long y = y2; y >= downTo; --y) cast(x, y, -1, 1);
        } else {
            cast(x, y2, -1, 1);
        }
    }
    for (long long x = x2; x >= rightTo; --x) {
        if (x == x2) {
            for (long long y = y1; y <= upTo; ++y) cast(x, y, 1, -1);
        } else {
            cast(x, y1, 1, -1);
        }
    }
    for (long long x = x2; x >= rightTo; --x) {
        if (x == x2) {
            for (long long y = y2; y >= downTo; --y) cast(x, y, 1, 1);
        } else {
            cast(x, y2, 1, 1);
        }
    }
}

// Only the steps whose samples lie in the area change anything. Both
// coordinates move one way along a ray, so those steps are one run, found
// by bisection.
bool rays::trace(long long bx, long long by, int sx, int sy) {
    const long long dx = cx_ - bx, dy = cy_ - by;
    if (dx == 0 && dy == 0) return false;  // no direction: the ray has no samples
    const float d = rayLength(dx, dy);
    const float t = rayAngle(dx, dy);
    const float sinT = std::sin(t), cosT = std::cos(t);
    const float fcx = static_cast<float>(cx_), fcy = static_cast<float>(cy_);
    auto xAt = [&](long long k) { return truncToInt(fcx + static_cast<float>(sx * k) * sinT); };
    auto yAt = [&](long long k) { return truncToInt(fcy + static_cast<float>(sy * k) * cosT); };
    reach_ = v_ + d;
    if (!(reach_ >= 0)) return false;
    // The steps k with k <= v + d in single precision.
    long long last = static_cast<long long>(std::floor(std::min(reach_, 4e18f)));
    while (static_cast<float>(last + 1) <= reach_) ++last;
    long long xFirst, xEnd, yFirst, yEnd;
    stepsWithin(last, sx * sinT >= 0, area_.x0, area_.x1, xAt, xFirst, xEnd);
    stepsWithin(last, sy * cosT >= 0, area_.y0, area_.y1, yAt, yFirst, yEnd);
    first_ = std::max(xFirst, yFirst);
    end_ = std::min(xEnd, yEnd);
    if (first_ > end_) return false;
    // A mean written at the window's centre trails the last sample in the
    // area by up to v steps.
    stop_ = written_ == written::atLead ? end_ : std::min(last, end_ + truncToInt(v_) + 1);
    path_.resize(static_cast<size_t>(end_ - first_ + 1));
    for (long long k = first_; k <= end_; ++k) path_[static_cast<size_t>(k - first_)] = point(xAt(k), yAt(k));
    return true;
}
