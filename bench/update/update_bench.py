#!/usr/bin/env python3
"""A whole `tq8flash update` of a bundle against the paced tq8sim program, timed from the
program's start to its exit, against its lower bound: the wire time of every byte of the
exchange both ways at the rate in force, 500 ms per rate switch and per application state
set (the host's pause after each), and the machine's erase and programming time.

Usage: update_bench.py TQ8FLASH TQ8SIM BUNDLE [--runs N]"""
import argparse
import os
import sys
import threading
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


def line_costs(lines):
    """The lower bound of each transcript line in seconds. A line is written when its
    exchange ends; the host's pause after a rate switch or a state set is counted to the
    line that follows it, as it falls before that one's exchange."""
    rate = 9600
    costs, pending = [], 0.0
    for line in lines:
        prefix = next((p for p in LINE_BYTES if line.startswith(p)), None)
        if prefix is None:
            raise ValueError(f"no byte count for transcript line {line!r}")
        cost = {"wire": LINE_BYTES[prefix] * 10.0 / rate, "pauses": pending,
                "erase": 0.0, "programming": 0.0}
        pending = 0.0
        if prefix == "RATE " and line.endswith("-> ACK"):
            rate = int(line.split()[1])
            pending = PAUSE_S
        elif prefix == "CMD 6 ":
            pending = PAUSE_S
        elif prefix == "DL start=":
            fields = dict(f.split("=") for f in line.split()[1:3])
            size = int(fields["end"], 16) - int(fields["start"], 16) + 1
            cost["erase"] = (size + 1023) // 1024 * ERASE_MS_PER_KIB / 1000.0
        elif prefix == "BLOCK ":
            cost["programming"] = PROGRAM_US_PER_BLOCK / 1e6
        costs.append(cost)
    return costs


def phases(lines):
    """(name, index of the phase's last line): up to the rate switch, the two downloads,
    and the rest up to the program's exit."""
    trailers = [i for i, line in enumerate(lines) if line.startswith("TRAILER ")]
    switch = next(i for i, line in enumerate(lines) if line.startswith("RATE 38400"))
    return [("connect, overview, 38400", switch), ("program download", trailers[0]),
            ("text download", trailers[1]), ("checksums, 9600, record, exit", len(lines) - 1)]


class TranscriptClock(threading.Thread):
    """Notes when each transcript line appears, by reading the file as it grows."""

    def __init__(self, path):
        super().__init__(daemon=True)
        self.path, self.times, self.done = path, [], threading.Event()

    def run(self):
        while not os.path.exists(self.path) and not self.done.is_set():
            time.sleep(0.001)
        with open(self.path) as f:
            while True:
                line = f.readline()
                if line.endswith("\n"):
                    self.times.append(time.monotonic())
                elif self.done.is_set():
                    return
                else:
                    time.sleep(0.001)


def report(run, begin, lines, times):
    costs = line_costs(lines)
    bound = {key: sum(cost[key] for cost in costs) for key in costs[0]}
    total = sum(bound.values())
    print(f"measured {run.seconds:.3f} s, bound {total:.3f} s (wire {bound['wire']:.3f}, "
          f"pauses {bound['pauses']:.1f}, erase {bound['erase']:.3f}, programming "
          f"{bound['programming']:.3f}), ratio {run.seconds / total:.4f}, over by "
          f"{run.seconds - total:.3f} s")
    previous, since = -1, begin
    for name, last in phases(lines):
        until = times[last] if last < len(lines) - 1 else begin + run.seconds
        part = sum(sum(cost.values()) for cost in costs[previous + 1:last + 1])
        print(f"  {name:32} {until - since:8.3f} s  bound {part:8.3f} s  "
              f"over {until - since - part:7.3f} s")
        previous, since = last, until
    return run.seconds / total


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
            clock = TranscriptClock(machine.transcript)
            clock.start()
            begin = time.monotonic()
            run = space.update(None, folder, "--yes", timeout=600)
            machine.stop()
            clock.done.set()
            clock.join()
            lines = machine.transcript_lines()
            if run.code != 0 or not any(line.startswith("CHECKSUM area=2") for line in lines):
                print(f"update failed: {run}", file=sys.stderr)
                return 1
            blocks = sum(1 for line in lines if line.startswith("BLOCK "))
            print(f"run {run_index + 1}: {blocks} blocks, load average "
                  f"{os.getloadavg()[0]:.2f}")
            worst = max(worst, report(run, begin, lines, clock.times))
    finally:
        space.remove()
    print(f"update_per_bound {worst:.4f} (goal <= {GOAL})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
