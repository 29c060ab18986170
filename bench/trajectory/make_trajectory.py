#!/usr/bin/python3
"""Makes the test trajectory of tests/data/trajectory: a short simulation of
1ycr (MDM2, chain A, with the p53 peptide, chain B) in implicit solvent.

How the committed files were made (OpenMM 7.7 from Debian's python3-simtk,
its CPU platform from libopenmm-plugins; MDAnalysis 2.4):

    /usr/bin/python3 bench/trajectory/make_trajectory.py tests/data/trajectory

  1. examples/1ycr.pdb, ATOM records only (waters and hetero groups left
     out); each chain's last residue lacks its terminal oxygen, which the
     force field's C-terminal templates need: an OXT is placed 1.25 A from C,
     opposite the bisector of C->CA and C->O (the minimisation settles it).
  2. Hydrogens added by OpenMM's Modeller at pH 7 for amber14-all.xml with
     implicit/obc2.xml (OBC2 implicit solvent), non-periodic
     cutoff 2 nm, bonds to hydrogen constrained.
  3. A short energy minimisation, then Langevin dynamics at 300 K (friction
     1/ps, 2 fs steps), a frame every --interval steps, --frames frames.
  4. Written: 1ycr_md.pdb (the topology as OpenMM writes it: hydrogens,
     terminal OXT, H1/H2/H3, CONECT records), 1ycr_md.dcd (OpenMM's
     DCDReporter, all atoms) and 1ycr_md.xtc (the DCD converted by
     MDAnalysis).

The defaults (60 frames, one every 5 steps: 0.6 ps) keep the three files
under 2 MB with every atom, hydrogens included (a DCD frame of 1670 atoms
is 20 kB), and the run short on the shared machine they were made on (the
CPU platform gave about a step a second there; its minimisation took two
minutes). The frames are close together: a test of reading and names, not a
study of the complex. Nothing here runs in the tests.
"""

import argparse
import io
import os
import sys
import time

import numpy as np


def with_terminal_oxygens(path):
    """The ATOM records of `path` as PDB text, an OXT added to each chain's
    last residue that lacks one."""
    with open(path) as f:
        atoms = [line.rstrip("\n") for line in f if line.startswith("ATOM")]
    last = {}
    for i, line in enumerate(atoms):
        last[line[21]] = i
    out = []
    for i, line in enumerate(atoms):
        out.append(line)
        if last[line[21]] != i:
            continue
        residue = [a for a in atoms if a[21] == line[21] and a[22:27] == line[22:27]]
        xyz = {a[12:16].strip(): np.array([float(a[30:38]), float(a[38:46]), float(a[46:54])])
               for a in residue}
        if "OXT" in xyz:
            continue
        c = xyz["C"]
        to_ca, to_o = xyz["CA"] - c, xyz["O"] - c
        d = -(to_ca / np.linalg.norm(to_ca) + to_o / np.linalg.norm(to_o))
        p = c + 1.25 * d / np.linalg.norm(d)
        out.append("ATOM  %5d  OXT %s   %8.3f%8.3f%8.3f  1.00  0.00           O"
                   % (0, line[17:27], *p))
    return "\n".join(out) + "\nEND\n"


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("out_dir")
    parser.add_argument("--structure", default=os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "1ycr.pdb"))
    parser.add_argument("--frames", type=int, default=60)
    parser.add_argument("--interval", type=int, default=5, help="steps between frames")
    parser.add_argument("--seed", type=int, default=2026)
    args = parser.parse_args(argv)

    import openmm as mm
    import openmm.app as app
    import openmm.unit as unit

    pdb = app.PDBFile(io.StringIO(with_terminal_oxygens(args.structure)))
    modeller = app.Modeller(pdb.topology, pdb.positions)
    ff = app.ForceField("amber14-all.xml", "implicit/obc2.xml")
    modeller.addHydrogens(ff, pH=7.0)
    system = ff.createSystem(modeller.topology, nonbondedMethod=app.CutoffNonPeriodic,
                             nonbondedCutoff=2 * unit.nanometer, constraints=app.HBonds)
    integrator = mm.LangevinMiddleIntegrator(300 * unit.kelvin, 1 / unit.picosecond,
                                             0.002 * unit.picoseconds)
    integrator.setRandomNumberSeed(args.seed)
    platform = mm.Platform.getPlatformByName("CPU")
    sim = app.Simulation(modeller.topology, system, integrator, platform, {"Threads": "1"})
    sim.context.setPositions(modeller.positions)
    t = time.time()
    sim.minimizeEnergy(maxIterations=20)
    print("minimised in %.0f s" % (time.time() - t), flush=True)
    sim.context.setVelocitiesToTemperature(300 * unit.kelvin, args.seed)

    os.makedirs(args.out_dir, exist_ok=True)
    top = os.path.join(args.out_dir, "1ycr_md.pdb")
    dcd = os.path.join(args.out_dir, "1ycr_md.dcd")
    xtc = os.path.join(args.out_dir, "1ycr_md.xtc")
    state = sim.context.getState(getPositions=True)
    with open(top, "w") as f:
        app.PDBFile.writeFile(sim.topology, state.getPositions(), f, keepIds=True)
    sim.reporters.append(app.DCDReporter(dcd, args.interval))
    t = time.time()
    for frame in range(args.frames):
        sim.step(args.interval)
        print("frame %d/%d, %.0f s" % (frame + 1, args.frames, time.time() - t), flush=True)
    del sim  # closes the DCD

    import MDAnalysis as mda
    u = mda.Universe(top, dcd)
    with mda.Writer(xtc, u.atoms.n_atoms) as w:
        for _ in u.trajectory:
            w.write(u.atoms)
    for path in (top, dcd, xtc):
        print("%s: %d bytes" % (path, os.path.getsize(path)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
