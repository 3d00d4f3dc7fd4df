#include "image/imagergba.h"
#include "image/tiff.h"
#include "morvane.h"
#include "tests/unit/test_support.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const std::string kMenu = std::string(MORVANE_SOURCE_DIR) + "/menu";
const int kSide = 20;

const char* const kIcons[50] = {
    "save",     "backwards", "close",     "paint",    "selection", "scroll",    "telescope", "zoomin",
    "zoomout",  "brightness", "contrast", "saturation", "hue",     "colorize",  "channel",   "gray",
    "invert",   "posterize", "solarize",  "ripple",   "bubble",    "twirl",     "lens",      "wave",
    "buttonize", "glass",    "mosaic",    "box",      "comb",      "dots",      "lines",     "rgbdots",
    "noise",    "blur",      "sharpen",   "edge",     "emboss",    "separate",  "halfblur",  "whiteblur",
    "blackblur", "chrome",   "bw",        "relief",   "cutout",    "brush",     "spatter",   "strokes",
    "starlight", "shine"};

// The file of each atlas row, or "" for the rows that have none.
std::string rowFile(int row) {
    if (row < 50) return std::string(kIcons[row]) + ".tif";
    if (row >= 93 && row <= 100) return "glass_texture" + std::to_string(101 - row) + ".tif";
    if (row >= 101 && row <= 108) return std::to_string(row - 100) + ".tif";
    const char* const slider[] = {"regler_start", "regler_mid", "regler_end", "regler"};
    if (row >= 109) return std::string(slider[row - 109]) + ".tif";
    return "";
}

std::vector<std::string> expectedFiles() {
    std::vector<std::string> names;
    for (int row = 0; row < 113; ++row)
        if (!rowFile(row).empty()) names.push_back(rowFile(row));
    std::sort(names.begin(), names.end());
    return names;
}

ImageRGBA* readIcon(const std::string& name) { return imageRgbaReadTIFF((kMenu + "/" + name).c_str()); }

bool opaqueBlack(Rgba p) { return p.r == 0 && p.g == 0 && p.b == 0 && p.a == 255; }

TEST(Icons, SeventyFilesOfTwentyByTwentyWithClearCutAlpha) {
    std::vector<std::string> names = expectedFiles();
    ASSERT_EQ(names.size(), 70u);
    EXPECT_EQ(listDir(kMenu), names);
    for (const std::string& name : names) {
        ImageRGBA* img = readIcon(name);
        ASSERT_NE(img, nullptr) << name;
        EXPECT_EQ(img->width, kSide) << name;
        EXPECT_EQ(img->height, kSide) << name;
        // The menu copies alpha unblended: anything but 0 hides the picture.
        for (int i = 0; i < img->width * img->height; ++i)
            ASSERT_TRUE(img->data[i].a == 0 || img->data[i].a == 255) << name << " pixel " << i;
        imageRgbaFree(img);
    }
}

TEST(Icons, AtlasTakesEveryFileQuietly) {
    TempDir dir;
    ASSERT_EQ(symlink(kMenu.c_str(), "menu"), 0);
    testing::internal::CaptureStderr();
    ImageRGBA* atlas = buildIconAtlas();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_NE(atlas, nullptr);
    for (int row = 0; row < 113; ++row) {
        const Rgba* cells = atlas->data + row * kSide * kSide;
        bool allBlack = std::all_of(cells, cells + kSide * kSide, opaqueBlack);
        if (rowFile(row).empty()) {
            EXPECT_TRUE(allBlack) << "row " << row;
            continue;
        }
        EXPECT_FALSE(allBlack) << rowFile(row);
        ImageRGBA* icon = readIcon(rowFile(row));
        ASSERT_NE(icon, nullptr);
        EXPECT_TRUE(std::equal(cells, cells + kSide * kSide, icon->data, samePixel)) << rowFile(row);
        imageRgbaFree(icon);
    }
    imageRgbaFree(atlas);
}

TEST(Icons, GeneratorReproducesTheCommittedFiles) {
    TempDir dir;
    std::string command = std::string("'") + MAKEICONS_BINARY + "' fresh";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::vector<std::string> names = listDir("fresh");
    ASSERT_EQ(names, listDir(kMenu));
    for (const std::string& name : names)
        EXPECT_TRUE(readFile("fresh/" + name) == readFile(kMenu + "/" + name)) << name << " differs";
}

TEST(Icons, GlassTexturesRepeatWithoutSeams) {
    for (int m = 1; m <= 8; ++m) {
        std::string name = "glass_texture" + std::to_string(m) + ".tif";
        ImageRGBA* img = readIcon(name);
        ASSERT_NE(img, nullptr) << name;
        auto h = [img](int x, int y) { return static_cast<int>(img->data[y * kSide + x].r); };
        int insideX = 0, seamX = 0, insideY = 0, seamY = 0;
        for (int a = 0; a < kSide; ++a) {
            ASSERT_EQ(img->data[a].a, 255) << name;
            for (int b = 0; b + 1 < kSide; ++b) {
                insideX = std::max(insideX, std::abs(h(b + 1, a) - h(b, a)));
                insideY = std::max(insideY, std::abs(h(a, b + 1) - h(a, b)));
            }
            seamX = std::max(seamX, std::abs(h(0, a) - h(kSide - 1, a)));
            seamY = std::max(seamY, std::abs(h(a, 0) - h(a, kSide - 1)));
        }
        EXPECT_GT(insideX + insideY, 0) << name << " is flat";
        EXPECT_LE(seamX, insideX) << name;
        EXPECT_LE(seamY, insideY) << name;
        imageRgbaFree(img);
    }
}

TEST(Icons, ButtonsHaveOpaqueFramesAndTheSliderJoins) {
    std::vector<std::string> framed(kIcons, kIcons + 50);
    for (int n = 1; n <= 8; ++n) framed.push_back(std::to_string(n));
    for (const std::string& name : framed) {
        ImageRGBA* img = readIcon(name + ".tif");
        ASSERT_NE(img, nullptr) << name;
        for (int i = 1; i + 1 < kSide; ++i) {
            EXPECT_EQ(img->data[i].a, 255) << name << " top " << i;
            EXPECT_EQ(img->data[(kSide - 1) * kSide + i].a, 255) << name << " bottom " << i;
            EXPECT_EQ(img->data[i * kSide].a, 255) << name << " left " << i;
            EXPECT_EQ(img->data[i * kSide + kSide - 1].a, 255) << name << " right " << i;
        }
        imageRgbaFree(img);
    }

    // Only the knob's top-left 7 by 14 pixels are shown; none may let the picture through.
    ImageRGBA* knob = readIcon("regler.tif");
    ASSERT_NE(knob, nullptr);
    for (int y = 0; y < 14; ++y)
        for (int x = 0; x < 7; ++x) EXPECT_EQ(knob->data[y * kSide + x].a, 255) << x << "," << y;
    imageRgbaFree(knob);

    // The track is start, middle, middle, end: all three joins must look alike,
    // and the rows the knob slides over must be solid there.
    ImageRGBA* start = readIcon("regler_start.tif");
    ImageRGBA* mid = readIcon("regler_mid.tif");
    ImageRGBA* end = readIcon("regler_end.tif");
    ASSERT_TRUE(start && mid && end);
    for (int y = 0; y < kSide; ++y) {
        Rgba lastOfMid = mid->data[y * kSide + kSide - 1], firstOfMid = mid->data[y * kSide];
        EXPECT_TRUE(samePixel(start->data[y * kSide + kSide - 1], lastOfMid)) << "start|mid, row " << y;
        EXPECT_TRUE(samePixel(end->data[y * kSide], firstOfMid)) << "mid|end, row " << y;
        if (y >= 3 && y <= 16) {
            EXPECT_EQ(lastOfMid.a, 255) << y;
            EXPECT_EQ(firstOfMid.a, 255) << y;
        }
    }
    imageRgbaFree(start);
    imageRgbaFree(mid);
    imageRgbaFree(end);
}

}  // namespace
