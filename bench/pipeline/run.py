#!/usr/bin/env python3
"""Pipeline benchmark: wall time of a whole kav_zur run per structure, split
into engine time (the five accall runs) and the rest (splitting, selection,
triangulation, scores, I/O), median of several runs, with peak memory.

Then the two ways to run the bundled engine side by side, wall and CPU time
(kav_zur and every process it starts) per structure: in kav_zur's process
(the default for the bundled engine) and as a program (--engine program).

Usage: bench/pipeline/run.py [--build DIR] [--runs N] [--spread] [structure.pdb ...]
Default structures: the bundled examples, 4jsv and two spread-out interfaces
built from 1ycr (12 copies along a diagonal, 4 at corners of a 700 A cube; see
spread.py); --spread runs only those two. Builds the project first. Peak
memory is the run's ru_maxrss (engine runs included).
"""
import argparse
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time

import spread

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from benchlib import scratch_for  # noqa: E402  (bench/ on the path first)

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SHARED_PDB = os.path.join(os.path.dirname(ROOT), "shared", "data", "pdb")


def default_structures():
    names = []
    with open(os.path.join(ROOT, "examples", "pdblist")) as f:
        names = [os.path.join(ROOT, "examples", n) for n in f.read().split()]
    big = os.path.join(SHARED_PDB, "4jsv.pdb")
    if os.path.exists(big):
        names.append(big)
    return names


def atoms_in(path):
    n = 0
    with open(path, errors="replace") as f:
        for line in f:
            if line.startswith("ENDMDL"):
                break
            if line.startswith("ATOM"):
                n += 1
    return n


def one_run(kav_zur, timed_engine, real_engine, structure, scratch):
    """Returns (wall seconds, engine seconds, peak kB, score line or None)."""
    scratch_for(structure, scratch)
    times_file = os.path.join(scratch, "engine.times")
    env = dict(os.environ, KAVZUR_REAL_ENGINE=real_engine, KAVZUR_ENGINE_TIMES=times_file)
    cmd = ["/usr/bin/time", "-f", "%M", kav_zur, scratch, timed_engine]
    start = time.perf_counter()
    proc = subprocess.run(cmd, cwd=scratch, env=env, capture_output=True, text=True)
    wall = time.perf_counter() - start
    peak_kb = int(proc.stderr.strip().splitlines()[-1])
    if not os.path.exists(times_file):
        sys.exit(f"no engine run was timed for {structure}: is {timed_engine} built "
                 f"with its data files?\n{proc.stdout}")
    with open(times_file) as f:
        engine = sum(float(x) for x in f.read().split())
    with open(os.path.join(scratch, "KAV_ZUr_score.txt")) as f:
        lines = f.read().splitlines()[4:]
    return wall, engine, peak_kb, (lines[0] if lines else None)


def timed_run(kav_zur, engine, structure, scratch, options):
    """Returns (wall seconds, CPU seconds of kav_zur and its children, score line)."""
    scratch_for(structure, scratch)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run([kav_zur] + options + [scratch, engine], cwd=scratch, capture_output=True)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    with open(os.path.join(scratch, "KAV_ZUr_score.txt")) as f:
        lines = f.read().splitlines()[4:]
    return wall, cpu, (lines[0] if lines else None)


def compare_paths(kav_zur, engine, structures, runs):
    print()
    print(f"{'structure':<18}{'atoms':>7}{'in-process':>12}{'cpu':>8}{'program':>10}{'cpu':>8}"
          f"{'wall ratio':>12}  same line")
    same_all = True
    with tempfile.TemporaryDirectory() as scratch:
        for path in structures:
            figures = {}
            for label, options in (("in", []), ("program", ["--engine", "program"])):
                walls, cpus, line = [], [], None
                for _ in range(runs):
                    wall, cpu, line = timed_run(kav_zur, engine, path, scratch, options)
                    walls.append(wall)
                    cpus.append(cpu)
                figures[label] = (statistics.median(walls), statistics.median(cpus), line)
            same = figures["in"][2] == figures["program"][2]
            same_all = same_all and same
            print(f"{os.path.basename(path):<18}{atoms_in(path):>7}{figures['in'][0]:>12.3f}"
                  f"{figures['in'][1]:>8.3f}{figures['program'][0]:>10.3f}"
                  f"{figures['program'][1]:>8.3f}{figures['in'][0] / figures['program'][0]:>11.2f}x"
                  f"  {'yes' if same else 'NO'}")
    return same_all


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(ROOT, "build-bench"),
                    help="build directory of its own (configured Release, without tests)")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--spread", action="store_true", help="only the two spread-out interfaces")
    ap.add_argument("structures", nargs="*")
    args = ap.parse_args()
    if not os.path.exists("/usr/bin/time"):
        subprocess.run(["apt-get", "install", "-y", "-q", "time"], check=True)

    subprocess.run(["cmake", "-S", ROOT, "-B", args.build, "-G", "Ninja",
                    "-DCMAKE_BUILD_TYPE=Release", "-DBUILD_TESTING=OFF"], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", args.build], check=True, stdout=subprocess.DEVNULL)
    kav_zur = os.path.join(args.build, "src", "kav_zur")
    real_engine = os.path.join(args.build, "naccess")
    timed_engine = os.path.join(args.build, "timed_engine")

    made = tempfile.TemporaryDirectory()
    spread_cases = [spread.make_spread(os.path.join(ROOT, "examples", "1ycr.pdb"), layout, made.name)
                    for layout in spread.LAYOUTS]
    structures = args.structures or ([] if args.spread else default_structures())
    if args.spread or not args.structures:
        structures += spread_cases
    print(f"{'structure':<18}{'atoms':>7}{'wall s':>9}{'engine s':>10}{'rest s':>9}"
          f"{'rest %':>8}{'peak MB':>9}  score line")
    failed = False
    with tempfile.TemporaryDirectory() as scratch:
        for path in structures:
            walls, engines, peaks, line = [], [], [], None
            for _ in range(args.runs):
                wall, engine, peak, line = one_run(kav_zur, timed_engine, real_engine, path, scratch)
                walls.append(wall)
                engines.append(engine)
                peaks.append(peak)
            wall = statistics.median(walls)
            engine = statistics.median(engines)
            rest = max(wall - engine, 0.0)
            name = os.path.basename(path)
            print(f"{name:<18}{atoms_in(path):>7}{wall:>9.3f}{engine:>10.3f}{rest:>9.3f}"
                  f"{100.0 * rest / wall:>7.1f}%{max(peaks) / 1024.0:>9.1f}  "
                  f"{line if line else '(no score line)'}")
            if line is None:
                failed = True
    # The engine in kav_zur's process against the same engine as a program.
    plain = [p for p in structures if p not in spread_cases]
    if plain and not compare_paths(kav_zur, real_engine, plain, args.runs):
        failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
