#include "image/imagergba.h"

#include "image/check.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include <sys/mman.h>

namespace {
const char* const kSource = "image/imagergba";
}

namespace {

// A big picture is laid on whole 2 MiB pages where the system allows: a
// photograph then costs a few hundred page faults instead of tens of
// thousands, in every buffer the effects fill for the first time.
void* allocatePixels(size_t bytes) {
    constexpr size_t kHuge = size_t(2) << 20;
    if (bytes < 4 * kHuge) return std::malloc(bytes ? bytes : sizeof(Rgba));
    const size_t rounded = (bytes + kHuge - 1) / kHuge * kHuge;
    void* p = std::aligned_alloc(kHuge, rounded);
    if (p) madvise(p, rounded, MADV_HUGEPAGE);
    return p;
}

}  // namespace

ImageRGBA* imageRgbaNew(int width, int height) {
    MORVANE_CHECK(width >= 0, kSource);
    MORVANE_CHECK(height >= 0, kSource);
    // Pixel indices are ints throughout the program, so the count must fit one.
    if (height != 0 && width > INT_MAX / height) return nullptr;
    ImageRGBA* img = new (std::nothrow) ImageRGBA;
    if (!img) return nullptr;
    size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * sizeof(Rgba);
    img->data = static_cast<Rgba*>(allocatePixels(bytes));
    if (!img->data) {
        delete img;
        return nullptr;
    }
    img->width = width;
    img->height = height;
    img->bytesPerPixel = sizeof(Rgba);
    return img;
}

void imageRgbaFree(ImageRGBA* img) {
    MORVANE_CHECK(img->bytesPerPixel == sizeof(Rgba), kSource);
    std::free(img->data);
    delete img;
}

ImageRGBA* imageRgbaClone(const ImageRGBA* img) {
    MORVANE_CHECK(img->bytesPerPixel == sizeof(Rgba), kSource);
    ImageRGBA* copy = imageRgbaNew(img->width, img->height);
    if (copy) {
        std::memcpy(copy->data, img->data,
                    static_cast<size_t>(img->width) * img->height * sizeof(Rgba));
    }
    return copy;
}

void imageRgbaCopy(const ImageRGBA* src, const ImageRGBA* dest) {
    MORVANE_CHECK(src->height == dest->height && src->width == dest->width, kSource);
    if (src->data == dest->data) return;
    std::memcpy(dest->data, src->data, static_cast<size_t>(src->width) * src->height * sizeof(Rgba));
}

void imageRgbaClear(ImageRGBA* img) {
    MORVANE_CHECK(img->bytesPerPixel == sizeof(Rgba), kSource);
    imageRgbaSet(img, 255, 255, 255, 255);
}

void imageRgbaSet(ImageRGBA* img, unsigned r, unsigned g, unsigned b, unsigned a) {
    MORVANE_CHECK(img->bytesPerPixel == sizeof(Rgba), kSource);
    const Rgba p = {static_cast<unsigned char>(r), static_cast<unsigned char>(g),
                    static_cast<unsigned char>(b), static_cast<unsigned char>(a)};
    std::fill_n(img->data, static_cast<size_t>(img->width) * img->height, p);
}

void imageRgbaSetArea(ImageRGBA* img, int x1, int y1, int x2, int y2, Rgba colour) {
    for (int y = y1; y < y2; ++y) {
        Rgba* row = img->data + static_cast<size_t>(y) * img->width;
        for (int x = x1; x < x2; ++x) row[x] = colour;
    }
}
