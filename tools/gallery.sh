#!/usr/bin/env bash
# Renders every effect the program has at its defaults on in.tif in batch mode
# and assembles them, each named under its thumbnail, into docs/gallery.jpg;
# then photographs the window with the menu open on a virtual display into
# docs/menu.png. Warps get a press at the picture's centre, tools a drag
# through it. Rerun it whenever effects change: tools/gallery.sh
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
program="$root/build/morvane"
picture="$root/in.tif"

# Polls the command until it succeeds; fails after about ten seconds.
wait_until() {
    local tries=0
    until "$@"; do
        tries=$((tries + 1))
        [ $tries -lt 200 ] || return 1
        sleep 0.05
    done
}

title_has() { [[ "$(xdotool getwindowname "$1")" == *"$2"* ]]; }

# The window differs from the picture in $1 (and is saved as $2).
shot_differs() { import -window "$window" "$2" && [ "$(compare -metric AE "$1" "$2" null: 2>&1 || true)" != 0 ]; }

# The window with the draw tool's menu (modes, sliders, palette) open, into
# $1. Runs on the display xvfb-run gives it.
menu_shot() {
    local shot="$1" work
    work="$(mktemp -d)"
    ln -s "$root/menu" "$work/menu"
    (cd "$work" && exec "$program" "$picture") >/dev/null 2>&1 &
    local pid=$!
    window="$(timeout 20 xdotool search --sync --onlyvisible --name '^Morvane Application')"
    # The pointer at the window's top-left corner shows the picture's.
    # (xdotool's complaints about the focus on a display without a window manager are noise.)
    xdotool mousemove --window "$window" 0 0 key --window "$window" F9 2>/dev/null
    wait_until title_has "$window" "| Draw |"
    import -window "$window" "$work/before.png"
    xdotool key --window "$window" space 2>/dev/null
    if ! wait_until shot_differs "$work/before.png" "$work/after.png"; then
        echo "gallery.sh: the menu did not show" >&2
        kill "$pid"
        exit 1
    fi
    import -window "$window" "$shot"
    kill "$pid"
    rm -rf "$work"
}
if [ "${1:-}" = "--menu-shot" ]; then
    menu_shot "$2"
    exit 0
fi

"$root/tools/setup.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j2 --target morvane

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
ln -s "$root/menu" "$work/menu"  # the program reads its icons from the working folder
cd "$work"

read -r width height < <(identify -format '%w %h\n' "$picture")
cx=$((width / 2)) cy=$((height / 2))
montage_args=(-label "Original" "$picture")
n=0
while IFS=$'\t' read -r key kind name _; do
    case "$kind" in
        warp) steps="$key press:$cx,$cy release" ;;
        tool) steps="$key press:$((cx / 2)),$((cy / 2)) move:$cx,$cy move:$((3 * cx / 2)),$((3 * cy / 2)) release" ;;
        *) steps="$key" ;;
    esac
    n=$((n + 1))
    out="$(printf '%02d' $n).tif"
    "$program" --keys "$steps" --output "$out" "$picture"
    montage_args+=(-label "$name" "$out")
done < <("$program" --list)

mkdir -p "$root/docs"
# -quiet: our files carry alpha without an ExtraSamples tag, which it warns about.
montage -quiet -font DejaVu-Sans -pointsize 15 -background white "${montage_args[@]}" \
    -tile 6x -geometry "200x$((200 * height / width))+6+6" -quality 85 "$root/docs/gallery.jpg"
xvfb-run -a -s '-screen 0 1024x768x24' "$root/tools/gallery.sh" --menu-shot "$root/docs/menu.png"
echo "gallery.sh: $n effects in docs/gallery.jpg, the menu in docs/menu.png"
