// Our convolution and blurs beside OpenCV's cv::filter2D, cv::blur and
// cv::GaussianBlur on the same 2048 by 2048 noise picture, one thread each.
// Besides the two times per pixel, ours_over_cv is our time over theirs.
#include <chrono>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "bench/bench_support.h"
#include "effects/classes.h"
#include "image/bands.h"
#include "image/boxblur.h"
#include "image/motion.h"

namespace {

const int kSide = 2048;
const double kPixels = double(kSide) * kSide;

struct Pictures {
    ImageRGBA *src, *temp, *dest;
    cv::Mat cvSrc, cvDest;
    Pictures() {
        cv::setNumThreads(1);
        bandThreads = 1;
        src = imageRgbaNew(kSide, kSide);
        temp = imageRgbaNew(kSide, kSide);
        dest = imageRgbaNew(kSide, kSide);
        bench::fillNoise(src);
        imageRgbaCopy(src, temp);
        imageRgbaCopy(src, dest);
        cvSrc = cv::Mat(kSide, kSide, CV_8UC4, src->data).clone();
    }
};

Pictures& pictures() {
    static Pictures p;
    return p;
}

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Alternates ours and theirs so that both see the same load.
template <class Ours, class Theirs>
void compare(benchmark::State& state, Ours ours, Theirs theirs) {
    ours();
    theirs();
    double oursTime = 0, theirTime = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        ours();
        oursTime += seconds(start);
        start = std::chrono::steady_clock::now();
        theirs();
        theirTime += seconds(start);
        benchmark::ClobberMemory();
    }
    const double n = static_cast<double>(state.iterations()) * kPixels;
    state.counters["ours_ns_px"] = oursTime * 1e9 / n;
    state.counters["cv_ns_px"] = theirTime * 1e9 / n;
    state.counters["ours_over_cv"] = oursTime / theirTime;
}

// A kernel of the given radius without zero cells, divided by its side.
std::vector<float> weightsOf(int radius) {
    const int side = 2 * radius + 1;
    std::vector<float> w(side * side);
    for (int i = 0; i < side * side; ++i) w[i] = static_cast<float>(i % 5) - 1.5f;
    return w;
}

void BM_Filter2D(benchmark::State& state) {
    Pictures& p = pictures();
    const int radius = static_cast<int>(state.range(0));
    const int side = 2 * radius + 1;
    std::vector<float> w = weightsOf(radius);
    matrix kernel(w.data(), static_cast<char>(radius), static_cast<short>(state.range(1)));
    cv::Mat cvKernel(side, side, CV_32F, w.data());
    cvKernel = cvKernel / side;
    const point lo(0, 0), hi(kSide - 1, kSide - 1);
    compare(
        state,
        [&] {
            convolution rows(p.src, lo, hi, 0, kSide - 1);
            for (int y = 0; y < kSide; ++y)
                rows.row(&kernel, y, 0, kSide - 1, p.dest->data + static_cast<size_t>(y) * kSide);
        },
        [&] { cv::filter2D(p.cvSrc, p.cvDest, -1, cvKernel); });
}
BENCHMARK(BM_Filter2D)
    ->Args({1, 3})
    ->Args({1, 1})
    ->Args({5, 11})
    ->Args({5, 1})
    ->Unit(benchmark::kMillisecond);

// Motion blur of length 5 at 45 degrees against a 7 by 7 diagonal line.
void BM_MotionBlurAgainstLineKernel(benchmark::State& state) {
    Pictures& p = pictures();
    cv::Mat line = cv::Mat::zeros(7, 7, CV_32F);
    for (int i = 0; i < 7; ++i) line.at<float>(i, 6 - i) = 1.0f / 7;
    compare(
        state, [&] { motion_blur(p.dest, p.src, 0, 0, kSide - 1, kSide - 1, 5, 45, 5, 1); },
        [&] { cv::filter2D(p.cvSrc, p.cvDest, -1, line); });
}
BENCHMARK(BM_MotionBlurAgainstLineKernel)->Unit(benchmark::kMillisecond);

// A box of radius r both ways: our two passes against cv::blur.
void BM_Blur(benchmark::State& state) {
    Pictures& p = pictures();
    const int radius = static_cast<int>(state.range(0));
    compare(
        state,
        [&] {
            horizontal_blur(p.temp, p.src, 0, 0, kSide - 1, kSide - 1, radius, 1, 1);
            vertical_blur(p.dest, p.temp, 0, 0, kSide - 1, kSide - 1, radius, 1, 1);
        },
        [&] { cv::blur(p.cvSrc, p.cvDest, cv::Size(2 * radius + 1, 2 * radius + 1)); });
}
BENCHMARK(BM_Blur)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

// The iterated box of radius 5 (passes 5, 4 and 2, a spread of about 4.3
// pixels) against a Gaussian of that spread.
void BM_GaussianBlur(benchmark::State& state) {
    Pictures& p = pictures();
    compare(
        state,
        [&] {
            imageRgbaCopy(p.src, p.dest);
            gaussian(p.temp, p.dest, 0, 0, kSide - 1, kSide - 1, 5, 2, 1);
        },
        [&] { cv::GaussianBlur(p.cvSrc, p.cvDest, cv::Size(0, 0), 4.3); });
}
BENCHMARK(BM_GaussianBlur)->Unit(benchmark::kMillisecond);

}  // namespace
