// The convolution filters through the window: each shortcut key, and the
// function keys through every mode, against the same filters run here on
// the same picture.
#include "effects/matrices.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"

using namespace e2e;

namespace {

// A 120 by 90 picture sits at (196, 211) in the window.
const int kW = 120, kH = 90, kX = 196, kY = 211;
// Where the pointer rests: the centre of the radial and spheric blurs.
const point kPointer(40, 30);

struct Filter {
    const char* key;
    const char* name;
    std::vector<const char*> modes;
    std::function<effect*(ImageRGBA**)> make;  // on image, backup, scratch, hud, icons
};

template <class T>
std::function<effect*(ImageRGBA**)> maker() {
    return [](ImageRGBA** im) {
        return new T(im[0], im[1], im[2], im[3], im[4], false, point(), point());
    };
}

// The filter built on a copy of `pic`, put into mode m with the pointer
// where the program has it; what it leaves in image.
Picture filtered(const Filter& f, const ImageRGBA* pic, int mode) {
    ImageRGBA* im[5] = {imageRgbaClone(pic), imageRgbaNew(kW, kH), imageRgbaNew(kW, kH),
                        imageRgbaNew(kW, kH), imageRgbaNew(400, 113)};
    std::unique_ptr<effect> e(f.make(im));
    e->setXY(static_cast<float>(kPointer.x), static_cast<float>(kPointer.y));
    if (mode > 1) e->changeMode(static_cast<char>(mode));
    Picture out(imageRgbaClone(e->image));
    im[0] = e->image;  // blur may have exchanged image and scratch
    im[2] = e->scratch;
    e.reset();
    for (ImageRGBA* img : im) imageRgbaFree(img);
    return out;
}

std::string titleOf(const Filter& f, int mode) {
    std::string title = std::string("Morvane Application | ") + f.name;
    if (!f.modes.empty()) title += " | Mode " + std::to_string(mode) + ": " + f.modes[mode - 1];
    return title;
}

}  // namespace

TEST(MatrixFiltersOnScreen, EachKeyAndEveryModeShowAndSaveTheFilteredPicture) {
    const Filter filters[] = {
        {"x",
         "Blur",
         {"Simple Blur", "Gaussian Blur", "Motion Blur Horizontal", "Motion Blur Vertical",
          "Motion Blur", "Radial Blur", "Spheric Blur"},
         maker<blur>()},
        {"c",
         "Sharpen",
         {"Simple Sharpen", "Gaussian Sharpen", "Predefined Sharpen"},
         maker<sharpen>()},
        {"v",
         "Edge",
         {"Laplace", "Strong Laplace", "Sobel Combined", "Sobel Horizontal", "Sobel Vertical",
          "Lighten Edges", "Darken Edges", "Ghost"},
         maker<edge>()},
        {"b",
         "Emboss",
         {"Right", "Right-Up", "Up", "Left-Up", "Left", "Left-Down", "Down", "Right-Down"},
         maker<emboss>()},
        {"n", "Separate", {}, maker<separate>()},
        {"m", "Halfblur", {"Simple", "Gaussian"}, maker<halfblur>()},
        {"comma", "Whiteblur", {"Simple", "Gaussian"}, maker<whiteblur>()},
        {"period", "Blackblur", {"Simple", "Gaussian"}, maker<blackblur>()},
    };
    Picture pic = patternPicture(kW, kH);
    App app(pic.get());
    app.move(kX + kPointer.x, kY + kPointer.y);
    for (const Filter& f : filters) {
        SCOPED_TRACE(f.name);
        app.key("BackSpace");  // each filter starts from the picture as loaded
        app.key(f.key);
        ASSERT_TRUE(app.waitTitle(titleOf(f, 1))) << app.title();
        Picture first = filtered(f, pic.get(), 1);
        Picture saved = app.saveOut([&] { app.key("ampersand"); });
        ASSERT_TRUE(saved);
        EXPECT_EQ(comparePictures(first.get(), saved.get()), "");

        const int modes = static_cast<int>(f.modes.size());
        for (int m = 2; m <= modes + 1 && modes > 1; ++m) {
            const int mode = m > modes ? 1 : m;  // F1 last, back to the first mode
            app.key("F" + std::to_string(mode));
            ASSERT_TRUE(app.waitTitle(titleOf(f, mode))) << app.title();
            Picture want = filtered(f, pic.get(), mode);
            EXPECT_EQ(waitView(app, want.get(), kX, kY, 1), "") << "mode " << mode;
        }
    }
}
