#!/bin/bash
# `cmake --install` into a fresh prefix, then an example scored from there
# with the installed engine, as the committed golden file has it.
#   install_run.sh <cmake> <build directory> <source directory>
set -euo pipefail
cmake=$1 build=$2 source_dir=$3
tmp=$(mktemp -d /tmp/kavzur-install-XXXXXX)
trap 'rm -rf -- "$tmp"' EXIT
prefix=$tmp/prefix

"$cmake" --install "$build" --prefix "$prefix" >"$tmp/install.log"
for file in bin/kav_zur bin/kav_zur-merge bin/kav_zur-view bin/kav_zur-plot share/kav_zur/naccess/accall share/kav_zur/slurm-array.sh; do
    [[ -x $prefix/$file ]] || { echo "not installed as a program: $file"; exit 1; }
done
for file in share/kav_zur/naccess/vdw.radii share/kav_zur/naccess/standard.data \
    share/man/man1/kav_zur.1 share/man/man1/kav_zur-merge.1 share/doc/kav_zur/README.md; do
    [[ -s $prefix/$file ]] || { echo "not installed: $file"; exit 1; }
done
version=$("$prefix/bin/kav_zur" --version)
grep -q "\"$version\"" "$prefix/share/man/man1/kav_zur.1" || { echo "the manual page is not of $version"; exit 1; }

# Run from elsewhere: nothing of the build tree is used.
mkdir "$tmp/run"
cd "$tmp/run"
printf '1ycr.pdb\n4hhb.pdb\n' >pdblist
PATH=$prefix/bin:/usr/bin:/bin kav_zur "$source_dir/examples" "$prefix/share/kav_zur/naccess" >console.log
golden=$source_dir/tests/e2e/golden/examples.scores.txt
{ head -n 4 "$golden"; grep -E '^(1ycr|4hhb)\.pdb' "$golden"; } >expected.txt
cmp expected.txt KAV_ZUr_score.txt
grep -q '^Finished$' console.log
echo "installed into $prefix, scored 1ycr and 4hhb from there as the golden file has them"
