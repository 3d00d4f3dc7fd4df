#!/usr/bin/env bash
# Open and save alone (--keys ""), beside libvips' `vips copy` and
# ImageMagick's `convert` where they are installed (yardsticks only, never
# dependencies): TIFF (LZW in), PNG and JPEG in and out, at the size of the
# bundled photograph and at 6000 by 4000 made from it. Best of five, in
# seconds of wall time, and in brackets the processor seconds of that run.
# Usage: tools/iospeed.sh [BINARY]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
binary="$(realpath "${1:-$root/build/morvane}")"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

photo="$root/bench/large.tif"
convert "$photo" -compress lzw small.tif
convert "$photo" -resize 6000x4000^ -gravity center -extent 6000x4000 -compress lzw big.tif
for s in small big; do
    convert "$s.tif" "$s.png"
    convert "$s.tif" -quality 92 "$s.jpg"
done

# Best of five: "wall cpu" in seconds.
best() {
    local least="" cpu=""
    for _ in 1 2 3 4 5; do
        /usr/bin/time -o times -f '%e %U %S' "$@" >/dev/null 2>&1
        read -r wall user sys <times
        if [ -z "$least" ] || awk "BEGIN{exit !($wall < $least)}"; then
            least=$wall
            cpu=$(awk "BEGIN{print $user + $sys}")
        fi
    done
    echo "$least ($cpu)"
}

printf '%-6s %-10s %16s %16s %16s\n' format size morvane "vips copy" convert
for s in small big; do
    for f in tif png jpg; do
        ours=$(best "$binary" --keys "" --output "out.$f" "$s.$f")
        vips="-"
        command -v vips >/dev/null && vips=$(best vips copy "$s.$f" "vips.$f")
        im="-"
        command -v convert >/dev/null && im=$(best convert "$s.$f" "im.$f")
        printf '%-6s %-10s %16s %16s %16s\n' "$f" "$(identify -format '%wx%h' "$s.tif")" \
            "$ours" "$vips" "$im"
    done
done
