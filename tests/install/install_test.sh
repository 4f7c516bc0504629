#!/usr/bin/env bash
# Installs the library into a scratch prefix and builds a host program against
# it twice: through pkg-config and through find_package(ravvel).
set -euo pipefail
build_dir=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
prefix=$work/prefix
libdir=$(dirname "$(find "$prefix" -name 'libravvel.so.4' | head -n1)")
test -f "$prefix/include/ravvel.h"
test -L "$libdir/libravvel.so"

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
