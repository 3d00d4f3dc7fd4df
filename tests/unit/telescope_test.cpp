#include "effects/tools.h"
#include "image/tiff.h"
#include "tests/unit/test_support.h"

#include <cstdio>

namespace {

const Rgba kFlat = {90, 150, 210, 77};

// Left columns (x < split) one colour, the rest another.
ImageRGBA* verticalStep(int width, int height, int split, Rgba left, Rgba right) {
    ImageRGBA* img = flatImage(width, height, right);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < split; ++x) pixel(img, x, y) = left;
    }
    return img;
}

Rgba grey(unsigned char v) { return Rgba{v, v, v, 255}; }

class Telescope : public ::testing::Test {
protected:
    void build(ImageRGBA* start) {
        t.reset();  // before the images it works on
        images.reset(new EffectImages(start));
        t = images->make<telescope>();
    }
    void TearDown() override {
        t.reset();
        images.reset();
    }
    void at(int x, int y) { t->setXY(static_cast<float>(x), static_cast<float>(y)); }
    // A lens of radius r in mode m at (x, y), rendered once.
    void lens(int m, int r, int x, int y) {
        t->changeMode(static_cast<char>(m));
        t->value1 = static_cast<float>(r);
        at(x, y);
        t->LB(true);
        t->idle();
    }
    Rgba shown(int x, int y) { return pixel(t->image, x, y); }
    Rgba before(int x, int y) { return pixel(images->picture, x, y); }

    std::unique_ptr<EffectImages> images;
    std::unique_ptr<telescope> t;
};

TEST_F(Telescope, StartsInZoomModeWithItsKernels) {
    build(patternImage(30, 20));
    EXPECT_STREQ(fwkGetWindowTitle(), "Morvane Application | Telescope | Mode 1: Zoom");
    EXPECT_TRUE(sameImage(images->backup, images->picture));
    const float sobel[3][3] = {{1, 0, -1}, {2, 0, -2}, {1, 0, -1}};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) EXPECT_EQ(t->kernels[2]->grid[4 + i][4 + j], sobel[i][j]);
    }
    EXPECT_EQ(t->kernels[3]->grid[6][5], -2);
    t->specialKey(7);
    EXPECT_STREQ(fwkGetWindowTitle(), "Morvane Application | Telescope | Mode 7: Sobel Vertical");
}

TEST_F(Telescope, ReleaseLeavesThePictureAsItWasInEveryMode) {
    build(patternImage(80, 60));
    for (int m = 1; m <= 7; ++m) {
        lens(m, 30, 40, 30);
        EXPECT_FALSE(sameImage(t->image, images->picture));
        for (point p : {point(45, 33), point(0, 0), point(79, 59), point(-25, 70), point(40, 30)}) {
            at(p.x, p.y);
            t->idle();
        }
        t->LB(false);
        EXPECT_TRUE(sameImage(t->image, images->picture)) << m;
        EXPECT_TRUE(sameImage(t->backup, images->picture)) << m;
    }
    at(10, 10);  // press and release without a tick
    t->LB(true);
    t->LB(false);
    EXPECT_TRUE(sameImage(t->image, images->picture));
}

TEST_F(Telescope, ZoomSamplesTowardTheCentre) {
    ImageRGBA* start = patternImage(420, 400);
    for (int i = 0; i < 420 * 400; ++i) start->data[i].a = 9;
    build(start);
    lens(1, 100, 300, 300);
    // Magnification 2: 50 pixels out shows the picture 25 out.
    EXPECT_TRUE(samePixel(shown(350, 300),
                          Rgba{before(325, 300).r, before(325, 300).g, before(325, 300).b, 255}));
    EXPECT_TRUE(samePixel(shown(300, 240),
                          Rgba{before(300, 270).r, before(300, 270).g, before(300, 270).b, 255}));
    t->LB(false);

    // Magnification 10: 5 pixels out samples halfway between two columns.
    build(verticalStep(100, 80, 41, grey(0), grey(255)));
    for (int i = 0; i < 8; ++i) t->specialKey(101);
    EXPECT_EQ(t->value2, 10);
    t->LB(false);
    lens(1, 100, 40, 30);
    EXPECT_TRUE(samePixel(shown(45, 30), grey(127)));
    EXPECT_TRUE(samePixel(shown(40, 30), grey(0)));
}

TEST_F(Telescope, LensAtOrBeyondTheEdgesDrawsOnlyItsVisiblePart) {
    build(patternImage(100, 80));
    lens(1, 100, 0, 0);  // a quarter disc, sampling inside the picture
    EXPECT_TRUE(
        samePixel(shown(10, 10), Rgba{before(5, 5).r, before(5, 5).g, before(5, 5).b, 255}));
    EXPECT_TRUE(
        samePixel(shown(40, 20), Rgba{before(20, 10).r, before(20, 10).g, before(20, 10).b, 255}));

    at(-20, 10);  // centre off the picture: samples beyond the edge are black
    t->idle();
    EXPECT_TRUE(samePixel(shown(0, 10), Rgba{0, 0, 0, 255}));
    EXPECT_TRUE(
        samePixel(shown(30, 10), Rgba{before(5, 10).r, before(5, 10).g, before(5, 10).b, 255}));

    t->LB(false);
    lens(1, 250, 99, 79);  // the largest radius, centred on the far corner
    at(5000, -5000);
    t->idle();
    EXPECT_TRUE(sameImage(t->image, images->picture));
    t->setXY(1e30f, -1e30f);  // the int limits of extreme zooms
    t->idle();
    EXPECT_TRUE(sameImage(t->image, images->picture));
    t->LB(false);
    EXPECT_TRUE(sameImage(t->image, images->picture));
}

TEST_F(Telescope, FiltersOnAFlatArea) {
    build(flatImage(60, 50, kFlat));
    const Rgba opaque = {kFlat.r, kFlat.g, kFlat.b, 255};
    const Rgba expected[] = {opaque, opaque, opaque, grey(0), grey(0), grey(0), grey(0)};
    for (int m = 1; m <= 7; ++m) {
        lens(m, 10, 30, 25);
        EXPECT_TRUE(samePixel(shown(30, 25), expected[m - 1])) << m;
        EXPECT_TRUE(samePixel(shown(24, 29), expected[m - 1])) << m;
        EXPECT_TRUE(samePixel(shown(30, 25 - 11), kFlat)) << m;  // outside the disc
        t->LB(false);
    }
}

TEST_F(Telescope, FiltersAtSteps) {
    build(verticalStep(60, 50, 30, grey(255), grey(0)));  // white | black
    lens(6, 10, 30, 25);
    EXPECT_TRUE(samePixel(shown(29, 25), grey(255)));
    EXPECT_TRUE(samePixel(shown(30, 25), grey(255)));
    EXPECT_TRUE(samePixel(shown(27, 25), grey(0)));
    t->changeMode(5);  // adds the vertical kernel, which gives 0 here
    t->idle();
    EXPECT_TRUE(samePixel(shown(29, 25), grey(255)));
    t->changeMode(7);
    t->idle();
    EXPECT_TRUE(samePixel(shown(29, 25), grey(0)));
    t->LB(false);

    build(verticalStep(60, 50, 30, grey(0), grey(255)));  // black | white: negative sums
    lens(6, 10, 30, 25);
    EXPECT_TRUE(samePixel(shown(29, 25), grey(0)));
    t->LB(false);

    build(verticalStep(60, 50, 30, grey(100), grey(200)));
    lens(2, 10, 30, 25);
    EXPECT_TRUE(samePixel(shown(29, 25), grey(125)));  // (4*100 + 8*100 + 4*200) / 16
    t->changeMode(3);
    t->idle();
    EXPECT_TRUE(samePixel(shown(29, 25), grey(75)));   // 2*100 - 125
    EXPECT_TRUE(samePixel(shown(30, 25), grey(225)));  // 2*200 - 175
    t->LB(false);

    ImageRGBA* rows = flatImage(60, 50, grey(0));  // white above row 25
    for (int i = 0; i < 60 * 25; ++i) rows->data[i] = grey(255);
    build(rows);
    lens(7, 10, 30, 25);
    EXPECT_TRUE(samePixel(shown(30, 24), grey(255)));
    EXPECT_TRUE(samePixel(shown(30, 22), grey(0)));
    t->changeMode(6);
    t->idle();
    EXPECT_TRUE(samePixel(shown(30, 24), grey(0)));
}

TEST_F(Telescope, ModeChangeWhileActiveLeavesNoTrace) {
    build(flatImage(60, 50, kFlat));
    lens(4, 10, 30, 25);
    t->changeMode(1);
    at(32, 25);
    t->idle();
    EXPECT_TRUE(samePixel(shown(21, 25), kFlat));  // old disc only: restored
    EXPECT_TRUE(samePixel(shown(30, 25), Rgba{kFlat.r, kFlat.g, kFlat.b, 255}));
}

TEST_F(Telescope, ValueKeysClampAndRestartTheLens) {
    build(patternImage(80, 60));
    at(20, 20);
    t->specialKey(102);  // Right, no button held: the lens starts anyway
    EXPECT_EQ(t->value1, 102);
    EXPECT_TRUE(t->leftDown);
    at(50, 40);
    t->idle();
    EXPECT_FALSE(sameImage(t->image, images->picture));
    t->LB(false);
    EXPECT_TRUE(sameImage(t->image, images->picture));

    for (int i = 0; i < 80; ++i) t->specialKey(102);
    EXPECT_EQ(t->value1, 250);
    for (int i = 0; i < 200; ++i) t->specialKey(100);
    EXPECT_EQ(t->value1, 10);
    for (int i = 0; i < 12; ++i) t->specialKey(101);
    EXPECT_EQ(t->value2, 10);
    for (int i = 0; i < 12; ++i) t->specialKey(103);
    EXPECT_EQ(t->value2, 2);
    t->LB(false);

    t->value1 = 37.6f;  // a slider click: clamped to a whole number, no lens
    t->changeValue(0);
    EXPECT_EQ(t->value1, 37);
    EXPECT_FALSE(t->leftDown);
    EXPECT_TRUE(sameImage(t->image, images->picture));
}

TEST_F(Telescope, PressOnAKeyStartedLensDoesNotKeepIt) {
    build(patternImage(80, 60));
    at(20, 20);
    t->specialKey(100);
    at(30, 30);
    t->idle();
    at(45, 35);  // a real press while that lens is shown
    t->LB(true);
    t->idle();
    t->LB(false);
    EXPECT_TRUE(sameImage(t->image, images->picture));
    EXPECT_TRUE(sameImage(t->backup, images->picture));
}

TEST_F(Telescope, LeavingTheToolTakesTheLensAway) {
    build(patternImage(80, 60));
    lens(5, 30, 40, 30);
    t.reset();
    EXPECT_TRUE(sameImage(images->image, images->picture));
}

// Counts menu clicks instead of acting on them.
class countingTelescope : public telescope {
public:
    using telescope::telescope;
    int menuClicks = 0;
    bool useMenu(bool click) override {
        menuClicks += click;
        return false;
    }
};

TEST(TelescopeMenu, ValueKeyIsNoMenuClick) {
    EffectImages images(patternImage(40, 30));
    auto t = images.make<countingTelescope>();
    t->key(' ');
    t->setXY(5, 5);  // over the save button
    t->specialKey(101);
    EXPECT_EQ(t->menuClicks, 0);
    EXPECT_TRUE(t->leftDown);
    t->LB(true);  // a real press still goes to the menu first
    EXPECT_EQ(t->menuClicks, 1);
    t->LB(false);
}

class TelescopeInShell : public ShellOn {};

TEST_F(TelescopeInShell, F12LensFollowsTheMouseAndSwitchingAwayKeepsThePicture) {
    startOn(patternImage(70, 50));
    specialCB(12, 1, 1);
    EXPECT_STREQ(fwkGetWindowTitle(), "Morvane Application | Telescope | Mode 1: Zoom");
    leftDrag({point(30, 20), point(35, 25), point(60, 45)});
    EXPECT_TRUE(sameImage(E->image, picture));

    specialCB(5, 1, 1);
    EXPECT_STREQ(fwkGetWindowTitle(), "Morvane Application | Telescope | Mode 5: Sobel Combined");
    mouseCB(0, 0, 30, 20);
    motionCB(33, 22);
    idleCB();
    EXPECT_FALSE(sameImage(E->image, picture));
    specialCB(9, 1, 1);  // to the draw tool with the button still held
    EXPECT_TRUE(sameImage(E->image, picture));
    EXPECT_TRUE(sameImage(E->backup, picture));
    mouseCB(0, 1, 33, 22);
}

TEST_F(TelescopeInShell, EnterWhileTheLensIsShownCommitsThePictureWithoutIt) {
    startOn(patternImage(70, 50));
    specialCB(12, 1, 1);
    specialCB(102, 30, 20);  // a value key starts a lens that follows the pointer
    motionCB(35, 25);
    idleCB();
    keyboardCB(13, 35, 25);
    EXPECT_TRUE(sameImage(E->backup, picture));
    EXPECT_TRUE(sameImage(E->scratch, picture));
    motionCB(40, 28);
    idleCB();
    EXPECT_FALSE(sameImage(E->image, picture));  // the lens is back
    mouseCB(0, 0, 40, 28);
    mouseCB(0, 1, 40, 28);
    EXPECT_TRUE(sameImage(E->image, picture));
}

// Saving while a lens started by a value key is shown, by a save key or by
// the menu's save button, writes the picture without the lens.
TEST_F(TelescopeInShell, SavingWithTheLensShownWritesThePictureWithoutIt) {
    startOn(patternImage(70, 50));
    specialCB(12, 1, 1);
    specialCB(102, 40, 30);
    motionCB(45, 32);
    idleCB();
    ASSERT_FALSE(sameImage(E->image, picture));
    keyboardCB('&', 45, 32);
    ImageRGBA* saved = imageRgbaReadTIFF("out.tif");
    ASSERT_NE(saved, nullptr);
    EXPECT_TRUE(sameImage(saved, picture));
    imageRgbaFree(saved);
    idleCB();
    EXPECT_FALSE(sameImage(E->image, picture));  // the lens goes on

    keyboardCB(' ', 45, 32);
    idleCB();
    std::remove("out.tif");
    mouseCB(0, 0, 5, 5);  // the save button
    saved = imageRgbaReadTIFF("out.tif");
    ASSERT_NE(saved, nullptr);
    EXPECT_TRUE(sameImage(saved, picture));
    imageRgbaFree(saved);
    mouseCB(0, 1, 5, 5);
    EXPECT_TRUE(sameImage(E->image, picture));
}

// Backspace with the lens shown: the lens goes on over the loaded picture,
// leaving no trace of the old one where it was.
TEST_F(TelescopeInShell, BackspaceWithTheLensShownLeavesNoTrace) {
    startOn(patternImage(70, 50));
    specialCB(12, 1, 1);
    E->value1 = 12;
    specialCB(100, 20, 20);  // radius 10
    motionCB(21, 20);
    idleCB();
    keyboardCB(8, 21, 20);
    motionCB(55, 35);
    idleCB();
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 44; ++x) {
            ASSERT_TRUE(samePixel(pixel(E->image, x, y), pixel(picture, x, y))) << x << "," << y;
        }
    }
    mouseCB(0, 0, 55, 35);
    mouseCB(0, 1, 55, 35);
    EXPECT_TRUE(sameImage(E->image, picture));
}

}  // namespace

namespace {

// A window one row short of square, the picture zoomed out to nothing, and a
// press at the window's left edge: the pointer lands near x = -2^31.
TEST_F(TelescopeInShell, PressFarLeftOfAPictureZoomedOutStaysInside) {
    startOn(patternImage(600, 400));
    fakePlatform.viewport[3] = 511;
    for (int i = 0; i < 24; ++i) fwkKeyboardCB('-', 256, 255);
    fwkRedrawCB();
    fwkSpecialCB(12, 256, 255);
    fwkMouseCB(0, 0, 0, 255);
    idleCB();
    fwkMouseCB(0, 1, 0, 255);
    idleCB();
    EXPECT_TRUE(sameImage(E->image, picture));
}

}  // namespace
