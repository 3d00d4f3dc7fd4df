#!/usr/bin/env bash
# Builds everything and runs the tests: unit tests under AddressSanitizer and
# UndefinedBehaviorSanitizer (build-san/), end-to-end tests on the normal
# build (build/). Exits non-zero when anything fails.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

"$root/tools/setup.sh"

cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMORVANE_SANITIZE=OFF -DMORVANE_E2E=ON -DMORVANE_BENCH=ON
cmake --build "$root/build" -j2
cmake -S "$root" -B "$root/build-san" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMORVANE_SANITIZE=ON -DMORVANE_E2E=OFF -DMORVANE_BENCH=OFF
cmake --build "$root/build-san" -j2

status=0
ctest --test-dir "$root/build-san" -L unit -j2 --no-tests=error --output-on-failure || status=1
# One at a time: each test runs the program on its own Xvfb, and software
# rendering already keeps both cores busy.
ctest --test-dir "$root/build" -L e2e --no-tests=error --output-on-failure || status=1

if [ $status -ne 0 ]; then
    echo "test.sh: FAILED" >&2
else
    echo "test.sh: all tests passed"
fi
exit $status
