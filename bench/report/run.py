#!/usr/bin/python3
"""Cost of --report: CPU time (user + system, kav_zur and its engine runs) and
wall time of a kav_zur run over one structure with and without --report
(medians of interleaved runs), the difference per structure, and the size of
the report folder. CPU time is the figure to read on a loaded machine.

Usage: bench/report/run.py [--build DIR] [--runs N] [structure.pdb ...]
Default structures: the bundled examples. Needs a built kav_zur and engine.
"""
import argparse
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "bench"))
from benchlib import scratch_for  # noqa: E402


def one_run(kav_zur, engine, structure, scratch, report):
    scratch_for(structure, scratch)
    cmd = [kav_zur] + (["--report", "out"] if report else []) + [scratch, engine]
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    proc = subprocess.run(cmd, cwd=scratch, capture_output=True, text=True)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    if proc.returncode != 0:
        sys.exit(f"kav_zur failed on {structure}:\n{proc.stdout}{proc.stderr}")
    size = 0
    out = os.path.join(scratch, "out")
    for folder, _, files in os.walk(out):
        size += sum(os.path.getsize(os.path.join(folder, f)) for f in files)
    return wall, cpu, size


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("structures", nargs="*")
    args = parser.parse_args()
    kav_zur = os.path.join(args.build, "src", "kav_zur")
    engine = os.path.join(args.build, "naccess")
    structures = args.structures
    if not structures:
        with open(os.path.join(ROOT, "examples", "pdblist")) as f:
            structures = [os.path.join(ROOT, "examples", n) for n in f.read().split()]

    print(f"{'structure':<12} {'plain CPU s':>11} {'report CPU s':>12} {'cost ms':>8} "
          f"{'wall cost ms':>12} {'report kB':>10}")
    costs = []
    with tempfile.TemporaryDirectory() as scratch:
        for structure in structures:
            runs = {False: [], True: []}
            size = 0
            for _ in range(args.runs):  # interleaved: both see the same machine load
                for report in (False, True):
                    wall, cpu, size_now = one_run(kav_zur, engine, structure, scratch, report)
                    runs[report].append((wall, cpu))
                    size = size_now or size
            med = {k: (statistics.median(w for w, _ in v), statistics.median(c for _, c in v))
                   for k, v in runs.items()}
            cost = med[True][1] - med[False][1]
            costs.append(cost)
            print(f"{os.path.basename(structure):<12} {med[False][1]:11.3f} {med[True][1]:12.3f} "
                  f"{1000 * cost:8.1f} {1000 * (med[True][0] - med[False][0]):12.1f} "
                  f"{size / 1024:10.1f}")
    print(f"median CPU cost of --report per structure: {1000 * statistics.median(costs):.1f} ms")


if __name__ == "__main__":
    main()
