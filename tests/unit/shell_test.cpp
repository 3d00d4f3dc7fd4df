#include "effects/classes.h"
#include "framewk/framewk.h"
#include "image/tiff.h"
#include "morvane.h"
#include "tests/unit/fake_platform.h"
#include "tests/unit/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

// Records what reaches it; the base does everything else as usual.
class Spy : public effect {
public:
    using effect::effect;
    std::vector<std::string> calls;
    void key(unsigned char c) override {
        calls.push_back("key " + std::to_string(c));
        effect::key(c);
    }
    void specialKey(int k) override {
        calls.push_back("special " + std::to_string(k));
        effect::specialKey(k);
    }
    void move() override {
        calls.push_back("move " + std::to_string(cursor.x) + "," + std::to_string(cursor.y));
        effect::move();
    }
    void LB(bool down) override {
        calls.push_back(std::string("LB ") + (down ? "down" : "up"));
        effect::LB(down);
    }
    void RB(bool down) override {
        calls.push_back(std::string("RB ") + (down ? "down" : "up"));
        effect::RB(down);
    }
    void idle() override {
        calls.push_back("idle");
        effect::idle();
    }
};

class Shell : public ::testing::Test {
protected:
    void SetUp() override {
        fwkReset();
        fakePlatform.reset();
        picture = patternImage(40, 30);
        ASSERT_EQ(imageRgbaWriteTIFF("in.tif", picture), 0);
    }
    void TearDown() override {
        morvaneShutdown();
        imageRgbaFree(picture);
    }
    void start(std::vector<const char*> args = {"morvane"}) {
        testing::internal::CaptureStderr();
        startUncaptured(args);
        startErrors = testing::internal::GetCapturedStderr();
    }
    void startUncaptured(std::vector<const char*> args) {
        int argc = static_cast<int>(args.size());
        args.push_back(nullptr);
        morvaneStart(&argc, args.data());
    }
    Spy* installSpy() {
        Spy* spy = new Spy(E->image, E->backup, E->scratch, E->hud, E->icons, E->hasArea, E->areaMin,
                           E->areaMax);
        delete E;
        E = spy;
        return spy;
    }
    void press(unsigned char key) { keyboardCB(key, 1, 1); }

    TempDir dir;
    ImageRGBA* picture = nullptr;
    std::string startErrors;
};

TEST_F(Shell, StartsOnInTifWithThePlainEffect) {
    std::ofstream("log.txt") << "LOG: 1\nLOG: 2\n";
    start();
    ASSERT_NE(E, nullptr);
    EXPECT_TRUE(sameImage(E->image, picture));
    EXPECT_TRUE(sameImage(original, picture));
    EXPECT_NE(E->image, original);
    EXPECT_EQ(E->backup->width, 40);
    EXPECT_EQ(E->hud->height, 30);
    EXPECT_EQ(E->icons->width, 400);
    EXPECT_EQ(E->icons->height, 113);
    EXPECT_FALSE(E->hasArea);
    EXPECT_EQ(E->areaMax.x, 39);
    EXPECT_EQ(E->areaMax.y, 29);
    EXPECT_STREQ(fwkGetWindowTitle(), "Morvane Application");
    EXPECT_EQ(fwkGetDisplayImage(), E->image);
    EXPECT_EQ(readFile("log.txt"), "");  // truncated
}

TEST_F(Shell, ArgumentChoosesThePicture) {
    ImageRGBA* other = patternImage(12, 9, 7);
    ASSERT_EQ(imageRgbaWriteTIFF("other.tif", other), 0);
    start({"morvane", "other.tif"});
    EXPECT_TRUE(sameImage(E->image, other));
    morvaneShutdown();

    start({"morvane", "other.tif", "extra"});  // more than one: in.tif, and a line saying so
    EXPECT_TRUE(sameImage(E->image, picture));
    EXPECT_NE(startErrors.find("morvane: the window opens one picture, so \"in.tif\" is opened instead "
                               "of the 2 given; --keys with --output-dir takes many\n"),
              std::string::npos)
        << startErrors;
    imageRgbaFree(other);
}

TEST_F(Shell, UnreadablePicturesEndWithOneLineAndStatusOne) {
    EXPECT_EXIT(startUncaptured({"morvane", "nothere.tif"}), testing::ExitedWithCode(1),
                "morvane: cannot open the picture \"nothere.tif\": No such file or directory\n$");
    std::ofstream("notes.tif") << "plain text";
    EXPECT_EXIT(startUncaptured({"morvane", "notes.tif"}), testing::ExitedWithCode(1),
                "morvane: cannot open the picture \"notes.tif\": [^\n]+\n$");
    ImageRGBA* empty = imageRgbaNew(0, 0);
    ASSERT_EQ(imageRgbaWriteTIFF("empty.tif", empty), 0);
    imageRgbaFree(empty);
    EXPECT_EXIT(startUncaptured({"morvane", "empty.tif"}), testing::ExitedWithCode(1),
                "morvane: cannot open the picture \"empty.tif\": [^\n]+\n$");
}

TEST_F(Shell, IconAtlasRowsComeFromTheMenuFiles) {
    mkdir("menu", 0755);
    ImageRGBA* save = patternImage(20, 20, 3);
    ASSERT_EQ(imageRgbaWriteTIFF("menu/save.tif", save), 0);
    ImageRGBA* knob = patternImage(20, 20, 4);
    ASSERT_EQ(imageRgbaWriteTIFF("menu/regler.tif", knob), 0);
    ImageRGBA* texture1 = patternImage(20, 20, 5);
    ASSERT_EQ(imageRgbaWriteTIFF("menu/glass_texture1.tif", texture1), 0);
    ImageRGBA* small = patternImage(10, 30, 6);
    ASSERT_EQ(imageRgbaWriteTIFF("menu/hue.tif", small), 0);
    ImageRGBA* huge = patternImage(1025, 1, 7);  // beyond any icon: refused unread
    ASSERT_EQ(imageRgbaWriteTIFF("menu/backwards.tif", huge), 0);
    imageRgbaFree(huge);
    start();

    const Rgba* atlas = E->icons->data;
    EXPECT_EQ(0, std::memcmp(atlas, save->data, 400 * 4));
    EXPECT_EQ(0, std::memcmp(atlas + 112 * 400, knob->data, 400 * 4));
    EXPECT_EQ(0, std::memcmp(atlas + 100 * 400, texture1->data, 400 * 4));  // texture 1 is row 100
    // A 10 by 30 icon: its top-left 10 by 20 pixels, black beside them.
    for (int r = 0; r < 20; ++r) {
        for (int c = 0; c < 20; ++c) {
            Rgba expected = c < 10 ? small->data[r * 10 + c] : Rgba{0, 0, 0, 255};
            Rgba got = atlas[12 * 400 + r * 20 + c];
            ASSERT_EQ(std::memcmp(&got, &expected, 4), 0) << r << "," << c;
        }
    }
    // Rows without a file or with a missing one are opaque black.
    for (int k : {1, 50, 92, 101}) {
        for (int i = 0; i < 400; ++i) {
            Rgba p = atlas[k * 400 + i];
            ASSERT_TRUE(p.r == 0 && p.g == 0 && p.b == 0 && p.a == 255) << k;
        }
    }
    // One line for the missing files, the first few named, one for the misfit.
    EXPECT_EQ(std::count(startErrors.begin(), startErrors.end(), '\n'), 2) << startErrors;
    EXPECT_NE(startErrors.find("shown black: menu/backwards.tif, menu/close.tif, menu/paint.tif, "
                               "menu/selection.tif and 62 more\n"),
              std::string::npos)
        << startErrors;
    EXPECT_EQ(startErrors.find("menu/save.tif"), std::string::npos);
    EXPECT_NE(startErrors.find("menu/hue.tif (10 by 30)"), std::string::npos);
    for (ImageRGBA* img : {save, knob, texture1, small}) imageRgbaFree(img);
}

TEST_F(Shell, BackspaceRestoresAndEnterCommits) {
    start();
    Spy* spy = installSpy();
    spy->hasArea = true;
    spy->mode = 3;
    imageRgbaSet(E->image, 1, 1, 1, 1);
    press(13);
    EXPECT_EQ(E->backup->data[5].r, 1);
    EXPECT_EQ(E->scratch->data[5].r, 1);

    imageRgbaSet(E->hud, 7, 7, 7, 7);
    press(8);
    EXPECT_TRUE(sameImage(E->image, picture));
    EXPECT_TRUE(sameImage(E->backup, picture));
    EXPECT_TRUE(sameImage(E->scratch, picture));
    EXPECT_EQ(E->hud->data[0].r, 7);  // untouched
    EXPECT_EQ(E, spy);                // same tool, area and mode
    EXPECT_TRUE(E->hasArea);
    EXPECT_EQ(E->mode, 3);
}

TEST_F(Shell, SaveKeysWriteOutTif) {
    start();
    for (unsigned char key : {'&', '<', '>', '[', ']'}) {
        std::remove("out.tif");
        press(key);
        ImageRGBA* saved = imageRgbaReadTIFF("out.tif");
        ASSERT_NE(saved, nullptr) << key;
        EXPECT_TRUE(sameImage(saved, picture));
        imageRgbaFree(saved);
    }
}

TEST_F(Shell, FailedSaveSaysSoAndGoesOn) {
    start();
    mkdir("out.tif", 0755);  // rename cannot replace a folder
    testing::internal::CaptureStderr();
    EXPECT_EQ(saveImage(), 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("morvane: could not save \"out.tif\"", 0), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
}

TEST_F(Shell, ZoomKeysAndHelp) {
    start();
    press('+');
    EXPECT_EQ(fwkGetDisplayZoom(), 2);
    press('=');
    EXPECT_EQ(fwkGetDisplayZoom(), 4);
    press('-');
    press('-');
    press('-');
    EXPECT_EQ(fwkGetDisplayZoom(), 0.5);

    testing::internal::CaptureStdout();
    press('?');
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Keyboard Shortcuts:\n" + std::string(79, '-') +
                  "\n  s     Save image as `out.tif'.\n  +/-   Zoom in/out.\n"
                  "  q     Quit this application.\n  ?     This help.\n");
}

TEST_F(Shell, EscapeEndsWithStatusZeroAndKeepsTheLog) {
    start();
    morvane::log(3);
    morvane::log(-12);
    EXPECT_EQ(readFile("log.txt"), "LOG: 3\nLOG: -12\n");  // on disk at once
    EXPECT_EXIT(press(27), testing::ExitedWithCode(0), "");
}

TEST_F(Shell, ShortcutsSwitchEffectsAndOthersDoNot) {
    start();
    const std::string keys = "1234567890qwertzyuiop*()xcvbnm,.asdfghjkl";
    for (char key : keys) {
        unsigned long before = effectSwitchCount();
        press(static_cast<unsigned char>(key));
        EXPECT_EQ(effectSwitchCount(), before + 1) << key;
    }
    press('1');
    EXPECT_STREQ(fwkGetWindowTitle(), "Morvane Application | Brightness");
    press('0');
    EXPECT_STREQ(fwkGetWindowTitle(), "Morvane Application | Solarize");
    unsigned long before = effectSwitchCount();
    for (unsigned char key : std::vector<unsigned char>{'A', 'Q', 'S', 'Z', '!', '/', ';', 1, 0, 200})
        press(key);
    for (int arrow = 100; arrow <= 103; ++arrow) specialCB(arrow, 1, 1);  // codes of d, e, f, g
    EXPECT_EQ(effectSwitchCount(), before);
}

TEST_F(Shell, SwitchKeepsImagesAndArea) {
    start();
    E->hasArea = true;
    E->areaMin = point(3, 4);
    E->areaMax = point(20, 25);
    ImageRGBA* image = E->image;
    changeEffect(0);
    EXPECT_EQ(E->image, image);
    EXPECT_TRUE(E->hasArea);
    EXPECT_EQ(E->areaMin.x, 3);
    EXPECT_EQ(E->areaMax.y, 25);
    changeEffect(50);
    EXPECT_STREQ(fwkGetWindowTitle(), "Morvane Application");
}

// Indices, keys and menu cells are placed by hand: none may repeat, no cell
// may overlap another or leave the effects' rows of the menu, and no index
// may take a button's atlas row.
TEST(Catalogue, IndicesKeysAndMenuCellsAreUnique) {
    std::set<int> indices, keys;
    for (int i = 0; i < catalogueSize; ++i) {
        const catalogueEntry& e = catalogue[i];
        const std::string name = e.info->name;
        EXPECT_TRUE(indices.insert(e.index).second) << name;
        EXPECT_TRUE(keys.insert(e.key).second) << name;
        EXPECT_TRUE(e.index >= 3 && e.index < 50 && e.index != 7 && e.index != 8) << name;
        EXPECT_TRUE(e.menuY >= 30 && e.menuY + 20 <= 180) << name;
        for (int j = 0; j < i; ++j) {
            const catalogueEntry& o = catalogue[j];
            EXPECT_FALSE(std::abs(e.menuX - o.menuX) < 20 && std::abs(e.menuY - o.menuY) < 20)
                << name << " and " << o.info->name;
        }
    }
}

TEST_F(Shell, FunctionKeysNineToTwelveSwitchFirstThenReachTheNewEffect) {
    start();
    for (int key = 9; key <= 12; ++key) {
        Spy* old = installSpy();
        unsigned long before = effectSwitchCount();
        specialCB(key, 1, 1);
        EXPECT_EQ(effectSwitchCount(), before + 1);
        EXPECT_NE(E, old);
    }
    Spy* spy = installSpy();
    specialCB(1, 1, 1);
    EXPECT_EQ(spy->calls, (std::vector<std::string>{"special 1"}));
}

TEST_F(Shell, ThrottleLetsOneKeyOrMotionThroughPerFrame) {
    start();
    Spy* spy = installSpy();
    press(' ');
    motionCB(5, 5);
    press(' ');
    specialCB(101, 1, 1);
    EXPECT_EQ(spy->calls, (std::vector<std::string>{"key 32"}));
    EXPECT_TRUE(spy->menuOn);  // toggled once

    // A busy effect still lets the application act.
    imageRgbaSet(E->image, 9, 9, 9, 9);
    press(8);
    EXPECT_TRUE(sameImage(E->image, picture));

    // Buttons are never dropped; the middle button only moves the cursor.
    mouseCB(0, 0, 2.9f, 3.5f);
    mouseCB(0, 1, 2.9f, 3.5f);
    mouseCB(2, 0, 2.9f, 3.5f);
    mouseCB(1, 0, -4.7f, 8.2f);
    EXPECT_EQ(spy->cursor.x, -4);
    EXPECT_EQ(spy->cursor.y, 8);

    // The idle tick skipped once, then the next frame goes through.
    spy->calls.clear();
    int redisplays = fakePlatform.redisplays;
    fwkFrameCB();
    EXPECT_TRUE(spy->calls.empty());
    EXPECT_FALSE(spy->busy);
    EXPECT_TRUE(fwkDisplayChanged());
    EXPECT_GT(fakePlatform.redisplays, redisplays);
    motionCB(6, 7);
    idleCB();
    EXPECT_EQ(spy->calls, (std::vector<std::string>{"move 6,7"}));
    idleCB();
    EXPECT_EQ(spy->calls.back(), "idle");
}

TEST_F(Shell, ButtonsReachTheEffectEvenWhenBusy) {
    start();
    Spy* spy = installSpy();
    press('A');  // any key makes the effect busy
    mouseCB(0, 0, 1, 1);
    mouseCB(0, 1, 1, 1);
    mouseCB(2, 0, 1, 1);
    mouseCB(2, 1, 1, 1);
    EXPECT_EQ(spy->calls, (std::vector<std::string>{"key 65", "LB down", "LB up", "RB down", "RB up"}));
}

}  // namespace
