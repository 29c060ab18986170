#!/usr/bin/python3
"""Speed and peak memory of accall against FreeSASA's Lee-Richards.

Inputs: 4jsv (22k atoms) and synthetic structures of 5k, 20k and 100k atoms
made by tiling a real structure (1hel, 1001 atoms) on a grid of copies that
do not touch. For each input, runs accall (probe 1.40, ZSLICE 0.05, i.e. 20
slices) and `freesasa --lee-richards --resolution=20 --n-threads=1`, whole
processes, interleaved, N times each (default 5), and prints the medians of
wall-clock and CPU time (user + system, from each process's own usage), the throughput ratio
FreeSASA time / accall time, and both peak resident set sizes.

  /usr/bin/python3 bench/sasa/bench_speed.py [--accall build-sasa/naccess/accall]
      [--pdb-dir DIR] [--runs N]

Exits 1 when accall's median CPU time is not at most half of FreeSASA's.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

CHAINS = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"


def tile(source, atoms_wanted, out_path):
    """Copies of source's ATOM records on a cubic grid, cut at atoms_wanted."""
    with open(source) as f:
        records = [l.rstrip("\n") for l in f if l.startswith("ATOM")]
    xyz = [(float(l[30:38]), float(l[38:46]), float(l[46:54])) for l in records]
    lo = [min(c[k] for c in xyz) for k in range(3)]
    span = max(max(c[k] for c in xyz) - lo[k] for k in range(3)) + 12.0
    side = 1
    while side ** 3 * len(records) < atoms_wanted:
        side += 1
    written = 0
    with open(out_path, "w") as out:
        for copy in range(side ** 3):
            i, j, k = copy % side, (copy // side) % side, copy // (side * side)
            chain = CHAINS[copy % len(CHAINS)]
            for line, (x, y, z) in zip(records, xyz):
                if written == atoms_wanted:
                    break
                written += 1
                out.write("%s%5d%s%s%s%8.3f%8.3f%8.3f%s\n" % (
                    line[:6], written % 100000, line[11:21], chain, line[22:30],
                    x - lo[0] + i * span, y - lo[1] + j * span, z - lo[2] + k * span, line[54:]))
        out.write("END\n")
    return written


def measure(argv, stdin_path, cwd):
    """Wall seconds, CPU seconds (user + system) and peak RSS (kB) of one
    whole process. /usr/bin/time reports the peak; the times are the
    process's own usage as its parent sees it (microseconds, where
    /usr/bin/time rounds to hundredths; its own share is a millisecond
    at most, the same for every program)."""
    report = os.path.join(cwd, "time.out")
    with open(stdin_path) if stdin_path else open(os.devnull) as stdin:
        start = time.perf_counter()
        child = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", report] + argv, stdin=stdin,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd=cwd)
        _, status, usage = os.wait4(child.pid, 0)
        wall = time.perf_counter() - start
    if status != 0:
        raise subprocess.CalledProcessError(status, argv)
    with open(report) as f:
        peak = f.read().split()[-1]
    return wall, usage.ru_utime + usage.ru_stime, int(peak)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.dirname(os.path.dirname(here))
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--accall", default=os.path.join(root, "build-sasa", "naccess", "accall"))
    parser.add_argument("--pdb-dir", default=os.path.join(os.path.dirname(root), "shared", "data", "pdb"))
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    accall = os.path.abspath(args.accall)
    freesasa = shutil.which("freesasa")
    if not freesasa:
        subprocess.run(["apt-get", "install", "-y", "freesasa"], check=True, stdout=subprocess.DEVNULL)
        freesasa = shutil.which("freesasa")

    work = tempfile.mkdtemp(prefix="accall_bench_")
    try:
        inputs = [("4jsv", os.path.join(args.pdb_dir, "4jsv.pdb"))]
        for n in (5000, 20000, 100000):
            path = os.path.join(work, "tiled%dk.pdb" % (n // 1000))
            tile(os.path.join(args.pdb_dir, "1hel.pdb"), n, path)
            inputs.append(("tiled %dk" % (n // 1000), path))
        print("%-10s %7s | %-17s | %-17s | %-11s | %-17s" % (
            "input", "atoms", "accall wall/cpu s", "freesasa wall/cpu", "ratio w/cpu",
            "peak kB acc/fs"))
        ok = True
        for label, path in inputs:
            control = os.path.join(work, "control.input")
            with open(control, "w") as f:
                f.write("PDBFILE %s\nVDWFILE %s/vdw.radii\nSTDFILE %s/standard.data\n"
                        "PROBE 1.40\nZSLICE 0.05\n" % (path, os.path.dirname(accall),
                                                        os.path.dirname(accall)))
            ours, theirs = [], []
            for _ in range(args.runs):
                ours.append(measure([accall], control, work))
                theirs.append(measure([freesasa, "--lee-richards", "--resolution=20",
                                       "--n-threads=1", path], None, work))
            with open(os.path.join(work, os.path.splitext(os.path.basename(path))[0] + ".asa")) as f:
                atoms = sum(1 for _ in f)
            med = lambda runs, k: statistics.median(r[k] for r in runs)
            ratio_wall = med(theirs, 0) / med(ours, 0)
            ratio_cpu = med(theirs, 1) / med(ours, 1)
            ok = ok and ratio_cpu >= 2.0
            print("%-10s %7d | %7.3f / %7.3f | %7.3f / %7.3f | %4.2f / %4.2f | %7d / %7d" % (
                label, atoms, med(ours, 0), med(ours, 1), med(theirs, 0), med(theirs, 1),
                ratio_wall, ratio_cpu, max(r[2] for r in ours), max(r[2] for r in theirs)),
                flush=True)
    finally:
        shutil.rmtree(work)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
