# Type stubs of the kav_zur module. Areas in square angstroms, KAV and ZUr
# per square angstrom, seconds of wall time; None where the analysis never
# got that far.
import os
from typing import Iterable, List, Optional, Sequence, Tuple, Union

import pandas

__version__: str

# A path (str, bytes or os.PathLike: the file system's bytes, as os.fsencode
# takes them) or a gemmi.Structure; text needs format=.
StructureLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]", object]
# "H,L:A", or (side one, side two) as "H,L" or ["H", "L"].
Chains = Union[None, str, Tuple[Union[str, Sequence[str]], Union[str, Sequence[str]]]]
# A model number (1-based), or "all" (every model; not for score() or report()).
Model = Union[None, int, str]
# A biological assembly's ID, "1" or 1.
Assembly = Union[None, str, int]
# Seconds one engine run may take (above 0, at most 1e9); None: the command
# line's limit (KAV_ZUR_ENGINE_TIMEOUT, else 600).
Timeout = Union[None, int, float]

class Result:
    @property
    def name(self) -> str: ...
    @property
    def sides(self) -> str: ...
    @property
    def status(self) -> str: ...
    @property
    def ok(self) -> bool: ...
    @property
    def interface_area(self) -> Optional[float]: ...
    @property
    def kav(self) -> Optional[float]: ...
    @property
    def zur(self) -> Optional[float]: ...
    @property
    def buried_a(self) -> Optional[float]: ...
    @property
    def buried_b(self) -> Optional[float]: ...
    @property
    def atoms_a(self) -> Optional[int]: ...
    @property
    def atoms_b(self) -> Optional[int]: ...
    @property
    def interface_atoms_a(self) -> Optional[int]: ...
    @property
    def interface_atoms_b(self) -> Optional[int]: ...
    @property
    def packing_ratio(self) -> Optional[float]: ...
    @property
    def complementarity(self) -> Optional[float]: ...
    @property
    def triangles_a(self) -> Optional[int]: ...
    @property
    def triangles_b(self) -> Optional[int]: ...
    @property
    def seconds(self) -> float: ...
    @property
    def messages(self) -> str: ...
    @property
    def predictor(self) -> Optional[str]: ...
    iptm: Optional[float]
    ptm: Optional[float]
    ipsae: Optional[float]
    ipsae_ab: Optional[float]
    ipsae_ba: Optional[float]
    ipsae_d0chn: Optional[float]
    ipsae_d0dom: Optional[float]
    iptm_d0chn: Optional[float]
    pdockq: Optional[float]
    pdockq2: Optional[float]
    lis: Optional[float]
    ipae: Optional[float]
    interface_plddt: Optional[float]
    def as_dict(self) -> dict: ...
    # Pickles with every field (to and from the workers of a cluster).
    def __getstate__(self) -> tuple: ...
    def __setstate__(self, state: tuple) -> None: ...

class ScoreError(Exception):
    status: str
    messages: str
    result: Optional[Result]
    def __init__(self, status: str, messages: str, result: Optional[Result] = ...) -> None: ...

class Engine:
    def __init__(self, naccess_dir: Union[None, str, bytes, "os.PathLike[str]"] = ...) -> None: ...
    @property
    def naccess_dir(self) -> str: ...
    @property
    def in_process(self) -> bool: ...
    def score(self, structure: StructureLike, chains: Chains = ..., model: Optional[int] = ...,
              *, assembly: Assembly = ..., format: Optional[str] = ...,
              name: Optional[str] = ..., timeout: Timeout = ...,
              confidence: bool = ..., pae_cutoff: float = ..., dist_cutoff: float = ...,
              mse_as_met: bool = ...) -> Result: ...
    def score_all_pairs(self, structure: StructureLike, model: Model = ..., *,
                        assembly: Assembly = ..., crystal: bool = ...,
                        format: Optional[str] = ..., name: Optional[str] = ...,
                        timeout: Timeout = ...,
                        confidence: bool = ..., pae_cutoff: float = ..., dist_cutoff: float = ...,
                        mse_as_met: bool = ...) -> List[Result]: ...
    def score_many(self, structures: Iterable[StructureLike], chains: Chains = ...,
                   all_pairs: bool = ..., model: Model = ..., jobs: int = ...,
                   progress: bool = ..., *, assembly: Assembly = ...,
                   crystal: bool = ..., timeout: Timeout = ...,
                   confidence: bool = ..., pae_cutoff: float = ..., dist_cutoff: float = ...,
                   mse_as_met: bool = ..., client: Optional[object] = ...) -> List[Result]: ...
    def report(self, structure: StructureLike, out_dir: Union[str, bytes, "os.PathLike[str]"],
               chains: Chains = ..., *, model: Optional[int] = ..., format: Optional[str] = ...,
               name: Optional[str] = ..., mse_as_met: bool = ...) -> str: ...

def engine(naccess_dir: Union[None, str, bytes, "os.PathLike[str]"] = ...) -> Engine: ...
def score(structure: StructureLike, chains: Chains = ..., model: Optional[int] = ..., *,
          assembly: Assembly = ..., format: Optional[str] = ..., name: Optional[str] = ...,
          timeout: Timeout = ..., confidence: bool = ..., pae_cutoff: float = ..., dist_cutoff: float = ...,
          mse_as_met: bool = ..., engine: Optional[Engine] = ...) -> Result: ...
def score_all_pairs(structure: StructureLike, model: Model = ..., *, assembly: Assembly = ...,
                    crystal: bool = ..., format: Optional[str] = ..., name: Optional[str] = ...,
                    timeout: Timeout = ..., confidence: bool = ..., pae_cutoff: float = ..., dist_cutoff: float = ...,
                    mse_as_met: bool = ..., engine: Optional[Engine] = ...) -> List[Result]: ...
def score_many(structures: Iterable[StructureLike], chains: Chains = ..., all_pairs: bool = ...,
               model: Model = ..., jobs: int = ..., progress: bool = ..., *,
               assembly: Assembly = ..., crystal: bool = ..., timeout: Timeout = ...,
               confidence: bool = ..., pae_cutoff: float = ..., dist_cutoff: float = ...,
               mse_as_met: bool = ..., engine: Optional[Engine] = ...,
               client: Optional[object] = ...) -> List[Result]: ...
def report(structure: StructureLike, out_dir: Union[str, bytes, "os.PathLike[str]"],
           chains: Chains = ..., *, model: Optional[int] = ..., format: Optional[str] = ...,
           name: Optional[str] = ..., mse_as_met: bool = ...,
           engine: Optional[Engine] = ...) -> str: ...
def to_dataframe(results: Union[Result, Iterable[Result]]) -> pandas.DataFrame: ...
# kav_zur.trajectory.score_trajectory, imported on first use (it imports MDAnalysis).
def score_trajectory(topology: Union[str, "os.PathLike[str]"],
                     trajectory: Union[str, "os.PathLike[str]"], chains: Optional[str] = ...,
                     side_a: object = ..., side_b: object = ..., start: Optional[int] = ...,
                     stop: Optional[int] = ..., step: Optional[int] = ...,
                     frames: Optional[Sequence[int]] = ..., jobs: int = ...,
                     make_whole: bool = ..., engine: Optional[Engine] = ...,
                     progress: object = ...) -> pandas.DataFrame: ...
