#!/usr/bin/env bash
# Installs the build into a fresh prefix, then builds and runs a small C
# program against it twice: with pkg-config and with find_package.
set -euo pipefail
build=$1 src=$2
work=$(mktemp -d /tmp/qorjwt-install-XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$prefix/lib/$(gcc -print-multiarch)
test -L "$libdir/libqorjwt.so" && test -f "$prefix/include/qorjwt.h"
grep -q "SONAME *libqorjwt.so.1" <<<"$(objdump -p "$libdir/libqorjwt.so.1")"
if [ -n "$(find "$build" -maxdepth 2 -name qorjwt.jar)" ]; then
  test -f "$prefix/share/java/qorjwt.jar"
fi

# The installed tool finds the installed library by itself, wherever the
# prefix is: a key store, a ticket issued with it and verified again.
grep -q '^qorjwt [0-9]' <<<"$("$prefix/bin/qorjwt" --version)"
grep -q "libqorjwt.so.1 => $prefix/bin/../lib/" <<<"$(ldd "$prefix/bin/qorjwt")"
(
  cd "$work"
  q=$prefix/bin/qorjwt
  echo pin > pin
  "$q" keystore create own.p12 --pin-file pin --subject /CN=INS --key-type ec >/dev/null
  "$q" ticket issue --keystore own.p12 --pin-file pin --sysid RCP --client 001 --user JDOE -o t.txt >/dev/null
  "$q" ticket verify --keystore own.p12 --pin-file pin --assertion --sysid RCP --client 001 t.txt >out && grep -q JDOE out
)
# Its man page and completion.
if [ -f "$prefix/share/man/man1/qorjwt.1.gz" ]; then
  grep -q -- '--pin-file' <<<"$(zcat "$prefix/share/man/man1/qorjwt.1.gz")"
fi
bash -n "$prefix/share/bash-completion/completions/qorjwt"

export PKG_CONFIG_PATH=$libdir/pkgconfig
grep -q "^prefix=$prefix\$" "$libdir/pkgconfig/qorjwt.pc"
cc -Wall -Werror -o "$work/by-pkgconfig" "$src/consumer.c" $(pkg-config --cflags --libs qorjwt)
LD_LIBRARY_PATH=$libdir "$work/by-pkgconfig"

cmake -S "$src" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
LD_LIBRARY_PATH=$libdir "$work/consumer/consumer"
echo "install check passed"
