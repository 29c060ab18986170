#!/usr/bin/python3
"""Cost of --report: wall time of a kav_zur run over one structure with and
without --report (median of several runs), the difference per structure, and
the size of the report folder.

Usage: bench/report/run.py [--build DIR] [--runs N] [structure.pdb ...]
Default structures: the bundled examples. Needs a built kav_zur and engine.
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


def one_run(kav_zur, engine, structure, scratch, report):
    for name in os.listdir(scratch):
        path = os.path.join(scratch, name)
        shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
    shutil.copy(structure, os.path.join(scratch, os.path.basename(structure)))
    with open(os.path.join(scratch, "pdblist"), "w") as f:
        f.write(os.path.basename(structure) + "\n")
    cmd = [kav_zur] + (["--report", "out"] if report else []) + [scratch, engine]
    start = time.perf_counter()
    proc = subprocess.run(cmd, cwd=scratch, capture_output=True, text=True)
    wall = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit(f"kav_zur failed on {structure}:\n{proc.stdout}{proc.stderr}")
    size = 0
    out = os.path.join(scratch, "out")
    for folder, _, files in os.walk(out):
        size += sum(os.path.getsize(os.path.join(folder, f)) for f in files)
    return wall, size


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

    print(f"{'structure':<12} {'plain s':>8} {'report s':>9} {'cost ms':>8} {'report kB':>10}")
    costs = []
    with tempfile.TemporaryDirectory() as scratch:
        for structure in structures:
            plain, report, size = [], [], 0
            for _ in range(args.runs):  # interleaved: both see the same machine load
                plain.append(one_run(kav_zur, engine, structure, scratch, False)[0])
                wall, size = one_run(kav_zur, engine, structure, scratch, True)
                report.append(wall)
            p, r = statistics.median(plain), statistics.median(report)
            costs.append(r - p)
            print(f"{os.path.basename(structure):<12} {p:8.3f} {r:9.3f} {1000 * (r - p):8.1f} "
                  f"{size / 1024:10.1f}")
    print(f"median cost of --report per structure: {1000 * statistics.median(costs):.1f} ms")


if __name__ == "__main__":
    main()
