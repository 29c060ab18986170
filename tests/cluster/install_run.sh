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
for file in bin/kav_zur bin/kav_zur-merge bin/kav_zur-view bin/kav_zur-plot bin/kav_zur-traj share/kav_zur/naccess/accall share/kav_zur/slurm-array.sh; do
    [[ -x $prefix/$file ]] || { echo "not installed as a program: $file"; exit 1; }
done
for file in share/kav_zur/naccess/vdw.radii share/kav_zur/naccess/standard.data \
    share/man/man1/kav_zur.1 share/man/man1/kav_zur-merge.1 share/doc/kav_zur/README.md \
    share/doc/kav_zur/docs/plot_trajectory.png; do
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

# The Python module from the prefix, with the installed engine, from here.
package=$(find "$prefix/lib" -path '*/dist-packages/kav_zur/__init__.py' | head -n 1)
[[ -n $package ]] || { echo "the Python module kav_zur is not installed"; exit 1; }
for file in __init__.pyi py.typed _paths.py; do
    [[ -e $(dirname "$package")/$file ]] || { echo "not installed: kav_zur/$file"; exit 1; }
done
# A sanitized build's module loads only with the sanitizer runtime first.
preload=()
[[ -n ${KAVZUR_PYTHON_PRELOAD:-} ]] &&
    preload=(env "LD_PRELOAD=$KAVZUR_PYTHON_PRELOAD" "ASAN_OPTIONS=detect_leaks=0:halt_on_error=1")
line=$(PYTHONPATH=$(dirname "$(dirname "$package")") "${preload[@]}" /usr/bin/python3 -c '
import sys, kav_zur
e = kav_zur.engine()
assert e.naccess_dir == sys.argv[2] and e.in_process, e
r = kav_zur.score(sys.argv[1])
print("%s\t%8.1f\t%18.6f\t%10.6f" % (r.name, r.interface_area, r.kav, r.zur))
' "$source_dir/examples/1ycr.pdb" "$prefix/share/kav_zur/naccess")
[[ $line == "$(grep -E '^1ycr\.pdb' "$golden")" ]] || { echo "installed module: $line"; exit 1; }
[[ $(ls) == "$(printf 'KAV_ZUr_score.txt\nconsole.log\nexpected.txt\npdblist')" ]] ||
    { echo "the module wrote into the working directory: $(ls)"; exit 1; }
echo "the installed Python module scores 1ycr in process as the golden file has it"
