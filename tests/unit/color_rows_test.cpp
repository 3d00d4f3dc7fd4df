// The colour adjustments a row at a time (tables, lanes) against their
// per-pixel rule, on every byte value and every colour.
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
using fixtures::firstDifference;

// The simd levels this processor has, narrowest first.
std::vector<Simd> levels() {
    std::vector<Simd> all;
    simdCap(Simd::avx512vbmi);
    for (Simd s : {Simd::baseline, Simd::avx2, Simd::avx512, Simd::avx512vbmi}) {
        if (s <= simdLevel()) all.push_back(s);
    }
    return all;
}

const char* name(Simd s) {
    const char* const names[] = {"baseline", "avx2", "avx512", "avx512vbmi"};
    return names[static_cast<int>(s)];
}

// The area through the effect's own actionArea and through `action` pixel by
// pixel, both from the same pictures; empty when they agree.
std::string fastAgainstRule(color& e, pixelRect area) {
    fixtures::Image start = cloneOf(e.image);
    e.actionArea(area);
    fixtures::Image fast = cloneOf(e.image);
    imageRgbaCopy(start.get(), e.image);
    e.color::actionArea(area);
    return firstDifference(e.image, fast.get());
}

class ColourRows : public ::testing::Test {
protected:
    void TearDown() override { simdCap(Simd::avx512vbmi); }

    // The committed picture `source`, the working picture random with random
    // alpha, so a rule that keeps the destination's alpha shows it.
    template <class T>
    std::unique_ptr<color> make(const ImageRGBA* source) {
        imgs = std::make_unique<EffectImages>(imageRgbaClone(source));
        std::unique_ptr<color> e = imgs->make<T>();
        imageRgbaCopy(source, imgs->backup);
        fixtures::Image noise = fixtures::randomImage(source->width, source->height, 7);
        imageRgbaCopy(noise.get(), imgs->image);
        return e;
    }

    std::unique_ptr<EffectImages> imgs;
};

// Each channel runs through all 256 values along a row, differently per
// channel and row; alpha varies too.
fixtures::Image everyByte() {
    fixtures::Image img(imageRgbaNew(256, 3));
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 256; ++x) {
            pixel(img.get(), x, y) =
                Rgba{static_cast<unsigned char>(x), static_cast<unsigned char>(x * 7 + 85 * y),
                     static_cast<unsigned char>(255 - x), static_cast<unsigned char>(x ^ 0x5a)};
        }
    }
    return img;
}

TEST_F(ColourRows, TablesGiveTheRuleForEveryByteAndValue) {
    struct Case {
        const char* name;
        std::function<std::unique_ptr<color>(const ImageRGBA*)> make;
        int lo, hi;
        int modes;  // channel's modes, and one beyond them that only copies
    };
    const Case cases[] = {
        {"brightness", [&](const ImageRGBA* s) { return make<brightness>(s); }, -255, 255, 1},
        {"contrast", [&](const ImageRGBA* s) { return make<contrast>(s); }, -255, 255, 1},
        {"channel", [&](const ImageRGBA* s) { return make<channel>(s); }, -255, 255, 4},
        {"posterize", [&](const ImageRGBA* s) { return make<posterize>(s); }, 1, 255, 1},
        {"solarize", [&](const ImageRGBA* s) { return make<solarize>(s); }, 0, 256, 1},
        {"invert", [&](const ImageRGBA* s) { return make<invert>(s); }, 0, 0, 1},
    };
    const fixtures::Image source = everyByte();
    // The whole picture, and rows that end off the vector width.
    const pixelRect areas[] = {{0, 0, 255, 2}, {3, 1, 253, 2}};
    for (Simd level : levels()) {
        simdCap(level);
        for (const Case& c : cases) {
            std::unique_ptr<color> e = c.make(source.get());
            for (int mode = 1; mode <= c.modes; ++mode) {
                e->mode = static_cast<int8_t>(mode);
                for (int v = c.lo; v <= c.hi; ++v) {
                    e->value1 = static_cast<float>(v);
                    for (const pixelRect& area : areas) {
                        ASSERT_EQ(fastAgainstRule(*e, area), "")
                            << c.name << " mode " << mode << " value " << v << " on " << name(level);
                    }
                }
            }
        }
    }
}

// Every colour once, each alpha many times.
fixtures::Image everyColour() {
    fixtures::Image img(imageRgbaNew(4096, 4096));
    for (uint32_t i = 0; i < (1u << 24); ++i) {
        img->data[i] = Rgba{static_cast<unsigned char>(i), static_cast<unsigned char>(i >> 8),
                            static_cast<unsigned char>(i >> 16), static_cast<unsigned char>(i * 37)};
    }
    return img;
}

TEST_F(ColourRows, LanesGiveTheRuleForEveryColour) {
    const fixtures::Image source = everyColour();
    const pixelRect all{0, 0, 4095, 4095};
    struct Case {
        const char* name;
        std::function<std::unique_ptr<color>()> make;
        float value;
    };
    const Case cases[] = {
        {"hue", [&] { return make<hue>(source.get()); }, 20},
        {"colorize", [&] { return make<colorize>(source.get()); }, 200},
        {"saturation", [&] { return make<saturation>(source.get()); }, -120},
        {"gray", [&] { return make<gray>(source.get()); }, 0},
    };
    for (const Case& c : cases) {
        std::unique_ptr<color> e = c.make();
        e->value1 = c.value;
        ASSERT_EQ(fastAgainstRule(*e, all), "") << c.name << " on " << name(simdLevel());
    }
}

TEST_F(ColourRows, LanesGiveTheRuleForEveryValueAndOddRows) {
    const fixtures::Image source = fixtures::randomImage(61, 5, 3);
    const float nan = std::nanf("");
    struct Case {
        const char* name;
        std::function<std::unique_ptr<color>()> make;
        std::vector<float> values;
    };
    std::vector<float> hues, strengths;
    for (int v = 0; v <= 359; v += 7) hues.push_back(static_cast<float>(v));
    for (int v = -255; v <= 255; v += 5) strengths.push_back(static_cast<float>(v));
    // Values that can take a hue outside 0..360 take the scalar conversion
    // there, lane by lane.
    std::vector<float> turns = hues, colours = hues;
    turns.insert(turns.end(), {359.5f, -30, 725, -1e9f, nan});
    colours.insert(colours.end(), {-30, 360, 359.99997f, 725, -1e9f, nan});
    const Case cases[] = {
        {"hue", [&] { return make<hue>(source.get()); }, turns},
        {"colorize", [&] { return make<colorize>(source.get()); }, colours},
        {"saturation", [&] { return make<saturation>(source.get()); }, strengths},
        {"gray", [&] { return make<gray>(source.get()); }, {0}},
    };
    const pixelRect areas[] = {{0, 0, 60, 4}, {1, 1, 13, 3}, {5, 0, 5, 4}};
    for (Simd level : levels()) {
        simdCap(level);
        for (const Case& c : cases) {
            std::unique_ptr<color> e = c.make();
            for (float v : c.values) {
                e->value1 = v;
                for (const pixelRect& area : areas) {
                    ASSERT_EQ(fastAgainstRule(*e, area), "")
                        << c.name << " value " << v << " on " << name(level);
                }
            }
        }
    }
}

}  // namespace
