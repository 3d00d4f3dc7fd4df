// Work shared between the cores must not show in the picture: every effect
// gives the same pixels on one core as on two.
#include "image/bands.h"
#include "tests/unit/test_support.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

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

}  // namespace
