#!/usr/bin/env python3
"""Runs the commands README.md and docs/*.md show, so the docs cannot rot.

How a writer keeps a document runnable (docs/architecture.md says the same):
- Every fenced block names its language. ```sh blocks are run, one command
  a line (a line ending in a backslash goes on). ```python blocks run in
  order, one interpreter a document, sharing their names (they and python3
  commands are skipped, loudly, where the module is not built). ```cpp blocks are
  compiled (syntax only) against include/: lines from the first that is not
  an #include go into main(). Other languages (cmake, vbscript, text, ...)
  are shown, not run.
- A block that cannot run here is preceded by
  <!-- docs-test: not run, REASON -->; the test counts these and prints the
  reasons. A scripts/... command is never run (they install, build or take
  minutes): it must exist, be executable and know every --option it is shown
  with.
- Commands run in a scratch directory with data/, python/, examples/ and
  scripts/ linked from the tree, log.nmea and drive.nmea (the first seconds of
  data/sample.nmea), drive.nmea.gz, trip.nmea.gz and logs/*.nmea.gz, and the
  built orvane and orvane-gen first on PATH.
- Receivers are stand-ins: /dev/ttyUSB0 and /dev/ttyACM0 a pseudo-terminal,
  tcp://..., udp://... and gpsd://... local servers, all fed data/sample.nmea.
  live and watch get --duration 1 (a longer one is cut to 1), run_for(N) in
  Python at most 1 second; watch runs on a pseudo-terminal of 100x32.
- Every command of a pipeline must succeed; one ended by SIGPIPE, as a
  writer into `head` is, counts as succeeding. python3 is the interpreter
  the module was built for.
- A command expected to fail ends with the comment `# exits N`.
- Links between the documents must reach a file, and a heading when they
  name one. README.md stays within 160 lines.

usage: run_doc_commands.py --root SRC --bin DIR [--bin DIR]... [--python PKGDIR]
                           [--cxx COMPILER] [FILE.md ...]
With no files: README.md and docs/*.md under SRC. Exit 0 when everything ran
as shown, 1 otherwise.
"""

import argparse
import fcntl
import glob
import gzip
import json
import os
import pty
import re
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import termios
import threading
import time

FENCE = re.compile(r"^(\s*)```(.*)$")
NOT_RUN = re.compile(r"<!--\s*docs-test:\s*not run,\s*(.+?)\s*-->")
EXITS = re.compile(r"#\s*exits\s+(\d+)\s*$")
RECEIVER_COMMAND = re.compile(r"\borvane\s+(live|watch)\b")
DURATION = re.compile(r"--duration(?:\s+|=)(\S+)")
SHOWN_ONLY = {"cmake", "vbscript", "text", "powershell", "bat", "json", "xml", "csv", "jscript", "csharp", "man"}
COMMAND_TIMEOUT = 30
README_LINES = 160
CAP_SECONDS = 1


class Block:
    def __init__(self, path, line, lang, text, skip):
        self.path, self.line, self.lang, self.text, self.skip = path, line, lang, text, skip

    def where(self):
        return f"{self.path}:{self.line}"


def blocks_of(path, shown_name):
    """The fenced blocks of a Markdown file, with their not-run markers."""
    lines = open(path, encoding="utf-8").read().split("\n")
    out, problems = [], []
    i = 0
    while i < len(lines):
        m = FENCE.match(lines[i])
        if not m:
            i += 1
            continue
        indent, info = m.group(1), m.group(2).strip()
        start = i + 1
        j = start
        while j < len(lines) and not re.match(r"^\s*```\s*$", lines[j]):
            j += 1
        if j == len(lines):
            problems.append(f"{shown_name}:{start}: fence never closed")
            break
        body = "\n".join(l[len(indent):] if l.startswith(indent) else l for l in lines[start:j])
        skip = None
        k = i - 1
        while k >= 0 and not lines[k].strip():
            k -= 1
        if k >= 0:
            mark = NOT_RUN.search(lines[k])
            if mark:
                skip = mark.group(1)
        if not info:
            problems.append(f"{shown_name}:{start}: a fenced block without a language (sh, python, cpp, text, ...)")
        out.append(Block(shown_name, start + 1, info.split()[0] if info else "", body, skip))
        i = j + 1
    return out, problems


def shell_commands(block):
    """(line, command) pairs of a sh block, continuations joined."""
    commands, current, first = [], "", None
    for n, raw in enumerate(block.text.split("\n")):
        if not raw.strip() and not current:
            continue
        if first is None:
            first = block.line + n
        if raw.rstrip().endswith("\\"):
            current += raw.rstrip()[:-1] + " "
            continue
        current += raw
        commands.append((first, current.strip()))
        current, first = "", None
    if current.strip():
        commands.append((first, current.strip()))
    return [(n, c) for n, c in commands if not c.startswith("#")]


def slug(heading):
    """The anchor a heading gets on GitHub."""
    h = re.sub(r"[^\w\- ]", "", heading.strip().lower())
    return h.replace(" ", "-")


def check_links(path, shown_name, report):
    """Links between the documents point at files and headings that exist."""
    text = open(path, encoding="utf-8").read()
    prose = re.sub(r"```.*?```", "", text, flags=re.S)
    for m in re.finditer(r"\]\(([^)\s]+)\)", prose):
        target = m.group(1)
        if re.match(r"[a-z]+:", target):
            continue
        file_part, _, anchor = target.partition("#")
        dest = os.path.normpath(os.path.join(os.path.dirname(path), file_part)) if file_part else path
        line = text[:text.find(m.group(0))].count("\n") + 1
        if not os.path.exists(dest):
            report.fail(f"{shown_name}:{line}", f"link to {target}: no such file")
            continue
        if anchor and dest.endswith(".md"):
            heads = {slug(h) for h in re.findall(r"^#+\s+(.*)$", open(dest, encoding="utf-8").read(), re.M)}
            if anchor not in heads:
                report.fail(f"{shown_name}:{line}", f"link to {target}: no such heading")
        report.links += 1


# ---------------------------------------------------------------- stand-ins


def sample_lines(root):
    with open(os.path.join(root, "data", "sample.nmea"), "rb") as f:
        return f.read().splitlines(keepends=True)


class Feeder:
    """A receiver's stand-ins: a pseudo-terminal and local servers, fed the
    sample at about 20 lines a second, over and over."""

    def __init__(self, lines):
        self.lines = lines
        self.stop = threading.Event()
        self.threads = []
        self.master, slave = pty.openpty()
        self.tty = os.ttyname(slave)
        os.close(slave)  # the device is opened by the command itself
        fl = fcntl.fcntl(self.master, fcntl.F_GETFL)
        fcntl.fcntl(self.master, fcntl.F_SETFL, fl | os.O_NONBLOCK)
        self.tcp = self._listener(self._serve_tcp)
        self.gpsd = self._listener(self._serve_gpsd)
        probe = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        probe.bind(("127.0.0.1", 0))
        self.udp = probe.getsockname()[1]
        probe.close()
        self._start(self._feed_pty)
        self._start(self._feed_udp)

    def _start(self, fn, *args):
        t = threading.Thread(target=fn, args=args, daemon=True)
        t.start()
        self.threads.append(t)

    def _listener(self, serve):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind(("127.0.0.1", 0))
        s.listen(8)
        s.settimeout(0.2)
        self._start(self._accept, s, serve)
        return s.getsockname()[1]

    def _accept(self, s, serve):
        while not self.stop.is_set():
            try:
                conn, _ = s.accept()
            except socket.timeout:
                continue
            self._start(serve, conn)
        s.close()

    def _paced(self, send):
        i = 0
        while not self.stop.is_set():
            try:
                send(b"".join(self.lines[i:i + 2]))
            except BlockingIOError:
                pass  # nobody reads the terminal now
            except OSError:
                return
            i = (i + 2) % len(self.lines)
            time.sleep(0.1)

    def _serve_tcp(self, conn):
        with conn:
            self._paced(conn.sendall)

    def _serve_gpsd(self, conn):
        with conn:
            conn.sendall(b'{"class":"VERSION","release":"3.25","rev":"3.25","proto_major":3,"proto_minor":15}\n')
            self._paced(conn.sendall)

    def _feed_pty(self):
        self._paced(lambda b: os.write(self.master, b))

    def _feed_udp(self):
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self._paced(lambda b: s.sendto(b, ("127.0.0.1", self.udp)))
        s.close()

    def substitute(self, text):
        text = re.sub(r"/dev/tty(USB|ACM)\d+", self.tty, text)
        text = re.sub(r"tcp://[A-Za-z0-9_.\-\[\]:]+:\d+", f"tcp://127.0.0.1:{self.tcp}", text)
        text = re.sub(r"udp://[A-Za-z0-9_.\-\[\]]*:\d+", f"udp://127.0.0.1:{self.udp}", text)
        text = re.sub(r"gpsd://[A-Za-z0-9_.\-]+(:\d+)?", f"gpsd://127.0.0.1:{self.gpsd}", text)
        return text

    def close(self):
        self.stop.set()
        for t in self.threads:
            t.join(timeout=2)
        os.close(self.master)


# ---------------------------------------------------------------- running


def make_scratch(root, lines):
    scratch = tempfile.mkdtemp(prefix="orvane-docs-")
    for name in ("data", "python", "examples", "scripts"):
        os.symlink(os.path.join(root, name), os.path.join(scratch, name))
    # The first seconds of the sample: short enough to play in real time.
    rmc = [i for i, l in enumerate(lines) if l[3:6] == b"RMC"]
    short = b"".join(lines[:rmc[4]])
    for name in ("log.nmea", "drive.nmea"):
        with open(os.path.join(scratch, name), "wb") as f:
            f.write(short)
    whole = b"".join(lines)
    for name in ("drive.nmea.gz", "trip.nmea.gz"):
        with gzip.open(os.path.join(scratch, name), "wb") as f:
            f.write(whole)
    os.mkdir(os.path.join(scratch, "logs"))
    for n in (1, 2):
        with gzip.open(os.path.join(scratch, "logs", f"day{n}.nmea.gz"), "wb") as f:
            f.write(short)
    return scratch


def cap_receiver_command(cmd):
    """live and watch end by themselves: --duration 2, or a longer one cut."""
    if not RECEIVER_COMMAND.search(cmd):
        return cmd
    m = DURATION.search(cmd)
    if m:
        try:
            if float(m.group(1)) <= CAP_SECONDS:
                return cmd
        except ValueError:
            return cmd  # shown as written: the command itself must refuse it
        return cmd[:m.start()] + f"--duration {CAP_SECONDS}" + cmd[m.end():]
    # Before any pipe, redirection or comment that follows the command.
    at = RECEIVER_COMMAND.search(cmd).start()
    tail = re.search(r"\s(\||>|2>|&&|;|#)", cmd[at:])
    cut = at + tail.start() if tail else len(cmd)
    return cmd[:cut].rstrip() + f" --duration {CAP_SECONDS}" + cmd[cut:]


def run_on_terminal(cmd, cwd, env):
    """A command that draws a full screen, on a pseudo-terminal of 100x32."""
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 32, 100, 0, 0))
    env = dict(env, TERM="xterm-256color")
    proc = subprocess.Popen(["bash", "-c", cmd], cwd=cwd, env=env, stdin=slave, stdout=slave,
                            stderr=slave, start_new_session=True)
    os.close(slave)
    screen = b""
    deadline = time.monotonic() + COMMAND_TIMEOUT
    while proc.poll() is None and time.monotonic() < deadline:
        r, _, _ = select.select([master], [], [], 0.2)
        if r:
            try:
                screen += os.read(master, 65536)
            except OSError:
                break  # every writer has closed the terminal: the command is ending
    try:
        proc.wait(timeout=max(0.1, deadline - time.monotonic()))
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        proc.wait()
        os.close(master)
        return None, screen
    os.close(master)
    return proc.returncode, screen


# Every command of the pipeline must succeed; a writer ended by SIGPIPE (into
# `head`) has done its part. The newline ends a trailing comment.
PIPELINE_STATUS = """
s=("${PIPESTATUS[@]}"); n=${#s[@]}
for x in "${s[@]:0:n-1}"; do [ "$x" = 0 ] || [ "$x" = 141 ] || exit "$x"; done
exit "${s[n-1]}"
"""


def run_shell(cmd, cwd, env):
    cmd += PIPELINE_STATUS
    if re.search(r"\borvane\s+watch\b", cmd):
        rc, out = run_on_terminal(cmd, cwd, env)
        return rc, out.decode("utf-8", "replace")[-1500:]
    try:
        p = subprocess.run(["bash", "-c", cmd], cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                           capture_output=True, timeout=COMMAND_TIMEOUT, start_new_session=True)
    except subprocess.TimeoutExpired:
        return None, ""
    return p.returncode, (p.stdout[-800:] + p.stderr[-1500:]).decode("utf-8", "replace")


def check_script(root, cmd):
    """scripts/X ...: there, executable, and knows every --option shown."""
    words = cmd.split()
    start = next((i for i, w in enumerate(words) if w.startswith("scripts/")), None)
    if start is None:
        return None
    path = os.path.join(root, words[start])
    if not os.path.isfile(path) or not os.access(path, os.X_OK):
        return f"{words[start]} is not an executable script in the tree"
    text = open(path, encoding="utf-8", errors="replace").read()
    for w in words[start + 1:]:
        if w.startswith("#"):
            break
        if w in ("|", "&&", ";", ">"):
            break
        if w.startswith("--") and w.split("=")[0] not in text:
            return f"{words[start]} knows no option {w.split('=')[0]}"
    return ""


PY_DRIVER = r"""
import json, re, sys, traceback
blocks = json.load(open(sys.argv[1]))
names = {"__name__": "__main__"}
for where, text in blocks:
    text = re.sub(r"run_for\((\d+(?:\.\d+)?)\)", lambda m: "run_for(%g)" % min(float(m.group(1)), 1), text)
    try:
        exec(compile(text, where, "exec"), names)
    except BaseException:
        traceback.print_exc()
        print("FAILED at", where)
        sys.exit(1)
"""


class Report:
    def __init__(self):
        self.ran, self.checked, self.links, self.failed = 0, 0, 0, []
        self.not_run = []
        self.shown = {}

    def fail(self, where, what, detail=""):
        self.failed.append(where)
        print(f"FAIL {where}: {what}")
        if detail.strip():
            print("    " + detail.strip().replace("\n", "\n    "))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--bin", action="append", default=[])
    ap.add_argument("--python", help="the directory holding the built package orvane")
    ap.add_argument("--python-exe", default=sys.executable)
    ap.add_argument("--cxx")
    ap.add_argument("files", nargs="*")
    a = ap.parse_args()
    root = os.path.abspath(a.root)
    files = a.files or [os.path.join(root, "README.md")] + sorted(glob.glob(os.path.join(root, "docs", "*.md")))

    report = Report()
    every = []
    for f in files:
        shown = os.path.relpath(f, root) if os.path.abspath(f).startswith(root + os.sep) else f
        blocks, problems = blocks_of(f, shown)
        check_links(f, shown, report)
        if shown == "README.md":
            n = open(f, encoding="utf-8").read().count("\n")
            if n > README_LINES:
                report.fail(shown, f"{n} lines: a newcomer's page stays near 150; move the rest into docs/")
        for p in problems:
            report.fail(p.split(": ")[0], p.split(": ", 1)[1])
        every += blocks

    lines = sample_lines(root)
    scratch = make_scratch(root, lines)
    feeder = Feeder(lines)
    env = dict(os.environ)
    # python3 is the interpreter the module was built for, not whatever
    # shim comes first on PATH.
    shims = os.path.join(scratch, ".bin")
    os.mkdir(shims)
    os.symlink(a.python_exe, os.path.join(shims, "python3"))
    env["PATH"] = os.pathsep.join([os.path.abspath(b) for b in a.bin] + [shims, env.get("PATH", "")])
    if a.python:
        env["PYTHONPATH"] = os.path.abspath(a.python)
    try:
        python_blocks = {}
        for b in every:
            if b.skip:
                report.not_run.append((b.where(), b.lang, b.skip))
                if b.lang == "sh":  # scripts are still checked
                    for n, cmd in shell_commands(b):
                        problem = check_script(root, cmd)
                        if problem is not None:
                            report.checked += 1
                        if problem:
                            report.fail(f"{b.path}:{n}", problem)
                continue
            if b.lang == "sh":
                for n, cmd in shell_commands(b):
                    where = f"{b.path}:{n}"
                    problem = check_script(root, cmd)
                    if problem is not None:
                        report.checked += 1
                        if problem:
                            report.fail(where, problem)
                        continue
                    if re.match(r"python3\s", cmd) and not a.python:
                        report.not_run.append((where, "sh", "the Python module is not built"))
                        continue
                    m = EXITS.search(cmd)
                    want = int(m.group(1)) if m else 0
                    run = cap_receiver_command(feeder.substitute(cmd))
                    rc, out = run_shell(run, scratch, env)
                    report.ran += 1
                    if rc != want:
                        got = "timed out" if rc is None else f"exit status {rc}"
                        report.fail(where, f"{cmd}\n    ran as: {run}\n    {got}, expected {want}", out)
                    else:
                        print(f"ok   {where}: {cmd}")
            elif b.lang == "python":
                python_blocks.setdefault(b.path, []).append(b)
            elif b.lang == "cpp":
                compile_cpp(b, root, a.cxx, scratch, report)
            else:
                report.shown[b.lang] = report.shown.get(b.lang, 0) + 1
                if b.lang not in SHOWN_ONLY:
                    report.fail(b.where(), f"language {b.lang!r}: use sh, python, cpp or one of {sorted(SHOWN_ONLY)}")
        for path, blocks in python_blocks.items():
            run_python(path, blocks, a, scratch, env, feeder, report)
    finally:
        feeder.close()
        shutil.rmtree(scratch, ignore_errors=True)

    print()
    for where, lang, why in report.not_run:
        print(f"not run {where} ({lang}): {why}")
    shown = ", ".join(f"{n} {l}" for l, n in sorted(report.shown.items()))
    print(f"{report.ran} ran, {report.checked} scripts checked, {report.links} links followed, "
          f"{len(report.not_run)} not run, "
          f"shown only: {shown or 'none'}; {len(report.failed)} failed")
    return 1 if report.failed else 0


def compile_cpp(b, root, cxx, scratch, report):
    if not cxx:
        report.not_run.append((b.where(), "cpp", "no compiler given"))
        return
    head, body, in_body = [], [], False
    for l in b.text.split("\n"):
        if not in_body and (l.startswith("#include") or not l.strip()):
            head.append(l)
        else:
            in_body = True
            body.append(l)
    src = os.path.join(scratch, f"snippet{b.line}.cc")
    with open(src, "w") as f:
        f.write("\n".join(head) + f"\nint main() {{\n#line {b.line + len(head)} \"{b.path}\"\n" + "\n".join(body) +
                "\n}\n")
    p = subprocess.run([cxx, "-std=c++20", "-fsyntax-only", "-I", os.path.join(root, "include"), src],
                       capture_output=True, text=True)
    report.ran += 1
    if p.returncode != 0:
        report.fail(b.where(), "the C++ snippet does not compile", p.stderr[-2000:])
    else:
        print(f"ok   {b.where()}: C++ compiles")


def run_python(path, blocks, a, scratch, env, feeder, report):
    todo = [b for b in blocks]
    if not a.python:
        for b in todo:
            report.not_run.append((b.where(), "python", "the Python module is not built"))
        return
    spec = os.path.join(scratch, "blocks.json")
    with open(spec, "w") as f:
        json.dump([[b.where(), feeder.substitute(b.text)] for b in todo], f)
    driver = os.path.join(scratch, "driver.py")
    with open(driver, "w") as f:
        f.write(PY_DRIVER)
    penv = dict(env, PYTHONPATH=os.path.abspath(a.python), MPLBACKEND="Agg")
    try:
        p = subprocess.run([a.python_exe, driver, spec], cwd=scratch, env=penv, capture_output=True, text=True,
                           timeout=COMMAND_TIMEOUT * 4)
        rc, out = p.returncode, p.stdout[-1500:] + p.stderr[-2500:]
    except subprocess.TimeoutExpired:
        rc, out = None, "timed out"
    report.ran += len(todo)
    if rc != 0:
        report.fail(path, f"its Python blocks ({len(todo)}) did not run through", out)
    else:
        print(f"ok   {path}: {len(todo)} Python blocks")


if __name__ == "__main__":
    sys.exit(main())
