"""NMEA 0183 GPS receivers and logs, through the Orvane control.

A Control reads one receiver live or replays one recorded log, keeps the
latest value of every quantity and raises an event after every sentence::

    import orvane

    with orvane.Control() as gps:              # the reader stops at the end
        gps.SpeedUnits = 1                     # km/h for Speed
        gps.on("FixUpdate", lambda good, when, lat, lon, alt, speed, course:
               print(when, lat, lon, speed))
        gps.OpenFile("drive.nmea")             # or gps.Open("/dev/ttyUSB0")
        gps.run_until(lambda: not gps.is_open, timeout=120)
        print(gps.Latitude, gps.Longitude)     # text: "50.780075° N"
        print(gps.fix.latitude, gps.fix.speed) # numbers: degrees, knots

Members. Every automation member is an attribute of its own name
(``gps.Latitude``, ``gps.OpenFile(...)``), listed by dir() and documented by
help(orvane.Control): its unit, its values and the error it raises. Values
come back as None (not received), int, float, bool, str, datetime.datetime
(UTC) or list, in the formats and units the settings choose (LatLonFormat,
SpeedUnits, DistUnits, AltitudeUnits).

Snapshots. ``gps.fix``, ``gps.satellites`` and ``gps.navigation`` are typed
records (Fix, Satellites, Navigation) in the receiver's own units whatever the
settings: signed decimal degrees, knots, metres, nautical miles.

Events. ``gps.on(event, callback)`` calls back on the thread that pumps:
``gps.pump()``, ``gps.run_for(seconds)``, ``gps.run_until(predicate, timeout)``
or an event loop watching ``gps.fileno()``. An exception raised in a callback
is re-raised by the pumping call.

Logs. ``orvane.read(path)`` decodes a whole recorded log at once, in C++, into
NumPy columns (a Log: epochs, satellites, routes, counts);
``orvane.read_frame(path)`` gives pandas DataFrames, and
``orvane.dask.read_logs("logs/*.nmea.gz")`` one Dask DataFrame over many
logs, a partition per log, for one machine or a cluster::

    log = orvane.read("drive.nmea.gz")
    print(log.epochs["time"][-1], log.epochs["lat"].mean(), log.counts["lines"])

Errors. A failing member raises orvane.Error with the control's code and text
(``e.hresult == 0x80040215``, ``e.description == "Unable to open file."``).
"""

from orvane._orvane import (
    Control,
    Error,
    Fix,
    Log,
    Navigation,
    Satellite,
    Satellites,
    __version__,
    members,
    read,
)
from orvane.frame import Frames, read_frame

__all__ = [
    "Control",
    "Error",
    "Fix",
    "Frames",
    "Log",
    "Navigation",
    "Satellite",
    "Satellites",
    "__version__",
    "members",
    "read",
    "read_frame",
]
