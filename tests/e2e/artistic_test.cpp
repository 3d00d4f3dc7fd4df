// The artistic filters from their keys: title, and the filtered picture saved.
#include "tests/e2e/harness.h"

#include <gtest/gtest.h>

using namespace e2e;

TEST(ArtisticOnScreen, EveryKeyTitlesAndFiltersThePicture) {
    // Smooth ramps with a bright corner, so that every filter has light and
    // edges to work on.
    Picture pic = makePicture(120, 90, [](int x, int y) {
        return Rgba{static_cast<unsigned char>(2 * x), static_cast<unsigned char>(255 - 2 * y),
                    static_cast<unsigned char>((x * y) % 256), 255};
    });
    App app(pic.get());
    const struct {
        const char* key;
        const char* title;
    } filters[] = {
        {"a", "Chrome | Mode 2: Gaussian"},
        {"s", "Black and White | Mode 1: Brightness"},
        {"d", "Relief | Mode 1: Simple"},
        {"f", "Cutout"},
        {"g", "Brush"},
        {"h", "Spatter"},
        {"j", "Strokes"},
        {"k", "Starlight | Mode 1: Star"},
        {"l", "Shine | Mode 1: Normal"},
    };
    for (const auto& f : filters) {
        SCOPED_TRACE(f.key);
        app.key("BackSpace");  // each from the picture as loaded
        app.key(f.key);
        ASSERT_TRUE(app.waitTitle(std::string("Morvane Application | ") + f.title)) << app.title();
        Picture saved = app.saveOut([&] { app.key("ampersand"); });
        ASSERT_TRUE(saved);
        ASSERT_EQ(saved->width, 120);
        ASSERT_EQ(saved->height, 90);
        EXPECT_NE(comparePictures(pic.get(), saved.get()), "");
    }
    EXPECT_EQ(lines(readFile(app.path("log.txt"))).size(), 3u);  // cutout's three group sizes
    app.key("Escape");
    EXPECT_EQ(app.waitExit(), 0);
}
