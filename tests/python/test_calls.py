"""The calls beyond the numbers: help texts that name every argument, the
report files of the command line, engines of other directories, the GIL
released while scoring, progress."""
import filecmp
import inspect
import os
import shutil
import subprocess
import sys
import threading
import time

import pytest

import kav_zur
from conftest import BINARY, ENGINE, SOURCE

P1YCR = os.path.join(SOURCE, "examples", "1ycr.pdb")
MARKER = "kav_zur-engine"  # beside the bundled accall
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


def copy_of_engine(tmp, marker=True, radii=None):
    copy = tmp / "naccess"
    shutil.copytree(ENGINE, copy)
    if not marker:
        (copy / MARKER).unlink(missing_ok=True)
    if radii:
        (copy / "vdw.radii").write_text((copy / "vdw.radii").read_text().replace(*radii))
    return copy


# (what, the engine directory made in tmp, runs in process, gives the bundled
# engine's numbers)
ENGINES = [
    ("the bundled engine", lambda t: ENGINE, True, True),
    ("a copy with its marker", lambda t: copy_of_engine(t), True, True),
    ("a copy without the marker", lambda t: copy_of_engine(t, marker=False), False, True),
    ("a copy with larger carbon radii", lambda t: copy_of_engine(t, radii=("1.87", "2.27")),
     True, False),
    ("without the marker, larger radii",
     lambda t: copy_of_engine(t, marker=False, radii=("1.87", "2.27")), False, False),
]


@pytest.mark.parametrize("what,make,in_process,same", ENGINES, ids=[e[0] for e in ENGINES])
def test_engine_directories_are_honoured(tmp_path, monkeypatch, what, make, in_process, same):
    directory = make(tmp_path)
    engine = kav_zur.engine(None if directory == ENGINE else directory)
    assert os.path.samefile(engine.naccess_dir, directory)
    assert engine.in_process == in_process
    # In the process nothing is written anywhere, not even in TMPDIR; as a
    # program the working files live in a directory of TMPDIR, removed.
    work, tmp = tmp_path / "work", tmp_path / "tmp"
    work.mkdir()
    tmp.mkdir()
    monkeypatch.chdir(work)
    monkeypatch.setenv("TMPDIR", str(tmp))
    r = kav_zur.score(P1YCR, engine=engine)
    reference = kav_zur.score(P1YCR)
    assert (r.as_dict()["kav"] == reference.kav) == same
    assert (r.interface_area == reference.interface_area) == same
    assert os.listdir(work) == [] and os.listdir(tmp) == []


def test_the_gil_is_released_while_a_structure_is_scored():
    # A Python thread keeps running while another scores: the longest pause
    # between its steps stays well under the analysis's time. One of three
    # tries suffices on a loaded machine; a held lock fails all three.
    largest = os.path.join(SOURCE, "examples", "7ddo.pdb")
    for _ in range(3):
        done, result = threading.Event(), []
        worker = threading.Thread(target=lambda: (result.append(kav_zur.score(largest)),
                                                  done.set()))
        steps = [time.perf_counter()]
        worker.start()
        while not done.is_set():
            steps.append(time.perf_counter())
        worker.join()
        pause = max(b - a for a, b in zip(steps, steps[1:]))
        if pause < 0.5 * result[0].seconds:
            return
    pytest.fail("a pause of %.3f s in a %.3f s analysis" % (pause, result[0].seconds))


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


def test_an_interrupted_score_many_stops_its_threads(tmp_path):
    # Ctrl-C in a notebook: the call ends, and no thread goes on scoring the
    # rest of the list behind the caller's back.
    code = ("import os, signal, sys, threading, time, kav_zur\n"
            "threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT)).start()\n"
            "try:\n"
            "    kav_zur.score_many([sys.argv[1]] * 400, jobs=2)\n"
            "    sys.exit('not interrupted')\n"
            "except KeyboardInterrupt:\n"
            "    pass\n"
            "end = time.monotonic() + 5\n"
            "while any(t.name.startswith('kav_zur-') for t in threading.enumerate()):\n"
            "    assert time.monotonic() < end, 'threads still scoring'\n"
            "    time.sleep(0.05)\n")
    subprocess.run([sys.executable, "-c", code, P1YCR], cwd=tmp_path, check=True)
