#!/usr/bin/env python3
"""A whole paced `tq8flash update` of the sample bundle through ser2net on loopback, with
the README's configuration and with ser2net's defaults, beside the direct update over the
pty, in the same run and against the same bound (bench/update/update_bench.py).

Usage: network_bench.py TQ8FLASH TQ8SIM BUNDLE [--runs N]"""
import argparse
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "update"))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "e2e"))
import harness  # noqa: E402
import network_e2e  # noqa: E402
import update_bench  # noqa: E402

GOAL = 1.05  # README configuration, against the bound


def one_update(space, folder, how):
    """how: "direct", "readme" or "defaults". The ratio to the bound, or None on failure."""
    machine = space.machine("--pace")
    server = None
    if how == "direct":
        space.write_settings(3, machine.path)
    else:
        server = network_e2e.Ser2net(space.root, machine.path, defaults=how == "defaults")
        space.write_settings(3, server.name)
    clock = update_bench.TranscriptClock(machine.transcript)
    clock.start()
    begin = time.monotonic()
    run = space.update(None, folder, "--yes", timeout=600)
    if server is not None:
        server.stop()
    machine.stop()
    clock.done.set()
    clock.join()
    lines = machine.transcript_lines()
    if run.code != 0 or not any(line.startswith("CHECKSUM area=2") for line in lines):
        print(f"update failed: {run}", file=sys.stderr)
        return None
    warned = "chardelay: false" in run.stderr
    print(f"-- {how}{' (warned of late answers)' if warned else ''}")
    return update_bench.report(run, begin, lines, clock.times)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("tq8flash")
    parser.add_argument("tq8sim")
    parser.add_argument("bundle")
    parser.add_argument("--runs", type=int, default=1)
    args = parser.parse_args()
    space = harness.Workspace(os.path.abspath(args.tq8flash), os.path.abspath(args.tq8sim),
                              os.path.abspath(args.bundle))
    worst = {}
    try:
        folder = space.bundle()
        for index in range(args.runs):
            print(f"run {index + 1}: load average {os.getloadavg()[0]:.2f}")
            for how in ("direct", "readme", "defaults"):
                ratio = one_update(space, folder, how)
                if ratio is None:
                    return 1
                worst[how] = max(worst.get(how, 0.0), ratio)
    finally:
        space.remove()
    print(f"direct_per_bound {worst['direct']:.4f} (goal <= {update_bench.GOAL})")
    print(f"ser2net_readme_per_bound {worst['readme']:.4f} (goal <= {GOAL})")
    print(f"ser2net_defaults_per_bound {worst['defaults']:.4f} (no goal: what the warning is for)")
    return 0 if worst["readme"] <= GOAL else 1


if __name__ == "__main__":
    sys.exit(main())
