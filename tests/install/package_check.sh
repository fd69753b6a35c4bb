#!/usr/bin/env bash
# Makes the Debian packages of the build, has lintian look at them (no
# errors allowed), then unpacks them into one root and runs the packaged tool
# from there: it must find the packaged library, man page and completion.
set -euo pipefail
build=$1
work=$(mktemp -d /tmp/qorjwt-package-XXXXXX)
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
debs=("$work"/out/*.deb)
names=$(for d in "${debs[@]}"; do dpkg-deb -f "$d" Package; done | sort | tr '\n' ' ')
expected="libqorjwt-dev libqorjwt1 qorjwt-tools "
if [ -n "$(find "$build" -maxdepth 2 -name qorjwt.jar)" ]; then expected="libqorjwt-dev libqorjwt-java libqorjwt1 qorjwt-tools "; fi
[ "$names" = "$expected" ] || { echo "packages: $names, expected $expected"; exit 1; }

if command -v lintian >/dev/null; then
  lintian --tag-display-limit 0 "${debs[@]}" >"$work/lintian.log" 2>&1 || true
  if grep -q '^E: ' "$work/lintian.log"; then cat "$work/lintian.log"; exit 1; fi
else
  echo "lintian not installed: packages not checked"
fi

root=$work/root
for d in "${debs[@]}"; do dpkg-deb -x "$d" "$root"; done
multiarch=$(gcc -print-multiarch)
lib=$root/usr/lib/$multiarch/libqorjwt.so.1
test -L "$lib"
# Stripped: no debugging sections left in the library or the tool.
for f in "$lib" "$root/usr/bin/qorjwt"; do
  if grep -q "\.debug_" <<<"$(readelf -S "$f")"; then echo "$f is not stripped"; exit 1; fi
done
grep -q libssl3 <<<"$(dpkg-deb -f "$work"/out/libqorjwt1_*.deb Depends)"
grep -q 'libqorjwt1 (= ' <<<"$(dpkg-deb -f "$work"/out/qorjwt-tools_*.deb Depends)"
grep -q "activate-noawait ldconfig" <<<"$(dpkg-deb --ctrl-tarfile "$work"/out/libqorjwt1_*.deb | tar -xO ./triggers)"
grep -q '^qorjwt ' <<<"$("$root/usr/bin/qorjwt" --version)"
grep -q "libqorjwt.so.1 => $root/usr/bin/../lib/$multiarch/" <<<"$(ldd "$root/usr/bin/qorjwt")"
grep -q -- '--keystore' <<<"$(zcat "$root/usr/share/man/man1/qorjwt.1.gz")"
bash -n "$root/usr/share/bash-completion/completions/qorjwt"
for d in "${debs[@]}"; do
  p=$(dpkg-deb -f "$d" Package)
  test -f "$root/usr/share/doc/$p/copyright" && test -f "$root/usr/share/doc/$p/changelog.Debian.gz"
done
echo "package check passed"
