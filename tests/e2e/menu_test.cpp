// The on-image menu and the colour adjustments, driven through the window.
#include "tests/e2e/harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>

using namespace e2e;

namespace {

// A 300 by 240 picture sits at (106, 136): tall enough for the sliders
// (y 200 to 219), wide enough for the palette (x 100 to 209).
const int kW = 300, kH = 240, kX = 106, kY = 136;

// Right of the menu a flat block, whose adjusted colour is worked out by hand.
const Rgba kBlock = {100, 50, 200, 255};
bool inBlock(int x, int y) { return x >= 220 && x <= 279 && y >= 40; }

Picture menuPicture() {
    return makePicture(kW, kH,
                       [](int x, int y) { return inBlock(x, y) ? kBlock : patternPixel(x, y); });
}

Rgb shown(const Screenshot& shot, int x, int y) { return shot.at(kX + x, kY + y); }
Rgb blockShown(const Screenshot& shot) { return shown(shot, 250, 150); }

// Empty when the window shows the top-left w by h pixels of the icon file with
// their corner at picture pixel (x, y), and `under` where the icon is fully
// transparent.
std::string showsIcon(const App& app, const Screenshot& shot, const std::string& file, int x, int y,
                      const ImageRGBA* under, int w = 20, int h = 20) {
    Picture icon = readPicture(app.path("menu/" + file));
    if (!icon) return "cannot read " + file;
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            const Rgba p = icon->data[r * icon->width + c];
            const Rgb want = p.a == 0 ? rgb(under->data[(y + r) * under->width + x + c]) : rgb(p);
            const Rgb got = shown(shot, x + c, y + r);
            if (got != want) {
                return file + " at picture pixel (" + std::to_string(x + c) + ", " +
                       std::to_string(y + r) + "): " + describe(got) + ", expected " +
                       describe(want);
            }
        }
    }
    return "";
}

// The knob of slider 1, the top-left 7 by 14 pixels of its icon, with its
// corner at picture pixel (x, 203).
std::string showsKnob(const App& app, const Screenshot& shot, int x, const ImageRGBA* under) {
    return showsIcon(app, shot, "regler.tif", x, 203, under, 7, 14);
}

// The picture with `shift` added to every channel, clamped to 0 to 255.
Picture brightened(const ImageRGBA* pic, int shift) {
    return makePicture(pic->width, pic->height, [&](int x, int y) {
        Rgba p = pic->data[y * pic->width + x];
        for (unsigned char* c : {&p.r, &p.g, &p.b})
            *c = static_cast<unsigned char>(std::clamp(*c + shift, 0, 255));
        return p;
    });
}

// A few cells of every row of the menu, among them icons with large
// transparent parts (selection, telescope).
std::string showsMenu(const App& app, const Screenshot& shot, const ImageRGBA* under) {
    struct Cell {
        const char* file;
        int x, y;
    };
    const Cell cells[] = {
        {"save.tif", 0, 0},        {"backwards.tif", 20, 0},  {"zoomin.tif", 50, 0},
        {"close.tif", kW - 20, 0}, {"selection.tif", 20, 30}, {"telescope.tif", 60, 30},
        {"brightness.tif", 0, 60}, {"channel.tif", 100, 60},  {"solarize.tif", 190, 60},
        {"blur.tif", 0, 120},      {"shine.tif", 180, 140}};
    for (const Cell& c : cells) {
        const std::string diff = showsIcon(app, shot, c.file, c.x, c.y, under);
        if (!diff.empty()) return diff;
    }
    return "";
}

Rgba px(int r, int g, int b) {
    return Rgba{static_cast<unsigned char>(r), static_cast<unsigned char>(g),
                static_cast<unsigned char>(b), 255};
}

}  // namespace

TEST(MenuOnScreen, IconsSwitchEffectsTheSliderAppliesSaveAndCloseWork) {
    Picture pic = menuPicture();
    App app(pic.get());
    ASSERT_EQ(waitView(app, pic.get(), kX, kY, 1), "");

    // Space: the icons over the picture, which shows through their transparent pixels.
    app.key("space");
    Screenshot shot =
        app.waitScreen([&](const Screenshot& s) { return showsMenu(app, s, pic.get()).empty(); });
    ASSERT_EQ(showsMenu(app, shot, pic.get()), "");
    EXPECT_EQ(shown(shot, 10, 165), rgb(patternPixel(10, 165)));  // below the effect icons
    EXPECT_EQ(shown(shot, 20, 205), rgb(patternPixel(20, 205)));  // no slider on the plain effect
    EXPECT_EQ(blockShown(shot), rgb(kBlock));

    // The channel icon switches, closes the menu and applies red + 20 at once.
    app.click(kX + 105, kY + 62);
    ASSERT_TRUE(app.waitTitle("Morvane Application | Channel | Mode 1: Red")) << app.title();
    shot = app.waitScreen([](const Screenshot& s) { return blockShown(s) == Rgb{120, 50, 200}; });
    ASSERT_EQ(blockShown(shot), (Rgb{120, 50, 200}));
    const Rgba corner = patternPixel(5, 5);  // in the save icon's cell: the menu is gone
    EXPECT_EQ(shown(shot, 5, 5),
              (Rgb{static_cast<unsigned char>(corner.r + 20), corner.g, corner.b}));

    // Mode button 2, over the restored picture: green + 20.
    app.key("BackSpace");
    app.key("space");
    app.click(kX + 25, kY + 185);
    ASSERT_TRUE(app.waitTitle("Morvane Application | Channel | Mode 2: Green")) << app.title();
    shot = app.waitScreen([](const Screenshot& s) { return blockShown(s) == Rgb{100, 70, 200}; });
    ASSERT_EQ(blockShown(shot), (Rgb{100, 70, 200}));
    EXPECT_EQ(shown(shot, 5, 5),
              (Rgb{corner.r, static_cast<unsigned char>(corner.g + 20), corner.b}));

    // Brightness from its icon: + 20 over the restored picture.
    app.key("BackSpace");
    app.key("space");
    app.click(kX + 5, kY + 65);
    ASSERT_TRUE(app.waitTitle("Morvane Application | Brightness")) << app.title();
    shot = app.waitScreen([](const Screenshot& s) { return blockShown(s) == Rgb{120, 70, 220}; });
    ASSERT_EQ(blockShown(shot), (Rgb{120, 70, 220}));

    // Slider 1 spans -255 to 255 over the knob centres x 10 to 70; at 20 the
    // knob's corner is at 7 + trunc(275 / 510 * 60) = 7 + 32 = 39.
    Picture brighter = brightened(pic.get(), 20);
    app.key("space");
    shot = app.waitScreen(
        [&](const Screenshot& s) { return showsKnob(app, s, 39, brighter.get()).empty(); });
    ASSERT_EQ(showsKnob(app, shot, 39, brighter.get()), "");

    // Drag the knob: x 55 gives -255 + 45 / 60 * 510 = 127.5, so 127:
    // (100 + 127, 50 + 127, 200 + 127) = (227, 177, 255).
    app.press(kX + 42, kY + 210);
    app.move(kX + 55, kY + 210);
    shot = app.waitScreen([](const Screenshot& s) { return blockShown(s) == Rgb{227, 177, 255}; });
    ASSERT_EQ(blockShown(shot), (Rgb{227, 177, 255}));
    // x 25 gives -255 + 15 / 60 * 510 = -127.5, truncated toward zero to -127:
    // (100 - 127, 50 - 127, 200 - 127) = (0, 0, 73). The knob follows to
    // 7 + trunc(128 / 510 * 60) = 7 + 15 = 22.
    app.move(kX + 25, kY + 210);
    app.release(kX + 25, kY + 210);
    Picture darker = brightened(pic.get(), -127);
    shot = app.waitScreen([&](const Screenshot& s) {
        return blockShown(s) == Rgb{0, 0, 73} && showsKnob(app, s, 22, darker.get()).empty();
    });
    ASSERT_EQ(blockShown(shot), (Rgb{0, 0, 73}));
    EXPECT_EQ(showsKnob(app, shot, 22, darker.get()), "");

    // The save icon writes the adjusted picture and closes the menu.
    Picture saved = app.saveOut([&] { app.click(kX + 5, kY + 5); });
    ASSERT_TRUE(saved);
    EXPECT_EQ(comparePictures(darker.get(), saved.get()), "");
    EXPECT_EQ(waitView(app, darker.get(), kX, kY, 1), "");  // and the menu is gone

    // The close icon ends the program.
    app.key("space");
    app.waitScreen([&](const Screenshot& s) {
        return showsIcon(app, s, "close.tif", kW - 20, 0, darker.get()).empty();
    });
    app.click(kX + kW - 15, kY + 5);
    EXPECT_EQ(app.waitExit(), 0);
}

TEST(MenuOnScreen, DigitKeysGiveTheTenAdjustmentsWithTheirDefaults) {
    // Five stripes, 40 pixels wide each.
    const std::array<Rgba, 5> colours = {px(250, 10, 0), px(10, 10, 11), px(200, 149, 0),
                                         px(128, 128, 128), px(230, 0, 90)};
    Picture pic = makePicture(200, 60, [&](int x, int) { return colours[x / 40]; });
    App app(pic.get());

    // Where rounding alone decides (a result landing exactly on a whole
    // number), the stripe is not checked.
    const std::optional<Rgba> any;
    struct Case {
        const char* key;
        const char* title;
        std::array<std::optional<Rgba>, 5> want;
    };
    const Case cases[] = {
        // c + 20, at most 255.
        {"1",
         "Brightness",
         {px(255, 30, 20), px(30, 30, 31), px(220, 169, 20), px(148, 148, 148), px(250, 20, 110)}},
        // trunc((c - 127.5) * 255 / 236) + 128: 250 -> 132 + 128, 10 -> -126 + 128 = 2,
        // 0 -> -137 + 128 < 0, 11 -> -125 + 128 = 3, 200 -> 78 + 128, 149 -> 23 + 128,
        // 128 -> 0 + 128, 230 -> 110 + 128, 90 -> -40 + 128.
        {"2",
         "Contrast",
         {px(255, 2, 0), px(2, 2, 3), px(206, 151, 0), px(128, 128, 128), px(238, 0, 88)}},
        // Integer mean m, c + trunc(20 / 255 * (c - m)): m = 86: 164 -> 12, -76 -> -5,
        // -86 -> -6; m = 10: 1 -> 0; m = 116: 84 -> 6, 33 -> 2, -116 -> -9;
        // m = 106: 124 -> 9, -106 -> -8, -16 -> -1.
        {"3",
         "Saturation",
         {px(255, 5, 0), px(10, 10, 11), px(206, 151, 0), px(128, 128, 128), px(239, 0, 89)}},
        // Hues 2.4, 44.7 and -23.48 (plus 20, the last wrapped by 359 to 355.52):
        // sector 0 (v, v * f, 0) with f = 22.4 / 60: 250 * 0.3733 = 93.3;
        // sector 1 (v * (1 - f), v, 0) with f = 64.7 / 60 - 1: 200 * 0.9217 = 184.3;
        // sector 5 (v, 0, v * (1 - f)) with f = 355.52 / 60 - 5: 230 * 0.0746 = 17.2.
        // (10, 10, 11) comes back to 10 * 255 / 255 in the smallest channel: rounding decides.
        {"4", "Hue", {px(250, 93, 0), any, px(184, 200, 0), px(128, 128, 128), px(230, 0, 17)}},
        // Hue 20: sector 0 (v, v / 3, 0): 250 / 3 = 83.3, 200 / 3 = 66.7, 230 / 3 = 76.7;
        // grey stays.
        {"5", "Colorize", {px(250, 83, 0), any, px(200, 66, 0), px(128, 128, 128), px(230, 76, 0)}},
        // Red + 20, at most 255.
        {"6",
         "Channel | Mode 1: Red",
         {px(255, 10, 0), px(30, 10, 11), px(220, 149, 0), px(148, 128, 128), px(250, 0, 90)}},
        // 0.27 r + 0.58 g + 0.15 b: 67.5 + 5.8 = 73.3; 2.7 + 5.8 + 1.65 = 10.15;
        // 54 + 86.42 = 140.42; 62.1 + 13.5 = 75.6. A grey's weights add up to exactly its
        // level: rounding decides.
        {"7", "Gray", {px(73, 73, 73), px(10, 10, 10), px(140, 140, 140), any, px(75, 75, 75)}},
        // 255 - c.
        {"8",
         "Invert",
         {px(5, 245, 255), px(245, 245, 244), px(55, 106, 255), px(127, 127, 127),
          px(25, 255, 165)}},
        // step 31.875: c -> step * trunc((c + 15.9375) / step): 250 -> 8 steps = 255,
        // 10, 11 -> 0, 200 -> 6 = 191.25, 149 -> 5 = 159.375, 128 -> 4 = 127.5,
        // 230 -> 7 = 223.1, 90 -> 3 = 95.6.
        {"9",
         "Posterize",
         {px(255, 0, 0), px(0, 0, 0), px(191, 159, 0), px(127, 127, 127), px(223, 0, 95)}},
        // c >= 150 becomes 255 - c: 250 -> 5, 200 -> 55, 230 -> 25; 149 stays.
        {"0",
         "Solarize",
         {px(5, 10, 0), px(10, 10, 11), px(55, 149, 0), px(128, 128, 128), px(25, 0, 90)}},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        // Each adjustment starts from the picture as loaded.
        app.key("BackSpace");
        app.key(c.key);
        ASSERT_TRUE(app.waitTitle(std::string("Morvane Application | ") + c.title)) << app.title();
        Picture saved = app.saveOut([&] { app.key("ampersand"); });
        ASSERT_TRUE(saved);
        ASSERT_EQ(saved->width, 200);
        ASSERT_EQ(saved->height, 60);
        for (int stripe = 0; stripe < 5; ++stripe) {
            if (!c.want[stripe]) continue;
            int differ = 0;
            for (int y = 0; y < 60; ++y) {
                for (int x = 40 * stripe; x < 40 * stripe + 40; ++x) {
                    if (!same(saved->data[y * 200 + x], *c.want[stripe])) ++differ;
                }
            }
            EXPECT_EQ(differ, 0) << "stripe " << stripe << " of " << describe(colours[stripe])
                                 << " gives " << describe(saved->data[40 * stripe]) << ", expected "
                                 << describe(*c.want[stripe]);
        }
    }
}

TEST(MenuOnScreen, PaletteColourIsTheDrawingColour) {
    Picture pic = menuPicture();
    App app(pic.get());

    app.key("F9");
    ASSERT_TRUE(app.waitTitle("Morvane Application | Draw | Mode 5: Ellipse")) << app.title();
    // The draw tool's menu has the palette; its swatch starts white.
    app.key("space");
    Screenshot shot = app.waitScreen([](const Screenshot& s) {
        return shown(s, 200, 40) == Rgb{255, 255, 255};
    });
    ASSERT_EQ(shown(shot, 200, 40), (Rgb{255, 255, 255}));

    // A click in the hue field takes the colour shown there.
    const Rgb picked = shown(shot, 120, 30);
    ASSERT_NE(picked, (Rgb{255, 255, 255}));
    ASSERT_NE(picked, rgb(patternPixel(120, 30)));  // the palette covers the picture
    app.click(kX + 120, kY + 30);
    shot = app.waitScreen([&](const Screenshot& s) { return shown(s, 200, 40) == picked; });
    ASSERT_EQ(shown(shot, 200, 40), picked);

    // The press picked and drew nothing; a line drawn afterwards has the colour.
    app.key("space");
    app.key("F3");
    ASSERT_TRUE(app.waitTitle("Morvane Application | Draw | Mode 3: Line")) << app.title();
    app.drag(kX + 30, kY + 220, kX + 280, kY + 220);
    Picture saved = app.saveOut([&] { app.key("ampersand"); });
    ASSERT_TRUE(saved);
    Picture expected = makePicture(kW, kH, [&](int x, int y) {
        if (y == 220 && x >= 30 && x <= 280) return Rgba{picked.r, picked.g, picked.b, 255};
        return pic->data[y * kW + x];
    });
    EXPECT_EQ(comparePictures(expected.get(), saved.get()), "");
}
