#include "effects/color.h"
#include "framewk/framewk.h"
#include "tests/unit/fake_platform.h"
#include "tests/unit/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>

namespace {

class Colour : public ::testing::Test {
protected:
    template <class T>
    T* make(bool hasArea = false, point areaMin = point(), point areaMax = point()) {
        effect_.reset();
        effect_ = imgs.make<T>(hasArea, areaMin, areaMax);
        return static_cast<T*>(effect_.get());
    }
    // The rule at value v on the source pixel s, with d the working pixel before.
    Rgba apply(color* e, float v, Rgba s, Rgba d = Rgba{1, 2, 3, 44}) {
        backup->data[0] = s;
        image->data[0] = d;
        e->value1 = v;
        e->reapply();
        return image->data[0];
    }

    EffectImages imgs{patternImage(4, 2)};
    ImageRGBA *image = imgs.image, *backup = imgs.backup, *scratch = imgs.scratch, *hud = imgs.hud,
              *icons = imgs.icons;
    std::unique_ptr<color> effect_;
};

TEST_F(Colour, ConstructorsTitleCommitAndApplyOnce) {
    struct Case {
        std::function<color*()> build;
        const char* title;
        float value;
        int lo, hi;
        int modes;
    };
    const Case cases[] = {
        {[&] { return make<brightness>(); }, "Brightness", 20, -255, 255, 1},
        {[&] { return make<contrast>(); }, "Contrast", 20, -255, 255, 1},
        {[&] { return make<saturation>(); }, "Saturation", 20, -255, 255, 1},
        {[&] { return make<hue>(); }, "Hue", 20, 0, 359, 1},
        {[&] { return make<colorize>(); }, "Colorize", 20, 0, 359, 1},
        {[&] { return make<channel>(); }, "Channel | Mode 1: Red", 20, -255, 255, 3},
        {[&] { return make<gray>(); }, "Gray", 0, 0, 0, 1},
        {[&] { return make<invert>(); }, "Invert", 0, 0, 0, 1},
        {[&] { return make<posterize>(); }, "Posterize", 8, 1, 255, 1},
        {[&] { return make<solarize>(); }, "Solarize", 150, 0, 255, 1},
    };
    for (const Case& c : cases) {
        image->data[0] = Rgba{200, 100, 50, 255};
        ImageRGBA* before = imageRgbaClone(image);
        fakePlatform.reset();
        color* e = c.build();
        EXPECT_EQ(std::string(fwkGetWindowTitle()),
                  std::string("Morvane Application | ") + c.title);
        EXPECT_EQ(e->value1, c.value) << c.title;
        EXPECT_EQ(e->value1Range.min, c.lo) << c.title;
        EXPECT_EQ(e->value1Range.max, c.hi) << c.title;
        EXPECT_EQ(e->modeCount, c.modes) << c.title;
        EXPECT_EQ(e->mode, 1);
        EXPECT_FALSE(e->leftDown);
        EXPECT_TRUE(sameImage(backup, before)) << c.title;  // committed
        EXPECT_FALSE(sameImage(image, before)) << c.title;  // and applied at once
        imageRgbaCopy(before, image);
        imageRgbaFree(before);
    }
}

TEST_F(Colour, Brightness) {
    color* e = make<brightness>();
    EXPECT_PIXEL(apply(e, 20, Rgba{250, 10, 0, 9}), Rgba{255, 30, 20, 44});  // alpha stays
    EXPECT_PIXEL(apply(e, -255, Rgba{255, 128, 3, 9}), Rgba{0, 0, 0, 44});
    EXPECT_PIXEL(apply(e, -30, Rgba{40, 30, 29, 9}), Rgba{10, 0, 0, 44});
}

TEST_F(Colour, ContrastStretchesAboutTheMiddle) {
    color* e = make<contrast>();
    // Not the identity at 0: (c - 127.5) * 255 / 256, truncated, + 128.
    EXPECT_PIXEL(apply(e, 0, Rgba{0, 255, 128, 9}), Rgba{1, 255, 128, 44});
    EXPECT_PIXEL(apply(e, 0, Rgba{127, 200, 10, 9}), Rgba{128, 200, 11, 44});
    EXPECT_PIXEL(apply(e, 20, Rgba{0, 200, 128, 9}), Rgba{0, 206, 128, 44});
    EXPECT_PIXEL(apply(e, 255, Rgba{127, 128, 0, 9}), Rgba{1, 255, 0, 44});  // divides by 1
    // Below 0: c + (c - 128) / 255 * v.
    EXPECT_PIXEL(apply(e, -100, Rgba{0, 255, 128, 9}), Rgba{50, 206, 128, 44});
    EXPECT_PIXEL(apply(e, -255, Rgba{0, 255, 77, 9}), Rgba{128, 128, 128, 44});
}

TEST_F(Colour, SaturationUsesTheIntegerMean) {
    color* e = make<saturation>();
    EXPECT_PIXEL(apply(e, 255, Rgba{10, 10, 11, 9}), Rgba{10, 10, 12, 44});  // mean 10, not 10.33
    EXPECT_PIXEL(apply(e, 255, Rgba{0, 0, 2, 9}), Rgba{0, 0, 4, 44});
    EXPECT_PIXEL(apply(e, 20, Rgba{200, 100, 0, 9}), Rgba{207, 100, 0, 44});
    EXPECT_PIXEL(apply(e, -255, Rgba{200, 100, 0, 9}), Rgba{100, 100, 100, 44});
}

TEST_F(Colour, HueTurnsAndWrapsAt359) {
    color* e = make<hue>();
    // Magenta (300) + 80 = 380 -> 21, not 20: (255, 89, 0). Alpha comes from the source.
    EXPECT_PIXEL(apply(e, 80, Rgba{255, 0, 255, 9}), Rgba{255, 89, 0, 9});
    // (255, 0, 128) converts to -30.1; + 20 = -10.1 -> 348.9 (not 349.9): (255, 0, 47).
    EXPECT_PIXEL(apply(e, 20, Rgba{255, 0, 128, 9}), Rgba{255, 0, 47, 9});
    EXPECT_PIXEL(apply(e, 120, Rgba{255, 0, 0, 9}), Rgba{0, 255, 0, 9});
}

TEST_F(Colour, ColorizeReplacesTheHue) {
    color* e = make<colorize>();
    EXPECT_PIXEL(apply(e, 0, Rgba{0, 255, 0, 9}), Rgba{255, 0, 0, 9});
    EXPECT_PIXEL(apply(e, 240, Rgba{255, 0, 0, 9}), Rgba{0, 0, 255, 9});
    EXPECT_PIXEL(apply(e, 120, Rgba{90, 90, 90, 200}), Rgba{90, 90, 90, 200});  // grey stays grey
}

TEST_F(Colour, GrayWeighsTheChannels) {
    color* e = make<gray>();
    EXPECT_PIXEL(apply(e, 0, Rgba{100, 200, 50, 9}), Rgba{150, 150, 150, 44});  // 150.5
    EXPECT_PIXEL(apply(e, 0, Rgba{255, 0, 0, 9}), Rgba{68, 68, 68, 44});
    EXPECT_PIXEL(apply(e, 0, Rgba{255, 255, 255, 9}), Rgba{255, 255, 255, 44});
    // Single precision: these greys stay themselves (in double they drop by one).
    EXPECT_PIXEL(apply(e, 0, Rgba{7, 7, 7, 9}), Rgba{7, 7, 7, 44});
    EXPECT_PIXEL(apply(e, 0, Rgba{13, 13, 13, 9}), Rgba{13, 13, 13, 44});
}

TEST_F(Colour, InvertTogglesTheWorkingPicture) {
    ImageRGBA* before = imageRgbaClone(image);
    image->data[1] = Rgba{0, 100, 255, 7};
    color* e = make<invert>();
    EXPECT_PIXEL(image->data[1], Rgba{255, 155, 0, 7});  // the constructor's own application
    imageRgbaSet(backup, 9, 9, 9, 9);                    // not read
    e->LB(true);
    e->LB(false);
    EXPECT_PIXEL(image->data[1], Rgba{0, 100, 255, 7});
    image->data[1] = before->data[1];
    e->LB(true);
    e->LB(true);
    EXPECT_TRUE(sameImage(image, before));
    imageRgbaFree(before);
}

TEST_F(Colour, ChannelShiftsTheChannelOfItsMode) {
    color* e = make<channel>();
    // The whole source pixel is copied, alpha included, then one channel shifted.
    EXPECT_PIXEL(apply(e, 20, Rgba{250, 10, 0, 5}), Rgba{255, 10, 0, 5});
    backup->data[0] = Rgba{250, 10, 0, 5};
    e->value1 = -255;
    e->specialKey(2);
    EXPECT_STREQ(fwkGetWindowTitle(), "Morvane Application | Channel | Mode 2: Green");
    EXPECT_PIXEL(image->data[0], Rgba{250, 0, 0, 5});
    e->value1 = 20;
    e->specialKey(3);
    EXPECT_STREQ(fwkGetWindowTitle(), "Morvane Application | Channel | Mode 3: Blue");
    EXPECT_PIXEL(image->data[0], Rgba{250, 10, 20, 5});
    e->specialKey(4);  // three modes only
    EXPECT_EQ(e->mode, 3);
    e->changeMode(5);  // a mode without a channel: only the copy, same title
    EXPECT_STREQ(fwkGetWindowTitle(), "Morvane Application | Channel | Mode 3: Blue");
    EXPECT_PIXEL(image->data[0], Rgba{250, 10, 0, 5});
    EXPECT_FALSE(e->leftDown);
}

TEST_F(Colour, PosterizeSteps) {
    color* e = make<posterize>();
    for (int c = 0; c < 256; ++c) {
        const unsigned char v = static_cast<unsigned char>(c);
        ASSERT_EQ(apply(e, 1, Rgba{v, v, v, 9}).r, c < 128 ? 0 : 255) << c;
        ASSERT_EQ(apply(e, 255, Rgba{v, 0, 0, 9}).r, c) << c;
    }
    // Steps of 31.875: 100 -> 3 steps = 95.6, 16 -> 1 step = 31.9, 15 -> 0.
    EXPECT_PIXEL(apply(e, 8, Rgba{100, 16, 15, 9}), Rgba{95, 31, 0, 44});
    // The top step at 7 is 7 * 36.42857f = 254.99998 in single precision.
    EXPECT_PIXEL(apply(e, 7, Rgba{240, 255, 236, 9}), Rgba{254, 254, 218, 44});
}

TEST_F(Colour, SolarizeInvertsFromTheThresholdUp) {
    color* e = make<solarize>();
    EXPECT_PIXEL(apply(e, 150, Rgba{200, 149, 150, 6}), Rgba{55, 149, 105, 6});
    EXPECT_PIXEL(apply(e, 0, Rgba{0, 255, 77, 6}), Rgba{255, 0, 178, 6});
}

TEST_F(Colour, ArrowKeysStepClampAndApply) {
    color* e = make<brightness>();
    backup->data[0] = Rgba{100, 100, 100, 255};
    e->specialKey(101);  // Up
    EXPECT_EQ(e->value1, 25);
    EXPECT_EQ(image->data[0].r, 125);
    e->specialKey(103);  // Down
    EXPECT_EQ(e->value1, 20);
    EXPECT_EQ(image->data[0].r, 120);
    backup->data[0].r = 50;
    e->specialKey(100);  // Left and Right apply again without a step
    EXPECT_EQ(e->value1, 20);
    EXPECT_EQ(image->data[0].r, 70);
    EXPECT_FALSE(e->leftDown);

    e->value1 = 255;
    e->specialKey(101);
    EXPECT_EQ(e->value1, 255);
    e->value1 = -253;
    e->specialKey(103);
    EXPECT_EQ(e->value1, -255);

    // From the slider (0): clamp and truncate, do not apply.
    image->data[0].r = 1;
    e->value1 = 300;
    e->changeValue(0);
    EXPECT_EQ(e->value1, 255);
    e->value1 = -20.7f;
    e->changeValue(0);
    EXPECT_EQ(e->value1, -20);
    EXPECT_EQ(image->data[0].r, 1);

    // While the button is held it stays held.
    e->leftDown = true;
    e->changeValue(1);
    EXPECT_TRUE(e->leftDown);
    EXPECT_EQ(image->data[0].r, 30);

    color* p = make<posterize>();
    p->value1 = 3;
    p->specialKey(103);
    EXPECT_EQ(p->value1, 1);
}

TEST_F(Colour, HueValuesWrapAndEveryKeyApplies) {
    for (int which = 0; which < 2; ++which) {
        color* e = which ? static_cast<color*>(make<colorize>()) : make<hue>();
        e->value1 = 359;
        e->specialKey(101);
        EXPECT_EQ(e->value1, 0);
        e->specialKey(103);
        EXPECT_EQ(e->value1, 359);
        e->value1 = 357;
        e->specialKey(101);
        EXPECT_EQ(e->value1, 0);  // not 2
        e->value1 = 2;
        e->specialKey(103);
        EXPECT_EQ(e->value1, 359);

        // The slider's 0 applies at once too.
        backup->data[0] = Rgba{255, 0, 0, 255};
        image->data[0] = Rgba{1, 1, 1, 1};
        e->value1 = 120;
        e->changeValue(0);
        EXPECT_PIXEL(image->data[0], Rgba{0, 255, 0, 255});
        e->value1 = 400;
        e->changeValue(0);
        EXPECT_EQ(e->value1, 0);
    }
}

TEST_F(Colour, RightButtonRestoresTheCommittedPicture) {
    ImageRGBA* committed = imageRgbaClone(image);
    color* e = make<brightness>();
    apply(e, 90, committed->data[0], Rgba{1, 2, 3, 44});
    e->RB(false);  // a release does nothing
    EXPECT_FALSE(sameImage(image, committed));
    e->RB(true);
    EXPECT_TRUE(sameImage(image, committed));  // alpha included
    EXPECT_TRUE(e->rightDown);
    imageRgbaFree(committed);
}

TEST_F(Colour, ThePressAppliesToTheAreaOnly) {
    ImageRGBA* source = imageRgbaClone(image);
    color* e = make<invert>(true, point(1, 0), point(2, 1));
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) {
            const int i = y * 4 + x;
            const bool inside = x == 1 || x == 2;
            EXPECT_EQ(image->data[i].g, inside ? 255 - source->data[i].g : source->data[i].g)
                << x << "," << y;
        }
    }
    e->LB(false);  // a release does nothing
    EXPECT_EQ(image->data[1].g, 255 - source->data[1].g);

    // An area reaching beyond the picture covers the picture and no more.
    imageRgbaCopy(source, image);
    make<invert>(true, point(-5, -3), point(40, 30));
    for (int i = 0; i < 8; ++i) EXPECT_EQ(image->data[i].b, 255 - source->data[i].b) << i;
    imageRgbaFree(source);
}

TEST_F(Colour, ASliderClickSetsTheValueAndAppliesIt) {
    color* e = make<brightness>();
    ImageRGBA* source = imageRgbaClone(backup);
    e->menuOn = true;
    e->cursor = point(40, 210);  // -255 + 30 / 60 * 510 = 0
    // The picture is 4 by 2: the slider is off the picture, yet it still answers.
    e->LB(true);
    EXPECT_EQ(e->value1, 0);
    EXPECT_TRUE(e->leftDown);
    EXPECT_TRUE(sameImage(image, source));
    imageRgbaFree(source);
}

}  // namespace
