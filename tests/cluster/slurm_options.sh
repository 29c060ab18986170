#!/bin/bash
# slurm-array.sh with a stand-in sbatch that records the array job and runs
# the merge job at once: kav_zur's options recognised in every spelling
# kav_zur accepts (the details file merged, --shard refused), the run
# directory's % escaped for sbatch's --output, and the script's table of
# options the one kav_zur --help shows.
#   slurm_options.sh SLURM_ARRAY_SCRIPT KAV_ZUR
set -u
script=$1 kav_zur=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

mkdir -p "$tmp/bin" "$tmp/in" "$tmp/engine"
# sbatch: the array job's --output recorded; a job with a dependency (the
# merge) run in place with its arguments.
cat > "$tmp/bin/sbatch" <<'FAKE'
#!/bin/bash
dependent=0
while [[ $1 == --* ]]; do
    [[ $1 == --output=* && $dependent == 0 ]] && printf '%s\n' "${1#--output=}" >> "$FAKE_LOG.output"
    [[ $1 == --dependency=* ]] && dependent=1
    shift
done
if ((dependent)); then "$@" > /dev/null; echo 2; else echo 1; fi
FAKE
# kav_zur-merge: the files it is asked to write.
printf '#!/bin/bash\nprintf "%%s\\n" "$1" >> "$FAKE_LOG.merged"\n' > "$tmp/bin/merge"
chmod +x "$tmp/bin/sbatch" "$tmp/bin/merge"
export PATH="$tmp/bin:$PATH" KAV_ZUR=/bin/true KAV_ZUR_MERGE="$tmp/bin/merge"

# The words given to kav_zur | the details file the merge must write ("" none,
# "refused" when the script must refuse the words).
cases=(
    "--details d.tsv|d.tsv"
    "--details=d.tsv|d.tsv"
    "--det d.tsv|d.tsv"
    "--det=d.tsv|d.tsv"
    "--d d.tsv|d.tsv"
    "--details a.tsv --de d.tsv|d.tsv"
    "--all-pairs -j2 --detai=d.tsv|d.tsv"
    "-j 2 --chains A:B --details d.tsv|d.tsv"
    "--chains A:B|"
    "--report d.tsv|"
    "--sh 1/2|refused"
    "--shard=1/2|refused"
    "--det /abs/d.tsv|refused"
)
for c in "${cases[@]}"; do
    words=${c%%|*} want=${c#*|}
    run="$tmp/identity_50%a"
    rm -rf "$run" && mkdir -p "$run" && echo x.pdb > "$run/pdblist"
    export FAKE_LOG="$tmp/log"
    rm -f "$FAKE_LOG".*
    # shellcheck disable=SC2086  # the words are split on purpose
    (cd "$run" && "$script" 2 "$tmp/in" "$tmp/engine" $words > /dev/null 2> "$tmp/err")
    status=$?
    if [[ $want == refused ]]; then
        [[ $status != 0 ]] && grep -q "slurm-array.sh: " "$tmp/err" || fail "$words: not refused"
        continue
    fi
    [[ $status == 0 ]] || { fail "$words: exit $status: $(cat "$tmp/err")"; continue; }
    expected="KAV_ZUr_score.txt${want:+$'\n'$want}"
    [[ $(cat "$FAKE_LOG.merged" 2>/dev/null) == "$expected" ]] ||
        fail "$words: merged '$(cat "$FAKE_LOG.merged" 2>/dev/null)', not '$expected'"
    [[ $(cat "$FAKE_LOG.output") == "$tmp/identity_50%%a/part-%01a/console.log" ]] ||
        fail "$words: array output '$(cat "$FAKE_LOG.output")'"
done

mkdir -p "$tmp/back\\slash" && echo x.pdb > "$tmp/back\\slash/pdblist"
(cd "$tmp/back\\slash" && "$script" 2 "$tmp/in" "$tmp/engine" > /dev/null 2>&1) &&
    fail "a run directory holding a backslash was accepted"

# The script's table against kav_zur's own: each long option, "=" when a
# value follows it in --help.
shown=$("$kav_zur" --help | sed -n 's/^  \(-., \)\{0,1\}--\([a-z-]*\)\( [^ ]\)\{0,1\}.*/\2\3/p' |
        sed 's/ .$/=/' | tr '\n' ' ')
table=$(sed -n 's/^KAV_ZUR_LONG=(\(.*\))$/\1/p' "$script")
[[ "$shown" == "$table " ]] || fail "options in kav_zur --help: '$shown'; in the script: '$table'"

((failures == 0)) && echo "all cases passed"
exit $((failures > 0))
