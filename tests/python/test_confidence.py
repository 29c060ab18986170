"""The predictor's confidence beside KAV and ZUr: --confidence and
confidence=True on the files each predictor writes, bad confidence files,
and the options that split an entry into several interfaces.

Every layout is written from the ColabFold sample in examples/predicted (its
structure as mmCIF, its PAE and pLDDT in the predictor's files), so that each
reader must give the ColabFold sample's published ipSAE and pDockQ."""
import csv
import json
import os
import shutil
import subprocess

import gemmi
import numpy as np
import pytest

import kav_zur
from conftest import BINARY, ENGINE, SOURCE

EXAMPLES = os.path.join(SOURCE, "examples", "predicted")
STEM = "pdl1_binder_%s_rank_001_alphafold2_multimer_v3_model_1_seed_000"
SAMPLE = os.path.join(EXAMPLES, STEM % "unrelaxed" + ".pdb")
SCORES = os.path.join(EXAMPLES, (STEM % "scores") + ".json")
SHARED = os.path.normpath(os.path.join(SOURCE, "..", "shared", "data", "predicted"))

COLUMNS = ["predictor", "iptm", "ptm", "ipsae", "ipsae_ab", "ipsae_ba", "ipsae_d0chn",
           "ipsae_d0dom", "iptm_d0chn", "pdockq", "pdockq2", "lis", "ipae", "interface_plddt"]
# The sample's combined row as the published definitions print it (pae 10, dist 10).
PRINTED = {"ipsae": 0.867983, "ipsae_ab": 0.867983, "ipsae_ba": 0.842880,
           "ipsae_d0chn": 0.925175, "ipsae_d0dom": 0.924859, "iptm_d0chn": 0.925175,
           "pdockq": 0.5757, "pdockq2": 0.9059, "lis": 0.7620, "ipae": 3.1702}


def run(folder, names, *options):
    """kav_zur [options] over `names` in `folder`: (console, details rows, score file)."""
    work = os.path.join(folder, "run-" + "-".join(o.strip("-") for o in options))
    os.makedirs(work)
    with open(os.path.join(work, "pdblist"), "w") as f:
        f.write("".join(n + "\n" for n in names))
    done = subprocess.run([BINARY, *options, "--details", "details.tsv", folder, ENGINE],
                          cwd=work, capture_output=True, text=True, check=False)
    assert done.returncode == 0, done.stderr
    with open(os.path.join(work, "details.tsv"), newline="") as f:
        header = f.readline().rstrip("\n").split("\t")
        f.seek(0)
        rows = list(csv.DictReader(f, delimiter="\t", quoting=csv.QUOTE_NONE))
    with open(os.path.join(work, "KAV_ZUr_score.txt")) as f:
        score = f.read()
    return done.stdout, header, rows, score


# --- the predictors' layouts, written from the sample ------------------------

def sample_arrays():
    with open(SCORES) as f:
        scores = json.load(f)
    st = gemmi.read_structure(SAMPLE)
    st.setup_entities()
    atom_plddts = [a.b_iso for r in st[0]["A"] for a in r] + \
                  [a.b_iso for r in st[0]["B"] for a in r]
    return st, scores, atom_plddts


def write_cif(st, path):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    st.make_mmcif_document().write_file(path)


def write_json(path, value):
    with open(path, "w") as f:
        json.dump(value, f)


def colabfold(folder):
    shutil.copy(SAMPLE, folder)
    shutil.copy(SCORES, folder)
    return os.path.basename(SAMPLE)


def colabfold_aligned_error(folder):
    """The scores without a PAE, which the AlphaFold database's aligned-error
    file (a list holding one object) gives instead."""
    name = "aef_unrelaxed_rank_001_model_1.pdb"
    shutil.copy(SAMPLE, os.path.join(folder, name))
    with open(SCORES) as f:
        scores = json.load(f)
    pae = scores.pop("pae")
    write_json(os.path.join(folder, "aef_scores_rank_001_model_1.json"), scores)
    write_json(os.path.join(folder, "aef_predicted_aligned_error_v1.json"),
               [{"predicted_aligned_error": pae, "max_predicted_aligned_error": 31.75}])
    return name


def alphafold3(structure, confidences, summary, chains=None):
    def write(folder):
        st, scores, atom_plddts = sample_arrays()
        for chain, name in zip(st[0], chains or []):
            chain.name = name
        st.setup_entities()
        write_cif(st, os.path.join(folder, structure))
        write_json(os.path.join(folder, confidences),
                   {"atom_plddts": atom_plddts, "pae": scores["pae"],
                    "token_chain_ids": ["A"] * 94 + ["B"] * 115})
        write_json(os.path.join(folder, summary),
                   {"iptm": 0.92, "ptm": 0.94, "chain_pair_iptm": [[0.9, 0.8], [0.7, 0.9]]})
        return structure
    return write


def boltz(folder):
    st, scores, _ = sample_arrays()
    write_cif(st, os.path.join(folder, "pdl1_model_0.cif"))
    np.savez_compressed(os.path.join(folder, "pae_pdl1_model_0.npz"),
                        pae=np.array(scores["pae"], dtype=np.float32))
    np.savez_compressed(os.path.join(folder, "plddt_pdl1_model_0.npz"),
                        plddt=np.array(scores["plddt"], dtype=np.float32) / 100)
    write_json(os.path.join(folder, "confidence_pdl1_model_0.json"),
               {"iptm": 0.93, "ptm": 0.95,
                "pair_chains_iptm": {"0": {"0": 1.0, "1": 0.6}, "1": {"0": 0.8, "1": 1.0}}})
    return "pdl1_model_0.cif"


LAYOUTS = [
    # (id, writer, predictor, iptm of A:B)
    ("colabfold", colabfold, "colabfold", 0.92),
    ("colabfold-aligned-error-file", colabfold_aligned_error, "colabfold", 0.92),
    ("alphafold3", alphafold3("pdl1_model.cif", "pdl1_confidences.json",
                              "pdl1_summary_confidences.json"), "alphafold3", 0.7),
    ("alphafold3-sample", alphafold3("seed-1_sample-0/model.cif",
                                     "seed-1_sample-0/confidences.json",
                                     "seed-1_sample-0/summary_confidences.json"),
     "alphafold3", 0.7),
    ("alphafold3-server", alphafold3("fold_pdl1_model_0.cif", "fold_pdl1_full_data_0.json",
                                     "fold_pdl1_summary_confidences_0.json"), "alphafold3", 0.7),
    # Chain names of two letters, one lower case: the pair's ipTM by the chains' order.
    ("alphafold3-chain-names", alphafold3("names_model.cif", "names_confidences.json",
                                          "names_summary_confidences.json", ["AA", "xB"]),
     "alphafold3", 0.7),
    ("boltz", boltz, "boltz", 0.8),
]


@pytest.fixture(scope="module")
def layouts(tmp_path_factory):
    """Every layout in one folder, scored by one run with --confidence and one without."""
    folder = str(tmp_path_factory.mktemp("layouts"))
    names = {key: write(folder) for key, write, _, _ in LAYOUTS}
    plain = run(folder, list(names.values()))
    confident = run(folder, list(names.values()), "--confidence")
    workers = run(folder, list(names.values()), "--confidence", "-j", "2")
    return folder, names, plain, confident, workers


@pytest.mark.parametrize("key,predictor,iptm", [(k, p, i) for k, _, p, i in LAYOUTS],
                         ids=[k for k, _, _, _ in LAYOUTS])
def test_each_predictor_gives_the_printed_values(layouts, key, predictor, iptm):
    folder, names, _, (_, header, rows, _), _ = layouts
    assert header[-len(COLUMNS):] == COLUMNS
    row = next(r for r in rows if r["name"] == names[key])
    assert row["status"] == "scored"
    assert row["predictor"] == predictor
    assert float(row["iptm"]) == pytest.approx(iptm)
    for column, printed in PRINTED.items():
        digits = 6 if column.startswith("ip") and column != "ipae" else 4
        # Boltz's PAE is float32: its values differ from the JSON's in the 8th digit.
        assert round(float(row[column]), digits) == pytest.approx(printed, abs=2e-6), column
    assert 90 < float(row["interface_plddt"]) <= 100


@pytest.mark.parametrize("key", [k for k, _, _, _ in LAYOUTS])
def test_the_library_gives_the_details_row(layouts, key):
    folder, names, _, (_, _, rows, _), _ = layouts
    row = next(r for r in rows if r["name"] == names[key])
    result = kav_zur.score(os.path.join(folder, names[key]), confidence=True)
    for column in COLUMNS:
        value = getattr(result, column)
        shown = value if isinstance(value, str) else "%.9g" % value
        assert shown == row[column], column
    frame = kav_zur.to_dataframe([result])
    assert list(frame.columns[-len(COLUMNS):]) == COLUMNS


def test_the_score_file_and_todays_details_stay(layouts):
    _, _, (plain_console, plain_header, plain_rows, plain_score), \
        (_, header, rows, score), (_, _, worker_rows, worker_score) = layouts
    assert score == plain_score == worker_score
    # Workers (-j 2) hand the confidence back as a run in one process has it.
    assert [[r[c] for c in COLUMNS] for r in worker_rows] == [[r[c] for c in COLUMNS] for r in rows]
    assert "predictor" not in plain_header
    assert header[:len(plain_header)] == plain_header
    assert "confidence" not in plain_console


# --- bad confidence files ----------------------------------------------------

def edit_json(name, change):
    def edit(folder):
        path = os.path.join(folder, name)
        with open(path) as f:
            value = json.load(f)
        change(value)
        write_json(path, value)
    return edit


def replace_bytes(name, make):
    def edit(folder):
        path = os.path.join(folder, name)
        with open(path, "rb") as f:
            data = f.read()
        with open(path, "wb") as f:
            f.write(make(data))
    return edit


def npz_of(name, **arrays):
    def edit(folder):
        np.savez(os.path.join(folder, name), **arrays)
    return edit


def shrink_pae(value):
    value["pae"] = [row[:-1] for row in value["pae"][:-1]]


def plddt_out_of_range(value):
    value["plddt"][3] = 150.0


def pae_not_a_number(value):
    value["pae"][5][7] = "x"


def pae_negative_within_a_chain(value):
    value["pae"][5][7] = -1.5  # A with A: not parsed as a number, yet refused by its sign


def pae_not_a_number_between_chains(value):
    value["pae"][5][200] = "x"  # A with B


def pae_not_a_number_nor_plddt(value):
    pae_not_a_number(value)
    del value["plddt"]


def one_chain_summary(value):
    value["chain_pair_iptm"] = [[0.9]]


BAD = [
    # (id, layout, breakage, what the console says)
    ("malformed-json", colabfold, replace_bytes(os.path.basename(SCORES), lambda d: b"{" + d),
     "malformed or truncated JSON"),
    ("truncated-json", colabfold, replace_bytes(os.path.basename(SCORES), lambda d: d[:len(d) // 2]),
     "malformed or truncated JSON"),
    ("trailing-content", colabfold, replace_bytes(os.path.basename(SCORES), lambda d: d + b" ]"),
     "malformed or truncated JSON"),
    # A value read part way through its row, and a later field still looked for.
    ("pae-value", colabfold, edit_json(os.path.basename(SCORES), pae_not_a_number),
     "'pae' holds a value that is not a non-negative number"),
    ("pae-negative-within-a-chain", colabfold,
     edit_json(os.path.basename(SCORES), pae_negative_within_a_chain),
     "'pae' holds a value that is not a non-negative number"),
    ("pae-value-between-chains", colabfold,
     edit_json(os.path.basename(SCORES), pae_not_a_number_between_chains),
     "'pae' holds a value that is not a non-negative number"),
    ("pae-value-no-plddt", colabfold, edit_json(os.path.basename(SCORES), pae_not_a_number_nor_plddt),
     os.path.basename(SCORES) + ": no 'plddt'"),
    ("pae-size", colabfold, edit_json(os.path.basename(SCORES), shrink_pae),
     os.path.basename(SCORES) + ": the PAE matrix is 208 x 208, the structure has 209 residues"),
    ("plddt-range", colabfold, edit_json(os.path.basename(SCORES), plddt_out_of_range),
     "holds a pLDDT outside 0-100"),
    ("missing-chain", alphafold3("pdl1_model.cif", "pdl1_confidences.json",
                                 "pdl1_summary_confidences.json"),
     edit_json("pdl1_summary_confidences.json", one_chain_summary),
     "pdl1_summary_confidences.json: gives no ipTM for chains A and B"),
    ("truncated-npz", boltz, replace_bytes("pae_pdl1_model_0.npz", lambda d: d[:len(d) // 2]),
     "not a readable .npz archive"),
    ("npz-dtype", boltz, npz_of("pae_pdl1_model_0.npz", pae=np.zeros((209, 209), np.int32)),
     "not little-endian float32 or float64"),
    ("npz-fortran", boltz,
     npz_of("pae_pdl1_model_0.npz", pae=np.asfortranarray(np.ones((209, 209), np.float32))),
     "in Fortran order"),
    ("npz-no-array", boltz, npz_of("plddt_pdl1_model_0.npz", other=np.ones(209, np.float32)),
     "no array 'plddt'"),
]


@pytest.mark.parametrize("layout,breakage,said", [b[1:] for b in BAD], ids=[b[0] for b in BAD])
def test_bad_files_leave_the_columns_empty(tmp_path, layout, breakage, said):
    folder = str(tmp_path)
    name = layout(folder)
    breakage(folder)
    console, _, rows, _ = run(folder, [name], "--confidence")
    assert rows[0]["status"] == "scored" and rows[0]["KAV"]
    assert all(rows[0][c] == "" for c in COLUMNS)
    assert said in console
    problem = next(line for line in console.splitlines() if said in line)
    assert name in problem or ".json" in problem or ".npz" in problem


def test_no_files_says_what_was_looked_for(tmp_path):
    folder = str(tmp_path)
    shutil.copy(SAMPLE, folder)  # the structure without its scores
    console, _, rows, _ = run(folder, [os.path.basename(SAMPLE)], "--confidence")
    assert rows[0]["status"] == "scored"
    assert rows[0]["ipsae"] == ""
    assert "looked for " + os.path.basename(SCORES) in console


# --- entries of several interfaces -------------------------------------------

PMHC = os.path.join(SHARED, "colabfold",
                    "pmhc_binder_unrelaxed_rank_001_alphafold2_multimer_v3_model_1_seed_000.pdb")

SPLITS = [
    # (id, options, the interfaces and whether each has confidence)
    ("all-pairs", ("--all-pairs",), None),
    ("groups", ("--chains", "A,C:B,D"), {"A,C:B,D": True}),
    ("models", ("--model", "all"), {"model 1": True}),
]


@pytest.mark.parametrize("options,expected", [s[1:] for s in SPLITS], ids=[s[0] for s in SPLITS])
def test_every_interface_of_an_entry(tmp_path, options, expected):
    if not os.path.exists(PMHC):
        pytest.skip("the shared pMHC sample is not here")
    folder = str(tmp_path)
    shutil.copy(PMHC, folder)
    shutil.copy(PMHC.replace("_unrelaxed_", "_scores_").replace(".pdb", ".json"), folder)
    _, _, rows, _ = run(folder, [os.path.basename(PMHC)], *options, "--confidence")
    scored = [r for r in rows if r["status"] == "scored"]
    assert scored
    if expected is None:
        # Every touching pair of four chains, each with its own values.
        assert len(scored) >= 4 and all(r["ipsae"] for r in scored)
        assert len({r["ipsae"] for r in scored}) == len(scored)
        ab = next(r for r in scored if r["sides"] == "A:B")
        assert round(float(ab["ipsae"]), 6) == 0.767675
        return
    for r in scored:
        key = next(k for k in expected if k in r["name"] or k == r["sides"])
        assert bool(r["ipsae"]) == expected[key], r["name"]


@pytest.mark.parametrize("key,expected", [
    ("af3", "alphafold3"), ("boltz", "boltz")])
def test_the_shared_samples_are_read(tmp_path, key, expected):
    folder = os.path.join(SHARED, key, "pdl1_binder")
    if not os.path.isdir(folder):
        pytest.skip("the shared samples are not here")
    name = "pdl1_binder_model.cif" if key == "af3" else "pdl1_binder_model_0.cif"
    result = kav_zur.score(os.path.join(folder, name), confidence=True)
    assert result.predictor == expected
    assert 0 < result.ipsae <= 1 and 0 < result.pdockq < 1 and result.ipae > 0
    assert 0 < result.iptm <= 1 and 0 < result.ptm <= 1
