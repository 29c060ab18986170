"""The calls beyond the numbers: help texts that name every argument, the
report files of the command line, engines of other directories, progress."""
import filecmp
import inspect
import os
import shutil
import subprocess
import sys

import pytest

import kav_zur
from conftest import BINARY, ENGINE, SOURCE

P1YCR = os.path.join(SOURCE, "examples", "1ycr.pdb")
CALLS = [kav_zur.score, kav_zur.score_all_pairs, kav_zur.score_many, kav_zur.report,
         kav_zur.engine, kav_zur.to_dataframe]


@pytest.mark.parametrize("call", CALLS, ids=[c.__name__ for c in CALLS])
def test_help_names_every_argument(call):
    doc = inspect.getdoc(call)
    for name in inspect.signature(call).parameters:
        assert name in doc, "help(kav_zur.%s) does not say what %s is" % (call.__name__, name)
    if call is kav_zur.to_dataframe:
        for column in ("name", "sides", "status", "KAV", "ZUr", "triangles_B", "seconds"):
            assert column in doc
    # The Result's help names every field it has.
    fields = kav_zur.score(P1YCR).as_dict()
    for field in fields:
        assert field in inspect.getdoc(kav_zur.Result), field


def test_report_writes_the_command_lines_report_files(tmp_path):
    folder = kav_zur.report(P1YCR, tmp_path / "py")
    assert folder == str(tmp_path / "py" / "1ycr.pdb")
    work = tmp_path / "cli"
    work.mkdir()
    (work / "pdblist").write_text("1ycr.pdb\n")
    subprocess.run([BINARY, "--report", "out", os.path.join(SOURCE, "examples"), ENGINE],
                   cwd=work, check=True, capture_output=True)
    expected = work / "out" / "1ycr.pdb"
    names = sorted(os.listdir(expected))
    assert sorted(os.listdir(folder)) == names
    match, mismatch, errors = filecmp.cmpfiles(expected, folder, names, shallow=False)
    assert mismatch == [] and errors == []
    with pytest.raises(kav_zur.ScoreError):
        kav_zur.report(os.path.join(SOURCE, "tests", "data", "1ubq.pdb"), tmp_path / "none")
    assert not os.path.exists(tmp_path / "none" / "1ubq.pdb")


def test_an_engine_of_another_directory_is_honoured(tmp_path):
    bundled = kav_zur.engine()
    assert os.path.samefile(bundled.naccess_dir, ENGINE)
    copy = tmp_path / "naccess"
    shutil.copytree(ENGINE, copy)
    other = kav_zur.engine(copy)
    assert os.path.samefile(other.naccess_dir, copy)
    assert kav_zur.score(P1YCR, engine=other).as_dict()["kav"] == kav_zur.score(P1YCR).kav
    # Its own radii are used: larger atoms bury other areas.
    radii = (copy / "vdw.radii").read_text().replace("1.87", "2.27")
    (copy / "vdw.radii").write_text(radii)
    changed = kav_zur.score(P1YCR, engine=kav_zur.engine(copy))
    assert changed.interface_area != kav_zur.score(P1YCR).interface_area


@pytest.mark.parametrize("with_tqdm", [True, False])
def test_progress_is_shown_on_stderr(tmp_path, with_tqdm):
    code = ("import sys, kav_zur\n"
            "%s\n"
            "r = kav_zur.score_many([sys.argv[1]] * 2, jobs=2, progress=True)\n"
            "assert [x.status for x in r] == ['scored'] * 2\n"
            % ("" if with_tqdm else "sys.modules['tqdm'] = None"))
    run = subprocess.run([sys.executable, "-c", code, P1YCR], capture_output=True,
                         cwd=tmp_path, check=True)
    assert run.stdout == b""
    if with_tqdm:
        pytest.importorskip("tqdm")
        assert b"kav_zur" in run.stderr and b"2/2" in run.stderr
    else:
        assert run.stderr == b"\rkav_zur: 1/2 structures\rkav_zur: 2/2 structures\n"
    assert os.listdir(tmp_path) == []
