// The colour adjustments side by side with OpenCV on the photograph, one
// thread each. Each pair runs ours and theirs alternately in every iteration
// so that both see the same machine load; `ratio` is our time over theirs.
// Hue and colorize are held against OpenCV's byte HSV path (the fast one) and,
// for reference, its single-precision one (our arithmetic).
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

// OpenCV's HSV path on RGBA, in bytes (hue 0..255 around the circle) or in
// single precision like ours: to HSV, `edit` the hue plane, back to RGBA.
void hsvBytes(cv::Mat& src, cv::Mat& dst, const std::function<void(cv::Mat& hsv)>& edit) {
    static cv::Mat hsv;
    cv::cvtColor(src, hsv, cv::COLOR_RGB2HSV_FULL);
    edit(hsv);
    cv::cvtColor(hsv, dst, cv::COLOR_HSV2RGB_FULL, 4);
}

void hsvFloat(cv::Mat& src, cv::Mat& dst, const std::function<void(cv::Mat& hsv)>& edit) {
    static cv::Mat f, hsv, rgba;
    src.convertTo(f, CV_32FC4, 1.0 / 255);
    cv::cvtColor(f, hsv, cv::COLOR_RGB2HSV);
    edit(hsv);
    cv::cvtColor(hsv, rgba, cv::COLOR_HSV2RGB, 4);
    rgba.convertTo(dst, CV_8UC4, 255);
}

void shiftHue(cv::Mat& hsv, double by) { cv::add(hsv, cv::Scalar(by, 0, 0), hsv); }

void setHue(cv::Mat& hsv, double to) {
    static cv::Mat plane;
    if (plane.size() != hsv.size() || plane.depth() != hsv.depth()) {
        plane = cv::Mat(hsv.size(), hsv.depth(), cv::Scalar(to));
    }
    cv::insertChannel(plane, hsv, 0);
}

void BM_Brightness(benchmark::State& state) {
    pair<brightness>(state, [](cv::Mat& src, cv::Mat& dst) {
        cv::add(src, cv::Scalar(20, 20, 20, 0), dst);
    });
}

void BM_Invert(benchmark::State& state) {
    // Ours works in place on the picture; so does this, on the same picture.
    cv::Mat picture = matOf(pictures().image);
    pair<invert>(state, [picture](cv::Mat&, cv::Mat&) mutable { cv::bitwise_not(picture, picture); });
}

void BM_Gray(benchmark::State& state) {
    pair<gray>(state, [](cv::Mat& src, cv::Mat& dst) {
        static cv::Mat grey;
        cv::cvtColor(src, grey, cv::COLOR_RGBA2GRAY);
        cv::cvtColor(grey, dst, cv::COLOR_GRAY2RGBA);
    });
}

// 20 degrees are 14 steps of the byte hue.
void BM_Hue(benchmark::State& state) {
    pair<hue>(state, [](cv::Mat& src, cv::Mat& dst) {
        hsvBytes(src, dst, [](cv::Mat& hsv) { shiftHue(hsv, 14); });
    });
}

void BM_Colorize(benchmark::State& state) {
    pair<colorize>(state, [](cv::Mat& src, cv::Mat& dst) {
        hsvBytes(src, dst, [](cv::Mat& hsv) { setHue(hsv, 14); });
    });
}

void BM_HueSinglePrecision(benchmark::State& state) {
    pair<hue>(state, [](cv::Mat& src, cv::Mat& dst) {
        hsvFloat(src, dst, [](cv::Mat& hsv) { shiftHue(hsv, 20); });
    });
}

void BM_ColorizeSinglePrecision(benchmark::State& state) {
    pair<colorize>(state, [](cv::Mat& src, cv::Mat& dst) {
        hsvFloat(src, dst, [](cv::Mat& hsv) { setHue(hsv, 20); });
    });
}

BENCHMARK(BM_Brightness)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Invert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Gray)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Hue)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Colorize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HueSinglePrecision)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColorizeSinglePrecision)->Unit(benchmark::kMillisecond);

}  // namespace
