#!/usr/bin/env bash
# Prints one line per key sequence: the checksum of the picture and of the log
# that batch mode gives for it, over every catalogue key, every mode and a few
# value steps, with and without an area. Two builds that print the same lines
# give the same pictures:
#   tools/outputs.sh build/morvane picture.tif > before.txt
# Usage: tools/outputs.sh [BINARY] [PICTURE]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
binary="$(realpath "${1:-$root/build/morvane}")"
picture="$(realpath "${2:-$root/in.tif}")"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
ln -s "$root/menu" "$work/menu"
cd "$work"

# The centre and a quarter point of the picture (ImageMagick, from setup.sh).
read -r w h <<<"$(identify -format '%w %h' "$picture[0]")"
c="$((w / 2)),$((h / 2))"
q="$((w / 4)),$((h / 4))"

run() {
    rm -f out.tif log.txt
    local status=0
    "$binary" --keys "$1" --output out.tif "$picture" 2>err.txt || status=$?
    printf '%s\t%s\t%s\t%s\n' "$1" "$status" \
        "$( [ -f out.tif ] && md5sum <out.tif | cut -c1-32 || echo none)" \
        "$( [ -f log.txt ] && md5sum <log.txt | cut -c1-32 || echo none)"
}

for key in $("$binary" --list | cut -f1); do
    run "$key"
    for m in 1 2 3 4 5 6 7 8; do run "$key F$m press:$c release"; done
    run "$key Up Up Right Right press:$c release"
    run "$key Down Down Left Left press:$c move:$q release"
    run "$key End Delete Page_Down Page_Down press:$c release"
    run "F10 press:$q move:$c release $key F2 Up press:$q release"
done
