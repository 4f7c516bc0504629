#!/bin/sh
# Regenerates the super-resolution tables from the photographs of Debian's
# mate-backgrounds package (nature collection), which is an input of this
# step only: nothing of it is kept but the trained numbers.
#
#   tools/sr_train/train.sh [BUILD_DIR]      (default: build)
#
# Needs: apt-get install mate-backgrounds ffmpeg; a configured build tree.
# Writes src/scale/super_resolution_tables.cpp, data/superResCoeffs.txt and
# the held-out quality table tools/sr_train/quality.md. Every fourth
# photograph (in name order, starting with the fourth) is held out. The
# photographs are first reduced 2:1 (area): at their full size they are
# softer than their pixel grid, unlike video at its own resolution.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
photos=/usr/share/backgrounds/mate/nature
[ -d "$photos" ] || { echo "mate-backgrounds is not installed" >&2; exit 1; }
cmake --build "$build" --target ravvel_sr_train -j2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
train=""
holdout=""
i=0
for jpg in $(ls "$photos"/*.jpg | sort); do
    i=$((i + 1))
    pgm="$work/$(basename "$jpg" .jpg).pgm"
    # Luma as stored in the JPEG (full range).
    ffmpeg -v error -y -i "$jpg" -pix_fmt gray "$pgm"
    if [ $((i % 4)) -eq 0 ]; then holdout="$holdout $pgm"; else train="$train $pgm"; fi
done
# shellcheck disable=SC2086
"$build/tools/ravvel_sr_train" --tables "$root/src/scale/super_resolution_tables.cpp" \
    --coeffs "$root/data/superResCoeffs.txt" --prescale 4,2,3,5,6 --augment --qp 24 --report "$root/tools/sr_train/quality.md" \
    --train $train --holdout $holdout
