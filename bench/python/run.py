#!/usr/bin/env python3
"""Python module benchmark: kav_zur.score_many over the examples and 4jsv.

Prints, per structure (median of --runs calls of kav_zur.score, jobs=1),
the wall time of the call, the analysis's own time (Result.seconds) and
Python's overhead (the rest) as a share of the analysis; then score_many over
the whole list with jobs=1 and jobs=2 beside runs of the kav_zur program over
the same list with -j 1 and -j 2, the speed-ups, and the machine's ceiling
for them as it is loaded now (as bench/batch/run.py measures it); then
score_many with local threads (jobs=2) against a Dask LocalCluster of two
worker processes of one thread each (client=), its start-up timed apart, and
the load averages (os.getloadavg) before and after.

Usage: /usr/bin/python3 bench/python/run.py [--build DIR] [--runs N] [--repeat N] [--no-cluster]
(KAVZUR_SHARED_PDB=/path/to/pdb adds 4jsv from there when it is not beside the tree.)
Needs a built module in DIR/python (default build/).
"""
import argparse
import os
import statistics
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "bench"))
from benchlib import parallel_capacity  # noqa: E402
# 4jsv from the shared structures beside the project (KAVZUR_SHARED_PDB
# names their folder when the tree is not beside them, as in a worktree).
SHARED_4JSV = os.path.join(os.environ.get("KAVZUR_SHARED_PDB", os.path.join(
    os.path.dirname(ROOT), "shared", "data", "pdb")), "4jsv.pdb")
def structures():
    with open(os.path.join(ROOT, "examples", "pdblist")) as f:
        paths = [os.path.join(ROOT, "examples", n) for n in f.read().split()]
    if os.path.exists(SHARED_4JSV):
        paths.append(SHARED_4JSV)
    return paths


def program_seconds(binary, engine, paths, jobs):
    """Wall time of one kav_zur run with -j `jobs` over `paths` (linked
    under distinct names into one directory), in a scratch directory."""
    with tempfile.TemporaryDirectory(prefix="kav_zur-bench-") as work:
        sdir = os.path.join(work, "structures")
        os.makedirs(sdir)
        names = []
        for i, path in enumerate(paths):
            names.append("%03d_%s" % (i, os.path.basename(path)))
            os.symlink(path, os.path.join(sdir, names[-1]))
        run = os.path.join(work, "run")
        os.makedirs(run)
        with open(os.path.join(run, "pdblist"), "w") as f:
            f.write("\n".join(names) + "\n")
        start = time.perf_counter()
        subprocess.run([binary, "-j", str(jobs), sdir, engine], cwd=run, check=True,
                       stdout=subprocess.DEVNULL)
        seconds = time.perf_counter() - start
        shutil.rmtree(run)
        return seconds


def cluster_figures(kav_zur, batch, reference, local_seconds):
    """score_many over `batch` on a 2-worker LocalCluster (1 thread each):
    median of 3 runs, beside local threads' `local_seconds`."""
    import logging
    from dask.distributed import Client, LocalCluster
    cluster = client = None
    try:
        start = time.perf_counter()
        cluster = LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                               dashboard_address=None, silence_logs=logging.ERROR)
        client = Client(cluster)
        client.wait_for_workers(2)
        startup = time.perf_counter() - start
        runs = []
        for _ in range(3):
            start = time.perf_counter()
            results = kav_zur.score_many(batch, client=client)
            runs.append(time.perf_counter() - start)
            rows = [(r.name, r.status, r.kav, r.zur, r.interface_area) for r in results]
            if rows != reference:
                sys.exit("score_many on the LocalCluster gave other results than jobs=1")
    finally:
        if client is not None:
            client.close()
        if cluster is not None:
            cluster.close()
    seconds = statistics.median(runs)
    print("score_many over the same list, local threads against a Dask LocalCluster "
          "(2 worker processes, 1 thread each), median of 3 runs:")
    print("  local threads, jobs=2: %.2f s, %.2f structures/s" %
          (local_seconds, len(batch) / local_seconds))
    print("  LocalCluster, client=: %.2f s, %.2f structures/s, %.2fx the threads' rate "
          "(cluster start-up %.2f s, not counted)" %
          (seconds, len(batch) / seconds, local_seconds / seconds, startup))


def load():
    return "load averages %.2f %.2f %.2f (1, 5, 15 min)" % os.getloadavg()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--runs", type=int, default=5, help="calls per structure (median)")
    parser.add_argument("--repeat", type=int, default=3,
                        help="times the list is repeated for the score_many runs")
    parser.add_argument("--no-cluster", action="store_true",
                        help="leave out the Dask LocalCluster runs")
    args = parser.parse_args()
    sys.path.insert(0, os.path.join(args.build, "python"))
    import kav_zur

    engine = kav_zur.engine()
    paths = structures()
    print("kav_zur %s, engine %s (%s), %d usable cores, %s" %
          (kav_zur.__version__, engine.naccess_dir,
           "in process" if engine.in_process else "as a program",
           len(os.sched_getaffinity(0)), load()))
    print("%-10s %8s %11s %12s %10s" % ("structure", "atoms", "call (s)", "analysis (s)",
                                          "overhead"))
    total_call = total_analysis = 0.0
    for path in paths:
        calls, analyses = [], []
        for _ in range(args.runs):
            start = time.perf_counter()
            r = kav_zur.score(path, engine=engine)
            calls.append(time.perf_counter() - start)
            analyses.append(r.seconds)
        call, analysis = statistics.median(calls), statistics.median(analyses)
        total_call += call
        total_analysis += analysis
        print("%-10s %8d %11.4f %12.4f %9.1f%%" %
              (os.path.basename(path), r.atoms_a + r.atoms_b, call, analysis,
               100.0 * (call - analysis) / analysis))
    print("%-10s %8s %11.4f %12.4f %9.1f%%" % ("all", "", total_call, total_analysis,
                                               100.0 * (total_call - total_analysis) /
                                               total_analysis))

    batch = paths * args.repeat
    times, analysis, cores = {}, {}, {}
    reference = None
    for jobs in (1, 2):
        runs, cpu = [], []
        for _ in range(3):
            start, used = time.perf_counter(), os.times()
            results = kav_zur.score_many(batch, jobs=jobs, engine=engine)
            runs.append(time.perf_counter() - start)
            now = os.times()
            cpu.append(now.user + now.system - used.user - used.system)
            analysis.setdefault(jobs, []).append(sum(r.seconds for r in results))
            rows = [(r.name, r.status, r.kav, r.zur, r.interface_area) for r in results]
            if reference is None:
                reference = rows
            elif rows != reference:
                sys.exit("score_many with jobs=%d gave other results than jobs=1" % jobs)
        times[jobs] = statistics.median(runs)
        cores[jobs] = statistics.median(c / w for c, w in zip(cpu, runs))
    analysis = statistics.median(analysis[1])
    print("score_many over %d structures (the list %d times), median of 3 runs:" %
          (len(batch), args.repeat))
    print("  jobs=1: %.2f s, %.2f structures/s, %.2f cores busy, overhead over the analyses' "
          "own time %.1f%%" % (times[1], len(batch) / times[1], cores[1],
                               100.0 * (times[1] - analysis) / analysis))
    print("  jobs=2: %.2f s, %.2f structures/s, %.2f cores busy, speed-up %.2fx" %
          (times[2], len(batch) / times[2], cores[2], times[1] / times[2]))
    binary = os.path.join(args.build, "src", "kav_zur")
    program = {jobs: statistics.median(program_seconds(binary, engine.naccess_dir, batch, jobs)
                                       for _ in range(3))
               for jobs in (1, 2)}
    print("the kav_zur program over the same list, median of 3 runs:")
    for jobs in (1, 2):
        print("  -j %d: %.2f s, %.2f structures/s; the module does %.2fx its rate" %
              (jobs, program[jobs], len(batch) / program[jobs], program[jobs] / times[jobs]))
    if not args.no_cluster:
        cluster_figures(kav_zur, batch, reference, times[2])
    print("machine now: 2 CPU-bound processes at once do %.2f times the work of one "
          "(the ceiling for jobs=2's speed-up); %s" % (parallel_capacity(2), load()))


if __name__ == "__main__":
    main()
