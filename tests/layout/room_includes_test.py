"""Each room of src/ includes only itself and the rooms below it: the stages
(structure, interface, triangulation, scores), the engine (sasa), the
structure reader (input) and common include nothing of the analysis, the
report, the records or a front end, and no room includes a front end.

Usage: room_includes_test.py SOURCE_DIR   (the repository's src/)

Prints every include that breaks the rule, with file and line; exit 1 if any."""

import os
import re
import sys

# The rooms each lower room may include (itself always).
BELOW = {
    "common": set(),
    "sasa": {"common"},
    "input": {"common", "sasa"},
    "structure": {"common"},
    "triangulation": {"common"},
    "scores": {"common", "structure", "triangulation"},
    "interface": {"common", "structure", "triangulation", "scores"},
}
FRONT_ENDS = {"driver", "view", "merge", "python"}

# Includes that break the rule today, each with why it is still there. A
# fault that is mended must leave this list too, or the test fails.
KNOWN = {}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/([^"]+)"')


def main(src):
    broken, seen = [], set()
    for room in sorted(os.listdir(src)):
        top = os.path.join(src, room)
        if not os.path.isdir(top):
            continue
        for root, _, files in os.walk(top):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(root, name)
                rel = os.path.relpath(path, src)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m or m.group(1) == room:
                            continue
                        other = m.group(1)
                        allowed = (other in BELOW[room] if room in BELOW
                                   else other not in FRONT_ENDS)
                        if allowed:
                            continue
                        key = (rel, other + "/" + m.group(2))
                        if key in KNOWN:
                            seen.add(key)
                            continue
                        broken.append(f"{rel}:{number}: {room} includes {key[1]}")
    for key, why in KNOWN.items():
        if key not in seen:
            broken.append(f"{key[0]} no longer includes {key[1]} ({why}): "
                          "take it off the known list")
    for b in broken:
        print(b)
    print("rooms in order" if not broken else f"{len(broken)} faults")
    return 1 if broken else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
