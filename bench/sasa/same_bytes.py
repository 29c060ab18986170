#!/usr/bin/python3
"""Byte comparison of two accall builds: every .asa and .rsa they write must
be identical.

Inputs: every PDB file (plain or .gz) in tests/data, examples and the shared
structures directory, each whole and as one file per chain (the subunit
files the pipeline writes), with the control settings of the pipeline
(probe 1.40 and 0.40) and with HETATOMS, WATERS and HYDROGENS on.

  /usr/bin/python3 bench/sasa/same_bytes.py --reference OLD/accall --candidate NEW/accall
      [--pdb-dir DIR ...]

Prints one line per difference and a count; exits 1 on any difference.
"""
import argparse
import glob
import gzip
import os
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SHARED_PDB = os.path.join(os.path.dirname(ROOT), "shared", "data", "pdb")

SETTINGS = [
    ("p140", "PROBE 1.40\nZSLICE 0.05\n"),
    ("p040", "PROBE 0.40\nZSLICE 0.05\n"),
    ("all", "PROBE 1.40\nZSLICE 0.05\nHETATOMS\nWATERS\nHYDROGENS\n"),
]


def structures(dirs):
    paths = []
    for d in dirs:
        paths += sorted(glob.glob(os.path.join(d, "*.pdb")) + glob.glob(os.path.join(d, "*.pdb.gz")))
    return paths


def read_text(path):
    opener = gzip.open if path.endswith(".gz") else open
    with opener(path, "rt", errors="surrogateescape") as f:
        return f.read()


def chain_files(text):
    """The coordinate records of each chain of the first model, in file order."""
    chains = {}
    for line in text.splitlines(True):
        if line.startswith("ENDMDL"):
            break
        if line.startswith(("ATOM", "HETATM")) and len(line) > 21:
            chains.setdefault(line[21], []).append(line)
    return chains


def run(accall, workdir, name, text, control):
    os.makedirs(workdir, exist_ok=True)
    with open(os.path.join(workdir, name + ".pdb"), "w", errors="surrogateescape") as f:
        f.write(text)
    ctl = "PDBFILE %s.pdb\nVDWFILE %s\nSTDFILE %s\n%s" % (
        name, os.path.join(ROOT, "data", "vdw.radii"), os.path.join(ROOT, "data", "standard.data"),
        control)
    proc = subprocess.run([accall], input=ctl.encode(), cwd=workdir, capture_output=True)
    out = {"status": proc.returncode}
    for ext in ("asa", "rsa"):
        path = os.path.join(workdir, name + "." + ext)
        out[ext] = open(path, "rb").read() if os.path.exists(path) else None
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--reference", required=True)
    parser.add_argument("--candidate", required=True)
    parser.add_argument("--pdb-dir", action="append")
    args = parser.parse_args()
    dirs = args.pdb_dir or [os.path.join(ROOT, "tests", "data"), os.path.join(ROOT, "examples"),
                            SHARED_PDB]
    differences = runs = 0
    with tempfile.TemporaryDirectory() as scratch:
        for path in structures(dirs):
            text = read_text(path)
            inputs = [("whole", text)] + [("chain_%02x" % ord(c), "".join(lines))
                                          for c, lines in chain_files(text).items()]
            for label, body in inputs:
                for setting, control in SETTINGS:
                    a = run(os.path.abspath(args.reference), os.path.join(scratch, "a"), "x", body, control)
                    b = run(os.path.abspath(args.candidate), os.path.join(scratch, "b"), "x", body, control)
                    runs += 1
                    for key in ("status", "asa", "rsa"):
                        if a[key] != b[key]:
                            differences += 1
                            print("%s %s %s: %s differs" % (path, label, setting, key))
    print("%d runs, %d differences" % (runs, differences))
    return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main())
