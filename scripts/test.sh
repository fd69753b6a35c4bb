#!/usr/bin/env bash
# Builds and runs every test: the normal build, then the ASan/UBSan build
# (clang, with the fuzz targets run for a short fixed time), then the tests
# that run threads once more under ThreadSanitizer.
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

# ThreadSanitizer: only the test binary is built, and only the tests labelled
# "threads" run (tests/CMakeLists.txt names them).
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs" --target qorjwt_tests
TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp" ctest --preset tsan -j "$jobs" -L threads
