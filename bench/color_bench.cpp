// The colour adjustments and the menu overlay on a 4096 by 4096 picture.
#include "effects/color.h"

#include "bench/bench_support.h"
#include "image/lanes.h"

namespace {

const int kSide = 4096;
const double kPixels = static_cast<double>(kSide) * kSide;

using Pictures = bench::SourcedImages;

// Noise, made once.
Pictures& pictures() {
    static Pictures* p = [] {
        auto* q = new Pictures(kSide, kSide);
        imageRgbaSet(q->icons, 90, 90, 90, 255);
        return q;
    }();
    return *p;
}

// One left-button application over the whole picture; each should stay
// within 8 times a plain copy (x_copy). Arg 1 runs the kernels every x86-64
// has instead of the widest this processor allows.
template <class Adjustment>
void BM_Adjust(benchmark::State& state) {
    Pictures& p = pictures();
    imageRgbaCopy(p.source, p.image);  // undo the adjustments measured before
    simdCap(state.range(0) ? Simd::baseline : Simd::avx512vbmi);
    Adjustment e(p.image, p.backup, p.scratch, p.hud, p.icons, false, point(), point());
    e.leftDown = true;
    bench::measureSquare(state, kSide, [&e] { e.LBAction(); });
    simdCap(Simd::avx512vbmi);
}
#define MORVANE_ADJUST(cls) \
    BENCHMARK_TEMPLATE(BM_Adjust, cls)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)
MORVANE_ADJUST(brightness);
MORVANE_ADJUST(contrast);
MORVANE_ADJUST(saturation);
MORVANE_ADJUST(hue);
MORVANE_ADJUST(colorize);
MORVANE_ADJUST(channel);
MORVANE_ADJUST(gray);
MORVANE_ADJUST(invert);
MORVANE_ADJUST(posterize);
MORVANE_ADJUST(solarize);
#undef MORVANE_ADJUST

// One frame of the overlay: arg 0 the area outline alone, 1 with the whole
// menu (modes, both sliders, palette) on top. The difference is the menu.
void BM_Hud(benchmark::State& state) {
    Pictures& p = pictures();
    effect e(p.image, p.backup, p.scratch, p.hud, p.icons, true, point(10, 10),
             point(kSide - 10, kSide - 10));
    if (state.range(0)) {
        e.menuOn = true;
        e.usesColor = true;
        e.modeCount = 8;
        e.value1Range = limit(0, 10);
        e.value2Range = limit(0, 10);
    }
    bench::measureSquare(state, kSide, [&e] { e.showHud(); });
}
BENCHMARK(BM_Hud)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
