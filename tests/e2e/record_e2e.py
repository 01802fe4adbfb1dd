#!/usr/bin/env python3
"""The update record of `tq8flash update` against `tq8sim`: one run per outcome class,
each record checked against docs/update-record.schema.json and against what the machine
saw; Ctrl-C; a record file that cannot be written; `tq8flash log`.

Usage: record_e2e.py TQ8FLASH TQ8SIM SAMPLE_DIR SCHEMA [unittest arguments]"""
import json
import os
import signal
import subprocess
import sys
import unittest
import zlib

import jsonschema

import harness
import update_e2e
from harness import PROG, TEXT

SCHEMA = None


class RecordTest(update_e2e.UpdateTest):
    def records(self, path):
        with open(path) as f:
            lines = [json.loads(line) for line in f]
        for record in lines:
            jsonschema.validate(record, SCHEMA)
        return lines

    def record_of(self, *options, folder=None, bundle=None, expect_code=None):
        """One update with its own record file; its one record, schema-checked."""
        folder = folder or self.space.bundle(**(bundle or {"records": update_e2e.SHORT}))
        path = os.path.join(self.space.root, f"records-{self.space.machines}.jsonl")
        machine = self.machine(*options)
        run = self.update(machine, folder, "--record", path)
        self.finish(machine)
        if expect_code is not None:
            self.assertEqual(run.code, expect_code, run)
        records = self.records(path)
        self.assertEqual(len(records), 1, run)
        self.assertEqual(records[0]["exit_code"], run.code)
        return records[0], machine, run, folder


class RecordOutcomes(RecordTest):
    def test_completed_update_records_what_the_machine_saw(self):
        record, machine, run, folder = self.record_of("--var", "2398=4711", expect_code=0)
        self.assertEqual(record["outcome"], "completed")
        self.assertIsNone(record["failure"])
        self.assertEqual(record["serial_number"], 4711)
        self.assertEqual(record["file_version"], "1.03.7")
        self.assertRegex(record["machine_version_before"], r"^\d+\.\d\d\.\d+$")
        for entry, name in zip(record["images"], (PROG, TEXT)):
            start, image = harness.load_image(os.path.join(folder, name))
            self.assertEqual((entry["file"], entry["start"], entry["end"], entry["size"]),
                             (name, start, start + len(image) - 1, len(image)))
            self.assertEqual(entry["crc32"], zlib.crc32(image))
            self.assertEqual(entry["sum"], harness.check_values(image)[1])
        seen = {}
        with open(machine.transcript) as f:
            for line in f:
                if line.startswith("CHECKSUM "):
                    fields = dict(field.split("=") for field in line.split()[1:])
                    seen[int(fields["area"])] = (int(fields["saved"], 16), int(fields["calc"], 16))
        self.assertEqual({c["area"]: (c["saved"], c["calculated"]) for c in record["checksums"]},
                         seen)
        variables, _ = harness.read_state(self.space.state)
        self.assertEqual(record["update_count"], variables[62])
        self.assertEqual(record["port"], f"COM{update_e2e.INTERFACE}")
        self.assertEqual(record["device"], machine.path)

    def test_each_failing_class_is_recorded_with_its_point_of_failure(self):
        no_text = {"records": update_e2e.SHORT}
        cases = [
            # options, outcome, exit code, failure (what, image, block, area)
            (["--kennung", "2398=3"], "no_connection", 4, ("serial_number", None, None, None)),
            (["--block-noack", "10"], "download_failed", 6, ("block", PROG, 10, None)),
            (["--vanish-after", "10"], "download_failed", 6, ("block", PROG, 11, None)),
            (["--checksum-mismatch", "1"], "checksum_failed", 6, ("checksum", None, None, 1)),
        ]
        for options, outcome, code, failure in cases:
            with self.subTest(outcome=outcome, options=options):
                self.fresh()
                record, _, _, _ = self.record_of(*options, expect_code=code, bundle=no_text)
                self.assertEqual(record["outcome"], outcome)
                got = record["failure"]
                self.assertEqual((got["what"], got["image"], got["block"], got["area"]), failure)
        with self.subTest(outcome="file_error"):
            self.fresh()
            folder = self.space.bundle(records=update_e2e.SHORT)
            os.remove(os.path.join(folder, TEXT))
            record, _, _, _ = self.record_of(folder=folder, expect_code=5)
            self.assertEqual((record["outcome"], record["failure"]["what"]),
                             ("file_error", "open_file"))
            self.assertEqual(record["images"], [])

    def test_info_json_asks_what_the_about_text_asks(self):
        # The version's build is asked also when the version's read fails.
        machine = self.machine("--kennung", "0=3")
        run = subprocess.run([self.space.tq8flash, "info", "--json", "--dir",
                              self.space.bundle(records=4)], capture_output=True, text=True,
                             env=self.space.env, timeout=60)
        self.finish(machine)
        self.assertEqual(run.returncode, 0, run)
        self.assertIsNone(json.loads(run.stdout)["machine_version"])
        reads = [line.split()[3] for line in machine.transcript_lines() if "ReadVariable" in line]
        self.assertEqual(reads, ["id=0", "id=2384", "id=2398", "id=62", "id=60", "id=61"])

    def test_declined_at_the_overview_goes_to_the_record_file_setting(self):
        machine = self.machine()
        path = os.path.join(self.space.root, "setting", "records.jsonl")
        with open(self.space.settings_path(), "a") as f:
            f.write(f"[SOFTWARE\\Ostrelwerk\\TQ8Flash]\nRecordFile=sz:{path}\n")
        run = self.space.update_on_terminal(None, self.space.bundle(records=4), ["y", "n"])
        self.finish(machine)
        self.assertEqual(run.code, 3, run)
        (record,) = self.records(path)
        self.assertEqual((record["outcome"], record["update_count"]), ("declined", None))

    def test_unwritable_record_file_is_reported_and_changes_nothing(self):
        folder = self.space.bundle(records=update_e2e.SHORT)
        blocker = os.path.join(self.space.root, "a-file")
        open(blocker, "w").close()
        machine = self.machine()
        run = self.update(machine, folder, "--record", os.path.join(blocker, "records.jsonl"))
        self.finish(machine)
        self.assertEqual(run.code, 0, run)
        self.assertIn("the update record could not be written", run.stderr.splitlines()[-1])
        self.assertEqual(machine.transcript_lines(), update_e2e.download_phase(folder, 2, 0))

    def test_json_progress_ends_with_the_record(self):
        path = os.path.join(self.space.root, "records.jsonl")
        folder = self.space.bundle(records=update_e2e.SHORT)
        # A minor number of three digits (1.200.7), which the schema must take.
        sv = bytes([6, 0, 1, 200, 0, 7])
        with open(os.path.join(folder, PROG), "rb") as f:
            text = f.read().replace(b"SV060001030007EE", b"SV" + (
                sv + bytes([~sum(sv) & 0xFF])).hex().upper().encode())
        with open(os.path.join(folder, PROG), "wb") as f:
            f.write(text)
        machine = self.machine()
        run = self.update(machine, folder, "--json", "--record", path)
        self.finish(machine)
        lines = [json.loads(line) for line in run.stdout.splitlines()]
        self.assertEqual(lines[-1], self.records(path)[0])
        self.assertEqual(lines[-1]["file_version"], "1.200.7")
        events = lines[:-1]
        self.assertTrue(events and all(e["event"] == "progress" for e in events), run)
        self.assertEqual({e["image"] for e in events}, {PROG, TEXT})
        for name in (PROG, TEXT):
            last = [e for e in events if e["image"] == name][-1]
            self.assertEqual(last["done"], last["total"], last)


class RecordInterrupt(RecordTest, update_e2e.Interrupt):
    def test_ctrl_c_in_the_download_still_writes_the_record(self):
        path = os.path.join(self.space.root, "records.jsonl")
        real = self.space.start_update
        self.space.start_update = lambda *args, **kw: real(*args, "--record", path, **kw)
        self.interrupted_once()
        (record,) = self.records(path)
        self.assertEqual((record["outcome"], record["exit_code"]), ("interrupted", 130))
        self.assertEqual(record["failure"]["what"], "stopped")
        self.assertEqual(record["update_count"], 1)

    def test_ctrl_c_at_the_overview_ends_the_update_with_its_record(self):
        path = os.path.join(self.space.root, "records.jsonl")
        machine = self.machine()
        master, slave = os.openpty()
        process = self.space.start_update(None, self.space.bundle(records=update_e2e.SHORT),
                                          "--record", path, stdin=slave)
        os.close(slave)
        output = ""
        # Yes to the first question; Ctrl-C while the overview waits for its answer.
        while output.count("[y/n]") < 2 and process.poll() is None:
            output += os.read(process.stdout.fileno(), 4096).decode(errors="replace")
            if output.count("[y/n]") == 1 and output.endswith("[y/n] "):
                os.write(master, b"y\n")
        process.send_signal(signal.SIGINT)
        code, _ = self.wait(process)
        os.close(master)
        self.finish(machine)
        self.assertEqual(code, 130, output)
        (record,) = self.records(path)
        self.assertEqual((record["outcome"], record["failure"], record["exit_code"]),
                         ("interrupted", None, 130))
        self.assertEqual(machine.transcript_lines(), update_e2e.head(2)[:4])

    # The inherited cases of the interrupt group run in update_e2e.py.
    test_ctrl_c_in_the_download_stops_at_a_block_and_records_the_attempt = None
    test_ctrl_c_in_the_download_returns_the_machine_to_9600 = None
    test_second_ctrl_c_ends_at_once = None


class Log(unittest.TestCase):
    def test_log_lists_records_and_skips_a_broken_line(self):
        space = harness.Workspace(update_e2e.TQ8FLASH, update_e2e.TQ8SIM, update_e2e.SAMPLE)
        self.addCleanup(space.remove)
        path = os.path.join(space.root, "records.jsonl")
        base = {"schema": 1, "machine_version_before": "1.02.5", "file_version": "1.03.7",
                "outcome": "completed"}
        lines = [json.dumps(dict(base, time="2024-01-01T10:00:00Z", serial_number=7)),
                 '{"schema": 1, "time": "2024-01-0',
                 json.dumps(dict(base, time="2024-01-02T10:00:00Z", serial_number=8))]
        with open(path, "w") as f:
            f.write("\n".join(lines) + "\n")

        def log(*options, record=path):
            return subprocess.run([update_e2e.TQ8FLASH, "log", "--record", record, *options],
                                  capture_output=True, text=True, env=space.env, timeout=60)
        table = log()
        self.assertEqual(table.returncode, 0, table.stderr)
        self.assertIn(f"{path}:2:", table.stderr)
        rows = table.stdout.splitlines()[1:]
        self.assertEqual([row.split()[:2] for row in rows],
                         [["2024-01-01T10:00:00Z", "7"], ["2024-01-02T10:00:00Z", "8"]])
        self.assertEqual(log("--json", "--serial", "8").stdout, lines[2] + "\n")
        # A hostile line: an escape sequence, a serial number the About text shows signed.
        with open(path, "a") as f:
            f.write(json.dumps(dict(base, time="\x1b[2J", serial_number=64302)) + "\n")
        table = log("--serial", "-1234")
        self.assertEqual((table.returncode, table.stdout.splitlines()[1].split()[:2]),
                         (0, ["\\x1B[2J", "64302"]), table)
        endless = log(record="/dev/zero")
        self.assertEqual(endless.returncode, 1, endless)
        self.assertIn("/dev/zero is not a regular file", endless.stderr)


def main():
    return update_e2e.run_main(__doc__, with_schema=True)


if __name__ == "__main__":
    sys.exit(main())
