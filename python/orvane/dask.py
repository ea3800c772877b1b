"""orvane.dask: many logs as one Dask DataFrame, one partition per log.

Nothing is decoded when the frame is made: each partition is one
orvane.read_frame call, run where Dask schedules it (the local scheduler,
or the workers of a distributed cluster, which need orvane installed and the
logs at the same paths)."""

import glob
import importlib
import os
import typing
from typing import Any

from orvane.frame import read_frame

# One path, a glob, or paths.
Paths = typing.Union[str, "os.PathLike[str]", typing.Iterable[typing.Union[str, "os.PathLike[str]"]]]

TABLES = ("epochs", "satellites", "waypoints", "routes")


def _paths(paths_or_glob: "Paths") -> typing.List[str]:
    if isinstance(paths_or_glob, (str, os.PathLike)):
        pattern = os.fspath(paths_or_glob)
        found = sorted(glob.glob(pattern)) if glob.has_magic(pattern) else [pattern]
        if not found:
            raise FileNotFoundError(f"orvane.dask.read_logs: no log matches {pattern!r}")
        return found
    return [os.fspath(p) for p in paths_or_glob]


def _part(path: str, table: str, talkers: str, extended: bool) -> Any:
    return getattr(read_frame(path, talkers=talkers, extended=extended), table)


def read_logs(paths_or_glob: "Paths", *, table: str = "epochs", talkers: str = "*", extended: bool = True) -> Any:
    """A dask.dataframe.DataFrame of `table` ("epochs", "satellites", "waypoints" or "routes")
    over many logs: a glob ("trips/*.nmea.gz"), one path, or a list of
    paths, one partition per log in that order (a glob's sorted). Its
    columns are read_frame's; each partition equals read_frame(path) of its
    log. Nothing is read until the frame is computed; a log that cannot be
    opened then raises OSError.

    Raises ImportError when dask.dataframe or pandas is missing, ValueError
    for another table, FileNotFoundError when a glob matches nothing."""
    if table not in TABLES:
        raise ValueError(f"orvane.dask.read_logs: table must be one of {', '.join(TABLES)}, not {table!r}")
    try:
        dd = importlib.import_module("dask.dataframe")
        delayed = importlib.import_module("dask").delayed
    except ImportError as e:
        raise ImportError("orvane.dask needs dask's dataframe: pip install 'dask[dataframe]' "
                          "(on Debian: apt install python3-dask python3-pandas)") from e
    paths = _paths(paths_or_glob)
    # The columns and their types, from an empty log: no file is read.
    meta = getattr(read_frame(b"", talkers=talkers, extended=extended), table)
    parts = [delayed(_part, pure=True)(path, table, talkers, extended) for path in paths]
    return dd.from_delayed(parts, meta=meta, verify_meta=False)
