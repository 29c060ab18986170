#!/usr/bin/env python3
"""The cost of --confidence, printed with the machine's load:

1. the extra CPU time of `kav_zur --confidence` over the same run without
   it, on the predicted samples (examples/predicted, and the shared samples
   where ../shared is present), each listed 5 times, the least of 8 rounds
   (target: at most 10 %);
2. the read speed of a large AlphaFold3 confidence file, made by scaling up
   that layout to TOKENS tokens (target: at least 300 MB/s).

    bench/confidence/run.py BUILD_DIR [TOKENS]"""
import json
import os
import random
import resource
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
SHARED = os.path.normpath(os.path.join(SOURCE, "..", "shared", "data", "predicted"))


def load():
    return "load %.2f %.2f %.2f" % os.getloadavg()


def samples():
    """(folder, structure names) of each sample folder present."""
    found = []
    examples = os.path.join(SOURCE, "examples", "predicted")
    found.append((examples, sorted(n for n in os.listdir(examples) if "_unrelaxed_" in n)))
    for sub, names in (("colabfold", None), ("boltz/pdl1_binder", ["pdl1_binder_model_0.cif"]),
                       ("af3/pdl1_binder", ["pdl1_binder_model.cif"])):
        folder = os.path.join(SHARED, sub)
        if not os.path.isdir(folder):
            continue
        if names is None:
            names = sorted(n for n in os.listdir(folder) if "_unrelaxed_" in n)
        found.append((folder, names))
    return found


def cpu_of(binary, engine, folder, names, rounds, copies=5):
    """The least CPU seconds (user + system) of `rounds` runs of kav_zur over
    `names` without --confidence and of as many with it, the two taken in
    turn: on a shared machine the least is the run another program slowed
    least, a steadier figure than a sum."""
    work = tempfile.mkdtemp(prefix="kav_zur-bench-")
    spent = [[], []]
    try:
        with open(os.path.join(work, "pdblist"), "w") as f:
            # A batch: each structure listed `copies` times, as a list of many
            # predictions is scored in one run.
            f.write("".join(n + "\n" for n in names) * copies)
        for _ in range(rounds):
            for k, options in enumerate(([], ["--confidence"])):
                before = resource.getrusage(resource.RUSAGE_CHILDREN)
                subprocess.run([binary, *options, "--details", "d.tsv", folder, engine],
                               cwd=work, check=True, stdout=subprocess.DEVNULL)
                after = resource.getrusage(resource.RUSAGE_CHILDREN)
                spent[k].append((after.ru_utime - before.ru_utime) +
                                (after.ru_stime - before.ru_stime))
        return min(spent[0]), min(spent[1])
    finally:
        shutil.rmtree(work)


def large_af3(folder, tokens):
    """An AlphaFold3 confidences.json of `tokens` tokens (8 atoms each) and its summary."""
    rng = random.Random(1)
    atoms = tokens * 8
    path = os.path.join(folder, "big_confidences.json")
    with open(path, "w") as f:
        f.write('{"atom_chain_ids": [' + ", ".join('"A"' for _ in range(atoms)) + "],\n")
        f.write('"atom_plddts": [' + ", ".join("%.2f" % rng.uniform(30, 98)
                                             for _ in range(atoms)) + "],\n")
        f.write('"contact_probs": [')
        for i in range(tokens):
            f.write(("" if i == 0 else ", ") + "[" +
                    ", ".join("%.2f" % rng.random() for _ in range(tokens)) + "]")
        f.write('],\n"pae": [')
        for i in range(tokens):
            f.write(("" if i == 0 else ", ") + "[" +
                    ", ".join("%.2f" % rng.uniform(0.5, 31.75) for _ in range(tokens)) + "]")
        f.write('],\n"token_chain_ids": [' + ", ".join('"A"' for _ in range(tokens)) + "],\n")
        f.write('"token_res_ids": [' + ", ".join(str(i + 1) for i in range(tokens)) + "]}\n")
    summary = os.path.join(folder, "big_summary_confidences.json")
    with open(summary, "w") as f:
        json.dump({"iptm": 0.8, "ptm": 0.8, "chain_pair_iptm": [[0.8]]}, f)
    return path, summary


def main(build, tokens):
    build = os.path.abspath(build)
    binary = os.path.join(build, "src", "kav_zur")
    engine = os.path.join(build, "naccess")
    rounds = 8
    print("extra CPU of --confidence (the least of %d rounds, %s)" % (rounds, load()))
    total_plain = total_confident = 0.0
    for folder, names in samples():
        plain, confident = cpu_of(binary, engine, folder, names, rounds)
        total_plain += plain
        total_confident += confident
        print("  %-42s %d structures x 5: %.3f s without, %.3f s with: %+.1f %%"
              % (os.path.relpath(folder, SOURCE), len(names), plain, confident,
                 100 * (confident - plain) / plain))
    print("  all: %+.1f %% (target: at most 10 %%; %s)"
          % (100 * (total_confident - total_plain) / total_plain, load()))
    with tempfile.TemporaryDirectory(prefix="kav_zur-bench-") as folder:
        path, summary = large_af3(folder, tokens)
        done = subprocess.run([os.path.join(build, "bench", "confidence", "confidence_read_bench"),
                               path, summary], capture_output=True, text=True, check=True)
        print("AlphaFold3 confidence file: %s (target: at least 300 MB/s; %s)"
              % (done.stdout.strip(), load()))


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) == 3 else 3000)
