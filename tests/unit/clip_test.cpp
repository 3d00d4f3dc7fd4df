#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "image/clip.h"

namespace {

struct Segment {
    float xs[2], ys[2];
    int result;
};

Segment clipped(float x0, float y0, float x1, float y1, float xmin = 0, float ymin = 0,
                float xmax = 9, float ymax = 9) {
    Segment s{{x0, x1}, {y0, y1}, 0};
    s.result = clip(s.xs, s.ys, xmin, ymin, xmax, ymax);
    return s;
}

TEST(Clip, OutcodesCountEdgesAsInside) {
    EXPECT_EQ(clippingCode(0, 0, 0, 0, 9, 9), 0);
    EXPECT_EQ(clippingCode(9, 9, 0, 0, 9, 9), 0);
    EXPECT_EQ(clippingCode(-0.5, 3, 0, 0, 9, 9), 1);
    EXPECT_EQ(clippingCode(9.5, 3, 0, 0, 9, 9), 2);
    EXPECT_EQ(clippingCode(3, -1, 0, 0, 9, 9), 4);
    EXPECT_EQ(clippingCode(3, 10, 0, 0, 9, 9), 8);
    EXPECT_EQ(clippingCode(-1, 10, 0, 0, 9, 9), 1 | 8);
}

TEST(Clip, ResultsAndEndPoints) {
    Segment inside = clipped(1, 2, 8, 7);
    EXPECT_EQ(inside.result, 0);
    EXPECT_EQ(inside.xs[0], 1);
    EXPECT_EQ(inside.ys[1], 7);

    Segment corner = clipped(-1, -1, 5, 5);
    EXPECT_EQ(corner.result, 1);
    EXPECT_EQ(corner.xs[0], 0);
    EXPECT_EQ(corner.ys[0], 0);

    // Above-left: the top edge first gives (-1, 0), still left, then the left edge.
    Segment twice = clipped(-2, -1, 4, 5);
    EXPECT_EQ(twice.result, 1);
    EXPECT_EQ(twice.xs[0], 0);
    EXPECT_EQ(twice.ys[0], 1);
    EXPECT_EQ(twice.xs[1], 4);
    EXPECT_EQ(twice.ys[1], 5);

    Segment across = clipped(-10, 5, 20, 5);
    EXPECT_EQ(across.result, 1);
    EXPECT_EQ(across.xs[0], 0);
    EXPECT_EQ(across.xs[1], 9);

    EXPECT_EQ(clipped(-5, 1, -1, 8).result, 2);  // both left
    EXPECT_EQ(clipped(-5, 3, 3, -5).result, 2);  // passes the corner outside

    Segment snapped = clipped(-0.0005f, 4, 9.0008f, 4);
    EXPECT_EQ(snapped.result, 0);
    EXPECT_EQ(snapped.xs[0], 0);
    EXPECT_EQ(snapped.xs[1], 9);
}

// The crossing with the top edge lies a billionth right of the right edge; as
// a float it is on the edge, so the next crossing divides by a zero width.
TEST(Clip, EndPointRoundedOntoItsEdgeStaysFinite) {
    Segment s = clipped(640, -1073741824.0f, 639, 1, 0, 0, 639, 479);
    EXPECT_EQ(s.result, 1);
    EXPECT_EQ(s.xs[0], 639);
    EXPECT_EQ(s.ys[0], 0);
    EXPECT_EQ(s.xs[1], 639);
    EXPECT_EQ(s.ys[1], 1);
}

TEST(Clip, RandomSegmentsEndInsideOnTheirLine) {
    std::mt19937 gen(7);
    std::uniform_int_distribution<int> coord(-40, 60);
    for (int i = 0; i < 5000; ++i) {
        const float x0 = coord(gen), y0 = coord(gen), x1 = coord(gen), y1 = coord(gen);
        Segment s = clipped(x0, y0, x1, y1, 0, 0, 29, 19);
        if (s.result == 2) {
            // No point of the segment lies clearly inside.
            for (int k = 0; k <= 200; ++k) {
                const float t = k / 200.0f, x = x0 + t * (x1 - x0), y = y0 + t * (y1 - y0);
                EXPECT_FALSE(x > 0.01f && x < 28.99f && y > 0.01f && y < 18.99f);
            }
            continue;
        }
        for (int e = 0; e < 2; ++e) {
            EXPECT_TRUE(s.xs[e] >= 0 && s.xs[e] <= 29 && s.ys[e] >= 0 && s.ys[e] <= 19);
            const float cross = (x1 - x0) * (s.ys[e] - y0) - (y1 - y0) * (s.xs[e] - x0);
            EXPECT_NEAR(cross, 0, 1e-2);
        }
        EXPECT_EQ(s.result, x0 >= 0 && x0 <= 29 && y0 >= 0 && y0 <= 19 && x1 >= 0 && x1 <= 29 &&
                                    y1 >= 0 && y1 <= 19
                                ? 0
                                : 1);
    }
}

}  // namespace
