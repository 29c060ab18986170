"""Spread-out interfaces built from one real complex: copies of its first two
chains, translated, merged chain by chain (every copy of the first chain, then
every copy of the second), so that one interface is made of patches far apart.

  diagonal: 12 copies 60 A apart along the cube diagonal
  corners:  4 copies at corners of a 700 A cube (a regular tetrahedron)
"""
import os

LAYOUTS = {
    "diagonal": [(60.0 * k, 60.0 * k, 60.0 * k) for k in range(12)],
    "corners": [(0.0, 0.0, 0.0), (700.0, 700.0, 0.0), (700.0, 0.0, 700.0), (0.0, 700.0, 700.0)],
}


def first_two_chains(path):
    """ATOM records of the first model's first two chains, by chain."""
    chains = {}
    order = []
    with open(path) as f:
        for line in f:
            if line.startswith("ENDMDL"):
                break
            if not line.startswith("ATOM"):
                continue
            chain = line[21]
            if chain not in chains:
                if len(order) == 2:
                    break
                order.append(chain)
                chains[chain] = []
            chains[chain].append(line.rstrip("\n"))
    return [chains[c] for c in order]


def make_spread(source, layout, out_dir):
    """Writes <stem>_<layout>.pdb into out_dir and returns its path."""
    shifts = LAYOUTS[layout]
    serial = 0
    lines = []
    for chain in first_two_chains(source):
        for copy, (dx, dy, dz) in enumerate(shifts):
            for rec in chain:
                serial += 1
                # Residues renumbered per copy, so that no two copies share one.
                res = int(rec[22:26]) + 500 * copy
                x = float(rec[30:38]) + dx
                y = float(rec[38:46]) + dy
                z = float(rec[46:54]) + dz
                lines.append(f"{rec[:6]}{serial:5d}{rec[11:22]}{res:4d}{rec[26:30]}"
                             f"{x:8.3f}{y:8.3f}{z:8.3f}{rec[54:]}")
        lines.append("TER")
    lines.append("END")
    stem = os.path.splitext(os.path.basename(source))[0]
    path = os.path.join(out_dir, f"{stem}_{layout}.pdb")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")
    return path
