#include "image/draw.h"
#include "image/imagergba.h"
#include "image/tiff.h"
#include "tests/unit/test_support.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <type_traits>
#include <vector>

namespace {

TEST(ImageRecord, NewCloneCopyAndFills) {
    ImageRGBA* img = imageRgbaNew(4, 3);
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(img->bytesPerPixel, 4);
    imageRgbaSet(img, 0x1FF, 2, 3, 0);
    EXPECT_TRUE(samePixel(img->data[11], Rgba{255, 2, 3, 0}));  // only the low byte counts

    img->data[5] = Rgba{9, 8, 7, 6};
    ImageRGBA* copy = imageRgbaClone(img);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(0, std::memcmp(copy->data, img->data, 4 * 3 * 4));

    imageRgbaClear(copy);
    for (int i = 0; i < 12; ++i) EXPECT_TRUE(samePixel(copy->data[i], Rgba{255, 255, 255, 255}));
    imageRgbaCopy(img, copy);
    EXPECT_TRUE(samePixel(copy->data[5], Rgba{9, 8, 7, 6}));

    // Half-open rectangle: (x2, y2) itself and everything past it stay.
    imageRgbaSet(img, 0, 0, 0, 0);
    imageRgbaSetArea(img, 1, 1, 3, 2, Rgba{1, 1, 1, 1});
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(img->data[y * 4 + x].r, (y == 1 && x >= 1 && x < 3) ? 1 : 0) << x << "," << y;
    imageRgbaSetArea(img, 3, 0, 1, 3, Rgba{5, 5, 5, 5});  // inverted: nothing
    imageRgbaSetArea(img, 0, 2, 4, 2, Rgba{5, 5, 5, 5});  // empty: nothing
    for (int i = 0; i < 12; ++i) EXPECT_NE(img->data[i].r, 5);

    imageRgbaFree(copy);
    imageRgbaFree(img);
}

TEST(ImageRecord, EmptyImageWorksEverywhere) {
    TempDir dir;
    ImageRGBA* img = imageRgbaNew(0, 0);
    ASSERT_NE(img, nullptr);
    ImageRGBA* copy = imageRgbaClone(img);
    imageRgbaCopy(img, copy);
    imageRgbaClear(copy);
    EXPECT_EQ(imageRgbaWriteTIFF("empty.tif", img), 0);
    imageRgbaFree(copy);
    imageRgbaFree(img);
}

TEST(ImageRecord, TooLargeGivesNullNotACrash) {
    EXPECT_EQ(imageRgbaNew(1 << 20, 1 << 20), nullptr);
}

TEST(ImageRecordDeath, PreconditionsNameTheSource) {
    EXPECT_DEATH(imageRgbaNew(-1, 1), "image/imagergba:[0-9]+: .*Assertion `width >= 0' failed");
    EXPECT_DEATH(imageRgbaNew(1, -1), "Assertion `height >= 0' failed");
    ImageRGBA* a = imageRgbaNew(4, 2);
    ImageRGBA* b = imageRgbaNew(2, 4);
    EXPECT_DEATH(imageRgbaCopy(a, b),
                 "Assertion `src->height == dest->height && src->width == dest->width' failed");
    ImageRGBA grey = {1, 1, 1, nullptr};
    EXPECT_DEATH(imageRgbaClone(&grey), "Assertion `img->bytesPerPixel == sizeof\\(Rgba\\)' failed");
    EXPECT_DEATH(imageRgbaWriteTIFF("x.tif", &grey), "img->bytesPerPixel == sizeof\\(Rgba\\)");
    imageRgbaFree(a);
    imageRgbaFree(b);
}

TEST(ImageRecord, AreaLinesDashFourAndFour) {
    ImageRGBA* img = imageRgbaNew(8, 8);
    imageRgbaSet(img, 1, 2, 3, 4);
    // Walks from x2 down to x1: phase 0 paints x=7..4 black, x=3..0 white.
    imageRgbaDrawHorizontalAreaLine(img, 0, 7, 2, 0);
    for (int x = 0; x < 8; ++x) {
        EXPECT_EQ(img->data[2 * 8 + x].r, x <= 3 ? 255 : 0) << x;
        EXPECT_EQ(img->data[2 * 8 + x].a, 255);
    }
    imageRgbaDrawVerticalAreaLine(img, 0, 7, 5, 4);  // phase 4 starts white at y=7
    for (int y = 0; y < 8; ++y) EXPECT_EQ(img->data[y * 8 + 5].r, y >= 4 ? 255 : 0) << y;
    // A negative phase keeps the sign of the dividend: -1 % 8 = -1, black.
    imageRgbaDrawHorizontalAreaLine(img, 0, 0, 0, -1);
    EXPECT_EQ(img->data[0].r, 0);
    EXPECT_EQ(img->data[1].r, 1);  // outside the run: untouched
    imageRgbaFree(img);
}

// Writes rows exactly as given (first row first) with libtiff itself, so the
// reader's flip is tested against an independent file.
void writeRawTiff(const char* name, int width, const std::vector<std::vector<Rgba>>& rows) {
    TIFF* tif = TIFFOpen(name, "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<int>(rows.size()));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 4);
    uint16_t extra = EXTRASAMPLE_ASSOCALPHA;  // passed through unchanged
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    for (size_t y = 0; y < rows.size(); ++y) {
        std::vector<Rgba> row = rows[y];
        TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0);
    }
    TIFFClose(tif);
}

TEST(ImageFiles, ReaderPutsTheTopRowFirstForHeightsOneToThree) {
    TempDir dir;
    for (int height = 1; height <= 3; ++height) {
        std::vector<std::vector<Rgba>> rows;
        for (int y = 0; y < height; ++y) {
            rows.push_back({Rgba{static_cast<unsigned char>(10 * y), 1, 2, 255},
                            Rgba{static_cast<unsigned char>(10 * y + 1), 3, 4, 128}});
        }
        writeRawTiff("rows.tif", 2, rows);
        ImageRGBA* img = imageRgbaReadTIFF("rows.tif");
        ASSERT_NE(img, nullptr) << height;
        ASSERT_EQ(img->height, height);
        for (int y = 0; y < height; ++y) {
            EXPECT_TRUE(samePixel(img->data[y * 2], rows[y][0])) << height << " row " << y;
            EXPECT_TRUE(samePixel(img->data[y * 2 + 1], rows[y][1])) << height << " row " << y;
        }
        imageRgbaFree(img);
    }
}

// No rows means no strips, and no batch of them to share out.
TEST(ImageFiles, APictureWithNoRowsIsWritten) {
    TempDir dir;
    for (const int width : {0, 3}) {
        ImageRGBA* img = imageRgbaNew(width, 0);
        EXPECT_EQ(imageRgbaWriteTIFF("none.tif", img), 0) << width;
        imageRgbaFree(img);
    }
}

TEST(ImageFiles, RoundTripKeepsPixelsAndWritesTheTags) {
    TempDir dir;
    ImageRGBA* img = imageRgbaNew(70, 130);  // more than two strips of 64 rows
    for (int i = 0; i < 70 * 130; ++i) {
        img->data[i] = Rgba{static_cast<unsigned char>(i), static_cast<unsigned char>(i >> 8),
                            static_cast<unsigned char>(i * 7), static_cast<unsigned char>(i % 251)};
    }
    ASSERT_EQ(imageRgbaWriteTIFF("out.tif", img), 0);
    ImageRGBA* back = imageRgbaReadTIFF("out.tif");
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->width, 70);
    ASSERT_EQ(back->height, 130);
    // No ExtraSamples tag is written, so libtiff hands the fourth byte back as is.
    EXPECT_EQ(0, std::memcmp(back->data, img->data, 70 * 130 * 4));

    TIFF* tif = TIFFOpen("out.tif", "r");
    ASSERT_NE(tif, nullptr);
    // Each tag read back with the type libtiff hands it out as.
    auto tag = [tif](uint32_t id, auto expected) {
        decltype(expected) value{};
        EXPECT_TRUE(TIFFGetField(tif, id, &value)) << id;
        if constexpr (std::is_same_v<decltype(expected), const char*>) {
            EXPECT_STREQ(value, expected) << id;
        } else {
            EXPECT_EQ(value, expected) << id;
        }
    };
    tag(TIFFTAG_SUBFILETYPE, uint32_t{0});
    tag(TIFFTAG_SAMPLESPERPIXEL, uint16_t{4});
    tag(TIFFTAG_BITSPERSAMPLE, uint16_t{8});
    tag(TIFFTAG_COMPRESSION, uint16_t{COMPRESSION_PACKBITS});
    tag(TIFFTAG_PHOTOMETRIC, uint16_t{PHOTOMETRIC_RGB});
    tag(TIFFTAG_DOCUMENTNAME, static_cast<const char*>("out.tif"));
    tag(TIFFTAG_IMAGEDESCRIPTION,
        static_cast<const char*>("Created With My Personal Morvane Application :-)"));
    tag(TIFFTAG_ORIENTATION, uint16_t{ORIENTATION_TOPLEFT});
    tag(TIFFTAG_ROWSPERSTRIP, uint32_t{64});
    tag(TIFFTAG_XRESOLUTION, 75.0f);
    tag(TIFFTAG_YRESOLUTION, 75.0f);
    tag(TIFFTAG_PLANARCONFIG, uint16_t{PLANARCONFIG_CONTIG});
    tag(TIFFTAG_RESOLUTIONUNIT, uint16_t{RESUNIT_INCH});
    uint16_t u16 = 0;
    uint16_t* extraKinds = nullptr;
    EXPECT_FALSE(TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &u16, &extraKinds));
    TIFFClose(tif);
    imageRgbaFree(back);
    imageRgbaFree(img);
}

TEST(ImageFiles, BadFilesGiveNullAndAReason) {
    TempDir dir;
    std::string why;
    EXPECT_EQ(imageRgbaReadTIFF("missing.tif", &why), nullptr);
    EXPECT_NE(why.find("No such file"), std::string::npos) << why;

    std::ofstream("text.tif") << "this is not a picture at all";
    EXPECT_EQ(imageRgbaReadTIFF("text.tif", &why), nullptr);
    EXPECT_FALSE(why.empty());

    // A real file cut short: header and directory gone.
    ImageRGBA* img = imageRgbaNew(50, 50);
    imageRgbaSet(img, 1, 2, 3, 255);
    ASSERT_EQ(imageRgbaWriteTIFF("whole.tif", img), 0);
    std::ifstream in("whole.tif", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream("cut.tif", std::ios::binary) << bytes.substr(0, bytes.size() / 3);
    EXPECT_EQ(imageRgbaReadTIFF("cut.tif", &why), nullptr);
    EXPECT_FALSE(why.empty());
    imageRgbaFree(img);
}

TEST(ImageFiles, FailedSaveKeepsTheEarlierFile) {
    TempDir dir;
    ImageRGBA* first = imageRgbaNew(3, 3);
    imageRgbaSet(first, 10, 20, 30, 255);
    ASSERT_EQ(imageRgbaWriteTIFF("out.tif", first), 0);

    // Saves that cannot even start a file (no such folder) or cannot replace
    // the one there (a folder).
    mkdir("dir.tif", 0755);
    std::string why;
    EXPECT_EQ(imageRgbaWriteTIFF("dir.tif", first, &why), 1);
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(imageRgbaWriteTIFF("nowhere/out.tif", first, &why), 1);
    EXPECT_FALSE(why.empty());

    // A save over out.tif itself that breaks off half-way: no file may grow
    // past 4 KiB, and a write beyond that fails instead of killing us.
    const std::string earlier = readFile("out.tif");
    ImageRGBA* big = patternImage(100, 100);
    {
        struct rlimit saved;
        getrlimit(RLIMIT_FSIZE, &saved);
        void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);
        const struct rlimit small = {4096, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &small);
        EXPECT_EQ(imageRgbaWriteTIFF("out.tif", big, &why), 1);
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, previous);
    }
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(readFile("out.tif"), earlier);
    imageRgbaFree(big);

    ImageRGBA* back = imageRgbaReadTIFF("out.tif");
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(samePixel(back->data[4], Rgba{10, 20, 30, 255}));

    // A successful save over it keeps its permissions.
    chmod("out.tif", 0640);
    ASSERT_EQ(imageRgbaWriteTIFF("out.tif", first), 0);
    struct stat info;
    ASSERT_EQ(stat("out.tif", &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(listDir("."), (std::vector<std::string>{"dir.tif", "out.tif"}));  // no temporaries left

    // The longest name a folder takes: the temporary beside it must fit too.
    const std::string longest = std::string(251, 'n') + ".tif";
    EXPECT_EQ(imageRgbaWriteTIFF(longest.c_str(), first, &why), 0) << why;
    imageRgbaFree(back);
    imageRgbaFree(first);
}

}  // namespace
