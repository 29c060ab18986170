#!/usr/bin/python3
"""Writes data/standard.data: reference areas for the relative accessibility.

The reference of residue type X is X's area in an Ala-X-Ala tripeptide cut
from real structures: X with all its heavy atoms, its neighbours in the chain
cut down to alanines (N, CA, C, O, CB). Every complete instance of X in the
structures (up to 60 a type) is measured by accall at probe 1.40 with the
shipped radii, each tripeptide on its own; the most exposed instance (largest
all-atom area), the nearest to an extended chain, gives the five reference
areas: all atoms, side chain, main chain (N, CA, C, O), non-polar, polar.

  /usr/bin/python3 bench/sasa/make_standard_data.py [--accall build-sasa/naccess/accall]
      [--pdb-dir DIR]    (run from the repository root)
"""
import argparse
import math
import os
import shutil
import subprocess
import tempfile

TYPES = ["ALA", "ARG", "ASN", "ASP", "CYS", "GLN", "GLU", "GLY", "HIS", "ILE", "LEU", "LYS",
         "MET", "PHE", "PRO", "SER", "THR", "TRP", "TYR", "VAL"]
MAIN = {"N", "CA", "C", "O"}
ALA_KEEP = ["N", "CA", "C", "O", "CB"]
PER_TYPE = 60
SPACING = 45.0


def read_radii(path):
    """{residue: {atom: polar}} from the classic layout."""
    table, current = {}, None
    with open(path) as f:
        for line in f:
            if line.startswith("RESIDUE"):
                current = table.setdefault(line.split()[2], {})
            elif line.startswith("ATOM") and current is not None:
                current[line[5:9].strip()] = len(line) > 15 and line[15] == "1"
    return table


def residues_of(path):
    """Residues of the first model as lists of (name, line), chain by chain."""
    chains, last_key = [], None
    with open(path) as f:
        for line in f:
            if line.startswith("ENDMDL"):
                break
            if not line.startswith("ATOM") or line[16] not in " A":
                continue
            element = line[76:78].strip()
            name = line[12:16].strip()
            if element in ("H", "D") or (not element and name[0] in "HD"):
                continue
            key = (line[21], line[22:27])
            if last_key is None or key[0] != last_key[0]:
                chains.append([])
            if key != last_key:
                chains[-1].append([])
            chains[-1][-1].append((name, line.rstrip("\n")))
            last_key = key
    return chains


def xyz(line):
    return float(line[30:38]), float(line[38:46]), float(line[46:54])


def atom(residue, name):
    for n, line in residue:
        if n == name:
            return line
    return None


def bonded(a, b):
    c, n = atom(a, "C"), atom(b, "N")
    return c is not None and n is not None and math.dist(xyz(c), xyz(n)) < 1.5


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.dirname(os.path.dirname(here))
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--accall", default=os.path.join(root, "build-sasa", "naccess", "accall"))
    parser.add_argument("--pdb-dir", default=os.path.join(os.path.dirname(root), "shared", "data", "pdb"))
    args = parser.parse_args()
    radii = read_radii(os.path.join(root, "data", "vdw.radii"))

    picked = {t: [] for t in TYPES}
    for name in sorted(os.listdir(args.pdb_dir)):
        if not name.endswith(".pdb"):
            continue
        for chain in residues_of(os.path.join(args.pdb_dir, name)):
            for i in range(1, len(chain) - 1):
                res = chain[i][0][1][17:20]
                if res not in picked or len(picked[res]) >= PER_TYPE:
                    continue
                # OXT ends chains only; ILE's CD is the older name of CD1.
                wanted = set(radii[res]) - {"OXT"} - ({"CD"} if res == "ILE" else set())
                have = {n for n, _ in chain[i]}
                if wanted - have or not bonded(chain[i - 1], chain[i]) or not bonded(chain[i], chain[i + 1]):
                    continue
                picked[res].append((chain[i - 1], chain[i], chain[i + 1]))

    # All tripeptides in one file, far apart on a grid, so that one run measures them all.
    work = tempfile.mkdtemp(prefix="standard_data_")
    try:
        lines, owner, serial = [], [], 0
        instances = [(t, k) for t in TYPES for k in range(len(picked[t]))]
        side = math.ceil(len(instances) ** (1 / 3))
        for index, (t, k) in enumerate(instances):
            prev, mid, nxt = picked[t][k]
            centre = xyz(atom(mid, "CA"))
            shift = [(index % side) * SPACING, (index // side % side) * SPACING,
                     (index // (side * side)) * SPACING]
            for part, residue in (("prev", prev), ("mid", mid), ("next", nxt)):
                for n, line in residue:
                    if part != "mid" and n not in ALA_KEEP:
                        continue
                    resname = t if part == "mid" else "ALA"
                    serial += 1
                    p = [c - o + s for c, o, s in zip(xyz(line), centre, shift)]
                    lines.append("ATOM  %5d %-4s %3s A%4d    %8.3f%8.3f%8.3f" % (
                        serial % 100000, (" " + n) if len(n) < 4 else n, resname,
                        {"prev": 1, "mid": 2, "next": 3}[part], p[0], p[1], p[2]))
                    owner.append((index, part, n, resname))
        with open(os.path.join(work, "tri.pdb"), "w") as f:
            f.write("\n".join(lines) + "\n")
        engine = os.path.dirname(os.path.abspath(args.accall))
        control = "PDBFILE tri.pdb\nVDWFILE %s/vdw.radii\nPROBE 1.40\nZSLICE 0.05\nASAONLY\n" % engine
        subprocess.run([os.path.abspath(args.accall)], input=control.encode(), cwd=work, check=True)
        with open(os.path.join(work, "tri.asa")) as f:
            areas = [float(l[54:62]) for l in f]
    finally:
        shutil.rmtree(work)

    sums = {}
    for (index, part, n, res), area in zip(owner, areas):
        if part != "mid":
            continue
        s = sums.setdefault(index, [0.0] * 5)
        s[0] += area
        s[2 if n in MAIN else 1] += area
        s[4 if radii[res].get(n, False) else 3] += area
    out = ["# Reference areas (square angstroms) for the relative accessibility of the .rsa.",
           "# One residue a line: name, then all atoms, side chain, main chain (N CA C O),",
           "# non-polar and polar areas. Blank lines and lines starting with # are ignored;",
           "# a residue missing here, or a zero reference, prints -99.9 as relative value.",
           "# Each is the most exposed instance of the residue in an Ala-X-Ala tripeptide",
           "# cut from real structures (bench/sasa/make_standard_data.py), probe 1.40,",
           "# 20 slices, the radii of vdw.radii.",
           "# res      all     side     main  nonpolar    polar"]
    for t in TYPES:
        best = max((sums[i] for i, (tt, _) in enumerate(instances) if tt == t), key=lambda s: s[0],
                   default=None)
        if best is None:
            print("no complete instance of", t)
            continue
        out.append("%-5s %8.2f %8.2f %8.2f %8.2f %8.2f" % (t, *best))
        print(out[-1], " (%d instances)" % len(picked[t]))
    with open(os.path.join(root, "data", "standard.data"), "w") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
