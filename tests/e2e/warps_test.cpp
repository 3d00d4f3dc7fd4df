// A warp following the pointer while the left button is held.
#include <gtest/gtest.h>

#include "tests/e2e/harness.h"

using namespace e2e;

namespace {

// A 300 by 200 picture sits at (106, 156); at zoom 1 picture pixel (x, y) is
// window pixel (106 + x, 156 + y).
const int kW = 300, kH = 200, kX = 106, kY = 156;

// The lens mirrored about the vertical line through (cx, cy), radius 100:
// sources beyond the picture show black.
Picture flippedAt(int cx, int cy) {
    return makePicture(kW, kH, [=](int x, int y) {
        const int dx = x - cx, dy = y - cy, sx = 2 * cx - x;
        if (dx * dx + dy * dy > 100 * 100) return patternPixel(x, y);
        return sx >= 0 && sx < kW ? patternPixel(sx, y) : Rgba{0, 0, 0, 255};
    });
}

}  // namespace

TEST(WarpsOnScreen, LensFollowsTheHeldPointerAndKeepsTheLastRender) {
    Picture pic = patternPicture(kW, kH);
    App app(pic.get());
    app.key("r");
    app.key("F3");
    ASSERT_TRUE(app.waitTitle("Morvane Application | Lens | Mode 3: Flip vertical")) << app.title();

    app.press(kX + 60, kY + 50);
    app.move(kX + 100, kY + 80);
    Picture first = flippedAt(100, 80);
    ASSERT_EQ(waitView(app, first.get(), kX, kY, 1), "");

    app.move(kX + 250, kY + 120);  // the disc reaches past the right edge
    Picture second = flippedAt(250, 120);
    ASSERT_EQ(waitView(app, second.get(), kX, kY, 1), "");

    app.release(kX + 250, kY + 120);
    Picture saved = app.saveOut([&] { app.key("ampersand"); });
    ASSERT_TRUE(saved);
    EXPECT_EQ(comparePictures(second.get(), saved.get()), "");
}
