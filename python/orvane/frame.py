"""orvane.read_frame: a decoded log as pandas DataFrames."""

import importlib
import os
import types
import typing
from typing import Any

from orvane._orvane import read

# pandas has no types of its own: its frames are typed Any here.
DataFrame = Any
# What orvane.read takes.
Source = typing.Union[str, "os.PathLike[str]", bytes, bytearray, memoryview, typing.BinaryIO,
                      typing.Iterable[typing.Union[str, bytes]]]


class Frames(types.SimpleNamespace):
    """What read_frame gives: Log's tables as DataFrames, counts as a dict.

    epochs and satellites have their time as datetime64[ns, UTC]; the other
    columns are Log's, with the same units and the same NaN / -1 for
    unknown values."""

    epochs: DataFrame
    satellites: DataFrame
    waypoints: DataFrame
    routes: DataFrame
    counts: typing.Dict[str, int]


def _pandas() -> Any:
    try:
        return importlib.import_module("pandas")
    except ImportError as e:
        raise ImportError("orvane.read_frame needs pandas: pip install pandas "
                          "(on Debian: apt install python3-pandas); orvane.read gives NumPy arrays without it") from e


def _frame(pandas: Any, columns: dict[str, Any]) -> DataFrame:
    frame = pandas.DataFrame(columns, copy=False)
    if "time" in frame:
        frame["time"] = frame["time"].dt.tz_localize("UTC")
    return frame


def read_frame(source: "Source", *, talkers: str = "*", extended: bool = True) -> "Frames":
    """Decodes a whole log as orvane.read does, into pandas DataFrames.

    Takes the same source, talkers and extended, and raises the same errors;
    raises ImportError (saying so) when pandas is not installed."""
    pandas = _pandas()
    log = read(source, talkers=talkers, extended=extended)
    return Frames(epochs=_frame(pandas, log.epochs), satellites=_frame(pandas, log.satellites),
                  waypoints=_frame(pandas, log.waypoints), routes=_frame(pandas, log.routes), counts=dict(log.counts))
