#include "effects/draws.h"

#include "image/bands.h"
#include "image/lanes.h"

#include <algorithm>
#include <cstring>

// ---------------------------------------------------------------------------
// Taking over the library's table

#if defined(__GLIBC__)
namespace {
// The C library keeps rand()'s additive feedback state in a table whose first
// word tells its type and read position; setstate hands out that table while
// another, here a one-word linear one that is never drawn from, stands in.
const int kTypes = 5;
const int kDegrees[kTypes] = {0, 7, 15, 31, 63};
const int kSeparations[kTypes] = {0, 3, 1, 3, 1};
int32_t standIn[2] = {0, 0};
}  // namespace

randRun::randRun() {
    int32_t* header = reinterpret_cast<int32_t*>(setstate(reinterpret_cast<char*>(standIn)));
    if (!header) return;
    const int type = header[0] % kTypes, rear = header[0] / kTypes;
    if (type < 1 || type >= kTypes || rear < 0 || rear >= kDegrees[type]) {
        setstate(reinterpret_cast<char*>(header));  // a state we do not know: draw one by one
        return;
    }
    header_ = header;
    type_ = type;
    draws_.table = header + 1;
    draws_.degree = kDegrees[type];
    draws_.rear = rear;
    draws_.front = (rear + kSeparations[type]) % draws_.degree;
}

randRun::~randRun() {
    if (!header_) return;
    header_[0] = kTypes * draws_.rear + type_;
    setstate(reinterpret_cast<char*>(header_));
}
#else
randRun::randRun() {}
randRun::~randRun() {}
#endif

// ---------------------------------------------------------------------------
// Reading ahead

namespace {

// The library's usual table, 31 words with a tap 3 back, N words at once:
// unrolled, w[i] = w[i - 3m] + the sum of w[i - 31 - 3k] for k < m, with 3m
// at least N (m = 2, 3 and 6). The words it reads stay in registers, as loading a vector
// that a recent store only partly covers stalls.
template <int N>
MORVANE_LANES_INLINE ptrdiff_t extendLanes(uint32_t* w, ptrdiff_t n) {
    typedef typename lanes::of<N>::u u;
    const int back = N == 4 ? 36 : N == 8 ? 40 : 48;  // the oldest word read, from i
    ptrdiff_t i = 0;
    for (; i < n && i < back - 31; ++i) w[i] = w[i - 31] + w[i - 3];
    if (i + N > n) return i;
    // v1 holds the N words before i, v2 the N before those, and so on.
    auto load = [&](int k) {
        u v;
        std::memcpy(&v, w + i - k * N, sizeof v);
        return v;
    };
    if constexpr (N == 4) {
        u v1 = load(1), v2 = load(2), v3 = load(3), v4 = load(4), v5 = load(5), v6 = load(6),
          v7 = load(7), v8 = load(8), v9 = load(9);
        for (; i + N <= n; i += N) {
            const u v = __builtin_shufflevector(v2, v1, 2, 3, 4, 5) +  // 6 back
                        __builtin_shufflevector(v8, v7, 1, 2, 3, 4) +  // 31 back
                        __builtin_shufflevector(v9, v8, 2, 3, 4, 5);   // 34 back
            std::memcpy(w + i, &v, sizeof v);
            v9 = v8, v8 = v7, v7 = v6, v6 = v5, v5 = v4, v4 = v3, v3 = v2, v2 = v1, v1 = v;
        }
    } else if constexpr (N == 16) {
        u v1 = load(1), v2 = load(2), v3 = load(3);
        for (; i + N <= n; i += N) {
            const u v = __builtin_shufflevector(v2, v1, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29) +  // 18
                        __builtin_shufflevector(v2, v1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16) +  // 31
                        __builtin_shufflevector(v3, v2, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29) +  // 34
                        __builtin_shufflevector(v3, v2, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26) +  // 37
                        __builtin_shufflevector(v3, v2, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23) +  // 40
                        __builtin_shufflevector(v3, v2, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20) +  // 43
                        __builtin_shufflevector(v3, v2, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17);  // 46
            std::memcpy(w + i, &v, sizeof v);
            v3 = v2, v2 = v1, v1 = v;
        }
    } else {
        u v1 = load(1), v2 = load(2), v3 = load(3), v4 = load(4), v5 = load(5);
        for (; i + N <= n; i += N) {
            const u v = __builtin_shufflevector(v2, v1, 7, 8, 9, 10, 11, 12, 13, 14) +  // 9 back
                        __builtin_shufflevector(v4, v3, 1, 2, 3, 4, 5, 6, 7, 8) +       // 31
                        __builtin_shufflevector(v5, v4, 6, 7, 8, 9, 10, 11, 12, 13) +   // 34
                        __builtin_shufflevector(v5, v4, 3, 4, 5, 6, 7, 8, 9, 10);       // 37
            std::memcpy(w + i, &v, sizeof v);
            v5 = v4, v4 = v3, v3 = v2, v2 = v1, v1 = v;
        }
    }
    return i;
}

ptrdiff_t extendNarrow(uint32_t* w, ptrdiff_t n) { return extendLanes<4>(w, n); }

#if MORVANE_SIMD
MORVANE_AVX2 ptrdiff_t extendAvx2(uint32_t* w, ptrdiff_t n) { return extendLanes<8>(w, n); }
MORVANE_AVX512 ptrdiff_t extendAvx512(uint32_t* w, ptrdiff_t n) { return extendLanes<16>(w, n); }
#endif

}  // namespace

void randExtend(uint32_t* w, size_t n, int degree, int tap) {
    ptrdiff_t i = 0;
    if (degree == 31 && tap == 3) {
#if MORVANE_SIMD
        if (simdLevel() >= Simd::avx512) {
            i = extendAvx512(w, static_cast<ptrdiff_t>(n));
        } else if (simdLevel() >= Simd::avx2) {
            i = extendAvx2(w, static_cast<ptrdiff_t>(n));
        } else
#endif
        {
            i = extendNarrow(w, static_cast<ptrdiff_t>(n));
        }
    }
    for (; i < static_cast<ptrdiff_t>(n); ++i) w[i] = w[i - degree] + w[i - tap];
}

namespace {

// Polynomials in the shift of the sequence, below x^degree, reduced by the
// recurrence x^degree = x^(degree - tap) + 1; x^n's coefficients give the
// word n places on from the `degree` before it.
const int kMostDegree = 63;

struct feedback {
    int degree, tap;

    void times(const uint32_t* a, const uint32_t* b, uint32_t* out) const {
        uint32_t r[2 * kMostDegree] = {};
        for (int i = 0; i < degree; ++i) {
            for (int j = 0; j < degree; ++j) r[i + j] += a[i] * b[j];
        }
        for (int k = 2 * degree - 2; k >= degree; --k) {
            r[k - tap] += r[k];
            r[k - degree] += r[k];
        }
        std::copy_n(r, degree, out);
    }

    void timesX(uint32_t* a) const {
        const uint32_t top = a[degree - 1];
        std::copy_backward(a, a + degree - 1, a + degree);
        a[0] = top;
        a[degree - tap] += top;
    }

    // x^e, by squaring from the highest bit of e.
    void power(size_t e, uint32_t* out) const {
        std::fill_n(out, degree, 0u);
        out[0] = 1;
        for (int bit = e ? 63 - __builtin_clzll(e) : -1; bit >= 0; --bit) {
            times(out, out, out);
            if ((e >> bit) & 1) timesX(out);
        }
    }
};

}  // namespace

void randJump(const uint32_t* before, size_t s, int degree, int tap, uint32_t* out) {
    const feedback f{degree, tap};
    uint32_t c[kMostDegree];
    f.power(s, c);  // x^(s + k) gives w[s - degree + k]
    for (int k = 0; k < degree; ++k) {
        uint32_t sum = 0;
        for (int j = 0; j < degree; ++j) sum += c[j] * before[j];
        out[k] = sum;
        f.timesX(c);
    }
}

randAhead::randAhead(const randDraws& from)
    : words_(new uint32_t[from.degree]), capacity_(from.degree), degree_(from.degree), tap_(0),
      front_(from.front) {
    tap_ = (from.front - from.rear + degree_) % degree_;
    // The table holds the last `degree` words, the oldest at front.
    for (int j = 0; j < degree_; ++j) words_[j] = static_cast<uint32_t>(from.table[(front_ + j) % degree_]);
}

// Words from .. to - 1 after w, those before `made` being made already;
// the first block of the second half starts from a jump, as the words
// before it are the other core's.
void randAhead::makeBlock(uint32_t* w, size_t from, size_t to, size_t made, bool partStart) const {
    if (to <= made) return;
    if (from < made) from = made;
    if (partStart && from > made) {
        // The first words from a copy of the jump's, until the block has
        // `degree` of its own.
        uint32_t lead[2 * kMostDegree];
        const size_t own = std::min<size_t>(degree_, to - from);
        randJump(w + made - degree_, from - made, degree_, tap_, lead);
        randExtend(lead + degree_, own, degree_, tap_);
        std::copy_n(lead + degree_, own, w + from);
        from += own;
    }
    randExtend(w + from, to - from, degree_, tap_);
}

uint32_t* randAhead::room(size_t k, size_t n) {
    size_t size = degree_ + (made_ - base_);
    if (k > base_) {  // forget what lies more than `degree` before k
        std::copy(&words_[k - base_], &words_[size], &words_[0]);
        size -= k - base_;
        base_ = k;
    }
    const size_t need = degree_ + (std::max(made_, k + n) - base_);
    if (need > capacity_) {
        capacity_ = std::max(need, 2 * capacity_);
        std::unique_ptr<uint32_t[]> grown(new uint32_t[capacity_]);
        std::copy_n(&words_[0], size, &grown[0]);
        words_ = std::move(grown);
    }
    return &words_[degree_ + (k - base_)];
}

void randAhead::leave(size_t k, randDraws& to) const {
    // Draw j's word sits at table[(front + j) mod degree]; the last `degree`
    // drawn are what the table holds.
    for (int j = 0; j < degree_; ++j) {
        const size_t at = k + j;  // draw at - degree, the words counting from draw -degree
        to.table[(front_ + at) % degree_] = static_cast<int32_t>(words_[at - base_]);
    }
    to.front = static_cast<int>((front_ + k) % degree_);
    to.rear = (to.front - tap_ + degree_) % degree_;
}
