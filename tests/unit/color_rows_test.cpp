// The colour adjustments a row at a time (tables, lanes) against their
// per-pixel rule, on every byte value, many settings and every colour.
#include "effects/color.h"
#include "image/lanes.h"
#include "tests/unit/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

namespace {

using fixtures::cloneOf;

// The area through the effect's own actionArea and through `action` pixel by
// pixel, both from the same pictures; empty when they agree.
std::string fastAgainstRule(color& e, pixelRect area) {
    fixtures::Image start = cloneOf(e.image);
    e.actionArea(area);
    fixtures::Image fast = cloneOf(e.image);
    imageRgbaCopy(start.get(), e.image);
    e.color::actionArea(area);
    return fixtures::firstDifference(e.image, fast.get());
}

class ColourRows : public ::testing::Test {
protected:
    void TearDown() override { simdCap(Simd::avx512vbmi); }

    // Committed picture `source`; the working one random with random alpha,
    // so a rule that keeps the destination's alpha shows it.
    template <class T>
    std::unique_ptr<color> make(const ImageRGBA* source) {
        imgs = std::make_unique<EffectImages>(imageRgbaClone(source));
        std::unique_ptr<color> e = imgs->make<T>();
        imageRgbaCopy(source, imgs->backup);
        fixtures::Image noise = fixtures::randomImage(source->width, source->height, 7);
        imageRgbaCopy(noise.get(), imgs->image);
        return e;
    }

    struct Case {
        const char* name;
        std::function<std::unique_ptr<color>(const ImageRGBA*)> make;
        std::vector<float> values;
        int modes = 1;  // channel's three, and one that only copies
    };
    template <class T>
    Case rule(const char* name, std::vector<float> values, int modes = 1) {
        return Case{name, [this](const ImageRGBA* s) { return make<T>(s); }, values, modes};
    }

    std::unique_ptr<EffectImages> imgs;
};

std::vector<float> steps(int from, int to, int by) {
    std::vector<float> v;
    for (int i = from; i <= to; i += by) v.push_back(static_cast<float>(i));
    return v;
}

TEST_F(ColourRows, EveryRuleAtEverySettingOnEveryByte) {
    // Rows 0 to 2: each channel through all 256 values, differently per row;
    // rows 3 to 6: random colours. Alpha varies throughout.
    fixtures::Image source = fixtures::randomImage(256, 7, 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 256; ++x) {
            pixel(source.get(), x, y) =
                Rgba{static_cast<unsigned char>(x), static_cast<unsigned char>(x * 7 + 85 * y),
                     static_cast<unsigned char>(255 - x), static_cast<unsigned char>(x ^ 0x5a)};
        }
    }
    const float nan = std::nanf("");
    std::vector<float> turns = steps(0, 359, 7), colours = turns;
    // Values that can take a hue outside 0..360 take the scalar conversion
    // there, lane by lane.
    turns.insert(turns.end(), {359.5f, -30, 725, -1e9f, nan});
    colours.insert(colours.end(), {-30, 360, 359.99997f, 725, -1e9f, nan});
    const Case cases[] = {
        rule<brightness>("brightness", steps(-255, 255, 1)),
        rule<contrast>("contrast", steps(-255, 255, 1)),
        rule<channel>("channel", steps(-255, 255, 1), 4),
        rule<posterize>("posterize", steps(1, 255, 1)),
        rule<solarize>("solarize", steps(0, 256, 1)),
        rule<invert>("invert", {0}),
        rule<saturation>("saturation", steps(-255, 255, 5)),
        rule<gray>("gray", {0}),
        rule<hue>("hue", turns),
        rule<colorize>("colorize", colours),
    };
    // The whole picture, rows that end off the vector width, one column.
    const pixelRect areas[] = {{0, 0, 255, 6}, {3, 1, 253, 5}, {5, 0, 5, 6}};
    fixtures::atEverySimdLevel([&](Simd level) {
        for (const Case& c : cases) {
            std::unique_ptr<color> e = c.make(source.get());
            for (int mode = 1; mode <= c.modes; ++mode) {
                e->mode = static_cast<int8_t>(mode);
                for (float v : c.values) {
                    e->value1 = v;
                    for (const pixelRect& area : areas) {
                        ASSERT_EQ(fastAgainstRule(*e, area), "")
                            << c.name << " mode " << mode << " value " << v << " on "
                            << fixtures::simdName(level);
                    }
                }
            }
        }
    });
}

TEST_F(ColourRows, LanesGiveTheRuleForEveryColour) {
    fixtures::Image source(imageRgbaNew(4096, 4096));
    for (uint32_t i = 0; i < (1u << 24); ++i) {
        source->data[i] = Rgba{static_cast<unsigned char>(i), static_cast<unsigned char>(i >> 8),
                               static_cast<unsigned char>(i >> 16),
                               static_cast<unsigned char>(i * 37)};
    }
    const Case cases[] = {
        rule<hue>("hue", {20}),
        rule<colorize>("colorize", {200}),
        rule<saturation>("saturation", {-120}),
        rule<gray>("gray", {0}),
    };
    for (const Case& c : cases) {
        std::unique_ptr<color> e = c.make(source.get());
        e->value1 = c.values[0];
        ASSERT_EQ(fastAgainstRule(*e, pixelRect{0, 0, 4095, 4095}), "")
            << c.name << " on " << fixtures::simdName(simdLevel());
    }
}

}  // namespace
