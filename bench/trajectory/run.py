#!/usr/bin/env python3
"""Trajectory benchmark: frames per second of kav_zur.trajectory's
InterfaceScores on the committed 1ycr trajectory and on a synthetic
trajectory of 7ddo (6,411 atoms: examples/7ddo.pdb's coordinates with small
random displacements, written by MDAnalysis), against the same frames
written as PDB files and scored one at a time by kav_zur.score_many, both
with every thread of the process on one CPU (by wall time and by the CPU time of the process, which another program on
the machine slows less); the share of the time spent reading frames (each frame reaches
the analysis as coordinates written into its structure, read once);
jobs=2 against jobs=1 with the
ceiling of this machine as it is loaded (bench/benchlib.py); what a
frame costs outside the analysis of its structure (its row's seconds)
against what a file costs score_many; the peak memory after a short and a
long run (flat: one frame per thread held).

Usage: PYTHONPATH=build/python /usr/bin/python3 bench/trajectory/run.py
       [--frames N] [--long N]
"""
import argparse
import os
import resource
import sys
import tempfile
import time
import tracemalloc
import warnings

import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "bench"))
from benchlib import parallel_capacity  # noqa: E402

warnings.simplefilter("ignore")
with warnings.catch_warnings(record=True):  # MDAnalysis's own import warnings
    import MDAnalysis as mda  # noqa: E402

import kav_zur  # noqa: E402
from kav_zur.trajectory import InterfaceScores, standard_residue  # noqa: E402

TOPOLOGY = os.path.join(ROOT, "tests", "data", "trajectory", "1ycr_md.pdb")
DCD = os.path.join(ROOT, "tests", "data", "trajectory", "1ycr_md.dcd")


def load():
    return "load %.2f %.2f %.2f" % os.getloadavg()


def peak_mb():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024


def synthetic(pdb, frames, folder, name, sigma=0.05, seed=1):
    """`frames` frames of `pdb` displaced by N(0, sigma) A, as a DCD."""
    u = mda.Universe(pdb)
    path = os.path.join(folder, name + ".dcd")
    rng = np.random.default_rng(seed)
    start = u.atoms.positions.copy()
    with mda.Writer(path, u.atoms.n_atoms) as w:
        for _ in range(frames):
            u.atoms.positions = start + rng.normal(0, sigma, start.shape).astype(np.float32)
            w.write(u.atoms)
    return path


def as_pdb_files(analysis, u, folder):
    """Every frame's scored atoms written by MDAnalysis with the mapped names."""
    atoms = analysis._atoms
    atoms.names = [h[12:16].strip() for h in analysis._heads]
    atoms.residues.resnames = [standard_residue(r) or r for r in atoms.residues.resnames]
    paths = []
    for ts in u.trajectory:
        paths.append(os.path.join(folder, "f%05d.pdb" % ts.frame))
        atoms.write(paths[-1])
    return paths


def timed(call):
    """(wall seconds, CPU seconds of the process, what call() gives)."""
    wall, cpu = time.perf_counter(), time.process_time()
    value = call()
    return time.perf_counter() - wall, time.process_time() - cpu, value


def timed_run(u, jobs, **sides):
    return timed(lambda: InterfaceScores(u, jobs=jobs, **sides).run().results.timeseries)


def _set_affinity(cpus):
    for task in os.listdir("/proc/self/task"):
        try:
            os.sched_setaffinity(int(task), cpus)
        except OSError:  # a thread that has ended since
            pass


def on_one_core(call):
    """call() with every thread of this process (and those it starts) on
    one CPU: a run of one core, whatever threads it uses."""
    allowed = os.sched_getaffinity(0)
    _set_affinity({min(allowed)})
    try:
        return call()
    finally:
        _set_affinity(allowed)


def reading_seconds(u, **sides):
    """Reading the frames and checking them, as a run does before scoring,
    in seconds."""
    analysis = InterfaceScores(u, **sides)
    start = time.perf_counter()
    for i, ts in enumerate(u.trajectory):
        analysis._frame_of(i, ts)
    return time.perf_counter() - start


def case(label, topology, trajectory, folder, runs, **sides):
    """Best of `runs` runs of each way, taken in turn, each way first in its
    turn (the machine is shared: the best run is the one least slowed by
    others)."""
    u = mda.Universe(topology, trajectory)
    n = u.trajectory.n_frames
    paths = as_pdb_files(InterfaceScores(u, **sides), u, folder)
    chains = ":".join(",".join(c) for c in InterfaceScores(u, **sides)._chains)
    InterfaceScores(u, **sides).run(stop=2)  # imports (pandas) and the engine set up once
    ways = ("one", "one_cpu", "two", "many", "many_cpu", "reading", "one_outside",
            "many_outside")
    best = {k: [] for k in ways}
    for run in range(runs):
        # Each way first in turn: what runs before one (the state of the
        # memory it leaves) weighs on no way more than on another.
        for way in ("one", "many", "two")[run % 3:] + ("one", "many", "two")[:run % 3]:
            if way == "one":
                seconds, cpu, table = on_one_core(lambda: timed_run(u, 1, **sides))
                best["one"].append(seconds)
                best["one_cpu"].append(cpu)
                # Outside the analysis of each frame: reading, checking,
                # setting its atoms, the run's set-up and table.
                best["one_outside"].append(seconds - table["seconds"].sum())
            elif way == "two":
                seconds, _, table2 = timed_run(u, 2, **sides)
                best["two"].append(seconds)
            else:
                seconds, cpu, results = on_one_core(lambda: timed(
                    lambda: kav_zur.score_many(paths, chains=chains, jobs=1)))
                best["many"].append(seconds)
                best["many_cpu"].append(cpu)
                best["many_outside"].append(seconds - sum(r.seconds for r in results))
        best["reading"].append(reading_seconds(u, **sides))
    one, one_cpu, two, many, many_cpu, reading, one_outside, many_outside = (
        min(best[k]) for k in ways)
    scored = int((table["status"] == "scored").sum())
    same = table.drop(columns="seconds").equals(table2.drop(columns="seconds"))
    print("%s: %d frames, %d atoms scored, %d scored, best of %d  (%s)"
          % (label, n, len(InterfaceScores(u, **sides)._atoms), scored, runs, load()))
    print("  InterfaceScores jobs=1: %.2f frames/s per core, %.2f per CPU second (reading "
          "frames: %.1f%% of the time)" % (n / one, n / one_cpu, 100 * reading / one))
    print("    outside the analysis of each frame (reading and checking it, setting its atoms, "
          "the run's set-up and table): %.2f ms a frame, %.1f%% of the time; score_many "
          "outside the analysis of each file: %.2f ms a file"
          % (1000 * one_outside / n, 100 * one_outside / one, 1000 * many_outside / n))
    print("  score_many of the frames as PDB files, jobs=1: %.2f structures/s, %.2f per CPU "
          "second  (InterfaceScores at %.2fx its rate, %.2fx by CPU time)"
          % (n / many, n / many_cpu, many / one, many_cpu / one_cpu))
    print("  jobs=2: %.2f frames/s, %.2fx jobs=1, the same rows: %s  (ceiling now %.2fx)"
          % (n / two, one / two, same, parallel_capacity(2)))


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--frames", type=int, default=30, help="frames of the 7ddo case")
    parser.add_argument("--long", type=int, default=600, help="frames of the memory case")
    parser.add_argument("--runs", type=int, default=3, help="runs of each way (the best counts)")
    args = parser.parse_args(argv)
    print("kav_zur trajectory benchmark (%s)" % load())
    print("ceiling for jobs=2 now: %.2fx  (the ceiling for jobs=2's speed-up)"
          % parallel_capacity(2))
    with tempfile.TemporaryDirectory(prefix="kav_zur-traj-bench-") as work:
        case("committed 1ycr trajectory", TOPOLOGY, DCD, work, args.runs, chains="A:B")
        seven = os.path.join(ROOT, "examples", "7ddo.pdb")
        os.makedirs(os.path.join(work, "7ddo"))
        dcd = synthetic(seven, args.frames, work, "7ddo")
        case("7ddo, synthetic", seven, dcd, os.path.join(work, "7ddo"), args.runs,
             side_a="protein and chainID A", side_b="protein and chainID C")

        # Memory: a short and a long run of the same atoms. The process's
        # peak is mostly the runs before; the peak of Python's own
        # allocations (numpy's arrays among them) during each run shows
        # what a run holds.
        short = synthetic(TOPOLOGY, 50, work, "short")
        longer = synthetic(TOPOLOGY, args.long, work, "long")
        universes = [mda.Universe(TOPOLOGY, path) for path in (short, longer)]
        tracemalloc.start()
        InterfaceScores(universes[0], chains="A:B", jobs=2).run()
        after_short, held_short = peak_mb(), tracemalloc.get_traced_memory()[1] / 2**20
        tracemalloc.reset_peak()
        InterfaceScores(universes[1], chains="A:B", jobs=2).run()
        held_long = tracemalloc.get_traced_memory()[1] / 2**20
        tracemalloc.stop()
        print("memory: peak %.0f MB after 50 frames, %.0f MB after %d more; Python's "
              "allocations at their peak in a run: %.1f MB over 50 frames, %.1f MB over %d (%s)"
              % (after_short, peak_mb(), args.long, held_short, held_long, args.long, load()))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
