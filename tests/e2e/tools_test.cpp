// The tools with the mouse: selection, draw, scroll and telescope.
#include "tests/e2e/harness.h"

#include <gtest/gtest.h>

#include <vector>

using namespace e2e;

namespace {

// A 300 by 200 picture sits at (106, 156); at zoom 1 picture pixel (x, y) is
// window pixel (106 + x, 156 + y).
const int kW = 300, kH = 200, kX = 106, kY = 156;

Rgb shown(const Screenshot& shot, int x, int y) { return shot.at(kX + x, kY + y); }

const Rgb kBlack{0, 0, 0}, kWhite{255, 255, 255};

bool onOutline(int x, int y, int x0, int y0, int x1, int y1) {
    return ((x == x0 || x == x1) && y >= y0 && y <= y1) ||
           ((y == y0 || y == y1) && x >= x0 && x <= x1);
}

// Empty when the picture's rectangle (x0, y0)-(x1, y1) is outlined with
// marching ants: every pixel black or white, and along each side dashes of
// four (a pixel differs from the one four further on; the corners belong to
// two sides and are left out of that). The pixels just outside and just
// inside show the picture.
std::string antsAround(const Screenshot& shot, const ImageRGBA* pic, int x0, int y0, int x1,
                       int y1) {
    auto at = [](int x, int y) { return "(" + std::to_string(x) + ", " + std::to_string(y) + ")"; };
    auto side = [&](int fromX, int fromY, int dx, int dy, int count) -> std::string {
        for (int i = 0; i < count; ++i) {
            const int x = fromX + i * dx, y = fromY + i * dy;
            const Rgb c = shown(shot, x, y);
            if (c != kBlack && c != kWhite) return "ant at " + at(x, y) + " is " + describe(c);
            if (i >= 1 && i + 4 < count - 1 && c == shown(shot, x + 4 * dx, y + 4 * dy)) {
                return "no dash of four at " + at(x, y);
            }
        }
        return "";
    };
    for (const std::string& d :
         {side(x0, y0, 1, 0, x1 - x0 + 1), side(x0, y1, 1, 0, x1 - x0 + 1),
          side(x0, y0, 0, 1, y1 - y0 + 1), side(x1, y0, 0, 1, y1 - y0 + 1)}) {
        if (!d.empty()) return d;
    }
    for (int y = y0 - 1; y <= y1 + 1; ++y) {
        for (int x = x0 - 1; x <= x1 + 1; ++x) {
            if (!onOutline(x, y, x0 - 1, y0 - 1, x1 + 1, y1 + 1) &&
                !onOutline(x, y, x0 + 1, y0 + 1, x1 - 1, y1 - 1)) {
                continue;
            }
            const Rgb want = rgb(pic->data[y * pic->width + x]);
            if (shown(shot, x, y) != want) {
                return at(x, y) + " is " + describe(shown(shot, x, y)) + ", expected the picture's " +
                       describe(want);
            }
        }
    }
    return "";
}

std::vector<Rgb> topSide(const Screenshot& shot, int x0, int x1, int y) {
    std::vector<Rgb> run;
    for (int x = x0; x <= x1; ++x) run.push_back(shown(shot, x, y));
    return run;
}

}  // namespace

TEST(ToolsOnScreen, SelectionShowsMovingAntsAndLimitsTheNextEffect) {
    Picture pic = patternPicture(kW, kH);
    App app(pic.get());
    app.key("F10");
    ASSERT_TRUE(app.waitTitle("Morvane Application | Selection")) << app.title();

    // Dragged from bottom right to top left: the area is (40, 30)-(240, 150).
    app.drag(kX + 240, kY + 150, kX + 40, kY + 30);
    Screenshot first = app.waitScreen(
        [&](const Screenshot& s) { return antsAround(s, pic.get(), 40, 30, 240, 150).empty(); });
    ASSERT_EQ(antsAround(first, pic.get(), 40, 30, 240, 150), "");
    // The ants crawl from frame to frame.
    const std::vector<Rgb> before = topSide(first, 40, 240, 30);
    Screenshot later = app.waitScreen([&](const Screenshot& s) {
        return antsAround(s, pic.get(), 40, 30, 240, 150).empty() &&
               topSide(s, 40, 240, 30) != before;
    });
    ASSERT_NE(topSide(later, 40, 240, 30), before);
    EXPECT_EQ(antsAround(later, pic.get(), 40, 30, 240, 150), "");

    // Invert works on the area only; the outline stays and is not saved.
    app.key("8");
    ASSERT_TRUE(app.waitTitle("Morvane Application | Invert")) << app.title();
    Picture saved = app.saveOut([&] { app.key("ampersand"); });
    ASSERT_TRUE(saved);
    Picture inverted = makePicture(kW, kH, [&](int x, int y) {
        Rgba p = patternPixel(x, y);
        if (x < 40 || x > 240 || y < 30 || y > 150) return p;
        return Rgba{static_cast<unsigned char>(255 - p.r), static_cast<unsigned char>(255 - p.g),
                    static_cast<unsigned char>(255 - p.b), 255};
    });
    EXPECT_EQ(comparePictures(inverted.get(), saved.get()), "");
    Screenshot shot = app.waitScreen([&](const Screenshot& s) {
        return antsAround(s, inverted.get(), 40, 30, 240, 150).empty();
    });
    ASSERT_EQ(antsAround(shot, inverted.get(), 40, 30, 240, 150), "");

    // The right button in the selection tool takes the area away.
    app.key("F10");
    ASSERT_TRUE(app.waitTitle("Morvane Application | Selection")) << app.title();
    app.click(kX + 100, kY + 100, 3);
    EXPECT_EQ(waitView(app, inverted.get(), kX, kY, 1), "");
}

TEST(ToolsOnScreen, RectanglesAreDrawnThroughTheDraggedCorners) {
    Picture pic = patternPicture(kW, kH);
    App app(pic.get());
    app.key("F9");
    app.key("F4");
    ASSERT_TRUE(app.waitTitle("Morvane Application | Draw | Mode 4: Rectangle")) << app.title();

    app.drag(kX + 40, kY + 30, kX + 200, kY + 150);
    app.drag(kX + 260, kY + 180, kX + 220, kY + 20);  // the other way round
    Picture saved = app.saveOut([&] { app.key("ampersand"); });
    ASSERT_TRUE(saved);

    // White outlines (the draw tool's starting colour); the previews left no trace.
    Picture expected = makePicture(kW, kH, [&](int x, int y) {
        if (onOutline(x, y, 40, 30, 200, 150) || onOutline(x, y, 220, 20, 260, 180)) {
            return Rgba{255, 255, 255, 255};
        }
        return patternPixel(x, y);
    });
    EXPECT_EQ(comparePictures(expected.get(), saved.get()), "");
}

TEST(ToolsOnScreen, ScrollMovesThePictureByTheDragWithWrapAround) {
    Picture pic = patternPicture(kW, kH);
    App app(pic.get());
    app.key("F11");
    ASSERT_TRUE(app.waitTitle("Morvane Application | Scrolling")) << app.title();

    // The picture follows the pointer: 37 to the right and 23 up.
    const int dx = 37, dy = -23;
    app.drag(kX + 150, kY + 100, kX + 150 + dx, kY + 100 + dy);
    Picture moved = makePicture(
        kW, kH, [&](int x, int y) { return patternPixel((x - dx + kW) % kW, (y - dy + kH) % kH); });
    ASSERT_EQ(waitView(app, moved.get(), kX, kY, 1), "");
    Picture saved = app.saveOut([&] { app.key("ampersand"); });
    EXPECT_EQ(comparePictures(moved.get(), saved.get()), "");

    // The right button brings back the picture as it was when the tool was chosen.
    app.click(kX + 150, kY + 100, 3);
    EXPECT_EQ(waitView(app, pic.get(), kX, kY, 1), "");
}

TEST(ToolsOnScreen, TelescopeMagnifiesWhileHeldAndLeavesThePicture) {
    Picture pic = patternPicture(kW, kH);
    App app(pic.get());
    app.key("F12");
    ASSERT_TRUE(app.waitTitle("Morvane Application | Telescope | Mode 1: Zoom")) << app.title();

    // Radius 100, magnification 2: d pixels from the centre shows the picture
    // d / 2 from it (even d: whole pixels, no blending).
    const int cx = 150, cy = 100;
    auto lensDiff = [&](const Screenshot& s) -> std::string {
        for (int d = -80; d <= 80; d += 2) {
            const Rgb across = shown(s, cx + d, cy), down = shown(s, cx, cy + d);
            const Rgb wantAcross = rgb(patternPixel(cx + d / 2, cy)),
                      wantDown = rgb(patternPixel(cx, cy + d / 2));
            if (across != wantAcross) {
                return "at centre + (" + std::to_string(d) + ", 0): " + describe(across) +
                       ", expected " + describe(wantAcross);
            }
            if (down != wantDown) {
                return "at centre + (0, " + std::to_string(d) + "): " + describe(down) +
                       ", expected " + describe(wantDown);
            }
        }
        return "";
    };
    app.press(kX + 110, kY + 100);
    app.move(kX + cx, kY + cy);
    Screenshot shot = app.waitScreen([&](const Screenshot& s) { return lensDiff(s).empty(); });
    ASSERT_EQ(lensDiff(shot), "");
    // Outside the new disc, even where the first one was, the plain picture.
    EXPECT_EQ(shown(shot, 30, 100), rgb(patternPixel(30, 100)));
    EXPECT_EQ(shown(shot, 10, 10), rgb(patternPixel(10, 10)));

    app.release(kX + cx, kY + cy);
    EXPECT_EQ(waitView(app, pic.get(), kX, kY, 1), "");
    Picture saved = app.saveOut([&] { app.key("ampersand"); });
    EXPECT_EQ(comparePictures(pic.get(), saved.get()), "");
}
