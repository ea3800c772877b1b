"""A tour of the orvane package: replays a log and prints every value.

usage: python3 tour.py LOG.nmea

Every public name of the package is used here, so `mypy --strict tour.py`
checks the stub against real use.
"""

from __future__ import annotations

import datetime
import sys

import orvane


def show_fix(fix: orvane.Fix) -> str:
    when = fix.time.isoformat() if fix.time else "no time"
    where = "no position"
    if fix.latitude is not None and fix.longitude is not None:
        where = f"{fix.latitude:.6f} {fix.longitude:.6f}"
    return (f"fix {'good' if fix.good else 'bad'} {when} {where} alt={fix.altitude} m speed={fix.speed} kn "
            f"course={fix.course} var={fix.magnetic_variation} quality={fix.quality} "
            f"sats={fix.satellites_in_fix} hdop={fix.hdop} geoid={fix.geoid_height} m "
            f"dgps={fix.dgps_age} s/{fix.dgps_station} mode={fix.mode} "
            f"extended: magnetic_course={fix.magnetic_course} zone={fix.local_zone_offset} min "
            f"gnss_mode={fix.gnss_mode} heading={fix.heading}/{fix.magnetic_heading} "
            f"errors={fix.latitude_error}/{fix.longitude_error}/{fix.altitude_error} m text={fix.receiver_text}")


def show_sky(sky: orvane.Satellites) -> str:
    def one(s: orvane.Satellite) -> str:
        return f"{s.number}:{s.elevation}/{s.azimuth}/{s.snr}{'*' if s.used_in_fix else ''}"

    return (f"sky auto={sky.automatic} mode={sky.mode} dop={sky.pdop}/{sky.hdop}/{sky.vdop} "
            f"in view={sky.in_view} used={sky.used} " + " ".join(one(s) for s in sky.in_sight))


def show_navigation(nav: orvane.Navigation) -> str:
    return (f"leg {nav.origin}->{nav.destination} at {nav.destination_latitude},{nav.destination_longitude} "
            f"range={nav.range} nm bearing={nav.bearing_to_destination} xte={nav.cross_track_error} "
            f"steer={nav.steer} closing={nav.closing_velocity} kn bod={nav.origin_to_destination_true}/"
            f"{nav.origin_to_destination_magnetic} arrived={nav.arrived} route {nav.route_name} "
            f"{nav.route} complete={nav.route_complete}")


def show_log(path: str) -> None:
    """The whole log at once: NumPy columns, and pandas frames when installed."""
    try:
        log: orvane.Log = orvane.read(path, talkers="*", extended=True)
    except ImportError as e:  # numpy is not installed
        print("orvane.read:", e)
        return
    epochs, sky = log.epochs, log.satellites
    print(f"read: {len(epochs['time'])} epochs from {log.counts['lines']} lines, first at {epochs['time'][0]}, "
          f"{len(sky['prn'])} satellite rows, route {list(log.routes['waypoint'])}")
    try:
        frames: orvane.Frames = orvane.read_frame(path)
    except ImportError as e:
        print("orvane.read_frame:", e)
        return
    print(f"read_frame: {frames.epochs.shape[0]} epochs, mean speed {frames.epochs['speed'].mean():.2f} kn, "
          f"{frames.counts['RMC']} RMC")


def main(path: str) -> int:
    print(f"orvane {orvane.__version__}, {len(orvane.members())} members")
    fixes: list[datetime.datetime | None] = []
    with orvane.Control() as gps:
        gps.LatLonFormat = 1
        gps.SpeedUnits = 1
        gps.DistUnits = 0
        gps.AltitudeUnits = 0
        gps.DegLabel, gps.MinLabel, gps.SecLabel = "d ", "m ", "s"
        gps.Talkers = "*"
        gps.BaudRate = 9600  # kept for the next Open; a log has no line speed
        print(gps.LatLonFormat, gps.SpeedUnits, gps.DistUnits, gps.AltitudeUnits, gps.BaudRate, gps.Talkers)

        def on_fix(good: bool, when: datetime.datetime | None, *rest: object) -> None:
            fixes.append(when)

        cookie = gps.on("FixUpdate", on_fix)
        gps.on("FileComplete", lambda: print("end of the log"))
        gps.OpenFile(path)
        try:  # the replay may be over already
            print("open: descriptor", gps.PortHandle, "port", repr(gps.PortName))
        except orvane.Error as e:
            print("closed again:", e.description)
        if not gps.run_until(lambda: not gps.is_open, timeout=120):
            gps.Close()
        gps.off(cookie)
        gps.pump()
        gps.run_for(0.0)
        print("fileno", gps.fileno() >= 0)

        print(f"{len(fixes)} fixes, last at {gps.FixDateTime}, good {gps.FixGood}")
        print("position", gps.Latitude, gps.Longitude, gps.Altitude, gps.GeoidHeightAboveWGS84Ellipsoid)
        print("motion", gps.Speed, gps.TrueCourse, gps.MagVariation, gps.ModeIndicator)
        print("quality", gps.FixQuality, gps.NumSatellitesInFix, gps.TimeSinceLastDGPSUpdate,
              gps.DGPSRefStationID)
        print("dop", gps.HDOP, gps.PDOP, gps.VDOP, gps.AutomaticOperation, gps.OperationMode)
        print("satellites", gps.NumSatellitesInView, gps.FixSatellitePRNs, gps.SatelliteInViewPRNs)
        for prn in gps.SatelliteInViewPRNs[:3]:
            elevation, azimuth, snr = gps.GetSatelliteInfo(prn)
            print(f"  {prn}: elevation {elevation} azimuth {azimuth} snr {snr}")
        print("leg", gps.OriginWptID, gps.DestWptID, gps.DestWptLatitude, gps.DestWptLongitude)
        print("to go", gps.RangeToDest, gps.TrueBearingToDest, gps.DestClosingVelocity, gps.CrossTrackError,
              gps.ArrivedAtDest)
        print("bod", gps.OrigToDestTrueBearing, gps.OrigToDestMagBearing)
        print("route", gps.RouteName, gps.WptsInRoute, gps.RouteContainsAllWpts)
        for name in gps.WptsInRoute[:2]:
            lat, lon = gps.GetWptLocation(name)
            print(f"  {name}: {lat} {lon}")
        print(show_fix(gps.fix))
        print(show_sky(gps.satellites))
        print(show_navigation(gps.navigation))
        try:
            gps.Open("/nonexistent/tty")
        except orvane.Error as e:
            print(f"Open: 0x{e.hresult:08X} {e.description} ({e.source})")
        gps.release()
    show_log(path)
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1]))
