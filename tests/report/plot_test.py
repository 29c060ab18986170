"""kav_zur-plot on the examples' details file and score file: a PNG of a
sensible size, an SVG with one marker per scored entry, the failing entry
counted in the title."""

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
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))
