#include "image/motion.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "image/boxmean.h"
#include "image/lanes.h"
#include "image/pi.h"

// Three ways to walk the lines, all giving the same pixels; motion_blur at
// the end picks. MotionWalk::line walks one line after another: any blur,
// and the plain code. With AVX2 and a whole length, MotionWalk::lanes walks
// eight lines side by side, and the lines from above, where the blur
// replaces the destination, are swept all at once: every line takes step k
// together, so the pixels that enter, leave and are written at that step lie
// side by side in a row. Both fast ways earn their lines (bench/,
// BM_MotionBlurLength10At45 and BM_Filter<blur>/5): without the sweep a blur
// takes about half as long again, without the lanes four times as long.

namespace {

// Lines start at (first + l, across), l = 0..count - 1. At distance d a line
// is at column trunc(start + d * along) and row trunc(across + d * over),
// each product and sum rounded to single precision as the line walk rounds
// them.
struct MotionLines {
    int first, count;
    float across, along, over;
    const int* steps;  // per line: how many steps (k = 0 ..) it examines
};

}  // namespace

// Why sweeping gives the same pixels as walking line after line.
//
// Call `a + f(d)` the exact column of the line that starts in column a, at
// distance d, where f(d) is the rounded product d * along, and
// A = trunc(fl(a + f(d))) its pixel's column. All lines share the row.
//
// Positions. When f(d) is whole, or further from a whole number than half a
// unit in the last place of every sum in play, rounding cannot carry a
// non-negative sum across a whole number, so A = a + floor(f(d)) for every
// line with a + f(d) >= 0: the lines are exact translates of each other at
// that step, and the pixels entering, leaving or being written there lie
// side by side. Other steps ("unclean", a handful per blur) are walked line
// by line with the exact sums. Lines whose sum is negative are out of the
// region, except where trunc folds (-1, 1) into column 0; when the region
// starts at column 0 those lines are walked one by one as well.
//
// Order. Where two lines write the same pixel the later line's value must
// stay. Take lines l < l' writing pixel A >= 1 at steps d and d'. If along
// > 0 and d < d', the exact coordinates differ by at least 1 + along minus
// the rounding errors, so with `along` above a few units in the last place
// the two pixels would differ. Hence d >= d': the later line writes first,
// so the first write of each pixel (by step, and within a step from the
// highest line down) is the one to keep. If along < 0 the same argument
// gives d <= d', and the last write in step order, lowest line first, is
// the later line's. At column 0 (both sums in (-1, 1)) neither holds, and
// the highest line to write it keeps it.

#if MORVANE_SIMD

namespace {

// Half a unit in the last place of the floats up to m.
double halfUlp(double m) {
    int e = 0;
    std::frexp(m, &e);
    return std::ldexp(1.0, e - 25);
}

struct Geometry {
    int a1, a2, b1, b2;  // the region: columns a1..a2, rows b1..b2
    int lastStep;        // the largest number of steps of any line
    double bound;        // above every |lane start + f(d)|
};

Geometry geometryOf(const MotionLines& m, int x1, int y1, int x2, int y2, int length) {
    Geometry g{};
    g.a1 = x1;
    g.a2 = x2;
    g.b1 = y1;
    g.b2 = y2;
    g.lastStep = 0;
    for (int l = 0; l < m.count; ++l) g.lastStep = std::max(g.lastStep, m.steps[l]);
    const double aMax = std::max(std::fabs(double(m.first)), std::fabs(double(m.first) + m.count));
    g.bound = aMax + (double(g.lastStep) + length + 1) * std::fabs(double(m.along)) * 1.01 + 2;
    return g;
}

// The sweep's working rows, kept from call to call.
struct SweepRows {
    std::vector<float> f;
    std::vector<int> F, B;
    std::vector<unsigned char> clean, taken;
    std::vector<int> sum[4], n, end;
};
SweepRows& sweepRows() {
    static thread_local SweepRows rows;
    return rows;
}

class Sweep {
  public:
    Sweep(ImageRGBA* dest, const ImageRGBA* src, const Geometry& g, int length,
          const MotionLines& m)
        : lines_(m), g_(g), L_(length), firstWins_(m.along > 0), column0_(g.a1 == 0),
          dest_(dest), src_(src) {
        const int ds = g.lastStep + length;
        f_.resize(ds);
        F_.resize(ds);
        B_.resize(ds);
        clean_.resize(ds);
        const double slack = halfUlp(g.bound);
        for (int d = 0; d < ds; ++d) {
            const float fd = static_cast<float>(d) * m.along;
            f_[d] = fd;
            const double whole = std::floor(double(fd)), part = double(fd) - whole;
            F_[d] = static_cast<int>(whole);
            clean_[d] = part == 0 || std::min(part, 1 - part) > slack;
            B_[d] = static_cast<int>(m.across + static_cast<float>(d) * m.over);
        }
        taken_.assign((g.a2 - g.a1 + 1 + 24) / 8 + 16, 0);
    }

    // All lines step together, so every step reads and writes whole rows.
    void run();

  private:
    bool inA(int A) const { return A >= g_.a1 && A <= g_.a2; }
    bool inB(int B) const { return B >= g_.b1 && B <= g_.b2; }
    // Past the region in the direction of travel across the lanes.
    bool past(int B) const {
        return (lines_.over > 0 && B > g_.b2) || (lines_.over < 0 && B < g_.b1);
    }
    const Rgba* srcRow(int y) const { return &src_->data[static_cast<size_t>(y) * src_->width]; }
    Rgba* dstRow(int y) const { return &dest_->data[static_cast<size_t>(y) * dest_->width]; }

    // A new row across: nothing of it is taken yet.
    void newRow(int B) {
        if (touchedHigh_ >= touchedLow_) {
            std::memset(&taken_[touchedLow_ >> 3], 0, (touchedHigh_ >> 3) - (touchedLow_ >> 3) + 1);
        }
        touchedLow_ = INT_MAX;
        touchedHigh_ = INT_MIN;
        owner0_ = INT_MIN;
        row_ = B;
    }

    // Of the (up to sixteen) pixels from lane coordinate A0 on, those in
    // `bits` not yet written on this row; marks them written.
    unsigned take(int A0, unsigned bits) {
        const int p = A0 - g_.a1 + 8;
        uint64_t w;
        std::memcpy(&w, &taken_[p >> 3], 8);
        const unsigned free = bits & ~static_cast<unsigned>(w >> (p & 7));
        w |= static_cast<uint64_t>(free) << (p & 7);
        std::memcpy(&taken_[p >> 3], &w, 8);
        touchedLow_ = std::min(touchedLow_, p);
        touchedHigh_ = std::max(touchedHigh_, p + 15);
        return free;
    }

    // Whether line `line` may write pixel A of this row.
    bool mayWrite(int A, int line) {
        if (column0_ && A == 0) {
            if (line < owner0_) return false;
            owner0_ = line;
            return true;
        }
        return !firstWins_ || take(A, 1) != 0;
    }

    // Step k of line l, exactly as the line walk does it.
    void laneStep(int l, int k) {
        if (k >= end_[l]) return;
        const float a = static_cast<float>(lines_.first + l);
        auto lane = [&](int d) { return static_cast<int>(a + f_[d]); };
        auto apply = [&](int d, int sign) {
            const int A = lane(d), B = B_[d];
            if (!inA(A) || !inB(B)) return;
            const Rgba p = srcRow(B)[A];
            sum_[0][l] += sign * p.r;
            sum_[1][l] += sign * p.g;
            sum_[2][l] += sign * p.b;
            sum_[3][l] += sign * p.a;
            n_[l] += sign;
        };
        if (k - L_ >= 0) apply(k - L_, -1);
        apply(k + L_, 1);
        if (k < 0) return;
        const int A = lane(k), B = B_[k];
        const bool moved = k == 0 || A != lane(k - 1) || B != B_[k - 1];
        if (!moved || !inA(A) || !inB(B) || n_[l] <= 0) return;
        if (!mayWrite(A, l)) return;
        const float reciprocal = boxReciprocal(n_[l]);
        dstRow(B)[A] = Rgba{static_cast<unsigned char>(boxMean(sum_[0][l], reciprocal)),
                            static_cast<unsigned char>(boxMean(sum_[1][l], reciprocal)),
                            static_cast<unsigned char>(boxMean(sum_[2][l], reciprocal)),
                            static_cast<unsigned char>(boxMean(sum_[3][l], reciprocal))};
    }

    MORVANE_AVX2 void fastLanes(int from, int to, int k);
    MORVANE_AVX512 void wideLanes(int from, int to, int k);

    MotionLines lines_;
    Geometry g_;
    int L_;
    bool firstWins_, column0_;
    ImageRGBA* dest_;
    const ImageRGBA* src_;
    SweepRows& rows_ = sweepRows();
    std::vector<float>& f_ = rows_.f;
    std::vector<int>& F_ = rows_.F;
    std::vector<int>& B_ = rows_.B;
    std::vector<unsigned char>& clean_ = rows_.clean;
    std::vector<unsigned char>& taken_ = rows_.taken;
    // Per line: window sums, sample counts, steps examined.
    std::vector<int> (&sum_)[4] = rows_.sum;
    std::vector<int>& n_ = rows_.n;
    std::vector<int>& end_ = rows_.end;
    int touchedLow_ = INT_MAX, touchedHigh_ = INT_MIN, owner0_ = INT_MIN, row_ = INT_MIN;
};

void Sweep::run() {
    const int lanes = lines_.count;
    const size_t padded = static_cast<size_t>(lanes + 7) / 8 * 8;
    for (auto& v : sum_) v.assign(padded, 0);
    n_.assign(padded, 0);
    end_.assign(padded, INT_MIN);
    int kEnd = 0;
    for (int l = 0; l < lanes; ++l) {
        end_[l] = lines_.steps[l];
        kEnd = std::max(kEnd, end_[l]);
    }
    newRow(INT_MIN);
    for (int k = -L_; k < kEnd; ++k) {
        const int de = k + L_, dl = k - L_;
        const bool hasL = dl >= 0, hasW = k >= 0;
        if (hasL && past(B_[dl])) break;
        if (hasW && B_[k] != row_) newRow(B_[k]);
        // Lines whose oldest sample has left the region for good are done.
        int lo = 0, hi = lanes - 1;
        if (hasL && lines_.along > 0) hi = std::min(hi, g_.a2 + 1 - F_[dl] - lines_.first);
        if (hasL && lines_.along < 0) lo = std::max(lo, g_.a1 - 1 - F_[dl] - lines_.first);
        if (lo > hi) break;
        const bool clean = clean_[de] && (!hasL || clean_[dl]) && (!hasW || clean_[k]);
        if (!clean) {
            if (firstWins_) {
                for (int l = hi; l >= lo; --l) laneStep(l, k);
            } else {
                for (int l = lo; l <= hi; ++l) laneStep(l, k);
            }
            continue;
        }
        int from = lo;
        if (column0_) {
            // Lines whose sum may lie below 1 at one of the three distances.
            float least = f_[de];
            if (hasL) least = std::min(least, f_[dl]);
            if (hasW) least = std::min(least, f_[k]);
            const double edge = std::ceil(1.0 - double(least)) - lines_.first;
            const int fastFrom = static_cast<int>(std::clamp(edge, double(lo), double(hi) + 1));
            for (int l = lo; l < fastFrom; ++l) laneStep(l, k);
            from = fastFrom;
        }
        if (from > hi) continue;
        if (simdLevel() >= Simd::avx512) {
            wideLanes(from, hi, k);
        } else {
            fastLanes(from, hi, k);
        }
    }
}

MORVANE_AVX2 void Sweep::fastLanes(int from, int to, int k) {
    const int de = k + L_, dl = k - L_;
    const bool hasL = dl >= 0, hasW = k >= 0;
    const int Be = B_[de], Bl = hasL ? B_[dl] : 0, Bw = hasW ? B_[k] : 0;
    const bool inBe = inB(Be), inBl = hasL && inB(Bl), inBw = hasW && inB(Bw);
    // Whether every line moves at step k. When step k - 1 was clean every
    // fast line was then at lane + F[k - 1] (its sum was at least that of
    // the oldest sample, so not negative); otherwise each is worked out.
    const bool rowMoved = k == 0 || (hasW && B_[k - 1] != Bw);
    const bool moves = !hasW || rowMoved || (clean_[k - 1] && F_[k] != F_[k - 1]);
    const __m256i iota = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256 laneBase =
        _mm256_cvtepi32_ps(_mm256_add_epi32(_mm256_set1_epi32(lines_.first), iota));
    const __m256 before = _mm256_set1_ps(hasW && k > 0 ? f_[k - 1] : 0.0f);
    // Lane coordinates of line 0 at the three distances.
    const int e0 = lines_.first + F_[de], l0 = hasL ? lines_.first + F_[dl] : 0,
              w0 = hasW ? lines_.first + F_[k] : 0;
    const __m256i below = _mm256_set1_epi32(g_.a1 - 1), above = _mm256_set1_epi32(g_.a2 + 1);
    const __m256i none = _mm256_setzero_si256(), bytes = _mm256_set1_epi32(0xff);
    const __m256i kv = _mm256_set1_epi32(k), lowLane = _mm256_set1_epi32(from - 1),
                  highLane = _mm256_set1_epi32(to + 1);
    auto inRegion = [below, above](__m256i A) MORVANE_AVX2 __attribute__((always_inline)) {
        return _mm256_and_si256(_mm256_cmpgt_epi32(A, below), _mm256_cmpgt_epi32(above, A));
    };
    const Rgba* srcE = inBe ? srcRow(Be) : nullptr;
    const Rgba* srcL = inBl ? srcRow(Bl) : nullptr;
    Rgba* out = inBw ? dstRow(Bw) : nullptr;
    for (int c0 = from & ~7; c0 <= to; c0 += 8) {
        const __m256i lane = _mm256_add_epi32(_mm256_set1_epi32(c0), iota);
        __m256i ok = _mm256_and_si256(_mm256_cmpgt_epi32(lane, lowLane),
                                      _mm256_cmpgt_epi32(highLane, lane));
        ok = _mm256_and_si256(
            ok, _mm256_cmpgt_epi32(
                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&end_[c0])), kv));
        if (_mm256_testz_si256(ok, ok)) continue;
        __m256i* nv = reinterpret_cast<__m256i*>(&n_[c0]);
        __m256i n = _mm256_loadu_si256(nv);
        __m256i inE = none, pxE = none, inL = none, pxL = none;
        if (inBe) {
            const int A0 = e0 + c0;
            inE = _mm256_and_si256(ok, inRegion(_mm256_add_epi32(_mm256_set1_epi32(A0), iota)));
            if (!_mm256_testz_si256(inE, inE)) {
                pxE = _mm256_maskload_epi32(reinterpret_cast<const int*>(srcE + A0), inE);
            }
        }
        if (inBl) {
            const int A0 = l0 + c0;
            inL = _mm256_and_si256(ok, inRegion(_mm256_add_epi32(_mm256_set1_epi32(A0), iota)));
            if (!_mm256_testz_si256(inL, inL)) {
                pxL = _mm256_maskload_epi32(reinterpret_cast<const int*>(srcL + A0), inL);
            }
        }
        if (!_mm256_testz_si256(_mm256_or_si256(inE, inL), _mm256_or_si256(inE, inL))) {
            for (int c = 0; c < 4; ++c) {
                __m256i* sv = reinterpret_cast<__m256i*>(&sum_[c][c0]);
                const __m256i enters = _mm256_and_si256(_mm256_srli_epi32(pxE, 8 * c), bytes);
                const __m256i leaves = _mm256_and_si256(_mm256_srli_epi32(pxL, 8 * c), bytes);
                _mm256_storeu_si256(sv, _mm256_add_epi32(_mm256_loadu_si256(sv),
                                                         _mm256_sub_epi32(enters, leaves)));
            }
            n = _mm256_add_epi32(_mm256_sub_epi32(n, inE), inL);
            _mm256_storeu_si256(nv, n);
        }
        if (!inBw) continue;
        const int A0 = w0 + c0;
        const __m256i A = _mm256_add_epi32(_mm256_set1_epi32(A0), iota);
        __m256i moved = ok;
        if (!moves && clean_[k - 1]) continue;  // F[k] == F[k - 1]: no line moved
        if (!moves) {
            const __m256 a = _mm256_add_ps(laneBase, _mm256_set1_ps(static_cast<float>(c0)));
            const __m256i prev = _mm256_cvttps_epi32(_mm256_add_ps(a, before));
            moved = _mm256_andnot_si256(_mm256_cmpeq_epi32(A, prev), ok);
        }
        const __m256i writes =
            _mm256_and_si256(_mm256_and_si256(moved, inRegion(A)), _mm256_cmpgt_epi32(n, none));
        unsigned bits = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(writes)));
        if (bits && firstWins_) bits = take(A0, bits);
        if (!bits) continue;
        // boxMean lane by lane.
        const __m256 reciprocal = _mm256_div_ps(_mm256_set1_ps(1.0f), _mm256_cvtepi32_ps(n));
        __m256i packed = none;
        for (int c = 0; c < 4; ++c) {
            const __m256i sum = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&sum_[c][c0]));
            const __m256 f = _mm256_add_ps(_mm256_cvtepi32_ps(sum), _mm256_set1_ps(0.5f));
            const __m256i mean = _mm256_cvttps_epi32(_mm256_mul_ps(f, reciprocal));
            packed = _mm256_or_si256(packed, _mm256_slli_epi32(mean, 8 * c));
        }
        const __m256i select = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
        const __m256i mask = _mm256_cmpeq_epi32(
            _mm256_and_si256(_mm256_set1_epi32(static_cast<int>(bits)), select), select);
        _mm256_maskstore_epi32(reinterpret_cast<int*>(out + A0), mask, packed);
    }
}

// What fastLanes does, sixteen lanes at once and without its per-lane masks,
// for the lanes whose entering, leaving and written pixels all lie in the
// region at a step where every line moves (or none does); the rest go
// through fastLanes. The sums and counts, and each write's boxMean, are the
// same operations lane by lane. Within a step the lines write different
// pixels, so handling the lanes in pieces changes nothing.
MORVANE_AVX512 void Sweep::wideLanes(int from, int to, int k) {
    const int de = k + L_, dl = k - L_;
    const bool hasL = dl >= 0, hasW = k >= 0;
    if (!hasL || !hasW) return fastLanes(from, to, k);
    const int Be = B_[de], Bl = B_[dl], Bw = B_[k];
    if (!inB(Be) || !inB(Bl) || !inB(Bw)) return fastLanes(from, to, k);
    const bool rowMoved = k == 0 || B_[k - 1] != Bw;
    const bool moves = rowMoved || (clean_[k - 1] && F_[k] != F_[k - 1]);
    // Otherwise some lines may move and others not: fastLanes sorts them out.
    if (!moves && !clean_[k - 1]) return fastLanes(from, to, k);
    const int e0 = lines_.first + F_[de], l0 = lines_.first + F_[dl], w0 = lines_.first + F_[k];
    const int ia = std::max({from, g_.a1 - e0, g_.a1 - l0, g_.a1 - w0});
    const int ib = std::min({to, g_.a2 - e0, g_.a2 - l0, g_.a2 - w0});
    if (ib - ia + 1 < 16) return fastLanes(from, to, k);
    if (from < ia) fastLanes(from, ia - 1, k);
    const Rgba* srcE = srcRow(Be) + e0;
    const Rgba* srcL = srcRow(Bl) + l0;
    Rgba* out = dstRow(Bw) + w0;
    const __m512i kv = _mm512_set1_epi32(k), bytes = _mm512_set1_epi32(0xff);
    int c0 = ia;
    for (; c0 + 15 <= ib; c0 += 16) {
        const __m512i ends = _mm512_loadu_si512(&end_[c0]);
        if (_mm512_cmpgt_epi32_mask(ends, kv) != 0xffff) {
            fastLanes(c0, c0 + 15, k);
            continue;
        }
        const __m512i pxE = _mm512_loadu_si512(srcE + c0), pxL = _mm512_loadu_si512(srcL + c0);
        for (int c = 0; c < 4; ++c) {
            int* sv = &sum_[c][c0];
            const __m512i enters = _mm512_and_si512(_mm512_maskz_srli_epi32(0xffff, pxE, 8 * c), bytes);
            const __m512i leaves = _mm512_and_si512(_mm512_maskz_srli_epi32(0xffff, pxL, 8 * c), bytes);
            _mm512_storeu_si512(sv, _mm512_add_epi32(_mm512_loadu_si512(sv),
                                                     _mm512_sub_epi32(enters, leaves)));
        }
        if (!moves) continue;
        unsigned bits = 0xffff;
        if (firstWins_) bits = take(w0 + c0, 0xffff);
        if (!bits) continue;
        const __m512 n = _mm512_maskz_cvtepi32_ps(0xffff, _mm512_loadu_si512(&n_[c0]));
        const __m512 reciprocal = _mm512_div_ps(_mm512_set1_ps(1.0f), n);
        __m512i packed = _mm512_setzero_si512();
        for (int c = 0; c < 4; ++c) {
            const __m512 f = _mm512_add_ps(
                _mm512_maskz_cvtepi32_ps(0xffff, _mm512_loadu_si512(&sum_[c][c0])),
                _mm512_set1_ps(0.5f));
            const __m512i mean = _mm512_maskz_cvttps_epi32(0xffff, _mm512_mul_ps(f, reciprocal));
            packed = _mm512_or_si512(packed, _mm512_maskz_slli_epi32(0xffff, mean, 8 * c));
        }
        _mm512_mask_storeu_epi32(out + c0, static_cast<__mmask16>(bits), packed);
    }
    if (c0 <= to) fastLanes(c0, to, k);
}

// Whether the lines can be swept without changing a pixel: lines from
// different steps can then meet in a pixel only in the order that makes the
// later line's write the lasting one (see above).
bool motionSweepFits(const MotionLines& m, int x1, int y1, int x2, int y2, int length) {
    if (simdLevel() < Simd::avx2 || length < 1 || m.count < 1) return false;
    const Geometry g = geometryOf(m, x1, y1, x2, y2, length);
    // Lane coordinates and their sums must stay exact integers in floats.
    if (!(g.bound < 8388608.0)) return false;
    return m.along == 0 || std::fabs(double(m.along)) > 8 * halfUlp(g.bound);
}

// Does what walking the lines one after another with `length` (whole, 1 up)
// and no blending does, over the region x1..x2, y1..y2 of two different
// images.
void motionSweep(ImageRGBA* dest, const ImageRGBA* src, int x1, int y1, int x2, int y2, int length,
                 const MotionLines& lines) {
    Sweep(dest, src, geometryOf(lines, x1, y1, x2, y2, length), length, lines).run();
}

}  // namespace

#else

namespace {
bool motionSweepFits(const MotionLines&, int, int, int, int, int) { return false; }
void motionSweep(ImageRGBA*, const ImageRGBA*, int, int, int, int, int, const MotionLines&) {}
}  // namespace

#endif

namespace {

// Box filter along parallel lines. Sample positions are single precision
// like every sample position in the program.
class MotionWalk {
  public:
    MotionWalk(ImageRGBA* dest, const ImageRGBA* src, int x1, int y1, int x2, int y2, float length,
               float theta, bool blend)
        : dest_(dest),
          src_(src),
          x1_(x1),
          y1_(y1),
          x2_(x2),
          y2_(y2),
          length_(length),
          theta_(theta),
          sin_(std::sin(theta)),
          cos_(std::cos(theta)),
          tan_(std::tan(theta)),
          blend_(blend) {}

    // Steps 0 .. steps(i) - 1 of the line that starts in column i are examined.
    int steps(int i) const {
        int L = theta_ < 0 ? (x2_ - i) + 10 : theta_ > 0 ? i + 10 : x2_ + 10;
        L = std::min(L, x2_ + 10);
        // At theta 0 the quotient is infinite; the limit gives it its size.
        const float limit = static_cast<float>(y2_ + 10);
        float m = 10 + static_cast<float>(L) / tan_;
        if (m > limit) m = limit;
        if (!(m >= -limit)) m = -limit;
        const int M = static_cast<int>(m);
        const double len = std::sqrt(static_cast<double>(L) * L + static_cast<double>(M) * M);
        return static_cast<int>(1 + len);
    }

    void line(int i, int j) {
        WideSum sum;
        int n = 0;
        const int kEnd = steps(i);
        for (int k = static_cast<int>(-length_); k < kEnd; ++k) {
            const float back = static_cast<float>(k) - length_;
            if (back >= 0) {
                const Pos p = at(i, j, back);
                if (inRegion(p)) {
                    sum.sub(pixel(p));
                    --n;
                }
            }
            const Pos ahead = at(i, j, static_cast<float>(k) + length_);
            if (inRegion(ahead)) {
                sum.add(pixel(ahead));
                ++n;
            }
            if (k < 0) continue;
            const Pos q = at(i, j, static_cast<float>(k));
            if (!havePrev_ || q.x != prev_.x || q.y != prev_.y) {
                prev_ = q;
                havePrev_ = true;
                if (inRegion(q) && n > 0) write(q, sum, n);
            }
            if (leftForGood(q)) {
                // Nothing more is written on this line; only the last position
                // it would have examined matters to the next line.
                prev_ = at(i, j, static_cast<float>(kEnd - 1));
                break;
            }
        }
    }

    // Whether every line crosses the region in a few steps, and `fewSteps`
    // can walk them: a region a few pixels across, a whole length, steps
    // exact in single precision, and a source that is not the destination.
    bool crossesInFewSteps() const {
        constexpr int kFew = 16;
        const double longest = double(x2_) + double(y2_) + 20 + length_;
        return std::min(x2_ - x1_, y2_ - y1_) < kFew && length_ >= 1 &&
               length_ == std::trunc(length_) && longest < 16777216.0 &&
               src_->data != dest_->data;
    }

    // What `line` does, for a line that meets the region in few steps: both
    // coordinates move one way along it, so the steps in the region are one
    // run, found by bisection; each window is the steps d from k - L + 1 to
    // k + L, summed from running totals over the run.
    void fewSteps(int i, int j) {
        const int kEnd = steps(i);
        if (kEnd <= 0) return;
        const int L = static_cast<int>(length_);
        auto x = [&](long long d) { return at(i, j, static_cast<float>(d)).x; };
        auto y = [&](long long d) { return at(i, j, static_cast<float>(d)).y; };
        long long lo = 0, hi = static_cast<long long>(kEnd) - 1 + L;
        auto narrow = [&](auto coord, bool rising, int from, int to) {
            // The first d in lo..hi where `holds`, else hi + 1; lines start
            // beside the region, so the search gallops from lo.
            auto first = [&](auto holds) {
                long long a = lo, b = hi + 1;  // every d before a fails; b holds
                for (long long step = 1; a < b; step *= 2) {
                    const long long probe = std::min(b - 1, a + step - 1);
                    if (holds(probe)) {
                        b = probe;
                        break;
                    }
                    a = probe + 1;
                }
                while (a < b) {
                    const long long mid = a + (b - a) / 2;
                    if (holds(mid)) b = mid; else a = mid + 1;
                }
                return a;
            };
            lo = rising ? first([&](long long d) { return coord(d) >= from; })
                        : first([&](long long d) { return coord(d) <= to; });
            hi = rising ? first([&](long long d) { return coord(d) > to; }) - 1
                        : first([&](long long d) { return coord(d) < from; }) - 1;
        };
        // The region's short side first: the run along it is short.
        if (x2_ - x1_ <= y2_ - y1_) {
            narrow(x, -sin_ >= 0, x1_, x2_);
            if (lo <= hi) narrow(y, cos_ >= 0, y1_, y2_);
        } else {
            narrow(y, cos_ >= 0, y1_, y2_);
            if (lo <= hi) narrow(x, -sin_ >= 0, x1_, x2_);
        }
        const Pos last = at(i, j, static_cast<float>(kEnd - 1));
        if (lo <= hi) {
            static thread_local std::vector<WideSum> totals;  // over steps lo..d - 1
            totals.assign(static_cast<size_t>(hi - lo + 2), WideSum());
            for (long long d = lo; d <= hi; ++d) {
                totals[d - lo + 1] = totals[d - lo];
                totals[d - lo + 1].add(pixel(at(i, j, static_cast<float>(d))));
            }
            // Before the run the line is outside the region; at its start, where
            // the last line ended.
            Pos before = lo > 0 ? at(i, j, static_cast<float>(lo - 1)) : prev_;
            bool haveBefore = lo > 0 || havePrev_;
            for (long long k = lo; k <= std::min(hi, static_cast<long long>(kEnd) - 1); ++k) {
                const Pos q = at(i, j, static_cast<float>(k));
                const bool moved = !haveBefore || q.x != before.x || q.y != before.y;
                before = q;
                haveBefore = true;
                if (!moved) continue;
                const long long a = std::max(lo, k - L + 1), b = std::min(hi, k + L);
                WideSum sum;
                for (int c = 0; c < 4; ++c) sum.v[c] = totals[b - lo + 1].v[c] - totals[a - lo].v[c];
                write(q, sum, static_cast<int>(b - a + 1));
            }
        }
        // The next line compares its first position with this one's last.
        prev_ = last;
        havePrev_ = true;
    }

    // The lines from above, all at once, when the blur replaces the
    // destination (see lanesFit); false when it does not.
    bool sweepFromAbove() {
        if (blend_) return false;
        const int length = static_cast<int>(length_);
        static thread_local std::vector<int> steps;
        steps.resize(static_cast<size_t>(x2_ - x1_) + 3);
        for (size_t l = 0; l < steps.size(); ++l) steps[l] = this->steps(x1_ - 1 + int(l));
        const MotionLines lines{x1_ - 1, int(steps.size()), static_cast<float>(y1_ - 1), -sin_,
                                cos_,    steps.data()};
        if (!motionSweepFits(lines, x1_, y1_, x2_, y2_, length)) return false;
        motionSweep(dest_, src_, x1_, y1_, x2_, y2_, length, lines);
        return true;
    }

#if MORVANE_SIMD
    // Whether `lanes` can walk this blur: a whole length of at most
    // kMaxLanesReach, lines that run downward, and a source that is not the
    // destination (lines read what other lines have not written yet).
    static constexpr int kMaxLanesReach = 1024;
    bool lanesFit() const {
        return length_ >= 1 && length_ <= kMaxLanesReach && length_ == std::trunc(length_) &&
               cos_ >= 0 && src_->data != dest_->data && simdLevel() >= Simd::avx2;
    }
    void lanes(const int* is, const int* js, int count);
#endif

  private:
    struct Pos {
        int x, y;
    };

    Pos at(int i, int j, float d) const {
        return Pos{static_cast<int>(static_cast<float>(i) - d * sin_),
                   static_cast<int>(static_cast<float>(j) + d * cos_)};
    }

    bool inRegion(Pos p) const { return p.x >= x1_ && p.x <= x2_ && p.y >= y1_ && p.y <= y2_; }

    // Both coordinates move monotonically along a line, so a position past the
    // region in the direction of travel (or beside it, not moving) stays out.
    bool leftForGood(Pos p) const {
        const float dx = -sin_, dy = cos_;
        return (p.x > x2_ && dx >= 0) || (p.x < x1_ && dx <= 0) || (p.y > y2_ && dy >= 0) ||
               (p.y < y1_ && dy <= 0);
    }

    Rgba pixel(Pos p) const { return src_->data[static_cast<size_t>(p.y) * src_->width + p.x]; }

    // A negative length can leave sums out of 0..255·n, where only an integer
    // division is exact (and the limits catch the result).
    void write(Pos q, const WideSum& sum, int n) {
        int m[4];
        bool usual = n <= kMediumBoxWindow;
        for (int c = 0; c < 4; ++c) usual = usual && sum.v[c] >= 0 && sum.v[c] <= 255 * n;
        const float reciprocal = boxReciprocal(n);
        for (int c = 0; c < 4; ++c) {
            m[c] = usual ? boxMean(static_cast<int>(sum.v[c]), reciprocal)
                         : static_cast<int>(sum.v[c] / n);
        }
        Rgba& d = dest_->data[static_cast<size_t>(q.y) * dest_->width + q.x];
        d = blend_ ? blendOver(d, m)
                   : Rgba{clampByte(m[0]), clampByte(m[1]), clampByte(m[2]), clampByte(m[3])};
    }

    ImageRGBA* dest_;
    const ImageRGBA* src_;
    int x1_, y1_, x2_, y2_;
    float length_, theta_, sin_, cos_, tan_;
    bool blend_;
    bool havePrev_ = false;
    Pos prev_{0, 0};
};

#if MORVANE_SIMD

// Lanes whose x and y lie strictly between the bounds.
MORVANE_AVX2 MORVANE_LANES_INLINE __m256i inside(__m256i x, __m256i y, __m256i x1, __m256i x2,
                                                 __m256i y1, __m256i y2) {
    return _mm256_and_si256(_mm256_and_si256(_mm256_cmpgt_epi32(x, x1), _mm256_cmpgt_epi32(x2, x)),
                            _mm256_and_si256(_mm256_cmpgt_epi32(y, y1), _mm256_cmpgt_epi32(y2, y)));
}

// Eight consecutive lines side by side, one per lane; every lane does what
// `line` does, with the same single-precision positions and the same sums.
// Each lane runs four steps behind the one before it. Two lines of a group
// meet in a pixel only where the later line reaches it fewer than four
// steps (per line between them) before the earlier one does, so the later
// line's write still comes after the earlier one's, as one line after the
// other would have it. The first position a line examines is its start,
// outside the region, so no line depends on the one before it.
//
// A line crosses a row every step or two, which no hardware prefetcher
// foresees: each position is worked out kAhead steps before its sample
// enters, its pixels are fetched then, and it is kept until it is examined.
MORVANE_AVX2 void MotionWalk::lanes(const int* is, const int* js, int count) {
    const int reach = static_cast<int>(length_);
    const int window = 2 * reach;  // a sample leaves 2 * reach steps after it entered
    constexpr int kLag = 4;
    constexpr int kAhead = 16;
    const int kept = kAhead + reach + 1;  // a position is examined reach steps after it entered
    // Per step the entering pixels and whether each was in the region.
    static thread_local std::vector<int> ring;
    ring.assign(16 * static_cast<size_t>(window), 0);
    // Per step x, y, whether inside the region, and the places in src and dest.
    static thread_local std::vector<int> seen;
    seen.resize(40 * static_cast<size_t>(kept));  // each step is written before it is read

    alignas(32) int ends[8], starts[8];
    alignas(32) float fi[8], fj[8];
    int gEnd = 0;
    for (int l = 0; l < 8; ++l) {
        const bool used = l < count;
        // Lane step u = k + reach runs from 0 while k < steps.
        ends[l] = used ? steps(is[l]) + reach : 0;
        starts[l] = l * kLag;
        fi[l] = static_cast<float>(used ? is[l] : 0);
        fj[l] = static_cast<float>(used ? js[l] : 0);
        if (used) gEnd = std::max(gEnd, ends[l] + starts[l]);
    }
    const __m256i end = _mm256_load_si256(reinterpret_cast<const __m256i*>(ends));
    const __m256i start = _mm256_load_si256(reinterpret_cast<const __m256i*>(starts));
    const __m256 fiv = _mm256_load_ps(fi), fjv = _mm256_load_ps(fj);
    const __m256 sv = _mm256_set1_ps(sin_), cv = _mm256_set1_ps(cos_);
    const __m256i x1 = _mm256_set1_epi32(x1_ - 1), x2 = _mm256_set1_epi32(x2_ + 1);
    const __m256i y1 = _mm256_set1_epi32(y1_ - 1), y2 = _mm256_set1_epi32(y2_ + 1);
    const __m256i srcWidth = _mm256_set1_epi32(src_->width),
                  destWidth = _mm256_set1_epi32(dest_->width);
    // Places of positions outside either image are pulled in; they are
    // fetched but never used.
    const __m256i srcLast = _mm256_set1_epi32(src_->width * src_->height - 1),
                  destLast = _mm256_set1_epi32(dest_->width * dest_->height - 1);
    const __m256i bytes = _mm256_set1_epi32(0xff), none = _mm256_setzero_si256();
    const __m256i reachV = _mm256_set1_epi32(reach), minusOne = _mm256_set1_epi32(-1);
    // Where a position has left the region for good (see leftForGood).
    const float dx = -sin_, dy = cos_;
    const __m256i goneRight = _mm256_set1_epi32(dx >= 0 ? -1 : 0),
                  goneLeft = _mm256_set1_epi32(dx <= 0 ? -1 : 0);
    const __m256i goneDown = _mm256_set1_epi32(dy >= 0 ? -1 : 0),
                  goneUp = _mm256_set1_epi32(dy <= 0 ? -1 : 0);
    const int* source = reinterpret_cast<const int*>(src_->data);
    Rgba* out = dest_->data;

    __m256i sums[4] = {none, none, none, none}, n = none, done = none;
    // No previous position: every line's first is outside the region anyway.
    __m256i prevX = _mm256_set1_epi32(INT32_MIN), prevY = prevX;
    // 1 / n, worked out again only where some n changed.
    __m256i reciprocalOf = none;
    __m256 reciprocal = _mm256_setzero_ps();
    alignas(32) int means[4][8];
    alignas(32) uint32_t written[8];

    int turn = 0;               // g modulo window
    int now = 0, examined = 0;  // g and g - reach modulo kept
    int ahead = kAhead % kept;  // g + kAhead modulo kept
    for (int g = -kAhead; g < gEnd; ++g) {
        {
            // Step g + kAhead: where each lane will be, and its pixels fetched.
            int* slot = &seen[40 * static_cast<size_t>(g < 0 ? g + kAhead : ahead)];
            const __m256 uf =
                _mm256_cvtepi32_ps(_mm256_sub_epi32(_mm256_set1_epi32(g + kAhead), start));
            const __m256i ax = _mm256_cvttps_epi32(_mm256_sub_ps(fiv, _mm256_mul_ps(uf, sv)));
            const __m256i ay = _mm256_cvttps_epi32(_mm256_add_ps(fjv, _mm256_mul_ps(uf, cv)));
            const __m256i at = _mm256_min_epi32(
                _mm256_max_epi32(_mm256_add_epi32(_mm256_mullo_epi32(ay, srcWidth), ax), none),
                srcLast);
            const __m256i to = _mm256_min_epi32(
                _mm256_max_epi32(_mm256_add_epi32(_mm256_mullo_epi32(ay, destWidth), ax), none),
                destLast);
            __m256i* v = reinterpret_cast<__m256i*>(slot);
            _mm256_storeu_si256(v, ax);
            _mm256_storeu_si256(v + 1, ay);
            _mm256_storeu_si256(v + 2, inside(ax, ay, x1, x2, y1, y2));
            _mm256_storeu_si256(v + 3, at);
            _mm256_storeu_si256(v + 4, to);
            for (int l = 0; l < 8; ++l) {
                _mm_prefetch(reinterpret_cast<const char*>(source + slot[24 + l]), _MM_HINT_T0);
                _mm_prefetch(reinterpret_cast<const char*>(out + slot[32 + l]), _MM_HINT_T0);
            }
            if (g < 0) continue;
            if (++ahead == kept) ahead = 0;
        }
        const __m256i u = _mm256_sub_epi32(_mm256_set1_epi32(g), start);
        const __m256i active = _mm256_andnot_si256(
            done, _mm256_and_si256(_mm256_cmpgt_epi32(u, minusOne), _mm256_cmpgt_epi32(end, u)));
        // The sample entering at distance k + length.
        const int* entering = &seen[40 * static_cast<size_t>(now)];
        if (++now == kept) now = 0;
        const __m256i in = _mm256_and_si256(
            active, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(entering + 16)));
        // Lane by lane: gathers are slow on many processors. A lane outside
        // the region drops what it read.
        const int* at = entering + 24;
        const __m256i pixel = _mm256_and_si256(
            in, _mm256_setr_epi32(source[at[0]], source[at[1]], source[at[2]], source[at[3]],
                                  source[at[4]], source[at[5]], source[at[6]], source[at[7]]));
        __m256i* slot = reinterpret_cast<__m256i*>(&ring[16 * static_cast<size_t>(turn)]);
        if (++turn == window) turn = 0;
        const __m256i leaving = _mm256_loadu_si256(slot), wasIn = _mm256_loadu_si256(slot + 1);
        _mm256_storeu_si256(slot, pixel);
        _mm256_storeu_si256(slot + 1, in);
        for (int c = 0; c < 4; ++c) {
            const __m256i enters = _mm256_and_si256(_mm256_srli_epi32(pixel, 8 * c), bytes);
            const __m256i leaves = _mm256_and_si256(_mm256_srli_epi32(leaving, 8 * c), bytes);
            sums[c] = _mm256_add_epi32(sums[c], _mm256_sub_epi32(enters, leaves));
        }
        n = _mm256_add_epi32(_mm256_sub_epi32(n, in), wasIn);

        // The position at distance k, from k = 0 on: the one that entered
        // reach steps ago.
        const __m256i k = _mm256_sub_epi32(u, reachV);
        const __m256i looked = _mm256_and_si256(active, _mm256_cmpgt_epi32(k, minusOne));
        const int* q = &seen[40 * static_cast<size_t>(examined)];
        if (g >= reach && ++examined == kept) examined = 0;
        if (_mm256_testz_si256(looked, looked)) {
            if (g >= starts[count - 1] && _mm256_testz_si256(active, active)) break;
            continue;
        }
        const __m256i qx = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
        const __m256i qy = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 8));
        const __m256i same =
            _mm256_and_si256(_mm256_cmpeq_epi32(qx, prevX), _mm256_cmpeq_epi32(qy, prevY));
        const __m256i moved = _mm256_andnot_si256(same, looked);
        prevX = _mm256_blendv_epi8(prevX, qx, moved);
        prevY = _mm256_blendv_epi8(prevY, qy, moved);
        const __m256i writes = _mm256_and_si256(
            _mm256_and_si256(moved, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 16))),
            _mm256_cmpgt_epi32(n, none));
        int lanesToWrite = _mm256_movemask_ps(_mm256_castsi256_ps(writes));
        if (lanesToWrite) {
            // boxMean lane by lane.
            const __m256i unchanged = _mm256_cmpeq_epi32(n, reciprocalOf);
            if (_mm256_movemask_ps(_mm256_castsi256_ps(unchanged)) != 0xff) {
                reciprocal = _mm256_div_ps(_mm256_set1_ps(1.0f), _mm256_cvtepi32_ps(n));
                reciprocalOf = n;
            }
            __m256i packed = none;
            for (int c = 0; c < 4; ++c) {
                const __m256 f = _mm256_add_ps(_mm256_cvtepi32_ps(sums[c]), _mm256_set1_ps(0.5f));
                const __m256i mean = _mm256_cvttps_epi32(_mm256_mul_ps(f, reciprocal));
                _mm256_store_si256(reinterpret_cast<__m256i*>(means[c]), mean);
                packed = _mm256_or_si256(packed, _mm256_slli_epi32(mean, 8 * c));
            }
            _mm256_store_si256(reinterpret_cast<__m256i*>(written), packed);
            const int* to = q + 32;
            // Lanes in line order: of two writes at once the later line's stays.
            if (blend_) {
                while (lanesToWrite) {
                    const int l = __builtin_ctz(static_cast<unsigned>(lanesToWrite));
                    lanesToWrite &= lanesToWrite - 1;
                    const int m[4] = {means[0][l], means[1][l], means[2][l], means[3][l]};
                    out[to[l]] = blendOver(out[to[l]], m);
                }
            } else {
                while (lanesToWrite) {
                    const int l = __builtin_ctz(static_cast<unsigned>(lanesToWrite));
                    lanesToWrite &= lanesToWrite - 1;
                    std::memcpy(out + to[l], &written[l], sizeof(Rgba));
                }
            }
        }
        const __m256i gone =
            _mm256_or_si256(_mm256_or_si256(_mm256_and_si256(_mm256_cmpgt_epi32(qx, x2), goneRight),
                                            _mm256_and_si256(_mm256_cmpgt_epi32(x1, qx), goneLeft)),
                            _mm256_or_si256(_mm256_and_si256(_mm256_cmpgt_epi32(qy, y2), goneDown),
                                            _mm256_and_si256(_mm256_cmpgt_epi32(y1, qy), goneUp)));
        done = _mm256_or_si256(done, _mm256_and_si256(looked, gone));
    }
}

#endif  // MORVANE_SIMD

}  // namespace

void motion_blur(ImageRGBA* dest, ImageRGBA* src, int x1, int y1, int x2, int y2, float length,
                 float angle, int mode, unsigned char blend) {
    (void)mode;
    if (!fitRegion(dest, src, x1, y1, x2, y2)) return;
    // Beyond int range the walk has no defined start.
    if (!(std::fabs(length) < 1e9f) || !std::isfinite(angle)) return;
    const float theta = static_cast<float>(angle * kPi / 180 - kPi / 2);
    MotionWalk walk(dest, src, x1, y1, x2, y2, length, theta, blend == 2);
    // A thin region: each line costs its few steps in it, not its length.
    const bool few = walk.crossesInFewSteps();
    auto walkLine = [&](int i, int j) {
        if (few) {
            walk.fewSteps(i, j);
        } else {
            walk.line(i, j);
        }
    };
#if MORVANE_SIMD
    if (!few && walk.lanesFit()) {
        // The lines from above (all at once where they can be), then those
        // from the side, eight at a time and never mixing the two.
        int is[8], js[8];
        if (!walk.sweepFromAbove()) {
            for (int i = x1 - 1; i <= x2 + 1; i += 8) {
                const int count = std::min(8, x2 + 2 - i);
                for (int l = 0; l < count; ++l) is[l] = i + l, js[l] = y1 - 1;
                walk.lanes(is, js, count);
            }
        }
        if (theta != 0) {
            const int side = theta < 0 ? x1 - 1 : x2 + 1;
            for (int j = y1 - 1; j <= y2 + 1; j += 8) {
                const int count = std::min(8, y2 + 2 - j);
                for (int l = 0; l < count; ++l) is[l] = side, js[l] = j + l;
                walk.lanes(is, js, count);
            }
        }
        return;
    }
#endif
    for (int i = x1 - 1; i <= x2 + 1; ++i) walkLine(i, y1 - 1);
    if (theta < 0) {
        for (int j = y1 - 1; j <= y2 + 1; ++j) walkLine(x1 - 1, j);
    }
    if (theta > 0) {
        for (int j = y1 - 1; j <= y2 + 1; ++j) walkLine(x2 + 1, j);
    }
}
