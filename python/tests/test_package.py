"""The package as its users meet it: names, docstrings, types, stub, help()."""

import datetime
import os
import pathlib
import pydoc
import subprocess
import sys
from typing import Any

import pytest

import orvane

HERE = pathlib.Path(__file__).resolve().parent
EXAMPLE = HERE.parent / "examples" / "tour.py"
STUBGEN = HERE.parent / "stubgen.py"
PACKAGE = pathlib.Path(orvane.__file__).resolve().parent
TYPES = orvane._orvane._stub_types()
PROPERTIES = {name: type_ for name, kind, type_ in TYPES["members"] if kind != "method"}
SCALARS = {"int": int, "float": float, "str": str, "bool": bool, "datetime.datetime": datetime.datetime}


def conforms(value: Any, annotation: str) -> bool:
    """Whether value is of the stub's type ("float | None", "list[Satellite]")."""
    for alt in annotation.split(" | "):
        if alt == "Any" or (alt == "None" and value is None):
            return True
        if alt.startswith("list["):
            if isinstance(value, list) and all(conforms(v, alt[5:-1]) for v in value):
                return True
            continue
        kind = SCALARS.get(alt) or getattr(orvane, alt, None)
        if kind is not None and isinstance(value, kind) and not (kind is int and isinstance(value, bool)):
            return True
    return False


def replayed(path: str, **settings: Any) -> orvane.Control:
    gps = orvane.Control()
    for name, value in settings.items():
        setattr(gps, name, value)
    gps.OpenFile(path)
    assert gps.run_until(lambda: not gps.is_open, 60)
    return gps


def test_every_member_is_listed_documented_and_typed():
    names = [name for name, _ in orvane.members()]
    control_names = dir(orvane.Control)
    undocumented = [n for n, _, t in TYPES["members"] if n in names and t in ("Any", "(self, *args: Any) -> Any")]
    assert undocumented == []
    for name, kind, type_ in TYPES["members"]:
        assert name in control_names
        doc = getattr(orvane.Control, name).__doc__
        assert doc and "DISPID" in doc and ("orvane.Error" in doc or "Raises nothing" in doc), name
        if kind == "method":
            assert doc.startswith(name + "("), doc  # the stub's signature, not pybind11's (*args)
        else:
            assert ("Read/write" in doc) == (kind == "property"), name
    own = [n for n in vars(orvane.Control) if not n.startswith("_")]
    assert all(f"Control.{n}" in TYPES["own"] or n in PROPERTIES or n in names for n in own)
    for name in orvane.__all__:
        if name != "__version__":
            assert getattr(orvane, name).__doc__, name
    assert orvane.__doc__ and orvane.__version__.count(".") >= 2


@pytest.mark.parametrize("log, settings", [
    (None, {}),
    (None, {"SpeedUnits": 0, "DistUnits": 1, "AltitudeUnits": 1}),  # 0.0, not None, in these units
    ("sample.nmea", {}),
    ("sample.nmea", {"LatLonFormat": 2, "SpeedUnits": 1}),
    ("sample-gnss.nmea", {"Talkers": "*"}),
])
def test_values_have_their_stub_types(sample, log, settings):
    if log:
        gps = replayed(os.path.join(os.path.dirname(sample), log), **settings)
    else:
        gps = orvane.Control()
        for name, value in settings.items():
            setattr(gps, name, value)
    for name, annotation in PROPERTIES.items():
        try:
            value = getattr(gps, name)
        except orvane.Error as e:
            assert name in ("PortName", "PortHandle") and e.hresult == 0x80040200, name
            continue
        assert conforms(value, annotation), (name, annotation, value)
        assert getattr(gps, name.lower()) == value  # as a script host, any case
    for prn in gps.SatelliteInViewPRNs + [0, 999]:
        assert all(conforms(v, "int | None") for v in gps.GetSatelliteInfo(prn))
    for name in gps.WptsInRoute + ["NOWHERE"]:
        lat, lon = gps.GetWptLocation(name)
        assert isinstance(lat, str) and isinstance(lon, str)
    snapshots = {"Fix": [gps.fix], "Satellites": [gps.satellites], "Navigation": [gps.navigation],
                 "Satellite": gps.satellites.in_sight}
    for cls, fields in TYPES["snapshots"]:
        for snapshot in snapshots[cls]:
            assert type(snapshot) is getattr(orvane, cls)
            assert sorted(vars(snapshot)) == sorted(f for f, _ in fields)
            for field, annotation in fields:
                assert conforms(getattr(snapshot, field), annotation), (cls, field, annotation)
    gps.release()


def test_the_stub_is_the_extensions_own(tmp_path):
    fresh = tmp_path / "_orvane.pyi"
    env = dict(os.environ, PYTHONPATH=str(PACKAGE.parent))
    subprocess.run([sys.executable, str(STUBGEN), str(fresh)], check=True, env=env)
    assert fresh.read_text(encoding="utf-8") == (PACKAGE / "_orvane.pyi").read_text(encoding="utf-8")
    assert (PACKAGE / "py.typed").exists()
    pytest.importorskip("mypy", reason="mypy missing: scripts/setup installs python3-mypy")
    allow = tmp_path / "allow.txt"
    # pybind11's metaclass is nothing a stub can name.
    allow.write_text("orvane.Control\norvane._orvane.Control\n")
    run = subprocess.run([sys.executable, "-m", "mypy.stubtest", "orvane", "--allowlist", str(allow)],
                         env=env, cwd=tmp_path, capture_output=True, text=True)
    assert run.returncode == 0, run.stdout + run.stderr


def test_the_example_uses_every_name_passes_mypy_strict_and_runs(sample, tmp_path):
    text = EXAMPLE.read_text(encoding="utf-8")
    typed = [n for n, t in PROPERTIES.items() if t != "Any"]
    typed += [n for n, k, t in TYPES["members"] if k == "method" and "Any" not in t]
    typed += [n.split(".", 1)[1] for n in TYPES["own"] if n.startswith("Control.") and "__" not in n]
    typed += [f for _, fields in TYPES["snapshots"] for f, _ in fields] + list(orvane.__all__)
    assert [n for n in typed if n not in text] == []
    env = dict(os.environ, PYTHONPATH=str(PACKAGE.parent))
    run = subprocess.run([sys.executable, str(EXAMPLE), os.path.abspath(sample)], env=env, cwd=tmp_path,
                         capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, run.stderr
    assert "1800 fixes, last at 2024-06-05 12:09:59+00:00, good True" in run.stdout
    assert "Open: 0x80040205 Could not open port." in run.stdout
    pytest.importorskip("mypy", reason="mypy missing: scripts/setup installs python3-mypy")
    env["MYPYPATH"] = str(PACKAGE.parent)
    check = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--no-incremental", str(EXAMPLE)],
                           env=env, cwd=tmp_path, capture_output=True, text=True)
    assert check.returncode == 0, check.stdout + check.stderr


def test_help_reads_like_documentation():
    text = pydoc.render_doc(orvane, renderer=pydoc.plaintext)
    assert max(len(line) for line in text.splitlines()) < 100
    # The words, whatever the wrapping and pydoc's margins.
    text = " ".join(" ".join(line.strip().lstrip("|").split()) for line in text.splitlines())
    for expected in ["NMEA 0183 GPS receivers", "class Control", "OpenFile(FileName: str, TimeScale: float = ..., /)",
                     "Raises orvane.Error 0x80040215 (\"Unable to open file.\")",
                     "SpeedUnits Unit of Speed", "0 statute miles per hour, 1 kilometres per hour, 2 knots",
                     "class Fix", "on(event: str, callback: Callable[..., object]) -> int"]:
        assert expected in text, expected
    assert "*args" not in pydoc.render_doc(orvane.Control.OpenFile, renderer=pydoc.plaintext)
