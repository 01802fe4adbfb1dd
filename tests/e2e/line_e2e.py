#!/usr/bin/env python3
"""`tq8flash update` with several ports: four simulated machines at once, each on its own
pty with its own state, transcript and serial number.

Usage: line_e2e.py TQ8FLASH TQ8SIM SAMPLE_DIR [unittest arguments]"""
import json
import os
import signal
import subprocess
import sys
import time
import unittest

import harness
import update_e2e
from update_e2e import SHORT, download_phase, tail

PORTS = (3, 4, 5, 6)


class Line(unittest.TestCase):
    def setUp(self):
        self.space = harness.Workspace(update_e2e.TQ8FLASH, update_e2e.TQ8SIM, update_e2e.SAMPLE)
        self.machines = {}
        self.record = os.path.join(self.space.root, "records.jsonl")

    def tearDown(self):
        for machine in self.machines.values():
            if machine.process.returncode is None:
                machine.stop()
        if not os.environ.get("TQ8_E2E_KEEP"):
            self.space.remove()

    def start(self, options=None, serials=None, pace=False):
        """One machine per COMn of PORTS, bound in the settings' [Ports] section."""
        options, serials = options or {}, serials or {}
        for port in PORTS:
            extra = (["--pace"] if pace else []) + options.get(port, [])
            self.machines[port] = harness.Machine(
                self.space.tq8sim, os.path.join(self.space.root, f"state-{port}"),
                os.path.join(self.space.root, f"transcript-{port}"),
                "--var", f"2398={serials.get(port, 1000 + port)}", *extra)
        with open(self.space.settings_path(), "w") as f:
            f.write("[Ports]\n" + "".join(f"COM{port}={self.machines[port].path}\n"
                                          for port in PORTS))

    def launch(self, folder, *options, command=("update", "--all-ports", "--yes"),
               stdin=subprocess.DEVNULL):
        return subprocess.Popen(
            [self.space.tq8flash, *command, "--dir", folder, "--record", self.record,
             *options], stdin=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            text=True, env=self.space.env, cwd=self.space.root)

    def finish(self, process):
        try:
            stdout, stderr = process.communicate(timeout=harness.RUN_TIMEOUT)
        except subprocess.TimeoutExpired:
            process.kill()
            stdout, stderr = process.communicate()
        for machine in self.machines.values():
            machine.stop()
        self.stdout = stdout
        return process.returncode, stdout + stderr

    def until_all_download(self):
        deadline = time.monotonic() + 60
        while not all(any(line.startswith("BLOCK 20 ") for line in m.transcript_lines())
                      for m in self.machines.values()):
            self.assertLess(time.monotonic(), deadline, "not every machine downloads")
            time.sleep(0.05)

    @staticmethod
    def child_of(process, port):
        with open(f"/proc/{process.pid}/task/{process.pid}/children") as f:
            for pid in map(int, f.read().split()):
                with open(f"/proc/{pid}/cmdline", "rb") as cmdline:
                    if f"\0--port\0{port}\0".encode() in cmdline.read():
                        return pid
        raise AssertionError(f"no child for {port}")

    def state(self, port):
        return harness.read_state(os.path.join(self.space.root, f"state-{port}"))

    def records(self):
        with open(self.record) as f:
            return {r["port"]: r for r in map(json.loads, f)}

    def test_a_refused_block_fails_its_machine_alone(self):
        folder = self.space.bundle(records=SHORT)
        self.start({5: ["--block-noack", "7"]})
        code, output = self.finish(self.launch(folder))
        self.assertEqual(code, 6, output)
        self.assertRegex(output, r"Not completed: COM5\n")
        failed = harness.expected_download(folder, harness.PROG)[:9]
        failed[-1] = failed[-1].replace("-> ACK", "-> NOACK")
        for port in PORTS:
            ok = port != 5
            self.assertEqual(self.machines[port].transcript_lines(),
                             download_phase(folder, 2, 0, succeeded=ok,
                                            **({} if ok else dict(program=failed, text=[],
                                                                  checksums=False))), port)
            self.assertEqual(self.state(port)[1], 2 if ok else 1)
        records = self.records()
        self.assertEqual({port: r["outcome"] for port, r in records.items()},
                         {"COM3": "completed", "COM4": "completed",
                          "COM5": "download_failed", "COM6": "completed"})
        self.assertEqual(records["COM5"]["serial_number"], 1005)

    def test_same_serial_number_on_two_ports_is_refused_before_anything_is_written(self):
        self.start(serials={4: 4711, 6: 4711})
        code, output = self.finish(self.launch(self.space.bundle(records=SHORT)))
        self.assertEqual(code, 7, output)
        self.assertIn("serial number 4711 answers on COM4 and COM6", output)
        self.assertEqual({(r["outcome"], r["failure"]["text"], r["exit_code"])
                          for r in self.records().values()},
                         {("refused", "serial number 4711 answers on COM4 and COM6", 7)})
        for port in PORTS:
            lines = self.machines[port].transcript_lines()
            self.assertFalse([l for l in lines if l.startswith(("CMD 5", "CMD 6", "RATE", "DL"))],
                             port)
            variables, state = self.state(port)
            self.assertEqual([variables[v] for v in (60, 61, 62)], [0xFFFF] * 3, port)
            self.assertEqual(state, 2, port)

    def test_ctrl_c_stops_every_machine_at_9600_in_state_1_with_its_record(self):
        self.stopped_by(signal.SIGINT)

    def test_sigterm_stops_every_machine_as_ctrl_c_does(self):
        self.stopped_by(signal.SIGTERM)

    def stopped_by(self, signal_number):
        self.start(pace=True)
        process = self.launch(self.space.bundle(records=4 * SHORT))
        self.until_all_download()
        process.send_signal(signal_number)
        code, output = self.finish(process)
        self.assertEqual(code, 130, output)
        self.assertMachinesStopped()

    def assertMachinesStopped(self):
        for port in PORTS:
            self.assertEqual(self.machines[port].transcript_lines()[-6:], tail(0, 1), port)
            self.assertEqual(self.state(port)[1], 1)
        self.assertEqual({r["outcome"] for r in self.records().values()}, {"interrupted"})
        self.assertEqual(len(self.records()), 4)

    def test_children_whose_parent_went_stop_and_keep_their_records(self):
        self.start(pace=True)
        process = self.launch(self.space.bundle(records=4 * SHORT))
        self.until_all_download()
        children = [self.child_of(process, f"COM{port}") for port in PORTS]
        process.kill()
        process.wait()
        deadline = time.monotonic() + 60
        while any(harness.running(pid) for pid in children):
            self.assertLess(time.monotonic(), deadline, "a child goes on without its parent")
            time.sleep(0.05)
        self.assertMachinesStopped()

    def test_a_child_writes_only_protocol_lines_on_stdout(self):
        self.start()
        child = self.launch(self.space.bundle(records=SHORT), stdin=subprocess.PIPE,
                            command=("update", "--line-child", "--port", "COM3"))
        child.stdin.write("go\n")
        child.stdin.flush()
        lines = []
        while not lines or "schema" not in lines[-1]:
            lines.append(json.loads(child.stdout.readline() or "null"))
            self.assertIsInstance(lines[-1], dict)
        code, output = self.finish(child)
        self.assertEqual((code, lines[-1]["outcome"]), (0, "completed"), output)
        self.assertIn("Download completed", output)

    def test_device_ports_are_recorded_as_given_alike_on_stdout_and_in_the_file(self):
        self.start()
        ports = [self.machines[port].path for port in (3, 4)]
        process = self.launch(self.space.bundle(records=SHORT), "--json", command=(
            "update", "--yes", "--port", ports[0], "--port", ports[1]))
        code, output = self.finish(process)
        self.assertEqual(code, 0, output)
        printed = {r["port"]: r for r in map(json.loads, self.stdout.splitlines()) if "schema" in r}
        self.assertEqual(printed, self.records())
        self.assertEqual({(p, r["device"]) for p, r in printed.items()}, {(p, p) for p in ports})

    def test_a_killed_child_fails_alone(self):
        self.start(pace=True)
        process = self.launch(self.space.bundle(records=2 * SHORT))
        self.until_all_download()
        os.kill(self.child_of(process, "COM4"), signal.SIGKILL)
        code, output = self.finish(process)
        self.assertEqual(code, 6, output)
        self.assertRegex(output, r"COM4 +1004 +ended by signal 9")
        self.assertRegex(output, r"Not completed: COM4\n")
        records = self.records()
        self.assertEqual({port: r["outcome"] for port, r in records.items()},
                         {"COM3": "completed", "COM4": "download_failed",
                          "COM5": "completed", "COM6": "completed"})
        self.assertEqual((records["COM4"]["serial_number"], records["COM4"]["failure"]["text"]),
                         (1004, "the update's process ended by signal 9 (SIGKILL)"))


def main():
    if len(sys.argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    update_e2e.TQ8FLASH, update_e2e.TQ8SIM, update_e2e.SAMPLE = map(os.path.abspath,
                                                                    sys.argv[1:4])
    program = unittest.main(argv=[sys.argv[0], "-v", *sys.argv[4:]], exit=False)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
