// The distortions at their defaults on a 4096 by 4096 picture, and the bare
// rand() loops that lines and noise cannot beat.
#include "effects/distort.h"
#include "effects/geometric.h"
#include "image/tiff.h"

#include "bench/bench_support.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

const int kSide = 4096;
const double kPixels = static_cast<double>(kSide) * kSide;

using Pictures = bench::SourcedImages;

// Noise, made once; the glass textures are the program's own.
Pictures& pictures() {
    static Pictures* p = [] {
        auto* q = new Pictures(kSide, kSide);
        bench::fillNoise(q->icons, 777);
        for (int m = 1; m <= 8; ++m) {
            const std::string name =
                std::string(MORVANE_SOURCE_DIR) + "/menu/glass_texture" + std::to_string(m) + ".tif";
            if (ImageRGBA* texture = imageRgbaReadTIFF(name.c_str())) {
                std::copy_n(texture->data, std::min(400, texture->width * texture->height),
                            q->icons->data + (101 - m) * 400);
                imageRgbaFree(texture);
            }
        }
        return q;
    }();
    return *p;
}

// One left-button application over the whole picture at the defaults (the
// constructor applies once before the timing starts). Arg: the mode, or 0
// for the default mode.
template <class Distortion>
void BM_Distort(benchmark::State& state) {
    Pictures& p = pictures();
    imageRgbaCopy(p.source, p.image);
    Distortion e(p.image, p.backup, p.scratch, p.hud, p.icons, false, point(), point());
    if (state.range(0)) e.changeMode(static_cast<char>(state.range(0)));
    e.leftDown = true;
    bench::measureSquare(state, kSide, [&e] { e.LBAction(); });
}
BENCHMARK_TEMPLATE(BM_Distort, mosaic)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Distort, box)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Distort, comb)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Distort, dots)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Distort, rgbdots)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Distort, glass)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Distort, lines)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Distort, noise)->Arg(0)->Unit(benchmark::kMillisecond);

// Glass with the light on at full intensity.
void BM_GlassLit(benchmark::State& state) {
    Pictures& p = pictures();
    imageRgbaCopy(p.source, p.image);
    glass e(p.image, p.backup, p.scratch, p.hud, p.icons, false, point(), point());
    e.param3 = 2;
    e.leftDown = true;
    bench::measureSquare(state, kSide, [&e] { e.LBAction(); });
}
BENCHMARK(BM_GlassLit)->Unit(benchmark::kMillisecond);

// The rand() calls lines makes at its defaults (runs of 1 to 50 along every
// row), with nothing else.
void BM_RandForLines(benchmark::State& state) {
    bench::measureSquare(state, kSide, [] {
        int sink = 0;
        for (int row = 0; row < kSide; ++row) {
            for (int s = 0, n = 0; s < kSide - 1;) {
                s += n;
                n = std::rand() % 50 + 1;
                sink += n;
            }
        }
        benchmark::DoNotOptimize(sink);
    });
}
BENCHMARK(BM_RandForLines)->Unit(benchmark::kMillisecond);

// The rand() calls noise makes at its defaults: four a pixel.
void BM_RandForNoise(benchmark::State& state) {
    bench::measureSquare(state, kSide, [] {
        int sink = 0;
        for (long i = 0; i < 4L * kSide * kSide; ++i) sink += std::rand();
        benchmark::DoNotOptimize(sink);
    });
}
BENCHMARK(BM_RandForNoise)->Unit(benchmark::kMillisecond);

}  // namespace
