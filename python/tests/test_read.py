"""orvane.read, read_frame and orvane.dask against the control, pynmea2 and themselves."""

import datetime
import errno
import gzip
import io
import math
import os
import pathlib
import random
import subprocess
import sys

import pytest

np = pytest.importorskip("numpy", reason="numpy missing: scripts/setup installs python3-numpy")

import orvane  # noqa: E402

EXAMPLES = pathlib.Path(__file__).resolve().parent.parent / "examples"


def same_columns(a, b, what=""):
    assert sorted(a) == sorted(b), what
    for name in a:
        x, y = a[name], b[name]
        assert x.dtype == y.dtype and x.shape == y.shape, (what, name)
        if x.dtype.kind == "f":
            assert np.array_equal(x, y, equal_nan=True), (what, name)
        else:
            assert np.array_equal(x, y), (what, name)


def same_log(a, b, what=""):
    for table in ("epochs", "satellites", "waypoints", "routes"):
        same_columns(getattr(a, table), getattr(b, table), f"{what} {table}")
    assert a.counts == b.counts, what


@pytest.fixture(scope="module")
def generated(tmp_path_factory):
    gen = os.environ.get("ORVANE_GEN")
    if not gen or not os.path.exists(gen):
        pytest.skip("SKIPPED: orvane-gen not built (ORVANE_GEN unset): the generated log is not checked")
    path = tmp_path_factory.mktemp("gen") / "gen.nmea"
    subprocess.run([gen, "--lines", "30000", "--seed", "7", "-o", str(path)], check=True)
    return str(path)


def test_every_kind_of_source_gives_the_same_log(sample, tmp_path):
    data = pathlib.Path(sample).read_bytes()
    whole = orvane.read(sample)
    assert len(whole.epochs["time"]) == 600 and whole.counts["lines"] == data.count(b"\n")
    assert whole.counts["RMC"] == 600 and whole.counts["checksum_dropped"] == 0
    compressed = tmp_path / "sample.nmea.gz"
    compressed.write_bytes(gzip.compress(data))
    no_suffix = tmp_path / "gzip-without-suffix"
    no_suffix.write_bytes(gzip.compress(data))
    lines = data.decode("ascii").splitlines(keepends=True)
    with open(sample, "rb") as f, gzip.open(compressed, "rb") as g:
        kinds = {
            "Path": pathlib.Path(sample), "bytes": data, "bytearray": bytearray(data), "memoryview": memoryview(data),
            ".gz": str(compressed), "gzip, no suffix": no_suffix, "file": f, "gzip file": g,
            "BytesIO": io.BytesIO(data), "str lines": lines, "str lines without ends": [s.rstrip("\r\n") for s in lines],
            "bytes lines": (s.encode() for s in lines),
        }
        for what, source in kinds.items():
            same_log(orvane.read(source), whole, what)
    # No line end after the last line: it is read all the same.
    same_log(orvane.read(data.rstrip(b"\r\n")), whole, "no last line end")
    # The epoch's columns, as the sample holds them.
    e = whole.epochs
    assert e["time"][0] == np.datetime64("2024-06-05T12:00:00", "ns") and e["time"].dtype == np.dtype("M8[ns]")
    assert e["lat"][0] == pytest.approx(50.765) and e["mode"][0] == 3 and e["quality"][0] >= 1
    assert np.isnan(e["heading"]).all() and (e["satellites_in_view"] > 0).all()
    s = whole.satellites
    assert len(s["prn"]) == 1440 and set(s["system"]) == {1} and s["used"].any() and not s["used"].all()
    assert list(whole.routes["waypoint"])[:2] == ["HARBOR", "NBUOY"]
    w = whole.waypoints
    assert set(whole.routes["waypoint"]) <= set(w["name"])
    harbor = list(w["name"]).index("HARBOR")
    assert (w["lat"][harbor], w["lon"][harbor]) == (pytest.approx(50.765), pytest.approx(-1.298))


def test_talkers_and_extended_choose_what_is_read():
    text = (b"$GNRMC,120000.00,A,5045.9000,N,00117.8800,W,5.8,335.2,050624,1.2,W,A*2E\n"
            b"$GPHDT,274.07,T*03\n")
    gn = orvane.read(text)
    assert gn.counts["RMC"] == 1 and gn.counts["HDT"] == 1 and gn.epochs["heading"][0] == pytest.approx(274.07)
    gp = orvane.read(text, talkers="GP", extended=False)
    assert gp.counts["RMC"] == 0 and gp.counts["HDT"] == 0 and gp.counts["unrecognised"] == 2
    assert len(gp.epochs["time"]) == 0
    # A ZDA year beyond datetime64[ns]: no time rather than a wrong one.
    far = orvane.read(b"$GPZDA,120000.00,05,06,2024,00,00*62\n$GPZDA,120001.00,05,06,9999,00,00*67\n")
    assert far.counts["ZDA"] == 2 and far.epochs["time"][0] == np.datetime64("2024-06-05T12:00:00", "ns")
    assert np.isnat(far.epochs["time"][1])


def test_bad_sources_raise_at_once_and_bad_lines_are_counted(tmp_path, sample):
    missing = tmp_path / "missing.nmea"
    with pytest.raises(OSError) as e:
        orvane.read(missing)
    assert e.value.errno == errno.ENOENT and e.value.filename == missing and "No such file" in str(e.value)
    with pytest.raises(OSError) as e:
        orvane.read(str(tmp_path))
    assert e.value.errno == errno.EISDIR and e.value.filename == str(tmp_path)
    cut = tmp_path / "cut.gz"
    cut.write_bytes(gzip.compress(pathlib.Path(sample).read_bytes())[:-2000])
    with pytest.raises(OSError) as e:
        orvane.read(cut)
    assert e.value.filename == cut
    with open(sample) as text_mode, pytest.raises(TypeError, match="binary mode"):
        orvane.read(text_mode)
    for source in (12, None, [b"$GPRMC", 3]):
        with pytest.raises(TypeError):
            orvane.read(source)
    with pytest.raises(ValueError, match="talkers"):
        orvane.read(b"", talkers="G")
    bad = (b"$GPRMC,120000.00,A,5045.9000,N,00117.8800,W,5.8,335.2,050624,1.2,W,A*31\n"  # checksum
           b"\x00\xff garbage\n" + b"$" + b"x" * 200000 + b"\n" + b"$PUBX,00*33\n\n")
    log = orvane.read(bad)
    assert log.counts["checksum_dropped"] == 1 and log.counts["overlong_dropped"] == 1
    assert log.counts["unrecognised"] >= 1 and len(log.epochs["time"]) == 0


def test_random_bytes_never_raise_and_keep_columns_aligned(sample):
    data = pathlib.Path(sample).read_bytes()
    rng = random.Random(24)
    for _ in range(200):
        mutated = bytearray(data[rng.randrange(len(data)):][:rng.randrange(1, 4000)])
        for _ in range(rng.randrange(1, 20)):
            mutated[rng.randrange(len(mutated))] = rng.choice(b"$,*\r\n.-0123456789ABCDEFNSEW\x00\xff")
        if rng.random() < 0.2:
            mutated = bytearray(rng.randbytes(rng.randrange(1, 3000)))
        log = orvane.read(bytes(mutated), talkers=rng.choice(["*", "GP", "GP,GN"]), extended=rng.random() < 0.5)
        for table in ("epochs", "satellites", "waypoints", "routes"):
            assert len({len(c) for c in getattr(log, table).values()}) == 1, table
        assert log.counts["lines"] <= mutated.count(b"\n") + mutated.count(b"\r") + 1
        assert log.counts["checksum_dropped"] + log.counts["overlong_dropped"] <= log.counts["lines"] + 1


def corpus_logs():
    corpus = os.environ.get("ORVANE_CORPUS", "")
    if not os.path.isdir(corpus):
        pytest.skip(f"SKIPPED: no receiver corpus at {corpus!r} (../shared/corpus): read is not compared on it")
    return sorted(str(p) for p in pathlib.Path(corpus).iterdir() if p.suffix in (".log", ".nmea", ".txt"))


def control_epochs(path):
    gps = orvane.Control()
    gps.Talkers = "*"
    gps.ExtendedSentences = True
    epochs = []
    gps.on("epoch", epochs.append)
    gps.OpenFile(path)
    assert gps.run_until(lambda: not gps.is_open, 60)
    gps.release()
    return epochs


def test_read_equals_the_controls_epochs_on_the_corpus():
    fields = {"lat": "latitude", "lon": "longitude", "alt": "altitude", "alt_hae": "altitude_hae",
              "geoid_height": "geoid_height", "speed": "speed", "course": "course", "heading": "heading",
              "magnetic_course": "magnetic_course", "magnetic_variation": "magnetic_variation", "pdop": "pdop",
              "hdop": "hdop", "vdop": "vdop", "lat_error": "latitude_error", "lon_error": "longitude_error",
              "alt_error": "altitude_error", "mode": "mode", "quality": "quality",
              "satellites_used": "satellites_used", "satellites_in_view": "satellites_in_view", "good": "good"}
    compared = 0
    for path in corpus_logs():
        data = pathlib.Path(path).read_bytes()
        if not data.endswith((b"\n", b"\r")):
            continue  # the control leaves a last line without its end; read does not
        expected = control_epochs(path)
        log = orvane.read(path)
        e = log.epochs
        assert len(e["time"]) == len(expected), path
        for i, epoch in enumerate(expected):
            when = epoch.time
            got = e["time"][i]
            if when is None:
                assert np.isnat(got), (path, i)
            else:
                when += datetime.timedelta(milliseconds=epoch.milliseconds)
                assert got == np.datetime64(when.astimezone(datetime.timezone.utc).replace(tzinfo=None), "ns")
            for column, field in fields.items():
                value = getattr(epoch, field)
                have = e[column][i].item()
                if value is None:
                    assert (isinstance(have, float) and math.isnan(have)) or have == -1, (path, i, column)
                else:
                    assert have == value, (path, i, column, have, value)
        compared += len(expected)
    assert compared > 1000


def pynmea2_epochs(path):
    """Each epoch's time and position as a pynmea2 user keeps them: a new
    time of day starts an epoch, RMC's date dates it, GGA/RMC/GLL set the
    position."""
    pynmea2 = pytest.importorskip("pynmea2", reason="SKIPPED: pynmea2 missing (scripts/setup installs python3-nmea2)")
    epochs, day, current = [], None, None
    with open(path, encoding="ascii", errors="replace") as f:
        for line in f:
            try:
                msg = pynmea2.parse(line.strip(), check=True)
            except pynmea2.ParseError:
                continue
            if not isinstance(msg, (pynmea2.types.RMC, pynmea2.types.GGA, pynmea2.types.GLL)):
                continue
            if msg.timestamp is None:
                continue
            if isinstance(msg, pynmea2.types.RMC) and msg.datestamp:
                day = msg.datestamp
            if current is None or current[0] != msg.timestamp:
                current = [msg.timestamp, day, None, None]
                epochs.append(current)
            if isinstance(msg, pynmea2.types.RMC) and msg.datestamp:
                current[1] = msg.datestamp
            if msg.latitude is not None and msg.lat:
                current[2], current[3] = msg.latitude, msg.longitude
    return epochs


def test_read_gives_pynmea2s_times_and_positions(generated):
    expected = pynmea2_epochs(generated)
    log = orvane.read(generated)
    e = log.epochs
    assert len(expected) == len(e["time"]) > 1000
    for i, (t, day, lat, lon) in enumerate(expected):
        when = datetime.datetime.combine(day, t.replace(tzinfo=None))
        assert e["time"][i] == np.datetime64(when, "ns"), i
        assert e["lat"][i] == pytest.approx(lat, abs=1e-9) and e["lon"][i] == pytest.approx(lon, abs=1e-9), i


def test_read_frame_is_read_as_pandas(sample):
    pd = pytest.importorskip("pandas", reason="SKIPPED: pandas missing (scripts/setup installs python3-pandas)")
    frames = orvane.read_frame(sample)
    log = orvane.read(sample)
    assert list(frames.epochs.columns) == list(log.epochs)
    assert str(frames.epochs["time"].dtype) == "datetime64[ns, UTC]"
    assert frames.epochs["time"].iloc[0] == pd.Timestamp("2024-06-05T12:00:00Z")
    for table in ("epochs", "satellites", "waypoints", "routes"):
        frame, columns = getattr(frames, table), getattr(log, table)
        for name, column in columns.items():
            values = frame[name].to_numpy()
            if name == "time":
                values = frame[name].dt.tz_localize(None).to_numpy()
            assert np.array_equal(values, column, equal_nan=column.dtype.kind == "f"), (table, name)
    assert frames.counts == log.counts


def test_read_frame_says_what_is_missing_without_pandas(tmp_path, sample):
    blocker = tmp_path / "pandas.py"
    blocker.write_text("raise ImportError('no pandas here')\n")
    env = dict(os.environ, PYTHONPATH=os.pathsep.join([str(tmp_path), os.environ.get("PYTHONPATH", "")]))
    run = subprocess.run([sys.executable, "-c", f"import orvane; orvane.read_frame({sample!r})"], env=env,
                         capture_output=True, text=True)
    assert run.returncode != 0 and "orvane.read_frame needs pandas" in run.stderr


def test_dask_partitions_equal_read_frame_locally_and_on_a_cluster(sample, generated, tmp_path):
    pytest.importorskip("pandas", reason="SKIPPED: pandas missing (scripts/setup installs python3-pandas)")
    pytest.importorskip("dask.dataframe", reason="SKIPPED: dask missing (scripts/setup installs python3-dask)")
    import orvane.dask
    import pandas as pd

    compressed = tmp_path / "b.nmea.gz"
    compressed.write_bytes(gzip.compress(pathlib.Path(generated).read_bytes()))
    (tmp_path / "a.nmea").write_bytes(pathlib.Path(sample).read_bytes())
    (tmp_path / "c.nmea").write_bytes(b"$GPRMC,bad*00\n")
    paths = sorted(str(p) for p in tmp_path.glob("*.nmea*"))
    for table in ("epochs", "satellites"):
        frame = orvane.dask.read_logs(str(tmp_path / "*.nmea*"), table=table)
        assert frame.npartitions == 3
        expected = pd.concat([getattr(orvane.read_frame(p), table) for p in paths], ignore_index=True)
        local = frame.compute(scheduler="synchronous").reset_index(drop=True)
        pd.testing.assert_frame_equal(local, expected)
    with pytest.raises(FileNotFoundError):
        orvane.dask.read_logs(str(tmp_path / "*.none"))
    with pytest.raises(ValueError):
        orvane.dask.read_logs(paths, table="fixes")
    missing = orvane.dask.read_logs([str(tmp_path / "gone.nmea")])  # lazy: raises when computed
    with pytest.raises(OSError):
        missing.compute(scheduler="synchronous")
    distributed = pytest.importorskip("distributed",
                                      reason="SKIPPED: distributed missing (scripts/setup installs python3-distributed)")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=False, dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        frame = orvane.dask.read_logs(paths)
        on_cluster = client.compute(frame).result(timeout=120).reset_index(drop=True)
        expected = pd.concat([orvane.read_frame(p).epochs for p in paths], ignore_index=True)
        pd.testing.assert_frame_equal(on_cluster, expected)


def test_the_plot_example_draws_the_docs_figure(sample, tmp_path):
    pytest.importorskip("matplotlib", reason="SKIPPED: matplotlib missing (scripts/setup installs python3-matplotlib)")
    out = tmp_path / "track.png"
    env = dict(os.environ, MPLBACKEND="Agg")
    run = subprocess.run([sys.executable, str(EXAMPLES / "plot_log.py"), sample, str(out)], env=env,
                         capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, run.stderr
    assert out.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n" and out.stat().st_size > 10000
    assert "600 epochs" in run.stdout
    pytest.importorskip("mypy", reason="SKIPPED: mypy missing (scripts/setup installs python3-mypy)")
    env["MYPYPATH"] = str(pathlib.Path(orvane.__file__).resolve().parent.parent)
    check = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--no-incremental", str(EXAMPLES / "plot_log.py")],
                           env=env, cwd=tmp_path, capture_output=True, text=True)
    assert check.returncode == 0, check.stdout + check.stderr
