"""What the Python tests share: the build's kav_zur program, its bundled
engine and the source tree (from the environment CTest sets), and runs of
the program with --details in a scratch directory."""
import csv
import os
import subprocess
import tempfile

import pytest

SOURCE = os.environ["KAVZUR_SOURCE_DIR"]
BINARY = os.environ["KAVZUR_BINARY"]
ENGINE = os.environ["KAVZUR_ENGINE_DIR"]
SANITIZED = os.environ.get("KAVZUR_SANITIZED") == "1"

STRUCTURE_SUFFIXES = (".pdb", ".cif", ".cif.gz", ".pdb.gz", ".ent", ".ent.gz", ".mmcif")


def structure_files(folder):
    """Every structure file of a source folder, in name order."""
    path = os.path.join(SOURCE, folder)
    return sorted(os.path.join(path, n) for n in os.listdir(path)
                  if n.lower().endswith(STRUCTURE_SUFFIXES))


class CommandLineRun:
    """kav_zur [options] --details details.tsv <dir> <engine> over `paths`
    (all in one directory), run in a scratch directory."""

    def __init__(self, paths, options=()):
        folders = {os.path.dirname(p) for p in paths}
        assert len(folders) == 1, "one structure directory a run"
        folder = folders.pop()
        with tempfile.TemporaryDirectory(prefix="kav_zur-cli-") as work:
            with open(os.path.join(work, "pdblist"), "w") as f:
                f.write("".join(os.path.basename(p) + "\n" for p in paths))
            run = subprocess.run([BINARY, *options, "--details", "details.tsv", folder, ENGINE],
                                 cwd=work, capture_output=True, text=True, errors="replace",
                                 check=False)
            assert run.returncode == 0, run.stderr
            self.console = run.stdout
            with open(os.path.join(work, "details.tsv"), newline="") as f:
                self.header = f.readline().rstrip("\n").split("\t")
                f.seek(0)
                self.rows = list(csv.DictReader(f, delimiter="\t", quoting=csv.QUOTE_NONE))
            with open(os.path.join(work, "KAV_ZUr_score.txt")) as f:
                lines = f.readlines()[4:]
            self.score_lines = {line.split("\t")[0]: line for line in lines}


_runs = {}


def command_line(paths, options=()):
    """The program's run over `paths`, made once per set of arguments."""
    key = (tuple(paths), tuple(options))
    if key not in _runs:
        _runs[key] = CommandLineRun(paths, options)
    return _runs[key]


@pytest.fixture
def in_empty_dir(tmp_path, monkeypatch):
    """The test runs in an empty working directory of its own."""
    monkeypatch.chdir(tmp_path)
    return tmp_path
