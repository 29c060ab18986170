"""Runs every recipe of README.md as the README gives it: each fenced block
that follows a line '<!-- recipe: NAME -->', in a scratch directory laid out
like the clone (examples/ and build/ linked in), with the built programs and
scripts/ on PATH, as the README says to set it. A shell recipe must exit 0 and
print what it made; a Python recipe runs when the module kav_zur
is built and is skipped (named as skipped) when it is not.

    readme_recipes_test.py SOURCE_DIR BUILD_DIR [NAME...]"""

import glob
import os
import re
import subprocess
import sys
import tempfile

SKIP = 77
RECIPE = re.compile(r"^<!-- recipe: ([a-z0-9-]+) -->\n```(\w+)\n(.*?)^```$", re.M | re.S)


def recipes(readme):
    with open(readme) as f:
        text = f.read()
    found = RECIPE.findall(text)
    tagged = text.count("<!-- recipe:")
    if len(found) != tagged:
        raise SystemExit(f"FAIL: {tagged} recipe tags but {len(found)} fenced blocks right after them")
    return found


def python_module_dirs(build):
    """Directories of the build tree to put on PYTHONPATH for `import
    kav_zur`: those holding the package kav_zur/ with its extension."""
    found = glob.glob(os.path.join(build, "**", "kav_zur", "_kav_zur*.so"), recursive=True)
    return sorted({os.path.dirname(os.path.dirname(p)) for p in found})


def main(source, build, only):
    found = recipes(os.path.join(source, "README.md"))
    names = [name for name, _, _ in found]
    expected = {"score-a-folder", "choose-chains", "every-pair", "every-core", "cluster",
                "python", "see-the-interface", "predicted"}
    failures, skipped = [], []
    if set(names) != expected or len(names) != len(set(names)):
        failures.append(f"recipes {names}, expected one each of {sorted(expected)}")
    env = dict(os.environ)
    env["PATH"] = os.pathsep.join([os.path.join(build, "src"), os.path.join(source, "scripts"),
                                   "/usr/bin", env.get("PATH", "")])
    for name, language, body in found:
        if only and name not in only:
            continue
        with tempfile.TemporaryDirectory() as clone:
            os.symlink(os.path.join(source, "examples"), os.path.join(clone, "examples"))
            os.symlink(build, os.path.join(clone, "build"))
            if language == "sh":
                command = ["bash", "-euo", "pipefail", "-c", body]
                run_env = env
            elif language == "python":
                dirs = python_module_dirs(build)
                run_env = dict(env, PYTHONPATH=os.pathsep.join(dirs + [env.get("PYTHONPATH", "")]))
                probe = subprocess.run(["/usr/bin/python3", "-c", "import kav_zur"], env=run_env,
                                       capture_output=True)
                if probe.returncode != 0:
                    print(f"skip {name}: the Python module kav_zur is not built in {build}")
                    skipped.append(name)
                    continue
                command = ["/usr/bin/python3", "-c", body]
            else:
                failures.append(f"{name}: a recipe in {language!r}")
                continue
            run = subprocess.run(command, cwd=clone, env=run_env, capture_output=True, text=True,
                                 timeout=600)
            # Each recipe ends by reading what it made (cat, cut, ls, a merge
            # that names its parts): it exits 0 and says something.
            if run.returncode != 0 or not run.stdout.strip():
                failures.append(name)
                print(f"FAIL {name}: exit {run.returncode}\n"
                      f"--- stdout\n{run.stdout[-2000:]}\n--- stderr\n{run.stderr[-2000:]}")
            else:
                print(f"ok   {name}: {len(run.stdout.splitlines())} lines of output")
    if failures:
        print(f"FAIL: {failures}")
        return 1
    selected = [n for n in names if not only or n in only]
    if skipped and len(skipped) == len(selected):
        return SKIP
    print("PASS" + (f" (skipped: {', '.join(skipped)})" if skipped else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main(os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]), set(sys.argv[3:])))
