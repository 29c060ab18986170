"""kav_zur-plot on the examples' details file and score file: a PNG of a
sensible size, an SVG with one marker per scored entry, the failing entry
counted in the title. Hostile files: names and status values drawn as
written, values beyond the axes counted, unreadable files refused in a
line."""

import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

SKIP = 77
SVG = "{http://www.w3.org/2000/svg}"


def markers(svg):
    for element in ET.parse(svg).iter():
        if element.get("id") == "kav_zur_entries":
            return len([p for p in element if p.tag in (SVG + "path", SVG + "use")])
    return -1


HEADER = "name\tsides\tstatus\tinterface_area\tKAV\tZUr\n"
GOOD = "d.pdb\t\tscored\t300\t0.2\t0.3\ne.pdb\t\tscored\t200\t0.1\t0.4\n"

# (what, details file text or None for a directory, exit status, texts the
# SVG (status 0) or the message (status 1) must hold)
HOSTILE = [
    ("math text in names", HEADER + GOOD + "ab$\\x$.pdb\t\tscored\t100\t0.1\t0.2\n"
     "a$\\alpha$.pdb\t\tscored\t400\t0.3\t0.1\n", 0,
     ["ab$\\x$.pdb", "a$\\alpha$.pdb"]),
    ("math text in a status", HEADER + GOOD + "c.pdb\t\t$\\x$\t\t\t\n", 0,
     ["1 not scored (1 $\\x$)"]),
    ("extreme finite values", HEADER + GOOD + "big.pdb\t\tscored\t1e308\t-1e308\t1e308\n"
     "small.pdb\t\tscored\t-1e308\t1e-308\t0.1\n", 0,
     ["2 not scored (2 beyond the axes)"]),
    ("a directory", None, 1, ["cannot be read (Is a directory)"]),
    ("bytes that are no text", "\xff\x00\x01\n", 1, ["the header has no column 'name'"]),
]


def hostile(plot, tmp):
    failures = []
    for i, (what, text, status, wanted) in enumerate(HOSTILE):
        source = os.path.join(tmp, f"hostile-{i}")
        if text is None:
            os.makedirs(source, exist_ok=True)
        else:
            with open(source, "w", encoding="utf-8", errors="surrogateescape") as f:
                f.write(text)
        svg = os.path.join(tmp, "hostile.svg")
        run = subprocess.run([plot, source, svg], capture_output=True, text=True)
        if run.returncode != status or "Traceback" in run.stderr:
            failures.append(f"{what}: exit {run.returncode}, not {status}: {run.stderr}")
            continue
        shown = run.stderr
        if status == 0:
            with open(svg, encoding="utf-8") as f:
                shown = f.read()  # matplotlib keeps each text in a comment
        failures += [f"{what}: no '{w}' in {'the SVG' if status == 0 else run.stderr}"
                     for w in wanted if w not in shown]
    return failures


def main(plot, data):
    try:
        import matplotlib  # noqa: F401
    except ImportError:
        print("SKIP: matplotlib is not installed (Debian package python3-matplotlib)")
        return SKIP
    failures = []
    details = os.path.join(data, "examples.details.tsv")
    scores = os.path.join(data, "examples.score.txt")
    with tempfile.TemporaryDirectory() as tmp:
        for source in (details, scores):
            png, svg = os.path.join(tmp, "run.png"), os.path.join(tmp, "run.svg")
            for out in (png, svg):
                subprocess.run([plot, source, out], check=True)
            with open(png, "rb") as f:
                head, size = f.read(8), os.path.getsize(png)
            if head != b"\x89PNG\r\n\x1a\n" or not 20000 < size < 2000000:
                failures.append(f"{source}: not a PNG of a sensible size ({size} bytes)")
            if markers(svg) != 6:  # the six examples were scored
                failures.append(f"{source}: {markers(svg)} markers for 6 scored entries")
            with open(svg) as f:
                counted = "1 not scored (1 no_file)" in f.read()
            if counted != (source == details):
                failures.append(f"{source}: the failing entry is not counted in the title")
        wrong = subprocess.run([plot, details, os.path.join(tmp, "run.jpg")],
                               stderr=subprocess.DEVNULL)
        if wrong.returncode == 0:
            failures.append("a .jpg output was accepted")
        failures += hostile(plot, tmp)
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))
