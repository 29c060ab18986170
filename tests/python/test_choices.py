"""Assemblies, crystal interfaces and every model from Python: the command
line's details rows for the same choices, and the argument errors."""
import os

import pytest

import kav_zur
from conftest import SOURCE, command_line
from test_numbers import check_row

DATA = os.path.join(SOURCE, "tests", "data")
PATHS = [os.path.join(DATA, n) for n in ("1A7G.cif.gz", "2jo4.pdb")]

# (the command line's options, the same as keyword arguments, a row that
# must be among the results)
CASES = [
    (["--assembly", "1", "--all-pairs"], {"assembly": "1", "all_pairs": True},
     "1A7G.cif.gz E:E-2"),
    (["--assembly", "1", "--chains", "E:E-2"], {"assembly": 1, "chains": "E:E-2"},
     "1A7G.cif.gz"),
    (["--crystal", "--all-pairs"], {"crystal": True, "all_pairs": True},
     "1A7G.cif.gz E:E 10_665"),
    (["--model", "all"], {"model": "all"}, "2jo4.pdb model 10"),
    (["--model", "all", "--all-pairs"], {"model": "all", "all_pairs": True},
     "2jo4.pdb model 2 A:B"),
]


@pytest.mark.parametrize("options,kwargs,expected", CASES,
                         ids=[" ".join(c[0]) for c in CASES])
def test_choices_give_the_command_lines_rows(options, kwargs, expected):
    run = command_line(PATHS, options)
    assert expected in [row["name"] for row in run.rows if row["status"] == "scored"]
    results = kav_zur.score_many(PATHS, jobs=2, **kwargs)
    assert len(results) == len(run.rows)
    for row, r in zip(run.rows, results):
        check_row(row, r, run)

    # One structure at a time, where one call takes these choices.
    by_name = {row["name"]: row for row in run.rows}
    single = dict(kwargs)
    all_pairs = single.pop("all_pairs", False)
    if not all_pairs and single.get("model") == "all":
        return
    for path in PATHS:
        try:
            one = (kav_zur.score_all_pairs(path, **single) if all_pairs
                   else [kav_zur.score(path, **single)])
        except kav_zur.ScoreError as e:
            assert e.status == by_name[e.result.name]["status"] != "scored"
            continue
        for r in one:
            check_row(by_name[r.name], r, run)


def _text():
    with open(PATHS[1]) as f:
        return f.read()


# (what, the call, the words the message must hold)
WRONG = [
    ("score of every model", lambda: kav_zur.score(PATHS[1], model="all"), "score_many"),
    ("report of every model", lambda: kav_zur.report(PATHS[1], "out", model="all"), "one model"),
    ("crystal without all pairs", lambda: kav_zur.score_many(PATHS, crystal=True),
     "crystal=True"),
    ("crystal with an assembly",
     lambda: kav_zur.score_all_pairs(PATHS[0], crystal=True, assembly="1"), "assembly="),
    ("crystal with an assembly, many",
     lambda: kav_zur.score_many(PATHS, all_pairs=True, crystal=True, assembly="1"),
     "exclude"),
    ("an empty assembly ID", lambda: kav_zur.score(PATHS[0], assembly=""), "assembly"),
    ("every model of text",
     lambda: kav_zur.score_all_pairs(_text(), model="all", format="pdb"), "structure file"),
    ("an assembly of text", lambda: kav_zur.score(_text(), assembly="1", format="pdb"),
     "structure file"),
]


@pytest.mark.parametrize("call,words", [w[1:] for w in WRONG], ids=[w[0] for w in WRONG])
def test_wrong_choices_raise_value_error_naming_the_argument(call, words, in_empty_dir):
    with pytest.raises(ValueError, match=words.replace("(", r"\(")):
        call()
    assert not os.listdir(in_empty_dir)


def test_an_assembly_not_in_the_file_is_a_score_error_listing_those_present():
    with pytest.raises(kav_zur.ScoreError) as e:
        kav_zur.score(PATHS[0], assembly="9")
    assert e.value.status == "read_failed"
    assert "no assembly 9 (assemblies present: 1)" in e.value.messages
