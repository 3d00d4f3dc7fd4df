// Helpers shared by the unit tests.
#pragma once

#include "effects/classes.h"
#include "framewk/framewk.h"
#include "image/imagergba.h"
#include "image/tiff.h"
#include "morvane.h"
#include "tests/unit/fake_platform.h"
#include "tests/unit/image_fixtures.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// A pixel against the one expected (a braced Rgba will do), shown whole
// when they differ.
#define EXPECT_PIXEL(got, ...)           \
    do {                                 \
        const Rgba want_ = __VA_ARGS__;  \
        EXPECT_EQ(str(got), str(want_)); \
    } while (0)

// A fresh temporary folder that is the working directory for the object's
// life; removed with everything in it afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

private:
    std::string path_;
    std::string previous_;
};

// Sorted names in a folder, without "." and "..".
std::vector<std::string> listDir(const std::string& path);
std::string readFile(const std::string& path);

// The images an effect is built on, freed in any order the effect left them
// (scroll exchanges two of them). Destroy effects before this.
struct EffectImages {
    ImageRGBA* picture;  // a copy of the starting picture, for comparisons
    ImageRGBA *image, *backup, *scratch, *hud, *icons;

    explicit EffectImages(ImageRGBA* start) : picture(start) {
        fwkReset();
        fakePlatform.reset();
        image = imageRgbaClone(start);
        backup = imageRgbaNew(start->width, start->height);
        scratch = imageRgbaNew(start->width, start->height);
        hud = imageRgbaNew(start->width, start->height);
        // Glass takes its textures from the atlas: they must be the same every time.
        icons = fixtures::randomImage(400, 113, 13, true).release();
        for (ImageRGBA* img : {backup, scratch, hud}) imageRgbaSet(img, 1, 2, 3, 4);
    }
    ~EffectImages() {
        for (ImageRGBA* img : {picture, image, backup, scratch, hud, icons}) imageRgbaFree(img);
        fwkReset();
    }
    template <class T>
    std::unique_ptr<T> make(bool hasArea = false, point areaMin = point(),
                            point areaMax = point()) {
        return std::unique_ptr<T>(
            new T(image, backup, scratch, hud, icons, hasArea, areaMin, areaMax));
    }
    EffectImages(const EffectImages&) = delete;
    EffectImages& operator=(const EffectImages&) = delete;
};

// The shell started in a temporary folder on `picture` written as in.tif.
class ShellOn : public ::testing::Test {
protected:
    void startOn(ImageRGBA* start) {
        fwkReset();
        fakePlatform.reset();
        picture = start;
        ASSERT_EQ(imageRgbaWriteTIFF("in.tif", picture), 0);
        int argc = 1;
        const char* argv[] = {"morvane", nullptr};
        testing::internal::CaptureStderr();  // no menu/ folder here
        morvaneStart(&argc, argv);
        testing::internal::GetCapturedStderr();
    }
    void TearDown() override {
        morvaneShutdown();
        if (picture) imageRgbaFree(picture);
    }
    // Left button: press, drag through the points with an idle tick after
    // each, then release and one more tick.
    void leftDrag(std::initializer_list<point> path) {
        auto it = path.begin();
        mouseCB(0, 0, static_cast<float>(it->x), static_cast<float>(it->y));
        idleCB();
        for (++it; it != path.end(); ++it) {
            motionCB(static_cast<float>(it->x), static_cast<float>(it->y));
            idleCB();
        }
        const point last = *(path.end() - 1);
        mouseCB(0, 1, static_cast<float>(last.x), static_cast<float>(last.y));
        idleCB();
    }

    TempDir dir;
    ImageRGBA* picture = nullptr;
};
