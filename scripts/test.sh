#!/usr/bin/env bash
# Builds everything in build-test/ and runs every test; then builds it again
# in build-test-asan/ with AddressSanitizer and UndefinedBehaviorSanitizer
# (float-cast-overflow included, which GCC leaves out of "undefined") and
# runs every test there. Fails on any failure or sanitizer report.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="$(nproc)"

"$repo/scripts/install-deps.sh"

# Through ccache when it is there: the recipe test's fresh clone then
# compiles little of what this build compiled already.
launcher=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR="$repo" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

echo "== tests"
cmake -S "$repo" -B "$repo/build-test" -G Ninja "${launcher[@]}"
cmake --build "$repo/build-test" -j"$jobs"
ctest --test-dir "$repo/build-test" --output-on-failure -j"$jobs"

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer (with float-cast-overflow)"
cmake -S "$repo" -B "$repo/build-test-asan" -G Ninja -DKAVZUR_SANITIZE=ON "${launcher[@]}"
cmake --build "$repo/build-test-asan" -j"$jobs"
# Any report ends the process with a failure; leaks count too.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir "$repo/build-test-asan" --output-on-failure -j"$jobs"
