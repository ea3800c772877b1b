"""Writes the stub of orvane._orvane from the extension itself.

The names come from what the extension defines; their types from its
_stub_types() (the member table's rows and the module's own); the docstrings
are the extension's. A name without a type is written as Any, so a member
added to the table is in the stub without anything else to do.

usage: stubgen.py OUT.pyi   (with the package importable)
"""

from __future__ import annotations

import sys

# This folder holds the package's sources without the extension: the built
# package on PYTHONPATH is the one to read.
del sys.path[0]

import orvane._orvane as ext  # noqa: E402

HEADER = '''\
# Generated from the extension by python/stubgen.py when it is built.
import datetime
import os
import types
from typing import Any, BinaryIO, Callable, Iterable

__version__: str
'''


def docstring(text: str | None, indent: str) -> str:
    if not text:
        return ""
    body = text.replace("\\", "\\\\").replace('"""', '\\"\\"\\"')
    if body.endswith('"'):
        body = body[:-1] + '\\"'
    return f'{indent}"""{body}"""\n'


def without_signature(name: str, text: str | None) -> str | None:
    """A docstring without the signature line that help() needs."""
    if text and text.startswith(name + "("):
        parts = text.split("\n\n", 1)
        return parts[1] if len(parts) > 1 else None
    return text


def property_lines(name: str, type_: str, doc: str | None, settable: bool) -> list[str]:
    lines = ["    @property\n", f"    def {name}(self) -> {type_}:\n"]
    lines.append(docstring(doc, "        ") or "        ...\n")
    if settable:
        lines += [f"    @{name}.setter\n", f"    def {name}(self, value: {type_}) -> None: ...\n"]
    return lines


def method_lines(name: str, params: str, doc: str | None) -> list[str]:
    body = docstring(without_signature(name, doc), "        ")
    return [f"    def {name}{params}:\n", body or "        ...\n"]


def generate() -> str:
    types_ = ext._stub_types()
    own: dict[str, str] = types_["own"]
    out = [HEADER, "\n"]

    out.append("class Error(RuntimeError):\n")
    out.append(docstring(ext.Error.__doc__, "    "))
    out += ["    hresult: int\n", "    description: str | None\n", "    source: str | None\n", "\n"]

    out.append(f"def members{own['members']}:\n")
    out.append(docstring(without_signature("members", ext.members.__doc__), "    ") or "    ...\n")
    out.append("\n")

    # Columns are NumPy arrays; typed Any so the stub needs no numpy.
    out.append("class Log(types.SimpleNamespace):\n")
    out.append(docstring(ext.Log.__doc__, "    "))
    out += [f"    {table}: dict[str, Any]\n" for table in ("epochs", "satellites", "waypoints", "routes")]
    out += ["    counts: dict[str, int]\n", "\n"]
    out.append(f"def read{own['read']}:\n")
    out.append(docstring(without_signature("read", ext.read.__doc__), "    ") or "    ...\n")
    out.append("\n")

    for name, fields in types_["snapshots"]:
        cls = getattr(ext, name)
        out.append(f"class {name}(types.SimpleNamespace):\n")
        out.append(docstring(cls.__doc__, "    "))
        out += [f"    {field}: {type_}\n" for field, type_ in fields]
        out.append("\n")

    control = ext.Control
    out.append("class Control:\n")
    out.append(docstring(control.__doc__, "    "))
    written = set()
    members = {name: (kind, type_) for name, kind, type_ in types_["members"]}
    for name, value in vars(control).items():
        if name.startswith("_") and name not in ("__init__", "__enter__", "__exit__"):
            continue
        doc = getattr(value, "__doc__", None)
        if name in members:
            kind, type_ = members[name]
            if kind == "method":
                out += method_lines(name, type_, doc)
            else:
                out += property_lines(name, type_, doc, kind == "property")
        elif f"Control.{name}" in own:
            type_ = own[f"Control.{name}"]
            if type_.startswith("("):
                out += method_lines(name, type_, doc)
            else:
                out += property_lines(name, type_, doc, False)
        elif isinstance(value, property):
            out += property_lines(name, "Any", doc, value.fset is not None)
        else:
            out += method_lines(name, "(self, *args: Any, **kwargs: Any) -> Any", doc)
        written.add(name)

    extra = [n for n in vars(ext) if not n.startswith("_") and n not in written
             and n not in ("Control", "Error", "members", "Log", "read") and n not in dict(types_["snapshots"])]
    if extra:
        out.append("\n")
        out += [f"{name}: Any\n" for name in sorted(extra)]
    return "".join(out)


def main(argv: list[str]) -> int:
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    text = generate()
    with open(argv[1], "w", encoding="utf-8") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
