#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "image/sampling.h"
#include "tests/unit/image_fixtures.h"

using namespace fixtures;

namespace {

// A 2 by 2 picture with red 0 and 100 on top, 200 and 50 below.
Image square() {
    Image img(imageRgbaNew(2, 2));
    img->data[0] = Rgba{0, 0, 0, 10};
    img->data[1] = Rgba{100, 3, 0, 20};
    img->data[2] = Rgba{200, 0, 255, 30};
    img->data[3] = Rgba{50, 5, 0, 40};
    return img;
}

TEST(Interpolate, TwoTruncatingStagesAndOpaqueResult) {
    Image img = square();
    // r: top 50, bottom 125, then 87.5. g: top 1.5 -> 1, bottom 2.5 -> 2, then
    // 1.5 -> 1 (2 without the truncated stages). b: 0 and 127.5 -> 127, then 63.
    EXPECT_EQ(channels(imageRgbaInterpolate(img.get(), 0.5f, 0.5f)), (Channels{87, 1, 63, 255}));
    EXPECT_EQ(channels(imageRgbaInterpolate(img.get(), 0.5f, 0)), (Channels{50, 1, 0, 255}));
    EXPECT_EQ(channels(imageRgbaInterpolate(img.get(), 0.25f, 1)), (Channels{162, 1, 191, 255}));
}

TEST(Interpolate, ClampsAtTheBorder) {
    Image img = square();
    EXPECT_EQ(channels(imageRgbaInterpolate(img.get(), -5, -5)), (Channels{0, 0, 0, 255}));
    EXPECT_EQ(channels(imageRgbaInterpolate(img.get(), 1, 1)), (Channels{50, 5, 0, 255}));
    EXPECT_EQ(channels(imageRgbaInterpolate(img.get(), 7.5f, 0)), (Channels{100, 3, 0, 255}));
    EXPECT_EQ(channels(imageRgbaInterpolate(img.get(), 1, -3)), (Channels{100, 3, 0, 255}));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(channels(imageRgbaInterpolate(img.get(), nan, nan)), (Channels{0, 0, 0, 255}));
    Image none(imageRgbaNew(0, 0));
    EXPECT_EQ(channels(imageRgbaInterpolate(none.get(), 1, 1)), (Channels{0, 0, 0, 255}));
}

// 2^24 + 3 is no float: the largest index rounds up to 2^24 + 4.
TEST(Interpolate, ClampInAVeryWidePictureStaysInside) {
    const int width = (1 << 24) + 4;
    Image img = filledImage(width, 1, Rgba{0, 0, 0, 0});
    pixel(img.get(), width - 1, 0) = Rgba{40, 50, 60, 0};
    EXPECT_EQ(channels(imageRgbaInterpolate(img.get(), 1e9f, 0)), (Channels{40, 50, 60, 255}));
}

TEST(Interpolate, HalfwayBetween0And255Is127) {
    Image img = filledImage(3, 1, Rgba{0, 0, 0, 0});
    pixel(img.get(), 1, 0) = Rgba{255, 255, 255, 0};
    EXPECT_EQ(channels(imageRgbaInterpolate(img.get(), 0.5f, 0)), (Channels{127, 127, 127, 255}));
    EXPECT_EQ(channels(imageRgbaInterpolate(img.get(), 1.5f, 0)), (Channels{127, 127, 127, 255}));
}

// The run gives what the one-point sampler gives, at every instruction-set
// level: points inside, on and beyond the border, halfway, NaN and infinite,
// in runs of every length around the lane counts.
TEST(Interpolate, ARunIsEachPointSampledAlone) {
    std::mt19937 gen(17);
    std::uniform_real_distribution<float> spread(-3, 40);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float odd[] = {nan, inf, -inf, -0.0f, 0.5f, 30.5f, 31, 31.999f, 1e30f, -1e30f};
    for (const Image& img : {randomImage(32, 9, 4), randomImage(1, 1, 5), randomImage(7, 1, 6)}) {
        std::vector<float> xs(70), ys(70);
        for (size_t k = 0; k < xs.size(); ++k) {
            xs[k] = k % 7 == 3 ? odd[k % 10] : spread(gen);
            ys[k] = k % 5 == 1 ? odd[(k + 3) % 10] : spread(gen) / 3;
        }
        atEverySimdLevel([&](Simd level) {
            for (int n : {0, 1, 7, 8, 15, 16, 17, 70}) {
                std::vector<Rgba> got(n + 1, Rgba{1, 2, 3, 4});
                imageRgbaInterpolateRun(img.get(), xs.data(), ys.data(), n, got.data());
                for (int k = 0; k < n; ++k) {
                    ASSERT_EQ(channels(got[k]),
                              channels(imageRgbaInterpolate(img.get(), xs[k], ys[k])))
                        << simdName(level) << " n " << n << " point " << k << ": " << xs[k]
                        << "," << ys[k];
                }
                EXPECT_EQ(channels(got[n]), (Channels{1, 2, 3, 4})) << "written past the run";
            }
        });
    }
}

TEST(Interpolate, SubImageWrapsAroundItsTile) {
    // An 8 by 2 tile after 3 other pixels: red 10·column + 100·row.
    Image img = filledImage(19, 1, Rgba{255, 0, 0, 0});
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 8; ++x)
            img->data[3 + y * 8 + x].r = static_cast<unsigned char>(10 * x + 100 * y);
    }
    auto sample = [&](float x, float y) {
        return imageRgbaInterpolateSubImage(img.get(), x, y, 8, 2, 3);
    };
    EXPECT_EQ(sample(2.5f, 0), 25);
    EXPECT_EQ(sample(-0.5f, 0), 35);  // halfway between columns 7 and 0
    EXPECT_EQ(sample(7.5f, 0), 35);
    EXPECT_EQ(sample(0, 1.5f), 50);      // halfway between rows 1 and 0
    EXPECT_EQ(sample(1, -0.25f), 35);    // a quarter of row 1 (110), three of row 0 (10)
    EXPECT_EQ(sample(9.25f, 0.5f), 62);  // top 12, bottom 112: 62
    // Further out than one tile is folded too rather than read out of bounds.
    EXPECT_EQ(sample(2.5f + 80, 0), 25);
    EXPECT_EQ(sample(2.5f - 80, -20), 25);
}

TEST(Interpolate, FourColours) {
    const Rgba c00{0, 0, 0, 0}, c10{100, 3, 255, 0}, c01{200, 0, 0, 0}, c11{50, 5, 255, 0};
    EXPECT_EQ(channels(imageRgbaInterpolateColors(0.5f, 0.5f, c00, c10, c01, c11)),
              (Channels{87, 1, 127, 255}));
    EXPECT_EQ(channels(imageRgbaInterpolateColors(3.5f, 7.5f, c00, c10, c01, c11)),
              (Channels{87, 1, 127, 255}));
    EXPECT_EQ(channels(imageRgbaInterpolateColors(0, 0, c00, c10, c01, c11)),
              (Channels{0, 0, 0, 255}));
    // Left of 0 the weights leave 0..1: red is trunc(-0.25 · 100) = -25, kept
    // as the byte 231 in both stages.
    EXPECT_EQ(channels(imageRgbaInterpolateColors(-0.25f, 0, c00, c10, c00, c10)),
              (Channels{231, 0, 193, 255}));
}

void expectHsv(Rgba c, float h, float s, float v) {
    const Hsva hsv = RGBtoHSV(c);
    EXPECT_NEAR(hsv.h, h, 1e-3) << int(c.r) << "," << int(c.g) << "," << int(c.b);
    EXPECT_NEAR(hsv.s, s, 1e-6);
    EXPECT_NEAR(hsv.v, v, 1e-6);
    EXPECT_EQ(hsv.a, c.a);
}

TEST(Hsv, FromRgb) {
    expectHsv(Rgba{255, 0, 0, 1}, 0, 1, 1);
    expectHsv(Rgba{0, 255, 0, 2}, 120, 1, 1);
    expectHsv(Rgba{0, 0, 255, 3}, 240, 1, 1);
    expectHsv(Rgba{90, 90, 90, 4}, 0, 0, 90 / 255.0f);
    expectHsv(Rgba{0, 0, 0, 5}, 0, 0, 0);
    expectHsv(Rgba{255, 0, 128, 6}, -128 / 255.0f * 60, 1, 1);  // about -30, kept negative
    expectHsv(Rgba{255, 0, 255, 7}, 300, 1, 1);  // red and blue tie: blue's formula wins
    expectHsv(Rgba{100, 50, 0, 8}, 30, 1, 100 / 255.0f);
}

TEST(Hsv, ToRgbInSinglePrecision) {
    // 85 needs single precision: in double 1 - (1 - 1/3) times 255 is just below 85.
    EXPECT_EQ(channels(HSVtoRGB(Hsva{20, 1, 1, 9})), (Channels{255, 85, 0, 9}));
    EXPECT_EQ(channels(HSVtoRGB(Hsva{0, 1, 1, 255})), (Channels{255, 0, 0, 255}));
    EXPECT_EQ(channels(HSVtoRGB(Hsva{120, 1, 1, 255})), (Channels{0, 255, 0, 255}));
    EXPECT_EQ(channels(HSVtoRGB(Hsva{240, 1, 1, 255})), (Channels{0, 0, 255, 255}));
    EXPECT_EQ(channels(HSVtoRGB(Hsva{330, 1, 1, 255})), (Channels{255, 0, 127, 255}));
    EXPECT_EQ(channels(HSVtoRGB(Hsva{77, 0, 0.5f, 255})), (Channels{127, 127, 127, 255}));
}

TEST(Hsv, HuesOutsideOneTurnWrap) {
    const Channels magenta = channels(HSVtoRGB(Hsva{330, 1, 1, 255}));
    EXPECT_EQ(channels(HSVtoRGB(Hsva{-30, 1, 1, 255})), magenta);
    EXPECT_EQ(channels(HSVtoRGB(Hsva{-390, 1, 1, 255})), magenta);
    EXPECT_EQ(channels(HSVtoRGB(Hsva{690, 1, 1, 255})), magenta);
    EXPECT_EQ(channels(HSVtoRGB(Hsva{360, 1, 1, 255})), (Channels{255, 0, 0, 255}));
    EXPECT_EQ(channels(HSVtoRGB(Hsva{-1e-9f, 1, 1, 255})), (Channels{255, 0, 0, 255}));
}

TEST(Hsv, RoundTripKeepsTheLargestChannel) {
    for (int r = 0; r < 256; r += 15) {
        for (int g = 0; g < 256; g += 17) {
            for (int b = 0; b < 256; b += 5) {
                const Rgba c{static_cast<unsigned char>(r), static_cast<unsigned char>(g),
                             static_cast<unsigned char>(b), 42};
                const Channels back = channels(HSVtoRGB(RGBtoHSV(c))), in = channels(c);
                for (int k = 0; k < 3; ++k) {
                    EXPECT_GE(back[k], in[k] - 1);
                    EXPECT_LE(back[k], in[k]);
                }
                EXPECT_EQ(std::max({back[0], back[1], back[2]}), std::max({r, g, b}));
                EXPECT_EQ(back[3], 42);
            }
        }
    }
}

TEST(HoldHighest, InsertsAndDropsTheLast) {
    int values[4] = {9, 7, 5, 3};
    EXPECT_EQ(holdHighest(values, 4, 6), 4);
    EXPECT_EQ(std::vector<int>(values, values + 4), (std::vector<int>{9, 7, 6, 5}));
    holdHighest(values, 4, 2);
    EXPECT_EQ(std::vector<int>(values, values + 4), (std::vector<int>{9, 7, 6, 5}));
    holdHighest(values, 4, 10);
    EXPECT_EQ(std::vector<int>(values, values + 4), (std::vector<int>{10, 9, 7, 6}));
    holdHighest(values, 4, 7);  // equal values keep their place; the new one follows
    EXPECT_EQ(std::vector<int>(values, values + 4), (std::vector<int>{10, 9, 7, 7}));
}

}  // namespace
