#include "image/rows.h"

#include "image/lanes.h"

#include <algorithm>
#include <cstring>

namespace {

void mapChannelsScalar(const Rgba* src, Rgba* dst, int count, const channelTables& t) {
    for (int i = 0; i < count; ++i) {
        const Rgba s = src[i];
        const unsigned char a = t.alphaFromSource ? s.a : dst[i].a;
        dst[i] = Rgba{t.r[s.r], t.g[s.g], t.b[s.b], a};
    }
}

#if MORVANE_SIMD
// A 256-entry byte table in four registers; each byte of x looks itself up.
struct byteTable {
    __m512i part[4];
};

MORVANE_VBMI MORVANE_LANES_INLINE byteTable loadTable(const unsigned char* t) {
    return byteTable{{_mm512_loadu_si512(t), _mm512_loadu_si512(t + 64),
                      _mm512_loadu_si512(t + 128), _mm512_loadu_si512(t + 192)}};
}

// The bytes of x in `lanes` looked up, the others left as they are. Each
// permute overwrites its index register where its mask is set, so the high
// half finds the bytes the low half left alone still holding their index.
MORVANE_VBMI MORVANE_LANES_INLINE __m512i lookUp(const byteTable& t, __m512i x, __mmask64 lanes) {
    const __mmask64 high = _mm512_movepi8_mask(x);
    x = _mm512_mask2_permutex2var_epi8(t.part[0], x, lanes & ~high, t.part[1]);
    return _mm512_mask2_permutex2var_epi8(t.part[2], x, lanes & high, t.part[3]);
}

// Sixteen pixels a step; the bytes of a pixel are r, g, b, a in this order.
MORVANE_VBMI void mapChannelsVbmi(const Rgba* src, Rgba* dst, int width, int height,
                                  size_t stride, const channelTables& t) {
    const __mmask64 kR = 0x1111111111111111ull, kG = kR << 1, kB = kR << 2, kA = kR << 3;
    const bool oneTable = std::memcmp(t.r, t.g, 256) == 0 && std::memcmp(t.r, t.b, 256) == 0;
    // In place the source's alpha is the destination's.
    const bool alphaFromSource = t.alphaFromSource || src == dst;
    const byteTable r = loadTable(t.r), g = loadTable(t.g), b = loadTable(t.b);
    const int whole = width & ~15;
    for (int y = 0; y < height; ++y, src += stride, dst += stride) {
        for (int i = 0; i < whole; i += 16) {
            __m512i out = _mm512_loadu_si512(src + i);
            if (oneTable) {
                out = lookUp(r, out, kR | kG | kB);
            } else {
                out = lookUp(b, lookUp(g, lookUp(r, out, kR), kG), kB);
            }
            if (!alphaFromSource) out = _mm512_mask_blend_epi8(kA, out, _mm512_loadu_si512(dst + i));
            _mm512_storeu_si512(dst + i, out);
        }
        mapChannelsScalar(src + whole, dst + whole, width - whole, t);
    }
}
#endif

}  // namespace

void mapChannels(const Rgba* src, Rgba* dst, int width, int height, size_t stride,
                 const channelTables& tables) {
    if (width <= 0) return;
#if MORVANE_SIMD
    if (simdLevel() >= Simd::avx512vbmi) {
        mapChannelsVbmi(src, dst, width, height, stride, tables);
        return;
    }
#endif
    for (int y = 0; y < height; ++y, src += stride, dst += stride) {
        mapChannelsScalar(src, dst, width, tables);
    }
}
