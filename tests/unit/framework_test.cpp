#include "framewk/framewk.h"
#include "image/imagergba.h"
#include "tests/unit/fake_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

class Framework : public ::testing::Test {
protected:
    void SetUp() override {
        fwkReset();
        fakePlatform.reset();
        int argc = 1;
        const char* argv[] = {"morvane", nullptr};
        fwkInit(&argc, argv);
    }
    void TearDown() override {
        for (ImageRGBA* img : images) imageRgbaFree(img);
        fwkReset();
    }
    ImageRGBA* show(int width, int height) {
        ImageRGBA* img = imageRgbaNew(width, height);
        images.push_back(img);
        fwkSetDisplayImage(img);
        return img;
    }
    std::vector<ImageRGBA*> images;
};

TEST(FrameworkMath, NextPowerOfTwo) {
    EXPECT_EQ(nextPowerOfTwo(0), 1u);
    EXPECT_EQ(nextPowerOfTwo(1), 1u);
    EXPECT_EQ(nextPowerOfTwo(3), 4u);
    EXPECT_EQ(nextPowerOfTwo(300), 512u);
    EXPECT_EQ(nextPowerOfTwo(512), 512u);
    EXPECT_EQ(nextPowerOfTwo(513), 1024u);
}

TEST_F(Framework, TextureIsAPowerOfTwoHoldingThePictureInItsCorner) {
    show(300, 200);
    fwkRedrawCB();
    ASSERT_EQ(fakePlatform.frames.size(), 1u);
    const FrameDraw& f = fakePlatform.frames[0];
    EXPECT_TRUE(f.reallocate);
    EXPECT_TRUE(f.upload);
    EXPECT_EQ(f.texWidth, 512u);
    EXPECT_EQ(f.texHeight, 256u);
    EXPECT_FLOAT_EQ(f.s1, 300.0f / 512);
    EXPECT_FLOAT_EQ(f.t1, 200.0f / 256);
    // Centred at zoom 1.
    EXPECT_FLOAT_EQ(f.x0, 106);
    EXPECT_FLOAT_EQ(f.y0, 156);
    EXPECT_FLOAT_EQ(f.x1, 406);
    EXPECT_FLOAT_EQ(f.y1, 356);
    EXPECT_FALSE(fwkDisplayChanged());
}

TEST_F(Framework, UploadsOnlyWhenChangedAndReallocatesOnlyOnANewSize) {
    show(300, 200);
    fwkRedrawCB();
    fwkRedrawCB();  // nothing changed: bind only
    EXPECT_FALSE(fakePlatform.frames[1].upload);
    EXPECT_EQ(fakePlatform.frames[0].texture, 0u);  // none yet: make one
    EXPECT_EQ(fakePlatform.frames[1].texture, 1u);  // the one made

    fwkPostRedisplay();
    fwkRedrawCB();  // same power-of-two size: upload into the same texture
    EXPECT_TRUE(fakePlatform.frames[2].upload);
    EXPECT_FALSE(fakePlatform.frames[2].reallocate);

    show(300, 300);
    fwkPostRedisplay();
    fwkRedrawCB();  // 512 by 512 now: a new texture
    EXPECT_TRUE(fakePlatform.frames[3].reallocate);
    EXPECT_EQ(fakePlatform.deletedTextures.size(), 1u);
}

TEST_F(Framework, RasterPositionCentresOrFollowsTheHotSpot) {
    show(301, 100);
    fwkUpdateRasterPos();
    EXPECT_DOUBLE_EQ(fwkGetRasterX(), 105.5);

    show(800, 100);
    fwkUpdateRasterPos();
    EXPECT_DOUBLE_EQ(fwkGetRasterX(), 0);
    fwkSetDisplayHotSpot(511, 0);
    EXPECT_DOUBLE_EQ(fwkGetRasterX(), -287.4375);  // 511 - 800*511/512
    EXPECT_DOUBLE_EQ(fwkGetRasterY(), 206);

    // Outside the viewport an axis keeps its last value.
    fwkSetDisplayHotSpot(600, 0);
    EXPECT_DOUBLE_EQ(fwkGetRasterX(), -287.4375);
    fwkSetDisplayHotSpot(0, 700);
    EXPECT_DOUBLE_EQ(fwkGetRasterX(), 0);
}

TEST_F(Framework, WindowToImageCoordinates) {
    // 246 by 236 at zoom 2 is drawn from (10, 20).
    show(246, 236);
    fwkSetDisplayZoom(2);
    fwkUpdateRasterPos();
    ASSERT_DOUBLE_EQ(fwkGetRasterX(), 10);
    ASSERT_DOUBLE_EQ(fwkGetRasterY(), 20);
    float ix, iy;
    fwkWindowToImageCoordinates(0, 0, &ix, &iy);
    EXPECT_FLOAT_EQ(ix, -4.75f);
    EXPECT_FLOAT_EQ(iy, -9.75f);
}

TEST_F(Framework, ZoomHasNoBoundsAndRedrawsOnlyOnChange) {
    show(10, 10);
    fwkFrameCB();
    int before = fakePlatform.redisplays;
    fwkSetDisplayZoom(1);
    fwkFrameCB();
    EXPECT_EQ(fakePlatform.redisplays, before);
    for (int i = 0; i < 3; ++i) {
        fwkSetDisplayZoom(fwkGetDisplayZoom() * 2);
        fwkFrameCB();
    }
    EXPECT_EQ(fwkGetDisplayZoom(), 8);
    EXPECT_EQ(fakePlatform.redisplays, before + 3);
    fwkSetDisplayZoom(1);
    for (int i = 0; i < 3; ++i) fwkSetDisplayZoom(fwkGetDisplayZoom() / 2);
    EXPECT_EQ(fwkGetDisplayZoom(), 0.125f);
}

// Key repeat on '-' or '+' gets there within seconds.
TEST_F(Framework, EndlessZoomingStopsShortOfZeroAndInfinityAndComesBack) {
    show(10, 10);
    for (int i = 0; i < 200; ++i) fwkSetDisplayZoom(fwkGetDisplayZoom() / 2);
    EXPECT_EQ(fwkGetDisplayZoom(), std::ldexp(1.0f, -149));  // the smallest float above 0
    for (int i = 0; i < 149; ++i) fwkSetDisplayZoom(fwkGetDisplayZoom() * 2);
    EXPECT_EQ(fwkGetDisplayZoom(), 1);

    for (int i = 0; i < 200; ++i) fwkSetDisplayZoom(fwkGetDisplayZoom() * 2);
    EXPECT_EQ(fwkGetDisplayZoom(), std::ldexp(1.0f, 127));  // the largest power of two
    fwkUpdateRasterPos();
    EXPECT_FALSE(std::isnan(fwkGetRasterX()));
    for (int i = 0; i < 127; ++i) fwkSetDisplayZoom(fwkGetDisplayZoom() / 2);
    EXPECT_EQ(fwkGetDisplayZoom(), 1);
    fwkSetDisplayZoom(std::nanf(""));
    EXPECT_EQ(fwkGetDisplayZoom(), 1);
}

TEST_F(Framework, TitleAndImageAreObservable) {
    EXPECT_STREQ(fwkGetWindowTitle(), "Morvane Application");
    fwkSetWindowTitle("Morvane Application | Blur");
    EXPECT_EQ(fakePlatform.titles.back(), "Morvane Application | Blur");
    ImageRGBA* img = show(4, 4);
    EXPECT_EQ(fwkGetDisplayImage(), img);
}

TEST_F(Framework, PictureBeyondTheTextureLimitIsShownInPartWithOneWarning) {
    fakePlatform.maxTextureSize = 256;
    show(300, 200);
    testing::internal::CaptureStderr();
    fwkRedrawCB();
    fwkPostRedisplay();
    fwkRedrawCB();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    const FrameDraw& f = fakePlatform.frames[0];
    EXPECT_EQ(f.texWidth, 256u);
    EXPECT_EQ(f.uploadWidth, 256);
    EXPECT_EQ(f.uploadHeight, 200);
}

TEST_F(Framework, ChangedPartsGoUpAloneCutToTheTexture) {
    fakePlatform.maxTextureSize = 256;
    show(300, 200);
    testing::internal::CaptureStderr();
    fwkRedrawCB();
    testing::internal::GetCapturedStderr();
    fwkPostRedisplayPart(10, 20, 5, 6);
    fwkPostRedisplayPart(250, 190, 40, 40);  // reaches past the texture's corner
    fwkPostRedisplayPart(260, 0, 10, 10);    // beyond it
    fwkRedrawCB();
    const FrameDraw& f = fakePlatform.frames.back();
    ASSERT_TRUE(f.upload);
    ASSERT_EQ(f.partCount, 2);
    EXPECT_EQ((std::vector<int>{f.parts[0].x, f.parts[0].y, f.parts[0].width, f.parts[0].height}),
              (std::vector<int>{10, 20, 5, 6}));
    EXPECT_EQ((std::vector<int>{f.parts[1].x, f.parts[1].y, f.parts[1].width, f.parts[1].height}),
              (std::vector<int>{250, 190, 6, 10}));

    // More parts than a frame holds, or a whole change among them: all of it.
    for (int i = 0; i <= kMaxUploadParts; ++i) fwkPostRedisplayPart(i, 0, 1, 1);
    fwkRedrawCB();
    EXPECT_TRUE(fakePlatform.frames.back().upload);
    EXPECT_EQ(fakePlatform.frames.back().partCount, 0);
    fwkPostRedisplayPart(1, 1, 1, 1);
    fwkPostRedisplay();
    fwkPostRedisplayPart(2, 2, 1, 1);
    fwkRedrawCB();
    EXPECT_EQ(fakePlatform.frames.back().partCount, 0);
    fwkRedrawCB();  // nothing new
    EXPECT_FALSE(fakePlatform.frames.back().upload);
}

TEST(FrameworkDeath, OnlyGreyOrRgbaImagesCanBeShown) {
    Image odd = {2, 2, 3, nullptr};
    EXPECT_DEATH(fwkSetDisplayImage(&odd),
                 "framewk/framewk:399: .*Assertion `\\(\\(const Image \\*\\)img\\)->bytesPerPixel == 1 "
                 "\\|\\| \\(\\(const Image \\*\\)img\\)->bytesPerPixel == 4' failed");
}

}  // namespace
