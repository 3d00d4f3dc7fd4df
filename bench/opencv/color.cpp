// The colour adjustments side by side with OpenCV on the photograph, one
// thread each. Each pair runs ours and theirs alternately in every iteration
// so that both see the same machine load; `ratio` is our time over theirs.
#include "effects/color.h"

#include "bench/bench_support.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <chrono>
#include <functional>

namespace {

struct Pictures {
    ImageRGBA *image, *backup, *scratch, *hud, *icons;
    ImageRGBA* theirs;  // OpenCV's output
};

Pictures& pictures() {
    static Pictures p = [] {
        const ImageRGBA* photo = bench::photo();
        const int w = photo->width, h = photo->height;
        Pictures q{imageRgbaClone(photo), imageRgbaNew(w, h), imageRgbaNew(w, h),
                   imageRgbaNew(w, h),     imageRgbaNew(400, 113), imageRgbaNew(w, h)};
        imageRgbaSet(q.icons, 90, 90, 90, 255);
        return q;
    }();
    return p;
}

cv::Mat matOf(ImageRGBA* img) { return cv::Mat(img->height, img->width, CV_8UC4, img->data); }

template <class Adjustment>
void pair(benchmark::State& state, const std::function<void(cv::Mat& src, cv::Mat& dst)>& theirs) {
    cv::setNumThreads(1);
    Pictures& p = pictures();
    imageRgbaCopy(bench::photo(), p.image);
    Adjustment e(p.image, p.backup, p.scratch, p.hud, p.icons, false, point(), point());
    e.leftDown = true;
    cv::Mat src = matOf(p.backup), dst = matOf(p.theirs);
    theirs(src, dst);  // warm: OpenCV allocates its temporaries once

    using Clock = std::chrono::steady_clock;
    Clock::duration ours{}, cv{};
    for (auto _ : state) {
        auto t0 = Clock::now();
        e.LBAction();
        benchmark::ClobberMemory();
        auto t1 = Clock::now();
        theirs(src, dst);
        benchmark::ClobberMemory();
        auto t2 = Clock::now();
        ours += t1 - t0;
        cv += t2 - t1;
    }
    const double pixels = static_cast<double>(p.image->width) * p.image->height * state.iterations();
    const double oursNs = std::chrono::duration<double, std::nano>(ours).count() / pixels;
    const double cvNs = std::chrono::duration<double, std::nano>(cv).count() / pixels;
    state.counters["ours_ns_px"] = oursNs;
    state.counters["cv_ns_px"] = cvNs;
    state.counters["ratio"] = oursNs / cvNs;
}

// OpenCV's single-precision HSV path on RGBA: to float, to HSV, `edit` the
// hue plane, back to RGBA and to bytes.
void hsvRoundTrip(cv::Mat& src, cv::Mat& dst, const std::function<void(cv::Mat& hsv)>& edit) {
    static cv::Mat f, hsv, rgba;
    src.convertTo(f, CV_32FC4, 1.0 / 255);
    cv::cvtColor(f, hsv, cv::COLOR_RGB2HSV);
    edit(hsv);
    cv::cvtColor(hsv, rgba, cv::COLOR_HSV2RGB, 4);
    rgba.convertTo(dst, CV_8UC4, 255);
}

void BM_Brightness(benchmark::State& state) {
    pair<brightness>(state, [](cv::Mat& src, cv::Mat& dst) {
        cv::add(src, cv::Scalar(20, 20, 20, 0), dst);
    });
}

void BM_Invert(benchmark::State& state) {
    // Ours works in place on the picture; so does this.
    pair<invert>(state, [](cv::Mat&, cv::Mat& dst) { cv::bitwise_not(dst, dst); });
}

void BM_Gray(benchmark::State& state) {
    pair<gray>(state, [](cv::Mat& src, cv::Mat& dst) {
        static cv::Mat grey;
        cv::cvtColor(src, grey, cv::COLOR_RGBA2GRAY);
        cv::cvtColor(grey, dst, cv::COLOR_GRAY2RGBA);
    });
}

void BM_Hue(benchmark::State& state) {
    pair<hue>(state, [](cv::Mat& src, cv::Mat& dst) {
        hsvRoundTrip(src, dst, [](cv::Mat& hsv) { cv::add(hsv, cv::Scalar(20, 0, 0), hsv); });
    });
}

void BM_Colorize(benchmark::State& state) {
    pair<colorize>(state, [](cv::Mat& src, cv::Mat& dst) {
        hsvRoundTrip(src, dst, [](cv::Mat& hsv) {
            static cv::Mat fixed;
            if (fixed.size() != hsv.size()) fixed = cv::Mat(hsv.size(), CV_32F, cv::Scalar(20));
            cv::insertChannel(fixed, hsv, 0);
        });
    });
}

// OpenCV's byte HSV path: hue in 0..255 for the full circle.
void BM_HueBytes(benchmark::State& state) {
    pair<hue>(state, [](cv::Mat& src, cv::Mat& dst) {
        static cv::Mat hsv;
        cv::cvtColor(src, hsv, cv::COLOR_RGB2HSV_FULL);
        cv::add(hsv, cv::Scalar(14, 0, 0), hsv);
        cv::cvtColor(hsv, dst, cv::COLOR_HSV2RGB_FULL, 4);
    });
}

BENCHMARK(BM_HueBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Brightness)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Invert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Gray)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Hue)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Colorize)->Unit(benchmark::kMillisecond);

}  // namespace
