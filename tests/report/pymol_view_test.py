"""kav_zur-view on one structure: every report file and the score line, and
both scenes of its view.pml rendered by PyMOL headless from another
directory: each picture exists, is not blank and shows both surface colours;
in the first (the open book) the two surfaces lie side by side, A left of B,
both in the picture and in the moved coordinates."""

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
        pngs = {scene: os.path.join(tmp, scene + ".png") for scene in ("open_book", "close_up")}
        extents = os.path.join(tmp, "extents.json")
        with open(os.path.join(out, "view.pml")) as f:
            text = f.read()
        with open(script, "w") as f:
            # The script opens on the open book: rendered first as it is left.
            f.write(text + f"png {pngs['open_book']}, width=640, height=480, ray=1\n"
                    "python\nimport json\n"
                    f"json.dump([cmd.get_extent('book_atoms_A'), cmd.get_extent('book_atoms_B')], "
                    f"open({extents!r}, 'w'))\npython end\n"
                    f"scene close_up\npng {pngs['close_up']}, width=640, height=480, ray=1\n")
        env = dict(os.environ, PATH="/usr/bin:" + os.environ.get("PATH", ""))
        subprocess.run([pymol, "-cq", script], check=True, cwd="/", env=env, timeout=240,
                       stdout=subprocess.DEVNULL)
        missing = [p for p in list(pngs.values()) + [extents] if not os.path.isfile(p)]
        if missing:
            print(f"FAIL: PyMOL wrote no {missing}")
            return 1
        images = {scene: matplotlib.image.imread(png) for scene, png in pngs.items()}
        with open(extents) as f:
            (low_a, high_a), (low_b, high_b) = json.load(f)
    ok = True
    for scene, image in images.items():
        pixels = image[:, :, :3]
        r, g, b = pixels[:, :, 0], pixels[:, :, 1], pixels[:, :, 2]
        drawn = ((abs(r - 1) > 0.02) | (abs(g - 1) > 0.02) | (abs(b - 1) > 0.02)).mean()
        green = (g > r + 0.2) & (g > b + 0.2)
        magenta = (r > g + 0.2) & (b > g + 0.2)
        print(f"{scene}: drawn {drawn:.3f}, side A green {green.mean():.4f}, "
              f"side B magenta {magenta.mean():.4f}")
        if not (drawn > 0.05 and green.mean() > 0.002 and magenta.mean() > 0.0005):
            print(f"FAIL: {scene}: blank picture or a surface colour missing")
            ok = False
            continue
        if scene == "open_book":
            # The columns the two colours take: disjoint, A's left of B's.
            green_columns = green.any(axis=0).nonzero()[0]
            magenta_columns = magenta.any(axis=0).nonzero()[0]
            print(f"open_book: green columns {green_columns.min()}-{green_columns.max()}, "
                  f"magenta columns {magenta_columns.min()}-{magenta_columns.max()}; "
                  f"moved interface atoms x {low_a[0]:.1f}..{high_a[0]:.1f} and "
                  f"{low_b[0]:.1f}..{high_b[0]:.1f}")
            if not green_columns.max() < magenta_columns.min():
                print("FAIL: open_book: the two surfaces overlap in the picture")
                ok = False
            if not high_a[0] < low_b[0]:
                print("FAIL: open_book: the two sides' interface atoms overlap along x")
                ok = False
    print("PASS" if ok else "FAIL")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(*(os.path.abspath(a) for a in sys.argv[1:4])))
