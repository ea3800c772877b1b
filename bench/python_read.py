"""orvane.read against a pynmea2 loop on one log, in one run.

usage: python3 python_read.py LOG   (orvane importable, e.g. PYTHONPATH=build/default/python)

The pynmea2 loop is what its users write: parse each line, keep each epoch's
time and position (a new time of day starts an epoch). Prints lines per
second of both, wall and processor time, their ratio, and the peak RSS of a
process that only reads the log with orvane.read, beside the size of what it
returned and of the log."""

import os
import subprocess
import sys
import time


def pynmea2_loop(path):
    import pynmea2

    epochs, current = [], None
    with open(path, encoding="ascii", errors="replace") as f:
        for line in f:
            try:
                msg = pynmea2.parse(line.strip(), check=True)
            except pynmea2.ParseError:
                continue
            if not isinstance(msg, (pynmea2.types.RMC, pynmea2.types.GGA, pynmea2.types.GLL)) or msg.timestamp is None:
                continue
            if current is None or current[0] != msg.timestamp:
                current = [msg.timestamp, None, None]
                epochs.append(current)
            if msg.latitude is not None and msg.lat:
                current[1], current[2] = msg.latitude, msg.longitude
    return len(epochs)


def timed(fn, *args):
    wall, cpu = time.perf_counter(), time.process_time()
    result = fn(*args)
    return result, time.perf_counter() - wall, time.process_time() - cpu


# The high-water mark of this process alone (ru_maxrss would carry the
# parent's across fork and exec), in KiB.
PEAK = """
import sys, orvane
def hwm():
    return next(int(l.split()[1]) for l in open("/proc/self/status") if l.startswith("VmHWM"))
orvane.read(b"")
before = hwm()
log = orvane.read(sys.argv[1])
out = sum(c.nbytes for t in (log.epochs, log.satellites) for c in t.values())
print(before, hwm(), out)
"""


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    path = argv[1]
    import orvane

    orvane.read(b"")  # numpy imported before the clock starts
    with open(path, "rb") as f:
        lines = sum(1 for _ in f)
    log, wall, cpu = timed(orvane.read, path)
    assert log.counts["lines"] == lines, (log.counts["lines"], lines)
    epochs = len(log.epochs["time"])
    print(f"{lines} lines, {os.path.getsize(path) / 1e6:.1f} MB, {epochs} epochs ({path})")
    print(f"{'measure':40} {'lines/s wall':>14} {'lines/s cpu':>14}")
    print(f"{'orvane.read':40} {lines / wall:14,.0f} {lines / cpu:14,.0f}")
    try:
        import pynmea2  # noqa: F401
    except ImportError:
        print("pynmea2 missing (scripts/setup installs python3-nmea2): no comparison")
    else:
        n, p_wall, p_cpu = timed(pynmea2_loop, path)
        print(f"{'pynmea2 loop keeping time and position':40} {lines / p_wall:14,.0f} {lines / p_cpu:14,.0f}")
        print(f"ratio orvane.read / pynmea2: {p_wall / wall:.1f}x wall, {p_cpu / cpu:.1f}x cpu "
              f"(epochs {epochs} / {n})")
    before, peak, out = map(int, subprocess.run([sys.executable, "-c", PEAK, path], check=True, text=True,
                                                 capture_output=True).stdout.split())
    print(f"orvane.read peak RSS: {peak / 1024:.1f} MB, {(peak - before) / 1024:.1f} MB above the interpreter with "
          f"numpy; output {out / 1e6:.1f} MB, log {os.path.getsize(path) / 1e6:.1f} MB")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
