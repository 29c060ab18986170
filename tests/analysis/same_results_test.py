"""An entry's interfaces measured with areas shared between their engine runs
give the bytes of runs that measure every atom afresh: the score file, the
details file (its `seconds` aside), the console and the report files, for
every way of choosing interfaces, in process and with the engine as a program,
one worker or two, whole, resumed and sharded.

Usage: same_results_test.py KAV_ZUR ENGINE_DIR DATA_DIR CIF_DIR
                            [--reference KAV_ZUR ENGINE_DIR]

With --reference, every run is compared with that build's in-process run of
the same options (without --fresh-areas, which an older build may lack)."""

import os
import shutil
import subprocess
import sys
import tempfile

# Small structures, so that the many rows stay short.
PDB = ["1ycr.pdb", "3al1.pdb", "1a1f.pdb", "2erl.pdb", "1ubq.pdb"]
CIF = ["1A7G.cif.gz", "4CUP.cif.gz"]

# Rows: a name, the options, the structures (from DATA_DIR, or CIF_DIR with "cif:").
MODES = [
    ("plain", [], PDB),
    ("chains", ["--chains", "A:B"], ["1ycr.pdb", "3al1.pdb"]),
    ("all pairs", ["--all-pairs"], ["1a1f.pdb", "1ycr.pdb"]),
    ("all pairs, two workers", ["--all-pairs", "-j", "2"], ["1a1f.pdb", "1ycr.pdb", "3al1.pdb"]),
    ("crystal", ["--crystal", "--all-pairs"], ["cif:" + c for c in CIF]),
    ("assembly", ["--assembly", "1", "--all-pairs"], ["cif:1A7G.cif.gz", "1a1f.pdb"]),
    ("every model", ["--model", "all", "--all-pairs"], ["2jo4.pdb"]),
    ("report", ["--report", "report"], ["1ycr.pdb", "3al1.pdb"]),
    ("first shard", ["--all-pairs", "--shard", "1/2"], ["1a1f.pdb", "1ycr.pdb", "3al1.pdb"]),
    ("second shard", ["--all-pairs", "--shard", "2/2"], ["1a1f.pdb", "1ycr.pdb", "3al1.pdb"]),
    ("resumed", ["--all-pairs", "--resume"], ["1a1f.pdb", "1ycr.pdb"]),
]

# Columns: how the areas are measured.
WAYS = [
    ("shared areas", []),
    ("fresh areas", ["--fresh-areas"]),
    ("program", ["--engine", "program"]),
]


def without_seconds(path):
    if not os.path.exists(path):
        return None
    with open(path) as f:
        rows = [line.rstrip("\n").split("\t") for line in f]
    if not rows:
        return rows
    col = rows[0].index("seconds")
    return [r[:col] + r[col + 1:] for r in rows]


def tree(path):
    """Every file under `path` by its relative name, with its bytes."""
    found = {}
    for root, _, files in os.walk(path):
        for name in files:
            full = os.path.join(root, name)
            with open(full, "rb") as f:
                found[os.path.relpath(full, path)] = f.read()
    return found


def run(binary, engine, data, cif, options, structures, where):
    """One run in a fresh directory `where`; what it leaves, to compare."""
    shutil.rmtree(where, ignore_errors=True)
    os.makedirs(where)
    src = os.path.join(where, "in")
    os.makedirs(src)
    for s in structures:
        origin = os.path.join(cif, s[4:]) if s.startswith("cif:") else os.path.join(data, s)
        os.symlink(origin, os.path.join(src, os.path.basename(origin)))
    with open(os.path.join(where, "pdblist"), "w") as f:
        f.write("".join(os.path.basename(s.replace("cif:", "")) + "\n" for s in structures))
    if "--resume" in options:
        # An interrupted run: the first line of a whole run's score file.
        whole = [o for o in options if o != "--resume"]
        subprocess.run([binary] + whole + ["--details", "details.tsv", "in", engine], cwd=where,
                       capture_output=True, check=True)
        with open(os.path.join(where, "KAV_ZUr_score.txt")) as f:
            first = f.readline()
        with open(os.path.join(where, "KAV_ZUr_score.txt"), "w") as f:
            f.write(first)
        with open(os.path.join(where, "details.tsv")) as f:
            lines = f.readlines()
        with open(os.path.join(where, "details.tsv"), "w") as f:
            f.writelines(lines[:2])
    p = subprocess.run([binary] + options + ["--details", "details.tsv", "in", engine], cwd=where,
                       capture_output=True)
    with open(os.path.join(where, "KAV_ZUr_score.txt"), "rb") as f:
        scores = f.read()
    return {
        "exit status": p.returncode,
        "console": p.stdout,
        "messages": p.stderr,
        "score file": scores,
        "details file": without_seconds(os.path.join(where, "details.tsv")),
        "report files": tree(os.path.join(where, "report")),
    }


def main(argv):
    binary, engine, data, cif = (os.path.abspath(a) for a in argv[1:5])
    reference = [os.path.abspath(a) for a in
                 argv[argv.index("--reference") + 1:argv.index("--reference") + 3]] \
        if "--reference" in argv else None
    failures = 0
    scratch = tempfile.mkdtemp(prefix="same-results-")
    try:
        for mode, options, structures in MODES:
            if reference:
                expected = run(reference[0], reference[1], data, cif, options, structures,
                               os.path.join(scratch, "expected"))
            else:
                expected = run(binary, engine, data, cif, options + ["--fresh-areas"], structures,
                               os.path.join(scratch, "expected"))
            if not expected["score file"]:
                print(f"{mode}: the reference run scored nothing")
                failures += 1
            for way, extra in WAYS:
                got = run(binary, engine, data, cif, options + extra, structures,
                          os.path.join(scratch, "got"))
                for what, value in expected.items():
                    if got[what] != value:
                        failures += 1
                        print(f"FAIL {mode}, {way}: the {what} differs")
                print(f"{mode}, {way}: compared")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print("all the same" if failures == 0 else f"{failures} differences")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
