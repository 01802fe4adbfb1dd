#!/usr/bin/env python3
"""The two downloads of a start-up update by TQ8Flash.exe under wine, against the paced
tq8sim program, each timed from its start command's answer to its trailer's answer and
set against the wire time of its blocks and trailer plus the machine's programming time.
scripts/bench-gui.sh prepares the display, the prefix and the program folder.

Usage: gui_download_bench.py ROBOT TQ8SIM COM3-LINK [--runs N] [--cli EXE --cli-dir DIR]
With --cli the same downloads are made by the Windows command line, for comparison."""
import argparse
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "update"))
from update_bench import TranscriptClock, line_costs  # noqa: E402

GOAL = 1.10


def download_spans(lines):
    """(image, index of its start command's line, index of its trailer's line)."""
    starts = [i for i, line in enumerate(lines) if line.startswith("DL start=")]
    trailers = [i for i, line in enumerate(lines) if line.startswith("TRAILER ")]
    if len(starts) != 2 or len(trailers) != 2:
        raise ValueError("the transcript does not hold two whole downloads")
    return [("program", starts[0], trailers[0]), ("texts", starts[1], trailers[1])]


def wait_for_link(path, machine):
    for _ in range(200):
        if os.path.islink(path):
            return
        if machine.poll() is not None:
            break
        time.sleep(0.05)
    raise RuntimeError(f"tq8sim made no link {path}")


def one_run(args, work, index):
    transcript = os.path.join(work, f"run{index}.transcript")
    if os.path.lexists(args.link):
        os.remove(args.link)
    machine = subprocess.Popen(
        [args.tq8sim, "--link", args.link, "--state", os.path.join(work, f"run{index}.state"),
         "--var", "2398=4711", "--transcript", transcript, "--pace"],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        wait_for_link(args.link, machine)
        clock = TranscriptClock(transcript)
        clock.start()
        if args.cli:
            command = ["wine", args.cli, "update", "--port", "COM3", "--dir", args.cli_dir,
                       "--yes"]
        else:
            command = ["wine", args.robot, "update-at-start-up"]
        # Into a file, not a pipe: wine services that the first program of a prefix starts
        # inherit its output and would hold a pipe open long after the program has ended.
        with tempfile.TemporaryFile("w+", errors="replace") as output:
            robot = subprocess.run(command, stdout=output, stderr=subprocess.STDOUT, timeout=600)
            output.seek(0)
            said = output.read()
        clock.done.set()
        clock.join()
    finally:
        machine.terminate()
        machine.wait()
    with open(transcript) as f:
        lines = [line.rstrip("\n") for line in f]
    if robot.returncode != 0:
        raise RuntimeError(f"{command[1]} failed:\n{said}")
    costs = line_costs(lines)
    worst = 0.0
    total_measured = total_bound = 0.0
    for image, start, trailer in download_spans(lines):
        measured = clock.times[trailer] - clock.times[start]
        bound = sum(sum(cost.values()) for cost in costs[start + 1:trailer + 1])
        blocks = trailer - start - 1
        total_measured += measured
        total_bound += bound
        worst = max(worst, measured / bound)
        print(f"  {image:8} {blocks:5} blocks  measured {measured:7.3f} s  bound {bound:7.3f} s"
              f"  ratio {measured / bound:.4f}")
        # Where the time goes: each block's time beside its own bound.
        over = sorted((clock.times[i] - clock.times[i - 1] - sum(costs[i].values())) * 1e3
                      for i in range(start + 2, trailer))
        if over:
            share = sum(1 for ms in over if ms > 5.0) / len(over)
            print(f"           per block over its bound: median {over[len(over) // 2]:.2f} ms,"
                  f" p90 {over[len(over) * 9 // 10]:.2f} ms, max {over[-1]:.1f} ms,"
                  f" {share:.1%} over 5 ms")
    print(f"  both     measured {total_measured:7.3f} s  bound {total_bound:7.3f} s  ratio "
          f"{total_measured / total_bound:.4f}")
    return worst


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("robot")
    parser.add_argument("tq8sim")
    parser.add_argument("link")
    parser.add_argument("--runs", type=int, default=1)
    parser.add_argument("--cli", help="the Windows command line instead, for comparison")
    parser.add_argument("--cli-dir", help="its firmware folder, as wine names it")
    args = parser.parse_args()
    worst = 0.0
    with tempfile.TemporaryDirectory() as work:
        for index in range(args.runs):
            print(f"run {index + 1}: load average {os.getloadavg()[0]:.2f}")
            worst = max(worst, one_run(args, work, index))
    print(f"gui_download_per_wire {worst:.4f} (goal <= {GOAL})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
