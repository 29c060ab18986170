"""The module gives the command line's numbers: every structure of the
examples and tests/data (the golden sets among them), with the options that
choose what is scored, compared with the program's details rows and score
lines; jobs=2 gives the results of jobs=1."""
import os
import struct

import pytest

import kav_zur
from conftest import SOURCE, command_line, structure_files

COUNTS = ("atoms_A", "atoms_B", "interface_atoms_A", "interface_atoms_B", "triangles_A",
          "triangles_B")
FLOATS = ("buried_A", "buried_B", "interface_area", "packing_ratio", "complementarity", "KAV",
          "ZUr")
FIELD = {c: c.lower() for c in COUNTS + FLOATS}


def single(value):
    """`value` rounded to single precision."""
    return struct.unpack("f", struct.pack("f", value))[0]


def check_row(row, r, run):
    assert r.name == row["name"]
    assert r.sides == row["sides"], r.name
    assert r.status == row["status"], (r.name, r.messages)
    for column in COUNTS:
        value = getattr(r, FIELD[column])
        assert value == (int(row[column]) if row[column] else None), (r.name, column)
    for column in FLOATS:
        value = getattr(r, FIELD[column])
        if not row[column]:
            assert value is None, (r.name, column)
            continue
        # The printed value read back as a float is the float the module holds.
        assert value == single(value) and value == single(float(row[column])), (r.name, column)
    if r.status == "scored":
        line = "%s\t%8.1f\t%18.6f\t%10.6f\n" % (r.name, r.interface_area, r.kav, r.zur)
        assert line == run.score_lines[r.name]
    assert r.messages and r.messages in run.console, r.name


# (structure folder, the command line's options, the same as keyword arguments)
CASES = [
    ("examples", [], {}),
    ("tests/data", [], {}),
    ("examples", ["--all-pairs"], {"all_pairs": True}),
    ("examples", ["--model", "1"], {"model": 1}),
    ("tests/data", ["--chains", "A:B"], {"chains": "A:B"}),
    # The module's engine in this process against the engine as a program.
    ("examples", ["--engine", "program"], {}),
    ("tests/data", ["--engine", "program"], {}),
]


@pytest.mark.parametrize("folder,options,kwargs", CASES,
                         ids=["%s %s" % (c[0], " ".join(c[1])) for c in CASES])
def test_details_rows_of_the_command_line(folder, options, kwargs):
    paths = structure_files(folder)
    run = command_line(paths, options)
    results = kav_zur.score_many(paths, jobs=1, **kwargs)
    assert len(results) == len(run.rows)
    for row, r in zip(run.rows, results):
        check_row(row, r, run)

    # One structure at a time: the same, or ScoreError with the row's status.
    by_name = {row["name"]: row for row in run.rows}
    for path in paths:
        try:
            if kwargs.get("all_pairs"):
                one = kav_zur.score_all_pairs(path, model=kwargs.get("model"))
            else:
                one = [kav_zur.score(path, **kwargs)]
        except kav_zur.ScoreError as e:
            assert e.status == by_name[e.result.name]["status"] != "scored"
            continue
        for r in one:
            check_row(by_name[r.name], r, run)


def test_jobs_two_gives_the_results_of_jobs_one():
    paths = structure_files("examples") + structure_files("tests/data")
    one = kav_zur.score_many(paths, jobs=1)
    two = kav_zur.score_many(paths, jobs=2)
    strip = lambda r: {k: v for k, v in r.as_dict().items() if k != "seconds"}
    assert [strip(r) for r in two] == [strip(r) for r in one]


def test_text_and_gemmi_structures_give_the_numbers_of_their_files():
    gemmi = pytest.importorskip("gemmi")
    # 1hpv's charge column is one that gemmi refuses (read_failed with --model).
    for path in [p for p in structure_files("examples") if "1hpv" not in p][:3]:
        from_file = kav_zur.score(path)
        with open(path) as f:
            from_text = kav_zur.score(f.read(), format="pdb", name=from_file.name)
        # A gemmi.Structure reaches the analysis as mmCIF, read as the
        # command line reads a converted file.
        converted = kav_zur.score(path, model=1)
        from_gemmi = kav_zur.score(gemmi.read_structure(path), name=from_file.name)
        for field in ("interface_area", "kav", "zur", "atoms_a", "atoms_b", "sides"):
            assert getattr(from_text, field) == getattr(from_file, field), (path, field)
            assert getattr(from_gemmi, field) == getattr(converted, field), (path, field)


def test_to_dataframe_has_the_details_files_columns_and_values():
    pd = pytest.importorskip("pandas")
    paths = structure_files("examples") + [os.path.join(SOURCE, "tests", "data", "1ubq.pdb")]
    results = kav_zur.score_many(paths, jobs=2)
    df = kav_zur.to_dataframe(results)
    assert list(df.columns) == command_line(structure_files("examples")).header
    for column in COUNTS + FLOATS + ("name", "status"):
        values = [getattr(r, FIELD.get(column, column)) for r in results]
        assert [None if pd.isna(v) else v for v in df[column]] == values, column
