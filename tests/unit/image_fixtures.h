// Images for the image-library tests: owned, random or filled, and pixels
// compared channel by channel.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <random>

#include "image/imagergba.h"

namespace fixtures {

struct ImageDeleter {
    void operator()(ImageRGBA* img) const { imageRgbaFree(img); }
};
using Image = std::unique_ptr<ImageRGBA, ImageDeleter>;
using Channels = std::array<int, 4>;

inline Channels channels(Rgba p) { return Channels{p.r, p.g, p.b, p.a}; }

inline Rgba& at(ImageRGBA* img, int x, int y) {
    return img->data[static_cast<size_t>(y) * img->width + x];
}

inline Image filledImage(int width, int height, Rgba colour) {
    Image img(imageRgbaNew(width, height));
    imageRgbaSet(img.get(), colour.r, colour.g, colour.b, colour.a);
    return img;
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

inline bool samePixels(const ImageRGBA* a, const ImageRGBA* b) {
    for (int i = 0; i < a->width * a->height; ++i) {
        if (channels(a->data[i]) != channels(b->data[i])) return false;
    }
    return true;
}

}  // namespace fixtures
