#include "image/boxpipe.h"

#include "image/bands.h"
#include "image/boxlanes.h"
#include "image/boxmean.h"
#include "image/lanes.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if MORVANE_SIMD

// Pass pairs run as a pipeline: pass i's column pass can write row y once its
// row pass has made row y + r, so every pass follows the one before it a
// fixed number of rows behind, and only those rows need keeping. Each pass's
// rows go into a ring of 2r + 2 rows; the last row pass writes temp, which
// must hold it anyway, and the last column pass writes target. A column pass
// before another row pass hands that pass its prefix sums directly.
//
// Sums are 16 bits a channel while every window's sum fits, else 32 bits.
//
// On two cores the region splits into two strips of columns. A row pass
// needs r columns beyond the ones it makes, so each strip works on its
// columns plus the sum of the row radii on either side ("halo"), and writes
// only its own. Where the blur is in place, the halo's first pass reads the
// other strip's target columns, which that strip overwrites while running:
// they are copied aside before either starts.

namespace {

// The scalar rest of the kernels, shared by every instruction set and both
// sum widths E (the exact quotient is the plain integer one).

template <class E>
E* pixel(E* row, int i) {
    return row + 4 * i;
}

template <class E>
void putPixel(E* p, unsigned r, unsigned g, unsigned b, unsigned a) {
    p[0] = static_cast<E>(r);
    p[1] = static_cast<E>(g);
    p[2] = static_cast<E>(b);
    p[3] = static_cast<E>(a);
}
inline void putPixel(Rgba* p, unsigned r, unsigned g, unsigned b, unsigned a) {
    *p = Rgba{static_cast<unsigned char>(r), static_cast<unsigned char>(g),
              static_cast<unsigned char>(b), static_cast<unsigned char>(a)};
}

template <class E>
void prefixRest(const E* s, E* prefix, int k, int count) {
    for (; k < count; ++k) {
        for (int c = 0; c < 4; ++c)
            prefix[4 * (k + 1) + c] = static_cast<E>(prefix[4 * k + c] + s[4 * k + c]);
    }
}

// A window cut by the region's edge. Its size changes from pixel to pixel,
// so boxMean's one reciprocal a pixel beats four divisions.
template <class E>
void windowMean(const E* prefix, Rgba* dst, int x, int pa, int x1, int x2, int r) {
    const int hi = std::min(x2, x + r) - pa + 1, lo = std::max(x1, x - r) - pa;
    const float reciprocal = boxReciprocal(hi - lo);
    int q[4];
    for (int c = 0; c < 4; ++c) {
        q[c] = boxMean(static_cast<int>(static_cast<E>(prefix[4 * hi + c] - prefix[4 * lo + c])),
                       reciprocal);
    }
    putPixel(dst, q[0], q[1], q[2], q[3]);
}

template <class E>
void columnRest(const Rgba* in, const Rgba* out, Rgba* dst, E* sums, int k, int count, int n) {
    for (; k < count; ++k) {
        E* s = sums + 4 * k;
        if (in) {
            s[0] = static_cast<E>(s[0] + in[k].r);
            s[1] = static_cast<E>(s[1] + in[k].g);
            s[2] = static_cast<E>(s[2] + in[k].b);
            s[3] = static_cast<E>(s[3] + in[k].a);
        }
        if (out) {
            s[0] = static_cast<E>(s[0] - out[k].r);
            s[1] = static_cast<E>(s[1] - out[k].g);
            s[2] = static_cast<E>(s[2] - out[k].b);
            s[3] = static_cast<E>(s[3] - out[k].a);
        }
        const unsigned d = static_cast<unsigned>(n);
        if (dst) putPixel(dst + k, s[0] / d, s[1] / d, s[2] / d, s[3] / d);
    }
}

namespace sse2 {
#include "image/boxpipe.inc"
}  // namespace sse2

MORVANE_TARGET_BEGIN("avx2")

// Four pixels a vector.
struct Avx2 {
    static constexpr bool kEdgeLanes = false;
    typedef __m256i T;
    typedef uint16_t E;
    static constexpr int kPx = 4;
    struct Div {
        T magic, power;
        int n;
        explicit Div(int count) {
            const DivParts d(count);
            magic = _mm256_set1_epi16(static_cast<short>(d.magic));
            power = _mm256_set1_epi16(static_cast<short>(d.power));
            n = d.n;
        }
    };
    struct Run {
        T w, d2;
        Run() : w(zero()), d2(zero()) {}
    };
    static T zero() { return _mm256_setzero_si256(); }
    // Clean upper halves before scalar or SSE code runs again (the compiler
    // does not always see to it, and a dirty state slows all later SSE code).
    static void leave() { _mm256_zeroupper(); }
    static T widen(const Rgba* p) {
        return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    }
    static void put(Rgba* p, T v) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                         _mm_packus_epi16(_mm256_castsi256_si128(v),
                                          _mm256_extracti128_si256(v, 1)));
    }
    static void put(uint16_t* p, T v) { store(p, v); }
    // packus works within 128-bit halves: the 2-pixel pieces go back in order.
    static void putPair(Rgba* p, T a, T b) {
        _mm256_storeu_si256(reinterpret_cast<T*>(p),
                            _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xd8));
    }
    static T load(const uint16_t* p) { return _mm256_loadu_si256(reinterpret_cast<const T*>(p)); }
    static void store(uint16_t* p, T v) { _mm256_storeu_si256(reinterpret_cast<T*>(p), v); }
    static T add(T a, T b) { return _mm256_add_epi16(a, b); }
    static T sub(T a, T b) { return _mm256_sub_epi16(a, b); }
    // The vector moved up by two pixels, the previous one's last two coming in.
    static T up2(T v, T prev) { return _mm256_permute2x128_si256(prev, v, 0x21); }
    // The sums of the last four columns at each of the vector's.
    static T window(Run& run, T w) {
        const T d2 = add(w, _mm256_alignr_epi8(w, up2(w, run.w), 8));
        const T d4 = add(d2, up2(d2, run.d2));
        run.w = w;
        run.d2 = d2;
        return d4;
    }
    static T broadcast(const uint16_t* p) {
        return _mm256_set1_epi64x(static_cast<long long>(pixelSums(p)));
    }
    static T quotient(T v, const Div& d) {
        if (d.n < 3) return d.n == 1 ? v : _mm256_srli_epi16(v, 1);
        const T t = _mm256_mulhi_epu16(v, d.magic);
        return _mm256_mulhi_epu16(add(t, _mm256_srli_epi16(sub(v, t), 1)), d.power);
    }
};

// Two pixels a vector, 32-bit sums.
struct Avx2Wide {
    typedef __m256i T;
    typedef uint32_t E;
    static constexpr int kPx = 2;
    static constexpr bool kEdgeLanes = true;
    // 1 / n for n, n + step: IEEE division, so each lane is boxReciprocal's.
    static __m256 reciprocals(int n, int step) {
        const __m256 sizes = _mm256_cvtepi32_ps(_mm256_add_epi32(
            _mm256_set1_epi32(n), _mm256_mullo_epi32(_mm256_set1_epi32(step),
                                                     _mm256_set_epi32(1, 1, 1, 1, 0, 0, 0, 0))));
        return _mm256_div_ps(_mm256_set1_ps(1.0f), sizes);
    }
    static T quotientBy(T v, __m256 reciprocal) {
        return _mm256_cvttps_epi32(
            _mm256_mul_ps(_mm256_add_ps(_mm256_cvtepi32_ps(v), _mm256_set1_ps(0.5f)), reciprocal));
    }
    struct Div {
        __m256 reciprocal;
        explicit Div(int n) : reciprocal(_mm256_set1_ps(boxReciprocal(n))) {}
    };
    struct Run {
        T w;
        Run() : w(zero()) {}
    };
    static T zero() { return _mm256_setzero_si256(); }
    static void leave() { _mm256_zeroupper(); }
    static T widen(const Rgba* p) {
        return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
    }
    static void put(Rgba* p, T v) {
        const __m128i x =
            _mm_packs_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(x, x));
    }
    static void put(uint32_t* p, T v) { store(p, v); }
    static void putPair(Rgba* p, T a, T b) {
        put(p, a);
        put(p + kPx, b);
    }
    static T load(const uint32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const T*>(p)); }
    static void store(uint32_t* p, T v) { _mm256_storeu_si256(reinterpret_cast<T*>(p), v); }
    static T add(T a, T b) { return _mm256_add_epi32(a, b); }
    static T sub(T a, T b) { return _mm256_sub_epi32(a, b); }
    static T window(Run& run, T w) {
        const T d2 = add(w, _mm256_permute2x128_si256(run.w, w, 0x21));
        run.w = w;
        return d2;
    }
    static T broadcast(const uint32_t* p) {
        return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    }
    static T quotient(T v, const Div& d) { return quotientBy(v, d.reciprocal); }
};

namespace avx2 {
#include "image/boxpipe.inc"
}  // namespace avx2

MORVANE_TARGET_END

MORVANE_TARGET_BEGIN("avx2,avx512f,avx512bw")

// Eight pixels a vector.
struct Avx512 {
    static constexpr bool kEdgeLanes = false;
    typedef __m512i T;
    typedef uint16_t E;
    static constexpr int kPx = 8;
    struct Div {
        T magic, power;
        int n;
        explicit Div(int count) {
            const DivParts d(count);
            magic = _mm512_set1_epi16(static_cast<short>(d.magic));
            power = _mm512_set1_epi16(static_cast<short>(d.power));
            n = d.n;
        }
    };
    struct Run {
        T w, d2, d4;
        Run() : w(zero()), d2(zero()), d4(zero()) {}
    };
    static T zero() { return _mm512_setzero_si512(); }
    static void leave() { _mm256_zeroupper(); }
    static T widen(const Rgba* p) {
        return _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
    }
    // Narrowed in a register, then stored: a narrowing store to memory is far
    // slower where it overlaps the store before it.
    static void put(Rgba* p, T v) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm512_maskz_cvtepi16_epi8(~0u, v));
    }
    static void put(uint16_t* p, T v) { store(p, v); }
    // packus works within 128-bit quarters: the 2-pixel pieces go back in order.
    static void putPair(Rgba* p, T a, T b) {
        const T order = _mm512_set_epi64(7, 5, 3, 1, 6, 4, 2, 0);
        const T packed = _mm512_packus_epi16(a, b);
        _mm512_storeu_si512(p, _mm512_maskz_permutexvar_epi64(0xff, order, packed));
    }
    static T load(const uint16_t* p) { return _mm512_loadu_si512(p); }
    static void store(uint16_t* p, T v) { _mm512_storeu_si512(p, v); }
    static T add(T a, T b) { return _mm512_add_epi16(a, b); }
    static T sub(T a, T b) { return _mm512_sub_epi16(a, b); }
    // The vector moved up by some pixels, the previous one's last coming in
    // (the masked form: the plain one trips a false uninitialised warning).
    template <int Pixels>
    static T up(T v, T prev) {
        return _mm512_maskz_alignr_epi64(0xff, v, prev, 8 - Pixels);
    }
    // The sums of the last eight columns at each of the vector's.
    static T window(Run& run, T w) {
        const T d2 = add(w, up<1>(w, run.w));
        const T d4 = add(d2, up<2>(d2, run.d2));
        const T d8 = add(d4, up<4>(d4, run.d4));
        run.w = w;
        run.d2 = d2;
        run.d4 = d4;
        return d8;
    }
    static T broadcast(const uint16_t* p) {
        return _mm512_set1_epi64(static_cast<long long>(pixelSums(p)));
    }
    static T quotient(T v, const Div& d) {
        if (d.n < 3) return d.n == 1 ? v : _mm512_srli_epi16(v, 1);
        const T t = _mm512_mulhi_epu16(v, d.magic);
        return _mm512_mulhi_epu16(add(t, _mm512_srli_epi16(sub(v, t), 1)), d.power);
    }
};

// Four pixels a vector, 32-bit sums.
struct Avx512Wide {
    typedef __m512i T;
    typedef uint32_t E;
    static constexpr int kPx = 4;
    static constexpr bool kEdgeLanes = true;
    // 1 / n for n .. n + 3 step: IEEE division, so each lane is boxReciprocal's.
    static __m512 reciprocals(int n, int step) {
        const __m512i lanes = _mm512_set_epi32(3, 3, 3, 3, 2, 2, 2, 2, 1, 1, 1, 1, 0, 0, 0, 0);
        const __m512i sizes =
            _mm512_add_epi32(_mm512_set1_epi32(n),
                             _mm512_mullo_epi32(_mm512_set1_epi32(step), lanes));
        return _mm512_div_ps(_mm512_set1_ps(1.0f), _mm512_maskz_cvtepi32_ps(0xffff, sizes));
    }
    struct Div {
        __m512 reciprocal;
        explicit Div(int n) : reciprocal(_mm512_set1_ps(boxReciprocal(n))) {}
    };
    struct Run {
        T w, d2;
        Run() : w(zero()), d2(zero()) {}
    };
    static T zero() { return _mm512_setzero_si512(); }
    static void leave() { _mm256_zeroupper(); }
    static T widen(const Rgba* p) {
        return _mm512_maskz_cvtepu8_epi32(0xffff,
                                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    }
    static void put(Rgba* p, T v) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm512_maskz_cvtepi32_epi8(0xffff, v));
    }
    static void put(uint32_t* p, T v) { store(p, v); }
    static void putPair(Rgba* p, T a, T b) {
        put(p, a);
        put(p + kPx, b);
    }
    static T load(const uint32_t* p) { return _mm512_loadu_si512(p); }
    static void store(uint32_t* p, T v) { _mm512_storeu_si512(p, v); }
    static T add(T a, T b) { return _mm512_add_epi32(a, b); }
    static T sub(T a, T b) { return _mm512_sub_epi32(a, b); }
    // Moved up by one and by two pixels (two and four 64-bit words).
    static T window(Run& run, T w) {
        const T d2 = add(w, _mm512_maskz_alignr_epi64(0xff, w, run.w, 6));
        const T d4 = add(d2, _mm512_maskz_alignr_epi64(0xff, d2, run.d2, 4));
        run.w = w;
        run.d2 = d2;
        return d4;
    }
    static T broadcast(const uint32_t* p) {
        return _mm512_maskz_broadcast_i32x4(0xffff,
                                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    }
    // (The masked forms here and above: the plain ones trip a false
    // uninitialised warning.)
    static T quotientBy(T v, __m512 reciprocal) {
        const __m512 f = _mm512_add_ps(_mm512_maskz_cvtepi32_ps(0xffff, v), _mm512_set1_ps(0.5f));
        return _mm512_maskz_cvttps_epi32(0xffff, _mm512_mul_ps(f, reciprocal));
    }
    static T quotient(T v, const Div& d) { return quotientBy(v, d.reciprocal); }
};

namespace avx512 {
#include "image/boxpipe.inc"
}  // namespace avx512

MORVANE_TARGET_END

// The kernels for sums of type E.
template <class E>
struct Kernels {
    int lanes;  // pixels a vector
    void (*widenRow)(const Rgba*, E*, int);
    void (*rowPass)(const E*, Rgba*, int, int, int, int, int, int, E*);
    void (*meansRow)(const E*, Rgba*, int, int, int, int, int, int);
    void (*columnStep)(const Rgba*, const Rgba*, Rgba*, E*, int, int);
    void (*columnPrefix)(const Rgba*, const Rgba*, E*, int, int, E*);
};

#define MORVANE_BOX_KERNELS(ns, V)                                                        \
    Kernels<V::E> {                                                                    \
        V::kPx, ns::widenRow<V>, ns::rowPass<V>, ns::meansRow<V>, ns::columnStep<V>,      \
            ns::columnPrefix<V>                                                         \
    }

template <class E>
Kernels<E> kernels();

template <>
Kernels<uint16_t> kernels() {
    if (simdLevel() >= Simd::avx512) return MORVANE_BOX_KERNELS(avx512, Avx512);
    if (simdLevel() >= Simd::avx2) return MORVANE_BOX_KERNELS(avx2, Avx2);
    return MORVANE_BOX_KERNELS(sse2, Sse2);
}

template <>
Kernels<uint32_t> kernels() {
    if (simdLevel() >= Simd::avx512) return MORVANE_BOX_KERNELS(avx512, Avx512Wide);
    if (simdLevel() >= Simd::avx2) return MORVANE_BOX_KERNELS(avx2, Avx2Wide);
    return MORVANE_BOX_KERNELS(sse2, Sse2Wide);
}

#undef MORVANE_BOX_KERNELS

// Past this the rows to keep would no longer stay in the caches.
constexpr size_t kMostWorkBytes = size_t(64) << 20;
// What each thread keeps for the next blur.
constexpr size_t kKeptWorkBytes = size_t(8) << 20;

struct Region {
    int x1, y1, x2, y2;
    int height() const { return y2 - y1 + 1; }
};

// One strip's pass pairs: the columns each pass makes, and its rows; sums
// of type E.
template <class E>
class Strip {
  public:
    // Columns ca..cb are the strip's own.
    Strip(const Kernels<E>& k, ImageRGBA* temp, ImageRGBA* target, const ImageRGBA* src, Region g,
          const std::vector<boxPassPair>& passes, int ca, int cb)
        : k_(k), temp_(temp), target_(target), src_(src), g_(g), ca_(ca), cb_(cb) {
        int64_t reach = 0;
        for (const boxPassPair& p : passes) reach += p.across;
        ea_ = static_cast<int>(std::max<int64_t>(g.x1, ca - reach));
        eb_ = static_cast<int>(std::min<int64_t>(g.x2, cb + reach));
        width_ = eb_ - ea_ + 1;
        // Each row pass makes the columns the later ones still need.
        for (const boxPassPair& p : passes) {
            reach -= p.across;
            Stage s;
            s.across = p.across;
            s.down = p.down;
            s.oa = static_cast<int>(std::max<int64_t>(g.x1, ca - reach));
            s.ob = static_cast<int>(std::min<int64_t>(g.x2, cb + reach));
            s.slots = std::min(2 * p.down + 2, g.height());
            s.next = g.y1;
            s.have = g.y1 - 1;
            stages_.push_back(s);
        }
        stages_.back().slots = 0;  // the last row pass writes temp
    }

    // The rings, and wide rows for each pass's column sums, the line between
    // passes and the prefix sums.
    size_t bytes() const {
        size_t rows = 0;
        for (const Stage& s : stages_) rows += s.slots;
        return rows * ringRow() * sizeof(Rgba) + (stages_.size() + 2) * wideRow() * sizeof(E);
    }

    int haloLeft() const { return ca_ - ea_; }
    int haloRight() const { return eb_ - cb_; }
    int firstColumn() const { return ea_; }
    // The first pass's input outside the strip's own columns, row after row,
    // the left part before the right; none reads all of it from src.
    void setHalo(const Rgba* halo) { halo_ = halo; }

    void run(std::vector<uint32_t>& work) {
        work.resize(bytes() / sizeof(uint32_t) + 1);
        E* p = reinterpret_cast<E*>(work.data());
        auto take = [&p, this]() {
            E* q = p;
            p += wideRow();
            return q;
        };
        for (Stage& s : stages_) s.sums = take();
        line_ = take();
        prefix_ = take();
        for (Stage& s : stages_) {
            s.ring = reinterpret_cast<Rgba*>(p);
            p += s.slots * ringRow() * sizeof(Rgba) / sizeof(E);
        }

        const int last = static_cast<int>(stages_.size()) - 1;
        for (int y = g_.y1; y <= g_.y2; ++y) {
            firstRowPass(y);
            // Each pass in turn makes what rows it can, handing each on
            // before making the next, so no ring runs over.
            int i = 0;
            while (i >= 0) {
                Stage& s = stages_[i];
                if (s.next > g_.y2 || s.have < std::min(g_.y2, s.next + s.down)) {
                    --i;
                    continue;
                }
                const int row = s.next++;
                if (i == last) {
                    columnPass(i, row, targetRow(row));
                } else {
                    // The row goes straight into the next row pass's prefix sums.
                    columnPass(i, row, nullptr);
                    meansPass(i + 1, row);
                    ++i;
                }
            }
        }
    }

  private:
    struct Stage {
        int across = 0, down = 0;
        int oa = 0, ob = 0;  // the columns this pass makes
        int slots = 0;
        Rgba* ring = nullptr;
        E* sums = nullptr;
        int next = 0, have = 0;  // the next row to make; the last row the row pass made
    };

    // Rows have room past the last column for a column pass between two row
    // passes to run whole vectors over the end: those columns' values are
    // never read.
    static constexpr int kOver = 8;
    size_t ringRow() const { return size_t(width_) + kOver; }
    // A wide row, with room for the prefix sums' leading zero too.
    size_t wideRow() const { return 4 * (size_t(width_) + 1 + kOver); }

    // Rows as seen from column ea_.
    Rgba* targetRow(int y) const { return target_->data + size_t(y) * target_->width + ea_; }
    const Rgba* srcRow(int y) const { return src_->data + size_t(y) * src_->width + ea_; }
    Rgba* tempRow(int y) const { return temp_->data + size_t(y) * temp_->width + ea_; }
    Rgba* stageRow(int i, int y) const {
        const Stage& s = stages_[i];
        if (s.slots == 0) return tempRow(y);
        return s.ring + size_t((y - g_.y1) % s.slots) * ringRow();
    }

    // The first row pass, on src's row widened into the line, pieced
    // together with the halo where there is one.
    void firstRowPass(int y) {
        if (!halo_) {
            k_.widenRow(srcRow(y), line_, width_);
        } else {
            const int left = ca_ - ea_, right = eb_ - cb_;
            const Rgba* h = halo_ + size_t(y - g_.y1) * (left + right);
            k_.widenRow(h, line_, left);
            k_.widenRow(srcRow(y) + left, line_ + 4 * left, cb_ - ca_ + 1);
            k_.widenRow(h + left, line_ + 4 * (cb_ - ea_ + 1), right);
        }
        rowPass(0, y);
    }

    // Row pass i on the line into its ring, the last one into temp; or its
    // second half, from the prefix sums a column pass left.
    void rowPass(int i, int y) {
        Stage& s = stages_[i];
        k_.rowPass(line_, stageRow(i, y), ea_, s.oa, s.ob, g_.x1, g_.x2, s.across, prefix_);
        s.have = y;
    }
    void meansPass(int i, int y) {
        Stage& s = stages_[i];
        k_.meansRow(prefix_, stageRow(i, y), ea_, s.oa, s.ob, g_.x1, g_.x2, s.across);
        s.have = y;
    }

    // Column pass i's row y into target, or (bytes null) into the prefix sums.
    void columnPass(int i, int y, Rgba* bytes) {
        Stage& s = stages_[i];
        const int off = s.oa - ea_, count = s.ob - s.oa + 1;
        auto row = [&](int t) { return stageRow(i, t) + off; };
        const int r = s.down;
        if (y == g_.y1) {
            std::memset(s.sums, 0, wideRow() * sizeof(E));
            for (int t = g_.y1, hi = std::min(g_.y2, g_.y1 + r); t <= hi; ++t)
                k_.columnStep(row(t), nullptr, nullptr, s.sums, count, 1);
        }
        const Rgba* in = y > g_.y1 && y + r <= g_.y2 ? row(y + r) : nullptr;
        const Rgba* out = y > g_.y1 && y - r - 1 >= g_.y1 ? row(y - r - 1) : nullptr;
        const int n = std::min(g_.y2, y + r) - std::max(g_.y1, y - r) + 1;
        if (bytes) {
            k_.columnStep(in, out, bytes + off, s.sums, count, n);
        } else {
            const int whole = (count + k_.lanes - 1) / k_.lanes * k_.lanes;
            k_.columnPrefix(in, out, s.sums, whole, n, prefix_);
        }
    }

    const Kernels<E> k_;
    ImageRGBA* const temp_;
    ImageRGBA* const target_;
    const ImageRGBA* const src_;
    const Region g_;
    const int ca_, cb_;
    const Rgba* halo_ = nullptr;
    int ea_ = 0, eb_ = 0, width_ = 0;
    std::vector<Stage> stages_;
    E* line_ = nullptr;
    E* prefix_ = nullptr;
};

// The passes in strips with sums of type E.
template <class E>
bool streamWith(ImageRGBA* temp, ImageRGBA* target, const ImageRGBA* src, Region g,
                const std::vector<boxPassPair>& passes, int64_t reach) {
    const int64_t w = g.x2 - g.x1 + 1, h = g.y2 - g.y1 + 1;
    // Two strips where each, halos and all, makes well under what one strip
    // of the whole width would: columns widened plus columns of each pass.
    int64_t half = w / 2 + reach, whole = w, left = reach;
    for (const boxPassPair& p : passes) {
        left -= p.across;
        half += w / 2 + left;
        whole += w;
    }
    const int strips = bandThreads >= 2 && 5 * half < 4 * whole && w * h >= (1 << 16) ? 2 : 1;
    const Kernels<E> k = kernels<E>();
    std::vector<int> cut(strips + 1);
    for (int s = 0; s <= strips; ++s) cut[s] = g.x1 + static_cast<int>(w * s / strips);

    std::vector<Strip<E>> plans;
    size_t bytes = 0;
    for (int s = 0; s < strips; ++s) {
        plans.emplace_back(k, temp, target, src, g, passes, cut[s], cut[s + 1] - 1);
        bytes += plans.back().bytes();
    }
    if (bytes > kMostWorkBytes) return false;
    // The halos, copied before either strip overwrites them; kept from call
    // to call like the work rows.
    static thread_local std::vector<Rgba> halos[2];
    for (int s = 0; s < strips && src->data == target->data; ++s) {
        Strip<E>& p = plans[s];
        const int left = p.haloLeft(), right = p.haloRight();
        if (left + right == 0) continue;
        std::vector<Rgba>& halo = halos[s];
        halo.resize(size_t(h) * (left + right));
        Rgba* o = halo.data();
        const int ea = p.firstColumn(), cb = cut[s + 1] - 1;
        for (int y = g.y1; y <= g.y2; ++y) {
            const Rgba* row = target->data + size_t(y) * target->width;
            o = std::copy(row + ea, row + ea + left, o);
            o = std::copy(row + cb + 1, row + cb + 1 + right, o);
        }
        p.setHalo(halo.data());
    }
    inBands(0, strips - 1, double(w) * h * passes.size(), [&plans](int from, int to) {
        // Kept from call to call, unless a rare large blur made it large.
        thread_local std::vector<uint32_t> work;
        for (int s = from; s <= to; ++s) plans[s].run(work);
        if (work.size() * sizeof(uint32_t) > kKeptWorkBytes) std::vector<uint32_t>().swap(work);
    });
    for (std::vector<Rgba>& halo : halos) {
        if (halo.size() * sizeof(Rgba) > kKeptWorkBytes) std::vector<Rgba>().swap(halo);
    }
    return true;
}

}  // namespace

bool streamBoxPasses(ImageRGBA* temp, ImageRGBA* target, const ImageRGBA* src, int x1, int y1,
                     int x2, int y2, const std::vector<boxPassPair>& passes) {
    if (passes.empty()) return true;
    const Region g{x1, y1, x2, y2};
    const int64_t w = x2 - x1 + 1, h = y2 - y1 + 1;
    int64_t reach = 0, widest = 1;
    for (const boxPassPair& p : passes) {
        widest = std::max(widest, std::min<int64_t>(2 * int64_t(p.across) + 1, w));
        widest = std::max(widest, std::min<int64_t>(2 * int64_t(p.down) + 1, h));
        reach += p.across;
    }
    // 16-bit sums while every window sum fits them, else 32-bit ones.
    if (widest <= kNarrowBoxWindow)
        return streamWith<uint16_t>(temp, target, src, g, passes, reach);
    if (widest <= kMediumBoxWindow)
        return streamWith<uint32_t>(temp, target, src, g, passes, reach);
    return false;
}

#else

bool streamBoxPasses(ImageRGBA*, ImageRGBA*, const ImageRGBA*, int, int, int, int,
                     const std::vector<boxPassPair>&) {
    return false;
}

#endif
