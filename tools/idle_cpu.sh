#!/usr/bin/env bash
# Measures how much of one core the program uses on a virtual display while it
# shows a picture: at rest, with the menu open, with an area outlined (with
# and without the menu), and while the scroll tool is dragged. Prints one line per case, the resting one
# first. A measurement, not a test: nothing here passes or fails.
#
#   tools/idle_cpu.sh [picture] [seconds]      (default bench/large.tif, 10)
#   tools/idle_cpu.sh --idle-only [picture] [seconds]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

only_idle=0
if [ "${1:-}" = "--idle-only" ]; then only_idle=1; shift; fi
picture="$(realpath "${1:-$root/bench/large.tif}")"
seconds="${2:-10}"

"$root/tools/setup.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j2 --target morvane >/dev/null

work="$(mktemp -d)"
xvfb=""
app=""
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number to fd 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "idle_cpu.sh: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

ln -s "$root/menu" "$work/menu"
(cd "$work" && exec "$root/build/morvane" "$picture" >/dev/null 2>"$work/err.log") &
app=$!
window="$(timeout 30 xdotool search --sync --onlyvisible --name '^Morvane Application' | head -n1)" || true
if [ -z "$window" ]; then
    echo "idle_cpu.sh: no window appeared; the program said:" >&2
    cat "$work/err.log" >&2
    exit 1
fi
# No window manager here: put the window on screen and give it the keyboard.
xdotool windowmove "$window" 0 0 windowfocus "$window"
xdotool mousemove --window "$window" 256 256
sleep 2  # start-up and the first frames

ticks="$(getconf CLK_TCK)"
cpu_ticks() { awk '{print $14 + $15}' "/proc/$app/stat"; }
# Percent of one core used over $seconds.
measure() {
    local before after
    before="$(cpu_ticks)"
    sleep "$seconds"
    after="$(cpu_ticks)"
    awk -v d="$((after - before))" -v t="$ticks" -v s="$seconds" \
        'BEGIN { printf "%.1f%%", 100 * d / (t * s) }'
}
report() { printf '%-34s %s of a core\n' "$1" "$2"; }

report "picture shown, nothing happening:" "$(measure)"
[ "$only_idle" -eq 1 ] && exit 0

xdotool key space
sleep 1
report "menu open:" "$(measure)"
xdotool key space

# The selection tool, then an area outlined by a drag.
xdotool key F10
sleep 0.5
xdotool mousemove --window "$window" 100 100 mousedown 1
for p in 150 200 250 300 350 400; do xdotool mousemove --window "$window" "$p" "$p"; sleep 0.05; done
xdotool mouseup 1
xdotool mousemove --window "$window" 256 256
sleep 1
report "area outlined:" "$(measure)"
xdotool key space
sleep 1
report "menu open over the area:" "$(measure)"
xdotool key space

# The scroll tool, held and moved in small circles for the whole time.
xdotool key F11
sleep 0.5
xdotool mousemove --window "$window" 256 256 mousedown 1
(
    end=$((SECONDS + seconds + 1))
    while [ $SECONDS -lt $end ]; do
        for p in "266 256" "256 266" "246 256" "256 246"; do
            # shellcheck disable=SC2086
            xdotool mousemove --window "$window" $p
            sleep 0.02
        done
    done
) &
mover=$!
report "dragging the scroll tool:" "$(measure)"
wait "$mover"
xdotool mouseup 1
