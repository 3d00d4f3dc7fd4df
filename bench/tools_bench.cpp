// Costs of the tools' per-frame work and of the convolution, per pixel.
#include "effects/tools.h"
#include "framewk/framewk.h"

#include "bench/bench_support.h"

#include <cmath>
#include <vector>

namespace {

using Images = bench::EffectImages;

const int kScrollSide = 4096;
const double kScrollPixels = double(kScrollSide) * kScrollSide;

// Steps of 3 pixels to the right (argument 3) or to the left (-3).
void BM_ScrollStep(benchmark::State& state) {
    const int step = static_cast<int>(state.range(0));
    Images images(kScrollSide, kScrollSide);
    {
        scroll s(images.image, images.backup, images.scratch, images.hud, images.icons, false,
                 point(), point());
        s.setXY(100, 100);
        s.LB(true);
        int x = 100;
        bench::measure(state, kScrollPixels, kScrollSide, kScrollSide, [&] {
            x += step;
            s.setXY(static_cast<float>(x), 97);
            s.idleAction();
        });
        // The buffers may end exchanged; hand them back for freeing.
        images.image = s.image;
        images.backup = s.backup;
    }
}
BENCHMARK(BM_ScrollStep)->Arg(3)->Arg(-3)->Unit(benchmark::kMillisecond);

// What a scroll step should come close to.
void BM_TwoPlainCopies(benchmark::State& state) {
    Images images(kScrollSide, kScrollSide);
    bench::measure(state, kScrollPixels, kScrollSide, kScrollSide, [&] {
        imageRgbaCopy(images.image, images.backup);
        imageRgbaCopy(images.backup, images.scratch);
    });
}
BENCHMARK(BM_TwoPlainCopies)->Unit(benchmark::kMillisecond);

// One frame of a radius-250 lens moving by a few pixels; per rendered pixel.
void BM_TelescopeFrame(benchmark::State& state) {
    const int mode = static_cast<int>(state.range(0));
    Images images(1024, 1024);
    telescope t(images.image, images.backup, images.scratch, images.hud, images.icons, false,
                point(), point());
    t.changeMode(static_cast<char>(mode));
    t.value1 = 250;
    t.setXY(500, 500);
    t.LB(true);
    double rendered = 0;
    for (int dy = -250; dy < 250; ++dy)
        rendered += 2 * std::floor(std::sqrt(250.0 * 250 - dy * dy));
    int step = 0;
    bench::measure(state, rendered, 1024, 1024, [&] {
        step ^= 1;
        t.setXY(static_cast<float>(500 + 4 * step), 500);
        t.idleAction();
    });
    t.LB(false);
}
BENCHMARK(BM_TelescopeFrame)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond);

// applyMatrix over a 1024 by 1024 area with a kernel of the given radius.
void BM_ApplyMatrix(benchmark::State& state) {
    const int radius = static_cast<int>(state.range(0));
    const int side = 2 * radius + 1;
    Images images(1024, 1024);
    std::vector<float> weights(side * side);
    for (int i = 0; i < side * side; ++i) weights[i] = static_cast<float>(i % 5) - 1.5f;
    matrix kernel(weights.data(), static_cast<char>(radius), static_cast<short>(side));
    const point lo(0, 0), hi(1023, 1023);
    bench::measure(state, 1024.0 * 1024, 1024, 1024, [&] {
        Rgba* out = images.image->data;
        for (int y = 0; y < 1024; ++y) {
            for (int x = 0; x < 1024; ++x)
                out[y * 1024 + x] = applyMatrix(images.backup, &kernel, x, y, lo, hi);
        }
    });
}
BENCHMARK(BM_ApplyMatrix)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond);

}  // namespace
