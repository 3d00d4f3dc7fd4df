#include "effects/rays.h"

#include "image/bands.h"
#include "image/pi.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The exact sum of squares: doubles hold it below 2^53; a pointer far off
// the picture needs 128 bits.
template <class Real>
Real squareOf(long long dx, long long dy) {
    const unsigned long long ax = std::llabs(dx), ay = std::llabs(dy);
    constexpr unsigned long long kExact = 1ULL << 26;
    if (ax < kExact && ay < kExact) {
        return static_cast<Real>(static_cast<double>(ax * ax + ay * ay));
    }
    const unsigned __int128 s =
        static_cast<unsigned __int128>(ax) * ax + static_cast<unsigned __int128>(ay) * ay;
    return static_cast<Real>(s);
}

}  // namespace

bool raysWalkFloats = true;

long long lastOfFloat(long long k) {
    if (k < (1LL << 24)) return k;
    const float f = static_cast<float>(k);
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    const long long half = 1LL << (static_cast<int>(bits >> 23) - 127 - 24);
    const long long whole = static_cast<long long>(f);
    // A tie goes to the float whose last bit is 0.
    return (bits & 1) == 0 ? whole + half : whole + half - 1;
}

float rayLength(long long dx, long long dy) { return std::sqrt(squareOf<float>(dx, dy)); }

float rayAngle(long long dx, long long dy) {
    if (dy == 0) return static_cast<float>(kPi / 2);
    if (dx == 0) return 0;
    return static_cast<float>(
        std::atan(static_cast<double>(std::llabs(dx)) / static_cast<double>(std::llabs(dy))));
}

rays::rays(pixelRect area, point centre, float v, widening w, written at)
    : area_(area), cx_(centre.x), cy_(centre.y), v_(v), widening_(w), written_(at) {}

namespace {

// The first k in lo..hi for which `holds` is true, for a test that is false
// and then true as k grows; hi + 1 when it never holds. The search starts at
// `guess` and widens from there, so a good guess costs two tests.
template <class Test>
long long firstWhere(long long lo, long long hi, long long guess, Test holds) {
    if (lo > hi) return lo;
    guess = std::min(std::max(guess, lo), hi);
    long long below, above;  // the answer lies in below + 1 .. above
    if (holds(guess)) {
        above = guess;
        below = guess - 1;
        for (long long step = 1; below >= lo && holds(below); step *= 2) {
            above = below;
            below = std::max(lo - 1, above - 2 * step);
        }
    } else {
        below = guess;
        above = guess + 1;
        for (long long step = 1; above <= hi && !holds(above); step *= 2) {
            below = above;
            above = std::min(hi + 1, below + 2 * step);
        }
    }
    while (above - below > 1) {
        const long long mid = below + (above - below) / 2;
        if (holds(mid)) {
            above = mid;
        } else {
            below = mid;
        }
    }
    return above;
}

// From this step on, single precision rounds runs of three to five steps,
// and further out more, to one float.
constexpr long long kCoarse = 1LL << 25;

// Steps lo..hi of a ray, empty when lo > hi.
struct span {
    long long lo = 0, hi = -1;
    bool empty() const { return lo > hi; }
};

// The straight line a ray's samples lie on: at step k, column
// trunc(cx + (sx k) sin t) and row trunc(cy + (sy k) cos t), each operation
// in single precision.
struct line {
    int sx = 0, sy = 0;
    float sinT = 0, cosT = 0;

    // Same columns (rows) at every step.
    bool sameColumns(const line& o) const {
        return sinT == o.sinT && (sx == o.sx || sinT == 0);
    }
    bool sameRows(const line& o) const { return cosT == o.cosT && (sy == o.sy || cosT == 0); }
};

// One ray as a part of the area sees it.
struct ray {
    line path;
    float t = 0, reach = 0;       // the angle and v + d
    long long last = -1;          // the last step: k <= v + d in single precision
    span inArea;                  // the steps whose samples lie in the area
    span written;                 // the steps whose pixels are written in the part
};

// The window's half-width A(k) along one ray.
class widths {
public:
    widths(float v, float reach, bool stepShare) : v_(v), reach_(reach), stepShare_(stepShare) {}
    // A(k); 0 before the ray starts.
    int at(long long k) const {
        if (k < 0) return 0;
        const float s = static_cast<float>(k);
        return truncToInt(stepShare_ ? s / reach_ * v_ : v_ * s / reach_);
    }

private:
    float v_, reach_;
    bool stepShare_;
};

class caster;

// Steps of a ray that share one pixel, with the sums of the samples at the
// steps before them.
struct stretch {
    long long lo;
    point at;
    long long before[4];
};

// A write of a ray's window that may still be overtaken by a later one.
struct pendingWrite {
    long long target;
    int sum[4], n;
};

// The rays over one part of the area, cast backward: the last ray first,
// each from its far end, so that the first write to reach a pixel is the
// one that stays. Only that write's mean is worked out.
class partWork {
public:
    partWork(const caster& c, pixelRect part);
    void run();

private:
    void cast(long long bx, long long by, int sx, int sy);
    bool trace(ray& r);
    span within(const line& path, span inside, span guess, const pixelRect& box) const;
    void literal(const ray& r);
    void slide(const ray& r);
    void coarse(const ray& r, const widths& A, long long from, long long to, long long k1);
    bool enumerate(const ray& r);
    void differing(const ray& r, span s, bool rows);
    void levelChanges(const line& path, span s, bool rows, std::vector<long long>& out) const;
    void writeAt(const ray& r, long long j, bool alongLine);
    void windowSum(const ray& r, long long from, long long to, bool alongLine, int sum[4]);
    long long firstStepAt(const ray& r, const widths& A, long long j) const;
    long long lastStepAt(const ray& r, const widths& A, long long j) const;

    int columnAt(const line& p, long long k) const;
    int rowAt(const line& p, long long k) const;
    point at(const line& p, long long k) const { return point(columnAt(p, k), rowAt(p, k)); }

    size_t bit(point p) const {
        return static_cast<size_t>(p.y - part_.y0) * partWidth_ + (p.x - part_.x0);
    }
    bool taken(point p) const { return (done_[bit(p) >> 6] >> (bit(p) & 63)) & 1; }
    void claim(point p) {
        uint64_t& word = done_[bit(p) >> 6];
        const uint64_t mask = uint64_t{1} << (bit(p) & 63);
        untaken_ -= (word & mask) == 0;
        word |= mask;
    }
    void put(point p, const int sum[4], int n);

    const caster& c_;
    pixelRect part_;
    size_t partWidth_;
    std::vector<uint64_t>& done_;
    size_t untaken_;  // pixels of the part no ray has written yet
    std::vector<point>& path_;
    std::vector<long long>& marks_;
    std::vector<long long>& marks2_;
    std::vector<span>& spans_;
    std::vector<pendingWrite>& pending_;
    std::vector<stretch>& stretches_;
    // The ray traced last, and the last ray all of whose written steps were
    // written: every pixel it reaches there is taken.
    ray traced_, covered_;
    bool haveTraced_ = false, haveCovered_ = false;
    // The sine and cosine of the angle worked out last.
    float angle_ = 0, sinT_ = 0, cosT_ = 1;
    bool haveAngle_ = false;
    // Running totals of the samples along one line, from step totalsFrom_.
    std::vector<int>& totals_;
    line totalsLine_;
    long long totalsFrom_ = 0;
    bool haveTotals_ = false;
};

class caster {
public:
    caster(pixelRect area, long long cx, long long cy, float v, bool stepShare, bool atLead,
           const ImageRGBA* samples, ImageRGBA* out, rays::meanFn mean, const void* context)
        : area(area),
          cx(cx),
          cy(cy),
          fcx(static_cast<float>(cx)),
          fcy(static_cast<float>(cy)),
          v(v),
          stepShare(stepShare),
          atLead(atLead),
          samples(samples),
          out(out),
          mean(mean),
          context(context) {}

    pixelRect area;
    long long cx, cy;
    float fcx, fcy;
    float v;
    bool stepShare, atLead;
    const ImageRGBA* samples;
    ImageRGBA* out;
    rays::meanFn mean;
    const void* context;

    const Rgba& sample(point p) const {
        return samples->data[static_cast<size_t>(p.y) * samples->width + p.x];
    }
    bool inArea(point p) const {
        return p.x >= area.x0 && p.x <= area.x1 && p.y >= area.y0 && p.y <= area.y1;
    }

    // Border pixels in reverse order of casting: the quadrants from the
    // fourth back to the first, each run along its row of the border from
    // the centre back to the corner, then its column back to the corner.
    template <class Take>
    void eachRayBackward(Take take) const {
        // A ray runs v past its border pixel, so one through a pixel further
        // than that beyond the area, with the centre further still, misses
        // it. The margin allows for the rounding of single precision far
        // from the picture.
        const long long past = static_cast<long long>(std::min(std::fabs(v), 1e9f)) + 4 +
                               (std::llabs(cx) + std::llabs(cy) + samples->width +
                                samples->height) /
                                   65536;
        const long long x1 = area.x0, y1 = area.y0, x2 = area.x1, y2 = area.y1;
        const long long leftTo = std::min(cx, x2 + past), rightTo = std::max(cx, x1 - past);
        const long long upTo = std::min(cy, y2 + past), downTo = std::max(cy, y1 - past);
        // Rays along the top border go up from the centre, those along the
        // bottom down: from beyond that side of the area they miss it.
        const bool upward = cy >= y1 - past, downward = cy <= y2 + past;
        // Fourth quadrant: forward, x from x2 down with the column at x2 first.
        for (long long x = rightTo; downward && x < x2; ++x) take(x, y2, 1, 1);
        if (x2 >= rightTo)
            for (long long y = downTo; y <= y2; ++y) take(x2, y, 1, 1);
        for (long long x = rightTo; upward && x < x2; ++x) take(x, y1, 1, -1);
        if (x2 >= rightTo)
            for (long long y = upTo; y >= y1; --y) take(x2, y, 1, -1);
        // In an area one column wide with the centre in it, the first two
        // quadrants cast the last two's rays again, and those win.
        if (x1 == x2 && cx == x1) return;
        for (long long x = leftTo; downward && x > x1; --x) take(x, y2, -1, 1);
        if (x1 <= leftTo)
            for (long long y = downTo; y <= y2; ++y) take(x1, y, -1, 1);
        for (long long x = leftTo; upward && x > x1; --x) take(x, y1, -1, -1);
        if (x1 <= leftTo)
            for (long long y = upTo; y >= y1; --y) take(x1, y, -1, -1);
    }
};

// Per thread, kept from call to call.
struct partBuffers {
    std::vector<uint64_t> done;
    std::vector<point> path;
    std::vector<long long> marks, marks2;
    std::vector<span> spans;
    std::vector<pendingWrite> pending;
    std::vector<stretch> stretches;
    std::vector<int> totals;
};
partBuffers& buffersOfThisThread() {
    static thread_local partBuffers buffers;
    return buffers;
}

partWork::partWork(const caster& c, pixelRect part)
    : c_(c),
      part_(part),
      partWidth_(static_cast<size_t>(part.x1 - part.x0 + 1)),
      done_(buffersOfThisThread().done),
      path_(buffersOfThisThread().path),
      marks_(buffersOfThisThread().marks),
      marks2_(buffersOfThisThread().marks2),
      spans_(buffersOfThisThread().spans),
      pending_(buffersOfThisThread().pending),
      stretches_(buffersOfThisThread().stretches),
      totals_(buffersOfThisThread().totals) {
    const size_t bits = partWidth_ * static_cast<size_t>(part.y1 - part.y0 + 1);
    done_.assign((bits + 63) / 64, 0);
    untaken_ = bits;
}

// trunc, and the ends of int beyond them, as truncToInt gives.
inline int truncOf(float v) {
    if (v > -2147483648.0f && v < 2147483648.0f) return static_cast<int>(v);
    return v != v ? 0 : v > 0 ? INT_MAX : INT_MIN;
}

int partWork::columnAt(const line& p, long long k) const {
    return truncOf(c_.fcx + static_cast<float>(p.sx * k) * p.sinT);
}
int partWork::rowAt(const line& p, long long k) const {
    return truncOf(c_.fcy + static_cast<float>(p.sy * k) * p.cosT);
}

void partWork::run() {
    c_.eachRayBackward([this](long long bx, long long by, int sx, int sy) { cast(bx, by, sx, sy); });
}

// The steps of `inside` whose samples lie in `box`. Both coordinates move
// one way along a ray, so those steps are one run; the search starts from
// `guess`, where a ray next to this one found its run.
span partWork::within(const line& path, span inside, span guess, const pixelRect& box) const {
    span s = inside;
    auto narrow = [&](bool rising, int lo, int hi, auto coord) {
        if (s.empty()) return;
        const span from = s;
        // The ends settle a search that has no change to find.
        const int atLo = coord(from.lo), atHi = coord(from.hi);
        auto first = [&](long long start, bool atStart, bool atEnd, auto holds) {
            return atStart ? from.lo : !atEnd ? from.hi + 1 : firstWhere(from.lo, from.hi, start, holds);
        };
        if (rising) {
            s.lo = first(guess.lo, atLo >= lo, atHi >= lo, [&](long long k) { return coord(k) >= lo; });
            s.hi = first(guess.hi + 1, atLo > hi, atHi > hi,
                         [&](long long k) { return coord(k) > hi; }) - 1;
        } else {
            s.lo = first(guess.lo, atLo <= hi, atHi <= hi, [&](long long k) { return coord(k) <= hi; });
            s.hi = first(guess.hi + 1, atLo < lo, atHi < lo,
                         [&](long long k) { return coord(k) < lo; }) - 1;
        }
    };
    narrow(path.sx * path.sinT >= 0, box.x0, box.x1, [&](long long k) { return columnAt(path, k); });
    narrow(path.sy * path.cosT >= 0, box.y0, box.y1, [&](long long k) { return rowAt(path, k); });
    return s;
}

// The ray's line, reach and steps in the area and in the part; false when it
// writes nothing there.
bool partWork::trace(ray& r) {
    const bool sameAngle = haveTraced_ && traced_.t == r.t;
    if (!haveAngle_ || angle_ != r.t) {
        angle_ = r.t;
        sinT_ = std::sin(r.t);
        cosT_ = std::cos(r.t);
        haveAngle_ = true;
    }
    r.path.sinT = sinT_;
    r.path.cosT = cosT_;
    if (!(r.reach >= 0)) return false;
    // The steps k with k <= v + d in single precision: beyond 2^24 the
    // whole numbers that round down to the reach run on past it.
    r.last = lastOfFloat(static_cast<long long>(std::floor(std::min(r.reach, 4e18f))));

    // The samples move one way from the centre to the last step: a ray
    // whose two ends bound no pixel of the part writes nothing there.
    const int xa = columnAt(r.path, 0), xb = columnAt(r.path, r.last);
    const int ya = rowAt(r.path, 0), yb = rowAt(r.path, r.last);
    if (std::max(xa, xb) < part_.x0 || std::min(xa, xb) > part_.x1 ||
        std::max(ya, yb) < part_.y0 || std::min(ya, yb) > part_.y1)
        return false;

    const bool sameLine = sameAngle && r.path.sameColumns(traced_.path) &&
                          r.path.sameRows(traced_.path);
    if (sameLine) {
        // The same samples as far as the traced ray went; a run that reached
        // its end may go on.
        const long long before = traced_.last;
        r.inArea = span{traced_.inArea.lo, std::min(traced_.inArea.hi, r.last)};
        r.written = span{traced_.written.lo, std::min(traced_.written.hi, r.last)};
        if (r.last > before) {
            const span more{before + 1, r.last};
            auto join = [&](span& s, const pixelRect& box) {
                if (!s.empty() && s.hi < before) return;  // it has left the box
                span m;
                if (more.hi - more.lo < 4) {
                    // A step or two further: look at them.
                    for (long long k = more.lo; k <= more.hi; ++k) {
                        const point p = at(r.path, k);
                        const bool in = p.x >= box.x0 && p.x <= box.x1 && p.y >= box.y0 && p.y <= box.y1;
                        if (in && m.empty()) m = span{k, k};
                        else if (in && m.hi == k - 1) m.hi = k;
                    }
                } else {
                    m = within(r.path, more, more, box);
                }
                if (s.empty()) {
                    s = m;
                } else if (!m.empty() && m.lo == before + 1) {
                    s.hi = m.hi;
                }
            };
            join(r.inArea, c_.area);
            join(r.written, part_);
        }
        return true;
    }
    const span whole{0, r.last};
    r.inArea = within(r.path, whole, haveTraced_ ? traced_.inArea : whole, c_.area);
    r.written = within(r.path, r.inArea, haveTraced_ ? traced_.written : r.inArea, part_);
    return true;
}

void partWork::cast(long long bx, long long by, int sx, int sy) {
    const long long dx = c_.cx - bx, dy = c_.cy - by;
    if (dx == 0 && dy == 0) return;  // no direction: the ray has no samples
    // Once every pixel of the part is written, earlier rays change nothing.
    if (untaken_ == 0) return;
    ray r;
    r.path.sx = sx;
    r.path.sy = sy;
    r.t = rayAngle(dx, dy);
    r.reach = c_.v + rayLength(dx, dy);
    if (!trace(r)) return;
    traced_ = r;
    haveTraced_ = true;
    if (r.inArea.empty() || r.written.empty()) return;

    // Where the half-width grows by at most one every two steps, the window
    // after step k holds exactly steps k - A(k) - A(k - 1) .. k: a write's
    // mean follows from its step alone. Rounding cannot break that while
    // 2v / L + v / 2^22 < 1.
    const bool regular = c_.v >= 0 && c_.v < (1 << 20) && r.reach >= 4 * c_.v;
    if (!regular) {
        literal(r);
        return;
    }
    if (!c_.atLead) {
        // The mean lands up to v steps behind the window's lead: the last
        // steps of a ray are not written.
        const widths A(c_.v, r.reach, c_.stepShare);
        r.written.hi = std::min(r.written.hi, r.last - A.at(r.last));
        if (r.written.empty()) return;
    }
    if (!enumerate(r)) slide(r);
    covered_ = r;
    haveCovered_ = true;
}

// Steps 0..k of the window exactly as written out: for rays where the
// half-width may grow faster. Each write is kept, and the last to a pixel
// stays.
void partWork::literal(const ray& r) {
    const widths A(c_.v, r.reach, c_.stepShare);
    const long long stop =
        c_.atLead ? r.inArea.hi : std::min(r.last, r.inArea.hi + truncToInt(c_.v) + 1);
    pending_.clear();
    int sum[4] = {0, 0, 0, 0}, n = 0;
    auto move = [&](point p, int sign) {
        const Rgba s = c_.sample(p);
        sum[0] += sign * s.r;
        sum[1] += sign * s.g;
        sum[2] += sign * s.b;
        sum[3] += sign * s.a;
        n += sign;
    };
    int before2 = 0, before1 = 0;  // A(-1) = 0
    for (long long k = 0; k <= stop; ++k) {
        const int a = A.at(k);
        if (k > 0 && a == before2) {
            // Steps before the first in the area lie outside it, except
            // behind the centre, where rounding can send a window.
            const long long gone = k - 1 - 2 * static_cast<long long>(a);
            const bool inArea = gone >= 0 ? gone >= r.inArea.lo && gone <= r.inArea.hi
                                          : c_.inArea(at(r.path, gone));
            if (inArea) move(at(r.path, gone), -1);
        }
        before2 = before1;
        before1 = a;
        if (k >= r.inArea.lo && k <= r.inArea.hi) move(at(r.path, k), 1);
        const long long target = c_.atLead ? k : k - a;
        if (n != 0 && target >= r.written.lo && target <= r.written.hi) {
            pending_.push_back(pendingWrite{target, {sum[0], sum[1], sum[2], sum[3]}, n});
        }
    }
    for (size_t i = pending_.size(); i-- > 0;) {
        const point p = at(r.path, pending_[i].target);
        if (!taken(p)) put(p, pending_[i].sum, pending_[i].n);
    }
}

// The first (last) step whose mean lands on step j.
long long partWork::firstStepAt(const ray& r, const widths& A, long long j) const {
    if (c_.atLead) return j;
    const long long hi = std::min(r.last, j + truncToInt(c_.v) + 1);
    return firstWhere(j, hi, j + A.at(j), [&](long long k) { return k - A.at(k) >= j; });
}
long long partWork::lastStepAt(const ray& r, const widths& A, long long j) const {
    if (c_.atLead) return j;
    const long long hi = std::min(r.last, j + truncToInt(c_.v) + 1);
    return firstWhere(j, hi, j + A.at(j) + 1, [&](long long k) { return k - A.at(k) > j; }) - 1;
}

void partWork::put(point p, const int sum[4], int n) {
    claim(p);
    c_.out->data[static_cast<size_t>(p.y) * c_.out->width + p.x] = c_.mean(sum, n, c_.context);
}

// The window slides along the written steps, from the first step whose mean
// lands on one of them; only a pixel's last write is worked out.
void partWork::slide(const ray& r) {
    const widths A(c_.v, r.reach, c_.stepShare);
    const long long k0 = firstStepAt(r, A, r.written.lo), k1 = lastStepAt(r, A, r.written.hi);
    const int a0 = A.at(k0), aBefore = A.at(k0 - 1);
    const long long from = std::max(r.inArea.lo, k0 - a0 - aBefore);
    const long long to = std::min(r.inArea.hi, k1);
    if (from >= kCoarse && raysWalkFloats) {
        coarse(r, A, from, to, k1);
        return;
    }
    // Every step from `from` to `to` lies in the area: plain conversions.
    path_.resize(static_cast<size_t>(to - from + 1));
    for (long long k = from; k <= to; ++k) {
        path_[static_cast<size_t>(k - from)] =
            point(static_cast<int>(c_.fcx + static_cast<float>(r.path.sx * k) * r.path.sinT),
                  static_cast<int>(c_.fcy + static_cast<float>(r.path.sy * k) * r.path.cosT));
    }
    const point* pos = path_.data() - from;
    const Rgba* const samples = c_.samples->data;
    const size_t width = static_cast<size_t>(c_.samples->width);
#define RAY_SAMPLE(p) (samples + static_cast<size_t>((p).y) * width + (p).x)

    // Sums in registers: put() only sees a copy.
    int r0 = 0, g0 = 0, b0 = 0, al0 = 0;
    for (long long k = from; k <= std::min(k0, r.inArea.hi); ++k) {
        const Rgba s = *RAY_SAMPLE(pos[k]);
        r0 += s.r, g0 += s.g, b0 += s.b, al0 += s.a;
    }
    int n = static_cast<int>(std::min(k0, r.inArea.hi) - from + 1);
    auto write = [&](point p) {
        const int sum[4] = {r0, g0, b0, al0};
        put(p, sum, n);
    };

    // The half-width rises by one at a time, at steps found ahead.
    const double spacing = c_.v > 0 ? static_cast<double>(r.reach) / c_.v : 1e18;
    auto riseAfter = [&](long long k, int a) {
        const long long guess = k + static_cast<long long>(std::min(spacing, 1e15));
        return firstWhere(k + 1, k1 + 1, guess, [&](long long i) { return A.at(i) > a; });
    };
    int a = a0, before2 = aBefore;  // A(k) and A(k - 2) of the step in hand
    long long rise = riseAfter(k0, a0);
    const long long lastIn = r.inArea.hi, firstIn = r.inArea.lo;
    const bool atLead = c_.atLead;
    for (long long k = k0;; ++k) {
        if (k > k0) {
            const int before1 = a;
            if (k == rise) rise = riseAfter(k, ++a);
            if (a == before2) {
                // The window has moved on by one: its trailing sample goes.
                const long long gone = k - 1 - 2 * static_cast<long long>(a);
                if (gone >= firstIn) {
                    const Rgba s = *RAY_SAMPLE(pos[gone]);
                    r0 -= s.r, g0 -= s.g, b0 -= s.b, al0 -= s.a;
                    --n;
                }
            }
            before2 = before1;
            if (k <= lastIn) {
                // The rays cross rows far apart in memory: the sample a few
                // steps on is asked for early.
                if (k + 16 <= to) __builtin_prefetch(RAY_SAMPLE(pos[k + 16]));
                const Rgba s = *RAY_SAMPLE(pos[k]);
                r0 += s.r, g0 += s.g, b0 += s.b, al0 += s.a;
                ++n;
            }
        }
        const point p = pos[atLead ? k : k - a];
        if (k == k1) {
            if (!taken(p)) write(p);
            break;
        }
        // A later step that writes the same pixel has the last word.
        const point q = pos[atLead ? k + 1 : k + 1 - (k + 1 == rise ? a + 1 : a)];
        if ((q.x != p.x || q.y != p.y) && !taken(p)) write(p);
    }
#undef RAY_SAMPLE
}

// Steps from..to of a slide from 2^25 on, where single precision rounds
// runs of steps to one float: a run shares its pixel and sample, so the
// samples are summed a float at a time and each pixel of the written steps
// gets its last write's window straight from the sums.
void partWork::coarse(const ray& r, const widths& A, long long from, long long to, long long k1) {
    stretches_.clear();
    long long total[4] = {0, 0, 0, 0};
    for (long long k = from; k <= to;) {
        const long long end = std::min(to, lastOfFloat(k));
        const point p = at(r.path, k);
        if (stretches_.empty() || stretches_.back().at.x != p.x || stretches_.back().at.y != p.y) {
            stretches_.push_back(stretch{k, p, {total[0], total[1], total[2], total[3]}});
        }
        const Rgba s = c_.sample(p);
        const long long n = end - k + 1;
        total[0] += n * s.r, total[1] += n * s.g, total[2] += n * s.b, total[3] += n * s.a;
        k = end + 1;
    }
    stretches_.push_back(stretch{to + 1, point(), {total[0], total[1], total[2], total[3]}});
    // The sums of the samples at the steps before k, from the stretch `at`
    // on: the windows only move forward.
    auto sumsBefore = [&](long long k, size_t& at, long long out[4]) {
        while (stretches_[at + 1].lo <= k && at + 2 < stretches_.size()) ++at;
        const stretch& t = stretches_[at];
        const long long n = k - t.lo;
        const Rgba s = n > 0 ? c_.sample(t.at) : Rgba{0, 0, 0, 0};
        out[0] = t.before[0] + n * s.r, out[1] = t.before[1] + n * s.g;
        out[2] = t.before[2] + n * s.b, out[3] = t.before[3] + n * s.a;
    };
    size_t atLo = 0, atHi = 0;
    for (size_t i = 0; i + 1 < stretches_.size(); ++i) {
        const long long j = std::min(stretches_[i + 1].lo - 1, r.written.hi);
        if (j < r.written.lo) continue;
        if (stretches_[i].lo > r.written.hi) break;
        const point p = stretches_[i].at;
        if (taken(p)) continue;
        const long long k = j == r.written.hi ? k1 : lastStepAt(r, A, j);
        const long long lo = std::max(r.inArea.lo, k - A.at(k) - A.at(k - 1));
        const long long hi = std::min(r.inArea.hi, k);
        long long a[4], b[4];
        sumsBefore(lo, atLo, a);
        sumsBefore(hi + 1, atHi, b);
        const int sum[4] = {static_cast<int>(b[0] - a[0]), static_cast<int>(b[1] - a[1]),
                            static_cast<int>(b[2] - a[2]), static_cast<int>(b[3] - a[3])};
        put(p, sum, static_cast<int>(hi - lo + 1));
    }
}

// Only the pixels the last covering ray has not taken need work: where this
// ray runs on the same line as that one, the steps outside its written ones;
// where it shares its columns (rows), also the steps where the rows
// (columns) differ. False when that would not save work over a slide.
bool partWork::enumerate(const ray& r) {
    if (!haveCovered_) return false;
    const ray& c = covered_;
    const bool columns = r.path.sameColumns(c.path), rows = r.path.sameRows(c.path);
    if (!columns && !rows) return false;
    if (columns && rows && r.written.lo >= c.written.lo) {
        // On the same line, usually one step further: the steps past the
        // covering ray's.
        for (long long j = r.written.hi; j > c.written.hi && j >= r.written.lo; --j) writeAt(r, j, true);
        return true;
    }
    // Far out a slide goes a float at a time: cheaper than finding where
    // the two rays part.
    if (r.inArea.lo >= kCoarse && raysWalkFloats) return false;
    const long long length = r.written.hi - r.written.lo + 1;
    const long long perWrite = 2 * static_cast<long long>(c_.v) + 8;
    spans_.clear();
    if (r.written.lo < c.written.lo) {
        spans_.push_back(span{r.written.lo, std::min(r.written.hi, c.written.lo - 1)});
    }
    if (r.written.hi > c.written.hi) {
        spans_.push_back(span{std::max(r.written.lo, c.written.hi + 1), r.written.hi});
    }
    const span shared{std::max(r.written.lo, c.written.lo), std::min(r.written.hi, c.written.hi)};
    if (!shared.empty() && !(columns && rows)) {
        // Each place where they part costs a few tests; a ray that parts
        // from the other all along is slid instead.
        levelChanges(r.path, shared, columns, marks_);
        levelChanges(c.path, shared, columns, marks2_);
        if (static_cast<long long>(marks_.size() + marks2_.size()) * 8 > length) return false;
        differing(r, shared, columns);
    }
    long long count = 0;
    for (const span& s : spans_) count += s.hi - s.lo + 1;
    if (count * perWrite > 2 * length) return false;
    std::sort(spans_.begin(), spans_.end(),
              [](const span& x, const span& y) { return x.hi > y.hi; });
    for (const span& s : spans_) {
        for (long long j = s.hi; j >= s.lo; --j) writeAt(r, j, false);
    }
    return true;
}

// Steps in `s` after which the row (column, unless `rows`) of `path`
// changes, in order.
void partWork::levelChanges(const line& path, span s, bool rows, std::vector<long long>& out) const {
    out.clear();
    auto coord = [&](long long k) { return rows ? rowAt(path, k) : columnAt(path, k); };
    const float step = rows ? static_cast<float>(path.sy) * path.cosT
                            : static_cast<float>(path.sx) * path.sinT;
    const float origin = rows ? c_.fcy : c_.fcx;
    long long k = s.lo;
    int level = coord(k);
    const int lastLevel = coord(s.hi);
    while (level != lastLevel) {
        // Where the exact line crosses into the next level, then the first
        // step that is there.
        const double edge = step > 0 ? (level >= 0 ? level + 1.0 : double(level))
                                     : (level > 0 ? double(level) : level - 1.0);
        const double guess = std::ceil((edge - origin) / step);
        const long long g = guess > double(s.hi) ? s.hi : guess < double(k + 1) ? k + 1 : static_cast<long long>(guess);
        const int from = level;
        k = firstWhere(k + 1, s.hi, g, [&](long long i) { return coord(i) != from; });
        out.push_back(k);
        level = coord(k);
    }
}

// Adds the stretches of `s` where ray r and the covering ray stand in
// different rows (columns), given each one's level changes.
void partWork::differing(const ray& r, span s, bool columnsShared) {
    const line& mine = r.path;
    const line& theirs = covered_.path;
    auto differ = [&](long long k) {
        return columnsShared ? rowAt(mine, k) != rowAt(theirs, k)
                             : columnAt(mine, k) != columnAt(theirs, k);
    };
    // Between consecutive changes of either, both stand still.
    size_t i = 0, j = 0;
    long long k = s.lo;
    while (k <= s.hi) {
        long long next = s.hi + 1;
        while (i < marks_.size() && marks_[i] <= k) ++i;
        while (j < marks2_.size() && marks2_[j] <= k) ++j;
        if (i < marks_.size()) next = std::min(next, marks_[i]);
        if (j < marks2_.size()) next = std::min(next, marks2_[j]);
        if (differ(k)) spans_.push_back(span{k, next - 1});
        k = next;
    }
}

// The write whose mean lands on step j, if it is the ray's last to that
// pixel and no later ray took it.
void partWork::writeAt(const ray& r, long long j, bool alongLine) {
    const point p = at(r.path, j);
    if (j < r.written.hi) {
        const point q = at(r.path, j + 1);
        if (q.x == p.x && q.y == p.y) return;
    }
    if (taken(p)) return;
    const widths A(c_.v, r.reach, c_.stepShare);
    const long long k = lastStepAt(r, A, j);
    const long long from = std::max(r.inArea.lo, k - A.at(k) - A.at(k - 1));
    const long long to = std::min(r.inArea.hi, k);
    int sum[4];
    windowSum(r, from, to, alongLine, sum);
    put(p, sum, static_cast<int>(to - from + 1));
}

// The sums of the samples at steps from..to, all in the area. Rays on one
// line share their samples: running totals along the line answer them.
void partWork::windowSum(const ray& r, long long from, long long to, bool alongLine, int sum[4]) {
    const Rgba* const samples = c_.samples->data;
    const size_t width = static_cast<size_t>(c_.samples->width);
    auto sampleAt = [&](long long k) {
        return samples[static_cast<size_t>(static_cast<int>(
                           c_.fcy + static_cast<float>(r.path.sy * k) * r.path.cosT)) *
                           width +
                       static_cast<int>(c_.fcx + static_cast<float>(r.path.sx * k) * r.path.sinT)];
    };
    const bool sameLine = haveTotals_ && r.path.sameColumns(totalsLine_) &&
                          r.path.sameRows(totalsLine_) && from >= totalsFrom_;
    if (!sameLine) {
        if (!alongLine) {
            sum[0] = sum[1] = sum[2] = sum[3] = 0;
            for (long long k = from; k <= to; ++k) {
                const Rgba s = sampleAt(k);
                sum[0] += s.r, sum[1] += s.g, sum[2] += s.b, sum[3] += s.a;
            }
            return;
        }
        haveTotals_ = true;
        totalsLine_ = r.path;
        totalsFrom_ = from;
        totals_.assign(4, 0);
    }
    // totals_[4 i + c]: channel c over steps totalsFrom_ .. totalsFrom_ + i - 1.
    // Windows only move on along a line: the totals behind them go.
    if (from - totalsFrom_ > 65536) {
        const long long drop = std::min(from - totalsFrom_, static_cast<long long>(totals_.size() / 4) - 1);
        totals_.erase(totals_.begin(), totals_.begin() + 4 * drop);
        totalsFrom_ += drop;
    }
    for (long long k = totalsFrom_ + static_cast<long long>(totals_.size() / 4) - 2; k < to; ++k) {
        const Rgba s = sampleAt(k + 1);
        const size_t end = totals_.size();
        totals_.insert(totals_.end(), {totals_[end - 4] + s.r, totals_[end - 3] + s.g,
                                       totals_[end - 2] + s.b, totals_[end - 1] + s.a});
    }
    const size_t lo = static_cast<size_t>(from - totalsFrom_) * 4, hi = static_cast<size_t>(to + 1 - totalsFrom_) * 4;
    for (int c = 0; c < 4; ++c) sum[c] = totals_[hi + c] - totals_[lo + c];
}

}  // namespace

void rays::cast(const ImageRGBA* samples, ImageRGBA* out, meanFn mean, const void* context) const {
    if (area_.x0 > area_.x1 || area_.y0 > area_.y1) return;
    const caster c(area_, cx_, cy_, v_, widening_ == widening::stepShare,
                   written_ == written::atLead, samples, out, mean, context);
    // Each half casts every ray but writes only its own pixels.
    const double pixels = (area_.x1 - area_.x0 + 1.0) * (area_.y1 - area_.y0 + 1.0);
    inHalves(area_, pixels >= 65536, [&](pixelRect half) { partWork(c, half).run(); });
}

void inHalves(pixelRect area, bool split, const std::function<void(pixelRect)>& part) {
    const long long w = area.x1 - area.x0 + 1, h = area.y1 - area.y0 + 1;
    split = split && bandThreads > 1;
    pixelRect halves[2] = {area, area};
    if (split && w >= h) {
        halves[0].x1 = area.x0 + static_cast<int>(w / 2) - 1;
        halves[1].x0 = halves[0].x1 + 1;
    } else if (split) {
        halves[0].y1 = area.y0 + static_cast<int>(h / 2) - 1;
        halves[1].y0 = halves[0].y1 + 1;
    }
    inBands(0, split ? 1 : 0, static_cast<double>(w) * h, [&](int first, int last) {
        for (int i = first; i <= last; ++i) part(halves[i]);
    });
}
