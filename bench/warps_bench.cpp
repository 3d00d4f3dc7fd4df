// The warps: one render over a 1920 by 1080 area per mode, nearest and
// bilinear, at the default settings and the largest radius or bevel; and
// frames a second of a drag over the 2048 by 1536 photograph through the
// shell.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>

#include "bench/bench_support.h"
#include "effects/geometric.h"
#include "framewk/framewk.h"
#include "morvane.h"

namespace {

const int kW = 1920, kH = 1080;
const double kPixels = static_cast<double>(kW) * kH;

// Pointer in the middle, default settings or value1 at its largest (the
// radius of bubble, lens and twirl, where every pixel of the area moves, and
// buttonize's bevel, where it is all frame); arguments: mode, bilinear,
// largest. Process time counts both cores' work.
template <class Warp>
void BM_Warp(benchmark::State& state) {
    bench::EffectImages p(kW, kH);
    Warp e(p.image, p.backup, p.scratch, p.hud, p.icons, false, point(), point());
    e.changeMode(static_cast<char>(state.range(0)));
    e.warpToggle = state.range(1) != 0;
    if (state.range(2) != 0) e.value1 = static_cast<float>(e.value1Range.max);
    e.setXY(kW / 2, kH / 2);
    e.leftDown = true;
    bench::measure(state, kPixels, kW, kH, [&e] { e.idleAction(); });
}

void modes(benchmark::internal::Benchmark* b, int count, bool radius) {
    for (int largest = 0; largest <= (radius ? 1 : 0); ++largest) {
        for (int m = 1; m <= count; ++m) b->Args({m, 0, largest})->Args({m, 1, largest});
    }
    b->ArgNames({"mode", "bilinear", "largest"})
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
}
BENCHMARK_TEMPLATE(BM_Warp, ripple)->Apply([](auto* b) { modes(b, 4, false); });
BENCHMARK_TEMPLATE(BM_Warp, bubble)->Apply([](auto* b) { modes(b, 4, true); });
BENCHMARK_TEMPLATE(BM_Warp, wave)->Apply([](auto* b) { modes(b, 3, false); });
BENCHMARK_TEMPLATE(BM_Warp, lens)->Apply([](auto* b) { modes(b, 4, true); });
BENCHMARK_TEMPLATE(BM_Warp, twirl)->Apply([](auto* b) { modes(b, 2, true); });
BENCHMARK_TEMPLATE(BM_Warp, buttonize)->Apply([](auto* b) { modes(b, 2, true); });

// A drag through the shell on the photograph, in a scratch folder (the shell
// writes log.txt there and reads the icons through a link): press, then per
// frame one motion, one idle tick and the redraw. Arguments: the warp's
// shortcut key, and whether the pointer moves (buttonize takes one event a
// frame, so a moving pointer would skip its idle ticks: it is held still).
// Reports frames a second; the texture upload by OpenGL is not part of it.
void BM_Drag(benchmark::State& state) {
    char folder[] = "/tmp/morvane-bench-XXXXXX";
    if (!mkdtemp(folder)) {
        state.SkipWithError("no scratch folder");
        return;
    }
    const std::string dir = folder, menu = dir + "/menu", log = dir + "/log.txt";
    const std::string photo = MORVANE_SOURCE_DIR "/bench/large.tif";
    char* cwd = getcwd(nullptr, 0);
    const std::string previous = cwd ? cwd : ".";
    std::free(cwd);
    if (symlink(MORVANE_SOURCE_DIR "/menu", menu.c_str()) != 0 || chdir(folder) != 0) {
        state.SkipWithError("cannot prepare the scratch folder");
        return;
    }
    int argc = 2;
    const char* argv[] = {"morvane", photo.c_str(), nullptr};
    morvaneStart(&argc, argv);
    keyboardCB(static_cast<unsigned char>(state.range(0)), 0, 0);
    const bool moving = state.range(1) != 0;
    const int w = original->width, h = original->height;
    mouseCB(0, 0, w / 2.0f, h / 2.0f);
    idleCB();
    long frames = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        // Around a circle through most of the picture.
        const double a = frames++ * 0.05;
        if (moving) {
            motionCB(static_cast<float>(w / 2 + w / 3 * std::cos(a)),
                     static_cast<float>(h / 2 + h / 3 * std::sin(a)));
        }
        idleCB();
        fwkRedrawCB();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.counters["fps"] = frames / seconds;
    mouseCB(0, 1, 0, 0);
    morvaneShutdown();
    std::remove(log.c_str());
    std::remove(menu.c_str());
    rmdir(folder);
    if (chdir(previous.c_str()) != 0) std::abort();
}
BENCHMARK(BM_Drag)
    ->Args({'q', 1})
    ->Args({'w', 1})
    ->Args({'e', 1})
    ->Args({'r', 1})
    ->Args({'t', 1})
    ->Args({'z', 0})
    ->ArgNames({"key", "moving"})
    ->Unit(benchmark::kMillisecond);

}  // namespace
