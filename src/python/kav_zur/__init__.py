"""kav_zur: the interface area, packing score KAV and surface complementarity
score ZUr of a protein complex, with the numbers of the kav_zur program.

    import kav_zur
    r = kav_zur.score("1ycr.pdb")                  # the first two chains
    print(r.interface_area, r.kav, r.zur)
    r = kav_zur.score("7cfn.cif.gz", chains="A:B")  # chosen sides
    results = kav_zur.score_many(paths, jobs=0, progress=True)
    df = kav_zur.to_dataframe(results)             # the --details columns

A structure is a path (str, bytes or os.PathLike: PDB or mmCIF, plain or gzipped),
a gemmi.Structure, or text with format="pdb" or format="mmcif". The bundled
engine measures the areas by default; kav_zur.engine(naccess_dir) sets up
another one. Nothing is written in the working directory, and the console
messages of the command line stay on each Result (its `messages`).
Ctrl-C stops a call at once, engine runs included; timeout= limits each
engine run as KAV_ZUR_ENGINE_TIMEOUT does on the command line.
"""

import math
import os
import sys
import threading
from concurrent.futures import ThreadPoolExecutor
from concurrent.futures import wait as _futures_wait

from . import _paths

try:
    from ._kav_zur import Engine as _CoreEngine
    from ._kav_zur import Result, __version__
    from ._kav_zur import _FrameRecords, _report_folder_name, _Stop
except ImportError as _missing:
    # A build tree configured but not built has this folder without the
    # extension: say how to build it. The build tree's engine directory,
    # baked into _paths, is <build>/naccess.
    _folder = os.path.dirname(os.path.abspath(__file__))
    if _paths.ENGINE_DIR:
        _build = os.path.dirname(_paths.ENGINE_DIR)
        _how = ("build it with `cmake --build %s --target _kav_zur` (scripts/run-examples.sh "
                "builds it with the programs)" % _build)
    else:
        _how = "install kav_zur again (`cmake --install BUILD_DIR`)"
    raise ImportError("kav_zur: the extension _kav_zur is missing from %s (%s): %s"
                      % (_folder, _missing, _how), name="kav_zur._kav_zur") from _missing

__all__ = ["Engine", "Result", "ScoreError", "engine", "report", "score", "score_all_pairs",
           "score_many", "score_trajectory", "to_dataframe", "__version__"]


def __getattr__(name):
    # kav_zur.score_trajectory without importing MDAnalysis with kav_zur.
    if name == "score_trajectory":
        from .trajectory import score_trajectory
        return score_trajectory
    raise AttributeError("module 'kav_zur' has no attribute %r" % name)


class ScoreError(Exception):
    """A structure that could not be scored.

    status    the details file's code ("no_file", "read_failed",
              "chain_missing", "one_chain", "too_small", "no_frame", ...)
    messages  what the command line prints for it
    result    the failed Result (its counts say how far the analysis got)
    """

    def __init__(self, status, messages, result=None):
        self.status = status
        self.messages = messages
        self.result = result
        name = result.name if result is not None else ""
        # A name of bytes that are not UTF-8 (os.fsdecode's surrogates) is
        # shown escaped, so that the message can always be printed.
        name = name.encode("utf-8", "backslashreplace").decode("utf-8")
        lines = [line.strip() for line in messages.splitlines() if line.strip()]
        detail = lines[-1] if lines else ""
        super().__init__("%s: %s%s" % (name or "structure", status,
                                       " (%s)" % detail if detail else ""))


# --- arguments -------------------------------------------------------------

_FORMATS = ("pdb", "mmcif")

# The largest model number (and the C call's int).
_MAX_MODEL = 2**31 - 1

# The longest engine run a timeout= may allow: some 30 years, as the command
# line's KAV_ZUR_ENGINE_TIMEOUT.
_MAX_TIMEOUT = 1e9


def _fs_bytes(text):
    """A path or name as the file system's bytes, as os.fsencode gives them
    (a str from os.fsdecode gets its own bytes back). A str that no bytes
    spell (a lone surrogate not from os.fsdecode) is kept as UTF-8 with the
    surrogate: no file has that name, so it fails as a missing file."""
    if isinstance(text, bytes):
        return text
    try:
        return os.fsencode(text)
    except UnicodeEncodeError:
        return text.encode("utf-8", "surrogatepass")


def _is_gemmi_structure(value):
    kind = type(value)
    return kind.__name__ == "Structure" and kind.__module__.split(".")[0] == "gemmi"


def _gemmi_text(st):
    """A gemmi.Structure as mmCIF text: the atoms only (the one category the
    analysis reads from text, whose values gemmi quotes as mmCIF needs, so
    that a chain named "#", "_x", "'" or "loop_" reads back as itself),
    author chain names of any length, ATOM and HETATM kept apart
    (group_PDB), every model."""
    import gemmi
    groups = gemmi.MmcifOutputGroups(False)
    groups.atoms = True
    groups.group_pdb = True
    groups.block_name = True
    return st.make_mmcif_document(groups).as_string()


def _text_bytes(text):
    return text if isinstance(text, bytes) else text.encode("utf-8", "surrogateescape")


def _structure_request(structure, format, name):
    """(path, text, format, name) for the C++ call, path, text and name as
    bytes; TypeError or ValueError for an argument that cannot be a
    structure."""
    if name is not None and not isinstance(name, (str, bytes)):
        raise TypeError("name must be a str, not %s" % type(name).__name__)
    if name is not None and ("\0" in name if isinstance(name, str) else b"\0" in name):
        raise ValueError("name holds a NUL byte: %r" % (name,))
    name = _fs_bytes(name) if name else b""
    if format is not None:
        if format not in _FORMATS:
            raise ValueError("format must be 'pdb' or 'mmcif', not %r" % (format,))
        if not isinstance(structure, (str, bytes)):
            raise TypeError("with format=, structure must be the text of a structure (str or "
                            "bytes), not %s" % type(structure).__name__)
        if not structure:
            raise ValueError("structure: the text is empty")
        return b"", _text_bytes(structure), format, name
    if _is_gemmi_structure(structure):
        return (b"", _gemmi_text(structure).encode("utf-8", "surrogateescape"), "mmcif",
                name or _fs_bytes(structure.name or "structure"))
    if isinstance(structure, (str, bytes, os.PathLike)):
        path = _fs_bytes(os.fspath(structure))
        if not path:
            raise ValueError("structure: the path is empty")
        return path, b"", "", name
    raise TypeError("structure must be a path (str, bytes or os.PathLike), a gemmi.Structure, "
                    "or text with format='pdb' or 'mmcif'; not %s" % type(structure).__name__)


def _checked_path(request):
    if b"\0" in request[0]:
        raise ValueError("structure: the path holds a NUL byte: %r" % os.fsdecode(request[0]))
    return request


def _side(value, which):
    names = value.split(",") if isinstance(value, str) else list(value)
    for n in names:
        if not isinstance(n, str):
            raise TypeError("chains: side %s holds %s, not a chain name" % (which,
                                                                          type(n).__name__))
        if "\0" in n:
            raise ValueError("chains: side %s names %r, which holds a NUL byte" % (which, n))
    if not names or any(not n for n in names):
        raise ValueError("chains: side %s is empty or names an empty chain" % which)
    return names


def _chain_sides(chains):
    """chains=None, "H,L:A", or a pair (side one, side two) of names or lists."""
    if chains is None:
        return [], []
    if isinstance(chains, str):
        if chains.count(":") != 1:
            raise ValueError("chains must read like 'H,L:A' (side one, a colon, side two), "
                             "not %r" % chains)
        one, two = chains.split(":")
    elif isinstance(chains, (tuple, list)) and len(chains) == 2:
        one, two = chains
    else:
        raise TypeError("chains must be None, a str like 'H,L:A' or a pair (side one, side two)")
    one, two = _side(one, "one"), _side(two, "two")
    both = set(one) & set(two)
    if both:
        raise ValueError("chains: %s named on both sides" % ", ".join(sorted(both)))
    return one, two


def _model(model):
    """(model number, every model) for the C++ call."""
    if model is None:
        return 0, False
    if model == "all":
        return 0, True
    if isinstance(model, bool) or not isinstance(model, int):
        raise TypeError("model must be None, an int or 'all', not %s" % type(model).__name__)
    if model < 1:
        raise ValueError("model must be 1 or more (models are numbered from 1), not %d" % model)
    if model > _MAX_MODEL:
        raise ValueError("model must be at most %d, not %d" % (_MAX_MODEL, model))
    return model, False


def _timeout(timeout):
    """Seconds one engine run may take for the C++ call; 0: the command
    line's limit (KAV_ZUR_ENGINE_TIMEOUT, else 600 s)."""
    if timeout is None:
        return 0.0
    if isinstance(timeout, bool) or not isinstance(timeout, (int, float)):
        raise TypeError("timeout must be None or a number of seconds, not %s"
                        % type(timeout).__name__)
    if not math.isfinite(timeout) or timeout <= 0 or timeout > _MAX_TIMEOUT:
        raise ValueError("timeout must be a number of seconds above 0 and at most %g, not %r"
                         % (_MAX_TIMEOUT, timeout))
    return float(timeout)


def _choice(request, model, assembly, crystal, all_pairs):
    """The checked (model, all_models, assembly, crystal) of a call, as the
    command line checks --model, --assembly and --crystal."""
    number, all_models = _model(model)
    if assembly is not None:
        if isinstance(assembly, bool) or not isinstance(assembly, (str, int)):
            raise TypeError("assembly must be None, a str or an int, not %s"
                            % type(assembly).__name__)
        assembly = str(assembly)
        if not assembly or "\0" in assembly or assembly != assembly.strip():
            raise ValueError("assembly must be an assembly ID such as '1', not %r" % assembly)
    if not isinstance(crystal, bool):
        raise TypeError("crystal must be True or False, not %s" % type(crystal).__name__)
    if crystal and not all_pairs:
        raise ValueError("crystal=True scores every pair of the crystal: use it with "
                         "score_all_pairs() or score_many(..., all_pairs=True)")
    if crystal and assembly is not None:
        raise ValueError("crystal=True and assembly= exclude each other (the crystal's "
                         "interfaces, or those of one assembly)")
    # Text reaches the analysis without its file: no assemblies, cell or models.
    if request is not None and not request[0] and (all_models or assembly is not None or crystal):
        raise ValueError("assembly=, crystal=True and model='all' need a structure file (a "
                         "path), not text or a gemmi.Structure")
    return number, all_models, assembly or "", crystal


def _confidence(confidence, pae_cutoff, dist_cutoff):
    """The checked (confidence, pae_cutoff, dist_cutoff) of a call, as the
    command line checks --confidence, --pae-cutoff and --dist-cutoff."""
    if not isinstance(confidence, bool):
        raise TypeError("confidence must be True or False, not %s" % type(confidence).__name__)
    cutoffs = []
    for name, value in (("pae_cutoff", pae_cutoff), ("dist_cutoff", dist_cutoff)):
        if isinstance(value, bool) or not isinstance(value, (int, float)):
            raise TypeError("%s must be a number, not %s" % (name, type(value).__name__))
        if not math.isfinite(value) or value <= 0:
            raise ValueError("%s must be a distance in angstroms above 0, not %r" % (name, value))
        cutoffs.append(float(value))
    if not confidence and cutoffs != [10.0, 10.0]:
        raise ValueError("pae_cutoff and dist_cutoff need confidence=True")
    return confidence, cutoffs[0], cutoffs[1]


def _jobs(jobs):
    if isinstance(jobs, bool) or not isinstance(jobs, int):
        raise TypeError("jobs must be an int, not %s" % type(jobs).__name__)
    if jobs < 0:
        raise ValueError("jobs must be 0 (one per usable core) or more, not %d" % jobs)
    if jobs == 0:
        try:
            return max(1, len(os.sched_getaffinity(0)))
        except (AttributeError, OSError):
            return os.cpu_count() or 1
    return jobs


def _flag(value, what):
    if not isinstance(value, bool):
        raise TypeError("%s must be True or False, not %s" % (what, type(value).__name__))
    return value


# --- the engine ------------------------------------------------------------

def _bundled_engine_dir():
    if _paths.ENGINE_DIR:
        return _paths.ENGINE_DIR
    here = os.path.dirname(os.path.abspath(__file__))
    return os.path.normpath(os.path.join(here, _paths.ENGINE_RELATIVE))


class Engine:
    """A surface-area engine set up once, with the calls of the module.

    kav_zur.engine() gives the bundled engine; kav_zur.engine(naccess_dir)
    a NACCESS-style directory, honoured as on the command line: its
    vdw.radii and standard.data, in this process when the directory holds
    the bundled engine's marker (kav_zur-engine), else its accall run as a
    program. One Engine may be used by several threads at once.
    """

    __slots__ = ("_core", "_given")

    def __init__(self, naccess_dir=None):
        # A directory given is the one a cluster's workers use too; without
        # one each worker uses the bundled engine of its own install.
        self._given = naccess_dir is not None
        if naccess_dir is None:
            naccess_dir = _bundled_engine_dir()
        elif not isinstance(naccess_dir, (str, bytes, os.PathLike)):
            raise TypeError("naccess_dir must be a path, not %s" % type(naccess_dir).__name__)
        naccess_dir = os.fsdecode(os.fspath(naccess_dir))
        if "\0" in naccess_dir:
            raise ValueError("naccess_dir holds a NUL byte")
        try:
            self._core = _CoreEngine(_fs_bytes(naccess_dir))
        except ValueError as e:
            raise ValueError("naccess_dir: %s" % e) from None

    @property
    def naccess_dir(self):
        """The engine directory in use (absolute)."""
        return self._core.naccess_dir

    @property
    def in_process(self):
        """True when the engine runs inside this process (the bundled one)."""
        return self._core.in_process

    def __repr__(self):
        return "<kav_zur.Engine %s%s>" % (self.naccess_dir,
                                          " in process" if self.in_process else " as a program")

    def _run(self, request, sides=([], []), all_pairs=False, choice=(0, False, "", False),
             report_dir=b"", timeout=0.0, stop=None, confidence=(False, 10.0, 10.0),
             mse_as_met=False):
        """The C++ call for one structure. With `stop` (a worker thread of
        score_many, whose caller waits and raises it), the call runs here;
        else in the main thread it runs in a thread of its own while this one
        waits, so that Ctrl-C is taken at once and stops its engine runs.
        `confidence` is (confidence, pae_cutoff, dist_cutoff)."""
        path, text, format, name = request
        model, all_models, assembly, crystal = choice

        def call(stop):
            return self._core._score(path, text, format, name, sides[0], sides[1], all_pairs,
                                     model, all_models, assembly, crystal, report_dir, timeout,
                                     stop, *confidence, mse_as_met)

        return self._call(call, stop)

    def _score_frame(self, records, xyz, name, sides, stop=None):
        """One trajectory frame (kav_zur.trajectory): the PDB text of
        `records` (a _FrameRecords) with the coordinates `xyz` (angstroms,
        one row per atom), scored as text with the chains `sides` (in C++,
        as the atoms that text reads as); its Result, failed or not. `stop`
        as for _run."""
        name = _fs_bytes(name)

        def call(stop):
            return self._core._score_frame(records, xyz, name, sides[0], sides[1], 0.0, stop)[0]

        return self._call(call, stop)

    def _call(self, call, stop):
        """call(stop) here with `stop` given or off the main thread; else in
        the scorer thread, waited for so that Ctrl-C stops it at once."""
        if stop is not None or threading.current_thread() is not threading.main_thread():
            # Signals reach the main thread only: nothing to wait for here.
            return call(stop if stop is not None else _Stop())
        stop = _Stop()
        done = _scorer().submit(call, stop)
        _wait([done], stop)
        return done.result()

    def score(self, structure, chains=None, model=None, *, assembly=None, format=None,
              name=None, timeout=None, confidence=False, pae_cutoff=10.0, dist_cutoff=10.0,
              mse_as_met=False):
        """The one interface of `structure` as a Result; see kav_zur.score."""
        if model == "all":
            raise ValueError("model='all' gives one result per model: use score_many([structure"
                             "], model='all') or score_all_pairs(structure, model='all')")
        request = _checked_path(_structure_request(structure, format, name))
        choice = _choice(request, model, assembly, False, False)
        conf = _confidence(confidence, pae_cutoff, dist_cutoff)
        results = self._run(request, _chain_sides(chains), False, choice, b"", _timeout(timeout),
                            confidence=conf, mse_as_met=_flag(mse_as_met, "mse_as_met"))
        r = results[0]
        if r.status != "scored":
            raise ScoreError(r.status, r.messages, r)
        return r

    def score_all_pairs(self, structure, model=None, *, assembly=None, crystal=False,
                        format=None, name=None, timeout=None, confidence=False,
                        pae_cutoff=10.0, dist_cutoff=10.0, mse_as_met=False):
        """Every touching pair of chains; see kav_zur.score_all_pairs."""
        request = _checked_path(_structure_request(structure, format, name))
        choice = _choice(request, model, assembly, crystal, True)
        conf = _confidence(confidence, pae_cutoff, dist_cutoff)
        results = self._run(request, ([], []), True, choice, b"", _timeout(timeout),
                            confidence=conf, mse_as_met=_flag(mse_as_met, "mse_as_met"))
        if len(results) == 1 and results[0].status != "scored" and not results[0].sides:
            raise ScoreError(results[0].status, results[0].messages, results[0])
        return results

    def score_many(self, structures, chains=None, all_pairs=False, model=None, jobs=0,
                   progress=False, *, assembly=None, crystal=False, timeout=None,
                   confidence=False, pae_cutoff=10.0, dist_cutoff=10.0, mse_as_met=False,
                   client=None):
        """Many structures, failures included; see kav_zur.score_many."""
        if isinstance(structures, (str, bytes, os.PathLike)) or _is_gemmi_structure(structures):
            raise TypeError("structures must be a list of structures, not one structure")
        requests = []
        for i, s in enumerate(structures):
            try:
                requests.append(_structure_request(s, None, None))
            except (TypeError, ValueError) as e:
                raise type(e)("structures[%d]: %s" % (i, e)) from None
        sides = _chain_sides(chains)
        if all_pairs and (sides[0] or sides[1]):
            raise ValueError("chains and all_pairs=True exclude each other")
        choice = _choice(None, model, assembly, crystal, all_pairs)
        conf = _confidence(confidence, pae_cutoff, dist_cutoff)
        if choice[1] or choice[2] or choice[3]:
            for i, request in enumerate(requests):
                try:
                    _choice(request, model, assembly, crystal, all_pairs)
                except ValueError as e:
                    raise ValueError("structures[%d]: %s" % (i, e)) from None
        limit = _timeout(timeout)
        mse_as_met = _flag(mse_as_met, "mse_as_met")
        options = (sides, bool(all_pairs), choice, limit, conf, mse_as_met)
        if client is not None:
            return _score_on_cluster(client, requests, options,
                                     self.naccess_dir if self._given else None, progress)
        workers = min(_jobs(jobs), max(1, len(requests)))
        slots = [None] * len(requests)
        counter = _Progress(len(requests), progress)

        def work(i, stop=None):
            slots[i] = self._run(requests[i], sides, bool(all_pairs), choice, b"", limit, stop,
                                 confidence=conf, mse_as_met=mse_as_met)
            counter.step()

        try:
            if workers == 1:
                for i in range(len(requests)):
                    work(i)
            else:
                _run_threads(work, len(requests), workers)
        finally:
            counter.close()
        return [r for results in slots for r in results]

    def report(self, structure, out_dir, chains=None, *, model=None, format=None, name=None,
               mse_as_met=False):
        """The --report files of one structure; see kav_zur.report."""
        if isinstance(name, str) and name and not name.strip("."):
            raise ValueError("name %r names no folder of its own in out_dir" % name)
        request = _checked_path(_structure_request(structure, format, name))
        if model == "all":
            raise ValueError("model='all' is not for report(): name one model")
        # Every argument checked before out_dir is made.
        sides = _chain_sides(chains)
        choice = _choice(request, model, None, False, False)
        mse_as_met = _flag(mse_as_met, "mse_as_met")
        if not isinstance(out_dir, (str, bytes, os.PathLike)):
            raise TypeError("out_dir must be a path, not %s" % type(out_dir).__name__)
        out_dir = os.path.abspath(os.fsdecode(os.fspath(out_dir)))
        if "\0" in out_dir:
            raise ValueError("out_dir holds a NUL byte")
        os.makedirs(out_dir, exist_ok=True)
        results = self._run(request, sides, False, choice, _fs_bytes(out_dir),
                            mse_as_met=mse_as_met)
        r = results[0]
        if r.status != "scored":
            raise ScoreError(r.status, r.messages, r)
        # The command line's folder rule: a plain name as it is, any other
        # (a "/", "..") made plain, so the folder is always in out_dir.
        return os.path.join(out_dir, _report_folder_name(_fs_bytes(r.name)))


_scorer_lock = threading.Lock()
_scorer_pool = None


def _scorer():
    """The one thread that runs the main thread's calls: always the same, so
    that its memory is reused from call to call."""
    global _scorer_pool
    with _scorer_lock:
        if _scorer_pool is None:
            _scorer_pool = ThreadPoolExecutor(1, thread_name_prefix="kav_zur-calls")
        return _scorer_pool


def _start(target, name):
    """target() in a daemon thread; the Event returned is set when it ends.
    (Thread.join is not waited on: Python 3.11 takes a thread whose join
    was interrupted by Ctrl-C for ended, and a second join returns at once.)"""
    done = threading.Event()

    def body():
        try:
            target()
        finally:
            done.set()

    threading.Thread(target=body, name=name, daemon=True).start()
    return done


def _wait(finished, stop):
    """Waits until every Event (or Future) of `finished` is done. An exception while
    waiting (Ctrl-C's KeyboardInterrupt) raises `stop`, so that the threads'
    engine runs end at once; it is raised once every thread has stopped and
    removed its working files."""
    interrupted = None
    for done in finished:
        while True:
            try:
                if isinstance(done, threading.Event):
                    done.wait()
                else:
                    _futures_wait([done])
                break
            except BaseException as e:
                stop.set()
                if interrupted is None:
                    interrupted = e
    if interrupted is not None:
        raise interrupted


# --- a Dask cluster ----------------------------------------------------------

_worker_lock = threading.Lock()
_worker_engines = {}


def _score_on_worker(request, cwd, options, engine_dir):
    """One structure, on a worker of a Dask cluster: its Results, scored by
    the bundled engine of the worker's own install of kav_zur (or by the
    engine directory `engine_dir`, one Engine per worker process). A relative
    path is taken from `cwd`, the caller's working directory, when the
    worker's is another one."""
    path = request[0]  # the file system's bytes, as is cwd
    if path and not os.path.isabs(path):
        here = os.path.realpath(os.getcwdb())
        if here != os.path.realpath(cwd):
            request = (os.path.join(cwd, path),) + tuple(request[1:])
    if engine_dir is None:
        engine = _default_engine()
    else:
        with _worker_lock:
            engine = _worker_engines.get(engine_dir)
            if engine is None:
                engine = _worker_engines[engine_dir] = Engine(engine_dir)
    sides, all_pairs, choice, timeout, confidence, mse_as_met = options
    return engine._run(request, sides, all_pairs, choice, b"", timeout, None,
                       confidence=confidence, mse_as_met=mse_as_met)


def _score_on_cluster(client, requests, options, engine_dir, progress):
    """score_many's requests as tasks of the Dask client `client`: the
    Results in input order, the progress shown as the tasks end."""
    if not requests:
        return []
    from dask.distributed import as_completed
    futures = client.map(_score_on_worker, requests, cwd=os.getcwdb(), options=options,
                         engine_dir=engine_dir, pure=False)
    index = {future.key: i for i, future in enumerate(futures)}
    counter = _Progress(len(requests), progress)
    try:
        for future in as_completed(futures):
            if future.status != "finished":
                i = index[future.key]
                try:
                    future.result()
                except Exception as e:
                    raise RuntimeError("structures[%d] (%s): the cluster could not score it: %s"
                                       % (i, os.fsdecode(requests[i][0] or requests[i][3] or b"text"), e)) from e
            counter.step()
        slots = client.gather(futures)
    except BaseException:
        # An error or Ctrl-C: no worker goes on with the structures left.
        client.cancel(futures)
        raise
    finally:
        counter.close()
    return [r for results in slots for r in results]


def _run_threads(work, count, workers):
    """work(0, stop) .. work(count - 1, stop) on `workers` threads, each
    taking the next index; the first exception is raised once all have
    stopped (Ctrl-C first, stopping the others' engine runs)."""
    lock = threading.Lock()
    state = {"next": 0, "error": None}
    stop = _Stop()

    def loop():
        while True:
            with lock:
                i = state["next"]
                if i >= count or state["error"] is not None or stop.is_set:
                    return
                state["next"] = i + 1
            try:
                work(i, stop)
            except BaseException as e:  # handed to the caller below
                with lock:
                    if state["error"] is None:
                        state["error"] = e
                stop.set()
                return

    _wait([_start(loop, "kav_zur-%d" % n) for n in range(workers)], stop)
    if state["error"] is not None:
        raise state["error"]


class _Progress:
    """A tqdm bar when tqdm is importable, else a counter on stderr."""

    def __init__(self, total, shown):
        self._lock = threading.Lock()
        self._bar = None
        self._done = 0
        self._total = total
        self._shown = bool(shown)
        if self._shown:
            try:
                from tqdm import tqdm
                self._bar = tqdm(total=total, unit="structure", desc="kav_zur")
            except ImportError:
                self._bar = None

    def step(self):
        if not self._shown:
            return
        with self._lock:
            self._done += 1
            if self._bar is not None:
                self._bar.update(1)
            else:
                sys.stderr.write("\rkav_zur: %d/%d structures" % (self._done, self._total))
                sys.stderr.flush()

    def close(self):
        if not self._shown:
            return
        if self._bar is not None:
            self._bar.close()
        else:
            sys.stderr.write("\n")
            sys.stderr.flush()


_default_lock = threading.Lock()
_default = None


def _default_engine():
    global _default
    with _default_lock:
        if _default is None:
            _default = Engine()
        return _default


def _engine_or_default(engine):
    if engine is None:
        return _default_engine()
    if not isinstance(engine, Engine):
        raise TypeError("engine must be a kav_zur.Engine (from kav_zur.engine()), not %s"
                        % type(engine).__name__)
    return engine


# --- the calls -------------------------------------------------------------

def engine(naccess_dir=None):
    """The engine that measures the areas, set up once: the bundled engine
    (inside this process) when naccess_dir is None, else the NACCESS-style
    directory `naccess_dir`, honoured as on the command line (its vdw.radii
    and standard.data; in this process when it holds the bundled engine's
    marker kav_zur-engine, else its accall runs as a program). Raises ValueError when the directory lacks accall, vdw.radii or
    standard.data. Pass it as engine= to the other calls, or call its
    methods of the same names."""
    return Engine(naccess_dir)


def score(structure, chains=None, model=None, *, assembly=None, format=None, name=None,
          timeout=None, confidence=False, pae_cutoff=10.0, dist_cutoff=10.0, mse_as_met=False,
          engine=None):
    """Scores one interface of `structure` and returns its Result.

    structure  a path (str, bytes or os.PathLike; PDB or mmCIF, plain or
               gzipped, the format from the name as on the command line;
               a name that is not UTF-8 as bytes or as os.fsdecode gives
               it), a gemmi.Structure, or the text of a structure with
               format="pdb" or format="mmcif" (text without format= is
               refused as no file, ScoreError "no_file")
    chains     None: the first two chains of the file, as a plain run;
               "H,L:A" or (["H", "L"], ["A"]): chains H and L (side one)
               against chain A (side two), as --chains
    model      None: the first model; N: model N (1-based), as --model;
               "all" raises ValueError here (one Result per model: use
               score_many([structure], model="all") or score_all_pairs)
    assembly   None: the chains as written (the asymmetric unit); an ID
               ("1"): the biological assembly of that ID, as --assembly
               (a file only). A copy of chain A made by operator 2 is
               named "A-2", so chains="A:A-2" names it
    name       the Result's name (default: the file name, or the
               gemmi.Structure's name); names are os.fsdecode's str, so
               os.fsencode(r.name) gives a file's own bytes back
    timeout    seconds one engine run may take (a number above 0, at most
               1e9); None: KAV_ZUR_ENGINE_TIMEOUT, else 600, as on the
               command line. A run that takes longer is stopped and the
               structure fails as "worker_died" (in process: "... ran the
               engine longer than N s and was stopped") or "engine_failed"
               (an engine run as a program), as the command line records it
    confidence True: also the structure predictor's confidence of the
               interface (ipsae, iptm, pdockq, pdockq2, lis, ipae,
               interface_plddt, ...), from the ColabFold, AlphaFold3 or
               Boltz files beside the structure file, as --confidence;
               None in those fields when no usable files are found (the
               messages say which files were looked for, or what is wrong)
    pae_cutoff, dist_cutoff  ipSAE's cut-offs in angstroms (default 10),
               as --pae-cutoff and --dist-cutoff; only with confidence=True
    mse_as_met True: selenomethionine (MSE, ATOM or HETATM records) is
               read as methionine, its SE as SD, so that it counts as
               protein (as --mse-as-met); default: as written (hetero
               atoms, left out of the areas)
    engine     a kav_zur.engine(); default: the bundled engine

    Ctrl-C (KeyboardInterrupt) stops the call within a fraction of a
    second, engine runs included, and leaves no working file behind.

    The Result holds what a details row (--details) holds: interface_area,
    kav, zur (single-precision values, as in the score file), buried areas,
    atom and triangle counts, seconds, and the console messages.
    Raises ScoreError (with .status, the details file's code, and
    .messages) when the structure cannot be scored, and TypeError or
    ValueError for an argument that is wrong in itself (a NUL byte in a
    path, a name or a chain name, chains named on both sides, model 0 or
    above 2**31 - 1, timeout 0, ...).
    """
    return _engine_or_default(engine).score(structure, chains, model, assembly=assembly,
                                            format=format, name=name, timeout=timeout,
                                            confidence=confidence, pae_cutoff=pae_cutoff,
                                            dist_cutoff=dist_cutoff, mse_as_met=mse_as_met)


def score_all_pairs(structure, model=None, *, assembly=None, crystal=False, format=None,
                    name=None, timeout=None, confidence=False, pae_cutoff=10.0,
                    dist_cutoff=10.0, mse_as_met=False, engine=None):
    """Scores every pair of chains in contact (two heavy ATOM-record atoms
    within 5 A), as --all-pairs: a list of Result, one per pair in the
    order the command line takes them, named "<name> A:B". A pair that fails
    is in the list with its status; ScoreError is raised only when no pair
    can be formed (a file that cannot be read, one chain, no contact).
    model="all": the pairs of every model, named "<name> model N A:B"
    (as --model all --all-pairs). assembly="1": the pairs of that
    assembly ("<name> A:A-2"). crystal=True: every distinct interface of
    the crystal, each chain against the chains and symmetry copies it
    touches, named "<name> A:B 10_665" (the operator in n_klm notation,
    as --crystal); not with assembly= (ValueError). assembly, crystal and
    model="all" need a structure file (ValueError for text or a
    gemmi.Structure). structure, format, name, timeout, confidence,
    pae_cutoff, dist_cutoff, mse_as_met and engine as for score()."""
    return _engine_or_default(engine).score_all_pairs(structure, model, assembly=assembly,
                                                      crystal=crystal, format=format, name=name,
                                                      timeout=timeout, confidence=confidence,
                                                      pae_cutoff=pae_cutoff,
                                                      dist_cutoff=dist_cutoff,
                                                      mse_as_met=mse_as_met)


def score_many(structures, chains=None, all_pairs=False, model=None, jobs=0, progress=False, *,
               assembly=None, crystal=False, timeout=None, confidence=False, pae_cutoff=10.0,
               dist_cutoff=10.0, mse_as_met=False, engine=None, client=None):
    """Scores a list of structures (paths or gemmi.Structure objects) and
    returns one Result per interface in input order (with all_pairs=True,
    one per touching pair of each structure, in turn). A structure that
    fails is a Result with its status, not an exception (a path that names
    no file, whatever its bytes, is a "no_file" Result); only a wrong
    argument raises (TypeError/ValueError, naming the item).

    chains, model   as for score(), the same for every structure;
                    model="all": every model, one Result each, named
                    "<name> model N" (as --model all)
    all_pairs       every touching pair, as score_all_pairs()
    assembly, crystal  as for score_all_pairs(); crystal=True only with
                    all_pairs=True (else ValueError)
    confidence, pae_cutoff, dist_cutoff  as for score()
    jobs            threads scoring at once; 0: one per usable core
                    (os.sched_getaffinity); not used with client=
    progress        True: a progress bar on stderr (tqdm when installed,
                    else a plain counter)
    timeout         as for score(), for every engine run
    mse_as_met      as for score()

    engine          a kav_zur.engine(); default: the bundled engine
    client          a dask.distributed.Client: the structures are scored
                    as tasks on its cluster's workers, one task each, and
                    the Results come back in input order. Each worker
                    imports kav_zur and scores with the bundled engine of
                    its own install, or, when engine= was made from a
                    directory, with that directory (the same path on every
                    worker). Paths must be readable by the workers; a
                    relative path is taken from this process's working
                    directory. A failed structure is a Result as ever; a
                    task the cluster cannot run (a worker lost, kav_zur
                    missing on it) raises RuntimeError naming the structure,
                    and the tasks left are cancelled.

    The results are those of jobs=1 whatever jobs is, and with client=
    those of jobs=1 too (but for `seconds`, the wall time). Ctrl-C stops
    every thread's engine runs and raises KeyboardInterrupt once they have
    ended and removed their working files.
    """
    return _engine_or_default(engine).score_many(structures, chains, all_pairs, model, jobs,
                                                 progress, assembly=assembly, crystal=crystal,
                                                 timeout=timeout, confidence=confidence,
                                                 pae_cutoff=pae_cutoff, dist_cutoff=dist_cutoff,
                                                 mse_as_met=mse_as_met, client=client)


def report(structure, out_dir, chains=None, *, model=None, format=None, name=None,
           mse_as_met=False, engine=None):
    """Writes the --report files of one structure (interface atoms and
    residues, surfaces, views) into a folder of out_dir (out_dir is made
    when missing) and returns that folder's path. The folder is named as
    --report names it: the result's name (name=, the file name or the
    gemmi.Structure's name) when it holds only letters, digits, ".", "_",
    "+" and "-", else that name made plain ("_" for the others) with a
    hash of it ("~1a2b3c4d"), so it is always a folder of out_dir itself;
    name="." or ".." is refused (ValueError). Raises ValueError, writing
    nothing, when a report file would be the structure file itself
    (out_dir/<folder>/complex.pdb, as kav_zur-view refuses it), and
    ScoreError when the structure cannot be scored (nothing is written
    then). structure, chains, model, format, name, mse_as_met and engine as
    for score()."""
    return _engine_or_default(engine).report(structure, out_dir, chains, model=model,
                                             format=format, name=name, mse_as_met=mse_as_met)


# The details file's columns, in its order, and the Result field of each.
_COLUMNS = (
    ("name", "name"), ("sides", "sides"), ("status", "status"),
    ("atoms_A", "atoms_a"), ("atoms_B", "atoms_b"),
    ("interface_atoms_A", "interface_atoms_a"), ("interface_atoms_B", "interface_atoms_b"),
    ("buried_A", "buried_a"), ("buried_B", "buried_b"), ("interface_area", "interface_area"),
    ("packing_ratio", "packing_ratio"), ("complementarity", "complementarity"),
    ("KAV", "kav"), ("ZUr", "zur"), ("triangles_A", "triangles_a"),
    ("triangles_B", "triangles_b"), ("seconds", "seconds"),
)
# The confidence columns (confidence=True), after those.
_CONFIDENCE_COLUMNS = tuple((c, c) for c in (
    "predictor", "iptm", "ptm", "ipsae", "ipsae_ab", "ipsae_ba", "ipsae_d0chn", "ipsae_d0dom",
    "iptm_d0chn", "pdockq", "pdockq2", "lis", "ipae", "interface_plddt"))
_COUNTS = {"atoms_A", "atoms_B", "interface_atoms_A", "interface_atoms_B", "triangles_A",
           "triangles_B"}


def to_dataframe(results):
    """A pandas DataFrame of `results` (Results, or one Result), one row each, with the
    details file's columns in its order: name, sides, status, atoms_A,
    atoms_B, interface_atoms_A, interface_atoms_B, buried_A, buried_B,
    interface_area, packing_ratio, complementarity, KAV, ZUr, triangles_A,
    triangles_B, seconds; when any result was scored with confidence=True,
    the confidence columns follow (predictor, iptm, ptm, ipsae, ipsae_ab,
    ipsae_ba, ipsae_d0chn, ipsae_d0dom, iptm_d0chn, pdockq, pdockq2, lis,
    ipae, interface_plddt). Values not reached are missing (<NA> in the
    integer columns, NaN in the others). Imports pandas (python3-pandas)."""
    import pandas as pd
    if isinstance(results, Result):
        results = [results]
    rows = list(results)
    for i, r in enumerate(rows):
        if not isinstance(r, Result):
            raise TypeError("results[%d] is %s, not a kav_zur.Result" % (i, type(r).__name__))
    data = _column_arrays(rows)
    return pd.DataFrame(data, columns=list(data))


def _column_arrays(rows):
    """to_dataframe's columns of the Results `rows`, in their order: pandas
    arrays for the counts and texts, numpy float64 arrays for the numbers (a
    table that adds columns of its own makes one DataFrame of them)."""
    import numpy as np
    import pandas as pd
    data = {}
    columns = _COLUMNS
    if any(r._confidence_asked for r in rows):
        columns = _COLUMNS + _CONFIDENCE_COLUMNS
    for column, field in columns:
        values = [getattr(r, field) for r in rows]
        if column in _COUNTS:
            data[column] = pd.array(values, dtype="Int64")
        elif column in ("name", "sides", "status", "predictor"):
            data[column] = pd.array(values, dtype=object)
        else:
            # A float64 column either way; numpy makes it in a twentieth of the time.
            data[column] = np.array([float("nan") if v is None else v for v in values],
                                    dtype=np.float64)
    return data
