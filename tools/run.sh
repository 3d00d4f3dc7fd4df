#!/usr/bin/env bash
# Builds Morvane and opens "in.tif" (or the picture given) from the repository
# root, where it also finds menu/ and writes out.tif and log.txt.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

if [ -z "${DISPLAY:-}" ]; then
    echo "run.sh: no display (DISPLAY is not set). Start it on a virtual one:" >&2
    echo "  xvfb-run -s '-screen 0 1024x768x24' tools/run.sh $*" >&2
    exit 2
fi

"$root/tools/setup.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j2 --target morvane

# The program runs in the repository root: name the caller's files absolutely.
args=()
for a in "$@"; do
    if [ -e "$a" ] && [ "${a#/}" = "$a" ]; then a="$PWD/$a"; fi
    args+=("$a")
done
cd "$root"
exec "$root/build/morvane" "${args[@]}"
