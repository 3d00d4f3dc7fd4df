// Files a hostile or careless user may hand the program: each is refused or
// handled with a reason, and nothing hangs, swaps or is lost.
#include "image/tiff.h"
#include "tests/raw_strip.h"
#include "tests/unit/test_support.h"

#include <tiffio.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace {

class HostileFiles : public ShellOn {
protected:
    // Start-up on the file, for a death test: it must end the program.
    static void startWith(std::vector<const char*> args) {
        alarm(20);  // a start-up that blocks fails instead of hanging the suite
        args.insert(args.begin(), "morvane");
        int argc = static_cast<int>(args.size());
        args.push_back(nullptr);
        morvaneStart(&argc, args.data());
    }
};

// A header and a few bytes of Deflate strip declaring 20000 by 20000 pixels.
void writeBomb(const char* name) {
    const unsigned char deflated[] = {0x78, 0x9c, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01};
    writeRawStrip(name, 20000, 20000, 8, COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_MINISBLACK,
                  deflated, sizeof deflated);
}

TEST_F(HostileFiles, APictureBeyondTheLimitsIsRefusedBeforeItIsAllocated) {
    writeBomb("bomb.tif");
    ASSERT_LT(readFile("bomb.tif").size(), 400u);
    EXPECT_EXIT(startWith({"bomb.tif"}), testing::ExitedWithCode(1),
                "(^|\n)morvane: cannot open the picture \"bomb.tif\": 20000 by 20000 pixels would need "
                "7.5 GiB of memory, beyond the limit of 268435456 pixels; raise it with "
                "--max-pixels=400000000 or MORVANE_MAX_PIXELS=400000000\n$");
    // Raised, the memory check still stands in the way.
    setenv("MORVANE_MAX_PIXELS", "400000000", 1);
    EXPECT_EXIT(startWith({"--max-memory=2G", "bomb.tif"}), testing::ExitedWithCode(1),
                "(^|\n)morvane: cannot open the picture \"bomb.tif\": 20000 by 20000 pixels would need "
                "7.5 GiB of memory, more than the limit of 2.0 GiB; raise it with "
                "--max-memory=8G or MORVANE_MAX_MEMORY=8G\n$");
    unsetenv("MORVANE_MAX_PIXELS");
    // A tiny limit: the picture's size refuses it, in its own units, not libtiff's directory.
    fixtures::Image small(patternImage(30, 20));
    ASSERT_EQ(imageRgbaWriteTIFF("small.tif", small.get()), 0);
    EXPECT_EXIT(startWith({"--max-memory=1K", "small.tif"}), testing::ExitedWithCode(1),
                "(^|\n)morvane: cannot open the picture \"small.tif\": 30 by 20 pixels would need "
                "11.7 KiB of memory, more than the limit of 1.0 KiB; raise it with "
                "--max-memory=1M or MORVANE_MAX_MEMORY=1M\n$");
}

TEST_F(HostileFiles, ANamedPipeIsRefusedAtOnce) {
    ASSERT_EQ(mkfifo("pipe.tif", 0644), 0);
    EXPECT_EXIT(startWith({"pipe.tif"}), testing::ExitedWithCode(1),
                "(^|\n)morvane: cannot open the picture \"pipe.tif\": it is a named pipe, not a picture "
                "file\n$");
}

// A tag libtiff cannot type (it complains and goes on), then a strip cut
// short, which is what makes the read fail.
TEST_F(HostileFiles, ACorruptFileIsReportedByTheErrorThatEndedTheRead) {
    const unsigned char bytes[] = {
        'I', 'I', 42, 0, 8, 0, 0, 0, 10, 0,  // header, 10 entries
        0x00, 0x01, 3, 0, 1, 0, 0, 0, 4, 0, 0, 0,     // width 4
        0x01, 0x01, 3, 0, 1, 0, 0, 0, 4, 0, 0, 0,     // length 4
        0x02, 0x01, 3, 0, 1, 0, 0, 0, 8, 0, 0, 0,     // 8 bits
        0x03, 0x01, 3, 0, 1, 0, 0, 0, 1, 0, 0, 0,     // no compression
        0x06, 0x01, 3, 0, 1, 0, 0, 0, 1, 0, 0, 0,     // grey
        0x11, 0x01, 4, 0, 1, 0, 0, 0, 134, 0, 0, 0,   // strip at 134
        0x15, 0x01, 3, 0, 1, 0, 0, 0, 1, 0, 0, 0,     // one sample
        0x16, 0x01, 3, 0, 1, 0, 0, 0, 4, 0, 0, 0,     // 4 rows a strip
        0x17, 0x01, 4, 0, 1, 0, 0, 0, 0xe8, 3, 0, 0,  // 1000 bytes in it
        0xff, 0xff, 0, 0, 1, 0, 0, 0, 7, 0, 0, 0,     // tag 65535 of type 0
        0, 0, 0, 0, 1, 2, 3};                         // 3 bytes of the 16
    std::ofstream("corrupt.tif", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes), sizeof bytes);
    EXPECT_EXIT(startWith({"corrupt.tif"}), testing::ExitedWithCode(1),
                "(^|\n)morvane: cannot open the picture \"corrupt.tif\": Read error on strip 0; got 3 "
                "bytes, expected 16\n$");
}

// A 19 by 21 JBIG picture whose stream claims about 5 terabytes: refused
// before the codec's own allocation, which would end the process.
TEST_F(HostileFiles, AJbigStreamLargerThanItsPictureIsRefused) {
    // 128 planes of 52735 by 3976002814 pixels
    const unsigned char stream[] = {0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0xcd, 0xff, 0xec, 0xfc,
                                    0xfc, 0xfe, 0x08, 0x9e, 0xd7, 0x40, 0x10, 0x00, 0xc0, 0x38};
    writeRawStrip("jbig.tif", 19, 21, 1, COMPRESSION_JBIG, PHOTOMETRIC_MINISBLACK, stream,
                  sizeof stream);
    std::string reason;
    EXPECT_EQ(imageRgbaReadTIFF("jbig.tif", &reason), nullptr);
    EXPECT_NE(reason.find("JBIG"), std::string::npos) << reason;
}

// The picture: one strip of 300 by 400 grey pixels cut after 30000
// of its 120000 bytes. libtiff reads it in parts; those it cannot read stay
// clear instead of repeating the part before.
TEST_F(HostileFiles, DamagedDataOpensAsFarAsItCanBeReadWithOneLine) {
    std::vector<unsigned char> grey(30000);
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = static_cast<unsigned char>(i * 7);
    writeRawStrip("cut.tif", 300, 400, 8, COMPRESSION_NONE, PHOTOMETRIC_MINISBLACK, grey.data(),
                  grey.size());
    testing::internal::CaptureStderr();
    startWith({"cut.tif"});
    alarm(0);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("\nmorvane: cut.tif: damaged picture data, shown as far as it could be read "
                        "(Read error on strip 3; "),
              std::string::npos)
        << said;
    int read = 0;  // rows read whole come first; every other row is clear
    for (int y = 0; y < 400; ++y) {
        bool whole = true, clear = true;
        for (int x = 0; x < 300; ++x) {
            const unsigned char v = static_cast<unsigned char>((y * 300 + x) * 7);
            whole = whole && samePixel(pixel(original, x, y), Rgba{v, v, v, 255});
            clear = clear && samePixel(pixel(original, x, y), Rgba{0, 0, 0, 0});
        }
        ASSERT_TRUE(whole ? read++ == y : clear) << "row " << y;
    }
    EXPECT_TRUE(read > 0 && read < 100) << read;
}

// Colour planes stored apart, two strips each; the second green strip and
// both blue ones are damaged. What could be decoded shows, and no plane
// repeats its strip before.
TEST_F(HostileFiles, OfPlanesStoredApartTheDecodablePlanesShow) {
    const int width = 6, height = 8;
    TIFF* tif = TIFFOpen("planes.tif", "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_SEPARATE);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height / 2);
    // Strips 0 and 1 red, 2 and 3 green, 4 and 5 blue; plane p's value at
    // (x, y) is 10 * p + x + 6 * y.
    unsigned char notDeflate[] = {0xFF, 0xFF, 0xFF, 0xFF};
    for (uint32_t strip = 0; strip < 6; ++strip) {
        if (strip == 3 || strip >= 4) {
            TIFFWriteRawStrip(tif, strip, notDeflate, sizeof notDeflate);
            continue;
        }
        std::vector<unsigned char> plane(width * height / 2);
        for (size_t i = 0; i < plane.size(); ++i) {
            plane[i] = static_cast<unsigned char>(10 * (strip / 2) + i + plane.size() * (strip % 2));
        }
        TIFFWriteEncodedStrip(tif, strip, plane.data(), static_cast<tmsize_t>(plane.size()));
    }
    TIFFClose(tif);

    std::string why;
    fixtures::Image img(imageRgbaReadTIFF("planes.tif", &why));
    ASSERT_TRUE(img) << why;
    EXPECT_EQ(why.rfind("damaged picture data, shown as far as it could be read (", 0), 0u) << why;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned char v = static_cast<unsigned char>(x + width * y);
            const Rgba want{v, static_cast<unsigned char>(y < height / 2 ? 10 + v : 0), 0, 255};
            EXPECT_TRUE(samePixel(pixel(img.get(), x, y), want)) << x << "," << y;
        }
    }
}

// out.tif made a link to a device or a named pipe: written straight, never
// replaced by a file; a pipe nobody reads fails at once, the window goes on.
TEST_F(HostileFiles, AnOutTifLinkedToADeviceOrAPipeIsWrittenStraight) {
    startOn(patternImage(30, 20));
    ASSERT_EQ(mkfifo("pipe", 0644), 0);
    ASSERT_EQ(symlink("pipe", "out.tif"), 0);
    alarm(20);
    testing::internal::CaptureStderr();
    keyboardCB('&', 1, 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "morvane: could not save \"out.tif\" (no program reads from the pipe)\n");
    alarm(0);

    // The null device's numbers, in our own folder.
    std::remove("out.tif");
    if (mknod("null", S_IFCHR | 0666, makedev(1, 3)) != 0) GTEST_SKIP() << "cannot make a device here";
    ASSERT_EQ(symlink("null", "out.tif"), 0);
    testing::internal::CaptureStderr();
    keyboardCB('&', 1, 1);
    const std::string said = testing::internal::GetCapturedStderr();
    if (said.find("Permission denied") != std::string::npos) GTEST_SKIP() << "devices are off here";
    EXPECT_EQ(said, "");
    struct stat info;
    ASSERT_EQ(stat("out.tif", &info), 0);
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    EXPECT_EQ(listDir("."), (std::vector<std::string>{"in.tif", "log.txt", "null", "out.tif", "pipe"}));
}

TEST_F(HostileFiles, ASaveBeyondTheFileSizeLimitFailsAndTheProgramGoesOn) {
    startOn(patternImage(100, 100));
    keyboardCB('&', 1, 1);
    const std::string earlier = readFile("out.tif");
    keyboardCB('8', 1, 1);  // invert: a different picture to save

    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    const struct rlimit small = {4096, saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    testing::internal::CaptureStderr();
    keyboardCB('&', 1, 1);
    const std::string said = testing::internal::GetCapturedStderr();
    setrlimit(RLIMIT_FSIZE, &saved);

    EXPECT_EQ(said,
              "morvane: could not save \"out.tif\" (writing failed: File too large); any earlier "
              "file is unchanged\n");
    EXPECT_EQ(readFile("out.tif"), earlier);
    EXPECT_EQ(listDir("."), (std::vector<std::string>{"in.tif", "log.txt", "out.tif"}));
    keyboardCB('&', 1, 1);
    EXPECT_NE(readFile("out.tif"), earlier);
}

TEST_F(HostileFiles, AReadOnlyOutTifStaysAndALinkedOneHasItsTargetReplaced) {
    startOn(patternImage(30, 20));
    std::ofstream("out.tif") << "kept";
    chmod("out.tif", 0444);
    testing::internal::CaptureStderr();
    keyboardCB('&', 1, 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "morvane: could not save \"out.tif\" (it is read-only); any earlier file is "
              "unchanged\n");
    EXPECT_EQ(readFile("out.tif"), "kept");

    std::remove("out.tif");
    mkdir("pictures", 0755);
    std::ofstream("pictures/latest.tif") << "old";
    ASSERT_EQ(symlink("pictures/latest.tif", "out.tif"), 0);
    keyboardCB('&', 1, 1);
    struct stat info;
    ASSERT_EQ(lstat("out.tif", &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ImageRGBA* saved = imageRgbaReadTIFF("pictures/latest.tif");
    ASSERT_NE(saved, nullptr);
    EXPECT_TRUE(sameImage(saved, picture));
    imageRgbaFree(saved);
    EXPECT_EQ(listDir("pictures"), std::vector<std::string>{"latest.tif"});
}

}  // namespace
