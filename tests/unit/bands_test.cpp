// Work shared between the cores must not show in the picture: every effect
// gives the same pixels on one core as on two.
#include "image/bands.h"
#include "tests/unit/test_support.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// Big enough that every banded loop hands parts to the helper thread; an area
// with odd edges so the parts are uneven.
fixtures::Image rendered(const catalogueEntry& entry, int threads) {
    const int saved = bandThreads;
    bandThreads = threads;
    EffectImages im(fixtures::randomImage(401, 303, 5).release());
    std::srand(7);  // the random effects draw the same numbers both times
    effect* e = entry.make(im.image, im.backup, im.scratch, im.hud, im.icons, true, point(3, 5),
                           point(396, 300));
    e->setXY(200, 150);  // warps and the centred blurs render around the middle
    e->LB(true);
    e->idle();
    e->LB(false);
    fixtures::Image out = fixtures::cloneOf(e->image);
    delete e;
    bandThreads = saved;
    return out;
}

TEST(Bands, EveryEffectGivesTheSamePictureOnOneCoreAndOnTwo) {
    for (int i = 0; i < catalogueSize; ++i) {
        const catalogueEntry& entry = catalogue[i];
        const fixtures::Image one = rendered(entry, 1), two = rendered(entry, 2);
        EXPECT_EQ(fixtures::firstDifference(one.get(), two.get()), "") << entry.icon;
    }
}

// Enough work for the helper thread to take parts.
constexpr double kShared = 1e9;

// Spins until `done` holds, for ten seconds at most.
template <class Done>
bool waitFor(Done done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::yield();
    }
    return true;
}

struct TwoThreads : ::testing::Test {
    int saved = bandThreads;
    void SetUp() override { bandThreads = 2; }
    void TearDown() override { bandThreads = saved; }
    // Every row of 0..99 exactly once: the pool still works.
    static void expectCovered() {
        std::atomic<int> rows{0};
        inBands(0, 99, kShared, [&](int first, int last) { rows += last - first + 1; });
        EXPECT_EQ(rows, 100);
    }
};

TEST_F(TwoThreads, ABandedCallInsideAPartRunsWholeInThatPart) {
    std::atomic<int> rows{0}, inner{0};
    inBands(0, 15, kShared, [&](int first, int last) {
        for (int i = first; i <= last; ++i) {
            inBands(0, 99, kShared, [&](int a, int b) {
                EXPECT_EQ(a, 0);
                EXPECT_EQ(b, 99);
                rows += b - a + 1;
            });
            ++inner;
        }
    });
    EXPECT_EQ(inner, 16);
    EXPECT_EQ(rows, 1600);
    expectCovered();
}

TEST_F(TwoThreads, AThrowingPartOfTheCallerReachesItAfterTheHelpersPartEnds) {
    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<int> running{0};
    std::atomic<bool> thrown{false};
    auto body = [&](int, int) {
        if (std::this_thread::get_id() == caller) {
            if (thrown || !waitFor([&] { return running > 0; })) return;
            thrown = true;
            throw std::runtime_error("caller's part");
        }
        ++running;
        waitFor([&] { return thrown.load(); });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        --running;
    };
    try {
        inBands(0, 15, kShared, body);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "caller's part");
        EXPECT_EQ(running, 0);
    }
    expectCovered();
}

TEST_F(TwoThreads, AThrowingPartOfTheHelperReachesTheCaller) {
    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<bool> thrown{false};
    auto body = [&](int, int) {
        if (std::this_thread::get_id() != caller) {
            thrown = true;
            throw std::runtime_error("helper's part");
        }
        waitFor([&] { return thrown.load(); });  // the helper gets its part
    };
    EXPECT_THROW(inBands(0, 15, kShared, body), std::runtime_error);
    EXPECT_TRUE(thrown);
    expectCovered();
}

// Runs cover each pixel of the area once and nothing beyond it, whether the
// area is part of the rows, whole rows of a wide picture or one long column.
TEST_F(TwoThreads, RunsCoverTheAreaOnce) {
    struct Case {
        int width, height, x0, y0, x1, y1;
    };
    for (const Case& c : {Case{7, 5, 2, 1, 4, 3}, Case{300, 200, 0, 3, 299, 190},
                          Case{1, 100000, 0, 0, 0, 99999}, Case{100000, 1, 0, 0, 99999, 0},
                          Case{1, 1, 0, 0, 0, 0}, Case{9, 9, 5, 5, 4, 4}}) {
        std::vector<std::atomic<int>> seen(static_cast<size_t>(c.width) * c.height);
        eachRun(c.x0, c.y0, c.x1, c.y1, c.width, [&](int y, int xa, int xb) {
            for (int x = xa; x <= xb; ++x) ++seen[static_cast<size_t>(y) * c.width + x];
        });
        for (size_t i = 0; i < seen.size(); ++i) {
            const int x = static_cast<int>(i % c.width), y = static_cast<int>(i / c.width);
            const bool inside = x >= c.x0 && x <= c.x1 && y >= c.y0 && y <= c.y1;
            ASSERT_EQ(seen[i], inside ? 1 : 0) << c.width << "x" << c.height << " at " << x << ","
                                               << y;
        }
    }
}

}  // namespace
