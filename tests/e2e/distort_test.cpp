// The distortions' keys on the real program: each shows its title, and the
// saved picture is what the effect gives in this process for the same input.
#include "effects/distort.h"
#include "effects/geometric.h"
#include "tests/e2e/harness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

using namespace e2e;

namespace {

// The icon atlas with the glass textures in their rows; the rest stays black.
Picture textureAtlas() {
    Picture atlas = makePicture(400, 113, [](int, int) { return Rgba{0, 0, 0, 255}; });
    for (int m = 1; m <= 8; ++m) {
        Picture texture = readPicture(std::string(MORVANE_SOURCE_DIR) + "/menu/glass_texture" +
                                      std::to_string(m) + ".tif");
        if (!texture) throw std::runtime_error("no glass texture " + std::to_string(m));
        std::copy_n(texture->data, 400, atlas->data + (101 - m) * 400);
    }
    return atlas;
}

template <class T>
effect* make(ImageRGBA* images[5]) {
    return new T(images[0], images[1], images[2], images[3], images[4], false, point(), point());
}

}  // namespace

TEST(DistortOnScreen, EachKeyShowsItsTitleAndSavesWhatTheEffectGives) {
    const int w = 300, h = 200;
    Picture pic = patternPicture(w, h);
    App app(pic.get());

    // Here the same five pictures go from effect to effect as in the program;
    // the random sequence starts where the program's starts.
    Picture image(imageRgbaClone(pic.get())), backup(imageRgbaClone(pic.get())),
        scratch(imageRgbaClone(pic.get())), hud(imageRgbaClone(pic.get()));
    Picture icons = textureAtlas();
    ImageRGBA* images[5] = {image.get(), backup.get(), scratch.get(), hud.get(), icons.get()};
    std::srand(1);

    struct Step {
        const char* key;
        const char* title;
        effect* (*make)(ImageRGBA**);
    };
    const Step steps[] = {
        {"y", "Glass | Mode 1: Rough Glass", make<glass>},
        {"u", "Mosaic", make<mosaic>},
        {"i", "Box", make<box>},
        {"o", "Comb", make<comb>},
        {"p", "Dots | Mode 1: Interpolated", make<dots>},
        {"asterisk", "Lines | Mode 1: Horizontal", make<::lines>},
        {"parenleft", "RGB-Dots | Mode 1: Additive", make<rgbdots>},
        {"parenright", "Noise | Mode 1: Random", make<noise>},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.key);
        app.key(step.key);
        ASSERT_TRUE(app.waitTitle(std::string("Morvane Application | ") + step.title)) << app.title();
        std::unique_ptr<effect> e(step.make(images));
        Picture saved = app.saveOut([&] { app.key("ampersand"); });
        ASSERT_TRUE(saved);
        EXPECT_EQ(comparePictures(image.get(), saved.get()), "");
    }
}
