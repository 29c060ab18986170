#!/usr/bin/python3
"""Plausibility of the golden results: our interface areas beside FreeSASA's.

For every structure of the golden runs (examples/pdblist and
tests/e2e/edge.pdblist), takes the first two chains as kav_zur's split does
(first model, ATOM records only, no hydrogens, no atoms with an alternate
location, no residues with an insertion code; subunit one is the first chain
in the file, subunit two the next) and computes with FreeSASA (Lee-Richards,
probe 1.40 A, 20 slices) the buried area

    (SASA(A) + SASA(B) - SASA(AB)) / 2

with the radii of our data/vdw.radii (FreeSASA's own classifier for the
few atoms it does not list; their number is printed). It prints that
beside the interface area, KAV and ZUr of the committed golden score files
(tests/e2e/golden/*.scores.txt), and the two sums behind the scores: the
packing ratio KAV * area and the complementarity sum ZUr * area.

A scored structure is plausible when the two areas agree within 2 % and
both sums lie between 0 and 1. Exits 1 when one is not.

  /usr/bin/python3 bench/golden/plausibility.py

FreeSASA's Python module comes from Debian's python3-freesasa; when it is
missing, the script installs it with apt-get (as root).
"""
import os
import subprocess
import sys

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
RUNS = (("examples", "examples", "examples/pdblist"),
        ("edge", "tests/data", "tests/e2e/edge.pdblist"))
AREA_TOLERANCE = 0.02


def ensure_freesasa():
    try:
        import freesasa  # noqa: F401
    except ImportError:
        print("installing python3-freesasa with apt-get", flush=True)
        subprocess.run(["apt-get", "install", "-y", "--no-install-recommends",
                        "python3-freesasa"], check=True)


def read_radii(path):
    """(residue, atom) -> radius from the engine's vdw.radii."""
    radii = {}
    residue = None
    with open(path) as f:
        for line in f:
            if line.startswith("RESIDUE"):
                residue = line.split()[2]
            elif line.startswith("ATOM") and residue:
                fields = line.split()
                radii[(residue, fields[1])] = float(fields[2])
    return radii


def is_hydrogen(line):
    element = line[76:78].strip()
    if element:
        return element in ("H", "D")
    name = line[12:16].strip()
    return name[:1] in ("H", "D") or (name[:1].isdigit() and name[1:2] in ("H", "D"))


def first_two_chains(path):
    """Atoms (residue, name, x, y, z) of subunits one and two."""
    subunits = ([], [])
    chains = []
    with open(path, errors="replace") as f:
        for line in f:
            if line.startswith("ENDMDL"):
                break
            if not line.startswith("ATOM") or len(line) < 54:
                continue
            if line[16] != " " or line[26] != " " or is_hydrogen(line):
                continue
            chain = line[21]
            if not chains or chain != chains[-1]:
                if len(chains) == 2:
                    break
                chains.append(chain)
            atom = (line[17:20].strip(), line[12:16].strip(),
                    float(line[30:38]), float(line[38:46]), float(line[46:54]))
            subunits[len(chains) - 1].append(atom)
    return chains, subunits


def total_area(atoms, radii, classifier, freesasa):
    if not atoms:
        return 0.0, 0
    coords, rs, guessed = [], [], 0
    for res, name, x, y, z in atoms:
        coords += [x, y, z]
        r = radii.get((res, name))
        if r is None:
            r = classifier.radius(res, name)
            guessed += 1
        rs.append(r)
    params = freesasa.Parameters({"algorithm": freesasa.LeeRichards,
                                  "probe-radius": 1.40, "n-slices": 20})
    return freesasa.calcCoord(coords, rs, params).totalArea(), guessed


def golden_scores(name):
    scores = {}
    with open(os.path.join(REPO, "tests/e2e/golden", name + ".scores.txt")) as f:
        for line in f.readlines()[4:]:
            entry, area, kav, zur = line.rstrip("\n").split("\t")
            scores[entry] = (float(area), float(kav), float(zur))
    return scores


def main():
    ensure_freesasa()
    import freesasa
    classifier = freesasa.Classifier()
    radii = read_radii(os.path.join(REPO, "data/vdw.radii"))
    header = ("structure", "chains", "atoms A/B", "area", "FreeSASA", "diff", "KAV", "ZUr",
              "KAV*area", "ZUr*area", "verdict")
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    bad = 0
    for run, directory, pdblist in RUNS:
        scores = golden_scores(run)
        with open(os.path.join(REPO, pdblist)) as f:
            names = f.read().split()
        for name in names:
            chains, (a, b) = first_two_chains(os.path.join(REPO, directory, name))
            sa, ga = total_area(a, radii, classifier, freesasa)
            sb, gb = total_area(b, radii, classifier, freesasa)
            sab, gab = total_area(a + b, radii, classifier, freesasa)
            buried = (sa + sb - sab) / 2.0
            guessed = f" ({gab} radii by FreeSASA)" if gab else ""
            row = [name, "/".join(chains), f"{len(a)}/{len(b)}", "", f"{buried:.1f}"]
            if name in scores:
                area, kav, zur = scores[name]
                diff = (area - buried) / buried
                packing, complementarity = kav * area, zur * area
                ok = (abs(diff) <= AREA_TOLERANCE and 0.0 < packing < 1.0
                      and 0.0 < complementarity <= 1.0)
                bad += not ok
                row[3] = f"{area:.1f}"
                row += [f"{100 * diff:+.2f} %", f"{kav:.6f}", f"{zur:.6f}", f"{packing:.3f}",
                        f"{complementarity:.3f}", ("plausible" if ok else "IMPLAUSIBLE") + guessed]
            else:
                row[3] = "no score"
                row += ["", "", "", "", "", "failed (see golden/" + run + ".out.txt)" + guessed]
            print("| " + " | ".join(row) + " |", flush=True)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
