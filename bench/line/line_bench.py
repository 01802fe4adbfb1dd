#!/usr/bin/env python3
"""`tq8flash update` of N paced simulated machines at once (one tq8sim each, on ptys)
against a single paced update of the same bundle in the same run, for each N.

Reports the wall-time ratio (goal <= 1.03 at N = 8) and the host's CPU time per machine
update as a share of one core (goal < 3 %): the tq8flash parent and its children only,
from wait4 of the parent, which has waited for every child. The simulators' CPU time is
shown beside it (from /proc), to tell whether they could keep their pace.

Usage: line_bench.py TQ8FLASH TQ8SIM BUNDLE [--counts 1,2,4,8] [--records N]"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "tests", "e2e"))
import harness  # noqa: E402

GOAL_RATIO = 1.03
GOAL_CPU = 0.03


def run(space, args):
    """(seconds, host CPU seconds, exit code) of one tq8flash run."""
    begin = time.monotonic()
    process = subprocess.Popen([space.tq8flash, *args], stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                               env=space.env, cwd=space.root)
    _, status, usage = os.wait4(process.pid, 0)
    seconds = time.monotonic() - begin
    process.returncode = os.waitstatus_to_exitcode(status)
    process.stderr.close()
    return seconds, usage.ru_utime + usage.ru_stime, process.returncode


def machines(space, count, tag):
    return [harness.Machine(space.tq8sim, os.path.join(space.root, f"state-{tag}-{i}"),
                            os.path.join(space.root, f"transcript-{tag}-{i}"), "--pace",
                            "--var", f"2398={100 + i}") for i in range(count)]


def cpu_seconds(machine):
    """The simulator's own CPU time so far, from /proc."""
    with open(f"/proc/{machine.process.pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("tq8flash")
    parser.add_argument("tq8sim")
    parser.add_argument("bundle")
    parser.add_argument("--counts", default="1,2,4,8")
    parser.add_argument("--records", type=int, default=384,
                        help="data records of each file (0: the whole bundle)")
    options = parser.parse_args()
    space = harness.Workspace(os.path.abspath(options.tq8flash), os.path.abspath(options.tq8sim),
                              os.path.abspath(options.bundle))
    try:
        folder = space.bundle(records=options.records or None)
        print(f"load average before: {os.getloadavg()}; {os.cpu_count()} cores")
        for count in map(int, options.counts.split(",")):
            single = machines(space, 1, f"single{count}")
            single_s, single_cpu, code = run(space, ["update", "--port", single[0].path,
                                                     "--dir", folder, "--yes", "--record",
                                                     os.path.join(space.root, "r.jsonl")])
            for machine in single:
                machine.stop()
            if code != 0:
                raise SystemExit(f"the single update failed: exit {code}")
            line = machines(space, count, f"line{count}")
            ports = [arg for machine in line for arg in ("--port", machine.path)]
            line_s, line_cpu, code = run(space, ["update", *ports, "--dir", folder, "--yes",
                                                 "--record", os.path.join(space.root, "r.jsonl")])
            sim_cpu = sum(cpu_seconds(machine) for machine in line)
            for machine in line:
                machine.stop()
            if code != 0:
                raise SystemExit(f"the update of {count} machines failed: exit {code}")
            ratio = line_s / single_s
            share = line_cpu / count / line_s
            print(f"N={count}: single {single_s:.3f} s (host CPU {single_cpu:.3f} s), "
                  f"{count} at once {line_s:.3f} s, ratio {ratio:.4f} "
                  f"(goal <= {GOAL_RATIO}); host CPU {line_cpu:.3f} s = "
                  f"{share * 100:.2f} % of a core per machine (goal < {GOAL_CPU * 100:.0f} %); "
                  f"simulators' CPU {sim_cpu:.3f} s; "
                  f"load {os.getloadavg()[0]:.2f}")
        print(f"load average after: {os.getloadavg()}")
    finally:
        space.remove()


if __name__ == "__main__":
    main()
