#include "image/bands.h"

#include <algorithm>
#include <system_error>
#include <thread>

int bandThreads = std::min(2u, std::max(1u, std::thread::hardware_concurrency()));

namespace {
// Below this a thread costs more than it saves.
const double kWorkPerThread = 1 << 15;
}  // namespace

void inBands(int from, int to, double work, const std::function<void(int, int)>& body) {
    if (from > to) return;
    if (bandThreads < 2 || from == to || work < 2 * kWorkPerThread) {
        body(from, to);
        return;
    }
    const int middle = from + (to - from) / 2;
    std::thread lower;
    try {
        lower = std::thread(body, middle + 1, to);
    } catch (const std::system_error&) {
        body(from, to);  // no thread to be had
        return;
    }
    body(from, middle);
    lower.join();
}
