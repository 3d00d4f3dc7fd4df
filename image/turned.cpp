#include "image/turned.h"

#include "image/bands.h"

#include <cstdint>
#include <memory>

namespace {

constexpr int kNarrowest = 8;  // columns at most
constexpr int kTallerBy = 8;

struct Store {
    std::unique_ptr<Rgba[]> pixels;
    size_t size = 0;
};

Rgba* storeOf(int slot, size_t size) {
    static thread_local Store stores[3];
    Store& s = stores[slot];
    if (s.size < size) {
        s.pixels.reset(new Rgba[size]);
        s.size = size;
    }
    return s.pixels.get();
}

// Between the region of a picture and its transpose, rows of the region on
// both cores.
void copy(const ImageRGBA* from, ImageRGBA* to, int x1, int y1, int x2, int y2, bool back) {
    const int w = x2 - x1 + 1, h = y2 - y1 + 1;
    const ImageRGBA* picture = back ? to : from;
    inBands(y1, y2, double(w) * h, [&](int first, int last) {
        for (int y = first; y <= last; ++y) {
            const size_t row = size_t(y) * picture->width + x1;
            for (int i = 0; i < w; ++i) {
                const size_t turned = size_t(i) * h + (y - y1);
                if (back) {
                    to->data[row + i] = from->data[turned];
                } else {
                    to->data[turned] = from->data[row + i];
                }
            }
        }
    });
}

}  // namespace

bool narrowRegion(int x1, int y1, int x2, int y2) {
    const int64_t w = int64_t(x2) - x1 + 1, h = int64_t(y2) - y1 + 1;
    return w >= 1 && w <= kNarrowest && h >= kTallerBy * w;
}

TurnedRegion::TurnedRegion(int x1, int y1, int x2, int y2, int slot)
    : x1_(x1), y1_(y1), x2_(x2), y2_(y2) {
    const int w = x2 - x1 + 1, h = y2 - y1 + 1;
    image_ = ImageRGBA{h, w, 4, storeOf(slot, size_t(w) * h)};
}

void TurnedRegion::turn(const ImageRGBA* from) { copy(from, &image_, x1_, y1_, x2_, y2_, false); }

void TurnedRegion::turnBack(ImageRGBA* to) const {
    copy(&image_, to, x1_, y1_, x2_, y2_, true);
}
