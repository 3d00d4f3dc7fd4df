#include "bench/bench_support.h"

#include "image/tiff.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>

namespace bench {

void fillNoise(ImageRGBA* img, uint32_t seed) {
    const size_t count = static_cast<size_t>(img->width) * img->height;
    for (size_t i = 0; i < count; ++i) {
        seed = seed * 1664525u + 1013904223u;
        img->data[i] = Rgba{static_cast<unsigned char>(seed >> 8), static_cast<unsigned char>(seed >> 16),
                            static_cast<unsigned char>(seed >> 24), 255};
    }
}

EffectImages::EffectImages(int width, int height) {
    image = imageRgbaNew(width, height);
    fillNoise(image);
    backup = imageRgbaClone(image);
    scratch = imageRgbaClone(image);
    hud = imageRgbaClone(image);
    icons = imageRgbaNew(400, 113);
}

EffectImages::~EffectImages() {
    for (ImageRGBA* img : {image, backup, scratch, hud, icons}) imageRgbaFree(img);
}

SourcedImages::SourcedImages(int width, int height)
    : EffectImages(width, height), source(imageRgbaClone(image)) {}

SourcedImages::~SourcedImages() { imageRgbaFree(source); }

const ImageRGBA* photo() {
    static const ImageRGBA* picture = [] {
        const char* path = MORVANE_SOURCE_DIR "/bench/large.tif";
        ImageRGBA* img = imageRgbaReadTIFF(path);
        if (!img) {
            std::fprintf(stderr, "bench: cannot read %s\n", path);
            std::exit(1);
        }
        return img;
    }();
    return picture;
}

double copyNsPerPixel(int width, int height) {
    static std::map<std::pair<int, int>, double> known;
    const auto size = std::make_pair(width, height);
    auto it = known.find(size);
    if (it != known.end()) return it->second;
    ImageRGBA* src = imageRgbaNew(width, height);
    ImageRGBA* dest = imageRgbaNew(width, height);
    fillNoise(src);
    imageRgbaCopy(src, dest);  // warm
    long rounds = 0;
    const auto start = std::chrono::steady_clock::now();
    std::chrono::duration<double, std::nano> spent{};
    do {
        imageRgbaCopy(src, dest);
        benchmark::ClobberMemory();
        ++rounds;
        spent = std::chrono::steady_clock::now() - start;
    } while (spent.count() < 3e8);
    imageRgbaFree(src);
    imageRgbaFree(dest);
    const double ns = spent.count() / (static_cast<double>(rounds) * width * height);
    return known.emplace(size, ns).first->second;
}

}  // namespace bench
