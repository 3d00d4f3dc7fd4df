// Shared by the benchmarks: noise pictures, and timing reported as
// nanoseconds per pixel (ns_per_px) and as a multiple of a plain copy of a
// picture of the same size (x_copy).
#pragma once

#include "image/imagergba.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>

namespace bench {

// Every colour and value occurs, so no rule can take a shortcut; alpha 255.
void fillNoise(ImageRGBA* img, uint32_t seed = 12345);

// The 2048 by 1536 photograph bench/large.tif (dandelion clocks against the
// low sun); read once, never freed. Stops the program when it is missing.
const ImageRGBA* photo();

// What one imageRgbaCopy of a width by height picture costs per pixel,
// measured once per size.
double copyNsPerPixel(int width, int height);

// The five images of an effect, on a noise picture; freed with the object.
// An effect that exchanges two of them hands them back by assignment.
struct EffectImages {
    ImageRGBA *image, *backup, *scratch, *hud, *icons;
    EffectImages(int width, int height);
    ~EffectImages();
    EffectImages(const EffectImages&) = delete;
    EffectImages& operator=(const EffectImages&) = delete;
};

// EffectImages with the noise kept aside, to undo what a measured
// application changed.
struct SourcedImages : EffectImages {
    ImageRGBA* source;
    SourcedImages(int width, int height);
    ~SourcedImages();
};

// Runs `body` once per iteration; `pixels` is the work one call does and
// the copy baseline is taken at copyWidth by copyHeight.
template <class Body>
void measure(benchmark::State& state, double pixels, int copyWidth, int copyHeight, Body body) {
    const double baseline = copyNsPerPixel(copyWidth, copyHeight);
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        body();
        benchmark::ClobberMemory();
    }
    const double ns =
        std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() /
        (static_cast<double>(state.iterations()) * pixels);
    state.counters["ns_per_px"] = ns;
    state.counters["x_copy"] = ns / baseline;
}

// The same for a side by side picture, work and baseline alike.
template <class Body>
void measureSquare(benchmark::State& state, int side, Body body) {
    measure(state, static_cast<double>(side) * side, side, side, body);
}

}  // namespace bench
