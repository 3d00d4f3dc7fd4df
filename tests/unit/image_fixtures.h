// Images for the unit tests: raw or owned, patterned, random or filled, and
// pixels compared whole or channel by channel.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <cstdio>
#include <random>
#include <string>

#include "image/imagergba.h"
#include "image/lanes.h"

inline ImageRGBA* flatImage(int width, int height, Rgba colour) {
    ImageRGBA* img = imageRgbaNew(width, height);
    std::fill_n(img->data, static_cast<size_t>(width) * height, colour);
    return img;
}

// An image whose pixels all differ, filled from a simple hash of (x, y); opaque.
inline ImageRGBA* patternImage(int width, int height, unsigned seed = 1) {
    ImageRGBA* img = imageRgbaNew(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned h = (x * 73856093u) ^ (y * 19349663u) ^ (seed * 83492791u);
            h ^= h >> 13;
            h *= 0x5bd1e995u;
            h ^= h >> 15;
            img->data[y * width + x] = Rgba{static_cast<unsigned char>(h), static_cast<unsigned char>(h >> 8),
                                            static_cast<unsigned char>(h >> 16), 255};
        }
    }
    return img;
}

inline Rgba& pixel(ImageRGBA* img, int x, int y) {
    return img->data[static_cast<size_t>(y) * img->width + x];
}

inline bool samePixel(Rgba a, Rgba b) {
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

// "(r,g,b,a)", for messages.
inline std::string str(Rgba p) {
    return "(" + std::to_string(p.r) + "," + std::to_string(p.g) + "," + std::to_string(p.b) + "," +
           std::to_string(p.a) + ")";
}

// Channel values clamped into 0..255, written out for the references.
inline unsigned char byteOf(int v) { return static_cast<unsigned char>(std::min(255, std::max(0, v))); }
inline unsigned char byteOf(float v) {
    return v > 255 ? 255 : v < 0 ? 0 : static_cast<unsigned char>(static_cast<int>(v));
}

inline bool sameImage(const ImageRGBA* a, const ImageRGBA* b) {
    return a->width == b->width && a->height == b->height &&
           std::memcmp(a->data, b->data, static_cast<size_t>(a->width) * a->height * 4) == 0;
}

inline Rgba inverted(Rgba p) {
    return Rgba{static_cast<unsigned char>(255 - p.r), static_cast<unsigned char>(255 - p.g),
                static_cast<unsigned char>(255 - p.b), p.a};
}

namespace fixtures {

// The instruction sets by name, for messages.
inline const char* simdName(Simd level) {
    static const char* const names[] = {"baseline", "avx2", "avx512", "avx512vbmi"};
    return names[static_cast<int>(level)];
}

// body(level) at every instruction-set level the processor has, lowest
// first; the best is in force again afterwards.
template <class Body>
void atEverySimdLevel(Body body) {
    simdCap(Simd::avx512vbmi);
    const Simd best = simdLevel();
    for (int level = 0; level <= static_cast<int>(best); ++level) {
        simdCap(static_cast<Simd>(level));
        body(static_cast<Simd>(level));
    }
    simdCap(Simd::avx512vbmi);
}

struct ImageDeleter {
    void operator()(ImageRGBA* img) const { imageRgbaFree(img); }
};
using Image = std::unique_ptr<ImageRGBA, ImageDeleter>;
using Channels = std::array<int, 4>;

inline Channels channels(Rgba p) { return Channels{p.r, p.g, p.b, p.a}; }

inline Image filledImage(int width, int height, Rgba colour) {
    return Image(flatImage(width, height, colour));
}

// Random channels; alpha random too unless `opaque`.
inline Image randomImage(int width, int height, unsigned seed, bool opaque = false) {
    Image img(imageRgbaNew(width, height));
    std::mt19937 gen(seed);
    for (int i = 0; i < width * height; ++i) {
        const uint32_t v = gen();
        img->data[i] = Rgba{static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                            static_cast<unsigned char>(v >> 16),
                            static_cast<unsigned char>(opaque ? 255 : v >> 24)};
    }
    return img;
}

inline Image cloneOf(const ImageRGBA* img) { return Image(imageRgbaClone(img)); }

// Empty when the two images are equal, else where they first differ.
inline std::string firstDifference(const ImageRGBA* want, const ImageRGBA* got) {
    if (want->width != got->width || want->height != got->height) return "sizes differ";
    for (int y = 0; y < want->height; ++y) {
        for (int x = 0; x < want->width; ++x) {
            const size_t i = static_cast<size_t>(y) * want->width + x;
            if (!samePixel(want->data[i], got->data[i])) {
                return "pixel (" + std::to_string(x) + "," + std::to_string(y) + ") is " +
                       str(got->data[i]) + ", expected " + str(want->data[i]);
            }
        }
    }
    return "";
}

}  // namespace fixtures
