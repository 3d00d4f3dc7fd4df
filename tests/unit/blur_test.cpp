#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "image/bands.h"
#include "image/boxblur.h"
#include "image/boxmean.h"
#include "image/lanes.h"
#include "image/motion.h"
#include "image/pi.h"
#include "tests/unit/image_fixtures.h"

using namespace fixtures;

namespace {

// The blend rule written out: the mean weighted by its alpha over the
// destination weighted by its own, in single precision.
Rgba blended(Rgba d, Channels m) {
    const int total = m[3] + d.a;
    if (total == 0) return Rgba{0, 0, 0, 0};
    auto channel = [&](int mean, int dc) {
        const int mixed = static_cast<int>(m[3] / 255.0f * mean + d.a / 255.0f * dc);
        return byteOf(static_cast<int>(mixed / (total / 255.0f)));
    };
    return Rgba{channel(m[0], d.r), channel(m[1], d.g), channel(m[2], d.b), byteOf(total)};
}

Rgba written(Rgba d, Channels m, bool blend) {
    return blend ? blended(d, m)
                 : Rgba{byteOf(m[0]), byteOf(m[1]), byteOf(m[2]), byteOf(m[3])};
}

// What one box pass must leave: every pixel of the region the integer mean
// of its window (radius r, cut at the region), everything else untouched.
Image expectedBox(const ImageRGBA* dest, const ImageRGBA* src, int x1, int y1, int x2, int y2,
                  int r, bool rows, bool blend) {
    Image out = cloneOf(dest);
    const int lines = rows ? y2 - y1 + 1 : x2 - x1 + 1, len = rows ? x2 - x1 + 1 : y2 - y1 + 1;
    for (int l = 0; l < lines; ++l) {
        auto source = [&](int i) -> Rgba& {
            return rows ? pixel(const_cast<ImageRGBA*>(src), x1 + i, y1 + l)
                        : pixel(const_cast<ImageRGBA*>(src), x1 + l, y1 + i);
        };
        std::vector<std::array<long long, 4>> prefix(len + 1, {0, 0, 0, 0});
        for (int i = 0; i < len; ++i) {
            const Channels c = channels(source(i));
            for (int k = 0; k < 4; ++k) prefix[i + 1][k] = prefix[i][k] + c[k];
        }
        for (int i = 0; i < len; ++i) {
            const int lo = std::max(0, i - r), hi = std::min(len - 1, i + r);
            Channels m;
            for (int k = 0; k < 4; ++k)
                m[k] = static_cast<int>((prefix[hi + 1][k] - prefix[lo][k]) / (hi - lo + 1));
            Rgba& d = rows ? pixel(out.get(), x1 + i, y1 + l) : pixel(out.get(), x1 + l, y1 + i);
            d = written(d, m, blend);
        }
    }
    return out;
}

void checkBox(int w, int h, int x1, int y1, int x2, int y2, int r, bool blend, unsigned seed) {
    Image src = randomImage(w, h, seed), dest = randomImage(w, h, seed + 1);
    if (seed % 3 == 0) {  // some fully transparent pixels for the blend rule
        for (int i = 0; i < w * h; i += 3) src->data[i].a = dest->data[i / 2].a = 0;
    }
    for (bool rows : {true, false}) {
        Image expected = expectedBox(dest.get(), src.get(), x1, y1, x2, y2, r, rows, blend);
        Image out = cloneOf(dest.get());
        (rows ? horizontal_blur : vertical_blur)(out.get(), src.get(), x1, y1, x2, y2,
                                                 static_cast<float>(r) + 0.75f, 1, blend ? 2 : 1);
        EXPECT_TRUE(sameImage(out.get(), expected.get()))
            << (rows ? "rows " : "columns ") << w << "x" << h << " region " << x1 << "," << y1
            << "-" << x2 << "," << y2 << " radius " << r << " blend " << blend;
    }
}

TEST(BoxBlur, RowOf255AmongZeros) {
    Image row = filledImage(5, 1, Rgba{0, 0, 0, 255});
    pixel(row.get(), 2, 0) = Rgba{255, 0, 0, 255};
    Image out = filledImage(5, 1, Rgba{9, 9, 9, 9});
    horizontal_blur(out.get(), row.get(), 0, 0, 4, 0, 1, 1, 0);
    std::vector<int> reds;
    for (int x = 0; x < 5; ++x) reds.push_back(pixel(out.get(), x, 0).r);
    EXPECT_EQ(reds, (std::vector<int>{0, 85, 85, 85, 0}));
    EXPECT_EQ(pixel(out.get(), 0, 0).a, 255);
}

TEST(BoxBlur, EqualsTheWindowMean) {
    unsigned seed = 1;
    for (int r : {0, 1, 2, 5, 13, 40}) {
        checkBox(37, 23, 0, 0, 36, 22, r, false, ++seed);
        checkBox(37, 23, 3, 2, 30, 20, r, false, ++seed);
        checkBox(37, 23, 5, 4, 5, 20, r, false, ++seed);
        checkBox(37, 23, 0, 7, 36, 7, r, false, ++seed);
    }
    checkBox(4100, 3, 1, 0, 4099, 2, 3, false, ++seed);  // more than one block of columns
    // A few long rows share their columns between the cores; a narrow
    // region's column pass runs along its transpose.
    checkBox(70000, 1, 0, 0, 69999, 0, 2, false, ++seed);
    checkBox(30000, 3, 7, 0, 29990, 2, 40, false, ++seed);
    checkBox(5, 300, 1, 2, 3, 290, 6, false, ++seed);
    checkBox(1, 70000, 0, 0, 0, 69999, 9, true, ++seed);
    for (int r : {128, 129, 300}) {                      // windows past 257 pixels
        checkBox(300, 9, 0, 0, 299, 8, r, false, ++seed);
        checkBox(9, 300, 0, 0, 8, 299, r, false, ++seed);
    }
}

TEST(BoxBlur, BlendRule) {
    unsigned seed = 100;
    for (int r : {0, 1, 6}) checkBox(29, 19, 2, 3, 25, 17, r, true, ++seed);
    checkBox(300, 5, 0, 0, 299, 4, 200, true, ++seed);

    Image clear = filledImage(3, 1, Rgba{50, 60, 70, 0});
    Image out = filledImage(3, 1, Rgba{1, 2, 3, 0});
    horizontal_blur(out.get(), clear.get(), 0, 0, 2, 0, 1, 1, 2);
    EXPECT_EQ(channels(pixel(out.get(), 1, 0)), (Channels{0, 0, 0, 0}));
    out = filledImage(3, 1, Rgba{1, 2, 3, 255});
    vertical_blur(out.get(), clear.get(), 0, 0, 2, 0, 1, 1, 2);
    EXPECT_EQ(channels(pixel(out.get(), 1, 0)), (Channels{1, 2, 3, 255}));
}

// Windows beyond 16384 pixels take the integer path.
TEST(BoxBlur, HugeWindows) {
    checkBox(16500, 2, 0, 0, 16499, 1, 9000, false, 7);
    checkBox(2, 16500, 0, 0, 1, 16499, 9000, true, 8);
}

TEST(BoxBlur, OddArguments) {
    Image src = randomImage(20, 10, 3), dest = randomImage(20, 10, 4);
    // A negative radius would leave the first window empty: it counts as 0.
    Image expected = expectedBox(dest.get(), src.get(), 2, 2, 15, 8, 0, true, false);
    Image out = cloneOf(dest.get());
    horizontal_blur(out.get(), src.get(), 2, 2, 15, 8, -3, 1, 1);
    EXPECT_TRUE(sameImage(out.get(), expected.get()));
    // A region reaching outside the images is cut to them.
    expected = expectedBox(dest.get(), src.get(), 0, 0, 19, 9, 4, false, false);
    out = cloneOf(dest.get());
    vertical_blur(out.get(), src.get(), -5, -2, 100, 30, 4, 1, 1);
    EXPECT_TRUE(sameImage(out.get(), expected.get()));
}

// Quotients by a multiply are monotonic in the sum, so they are exact for
// every sum once they are at each step k·n - 1, k·n.
TEST(BoxBlur, MeansWithoutDivisionAreExact) {
    for (int n = 1; n <= kNarrowBoxWindow; ++n) {
        const NarrowDivisor d = kNarrowDivisors.of[n];
        for (uint32_t sum = 0; sum < 65536; ++sum) ASSERT_EQ(narrowQuotient(sum, d), sum / n) << n;
    }
    for (int n = 1; n <= kMediumBoxWindow; ++n) {
        const float reciprocal = boxReciprocal(n);
        for (int k = 0; k <= 255; ++k) {
            ASSERT_EQ(boxMean(k * n, reciprocal), k) << n;
            if (k > 0) {
                ASSERT_EQ(boxMean(k * n - 1, reciprocal), k - 1) << n;
            }
        }
    }
}

TEST(Gaussian, PassRadii) {
    Image start = randomImage(40, 30, 21);
    Image temp = randomImage(40, 30, 22), target = cloneOf(start.get());
    gaussian(temp.get(), target.get(), 1, 2, 37, 27, 10, 2, 1);
    // exp(-i²/10)·10 for i = 1..4 is 9.05, 6.70, 4.07, 2.02; then below 1.
    Image wantTemp = cloneOf(temp.get()), want = cloneOf(start.get());
    for (float r : {10, 9, 6, 4, 2}) {
        horizontal_blur(wantTemp.get(), want.get(), 1, 2, 37, 27, r, 2, 1);
        vertical_blur(want.get(), wantTemp.get(), 1, 2, 37, 27, r, 2, 1);
    }
    EXPECT_TRUE(sameImage(target.get(), want.get()));
    EXPECT_TRUE(sameImage(temp.get(), wantTemp.get()));

    // Mode 1 is one pass of trunc(R); R <= 0 does nothing; mode 2 below 2 one pass.
    for (auto [radius, mode, passRadius] :
         {std::tuple{3.7f, 1, 3}, {1.5f, 2, 1}, {0.0f, 1, 0}, {-2.0f, 2, 0}}) {
        Image t = randomImage(12, 9, 5), img = cloneOf(start.get());
        Image wantT = cloneOf(t.get()), wantImg = cloneOf(img.get());
        gaussian(t.get(), img.get(), 0, 0, 11, 8, radius, mode, 1);
        if (passRadius > 0) {
            horizontal_blur(wantT.get(), wantImg.get(), 0, 0, 11, 8, passRadius, mode, 1);
            vertical_blur(wantImg.get(), wantT.get(), 0, 0, 11, 8, passRadius, mode, 1);
        }
        EXPECT_TRUE(sameImage(img.get(), wantImg.get())) << radius;
        EXPECT_TRUE(sameImage(t.get(), wantT.get())) << radius;
    }
}

// Replacing Gaussian blurs stream all their passes together, on two cores in
// two strips with overlapping edges, or run them on the transpose of a narrow
// region. Against the passes one by one: every instruction set, one and two
// threads, in place and from a separate source, windows up to the widest the
// 16-bit sums take and past it, regions one pixel wide or tall, radii far
// beyond the region, and none.
TEST(Gaussian, StreamedEqualsPassByPass) {
    const int savedThreads = bandThreads;
    unsigned seed = 400;
    for (int trial = 0; trial < 90; ++trial) {
        const bool wide = trial % 3 == 0, tall = trial % 9 == 5;  // tall: on its transpose
        const int w = wide ? 700 + trial * 7 : tall ? 1 + trial % 8 : 1 + trial * 13 % 90;
        const int h = wide ? 100 + trial % 40 : tall ? 70 + trial * 3 : 1 + trial * 7 % 70;
        Image start = randomImage(w, h, ++seed), temp = randomImage(w, h, ++seed);
        const bool whole = wide ? trial % 9 != 0 : trial % 2 == 0;
        const int x1 = whole ? 0 : static_cast<int>(seed % w), y1 = whole ? 0 : seed * 3 % h;
        const int x2 = whole ? w - 1 : x1 + static_cast<int>(seed * 5 % (w - x1));
        const int y2 = whole ? h - 1 : y1 + static_cast<int>(seed * 11 % (h - y1));
        const float radius = trial % 10 == 1   ? 128.5f  // widest 16-bit window
                             : trial % 10 == 7 ? 129     // one past it
                             : trial % 10 == 9 ? 5000    // far past the region
                             : trial % 10 == 3 ? 0       // no pass at all
                                               : 1 + seed % 12 + (seed % 10) / 10.0f;
        const int mode = trial % 4 == 3 ? 1 : 2;
        const bool fromCopy = trial % 5 == 2 || trial % 10 == 3;
        simdCap(static_cast<Simd>((trial + trial / 3) % 4));  // each level on wide ones too
        bandThreads = trial % 4 == 1 ? 1 : 2;

        Image want = cloneOf(start.get()), wantTemp = cloneOf(temp.get());
        const int passes = mode == 2 ? static_cast<int>(std::min(radius, 1e4f)) : 1;
        for (int i = 0; i < passes; ++i) {
            const float r = i == 0 ? radius : std::trunc(radius * std::exp(-float(i * i) / radius));
            if (!(r > 0)) break;
            horizontal_blur(wantTemp.get(), want.get(), x1, y1, x2, y2, r, mode, 1);
            vertical_blur(want.get(), wantTemp.get(), x1, y1, x2, y2, r, mode, 1);
        }
        Image got = cloneOf(start.get());
        if (fromCopy) {
            Image stale = randomImage(w, h, ++seed);
            gaussianOfCopy(temp.get(), stale.get(), got.get(), x1, y1, x2, y2, radius, mode);
            got = std::move(stale);
        } else {
            gaussian(temp.get(), got.get(), x1, y1, x2, y2, radius, mode, 1);
        }
        const std::string where = std::to_string(w) + "x" + std::to_string(h) + " radius " +
                                  std::to_string(radius) + " trial " + std::to_string(trial);
        ASSERT_EQ(firstDifference(want.get(), got.get()), "") << where;
        ASSERT_EQ(firstDifference(wantTemp.get(), temp.get()), "") << where << " (temp)";
    }
    simdCap(Simd::avx512vbmi);
    bandThreads = savedThreads;
}

// The motion blur walked slowly: every start point in order, every step, and
// at each new position the window summed afresh from all the steps so far.
Image expectedMotion(const ImageRGBA* destIn, const ImageRGBA* src, int x1, int y1, int x2, int y2,
                     float length, float angle, bool blend) {
    Image dest = cloneOf(destIn);
    const float theta = static_cast<float>(angle * kPi / 180 - kPi / 2);
    const float sn = std::sin(theta), cs = std::cos(theta);
    using Pos = std::pair<int, int>;
    auto P = [&](int i, int j, float d) {
        return Pos{static_cast<int>(i - d * sn), static_cast<int>(j + d * cs)};
    };
    auto inside = [&](Pos p) {
        return p.first >= x1 && p.first <= x2 && p.second >= y1 && p.second <= y2;
    };
    std::vector<Pos> starts;
    for (int i = x1 - 1; i <= x2 + 1; ++i) starts.push_back({i, y1 - 1});
    for (int j = y1 - 1; j <= y2 + 1 && theta != 0; ++j)
        starts.push_back({theta < 0 ? x1 - 1 : x2 + 1, j});
    bool havePrev = false;
    Pos prev;
    for (auto [i, j] : starts) {
        int L = theta < 0 ? x2 - i + 10 : theta > 0 ? i + 10 : x2 + 10;
        L = std::min(L, x2 + 10);
        const float limit = static_cast<float>(y2 + 10);
        const int M = static_cast<int>(std::clamp(10 + L / std::tan(theta), -limit, limit));
        const int end = static_cast<int>(1 + std::sqrt(double(L) * L + double(M) * M));
        for (int k = static_cast<int>(-length); k < end; ++k) {
            if (k < 0) continue;
            const Pos q = P(i, j, static_cast<float>(k));
            if (havePrev && q == prev) continue;
            prev = q;
            havePrev = true;
            if (!inside(q)) continue;
            long long sum[4] = {0, 0, 0, 0};
            int n = 0;
            for (int s = static_cast<int>(-length); s <= k; ++s) {
                for (int sign : {-1, 1}) {
                    const float d = s + sign * length;
                    if (sign < 0 && !(d >= 0)) continue;
                    const Pos p = P(i, j, d);
                    if (!inside(p)) continue;
                    const Channels c = channels(pixel(const_cast<ImageRGBA*>(src), p.first, p.second));
                    for (int ch = 0; ch < 4; ++ch) sum[ch] += sign * c[ch];
                    n += sign;
                }
            }
            if (n <= 0) continue;
            Channels m;
            for (int ch = 0; ch < 4; ++ch) m[ch] = static_cast<int>(sum[ch] / n);
            Rgba& d = pixel(dest.get(), q.first, q.second);
            d = written(d, m, blend);
        }
    }
    return dest;
}

TEST(MotionBlur, StraightDownAveragesFromOneAboveToTwoBelow) {
    Image src = randomImage(12, 15, 31), dest = randomImage(12, 15, 32);
    Image want = cloneOf(dest.get());
    for (int x = 2; x <= 9; ++x) {
        for (int y = 3; y <= 12; ++y) {
            int sum[4] = {0, 0, 0, 0}, n = 0;
            for (int v = std::max(3, y - 1); v <= std::min(12, y + 2); ++v, ++n) {
                for (int c = 0; c < 4; ++c) sum[c] += channels(pixel(src.get(), x, v))[c];
            }
            pixel(want.get(), x, y) = Rgba{
                static_cast<unsigned char>(sum[0] / n), static_cast<unsigned char>(sum[1] / n),
                static_cast<unsigned char>(sum[2] / n), static_cast<unsigned char>(sum[3] / n)};
        }
    }
    motion_blur(dest.get(), src.get(), 2, 3, 9, 12, 2, 90, 5, 1);
    EXPECT_TRUE(sameImage(dest.get(), want.get()));
}

TEST(MotionBlur, EqualsTheSlowWalk) {
    atEverySimdLevel([](Simd level) {
        unsigned seed = 40;
        for (float angle : {0.0f, 30.0f, 45.0f, 90.0f, 135.0f, 160.0f, 179.0f, 250.0f, -20.0f}) {
            for (float length : {1.0f, 2.5f, 4.0f, 7.0f, -2.5f}) {
                const bool blend = seed % 2 == 0;
                Image src = randomImage(17, 13, ++seed), dest = randomImage(17, 13, ++seed);
                Image want =
                    expectedMotion(dest.get(), src.get(), 2, 1, 13, 10, length, angle, blend);
                if (length > 0) {
                    EXPECT_FALSE(sameImage(dest.get(), want.get())) << "nothing to blur";
                }
                motion_blur(dest.get(), src.get(), 2, 1, 13, 10, length, angle, 5, blend ? 2 : 1);
                EXPECT_TRUE(sameImage(dest.get(), want.get()))
                    << "angle " << angle << " length " << length << " on " << simdName(level);
            }
        }
    });
}

}  // namespace

// Whole lengths take the path that walks eight lines at once; where lines
// cross the same pixel, the later line must still win.
TEST(MotionBlur, WholeLengthsEqualTheSlowWalkAtEveryDirection) {
    atEverySimdLevel([](Simd level) {
        unsigned seed = 90;
        for (float angle = 1; angle < 180; angle += 6.5f) {
            for (float length : {1.0f, 3.0f, 6.0f}) {
                const bool blend = seed % 3 == 0;
                Image src = randomImage(41, 29, ++seed), dest = randomImage(41, 29, ++seed);
                const int x1 = 1 + seed % 4, y1 = seed % 3, x2 = 38 - seed % 5, y2 = 27 - seed % 2;
                Image want =
                    expectedMotion(dest.get(), src.get(), x1, y1, x2, y2, length, angle, blend);
                motion_blur(dest.get(), src.get(), x1, y1, x2, y2, length, angle, 5, blend ? 2 : 1);
                EXPECT_TRUE(sameImage(dest.get(), want.get()))
                    << "angle " << angle << " length " << length << " on " << simdName(level);
            }
        }
    });
}

// Regions a few pixels across: each line crosses them in a few steps.
TEST(MotionBlur, ThinRegionsEqualTheSlowWalk) {
    unsigned seed = 300;
    for (int trial = 0; trial < 60; ++trial) {
        const bool tall = trial % 2 == 0;
        const int w = tall ? 1 + trial % 5 : 90, h = tall ? 90 : 1 + trial % 4;
        Image src = randomImage(w + 2, h + 2, ++seed), dest = randomImage(w + 2, h + 2, ++seed);
        const int x1 = trial % 3 == 0 ? 0 : 1, y1 = trial % 3 == 0 ? 0 : 1;
        const float angle = static_cast<float>(1 + seed * 53 % 179);
        const float length = static_cast<float>(1 + trial % 11);
        const bool blend = trial % 4 < 2;
        Image want = expectedMotion(dest.get(), src.get(), x1, y1, x1 + w - 1, y1 + h - 1, length,
                                    angle, blend);
        motion_blur(dest.get(), src.get(), x1, y1, x1 + w - 1, y1 + h - 1, length, angle, 5,
                    blend ? 2 : 1);
        ASSERT_EQ(firstDifference(want.get(), dest.get()), "")
            << w << "x" << h << " angle " << angle << " length " << length << " blend " << blend;
    }
}

// Whole lengths without blending sweep the lines from above all at once.
// Against the line walk of the baseline build: wide pictures where rounding
// sets lines apart, tall ones, regions on the picture's edges (where lines
// meet in column 0 from both sides of it), and any direction.
TEST(MotionBlur, SweepEqualsTheLineWalk) {
    unsigned seed = 700;
    for (int trial = 0; trial < 120; ++trial) {
        const int shape = trial % 3;
        const int w = shape == 0 ? 4200 : shape == 1 ? 23 : 30 + trial;
        const int h = shape == 0 ? 41 : shape == 1 ? 2100 : 150 - trial;
        Image src = randomImage(w, h, ++seed), dest = randomImage(w, h, ++seed);
        const bool edge = trial % 2 == 0;
        const int x1 = edge ? 0 : 1 + seed % 7, y1 = edge ? 0 : seed % 5;
        const int x2 = edge ? w - 1 : w - 2 - seed % 3, y2 = edge ? h - 1 : h - 1 - seed % 4;
        const float angle = trial % 5 == 0 ? 1 + (seed * 37 % 1780) / 10.0f : 1 + trial * 47 % 179;
        const float length = static_cast<float>(1 + seed * 7 % (trial % 7 == 0 ? 300 : 19));
        Image want = cloneOf(dest.get());
        simdCap(Simd::baseline);
        motion_blur(want.get(), src.get(), x1, y1, x2, y2, length, angle, 5, 1);
        // Each shape at every level above the baseline in turn.
        const Simd level = static_cast<Simd>(1 + trial / 3 % 3);
        simdCap(level);
        motion_blur(dest.get(), src.get(), x1, y1, x2, y2, length, angle, 5, 1);
        simdCap(Simd::avx512vbmi);
        ASSERT_EQ(firstDifference(want.get(), dest.get()), "")
            << w << "x" << h << " angle " << angle << " length " << length << " on "
            << simdName(level);
    }
}
