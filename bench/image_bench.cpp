// Image library kernels on 1024 and 4096 square pictures, each reported as
// nanoseconds per pixel and as a multiple of a plain copy of the picture.
#include "bench/bench_support.h"
#include "image/boxblur.h"
#include "image/motion.h"
#include "image/sampling.h"

#include <map>

namespace {

struct Pictures {
    ImageRGBA* src;
    ImageRGBA* temp;
    ImageRGBA* dest;
};

// Noise pictures, made once per size and kept for the whole run.
Pictures& picturesOf(int size) {
    static std::map<int, Pictures> cache;
    auto it = cache.find(size);
    if (it != cache.end()) return it->second;
    Pictures p{imageRgbaNew(size, size), imageRgbaNew(size, size), imageRgbaNew(size, size)};
    bench::fillNoise(p.src);
    imageRgbaCopy(p.src, p.temp);
    imageRgbaCopy(p.src, p.dest);
    return cache.emplace(size, p).first->second;
}

// Times `body` over the picture of state.range(0) pixels square.
template <class Body>
void measure(benchmark::State& state, Body body) {
    const int size = static_cast<int>(state.range(0));
    Pictures& p = picturesOf(size);
    bench::measureSquare(state, size, [&] { body(p, size); });
}

void BM_Copy(benchmark::State& state) {
    measure(state, [](Pictures& p, int) { imageRgbaCopy(p.src, p.dest); });
}

void BM_BlurPair(benchmark::State& state) {
    const float radius = static_cast<float>(state.range(1));
    measure(state, [radius](Pictures& p, int size) {
        horizontal_blur(p.temp, p.src, 0, 0, size - 1, size - 1, radius, 1, 0);
        vertical_blur(p.dest, p.temp, 0, 0, size - 1, size - 1, radius, 1, 0);
    });
}

void BM_HorizontalBlur(benchmark::State& state) {
    const float radius = static_cast<float>(state.range(1));
    measure(state, [radius](Pictures& p, int size) {
        horizontal_blur(p.dest, p.src, 0, 0, size - 1, size - 1, radius, 1, 0);
    });
}

void BM_VerticalBlur(benchmark::State& state) {
    const float radius = static_cast<float>(state.range(1));
    measure(state, [radius](Pictures& p, int size) {
        vertical_blur(p.dest, p.src, 0, 0, size - 1, size - 1, radius, 1, 0);
    });
}

void BM_GaussianMode2Radius10(benchmark::State& state) {
    measure(state, [](Pictures& p, int size) {
        gaussian(p.temp, p.dest, 0, 0, size - 1, size - 1, 10, 2, 0);
    });
}

void BM_MotionBlurLength10At45(benchmark::State& state) {
    measure(state, [](Pictures& p, int size) {
        motion_blur(p.dest, p.src, 0, 0, size - 1, size - 1, 10, 45, 1, 0);
    });
}

void BM_InterpolateSweep(benchmark::State& state) {
    measure(state, [](Pictures& p, int size) {
        Rgba* out = p.dest->data;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                *out++ = imageRgbaInterpolate(p.src, static_cast<float>(x) + 0.5f,
                                              static_cast<float>(y) + 0.25f);
            }
        }
    });
}

const int64_t kSizes[] = {1024, 4096};

void sizesOnly(benchmark::internal::Benchmark* b) {
    for (int64_t size : kSizes) b->Args({size});
}

void sizesAndRadii(benchmark::internal::Benchmark* b) {
    for (int64_t size : kSizes) {
        for (int64_t radius : {1, 10, 100}) b->Args({size, radius});
    }
}

}  // namespace

BENCHMARK(BM_Copy)->Apply(sizesOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlurPair)->Apply(sizesAndRadii)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HorizontalBlur)->Apply(sizesAndRadii)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VerticalBlur)->Apply(sizesAndRadii)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GaussianMode2Radius10)->Apply(sizesOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MotionBlurLength10At45)->Apply(sizesOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InterpolateSweep)->Apply(sizesOnly)->Unit(benchmark::kMillisecond);
