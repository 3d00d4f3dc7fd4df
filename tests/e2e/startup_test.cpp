// Start-up, the picture argument, the log, the help text and leaving the program.
#include "tests/e2e/harness.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>

namespace fs = std::filesystem;
using namespace e2e;

namespace {

const char* const kHelp =
    "Keyboard Shortcuts:\n"
    "-------------------------------------------------------------------------------\n"
    "  s     Save image as `out.tif'.\n"
    "  +/-   Zoom in/out.\n"
    "  q     Quit this application.\n"
    "  ?     This help.\n";

// A 240 by 160 picture sits at (136, 176) in the 512 by 512 window.
const int kW = 240, kH = 160;
const double kX = 136, kY = 176;

Picture plain(Rgba c) {
    return makePicture(kW, kH, [c](int, int) { return c; });
}

// Lines naming the file itself ("in.tif", not "menu/zoomin.tif").
std::vector<std::string> linesNaming(const std::string& text, const std::string& name) {
    auto names = [&name](const std::string& line) {
        for (size_t at = line.find(name); at != std::string::npos; at = line.find(name, at + 1)) {
            const char before = at == 0 ? ' ' : line[at - 1];
            if (!std::isalnum(static_cast<unsigned char>(before)) && before != '_' && before != '/') {
                return true;
            }
        }
        return false;
    };
    std::vector<std::string> found;
    for (const std::string& line : lines(text)) {
        if (names(line)) found.push_back(line);
    }
    return found;
}

}  // namespace

TEST(Startup, TitlesTheWindowAndStartsAnEmptyLog) {
    Picture pic = patternPicture(kW, kH);
    Launch launch;
    launch.picture = pic.get();
    launch.prepare = [](const std::string& dir) { writeFile(dir + "/log.txt", "LOG: 1\nLOG: 2\n"); };
    App app(launch);

    EXPECT_TRUE(app.waitTitle("Morvane Application")) << app.title();
    ASSERT_TRUE(fs::is_regular_file(app.path("log.txt")));
    EXPECT_EQ(readFile(app.path("log.txt")), "");  // the earlier run's log is gone
    EXPECT_EQ(app.out(), "");
}

TEST(Startup, OpensTheFileNamedOnTheCommandLine) {
    Picture other = patternPicture(kW, kH);
    Picture in = plain(Rgba{200, 10, 10, 255});
    Launch launch;
    launch.picture = in.get();
    launch.prepare = [&](const std::string& dir) { writePicture(dir + "/other.tif", other.get()); };

    {
        launch.args = {"other.tif"};
        App app(launch);
        const Screenshot shot = app.waitScreen(
            [&](const Screenshot& s) { return checkView(s, other.get(), kX, kY, 1).empty(); });
        EXPECT_EQ(checkView(shot, other.get(), kX, kY, 1), "");
    }
    {
        // GLUT takes its own options first; one argument remains.
        launch.args = {"-sync", "other.tif"};
        App app(launch);
        const Screenshot shot = app.waitScreen(
            [&](const Screenshot& s) { return checkView(s, other.get(), kX, kY, 1).empty(); });
        EXPECT_EQ(checkView(shot, other.get(), kX, kY, 1), "");
    }
    {
        // More than one argument: the usual "in.tif".
        launch.args = {"other.tif", "other.tif"};
        App app(launch);
        const Screenshot shot = app.waitScreen(
            [&](const Screenshot& s) { return checkView(s, in.get(), kX, kY, 1).empty(); });
        EXPECT_EQ(checkView(shot, in.get(), kX, kY, 1), "");
    }
}

TEST(Startup, UnreadablePictureEndsWithOneMessageAndStatusOne) {
    struct Case {
        const char* what;
        std::vector<std::string> args;
        const char* name;
        std::function<void(const std::string&)> prepare;
    };
    const std::vector<Case> cases = {
        {"missing argument file", {"nowhere.tif"}, "nowhere.tif", nullptr},
        {"missing in.tif", {}, "in.tif", nullptr},
        {"not a TIFF", {}, "in.tif",
         [](const std::string& dir) { writeFile(dir + "/in.tif", "plain text, not a picture\n"); }},
        {"no pixels", {"empty.tif"}, "empty.tif",
         [](const std::string& dir) {
             Picture pic = patternPicture(0, 0);
             writePicture(dir + "/empty.tif", pic.get());
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Launch launch;
        launch.args = c.args;
        launch.prepare = c.prepare;
        launch.waitWindow = false;
        App app(launch);
        EXPECT_EQ(app.waitExit(), 1);
        // Other lines (missing icons) may come before it; the picture gets one.
        const std::vector<std::string> named = linesNaming(app.err(), c.name);
        ASSERT_EQ(named.size(), 1u) << app.err();
        EXPECT_EQ(lines(app.err()).back(), named[0]);
        EXPECT_EQ(app.out(), "");
    }
}

TEST(Startup, QuestionMarkPrintsTheHelp) {
    Picture pic = patternPicture(kW, kH);
    App app(pic.get());

    app.key("question");
    ASSERT_TRUE(app.waitOutput("  ?     This help.\n")) << app.out();
    EXPECT_EQ(app.out(), kHelp);
    app.key("question");
    ASSERT_TRUE(app.waitOutput(std::string(kHelp) + kHelp)) << app.out();
    EXPECT_TRUE(app.running());
    EXPECT_EQ(app.title(), "Morvane Application");
}

TEST(Startup, EscapeEndsWithStatusZeroAndSavesNothing) {
    Picture pic = patternPicture(kW, kH);
    App app(pic.get());

    app.key("Escape");
    EXPECT_EQ(app.waitExit(), 0);
    EXPECT_FALSE(fs::exists(app.path("out.tif")));
    EXPECT_EQ(readFile(app.path("log.txt")), "");
    EXPECT_EQ(app.out(), "");
}
