#!/usr/bin/env bash
# FFmpeg writes Y4M into the tool through a pipe and reads its output back
# through another: the stream survives both directions.
set -euo pipefail
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ffmpeg -v error -f lavfi -i testsrc=size=320x240:rate=25 -frames:v 20 -pix_fmt yuv420p -f yuv4mpegpipe - |
  "$tool" process rotate --option angle=180 -i - -o - 2>"$work/err" |
  ffmpeg -v error -f yuv4mpegpipe -i - -f framemd5 "$work/out.md5"
grep -q "20 frames" "$work/err"
test "$(grep -c '^0,' "$work/out.md5")" -eq 20
# The consumer stops after five frames: the tool ends cleanly with a note
# (the producer in front of it then meets a closed pipe in turn).
{ ffmpeg -v quiet -f lavfi -i testsrc=size=320x240:rate=25 -frames:v 200 -pix_fmt yuv420p -f yuv4mpegpipe - || true; } |
  { "$tool" process rotate --option angle=180 -i - -o - 2>"$work/err2"; echo $? >"$work/status"; } |
  ffmpeg -v error -f yuv4mpegpipe -i - -frames:v 5 -f null -
test "$(cat "$work/status")" = 0
grep -q "the reader closed the pipe" "$work/err2"
echo "ffmpeg pipe ok"
