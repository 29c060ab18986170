"""Does what a new user does: clones the repository into a scratch folder,
runs the README's first command there (scripts/run-examples.sh) and nothing
else, then every recipe of README.md as the README gives it: each fenced
block that follows a line '<!-- recipe: NAME -->', from the clone, with the
clone's build/src and scripts/ on PATH and, for Python, PYTHONPATH set as
the README says. A recipe must exit 0 and print what it made.

Before the first command, the clone's build tree is configured only (what
run-examples.sh does first anyway): importing kav_zur from it must fail with
an ImportError that says how to build the module.

The clone holds what is committed in SOURCE_DIR, not uncommitted edits. With
ccache installed the build goes through it (CMAKE_CXX_COMPILER_LAUNCHER,
with the clone as its base directory), so that a second run is cheap.

    readme_recipes_test.py SOURCE_DIR [NAME...]"""

import os
import re
import shutil
import subprocess
import sys
import tempfile

RECIPE = re.compile(r"^<!-- recipe: ([a-z0-9-]+) -->\n```(\w+)\n(.*?)^```$", re.M | re.S)
EXPECTED = {"score-a-folder", "choose-chains", "every-pair", "every-core", "cluster", "python",
            "see-the-interface", "predicted"}


def recipes(readme):
    with open(readme) as f:
        text = f.read()
    found = RECIPE.findall(text)
    tagged = text.count("<!-- recipe:")
    if len(found) != tagged:
        raise SystemExit(f"FAIL: {tagged} recipe tags but {len(found)} fenced blocks right after them")
    return found


def run(command, cwd, env, timeout):
    return subprocess.run(command, cwd=cwd, env=env, capture_output=True, text=True,
                          timeout=timeout)


def shown(what, done):
    return (f"FAIL {what}: exit {done.returncode}\n--- stdout\n{done.stdout[-3000:]}\n"
            f"--- stderr\n{done.stderr[-3000:]}")


def build_env(clone):
    env = dict(os.environ)
    if shutil.which("ccache"):
        env.update(CMAKE_CXX_COMPILER_LAUNCHER="ccache", CCACHE_BASEDIR=clone,
                   CCACHE_NOHASHDIR="1")
    # The clone's own tree is built, whatever the caller's environment says.
    for name in ("CMAKE_BUILD_TYPE", "CMAKE_GENERATOR", "PYTHONPATH"):
        env.pop(name, None)
    return env


def unbuilt_import(clone, env):
    """None when importing from a configured, unbuilt tree fails as it should."""
    configure = run(["cmake", "-S", clone, "-B", os.path.join(clone, "build"), "-G", "Ninja"],
                    clone, env, 600)
    if configure.returncode != 0:
        return shown("configuring the clone", configure)
    probe = run(["/usr/bin/python3", "-c", "import kav_zur"], clone,
                dict(env, PYTHONPATH=os.path.join(clone, "build", "python")), 60)
    said = probe.stderr.strip().splitlines()[-1] if probe.stderr.strip() else ""
    if probe.returncode == 0 or not said.startswith("ImportError") or "--target _kav_zur" not in said:
        return shown("import kav_zur before the build (an ImportError saying how to build it)",
                     probe)
    print(f"ok   import before the build: {said}")
    return None


def main(source, only):
    found = recipes(os.path.join(source, "README.md"))
    names = [name for name, _, _ in found]
    failures = []
    if set(names) != EXPECTED or len(names) != len(set(names)):
        failures.append(f"recipes {names}, expected one each of {sorted(EXPECTED)}")
    with tempfile.TemporaryDirectory(prefix="kav_zur-clone.") as scratch:
        clone = os.path.join(scratch, "kav_zur")
        cloned = run(["git", "clone", "--quiet", source, clone], scratch, None, 300)
        if cloned.returncode != 0:
            print(shown("git clone", cloned))
            return 1
        env = build_env(clone)
        problem = unbuilt_import(clone, env)
        if problem:
            print(problem)
            failures.append("import before the build")
        first = run([os.path.join(clone, "scripts", "run-examples.sh")], clone, env, 1500)
        if first.returncode != 0 or "KAV_ZUr_score.txt" not in first.stdout:
            print(shown("scripts/run-examples.sh", first))
            print(f"FAIL: {failures + ['run-examples']}")
            return 1
        print(f"ok   scripts/run-examples.sh: {len(first.stdout.splitlines())} lines of output")
        # As the README sets them, from the clone.
        env = dict(env, PATH=os.pathsep.join([os.path.join(clone, "build", "src"),
                                              os.path.join(clone, "scripts"), "/usr/bin",
                                              env.get("PATH", "")]))
        for name, language, body in found:
            if only and name not in only:
                continue
            if language == "sh":
                command, run_env = ["bash", "-euo", "pipefail", "-c", body], env
            elif language == "python":
                command = ["/usr/bin/python3", "-c", body]
                run_env = dict(env, PYTHONPATH=os.path.join(clone, "build", "python"))
            else:
                failures.append(f"{name}: a recipe in {language!r}")
                continue
            done = run(command, clone, run_env, 600)
            # Each recipe ends by reading what it made (cat, cut, ls, a merge
            # that names its parts): it exits 0 and says something.
            if done.returncode != 0 or not done.stdout.strip():
                failures.append(name)
                print(shown(name, done))
            else:
                print(f"ok   {name}: {len(done.stdout.splitlines())} lines of output")
    if failures:
        print(f"FAIL: {failures}")
        return 1
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main(os.path.abspath(sys.argv[1]), set(sys.argv[2:])))
