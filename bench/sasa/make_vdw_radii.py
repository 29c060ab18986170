#!/usr/bin/env python3
"""Writes data/vdw.radii: the engine's radii in the classic column layout.

RESIDUE <kind> <res> <n> lines, each followed by n ATOM lines with the atom
name in columns 6-9, the radius in 11-14 and the polar flag (1: N or O) in 16.
Run from the repository root: python3 bench/sasa/make_vdw_radii.py
"""

BACKBONE = [("N", 1.65), ("CA", 1.87), ("C", 1.76), ("O", 1.40), ("OXT", 1.40)]
ALIPHATIC, AROMATIC, NITROGEN, OXYGEN, SULFUR = 1.87, 1.76, 1.65, 1.40, 1.85

SIDE = {
    "ALA": [("CB", ALIPHATIC)],
    "ARG": [("CB", ALIPHATIC), ("CG", ALIPHATIC), ("CD", ALIPHATIC), ("NE", NITROGEN),
            ("CZ", AROMATIC), ("NH1", NITROGEN), ("NH2", NITROGEN)],
    "ASN": [("CB", ALIPHATIC), ("CG", AROMATIC), ("OD1", OXYGEN), ("ND2", NITROGEN)],
    "ASP": [("CB", ALIPHATIC), ("CG", AROMATIC), ("OD1", OXYGEN), ("OD2", OXYGEN)],
    "CYS": [("CB", ALIPHATIC), ("SG", SULFUR)],
    "GLN": [("CB", ALIPHATIC), ("CG", ALIPHATIC), ("CD", AROMATIC), ("OE1", OXYGEN),
            ("NE2", NITROGEN)],
    "GLU": [("CB", ALIPHATIC), ("CG", ALIPHATIC), ("CD", AROMATIC), ("OE1", OXYGEN),
            ("OE2", OXYGEN)],
    "GLY": [],
    "HIS": [("CB", ALIPHATIC), ("CG", AROMATIC), ("ND1", NITROGEN), ("CD2", AROMATIC),
            ("CE1", AROMATIC), ("NE2", NITROGEN)],
    "ILE": [("CB", ALIPHATIC), ("CG1", ALIPHATIC), ("CG2", ALIPHATIC), ("CD1", ALIPHATIC),
            ("CD", ALIPHATIC)],
    "LEU": [("CB", ALIPHATIC), ("CG", ALIPHATIC), ("CD1", ALIPHATIC), ("CD2", ALIPHATIC)],
    "LYS": [("CB", ALIPHATIC), ("CG", ALIPHATIC), ("CD", ALIPHATIC), ("CE", ALIPHATIC),
            ("NZ", 1.50)],
    "MET": [("CB", ALIPHATIC), ("CG", ALIPHATIC), ("SD", SULFUR), ("CE", ALIPHATIC)],
    "MSE": [("CB", ALIPHATIC), ("CG", ALIPHATIC), ("SE", 1.80), ("CE", ALIPHATIC)],
    "PHE": [("CB", ALIPHATIC)] + [(n, AROMATIC) for n in ("CG", "CD1", "CD2", "CE1", "CE2", "CZ")],
    "PRO": [("CB", ALIPHATIC), ("CG", ALIPHATIC), ("CD", ALIPHATIC)],
    "SER": [("CB", ALIPHATIC), ("OG", OXYGEN)],
    "THR": [("CB", ALIPHATIC), ("OG1", OXYGEN), ("CG2", ALIPHATIC)],
    "TRP": [("CB", ALIPHATIC), ("CG", AROMATIC), ("CD1", AROMATIC), ("CD2", AROMATIC),
            ("NE1", NITROGEN), ("CE2", AROMATIC), ("CE3", AROMATIC), ("CZ2", AROMATIC),
            ("CZ3", AROMATIC), ("CH2", AROMATIC)],
    "TYR": [("CB", ALIPHATIC)] + [(n, AROMATIC) for n in ("CG", "CD1", "CD2", "CE1", "CE2", "CZ")]
           + [("OH", OXYGEN)],
    "VAL": [("CB", ALIPHATIC), ("CG1", ALIPHATIC), ("CG2", ALIPHATIC)],
}

# Nucleic acids: P 1.90, C 1.80, N 1.60, O 1.40. Sugar names in both the
# current (C1') and the older (C1*) spelling.
NUCLEIC_ELEMENT = {"P": 1.90, "C": 1.80, "N": 1.60, "O": 1.40}
PHOSPHATE = ["P", "OP1", "OP2", "OP3", "O1P", "O2P", "O3P"]
SUGAR = ["O5'", "C5'", "C4'", "O4'", "C3'", "O3'", "C2'", "O2'", "C1'"]
BASES = {
    "A": ["N9", "C8", "N7", "C5", "C6", "N6", "N1", "C2", "N3", "C4"],
    "G": ["N9", "C8", "N7", "C5", "C6", "O6", "N1", "C2", "N2", "N3", "C4"],
    "C": ["N1", "C2", "O2", "N3", "C4", "N4", "C5", "C6"],
    "T": ["N1", "C2", "O2", "N3", "C4", "O4", "C5", "C7", "C5M", "C6"],
    "U": ["N1", "C2", "O2", "N3", "C4", "O4", "C5", "C6"],
}

# Cofactors and common ligands: radii by element.
HET_ELEMENT = {"C": 1.80, "N": 1.60, "O": 1.40, "S": 1.85, "P": 1.90, "FE": 1.47,
               "ZN": 1.39, "MG": 1.73, "CU": 1.78, "CA": 1.80, "F": 1.47}
HETERO = {
    "HEM": ["FE", "NA", "NB", "NC", "ND"]
           + ["C%s" % s for s in ("HA", "HB", "HC", "HD", "1A", "2A", "3A", "4A", "1B", "2B",
                                  "3B", "4B", "1C", "2C", "3C", "4C", "1D", "2D", "3D", "4D",
                                  "MA", "AA", "BA", "GA", "MB", "AB", "BB", "MC", "AC", "BC",
                                  "MD", "AD", "BD", "GD")]
           + ["O1A", "O2A", "O1D", "O2D"],
    "NAG": ["C1", "C2", "C3", "C4", "C5", "C6", "C7", "C8", "N2", "O1", "O3", "O4", "O5",
            "O6", "O7"],
    "ATP": ["PG", "O1G", "O2G", "O3G", "PB", "O1B", "O2B", "O3B", "PA", "O1A", "O2A", "O3A",
            "O5'", "C5'", "C4'", "O4'", "C3'", "O3'", "C2'", "O2'", "C1'", "N9", "C8", "N7",
            "C5", "C6", "N6", "N1", "C2", "N3", "C4"],
    "ADP": ["PB", "O1B", "O2B", "O3B", "PA", "O1A", "O2A", "O3A", "O5'", "C5'", "C4'", "O4'",
            "C3'", "O3'", "C2'", "O2'", "C1'", "N9", "C8", "N7", "C5", "C6", "N6", "N1", "C2",
            "N3", "C4"],
    "SO4": ["S", "O1", "O2", "O3", "O4"],
    "PO4": ["P", "O1", "O2", "O3", "O4"],
    "GOL": ["C1", "O1", "C2", "O2", "C3", "O3"],
    "EDO": ["C1", "O1", "C2", "O2"],
    "ACE": ["C", "O", "CH3"],
    "NH2": ["N"],
    "ZN": ["ZN"], "MG": ["MG"], "CA": ["CA"], "FE": ["FE"], "CU": ["CU"],
}
HET_ELEMENT_OF = {("HEM", "FE"): "FE", ("ZN", "ZN"): "ZN", ("MG", "MG"): "MG",
                  ("CA", "CA"): "CA", ("FE", "FE"): "FE", ("CU", "CU"): "CU"}


def atom_line(name, radius, polar):
    return "ATOM %-4s %4.2f %d" % (name, radius, 1 if polar else 0)


def residue(kind, name, atoms):
    lines = ["RESIDUE %s %-3s %3d" % (kind, name, len(atoms))]
    lines += [atom_line(n, r, p) for n, r, p in atoms]
    return lines


def main():
    out = ["# Atomic radii (angstroms) for accall. Classic layout: a RESIDUE line",
           "# (kind, residue name, atom count), then its ATOM lines with the atom",
           "# name in columns 6-9, the radius in 11-14, the polar flag in 16.",
           "# Proteins: Chothia-style radii; nucleic acids and ligands by element."]
    for name in sorted(SIDE):
        atoms = [(n, r, n[0] in "NO") for n, r in BACKBONE + SIDE[name]]
        out += residue("ATOM", name, atoms)
    for base, names in BASES.items():
        for res in (base, "D" + base):
            atoms = []
            for n in PHOSPHATE + SUGAR + [s.replace("'", "*") for s in SUGAR] + names:
                atoms.append((n, NUCLEIC_ELEMENT[n[0]], n[0] in "NO"))
            out += residue("NUCL", res, atoms)
    out += residue("WATER", "HOH", [("O", 1.40, True)])
    for name, names in HETERO.items():
        atoms = []
        for n in names:
            element = HET_ELEMENT_OF.get((name, n), n[0])
            atoms.append((n, HET_ELEMENT[element], element in ("N", "O")))
        out += residue("HETATM", name, atoms)
    with open("data/vdw.radii", "w") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
