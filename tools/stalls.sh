#!/usr/bin/env bash
# Whether any shape of picture or pointer position stalls an effect: every key
# and mode, pressed at the centre, a far corner and at the ends of the int
# range, on noise pictures of 4 megapixels in every shape (and one pixel),
# in batch mode. Prints the runs that take longer than LIMIT milliseconds
# beyond opening and saving, and the slowest run of each picture.
# Usage: tools/stalls.sh [BINARY] [LIMIT]      (build/morvane, 1000)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
binary="$(realpath "${1:-$root/build/morvane}")"
limit="${2:-1000}"
noise="$(dirname "$binary")/noisepicture"
[ -x "$noise" ] || { echo "stalls.sh: build $noise first" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
ln -s "$root/menu" "$work/menu"
cd "$work"

ms() {
    local t0 t1 status=0
    t0=$(date +%s%N)
    timeout 60 "$binary" --keys "$1" --output out.tif "$2" >/dev/null 2>&1 || status=$?
    t1=$(date +%s%N)
    echo "$(((t1 - t0) / 1000000)) $status"
}

"$binary" --list >list.txt
for size in 1x4000000 4000000x1 65535x61 2000x2000 1x1; do
    w=${size%x*} h=${size#*x}
    "$noise" "$w" "$h" "$size.tif"
    read -r base _ <<<"$(ms "move:0,0" "$size.tif")"  # start-up as the window's
    worst=0 worstSteps=""
    while IFS=$'\t' read -r key kind name modes; do
        count=1
        [ -n "${modes:-}" ] && count=$(($(tr -cd ',' <<<"$modes" | wc -c) + 1))
        for m in $(seq 1 "$count"); do
            for at in "$((w / 2)),$((h / 2))" "$((w - 1)),$((h - 1))" 2147483647,2147483647 -2147483648,-2147483648; do
                steps="$key F$m press:$at release"
                read -r t status <<<"$(ms "$steps" "$size.tif")"
                t=$((t - base))
                [ "$status" -eq 0 ] || echo "$size: \"$steps\": exit $status after $t ms"
                [ "$t" -gt "$limit" ] && [ "$status" -eq 0 ] && echo "$size: \"$steps\": $t ms"
                if [ "$t" -gt "$worst" ]; then worst=$t worstSteps=$steps; fi
            done
        done
    done <list.txt
    echo "# $size: open and save $base ms; slowest \"$worstSteps\", $worst ms"
done
