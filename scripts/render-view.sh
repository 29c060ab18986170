#!/usr/bin/env bash
# Renders both scenes of a report's view.pml with PyMOL headless:
#   scripts/render-view.sh REPORT_DIR PREFIX [WIDTH HEIGHT]
# writes PREFIX_open_book.png and PREFIX_close_up.png. The pictures in docs/
# come from: kav_zur-view examples/4hhb.pdb build/naccess /tmp/4hhb, then
# scripts/render-view.sh /tmp/4hhb docs/view_4hhb.
set -euo pipefail
if [[ $# -lt 2 ]]; then
    echo "usage: $0 REPORT_DIR PREFIX [WIDTH HEIGHT]" >&2
    exit 2
fi
report="$(cd "$1" && pwd)"
prefix="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"
width="${3:-1000}"
height="${4:-750}"
script="$(mktemp "${TMPDIR:-/tmp}/kav_zur-render.XXXXXX.pml")"
trap 'rm -f "$script"' EXIT
# view.pml finds its files by its own path: it is run, not copied.
cat > "$script" <<PML
@$report/view.pml
scene open_book
png ${prefix}_open_book.png, width=$width, height=$height, ray=1
scene close_up
png ${prefix}_close_up.png, width=$width, height=$height, ray=1
PML
PATH="/usr/bin:$PATH" pymol -cq "$script"
ls -l "${prefix}_open_book.png" "${prefix}_close_up.png"
