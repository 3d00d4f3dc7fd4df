// The colour adjustments and the menu overlay on a 4096 by 4096 picture, in
// time per pixel ("per_pixel", e.g. 1.5n = 1.5 ns), next to a plain copy of the
// same picture as the baseline.
#include "effects/color.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

const int kSide = 4096;
const double kPixels = static_cast<double>(kSide) * kSide;

struct Pictures {
    ImageRGBA* image;
    ImageRGBA* backup;
    ImageRGBA* scratch;
    ImageRGBA* hud;
    ImageRGBA* icons;
};

// Made once and kept: every colour and value occurs, so no rule takes a shortcut.
Pictures& pictures() {
    static Pictures p = [] {
        Pictures q{imageRgbaNew(kSide, kSide), imageRgbaNew(kSide, kSide), imageRgbaNew(kSide, kSide),
                   imageRgbaNew(kSide, kSide), imageRgbaNew(400, 113)};
        uint32_t h = 12345;
        for (int i = 0; i < kSide * kSide; ++i) {
            h = h * 1664525u + 1013904223u;
            q.image->data[i] = Rgba{static_cast<unsigned char>(h >> 8), static_cast<unsigned char>(h >> 16),
                                    static_cast<unsigned char>(h >> 24), 255};
        }
        imageRgbaSet(q.icons, 90, 90, 90, 255);
        return q;
    }();
    return p;
}

void perPixel(benchmark::State& state) {
    state.counters["per_pixel"] = benchmark::Counter(
        kPixels, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Copy(benchmark::State& state) {
    Pictures& p = pictures();
    for (auto _ : state) {
        imageRgbaCopy(p.backup, p.image);
        benchmark::ClobberMemory();
    }
    perPixel(state);
}
BENCHMARK(BM_Copy)->Unit(benchmark::kMillisecond);

// One left-button application over the whole picture.
template <class Adjustment>
void BM_Adjust(benchmark::State& state) {
    Pictures& p = pictures();
    Adjustment e(p.image, p.backup, p.scratch, p.hud, p.icons, false, point(), point());
    e.leftDown = true;
    for (auto _ : state) {
        e.LBAction();
        benchmark::ClobberMemory();
    }
    perPixel(state);
}
BENCHMARK_TEMPLATE(BM_Adjust, brightness)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Adjust, contrast)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Adjust, saturation)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Adjust, hue)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Adjust, colorize)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Adjust, channel)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Adjust, gray)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Adjust, invert)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Adjust, posterize)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Adjust, solarize)->Unit(benchmark::kMillisecond);

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
    for (auto _ : state) {
        e.showHud();
        benchmark::ClobberMemory();
    }
    perPixel(state);
}
BENCHMARK(BM_Hud)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
