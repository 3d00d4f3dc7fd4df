// Work shared by the two cores in disjoint bands of rows or columns.
#pragma once

#include <algorithm>
#include <climits>

// The most threads a banded loop uses: 2 where the machine has two cores.
// Benchmarks set 1 to compare with single-threaded libraries.
extern int bandThreads;

// A band body by reference: calling inBands allocates nothing.
class BandBody {
  public:
    template <class F>
    BandBody(const F& f)  // NOLINT: lambdas convert where they are passed
        : object_(&f), call_([](const void* o, int first, int last) {
              (*static_cast<const F*>(o))(first, last);
          }) {}
    void operator()(int first, int last) const { call_(object_, first, last); }

  private:
    const void* object_;
    void (*call_)(const void*, int, int);
};

// Calls body(first, last) on parts of from..to that cover it once, shared
// between the caller and a helper thread when `work` (pixels) pays for it.
// The parts must not depend on each other, nor on their order. Called from
// inside a part, it runs that call's parts itself, in order. When a part
// throws, no further part starts, and the first exception reaches the
// caller once the parts under way have ended.
void inBands(int from, int to, double work, BandBody body);

// body(y, xa, xb) on both cores over the pixels y * width + xa .. y * width
// + xb of the inclusive area x0..x1, y0..y1 of a picture `width` pixels
// wide, for work that treats each pixel alike and alone. An area of whole
// rows is one run in memory and comes in parts of it, xb past the row's end,
// so that short rows, or a single long one, cost no more than any others.
template <class Body>
void eachRun(int x0, int y0, int x1, int y1, int width, const Body& body) {
    if (x0 > x1 || y0 > y1) return;
    const long long w = static_cast<long long>(x1) - x0 + 1;
    const long long pixels = w * (static_cast<long long>(y1) - y0 + 1);
    if (w < width || pixels > INT_MAX) {
        inBands(y0, y1, static_cast<double>(pixels), [&](int from, int to) {
            for (int y = from; y <= to; ++y) body(y, x0, x1);
        });
        return;
    }
    const long long kPart = 1 << 14;
    const int parts = static_cast<int>(std::min<long long>(64, (pixels + kPart - 1) / kPart));
    inBands(0, parts - 1, static_cast<double>(pixels), [&](int first, int last) {
        body(y0, static_cast<int>(pixels * first / parts),
             static_cast<int>(pixels * (last + 1) / parts - 1));
    });
}
