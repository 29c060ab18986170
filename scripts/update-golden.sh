#!/usr/bin/env bash
# Rewrites the golden results of tests/e2e/golden/ from the current build:
# builds kav_zur, the bundled engine and the end-to-end tests in the build
# directory (build-test/ unless one is given), runs the golden tests in
# writing mode and shows what changed. Inspect the difference before you
# commit it.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$repo/build-test}"

cmake -S "$repo" -B "$build" -G Ninja
cmake --build "$build" -j"$(nproc)" --target e2e_tests
KAVZUR_UPDATE_GOLDEN=1 "$build/tests/e2e/e2e_tests" --gtest_filter='Runs/GoldenTest.*'
# The same tests again, now comparing against what was just written.
"$build/tests/e2e/e2e_tests" --gtest_filter='Runs/GoldenTest.*' >/dev/null
git -C "$repo" --no-pager diff --stat -- tests/e2e/golden
