// Every effect of the catalogue, every mode, both settings driven to both
// ends with the arrow keys, with no area, an area inside the picture and one
// reaching past it, on pictures from 1 by 1 up: the sanitizers see every
// read and write, pixels outside the area stay as they were, and the right
// button gives back the committed picture.
#include "tests/unit/test_support.h"

#include <algorithm>
#include <set>
#include <string>

namespace {

struct Size {
    int width, height;
};
const Size kSizes[] = {{1, 1}, {2, 2}, {1, 100}, {100, 1}, {3, 7}, {257, 129}};

struct Area {
    const char* name;
    bool has;
    point min, max;
};

std::vector<Area> areasFor(int w, int h) {
    return {{"none", false, point(0, 0), point(0, 0)},
            {"inside", true, point(w / 3, h / 4), point(w - 1 - w / 4, h - 1 - h / 3)},
            {"past", true, point(w / 2, -3), point(w + 5, h / 2)}};
}

// A picture with transparency, so the alpha paths run as well.
fixtures::Image startPicture(Size s) { return fixtures::randomImage(s.width, s.height, 99); }

class CatalogueTorture : public ::testing::TestWithParam<int> {
protected:
    // The first pixel outside the clamped area that differs from `start`.
    static std::string changedOutside(const ImageRGBA* img, const ImageRGBA* start, const Area& a) {
        const int x0 = a.has ? std::max(a.min.x, 0) : 0, y0 = a.has ? std::max(a.min.y, 0) : 0;
        const int x1 = a.has ? std::min(a.max.x, img->width - 1) : img->width - 1;
        const int y1 = a.has ? std::min(a.max.y, img->height - 1) : img->height - 1;
        for (int y = 0; y < img->height; ++y) {
            for (int x = 0; x < img->width; ++x) {
                if (x >= x0 && x <= x1 && y >= y0 && y <= y1) continue;
                const size_t i = static_cast<size_t>(y) * img->width + x;
                if (!samePixel(img->data[i], start->data[i])) {
                    return "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
                }
            }
        }
        return "";
    }

    // Presses the key until the settings stop moving, or come round again
    // (hues wrap). On the large picture a few presses show the way, then the
    // setting is put two presses from its end, which saves hundreds of full
    // applications.
    static void driveToEnd(effect& e, int key, bool large) {
        std::set<std::pair<float, float>> seen;
        for (int press = 0; press < 600; ++press) {
            const float v1 = e.value1, v2 = e.value2;
            seen.insert({v1, v2});
            e.specialKey(key);
            e.idle();
            e.busy = false;
            if (seen.count({e.value1, e.value2})) return;
            if (large && press == 3) {
                const bool up1 = e.value1 > v1, up2 = e.value2 > v2;
                if (e.value1 != v1) e.value1 = nearEnd(e.value1Range, up1, e.value1 - v1);
                if (e.value2 != v2) e.value2 = nearEnd(e.value2Range, up2, e.value2 - v2);
            }
        }
        ADD_FAILURE() << "key " << key << " never stops changing the settings";
    }

    static float nearEnd(limit range, bool up, float step) {
        const float end = static_cast<float>(up ? range.max : range.min);
        return end - 2 * step;
    }
};

TEST_P(CatalogueTorture, EveryModeAndSettingEndStaysInsideTheArea) {
    const catalogueEntry& entry = catalogue[GetParam()];
    for (const Size s : kSizes) {
        for (const Area& a : areasFor(s.width, s.height)) {
            SCOPED_TRACE("effect " + std::to_string(entry.index) + " (" + entry.icon + ") on " +
                         std::to_string(s.width) + " by " + std::to_string(s.height) +
                         ", area " + a.name);
            fixtures::Image start = startPicture(s);
            EffectImages images(imageRgbaClone(start.get()));
            // Committed, as the shell leaves the picture for the next effect.
            imageRgbaCopy(start.get(), images.backup);
            imageRgbaCopy(start.get(), images.scratch);
            {
                std::unique_ptr<effect> e(entry.make(images.image, images.backup, images.scratch,
                                                     images.hud, images.icons, a.has, a.min, a.max));
                const int modes = std::min<int>(e->modeCount, 12);
                for (int m = 1; m <= modes; ++m) {
                    // The warps follow the pointer: put it on the picture's middle.
                    e->setXY(s.width / 2.0f, s.height / 2.0f);
                    e->specialKey(m);
                    e->busy = false;
                    for (int key : {101, 103, 102, 100}) driveToEnd(*e, key, s.width > 200);
                    // A lens shown by a value key goes on release.
                    e->LB(false);
                    const std::string outside = changedOutside(e->image, start.get(), a);
                    ASSERT_EQ(outside, "") << "mode " << m << " wrote outside the area";
                }
                e->RB(true);
                e->RB(false);
                ASSERT_TRUE(sameImage(e->image, e->backup)) << "the right button";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogue, CatalogueTorture, ::testing::Range(0, catalogueSize),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::to_string(catalogue[info.param].index) + "_" +
                                    catalogue[info.param].icon;
                         });

}  // namespace
