// The bulk generator against rand() itself, from several seeds and after
// earlier draws, over millions of numbers; rand() must go on afterwards as if
// it had made them.
#include "effects/draws.h"
#include "image/lanes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

struct Start {
    unsigned seed;
    int earlier;  // draws before the bulk ones
};
const Start kStarts[] = {{1, 0}, {1, 1}, {1, 34}, {1, 100001}, {42, 3}, {4000000000u, 31}};

void startAt(const Start& s) {
    std::srand(s.seed);
    for (int i = 0; i < s.earlier; ++i) std::rand();
}

// What rand() gives next, n numbers.
std::vector<int> randGives(size_t n) {
    std::vector<int> v(n);
    for (int& d : v) d = std::rand();
    return v;
}

const size_t kDraws = 2000000;

TEST(RandDraws, DrawWhatRandDrawsAndHandTheSequenceBack) {
    for (const Start& s : kStarts) {
        startAt(s);
        const std::vector<int> want = randGives(kDraws + 1);
        startAt(s);
        size_t wrong = kDraws;
        {
            randRun run;
            randDraws d = run.draws();
            ASSERT_NE(d.table, nullptr);
            for (size_t i = 0; i < kDraws && wrong == kDraws; ++i) {
                if (d.next() != want[i]) wrong = i;
            }
            run.resume(d);
        }
        EXPECT_EQ(wrong, kDraws) << "seed " << s.seed << " after " << s.earlier;
        EXPECT_EQ(std::rand(), want[kDraws]) << "seed " << s.seed << " after " << s.earlier;
    }
}

// Read ahead in blocks of uneven sizes, each starting inside the one before,
// after a few single draws, and left short of the last word made.
TEST(RandDraws, ReadAheadGivesRandsNumbersAndLeavesWhereItIsTold) {
    for (Simd level : {Simd::baseline, Simd::avx512vbmi}) {
        simdCap(level);
        for (const Start& s : kStarts) {
            startAt(s);
            const std::vector<int> want = randGives(kDraws + 1);
            startAt(s);
            size_t k = 0, wrong = kDraws;
            const int single = s.earlier % 5;
            {
                randRun run;
                randDraws d = run.draws();
                for (int i = 0; i < single; ++i) d.next();
                randAhead ahead(d);
                for (size_t block = 1; k + block <= kDraws - single && wrong == kDraws; block = block * 3 + 7) {
                    const uint32_t* w = ahead.words(k, block);
                    for (size_t i = 0; i < block && wrong == kDraws; ++i) {
                        if (static_cast<int>(w[i] >> 1) != want[single + k + i]) wrong = k + i;
                    }
                    k += block - block / 3;
                }
                ahead.leave(k, d);
                run.resume(d);
            }
            EXPECT_EQ(wrong, kDraws) << "seed " << s.seed << " after " << s.earlier;
            EXPECT_EQ(std::rand(), want[single + k]) << "seed " << s.seed << " after " << s.earlier;
        }
    }
    simdCap(Simd::avx512vbmi);
}

}  // namespace
