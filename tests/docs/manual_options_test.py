"""Every option that `kav_zur --help` lists is documented in docs/manual.md:
named there in backquotes (`--name` or `-x`). Options documented only in
docs/pending/ do not count: they are the manual's once moved into it.

    manual_options_test.py KAV_ZUR_BINARY MANUAL"""

import re
import subprocess
import sys

# An option line of --help: two blanks, an optional short letter, the long name.
HELP_OPTION = re.compile(r"^  (?:(-\w), )?(--[a-z][\w-]*)", re.M)
MANUAL_OPTION = re.compile(r"`(--?[a-zA-Z][\w-]*)")


def main(binary, manual):
    run = subprocess.run([binary, "--help"], capture_output=True, text=True)
    listed = set()
    for short, long in HELP_OPTION.findall(run.stdout):
        listed.add(long)
        if short:
            listed.add(short)
    if run.returncode != 0 or len(listed) < 5:
        print(f"FAIL: --help exit {run.returncode}, options found {sorted(listed)}")
        return 1
    with open(manual) as f:
        documented = set(MANUAL_OPTION.findall(f.read()))
    missing = sorted(listed - documented)
    print(f"--help lists {len(listed)} option names; docs/manual.md names {len(documented)}")
    if missing:
        print("FAIL: not documented in docs/manual.md: " + ", ".join(missing))
        return 1
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
