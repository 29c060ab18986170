#!/bin/bash
# The README's GNU parallel recipe over local slots: pdblist in 4 parts, each
# part in its own working directory, 2 at a time; the merged score file must
# equal one run over the whole list, byte for byte.
#   parallel_parts.sh <kav_zur> <kav_zur-merge> <engine directory> <source directory>
set -euo pipefail
export KAV_ZUR=$1 ENGINE=$3
merge=$2 source_dir=$4
command -v parallel >/dev/null || { echo "GNU parallel is not installed"; exit 77; }

tmp=$(mktemp -d /tmp/kavzur-parallel-XXXXXX)
trap 'rm -rf -- "$tmp"' EXIT
export STRUCTURES=$tmp/structures
mkdir "$STRUCTURES" "$tmp/whole" "$tmp/parts"
cp "$source_dir"/tests/data/*.pdb "$STRUCTURES/"
cp "$source_dir"/examples/*.pdb "$STRUCTURES/"
# 15 entries, scored and failing ones, and a name that is not there.
{ cat "$source_dir/examples/pdblist" "$source_dir/tests/e2e/edge.pdblist"; echo missing.pdb; } \
    >"$tmp/whole/pdblist"

(cd "$tmp/whole" && "$KAV_ZUR" "$STRUCTURES" "$ENGINE" >console.log)

cd "$tmp/parts"
cp ../whole/pdblist .
n=4
for k in $(seq -w $n); do mkdir part-$k && ln -sfn ../pdblist part-$k/pdblist; done
parallel -j 2 --halt now,fail=1 --joblog parts.log \
    'cd part-{} && "$KAV_ZUR" --shard {}/'$n' "$STRUCTURES" "$ENGINE" > console.log' ::: $(seq -w $n)
"$merge" KAV_ZUr_score.txt part-*/KAV_ZUr_score.txt

cmp ../whole/KAV_ZUr_score.txt KAV_ZUr_score.txt
# Every part's run finished, and together they worked on every entry once.
[[ $(grep -c '^Finished$' part-*/console.log | grep -c ':1$') == "$n" ]]
[[ $(cat part-*/console.log | grep -c '^Working on ') == 16 ]]
[[ $(grep -c '^Working on ' ../whole/console.log) == 16 ]]
echo "4 parts through GNU parallel, merged: $(($(wc -l <KAV_ZUr_score.txt) - 4)) score lines, as one run"
