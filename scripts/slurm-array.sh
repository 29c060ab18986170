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

# The file named by --details among kav_zur's options ("" without it).
details_file() {
    local previous=""
    for word in "$@"; do
        [[ $previous == --details ]] && { printf '%s' "$word"; return; }
        [[ $word == --details=* ]] && { printf '%s' "${word#--details=}"; return; }
        previous=$word
    done
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
for word in "$@"; do
    [[ $word == --shard* ]] && die "the parts are this script's: leave --shard out"
done
details=$(details_file "$@")
[[ $details == /* ]] && die "--details $details: give a name relative to the part directories"
cpus=${KAV_ZUR_CPUS:-1}
[[ $cpus =~ ^[1-9][0-9]{0,3}$ ]] || die "KAV_ZUR_CPUS: '$cpus' is not a number of cores"
jobs=()
((cpus > 1)) && jobs=(-j "$cpus")

width=${#n}
run_dir=$PWD
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
    --output="$run_dir/part-%0${width}a/console.log" \
    "$0" --task "$n" "$width" "$run_dir" "$structures" "$engine" "$kav_zur" "${jobs[@]}" "$@")
array=${array%%;*}  # "jobid;cluster" on multi-cluster sites
last=$(sbatch --parsable --job-name=kav_zur-merge --dependency="afterok:$array" \
    --kill-on-invalid-dep=yes --output="$run_dir/merge.log" \
    "$0" --merge "$n" "$width" "$run_dir" "$merge" "$@")
echo "array job $array: $n parts in $run_dir/part-*; merge job ${last%%;*} after it"
