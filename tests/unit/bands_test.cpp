// Work shared between the cores must not show in the picture: every effect
// gives the same pixels on one core as on two.
#include "image/bands.h"
#include "tests/unit/test_support.h"

#include <cstdlib>

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

}  // namespace
