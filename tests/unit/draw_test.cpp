#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>
#include <set>
#include <utility>

#include "image/draw.h"
#include "tests/unit/image_fixtures.h"

using namespace fixtures;

namespace {

using Pixels = std::set<std::pair<int, int>>;

const Rgba kBlack{0, 0, 0, 255};
const Rgba kInk{10, 200, 30, 77};

// Where an image differs from the black one it started as.
Pixels changed(const ImageRGBA* img) {
    Pixels out;
    for (int y = 0; y < img->height; ++y) {
        for (int x = 0; x < img->width; ++x) {
            if (channels(img->data[y * img->width + x]) != channels(kBlack)) out.insert({x, y});
        }
    }
    return out;
}

Pixels line(int w, int h, int x1, int y1, int x2, int y2, int minX = 0, int minY = 0, int maxX = -1,
            int maxY = -1) {
    Image img = filledImage(w, h, kBlack);
    imageRgbaDrawLine(img.get(), x1, y1, x2, y2, kInk, minX, minY, maxX, maxY);
    return changed(img.get());
}

Pixels ellipse(int w, int h, int cx, int cy, int a, int b, int minX = 0, int minY = 0,
               int maxX = -1, int maxY = -1) {
    Image img = filledImage(w, h, kBlack);
    imageRgbaDrawEllipse(img.get(), cx, cy, a, b, kInk, minX, minY, maxX, maxY);
    return changed(img.get());
}

TEST(Draw, PointsStayInsideAndInvertKeepsAlpha) {
    Image img = filledImage(4, 3, Rgba{10, 20, 30, 40});
    imageRgbaDrawPoint(img.get(), 3, 2, kInk);
    imageRgbaDrawPoint(img.get(), 4, 0, kInk);
    imageRgbaDrawPoint(img.get(), -1, 0, kInk);
    imageRgbaDrawInvertedPoint(img.get(), 0, 0);
    imageRgbaDrawInvertedPoint(img.get(), 0, 3);
    EXPECT_EQ(channels(pixel(img.get(), 3, 2)), channels(kInk));
    EXPECT_EQ(channels(pixel(img.get(), 0, 0)), (Channels{245, 235, 225, 40}));
    EXPECT_EQ(channels(pixel(img.get(), 1, 0)), (Channels{10, 20, 30, 40}));
    EXPECT_EQ(channels(pixel(img.get(), 0, 2)), (Channels{10, 20, 30, 40}));
}

TEST(Draw, LinePixels) {
    EXPECT_EQ(line(8, 8, 0, 0, 3, 1), (Pixels{{0, 0}, {1, 0}, {2, 1}, {3, 1}}));
    EXPECT_EQ(line(8, 8, 0, 0, 1, 3), (Pixels{{0, 0}, {0, 1}, {1, 2}, {1, 3}}));
    EXPECT_EQ(line(8, 8, 3, 1, 0, 0), (Pixels{{0, 0}, {1, 0}, {2, 1}, {3, 1}}));
    // An exact tie (err 0) steps the minor axis.
    EXPECT_EQ(line(8, 8, 0, 0, 4, 2), (Pixels{{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}}));
    EXPECT_EQ(line(8, 8, 5, 6, 5, 6), (Pixels{{5, 6}}));
    EXPECT_EQ(line(8, 8, -5, 1, -1, 6), Pixels{});
}

TEST(Draw, LineIsClippedToTheImageThenRounded) {
    Pixels row;
    for (int x = 0; x <= 10; ++x) row.insert({x, 5});
    EXPECT_EQ(line(12, 8, -10, 5, 10, 5), row);
    // The left edge is crossed at y = 0.75, which rounds to 1.
    EXPECT_EQ(line(8, 8, -1, 0, 3, 3), (Pixels{{0, 1}, {1, 2}, {2, 2}, {3, 3}}));
    // A crossing at y = 0.5 rounds up.
    EXPECT_EQ(line(8, 8, -1, 0, 1, 1), (Pixels{{0, 1}, {1, 1}}));
    EXPECT_EQ(line(0, 0, 0, 0, 5, 5), Pixels{});
    // On a picture 30001 wide an end within 3 pixels of the edge is snapped
    // onto it, though it lies inside.
    Pixels snapped;
    for (int x = 0; x <= 8; ++x) snapped.insert({x, 1});
    EXPECT_EQ(line(30001, 3, 2, 1, 8, 1), snapped);
}

TEST(Draw, ClipRectangleOnlyMasksTheSameLine) {
    std::mt19937 gen(3);
    std::uniform_int_distribution<int> coord(-8, 28);
    for (int i = 0; i < 500; ++i) {
        const int x1 = coord(gen), y1 = coord(gen), x2 = coord(gen), y2 = coord(gen);
        Pixels masked;
        for (auto p : line(20, 20, x1, y1, x2, y2)) {
            if (p.first >= 5 && p.first <= 10 && p.second >= 5 && p.second <= 10) masked.insert(p);
        }
        EXPECT_EQ(line(20, 20, x1, y1, x2, y2, 5, 5, 10, 10), masked);
    }
    // -1 stands for the width and height, so the last column and row are drawn.
    EXPECT_EQ(line(6, 4, 5, 0, 5, 3, 0, 0, -1, -1).size(), 4u);
    EXPECT_EQ(line(6, 4, 5, 0, 5, 3, 0, 0, 4, -1).size(), 0u);
}

TEST(Draw, InvertedLineTwiceRestores) {
    std::mt19937 gen(11);
    std::uniform_int_distribution<int> coord(-10, 40);
    Image img = randomImage(30, 25, 5);
    Image before = cloneOf(img.get());
    for (int i = 0; i < 200; ++i) {
        const int x1 = coord(gen), y1 = coord(gen), x2 = coord(gen), y2 = coord(gen);
        imageRgbaInvertLine(img.get(), x1, y1, x2, y2, 0, 0, -1, -1);
        imageRgbaInvertLine(img.get(), x1, y1, x2, y2, 0, 0, -1, -1);
    }
    EXPECT_TRUE(sameImage(img.get(), before.get()));

    Image black = filledImage(8, 8, kBlack);
    imageRgbaInvertLine(black.get(), 0, 0, 3, 1, 0, 0, -1, -1);
    EXPECT_EQ(changed(black.get()), (Pixels{{0, 0}, {1, 0}, {2, 1}, {3, 1}}));
    EXPECT_EQ(channels(pixel(black.get(), 1, 0)), (Channels{255, 255, 255, 255}));
}

Pixels mirrored(std::initializer_list<std::pair<int, int>> quarter, int cx, int cy) {
    Pixels out;
    for (auto [x, y] : quarter) {
        out.insert({cx + x, cy + y});
        out.insert({cx + x, cy - y});
        out.insert({cx - x, cy + y});
        out.insert({cx - x, cy - y});
    }
    return out;
}

TEST(Draw, EllipsePixels) {
    // a = 3, b = 2 stepped by hand: (3,0) in the first region, then (3,1),
    // (2,1), (1,2), (0,2) in the second.
    const Pixels small = mirrored({{3, 0}, {3, 1}, {2, 1}, {1, 2}, {0, 2}}, 6, 5);
    EXPECT_EQ(ellipse(12, 12, 6, 5, 3, 2), small);
    EXPECT_EQ(ellipse(12, 12, 6, 5, -3, 2), small);

    const Pixels e = ellipse(30, 20, 15, 10, 10, 5);
    for (auto p : Pixels{{5, 10}, {25, 10}, {15, 5}, {15, 15}}) EXPECT_TRUE(e.count(p));
    for (auto [x, y] : e) {
        EXPECT_TRUE(x >= 5 && x <= 25 && y >= 5 && y <= 15);
        EXPECT_TRUE(e.count({30 - x, y}) && e.count({x, 20 - y}));
        const double u = (x - 15) / 10.0, v = (y - 10) / 5.0;
        EXPECT_NEAR(std::sqrt(u * u + v * v), 1.0, 0.12);
    }

    EXPECT_EQ(ellipse(12, 12, 6, 5, 0, 4), (Pixels{{6, 5}}));
    EXPECT_EQ(ellipse(12, 12, 6, 5, 3, 0),
              (Pixels{{3, 5}, {4, 5}, {5, 5}, {6, 5}, {7, 5}, {8, 5}, {9, 5}}));
}

TEST(Draw, EllipseClipRectangleOnlyMasks) {
    Pixels masked;
    for (auto p : ellipse(20, 20, 8, 9, 6, 4)) {
        if (p.first >= 5 && p.first <= 10 && p.second >= 5 && p.second <= 10) masked.insert(p);
    }
    EXPECT_FALSE(masked.empty());
    EXPECT_EQ(ellipse(20, 20, 8, 9, 6, 4, 5, 5, 10, 10), masked);
    EXPECT_EQ(ellipse(8, 8, 4, 3, 3, 2, 0, 0, -1, -1), ellipse(8, 8, 4, 3, 3, 2, 0, 0, 7, 7));
}

// Semi-axes of 2000 make terms of 4·a·b² = 3.2e10, past 32 bits.
TEST(Draw, LargeEllipseStaysOnItsCircle) {
    const Pixels arc = ellipse(40, 40, -1990, 20, 2000, 2000);
    EXPECT_TRUE(arc.count({10, 20}));
    EXPECT_GT(arc.size(), 30u);
    for (auto [x, y] : arc) EXPECT_NEAR(std::hypot(x + 1990, y - 20), 2000, 1.0);
}

// What a pointer far off the picture at an extreme zoom can ask for: nothing
// lands in the picture, and nothing overflows on the way (the sanitizer build
// would stop here).
TEST(Draw, HugeEllipsesDrawNothingAndStaySafe) {
    EXPECT_TRUE(ellipse(40, 40, 20, 20, 1 << 20, 1 << 20).empty());
    EXPECT_TRUE(ellipse(40, 40, 20, 20, INT_MAX, 3).empty());
    EXPECT_TRUE(ellipse(40, 40, INT_MIN, 20, 5, 5).empty());
    Image img = filledImage(40, 40, kBlack);
    imageRgbaInvertEllipse(img.get(), INT_MAX, INT_MAX, 2000000000, 2000000000);
    EXPECT_TRUE(changed(img.get()).empty());
    // Just within the limit the outline still crosses the picture.
    EXPECT_FALSE(ellipse(40, 40, -(1 << 19) + 20, 20, 1 << 19, 1 << 19).empty());
}

TEST(Draw, InvertedEllipse) {
    // Points on the axes are emitted twice and so invert back.
    Image black = filledImage(12, 12, kBlack);
    imageRgbaInvertEllipse(black.get(), 6, 5, 3, 2);
    Pixels offAxis = mirrored({{3, 1}, {2, 1}, {1, 2}}, 6, 5);
    EXPECT_EQ(changed(black.get()), offAxis);

    Image img = randomImage(40, 30, 9);
    Image before = cloneOf(img.get());
    for (auto [a, b] : {std::pair{10, 5}, {8, 1}, {0, 3}, {25, 0}, {30, 30}}) {
        imageRgbaInvertEllipse(img.get(), 20, 14, a, b);
        imageRgbaInvertEllipse(img.get(), 20, 14, a, b);
    }
    EXPECT_TRUE(sameImage(img.get(), before.get()));
}

}  // namespace
