// The artistic filters at their defaults on the 2048 by 1536 photograph, one
// left-button application each, beside a separable box blur of the same
// picture (x_box: the filter's time as a multiple of that blur's).
#include "effects/artistic.h"
#include "image/boxblur.h"

#include "bench/bench_support.h"

#include <chrono>

namespace {

struct Pictures {
    int width, height;
    ImageRGBA *image, *backup, *scratch, *hud, *icons;
};

Pictures& pictures() {
    static Pictures p = [] {
        const ImageRGBA* photo = bench::photo();
        const int w = photo->width, h = photo->height;
        return Pictures{w,
                        h,
                        imageRgbaClone(photo),
                        imageRgbaNew(w, h),
                        imageRgbaNew(w, h),
                        imageRgbaNew(w, h),
                        imageRgbaNew(400, 113)};
    }();
    return p;
}

double pixels() { return static_cast<double>(pictures().width) * pictures().height; }

const float kBoxRadius = 10;  // the blur filter's first mode starts there

void boxBlur(Pictures& p) {
    horizontal_blur(p.scratch, p.image, 0, 0, p.width - 1, p.height - 1, kBoxRadius, 1, 0);
    vertical_blur(p.backup, p.scratch, 0, 0, p.width - 1, p.height - 1, kBoxRadius, 1, 0);
}

// The blur's time per pixel, measured once.
double boxNsPerPixel() {
    static const double ns = [] {
        Pictures& p = pictures();
        imageRgbaCopy(bench::photo(), p.image);
        boxBlur(p);  // warm
        long rounds = 0;
        const auto start = std::chrono::steady_clock::now();
        std::chrono::duration<double, std::nano> spent{};
        do {
            boxBlur(p);
            ++rounds;
            spent = std::chrono::steady_clock::now() - start;
        } while (spent.count() < 5e8);
        return spent.count() / (static_cast<double>(rounds) * pixels());
    }();
    return ns;
}

void BM_BoxBlurPhoto(benchmark::State& state) {
    Pictures& p = pictures();
    imageRgbaCopy(bench::photo(), p.image);
    bench::measure(state, pixels(), p.width, p.height, [&p] { boxBlur(p); });
}
BENCHMARK(BM_BoxBlurPhoto)->Unit(benchmark::kMillisecond);

template <class Filter>
void BM_Artistic(benchmark::State& state) {
    Pictures& p = pictures();
    const double box = boxNsPerPixel();
    imageRgbaCopy(bench::photo(), p.image);
    Filter e(p.image, p.backup, p.scratch, p.hud, p.icons, false, point(), point());
    e.leftDown = true;
    bench::measure(state, pixels(), p.width, p.height, [&e] { e.LBAction(); });
    state.counters["x_box"] = state.counters["ns_per_px"].value / box;
    imageRgbaCopy(bench::photo(), p.image);  // the next filter starts from the photograph
}
BENCHMARK_TEMPLATE(BM_Artistic, chrome)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Artistic, bw)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Artistic, relief)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Artistic, starlight)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Artistic, shine)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Artistic, brush)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Artistic, spatter)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Artistic, cutout)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Artistic, strokes)->Unit(benchmark::kMillisecond);

}  // namespace
