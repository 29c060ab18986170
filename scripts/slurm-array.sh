#!/bin/bash
# kav_zur on a SLURM cluster: pdblist in N parts, one array task per part,
# then a merge job that runs once every task has succeeded.
#
#   cd <working directory holding pdblist>
#   slurm-array.sh N <structure directory> <NACCESS directory> [kav_zur option...]
#
# Each part k gets a directory part-k (zero-padded: part-01 ... part-10)
# whose pdblist links to pdblist.submitted, a copy of pdblist made at
# submission; its task runs `kav_zur [option...] --shard k/N` there,
# with the console in part-k/console.log. The merge job writes
# KAV_ZUr_score.txt (and, with `--details FILE`, FILE) in the working
# directory from the parts' files, in order, and its messages to merge.log.
# kav_zur's options are read as kav_zur reads them: `--det FILE`,
# `--details=FILE` and every other abbreviation it accepts name the details
# file (the last one given counts); --shard in any spelling is refused. A
# working directory holding '%' is fine; one holding a backslash is refused
# (sbatch would then leave the part number out of the log names).
# A task that fails (kav_zur exits non-zero) cancels the merge; a task can be
# rerun by hand: `cd part-k && kav_zur --resume [option...] --shard k/N ...`.
#
# The programs: $KAV_ZUR and $KAV_ZUR_MERGE, else kav_zur and kav_zur-merge
# on PATH. KAV_ZUR_CPUS=C gives each task C cores (--cpus-per-task) and has
# kav_zur use them (-j C). Other sbatch options: the #SBATCH lines below, or
# sbatch's environment variables (SBATCH_PARTITION, SBATCH_ACCOUNT,
# SBATCH_TIMELIMIT, ...).
#
#SBATCH --job-name=kav_zur
#SBATCH --ntasks=1
set -euo pipefail

die() {
    echo "slurm-array.sh: $*" >&2
    exit 1
}

# kav_zur's long options as its getopt_long table holds them ("=": the
# option takes a value); -j (--jobs) and -h (--help) are its short ones.
KAV_ZUR_LONG=(chains= all-pairs model= assembly= crystal confidence pae-cutoff= dist-cutoff= mse-as-met jobs= details= resume shard= report= engine= fresh-areas progress no-progress help version)

# The option a long word names as getopt_long reads it ("--det=x", "--det"):
# its whole name, or an abbreviation that only one name begins; "" for none.
long_option() {
    local word=${1#--} o matches=()
    word=${word%%=*}
    # "--d" is --details, as kav_zur keeps it (from before --dist-cutoff).
    [[ $word == d ]] && { printf 'details'; return; }
    for o in "${KAV_ZUR_LONG[@]}"; do
        o=${o%=}
        [[ $o == "$word" ]] && { printf '%s' "$o"; return; }
        [[ -n $word && $o == "$word"* ]] && matches+=("$o")
    done
    ((${#matches[@]} == 1)) && printf '%s' "${matches[0]}"
    return 0
}

takes_value() {
    local o
    for o in "${KAV_ZUR_LONG[@]}"; do [[ $o == "$1=" ]] && return 0; done
    return 1
}

# Calls `VISIT NAME VALUE` for each option of kav_zur among the words, read
# as kav_zur reads them: NAME is the long name (jobs for -j) or "?" for a
# word it would refuse; options end at "--" or at the first other word.
#   each_option VISIT WORD...
each_option() {
    local visit=$1 word name letters
    shift
    while (($#)); do
        word=$1
        shift
        case $word in
        --) return ;;
        --?*)
            name=$(long_option "$word")
            if [[ -n $name ]] && takes_value "$name"; then
                if [[ $word == *=* ]]; then
                    "$visit" "$name" "${word#*=}"
                else
                    (($#)) || return 0
                    "$visit" "$name" "$1"
                    shift
                fi
            else
                "$visit" "${name:-?}" ""
            fi ;;
        -?*)
            letters=${word#-}
            while [[ -n $letters ]]; do
                name=${letters:0:1}
                letters=${letters:1}
                if [[ $name == j ]]; then
                    if [[ -z $letters ]]; then
                        (($#)) || return 0
                        letters=$1
                        shift
                    fi
                    "$visit" jobs "$letters"
                    break
                fi
                "$visit" "$([[ $name == h ]] && echo help || echo '?')" ""
            done ;;
        *) return ;;
        esac
    done
}

# The file named by --details among kav_zur's options, in any spelling
# kav_zur accepts (the last one given, as kav_zur takes it; "" without it).
details_file() {
    local found=""
    visit_details() { [[ $1 == details ]] && found=$2; return 0; }
    each_option visit_details "$@"
    printf '%s' "$found"
}

part_dir() { printf 'part-%0*d' "$1" "$2"; }

# Inside array task SLURM_ARRAY_TASK_ID: score part k of N in its directory.
#   --task N WIDTH RUN_DIR STRUCTURES ENGINE KAV_ZUR [option...]
run_task() {
    local n=$1 width=$2 run_dir=$3 structures=$4 engine=$5 kav_zur=$6
    shift 6
    local k=${SLURM_ARRAY_TASK_ID:?not inside a SLURM array task}
    cd "$run_dir/$(part_dir "$width" "$k")"
    exec "$kav_zur" "$@" --shard "$k/$n" "$structures" "$engine"
}

# After every task: the parts' files into the working directory.
#   --merge N WIDTH RUN_DIR KAV_ZUR_MERGE [option...]
run_merge() {
    local n=$1 width=$2 run_dir=$3 merge=$4
    shift 4
    cd "$run_dir"
    local details
    details=$(details_file "$@")
    for file in KAV_ZUr_score.txt ${details:+"$details"}; do
        local parts=()
        for ((k = 1; k <= n; k++)); do parts+=("$(part_dir "$width" "$k")/$file"); done
        "$merge" "$file" "${parts[@]}"
    done
}

case "${1:-}" in
--task) shift; run_task "$@" ;;
--merge) shift; run_merge "$@"; exit 0 ;;
-h|--help|"")
    sed -n '2,/^#SBATCH/{/^#SBATCH/d;s/^# \{0,1\}//;p}' "$0"
    [[ ${1:-} == "" ]] && exit 2 || exit 0 ;;
esac

# Submission, in the working directory.
(($# >= 3)) || die "usage: slurm-array.sh N <structure directory> <NACCESS directory> [kav_zur option...]"
n=$1 structures=$2 engine=$3
shift 3
[[ $n =~ ^[1-9][0-9]{0,5}$ ]] || die "N: '$n' is not a number of parts (1 to 999999)"
[[ -f pdblist && -r pdblist ]] || die "no readable pdblist in $PWD"
[[ -d $structures ]] || die "$structures: not a directory"
[[ -d $engine ]] || die "$engine: not a directory"
kav_zur=$(command -v "${KAV_ZUR:-kav_zur}") || die "kav_zur not found (set KAV_ZUR)"
merge=$(command -v "${KAV_ZUR_MERGE:-kav_zur-merge}") || die "kav_zur-merge not found (set KAV_ZUR_MERGE)"
command -v sbatch >/dev/null || die "sbatch not found: is this a SLURM login node?"
# The tasks run in other directories, perhaps on other machines: absolute paths.
structures=$(realpath -- "$structures")
engine=$(realpath -- "$engine")
kav_zur=$(realpath -- "$kav_zur")
merge=$(realpath -- "$merge")
refuse_shard() { [[ $1 != shard ]] || die "the parts are this script's: leave --shard out"; }
each_option refuse_shard "$@"
details=$(details_file "$@")
[[ $details == /* ]] && die "--details $details: give a name relative to the part directories"
cpus=${KAV_ZUR_CPUS:-1}
[[ $cpus =~ ^[1-9][0-9]{0,3}$ ]] || die "KAV_ZUR_CPUS: '$cpus' is not a number of cores"
jobs=()
((cpus > 1)) && jobs=(-j "$cpus")

width=${#n}
run_dir=$PWD
# sbatch expands %-patterns in --output (%% is a %), and a backslash there
# turns every pattern off, the part's %a included.
[[ $run_dir == *\\* ]] && die "$run_dir: sbatch cannot take a log path holding a backslash"
log_dir=${run_dir//\%/%%}
# One copy of the list as submitted, which every part reads through a link:
# pdblist may change while the tasks wait, and a list of millions of names
# is not copied once per part.
cp pdblist pdblist.submitted
for ((k = 1; k <= n; k++)); do
    dir=$(part_dir "$width" "$k")
    mkdir -p "$dir"
    ln -sfn ../pdblist.submitted "$dir/pdblist"
done

array=$(sbatch --parsable --array="1-$n" --cpus-per-task="$cpus" \
    --output="$log_dir/part-%0${width}a/console.log" \
    "$0" --task "$n" "$width" "$run_dir" "$structures" "$engine" "$kav_zur" "${jobs[@]}" "$@")
array=${array%%;*}  # "jobid;cluster" on multi-cluster sites
last=$(sbatch --parsable --job-name=kav_zur-merge --dependency="afterok:$array" \
    --kill-on-invalid-dep=yes --output="$log_dir/merge.log" \
    "$0" --merge "$n" "$width" "$run_dir" "$merge" "$@")
echo "array job $array: $n parts in $run_dir/part-*; merge job ${last%%;*} after it"
