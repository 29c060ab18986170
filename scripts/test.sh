#!/usr/bin/env bash
# Builds everything in build-test/ and runs every test; fails on any failure.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

"$repo/scripts/install-deps.sh"
cmake -S "$repo" -B "$repo/build-test" -G Ninja
cmake --build "$repo/build-test" -j"$(nproc)"
ctest --test-dir "$repo/build-test" --output-on-failure
