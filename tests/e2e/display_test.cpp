// What the window shows: placement, zoom and panning, read back pixel by pixel.
#include "tests/e2e/harness.h"

#include <gtest/gtest.h>

using namespace e2e;

TEST(Display, ShowsThePicturePixelForPixelCentredOnTheBackground) {
    Picture pic = patternPicture(300, 200);
    App app(pic.get());
    // (512 - 300) / 2 = 106, (512 - 200) / 2 = 156.
    EXPECT_EQ(waitView(app, pic.get(), 106, 156, 1), "");
    const Screenshot shot = app.screenshot();
    EXPECT_EQ(shot.at(0, 0), kBackground);
    EXPECT_EQ(shot.at(105, 156), kBackground);
    EXPECT_EQ(shot.at(106, 156), rgb(patternPixel(0, 0)));
    EXPECT_EQ(shot.at(405, 355), rgb(patternPixel(299, 199)));
    EXPECT_EQ(shot.at(406, 355), kBackground);
    EXPECT_EQ(shot.at(405, 356), kBackground);
    EXPECT_EQ(shot.at(511, 511), kBackground);
}

TEST(Display, PlusAndMinusZoomAboutTheCentre) {
    Picture pic = patternPicture(240, 160);
    App app(pic.get());
    EXPECT_EQ(waitView(app, pic.get(), 136, 176, 1), "");

    // Zoom 2: 480 by 320, each picture pixel a 2 by 2 block.
    app.key("plus");
    EXPECT_EQ(waitView(app, pic.get(), 16, 96, 2), "");
    const Screenshot shot = app.screenshot();
    for (int dy = 0; dy < 2; ++dy) {
        for (int dx = 0; dx < 2; ++dx) {
            EXPECT_EQ(shot.at(16 + 2 * 7 + dx, 96 + 2 * 5 + dy), rgb(patternPixel(7, 5)));
        }
    }

    // Back to 1, then 0.5: 120 by 80 at (196, 216).
    app.key("minus");
    EXPECT_EQ(waitView(app, pic.get(), 136, 176, 1), "");
    app.key("minus");
    EXPECT_EQ(waitView(app, pic.get(), 196, 216, 0.5), "");

    // '=' zooms in like '+'.
    app.key("equal");
    EXPECT_EQ(waitView(app, pic.get(), 136, 176, 1), "");
}

TEST(Display, ApplicationKeysAreNeverDropped) {
    Picture pic = patternPicture(240, 160);
    App app(pic.get());
    // Two keys in one burst, likely within one frame: the effect may miss the
    // second, the application's zoom may not. 1/4: 60 by 40 at (226, 236).
    app.keyBurst({"minus", "minus"});
    EXPECT_EQ(waitView(app, pic.get(), 226, 236, 0.25), "");
}

TEST(Display, PointerPansAPictureWiderThanTheWindow) {
    Picture pic = patternPicture(800, 100);
    App app(pic.get());
    // Height fits: centred at (512 - 100) / 2 = 206. Width pans with the
    // pointer: x = h - 800 * h / 512 for the pointer at column h.
    EXPECT_EQ(waitView(app, pic.get(), 0, 206, 1), "");  // pointer at the left edge

    app.move(511, 300);  // 511 - 800 * 511 / 512: the picture's right edge shows
    EXPECT_EQ(waitView(app, pic.get(), -287.4375, 206, 1), "");
    EXPECT_EQ(app.screenshot().at(511, 206), rgb(patternPixel(798, 0)));

    app.move(256, 10);
    EXPECT_EQ(waitView(app, pic.get(), -144, 206, 1), "");

    app.move(0, 511);
    EXPECT_EQ(waitView(app, pic.get(), 0, 206, 1), "");

    // A held button pans as well, and so does a click.
    app.drag(0, 300, 511, 300);
    EXPECT_EQ(waitView(app, pic.get(), -287.4375, 206, 1), "");
    app.click(256, 300, 3);
    EXPECT_EQ(waitView(app, pic.get(), -144, 206, 1), "");
    EXPECT_TRUE(app.running());
}
