"""Bad input of every kind met so far never crashes the interpreter: a
structure that cannot be scored raises ScoreError (with the status the
command line records for the same file) or comes back from score_many as a
failed Result; a wrong argument raises ValueError or TypeError; memory
stays flat over many calls."""
import gzip
import os
import resource
import shutil

import pytest

import kav_zur
from conftest import SANITIZED, SOURCE, command_line

DATA = os.path.join(SOURCE, "tests", "data")
P1YCR = os.path.join(DATA, "1ycr.pdb")


def text_of(path):
    with open(path) as f:
        return f.read()


def write(tmp, name, data):
    path = tmp / name
    path.write_bytes(data if isinstance(data, bytes) else data.encode())
    return str(path)


def noise(n):
    state, out = 2024, bytearray()
    for _ in range(n):
        state = (state * 1664525 + 1013904223) % 2**32
        out.append(state >> 24)
    return bytes(out)


def huge_pdb_coordinate(tmp):
    lines = text_of(P1YCR).splitlines(True)
    i = next(i for i, l in enumerate(lines) if l.startswith("ATOM"))
    lines[i] = lines[i][:30] + "99999999" + lines[i][38:]
    return write(tmp, "huge.pdb", "".join(lines))


def bytes_in_a_coordinate(tmp):
    # The engine's message quotes the record, bytes that are not UTF-8 and all.
    lines = open(P1YCR, "rb").read().split(b"\n")
    i = [k for k, l in enumerate(lines) if l.startswith(b"ATOM") and l[21:22] == b"B"][2]
    lines[i] = lines[i][:30] + b"  \xff\xfe.000" + lines[i][38:]
    return write(tmp, "badbytes.pdb", b"\n".join(lines))


def huge_mmcif_coordinate(tmp):
    gemmi = pytest.importorskip("gemmi")
    st = gemmi.read_structure(P1YCR)
    st[0][0][0][0].pos = gemmi.Position(1e30, 0, 0)
    return write(tmp, "huge.cif", kav_zur._gemmi_text(st))


# (what, make(tmp) -> structure, keyword arguments, what score() raises:
#  ScoreError with the command line's status, ValueError, or None for a
#  structure scored or not as the command line has it); score_many gives a
#  Result with the same status and carries on.
CASES = [
    ("an empty file", lambda t: write(t, "empty.pdb", b""), {}, kav_zur.ScoreError),
    ("a binary file", lambda t: write(t, "noise.pdb", noise(5000)), {}, kav_zur.ScoreError),
    ("a binary mmCIF file", lambda t: write(t, "noise.cif", noise(5000)), {},
     kav_zur.ScoreError),
    ("a cut gzip file",
     lambda t: write(t, "cut.pdb.gz", gzip.compress(text_of(P1YCR).encode())[:3000]), {},
     kav_zur.ScoreError),
    ("a malformed mmCIF file",
     lambda t: write(t, "bad.cif", "data_x\nloop_\n_atom_site.id\n_atom_site.Cartn_x\n1 'open\n"),
     {}, kav_zur.ScoreError),
    ("no second chain", lambda t: os.path.join(DATA, "1ubq.pdb"), {}, kav_zur.ScoreError),
    ("a coordinate too large for PDB columns", huge_pdb_coordinate, {}, None),
    ("a coordinate of 1e30 in mmCIF", huge_mmcif_coordinate, {}, kav_zur.ScoreError),
    ("bytes that are not UTF-8 in a coordinate", bytes_in_a_coordinate, {}, kav_zur.ScoreError),
    ("a missing chain", lambda t: P1YCR, {"chains": "A:Z"}, kav_zur.ScoreError),
    ("no such file", lambda t: str(t / "absent.pdb"), {}, kav_zur.ScoreError),
    ("a directory", lambda t: str(t), {}, kav_zur.ScoreError),
    ("a NUL in a path", lambda t: P1YCR + "\0x", {}, ValueError),
]


def command_line_status(path, kwargs):
    """The status the program records for the same file and options."""
    options = ["--chains", kwargs["chains"]] if "chains" in kwargs else []
    run = command_line([path], options)
    return run.rows[0]["status"]


@pytest.mark.parametrize("what,make,kwargs,raised", CASES, ids=[c[0] for c in CASES])
def test_bad_input(tmp_path, what, make, kwargs, raised):
    structure = make(tmp_path)
    on_disk = "\0" not in structure and os.path.isfile(structure)
    if raised is ValueError:
        with pytest.raises(ValueError, match="structure"):
            kav_zur.score(structure, **kwargs)
        status = None
    else:
        try:
            status = kav_zur.score(structure, **kwargs).status
            assert raised is None, what
        except kav_zur.ScoreError as e:
            assert e.status != "scored" and e.messages
            status = e.status
        if on_disk:
            assert status == command_line_status(structure, kwargs), what

    # The bad structure costs only itself.
    results = kav_zur.score_many([structure, P1YCR], **kwargs)
    assert results[0].status == (status or results[0].status)
    assert results[0].status != "scored" or raised is None
    assert [r.status for r in results[1:]] == \
        [r.status for r in kav_zur.score_many([P1YCR], **kwargs)]
    # Its words can always be read and printed.
    assert isinstance(results[0].messages, str) and results[0].as_dict()["messages"] is not None
    str(results[0].messages).encode("utf-8")


def test_text_without_format_is_named_as_text():
    text = text_of(P1YCR)
    with pytest.raises(kav_zur.ScoreError, match="format=") as e:
        kav_zur.score(text)
    assert e.value.status == "no_file" and len(str(e.value)) < 300
    r, = kav_zur.score_many([text])
    assert r.status == "no_file" and text[:80] not in r.messages


# (a call with a wrong argument, the exception it raises, the argument its
# message names)
WRONG = [
    (lambda t: kav_zur.score(42), TypeError, "structure"),
    (lambda t: kav_zur.score_many([P1YCR, 42]), TypeError, r"structures\[1\]"),
    (lambda t: kav_zur.score(P1YCR, chains="A:A"), ValueError, "chains"),
    (lambda t: kav_zur.score_many([P1YCR], chains="A"), ValueError, "chains"),
    (lambda t: kav_zur.score(P1YCR, chains="A,:B"), ValueError, "chains"),
    (lambda t: kav_zur.score(P1YCR, model=0), ValueError, "model"),
    (lambda t: kav_zur.score(P1YCR, model=2**31), ValueError, "model"),
    (lambda t: kav_zur.score_many([P1YCR], model=2**63), ValueError, "model"),
    (lambda t: kav_zur.score(P1YCR, chains="A\0:B"), ValueError, "chains"),
    (lambda t: kav_zur.score(P1YCR, name="x\0"), ValueError, "name"),
    (lambda t: kav_zur.report(P1YCR, t, name="x\0"), ValueError, "name"),
    (lambda t: kav_zur.score(P1YCR, timeout=0), ValueError, "timeout"),
    (lambda t: kav_zur.score_all_pairs(P1YCR, timeout=-1), ValueError, "timeout"),
    (lambda t: kav_zur.score_many([P1YCR], timeout=float("nan")), ValueError, "timeout"),
    (lambda t: kav_zur.score(P1YCR, timeout=1e10), ValueError, "timeout"),
    (lambda t: kav_zur.score(P1YCR, timeout="5"), TypeError, "timeout"),
    (lambda t: kav_zur.score(P1YCR, timeout=True), TypeError, "timeout"),
    (lambda t: kav_zur.score_many([P1YCR], model="1"), TypeError, "model"),
    (lambda t: kav_zur.score_many([P1YCR], jobs=-1), ValueError, "jobs"),
    (lambda t: kav_zur.score_many(P1YCR), TypeError, "structures"),
    (lambda t: kav_zur.score_many([P1YCR], chains="A:B", all_pairs=True), ValueError, "all_pairs"),
    (lambda t: kav_zur.score("", format="pdb"), ValueError, "structure"),
    (lambda t: kav_zur.score("ATOM", format="xyz"), ValueError, "format"),
    (lambda t: kav_zur.score(P1YCR, engine="bundled"), TypeError, "engine"),
    (lambda t: kav_zur.engine(str(t)), ValueError, "naccess_dir"),
    (lambda t: kav_zur.to_dataframe([1, 2]), TypeError, "results"),
]


@pytest.mark.parametrize("call,error,argument", WRONG, ids=["%s %d" % (w[2], i) for i, w in enumerate(WRONG)])
def test_wrong_arguments_of_the_other_calls(tmp_path, call, error, argument):
    with pytest.raises(error, match=argument):
        call(tmp_path)


def test_nothing_is_written_in_the_working_directory(in_empty_dir, tmp_path_factory):
    kav_zur.score(P1YCR)
    kav_zur.score_many([P1YCR, os.path.join(DATA, "1ubq.pdb")], jobs=2)
    kav_zur.score_all_pairs(P1YCR)
    kav_zur.score(text_of(P1YCR), format="pdb")
    folder = kav_zur.report(P1YCR, tmp_path_factory.mktemp("report"))
    assert os.listdir(folder)
    assert os.listdir(in_empty_dir) == []


def max_rss_kb():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss


@pytest.mark.skipif(SANITIZED, reason="the sanitizer's own bookkeeping grows with every call")
def test_memory_stays_flat_over_1000_calls(tmp_path):
    # Scored and failing calls alike, with texts and paths.
    small = os.path.join(DATA, "2jo4.pdb")
    text = text_of(small)
    bad = write(tmp_path, "cut.pdb.gz", gzip.compress(text.encode())[:2000])
    calls = [lambda: kav_zur.score(small), lambda: kav_zur.score(text, format="pdb"),
             lambda: kav_zur.score_many([bad, small], jobs=1),
             lambda: kav_zur.score(small, chains="A:Z")]

    def run(n):
        for i in range(n):
            try:
                calls[i % len(calls)]()
            except kav_zur.ScoreError:
                pass

    run(100)
    before = max_rss_kb()
    run(1000)
    growth = max_rss_kb() - before
    # A leak of the smallest result or structure text per call would pass
    # 4 MB well before 1000 calls.
    assert growth < 4096, "max RSS grew by %d kB over 1000 calls" % growth
