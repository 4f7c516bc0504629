#!/usr/bin/env bash
# Installs the library into a scratch prefix outside the build tree, moves the
# installed tree elsewhere (it must be relocatable), runs the installed tool
# without LD_LIBRARY_PATH, and builds a host program against the package
# twice: through pkg-config and through find_package(ravvel).
set -euo pipefail
build_dir=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'echo "install test failed at line $LINENO: $BASH_COMMAND" >&2' ERR
unset LD_LIBRARY_PATH

cmake --install "$build_dir" --prefix "$work/installed" >/dev/null
mv "$work/installed" "$work/prefix"
prefix=$work/prefix
libdir=$(dirname "$(find "$prefix" -name 'libravvel.so.4' | head -n1)")
test -f "$prefix/include/ravvel.h"
test -L "$libdir/libravvel.so"

# The installed library has no run path of its own; the tool finds it
# relative to itself.
if readelf -d "$libdir/libravvel.so.4" | grep -Eq 'RPATH|RUNPATH'; then
  echo "installed library carries a run path"; exit 1
fi
if [ -x "$prefix/bin/ravvel" ]; then
  # Output goes to files first: under pipefail, "producer | grep -q" fails
  # whenever grep exits before the producer has written its last line.
  (cd "$work" && "$prefix/bin/ravvel" info >"$work/info.txt")
  grep -q '^SIMD level' "$work/info.txt"
  (cd "$work" && "$prefix/bin/ravvel" methods >/dev/null)
fi

# The GStreamer plugin, when it was built, loads from the installed tree.
plugin=$(find "$prefix" -name 'libgstravvel.so' | head -n1)
if [ -n "$plugin" ] && command -v gst-inspect-1.0 >/dev/null; then
  GST_PLUGIN_PATH=$(dirname "$plugin") GST_REGISTRY=$work/registry.bin gst-inspect-1.0 ravvel >"$work/inspect.txt"
  grep -q ravvelfilter "$work/inspect.txt"
fi

# pkg-config
export PKG_CONFIG_PATH="$libdir/pkgconfig"
test "$(pkg-config --modversion ravvel)" = "4.9.2"
c++ -std=c++17 $(pkg-config --cflags ravvel) "$source_dir/tests/install/consumer/main.cpp" \
    -o "$work/consumer_pc" $(pkg-config --libs ravvel)
LD_LIBRARY_PATH="$libdir" "$work/consumer_pc"

# find_package
cmake -S "$source_dir/tests/install/consumer" -B "$work/consumer_build" \
    -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer_build" >/dev/null
LD_LIBRARY_PATH="$libdir" "$work/consumer_build/consumer"

# The example hosts, built against the installed package.
cmake -S "$source_dir/examples" -B "$work/examples_build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/examples_build" >/dev/null
LD_LIBRARY_PATH="$libdir" "$work/examples_build/convert_scale" 320x180 >"$work/convert.txt"
grep -q "PSNR" "$work/convert.txt"
{
  printf 'YUV4MPEG2 W64 H48 F25:1 C420jpeg\n'
  for i in 1 2 3; do printf 'FRAME\n'; head -c 4608 /dev/zero | tr '\0' '\100'; done
  for i in 1 2 3; do printf 'FRAME\n'; head -c 4608 /dev/zero | tr '\0' '\300'; done
} >"$work/clip.y4m"
LD_LIBRARY_PATH="$libdir" "$work/examples_build/analyse_y4m" - <"$work/clip.y4m" >"$work/analysis.txt"
grep -q "6 frames, 1 cuts" "$work/analysis.txt" || { cat "$work/analysis.txt"; exit 1; }
echo "install ok: $prefix"
