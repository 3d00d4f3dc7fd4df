#!/usr/bin/env bash
# Installs what building, running and testing Morvane need, and only what is
# missing, so a second run is quick and silent.
set -euo pipefail

packages=(
    g++ cmake make                       # toolchain
    pkg-config                           # finds the picture libraries
    libtiff-dev libturbojpeg0-dev        # pictures: TIFF, JPEG (TurboJPEG and,
    libjpeg62-turbo-dev                  # for decoding in parts, libjpeg),
    libspng-dev libwebp-dev libheif-dev  # PNG, WebP, HEIC/HEIF
    libexif-dev                          # and the orientation tag of photographs
    freeglut3-dev libgl1-mesa-dev        # the window
    libgl1-mesa-dri                      # Mesa's software renderer, for machines without a GPU
    libgtest-dev libbenchmark-dev        # tests and benchmarks
    xvfb xauth xdotool libx11-dev        # end-to-end tests: virtual display, input, screenshots
    clang libclang-rt-14-dev             # the reader's fuzz target (libFuzzer)
    imagemagick fonts-dejavu-core        # tools/gallery.sh: thumbnails, contact sheet, screenshot
)

missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" 2>/dev/null | grep -q '^Status: install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    sudo=()
elif command -v sudo >/dev/null 2>&1; then
    sudo=(sudo)
else
    echo "setup.sh: missing packages: ${missing[*]}" >&2
    echo "setup.sh: install them as root: apt-get install ${missing[*]}" >&2
    exit 1
fi

echo "setup.sh: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
