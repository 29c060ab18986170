#!/usr/bin/python3
"""What the engine's stop check costs: accall on 4jsv (22k atoms, probe
1.40, ZSLICE 0.05) against a baseline accall built without it, whole
processes, interleaved, N runs each; the medians of CPU time (user +
system) and their ratio, with the machine's load before and after. Then
kav_zur.score(4jsv) in this process (the engine with a stop set: a time
limit and a cancel flag), with the default limit and with timeout=600.

  /usr/bin/python3 bench/sasa/bench_stop.py --accall build/naccess/accall
      --baseline OLD/naccess/accall [--pdb ../shared/data/pdb/4jsv.pdb] [--runs N]
      [--module build/python]

The areas written by both accalls are compared byte for byte.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def cpu_seconds(accall, control, cwd):
    with open(control) as stdin:
        child = subprocess.Popen([accall], stdin=stdin, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL, cwd=cwd)
        _, status, usage = os.wait4(child.pid, 0)
    if status != 0:
        raise subprocess.CalledProcessError(status, accall)
    return usage.ru_utime + usage.ru_stime


def area_lines(folder, name):
    with open(os.path.join(folder, name), "rb") as f:
        return [line for line in f if not line.startswith(b"REM  Relative accessibilities read")]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--accall", default=os.path.join(ROOT, "build", "naccess", "accall"))
    parser.add_argument("--baseline", required=True)
    parser.add_argument("--pdb", default=os.path.join(os.path.dirname(ROOT), "shared", "data",
                                                      "pdb", "4jsv.pdb"))
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--module", default=os.path.join(ROOT, "build", "python"))
    args = parser.parse_args()
    args.accall, args.baseline = os.path.abspath(args.accall), os.path.abspath(args.baseline)

    print("load before: %.2f %.2f %.2f" % os.getloadavg())
    times = {"accall": [], "baseline": []}
    with tempfile.TemporaryDirectory(prefix="kav_zur-bench-stop-") as work:
        dirs = {}
        for which, accall in (("accall", args.accall), ("baseline", args.baseline)):
            dirs[which] = os.path.join(work, which)
            os.mkdir(dirs[which])
            control = os.path.join(dirs[which], "control.input")
            with open(control, "w") as f:
                f.write("PDBFILE %s\nVDWFILE %s/vdw.radii\nSTDFILE %s/standard.data\n"
                        "PROBE 1.40\nZSLICE 0.05\n" % (args.pdb, os.path.dirname(accall),
                                                      os.path.dirname(accall)))
        for _ in range(args.runs):
            for which, accall in (("accall", args.accall), ("baseline", args.baseline)):
                times[which].append(cpu_seconds(accall, os.path.join(dirs[which],
                                                                     "control.input"),
                                                dirs[which]))
        stem = os.path.splitext(os.path.basename(args.pdb))[0]
        # The .rsa names the standard.data it read: that line differs.
        same = all(area_lines(dirs["accall"], stem + ext) == area_lines(dirs["baseline"],
                                                                          stem + ext)
                   for ext in (".asa", ".rsa"))
    ours, base = statistics.median(times["accall"]), statistics.median(times["baseline"])
    print("accall   CPU median %.3f s (runs %s)" % (ours, " ".join("%.3f" % t for t in times["accall"])))
    print("baseline CPU median %.3f s (runs %s)" % (base, " ".join("%.3f" % t for t in times["baseline"])))
    print("ratio accall / baseline: %.3f; area files identical: %s" % (ours / base, same))

    sys.path.insert(0, args.module)
    import kav_zur
    for label, kwargs in (("default limit", {}), ("timeout=600", {"timeout": 600})):
        walls = []
        for _ in range(max(3, args.runs // 2)):
            start = time.perf_counter()
            kav_zur.score(args.pdb, **kwargs)
            walls.append(time.perf_counter() - start)
        print("kav_zur.score(4jsv), %s: median %.3f s wall" % (label, statistics.median(walls)))
    print("load after: %.2f %.2f %.2f" % os.getloadavg())
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
