#!/usr/bin/env bash
# The plugin as GStreamer sees it: gst-inspect lists the three elements, and
# every method of every element runs 60 frames of test video to the end.
set -euo pipefail
plugin_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export GST_PLUGIN_PATH=$plugin_dir GST_REGISTRY=$work/registry.bin

gst-inspect-1.0 ravvel >"$work/inspect"
for e in ravvelfilter ravvelscale ravvelanalyse; do
  grep -q "$e" "$work/inspect" || { echo "gst-inspect does not list $e"; cat "$work/inspect"; exit 1; }
done

methods_of() {
  gst-inspect-1.0 "$1" | sed -n '/^  method /,/^  [a-z]/p' | sed -n 's/^ *([0-9]*): \([a-z0-9-]*\) .*/\1/p'
}

src="videotestsrc num-buffers=60 pattern=smpte ! video/x-raw,format=I420,width=320,height=240,framerate=30/1"
for m in $(methods_of ravvelfilter); do
  echo "ravvelfilter method=$m"
  gst-launch-1.0 -q $src ! ravvelfilter method="$m" ! fakesink
done
for m in $(methods_of ravvelscale); do
  echo "ravvelscale method=$m"
  gst-launch-1.0 -q $src ! ravvelscale method="$m" ! fakesink
done
# A size the caps ask for.
gst-launch-1.0 -q $src ! ravvelscale method=downsample ! video/x-raw,width=200,height=150 ! fakesink
gst-launch-1.0 -q $src ! ravvelscale method=sr ! video/x-raw,width=480,height=360 ! fakesink
# Content analysis needs pictures at least 337 pixels wide.
src="videotestsrc num-buffers=60 pattern=smpte ! video/x-raw,format=I420,width=640,height=360,framerate=30/1"
for m in $(methods_of ravvelanalyse); do
  echo "ravvelanalyse method=$m"
  gst-launch-1.0 -m $src ! ravvelanalyse method="$m" ! fakesink >"$work/messages"
  grep -q "ravvel-$m" "$work/messages" || { echo "no ravvel-$m message"; head "$work/messages"; exit 1; }
done
echo "gst ok"
