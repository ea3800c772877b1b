"""Builds orvane._orvane with the project's CMake and adds it, with its
generated stub, to the package. See pyproject.toml for the metadata."""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


def project_version() -> str:
    """The version of the CMake project, the package's one source."""
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    match = re.search(r"project\(\s*OrvaneMod\s+VERSION\s+([0-9.]+)", text)
    if not match:
        raise RuntimeError("CMakeLists.txt: no project(OrvaneMod VERSION ...) line")
    return match.group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext: Extension) -> None:
        target = Path(self.get_ext_fullpath(ext.name)).resolve()
        # A build tree that already holds the package (ORVANE_CMAKE_BUILD_DIR,
        # as the tests pass it) is reused as it is, else CMake builds one.
        build = os.environ.get("ORVANE_CMAKE_BUILD_DIR")
        if build:
            build_dir = Path(build).resolve()
        else:
            build_dir = Path(self.build_temp).resolve() / "cmake"
            self.cmake(build_dir)
        package = build_dir / "python" / "orvane"
        built = package / target.name
        if not built.exists():
            raise RuntimeError(f"{built}: not built (CMake found no pybind11 or Python headers?)")
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(built, target)
        stub = package / "_orvane.pyi"
        if not stub.exists():
            raise RuntimeError(f"{stub}: no stub was generated")
        shutil.copy2(stub, target.parent / stub.name)

    def cmake(self, build_dir: Path) -> None:
        configure = [
            "cmake", "-S", str(ROOT), "-B", str(build_dir),
            "-DCMAKE_BUILD_TYPE=Release",
            "-DORVANE_BUILD_TESTS=OFF",
            "-DORVANE_BUILD_BENCH=OFF",
            # The interpreter that builds is the one the extension is for; a
            # venv's python is a link to it, and a new venv must not mean a
            # new configuration.
            f"-DPython3_EXECUTABLE={os.path.realpath(sys.executable)}",
        ]
        try:
            import pybind11  # the build requirement's CMake files, when pip fetched it
            configure.append(f"-Dpybind11_DIR={pybind11.get_cmake_dir()}")
        except ImportError:
            pass
        if shutil.which("ninja"):
            configure += ["-G", "Ninja"]
        env = dict(os.environ)
        env.setdefault("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
        subprocess.run(configure, check=True, env=env)
        build = ["cmake", "--build", str(build_dir), "--target", "orvane_python_stub"]  # and the extension
        subprocess.run(build, check=True, env=env)


# Here rather than in pyproject.toml, where setuptools 66 (Debian 12) still
# calls its table a beta.
setup(
    version=project_version(),
    package_dir={"": "python"},
    packages=["orvane"],
    package_data={"orvane": ["py.typed"]},
    include_package_data=False,
    ext_modules=[Extension("orvane._orvane", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
)
