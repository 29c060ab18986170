#!/usr/bin/env python3
"""Batch benchmark: structures per second of whole kav_zur runs over one list
with -j 1, -j 2 and -j 0 (every core), median of several runs, the speed-up
and per-core efficiency of the workers, the largest process's peak memory,
the entries per CPU-second (the CPU of kav_zur and of every process it
waited for), the cost of --details, and what that projects to for 200 000
entries; each with the bundled engine in kav_zur's process (its default)
and as a program (--engine program). With --reference, the -j 1 runs of
another build (another commit's) go side by side, each round taking every
run in turn, and the entries per CPU-second of the two are compared.

Usage: /usr/bin/python3 bench/batch/run.py [--build DIR] [--reference DIR]
           [--runs N] [--count N] [--set examples+shared|examples+data] [--only-j1]
The list repeats the structures of the set (default: the bundled examples
and the shared structures beside the project, when present; examples+data:
the examples and every structure file of tests/data) up to --count entries
(default 60). Needs a built kav_zur and the bundled engine in DIR (default
build/), and in the reference build.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "bench"))
from benchlib import parallel_capacity  # noqa: E402
SHARED_PDB = os.path.join(os.path.dirname(ROOT), "shared", "data", "pdb")
TEST_DATA = os.path.join(ROOT, "tests", "data")


def structures(which):
    with open(os.path.join(ROOT, "examples", "pdblist")) as f:
        paths = [os.path.join(ROOT, "examples", n) for n in f.read().split()]
    if which == "examples+data":
        # Every structure file there, the odd ones (that fail) included.
        paths += sorted(os.path.join(TEST_DATA, n) for n in os.listdir(TEST_DATA)
                        if os.path.isfile(os.path.join(TEST_DATA, n)) and n != "README.md")
    elif os.path.isdir(SHARED_PDB):
        paths += sorted(os.path.join(SHARED_PDB, n) for n in os.listdir(SHARED_PDB)
                        if n.endswith(".pdb"))
    return paths


def prepare(work, count, which):
    """A structure directory of distinct names (repeats get a prefix) and its pdblist."""
    sdir = os.path.join(work, "structures")
    os.makedirs(sdir)
    sources = structures(which)
    names = []
    for i in range(count):
        src = sources[i % len(sources)]
        name = "%03d_%s" % (i, os.path.basename(src))
        os.symlink(src, os.path.join(sdir, name))
        names.append(name)
    with open(os.path.join(work, "pdblist"), "w") as f:
        f.write("\n".join(names) + "\n")
    return sdir


def run_once(binary, work, sdir, engine, options):
    run = os.path.join(work, "run")
    shutil.rmtree(run, ignore_errors=True)
    os.makedirs(run)
    shutil.copy(os.path.join(work, "pdblist"), run)
    # A process forked from this one keeps Python's resident size as its
    # peak across the exec (some 12 MB): the peak comes from /usr/bin/time,
    # whose child starts small, when it is there.
    peak_file = os.path.join(work, "peak")
    timer = ["/usr/bin/time", "-f", "%M", "-o", peak_file] if os.access("/usr/bin/time", os.X_OK) else []
    start = time.perf_counter()
    child = subprocess.Popen(timer + [binary] + options + [sdir, engine], cwd=run,
                             stdout=subprocess.DEVNULL)
    # wait4's usage covers the run and every process it waited for: its
    # peak is that of the largest one (kav_zur, a worker or an engine).
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = os.waitstatus_to_exitcode(status)
    seconds = time.perf_counter() - start
    cpu = usage.ru_utime + usage.ru_stime
    if child.returncode != 0:
        sys.exit("kav_zur %s ended with status %d" % (" ".join(options), child.returncode))
    with open(os.path.join(run, "KAV_ZUr_score.txt"), "rb") as f:
        scores = f.read()
    peak = usage.ru_maxrss
    if timer:
        with open(peak_file) as f:
            peak = int(f.read().split()[-1])
    return seconds, cpu, peak, scores


def load():
    return "load %.2f %.2f %.2f" % os.getloadavg()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--reference", help="another build, whose -j 1 runs go side by side")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--count", type=int, default=60)
    parser.add_argument("--set", default="examples+shared", choices=["examples+shared", "examples+data"])
    parser.add_argument("--only-j1", action="store_true", help="only the -j 1 runs")
    args = parser.parse_args()
    builds = [("", args.build)] + ([("reference ", args.reference)] if args.reference else [])
    for _, build in builds:
        if not os.access(os.path.join(build, "src", "kav_zur"), os.X_OK):
            sys.exit("no kav_zur in %s: build it first" % build)

    cores = os.cpu_count() or 1
    configs = [("-j 1", ["-j", "1"]), ("-j 2", ["-j", "2"]), ("-j 0 (%d cores)" % cores, ["-j", "0"]),
               ("-j 1 --details", ["-j", "1", "--details", "run.tsv"]),
               ("-j 2 --details", ["-j", "2", "--details", "run.tsv"])]
    # The same runs with the engine as a program, labelled "program".
    configs += [("program " + label, ["--engine", "program"] + options)
                for label, options in configs[:3]]
    if args.only_j1:
        configs = [c for c in configs if c[1][c[1].index("-j") + 1] == "1"]
    runs = [(prefix + label, build, options) for label, options in configs
            for prefix, build in builds if not prefix or options == ["-j", "1"]]
    print("before: %s" % load())
    with tempfile.TemporaryDirectory(prefix="kavzur-batch-") as work:
        sdir = prepare(work, args.count, args.set)
        measured = {label: ([], [], []) for label, _, _ in runs}
        reference = None
        # Round by round, every run in turn: a change of the machine's load
        # falls on all of them alike.
        for _ in range(args.runs):
            for label, build, options in runs:
                seconds, cpu, peak, scores = run_once(os.path.join(build, "src", "kav_zur"), work,
                                                      sdir, os.path.join(build, "naccess"), options)
                for kept, value in zip(measured[label], (seconds, cpu, peak)):
                    kept.append(value)
                if reference is None:
                    reference = scores
                elif scores != reference:
                    sys.exit("%s: the score file differs from the -j 1 run's" % label)
        results = {label: (statistics.median(t), statistics.median(c), max(p))
                   for label, (t, c, p) in measured.items()}

    one = results["-j 1"][0]
    print("%d structures (%s), median of %d runs, %d cores; after: %s" %
          (args.count, args.set, args.runs, cores, load()))
    if not args.only_j1:
        print("machine now: 2 CPU-bound processes at once do %.2f times the work of one "
              "(the ceiling for -j 2's speed-up)" % parallel_capacity(2))
    print("%-22s %9s %14s %9s %11s %13s %14s" % ("run", "seconds", "structures/s", "speed-up",
                                               "efficiency", "peak RSS (MB)", "entries/CPU-s"))
    for label, _, options in runs:
        seconds, cpu, peak = results[label]
        jobs = int(options[options.index("-j") + 1]) or cores
        print("%-22s %9.2f %14.2f %9.2f %10.0f%% %13.1f %14.2f" %
              (label, seconds, args.count / seconds, one / seconds,
               100.0 * one / seconds / jobs, peak / 1024.0, args.count / cpu))
    if args.reference:
        print("-j 1 entries per CPU-second: %.2fx those of the reference build" %
              (results["reference -j 1"][1] / results["-j 1"][1]))
    if args.only_j1:
        return
    two = results["-j 2"][0]
    per_core = args.count / two / 2
    print("--details costs %+.1f%% (-j 1) and %+.1f%% (-j 2)" %
          (100.0 * (results["-j 1 --details"][0] / one - 1),
           100.0 * (results["-j 2 --details"][0] / two - 1)))
    print("in process against the program: %.2fx the structures per second (-j 1), %.2fx (-j 2)" %
          (results["program -j 1"][0] / one, results["program -j 2"][0] / two))
    for nodes in (1, 10):
        hours = 200000 / (per_core * 64 * nodes) / 3600
        print("projection, 200000 entries on %2d node(s) of 64 cores at the -j 2 rate per core: "
              "%.2f h (%.0f min)" % (nodes, hours, hours * 60))


if __name__ == "__main__":
    main()
