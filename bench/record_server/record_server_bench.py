#!/usr/bin/env python3
"""The record server against its goals, on a real PostgreSQL 15 (tests/e2e/pg_server.py,
durable: fsync on) over loopback:

- `tq8flash log --server URL --push FILE` of 100,000 records (goal < 10 s);
- `tq8flash log --server URL --serial N` from 1,000,000 rows, the whole run (goal < 50 ms);
- the send after an update (record_forward_bench), as an update sees it: the connection
  opened while the download runs, then the record appended and sent; server up (goal
  < 20 ms), nothing listening, and a server that takes the connection and never answers
  (goal: within the send's 2 s limit). Beside it, the same send with a connection made at
  the send, for comparison.

Usage: record_server_bench.py TQ8FLASH RECORD_FORWARD_BENCH"""
import json
import os
import socket
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "tests", "e2e"))
import pg_server  # noqa: E402


def record(i):
    return json.dumps({"schema": 1, "id": f"00000000-0000-4000-8000-{i:012d}",
                       "time": f"2024-{1 + i // 40000 % 12:02d}-{1 + i // 1440 % 28:02d}T"
                               f"{i // 60 % 24:02d}:{i % 60:02d}:00Z",
                       "seconds": 61.25, "host": f"station{i % 5}", "user": "operator",
                       "program": {"name": "tq8flash", "version": "1.2.0"}, "port": "COM3",
                       "device": "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0",
                       "serial_number": i % 60000, "machine_version_before": "1.02.3",
                       "file_version": "1.03.7",
                       "images": [{"file": "TQ8-PROG.MOT", "start": 16384, "end": 221183,
                                   "size": 204800, "crc32": 305419896, "sum": 26214400},
                                  {"file": "TQ8-TEXT.MOT", "start": 524288, "end": 573439,
                                   "size": 49152, "crc32": 2271560481, "sum": 6291456}],
                       "checksums": [{"area": a, "start": 0, "end": 1, "saved": 7,
                                      "calculated": 7, "agree": True} for a in range(3)],
                       "outcome": "completed", "failure": None, "update_count": i % 65535,
                       "exit_code": 0}, sort_keys=True, separators=(",", ":"))


def timed(args, env):
    begin = time.monotonic()
    done = subprocess.run(args, env=env, capture_output=True, text=True)
    if done.returncode != 0:
        raise RuntimeError(f"{args}: {done.stderr}")
    return time.monotonic() - begin, done.stdout


def main():
    if len(sys.argv) != 3 or pg_server.missing():
        print(pg_server.missing() or __doc__, file=sys.stderr)
        return 2
    tq8flash, forward = sys.argv[1:]
    server = pg_server.PgServer(durable=True)
    work = tempfile.mkdtemp(prefix="tq8-pg-bench-")
    try:
        env = server.env(dict(os.environ, LC_ALL="C"))
        url = server.database("bench")
        path = os.path.join(work, "year.jsonl")
        with open(path, "w") as f:
            f.writelines(record(i) + "\n" for i in range(100000))
        seconds, out = timed([tq8flash, "log", "--server", url, "--push", path], env)
        print(f"push of 100,000 records ({os.path.getsize(path) / 1e6:.0f} MB): {seconds:.2f} s "
              f"(goal < 10 s): {out.strip()}")

        # Nine more years of the same line, each copy its own record.
        server.psql("bench", "INSERT INTO update_records SELECT c.id, c.time, host, c.serial, "
                    "machine_version_before, file_version, outcome, exit_code, record || "
                    "jsonb_build_object('id', c.id, 'serial_number', c.serial, 'time', "
                    "to_char(c.time AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS\"Z\"')) "
                    "FROM update_records, generate_series(1, 9) AS n, LATERAL (SELECT "
                    "gen_random_uuid() AS id, time + n * interval '1 year' AS time, "
                    "(serial_number + n) % 65536 AS serial) AS c")
        server.psql("bench", "VACUUM ANALYZE update_records")
        rows = server.psql("bench", "SELECT count(*) FROM update_records")[0][0]
        runs = [timed([tq8flash, "log", "--server", url, "--serial", "4711"], env)
                for _ in range(30)]
        times = sorted(ms for ms, _ in runs)
        print(f"log --server --serial 4711 from {rows} rows ({len(runs[0][1].splitlines()) - 1} "
              f"shown): median {statistics.median(times) * 1000:.1f} ms, max "
              f"{times[-1] * 1000:.1f} ms, the whole tq8flash run (goal < 50 ms)")
        start = sorted(timed([tq8flash, "log", "--record", os.path.join(work, "none")], env)[0]
                       for _ in range(30))
        print(f"  of which starting tq8flash (log of a missing file): median "
              f"{statistics.median(start) * 1000:.1f} ms; connection and query in one process: " +
              timed([forward, "--query", url, "4711", "30"], env)[1].strip())
        plan = server.psql("bench", "EXPLAIN (ANALYZE) SELECT record::text FROM (SELECT record, "
                           "time, id FROM update_records WHERE serial_number = 4711 ORDER BY "
                           "time DESC, id DESC LIMIT 20) AS newest ORDER BY time, id")
        print("  the server's own time: " + plan[-1][0].strip())
        psql = sorted(timed([f"{pg_server.BIN}/psql", "-XAtq", url, "-c", "SELECT 1"], env)[0]
                      for _ in range(30))
        print(f"  for comparison, psql connecting and asking SELECT 1: median "
              f"{statistics.median(psql) * 1000:.1f} ms")

        for what, target in (("server up", url),
                             ("nothing listening", f"postgresql://tq8@127.0.0.1:"
                                                   f"{pg_server.free_port()}/bench")):
            print(f"send after an update, {what}:\n  " +
                  timed([forward, target, work, "30"], env)[1].strip().replace("\n", "\n  "))
        with socket.socket() as silent:
            silent.bind(("127.0.0.1", 0))
            silent.listen(8)
            target = f"postgresql://tq8@127.0.0.1:{silent.getsockname()[1]}/bench"
            print("send after an update, a server that never answers:\n  " +
                  timed([forward, target, work, "3"], env)[1].strip().replace("\n", "\n  "))
    finally:
        server.remove()
        subprocess.run(["rm", "-rf", work])
    return 0


if __name__ == "__main__":
    sys.exit(main())
