#include "effects/tools.h"
#include "tests/unit/test_support.h"

#include <climits>
#include <cstdlib>

namespace {

// True when every pixel of `got` is old((x + dx) mod w, (y + dy) mod h)
// inside the rectangle x0..x1, y0..y1 and unchanged outside it.
bool shiftedInside(const ImageRGBA* got, const ImageRGBA* old, int dx, int dy, int x0, int y0,
                   int x1, int y1) {
    const int w = x1 - x0 + 1, h = y1 - y0 + 1;
    for (int y = 0; y < old->height; ++y) {
        for (int x = 0; x < old->width; ++x) {
            int fx = x, fy = y;
            if (x >= x0 && x <= x1 && y >= y0 && y <= y1) {
                fx = x0 + ((x - x0 + dx) % w + w) % w;
                fy = y0 + ((y - y0 + dy) % h + h) % h;
            }
            if (!samePixel(got->data[y * got->width + x], old->data[fy * old->width + fx])) {
                ADD_FAILURE() << "pixel " << x << "," << y << " is not old " << fx << "," << fy;
                return false;
            }
        }
    }
    return true;
}

// Press at `from`, move to `to`, one scroll step; the button stays down.
void scrollStep(scroll& s, point from, point to) {
    s.setXY(static_cast<float>(from.x), static_cast<float>(from.y));
    s.LB(true);
    s.setXY(static_cast<float>(to.x), static_cast<float>(to.y));
    s.idle();
}

TEST(Scroll, WholePictureFollowsThePointerWithWrapAround) {
    EffectImages images(patternImage(100, 60));
    auto s = images.make<scroll>();
    EXPECT_STREQ(fwkGetWindowTitle(), "Morvane Application | Scrolling");
    ImageRGBA* second = s->backup;

    scrollStep(*s, point(10, 10), point(15, 10));  // 5 to the right
    EXPECT_EQ(s->image, second);                   // buffers exchanged
    EXPECT_EQ(fwkGetDisplayImage(), s->image);
    EXPECT_TRUE(shiftedInside(s->image, images.picture, -5, 0, 0, 0, 99, 59));
    EXPECT_TRUE(samePixel(pixel(s->image, 0, 7), pixel(images.picture, 95, 7)));

    // The next step moves only by the further motion: 3 down, 2 left.
    s->setXY(13, 13);
    s->idle();
    EXPECT_TRUE(shiftedInside(s->image, images.picture, -3, -3, 0, 0, 99, 59));

    // Released: further ticks change nothing.
    s->LB(false);
    ImageRGBA* before = imageRgbaClone(s->image);
    s->setXY(50, 50);
    s->idle();
    EXPECT_TRUE(sameImage(s->image, before));
    imageRgbaFree(before);
}

TEST(Scroll, WholeWidthsAndFarPointersShiftByTheRemainder) {
    EffectImages images(patternImage(100, 60));
    auto s = images.make<scroll>();
    scrollStep(*s, point(10, 10), point(110, 70));  // one width, one height
    EXPECT_TRUE(sameImage(s->image, images.picture));
    s->setXY(-290, 10);  // three widths back
    s->idle();
    EXPECT_TRUE(sameImage(s->image, images.picture));

    // A pointer at the int limit (extreme zoom-out): 10 - INT_MIN = 2147483658,
    // which leaves 58 modulo 100; done at once, not by repeated subtraction.
    s->setXY(10, 10);
    s->idle();
    s->setXY(-1e30f, 10);
    s->idle();
    EXPECT_EQ(s->cursor.x, INT_MIN);
    EXPECT_TRUE(shiftedInside(s->image, images.picture, 58, 0, 0, 0, 99, 59));
}

TEST(Scroll, AreaContentsWrapInsideTheAreaOnly) {
    EffectImages images(patternImage(40, 30));
    auto s = images.make<scroll>(true, point(10, 10), point(19, 19));
    scrollStep(*s, point(12, 12), point(15, 10));  // 3 right, 2 up
    EXPECT_TRUE(shiftedInside(s->image, images.picture, -3, 2, 10, 10, 19, 19));
    s->setXY(25, 20);  // a whole area width and height further
    s->idle();
    EXPECT_TRUE(shiftedInside(s->image, images.picture, -3, 2, 10, 10, 19, 19));

    // Corners beyond the picture count as clamped to it.
    EffectImages wide(patternImage(40, 30));
    auto t = wide.make<scroll>(true, point(-5, 25), point(90, 99));
    scrollStep(*t, point(0, 0), point(4, 1));
    EXPECT_TRUE(shiftedInside(t->image, wide.picture, -4, -1, 0, 25, 39, 29));
}

TEST(Scroll, SmallStepsRightOnWideRowsGiveTheSameShift) {
    // Page-aligned buffers, as large pictures get them: a step right puts each
    // destination run a few bytes past its source, the case copied through a
    // buffer.
    const int width = 2000, height = 3;
    ImageRGBA* start = patternImage(width, height);
    const size_t bytes = 4096 * 6;  // 2000 * 3 pixels fit
    void* blocks[5];
    ImageRGBA records[5];
    for (int i = 0; i < 5; ++i) {
        blocks[i] = std::aligned_alloc(4096, i == 4 ? 4096 * 45 : bytes);
        records[i] = ImageRGBA{i == 4 ? 400 : width, i == 4 ? 113 : height, 4,
                               static_cast<Rgba*>(blocks[i])};
    }
    imageRgbaCopy(start, &records[0]);
    fwkReset();
    {
        scroll s(&records[0], &records[1], &records[2], &records[3], &records[4], false, point(),
                 point());
        scrollStep(s, point(500, 1), point(503, 1));
        EXPECT_TRUE(shiftedInside(s.image, start, -3, 0, 0, 0, width - 1, height - 1));
        s.setXY(510, 2);
        s.idle();
        EXPECT_TRUE(shiftedInside(s.image, start, -10, -1, 0, 0, width - 1, height - 1));
        s.setXY(509, 2);  // and one step left
        s.idle();
        EXPECT_TRUE(shiftedInside(s.image, start, -9, -1, 0, 0, width - 1, height - 1));
    }
    for (void* block : blocks) std::free(block);
    imageRgbaFree(start);
}

TEST(Scroll, RightButtonBringsBackThePictureOfToolStart) {
    EffectImages images(patternImage(50, 40));
    auto s = images.make<scroll>();
    scrollStep(*s, point(10, 10), point(17, 3));
    s->setXY(30, 33);
    s->idle();
    s->LB(false);
    s->RB(true);
    EXPECT_TRUE(sameImage(s->image, images.picture));
    s->RB(false);
    EXPECT_TRUE(sameImage(s->image, images.picture));
}

TEST(Selection, DragGivesOrderedCornersInEveryDirection) {
    EffectImages images(patternImage(100, 80));
    auto s = images.make<selection>();
    EXPECT_STREQ(fwkGetWindowTitle(), "Morvane Application | Selection");
    EXPECT_TRUE(s->throttle);
    const point corners[][2] = {{point(50, 40), point(20, 60)},
                                {point(20, 60), point(50, 40)},
                                {point(20, 40), point(50, 60)},
                                {point(50, 60), point(20, 40)}};
    for (const auto& drag : corners) {
        s->setXY(drag[0].x, drag[0].y);
        s->LB(true);
        s->setXY(drag[1].x, drag[1].y);
        s->move();
        s->LB(false);
        EXPECT_TRUE(s->hasArea);
        EXPECT_EQ(s->areaMin.x, 20);
        EXPECT_EQ(s->areaMin.y, 40);
        EXPECT_EQ(s->areaMax.x, 50);
        EXPECT_EQ(s->areaMax.y, 60);
    }
    // Beyond the edges the corners stop at the picture.
    s->setXY(5, 5);
    s->LB(true);
    s->setXY(500, -30);
    s->move();
    EXPECT_EQ(s->areaMin.x, 5);
    EXPECT_EQ(s->areaMin.y, 0);
    EXPECT_EQ(s->areaMax.x, 99);
    EXPECT_EQ(s->areaMax.y, 5);
    s->setXY(-1e30f, 1e30f);
    s->move();
    EXPECT_EQ(s->areaMin.x, 0);
    EXPECT_EQ(s->areaMax.y, 79);
    s->LB(false);
    EXPECT_EQ(s->anchor.x, 5);
}

TEST(Selection, ClickKeepsTheAreaAndRightButtonClearsIt) {
    EffectImages images(patternImage(100, 80));
    auto s = images.make<selection>(true, point(3, 4), point(30, 40));
    s->setXY(70, 70);
    s->LB(true);
    s->LB(false);
    EXPECT_TRUE(s->hasArea);
    EXPECT_EQ(s->areaMin.x, 3);
    EXPECT_EQ(s->areaMax.y, 40);
    s->move();  // motion without the button
    EXPECT_EQ(s->areaMax.x, 30);

    s->RB(true);
    EXPECT_FALSE(s->hasArea);
    EXPECT_EQ(s->areaMin.x, 0);
    EXPECT_EQ(s->areaMin.y, 0);
    EXPECT_EQ(s->areaMax.x, 99);
    EXPECT_EQ(s->areaMax.y, 79);
}

class ToolsInShell : public ShellOn {};

TEST_F(ToolsInShell, SelectionMadeWithF10IsKeptByLaterToolsAndClearedByTheRightButton) {
    startOn(patternImage(60, 50));
    specialCB(10, 1, 1);
    leftDrag({point(40, 30), point(35, 20), point(10, 5)});
    EXPECT_TRUE(E->hasArea);
    EXPECT_EQ(E->areaMin.x, 10);
    EXPECT_EQ(E->areaMax.y, 30);
    EXPECT_EQ(fwkGetDisplayImage(), E->hud);  // outline shown

    specialCB(11, 1, 1);  // scroll inside the area
    EXPECT_STREQ(fwkGetWindowTitle(), "Morvane Application | Scrolling");
    leftDrag({point(20, 10), point(22, 10)});
    EXPECT_TRUE(shiftedInside(E->image, picture, -2, 0, 10, 5, 40, 30));

    specialCB(10, 1, 1);
    mouseCB(2, 0, 1, 1);
    mouseCB(2, 1, 1, 1);
    idleCB();  // skipped: the F10 key used this frame
    idleCB();
    EXPECT_FALSE(E->hasArea);
    EXPECT_EQ(fwkGetDisplayImage(), E->image);
    specialCB(11, 1, 1);
    EXPECT_EQ(E->areaMax.x, 59);
    leftDrag({point(20, 10), point(21, 10)});  // now the whole picture moves
    EXPECT_FALSE(samePixel(pixel(E->image, 0, 0), pixel(picture, 0, 0)));
    ImageRGBA* scrolled = imageRgbaClone(E->image);
    specialCB(9, 1, 1);  // draw takes the scrolled picture as its undo point
    EXPECT_TRUE(sameImage(E->image, scrolled));
    EXPECT_TRUE(sameImage(E->backup, scrolled));
    imageRgbaFree(scrolled);
}

}  // namespace
