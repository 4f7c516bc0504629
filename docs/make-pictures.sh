#!/usr/bin/env bash
# Regenerates the small before/after pictures of the subsystem guides with the
# ravvel tool on FFmpeg's test pattern: bash docs/make-pictures.sh build/tools/ravvel
set -euo pipefail
tool=$(realpath "${1:-build/tools/ravvel}")
out=$(cd "$(dirname "$0")" && pwd)/img
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
# A natural-looking source with gradients, detail, colour and mild noise.
ffmpeg -v error -f lavfi -i "testsrc2=size=320x180:rate=25,noise=alls=6:allf=t" -frames:v 20 -pix_fmt yuv420p \
  -f yuv4mpegpipe "$work/clip.y4m"
cd "$work"
shot() {  # shot NAME METHOD [ARGS...]: frame 10 of the method's output as img/NAME.png
  local name=$1; shift
  if "$tool" process "$@" -i clip.y4m -o "$name.y4m" --png 10 >/dev/null 2>"$name.err"; then
    mv "${name}_10.png" "$out/$name.png"
  else
    echo "skipped $name: $(head -n1 "$name.err")"
  fi
}
shot original convert --option via=rgb24
shot downsample downsample --size 160x90
shot upsample upsample --size 480x270 --option filter=2
shot rotate rotate --option angle=90
shot blend blend --option alpha=-1
shot denoise denoise --option mode=3
shot lcboost lcboost
shot deband deband --option strength=128
shot sr sr --scale 1.5
shot sepia filter --option mode=3
shot hue filter --option mode=2
shot mia mia --option brightness=60 --option contrast=70 --option saturation=80
shot blur blur --option sigma=3
shot edge edge --option thin=0
ls -la "$out"
