"""Names as a structural biologist meets them: file names that are not UTF-8
(scored as the command line scores them, in every spelling Python has for
them), report folders that stay inside out_dir whatever the name, a report
that would overwrite its own input, and the chain names a gemmi.Structure
may carry."""
import os
import pathlib
import shutil
import subprocess

import pytest

import kav_zur
from conftest import BINARY, ENGINE, SOURCE

P1YCR = os.path.join(SOURCE, "examples", "1ycr.pdb")
BAD = b"\xff\xfe.pdb"  # not UTF-8: a legal Linux file name


@pytest.fixture(scope="module")
def odd_folder(tmp_path_factory):
    """A folder holding 1ycr under a name that is not UTF-8."""
    folder = tmp_path_factory.mktemp("odd")
    shutil.copy(P1YCR, os.path.join(os.fsencode(folder), BAD))
    return os.fsencode(folder)


@pytest.fixture(scope="module")
def command_line_line(odd_folder, tmp_path_factory):
    """The score line the program writes for that file, as bytes fields."""
    work = tmp_path_factory.mktemp("cli")
    (work / "pdblist").write_bytes(BAD + b"\n")
    subprocess.run([BINARY, odd_folder, ENGINE], cwd=work, check=True, capture_output=True)
    return (work / "KAV_ZUr_score.txt").read_bytes().splitlines()[-1].split(b"\t")


# How Python code names such a file: its bytes, os.fsdecode's str, a Path.
SPELLINGS = [
    ("bytes", lambda path: path),
    ("fsdecode", os.fsdecode),
    ("Path", lambda path: pathlib.Path(os.fsdecode(path))),
]


@pytest.mark.parametrize("spelling,spell", SPELLINGS, ids=[s[0] for s in SPELLINGS])
def test_a_name_that_is_not_utf8_is_scored_as_the_command_line_scores_it(
        odd_folder, command_line_line, tmp_path, spelling, spell):
    path = spell(os.path.join(odd_folder, BAD))
    r = kav_zur.score(path)
    # The name round-trips to the file's own bytes, as the score file has it.
    name, area, kav = command_line_line[:3]
    assert os.fsencode(r.name) == BAD == name
    assert [b"%.1f" % r.interface_area, b"%.6f" % r.kav] == [area.strip(), kav.strip()]
    assert "\\xff" in repr(r) and r.as_dict()["name"] == r.name
    pairs = kav_zur.score_all_pairs(path)
    assert [p.interface_area for p in pairs] == [r.interface_area]
    folder = kav_zur.report(path, tmp_path)
    assert os.path.dirname(folder) == str(tmp_path) and "complex.pdb" in os.listdir(folder)

    # Among others, a bad name (here one of no file) costs only itself.
    missing = spell(os.path.join(odd_folder, b"\xfa.pdb"))
    results = kav_zur.score_many([P1YCR, path, missing, P1YCR], jobs=2)
    assert [x.status for x in results] == ["scored", "scored", "no_file", "scored"]
    assert os.fsencode(results[2].name) == b"\xfa.pdb"
    with pytest.raises(kav_zur.ScoreError, match=r"\\udcfa"):
        kav_zur.score(missing)


# (what, the report's arguments, where the folder must be: its name in
# out_dir, or the ValueError's words). Nothing may appear outside out_dir.
def gemmi_named(name):
    gemmi = pytest.importorskip("gemmi")
    st = gemmi.read_structure(P1YCR)
    st.name = name
    return st


FOLDERS = [
    ("a plain name", lambda t: (P1YCR, {"name": "complex-1"}), "complex-1"),
    ("a name climbing out", lambda t: (P1YCR, {"name": "../../x"}), ".._.._x~"),
    ("an absolute name", lambda t: (P1YCR, {"name": str(t / "abs")}), "_"),
    ("a gemmi name climbing out", lambda t: (gemmi_named("../g"), {}), ".._g~"),
    ("a gemmi name of dots", lambda t: (gemmi_named(".."), {}), "..~"),
    ("the folder itself", lambda t: (P1YCR, {"name": "."}), ValueError("no folder of its own")),
    ("the folder above", lambda t: (P1YCR, {"name": ".."}), ValueError("no folder of its own")),
    ("a NUL in the name", lambda t: (P1YCR, {"name": "x\0"}), ValueError("NUL")),
]


@pytest.mark.parametrize("what,make,expected", FOLDERS, ids=[f[0] for f in FOLDERS])
def test_a_report_folder_is_always_a_folder_of_out_dir(tmp_path, what, make, expected):
    out = tmp_path / "deep" / "out"
    structure, kwargs = make(out)
    if isinstance(expected, ValueError):
        with pytest.raises(ValueError, match=str(expected)):
            kav_zur.report(structure, out, **kwargs)
        written = []
    else:
        folder = kav_zur.report(structure, out, **kwargs)
        assert os.path.dirname(folder) == str(out)
        assert os.path.basename(folder).startswith(expected)
        assert "view.pml" in os.listdir(folder)
        written = [folder]
    found = [os.path.join(d, n) for d, dirs, _ in os.walk(tmp_path) for n in dirs]
    assert sorted(found) == sorted([str(tmp_path / "deep"), str(out)] * bool(written) + written)


def test_a_report_never_overwrites_its_input(tmp_path):
    # The input is complex.pdb in the folder the report would use, by its own
    # name and through a link.
    folder = tmp_path / "in"
    folder.mkdir()
    source = folder / "complex.pdb"
    shutil.copy(P1YCR, source)
    (tmp_path / "link.pdb").symlink_to(source)
    before = source.read_bytes()
    for structure in (source, tmp_path / "link.pdb"):
        with pytest.raises(ValueError, match="would overwrite it"):
            kav_zur.report(structure, tmp_path, name="in")
    assert source.read_bytes() == before and os.listdir(folder) == ["complex.pdb"]


# A gemmi.Structure read from a file with DBREF records, chain A renamed:
# printable names score as chain A did; a blank gets the reader's message.
CHAIN_NAMES = ["#", "_x", "'", '"', "data_x", "loop_", "A-2", "A B"]


@pytest.mark.parametrize("chain", CHAIN_NAMES)
def test_gemmi_chain_names_reach_the_analysis_as_they_are(chain):
    st = gemmi_named("1ycr")
    assert st.entities and b"\nDBREF " in open(P1YCR, "rb").read()
    st[0][0].name = chain
    if " " in chain:
        with pytest.raises(kav_zur.ScoreError, match="holds a blank") as e:
            kav_zur.score(st)
        assert e.value.status == "read_failed"
        return
    r = kav_zur.score(st)
    assert r.sides == chain + ":B"
    assert r.interface_area == kav_zur.score(P1YCR).interface_area
