// Saving "out.tif" with the keys, and what a failed save leaves behind.
#include "tests/e2e/harness.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>

namespace fs = std::filesystem;
using namespace e2e;

namespace {

// Files the program left next to "out.tif" (a half-written temporary, say).
std::vector<std::string> strayFiles(const App& app) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(app.dir())) {
        const std::string name = entry.path().filename().string();
        if (name != "in.tif" && name != "out.tif" && name != "log.txt" && name != "menu") {
            found.push_back(name);
        }
    }
    return found;
}

// The part of standard error written after `before`.
std::string errSince(const App& app, const std::string& before) { return app.err().substr(before.size()); }

}  // namespace

TEST(Save, EverySaveKeyWritesThePictureAsLoaded) {
    // Alpha varies too: it travels through the file unchanged.
    Picture pic = makePicture(300, 200, [](int x, int y) {
        Rgba c = patternPixel(x, y);
        c.a = static_cast<unsigned char>(255 - (x + 3 * y) % 97);
        return c;
    });
    Launch launch;
    launch.picture = pic.get();
    App app(launch);

    for (const char* key : {"ampersand", "less", "greater", "bracketleft", "bracketright"}) {
        SCOPED_TRACE(key);
        fs::remove(app.path("out.tif"));
        app.key(key);
        ASSERT_TRUE(app.waitFile("out.tif"));
        Picture saved = readPicture(app.path("out.tif"));
        EXPECT_EQ(comparePictures(pic.get(), saved.get()), "");
    }
    EXPECT_EQ(strayFiles(app), std::vector<std::string>{});
    EXPECT_EQ(app.title(), "Morvane Application");
}

TEST(Save, FailingToReplaceOutTifIsReportedAndTheProgramGoesOn) {
    // A folder named "out.tif" cannot be replaced by a file, even by root.
    Picture pic = patternPicture(240, 160);
    Launch launch;
    launch.picture = pic.get();
    launch.prepare = [](const std::string& dir) { fs::create_directory(dir + "/out.tif"); };
    App app(launch);

    const std::string before = app.err();
    app.key("ampersand");
    ASSERT_TRUE(app.waitError("out.tif", Seconds(10))) << app.err();
    const std::vector<std::string> reported = lines(errSince(app, before));
    ASSERT_EQ(reported.size(), 1u) << errSince(app, before);
    EXPECT_NE(reported[0].find("out.tif"), std::string::npos);

    EXPECT_TRUE(fs::is_directory(app.path("out.tif")));
    EXPECT_TRUE(fs::is_empty(app.path("out.tif")));
    EXPECT_EQ(strayFiles(app), std::vector<std::string>{});

    // Still answering: zoom in, then leave normally.
    app.key("plus");
    const Screenshot shot = app.waitScreen([](const Screenshot& s) { return s.at(16, 96) != kBackground; });
    EXPECT_EQ(shot.at(16, 96), rgb(patternPixel(0, 0)));
    app.key("Escape");
    EXPECT_EQ(app.waitExit(), 0);
}

TEST(Save, AFailedSaveKeepsTheEarlierOutTif) {
    // The program may write no file larger than 16 KiB, so its save breaks
    // off half-way; the earlier, small "out.tif" must survive whole.
    Picture pic = patternPicture(300, 200);
    Picture earlier = patternPicture(8, 8);
    std::string earlierBytes;
    Launch launch;
    launch.picture = pic.get();
    launch.prepare = [&](const std::string& dir) {
        writePicture(dir + "/out.tif", earlier.get());
        earlierBytes = readFile(dir + "/out.tif");
    };
    launch.inChild = [] {
        signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails instead of killing
        const rlimit limit{16384, 16384};
        setrlimit(RLIMIT_FSIZE, &limit);
    };
    App app(launch);

    const std::string before = app.err();
    app.key("bracketright");
    ASSERT_TRUE(app.waitError("out.tif", Seconds(10))) << app.err();
    EXPECT_EQ(lines(errSince(app, before)).size(), 1u) << errSince(app, before);

    EXPECT_EQ(readFile(app.path("out.tif")), earlierBytes);
    EXPECT_EQ(strayFiles(app), std::vector<std::string>{});
    EXPECT_TRUE(app.running());
    app.key("Escape");
    EXPECT_EQ(app.waitExit(), 0);
}
