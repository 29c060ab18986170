"""The progress line and the summary of kav_zur seen through a pseudo-terminal:
shown when standard error is a terminal (or with --progress), absent when it
is a file (or with --no-progress), with the right totals for -j 2 and
--resume; standard output is the same bytes either way."""

import fcntl
import os
import pty
import re
import struct
import termios
import shutil
import subprocess
import sys
import tempfile

ENTRIES = ["1ycr.pdb", "3aid.pdb", "1ubq.pdb", "no_such.pdb"]


def run(binary, args, cwd, tty, shared=False):
    """Runs kav_zur with stderr on a pseudo-terminal (tty) or a pipe, and
    stdout on a pipe or (shared) the same terminal of 24 rows; returns (exit
    status, stdout bytes, stderr text), both in the text when shared."""
    if not tty:
        p = subprocess.run([binary] + args, cwd=cwd, capture_output=True)
        return p.returncode, p.stdout, p.stderr.decode()
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 80, 0, 0))
    p = subprocess.Popen([binary] + args, cwd=cwd, stdout=slave if shared else subprocess.PIPE,
                         stderr=slave)
    os.close(slave)
    err = b""
    while True:
        try:
            chunk = os.read(master, 4096)
        except OSError:  # the other end closed
            break
        if not chunk:
            break
        err += chunk
    out = p.stdout.read() if not shared else b""
    p.wait()
    os.close(master)
    return p.returncode, out, err.decode()


def lines_drawn(err):
    """Every progress line drawn, in order."""
    return re.findall(r"(\d+)/(\d+) done \((\d+) scored, (\d+) failed\)", err)


def main(binary, engine, data):
    failures = []

    def check(what, ok, detail):
        print(("ok   " if ok else "FAIL ") + what + ("" if ok else f": {detail!r}"))
        if not ok:
            failures.append(what)

    with tempfile.TemporaryDirectory() as tmp:
        def fresh(name, entries=ENTRIES):
            d = os.path.join(tmp, name)
            os.mkdir(d)
            with open(os.path.join(d, "pdblist"), "w") as f:
                f.write("".join(e + "\n" for e in entries))
            return d

        plain = fresh("plain")
        status, plain_out, plain_err = run(binary, [data, engine], plain, tty=False)
        check("a file: no line, no summary", status == 0 and plain_err == "", plain_err)

        # Each case: options, stderr a terminal, the totals drawn, the last
        # line and the summary expected.
        cases = [
            ("terminal", [], True, "4/4 done (2 scored, 2 failed)",
             "4 entries in .*: 2 scored, 2 failed \\(1 no_file, 1 one_chain\\)"),
            ("terminal -j 2", ["-j", "2"], True, "4/4 done (2 scored, 2 failed)",
             "4 entries in .*: 2 scored, 2 failed \\(1 no_file, 1 one_chain\\)"),
            ("--progress to a file", ["--progress"], False, "4/4 done (2 scored, 2 failed)",
             "4 entries in .*: 2 scored, 2 failed \\(1 no_file, 1 one_chain\\)"),
            ("--no-progress on a terminal", ["--no-progress"], True, None, None),
        ]
        for what, options, tty, last, summary in cases:
            d = fresh(what.replace(" ", "_"))
            status, out, err = run(binary, options + [data, engine], d, tty)
            check(what + ": stdout unchanged", status == 0 and out == plain_out, out[-200:])
            drawn = lines_drawn(err)
            if last is None:
                check(what + ": nothing drawn", "done (" not in err and "entries in" not in err, err)
                continue
            check(what + ": totals", drawn and all(t == "4" for _, t, _, _ in drawn), drawn)
            check(what + ": counts only grow", [int(n) for n, _, _, _ in drawn] ==
                  sorted(int(n) for n, _, _, _ in drawn), drawn)
            check(what + ": last line", last in err, err[-300:])
            tail = err[err.rfind(last):]
            check(what + ": summary after the line", re.search("kav_zur: " + summary, tail), tail)
            with open(os.path.join(d, "KAV_ZUr_score.txt")) as f:
                check(what + ": score file", f.read() ==
                      open(os.path.join(plain, "KAV_ZUr_score.txt")).read(), d)

        # Standard output on the same terminal: the line keeps the bottom row
        # (the rows above scroll), and the whole screen is given back before
        # "Finished".
        d = fresh("shared")
        status, _, screen = run(binary, [data, engine], d, tty=True, shared=True)
        region, whole = screen.find("\x1b[1;23r"), screen.find("\x1b[r")
        check("shared terminal: bottom row held, then given back",
              status == 0 and 0 <= region < whole < screen.find("Finished"), screen[-400:])
        check("shared terminal: the line on row 24",
              "\x1b7\x1b[24;1H4/4 done (2 scored, 2 failed)" in screen, screen[-400:])
        plain_text = plain_out.decode().replace("\n", "\r\n")
        console = re.sub(r"\x1b7\x1b\[24;1H[^\x1b]*|\x1b(\[[0-9;]*[A-Za-z]|[78DM])", "", screen)
        check("shared terminal: the console text unbroken",
              console.startswith(plain_text.split("Finished")[0]), console[:400])
        check("shared terminal: summary after Finished",
              re.search(r"Finished\r\nkav_zur: 4 entries in .*: 2 scored, 2 failed", console), console[-300:])

        # --resume: the first two entries are recorded, the line counts the other two.
        d = fresh("resume", ENTRIES[:2])
        run(binary, [data, engine], d, tty=False)
        with open(os.path.join(d, "pdblist"), "w") as f:
            f.write("".join(e + "\n" for e in ENTRIES))
        status, out, err = run(binary, ["--resume", "-j", "2", data, engine], d, tty=True)
        drawn = lines_drawn(err)
        check("--resume: totals are the entries still to do",
              status == 0 and drawn and all(t == "2" for _, t, _, _ in drawn), drawn)
        check("--resume: last line", "2/2 done (0 scored, 2 failed)" in err, err[-300:])
        check("--resume: summary", re.search(r"kav_zur: 2 entries in .*: 0 scored, 2 failed", err), err)

        # --shard: the part's entries.
        d = fresh("shard")
        status, out, err = run(binary, ["--shard", "2/2", data, engine], d, tty=True)
        check("--shard 2/2: the part's total", "2/2 done (0 scored, 2 failed)" in err, err[-300:])

    print("PASS" if not failures else f"FAIL: {len(failures)} checks")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*(os.path.abspath(a) for a in sys.argv[1:4])))
