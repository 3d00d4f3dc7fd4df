#!/usr/bin/env bash
# Builds everything and runs the tests: unit tests, the catalogue torture and
# the monkey under AddressSanitizer and UndefinedBehaviorSanitizer
# (build-san/), the unit tests once more on the plain code without vector
# instructions (build-plain/), a bounded fuzzing of the picture reader
# (build-fuzz/, clang), end-to-end tests on the normal build (build/). Exits
# non-zero when anything fails.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

"$root/tools/setup.sh"

cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMORVANE_SANITIZE=OFF -DMORVANE_E2E=ON -DMORVANE_BENCH=ON
cmake --build "$root/build" -j2
cmake -S "$root" -B "$root/build-san" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMORVANE_SANITIZE=ON -DMORVANE_E2E=OFF -DMORVANE_BENCH=OFF
cmake --build "$root/build-san" -j2
# The plain code that MORVANE_NO_SIMD builds instead of the vector kernels.
cmake -S "$root" -B "$root/build-plain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMORVANE_SANITIZE=OFF -DMORVANE_E2E=OFF -DMORVANE_BENCH=OFF \
    -DCMAKE_CXX_FLAGS=-DMORVANE_NO_SIMD=1
cmake --build "$root/build-plain" -j2 --target unit_tests

# The picture reader's fuzz target needs clang's libFuzzer: its own build.
fuzz=0
if command -v clang++ >/dev/null 2>&1; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DMORVANE_E2E=OFF -DMORVANE_BENCH=OFF
    cmake --build "$root/build-fuzz" -j2 --target read_fuzzer fuzz_seeds
    fuzz=1
fi

status=0
# Unit tests, the catalogue torture and the monkey, all under the sanitizers.
ctest --test-dir "$root/build-san" -L unit -j2 --no-tests=error --output-on-failure || status=1
ctest --test-dir "$root/build-plain" -L unit -LE monkey -j2 --no-tests=error --output-on-failure \
    || status=1
if [ $fuzz -eq 1 ]; then
    ctest --test-dir "$root/build-fuzz" -L fuzz --no-tests=error --output-on-failure || status=1
fi
# One at a time: each test runs the program on its own Xvfb, and software
# rendering already keeps both cores busy.
ctest --test-dir "$root/build" -L e2e --no-tests=error --output-on-failure || status=1

if [ $status -ne 0 ]; then
    echo "test.sh: FAILED" >&2
else
    echo "test.sh: all tests passed"
fi
exit $status
