#include "effects/tools.h"
#include "image/tiff.h"
#include "tests/unit/test_support.h"

#include <climits>
#include <vector>

namespace {

const Rgba kGround = {10, 20, 30, 255};
const Rgba kRed = {200, 0, 0, 255};

struct Box {
    int x0, y0, x1, y1;
    bool empty() const { return x0 > x1; }
};

// Bounding box of the pixels that differ between two images.
Box changedBox(const ImageRGBA* a, const ImageRGBA* b) {
    Box box{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    for (int y = 0; y < a->height; ++y) {
        for (int x = 0; x < a->width; ++x) {
            if (!samePixel(a->data[y * a->width + x], b->data[y * b->width + x])) {
                box = Box{std::min(box.x0, x), std::min(box.y0, y), std::max(box.x1, x),
                          std::max(box.y1, y)};
            }
        }
    }
    return box;
}

int changedCount(const ImageRGBA* a, const ImageRGBA* b) {
    int n = 0;
    for (int i = 0; i < a->width * a->height; ++i) n += !samePixel(a->data[i], b->data[i]);
    return n;
}

class DrawTool : public ::testing::Test {
protected:
    // Wide enough for the menu's palette.
    DrawTool() : images(flatImage(200, 60, kGround)), d(images.make<draw>()) { d->idle(); }

    void at(int x, int y) { d->setXY(static_cast<float>(x), static_cast<float>(y)); }
    void press(int x, int y) {
        at(x, y);
        d->LB(true);
    }
    void moveTo(int x, int y) {
        at(x, y);
        d->move();
        d->idle();
    }
    void release() {
        d->LB(false);
        d->idle();
    }
    // The picture with the border of the rectangle x0..x1, y0..y1 inverted.
    ImageRGBA* withInvertedBorder(int x0, int y0, int x1, int y1) {
        ImageRGBA* expected = imageRgbaClone(images.picture);
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                if (x == x0 || x == x1 || y == y0 || y == y1)
                    pixel(expected, x, y) = inverted(kGround);
            }
        }
        return expected;
    }

    EffectImages images;
    std::unique_ptr<draw> d;
};

TEST_F(DrawTool, StartsInEllipseModeWithWhite) {
    EXPECT_STREQ(fwkGetWindowTitle(), "Morvane Application | Draw | Mode 5: Ellipse");
    EXPECT_TRUE(samePixel(d->color, Rgba{255, 255, 255, 255}));
    EXPECT_FALSE(d->shapeDirty);  // cleared by the first tick
    EXPECT_TRUE(sameImage(d->image, images.picture));
    d->specialKey(1);
    EXPECT_STREQ(fwkGetWindowTitle(), "Morvane Application | Draw | Mode 1: Pipette");
    d->changeMode(7);  // no such mode: the title stays
    EXPECT_STREQ(fwkGetWindowTitle(), "Morvane Application | Draw | Mode 1: Pipette");
}

TEST_F(DrawTool, LineClickWithoutMotionIsOnePixel) {
    d->changeMode(3);
    d->color = kRed;
    press(7, 5);
    d->idle();
    release();
    EXPECT_EQ(changedCount(d->image, images.picture), 1);
    EXPECT_TRUE(samePixel(pixel(d->image, 7, 5), kRed));
    EXPECT_TRUE(sameImage(d->backup, d->image));  // committed
}

TEST_F(DrawTool, RectanglePreviewInvertsTheBorderAndReleaseDrawsIt) {
    d->changeMode(4);
    d->color = kRed;
    press(10, 10);
    moveTo(20, 15);
    // Corners: two sides and the extra inversion, three in all.
    ImageRGBA* expected = withInvertedBorder(10, 10, 20, 15);
    EXPECT_TRUE(sameImage(d->image, expected));
    imageRgbaFree(expected);
    moveTo(25, 18);  // the old outline goes, the new one comes
    expected = withInvertedBorder(10, 10, 25, 18);
    EXPECT_TRUE(sameImage(d->image, expected));
    imageRgbaFree(expected);
    moveTo(20, 15);
    release();
    for (point p : {point(10, 10), point(20, 10), point(10, 15), point(20, 15), point(15, 10),
                    point(20, 12)}) {
        EXPECT_TRUE(samePixel(pixel(d->image, p.x, p.y), kRed)) << p.x << "," << p.y;
    }
    EXPECT_EQ(changedCount(d->image, images.picture), 2 * 11 + 2 * 4);
}

TEST_F(DrawTool, EllipseAndCircleSpansInBothDragDirections) {
    struct Case {
        int mode;
        point from, to;
        Box expected;
    };
    // (0,0)-(21,11): a = 10, b = 5, centre (10, 5); reversed: a = -10, b = -5,
    // centre (11, 6). Circle (50,40)-(53,44): radius 5 around the press point.
    const Case cases[] = {{5, point(0, 0), point(21, 11), Box{0, 0, 20, 10}},
                          {5, point(21, 11), point(0, 0), Box{1, 1, 21, 11}},
                          {5, point(30, 10), point(41, 31), Box{30, 10, 40, 30}},
                          {6, point(50, 40), point(53, 44), Box{45, 35, 55, 45}},
                          {6, point(53, 44), point(50, 40), Box{48, 39, 58, 49}}};
    for (const Case& c : cases) {
        imageRgbaCopy(images.picture, d->image);
        d->changeMode(static_cast<char>(c.mode));
        press(c.from.x, c.from.y);
        moveTo(c.to.x, c.to.y);
        release();
        const Box got = changedBox(d->image, images.picture);
        EXPECT_EQ(got.x0, c.expected.x0) << c.from.x << "," << c.from.y;
        EXPECT_EQ(got.y0, c.expected.y0);
        EXPECT_EQ(got.x1, c.expected.x1);
        EXPECT_EQ(got.y1, c.expected.y1);
    }
}

TEST_F(DrawTool, PreviewsIgnoreTheAreaButFinishedShapesStayInIt) {
    d.reset();
    d = images.make<draw>(true, point(20, 20), point(40, 35));
    d->idle();
    for (int mode = 2; mode <= 6; ++mode) {
        imageRgbaCopy(images.picture, d->image);
        d->changeMode(static_cast<char>(mode));
        press(25, 25);
        moveTo(55, 45);
        if (mode > 2) {
            const Box preview = changedBox(d->image, images.picture);
            EXPECT_TRUE(preview.x0 < 20 || preview.y0 < 20 || preview.x1 > 40 || preview.y1 > 35)
                << mode;
        }
        // Each final shape crosses the area's border (the circle: radius 11).
        if (mode == 6) {
            moveTo(35, 30);
        } else {
            moveTo(59, 49);
        }
        release();
        const Box got = changedBox(d->image, images.picture);
        ASSERT_FALSE(got.empty()) << mode;
        EXPECT_GE(got.x0, 20) << mode;
        EXPECT_GE(got.y0, 20) << mode;
        EXPECT_LE(got.x1, 40) << mode;
        EXPECT_LE(got.y1, 35) << mode;
    }
}

TEST_F(DrawTool, PointerFarOutsideThePictureStaysSafe) {
    for (int mode = 2; mode <= 6; ++mode) {
        d->changeMode(static_cast<char>(mode));
        press(30, 25);
        if (mode <= 4) {
            moveTo(INT_MIN, INT_MAX);  // lines are clipped before they are walked
        } else {
            moveTo(-3000, 4000);  // curves are walked point by point
        }
        moveTo(-70, 130);
        release();
    }
    d->changeMode(3);
    press(-1000, -1000);
    moveTo(-10, -5000);  // wholly outside: nothing drawn
    release();
    EXPECT_TRUE(sameImage(d->backup, d->image));
}

TEST_F(DrawTool, FreehandJoinsSuccessivePositions) {
    d->changeMode(2);
    d->color = kRed;
    press(5, 5);
    d->idle();
    moveTo(25, 5);  // one tick after a fast move
    moveTo(25, 15);
    release();
    for (int x = 5; x <= 25; ++x) EXPECT_TRUE(samePixel(pixel(d->image, x, 5), kRed)) << x;
    for (int y = 5; y <= 15; ++y) EXPECT_TRUE(samePixel(pixel(d->image, 25, y), kRed)) << y;
    EXPECT_EQ(changedCount(d->image, images.picture), 21 + 10);
}

TEST_F(DrawTool, RightButtonCancelsADragOrDropsEverythingSinceToolStart) {
    d->changeMode(3);
    d->color = kRed;
    press(5, 5);
    moveTo(30, 20);
    release();  // one line kept
    ImageRGBA* withLine = imageRgbaClone(d->image);

    press(40, 5);
    moveTo(10, 40);
    d->RB(true);
    EXPECT_FALSE(d->leftDown);
    d->idle();
    d->RB(false);
    release();  // a release after the cancel draws nothing
    EXPECT_TRUE(sameImage(d->image, withLine));
    imageRgbaFree(withLine);

    d->RB(true);  // nothing dragged: back to the picture of tool start
    EXPECT_TRUE(sameImage(d->image, images.picture));
    d->RB(false);

    // A finish still waiting for its tick does not come back after the right button.
    press(5, 5);
    moveTo(30, 20);
    d->LB(false);
    d->RB(true);
    d->idle();
    EXPECT_TRUE(sameImage(d->image, images.picture));
}

TEST_F(DrawTool, PipetteTakesAlphaToo) {
    pixel(d->image, 3, 4) = Rgba{1, 2, 3, 0};
    d->changeMode(1);
    press(3, 4);
    d->idle();
    EXPECT_TRUE(samePixel(d->color, Rgba{1, 2, 3, 0}));
    moveTo(-5, 4);  // outside the picture: the colour stays
    release();
    EXPECT_TRUE(samePixel(d->color, Rgba{1, 2, 3, 0}));
    d->changeMode(3);
    press(8, 8);
    release();
    EXPECT_TRUE(samePixel(pixel(d->image, 8, 8), Rgba{1, 2, 3, 0}));
}

TEST_F(DrawTool, ModeChangeMidDragRemovesThePreviewAndRestartsAtThePointer) {
    d->changeMode(4);
    d->color = kRed;
    press(10, 10);
    moveTo(20, 15);
    at(22, 16);
    d->specialKey(3);
    EXPECT_STREQ(fwkGetWindowTitle(), "Morvane Application | Draw | Mode 3: Line");
    EXPECT_TRUE(sameImage(d->image, images.picture));
    EXPECT_TRUE(d->leftDown);
    moveTo(30, 16);
    release();
    EXPECT_EQ(changedCount(d->image, images.picture), 9);
    for (int x = 22; x <= 30; ++x) EXPECT_TRUE(samePixel(pixel(d->image, x, 16), kRed)) << x;
}

TEST_F(DrawTool, PressInThePaletteWithTheMenuShownNeverStartsAShape) {
    d->changeMode(3);
    d->key(' ');
    ASSERT_TRUE(d->menuOn);
    for (point p : {point(100, 0), point(179, 49), point(120, 20)}) {
        press(p.x, p.y);
        EXPECT_FALSE(d->leftDown) << p.x << "," << p.y;
        release();
    }
    press(95, 5);  // beside the palette the press reaches the tool
    EXPECT_TRUE(d->leftDown);
    release();
    d->key(' ');
    press(120, 20);  // menu hidden: an ordinary press
    EXPECT_TRUE(d->leftDown);
    release();
}

TEST_F(DrawTool, PressRightAfterARelease) {
    // Release and the next press in one frame: the first shape is finished
    // before the picture is committed for the second.
    d->changeMode(3);
    d->color = kRed;
    press(5, 5);
    moveTo(15, 5);
    d->LB(false);
    press(5, 20);
    moveTo(15, 20);
    release();
    ImageRGBA* expected = imageRgbaClone(images.picture);
    for (int x = 5; x <= 15; ++x) pixel(expected, x, 5) = pixel(expected, x, 20) = kRed;
    EXPECT_TRUE(sameImage(d->image, expected));
    imageRgbaFree(expected);
}

TEST_F(DrawTool, LeavingTheToolMidDragLeavesNoPreview) {
    d->changeMode(4);
    press(10, 10);
    moveTo(20, 15);
    d.reset();
    EXPECT_TRUE(sameImage(images.image, images.picture));
}

class DrawInShell : public ShellOn {
protected:
    // The draw tool in `mode` on a flat picture, pressed at (5, 5) and
    // dragged to `to`, with a tick after each.
    void dragIn(int mode, point to) {
        startOn(flatImage(40, 30, kGround));
        specialCB(9, 1, 1);
        specialCB(mode, 1, 1);
        mouseCB(0, 0, 5, 5);
        idleCB();
        motionCB(static_cast<float>(to.x), static_cast<float>(to.y));
        idleCB();
    }
};

TEST_F(DrawInShell, F9DrawsWithTheMouseAndACommitRefreshesTheUndoPoint) {
    startOn(flatImage(40, 30, kGround));
    specialCB(9, 1, 1);
    EXPECT_STREQ(fwkGetWindowTitle(), "Morvane Application | Draw | Mode 5: Ellipse");
    specialCB(4, 1, 1);
    leftDrag({point(5, 5), point(8, 7), point(10, 9)});
    EXPECT_TRUE(samePixel(pixel(E->image, 5, 5), Rgba{255, 255, 255, 255}));
    EXPECT_TRUE(samePixel(pixel(E->image, 10, 9), Rgba{255, 255, 255, 255}));
    EXPECT_TRUE(samePixel(pixel(E->image, 7, 7), kGround));
    keyboardCB(13, 1, 1);  // commit
    leftDrag({point(20, 20), point(25, 25)});
    mouseCB(2, 0, 1, 1);  // drops only what came after the commit
    mouseCB(2, 1, 1, 1);
    idleCB();
    EXPECT_TRUE(samePixel(pixel(E->image, 5, 5), Rgba{255, 255, 255, 255}));
    EXPECT_TRUE(samePixel(pixel(E->image, 25, 25), kGround));
}

TEST_F(DrawInShell, EnterMidDragCommitsThePictureWithoutThePreview) {
    dragIn(4, point(12, 9));  // rectangle
    keyboardCB(13, 12, 9);
    EXPECT_TRUE(sameImage(E->backup, picture));
    motionCB(20, 15);
    idleCB();
    // The preview goes on from the press point: corners inverted, inside untouched.
    EXPECT_TRUE(samePixel(pixel(E->image, 20, 15), inverted(kGround)));
    EXPECT_TRUE(samePixel(pixel(E->image, 5, 5), inverted(kGround)));
    EXPECT_TRUE(samePixel(pixel(E->image, 12, 9), kGround));
    mouseCB(0, 1, 20, 15);
    idleCB();
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x) {
            const bool edge = ((x == 5 || x == 20) && y >= 5 && y <= 15) ||
                              ((y == 5 || y == 15) && x >= 5 && x <= 20);
            ASSERT_TRUE(samePixel(pixel(E->image, x, y), edge ? Rgba{255, 255, 255, 255} : kGround))
                << x << "," << y;
        }
    }
}

TEST_F(DrawInShell, SavingMidDragWritesThePictureWithoutThePreview) {
    dragIn(4, point(12, 9));  // rectangle
    keyboardCB('<', 12, 9);
    ImageRGBA* saved = imageRgbaReadTIFF("out.tif");
    ASSERT_NE(saved, nullptr);
    EXPECT_TRUE(sameImage(saved, picture));
    imageRgbaFree(saved);
    motionCB(20, 15);
    idleCB();
    mouseCB(0, 1, 20, 15);
    idleCB();
    EXPECT_EQ(changedCount(E->image, picture), 2 * 16 + 2 * 9);  // the rectangle alone
}

// Backspace mid-drag: the preview goes on over the loaded picture, with no
// trace of the one drawn before.
TEST_F(DrawInShell, BackspaceMidDragLeavesNoTraceOfThePreview) {
    dragIn(4, point(30, 25));
    keyboardCB(8, 30, 25);
    motionCB(12, 9);
    idleCB();
    ImageRGBA* expected = imageRgbaClone(picture);
    for (int y = 5; y <= 9; ++y) {
        for (int x = 5; x <= 12; ++x) {
            if (x == 5 || x == 12 || y == 5 || y == 9) pixel(expected, x, y) = inverted(kGround);
        }
    }
    EXPECT_TRUE(sameImage(E->image, expected));
    imageRgbaFree(expected);
    mouseCB(0, 1, 12, 9);
    idleCB();
}

// A release and Enter in one frame: the shape is finished before the commit,
// so the preview never reaches the committed picture or the undo point.
TEST_F(DrawInShell, EnterRightAfterAReleaseCommitsTheFinishedShape) {
    dragIn(3, point(15, 5));  // line
    mouseCB(0, 1, 15, 5);
    keyboardCB(13, 15, 5);
    idleCB();
    ImageRGBA* expected = imageRgbaClone(picture);
    for (int x = 5; x <= 15; ++x) pixel(expected, x, 5) = Rgba{255, 255, 255, 255};
    EXPECT_TRUE(sameImage(E->image, expected));
    EXPECT_TRUE(sameImage(E->backup, expected));
    EXPECT_TRUE(sameImage(E->scratch, expected));
    imageRgbaFree(expected);
}

// Stands for a menu whose effect icon is under the pointer.
class SwitchingDraw : public draw {
public:
    using draw::draw;
    bool useMenu(bool) override {
        changeEffect(4);
        return true;
    }
};

TEST_F(DrawInShell, MenuClickThatReplacesTheToolEndsThePress) {
    startOn(flatImage(40, 30, kGround));
    effect* old = E;
    E = new SwitchingDraw(old->image, old->backup, old->scratch, old->hud, old->icons, false,
                          point(), point());
    delete old;
    keyboardCB(' ', 1, 1);
    mouseCB(0, 0, 5, 35);  // the object is gone inside this call
    EXPECT_STREQ(fwkGetWindowTitle(), "Morvane Application | Selection");
    EXPECT_FALSE(E->leftDown);
    mouseCB(0, 1, 5, 35);
    idleCB();
}

}  // namespace
