// Batch mode in-process: what reaches the effects, what is written, and how
// bad command lines, pictures and outputs fail.
#include "batch.h"
#include "image/picture.h"
#include "image/tiff.h"
#include "tests/unit/test_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

Outcome batch(std::vector<const char*> args) {
    args.insert(args.begin(), "morvane");
    fakePlatform.reset();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = batchMain(static_cast<int>(args.size()), args.data());
    return {status, testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
}

fixtures::Image readBack(const char* path) { return fixtures::Image(imageRgbaReadTIFF(path)); }

fixtures::Image invertedOf(const ImageRGBA* img) {
    fixtures::Image result = fixtures::cloneOf(img);
    for (int i = 0; i < img->width * img->height; ++i) result->data[i] = inverted(img->data[i]);
    return result;
}

class Batch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(imageRgbaWriteTIFF("in.tif", picture.get()), 0);
        ASSERT_EQ(symlink(MORVANE_SOURCE_DIR "/menu", "menu"), 0);  // else every run warns
    }
    TempDir dir;
    fixtures::Image picture{patternImage(240, 160)};
};

TEST_F(Batch, StepsReachTheProgramAsInTheWindowAndOnlyTheResultIsWritten) {
    const Outcome run = batch({"--keys", "8"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out + run.err, "");
    EXPECT_FALSE(fakePlatform.windowCreated);
    EXPECT_EQ(fakePlatform.redisplays, 0);
    EXPECT_TRUE(fakePlatform.frames.empty());
    fixtures::Image out = readBack("out.tif");
    ASSERT_TRUE(out);
    EXPECT_TRUE(sameImage(out.get(), invertedOf(picture.get()).get()));

    // The menu through the pointer: the invert icon's cell, then the save
    // button; the second invert, never saved, is not written as Escape quits.
    struct Case {
        const char* keys;
        bool inverted;
    } cases[] = {
        {"space press:155,65 release space press:5,5 release 8 Escape", true},
        {"8 ampersand 8 Escape", true},
        {"8 ampersand Return 8 space move:235,5 press:235,5", true},  // the close button
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        std::remove("result.tif");
        const Outcome ended = batch({"--keys", c.keys, "--output", "result.tif", "in.tif"});
        EXPECT_EQ(ended.status, 0);
        EXPECT_EQ(ended.err, "");
        fixtures::Image result = readBack("result.tif");
        ASSERT_TRUE(result);
        EXPECT_TRUE(sameImage(result.get(), invertedOf(picture.get()).get()));
    }
    std::remove("out.tif");
    EXPECT_EQ(batch({"--keys", "8 Escape"}).status, 0);
    EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{"in.tif", "log.txt", "menu", "result.tif"}));
}

TEST_F(Batch, FailuresSayWhatInOneLineAndWriteNothing) {
    mkdir("folder", 0755);
    const std::string pictureBytes = readFile("in.tif");
    struct Case {
        std::vector<const char*> args;
        int status;
        const char* names;  // what the message must mention
    } cases[] = {
        {{"--keys", "8 Foo"}, 1, "\"Foo\""},
        {{"--keys", "F13"}, 1, "\"F13\""},
        {{"--keys", "press:1"}, 1, "\"press:1\""},
        {{"--keys", "press:1,2x"}, 1, "\"press:1,2x\""},
        {{"--keys", "press:99999999999,1"}, 1, "\"press:99999999999,1\""},
        {{"--keys", "release:3,4"}, 1, "\"release:3,4\""},
        {{"--keys", "drag:1,2"}, 1, "\"drag:1,2\""},
        {{"--keys", "8", "nothere.tif"}, 1, "nothere.tif"},
        {{"--keys", "8", "--max-pixels=1000"}, 1, "--max-pixels="},
        {{"--keys", "8", "--output", "missing/out.tif"}, 1, "missing/out.tif"},
        {{"--keys", "8", "--output", "folder"}, 1, "folder"},
        {{"--keys", "8", "--output", "folder/"}, 1, "\"folder/\" (it is a folder)"},
        {{"--keys", "8", "--output", "in.tif", "in.tif"}, 1, "would replace the picture itself"},
        // A save key that fails, and Escape before the final write.
        {{"--keys", "8 ampersand Escape", "--output", "folder"}, 1, "folder"},
        {{"--keys", "8", "--output-dir", "no/dir"}, 1, "no/dir"},
        {{"--keys", "8", "--output-dir", "in.tif"}, 1, "in.tif"},
        {{"--keys"}, 2, "--keys"},
        {{"--output", "x.tif"}, 2, "--keys"},
        {{"--keys", "8", "a.tif", "b.tif"}, 2, "--output-dir"},
        {{"--keys", "8", "--output", "x.tif", "--output-dir", "folder"}, 2, "--output-dir"},
        {{"--keys", "8", "--keys=9"}, 2, "--keys"},
        {{"--keys", "8", "--frobnicate"}, 2, "--frobnicate"},
        {{"--keys", "8", "--output-dir", ".", "in.tif"}, 2, "in.tif"},
        {{"--keys", "8", "--output-dir", "folder", "in.tif", "./in.tif"}, 2, "folder/in.tif"},
        {{"--keys", "8", "--output", "x.bmp"}, 2, ".tif, .tiff, .png, .jpg, .jpeg and .webp"},
        {{"--keys", "8", "--output-dir", "folder", "in.tif", "a.heic"}, 2, "folder/a.heic"},
        {{"--keys", "8", "--format", "gif"}, 2, "--format takes one of"},
        {{"--keys", "8", "--quality", "101"}, 2, "--quality"},
        {{"--keys", "8", "--output-dir", "folder", "--format", ".png", "in.tif", "in.jpg"}, 2,
         "folder/in.png"},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const char* a : c.args) line += std::string(a) + " ";
        SCOPED_TRACE(line);
        const Outcome run = batch(c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_NE(run.err.find(c.names), std::string::npos) << run.err;
        EXPECT_TRUE(listDir("folder").empty());
        for (const std::string& name : listDir(dir.path())) {
            EXPECT_TRUE(name == "in.tif" || name == "log.txt" || name == "folder" || name == "menu")
                << name;
        }
        EXPECT_TRUE(readFile("in.tif") == pictureBytes);
    }
}

// Standard output, or a named pipe another program reads (batch mode waits
// for it): written straight, one picture only, the last saved.
TEST_F(Batch, AStreamOutputGetsOnePictureTheLastSaved) {
    const fixtures::Image inverted = invertedOf(picture.get());
    ASSERT_EQ(mkfifo("pipe", 0644), 0);
    struct Case {
        const char* keys;
        const char* output;
        const ImageRGBA* expected;
    } cases[] = {{"8 ampersand 8", "-", picture.get()},
                 {"8 ampersand 8 Escape", "-", inverted.get()},
                 {"8 ampersand Return", "pipe", inverted.get()}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        alarm(30);  // a run that never opens the pipe fails instead of hanging the suite
        std::string received;
        std::thread reader([&] {
            if (std::strcmp(c.output, "pipe") != 0) return;
            std::ifstream in("pipe", std::ios::binary);
            received.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        });
        const Outcome run = batch({"--keys", c.keys, "--output", c.output});
        reader.join();
        alarm(0);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        std::ofstream("received.tif", std::ios::binary) << run.out + received;
        fixtures::Image got = readBack("received.tif");
        ASSERT_TRUE(got);
        EXPECT_EQ(fixtures::firstDifference(c.expected, got.get()), "");
    }
    EXPECT_EQ(listDir(dir.path()),
              (std::vector<std::string>{"in.tif", "log.txt", "menu", "pipe", "received.tif"}));
}

TEST_F(Batch, EveryPictureOfAFolderRunFromAFreshStart) {
    // Different sizes: anything left from the picture before would show; and
    // spatter draws from rand(), which restarts with every picture.
    mkdir("a", 0755);
    mkdir("b", 0755);
    const char* pictures[] = {"a/one.tif", "b/two.tif", "in.tif"};
    for (int i = 0; i < 2; ++i) {
        fixtures::Image img(patternImage(60 + 50 * i, 40 + 30 * i, i + 2));
        ASSERT_EQ(imageRgbaWriteTIFF(pictures[i], img.get()), 0);
    }
    const char* keys = "F10 press:5,4 move:30,20 release 8 Return h";
    ASSERT_EQ(batch({"--keys", keys, "--output-dir", "done", pictures[0], pictures[1], pictures[2]})
                  .status,
              0);
    EXPECT_EQ(listDir("done"), (std::vector<std::string>{"in.tif", "one.tif", "two.tif"}));
    const char* outputs[] = {"done/one.tif", "done/two.tif", "done/in.tif"};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(pictures[i]);
        ASSERT_EQ(batch({"--keys", keys, "--output", "alone.tif", pictures[i]}).status, 0);
        fixtures::Image alone = readBack("alone.tif"), inFolder = readBack(outputs[i]),
                        before = readBack(pictures[i]);
        ASSERT_TRUE(alone && inFolder);
        EXPECT_TRUE(sameImage(alone.get(), inFolder.get()));
        EXPECT_FALSE(sameImage(before.get(), inFolder.get()));
    }
}

// The extension chooses the format, --format changes it for every output,
// and a stream is TIFF unless --format says otherwise.
TEST_F(Batch, TheOutputsExtensionChoosesItsFormat) {
    const fixtures::Image inverted = invertedOf(picture.get());
    struct Case {
        std::vector<const char*> args;
        const char* written;
        const char* signature;
    } cases[] = {
        {{"--output", "r.png"}, "r.png", "\x89PNG"},
        {{"--output", "r.WebP"}, "r.WebP", "RIFF"},
        {{"--output", "r.tiff"}, "r.tiff", "II*"},
        {{"--output", "r"}, "r", "II*"},
        {{"--output", "r.jpeg", "--format", "png"}, "r.png", "\x89PNG"},
        {{"--output-dir", "done", "--format", "webp", "in.tif"}, "done/in.webp", "RIFF"},
        {{"--output", "-", "--format", "png"}, nullptr, "\x89PNG"},
        {{"--output", "r.jpg"}, "r.jpg", "\xFF\xD8\xFF"},
    };
    for (const Case& c : cases) {
        std::vector<const char*> args{"--keys", "8"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(c.args[1]);
        const Outcome run = batch(args);
        ASSERT_EQ(run.status, 0) << run.err;
        const std::string bytes = c.written ? readFile(c.written) : run.out;
        EXPECT_EQ(bytes.rfind(c.signature, 0), 0u);
        std::ofstream("got", std::ios::binary) << bytes;
        fixtures::Image got(imageRgbaRead("got"));
        ASSERT_TRUE(got);
        if (bytes[0] != '\xFF') {  // all but JPEG: exact
            EXPECT_EQ(fixtures::firstDifference(inverted.get(), got.get()), "");
        }
    }
    // Quality: lower, smaller.
    ASSERT_EQ(batch({"--keys", "8", "--output", "low.jpg", "--quality", "20"}).status, 0);
    EXPECT_LT(readFile("low.jpg").size(), readFile("r.jpg").size() / 2);
}

// Runs side by side share log.txt: each appends, none empties it.
TEST_F(Batch, RunsAppendToTheLog) {
    std::ofstream("log.txt") << "LOG: 7\n";
    ASSERT_EQ(batch({"--keys", "f"}).status, 0);  // cutout logs its group sizes
    const std::string first = readFile("log.txt");
    ASSERT_GT(first.size(), 7u);
    ASSERT_EQ(batch({"--keys", "f"}).status, 0);
    EXPECT_EQ(readFile("log.txt"), first + first.substr(7));
}

TEST_F(Batch, HelpAndTheListOfEffects) {
    const Outcome help = batch({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    const std::string examples = help.out.substr(help.out.find("Examples:"));
    EXPECT_EQ(std::count(examples.begin(), examples.end(), '\n'), 5) << examples;

    // Every key the list gives is one --keys takes.
    const Outcome list = batch({"--list"});
    ASSERT_EQ(list.status, 0);
    std::istringstream lines(list.out);
    std::string key, kind, name;
    int listed = 0;
    while (std::getline(lines, key, '\t') && std::getline(lines, kind, '\t') &&
           std::getline(lines, name)) {
        SCOPED_TRACE(key + " " + name);
        const Outcome run = batch({"--keys", key.c_str()});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        ++listed;
    }
    EXPECT_GE(listed, 14);
    EXPECT_NE(list.out.find("F9\ttool\tDraw\tPipette, Point, Line, Rectangle, Ellipse, Circle\n"),
              std::string::npos) << list.out;
    EXPECT_NE(list.out.find("h\tfilter\tSpatter\n"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("i\tfilter\tBox\t1, 2, 3, 4, 5, 6, 7, 8\n"), std::string::npos) << list.out;
}

}  // namespace
