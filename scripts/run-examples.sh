#!/usr/bin/env bash
# Builds in build/ everything the README's recipes use (kav_zur, the bundled
# surface-area engine accall, kav_zur-merge, kav_zur-view and the Python
# module kav_zur), then scores the example complexes of examples/ in a fresh
# scratch directory and prints the score file.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

"$repo/scripts/install-deps.sh"
cmake -S "$repo" -B "$repo/build" -G Ninja
targets=(kav_zur accall kav_zur-merge kav_zur-view)
# The Python module, unless this build was configured without it.
grep -q '^KAVZUR_PYTHON:BOOL=ON' "$repo/build/CMakeCache.txt" && targets+=(_kav_zur)
cmake --build "$repo/build" -j"$(nproc)" --target "${targets[@]}"

# kav_zur works in the current directory: give it one of its own.
scratch="$(mktemp -d "${TMPDIR:-/tmp}/kav_zur-examples.XXXXXX")"
cp "$repo/examples/pdblist" "$scratch/"
cd "$scratch"
"$repo/build/src/kav_zur" "$repo/examples" "$repo/build/naccess"

echo
echo "== $scratch/KAV_ZUr_score.txt"
cat KAV_ZUr_score.txt
