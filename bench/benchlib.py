"""What the Python benchmarks share: the machine's present capacity for
parallel work, and a scratch directory set up for one structure's run.

Imported by bench/<group>/run.py, which puts bench/ on sys.path first."""
import os
import shutil
import statistics
import subprocess
import sys
import time

SPIN = "x = 0\nfor i in range(4000000): x += i\n"


def parallel_capacity(jobs):
    """How many times the work of one CPU-bound process `jobs` of them get
    done at once: the ceiling for any speed-up on this machine as it is
    loaded now (other users' processes share the cores)."""
    def batch(n):
        start = time.perf_counter()
        procs = [subprocess.Popen([sys.executable, "-c", SPIN]) for _ in range(n)]
        for p in procs:
            p.wait()
        return time.perf_counter() - start
    one = statistics.median(batch(1) for _ in range(3))
    many = statistics.median(batch(jobs) for _ in range(3))
    return jobs * one / many


def scratch_for(structure, scratch):
    """Empties `scratch`, then puts `structure` and a pdblist naming it there."""
    for name in os.listdir(scratch):
        path = os.path.join(scratch, name)
        shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
    shutil.copy(structure, os.path.join(scratch, os.path.basename(structure)))
    with open(os.path.join(scratch, "pdblist"), "w") as f:
        f.write(os.path.basename(structure) + "\n")
