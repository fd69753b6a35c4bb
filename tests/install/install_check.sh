#!/usr/bin/env bash
# Installs the build into a fresh prefix, then builds and runs a small C
# program against it twice: with pkg-config and with find_package.
set -euo pipefail
build=$1 src=$2
work=$(mktemp -d /tmp/qorjwt-install-XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name libqorjwt.so.1 | head -1)")
test -L "$libdir/libqorjwt.so" && test -f "$prefix/include/qorjwt.h"
objdump -p "$libdir/libqorjwt.so.1" | grep -q 'SONAME *libqorjwt.so.1'
# The tool runs from the prefix and finds the installed library.
LD_LIBRARY_PATH=$libdir "$prefix/bin/qorjwt" --help >/dev/null
if [ -n "$(find "$build" -maxdepth 2 -name qorjwt.jar)" ]; then
  test -f "$prefix/share/java/qorjwt.jar"
fi

export PKG_CONFIG_PATH=$libdir/pkgconfig
grep -q "^prefix=$prefix\$" "$libdir/pkgconfig/qorjwt.pc"
cc -Wall -Werror -o "$work/by-pkgconfig" "$src/consumer.c" $(pkg-config --cflags --libs qorjwt)
LD_LIBRARY_PATH=$libdir "$work/by-pkgconfig"

cmake -S "$src" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
LD_LIBRARY_PATH=$libdir "$work/consumer/consumer"
echo "install check passed"
