"""kav_zur-view on one structure: every report file and the score line, and
its view.pml rendered by PyMOL headless from another directory: the picture
exists, is not blank, and shows both surface colours."""

import json
import os
import shutil
import subprocess
import sys
import tempfile

SKIP = 77
FILES = ["complex.pdb", "interface.pdb", "residues.tsv", "surface_A.obj", "surface_B.obj",
         "pairs.tsv", "view.pml", "view.cxc", "summary.json"]
# The surface colours of view.pml: green for side A, magenta for side B.


def main(view, engine, structure):
    pymol = shutil.which("pymol", path="/usr/bin:" + os.environ.get("PATH", ""))
    if not pymol:
        print("SKIP: pymol is not installed (Debian package pymol)")
        return SKIP
    try:
        import matplotlib.image
    except ImportError:
        print("SKIP: matplotlib is not installed (Debian package python3-matplotlib)")
        return SKIP
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "report")
        run = subprocess.run([view, structure, engine, out], check=True, cwd=tmp,
                             capture_output=True, text=True)
        name = os.path.basename(structure)
        missing = [f for f in FILES if not os.path.isfile(os.path.join(out, f))]
        if missing or f"\n{name}\t" not in run.stdout or os.listdir(tmp) != ["report"]:
            print(f"FAIL: missing {missing}, output {run.stdout!r}, left {os.listdir(tmp)}")
            return 1
        with open(os.path.join(out, "summary.json")) as f:
            summary = json.load(f)
        cases = [side["winning_case"]["order"] for side in summary["sides"]]
        if summary["details"]["status"] != "scored" or not all(cases):
            print(f"FAIL: summary.json: status {summary['details']['status']}, cases {cases}")
            return 1
        # Rendered from elsewhere: the script must find its files by itself.
        script = os.path.join(out, "render.pml")
        png = os.path.join(tmp, "view.png")
        with open(os.path.join(out, "view.pml")) as f:
            text = f.read()
        with open(script, "w") as f:
            f.write(text + f"png {png}, width=640, height=480, ray=1\n")
        env = dict(os.environ, PATH="/usr/bin:" + os.environ.get("PATH", ""))
        subprocess.run([pymol, "-cq", script], check=True, cwd="/", env=env, timeout=240,
                       stdout=subprocess.DEVNULL)
        if not os.path.isfile(png):
            print("FAIL: PyMOL wrote no picture")
            return 1
        image = matplotlib.image.imread(png)
    pixels = image.reshape(-1, image.shape[-1])[:, :3]
    r, g, b = pixels[:, 0], pixels[:, 1], pixels[:, 2]
    drawn = ((abs(r - 1) > 0.02) | (abs(g - 1) > 0.02) | (abs(b - 1) > 0.02)).mean()
    green = ((g > r + 0.2) & (g > b + 0.2)).mean()
    magenta = ((r > g + 0.2) & (b > g + 0.2)).mean()
    print(f"drawn {drawn:.3f}, side A green {green:.4f}, side B magenta {magenta:.4f}")
    ok = drawn > 0.05 and green > 0.002 and magenta > 0.0005
    print("PASS" if ok else "FAIL: blank picture or a surface colour missing")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(*(os.path.abspath(a) for a in sys.argv[1:4])))
