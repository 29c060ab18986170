"""Stopping: a structure whose engine runs too long fails as the command line
fails it, in process and with an engine run as a program; Ctrl-C reaches the
caller at once, whatever is running, and leaves no thread, engine process or
working file behind."""
import os
import shutil
import signal
import subprocess
import sys
import textwrap

import pytest

import kav_zur
from conftest import ENGINE, SOURCE

P1YCR = os.path.join(SOURCE, "examples", "1ycr.pdb")


@pytest.fixture(scope="module")
def dense(tmp_path_factory):
    """40000 atoms in a 10 A box: each engine run takes tens of seconds, more
    than a child interpreter below is given."""
    path = tmp_path_factory.mktemp("dense") / "dense.pdb"
    state, lines = 7, []
    for i in range(40000):
        xyz = []
        for _ in range(3):
            state = (state * 1103515245 + 12345) % 2**31
            xyz.append(10.0 * state / 2**31)
        lines.append("ATOM  %5d  CA  ALA %s%4d    %8.3f%8.3f%8.3f  1.00  0.00           C"
                     % (i % 100000, "AB"[i >= 20000], i // 4 % 9999 + 1, *xyz))
    path.write_text("\n".join(lines) + "\nEND\n")
    return str(path)


@pytest.fixture(scope="module")
def hanging_engine(tmp_path_factory):
    """An engine directory whose accall (a program) records its process ID
    and hangs on every run."""
    copy = tmp_path_factory.mktemp("hang") / "naccess"
    shutil.copytree(ENGINE, copy)
    (copy / "kav_zur-engine").unlink(missing_ok=True)
    (copy / "accall").write_text('#!/bin/sh\necho $$ >> "%s"\nexec sleep 60\n'
                                 % (copy / "pids"))
    (copy / "accall").chmod(0o755)
    return str(copy)


def engine_pids(engine_dir):
    try:
        with open(os.path.join(engine_dir, "pids")) as f:
            return [int(line) for line in f]
    except FileNotFoundError:
        return []


def alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    # A zombie is ended; only a running engine counts.
    with open("/proc/%d/stat" % pid) as f:
        return f.read().split(")")[-1].split()[0] != "Z"


# (what, the structure, engine, keyword arguments, the status, words of the
# message). The limit is timeout= or KAV_ZUR_ENGINE_TIMEOUT, as the command
# line's.
LIMITS = [
    ("in process, timeout=", "dense", None, {"timeout": 1}, "worker_died",
     "ran the engine longer than 1 s and was stopped"),
    ("in process, the variable", "dense", None, {"env": "1.5"}, "worker_died",
     "ran the engine longer than 1.5 s and was stopped"),
    ("a program, timeout=", "1ycr", "hang", {"timeout": 0.5}, "engine_failed",
     "accall ran longer than 0.5 s and was stopped"),
    ("a program, the variable", "1ycr", "hang", {"env": "0.5"}, "engine_failed",
     "accall ran longer than 0.5 s and was stopped"),
]


@pytest.mark.parametrize("what,structure,engine,kwargs,status,words", LIMITS,
                         ids=[row[0] for row in LIMITS])
def test_an_engine_run_past_its_limit_fails_its_structure(
        dense, hanging_engine, monkeypatch, what, structure, engine, kwargs, status, words):
    path = dense if structure == "dense" else P1YCR
    eng = kav_zur.engine(hanging_engine) if engine else kav_zur.engine()
    kwargs = dict(kwargs)
    if "env" in kwargs:
        monkeypatch.setenv("KAV_ZUR_ENGINE_TIMEOUT", kwargs.pop("env"))
    with pytest.raises(kav_zur.ScoreError) as e:
        eng.score(path, **kwargs)
    assert e.value.status == status and words in e.value.messages
    # In a list it is one failed result; the others are scored.
    results = eng.score_many([path, P1YCR], jobs=2, **kwargs)
    assert results[0].status == status
    assert results[1].ok == (engine is None)
    assert all(not alive(pid) for pid in engine_pids(hanging_engine))


# Trajectories: the dense structure as one frame, or the committed
# trajectory, ready before Ctrl-C is armed.
FRAMES = ("import MDAnalysis as mda; from kav_zur.trajectory import InterfaceScores; "
          "TOP, DCD = (os.path.join(TRAJECTORY, f) for f in ('1ycr_md.pdb', '1ycr_md.dcd'))")

# (what, the call in a child interpreter, the engine it uses). Ctrl-C comes
# while an engine run is under way.
INTERRUPTS = [
    ("score in process", "kav_zur.score(DENSE)", None),
    ("score_many in process", "kav_zur.score_many([DENSE] * 3, jobs=2)", None),
    ("score with a program", "eng.score(P1YCR)", "hang"),
    ("score_many with a program", "eng.score_many([P1YCR] * 4, jobs=2)", "hang"),
    ("score_many with a program, one thread", "eng.score_many([P1YCR] * 2, jobs=1)", "hang"),
    # Trajectories, one frame at a time and two at once.
    ("a trajectory in process", FRAMES + "; a = InterfaceScores(mda.Universe(DENSE), "
     "chains='A:B')\n    a.run()", None),
    ("a trajectory in process, two threads", FRAMES + "; a = InterfaceScores("
     "mda.Universe(DENSE), chains='A:B', jobs=2)\n    a.run()", None),
    ("a trajectory with a program", FRAMES + "; a = InterfaceScores(mda.Universe(TOP, DCD), "
     "chains='A:B', engine=eng)\n    a.run()", "hang"),
    ("a trajectory with a program, two threads", FRAMES + "; a = InterfaceScores("
     "mda.Universe(TOP, DCD), chains='A:B', engine=eng, jobs=2)\n    a.run()", "hang"),
]

CHILD = textwrap.dedent("""\
    import os, signal, sys, threading, time, kav_zur
    DENSE, P1YCR, ENGINE_DIR, TRAJECTORY = sys.argv[1:5]
    eng = kav_zur.engine(ENGINE_DIR) if ENGINE_DIR else None
    %s
    threading.Timer(1.5, os.kill, (os.getpid(), signal.SIGINT)).start()
    try:
        %s
        sys.exit("not interrupted")
    except KeyboardInterrupt:
        pass
    # A thread may still be leaving Python's own code: a moment for that.
    # (The one that runs the main thread's calls stays, idle.)
    end = time.monotonic() + 2
    while any(t.name.startswith("kav_zur") and not t.name.startswith("kav_zur-calls")
              for t in threading.enumerate()):
        if time.monotonic() > end:
            sys.exit("threads left: %%s" %% threading.enumerate())
        time.sleep(0.02)
    """)


@pytest.mark.parametrize("what,call,engine", INTERRUPTS, ids=[row[0] for row in INTERRUPTS])
def test_ctrl_c_stops_the_call_at_once_and_leaves_nothing_behind(
        dense, hanging_engine, tmp_path, what, call, engine):
    tmp = tmp_path / "tmp"
    tmp.mkdir()
    before = engine_pids(hanging_engine)
    env = dict(os.environ, TMPDIR=str(tmp))
    # The limit far away: only Ctrl-C may end these calls.
    env.pop("KAV_ZUR_ENGINE_TIMEOUT", None)
    # What comes before the last line is made before Ctrl-C is armed.
    setup, _, call = call.rpartition("\n")
    run = subprocess.run([sys.executable, "-W", "ignore", "-c", CHILD % (setup, call.strip()),
                          dense, P1YCR, hanging_engine if engine else "",
                          os.path.join(SOURCE, "tests", "data", "trajectory")],
                         env=env, capture_output=True, text=True, timeout=30)
    assert run.returncode == 0 and "terminate" not in run.stderr, run.stderr
    # No thread of the module left (above), no working directory, no engine
    # running; the interrupt came long before any of these calls could end.
    assert os.listdir(tmp) == []
    started = engine_pids(hanging_engine)[len(before):]
    assert bool(started) == bool(engine)
    assert not any(alive(pid) for pid in started)
