#!/usr/bin/env bash
# Plays random events at the program under AddressSanitizer and
# UndefinedBehaviorSanitizer, niced: by default 15 rounds of 10000 events on
# each of the seven pictures (about a million), or: tools/monkey.sh ROUNDS
# [EVENTS] [SEED]. A fault is shrunk and written to build-san/monkey-fault.txt;
# replay it with: build-san/monkey --replay build-san/monkey-fault.txt
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
rounds="${1:-15}"
events="${2:-10000}"
seed="${3:-$(date +%s)}"

"$root/tools/setup.sh"
cmake -S "$root" -B "$root/build-san" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMORVANE_SANITIZE=ON -DMORVANE_E2E=OFF -DMORVANE_BENCH=OFF >/dev/null
cmake --build "$root/build-san" -j2 --target monkey
echo "monkey.sh: seed $seed" >&2
exec nice -n 19 "$root/build-san/monkey" --rounds "$rounds" --events "$events" --seed "$seed" \
    --out "$root/build-san/monkey-fault.txt"
