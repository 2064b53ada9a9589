#!/usr/bin/env bash
# Installs the library into a temporary prefix, moves the prefix, and builds
# and runs a small program against the moved tree twice: with
# find_package(bcode) (the program asks for C++14; the package raises it to
# C++17) and with pkg-config.
set -euo pipefail
build=${1:?build directory}
source=${2:?consumer source directory}
cxx=${3:-c++}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cmake --install "$build" --prefix "$tmp/installed" >/dev/null
mv "$tmp/installed" "$tmp/moved"
prefix=$tmp/moved

cmake -S "$source" -B "$tmp/with-cmake" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$tmp/with-cmake" >/dev/null
"$tmp/with-cmake/consumer"

pc=$(find "$prefix" -name bcode.pc)
export PKG_CONFIG_PATH=$(dirname "$pc")
libdir=$(pkg-config --variable=libdir bcode)
case "$libdir" in "$prefix"*) ;; *) echo "pkg-config's libdir $libdir is outside the moved prefix"; exit 1;; esac
# shellcheck disable=SC2046
"$cxx" -std=c++17 "$source/consumer.cpp" $(pkg-config --cflags --libs bcode) \
  -Wl,-rpath,"$libdir" -o "$tmp/with-pkg-config"
"$tmp/with-pkg-config"
