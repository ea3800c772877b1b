"""orvane.read_frame: a decoded log as pandas DataFrames."""

from __future__ import annotations

import os
from typing import TYPE_CHECKING, Any, BinaryIO, Iterable, NamedTuple

from orvane._orvane import read

if TYPE_CHECKING:
    import pandas


class Frames(NamedTuple):
    """What read_frame gives: Log's tables as DataFrames, counts as a dict.

    epochs and satellites have their time as datetime64[ns, UTC]; the other
    columns are Log's, with the same units and the same NaN / -1 for
    unknown values."""

    epochs: pandas.DataFrame
    satellites: pandas.DataFrame
    routes: pandas.DataFrame
    counts: dict[str, int]


def _pandas() -> Any:
    try:
        import pandas
    except ImportError as e:
        raise ImportError("orvane.read_frame needs pandas: pip install pandas "
                          "(on Debian: apt install python3-pandas); orvane.read gives NumPy arrays without it") from e
    return pandas


def _frame(pandas: Any, columns: dict[str, Any]) -> pandas.DataFrame:
    frame = pandas.DataFrame(columns, copy=False)
    if "time" in frame:
        frame["time"] = frame["time"].dt.tz_localize("UTC")
    return frame


def read_frame(source: str | os.PathLike[str] | bytes | bytearray | memoryview | BinaryIO | Iterable[str | bytes],
               *, talkers: str = "*", extended: bool = True) -> Frames:
    """Decodes a whole log as orvane.read does, into pandas DataFrames.

    Takes the same source, talkers and extended, and raises the same errors;
    raises ImportError (saying so) when pandas is not installed."""
    pandas = _pandas()
    log = read(source, talkers=talkers, extended=extended)
    return Frames(_frame(pandas, log.epochs), _frame(pandas, log.satellites), _frame(pandas, log.routes),
                  dict(log.counts))
