#include "effects/artistic.h"

#include "effects/draws.h"
#include "effects/rays.h"
#include "image/bands.h"
#include "image/boxblur.h"
#include "image/boxmean.h"
#include "image/clamp.h"
#include "image/draw.h"
#include "image/lanes.h"
#include "image/motion.h"
#include "image/pi.h"
#include "image/sampling.h"
#include "morvane.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr Rgba kBlack = {0, 0, 0, 255};

const float kReliefOpacity = 1.0f;  // param4 at the start: lines fully in the colour
const float kOpacityStep = 0.1f;

// ---------------------------------------------------------------------------
// Shared pieces

inline bool isEmpty(const pixelRect& a) { return a.x0 > a.x1 || a.y0 > a.y1; }

// The area in the picture; false while the button is up or when nothing of
// the area is left.
bool workArea(const effect& e, pixelRect& a) {
    if (!e.leftDown) return false;
    a = e.areaInPicture();
    return !isEmpty(a);
}

inline Rgba& at(ImageRGBA* img, int x, int y) {
    return img->data[static_cast<size_t>(y) * img->width + x];
}

inline uint32_t bitsOf(Rgba p) {
    uint32_t v;
    std::memcpy(&v, &p, sizeof v);
    return v;
}

inline int maxChannel(Rgba p) { return std::max(p.r, std::max(p.g, p.b)); }

inline bool differs(Rgba a, Rgba b) { return a.r != b.r || a.g != b.g || a.b != b.b; }

// The largest of the absolute r, g and b differences.
inline int distance(Rgba a, Rgba b) {
    return std::max(std::abs(a.r - b.r), std::max(std::abs(a.g - b.g), std::abs(a.b - b.b)));
}

template <class Pixel>
void forArea(const pixelRect& a, Pixel pixel) {
    const double work = static_cast<double>(a.x1 - a.x0 + 1) * (a.y1 - a.y0 + 1);
    inBands(a.y0, a.y1, work, [&](int from, int to) {
        for (int y = from; y <= to; ++y) {
            for (int x = a.x0; x <= a.x1; ++x) pixel(x, y);
        }
    });
}

// The committed picture blurred into scratch; image is the blur's work space.
void blurCommitted(effect& e, const pixelRect& a, float radius, int passMode) {
    gaussianOfCopy(e.image, e.scratch, e.backup, a.x0, a.y0, a.x1, a.y1, radius, passMode);
}

// The source of spatter, cutout and strokes: scratch as the row pass of the
// last Gaussian pass over backup left it.
void preBlur(effect& e, const pixelRect& a) {
    if (e.size < 1) {
        imageRgbaCopy(e.backup, e.scratch);
        return;
    }
    gaussianOfCopy(e.scratch, e.image, e.backup, a.x0, a.y0, a.x1, a.y1,
                   static_cast<float>(e.size), 2);
}

void clearArea(ImageRGBA* img, const pixelRect& a) {
    imageRgbaSetArea(img, a.x0, a.y0, a.x1 + 1, a.y1 + 1, Rgba{0, 0, 0, 0});
}

// Running sums of r, g, b and a, and how many pixels they hold.
struct channelSums {
    int v[4] = {0, 0, 0, 0};
    int n = 0;
    void add(Rgba p) {
        v[0] += p.r;
        v[1] += p.g;
        v[2] += p.b;
        v[3] += p.a;
        ++n;
    }
    void remove(Rgba p) {
        v[0] -= p.r;
        v[1] -= p.g;
        v[2] -= p.b;
        v[3] -= p.a;
        --n;
    }
};

// The pixels `open` picks take the mean of their up to eight neighbours in
// the area as they are at that moment, alpha averaged too or made opaque.
template <class Open>
void fillGaps(ImageRGBA* img, const pixelRect& a, bool columnsOuter, bool meanAlpha, Open open) {
    const size_t width = static_cast<size_t>(img->width);
    auto fill = [&](int x, int y) {
        Rgba& p = at(img, x, y);
        if (!open(p)) return;
        if (x > a.x0 && x < a.x1 && y > a.y0 && y < a.y1) {
            // All eight neighbours lie in the area; a dark neighbourhood, the
            // usual case, gives black at once.
            const Rgba* row[3] = {&p - width - 1, &p - 1, &p + width - 1};
            uint32_t any = 0;
            for (int i = 0; i < 3; ++i) {
                for (int j = 0; j < 3; ++j) {
                    if (i != 1 || j != 1) any |= bitsOf(row[i][j]);
                }
            }
            if (any == 0) {
                p = Rgba{0, 0, 0, meanAlpha ? static_cast<unsigned char>(0) : static_cast<unsigned char>(255)};
                return;
            }
        }
        channelSums near;
        for (int ny = std::max(y - 1, a.y0); ny <= std::min(y + 1, a.y1); ++ny) {
            for (int nx = std::max(x - 1, a.x0); nx <= std::min(x + 1, a.x1); ++nx) {
                if (nx != x || ny != y) near.add(at(img, nx, ny));
            }
        }
        if (near.n == 0) return;
        auto mean = [&near](int c) {
            return clampByte(static_cast<int>(static_cast<float>(near.v[c]) / static_cast<float>(near.n)));
        };
        p = Rgba{mean(0), mean(1), mean(2), meanAlpha ? mean(3) : static_cast<unsigned char>(255)};
    };
    if (columnsOuter) {
        // Column by column over only the open pixels, found row by row: a
        // scan down the columns would miss the cache at every pixel.
        const int w = a.x1 - a.x0 + 1;
        std::vector<int> first(static_cast<size_t>(w) + 1, 0), rows;
        for (int y = a.y0; y <= a.y1; ++y) {
            for (int x = a.x0; x <= a.x1; ++x) first[x - a.x0 + 1] += open(at(img, x, y)) ? 1 : 0;
        }
        for (int c = 0; c < w; ++c) first[c + 1] += first[c];
        rows.resize(first[w]);
        std::vector<int> next(first.begin(), first.end() - 1);
        for (int y = a.y0; y <= a.y1; ++y) {
            for (int x = a.x0; x <= a.x1; ++x) {
                if (open(at(img, x, y))) rows[next[x - a.x0]++] = y;
            }
        }
        for (int c = 0; c < w; ++c) {
            for (int k = first[c]; k < first[c + 1]; ++k) fill(a.x0 + c, rows[k]);
        }
    } else {
        // Where alpha is averaged too, a dark pixel amid dark ones stays
        // dark: four at a time inside a dark band of three rows are passed.
        auto darkBand = [&](int x, int y) {
            uint64_t any = 0;
            for (const Rgba* row = &at(img, x - 1, y - 1), *end = row + 3 * width; row != end;
                 row += width) {
                uint64_t w[3];
                std::memcpy(w, row, sizeof w);
                any |= w[0] | w[1] | w[2];
            }
            return any == 0;
        };
        for (int y = a.y0; y <= a.y1; ++y) {
            const bool inner = meanAlpha && y > a.y0 && y < a.y1;
            for (int x = a.x0; x <= a.x1; ++x) {
                if (inner && x > a.x0 && x + 4 <= a.x1 && darkBand(x, y)) {
                    x += 3;
                    continue;
                }
                fill(x, y);
            }
        }
    }
}

// Folds an amplified brightness back and forth into 0..255: above 255 it
// mirrors at 255.5, below 0 at 0, so the fold repeats every 511.
unsigned char fold(long long a) {
    if (a < 0) a = -a;
    if (a >= 512) a = (a - 512) % 511 + 1;
    return static_cast<unsigned char>(a > 255 ? 511 - a : a);
}

// ---------------------------------------------------------------------------
// Light: the bright pixels of backup as a layer, and the layer added back

// The light source in scratch (alpha 255 where a pixel shines, else all 0)
// and the area of image cleared for the layer.
void lightSource(effect& e, const pixelRect& a, bool colorized) {
    clearArea(e.image, a);
    const float threshold = 255 - e.value2;
    const Rgba tint = e.color;
    forArea(a, [&](int x, int y) {
        const Rgba s = at(e.backup, x, y);
        Rgba light = {0, 0, 0, 0};
        if (maxChannel(s) >= threshold) {
            light = colorized ? tint : s;
            light.a = 255;
        }
        at(e.scratch, x, y) = light;
    });
}

// image = backup + (weight alpha / 255) * gain * light layer in image, shown.
void addLight(effect& e, const pixelRect& a, ImageRGBA* weights) {
    const float tenths = static_cast<float>(e.size) / 10;
    const float gain = tenths * tenths;
    const limit range = e.byteRange;
    forArea(a, [&](int x, int y) {
        Rgba& p = at(e.image, x, y);
        const Rgba b = at(e.backup, x, y);
        const float f = static_cast<float>(at(weights, x, y).a) / 255 * gain;
        auto add = [&](unsigned char base, unsigned char light) {
            return clampByte(range, static_cast<float>(base) + f * static_cast<float>(light));
        };
        p = Rgba{add(b.r, p.r), add(b.g, p.g), add(b.b, p.b), 255};
    });
    e.shown = e.image;
    e.refreshImage();
}

// Shine's window along a ray: the mean of all four channels of the light
// samples, each sum / n in integer division.
Rgba shineMean(const int sum[4], int n, const void*) {
    // Sums of whole samples: the quotient by reciprocal is exact and a byte.
    const unsigned most = 255u * static_cast<unsigned>(n);
    if (n > 0 && n <= kMediumBoxWindow && static_cast<unsigned>(sum[0]) <= most &&
        static_cast<unsigned>(sum[1]) <= most && static_cast<unsigned>(sum[2]) <= most &&
        static_cast<unsigned>(sum[3]) <= most) {
        const float reciprocal = boxReciprocal(n);
        auto mean = [&](int c) { return static_cast<unsigned char>(boxMean(sum[c], reciprocal)); };
        return Rgba{mean(0), mean(1), mean(2), mean(3)};
    }
    return Rgba{clampByte(sum[0] / n), clampByte(sum[1] / n), clampByte(sum[2] / n),
                clampByte(sum[3] / n)};
}

// Set bits, without assuming a popcount instruction (or calling one).
inline unsigned bitCount(uint64_t v) {
    v = v - ((v >> 1) & 0x5555555555555555u);
    v = (v & 0x3333333333333333u) + ((v >> 2) & 0x3333333333333333u);
    v = (v + (v >> 4)) & 0x0f0f0f0f0f0f0f0fu;
    return static_cast<unsigned>((v * 0x0101010101010101u) >> 56);
}

// ---------------------------------------------------------------------------
// Brush: groups of near colours in each window

// ceil(2^32 / m) for the window sizes m: s * it >> 32 is s / m for every
// s * m below 2^32.
struct inverses {
    uint64_t of[122];
    constexpr inverses() : of() {
        for (uint64_t m = 1; m < 122; ++m) of[m] = ((uint64_t{1} << 32) + m - 1) / m;
    }
};
constexpr inverses kInverse{};

// The windows of one column over a band of rows: for every row from r above
// the band to r below it, the backup samples of the n columns around x, each
// clamped into the area, so the window of a row is n*n consecutive entries.
// Channels apart, so that sixteen entries compare at once. For the window of
// each row, a mask per entry of the earlier entries within the tolerance:
// the next row's window keeps them for all but its last row's entries.
template <class Mask>
class brushColumn {
public:
    brushColumn(int n, int bandRows) : n_(n), size_(static_cast<size_t>(n) * (bandRows + n - 1)) {
        for (auto& c : ch_) c.assign(size_ + 16, 0);  // loads may run 15 past the end
    }

    void load(const ImageRGBA* backup, const pixelRect& a, int x, int top, int bottom) {
        slidTo_ = -1;
        const int r = n_ / 2;
        for (int row = 0; row < bottom - top + 1 + 2 * r; ++row) {
            const int y = clampInt(top - r + row, a.y0, a.y1);
            const Rgba* line = backup->data + static_cast<size_t>(y) * backup->width;
            const size_t base = static_cast<size_t>(row) * n_;
            for (int k = 0; k < n_; ++k) {
                const Rgba p = line[clampInt(x + k - r, a.x0, a.x1)];
                ch_[0][base + k] = p.r;
                ch_[1][base + k] = p.g;
                ch_[2][base + k] = p.b;
                ch_[3][base + k] = p.a;
            }
        }
    }

    // The window of the band's row `row` (rows of a column in order from 0):
    // entries with a zero alpha count as taken from the start. Each still
    // free entry in order leads a group of every later free one within `tol`
    // in r, g and b; the result is the mean of the leaders that took in the
    // most, or of the whole window when none took in any. Two ways to the
    // same groups: leader by leader against the free entries, cheap when
    // there are few groups, or entry by entry from masks of the nearby
    // entries kept as the window slides, cheap when there are many; each
    // window takes the way that suited the one before.
    Rgba paint(int row, int tol) {
        const unsigned char *R = window(0, row), *G = window(1, row), *B = window(2, row);
        const int count = n_ * n_;
        int leader[121], took[121];
        const int leaders = sliding_ ? groupSliding(row, tol, leader, took) : groupDirect(row, tol, leader, took);
        if (sliding_ && leaders < kFewGroups) {
            sliding_ = false;
        } else if (!sliding_ && leaders > kManyGroups) {
            sliding_ = true;
            slidTo_ = -1;
        }
        int most = 0;
        for (int l = 0; l < leaders; ++l) most = std::max(most, took[l]);
        int sum[3] = {0, 0, 0}, members = 0;
        if (most > 0) {
            for (int l = 0; l < leaders; ++l) {
                if (took[l] != most) continue;
                sum[0] += R[leader[l]];
                sum[1] += G[leader[l]];
                sum[2] += B[leader[l]];
                ++members;
            }
        } else {
            for (int k = 0; k < count; ++k) {
                sum[0] += R[k];
                sum[1] += G[k];
                sum[2] += B[k];
            }
            members = count;
        }
        // sum / members, the truncated real quotient: exact in single
        // precision too, the sums being small.
        const uint64_t inverse = kInverse.of[members];
        auto mean = [inverse](int s) { return static_cast<unsigned char>((s * inverse) >> 32); };
        return Rgba{mean(sum[0]), mean(sum[1]), mean(sum[2]), 255};
    }

private:
    static const int kFewGroups = 6, kManyGroups = 12;

    // Channel c of the window whose top row is `row`, entry by entry.
    const unsigned char* window(int c, int row) const { return &ch_[c][static_cast<size_t>(row) * n_]; }

    // Leader by leader: each takes the free entries near it. The leaders in
    // order and what each took; returns how many.
    int groupDirect(int row, int tol, int* leader, int* took) const {
        const unsigned char *R = window(0, row), *G = window(1, row), *B = window(2, row);
        const unsigned char* Al = window(3, row);
        const int count = n_ * n_;
        const int chunks = (count + 15) / 16;
        unsigned free[8];
        for (int c = 0; c < chunks; ++c) free[c] = freeMask(Al + c * 16);
        if (count % 16) free[chunks - 1] &= (1u << (count % 16)) - 1;
        int leaders = 0;
        for (int c0 = 0;;) {
            while (c0 < chunks && free[c0] == 0) ++c0;
            if (c0 == chunks) break;
            const int i = c0 * 16 + __builtin_ctz(free[c0]);
            free[c0] &= free[c0] - 1;
            int taken = 0;
            for (int c = c0; c < chunks; ++c) {
                if (free[c] == 0) continue;
                const unsigned near = free[c] & nearMask(R, G, B, c * 16, i, tol);
                taken += bitCount(near);
                free[c] &= ~near;
            }
            leader[leaders] = i;
            took[leaders++] = taken;
        }
        return leaders;
    }

    // Entry by entry: a free entry joins the first leader before it that is
    // near it, or leads. The masks of the earlier entries near each are kept
    // from the window above, all but its last row's.
    int groupSliding(int row, int tol, int* leader, int* took) {
        const unsigned char *R = window(0, row), *G = window(1, row), *B = window(2, row);
        const unsigned char* Al = window(3, row);
        const int count = n_ * n_;
        const int kept = row > 0 && slidTo_ == row - 1 ? count - n_ : 0;  // entry e was entry e + n
        slidTo_ = row;
        for (int e = 0; e < kept; ++e) near_[e] = near_[e + n_] >> n_;
        for (int e = kept; e < count; ++e) {
            Mask m = 0;
            for (int c = 0; c * 16 < e; ++c) m |= static_cast<Mask>(nearMask(R, G, B, c * 16, e, tol)) << (16 * c);
            near_[e] = m & ((Mask(1) << e) - 1);
        }
        Mask free = 0;
        for (int c = 0; c * 16 < count; ++c) free |= static_cast<Mask>(freeMask(Al + c * 16)) << (16 * c);
        Mask leaders = 0;
        int tookAt[121];
        for (int e = 0; e < count; ++e) {
            if (!((free >> e) & 1)) continue;
            const Mask owners = near_[e] & leaders;
            if (owners) {
                ++tookAt[lowest(owners)];
            } else {
                leaders |= Mask(1) << e;
                tookAt[e] = 0;
            }
        }
        int n = 0;
        for (Mask l = leaders; l; l &= l - 1, ++n) {
            leader[n] = lowest(l);
            took[n] = tookAt[leader[n]];
        }
        return n;
    }

    static int lowest(Mask m) {
        const uint64_t low = static_cast<uint64_t>(m);
        return low ? __builtin_ctzll(low) : 64 + __builtin_ctzll(static_cast<uint64_t>(m >> 32 >> 32));
    }

    // Bit k: entry k of the sixteen from `alpha` on is free, its alpha not 0.
    static unsigned freeMask(const unsigned char* alpha) {
#if MORVANE_SIMD
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(alpha));
        return ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128()))) & 0xffffu;
#else
        unsigned mask = 0;
        for (int k = 0; k < 16; ++k) mask |= (alpha[k] != 0 ? 1u : 0u) << k;
        return mask;
#endif
    }

    // Bit k: entry from + k is within tol of entry i in r, g and b.
    static unsigned nearMask(const unsigned char* R, const unsigned char* G, const unsigned char* B,
                             int from, int i, int tol) {
        if (tol < 0) return 0;
#if MORVANE_SIMD
        const __m128i t = _mm_set1_epi8(static_cast<char>(std::min(tol, 255)));
        auto over = [&](const unsigned char* ch) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ch + from));
            const __m128i c = _mm_set1_epi8(static_cast<char>(ch[i]));
            const __m128i diff = _mm_or_si128(_mm_subs_epu8(v, c), _mm_subs_epu8(c, v));
            return _mm_subs_epu8(diff, t);  // 0 where within
        };
        const __m128i beyond = _mm_or_si128(_mm_or_si128(over(R), over(G)), over(B));
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(beyond, _mm_setzero_si128())));
#else
        unsigned mask = 0;
        for (int k = 0; k < 16; ++k) {
            const int j = from + k;
            if (std::abs(R[j] - R[i]) <= tol && std::abs(G[j] - G[i]) <= tol &&
                std::abs(B[j] - B[i]) <= tol) {
                mask |= 1u << k;
            }
        }
        return mask;
#endif
    }

    int n_;
    size_t size_;
    std::vector<unsigned char> ch_[4];
    bool sliding_ = false;
    int slidTo_ = -1;  // the row whose window near_ holds
    Mask near_[121];
};

// ---------------------------------------------------------------------------
// Cutout: greedy colour groups over the whole area

// In scan order, each pixel not yet grouped leads a group of every later
// ungrouped pixel within tol in r, g and b. So a pixel joins the first leader
// before it that lies within tol, and leads where there is none: one pass
// finds the leaders, and the pixels are counted to theirs on both cores.
// Colours are bucketed in cubes of side tol + 1: a pixel's leaders lie in
// its cube and the 26 around it, each cube listing those, and a cube holds
// one leader at most, every later pixel of the cube lying within tol of it.
struct colourLeader {
    long long index;  // row by row in the area
    Rgba c;
    int took = 0;  // the later pixels it took in
};

std::vector<colourLeader> groupColours(const ImageRGBA* src, const pixelRect& a, int tol) {
    std::vector<colourLeader> leaders;
    if (tol < 0) return leaders;  // nothing takes in anything
    const int side = std::max(tol + 1, 6);  // small cubes only for tolerances the ranges forbid
    const bool oneLeaderEach = side == tol + 1;
    const int per = 255 / side + 1, cubes = per * per * per;
    int step[256];  // a channel's coordinate among the cubes
    for (int v = 0; v < 256; ++v) step[v] = v / side;
    auto cubeOf = [&](Rgba c) { return (step[c.r] * per + step[c.g]) * per + step[c.b]; };
    const unsigned span = 2 * static_cast<unsigned>(tol);
    auto near = [tol, span](Rgba p, Rgba q) {
        return (static_cast<unsigned>(p.r - q.r + tol) <= span) & (static_cast<unsigned>(p.g - q.g + tol) <= span) &
               (static_cast<unsigned>(p.b - q.b + tol) <= span);
    };
    // Calls visit(cube) for the cube k and those around it.
    auto around = [&](int k, auto visit) {
        const int cr = k / (per * per), cg = k / per % per, cb = k % per;
        for (int r = std::max(cr - 1, 0); r <= std::min(cr + 1, per - 1); ++r) {
            for (int g = std::max(cg - 1, 0); g <= std::min(cg + 1, per - 1); ++g) {
                for (int b = std::max(cb - 1, 0); b <= std::min(cb + 1, per - 1); ++b) {
                    if (visit((r * per + g) * per + b)) return;
                }
            }
        }
    };
    const int w = a.x1 - a.x0 + 1;

    // The leaders in order; for each cube, its own and those around it, in order.
    std::vector<int> own(static_cast<size_t>(cubes), -1);
    std::vector<std::vector<int>> nearby(static_cast<size_t>(cubes));
    int last = -1;  // a leader near the pixel before: most often near this one too
    for (int y = a.y0; y <= a.y1; ++y) {
        const Rgba* row = src->data + static_cast<size_t>(y) * src->width;
        for (int x = a.x0; x <= a.x1; ++x) {
            const Rgba c = row[x];
            if (last >= 0 && near(leaders[last].c, c)) continue;
            const int k = cubeOf(c);
            if (oneLeaderEach && own[k] >= 0) {
                last = own[k];
                continue;
            }
            int found = -1;
            for (int l : nearby[k]) {
                if (near(leaders[l].c, c)) {
                    found = l;
                    break;
                }
            }
            if (found < 0) {
                found = static_cast<int>(leaders.size());
                leaders.push_back(colourLeader{static_cast<long long>(y - a.y0) * w + (x - a.x0), c});
                own[k] = found;
                around(k, [&](int n) { return nearby[n].push_back(found), false; });
            }
            last = found;
        }
    }

    // Each pixel counted to the first leader before it that is near it; the
    // parts cut the pixels in order, so that one long row is shared too.
    const int parts = 4;
    const long long count = static_cast<long long>(w) * (a.y1 - a.y0 + 1);
    std::vector<std::vector<int>> took(parts, std::vector<int>(leaders.size(), 0));
    inBands(0, parts - 1, static_cast<double>(count), [&](int p0, int p1) {
        for (int p = p0; p <= p1; ++p) {
            int* counts = took[p].data();
            const long long end = count * (p + 1) / parts;
            for (long long i = count * p / parts; i < end;) {
                const long long rowStart = i / w * w, rowEnd = std::min(rowStart + w, end);
                const Rgba* row = src->data + static_cast<size_t>(a.y0 + i / w) * src->width + a.x0;
                for (; i < rowEnd; ++i) {
                    const Rgba c = row[i - rowStart];
                    for (int n : nearby[cubeOf(c)]) {
                        const colourLeader& l = leaders[n];
                        if (l.index >= i) break;  // a leader itself, or led by none before it
                        if (near(l.c, c)) {
                            ++counts[n];
                            break;
                        }
                    }
                }
            }
        }
    });
    for (size_t l = 0; l < leaders.size(); ++l) {
        for (int p = 0; p < parts; ++p) leaders[l].took += took[p][l];
    }
    return leaders;
}

// ---------------------------------------------------------------------------
// Spatter and strokes: random offsets and strokes

// n mod d without a division: d's 64-bit reciprocal, exact for every 32-bit n.
class modulus {
public:
    explicit modulus(uint32_t d) : d_(d), inverse_(~uint64_t{0} / d + 1) {}
    int of(int n) const {
        const uint64_t low = inverse_ * static_cast<uint32_t>(n);
        return static_cast<int>((static_cast<unsigned __int128>(low) * d_) >> 64);
    }

private:
    uint64_t d_, inverse_;
};

// Triangular random offsets: near 0 most often, -trunc(v) .. trunc(2v) - 1 - trunc(v).
class triangular {
public:
    explicit triangular(float v)
        : two_(truncToInt(2 * v)), one_(truncToInt(v)), modTwo_(std::max(two_, 1)), modOne_(std::max(one_, 1)) {}
    // The ranges keep both at least 1; otherwise the offset is 0 and draws nothing.
    bool drawsNothing() const { return two_ < 1 || one_ < 1; }
    int one() const { return one_; }
    int two() const { return two_; }
    // Whether the draws p, q end an offset, and which.
    bool takes(int p, int q, int& t) const {
        t = modTwo_.of(q) - one_;
        return modOne_.of(p) >= std::abs(t);
    }
    int draw(randDraws& draws) const {
        if (drawsNothing()) return 0;
        for (int t;;) {
            const int p = draws.next();
            const int q = draws.next();
            if (takes(p, q, t)) return t;
        }
    }

private:
    int two_, one_;
    modulus modTwo_, modOne_;
};

// A stroke segment's direction t, in whole degrees from -15 to 373, and its
// sideways step u = t + pi/2: their sines and cosines as the single-precision
// formulas give them, worked out once.
class strokeAngles {
public:
    struct of {
        float sinT, cosT, sinU, cosU;
    };
    strokeAngles() {
        for (int k = 0; k < kCount; ++k) {
            const float t = static_cast<float>(k + kLowest) / 180 * kPiF, u = t + kPiF / 2;
            angle_[k] = of{std::sin(t), std::cos(t), std::sin(u), std::cos(u)};
        }
    }
    const of& at(int degrees) const { return angle_[degrees - kLowest]; }

private:
    static const int kLowest = -15, kCount = 389;
    of angle_[kCount];
};

// ---------------------------------------------------------------------------
// Spatter from the sequence read ahead

// Every pair of draws (p, q) of a stretch of words (two each) marked at once:
// offsets[j] = t + one when the pair ends a triangular offset t, else 255.
// The remainders come exact from single precision: x mod d is that of
// (x >> 16)·(65536 mod d) + (x & 65535), below 2^23 for d below 128, whose
// quotient by d in floats is never too large and at most one too small.
const int kLargestModulus = 127;

template <int N>
MORVANE_LANES_INLINE typename lanes::of<N>::i remainder(typename lanes::of<N>::i x, int d) {
    typedef typename lanes::of<N>::i i;
    const i y = (x >> 16) * (65536 % d) + (x & 65535);
    const i q = lanes::truncate<N>(lanes::toFloat<N>(y) * (1.0f / static_cast<float>(d)));
    const i r = y - q * d;
    return r >= d ? r - d : r;
}

template <int N>
struct byteLanes {
    typedef uint8_t all __attribute__((vector_size(4 * N)));  // the bytes of N words
    typedef uint8_t one __attribute__((vector_size(N)));      // a byte for each
};

template <int N>
MORVANE_LANES_INLINE void markLanes(const uint32_t* words, ptrdiff_t pairs, int one, int two,
                                    uint8_t* offsets) {
    typedef typename lanes::of<N>::i i;
    typedef typename byteLanes<N>::all all;
    typedef typename byteLanes<N>::one bytes;
    ptrdiff_t j = 0;
    for (; j + N <= pairs; j += N) {
        i a, b;
        std::memcpy(&a, words + 2 * j, sizeof a);
        std::memcpy(&b, words + 2 * j + N, sizeof b);
        i p, q;
        if constexpr (N == 4) {
            p = __builtin_shufflevector(a, b, 0, 2, 4, 6);
            q = __builtin_shufflevector(a, b, 1, 3, 5, 7);
        } else if constexpr (N == 8) {
            p = __builtin_shufflevector(a, b, 0, 2, 4, 6, 8, 10, 12, 14);
            q = __builtin_shufflevector(a, b, 1, 3, 5, 7, 9, 11, 13, 15);
        } else {
            p = __builtin_shufflevector(a, b, 0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
            q = __builtin_shufflevector(a, b, 1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
        }
        // The words are unsigned; a draw is the word without its lowest bit.
        p = (i)((typename lanes::of<N>::u)p >> 1);
        q = (i)((typename lanes::of<N>::u)q >> 1);
        const i t = remainder<N>(q, two) - one;
        const i size = t < 0 ? -t : t;
        const i marked = remainder<N>(p, one) >= size ? t + one : i{} + 255;
        // The low byte of each lane (AVX-512 narrows in one instruction).
        const all low = reinterpret_cast<const all&>(marked);
        bytes out;
        if constexpr (N == 4) {
            out = __builtin_shufflevector(low, low, 0, 4, 8, 12);
        } else if constexpr (N == 8) {
            out = __builtin_shufflevector(low, low, 0, 4, 8, 12, 16, 20, 24, 28);
        } else {
            out = __builtin_convertvector(marked, bytes);
        }
        std::memcpy(offsets + j, &out, sizeof out);
    }
    for (; j < pairs; ++j) {
        const int p = static_cast<int>(words[2 * j] >> 1), q = static_cast<int>(words[2 * j + 1] >> 1);
        const int t = q % two - one;
        offsets[j] = static_cast<uint8_t>(p % one >= std::abs(t) ? t + one : 255);
    }
}

void markNarrow(const uint32_t* words, ptrdiff_t pairs, int one, int two, uint8_t* offsets) {
    markLanes<4>(words, pairs, one, two, offsets);
}

#if MORVANE_SIMD
MORVANE_AVX2 void markAvx2(const uint32_t* words, ptrdiff_t pairs, int one, int two, uint8_t* offsets) {
    markLanes<8>(words, pairs, one, two, offsets);
}

MORVANE_AVX512 void markAvx512(const uint32_t* words, ptrdiff_t pairs, int one, int two, uint8_t* offsets) {
    markLanes<16>(words, pairs, one, two, offsets);
}
#endif

void markOffsets(const uint32_t* words, ptrdiff_t pairs, int one, int two, uint8_t* offsets) {
#if MORVANE_SIMD
    if (simdLevel() >= Simd::avx512) return markAvx512(words, pairs, one, two, offsets);
    if (simdLevel() >= Simd::avx2) return markAvx2(words, pairs, one, two, offsets);
#endif
    markNarrow(words, pairs, one, two, offsets);
}

// Bit k of the result: offsets[k] is not 255 (the pair ends an offset), for 64 pairs.
uint64_t endingPairs(const uint8_t* offsets) {
    uint64_t bits = 0;
#if MORVANE_SIMD
    const __m128i none = _mm_set1_epi8(static_cast<char>(255));
    for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(offsets + 16 * k));
        const unsigned open = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, none)));
        bits |= static_cast<uint64_t>(~open & 0xffffu) << (16 * k);
    }
#else
    for (int k = 0; k < 64; ++k) bits |= static_cast<uint64_t>(offsets[k] != 255) << k;
#endif
    return bits;
}

// The offsets of the pairs that end one moved to `kept` and on, in order,
// for the 64-pair words from .. to - 1, and where each word's went. Never
// past where they were, so in place.
size_t keepEndsPlain(uint8_t* offsets, const uint64_t* ends, size_t from, size_t to, size_t* first,
                     size_t kept) {
    for (size_t k = from; k < to; ++k) {
        first[k] = kept;
        for (uint64_t bits = ends[k]; bits; bits &= bits - 1) offsets[kept++] = offsets[k * 64 + __builtin_ctzll(bits)];
    }
    return kept;
}

#if MORVANE_SIMD
MORVANE_AVX512 size_t keepEndsAvx512(uint8_t* offsets, const uint64_t* ends, size_t from, size_t to,
                                     size_t* first, size_t kept) {
    for (size_t k = from; k < to; ++k) {
        first[k] = kept;
        // Sixteen at a time, widened to words to be packed together. The
        // masked forms with every lane set spare GCC's false warnings.
        for (int q = 0; q < 4; ++q) {
            const __mmask16 m = static_cast<__mmask16>(ends[k] >> (16 * q));
            const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(offsets + k * 64 + 16 * q));
            const __m512i packed = _mm512_maskz_compress_epi32(m, _mm512_maskz_cvtepu8_epi32(0xffff, in));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(offsets + kept), _mm512_maskz_cvtepi32_epi8(0xffff, packed));
            kept += bitCount(m);
        }
    }
    return kept;
}
#endif

size_t keepEnds(uint8_t* offsets, const uint64_t* ends, size_t from, size_t to, size_t* first, size_t kept) {
#if MORVANE_SIMD
    if (simdLevel() >= Simd::avx512) return keepEndsAvx512(offsets, ends, from, to, first, kept);
#endif
    return keepEndsPlain(offsets, ends, from, to, first, kept);
}

// The drops in their order: the grid, column by column, then the random ones.
struct dropOrder {
    int x1, y1, x2, y2, step, width, height;
    long long randomLeft;
    int x, y;  // the next grid drop, x beyond x2 once the grid is done

    bool done() const { return x > x2 && randomLeft == 0; }
    bool onGrid() const { return x <= x2; }
    void advance() {
        if (x > x2) {
            --randomLeft;
        } else if ((y += step) > y2) {
            y = y1;
            x += step;
        }
    }
};

struct spatterDrop {
    size_t from;  // the first pair of its splashes
    int x, y;
    int fromX, fromY;  // where its colour comes from
};

// A stretch of pairs with their offsets marked: a bit for each pair that
// ends one, and the offsets of those pairs alone, in order.
class markedPairs {
public:
    explicit markedPairs(const triangular& splash) : splash_(splash) {}

    // The words of `pairs` pairs (a multiple of 64) are handed in blocks.
    void start(size_t pairs) {
        pairs_ = pairs;
        offsets_.resize(pairs);
        ends_.resize(pairs / 64);
        counts_.resize(pairs / 64);
        first_.resize(pairs / 64);
    }

    // Marks a block, then moves the offsets that end pairs to its front.
    void markBlock(const uint32_t* words, size_t firstWord, size_t count) {
        const size_t from = firstWord / 2, pairs = count / 2;
        markOffsets(words + firstWord, static_cast<ptrdiff_t>(pairs), splash_.one(), splash_.two(),
                    offsets_.data() + from);
        for (size_t k = from / 64; k < (from + pairs) / 64; ++k) {
            ends_[k] = endingPairs(&offsets_[k * 64]);
            counts_[k] = static_cast<uint8_t>(bitCount(ends_[k]));
        }
        keepEnds(offsets_.data(), ends_.data(), from / 64, (from + pairs) / 64, first_.data(), from);
    }

    // The blocks' offsets closed up; first_ then counts the ends before each word.
    void done(const uint32_t* words) {
        words_ = words;
        size_t rank = 0;
        for (size_t k = 0; k < first_.size();) {
            const size_t from = first_[k];
            size_t n = 0;
            for (; k < first_.size() && first_[k] == from + n; ++k) {
                first_[k] = rank + n;
                n += counts_[k];
            }
            std::memmove(&offsets_[rank], &offsets_[from], n);
            rank += n;
        }
    }

    size_t pairs() const { return pairs_; }
    int draw(size_t j, int k) const { return static_cast<int>(words_[2 * j + k] >> 1); }
    // The offsets of the pairs that end one, from that of the pair j on.
    const uint8_t* endsFrom(size_t j) const {
        const size_t k = j / 64;
        return &offsets_[first_[k] + bitCount(ends_[k] & ~(~uint64_t{0} << (j % 64)))];
    }

    // The pair after the n-th (from 1) that ends an offset from pair j on;
    // false when the stretch ends first.
    bool afterEnds(size_t j, size_t n, size_t& after) const {
        after = j;
        if (n == 0) return true;
        if (j >= pairs_) return false;
        size_t k = j / 64;
        uint64_t bits = ends_[k] & (~uint64_t{0} << (j % 64));
        for (size_t c = bitCount(bits); c < n; c = counts_[k]) {
            n -= c;
            if (++k == ends_.size()) return false;
            bits = ends_[k];
        }
        for (; n > 1; --n) bits &= bits - 1;
        after = k * 64 + static_cast<size_t>(__builtin_ctzll(bits)) + 1;
        return true;
    }

private:
    const triangular& splash_;
    const uint32_t* words_ = nullptr;
    size_t pairs_ = 0;
    std::vector<uint8_t> offsets_;
    std::vector<uint64_t> ends_;
    std::vector<uint8_t> counts_;  // of each word of ends_
    std::vector<size_t> first_;    // where each word's ends go in offsets_
};

// The offset a triangular pick ends with, from pair j on (j moves past it);
// false when the stretch ends first.
bool pickFrom(const markedPairs& marked, const triangular& pick, size_t& j, int& offset) {
    offset = 0;
    if (pick.drawsNothing()) return true;
    for (; j < marked.pairs(); ++j) {
        if (pick.takes(marked.draw(j, 0), marked.draw(j, 1), offset)) {
            ++j;
            return true;
        }
    }
    return false;
}

// Each drop's splashes in the drops' order, on both cores: the parts cut
// the drops' reach along its longer side, and each writes only its own
// pixels, so a pixel still ends with the last drop that splashed it.
void splashAll(effect& e, const pixelRect& a, const std::vector<spatterDrop>& found,
               const markedPairs& marked, const triangular& splash, int perDrop) {
    const int one = splash.one(), two = splash.two();
    auto reach = [&](int c, int lo, int hi, int& from, int& to) {
        from = clampInt(c - one, lo, hi);
        to = clampInt(c + two - 1 - one, lo, hi);
    };
    int left = a.x1, right = a.x0, top = a.y1, bottom = a.y0;
    for (const spatterDrop& d : found) {
        int from, to;
        reach(d.x, a.x0, a.x1, from, to);
        left = std::min(left, from), right = std::max(right, to);
        reach(d.y, a.y0, a.y1, from, to);
        top = std::min(top, from), bottom = std::max(bottom, to);
    }
    const bool byRows = bottom - top >= right - left;
    const double work = static_cast<double>(found.size()) * perDrop;
    // A few wide parts: a drop across two parts is splashed by both.
    const int lo = byRows ? top : left, length = (byRows ? bottom : right) - lo + 1;
    const int parts = std::min(length, 4);
    inBands(0, parts - 1, work, [&](int p0, int p1) {
        const int first = lo + static_cast<int>(static_cast<long long>(length) * p0 / parts);
        const int last = lo + static_cast<int>(static_cast<long long>(length) * (p1 + 1) / parts) - 1;
        Rgba* rowAt[kLargestModulus];
        int columnAt[kLargestModulus];
        for (size_t i = 0; i < found.size(); ++i) {
            const spatterDrop& d = found[i];
            int from, to;
            reach(byRows ? d.y : d.x, byRows ? a.y0 : a.x0, byRows ? a.y1 : a.x1, from, to);
            if (to < first || from > last) continue;
            if (i + 1 < found.size()) __builtin_prefetch(&at(e.scratch, found[i + 1].fromX, found[i + 1].fromY));
            const Rgba colour = at(e.scratch, d.fromX, d.fromY);
            for (int t = 0; t < two; ++t) {
                const int y = clampInt(d.y + t - one, a.y0, a.y1), x = clampInt(d.x + t - one, a.x0, a.x1);
                rowAt[t] = !byRows || (y >= first && y <= last) ? &at(e.image, 0, y) : nullptr;
                columnAt[t] = byRows || (x >= first && x <= last) ? x : -1;
            }
            const uint8_t* offset = marked.endsFrom(d.from);
            for (int i = 0; i < perDrop; ++i, offset += 2) {
                Rgba* row = rowAt[offset[1]];
                const int column = columnAt[offset[0]];
                if (row && column >= 0) row[column] = colour;
            }
        }
    });
}

// The drops with each draw taken as it comes.
void spatterOneByOne(effect& e, const pixelRect& a, dropOrder order, const triangular& pick,
                     const triangular& splash, int perDrop, randDraws& draws) {
    auto clampX = [&](int x) { return clampInt(x, a.x0, a.x1); };
    auto clampY = [&](int y) { return clampInt(y, a.y0, a.y1); };
    for (; !order.done(); order.advance()) {
        randDraws local = draws;  // kept in registers across the pixel stores
        int x = order.x, y = order.y;
        if (!order.onGrid()) {
            x = local.next() % order.width;
            y = local.next() % order.height;
        }
        const int ox = pick.draw(local);
        const int oy = pick.draw(local);
        const Rgba c = at(e.scratch, clampX(x + ox), clampY(y + oy));
        for (int i = 0; i < perDrop; ++i) {
            const int sx = splash.draw(local);
            const int sy = splash.draw(local);
            at(e.image, clampX(x + sx), clampY(y + sy)) = c;
        }
        draws = local;
    }
}

// The drops from the sequence read ahead: a stretch of pairs is marked on
// both cores; the drops that end inside it are found one after another,
// their picks drawn and their splashes skipped by counting marks; then they
// are splashed, and the next stretch starts at the first drop left over.
void spatterAhead(effect& e, const pixelRect& a, dropOrder order, const triangular& pick,
                  const triangular& splash, int perDrop, randDraws& draws) {
    randAhead ahead(draws);
    markedPairs marked(splash);
    std::vector<spatterDrop> found;
    size_t taken = 0;             // draws
    size_t stretch = size_t{1} << 18;  // pairs, a multiple of 128
    while (!order.done()) {
        marked.start(stretch);
        marked.done(ahead.words(taken, 2 * stretch, 128, [&](const uint32_t* words, size_t first, size_t count) {
            marked.markBlock(words, first, count);
        }));
        found.clear();
        size_t j = 0;
        for (; !order.done(); order.advance()) {
            size_t k = j;
            int x = order.x, y = order.y;
            if (!order.onGrid()) {
                if (k == stretch) break;
                x = marked.draw(k, 0) % order.width;
                y = marked.draw(k, 1) % order.height;
                ++k;
            }
            int ox, oy;
            size_t after;
            if (!pickFrom(marked, pick, k, ox) || !pickFrom(marked, pick, k, oy) ||
                !marked.afterEnds(k, 2 * static_cast<size_t>(perDrop), after)) {
                break;
            }
            // The colour is read when splashing, where a cache miss costs less.
            found.push_back(spatterDrop{k, x, y, clampInt(x + ox, a.x0, a.x1), clampInt(y + oy, a.y0, a.y1)});
            j = after;
        }
        if (found.empty()) {
            stretch *= 2;  // a drop longer than the stretch
            continue;
        }
        splashAll(e, a, found, marked, splash, perDrop);
        taken += 2 * j;
    }
    ahead.leave(taken, draws);
}

}  // namespace

// ---------------------------------------------------------------------------
// Chrome, relief, black and white

// value1 is the amplification, value2 the blur radius.
const effectInfo chrome::descriptor =
    effectInfo{&family, "Chrome", {"Simple", "Gaussian"}, {4, 1, 20, 1}, {4, 0, 100, 1}}
        .startingIn(2);

chrome::chrome(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
               ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void chrome::LBAction() {
    pixelRect a;
    if (!workArea(*this, a)) return;
    blurCommitted(*this, a, value2, mode);
    unsigned char shade[766];  // by r + g + b
    const float gain = value1 / 2;
    for (int s = 0; s < 766; ++s) shade[s] = fold(truncToInt(gain * static_cast<float>(s)));
    forArea(a, [&](int x, int y) {
        const Rgba s = at(scratch, x, y);
        Rgba& p = at(image, x, y);
        const unsigned char v = shade[s.r + s.g + s.b];
        p = Rgba{v, v, v, p.a};
    });
}

// value1 is the blur radius, value2 the number of levels; the outline is
// drawn in `color`.
const effectInfo relief::descriptor =
    effectInfo{&family, "Relief", {"Simple", "Gaussian"}, {10, 0, 50, 1}, {10, 1, 50, 1}}
        .usingColor(kBlack);

relief::relief(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
               ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    setUp(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
    param4 = kReliefOpacity;
    start();
}

void relief::LBAction() {
    pixelRect a;
    if (!workArea(*this, a)) return;
    blurCommitted(*this, a, value1, mode);

    const float q = 255 / value2;
    unsigned char level[256];
    for (int s = 0; s < 256; ++s) {
        level[s] = static_cast<unsigned char>(
            byteRange.intForceLimit(q * std::trunc((static_cast<float>(s) + q / 2) / q)));
    }
    forArea(a, [&](int x, int y) {
        const Rgba s = at(scratch, x, y);
        Rgba& p = at(image, x, y);
        p = Rgba{level[s.r], level[s.g], level[s.b], p.a};
    });

    // The upper or left pixel of every colour boundary takes the line
    // colour; neighbours are compared before they are changed themselves.
    unsigned char line[3][256];
    const unsigned char tint[3] = {color.r, color.g, color.b};
    for (int ch = 0; ch < 3; ++ch) {
        for (int c = 0; c < 256; ++c) {
            line[ch][c] = static_cast<unsigned char>(
                byteRange.intForceLimit((1 - param4) * static_cast<float>(c) + param4 * tint[ch]));
        }
    }
    const int width = image->width, height = image->height;
    for (int y = a.y0; y <= a.y1; ++y) {
        for (int x = a.x0; x <= a.x1; ++x) {
            Rgba& p = at(image, x, y);
            const Rgba c = p;
            const Rgba L = {line[0][c.r], line[1][c.g], line[2][c.b], 0};
            if (x + 1 < width) {
                const Rgba n = at(image, x + 1, y);
                if (differs(c, n) && differs(L, n)) p = L;
            }
            if (y + 1 < height) {
                const Rgba n = at(image, x, y + 1);
                if (differs(c, n) && differs(L, n)) p = L;
            }
            p.a = 255;  // no later comparison looks at alpha
        }
    }
}

void relief::changeValue(char c) {
    if (c == kKeyDelete) {
        param4 = std::max(param4 - kOpacityStep, 0.0f);
    } else if (c == kKeyPageDown) {
        param4 = std::min(param4 + kOpacityStep, 1.0f);
    } else if (c == kKeyEnd) {
        param4 = param4 > 0 ? 0.0f : 1.0f;
    } else {
        return effect::changeValue(c);
    }
    reapply();
}

void relief::specialKey(int k) {
    effect::specialKey(k);
    if (k == kKeyEnd) changeValue(static_cast<char>(k));
}

const effectInfo bw::descriptor = {
    &family, "Black and White", {"Brightness", "Edge"}, {5, 0, 100, 1}, {200, 0, 255, 1}};

bw::bw(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud, ImageRGBA* icons,
       bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void bw::LBAction() {
    pixelRect a;
    if (!workArea(*this, a)) return;
    imageRgbaCopy(backup, scratch);
    if (mode == 2) {
        const float d = value1;
        const int x1 = a.x0, y1 = a.y0, x2 = a.x1, y2 = a.y1;
        forArea(a, [&](int x, int y) {
            const float fx = static_cast<float>(x), fy = static_cast<float>(y);
            const Rgba l = at(backup, fx >= x1 + d ? truncToInt(fx - d) : x1, y);
            const Rgba r = at(backup, fx < x2 - d ? truncToInt(fx + d) : x2, y);
            const Rgba u = at(backup, x, fy >= y1 + d ? truncToInt(fy - d) : y1);
            const Rgba w = at(backup, x, fy < y2 - d ? truncToInt(fy + d) : y2);
            const int edge = std::abs(l.r - r.r) + std::abs(u.r - w.r) + std::abs(l.g - r.g) +
                             std::abs(u.g - w.g) + std::abs(l.b - r.b) + std::abs(u.b - w.b);
            const unsigned char e = static_cast<unsigned char>(byteRange.intForceLimit(static_cast<float>(edge)));
            Rgba& s = at(scratch, x, y);
            s = Rgba{e, e, e, s.a};
        });
    }
    gaussian(image, scratch, a.x0, a.y0, a.x1, a.y1, value1, 1, 1);
    const float threshold = value2;
    forArea(a, [&](int x, int y) {
        const bool dark = maxChannel(at(scratch, x, y)) <= threshold;
        at(image, x, y) = dark ? Rgba{0, 0, 0, 255} : Rgba{255, 255, 255, 255};
    });
}

// ---------------------------------------------------------------------------
// Starlight and shine

// The size is the gain of the light, in tenths.
const effectInfo starlight::descriptor =
    effectInfo{&family,
               "Starlight",
               {"Star", "Cross", "X", "Colorized Star", "Colorized Cross", "Colorized X"},
               {15, 0, 100, 1},
               {40, 0, 255, 1}}
        .usingColor(Rgba{255, 0, 128, 255})
        .sized(10);

starlight::starlight(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
                     ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void starlight::LBAction() {
    pixelRect a;
    if (!workArea(*this, a)) return;
    const int m = mode;
    lightSource(*this, a, m >= 4);
    const float length = value1;
    if (m % 3 == 1 || m % 3 == 2) {  // horizontal and vertical streaks
        horizontal_blur(image, scratch, a.x0, a.y0, a.x1, a.y1, length, m, 1);
        vertical_blur(image, scratch, a.x0, a.y0, a.x1, a.y1, length, m, 2);
    }
    if (m % 3 == 1 || m % 3 == 0) {  // the diagonals
        motion_blur(image, scratch, a.x0, a.y0, a.x1, a.y1, length, 45, m, 2);
        motion_blur(image, scratch, a.x0, a.y0, a.x1, a.y1, length, 135, m, 2);
    }
    addLight(*this, a, image);
}

const effectInfo shine::descriptor =
    effectInfo{&family, "Shine", {"Normal", "Colorized"}, {15, 0, 200, 1}, {40, 0, 255, 1}}
        .usingColor(Rgba{230, 155, 0, 255})
        .sized(10);

shine::shine(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
             ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void shine::LBAction() {
    pixelRect a;
    if (!workArea(*this, a)) return;
    lightSource(*this, a, mode == 2);
    // Written where the window has just reached, so light trails outward.
    rays(a, cursor, value1, rays::widening::scaled, rays::written::atLead)
        .cast(scratch, image, shineMean, nullptr);
    fillGaps(image, a, false, true, [](Rgba p) { return p.a == 0; });
    gaussian(scratch, image, a.x0, a.y0, a.x1, a.y1, 2, 2, 1);
    addLight(*this, a, scratch);
}

// ---------------------------------------------------------------------------
// Brush, spatter, cutout, strokes

const effectInfo brush::descriptor =
    effectInfo{&family, "Brush", {}, {10, 5, 30, 1}, {2, 1, 5, 1}};

brush::brush(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
             ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void brush::LBAction() {
    pixelRect a;
    if (!workArea(*this, a)) return;
    const int r = clampInt(truncToInt(value2), 0, 5);  // the window holds at most 11 by 11
    const int n = 2 * r + 1;
    const int tol = clampInt(truncToInt(std::floor(value1)), -1, 255);
    // Only the area is written: the rows above it keep the picture.
    // Windows slide down a column; bands of rows keep the rows that a column
    // reads and writes in the cache for the next column.
    const int band = 64;
    const double work = static_cast<double>(a.x1 - a.x0 + 1) * (a.y1 - a.y0 + 1) * n;
    auto paint = [&](auto mask) {
        inBands(a.y0, a.y1, work, [&](int from, int to) {
            brushColumn<decltype(mask)> column(n, band);
            for (int top = from; top <= to; top += band) {
                const int bottom = std::min(top + band - 1, to);
                for (int x = a.x0; x <= a.x1; ++x) {
                    column.load(backup, a, x, top, bottom);
                    for (int y = top; y <= bottom; ++y) at(image, x, y) = column.paint(y - top, tol);
                }
            }
        });
    };
    // A bit per entry of the window.
    if (n * n <= 64) {
        paint(uint64_t{0});
    } else {
        paint(static_cast<unsigned __int128>(0));
    }
}

// Spatter, cutout and strokes work from the picture blurred by the size.
const effectInfo spatter::descriptor =
    effectInfo{&family, "Spatter", {}, {15, 1, 50, 1}, {7, 1, 20, 1}}.sized(2);

spatter::spatter(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
                 ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void spatter::LBAction() {
    pixelRect a;
    if (!workArea(*this, a) || value2 < 1) return;  // the range keeps the grid step at least 1
    preBlur(*this, a);
    clearArea(image, a);
    const int x1 = a.x0, y1 = a.y0, x2 = a.x1, y2 = a.y1;
    const triangular pick(value1), splash(value2);
    const float splashes = 4 * value2 * value2;
    int perDrop = 0;
    while (static_cast<float>(perDrop) < splashes) ++perDrop;
    const int width = image->width, height = image->height;
    dropOrder order{x1, y1, x2, y2, truncToInt(value2), width, height,
                    std::max(truncToInt(static_cast<float>(width * height) / splashes), 0), x1, y1};
    randRun run;
    randDraws draws = run.draws();
    if (MORVANE_SIMD && draws.table && splash.two() <= kLargestModulus) {
        spatterAhead(*this, a, order, pick, splash, perDrop, draws);
    } else {
        spatterOneByOne(*this, a, order, pick, splash, perDrop, draws);
    }
    run.resume(draws);
    fillGaps(image, a, true, false, [](Rgba p) { return p.a != 255; });
}

const effectInfo cutout::descriptor =
    effectInfo{&family, "Cutout", {}, {3, 2, 100, 1}, {20, 5, 30, 1}}.sized(2);

cutout::cutout(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
               ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void cutout::LBAction() {
    pixelRect a;
    if (!workArea(*this, a)) return;
    imageRgbaCopy(backup, image);
    preBlur(*this, a);
    const int w = a.x1 - a.x0 + 1;
    const int P = std::max(truncToInt(value1), 0);
    const int tol = clampInt(truncToInt(std::floor(value2)), -1, 255);

    std::vector<Rgba> palette;
    std::vector<int> counters(P, 0);
    try {
        const std::vector<colourLeader> leaders = groupColours(scratch, a, tol);
        for (const colourLeader& l : leaders) {
            if (l.took > 0 && P > 0 && l.took > counters[P - 1]) holdHighest(counters.data(), P, l.took);
        }
        // Equal sizes share the colour of the last leader of that size.
        std::vector<Rgba> entry(P);
        for (const colourLeader& l : leaders) {
            if (l.took <= 0) continue;
            for (int k = 0; k < P; ++k) {
                if (l.took == counters[k]) entry[k] = l.c;
            }
        }
        // An entry no group filled has no colour to offer.
        for (int k = 0; k < P; ++k) {
            if (counters[k] > 0) palette.push_back(entry[k]);
        }
    } catch (const std::bad_alloc&) {
        palette.clear();
    }
    for (int k = 0; k < P; ++k) morvane::log(counters[k]);

    if (palette.empty()) {  // nothing to map to: the area stays as committed
        for (int y = a.y0; y <= a.y1; ++y) std::copy_n(&at(backup, a.x0, y), w, &at(image, a.x0, y));
        return;
    }
    forArea(a, [&](int x, int y) {
        const Rgba s = at(scratch, x, y);
        size_t best = 0;
        int bestDistance = distance(s, palette[0]);
        for (size_t k = 1; k < palette.size(); ++k) {
            const int d = distance(s, palette[k]);
            if (d < bestDistance) {
                best = k;
                bestDistance = d;
            }
        }
        at(image, x, y) = palette[best];
    });
}

namespace {

// Up to this many of the random strokes' segments are drawn at once.
const size_t kSegmentBatch = size_t{1} << 16;

struct strokeSegment {
    int x0, y0, x1, y1;
    const Rgba* colour;  // read when drawing, where a cache miss costs less
};

// The segments in their order on both cores: the parts cut the area along
// its longer side, and each draws only its own pixels of the segments that
// reach into it.
void drawSegments(ImageRGBA* img, const pixelRect& a, const std::vector<strokeSegment>& segments) {
    const bool byRows = a.y1 - a.y0 >= a.x1 - a.x0;
    const int lo = byRows ? a.y0 : a.x0, length = (byRows ? a.y1 : a.x1) - lo + 1;
    const int parts = std::min(length, 4);
    inBands(0, parts - 1, 16.0 * static_cast<double>(segments.size()), [&](int p0, int p1) {
        const int first = lo + static_cast<int>(static_cast<long long>(length) * p0 / parts);
        const int last = lo + static_cast<int>(static_cast<long long>(length) * (p1 + 1) / parts) - 1;
        const pixelRect part = byRows ? pixelRect{a.x0, first, a.x1, last} : pixelRect{first, a.y0, last, a.y1};
        for (const strokeSegment& s : segments) {
            // A clipped line's pixels stay between its ends.
            if (std::max(s.x0, s.x1) < part.x0 || std::min(s.x0, s.x1) > part.x1 ||
                std::max(s.y0, s.y1) < part.y0 || std::min(s.y0, s.y1) > part.y1) {
                continue;
            }
            imageRgbaDrawLine(img, s.x0, s.y0, s.x1, s.y1, *s.colour, part.x0, part.y0, part.x1, part.y1);
        }
    });
}

// The first pixel from x to end whose alpha is 0, or end + 1. Apart, so
// that the scan keeps its few values in registers.
__attribute__((noinline)) int nextClear(const Rgba* row, int x, int end) {
    while (x <= end && row[x].a != 0) ++x;
    return x;
}

// The strokes, drawing from `draws` (randDraws or randStream).
template <class Draws>
void paintStrokes(effect& e, const pixelRect& a, Draws& draws) {
    const float width = e.value2, length = e.value1;
    const modulus byM(truncToInt(width / 2)), by30(30), byL(truncToInt(length / 2));
    static const strokeAngles angles;
    // Parallel segments stepping sideways across the direction, each up to
    // twice the length long with ragged ends, handed to line(x0, y0, x1, y1).
    // The ends lie within a few strokes' lengths of the area, so plain casts
    // truncate them.
    auto stroke = [&](int px, int py, int dir, auto line) {
        const int turn = dir % 360 - 15;
        for (int d = -truncToInt(width - static_cast<float>(byM.of(draws.next())));; ++d) {
            const int end = draws.next();
            if (!(width - static_cast<float>(byM.of(end)) > static_cast<float>(d))) break;
            const strokeAngles::of& t = angles.at(turn + by30.of(draws.next()));
            const int sh1 = byL.of(draws.next()), sh2 = byL.of(draws.next());
            const int sh3 = byL.of(draws.next()), sh4 = byL.of(draws.next());
            const float cx = static_cast<float>(px) + static_cast<float>(d) * t.sinU;
            const float cy = static_cast<float>(py) + static_cast<float>(d) * t.cosU;
            line(static_cast<int>(cx + (length - static_cast<float>(sh4)) * t.sinT),
                 static_cast<int>(cy + (length - static_cast<float>(sh3)) * t.cosT),
                 static_cast<int>(cx - (length - static_cast<float>(sh2)) * t.sinT),
                 static_cast<int>(cy - (length - static_cast<float>(sh1)) * t.cosT));
        }
    };
    ImageRGBA* image = e.image;
    for (int sweep = 0; sweep < 2; ++sweep) {
        for (int y = a.y0; y <= a.y1; ++y) {
            const Rgba* row = &at(image, 0, y);
            for (int x = nextClear(row, a.x0, a.x1); x <= a.x1; x = nextClear(row, x + 1, a.x1)) {
                const int dir = draws.next();
                const Rgba c = at(e.scratch, x, y);
                for (int l = 0; l < 3; ++l) {
                    stroke(x + l, y, dir, [&](int x0, int y0, int x1, int y1) {
                        imageRgbaDrawLine(image, x0, y0, x1, y1, c, a.x0, a.y0, a.x1, a.y1);
                    });
                }
            }
        }
    }
    // Random positions are taken modulo the area's width and height less
    // one. Their strokes depend on no earlier one: drawn in batches on both
    // cores.
    if (a.x1 - a.x0 < 1 || a.y1 - a.y0 < 1) return;
    const int count = truncToInt(static_cast<float>(image->width * image->height) / (4 * length * width));
    std::vector<strokeSegment> segments;
    for (int k = 0; k < count; ++k) {
        const int ix = draws.next() % (a.x1 - a.x0);
        const int iy = draws.next() % (a.y1 - a.y0);
        const int dir = draws.next();
        const Rgba* c = &at(e.scratch, a.x0 + ix, a.y0 + iy);
        for (int j = 0; j < 3; ++j) {
            stroke(a.x0 + ix + j, a.y0 + iy, dir, [&](int x0, int y0, int x1, int y1) {
                segments.push_back(strokeSegment{x0, y0, x1, y1, c});
            });
        }
        if (segments.size() >= kSegmentBatch || k == count - 1) {
            drawSegments(image, a, segments);
            segments.clear();
        }
    }
}

}  // namespace

const effectInfo strokes::descriptor =
    effectInfo{&family, "Strokes", {}, {7, 2, 30, 1}, {3, 2, 15, 1}}.sized(2);

strokes::strokes(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
                 ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
    begin(descriptor, image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
}

void strokes::LBAction() {
    const float width = value2, length = value1;
    const int m = truncToInt(width / 2), mL = truncToInt(length / 2);
    pixelRect a;
    if (!workArea(*this, a) || m < 1 || mL < 1) return;  // the ranges keep both at least 1
    preBlur(*this, a);
    clearArea(image, a);
    randRun run;
    randDraws draws = run.draws();
    if (draws.table) {
        randStream stream(draws);
        paintStrokes(*this, a, stream);
        stream.leave(draws);
    } else {
        paintStrokes(*this, a, draws);
    }
    run.resume(draws);
}
