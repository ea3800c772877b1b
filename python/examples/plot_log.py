"""Decodes a log with orvane.read and draws its track and satellite SNR.

usage: python3 plot_log.py LOG [OUT.png]   (OUT defaults to track.png)

The figure of docs/python.md is this script's, on data/sample.nmea. Needs
numpy, pandas and matplotlib; `mypy --strict plot_log.py` passes.
"""

from __future__ import annotations

import sys

import matplotlib  # type: ignore[import]

matplotlib.use("Agg")  # a file, no window
import matplotlib.pyplot as plt  # type: ignore[import]  # noqa: E402
import numpy as np  # noqa: E402

import orvane  # noqa: E402


def main(argv: list[str]) -> int:
    if len(argv) not in (2, 3):
        print(__doc__, file=sys.stderr)
        return 2
    out = argv[2] if len(argv) == 3 else "track.png"
    log: orvane.Log = orvane.read(argv[1])
    epochs = log.epochs
    have = ~np.isnan(epochs["lat"])
    print(f"{len(epochs['time'])} epochs, {int(have.sum())} with a position, "
          f"{log.counts['lines']} lines ({log.counts['checksum_dropped']} failed their checksum)")

    frames: orvane.Frames = orvane.read_frame(argv[1])
    sats = frames.satellites
    fig, (track, snr) = plt.subplots(1, 2, figsize=(11, 4.5))
    track.plot(epochs["lon"][have], epochs["lat"][have], lw=1.5)
    track.set_xlabel("longitude (°)")
    track.set_ylabel("latitude (°)")
    track.set_title("Track")
    if have.any():
        track.set_aspect(1 / np.cos(np.radians(np.nanmean(epochs["lat"]))), adjustable="datalim")
    tracked = sats[sats["snr"] >= 0]
    for prn, one in tracked.groupby("prn"):
        snr.plot(one["time"], one["snr"], lw=1, label=f"{prn}")
    snr.set_xlabel("time (UTC)")
    snr.set_ylabel("SNR (dB-Hz)")
    snr.set_title("Signal to noise, per satellite")
    snr.legend(ncol=4, fontsize="x-small")
    fig.autofmt_xdate()
    fig.tight_layout()
    fig.savefig(out, dpi=90)
    print(f"figure: {out}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
