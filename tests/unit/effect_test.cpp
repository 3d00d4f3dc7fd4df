#include "effects/classes.h"
#include "framewk/framewk.h"
#include "image/clamp.h"
#include "tests/unit/fake_platform.h"
#include "tests/unit/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

TEST(Limit, ClampsWithTheMaximumTestedFirst) {
    limit l(-5, 10);
    EXPECT_TRUE(l.checkLimit(-5));
    EXPECT_TRUE(l.checkLimit(10));
    EXPECT_FALSE(l.checkLimit(10.01f));
    EXPECT_FALSE(l.checkLimit(std::nanf("")));
    EXPECT_EQ(l.forceLimit(12.5f), 10);
    EXPECT_EQ(l.forceLimit(-7), -5);
    EXPECT_EQ(l.forceLimit(3.75f), 3.75f);
    EXPECT_EQ(l.intForceLimit(3.75f), 3);
    EXPECT_EQ(l.intForceLimit(-2.7f), -2);  // toward zero
    EXPECT_EQ(l.intForceLimit(std::numeric_limits<float>::infinity()), 10);
    EXPECT_EQ(l.intForceLimit(-std::numeric_limits<float>::infinity()), -5);
    EXPECT_TRUE(std::isnan(l.forceLimit(std::nanf(""))));
    EXPECT_EQ(l.intForceLimit(std::nanf("")), -5);

    limit inverted(10, 0);  // min > max
    EXPECT_EQ(inverted.forceLimit(20), 0);
    EXPECT_EQ(inverted.forceLimit(-3), 10);
    EXPECT_EQ(inverted.forceLimit(5), 0);
    EXPECT_EQ(inverted.intForceLimit(0), 10);
    EXPECT_FALSE(inverted.checkLimit(5));
}

// The pixel loops' own clamps against intForceLimit, on the bounds and just
// past them, halves, both infinities, NaN and values beyond int.
TEST(Limit, PixelClampsGiveWhatIntForceLimitGives) {
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> values = {std::nanf(""), inf, -inf, 3e9f, -3e9f, 1e30f, -1e30f, -0.0f};
    for (int v = -300; v <= 300; ++v) {
        for (float part : {-0.5f, -0.25f, 0.0f, 0.25f, 0.5f}) values.push_back(static_cast<float>(v) + part);
        values.push_back(std::nextafter(static_cast<float>(v), inf));
        values.push_back(std::nextafter(static_cast<float>(v), -inf));
    }
    for (const limit range : {limit(0, 255), limit(-5, 10), limit(7, 7)}) {
        const float lo = static_cast<float>(range.min), hi = static_cast<float>(range.max);
        for (const float v : values) {
            const int want = range.intForceLimit(v);
            ASSERT_EQ(clampInt(v, range.min, range.max), want) << v;
            ASSERT_EQ(clampInt(static_cast<double>(v), range.min, range.max), want) << v;
            if (v == std::trunc(v) && std::fabs(v) < 1e9f) {
                ASSERT_EQ(clampInt(static_cast<int>(v), range.min, range.max), want) << v;
            }
            ASSERT_EQ(clampFloat(v, lo, hi), std::isnan(v) ? lo : range.forceLimit(v)) << v;
            if (range.min == 0 && range.max == 255) {
                ASSERT_EQ(clampByte(v), want) << v;
                ASSERT_EQ(clampByte(range, v), want) << v;
            }
        }
    }
}

TEST(Point, AreaTestIsInclusive) {
    point p(3, 4);
    EXPECT_TRUE(p.checkArea(point(3, 4), point(3, 4)));
    EXPECT_FALSE(p.checkArea(point(4, 0), point(9, 9)));
    EXPECT_FALSE(p.checkArea(point(0, 0), point(9, 3)));
    p.set(-1, 2);
    EXPECT_EQ(p.x, -1);
    EXPECT_EQ(p.y, 2);
}

class Effect : public ::testing::Test {
protected:
    effect make(bool hasArea = false, point a = point(), point b = point()) {
        return effect(image, backup, scratch, hud, icons, hasArea, a, b);
    }
    EffectImages imgs{patternImage(16, 12)};
    ImageRGBA *image = imgs.image, *backup = imgs.backup, *scratch = imgs.scratch, *hud = imgs.hud,
              *icons = imgs.icons;
};

TEST_F(Effect, StartupValues) {
    fwkSetWindowTitle("something else");
    effect e(image, backup, scratch, hud, icons, false, point(3, 3), point(5, 5));
    EXPECT_STREQ(fwkGetWindowTitle(), "Morvane Application");
    EXPECT_EQ(e.shown, image);
    EXPECT_EQ(e.icons, icons);
    EXPECT_FALSE(e.hasArea);
    EXPECT_EQ(e.areaMin.x, 0);
    EXPECT_EQ(e.areaMax.x, 15);
    EXPECT_EQ(e.areaMax.y, 11);
    EXPECT_EQ(e.xRange.max, 15);
    EXPECT_EQ(e.yRange.max, 11);
    EXPECT_EQ(e.byteRange.max, 255);
    EXPECT_TRUE(e.throttle);
    EXPECT_FALSE(e.busy || e.leftDown || e.rightDown || e.menuOn || e.usesColor);
    EXPECT_EQ(e.color.a, 255);
    EXPECT_EQ(e.color.r, 0);
    EXPECT_EQ(e.mode, 1);
    EXPECT_EQ(e.modeCount, 1);
    EXPECT_EQ(e.value1Range.min, e.value1Range.max);
    for (matrix* k : e.kernels) EXPECT_EQ(k, nullptr);

    effect withArea(image, backup, scratch, hud, icons, true, point(2, 3), point(30, 40));
    EXPECT_TRUE(withArea.hasArea);
    EXPECT_EQ(withArea.areaMax.x, 30);  // clamped only when drawn

    // The family bases' path: no images, nothing set.
    effect bare(nullptr, nullptr, nullptr, nullptr, nullptr, true, point(1, 1), point(2, 2));
    EXPECT_EQ(bare.image, nullptr);
    EXPECT_FALSE(bare.hasArea);
}

TEST_F(Effect, FunctionKeysSelectExistingModesAndArrowsReachChangeValue) {
    struct Recorder : effect {
        using effect::effect;
        std::string seen;
        void changeValue(char c) override { seen += c; }
    } e(image, backup, scratch, hud, icons, false, point(), point());
    e.modeCount = 2;
    e.specialKey(3);
    EXPECT_EQ(e.mode, 1);
    e.specialKey(2);
    EXPECT_EQ(e.mode, 2);
    for (int k : {100, 101, 102, 103, 104, 105}) e.specialKey(k);
    EXPECT_EQ(e.seen, "defg");
    EXPECT_TRUE(e.busy);
}

TEST_F(Effect, CursorTruncatesTowardZeroAndSurvivesAnyZoom) {
    effect e = make();
    e.setXY(-4.75f, 9.99f);
    EXPECT_EQ(e.cursor.x, -4);
    EXPECT_EQ(e.cursor.y, 9);
    e.setXY(std::numeric_limits<float>::infinity(), -1e30f);
    EXPECT_EQ(e.cursor.x, std::numeric_limits<int>::max());
    EXPECT_EQ(e.cursor.y, std::numeric_limits<int>::min());
    e.setXY(std::nanf(""), 0);
    EXPECT_EQ(e.cursor.x, 0);
}

TEST_F(Effect, WithoutOutlineOrMenuTheImageIsShownAsIs) {
    effect e = make();
    imageRgbaSet(hud, 1, 2, 3, 4);
    e.idle();
    EXPECT_EQ(e.shown, image);
    EXPECT_EQ(fwkGetDisplayImage(), image);
    EXPECT_EQ(hud->data[0].r, 1);  // not composed
}

TEST_F(Effect, MarchingAntsOutlineTheClampedAreaOverThePicture) {
    effect e = make(true, point(-3, 2), point(40, 9));
    e.showHud();
    EXPECT_EQ(e.shown, hud);
    EXPECT_EQ(fwkGetDisplayImage(), hud);
    EXPECT_EQ(e.antsPhase, 1);
    EXPECT_EQ(e.areaMin.x, 0);  // clamped in place
    EXPECT_EQ(e.areaMax.x, 15);

    // Left edge walks y from 9 up to 2 starting at phase 1: three black, four white, one black.
    const char* left = "BWWWWBBB";  // y = 2..9
    for (int y = 2; y <= 9; ++y) {
        Rgba p = hud->data[y * 16 + 0];
        EXPECT_EQ(p.r, left[y - 2] == 'W' ? 255 : 0) << y;
        EXPECT_EQ(p.a, 255);
    }
    // Inside and outside the outline the picture shows.
    for (int y : {0, 1, 5, 10, 11}) {
        for (int x = 1; x < 15; ++x) {
            if (y == 2 || y == 9) continue;
            ASSERT_EQ(std::memcmp(&hud->data[y * 16 + x], &image->data[y * 16 + x], 4), 0) << x << "," << y;
        }
    }
    e.showHud();
    EXPECT_EQ(e.antsPhase, 2);  // the dashes crawl
    for (int i = 0; i < 6; ++i) e.showHud();
    EXPECT_EQ(e.antsPhase, 0);
}

TEST_F(Effect, TransparentPicturePixelsStillShowThroughTheOverlay) {
    // hud alpha decides, not the picture's: a picture pixel with alpha 0 is copied too.
    image->data[5 * 16 + 5] = Rgba{9, 9, 9, 0};
    effect e = make(true, point(0, 0), point(15, 11));
    e.showHud();
    EXPECT_EQ(hud->data[5 * 16 + 5].r, 9);
    EXPECT_EQ(hud->data[5 * 16 + 5].a, 0);
}

TEST_F(Effect, SpaceTogglesTheMenuAndButtonsTrackTheirState) {
    effect e = make();
    e.key(' ');
    EXPECT_TRUE(e.menuOn);
    e.key('x');
    EXPECT_TRUE(e.menuOn);
    e.key(' ');
    EXPECT_FALSE(e.menuOn);
    e.LB(true);
    EXPECT_TRUE(e.leftDown);
    e.LB(false);
    EXPECT_FALSE(e.leftDown);
    e.RB(true);
    EXPECT_TRUE(e.rightDown);
}

}  // namespace
