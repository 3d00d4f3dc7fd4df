#include "effects/draws.h"

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

// Unrolled m taps deep, w[i] = w[i - tap*m] + the sum of w[i - degree - tap*k]
// for k < m, which holds once the words it unrolls were made here (i from
// tap*(m - 1) on) and reads only words N or more back when tap*m and degree
// are at least N, so N words are made at once.
template <int N>
MORVANE_LANES_INLINE void extendLanes(uint32_t* w, ptrdiff_t n, int degree, int tap) {
    typedef typename lanes::of<N>::u u;
    const int m = (N + tap - 1) / tap;
    ptrdiff_t i = 0;
    if (degree >= N) {
        for (const ptrdiff_t plain = std::min<ptrdiff_t>(n, tap * (m - 1)); i < plain; ++i) {
            w[i] = w[i - degree] + w[i - tap];
        }
        for (; i + N <= n; i += N) {
            u v, t;
            std::memcpy(&v, w + i - tap * m, sizeof v);
            for (int k = 0; k < m; ++k) {
                std::memcpy(&t, w + i - degree - tap * k, sizeof t);
                v += t;
            }
            std::memcpy(w + i, &v, sizeof v);
        }
    }
    for (; i < n; ++i) w[i] = w[i - degree] + w[i - tap];
}

void extendNarrow(uint32_t* w, ptrdiff_t n, int degree, int tap) { extendLanes<4>(w, n, degree, tap); }

#if MORVANE_SIMD
MORVANE_AVX2 void extendAvx2(uint32_t* w, ptrdiff_t n, int degree, int tap) {
    extendLanes<8>(w, n, degree, tap);
}
#endif

}  // namespace

void randExtend(uint32_t* w, size_t n, int degree, int tap) {
#if MORVANE_SIMD
    if (simdLevel() >= Simd::avx2) return extendAvx2(w, static_cast<ptrdiff_t>(n), degree, tap);
#endif
    extendNarrow(w, static_cast<ptrdiff_t>(n), degree, tap);
}

randAhead::randAhead(const randDraws& from)
    : words_(from.degree), degree_(from.degree), tap_(0), front_(from.front) {
    tap_ = (from.front - from.rear + degree_) % degree_;
    // The table holds the last `degree` words, the oldest at front.
    for (int j = 0; j < degree_; ++j) words_[j] = static_cast<uint32_t>(from.table[(front_ + j) % degree_]);
}

const uint32_t* randAhead::words(size_t k, size_t n) {
    if (k + n > made_) {
        if (k > base_) {  // forget what lies more than `degree` before k
            words_.erase(words_.begin(), words_.begin() + static_cast<ptrdiff_t>(k - base_));
            base_ = k;
        }
        const size_t have = words_.size();
        words_.resize(degree_ + (k + n - base_));
        randExtend(words_.data() + have, words_.size() - have, degree_, tap_);
        made_ = k + n;
    }
    return words_.data() + degree_ + (k - base_);
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
