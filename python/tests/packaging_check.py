"""The package as pip users get it, outside the source tree.

usage: packaging_check.py BUILD_DIR SOURCE_DIR SAMPLE

1. python3 -m build --no-isolation --wheel, reusing BUILD_DIR's extension
   (the project files copied to a scratch folder, so the tree stays clean);
   the wheel goes into a fresh venv with no system packages, imports from
   there, runs the tour, and mypy --strict checks the tour against the
   installed package (py.typed).
2. pip install --no-build-isolation SOURCE_DIR into a fresh venv that sees
   Debian's build requirements: setuptools runs the project's CMake (a full
   build the first time, about 3 minutes on two cores; seconds after). Every
   example in python/examples runs there, given SAMPLE.

Each step prints its time. The venvs see nothing of the source tree: the
package must come from their own site-packages.

Exits 77 (skipped) when venv, build or wheel are missing, saying which.
"""

import fcntl
import importlib.util
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from typing import Any, Sequence

SKIP = 77


def run(what: str, args: Sequence[object], **kwargs: Any) -> subprocess.CompletedProcess[str]:
    started = time.monotonic()
    done = subprocess.run([str(a) for a in args], capture_output=True, text=True, **kwargs)
    print(f"{what}: {time.monotonic() - started:.1f} s")
    if done.returncode != 0:
        print(done.stdout[-4000:], done.stderr[-4000:], sep="\n")
        raise SystemExit(f"FAIL: {what} (exit {done.returncode})")
    return done


def project_version(source: Path) -> str:
    text = (source / "CMakeLists.txt").read_text(encoding="utf-8")
    match = re.search(r"project\(\s*OrvaneMod\s+VERSION\s+([0-9.]+)", text)
    if not match:
        raise SystemExit("FAIL: CMakeLists.txt names no project version")
    return match.group(1)


def check_venv(python: Path, work: Path, sample: Path, tour: Path, version: str) -> None:
    """Imports orvane from the venv's own site-packages and runs the tour there."""
    probe = ("import importlib.metadata as m, orvane, sys; "
             "print(orvane.__file__); print(orvane.__version__, m.version('orvane')); print(sys.prefix)")
    lines = run(f"{python.parent.parent.name}: import", [python, "-c", probe], cwd=work).stdout.split("\n")
    prefix = str(python.parent.parent)
    if not lines[0].startswith(prefix):
        raise SystemExit(f"FAIL: orvane imported from {lines[0]}, not from the venv {prefix}")
    if lines[1] != f"{version} {version}":
        raise SystemExit(f"FAIL: versions {lines[1]!r}, the CMake project says {version}")
    out = run(f"{python.parent.parent.name}: tour", [python, tour, sample], cwd=work).stdout
    if "1800 fixes" not in out:
        raise SystemExit(f"FAIL: the tour replayed something else:\n{out}")


def main(argv: list[str]) -> int:
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    build, source, sample = (Path(a).resolve() for a in argv[1:])
    missing = [m for m in ("venv", "pip", "build", "wheel", "setuptools") if not _importable(m)]
    if missing:
        print(f"SKIPPED: python3 lacks {', '.join(missing)} (scripts/setup installs python3-venv, "
              "python3-pip, python3-build, python3-wheel, python3-setuptools)")
        return SKIP
    # pip as on a machine without an index, whatever this machine's own
    # configuration says, and never asking PyPI about its own version.
    os.environ.update(PIP_CONFIG_FILE=os.devnull, PIP_DISABLE_PIP_VERSION_CHECK="1", PIP_NO_INPUT="1")
    version = project_version(source)
    with tempfile.TemporaryDirectory(prefix="orvane-packaging-") as scratch:
        work = Path(scratch)
        tour = work / "tour.py"
        shutil.copy2(source / "python" / "examples" / "tour.py", tour)

        # 1. The wheel, from a copy of what the package needs.
        project = work / "project"
        for name in ("pyproject.toml", "setup.py", "CMakeLists.txt", "README.md"):
            (project / name).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(source / name, project / name)
        shutil.copytree(source / "python" / "orvane", project / "python" / "orvane")
        env = dict(os.environ, ORVANE_CMAKE_BUILD_DIR=str(build))
        run("wheel: python3 -m build --no-isolation --wheel",
            [sys.executable, "-m", "build", "--no-isolation", "--wheel", "--outdir", work / "dist", project],
            env=env, cwd=work)
        wheels = list((work / "dist").glob("orvane-*.whl"))
        if len(wheels) != 1 or version not in wheels[0].name:
            raise SystemExit(f"FAIL: expected one orvane {version} wheel, got {wheels}")
        # pip --python installs into a venv as its own pip would, without the
        # seconds ensurepip takes to put one there.
        plain = work / "plain"
        run("plain: python3 -m venv", [sys.executable, "-m", "venv", "--without-pip", plain])
        run("plain: pip install the wheel",
            [sys.executable, "-m", "pip", "--python", plain / "bin" / "python", "install", "--no-index", "-q",
             wheels[0]], cwd=work)
        check_venv(plain / "bin" / "python", work, sample, tour, version)
        if _importable("mypy"):
            run("plain: mypy --strict on the tour, types from the installed package",
                [sys.executable, "-m", "mypy", "--strict", "--no-incremental",
                 "--python-executable", plain / "bin" / "python", tour], cwd=work)
        else:
            print("mypy missing (scripts/setup installs python3-mypy): the installed types not checked")

        # 2. pip install from the source tree, CMake and all.
        system = work / "system"
        run("system: python3 -m venv --system-site-packages",
            [sys.executable, "-m", "venv", "--without-pip", "--system-site-packages", system])
        # pip builds in the tree, CMake's tree under build/temp.*: kept between
        # runs and shared by every build's tests, so one run at a time.
        (source / "build").mkdir(exist_ok=True)
        with open(source / "build" / ".pip-install.lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            env = dict(os.environ)
            env.pop("ORVANE_CMAKE_BUILD_DIR", None)
            run("system: pip install --no-build-isolation SOURCE",
                [sys.executable, "-m", "pip", "--python", system / "bin" / "python", "install",
                 "--no-build-isolation", "--no-index", "-q", source], cwd=work, env=env)
        check_venv(system / "bin" / "python", work, sample, tour, version)
        # Every example, those that need Debian's numpy, pandas or dask too.
        for example in sorted((source / "python" / "examples").glob("*.py")):
            if example.name != tour.name:
                shutil.copy2(example, work / example.name)
                run(f"system: {example.name}", [system / "bin" / "python", work / example.name, sample], cwd=work)
    print("packaging: the wheel and pip install both work outside the tree")
    return 0


def _importable(name: str) -> bool:
    return importlib.util.find_spec(name) is not None


if __name__ == "__main__":
    sys.exit(main(sys.argv))
