import asyncio
import datetime
import threading

import pytest

import orvane

UTC = datetime.timezone.utc


def replay(gps, path):
    gps.OpenFile(path)
    assert gps.run_until(lambda: not gps.is_open, 60)


def test_members_by_name_with_script_coercion(sample):
    gps = orvane.Control()
    gps.SpeedUnits = 1
    assert gps.SpeedUnits == 1
    gps.SpeedUnits = "2"  # coerced, as a script's value
    assert gps.SpeedUnits == 2
    gps.speedunits = 0  # names are case-insensitive, as for a script host
    assert gps.SpeedUnits == 0
    assert gps.Latitude == ""
    assert gps.FixGood is False
    replay(gps, sample)
    assert isinstance(gps.Latitude, str) and gps.Latitude
    assert isinstance(gps.Speed, float)
    assert gps.FixDateTime == datetime.datetime(2024, 6, 5, 12, 9, 59, tzinfo=UTC)
    assert isinstance(gps.FixSatellitePRNs, list) and gps.FixSatellitePRNs[0] == 18
    assert gps.DGPSRefStationID is None
    elevation, azimuth, snr = gps.GetSatelliteInfo(18)
    assert all(isinstance(v, int) for v in (elevation, azimuth, snr))
    sat = next(s for s in gps.satellites.in_sight if s.number == 18)
    assert (elevation, azimuth, snr) == (sat.elevation, sat.azimuth, sat.snr)
    lat, lon = gps.GetWptLocation("HARBOR")
    assert isinstance(lat, str) and lat and isinstance(lon, str) and lon
    assert gps.GetWptLocation("NOWHERE") == ("", "")


def test_typed_snapshots(sample):
    with orvane.Control() as gps:
        assert gps.fix.latitude is None and gps.fix.time is None and gps.fix.good is False
        gps.SpeedUnits = 1
        replay(gps, sample)
        fix = gps.fix
        assert fix.good is True
        assert fix.latitude == pytest.approx(50 + 46.8045 / 60)
        assert fix.longitude == pytest.approx(-(1 + 17.9698 / 60))
        assert fix.speed == pytest.approx(6.1)  # knots whatever SpeedUnits says
        assert fix.altitude == pytest.approx(-6.4)
        assert fix.time == datetime.datetime(2024, 6, 5, 12, 9, 59, tzinfo=UTC)
        assert gps.satellites.mode == 3
        assert gps.navigation.route_name == "SAIL10"
        assert gps.navigation.destination == "CAPE"


def test_errors_carry_the_controls_code_and_text(tmp_path):
    gps = orvane.Control()
    with pytest.raises(orvane.Error) as e:
        gps.OpenFile(str(tmp_path / "missing.nmea"))
    assert e.value.hresult == 0x80040215
    assert e.value.description == "Unable to open file."
    assert isinstance(e.value.source, (str, type(None)))
    with pytest.raises(orvane.Error) as e:
        gps.SpeedUnits = "fast"
    assert e.value.hresult == 0x80020005  # the coercion's code
    assert e.value.description is None
    with pytest.raises(AttributeError):
        gps.NoSuchMember
    with pytest.raises(orvane.Error) as e:
        gps.GetSatelliteInfo("not a number")
    assert e.value.hresult == 0x80020005


WRONG = [object(), {1: 2}, b"bytes", 1j, 2 ** 80, -2 ** 80, float("nan"), float("inf"),
         [object()], [[[]]], "\udcff", "\x00" * 5000, datetime.datetime.max, True, None]
ALLOWED = (orvane.Error, TypeError, OverflowError, ValueError)


def test_wrong_types_never_crash_any_member():
    gps = orvane.Control()
    members = orvane.members()
    assert len(members) == 59
    for value in WRONG:
        for name, kind in members:
            try:
                if kind == "put":
                    setattr(gps, name, value)
                elif kind == "method":
                    getattr(gps, name)(value)
                    getattr(gps, name)(value, value)
                    getattr(gps, name)(*([value] * 5))
                else:
                    getattr(gps, name)
            except ALLOWED:
                pass
        if gps.is_open:
            gps.Close()
    gps.release()


def test_random_calls_never_crash(sample):
    import random
    rng = random.Random(12)
    pool = WRONG + [0, 1, 2, 3, -1, 4800, 1.5, "1", "", sample, "/dev/null", [1, 2]]
    gps = orvane.Control()
    members = orvane.members()
    for _ in range(3000):
        name, kind = rng.choice(members)
        args = [rng.choice(pool) for _ in range(rng.randrange(0, 5))]
        try:
            if kind == "put":
                setattr(gps, name, args[0] if args else None)
            elif kind == "method" and name not in ("Open",):  # no real ports
                getattr(gps, name)(*args)
            else:
                getattr(gps, name)
        except ALLOWED:
            pass
        gps.pump()
    gps.release()


def test_dates_round_trip_through_the_control():
    # The control hands a DATE back as the same UTC time; a script's naive
    # datetime is read as UTC.
    gps = orvane.Control()
    with pytest.raises((orvane.Error, TypeError, ValueError)):
        gps.SpeedUnits = datetime.datetime(2024, 6, 5, 12, 0, 0)
    with pytest.raises(ValueError):
        gps.DegLabel = datetime.datetime(1, 1, 1)  # before the year 100
    gps.DegLabel = datetime.datetime(1850, 3, 1, 6, 30, 15)
    assert gps.DegLabel == "3/1/1850 6:30:15 AM"  # coerced to text, as a script's date


def test_released_control_raises_and_nothing_dangles():
    gps = orvane.Control()
    method = gps.Close
    gps.release()
    gps.release()
    for call in (lambda: gps.SpeedUnits, lambda: setattr(gps, "SpeedUnits", 1), method,
                 lambda: gps.fix, lambda: gps.on("FixUpdate", print)):
        with pytest.raises(orvane.Error):
            call()
    assert gps.is_open is False


def test_events_through_run_until_in_order(sample):
    gps = orvane.Control()
    fixes, raws = [], []
    cookie = gps.on("FixUpdate", lambda *params: fixes.append(params))
    gps.on("RawDataReceived", lambda data, n: raws.append((data, n)))
    ended = []
    gps.on("FileComplete", lambda: ended.append(True))
    gps.OpenFile(sample)
    assert gps.run_until(lambda: ended, 60)
    assert len(fixes) == 1800
    assert len(raws) == 4050
    good, when, lat, lon, alt, speed, course = fixes[-1]
    assert good is True and when == gps.FixDateTime and lat == gps.Latitude
    assert raws[0][0].startswith("$GPRMC") and raws[0][1] == len(raws[0][0])
    assert threading.current_thread() is threading.main_thread()
    gps.off(cookie)
    with pytest.raises(orvane.Error):
        gps.off(cookie)
    with pytest.raises(ValueError):
        gps.on("NoSuchEvent", print)


def test_exception_in_callback_is_raised_from_the_pump(sample):
    gps = orvane.Control()

    def boom(*_):
        raise KeyError("from the handler")

    gps.on("FixUpdate", boom)
    gps.OpenFile(sample)
    with pytest.raises(KeyError, match="from the handler"):
        gps.run_until(lambda: not gps.is_open, 60)
    gps.Close()


def test_release_from_inside_a_callback(sample):
    gps = orvane.Control()
    calls = []

    def handler(*_):
        calls.append(1)
        gps.release()

    gps.on("FixUpdate", handler)
    gps.OpenFile(sample)
    gps.run_for(0.5)
    assert calls == [1]
    assert gps.is_open is False


def test_events_on_an_asyncio_loop(sample):
    async def main():
        loop = asyncio.get_running_loop()
        done = loop.create_future()
        gps = orvane.Control()
        fixes = []
        gps.on("FixUpdate", lambda *p: fixes.append(p))
        gps.on("FileComplete", lambda: done.set_result(len(fixes)))
        loop.add_reader(gps.fileno(), gps.pump)
        gps.OpenFile(sample)
        try:
            return await asyncio.wait_for(done, 60)
        finally:
            loop.remove_reader(gps.fileno())
            gps.release()

    assert asyncio.run(main()) == 1800


def test_the_gil_is_free_while_pumping(sample):
    gps = orvane.Control()
    ticks = []
    stop = threading.Event()

    def tick():
        while not stop.is_set():
            ticks.append(1)
            stop.wait(0.01)

    t = threading.Thread(target=tick)
    t.start()
    gps.run_for(0.3)
    stop.set()
    t.join()
    assert len(ticks) >= 5


def test_epochs_and_extended_sentences(tmp_path):
    log = tmp_path / "gnss.nmea"
    bodies = ["GNRMC,120000.00,A,5045.9000,N,00117.8800,W,5.8,330.3,050624,1.2,W,A",
              "GNGST,120000.00,0.5,1.2,0.8,45.0,3.0,4.0,2.5", "GPHDT,274.07,T",
              "GNRMC,120001.00,A,5045.9100,N,00117.8800,W,5.9,330.3,050624,,,A"]
    lines = []
    for body in bodies:
        x = 0
        for ch in body:
            x ^= ord(ch)
        lines.append("$%s*%02X\r\n" % (body, x))
    log.write_text("".join(lines), newline="")
    with orvane.Control() as gps:
        assert gps.ExtendedSentences is False
        gps.ExtendedSentences = True
        gps.Talkers = "*"
        epochs = []
        gps.on("epoch", epochs.append)
        replay(gps, str(log))
        assert [e.sentences for e in epochs] == [["RMC", "GST", "HDT"], ["RMC"]]
        assert epochs[0].time == datetime.datetime(2024, 6, 5, 12, 0, 0, tzinfo=UTC)
        assert epochs[0].heading == pytest.approx(274.07)
        assert epochs[0].latitude_error == pytest.approx(3.0)
        assert gps.TrueHeading == pytest.approx(274.07)
        assert gps.fix.heading == pytest.approx(274.07)
        assert gps.TalkersReceived == "GN,GP"
