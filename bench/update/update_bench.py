#!/usr/bin/env python3
"""A whole `tq8flash update` of a bundle against the paced tq8sim program, timed from the
program's start to its exit, against its lower bound: the wire time of every byte of the
exchange both ways at the rate in force, 500 ms per rate switch and per application state
set (the host's pause after each), and the machine's erase and programming time.

Usage: update_bench.py TQ8FLASH TQ8SIM BUNDLE [--runs N]"""
import argparse
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "tests", "e2e"))
import harness  # noqa: E402

GOAL = 1.03
PAUSE_S = 0.5
# The simulator's defaults, which this benchmark does not change.
ERASE_MS_PER_KIB = 1
PROGRAM_US_PER_BLOCK = 100

# Bytes on the line for each transcript line: the frame (3) and its ACK, then the
# command's own exchange.
FRAME = 3 + 1
LINE_BYTES = {
    "CMD 4 ": FRAME + 2 + 4,   # id; kennung and value
    "CMD 5 ": FRAME + 4 + 1,   # id and value; ACK
    "CMD 6 ": FRAME + 6 + 1,   # state and guard; answer
    "CMD 8 ": FRAME + 1,       # state byte
    "RATE ": FRAME + 4 + 1,    # rate; ACK at the old rate
    "DL start=": FRAME + 12 + 1,
    "BLOCK ": 32 + 1,
    "TRAILER ": 5 + 1,
    "CHECKSUM ": FRAME + 2 + 16,
}


def lower_bound(lines):
    """(seconds, parts) for the exchange in the transcript lines."""
    rate = 9600
    parts = {"wire": 0.0, "pauses": 0.0, "erase": 0.0, "programming": 0.0}
    for line in lines:
        prefix = next((p for p in LINE_BYTES if line.startswith(p)), None)
        if prefix is None:
            raise ValueError(f"no byte count for transcript line {line!r}")
        parts["wire"] += LINE_BYTES[prefix] * 10.0 / rate
        if prefix == "RATE " and line.endswith("-> ACK"):
            rate = int(line.split()[1])
            parts["pauses"] += PAUSE_S
        elif prefix == "CMD 6 ":
            parts["pauses"] += PAUSE_S
        elif prefix == "DL start=":
            fields = dict(f.split("=") for f in line.split()[1:3])
            size = int(fields["end"], 16) - int(fields["start"], 16) + 1
            parts["erase"] += (size + 1023) // 1024 * ERASE_MS_PER_KIB / 1000.0
        elif prefix == "BLOCK ":
            parts["programming"] += PROGRAM_US_PER_BLOCK / 1e6
    return sum(parts.values()), parts


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("tq8flash")
    parser.add_argument("tq8sim")
    parser.add_argument("bundle")
    parser.add_argument("--runs", type=int, default=1)
    args = parser.parse_args()

    space = harness.Workspace(os.path.abspath(args.tq8flash), os.path.abspath(args.tq8sim),
                              os.path.abspath(args.bundle))
    worst = 0.0
    try:
        folder = space.bundle()
        for run_index in range(args.runs):
            machine = space.machine("--pace")
            space.write_settings(3, machine.path)
            run = space.update(None, folder, "--yes", timeout=600)
            machine.stop()
            lines = machine.transcript_lines()
            if run.code != 0 or not any(line.startswith("CHECKSUM area=2") for line in lines):
                print(f"update failed: {run}", file=sys.stderr)
                return 1
            bound, parts = lower_bound(lines)
            ratio = run.seconds / bound
            worst = max(worst, ratio)
            blocks = sum(1 for line in lines if line.startswith("BLOCK "))
            print(f"run {run_index + 1}: {blocks} blocks, measured {run.seconds:.3f} s, "
                  f"bound {bound:.3f} s (wire {parts['wire']:.3f}, pauses "
                  f"{parts['pauses']:.1f}, erase {parts['erase']:.3f}, programming "
                  f"{parts['programming']:.3f}), ratio {ratio:.4f}, over by "
                  f"{run.seconds - bound:.3f} s")
    finally:
        space.remove()
    print(f"update_per_bound {worst:.4f} (goal <= {GOAL})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
