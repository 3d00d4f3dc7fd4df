// The convolution filters, every mode at its defaults, on a 2048 by 2048
// picture, and the area convolution alone at radius 1 and 5 on one thread;
// per pixel and as a multiple of a plain copy.
#include <memory>
#include <vector>

#include "bench/bench_support.h"
#include "effects/matrices.h"
#include "framewk/framewk.h"

namespace {

const int kSide = 2048;
const double kPixels = double(kSide) * kSide;

template <class Filter>
void BM_Filter(benchmark::State& state) {
    const int mode = static_cast<int>(state.range(0));
    bench::EffectImages images(kSide, kSide);
    {
        Filter f(images.image, images.backup, images.scratch, images.hud, images.icons, false,
                 point(), point());
        f.setXY(kSide / 2 + 17, kSide / 2 - 31);  // the centre of the radial and spheric blurs
        f.changeMode(static_cast<char>(mode));
        bench::measure(state, kPixels, kSide, kSide, [&] { f.reapply(); });
        // Blur may leave image and scratch exchanged.
        images.image = f.image;
        images.scratch = f.scratch;
    }
}

void modes(benchmark::internal::Benchmark* b, int count) {
    for (int m = 1; m <= count; ++m) b->Arg(m);
    b->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK_TEMPLATE(BM_Filter, blur)->Apply([](auto* b) { modes(b, 7); });
BENCHMARK_TEMPLATE(BM_Filter, sharpen)->Apply([](auto* b) { modes(b, 3); });
BENCHMARK_TEMPLATE(BM_Filter, edge)->Apply([](auto* b) { modes(b, 8); });
BENCHMARK_TEMPLATE(BM_Filter, emboss)->Apply([](auto* b) { modes(b, 8); });
BENCHMARK_TEMPLATE(BM_Filter, separate)->Apply([](auto* b) { modes(b, 1); });
BENCHMARK_TEMPLATE(BM_Filter, halfblur)->Apply([](auto* b) { modes(b, 2); });
BENCHMARK_TEMPLATE(BM_Filter, whiteblur)->Apply([](auto* b) { modes(b, 2); });
BENCHMARK_TEMPLATE(BM_Filter, blackblur)->Apply([](auto* b) { modes(b, 2); });

// Blur modes 1 to 4 at other radii: modes 1, 3 and 4 make one pass (pair)
// whatever the radius; mode 2 makes more pass pairs as its radius grows.
void BM_BlurAtRadius(benchmark::State& state) {
    bench::EffectImages images(kSide, kSide);
    {
        blur f(images.image, images.backup, images.scratch, images.hud, images.icons, false,
               point(), point());
        f.changeMode(static_cast<char>(state.range(0)));
        f.value1 = static_cast<float>(state.range(1));
        bench::measure(state, kPixels, kSide, kSide, [&] { f.reapply(); });
        images.image = f.image;
        images.scratch = f.scratch;
    }
}
BENCHMARK(BM_BlurAtRadius)
    ->Args({1, 250})
    ->Args({2, 2})
    ->Args({2, 10})
    ->Args({2, 20})
    ->Args({2, 50})
    ->Args({2, 100})
    ->Args({3, 250})
    ->Args({4, 250})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The area convolution over the whole picture on one thread, with a kernel
// of the given radius without zero cells.
void BM_AreaConvolution(benchmark::State& state) {
    const int radius = static_cast<int>(state.range(0));
    const int side = 2 * radius + 1;
    ImageRGBA* src = imageRgbaNew(kSide, kSide);
    ImageRGBA* dest = imageRgbaNew(kSide, kSide);
    bench::fillNoise(src);
    std::vector<float> weights(side * side);
    for (int i = 0; i < side * side; ++i) weights[i] = static_cast<float>(i % 5) - 1.5f;
    matrix kernel(weights.data(), static_cast<char>(radius), static_cast<short>(side));
    const point lo(0, 0), hi(kSide - 1, kSide - 1);
    bench::measure(state, kPixels, kSide, kSide, [&] {
        convolution rows(src, lo, hi, 0, kSide - 1);
        for (int y = 0; y < kSide; ++y)
            rows.row(&kernel, y, 0, kSide - 1, dest->data + static_cast<size_t>(y) * kSide);
    });
    imageRgbaFree(src);
    imageRgbaFree(dest);
}
BENCHMARK(BM_AreaConvolution)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond);

}  // namespace
