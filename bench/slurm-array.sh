#!/bin/bash
# scripts/slurm-array.sh on a real one-node SLURM cluster that this script
# starts itself (Debian slurm-wlm, as root): slurmctld and slurmd with
# authentication off, their state, spool and logs in a temporary directory,
# two ports from 20000 up picked from the process id (KAVZUR_SLURM_PORT=P
# for P and P+1). Scores a list in
# parts through the array script and checks that the merged score file
# equals one run over the whole list, byte for byte; then checks that
# `--shard slurm` numbers the parts of arrays that start at 0 and at 5.
# Prints each step's time. The daemons are stopped by their pid on the way
# out, whatever happens.
#
#   bench/slurm-array.sh <build directory> [parts (default 4)]
set -euo pipefail

build=$(realpath -- "${1:?usage: bench/slurm-array.sh <build directory> [parts]}")
parts=${2:-4}
source_dir=$(realpath -- "$(dirname -- "$0")/..")
port=${KAVZUR_SLURM_PORT:-$((20000 + $$ % 10000 * 2))}
kav_zur=$build/src/kav_zur
merge=$build/src/kav_zur-merge
engine=$build/naccess
[[ -x $kav_zur && -x $merge && -x $engine/accall ]] || { echo "build $build first" >&2; exit 1; }
# Exit status 77: what this needs is not here (ctest counts the test as skipped).
((EUID == 0)) || { echo "the daemons run as root here: run as root" >&2; exit 77; }
for program in slurmctld slurmd sbatch squeue scontrol sinfo; do
    command -v $program >/dev/null || { echo "$program not found (Debian: slurm-wlm)" >&2; exit 77; }
done

tmp=$(mktemp -d /tmp/kavzur-slurm-XXXXXX)
pids=()
stop() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf -- "$tmp"
}
trap stop EXIT

host=$(hostname -s)
mkdir -p "$tmp/state" "$tmp/spool"
cat >"$tmp/slurm.conf" <<EOF
ClusterName=kavzur
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
AuthType=auth/none
CredType=cred/none
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
MpiDefault=none
ReturnToService=2
SlurmUser=root
SlurmdUser=root
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/slurmctld.log
SlurmdLogFile=$tmp/slurmd.log
MaxArraySize=100000
NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=bench Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF=$tmp/slurm.conf
# Nothing of the caller's SLURM setting reaches the test jobs.
unset SBATCH_PARTITION SBATCH_ACCOUNT SBATCH_TIMELIMIT SLURM_JOB_ID

seconds() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(seconds)" 'BEGIN { printf "%.2f", b - a }'; }

t0=$(seconds)
slurmctld -D -c -f "$SLURM_CONF" >"$tmp/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" >"$tmp/slurmd.out" 2>&1 &
pids+=($!)
for ((i = 0; i < 150; i++)); do
    sinfo -h -o '%T' 2>/dev/null | grep -qx idle && break
    sleep 0.2
done
sinfo -h -o '%T' | grep -qx idle || { echo "the node did not come up:" >&2; tail "$tmp"/*.log >&2; exit 1; }
echo "cluster up: $(elapsed "$t0") s (slurmctld pid ${pids[0]}, slurmd pid ${pids[1]})"

# Waits until no job of ours is left; fails after 120 s.
wait_jobs() {
    for ((i = 0; i < 600; i++)); do
        [[ -z $(squeue -h -o %i) ]] && return 0
        sleep 0.2
    done
    echo "jobs still queued after 120 s:" >&2
    squeue >&2
    return 1
}

# The examples and the edge structures, 15 entries, some of which fail.
structures=$tmp/structures
mkdir -p "$structures"
cp "$source_dir"/tests/data/*.pdb "$structures/"
cp "$source_dir"/examples/*.pdb "$structures/"
{ cat "$source_dir/examples/pdblist"; cat "$source_dir/tests/e2e/edge.pdblist"; } >"$tmp/pdblist"
entries=$(wc -w <"$tmp/pdblist")

mkdir "$tmp/whole" "$tmp/array"
cp "$tmp/pdblist" "$tmp/whole/pdblist"
t0=$(seconds)
(cd "$tmp/whole" && "$kav_zur" "$structures" "$engine" >console.log)
echo "one run, $entries entries: $(elapsed "$t0") s"

cp "$tmp/pdblist" "$tmp/array/pdblist"
t0=$(seconds)
submitted=$(cd "$tmp/array" && KAV_ZUR=$kav_zur KAV_ZUR_MERGE=$merge \
    "$source_dir/scripts/slurm-array.sh" "$parts" "$structures" "$engine")
echo "$submitted"
wait_jobs
echo "array of $parts parts and the merge job, submission to merged file: $(elapsed "$t0") s"
# Every job of the array and the merge job ended with exit code 0.
while read -r record; do
    job=$(grep -o '^JobId=[0-9]*' <<<"$record")
    task=$(grep -o 'ArrayTaskId=[0-9]*' <<<"$record" || true)
    name=$(grep -o 'JobName=[^ ]*' <<<"$record")
    state=$(grep -o 'JobState=[A-Z_]*' <<<"$record") code=$(grep -o 'ExitCode=[0-9:]*' <<<"$record")
    echo "  $job $name $task $state $code"
    [[ $state == JobState=COMPLETED && $code == ExitCode=0:0 ]] || { echo "$job failed" >&2; exit 1; }
done < <(scontrol -o show job)
echo "merge job's log: $(cat "$tmp/array/merge.log")"
cmp "$tmp/whole/KAV_ZUr_score.txt" "$tmp/array/KAV_ZUr_score.txt"
echo "merged == one run, byte for byte ($(($(wc -l <"$tmp/whole/KAV_ZUr_score.txt") - 4)) score lines)"

# Two cores a task: --cpus-per-task=2 and kav_zur -j 2.
mkdir "$tmp/two-cores"
cp "$tmp/pdblist" "$tmp/two-cores/pdblist"
t0=$(seconds)
(cd "$tmp/two-cores" && KAV_ZUR_CPUS=2 KAV_ZUR=$kav_zur KAV_ZUR_MERGE=$merge \
    "$source_dir/scripts/slurm-array.sh" 2 "$structures" "$engine" >/dev/null)
wait_jobs
cmp "$tmp/whole/KAV_ZUr_score.txt" "$tmp/two-cores/KAV_ZUr_score.txt"
grep -q 'NumCPUs=2' <(scontrol -o show job | grep 'ArrayTaskId=1 ' | grep "WorkDir=$tmp/two-cores") ||
    { echo "the two-core tasks did not get two cores" >&2; exit 1; }
echo "2 parts of 2 cores each (-j 2) merged == one run ($(elapsed "$t0") s)"

# --shard slurm inside arrays that start elsewhere than 1, three tasks each.
for range in 0-2 5-7; do
    dir=$tmp/shard-slurm-$range
    mkdir "$dir"
    first=${range%-*}
    for ((id = first; id < first + 3; id++)); do
        mkdir "$dir/task-$id"
        cp "$tmp/pdblist" "$dir/task-$id/pdblist"
    done
    cat >"$dir/task.sh" <<EOF
#!/bin/bash
cd "$dir/task-\$SLURM_ARRAY_TASK_ID" && exec "$kav_zur" --shard slurm "$structures" "$engine"
EOF
    t0=$(seconds)
    sbatch --parsable --array="$range" --output="$dir/task-%a/console.log" "$dir/task.sh" >/dev/null
    wait_jobs
    "$merge" "$dir/merged.txt" "$dir"/task-{$first,$((first + 1)),$((first + 2))}/KAV_ZUr_score.txt >/dev/null
    cmp "$tmp/whole/KAV_ZUr_score.txt" "$dir/merged.txt"
    echo "--shard slurm in --array=$range: 3 parts merged == one run ($(elapsed "$t0") s)"
done
# A part that cannot run (an engine directory without the engine) fails its
# task, and the merge job is cancelled instead of waiting for ever.
mkdir "$tmp/failing" "$tmp/no-engine"
cp "$tmp/pdblist" "$tmp/failing/pdblist"
submitted=$(cd "$tmp/failing" && KAV_ZUR=$kav_zur KAV_ZUR_MERGE=$merge \
    "$source_dir/scripts/slurm-array.sh" 2 "$structures" "$tmp/no-engine")
wait_jobs
merge_job=$(grep -o 'merge job [0-9]*' <<<"$submitted" | cut -d' ' -f3)
merge_state=$(scontrol -o show job "$merge_job" | grep -o 'JobState=[A-Z_]*')
[[ $merge_state == JobState=CANCELLED && ! -e $tmp/failing/KAV_ZUr_score.txt ]] ||
    { echo "merge job $merge_job after failed parts: $merge_state" >&2; exit 1; }
echo "failed parts: merge job $merge_job $merge_state, no merged file; part 1 says: $(grep -m1 Error "$tmp/failing/part-1/console.log")"
echo "all SLURM checks passed"
