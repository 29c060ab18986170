#!/usr/bin/python3
"""Validates accall's per-atom areas against FreeSASA's Lee-Richards.

For every structure in a directory (default: ../shared/data/pdb/ next to the
repository), for the probes 1.40 and 0.40 and once more at 1.40 with
HETATOMS, WATERS and HYDROGENS, runs accall, then gives
FreeSASA the same coordinates and the radii that accall used (read back from
the .asa) at the same slice count, and compares atom by atom.

Prints the largest per-atom difference and the total difference per
structure and probe; exits 1 when any atom differs by more than 0.001 A^2 (and half a unit
of the last digit the .asa prints).

  /usr/bin/python3 bench/sasa/validate_freesasa.py [--accall build/naccess/accall]
      [--pdb-dir DIR] [--fixtures tests/sasa/fixtures]

With --fixtures, also writes small reference .asa files (FreeSASA's areas in
accall's layout) for the unit tests.

FreeSASA's Python module comes from Debian's python3-freesasa; when it is
missing, the script installs it with apt-get (as root).
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

BOUND = 0.001
SLICES = 20
# Probe and extra control lines: the two probes kav_zur uses, and every
# record kind with its radius rules (assumed, guessed, hydrogens at 1.00).
RUNS = ((1.40, ()), (0.40, ()), (1.40, ("HETATOMS", "WATERS", "HYDROGENS")))


def ensure_freesasa():
    try:
        import freesasa  # noqa: F401
    except ImportError:
        print("installing python3-freesasa with apt-get", flush=True)
        subprocess.run(["apt-get", "install", "-y", "python3-freesasa", "freesasa"], check=True,
                       stdout=subprocess.DEVNULL)
    import freesasa
    return freesasa


def run_accall(accall, pdb_path, probe, workdir, extra=()):
    stem = os.path.splitext(os.path.basename(pdb_path))[0]
    engine = os.path.dirname(os.path.abspath(accall))
    control = "PDBFILE %s\nVDWFILE %s/vdw.radii\nSTDFILE %s/standard.data\nPROBE %.2f\nZSLICE 0.05\n" % (
        os.path.abspath(pdb_path), engine, engine, probe)
    control += "".join(line + "\n" for line in extra)
    subprocess.run([os.path.abspath(accall)], input=control.encode(), cwd=workdir, check=True)
    with open(os.path.join(workdir, stem + ".asa")) as f:
        lines = [line.rstrip("\n") for line in f]
    return lines


def parse_asa(lines):
    coords, areas, radii = [], [], []
    for line in lines:
        coords += [float(line[30:38]), float(line[38:46]), float(line[46:54])]
        areas.append(float(line[54:62]))
        radii.append(float(line[63:68]))
    return coords, areas, radii


def freesasa_areas(freesasa, coords, radii, probe):
    params = freesasa.Parameters({"algorithm": freesasa.LeeRichards, "n-slices": SLICES,
                                  "probe-radius": probe, "n-threads": 1})
    result = freesasa.calcCoord(coords, radii, params)
    return [result.atomArea(i) for i in range(len(radii))]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.dirname(os.path.dirname(here))
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--accall", default=os.path.join(root, "build-sasa", "naccess", "accall"))
    parser.add_argument("--pdb-dir", default=os.path.join(os.path.dirname(root), "shared", "data", "pdb"))
    parser.add_argument("--fixtures", help="write reference .asa fixtures into this directory")
    args = parser.parse_args()
    freesasa = ensure_freesasa()
    freesasa.setVerbosity(freesasa.silent)

    names = sorted(n for n in os.listdir(args.pdb_dir) if n.endswith(".pdb"))
    worst_overall = 0.0
    workdir = tempfile.mkdtemp(prefix="accall_validate_")
    try:
        print("%-16s %10s %7s %12s %12s %10s %10s" % ("structure", "probe", "atoms", "accall",
                                                   "freesasa", "total diff", "max atom"))
        for name in names:
            for probe, extra in RUNS:
                lines = run_accall(args.accall, os.path.join(args.pdb_dir, name), probe, workdir, extra)
                coords, ours, radii = parse_asa(lines)
                # The .asa prints areas to 3 decimals: compare with what it says.
                theirs = freesasa_areas(freesasa, coords, radii, probe)
                worst = max(abs(a - b) for a, b in zip(ours, theirs))
                worst_overall = max(worst_overall, worst)
                print("%-16s %6.2f%s %7d %12.3f %12.3f %10.3f %10.4f%s" % (
                    name, probe, "+all" if extra else "    ", len(ours), sum(ours), sum(theirs), sum(ours) - sum(theirs), worst,
                    "  OVER BOUND" if worst > BOUND + 0.0005 else ""), flush=True)
                if args.fixtures and not extra and name in ("1ubq.pdb", "1crn_biopv.pdb"):
                    os.makedirs(args.fixtures, exist_ok=True)
                    out = os.path.join(args.fixtures, "%s_p%03d.freesasa.asa" % (
                        os.path.splitext(name)[0], round(probe * 100)))
                    with open(out, "w") as f:
                        for line, area, radius in zip(lines, theirs, radii):
                            f.write("%s%8.3f %5.2f\n" % (line[:54], area, radius))
    finally:
        shutil.rmtree(workdir)
    print("largest per-atom difference: %.4f A^2 (bound %.3f)" % (worst_overall, BOUND))
    # The .asa rounds to 0.001, so allow half a unit of the last printed digit.
    return 1 if worst_overall > BOUND + 0.0005 else 0


if __name__ == "__main__":
    sys.exit(main())
