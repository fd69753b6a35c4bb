#!/usr/bin/env bash
# Builds and runs every test: the normal build, then the ASan/UBSan build
# (clang, with the fuzz targets run for a short fixed time).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
jobs=$(nproc)
for preset in default asan; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done
ctest --preset default -j "$jobs"
ctest --preset asan -j "$jobs"
