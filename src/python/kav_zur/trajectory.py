"""Interfaces over a molecular-dynamics trajectory, frame by frame, through
MDAnalysis (python3-mdanalysis):

    import MDAnalysis as mda
    from kav_zur.trajectory import InterfaceScores
    u = mda.Universe("complex.pdb", "run.xtc")
    scores = InterfaceScores(u, chains="A:B", jobs=2).run(step=10)
    scores.results.timeseries      # frame, time (ps), the details columns

Each frame is a structure to kav_zur: the two sides' atoms (hydrogens,
water, ions and lipids left out; force-field names mapped by NAME_MAP) are
written as PDB text with the frame's coordinates (MDAnalysis's, in Å) and
scored as kav_zur.score scores that text, the analysis of one structure.
The records are prepared once; a frame hands only its coordinates to the
extension, which writes the text.
"""

import collections
import concurrent.futures
import os
import warnings

import numpy as np
from MDAnalysis.analysis.base import AnalysisBase

import kav_zur

__all__ = ["InterfaceScores", "NAME_MAP", "score_trajectory"]

# --- the name table --------------------------------------------------------

_AMINO_ACIDS = ("ALA", "ARG", "ASN", "ASP", "CYS", "GLN", "GLU", "GLY", "HIS", "ILE", "LEU",
                "LYS", "MET", "PHE", "PRO", "SER", "THR", "TRP", "TYR", "VAL")

# Force-field residue names and the standard name scored in their place.
# AMBER (protonation and disulfide forms), CHARMM (histidines), GROMOS/OPLS
# forms of the same; the N- and C-terminal forms AMBER's libraries write
# (NALA, CALA, NHIE, CHIE, ...) are added below for every name here.
NAME_MAP = {
    "HIE": "HIS", "HID": "HIS", "HIP": "HIS", "HSD": "HIS", "HSE": "HIS", "HSP": "HIS",
    "HISA": "HIS", "HISB": "HIS", "HISD": "HIS", "HISE": "HIS", "HISH": "HIS",
    "CYX": "CYS", "CYM": "CYS", "CYS2": "CYS",
    "ASH": "ASP", "ASPH": "ASP", "GLH": "GLU", "GLUH": "GLU", "LYN": "LYS", "LSN": "LYS",
}
NAME_MAP.update({a: a for a in _AMINO_ACIDS})
NAME_MAP.update({prefix + ff: std for ff, std in list(NAME_MAP.items()) if len(ff) == 3
                 for prefix in ("N", "C")})

# Terminal oxygens as force fields name them, and the PDB names they take.
ATOM_NAME_MAP = {"OC1": "O", "OT1": "O", "O1": "O", "OC2": "OXT", "OT2": "OXT", "O2": "OXT"}

# Left out of both sides, as the engine leaves out what is not the complex.
_WATER = {"HOH", "WAT", "SOL", "TIP3", "TIP3P", "TIP4", "TIP4P", "TIP5P", "T3P", "T4P", "SPC",
          "SPCE", "H2O", "DOD"}
_IONS = {"NA", "CL", "K", "MG", "CA", "ZN", "LI", "RB", "CS", "F", "BR", "I", "NA+", "CL-",
         "K+", "SOD", "CLA", "POT", "CAL", "CES", "LIT", "MG2", "ZN2", "Na+", "Cl-", "K+"}
_LIPIDS = {"POPC", "POPE", "POPG", "POPS", "DPPC", "DOPC", "DMPC", "DLPC", "DLPE", "DOPE",
           "DSPC", "CHL1", "CHOL", "PA", "PC", "OL", "PE", "PGR", "SM", "PSM"}
LEFT_OUT = frozenset(_WATER | _IONS | _LIPIDS)


def standard_residue(name):
    """The standard residue name of a force-field one, or None."""
    return NAME_MAP.get(name.strip().upper())


def _is_hydrogen(name, element):
    if element:
        return element.strip().upper() in ("H", "D")
    # Only amino acids are kept, whose atoms named H... (HG, HD1, 1HB) are hydrogens.
    letters = name.strip().lstrip("0123456789")
    return letters[:1].upper() in ("H", "D")


# --- the sides -------------------------------------------------------------

def _attribute(atoms, name):
    try:
        return [str(v) for v in getattr(atoms, name)]
    except Exception:  # MDAnalysis raises its NoDataError where a topology lacks one
        return None


def _pick(universe, side, which):
    """The AtomGroup a side names: chain IDs or segment IDs ("H,L"), or an
    MDAnalysis selection string."""
    atoms = universe.atoms
    if isinstance(side, str) and side.strip() and " " not in side.strip():
        names = side.split(",")
        chains = _attribute(atoms, "chainIDs")
        segids = _attribute(atoms, "segids")
        for values in (chains, segids):
            if values is None:
                continue
            found = set(values)
            if all(n in found for n in names):
                mask = np.isin(np.array(values, dtype=object), names)
                return atoms[mask]
    if isinstance(side, str):
        try:
            return universe.select_atoms(side)
        except Exception as e:  # MDAnalysis's SelectionError and ValueError
            raise ValueError("side %s: %r is neither chain IDs, segment IDs nor a selection "
                             "MDAnalysis understands (%s)" % (which, side, e)) from None
    if hasattr(side, "universe") and hasattr(side, "positions"):
        return side
    raise TypeError("side %s must be chain IDs, segment IDs, a selection string or an "
                    "AtomGroup, not %s" % (which, type(side).__name__))


def _per_kind(values, test):
    """test(v) for each of `values`, asked once for each different value."""
    kinds, inverse = np.unique(np.asarray(values, dtype=object).astype(str), return_inverse=True)
    return np.array([bool(test(v)) for v in kinds], dtype=bool)[inverse.reshape(-1)]


def _scored_atoms(group, which):
    """The atoms of `group` kav_zur scores: no hydrogens, water, ions or
    lipids. Raises ValueError naming a residue whose name is not in the
    table."""
    resnames = group.resnames
    left_out = _per_kind(resnames, lambda r: r.strip().upper() in LEFT_OUT or r.strip() in LEFT_OUT)
    elements = _attribute(group, "elements")
    if elements:
        # An element given decides; a blank one leaves it to the name.
        hydrogen = np.where(np.asarray(elements, dtype=object).astype(str) != "",
                            _per_kind(elements, lambda e: _is_hydrogen("", e)),
                            _per_kind(group.names, lambda n: _is_hydrogen(n, None)))
    else:
        hydrogen = _per_kind(group.names, lambda n: _is_hydrogen(n, None))
    candidates = ~left_out & ~hydrogen
    known = _per_kind(resnames, lambda r: standard_residue(r.strip()) is not None)
    unknown = {}
    resids = group.resids
    for i in np.flatnonzero(candidates & ~known):
        unknown.setdefault(str(resnames[i]).strip(), int(resids[i]))
    if unknown:
        named = ", ".join("%s %d" % (n, r) for n, r in sorted(unknown.items()))
        raise ValueError("side %s: residue %s is not in kav_zur.trajectory.NAME_MAP (no "
                         "standard name to score it by); leave it out with a selection, or "
                         "map it first" % (which, named))
    atoms = group[candidates & known]
    if len(atoms) == 0:
        raise ValueError("side %s: no protein heavy atoms (the selection picks %d atoms, none "
                         "scored)" % (which, len(group)))
    return atoms


def _chain_label(atoms):
    ids = _attribute(atoms, "chainIDs")
    if ids is None:
        ids = _attribute(atoms, "segids")
    return ids


def _records(atoms, chain_ids):
    """The PDB ATOM records of `atoms` up to the coordinates and after them.
    (Each different atom name, residue name and element is worked out once.)"""
    heads, tails = [], []
    elements = _attribute(atoms, "elements") or [""] * len(atoms)
    fields, residues, ends = {}, {}, {}
    for i, (name, resname, resid, chain, element) in enumerate(
            zip(atoms.names, atoms.resnames, atoms.resids, chain_ids, elements)):
        field = fields.get(name)
        if field is None:
            mapped = str(name).strip()
            mapped = ATOM_NAME_MAP.get(mapped, mapped)
            # PDB atom names start in column 14 unless they fill four columns.
            field = fields[name] = (mapped if len(mapped) == 4 else " " + mapped.ljust(3),
                                    mapped.lstrip("0123456789")[:1])
        standard = residues.get(resname)
        if standard is None:
            standard = residues[resname] = standard_residue(str(resname))
        end = ends.get((element, field[1]))
        if end is None:
            symbol = element.strip().upper() if element.strip() else field[1]
            end = ends[(element, field[1])] = "  1.00  0.00          %2s\n" % symbol[:2]
        heads.append("ATOM  %5d %-4s %3s %1s%4d    " % ((i + 1) % 100000, field[0], standard,
                                                        chain, int(resid) % 10000))
        tails.append(end)
    return heads, tails


class _Frame:
    """What a frame leaves for scoring: the coordinates of the scored atoms,
    or why it cannot be scored."""

    __slots__ = ("index", "frame", "time", "positions", "failure")

    def __init__(self, index, frame, time, positions=None, failure=None):
        self.index, self.frame, self.time = index, frame, time
        self.positions, self.failure = positions, failure


def _split_message(side_name):
    return ("side %s is split across the periodic box (atoms bonded or next to each other in "
            "a chain are more than half the box apart); make molecules whole first "
            "(make_whole=True, --make-whole, or gmx trjconv -pbc mol)" % side_name)


class _BondCheck:
    """The bonds of both sides (of the topology, or between consecutive
    atoms of a chain when it has none) as index pairs into the scored atoms,
    side A's first; it finds a side that the periodic box splits in a frame,
    into buffers kept from frame to frame."""

    def __init__(self, bonds_a, bonds_b, n_a):
        pairs = np.concatenate([np.asarray(bonds_a, dtype=np.intp).reshape(-1, 2),
                                np.asarray(bonds_b, dtype=np.intp).reshape(-1, 2) + n_a])
        self.first = np.ascontiguousarray(pairs[:, 0])
        self.second = np.ascontiguousarray(pairs[:, 1])
        self.in_a = len(bonds_a)
        self._buffers = None

    def split_side(self, positions, box):
        """"A" or "B": a side with a bond longer than half the box along an
        axis in this frame (A first), or None."""
        if box is None or len(self.first) == 0:
            return None
        half = np.asarray(box[:3], dtype=np.float64) / 2
        if not np.all(np.isfinite(half)) or np.any(half <= 0):
            return None
        if self._buffers is None or self._buffers[0].dtype != positions.dtype:
            self._buffers = [np.empty((len(self.first), 3), dtype=positions.dtype)
                             for _ in range(2)]
        d, other = self._buffers
        np.take(positions, self.first, axis=0, out=d)
        np.take(positions, self.second, axis=0, out=other)
        np.subtract(d, other, out=d)
        np.abs(d, out=d)
        if not np.any(d.max(axis=0) > half):
            return None
        over = np.flatnonzero(np.any(d > half, axis=1))
        return "A" if over[0] < self.in_a else "B"


def _chain_neighbours(chain_ids):
    """Consecutive atoms of the same chain, as index pairs."""
    ids = np.asarray(chain_ids, dtype=object)
    k = np.nonzero(ids[1:] == ids[:-1])[0]
    return np.stack([k, k + 1], axis=1) if len(k) else np.zeros((0, 2), dtype=int)


class InterfaceScores(AnalysisBase):
    """The interface of two sides scored in every frame of a trajectory.

    atomgroup_or_universe  an MDAnalysis Universe or AtomGroup (its Universe's
                           trajectory is read)
    chains      "A:B": chain IDs (or segment IDs) of side one, a colon, side
                two ("H,L:A", "PROA:PROB")
    side_a, side_b  instead of chains: MDAnalysis selection strings, chain or
                segment IDs, or AtomGroups
    jobs        frames scored at once on threads (kav_zur releases the GIL);
                0: one per usable core. Rows come out in frame order; one
                frame per thread is held at a time. Ctrl-C stops a run
                within a fraction of a second (KeyboardInterrupt), the
                frames under way on every thread included.
    make_whole  apply MDAnalysis's unwrap transformation first (needs bonds
                in the topology)
    engine      a kav_zur.engine(); default: the bundled engine
    name        the rows' name stem (default: the trajectory file's name)
    progress    None, or a callable given each frame's (frame, Result or
                None, (status, message) or None) as it is done, in order
                (with jobs=1 from the run's own thread, which reads and
                scores the frames)

    Hydrogens, water, ions and lipids are left out; residue and atom names
    are mapped by NAME_MAP and ATOM_NAME_MAP, and a residue not in the
    table is a ValueError here, before any frame is read.

    run(start, stop, step, frames, verbose) fills results.timeseries, a
    pandas DataFrame: frame, time (ps), the details file's columns
    (kav_zur.to_dataframe), and message (why a frame was not scored).
    A frame that cannot be scored is a row with its status, never the end
    of the run: "read_failed" for coordinates that are not numbers or do
    not fit PDB columns (-999.999 to 9999.999 A),
    "not_whole" for a side split across the periodic box, or the status
    kav_zur gives. A trajectory that ends in a partial frame ends the run
    after the last whole frame, with a RuntimeWarning that says so.
    """

    def __init__(self, atomgroup_or_universe, chains=None, side_a=None, side_b=None, jobs=1,
                 make_whole=False, engine=None, name=None, progress=None, **kwargs):
        universe = getattr(atomgroup_or_universe, "universe", None)
        if universe is None or not hasattr(universe, "trajectory"):
            raise TypeError("atomgroup_or_universe must be an MDAnalysis Universe or "
                            "AtomGroup, not %s" % type(atomgroup_or_universe).__name__)
        super().__init__(universe.trajectory, **kwargs)
        self._universe = universe
        self._jobs = kav_zur._jobs(jobs)
        self._engine = kav_zur._engine_or_default(engine)
        self._progress = progress
        if chains is not None and (side_a is not None or side_b is not None):
            raise ValueError("chains= and side_a=/side_b= exclude each other")
        if chains is not None:
            if not isinstance(chains, str) or chains.count(":") != 1:
                raise ValueError("chains must read like 'A:B' or 'H,L:A', not %r" % (chains,))
            side_a, side_b = chains.split(":")
        if side_a is None or side_b is None:
            raise ValueError("name the two sides: chains='A:B', or side_a= and side_b=")
        scope = atomgroup_or_universe if hasattr(atomgroup_or_universe, "atoms") else universe
        groups = []
        for which, side in (("A", side_a), ("B", side_b)):
            group = _pick(universe, side, which)
            if scope is not universe:
                group = group & scope.atoms
            if len(group) == 0:
                raise ValueError("side %s: %r picks no atoms" % (which, side))
            groups.append(group)
        if len(groups[0] & groups[1]):
            raise ValueError("side A and side B share %d atoms (%r, %r): the two sides must "
                             "be apart" % (len(groups[0] & groups[1]), side_a, side_b))
        a, b = (_scored_atoms(g, w) for g, w in zip(groups, "AB"))
        # The sides' own chain IDs where they tell the sides apart, else A and B.
        ids_a, ids_b = _chain_label(a), _chain_label(b)
        own = [ids or [""] * len(side) for ids, side in ((ids_a, a), (ids_b, b))]
        usable = (ids_a is not None and ids_b is not None and
                  all(len(c) == 1 and c.strip() for c in set(ids_a) | set(ids_b)) and
                  not set(ids_a) & set(ids_b))
        if not usable:
            ids_a, ids_b = ["A"] * len(a), ["B"] * len(b)
        self._chains = (sorted(set(ids_a), key=ids_a.index), sorted(set(ids_b), key=ids_b.index))
        self._atoms = a + b
        self._n_a = len(a)
        self._heads, self._tails = _records(self._atoms, ids_a + ids_b)
        # Made and read once: each frame is these atoms with its coordinates.
        try:
            self._records = kav_zur._FrameRecords(
                [h.encode("utf-8", "surrogateescape") for h in self._heads],
                [t.encode("utf-8", "surrogateescape") for t in self._tails])
        except ValueError as e:
            raise ValueError("%s: %s" % (self._universe.filename or "the topology", e)) from None
        self._sides = kav_zur._chain_sides(self._chains)
        bonds = self._side_bonds(a, b)
        if make_whole:
            self._make_whole(bonds)
        if bonds is None:
            bonds = [_chain_neighbours(ids) for ids in own]
        self._bonds = _BondCheck(bonds[0], bonds[1], self._n_a)
        filename = getattr(universe.trajectory, "filename", None) or "trajectory"
        self._name = name or os.path.basename(str(filename))

    def _side_bonds(self, a, b):
        """Each side's bonds as index pairs into its own atoms, or None."""
        try:
            bonds = self._universe.bonds.indices
        except Exception:  # NoDataError: no bonds in the topology
            return None
        if len(bonds) == 0:
            return None
        out = []
        for side in (a, b):
            # Each atom of the universe's place in the side, or -1.
            where = np.full(len(self._universe.atoms), -1, dtype=np.intp)
            where[side.indices] = np.arange(len(side))
            pairs = where[np.asarray(bonds, dtype=np.intp).reshape(-1, 2)]
            out.append(pairs[np.all(pairs >= 0, axis=1)])
        return out

    def _make_whole(self, bonds):
        if bonds is None:
            raise ValueError("make_whole=True needs bonds in the topology, and %s has none "
                             "(use a topology with bonds: PSF, TPR, PRMTOP, or a PDB with "
                             "CONECT records; or make molecules whole first, gmx trjconv -pbc "
                             "mol)" % (self._universe.filename or "the topology"))
        from MDAnalysis import transformations
        self._universe.trajectory.add_transformations(
            transformations.unwrap(self._universe.atoms))

    # --- one frame ---------------------------------------------------------

    def _frame_of(self, index, ts, out=None):
        """The frame of the timestep `ts`; its scored atoms' coordinates
        copied into `out` when given (one frame at a time: the same array
        each frame), else into an array of its own."""
        if out is None or out.dtype != ts.positions.dtype:
            positions = self._atoms.positions
        else:
            positions = np.take(ts.positions, self._atoms.ix, axis=0, out=out)
        frame = _Frame(index, ts.frame, ts.time)
        # One sum finds a NaN or an infinity (float32 coordinates summed as
        # float64 cannot overflow); the count only when there is one.
        if not np.isfinite(positions.sum(dtype=np.float64)):
            bad = int(np.sum(~np.isfinite(positions)))
            if bad:
                frame.failure = ("read_failed", "frame %d: %d coordinates are not numbers (NaN "
                                 "or infinite)" % (ts.frame, bad))
                return frame
        side = self._bonds.split_side(positions, ts.dimensions)
        if side:
            frame.failure = ("not_whole", "frame %d: %s" % (ts.frame, _split_message(side)))
            return frame
        frame.positions = positions
        return frame

    def _score(self, frame):
        """The row of one frame (runs on a worker thread). The row keeps no
        coordinates: memory stays that of the frames being scored."""
        name = "%s frame %d" % (self._name, frame.frame)
        if frame.failure is not None:
            return frame, None, frame.failure
        positions, frame.positions = frame.positions, None
        try:
            r = self._engine._score_frame(self._records, positions, name, self._sides,
                                          self._stop)
        except ValueError as e:  # a coordinate the PDB columns cannot hold
            return frame, None, ("read_failed", "frame %d: %s" % (frame.frame, e))
        return frame, r, None

    # --- AnalysisBase ------------------------------------------------------

    def _prepare(self):
        self._rows = []
        self._pending = collections.deque()
        self._pool = None
        # One frame at a time: read, checked and scored in turn on one thread
        # of the run's own (the main thread waits for it, able to take Ctrl-C,
        # as for every call of the module), each into the same array. Else
        # read here and scored on the pool's threads; frames that wait for a
        # thread need arrays of their own. Either way the run's stop ends the
        # frames under way when the run ends early.
        self._stop = kav_zur._Stop()
        self._positions = (np.empty((len(self._atoms), 3), dtype=np.float32)
                           if self._jobs <= 1 else None)
        if self._jobs > 1:
            self._pool = concurrent.futures.ThreadPoolExecutor(self._jobs,
                                                               thread_name_prefix="kav_zur")

    def _single_frame(self):
        frame = self._frame_of(self._frame_index, self._ts, self._positions)
        if self._pool is None:
            self._collect(self._score(frame))
            return
        self._pending.append(self._pool.submit(self._score, frame))
        while len(self._pending) > self._jobs:
            self._collect(self._pending.popleft().result())

    def _collect(self, row):
        self._rows.append(row)
        if self._progress is not None:
            self._progress(row)

    def _conclude(self):
        while self._pending:
            self._collect(self._pending.popleft().result())
        if self._pool is not None:
            self._pool.shutdown()
            self._pool = None
        self.results.timeseries = _timeseries(self._rows, self._name)

    def _read_and_score(self):
        """Every chosen frame read and handed on in turn; the message of a
        trajectory that cannot be read to its end, or None."""
        iterator = iter(self._sliced_trajectory)
        i = 0
        stopped = None
        while not self._stop.is_set:
            try:
                ts = next(iterator)
            except StopIteration:
                break
            except (OSError, EOFError, ValueError, RuntimeError) as e:
                if not self.results.stopped:  # else said before the first frame
                    stopped = ("%s: cannot be read after frame %d (%s): the run ends there"
                               % (self._trajectory.filename, i - 1, e))
                break
            self._frame_index = i
            self._ts = ts
            self.frames[i] = ts.frame
            self.times[i] = ts.time
            self._single_frame()
            i += 1
        self.frames, self.times = self.frames[:i], self.times[:i]
        return stopped

    def _on_own_thread(self):
        """_read_and_score on a thread of its own, waited for here: frames
        pass to no other thread one by one. Ctrl-C here raises the run's stop
        and, once that thread has ended, KeyboardInterrupt."""
        out = {}

        def body():
            try:
                out["stopped"] = self._read_and_score()
            except BaseException as e:  # raised below, in the caller's thread
                out["error"] = e

        kav_zur._wait([kav_zur._start(body, "kav_zur-frames")], self._stop)
        if "error" in out:
            raise out["error"]
        return out["stopped"]

    def run(self, start=None, stop=None, step=None, frames=None, verbose=False):
        """Scores the chosen frames (all by default; start, stop, step as a
        slice, or frames: a list of frame indices) and returns self, with
        results.timeseries filled. A trajectory that cannot be read to its
        end stops after the last whole frame, with a RuntimeWarning. Ctrl-C
        raises KeyboardInterrupt with results.timeseries holding the rows of
        the frames finished before it."""
        self._setup_frames(self._trajectory, start=start, stop=stop, step=step, frames=frames)
        self._prepare()
        self.results.stopped = _partial_tail(self._trajectory)
        try:
            stopped = (self._read_and_score() if self._pool is not None else
                       self._on_own_thread())
            if stopped:
                self.results.stopped = stopped
                warnings.warn(stopped, RuntimeWarning, stacklevel=2)
            self._conclude()
        except BaseException as error:
            if self._pool is not None:
                # The frames under way end at once, the others are never begun.
                self._stop.set()
                for f in self._pending:
                    f.cancel()
                self._pool.shutdown(wait=True)
                self._pool = None
            if isinstance(error, KeyboardInterrupt):
                # What a stopped run scored stays: the rows of the frames
                # finished before it, in frame order.
                self.results.timeseries = _timeseries(self._rows, self._name)
            raise
        if self.results.stopped and "partial" in self.results.stopped:
            warnings.warn(self.results.stopped, RuntimeWarning, stacklevel=2)
        return self


def _partial_tail(reader):
    """What a trajectory file holds after its last whole frame (a run cut
    short: MDAnalysis reads the whole frames and drops the rest), as a
    message, or None."""
    path = getattr(reader, "filename", None)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # MDAnalysis's "seek failed, recalculating offsets"
        return _tail_message(reader, path)


def _tail_message(reader, path):
    try:
        size = os.path.getsize(path)
        if hasattr(reader, "_file") and hasattr(reader._file, "_framesize"):  # DCD
            f = reader._file
            end = f._header_size + f._firstframesize + (f.n_frames - 1) * f._framesize
        elif hasattr(reader, "_xdr") and reader.n_frames > 0:  # XTC, TRR
            here = reader.ts.frame
            last = reader.n_frames - 1
            try:
                reader[last]
            except OSError as e:  # its offset is known, its data cut
                reader[here]
                return ("%s: frame %d, the last, is partial (%s: the file was cut short); "
                        "nothing after frame %d is read" % (path, last, e, last - 1))
            end = reader._xdr.tell()
            reader[here]
        else:
            return None
    except (OSError, TypeError, ValueError, IndexError, AttributeError):
        return None
    if size <= end:
        return None
    return ("%s: %d bytes after frame %d, the last whole one (a partial frame: the file was cut "
            "short); nothing after that frame is read" % (path, size - end, reader.n_frames - 1))


def _timeseries(rows, name):
    import pandas as pd
    results = [r for _, r, _ in rows if r is not None]
    frames = {"frame": pd.array([f.frame for f, _, _ in rows], dtype="int64"),
              "time": pd.array([float(f.time) for f, _, _ in rows], dtype="float64")}
    if results and len(results) == len(rows):
        # Every frame reached the analysis: its columns as they are, in one
        # table made once.
        arrays = kav_zur._column_arrays(results)
        columns = list(arrays)
        data = dict(frames)
        data.update(arrays)
        data["message"] = pd.array(["" if r.status == "scored" else r.messages.strip()
                                    for r in results], dtype=object)
        return pd.DataFrame(data, columns=["frame", "time"] + columns + ["message"])
    scored = kav_zur.to_dataframe(results)
    columns = list(scored.columns)
    table = {c: [] for c in columns}
    it = scored.itertuples(index=False)
    messages = []
    for frame, r, failure in rows:
        if r is not None:
            values = next(it)
            for c, v in zip(columns, values):
                table[c].append(v)
            messages.append("" if r.status == "scored" else r.messages.strip())
        else:
            for c in columns:
                table[c].append(None)
            table["name"][-1] = "%s frame %d" % (name, frame.frame)
            table["status"][-1] = failure[0]
            messages.append(failure[1])
    data = dict(frames)
    for c in columns:
        data[c] = pd.array(table[c], dtype=scored[c].dtype)
    data["message"] = pd.array(messages, dtype=object)
    return pd.DataFrame(data, columns=["frame", "time"] + columns + ["message"])


def score_trajectory(topology, trajectory, chains=None, side_a=None, side_b=None, start=None,
                     stop=None, step=None, frames=None, jobs=1, make_whole=False, engine=None,
                     progress=None):
    """results.timeseries of InterfaceScores over Universe(topology,
    trajectory): frame, time (ps), the details columns, message. ValueError
    naming the files when MDAnalysis cannot open them together (an atom
    count that differs, a file it cannot read)."""
    import MDAnalysis as mda
    for path in (topology, trajectory):
        if not os.path.exists(os.fspath(path)):
            raise ValueError("%s: no such file" % os.fsdecode(path))
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            universe = mda.Universe(os.fspath(topology), os.fspath(trajectory))
    except Exception as e:  # each reader raises its own kind
        raise ValueError("%s with %s: MDAnalysis cannot read them together: %s"
                         % (os.fsdecode(topology), os.fsdecode(trajectory), e)) from None
    analysis = InterfaceScores(universe, chains=chains, side_a=side_a, side_b=side_b, jobs=jobs,
                               make_whole=make_whole, engine=engine, progress=progress)
    analysis.run(start=start, stop=stop, step=step, frames=frames)
    return analysis.results.timeseries
