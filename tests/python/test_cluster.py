"""score_many on a Dask cluster (client=): a LocalCluster of two worker
processes, one thread each, started and stopped here, gives the Results of
a local run with jobs=1, field by field (but the wall time), in input order,
failures included."""
import logging
import multiprocessing
import os
import pickle

import gemmi
import pytest

import kav_zur
from conftest import ENGINE, SOURCE

distributed = pytest.importorskip("dask.distributed")

EXAMPLES = os.path.join(SOURCE, "examples")


def _fields(results):
    return [{k: v for k, v in r.as_dict().items() if k != "seconds"} for r in results]


@pytest.fixture(scope="module")
def client():
    cluster = client = None
    try:
        cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                           dashboard_address=None, silence_logs=logging.ERROR)
        client = distributed.Client(cluster)
        yield client
    finally:
        if client is not None:
            client.close()
        if cluster is not None:
            cluster.close()
    # No worker process is left behind.
    assert multiprocessing.active_children() == []


def _structures():
    return [os.path.join(EXAMPLES, "1ycr.pdb"),
            "no-such-file.pdb",                          # fails: no_file
            gemmi.read_structure(os.path.join(EXAMPLES, "3ub5.pdb")),
            os.path.relpath(os.path.join(SOURCE, "tests", "data", "1a1f.pdb")),
            os.path.join(EXAMPLES, "4hhb.pdb")]


CALLS = [
    ("the first two chains", {}),
    ("every pair", {"all_pairs": True}),
    ("chosen chains, a failure among them", {"chains": "A:B"}),
    ("selenomethionine as methionine", {"mse_as_met": True}),
    ("an engine directory given", {"engine": "given"}),
]


@pytest.mark.parametrize("what, kwargs", CALLS, ids=[c[0] for c in CALLS])
def test_score_many_on_a_cluster_gives_the_local_results(what, kwargs, client, capsys):
    if kwargs.get("engine") == "given":
        kwargs = dict(kwargs, engine=kav_zur.engine(ENGINE))
    local = kav_zur.score_many(_structures(), jobs=1, **kwargs)
    capsys.readouterr()
    remote = kav_zur.score_many(_structures(), client=client, progress=True, **kwargs)
    assert _fields(remote) == _fields(local)
    assert any(r.status != "scored" for r in local) and any(r.ok for r in local)
    # The progress of the run, as without a cluster.
    assert "5/5" in capsys.readouterr().err


def test_a_result_pickles_with_every_field():
    results = kav_zur.score_many([os.path.join(EXAMPLES, "1ycr.pdb"), "no-such-file.pdb"])
    for r in results:
        back = pickle.loads(pickle.dumps(r))
        assert back.as_dict() == r.as_dict()
