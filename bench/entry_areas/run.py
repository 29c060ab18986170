#!/usr/bin/env python3
"""Whole runs of this build side by side with another build (the reference):
the CPU of kav_zur and everything it starts, and its peak memory, for the
interfaces of one entry measured with areas shared between their engine runs.

  bench/entry_areas/run.py BUILD REFERENCE_BUILD BLOCK_DIR [--repeats N] [--only NAME]

BUILD and REFERENCE_BUILD are build trees (src/kav_zur, naccess/); BLOCK_DIR
holds the 60-copy blocks that build/bench/input/assembly_bench DIR writes.
The runs of the two builds are interleaved; medians are printed with the
machine's load before and after."""
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
CIF = os.path.join(os.path.dirname(SOURCE), "shared", "data", "cif")
DATA = os.path.join(SOURCE, "tests", "data")
EXAMPLES = os.path.join(SOURCE, "examples")
SHARED_PDB = os.path.join(os.path.dirname(SOURCE), "shared", "data", "pdb")
SINGLES = 20


def cases(blocks):
    return [
        ("2XHE block, 60 copies", ["--assembly", "1", "--all-pairs"],
         [os.path.join(blocks, "block60_2xhe.pdb")]),
        ("1YCR block, 60 copies", ["--assembly", "1", "--all-pairs"],
         [os.path.join(blocks, "block60_1ycr.pdb")]),
        ("crystals, all pairs", ["--crystal", "--all-pairs"],
         [os.path.join(CIF, n) for n in ("2XHE.cif.gz", "4ZHL.cif.gz", "1A7G.cif.gz", "4CUP.cif.gz")]),
        # Single structures are listed SINGLES times (under other names), so
        # that a run's CPU is well above the clock's hundredth of a second.
        ("1ycr x%d" % SINGLES, [], [os.path.join(DATA, "1ycr.pdb")] * SINGLES),
        ("7ddo x%d" % SINGLES, [], [os.path.join(EXAMPLES, "7ddo.pdb")] * SINGLES),
        ("1a0q x%d" % SINGLES, [], [os.path.join(EXAMPLES, "1a0q.pdb")] * SINGLES),
        ("4jsv x%d" % SINGLES, [], [os.path.join(SHARED_PDB, "4jsv.pdb")] * SINGLES),
    ]


def run_once(build, options, structures, where):
    """CPU seconds (user + system of the run and its children) and peak RSS (MB)."""
    shutil.rmtree(where, ignore_errors=True)
    os.makedirs(os.path.join(where, "in"))
    names = []
    for k, s in enumerate(structures):
        name = os.path.basename(s)
        if structures.count(s) > 1:  # the same structure again: another name
            stem, dot, ext = name.partition(".")
            name = f"{stem}_{k:02d}{dot}{ext}"
        os.symlink(s, os.path.join(where, "in", name))
        names.append(name)
    with open(os.path.join(where, "pdblist"), "w") as f:
        f.write("".join(n + "\n" for n in names))
    p = subprocess.Popen(["/usr/bin/time", "-f", "%U %S %M", os.path.join(build, "src", "kav_zur")]
                         + options + ["in", os.path.join(build, "naccess")],
                         cwd=where, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, err = p.communicate()
    user, system, peak = err.decode().strip().splitlines()[-1].split()
    return float(user) + float(system), int(peak) / 1024.0


def main(argv):
    build, reference, blocks = (os.path.abspath(a) for a in argv[1:4])
    repeats = int(argv[argv.index("--repeats") + 1]) if "--repeats" in argv else 3
    only = argv[argv.index("--only") + 1] if "--only" in argv else None
    scratch = tempfile.mkdtemp(prefix="entry-areas-")
    print(f"load before: {' '.join(f'{x:.2f}' for x in os.getloadavg())}")
    print(f"{'run':24} {'ref s':>8} {'now s':>8} {'ratio':>6} {'ref MB':>7} {'now MB':>7}")
    try:
        for name, options, structures in cases(blocks):
            if only and only not in name:
                continue
            if not all(os.path.exists(s) for s in structures):
                print(f"{name:24} (input missing)")
                continue
            ref, now = [], []
            for _ in range(repeats):
                ref.append(run_once(reference, options, structures, os.path.join(scratch, "r")))
                now.append(run_once(build, options, structures, os.path.join(scratch, "n")))
            rs = statistics.median(c for c, _ in ref)
            ns = statistics.median(c for c, _ in now)
            rm = max(m for _, m in ref)
            nm = max(m for _, m in now)
            print(f"{name:24} {rs:8.3f} {ns:8.3f} {ns / rs:6.2f} {rm:7.1f} {nm:7.1f}", flush=True)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print(f"load after: {' '.join(f'{x:.2f}' for x in os.getloadavg())}")


if __name__ == "__main__":
    main(sys.argv)
