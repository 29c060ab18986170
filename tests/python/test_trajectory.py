"""Interfaces over a trajectory (kav_zur.trajectory and kav_zur-traj) on the
committed OpenMM run of 1ycr: each frame's row is the program's details row
of that frame written as PDB by MDAnalysis; jobs=2 gives jobs=1; force-field
names score as the standard ones; bad input is a clear error or one failed
row."""
import os
import signal
import subprocess
import sys
import warnings

import numpy as np
import pytest

mda = pytest.importorskip("MDAnalysis", reason="python3-mdanalysis is not installed")

import kav_zur  # noqa: E402
from kav_zur.trajectory import InterfaceScores, score_trajectory  # noqa: E402
from conftest import SOURCE, command_line  # noqa: E402
from test_numbers import COUNTS, FLOATS, single  # noqa: E402

DATA = os.path.join(SOURCE, "tests", "data", "trajectory")
TOPOLOGY = os.path.join(DATA, "1ycr_md.pdb")
DCD = os.path.join(DATA, "1ycr_md.dcd")
XTC = os.path.join(DATA, "1ycr_md.xtc")
COMMAND = os.path.join(SOURCE, "scripts", "kav_zur-traj")
FRAMES = [0, 17, 59]


def universe(*files):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        return mda.Universe(*files)


def frame_files(analysis, u, frames, folder):
    """Each frame's scored atoms written by MDAnalysis as PDB, with the
    names kav_zur scores them by."""
    atoms = analysis._atoms
    mapped = [line[12:27] for line in analysis._heads]
    atoms.names = [m[0:4].strip() for m in mapped]
    atoms.residues.resnames = [kav_zur.trajectory.standard_residue(r) or r
                               for r in atoms.residues.resnames]
    paths = []
    for f in frames:
        u.trajectory[f]
        path = os.path.join(folder, "f%03d.pdb" % f)
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            atoms.write(path)
        paths.append(path)
    return paths


@pytest.mark.parametrize("trajectory", [DCD, XTC], ids=["dcd", "xtc"])
def test_each_frame_is_the_programs_row_of_that_frame(trajectory, tmp_path):
    u = universe(TOPOLOGY, trajectory)
    one = InterfaceScores(u, chains="A:B").run(frames=FRAMES).results.timeseries
    two = InterfaceScores(u, chains="A:B", jobs=2).run(frames=FRAMES).results.timeseries
    assert list(one["frame"]) == FRAMES
    assert np.allclose(one["time"], [u.trajectory[f].time for f in FRAMES])
    columns = [c for c in one.columns if c not in ("seconds",)]
    assert one[columns].equals(two[columns])

    paths = frame_files(InterfaceScores(u, chains="A:B"), u, FRAMES, str(tmp_path))
    run = command_line(paths, ["--chains", "A:B"])
    assert len(run.rows) == len(FRAMES)
    for (_, ours), row in zip(one.iterrows(), run.rows):
        assert ours["status"] == row["status"] == "scored", ours["message"]
        assert ours["sides"] == row["sides"]
        for column in COUNTS:
            assert ours[column] == int(row[column]), column
        for column in FLOATS:
            assert ours[column] == single(float(row[column])), column


def test_score_trajectory_and_the_command_give_the_class_rows(tmp_path):
    frames = dict(start=10, stop=40, step=15)
    table = InterfaceScores(universe(TOPOLOGY, XTC), chains="A:B").run(
        **frames).results.timeseries
    one_call = score_trajectory(TOPOLOGY, XTC, chains="A:B", **frames)
    details = tmp_path / "rows.tsv"
    picture = tmp_path / "plot.png"
    run = traj([TOPOLOGY, XTC, "--chains", "A:B", "--start", "10", "--stop", "40", "--step",
                "15", "-j", "2", "--details", str(details), "--plot", str(picture)])
    assert run.returncode == 0, run.stderr
    import pandas as pd
    written = pd.read_csv(details, sep="\t", keep_default_na=False,
                          float_precision="round_trip")
    assert list(table["frame"]) == list(one_call["frame"]) == list(written["frame"]) == [10, 25]
    for column in ("interface_area", "KAV", "ZUr", "atoms_A", "triangles_B"):
        assert list(one_call[column]) == list(table[column]) == list(written[column]), column
    with open(picture, "rb") as f:
        assert f.read(8) == b"\x89PNG\r\n\x1a\n"


def renamed(renames, tmp_path):
    """examples/1ycr.pdb with residues and atoms renamed as a force field
    writes them: {(chain, resid): (resname, {atom: new name})}."""
    u = universe(os.path.join(SOURCE, "examples", "1ycr.pdb"))
    u = u.select_atoms("protein")
    for (chain, resid), (resname, atoms) in renames.items():
        residue = u.select_atoms("chainID %s and resid %d" % (chain, resid)).residues[0]
        residue.resname = resname
        for atom in residue.atoms:
            atom.name = atoms.get(atom.name, atom.name)
    path = str(tmp_path / "renamed.pdb")
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        u.atoms.write(path)
    return path


# (a force field's names on 1ycr, {(chain, resid): (residue, {atom: name})})
NAME_CASES = [
    ("AMBER histidines", {("A", 73): ("HIE", {}), ("A", 96): ("HIP", {})}),
    ("CHARMM histidines", {("A", 73): ("HSD", {}), ("A", 96): ("HSE", {})}),
    ("AMBER termini", {("A", 25): ("NGLU", {}), ("B", 29): ("CASN", {"O": "OC1"})}),
    ("CHARMM terminal oxygen", {("B", 29): ("ASN", {"O": "OT1"})}),
    ("AMBER protonation", {("A", 25): ("GLH", {}), ("A", 51): ("LYN", {}),
                           ("A", 68): ("ASH", {})}),
]


@pytest.mark.parametrize("renames", [c[1] for c in NAME_CASES], ids=[c[0] for c in NAME_CASES])
def test_force_field_names_score_as_the_standard_ones(renames, tmp_path):
    path = renamed(renames, tmp_path)
    standard = kav_zur.score(os.path.join(SOURCE, "examples", "1ycr.pdb"), chains="A:B")
    row = InterfaceScores(universe(path), chains="A:B").run().results.timeseries.iloc[0]
    assert row["status"] == "scored", row["message"]
    assert (row["atoms_A"], row["atoms_B"]) == (standard.atoms_a, standard.atoms_b)
    assert row["interface_area"] == standard.interface_area
    assert (row["KAV"], row["ZUr"]) == (standard.kav, standard.zur)


def traj(arguments):
    env = dict(os.environ, PYTHONWARNINGS="ignore")
    return subprocess.run([sys.executable, COMMAND, *arguments], capture_output=True,
                          text=True, env=env, check=False)


# The command in a child interpreter that gives itself Ctrl-C once the
# third row is collected: the interrupt comes at a known frame.
CTRL_C_AFTER_THREE = """\
import os, runpy, signal, sys
import kav_zur.trajectory as t
collect = t.InterfaceScores._collect
def collected(self, row):
    collect(self, row)
    if len(self._rows) == 3:
        os.kill(os.getpid(), signal.SIGINT)
t.InterfaceScores._collect = collected
sys.argv = sys.argv[1:]
runpy.run_path(sys.argv[0], run_name="__main__")
"""


@pytest.mark.parametrize("jobs", ["1", "2"])
def test_ctrl_c_writes_the_rows_finished_and_ends_as_the_signal(jobs, tmp_path):
    details = tmp_path / "rows.tsv"
    env = dict(os.environ, PYTHONWARNINGS="ignore")
    run = subprocess.run([sys.executable, "-c", CTRL_C_AFTER_THREE, COMMAND, TOPOLOGY, DCD,
                          "--chains", "A:B", "-j", jobs, "--details", str(details)],
                         capture_output=True, text=True, env=env, timeout=120)
    assert run.returncode == -signal.SIGINT, run.stderr
    assert "Traceback" not in run.stderr and "stopped (Ctrl-C)" in run.stderr, run.stderr
    lines = details.read_text().splitlines()
    assert lines[0].startswith("frame\ttime\t")
    assert [line.split("\t")[0] for line in lines[1:]] == ["0", "1", "2"]
    whole = InterfaceScores(universe(TOPOLOGY, DCD), chains="A:B").run(stop=3).results
    assert [float(line.split("\t")[lines[0].split("\t").index("ZUr")]) for line in lines[1:]] \
        == list(whole.timeseries["ZUr"])


def truncated(tmp_path):
    """The DCD cut in the middle of its fourth frame."""
    u = universe(TOPOLOGY, DCD)
    # A DCD frame: the unit cell record when there is one, then x, y and z
    # records, each a Fortran record (a 4-byte length before and after).
    frame = 3 * (4 * u.atoms.n_atoms + 8) + (56 if u.trajectory.ts.dimensions is not None
                                             else 0)
    size = os.path.getsize(DCD)
    header = size - u.trajectory.n_frames * frame
    path = tmp_path / "cut.dcd"
    with open(DCD, "rb") as f:
        path.write_bytes(f.read(header + 3 * frame + frame // 2))
    return str(path)


def cut_xtc(tmp_path):
    path = tmp_path / "cut.xtc"
    with open(XTC, "rb") as f:
        data = f.read()
    path.write_bytes(data[:len(data) // 2 + 100])
    return str(path)


def other_atoms(tmp_path):
    path = str(tmp_path / "fewer.xtc")
    u = universe(TOPOLOGY, XTC)
    part = u.select_atoms("not name H*")
    with mda.Writer(path, part.n_atoms) as w:
        w.write(part)
    return path


def altered(tmp_path, change):
    """Three frames of the DCD, the second changed by change(positions,
    timestep); a box of 60 A is set on each frame."""
    path = str(tmp_path / "altered.dcd")
    u = universe(TOPOLOGY, DCD)
    with mda.Writer(path, u.atoms.n_atoms) as w:
        for _ in u.trajectory[:3]:
            ts = u.trajectory.ts
            ts.dimensions = [60, 60, 60, 90, 90, 90]
            if ts.frame == 1:
                change(u, ts)
            w.write(u.atoms)
    return path


def nan_frame(u, ts):
    ts.positions[0] = np.nan  # chain A's first N


def far_frame(u, ts):
    ts.positions[:] -= [1500, 0, 0]  # whole, but x beyond what PDB columns hold


def split_frame(u, ts):
    # Half of chain B moved by one box length: whole in the box, split as a molecule.
    b = u.select_atoms("chainID B").indices
    ts.positions[b[len(b) // 2:]] += [60, 0, 0]


# (case, the command's arguments after TOPOLOGY, the exit code, what stderr says,
#  the statuses of the rows, or None)
BAD_CASES = [
    ("atom count", lambda t: [other_atoms(t), "--chains", "A:B"], 1, "cannot be read together",
     None),
    ("selection picks nothing", lambda t: [DCD, "--side-a", "segid NONE", "--side-b",
                                           "chainID B"], 1, "picks no atoms", None),
    ("same atoms both sides", lambda t: [DCD, "--side-a", "chainID B", "--side-b",
                                         "resname ASN or chainID B"], 1, "share", None),
    ("NaN coordinates", lambda t: [altered(t, nan_frame), "--chains", "A:B"], 0,
     "1 read_failed", ["scored", "read_failed", "scored"]),
    ("coordinates beyond the PDB columns", lambda t: [altered(t, far_frame), "--chains", "A:B"],
     0, "1 read_failed", ["scored", "read_failed", "scored"]),
    ("split across the box", lambda t: [altered(t, split_frame), "--chains", "A:B"], 0,
     "1 not_whole", ["scored", "not_whole", "scored"]),
    ("truncated file", lambda t: [truncated(t), "--chains", "A:B"], 0, "partial frame",
     ["scored"] * 3),
    ("truncated XTC", lambda t: [cut_xtc(t), "--chains", "A:B", "--stop", "2"], 0,
     "is partial", ["scored"] * 2),
    ("no bonds to make molecules whole", lambda t: [XTC, "--chains", "A:B", "--make-whole"], 1,
     "needs bonds", None),
    ("wrong command line", lambda t: [DCD, "--chains", "A:B", "--side-a", "chainID A"], 2,
     "exclude each other", None),
]


@pytest.mark.parametrize("arguments,code,says,statuses", [c[1:] for c in BAD_CASES],
                         ids=[c[0] for c in BAD_CASES])
def test_bad_input_is_a_clear_error_or_one_failed_row(arguments, code, says, statuses,
                                                       tmp_path):
    details = tmp_path / "rows.tsv"
    run = traj([TOPOLOGY, *arguments(tmp_path), "--details", str(details)])
    assert run.returncode == code, run.stderr
    assert says in run.stderr
    if statuses is not None:
        with open(details) as f:
            rows = [line.split("\t") for line in f.read().splitlines()[1:]]
        assert [r[4] for r in rows] == statuses


# (x of the first atom, its eight columns in the frame's text or None: refused)
COORDINATES = [
    (1.0, "   1.000"),
    (0.0625, "   0.062"),      # a tie in binary: rounded to even, as "%8.3f"
    (-0.0004, "  -0.000"),
    (-0.0, "  -0.000"),
    (1e-7, "   0.000"),
    (9999.999, "9999.999"),
    (-999.999, "-999.999"),
    (9999.9996, None),         # rounds to 10000.000: nine columns
    (-999.9996, None),
    (-1500.0, None),
    (float("inf"), None),
]


@pytest.mark.parametrize("x,columns", COORDINATES, ids=[repr(c[0]) for c in COORDINATES])
def test_frame_records_write_each_coordinate_in_its_columns(x, columns):
    analysis = InterfaceScores(universe(TOPOLOGY), chains="A:B")
    xyz = analysis._atoms.positions.astype(np.float64)
    xyz[0, 0] = x
    if columns is None:
        with pytest.raises(ValueError, match="atom 1: coordinate .* does not fit"):
            analysis._records.text(xyz)
        return
    text = analysis._records.text(xyz).decode()
    lines = text.splitlines()
    assert lines[0][30:38] == columns
    assert lines[0] == analysis._heads[0] + columns + "%8.3f%8.3f" % tuple(xyz[0, 1:]) + \
        analysis._tails[0].rstrip("\n")
    assert len(lines) == len(analysis._atoms) + 1 and lines[-1] == "END"


def _near_limit(xyz):
    # The whole complex moved to the top of the columns: 9999.999 at most.
    return xyz + (9999.999 - xyz.max())


def _halves(xyz):
    # Every coordinate a tie in binary at the third decimal (x.xxx5 is not
    # one in float32 or float64: these are), and some zeros of either sign.
    xyz = np.round(xyz * 1000) / 1000 + 0.0005
    xyz[:5] = np.round(xyz[:5] * 1000) / 1000
    xyz[0] = [-0.0, 0.0, -0.0004]
    return xyz


def _mirrored_low(xyz):
    # Down to the bottom of the columns: -999.999 at least.
    return xyz - (xyz.min() + 999.999)


@pytest.mark.parametrize("frame, change, records", [
    (0, None, None),
    (59, None, None),
    (10, _near_limit, None),
    (10, _halves, None),
    (10, _mirrored_low, None),
    # Records that do not read back as the analysis reads them (a chain ID
    # it refuses): the frame is its text, failed as that text fails.
    (0, None, lambda head: head[:21] + "\x01" + head[22:]),
])
def test_a_frame_from_coordinates_is_the_result_of_its_text(frame, change, records):
    u = universe(TOPOLOGY, DCD)
    analysis = InterfaceScores(u, chains="A:B")
    heads = analysis._heads if records is None else [records(h) for h in analysis._heads]
    frame_records = kav_zur._FrameRecords([h.encode() for h in heads],
                                          [t.encode() for t in analysis._tails])
    u.trajectory[frame]
    xyz = analysis._atoms.positions.astype(np.float64)
    if change is not None:
        xyz = change(xyz)
    name = "1ycr frame %d" % frame
    ours = kav_zur.engine()._score_frame(frame_records, xyz, name, analysis._sides)
    try:
        text = kav_zur.score(frame_records.text(xyz), chains="A:B", format="pdb", name=name)
    except kav_zur.ScoreError as e:
        text = e.result
    # Read as the text is read (far up the columns, the frame of the
    # interface may fail as that text's does).
    assert (ours.status == "read_failed") == (records is not None)
    for field, value in text.as_dict().items():
        if field != "seconds":
            assert getattr(ours, field) == value, field


def test_importing_kav_zur_leaves_mdanalysis_out():
    code = ("import sys, kav_zur; assert 'MDAnalysis' not in sys.modules; "
            "f = kav_zur.score_trajectory; assert 'MDAnalysis' in sys.modules")
    run = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                         check=False)
    assert run.returncode == 0, run.stderr


def test_make_whole_scores_a_frame_the_box_split(tmp_path):
    u = universe(TOPOLOGY, DCD)
    u.atoms.guess_bonds()
    bonded = str(tmp_path / "bonded.pdb")
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        u.atoms.write(bonded, bonds="all")
    split = altered(tmp_path, split_frame)
    plain = InterfaceScores(universe(bonded, split), chains="A:B").run().results.timeseries
    whole = InterfaceScores(universe(bonded, split), chains="A:B",
                            make_whole=True).run().results.timeseries
    assert list(plain["status"]) == ["scored", "not_whole", "scored"]
    assert "make_whole=True" in plain["message"][1]
    assert list(whole["status"]) == ["scored"] * 3
    # Moved back by one box length: the frame's own area, but for float rounding.
    assert abs(whole["interface_area"][1] - plain["interface_area"][0]) < 20
    assert abs(whole["interface_area"][1] - score_trajectory(TOPOLOGY, DCD, chains="A:B",
                                                             frames=[1])["interface_area"][0]) < 0.05


def test_hydrogens_are_left_out_by_element_or_by_name():
    with_elements = universe(TOPOLOGY)
    by_name = universe(TOPOLOGY)
    by_name.atoms.elements = [""] * by_name.atoms.n_atoms
    rows = [InterfaceScores(u, chains="A:B").run().results.timeseries.iloc[0]
            for u in (with_elements, by_name)]
    heavy = with_elements.select_atoms("not element H")
    assert rows[0]["atoms_A"] + rows[0]["atoms_B"] == heavy.n_atoms
    for column in ("atoms_A", "atoms_B", "interface_area", "KAV", "ZUr"):
        assert rows[0][column] == rows[1][column], column
