#include "effects/classes.h"
#include "effects/color.h"
#include "framewk/framewk.h"
#include "image/sampling.h"
#include "image/tiff.h"
#include "morvane.h"
#include "tests/unit/fake_platform.h"
#include "tests/unit/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

// Icon pixel (r, c) of atlas row k tells where it came from: (k, r, c), and
// one transparent pixel per icon.
Rgba iconPixel(int k, int r, int c) {
    return Rgba{static_cast<unsigned char>(k), static_cast<unsigned char>(r),
                static_cast<unsigned char>(c),
                static_cast<unsigned char>(r == 10 && c == 10 ? 0 : 255)};
}

ImageRGBA* testAtlas() {
    ImageRGBA* atlas = imageRgbaNew(400, 113);
    for (int k = 0; k < 113; ++k) {
        for (int r = 0; r < 20; ++r) {
            for (int c = 0; c < 20; ++c) atlas->data[k * 400 + r * 20 + c] = iconPixel(k, r, c);
        }
    }
    return atlas;
}

Rgba at(const ImageRGBA* img, int x, int y) { return img->data[y * img->width + x]; }

// The top-left w by h pixels of atlas row k lie in hud with their corner at
// (x, y), the picture showing through the transparent pixel.
testing::AssertionResult iconAt(const ImageRGBA* hud, const ImageRGBA* image, int k, int x, int y,
                                int w = 20, int h = 20) {
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            Rgba want = iconPixel(k, r, c);
            if (want.a == 0) want = at(image, x + c, y + r);
            Rgba got = at(hud, x + c, y + r);
            if (!samePixel(got, want)) {
                return testing::AssertionFailure()
                       << "icon " << k << " pixel (" << c << "," << r << ") at (" << x + c << ","
                       << y + r << "): " << str(got) << " instead of " << str(want);
            }
        }
    }
    return testing::AssertionSuccess();
}

testing::AssertionResult pictureAt(const ImageRGBA* hud, const ImageRGBA* image, int x, int y) {
    if (samePixel(at(hud, x, y), at(image, x, y))) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "(" << x << "," << y << ") shows " << str(at(hud, x, y));
}

// Records the hooks the menu calls.
class Probe : public effect {
public:
    using effect::effect;
    std::vector<std::string> calls;
    void changeMode(char m) override {
        calls.push_back("mode " + std::to_string(m));
        effect::changeMode(m);
    }
    void changeValue(char c) override { calls.push_back("value " + std::to_string(c)); }
    void colorChangeAction() override { calls.push_back("color " + str(color)); }
    void LBAction() override {
        calls.push_back(std::string("LBAction ") + (leftDown ? "down" : "up"));
    }
};

class Menu : public ::testing::Test {
protected:
    void SetUp() override {
        fwkReset();
        fakePlatform.reset();
        icons = testAtlas();
        use(640, 480);
    }
    void TearDown() override {
        delete probe;
        for (ImageRGBA* img : {image, backup, scratch, hud, icons}) imageRgbaFree(img);
        fwkReset();
    }
    // A fresh probe on a fresh picture of this size, menu open.
    void use(int width, int height) {
        delete probe;
        for (ImageRGBA* img : {image, backup, scratch, hud}) {
            if (img) imageRgbaFree(img);
        }
        image = patternImage(width, height);
        backup = imageRgbaClone(image);
        scratch = imageRgbaClone(image);
        hud = imageRgbaNew(width, height);
        probe = new Probe(image, backup, scratch, hud, icons, false, point(), point());
        probe->menuOn = true;
    }
    bool click(int x, int y) {
        probe->cursor = point(x, y);
        return probe->useMenu(true);
    }
    bool drag(int x, int y) {
        probe->cursor = point(x, y);
        return probe->useMenu(false);
    }

    ImageRGBA *image = nullptr, *backup = nullptr, *scratch = nullptr, *hud = nullptr,
              *icons = nullptr;
    Probe* probe = nullptr;
};

// Groups of effect icons: first atlas row, count, first cell, 20 pixels apart.
struct IconRun {
    int row, count, x, y;
};
const IconRun kIconRuns[] = {{3, 4, 0, 30},    {9, 6, 0, 60},    {15, 4, 130, 60}, {19, 5, 0, 80},
                             {24, 2, 110, 80}, {26, 4, 0, 100},  {30, 3, 90, 100}, {33, 8, 0, 120},
                             {41, 4, 0, 140},  {45, 3, 90, 140}, {48, 2, 160, 140}};

TEST_F(Menu, EveryIconSitsInItsCellOverThePicture) {
    probe->showHud();
    EXPECT_EQ(probe->shown, hud);
    EXPECT_TRUE(iconAt(hud, image, 0, 0, 0));
    EXPECT_TRUE(iconAt(hud, image, 1, 20, 0));
    EXPECT_TRUE(iconAt(hud, image, 7, 50, 0));
    EXPECT_TRUE(iconAt(hud, image, 8, 70, 0));
    EXPECT_TRUE(iconAt(hud, image, 2, 620, 0));
    int icons = 0;
    for (const IconRun& run : kIconRuns) {
        for (int i = 0; i < run.count; ++i, ++icons) {
            EXPECT_TRUE(iconAt(hud, image, run.row + i, run.x + 20 * i, run.y));
        }
    }
    EXPECT_EQ(icons, 45);
    // Gaps, and no mode buttons, sliders or palette without modes, ranges or colour.
    for (point p : {point(45, 5), point(95, 5), point(150, 10), point(5, 25), point(125, 62),
                    point(85, 105), point(155, 145), point(5, 185), point(30, 210), point(120, 210),
                    point(200, 40), point(619, 5)}) {
        EXPECT_TRUE(pictureAt(hud, image, p.x, p.y));
    }
    // Nothing below or beside the menu either.
    for (int y = 220; y < 480; y += 7) {
        for (int x = 0; x < 640; x += 5) ASSERT_TRUE(pictureAt(hud, image, x, y));
    }
}

TEST_F(Menu, ModeButtonsFollowTheModeCountUpToEight) {
    probe->modeCount = 3;
    probe->showHud();
    for (int n = 1; n <= 3; ++n) EXPECT_TRUE(iconAt(hud, image, 100 + n, 20 * (n - 1), 180));
    EXPECT_TRUE(pictureAt(hud, image, 65, 185));

    probe->modeCount = 12;
    probe->showHud();
    for (int n = 1; n <= 8; ++n) EXPECT_TRUE(iconAt(hud, image, 100 + n, 20 * (n - 1), 180));
    EXPECT_TRUE(pictureAt(hud, image, 165, 185));
}

TEST_F(Menu, SlidersAndTheirKnobs) {
    probe->value1Range = limit(-255, 255);
    probe->value1 = 20;  // 275 / 510 * 60 = 32.35
    probe->value2Range = limit(0, 10);
    probe->value2 = 10;
    probe->showHud();
    const int track[] = {109, 110, 110, 111};
    for (int i = 0; i < 4; ++i) {
        // Column 15 of each piece lies clear of both knobs.
        for (int base : {0, 80}) {
            for (int r = 0; r < 20; ++r) {
                EXPECT_TRUE(samePixel(at(hud, base + 20 * i + 15, 200 + r), iconPixel(track[i], r, 15)))
                    << base << " " << i << " " << r;
            }
        }
    }
    EXPECT_TRUE(iconAt(hud, image, 112, 39, 203, 7, 14));
    EXPECT_TRUE(samePixel(at(hud, 46, 203), iconPixel(110, 3, 6)));    // right of the knob
    EXPECT_TRUE(samePixel(at(hud, 39, 217), iconPixel(110, 17, 19)));  // below it
    EXPECT_TRUE(iconAt(hud, image, 112, 147, 203, 7, 14));        // at the high end: 87 + 60

    probe->value1 = -255;
    probe->value2 = -40;  // far below its range: the knob is squeezed onto column 0
    probe->showHud();
    EXPECT_TRUE(iconAt(hud, image, 112, 7, 203, 7, 14));
    for (int r = 0; r < 14; ++r) EXPECT_TRUE(samePixel(at(hud, 0, 203 + r), iconPixel(112, r, 6))) << r;
    EXPECT_TRUE(samePixel(at(hud, 87, 203), iconPixel(109, 3, 7)));
}

TEST_F(Menu, KnobsWithWildValuesStayInsideTheOverlay) {
    probe->value1Range = limit(0, 10);
    probe->value2Range = limit(-5, 5);
    for (float v : {1e30f, -1e30f, std::numeric_limits<float>::infinity(), std::nanf("")}) {
        probe->value1 = probe->value2 = v;
        probe->showHud();  // the sanitizer build catches any stray write
    }
    // Squeezed onto the picture's last column.
    probe->value1 = 1e30f;
    probe->showHud();
    EXPECT_TRUE(samePixel(at(hud, 639, 203), iconPixel(112, 0, 6)));
}

TEST_F(Menu, PaletteShowsHuesShadesAndTheColour) {
    probe->usesColor = true;
    probe->color = Rgba{10, 20, 31, 255};  // 61 / 765 * 50: the colour sits in row 3.99
    probe->showHud();
    // Hue field: black at the top, pure hue at y 25, pale at the bottom; hue 0 at x 100.
    EXPECT_TRUE(samePixel(at(hud, 100, 0), Rgba{0, 0, 0, 255}));
    EXPECT_TRUE(samePixel(at(hud, 100, 25), Rgba{255, 0, 0, 255}));
    EXPECT_TRUE(samePixel(at(hud, 100, 49), Rgba{255, 244, 244, 255}));  // s 0.04: 0.96 * 255
    EXPECT_TRUE(samePixel(at(hud, 113, 25), HSVtoRGB(Hsva{72, 1, 1, 255})));
    EXPECT_TRUE(samePixel(at(hud, 126, 40), HSVtoRGB(Hsva{144, 0.4f, 1, 255})));
    EXPECT_TRUE(samePixel(at(hud, 152, 10), HSVtoRGB(Hsva{288, 1, 0.4f, 255})));
    // Brightness strip: each channel + (y - 3.99) * 5.1, clamped.
    for (int x : {165, 179}) {
        EXPECT_TRUE(samePixel(at(hud, x, 0), Rgba{0, 0, 10, 255})) << str(at(hud, x, 0));
        EXPECT_TRUE(samePixel(at(hud, x, 10), Rgba{40, 50, 61, 255})) << str(at(hud, x, 10));
        EXPECT_TRUE(samePixel(at(hud, x, 49), Rgba{239, 249, 255, 255})) << str(at(hud, x, 49));
    }
    // Swatch.
    for (point p : {point(190, 30), point(209, 49)}) {
        EXPECT_TRUE(samePixel(at(hud, p.x, p.y), probe->color));
    }
    for (point p : {point(99, 10), point(180, 10), point(189, 40), point(210, 40), point(200, 29),
                    point(140, 50)}) {
        EXPECT_TRUE(pictureAt(hud, image, p.x, p.y));
    }
}

TEST_F(Menu, OnANarrowPictureIconsAreSqueezedOntoTheLastColumnAndNoPaletteIsDrawn) {
    use(100, 150);
    probe->usesColor = true;
    probe->value1Range = limit(0, 60);
    probe->value1 = 32;
    probe->showHud();
    // The close button at 80 overwrites the zoom-out button's right half.
    EXPECT_TRUE(iconAt(hud, image, 8, 70, 0, 10, 20));
    EXPECT_TRUE(iconAt(hud, image, 2, 80, 0));
    // Row 60: channel (100) and everything right of it end on column 99, solarize last.
    for (int r = 0; r < 20; ++r) {
        EXPECT_TRUE(samePixel(at(hud, 99, 60 + r), iconPixel(18, r, 19))) << r;
        EXPECT_TRUE(samePixel(at(hud, 98, 60 + r), iconPixel(13, r, 18))) << r;
    }
    // Row 140 runs past the bottom: rows 9 to 19 of the cells end on row 149,
    // and the slider track (y 200) and knob (y 203) lie on it after them.
    EXPECT_TRUE(samePixel(at(hud, 0, 149), iconPixel(109, 19, 0)));
    EXPECT_TRUE(samePixel(at(hud, 39, 149), iconPixel(112, 13, 0)));
    EXPECT_TRUE(samePixel(at(hud, 99, 149), iconPixel(49, 19, 19)));
    EXPECT_TRUE(samePixel(at(hud, 99, 148), iconPixel(49, 8, 19)));
    // No palette: beside the close button, column 99 shows the picture.
    for (int y : {20, 30, 45}) EXPECT_TRUE(pictureAt(hud, image, 99, y));
}

TEST_F(Menu, ATinyPictureTakesTheWholeMenuSqueezed) {
    use(3, 2);
    probe->usesColor = true;
    probe->modeCount = 8;
    probe->value1Range = limit(0, 5);
    probe->value2Range = limit(0, 5);
    probe->showHud();
    // Last drawn onto the corner: the knob of slider 2 (the palette is off the picture).
    EXPECT_TRUE(samePixel(at(hud, 2, 1), iconPixel(112, 13, 6)));
}

TEST_F(Menu, ClicksOnNothingReachTheEffect) {
    for (point p : {point(95, 5), point(45, 5), point(125, 62), point(85, 105), point(150, 145),
                    point(5, 25), point(5, 185), point(40, 210), point(120, 210), point(140, 20),
                    point(300, 300), point(-5, 5)}) {
        EXPECT_FALSE(click(p.x, p.y)) << p.x << "," << p.y;
    }
    EXPECT_TRUE(probe->calls.empty());
    EXPECT_TRUE(probe->menuOn);

    // Through the button: the press goes on to the effect.
    probe->cursor = point(95, 5);
    probe->LB(true);
    EXPECT_TRUE(probe->leftDown);
    EXPECT_EQ(probe->calls, (std::vector<std::string>{"LBAction down"}));
}

TEST_F(Menu, ZoomButtonsKeepTheMenuOpen) {
    EXPECT_TRUE(click(50, 0));
    EXPECT_EQ(fwkGetDisplayZoom(), 2);
    EXPECT_TRUE(click(69, 19));
    EXPECT_EQ(fwkGetDisplayZoom(), 4);
    EXPECT_TRUE(click(70, 10));
    EXPECT_TRUE(click(89, 10));
    EXPECT_TRUE(click(75, 0));
    EXPECT_EQ(fwkGetDisplayZoom(), 0.5);
    EXPECT_TRUE(probe->menuOn);

    // A consumed press leaves leftDown false, yet LBAction runs.
    probe->cursor = point(55, 5);
    probe->LB(true);
    EXPECT_FALSE(probe->leftDown);
    EXPECT_EQ(probe->calls, (std::vector<std::string>{"LBAction up"}));
}

TEST_F(Menu, CloseButtonEndsWithStatusZero) {
    EXPECT_EXIT(click(620, 0), testing::ExitedWithCode(0), "");
    EXPECT_EXIT(click(639, 19), testing::ExitedWithCode(0), "");
    EXPECT_FALSE(click(619, 5));
    use(50, 30);  // close (30 to 49) lies partly under restore, which is tested first
    EXPECT_EXIT(click(40, 5), testing::ExitedWithCode(0), "");
}

TEST_F(Menu, ModeButtonsSelectAndClose) {
    probe->modeCount = 3;
    EXPECT_TRUE(click(45, 185));
    EXPECT_EQ(probe->mode, 3);
    EXPECT_FALSE(probe->menuOn);
    probe->menuOn = true;
    EXPECT_TRUE(click(0, 180));
    EXPECT_EQ(probe->mode, 1);
    EXPECT_FALSE(click(65, 185));
    EXPECT_EQ(probe->calls, (std::vector<std::string>{"mode 3", "mode 1"}));

    probe->modeCount = 1;
    probe->menuOn = true;
    probe->calls.clear();
    EXPECT_FALSE(click(5, 185));
    EXPECT_TRUE(probe->calls.empty());
    EXPECT_TRUE(probe->menuOn);

    probe->modeCount = 10;  // only eight buttons
    EXPECT_TRUE(click(145, 185));
    EXPECT_EQ(probe->mode, 8);
    probe->menuOn = true;
    EXPECT_FALSE(click(165, 185));
}

TEST_F(Menu, SliderClicksMapPositionsToValues) {
    probe->value1Range = limit(1, 50);
    struct Case {
        int x;
        float value;
    };
    for (Case c : {Case{40, 25}, Case{2, 1}, Case{10, 1}, Case{70, 50}, Case{77, 50}, Case{11, 1},
                   Case{12, 2}}) {
        probe->value1 = -7;
        EXPECT_FALSE(click(c.x, 210));
        EXPECT_EQ(probe->value1, c.value) << c.x;
    }
    EXPECT_EQ(probe->calls.size(), 7u);
    EXPECT_EQ(probe->calls[0], "value 0");
    EXPECT_TRUE(probe->menuOn);

    // Edges of the region: x 2 to 77, y 203 to 216.
    probe->value1 = -7;
    for (point p : {point(1, 210), point(78, 210), point(40, 202), point(40, 217)}) {
        EXPECT_FALSE(click(p.x, p.y));
        EXPECT_EQ(probe->value1, -7) << p.x << "," << p.y;
    }
    EXPECT_FALSE(click(40, 216));
    EXPECT_EQ(probe->value1, 25);

    // Slider 2: lo + (x - 90) / 60 * (hi - lo), negative results truncated toward zero.
    probe->value2Range = limit(-10, 10);
    for (Case c : {Case{120, 0}, Case{82, -10}, Case{157, 10}, Case{100, -6}, Case{95, -8}}) {
        EXPECT_FALSE(click(c.x, 203));
        EXPECT_EQ(probe->value2, c.value) << c.x;
    }

    // A click on a slider also counts as a press for the effect.
    probe->calls.clear();
    probe->cursor = point(40, 210);
    probe->LB(true);
    EXPECT_TRUE(probe->leftDown);
    EXPECT_EQ(probe->calls, (std::vector<std::string>{"value 0", "LBAction down"}));
}

TEST_F(Menu, WithoutARangeTheSliderIsNotThere) {
    probe->value1Range = limit(5, 5);
    probe->value1 = 3;
    EXPECT_FALSE(click(40, 210));
    EXPECT_FALSE(drag(40, 210));
    EXPECT_EQ(probe->value1, 3);
    EXPECT_TRUE(probe->calls.empty());
}

TEST_F(Menu, DraggingAKnobAppliesAtOnce) {
    probe->value1Range = limit(0, 120);
    probe->value2Range = limit(0, 6);
    EXPECT_TRUE(drag(7, 216));
    EXPECT_EQ(probe->value1, 0);
    EXPECT_TRUE(drag(72, 203));
    EXPECT_EQ(probe->value1, 120);
    EXPECT_TRUE(drag(41, 210));  // 31 / 60 * 120 = 62, not a hair below it
    EXPECT_EQ(probe->value1, 62);
    EXPECT_FALSE(drag(5, 210));  // a click would take these, a drag does not
    EXPECT_FALSE(drag(75, 210));
    EXPECT_EQ(probe->value1, 62);
    EXPECT_TRUE(drag(152, 210));
    EXPECT_EQ(probe->value2, 6);
    EXPECT_FALSE(drag(155, 210));
    EXPECT_FALSE(drag(55, 5));  // buttons do not react to drags
    EXPECT_EQ(fwkGetDisplayZoom(), 1);
    EXPECT_EQ(probe->calls, (std::vector<std::string>{"value 1", "value 1", "value 1", "value 1"}));

    // Through move(): only while the button is held and the menu is on.
    probe->calls.clear();
    probe->cursor = point(10, 210);
    probe->move();
    EXPECT_EQ(probe->value1, 62);
    probe->leftDown = true;
    probe->move();
    EXPECT_EQ(probe->value1, 0);
    EXPECT_EQ(probe->calls, (std::vector<std::string>{"value 1"}));
}

TEST_F(Menu, PickingTakesThePaletteAsDrawn) {
    probe->cursor = point(120, 20);
    probe->LB(true);  // no palette without colour
    EXPECT_TRUE(samePixel(probe->color, Rgba{0, 0, 0, 255}));

    probe->usesColor = true;
    probe->showHud();
    probe->calls.clear();
    EXPECT_FALSE(click(100, 25));
    EXPECT_TRUE(samePixel(probe->color, Rgba{255, 0, 0, 255}));
    hud->data[30 * 640 + 170] = Rgba{1, 2, 3, 4};  // whatever the last frame holds, opaque
    EXPECT_TRUE(drag(170, 30));
    EXPECT_TRUE(samePixel(probe->color, Rgba{1, 2, 3, 255}));
    EXPECT_FALSE(drag(180, 30));  // right of the strip
    EXPECT_FALSE(click(180, 30));
    EXPECT_EQ(probe->calls, (std::vector<std::string>{"color (255,0,0,255)", "color (1,2,3,255)"}));
}

TEST_F(Menu, NoPickWhereThePaletteLiesOffThePicture) {
    use(150, 40);
    probe->usesColor = true;
    probe->showHud();
    probe->color = Rgba{5, 6, 7, 255};
    EXPECT_FALSE(click(160, 10));
    EXPECT_FALSE(click(120, 45));
    EXPECT_TRUE(drag(160, 10));
    EXPECT_TRUE(samePixel(probe->color, Rgba{5, 6, 7, 255}));
    EXPECT_TRUE(probe->calls.empty());
    EXPECT_FALSE(click(120, 39));  // inside it still picks
    EXPECT_EQ(probe->calls.size(), 1u);
}

// The buttons that need the shell: save, restore and the effect icons.
class MenuShell : public ShellOn {
protected:
    void SetUp() override { startOn(patternImage(640, 480)); }
    void press(int x, int y) {
        mouseCB(0, 0, static_cast<float>(x), static_cast<float>(y));
        mouseCB(0, 1, static_cast<float>(x), static_cast<float>(y));
    }
    void openMenu() {
        keyboardCB(' ', 300, 300);
        idleCB();
    }
};

TEST_F(MenuShell, SaveWritesTheWorkingPictureAndCloses) {
    imageRgbaSet(E->image, 4, 5, 6, 255);
    openMenu();
    press(5, 5);
    EXPECT_FALSE(E->menuOn);
    EXPECT_FALSE(E->leftDown);
    ImageRGBA* saved = imageRgbaReadTIFF("out.tif");
    ASSERT_NE(saved, nullptr);
    EXPECT_TRUE(sameImage(saved, E->image));
    imageRgbaFree(saved);
}

TEST_F(MenuShell, RestoreBringsBackTheLoadedPictureAndCloses) {
    imageRgbaSet(E->image, 4, 5, 6, 255);
    imageRgbaSet(E->backup, 4, 5, 6, 255);
    openMenu();
    press(39, 19);
    EXPECT_FALSE(E->menuOn);
    EXPECT_TRUE(sameImage(E->image, picture));
    EXPECT_TRUE(sameImage(E->backup, picture));
    EXPECT_TRUE(sameImage(E->scratch, picture));
}

TEST_F(MenuShell, EffectIconsSwitchAndTheNewEffectMissesThePress) {
    openMenu();
    unsigned long before = effectSwitchCount();
    mouseCB(0, 0, 105, 62);
    EXPECT_EQ(effectSwitchCount(), before + 1);
    EXPECT_STREQ(fwkGetWindowTitle(), "Morvane Application | Channel | Mode 1: Red");
    EXPECT_FALSE(E->menuOn);  // the new effect starts with the menu closed
    EXPECT_FALSE(E->leftDown);
    mouseCB(0, 1, 105, 62);

    // Invert applies once when made; a second application (an LBAction for
    // the same press) would undo it.
    openMenu();
    ImageRGBA* before2 = imageRgbaClone(E->image);
    press(150, 60);
    EXPECT_STREQ(fwkGetWindowTitle(), "Morvane Application | Invert");
    EXPECT_EQ(E->image->data[0].r, 255 - before2->data[0].r);
    EXPECT_EQ(E->image->data[640 * 480 - 1].b, 255 - before2->data[640 * 480 - 1].b);
    imageRgbaFree(before2);

    // Every icon switches, and the gaps between them do not.
    const IconRun* runs = kIconRuns;
    for (size_t i = 0; i < sizeof kIconRuns / sizeof kIconRuns[0]; ++i) {
        for (int j = 0; j < runs[i].count; ++j) {
            openMenu();
            before = effectSwitchCount();
            press(runs[i].x + 20 * j + 19, runs[i].y + 19);
            EXPECT_EQ(effectSwitchCount(), before + 1) << runs[i].row + j;
        }
    }
    openMenu();
    before = effectSwitchCount();
    for (point p : {point(125, 62), point(210, 70), point(100, 85), point(85, 100), point(82, 145),
                    point(155, 140), point(200, 145), point(10, 29), point(10, 160)}) {
        press(p.x, p.y);
    }
    EXPECT_EQ(effectSwitchCount(), before);
    EXPECT_TRUE(E->menuOn);
}

TEST_F(MenuShell, ColourIconsLeadToTheirAdjustments) {
    const char* titles[] = {
        "Brightness", "Contrast", "Saturation", "Hue",     "Colorize", "Channel | Mode 1: Red",
        "Gray",       "Invert",   "Posterize",  "Solarize"};
    const int xs[] = {0, 20, 40, 60, 80, 100, 130, 150, 170, 190};
    for (int i = 0; i < 10; ++i) {
        openMenu();
        press(xs[i] + 10, 70);
        EXPECT_EQ(std::string(fwkGetWindowTitle()),
                  std::string("Morvane Application | ") + titles[i]);
    }
}

}  // namespace
