// Writes a picture of random opaque pixels, the hardest content for the
// effects whose work follows the picture (bright pixels, colour groups):
//
//     noisepicture WIDTH HEIGHT FILE [SEED]
//
// tools/stalls.sh makes its pictures of every shape with it.
#include "image/imagergba.h"
#include "image/tiff.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 4 || argc > 5) {
        std::fprintf(stderr, "usage: noisepicture WIDTH HEIGHT FILE [SEED]\n");
        return 2;
    }
    const long w = std::strtol(argv[1], nullptr, 10), h = std::strtol(argv[2], nullptr, 10);
    if (w < 1 || h < 1 || w > 1000000000L / h) {
        std::fprintf(stderr, "noisepicture: %s by %s is not a size it makes\n", argv[1], argv[2]);
        return 2;
    }
    ImageRGBA* img = imageRgbaNew(static_cast<int>(w), static_cast<int>(h));
    if (!img) {
        std::fprintf(stderr, "noisepicture: not enough memory\n");
        return 1;
    }
    uint64_t state = argc == 5 ? std::strtoull(argv[4], nullptr, 10) : 1;
    for (size_t i = 0, n = static_cast<size_t>(w) * h; i < n; ++i) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;  // Knuth's LCG
        const auto bits = static_cast<uint32_t>(state >> 32);
        img->data[i] = Rgba{static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
                            static_cast<unsigned char>(bits >> 16), 255};
    }
    std::string reason;
    if (imageRgbaWriteTIFF(argv[3], img, &reason)) {
        std::fprintf(stderr, "noisepicture: %s: %s\n", argv[3], reason.c_str());
        return 1;
    }
    imageRgbaFree(img);
    return 0;
}
