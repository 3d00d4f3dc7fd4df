// Batch mode against the window: the same steps on the same picture give the
// same "out.tif", and the program needs no display for them.
#include "tests/e2e/harness.h"

#include <gtest/gtest.h>

#include "image/picture.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

using namespace e2e;

namespace {

// A 300 by 200 picture sits at (106, 156); at zoom 1 picture pixel (x, y) is
// window pixel (106 + x, 156 + y).
const int kX = 106, kY = 156;

struct Outcome {
    int status;
    std::string out, err;
};

// The program in batch mode in `dir`, without a display.
Outcome runBatch(const std::string& dir, const std::vector<std::string>& args) {
    std::vector<std::string> argv{MORVANE_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    Process::Options options;
    options.workDir = dir;
    options.stdoutPath = dir + "/batch-out.txt";
    options.stderrPath = dir + "/batch-err.txt";
    Process p(argv, options);
    const std::optional<int> status = p.wait(kWait);
    return {status.value_or(-1), readFile(options.stdoutPath), readFile(options.stderrPath)};
}

// Plays the steps of --keys in the window: keys by name, the pointer at
// picture pixels.
void playInWindow(App& app, const std::string& keys) {
    app.move(kX, kY);  // keys arrive at picture pixel (0, 0) until the pointer moves
    int x = 0, y = 0;
    std::istringstream words(keys);
    for (std::string word; words >> word;) {
        const size_t colon = word.find(':');
        const std::string step = word.substr(0, colon);
        if (colon != std::string::npos) {
            std::sscanf(word.c_str() + colon + 1, "%d,%d", &x, &y);
        }
        if (step == "press" || step == "rpress") {
            app.press(kX + x, kY + y, step == "press" ? 1 : 3);
        } else if (step == "release" || step == "rrelease") {
            app.release(kX + x, kY + y, step == "release" ? 1 : 3);
        } else if (step == "move") {
            app.move(kX + x, kY + y);
        } else {
            app.key(word);
        }
    }
}

// One row per effect family: its keys, and the title the window shows once
// they have all arrived.
struct FamilyRun {
    const char* family;
    const char* keys;
    const char* title;
};

const FamilyRun kFamilies[] = {
    // A colour picked from the palette (drawn in the frame after Space), then
    // an ellipse dragged and a point set at the pointer's last place.
    {"tools",
     "F9 space press:140,30 release space press:30,20 move:90,60 move:200,150 release F2 press:250,40 "
     "release",
     "Morvane Application | Draw | Mode 2: Point"},
    // Channel from its menu icon, its settings with the keys, then committed
    // and brightness on top.
    {"colour", "space press:105,62 release F3 Up Up Down Return 1 Left Up",
     "Morvane Application | Brightness"},
    // Relief with both settings and its opacity keys, spatter's random
    // offsets on top, then chrome in its first mode.
    {"artistic", "d F2 Up Right Page_Down Delete Return h Up Return a F1 Down",
     "Morvane Application | Chrome | Mode 1: Simple"},
    // Ripple dragged from one point to another, then bilinear and stronger
    // at the last one; twirl on top after a commit.
    {"warps", "q press:150,100 move:170,110 release End Up Return e press:100,80 release",
     "Morvane Application | Twirl | Mode 1: Single Twirl"},
    // Mosaic with a wider gap, box in mode 3 applied by a click, then lines'
    // random runs (the same sequence in both programs).
    {"distortion", "u Up Return i F3 press:10,10 release Return asterisk Up",
     "Morvane Application | Lines | Mode 1: Horizontal"},
    // A Gaussian blur made stronger and committed, then radial blur around a
    // pressed point, then emboss upward with its size keys.
    {"convolution", "x F2 Up Up Return F6 press:150,100 release Return b F3 Page_Down Delete Up",
     "Morvane Application | Emboss | Mode 3: Up"},
};

void PrintTo(const FamilyRun& row, std::ostream* out) { *out << row.family << ": " << row.keys; }

class BatchAgainstWindow : public ::testing::TestWithParam<FamilyRun> {};

TEST_P(BatchAgainstWindow, GivesTheWindowsOutTif) {
    const FamilyRun& row = GetParam();
    Picture pic = patternPicture(300, 200);
    App app(pic.get());
    playInWindow(app, row.keys);
    ASSERT_TRUE(app.waitTitle(row.title)) << app.title();
    Picture inWindow = app.saveOut([&] { app.key("ampersand"); });
    ASSERT_TRUE(inWindow);

    const Outcome batch = runBatch(app.dir(), {"--keys", row.keys, "--output", "batch.tif"});
    EXPECT_EQ(batch.status, 0);
    EXPECT_EQ(batch.out + batch.err, "");
    Picture inBatch = readPicture(app.path("batch.tif"));
    ASSERT_TRUE(inBatch);
    EXPECT_EQ(comparePictures(inWindow.get(), inBatch.get()), "");
    EXPECT_EQ(comparePictures(pic.get(), inBatch.get()).empty(), false) << "the keys changed nothing";
}

INSTANTIATE_TEST_SUITE_P(Families, BatchAgainstWindow, ::testing::ValuesIn(kFamilies),
                         [](const testing::TestParamInfo<FamilyRun>& info) {
                             return std::string(info.param.family);
                         });

TEST(Batch, HelpAndFailuresWithoutADisplay) {
    TempDir dir;
    const Outcome help = runBatch(dir.path(), {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Examples:"), std::string::npos) << help.out;

    const Outcome unknownKey = runBatch(dir.path(), {"--keys", "x Sup"});
    EXPECT_EQ(unknownKey.status, 1);
    EXPECT_EQ(lines(unknownKey.err).size(), 1u) << unknownKey.err;

    const Outcome usage = runBatch(dir.path(), {"--keys", "x", "one.tif", "two.tif"});
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(lines(usage.err).size(), 1u) << usage.err;
}

// Eight runs started at once in one folder over the same three pictures
// (TIFF, PNG, JPEG), writing the same outputs as PNG or WebP: every output is
// whole and what one run alone gives, no temporary file stays, and log.txt
// holds every run's lines, each whole.
TEST(Batch, EightRunsSideBySideInOneFolder) {
    TempDir dir;
    const std::string d = dir.path();
    std::filesystem::create_symlink(MORVANE_SOURCE_DIR "/menu", d + "/menu");
    Picture pic = patternPicture(240, 160);
    const char* pictures[] = {"a.tif", "b.png", "c.jpg"};
    const PictureFormat formats[] = {PictureFormat::tiff, PictureFormat::png, PictureFormat::jpeg};
    for (int i = 0; i < 3; ++i) {
        SaveFormat format;
        format.format = formats[i];
        ASSERT_EQ(imageRgbaWrite((d + "/" + pictures[i]).c_str(), pic.get(), format), 0);
    }
    // Cutout logs three lines a picture; invert on top.
    const std::vector<std::string> run = {"--keys", "f 8", "a.tif", "b.png", "c.jpg"};
    auto with = [&run](std::vector<std::string> more) {
        more.insert(more.end(), run.begin(), run.end());
        return more;
    };
    const Outcome alone = runBatch(d, with({"--output-dir", "alone", "--format", "png"}));
    ASSERT_EQ(alone.status, 0) << alone.err;
    const std::vector<std::string> loggedAlone = lines(readFile(d + "/log.txt"));
    ASSERT_EQ(loggedAlone.size(), 9u);
    std::filesystem::remove(d + "/log.txt");

    std::vector<std::unique_ptr<Process>> runs;
    for (int i = 0; i < 8; ++i) {
        Process::Options options;
        options.workDir = d;
        options.stderrPath = d + "/err" + std::to_string(i) + ".txt";
        std::vector<std::string> argv{MORVANE_BINARY, "--output-dir", "out", "--format",
                                      i % 2 ? "webp" : "png"};
        argv.insert(argv.end(), run.begin(), run.end());
        runs.push_back(std::make_unique<Process>(argv, options));
    }
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(runs[i]->wait(kWait * 4), std::optional<int>(0)) << readFile(d + "/err" + std::to_string(i) + ".txt");
    }
    const auto files = std::filesystem::directory_iterator(d + "/out");
    EXPECT_EQ(std::distance(begin(files), end(files)), 6);  // no temporaries left
    for (const char* name : {"a", "b", "c"}) {
        Picture want = readPicture(d + "/alone/" + name + ".png");
        ASSERT_TRUE(want);
        for (const char* extension : {".png", ".webp"}) {
            SCOPED_TRACE(std::string(name) + extension);
            Picture got = readPicture(d + "/out/" + name + extension);
            ASSERT_TRUE(got);
            EXPECT_EQ(comparePictures(want.get(), got.get()), "");
        }
    }
    std::vector<std::string> logged = lines(readFile(d + "/log.txt")), expected;
    for (int i = 0; i < 8; ++i) expected.insert(expected.end(), loggedAlone.begin(), loggedAlone.end());
    std::sort(logged.begin(), logged.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(logged, expected);
}

}  // namespace
