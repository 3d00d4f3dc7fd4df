#include "effects/matrices.h"
#include "tests/unit/test_support.h"

#include <vector>

namespace {

matrix kernelOf(std::vector<float> values, char radius, short divisor) {
    return matrix(values.data(), radius, divisor);
}

TEST(Matrix, ValuesLandCentredInTheGrid) {
    matrix k = kernelOf({1, 2, 3, 4, 5, 6, 7, 8, 9}, 1, 7);
    EXPECT_EQ(k.divisor, 7);
    EXPECT_EQ(k.radius, 1);
    for (int i = 0; i < 11; ++i) {
        for (int j = 0; j < 11; ++j) {
            const bool live = i >= 4 && i <= 6 && j >= 4 && j <= 6;
            EXPECT_EQ(k.grid[i][j], live ? (i - 4) * 3 + (j - 4) + 1 : 0) << i << "," << j;
        }
    }
    std::vector<float> big(121);
    for (int n = 0; n < 121; ++n) big[n] = static_cast<float>(n);
    matrix full(big.data(), 5, 1);
    EXPECT_EQ(full.grid[0][0], 0);
    EXPECT_EQ(full.grid[3][7], 40);
    EXPECT_EQ(full.grid[10][10], 120);
    matrix one = kernelOf({2.5f}, 0, 1);
    EXPECT_EQ(one.grid[5][5], 2.5f);
    EXPECT_EQ(one.grid[5][4], 0);
}

TEST(ApplyMatrix, BoxKernelKeepsAFlatAreaUpToItsBorder) {
    EffectImages images(flatImage(10, 8, Rgba{90, 63, 18, 7}));
    matrix box = kernelOf({1, 1, 1, 1, 1, 1, 1, 1, 1}, 1, 9);
    for (point p : {point(0, 0), point(9, 7), point(0, 7), point(4, 3)}) {
        EXPECT_PIXEL(applyMatrix(images.image, &box, p.x, p.y, point(0, 0), point(9, 7)),
                     Rgba{90, 63, 18, 255});
    }
}

TEST(ApplyMatrix, SamplesRepeatTheAreaBorderAndNeverReadOutsideIt) {
    // Inside (2,2)-(5,5) the picture is 50; around it 200.
    EffectImages images(flatImage(10, 8, Rgba{200, 200, 200, 255}));
    for (int y = 2; y <= 5; ++y) {
        for (int x = 2; x <= 5; ++x) pixel(images.image, x, y) = Rgba{50, 50, 50, 255};
    }
    pixel(images.image, 5, 3) = Rgba{80, 0, 0, 255};
    matrix box = kernelOf({1, 1, 1, 1, 1, 1, 1, 1, 1}, 1, 9);
    EXPECT_PIXEL(applyMatrix(images.image, &box, 2, 2, point(2, 2), point(5, 5)),
                 Rgba{50, 50, 50, 255});
    // Right-hand neighbour only: at the right border it is the pixel itself.
    matrix right = kernelOf({0, 0, 0, 0, 0, 1, 0, 0, 0}, 1, 1);
    EXPECT_PIXEL(applyMatrix(images.image, &right, 5, 3, point(2, 2), point(5, 5)),
                 Rgba{80, 0, 0, 255});
    EXPECT_PIXEL(applyMatrix(images.image, &right, 4, 3, point(2, 2), point(5, 5)),
                 Rgba{80, 0, 0, 255});
    EXPECT_PIXEL(applyMatrix(images.image, &right, 5, 3, point(0, 0), point(9, 7)),
                 Rgba{200, 200, 200, 255});
    // A 5 by 5 kernel reaching two pixels beyond a corner of the area.
    std::vector<float> corner(25, 0);
    corner[0] = 1;  // up two, left two
    matrix far = kernelOf(corner, 2, 1);
    EXPECT_PIXEL(applyMatrix(images.image, &far, 3, 3, point(2, 2), point(5, 5)),
                 Rgba{50, 50, 50, 255});

    // An area reaching beyond the picture reads the picture's border pixels.
    EXPECT_PIXEL(applyMatrix(images.image, &far, 0, 0, point(-6, -6), point(20, 20)),
                 Rgba{200, 200, 200, 255});
    EXPECT_PIXEL(applyMatrix(images.image, &right, 9, 3, point(-6, -6), point(20, 20)),
                 Rgba{200, 200, 200, 255});
}

TEST(ApplyMatrix, SumsAreDividedClampedAndTruncated) {
    EffectImages images(flatImage(4, 4, Rgba{100, 255, 3, 0}));
    const point lo(0, 0), hi(3, 3);
    matrix scale = kernelOf({2.549f}, 0, 1);  // 254.9, 650, 7.6
    EXPECT_PIXEL(applyMatrix(images.image, &scale, 1, 1, lo, hi), Rgba{254, 255, 7, 255});
    matrix negative = kernelOf({-1}, 0, 1);
    EXPECT_PIXEL(applyMatrix(images.image, &negative, 1, 1, lo, hi), Rgba{0, 0, 0, 255});
    matrix halve = kernelOf({1}, 0, 2);  // 50, 127.5, 1.5
    EXPECT_PIXEL(applyMatrix(images.image, &halve, 1, 1, lo, hi), Rgba{50, 127, 1, 255});
    matrix negativeDivisor = kernelOf({-3}, 0, -4);  // 75, 191.25, 2.25
    EXPECT_PIXEL(applyMatrix(images.image, &negativeDivisor, 1, 1, lo, hi), Rgba{75, 191, 2, 255});
    matrix zero = kernelOf({1}, 0, 0);  // never built, but no undefined result either
    EXPECT_PIXEL(applyMatrix(images.image, &zero, 1, 1, lo, hi), Rgba{255, 255, 255, 255});
}

TEST(ApplyMatrix, NothingToConvolveGivesOpaqueBlack) {
    EffectImages images(flatImage(4, 4, Rgba{100, 100, 100, 255}));
    matrix one = kernelOf({1}, 0, 1);
    EXPECT_PIXEL(applyMatrix(nullptr, &one, 1, 1, point(0, 0), point(3, 3)), Rgba{0, 0, 0, 255});
    EXPECT_PIXEL(applyMatrix(images.image, nullptr, 1, 1, point(0, 0), point(3, 3)),
                 Rgba{0, 0, 0, 255});
}

// A filter of the family with a 3 by 3 box in slot 0 and a radius-0 doubling in slot 1.
class testFilter : public matrices {
public:
    int modeCalls = 0;
    testFilter(ImageRGBA* image, ImageRGBA* backup, ImageRGBA* scratch, ImageRGBA* hud,
               ImageRGBA* icons, bool hasArea, point areaMin, point areaMax) {
        effect::startup(image, backup, scratch, hud, icons, hasArea, areaMin, areaMax);
        float box[] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
        float twice[] = {2};
        kernels[0] = new matrix(box, 1, 9);
        kernels[1] = new matrix(twice, 0, 1);
        modeCount = 3;
        value1Range.set(0, 1);
        value2Range.set(-6, 6);
        size = 1;
        imageRgbaCopy(image, backup);
    }
    ~testFilter() override {
        delete kernels[0];
        delete kernels[1];
    }
    void changeMode(char m) override {
        ++modeCalls;
        matrices::changeMode(m);
    }
};

class Matrices : public ::testing::Test {
protected:
    Matrices() : images(flatImage(8, 6, Rgba{40, 40, 40, 255})) {
        pixel(images.image, 3, 3) = Rgba{130, 40, 40, 255};
        f = images.make<testFilter>();
    }
    EffectImages images;
    std::unique_ptr<testFilter> f;
};

TEST_F(Matrices, LeftButtonFiltersTheAreaFromBackupAndRightButtonUndoes) {
    f.reset();
    f = images.make<testFilter>(true, point(3, 2), point(5, 5));
    f->LB(true);
    // (130 + 8 * 40) / 9 = 50 beside (3, 3); on the area's left edge the
    // border column counts twice: (2 * 130 + 7 * 40) / 9 = 60.
    EXPECT_EQ(pixel(f->image, 4, 2).r, 50);
    EXPECT_EQ(pixel(f->image, 3, 3).r, 60);
    EXPECT_EQ(pixel(f->image, 2, 3).r, 40);  // outside the area
    EXPECT_EQ(pixel(f->image, 6, 4).r, 40);
    f->LB(true);  // again: read from backup, not compounded
    EXPECT_EQ(pixel(f->image, 4, 2).r, 50);
    f->RB(true);
    EXPECT_TRUE(sameImage(f->image, f->backup));
}

TEST_F(Matrices, ValueCodesClampAndReapply) {
    f->value1 = 5;
    f->value2 = -20;
    f->changeValue(0);  // clamps only
    EXPECT_EQ(f->value1, 1);
    EXPECT_EQ(f->value2, -6);
    EXPECT_TRUE(sameImage(f->image, f->backup));

    f->value1 = 0.7f;
    f->specialKey(101);  // Up: 1.7, truncated to 1, slot 1 doubles
    EXPECT_EQ(f->value1, 1);
    EXPECT_EQ(pixel(f->image, 3, 3).r, 255);
    EXPECT_EQ(pixel(f->image, 0, 0).r, 80);
    EXPECT_FALSE(f->leftDown);  // held only for the call
    f->specialKey(103);         // Down: slot 0, the box
    EXPECT_EQ(pixel(f->image, 3, 3).r, 50);

    f->specialKey(102);
    EXPECT_EQ(f->value2, -3);
    f->specialKey(100);
    f->specialKey(100);
    f->specialKey(100);
    EXPECT_EQ(f->value2, -6);

    f->key(127);  // Delete at 1 stays 1
    EXPECT_EQ(f->size, 1);
    f->specialKey(105);  // Page Down
    EXPECT_EQ(f->size, 2);
    f->size = 30;
    f->specialKey(105);
    EXPECT_EQ(f->size, 30);
    f->key(127);
    EXPECT_EQ(f->size, 29);
    f->specialKey(104);  // Page Up: nothing
    EXPECT_EQ(f->size, 29);
}

TEST_F(Matrices, KeysReachModesAndTheMenuOnly) {
    f->specialKey(3);
    EXPECT_EQ(f->mode, 3);
    f->specialKey(4);  // more than modeCount
    EXPECT_EQ(f->mode, 3);
    EXPECT_EQ(f->modeCalls, 1);
    f->key(' ');
    EXPECT_TRUE(f->menuOn);
    f->key('x');
    EXPECT_TRUE(f->menuOn);
    EXPECT_TRUE(f->busy);
}

TEST_F(Matrices, SlotsAndAreasOutsideTheTablesStayInside) {
    f->value1 = 12;  // no such slot: black, not a read past the table
    f->LB(true);
    EXPECT_TRUE(samePixel(pixel(f->image, 2, 2), Rgba{0, 0, 0, 255}));
    f->value1 = 3;  // an empty slot
    f->LB(true);
    EXPECT_TRUE(samePixel(pixel(f->image, 5, 5), Rgba{0, 0, 0, 255}));

    f.reset();
    imageRgbaCopy(images.picture, images.image);
    pixel(images.image, 3, 3) = Rgba{130, 40, 40, 255};
    f = images.make<testFilter>(true, point(-4, 4), point(30, 40));
    f->LB(true);  // writes the clamped rows 4 and 5 only
    EXPECT_EQ(pixel(f->image, 7, 5).r, 40);
    EXPECT_EQ(pixel(f->image, 3, 3).r, 130);
}

}  // namespace
