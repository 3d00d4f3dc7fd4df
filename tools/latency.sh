#!/usr/bin/env bash
# How long each effect takes to answer, replayed in batch mode on a picture,
# best of three: its key at the defaults, less opening and saving alone; each
# mode's function key after it, less the key alone. Warps are pressed at the
# centre, tools dragged from a quarter of the picture to its centre.
# Usage: tools/latency.sh [PICTURE] [BINARY]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
picture="$(realpath "${1:-$root/bench/large.tif}")"
binary="$(realpath "${2:-$root/build/morvane}")"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
ln -s "$root/menu" "$work/menu"
cd "$work"

read -r w h <<<"$(identify -format '%w %h' "$picture[0]")"
c="$((w / 2)),$((h / 2))"
q="$((w / 4)),$((h / 4))"

# Best of three, in milliseconds.
best() {
    local least=""
    for _ in 1 2 3; do
        local t0 t1
        t0=$(date +%s%N)
        "$binary" --keys "$1" --output out.tif "$picture" >/dev/null 2>&1 ||
            { echo "latency.sh: --keys \"$1\" failed" >&2; exit 1; }
        t1=$(date +%s%N)
        local ms=$(((t1 - t0) / 1000000))
        if [ -z "$least" ] || [ "$ms" -lt "$least" ]; then least=$ms; fi
    done
    echo "$least"
}

# A step that does nothing (the pointer moving with no button held), so that
# start-up is the window's: with nothing to replay, batch mode would skip the
# copy of the picture kept for Backspace.
base=$(best "move:0,0")
printf '# %s, %dx%d; open and save alone: %d ms\n' "$(basename "$picture")" "$w" "$h" "$base"
printf '%-10s %-16s %-5s %6s\n' key effect mode ms

# --list: key, kind, name and the mode names, separated by commas.
"$binary" --list >list.txt
while IFS=$'\t' read -r key kind name modes; do
    count=1
    [ -n "${modes:-}" ] && count=$(($(tr -cd ',' <<<"$modes" | wc -c) + 1))
    case "$kind" in
        warp) use=" press:$c release" ;;
        tool) use=" press:$q move:$c release" ;;
        *) use="" ;;
    esac
    alone=$(best "$key$use")
    printf '%-10s %-16s %-5s %6d\n' "$key" "$name" key "$((alone > base ? alone - base : 0))"
    [ "$count" -gt 1 ] || continue
    for m in $(seq 1 "$count"); do
        t=$(best "$key F$m$use")
        printf '%-10s %-16s %-5s %6d\n' "$key" "$name" "F$m" "$((t > alone ? t - alone : 0))"
    done
done <list.txt
