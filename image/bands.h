// Work shared by the two cores in disjoint bands of rows or columns.
#pragma once

#include <functional>

// The most threads a banded loop uses: 2 where the machine has two cores.
// Benchmarks set 1 to compare with single-threaded libraries.
extern int bandThreads;

// Calls body(first, last) on parts of from..to that cover it once, two of
// them at a time on two threads when `work` (pixels) pays for a thread.
// The parts must not depend on each other.
void inBands(int from, int to, double work, const std::function<void(int, int)>& body);
