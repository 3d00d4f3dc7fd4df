// Frame pacing through the recording platform: frame after frame the texture
// holds what the program shows, and frames stop when nothing happens.
#include "image/tiff.h"
#include "tests/unit/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

namespace {

using fixtures::firstDifference;

class Pacing : public ShellOn {
protected:
    void SetUp() override {
        // Icons half transparent, so the picture shows through the menu.
        ASSERT_EQ(mkdir("menu", 0755), 0);
        fixtures::Image tile(patternImage(20, 20));
        for (int i = 0; i < 400; ++i) tile->data[i].a = (i + i / 20) % 2 ? 255 : 0;
        for (int i = 0; i < catalogueSize; ++i) {
            const std::string file = std::string("menu/") + catalogue[i].icon + ".tif";
            ASSERT_EQ(imageRgbaWriteTIFF(file.c_str(), tile.get()), 0);
        }
        startOn(patternImage(200, 150));
    }

    // The frames GLUT would run, each followed by the redraw it asks for,
    // until none is due or `most` have run; how many ran.
    int frames(int most = 40) {
        int ran = 0;
        for (; ran < most && fwkFramePending(); ++ran) {
            const int posted = fakePlatform.redisplays;
            fwkFrameCB();
            if (fakePlatform.redisplays != posted) fwkRedrawCB();
        }
        return ran;
    }

    // The texture holds the image the effect shows.
    testing::AssertionResult onScreen() {
        const ImageRGBA* s = E->shown;
        if (fwkGetDisplayImage() != s) return testing::AssertionFailure() << "another image shown";
        if (!fakePlatform.textureHolds(s->data, s->width, s->width, s->height)) {
            return testing::AssertionFailure() << "the texture lags behind the picture";
        }
        return testing::AssertionSuccess();
    }

    // Empty when the overlay is what composing it afresh, with the same ants,
    // makes of it.
    std::string overlayAsComposed() {
        fixtures::Image now = fixtures::cloneOf(E->hud);
        E->antsPhase = (E->antsPhase + 7) % 8;  // composing moves them on by one
        E->showHud();
        return firstDifference(E->hud, now.get());
    }

    // Input as the window sends it, at image pixel (x, y).
    int wx(int x) { return x + static_cast<int>(fwkGetRasterX()); }
    int wy(int y) { return y + static_cast<int>(fwkGetRasterY()); }
    void key(unsigned char k) { fwkKeyboardCB(k, wx(5), wy(5)); }
    void special(int k) { fwkSpecialCB(k, wx(5), wy(5)); }
    void button(int b, bool down, int x, int y) { fwkMouseCB(b, down ? 0 : 1, wx(x), wy(y)); }
    void motion(int x, int y) { fwkMotionCB(wx(x), wy(y)); }
};

TEST_F(Pacing, TheTextureFollowsThePictureAndFramesStopWhenNothingHappens) {
    EXPECT_LT(frames(), 5);
    EXPECT_FALSE(fwkFramePending());
    EXPECT_TRUE(onScreen());

    // A key that changes the picture: it reaches the texture, then all rests.
    key('8');  // invert
    ASSERT_FALSE(sameImage(E->image, picture));
    EXPECT_LT(frames(), 5);
    EXPECT_TRUE(onScreen());
    EXPECT_FALSE(fwkFramePending());

    // A held button keeps frames coming, changes or not.
    special(10);  // selection
    frames();
    button(0, true, 20, 30);
    motion(60, 70);
    EXPECT_EQ(frames(5), 5);
    motion(150, 120);
    frames(2);
    EXPECT_TRUE(onScreen());
    button(0, false, 150, 120);
    frames(2);

    // The ants crawl on by themselves, each frame uploading the outline only.
    for (int i = 0; i < 10; ++i) {
        const int phase = E->antsPhase;
        ASSERT_EQ(frames(1), 1);
        EXPECT_EQ(E->antsPhase, (phase + 1) % 8);
        EXPECT_EQ(fakePlatform.frames.back().partCount, 4);
        ASSERT_TRUE(onScreen()) << "frame " << i;
    }
    EXPECT_EQ(overlayAsComposed(), "");

    // The menu over the crawling outline, then gone again.
    key(' ');
    for (int i = 0; i < 5; ++i) {
        frames(1);
        ASSERT_TRUE(onScreen()) << "frame " << i;
    }
    EXPECT_EQ(fakePlatform.frames.back().partCount, 5);
    EXPECT_EQ(overlayAsComposed(), "");
    key(' ');
    frames(3);
    EXPECT_TRUE(onScreen());

    // Another adjustment under the crawling ants.
    key('1');  // brightness, inside the area
    frames(3);
    EXPECT_TRUE(onScreen());
    EXPECT_EQ(overlayAsComposed(), "");

    // Without the outline the program rests again.
    special(10);
    button(2, true, 5, 5);
    button(2, false, 5, 5);
    EXPECT_LT(frames(), 5);
    EXPECT_FALSE(E->hasArea);
    EXPECT_FALSE(fwkFramePending());
    EXPECT_TRUE(onScreen());
}

}  // namespace
