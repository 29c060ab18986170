"""Selenomethionine read as methionine (--mse-as-met, mse_as_met=True) in
every way a structure comes in. 1ycr's MDM2 holds Met50 and Met62 in the
cleft its p53 peptide binds: the same complex with every MET written as
selenomethionine (HETATM MSE, SD as SE) scores otherwise, and with the option
exactly as the original."""
import gzip
import os
import shutil

import gemmi
import pytest

import kav_zur
from conftest import SOURCE, command_line

ORIGINAL = os.path.join(SOURCE, "tests", "data", "1ycr.pdb")


def as_selenomethionine(line, record):
    """An ATOM record of MET as selenomethionine in `record` ("HETATM" or
    "ATOM  "); any other line as it is."""
    if not line.startswith("ATOM  ") or line[17:20] != "MET":
        return line
    line = record + line[6:17] + "MSE" + line[20:]
    if line[12:16] == " SD ":
        line = line[:12] + "SE  " + line[16:76] + "SE" + line[78:]
    return line


def mmcif_text(pdb_path):
    """The structure of a PDB file as mmCIF, ATOM and HETATM kept apart."""
    groups = gemmi.MmcifOutputGroups(True)
    groups.group_pdb = True
    return gemmi.read_structure(pdb_path).make_mmcif_document(groups).as_string()


@pytest.fixture(scope="module")
def twins(tmp_path_factory):
    """Folders of the same complex, each file named 1ycr.<suffix>: original/
    (as deposited), hetatm/ (MET as HETATM MSE), atom/ (MET as ATOM MSE, as
    some mmCIF files have it); each as .pdb, .pdb.gz, .cif and .cif.gz."""
    root = tmp_path_factory.mktemp("mse")
    with open(ORIGINAL) as f:
        lines = f.read().splitlines(keepends=True)
    folders = {}
    for kind, record in (("original", None), ("hetatm", "HETATM"), ("atom", "ATOM  ")):
        folder = root / kind
        folder.mkdir()
        pdb = folder / "1ycr.pdb"
        pdb.write_text("".join(lines if record is None
                               else [as_selenomethionine(line, record) for line in lines]))
        (folder / "1ycr.cif").write_text(mmcif_text(str(pdb)))
        for name in ("1ycr.pdb", "1ycr.cif"):
            with open(folder / name, "rb") as plain, gzip.open(folder / (name + ".gz"), "wb") as z:
                shutil.copyfileobj(plain, z)
        folders[kind] = str(folder)
    with open(os.path.join(folders["hetatm"], "1ycr.pdb")) as f:
        atoms = [line for line in f if line.startswith(("ATOM", "HETATM"))]
    assert not [line for line in atoms if line[17:20] == "MET"]
    assert "HETATM" in atoms[0] or any(line.startswith("HETATM  ") for line in atoms)
    assert any(line.startswith("HETATM") and line[12:20] == "SE   MSE" for line in atoms)
    return folders


def program(file, *options):
    """The score lines of the program's run over `file` of a folder."""
    def lines(folder, mse_as_met):
        extra = ("--mse-as-met",) if mse_as_met else ()
        run = command_line([os.path.join(folder, file)], (*options, *extra))
        return list(run.score_lines.values())
    return lines


def module(call):
    """The fields (but seconds) of the Results of a Python call, the folder
    named in the messages as FOLDER."""
    def fields(folder, mse_as_met):
        results = call(folder, mse_as_met)
        results = results if isinstance(results, list) else [results]
        rows = [{k: v for k, v in r.as_dict().items() if k != "seconds"} for r in results]
        for row in rows:
            row["messages"] = row["messages"].replace(folder, "FOLDER")
        return rows
    return fields


def _text(folder, name):
    with open(os.path.join(folder, name)) as f:
        return f.read()


PATHS = [
    ("PDB", program("1ycr.pdb")),
    ("PDB, gzipped", program("1ycr.pdb.gz")),
    ("mmCIF", program("1ycr.cif")),
    ("mmCIF, gzipped", program("1ycr.cif.gz")),
    ("chosen chains", program("1ycr.pdb", "--chains", "B:A")),
    ("every pair", program("1ycr.cif", "--all-pairs")),
    ("an assembly", program("1ycr.pdb", "--assembly", "1")),
    ("crystal copies", program("1ycr.pdb", "--crystal", "--all-pairs")),
    ("every model", program("1ycr.cif.gz", "--model", "all")),
    ("Python, a path", module(lambda d, m: kav_zur.score(os.path.join(d, "1ycr.pdb"),
                                                         mse_as_met=m))),
    ("Python, score_many", module(lambda d, m: kav_zur.score_many(
        [os.path.join(d, "1ycr.cif.gz")], jobs=1, mse_as_met=m))),
    ("Python, a gemmi.Structure", module(lambda d, m: kav_zur.score(
        gemmi.read_structure(os.path.join(d, "1ycr.pdb")), name="1ycr", mse_as_met=m))),
    ("Python, PDB text", module(lambda d, m: kav_zur.score(
        _text(d, "1ycr.pdb"), format="pdb", name="1ycr", mse_as_met=m))),
    ("Python, mmCIF text", module(lambda d, m: kav_zur.score_all_pairs(
        _text(d, "1ycr.cif"), format="mmcif", name="1ycr", mse_as_met=m))),
]


@pytest.mark.parametrize("what, scored", PATHS, ids=[p[0] for p in PATHS])
def test_selenomethionine_scores_as_the_methionine_it_replaces(what, scored, twins):
    original = scored(twins["original"], False)
    assert original
    # The residues are at the interface: as hetero atoms they change the line.
    assert scored(twins["hetatm"], False) != original
    assert scored(twins["hetatm"], True) == original


TWINS = [
    ("PDB", program("1ycr.pdb")),
    ("mmCIF", program("1ycr.cif")),
    ("Python, mmCIF text", module(lambda d, m: kav_zur.score(
        _text(d, "1ycr.cif"), format="mmcif", name="1ycr", mse_as_met=m))),
]


@pytest.mark.parametrize("what, scored", TWINS, ids=[t[0] for t in TWINS])
def test_selenomethionine_as_atom_scores_as_its_hetatm_twin(what, scored, twins):
    assert scored(twins["atom"], True) == scored(twins["hetatm"], True)


def test_mse_as_met_takes_only_a_bool(twins):
    with pytest.raises(TypeError, match="mse_as_met must be True or False"):
        kav_zur.score(os.path.join(twins["hetatm"], "1ycr.pdb"), mse_as_met="yes")
