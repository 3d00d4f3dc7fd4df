// Work shared by the two cores in disjoint bands of rows or columns.
#pragma once

#include <functional>

// The most threads a banded loop uses: 2 where the machine has two cores.
// Benchmarks set 1 to compare with single-threaded libraries.
extern int bandThreads;

// Calls body(first, last) on parts of from..to that cover it once, shared
// between the caller and a helper thread when `work` (pixels) pays for it.
// The parts must not depend on each other, nor on their order.
void inBands(int from, int to, double work, const std::function<void(int, int)>& body);
