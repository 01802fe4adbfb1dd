#!/usr/bin/env python3
"""Update records on a real PostgreSQL 15 server (pg_server.py): updates and a line of
machines against tq8sim send their records; pushes, crashes and a server that goes away
lose nothing and store nothing twice; `log --server` answers as the file does.

Usage: record_server_e2e.py TQ8FLASH TQ8SIM SAMPLE_DIR [unittest arguments]"""
import json
import os
import signal
import socket
import subprocess
import sys
import time
import unittest

import harness
import pg_server
import update_e2e

SERVER = None


def setUpModule():
    global SERVER
    reason = pg_server.missing()
    if reason:
        raise unittest.SkipTest(reason)
    SERVER = pg_server.PgServer()


def tearDownModule():
    if SERVER:
        SERVER.remove()


def record(i, **fields):
    """A record as tq8flash writes one (sorted keys, no spaces), the i-th hour of May 2024."""
    r = {"schema": 1, "time": f"2024-05-{1 + i // 24 % 28:02d}T{i % 24:02d}:00:00Z", "seconds": 1.5,
         "host": "st1", "user": "op", "program": {"name": "tq8flash", "version": "1.2.0"},
         "port": "COM3", "device": None, "serial_number": 4711, "machine_version_before": "1.02.3",
         "file_version": "1.03.7", "images": [], "checksums": [], "outcome": "completed",
         "failure": None, "update_count": i, "exit_code": 0, "id": f"00000000-0000-4000-8000-{i:012d}"}
    r.update(fields)
    return json.dumps({k: v for k, v in r.items() if v != "-"}, sort_keys=True,
                      separators=(",", ":"))


class RecordServer(unittest.TestCase):
    def setUp(self):
        self.space = harness.Workspace(update_e2e.TQ8FLASH, update_e2e.TQ8SIM, update_e2e.SAMPLE)
        self.db = self.id().rsplit(".", 1)[1][5:40]
        self.url = SERVER.database(self.db)
        self.env = SERVER.env(self.space.env)
        self.machines = []

    def tearDown(self):
        for machine in self.machines:
            machine.stop()
        self.space.remove()

    def tq8flash(self, *args, env=None, wait=True):
        process = subprocess.Popen([self.space.tq8flash, *args], stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, text=True, env=env or self.env,
                                   stdin=subprocess.DEVNULL, cwd=self.space.root)
        if not wait:
            return process
        out, err = process.communicate(timeout=harness.RUN_TIMEOUT)
        return process.returncode, out, err

    def rows(self, sql="SELECT id FROM update_records ORDER BY id"):
        return SERVER.psql(self.db, sql)

    def station(self, name, ports, serial=4711):
        """A settings file with the record server, one machine per COMn; its record file."""
        config = os.path.join(self.space.root, name)
        os.makedirs(os.path.join(config, "Ostrelwerk"))
        journal = os.path.join(config, "updates.jsonl")
        lines = ["[SOFTWARE\\Ostrelwerk\\TQ8Flash]", f"Interface=dword:{ports[0]:08x}",
                 f"RecordServer=sz:{self.url}", f"RecordFile=sz:{journal}", "[Ports]"]
        for port in ports:
            machine = harness.Machine(self.space.tq8sim, os.path.join(config, f"state{port}"),
                                      os.path.join(config, f"transcript{port}"),
                                      "--var", f"2398={serial + port - ports[0]}")
            self.machines.append(machine)
            lines.append(f"COM{port}={machine.path}")
        with open(os.path.join(config, "Ostrelwerk", "TQ8Flash.ini"), "w") as f:
            f.write("\n".join(lines) + "\n")
        return dict(self.env, XDG_CONFIG_HOME=config), journal

    def update(self, env, *args):
        return self.tq8flash("update", "--yes", "--dir",
                             self.space.bundle(records=update_e2e.SHORT), *args, env=env)

    def journal_ids(self, *journals):
        return sorted(json.loads(line)["id"] for line in self.lines(*journals))

    def lines(self, *paths):
        text = ""
        for path in paths:
            with open(path) as f:
                text += f.read()
        return text.splitlines()

    def push(self, path, *args):
        return self.tq8flash("log", "--server", self.url, "--push", path, *args)

    def write(self, path, lines):
        with open(path, "a") as f:
            f.write("".join(line + "\n" for line in lines))
        return path

    def slow_inserts(self, seconds):
        SERVER.psql(self.db, "CREATE FUNCTION nap() RETURNS trigger LANGUAGE plpgsql AS "
                    f"$$BEGIN PERFORM pg_sleep({seconds}); RETURN NULL; END$$; "
                    "CREATE TRIGGER nap AFTER INSERT ON update_records EXECUTE FUNCTION nap()")

    def until(self, condition, what):
        deadline = time.monotonic() + 30
        while not condition():
            self.assertLess(time.monotonic(), deadline, what)
            time.sleep(0.02)

    def test_three_stations_end_up_in_one_history(self):
        journals = []
        for name in ("st1", "st2", "st3"):
            env, journal = self.station(name, [3])
            code, _, err = self.update(env)
            self.assertEqual((code, err), (0, ""))
            journals.append(journal)
        self.assertEqual([r[0] for r in self.rows()], self.journal_ids(*journals))
        self.assertEqual(self.rows("SELECT DISTINCT serial_number, outcome, exit_code, "
                                   "record->>'file_version' FROM update_records"),
                         [["4711", "completed", "0", "1.03.7"]])
        code, out, _ = self.tq8flash("log", "--server", self.url, "--serial", "4711", "--json")
        self.assertEqual(code, 0)
        self.assertEqual(sorted(out.splitlines()),
                         sorted(self.lines(*journals)))

    def test_server_away_during_an_update_keeps_the_record_for_the_next_run(self):
        env, journal = self.station("st", [3])
        SERVER.stop()
        try:
            code, _, err = self.update(env)
        finally:
            SERVER.start()
        self.assertEqual(code, 0)
        self.assertRegex(err, r"^tq8flash: the record server did not take the record \(cannot "
                              r"reach the record server: .*\); it waits in the outbox of .*\n$")
        self.assertEqual(self.rows(), [])
        self.assertEqual(self.update(env)[0], 0)
        self.assertEqual([r[0] for r in self.rows()], self.journal_ids(journal))
        self.assertEqual(len(self.rows()), 2)

    def test_a_connection_the_server_dropped_during_the_update_is_made_again(self):
        env, journal = self.station("st", [3])
        terminal, answers = os.openpty()  # the update waits at its question meanwhile
        process = subprocess.Popen([self.space.tq8flash, "update", "--dir",
                                    self.space.bundle(records=update_e2e.SHORT)], env=env,
                                   stdin=answers, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                   cwd=self.space.root)
        os.close(answers)
        asked = b""
        for question in (1, 2):
            while asked.count(b"[y/n]") < question:
                asked += os.read(process.stdout.fileno(), 4096) or self.fail(asked)
            if question == 1:
                self.until(lambda: self.rows("SELECT count(*) FROM pg_stat_activity WHERE "
                                             "application_name = 'tq8flash'") == [["1"]],
                           "no connection opened early")
                SERVER.stop()
                SERVER.start()
            os.write(terminal, b"y\n")
        _, err = process.communicate(timeout=harness.RUN_TIMEOUT)
        os.close(terminal)
        self.assertEqual((process.returncode, err), (0, b""))
        self.assertEqual([r[0] for r in self.rows()], self.journal_ids(journal))

    def test_a_sender_killed_anywhere_loses_nothing_and_doubles_nothing(self):
        journal = self.write(os.path.join(self.space.root, "j.jsonl"), [record(i) for i in range(3)])
        outbox = ["log", "--server", self.url, "--record", journal, "--push"]
        self.slow_inserts(30)
        sender = self.tq8flash(*outbox, wait=False)  # killed inside its transaction
        self.until(lambda: SERVER.psql(self.db, "SELECT count(*) FROM pg_stat_activity "
                                                "WHERE wait_event = 'PgSleep'") == [["1"]], "no send")
        sender.kill()
        sender.communicate()
        SERVER.psql(self.db, "SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                             "WHERE wait_event = 'PgSleep'; DROP TRIGGER nap ON update_records")
        self.assertEqual(self.rows(), [])
        self.assertFalse(os.path.exists(journal + ".sent"))
        self.assertEqual(self.tq8flash(*outbox)[1], f"tq8flash log: {journal}: 3 new, 0 already "
                                                    "there, 0 broken\n")
        # Killed after the commit, before the mark moved: the old mark stays.
        os.remove(journal + ".sent")
        self.write(journal, [record(3)])
        self.assertIn(": 1 new, 3 already there", self.tq8flash(*outbox)[1])
        self.assertIn(": 0 new, 0 already there", self.tq8flash(*outbox)[1])
        self.assertEqual(len(self.rows()), 4)

    def test_push_stopped_by_the_server_then_pushed_again_keeps_each_record_once(self):
        lines = [record(i, id="-") if i % 2 else record(i) for i in range(1000)]  # old and new
        path = self.write(os.path.join(self.space.root, "laptop.jsonl"), lines + ["{broken"])
        self.slow_inserts(2)
        pusher = self.tq8flash("log", "--server", self.url, "--push", path, wait=False)
        self.until(lambda: self.rows("SELECT count(*) FROM update_records") == [["500"]],
                   "the first transaction did not arrive")
        SERVER.stop()
        SERVER.start()
        out, err = pusher.communicate(timeout=60)
        self.assertEqual(pusher.returncode, 1, out + err)
        self.assertIn("stopped after 500 records", err)
        SERVER.psql(self.db, "DROP TRIGGER nap ON update_records")
        for new, present in ((500, 500), (0, 1000)):
            code, out, _ = self.push(path)
            self.assertEqual((code, out), (0, f"tq8flash log: {path}: {new} new, {present} "
                                              "already there, 1 broken\n"))
        rows = self.rows("SELECT record::text FROM update_records")
        self.assertEqual(sorted(json.dumps(json.loads(r[0]), sort_keys=True,
                                           separators=(",", ":")) for r in rows), sorted(lines))

    def test_log_server_answers_as_the_file_with_every_filter(self):
        lines = [record(i, host=f"st{i % 3}", serial_number=[4711, 64302, 12][i % 4 % 3],
                        outcome=["completed", "declined", "download_failed"][i % 5 % 3])
                 for i in range(60)]
        path = self.write(os.path.join(self.space.root, "all.jsonl"), lines)
        self.assertEqual(self.push(path)[0], 0)
        for filters in ([], ["--serial", "4711"], ["--serial", "-1234"], ["-n", "3"], ["-n", "0"],
                        ["--json"], ["--since", "2024-05-02"], ["--since", "2024-05-02T05:00:00Z"],
                        ["--outcome", "declined"], ["--host", "st2"], ["--since", "2024-05-31"],
                        ["--serial", "12", "--host", "st1", "--outcome", "completed", "--json",
                         "-n", "2", "--since", "2024-05-02"], ["--since", "2024-02-30"]):
            from_file = self.tq8flash("log", "--record", path, *filters)
            self.assertEqual(self.tq8flash("log", "--server", self.url, *filters), from_file,
                             filters)
            self.assertEqual(from_file[0], 2 if "2024-02-30" in filters else 0)

    def test_a_line_of_three_machines_sends_its_records_in_one_transaction(self):
        env, journal = self.station("line", [3, 4, 5])
        code, _, err = self.tq8flash("update", "--all-ports", "--yes", "--dir",
                                     self.space.bundle(records=update_e2e.SHORT), env=env)
        self.assertEqual(code, 0, err)
        self.assertEqual([r[0] for r in self.rows()], self.journal_ids(journal))
        self.assertEqual(self.rows("SELECT count(*), count(DISTINCT xmin::text), "
                                   "string_agg(serial_number::text, ' ' ORDER BY serial_number) "
                                   "FROM update_records"), [["3", "1", "4711 4712 4713"]])

    def test_wrong_password_and_missing_table_are_told_plainly(self):
        SERVER.write_pgpass("wrong")
        try:
            code, _, err = self.tq8flash("log", "--server", self.url)
        finally:
            SERVER.write_pgpass(pg_server.PASSWORD)
        self.assertEqual(code, 1)
        self.assertRegex(err, r"refused the login: .*password authentication failed.*\.pgpass")
        bare = SERVER.database(self.db + "_bare", table=False)
        code, _, err = self.tq8flash("log", "--server", bare)
        self.assertEqual((code, err), (1, "tq8flash log: the record server's database has no "
                                          "table update_records: create it with tq8flash log "
                                          "--server URL --init-server\n"))
        code, _, err = self.tq8flash("log", "--server", bare.replace("tq8@", "tq8:pw@"))
        self.assertEqual(code, 2)
        self.assertIn("~/.pgpass", err)
        for _ in range(2):
            self.assertEqual(self.tq8flash("log", "--server", bare, "--init-server")[0], 0)
        schema = "SELECT indexdef FROM pg_indexes WHERE tablename = 'update_records' ORDER BY 1"
        self.assertEqual(SERVER.psql(self.db + "_bare", schema), SERVER.psql(self.db, schema))
        # A server that takes the connection and never answers: told with the time waited.
        with socket.create_server(("127.0.0.1", 0)) as silent:
            port = silent.getsockname()[1]
            code, _, err = self.tq8flash("log", "--server", f"postgresql://tq8@127.0.0.1:{port}/x")
        self.assertEqual((code, err), (1, "tq8flash log: the record server gave no answer within "
                                          "10000 ms\n"))


def main():
    if len(sys.argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    update_e2e.TQ8FLASH, update_e2e.TQ8SIM, update_e2e.SAMPLE = (
        os.path.abspath(arg) for arg in sys.argv[1:4])
    program = unittest.main(argv=[sys.argv[0], "-v", *sys.argv[4:]], exit=False)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
