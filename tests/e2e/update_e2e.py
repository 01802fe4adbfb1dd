#!/usr/bin/env python3
"""`tq8flash update` against the `tq8sim` program on a pty, from the outside: exit code,
the machine's transcript, its variables and application state (state file), and the
settings file.

Usage: update_e2e.py TQ8FLASH TQ8SIM SAMPLE_DIR [unittest arguments, e.g. a class name]"""
import json
import os
import signal
import sys
import time
import unittest

import harness
from harness import PROG, TEXT

TQ8FLASH = TQ8SIM = SAMPLE = None

# A download long enough for faults in its middle, short enough for many runs.
SHORT = 96  # data records of 32 bytes in each file: 96 blocks per download
INTERFACE = 3
NEVER_WRITTEN = 0xFFFF


def head(state_before):
    """From the connection to the rate switch, with the machine in state_before."""
    lines = [
        f"CMD 8 GetApplicationActive -> state={state_before}",
        "CMD 4 ReadVariable id=2398 -> ACK",
        "CMD 4 ReadVariable id=0 -> ACK",
        "CMD 4 ReadVariable id=2384 -> ACK",
        f"CMD 8 GetApplicationActive -> state={state_before}",
    ]
    if state_before != 0:
        lines.append("CMD 6 SetApplicationActive state=1 -> ACK")
    return lines


def tail(count_before, final_state, rate_answer="ACK"):
    """From the return to 9600 baud to the update record."""
    month_day, year = harness.today_variables()
    return [
        f"RATE 9600 -> {rate_answer}",
        f"CMD 6 SetApplicationActive state={final_state} -> ACK",
        "CMD 4 ReadVariable id=62 -> ACK",
        f"CMD 5 WriteVariable id=62 value={count_before + 1} -> ACK",
        f"CMD 5 WriteVariable id=61 value={year} -> ACK",
        f"CMD 5 WriteVariable id=60 value={month_day} -> ACK",
    ]


def download_phase(folder, state_before, count_before, succeeded=True, program=None,
                   text=None, checksums=True, rate_answer="ACK"):
    """The command sequence of an update that passed the overview. program and text: the
    lines of each download (default: complete); text=[] when it is never started."""
    lines = head(state_before) + [f"RATE 38400 -> {rate_answer}"]
    lines += harness.expected_download(folder, PROG) if program is None else program
    lines += harness.expected_download(folder, TEXT) if text is None else text
    if checksums:
        lines += [f"CHECKSUM area={area}" for area in (0, 1, 2)]
    return lines + tail(count_before, 2 if succeeded else 1, rate_answer)


class UpdateTest(unittest.TestCase):
    def setUp(self):
        self.space = harness.Workspace(TQ8FLASH, TQ8SIM, SAMPLE)
        self.running = []

    def tearDown(self):
        for machine in self.running:
            machine.stop()
        self.running = []
        # TQ8_E2E_KEEP=1 leaves transcripts, state and settings for a look afterwards.
        if os.environ.get("TQ8_E2E_KEEP"):
            print(f"kept {self.space.root}", file=sys.stderr)
        else:
            self.space.remove()

    def fresh(self):
        """A new machine state and settings, for the next case of a loop."""
        self.tearDown()
        self.setUp()

    def machine(self, *options):
        machine = self.space.machine(*options)
        self.running.append(machine)
        self.space.write_settings(INTERFACE, machine.path)
        return machine

    def finish(self, machine):
        self.running.remove(machine)
        return machine.stop()

    def update(self, machine, folder, *options, **kwargs):
        """One unattended update through the settings: Interface and its [Ports] entry."""
        run = self.space.update(None, folder, "--yes", *options, **kwargs)
        self.assertIsNotNone(run.code, f"tq8flash did not end\n{run}")
        return run

    def assertMachine(self, count, state):
        """count None: the counter was never written."""
        variables, application = harness.read_state(self.space.state)
        self.assertEqual(variables.get(62, NEVER_WRITTEN), NEVER_WRITTEN if count is None
                         else count, "update counter (variable 62)")
        self.assertEqual(application, state, "application state")
        if count is not None:
            month_day, year = harness.today_variables()
            self.assertEqual(variables.get(61), year)
            self.assertEqual(variables.get(60), month_day)

    def assertUntouched(self):
        """Only variables were read: no record, the state the machine started with."""
        variables, application = harness.read_state(self.space.state)
        for variable in (60, 61, 62):
            self.assertEqual(variables.get(variable, NEVER_WRITTEN), NEVER_WRITTEN)
        self.assertIn(application, (None, 2))

    def complete_update(self, folder, count_before, state_before=2):
        """A run without faults on a fresh machine: everything succeeds."""
        machine = self.machine()
        run = self.update(machine, folder)
        self.finish(machine)
        self.assertEqual(run.code, 0, run)
        self.assertIn("Download completed", run.stdout)
        for caption in ("Downloading software", "Downloading texts"):
            self.assertRegex(run.stdout, caption + r": done, (\d+) of \1 KiB \(100%\)")
        self.assertEqual(machine.transcript_lines(),
                         download_phase(folder, state_before, count_before))
        self.assertFlashHolds(machine, folder)
        self.assertMachine(count_before + 1, 2)
        return machine

    def assertFlashHolds(self, machine, folder):
        """The machine's own sums over its flash after the download are those of the files:
        the data arrived, not only a matching trailer."""
        reports = {}
        with open(machine.transcript) as f:
            for line in f:
                if line.startswith("CHECKSUM "):
                    fields = dict(field.split("=") for field in line.split()[1:])
                    reports[int(fields["area"])] = fields
        for area, name in ((1, PROG), (2, TEXT)):
            start, image = harness.load_image(os.path.join(folder, name))
            self.assertEqual(int(reports[area]["start"], 16), start)
            self.assertEqual(int(reports[area]["end"], 16), start + len(image) - 1)
            self.assertEqual(int(reports[area]["calc"], 16), harness.check_values(image)[1])


class CompleteUpdate(UpdateTest):
    def test_sample_bundle_goes_through_the_whole_exchange(self):
        folder = self.space.bundle()
        self.complete_update(folder, count_before=0)
        self.assertEqual(self.space.interface(), INTERFACE)
        # A second update counts on from the record of the first.
        self.complete_update(folder, count_before=1)

    def test_line_ends_do_not_change_what_is_sent(self):
        sent = {}
        for newline in (b"\n", b"\r\n"):
            self.space.state = os.path.join(self.space.root, f"state-{len(newline)}")
            folder = self.space.bundle(f"bundle-{len(newline)}", newline=newline)
            machine = self.machine()
            run = self.update(machine, folder)
            self.finish(machine)
            self.assertEqual(run.code, 0, run)
            sent[newline] = [line for line in machine.transcript_lines()
                             if line.startswith(("DL ", "BLOCK ", "TRAILER "))]
        self.assertEqual(sent[b"\n"], sent[b"\r\n"])
        self.assertEqual(sent[b"\n"], harness.expected_download(folder, PROG) +
                         harness.expected_download(folder, TEXT))

    def test_counter_wraps_from_the_never_written_value(self):
        # 0xFFFE is written back as 0xFFFF, which the next update counts as 0 again.
        folder = self.space.bundle(records=SHORT)
        machine = self.machine("--var", "62=65534")
        run = self.update(machine, folder)
        self.finish(machine)
        self.assertEqual(run.code, 0, run)
        self.assertIn("CMD 5 WriteVariable id=62 value=-1 -> ACK", machine.transcript_lines())
        self.complete_update(folder, count_before=0)

    def test_machine_in_state_zero_is_not_set_before_the_download(self):
        folder = self.space.bundle(records=SHORT)
        machine = self.machine("--app-state", "0")
        run = self.update(machine, folder)
        self.finish(machine)
        self.assertEqual(run.code, 0, run)
        self.assertEqual(machine.transcript_lines(), download_phase(folder, 0, 0))


class EndsBeforeTheDownload(UpdateTest):
    def assertOnlyRead(self, machine, lines):
        self.assertEqual(machine.transcript_lines(), lines)
        self.assertUntouched()

    def test_no_at_the_first_question_opens_nothing(self):
        folder = self.space.bundle(records=SHORT)
        machine = self.machine()
        watch = harness.OpenWatch(machine.path, os.path.join(folder, PROG),
                                  os.path.join(folder, TEXT))
        run = self.space.update(None, folder, "--no")
        opened = watch.collect()
        watch.close()
        self.assertEqual(run.code, 3, run)
        self.assertEqual(opened, {path: 0 for path in opened})
        self.finish(machine)
        self.assertOnlyRead(machine, [])
        self.assertEqual(self.space.interface(), INTERFACE)

    def test_no_machine_cancels_the_selection_without_a_terminal(self):
        master, slave = os.openpty()
        try:
            self.space.write_settings(INTERFACE, os.ttyname(slave))
            run = self.space.update(None, self.space.bundle(records=SHORT), "--yes",
                                    timeout=60)
        finally:
            os.close(slave)
            os.close(master)
        self.assertEqual(run.code, 4, run)
        # Cancel stores "none" as the selected interface.
        self.assertEqual(self.space.interface(), -1)

    def test_a_port_named_for_the_run_leaves_the_stored_selection_alone(self):
        self.space.write_settings(INTERFACE, os.path.join(self.space.root, "none"))
        run = self.space.update(os.path.join(self.space.root, "absent"),
                                self.space.bundle(records=SHORT), "--yes", timeout=60)
        self.assertEqual(run.code, 4, run)
        self.assertEqual(self.space.interface(), INTERFACE)

    def test_json_keeps_the_interface_selection_off_stdout(self):
        run = self.space.update(os.path.join(self.space.root, "absent"),
                                self.space.bundle(records=SHORT), "--yes", "--json", "--record",
                                os.path.join(self.space.root, "records.jsonl"), timeout=60)
        self.assertEqual(run.code, 4, run)
        self.assertIn("(no terminal)", run.stderr)
        self.assertEqual([json.loads(line)["outcome"] for line in run.stdout.splitlines()],
                         ["no_connection"], run)

    def test_missing_program_file_is_reported_and_the_text_file_left_alone(self):
        folder = self.space.bundle(records=SHORT)
        os.remove(os.path.join(folder, PROG))
        machine = self.machine()
        watch = harness.OpenWatch(os.path.join(folder, TEXT))
        run = self.update(machine, folder)
        opened = watch.collect()
        watch.close()
        self.finish(machine)
        self.assertEqual(run.code, 5, run)
        self.assertIn(PROG, run.stdout + run.stderr)
        self.assertEqual(opened[os.path.join(folder, TEXT)], 0)
        self.assertOnlyRead(machine, ["CMD 8 GetApplicationActive -> state=2"])

    def test_wrong_crc_stops_after_the_connection_test(self):
        folder = self.space.bundle(records=SHORT)
        crc_file = os.path.join(folder, harness.CRC)
        with open(crc_file) as f:
            text = f.read()
        good = harness.signed_crc(harness.load_image(os.path.join(folder, TEXT))[1])
        with open(crc_file, "w") as f:
            f.write(text.replace(f"={good}", f"={good ^ 1}"))
        machine = self.machine()
        run = self.update(machine, folder)
        self.finish(machine)
        self.assertEqual(run.code, 5, run)
        self.assertIn("Error in file", run.stdout + run.stderr)
        self.assertOnlyRead(machine, ["CMD 8 GetApplicationActive -> state=2",
                                      "CMD 4 ReadVariable id=2398 -> ACK"])

    def test_unreadable_serial_number_fails_the_connection_test(self):
        folder = self.space.bundle(records=SHORT)
        machine = self.machine("--kennung", "2398=3")
        run = self.update(machine, folder)
        self.finish(machine)
        self.assertEqual(run.code, 4, run)
        self.assertIn("Could not establish connection", run.stdout + run.stderr)
        self.assertOnlyRead(machine, ["CMD 8 GetApplicationActive -> state=2",
                                      "CMD 4 ReadVariable id=2398 -> ACK"])
        self.assertEqual(self.space.interface(), INTERFACE)

    def test_no_at_the_overview_on_a_terminal(self):
        # --yes and --no answer every question alike; a terminal answers each on its own.
        folder = self.space.bundle(records=SHORT)
        machine = self.machine()
        run = self.space.update_on_terminal(None, folder, ["y", "n"], timeout=60)
        self.finish(machine)
        self.assertEqual(run.code, 3, run)
        self.assertEqual(run.stdout.count("[y/n]"), 2, run)
        self.assertIn("Version-Overview", run.stdout)
        self.assertOnlyRead(machine, [
            "CMD 8 GetApplicationActive -> state=2",
            "CMD 4 ReadVariable id=2398 -> ACK",
            "CMD 4 ReadVariable id=0 -> ACK",
            "CMD 4 ReadVariable id=2384 -> ACK",
        ])


class DownloadPhaseFault(UpdateTest):
    """A fault after the overview: a failed update that still ends the download phase
    properly, then an update without the fault that succeeds and counts both."""

    def fault_then_recovery(self, options, **phase):
        """phase: how the failed run's exchange differs from a complete one."""
        folder = self.space.bundle(records=SHORT)
        machine = self.machine(*options)
        run = self.update(machine, folder, timeout=60)
        self.finish(machine)
        self.assertEqual(run.code, 6, run)
        self.assertIn("Download Failed!", run.stderr, run)
        self.assertEqual(machine.transcript_lines(),
                         download_phase(folder, 2, 0, succeeded=False, **phase))
        self.assertMachine(1, 1)
        self.complete_update(folder, count_before=1, state_before=1)
        return run

    def program_until(self, failing, answer):
        """The program download's lines up to block `failing`, which gets `answer`."""
        folder = self.space.bundle(records=SHORT)
        lines = harness.expected_download(folder, PROG)[:failing + 2]
        lines[-1] = lines[-1].replace("-> ACK", f"-> {answer}")
        return lines

    def text_then(self, *after):
        """The complete text download, then the lines `after` (a failed query first)."""
        folder = self.space.bundle(records=SHORT)
        lines = harness.expected_download(folder, TEXT)
        return lines + [after[0]] + [f"CHECKSUM {area}" for area in after[1:]]


class BlockFaults(DownloadPhaseFault):
    def test_blocks_not_acknowledged(self):
        for block in (0, SHORT // 2, SHORT - 1):
            for option, answer in ((f"--block-noack={block}", "NOACK"),
                                   (f"--block-byte={block}=0x15", "BYTE 0x15")):
                with self.subTest(block=block, answer=answer):
                    self.fresh()
                    self.fault_then_recovery(option.split("=", 1),
                                             program=self.program_until(block, answer),
                                             text=[], checksums=False)


class TransferFaults(DownloadPhaseFault):
    def test_trailer_refused(self):
        program = self.program_until(SHORT, "ACK")
        # The machine names the values it expected: here the ones that were sent.
        sent = program[-1][len("TRAILER "):-len(" -> ACK")]
        program[-1] = f"TRAILER {sent} -> NAK expected {sent}"
        self.fault_then_recovery(["--trailer-nak"], program=program, text=[],
                                 checksums=False)

    def test_erase_refused_or_unanswered(self):
        for option, line in (("--nak", "NAK cmd=7"), ("--silent", "SILENT cmd=7")):
            with self.subTest(option=option):
                self.fresh()
                self.fault_then_recovery([option, "7"], program=[line], text=[],
                                         checksums=False)

    def test_refused_rate_switch_downloads_at_9600(self):
        # Neither side changes the rate, so the whole update runs at the old one.
        folder = self.space.bundle(records=SHORT)
        machine = self.machine("--refuse-rate")
        run = self.update(machine, folder, timeout=60)
        self.finish(machine)
        self.assertEqual(run.code, 0, run)
        self.assertEqual(machine.transcript_lines(),
                         download_phase(folder, 2, 0, rate_answer="NAK"))
        self.complete_update(folder, count_before=1)

    def test_vanished_machine_ends_with_a_message(self):
        folder = self.space.bundle(records=SHORT)
        machine = self.machine("--vanish-after", "10")
        run = self.update(machine, folder, timeout=60)
        self.assertEqual(self.finish(machine), 3, "the machine did not vanish")
        self.assertEqual(run.code, 6, run)
        self.assertIn("Download Failed!", run.stderr)
        self.assertEqual(machine.transcript_lines(),
                         head(2) + ["RATE 38400 -> ACK"] + self.program_until(10, "ACK") +
                         ["VANISH after block 10"])
        # Gone before the record could be written: the state set before the download stays,
        # and only the next attempt counts.
        self.assertMachine(None, 1)
        self.complete_update(folder, count_before=0, state_before=1)


class TextFaults(DownloadPhaseFault):
    """Faults aimed at the second download: the program went through, the texts fail."""

    def text_until(self, failing, answer):
        folder = self.space.bundle(records=SHORT)
        lines = harness.expected_download(folder, TEXT)[:failing + 2]
        lines[-1] = lines[-1].replace("-> ACK", f"-> {answer}")
        return lines

    def program_whole(self):
        return harness.expected_download(self.space.bundle(records=SHORT), PROG)

    def test_text_blocks_not_acknowledged(self):
        blocks = len(harness.expected_download(self.space.bundle(records=SHORT), TEXT)) - 2
        for block in (0, blocks // 2, blocks - 1):
            for option, answer in ((["--block-noack", str(block)], "NOACK"),
                                   (["--block-byte", f"{block}=0x15"], "BYTE 0x15")):
                with self.subTest(block=block, answer=answer):
                    self.fresh()
                    self.fault_then_recovery(["--in-download", "2"] + option,
                                             program=self.program_whole(),
                                             text=self.text_until(block, answer),
                                             checksums=False)

    def test_text_trailer_refused(self):
        blocks = len(harness.expected_download(self.space.bundle(records=SHORT), TEXT)) - 2
        text = self.text_until(blocks, "ACK")
        sent = text[-1][len("TRAILER "):-len(" -> ACK")]
        text[-1] = f"TRAILER {sent} -> NAK expected {sent}"
        self.fault_then_recovery(["--in-download", "2", "--trailer-nak"],
                                 program=self.program_whole(), text=text, checksums=False)

    def test_text_erase_refused_or_unanswered(self):
        start = harness.expected_download(self.space.bundle(records=SHORT), TEXT)[0]
        for option, answer in (("--erase-nak", "NAK reason=injected"), ("--erase-silent", "SILENT")):
            with self.subTest(option=option):
                self.fresh()
                line = start[:start.index(" -> ")] + " -> " + answer
                self.fault_then_recovery(["--in-download", "2", option],
                                         program=self.program_whole(), text=[line],
                                         checksums=False)


class ChecksumFaults(DownloadPhaseFault):
    def test_checksum_mismatch_in_each_area(self):
        captions = ("Checksum failure (Bootloader)!", "Checksum failure (Application)!",
                    "Checksum failure (Display-Texts)!")
        for area in (0, 1, 2):
            with self.subTest(area=area):
                self.fresh()
                # All three areas are still asked after the mismatch.
                run = self.fault_then_recovery(["--checksum-mismatch", str(area)])
                for index, caption in enumerate(captions):
                    self.assertEqual(caption in run.stderr, index == area, caption)

    def test_mismatches_in_two_areas_show_a_box_each_in_order(self):
        run = self.fault_then_recovery(["--checksum-mismatch", "0", "--checksum-mismatch", "2"])
        boxes = [line for line in run.stderr.splitlines() if line.startswith("== Error: ")]
        self.assertEqual(boxes, ["== Error: Checksum failure (Bootloader)! ==",
                                 "== Error: Checksum failure (Display-Texts)! ==",
                                 "== Error: Download Failed! =="])

    def test_failed_checksum_query_fails_the_update_but_not_the_other_areas(self):
        for option, line in (("--nak", "NAK cmd=10"), ("--silent", "SILENT cmd=10")):
            with self.subTest(option=option):
                self.fresh()
                # The first query (area 0) fails; areas 1 and 2 are still asked.
                run = self.fault_then_recovery([option, "10:1"], checksums=False,
                                               text=self.text_then(line, "area=1", "area=2"))
                self.assertNotIn("Checksum failure", run.stderr)


class UpdateRecord(UpdateTest):
    def test_refused_record_leaves_a_successful_update(self):
        folder = self.space.bundle(records=SHORT)
        machine = self.machine("--nak", "5")
        run = self.update(machine, folder)
        self.finish(machine)
        self.assertEqual(run.code, 0, run)
        expected = download_phase(folder, 2, 0)
        expected[-3:] = ["NAK cmd=5"] * 3
        self.assertEqual(machine.transcript_lines(), expected)
        self.assertMachine(None, 2)


class Interrupt(UpdateTest):
    def start_paced(self):
        folder = self.space.bundle(records=4 * SHORT)
        machine = self.machine("--pace")
        process = self.space.start_update(None, folder, "--yes")
        deadline = time.monotonic() + 60
        while not any(line.startswith("BLOCK 20 ") for line in machine.transcript_lines()):
            self.assertIsNone(process.poll(), "tq8flash ended before the download")
            self.assertLess(time.monotonic(), deadline, "no download started")
            time.sleep(0.05)
        return folder, machine, process

    def wait(self, process):
        try:
            stdout, stderr = process.communicate(timeout=30)
        except Exception:
            process.kill()
            process.communicate()
            raise
        return process.returncode, stdout + stderr

    def interrupted_once(self):
        folder, machine, process = self.start_paced()
        process.send_signal(signal.SIGINT)
        code, output = self.wait(process)
        self.finish(machine)
        self.assertEqual(code, 130, output)
        return folder, machine.transcript_lines()

    def test_ctrl_c_in_the_download_stops_at_a_block_and_records_the_attempt(self):
        folder, lines = self.interrupted_once()
        start = head(2) + ["RATE 38400 -> ACK"]
        self.assertEqual(lines[:len(start)], start)
        # Blocks stop at a boundary, without a trailer and without the text download.
        program = harness.expected_download(folder, PROG)
        sent = [line for line in lines[len(start):] if line.startswith(("DL start=", "BLOCK "))]
        self.assertGreater(len(sent), 20)
        self.assertLess(len(sent), len(program) - 1)
        self.assertEqual(sent, program[:len(sent)])
        self.assertNotIn("TRAILER", " ".join(lines))
        # The update record and state 1 close the phase as after any failed download.
        self.assertEqual(lines[-5:], tail(0, 1)[1:])
        self.assertMachine(1, 1)

    def test_ctrl_c_in_the_download_returns_the_machine_to_9600(self):
        # The machine still waits for blocks when the host stops: the rate command must
        # come after a silence that ends its download, as after an unanswered block.
        _, lines = self.interrupted_once()
        self.assertEqual(lines[-6:], tail(0, 1))

    def test_second_ctrl_c_ends_at_once(self):
        _, machine, process = self.start_paced()
        process.send_signal(signal.SIGINT)
        # Signals of one kind do not queue: the second must come after the first was taken.
        time.sleep(0.2)
        process.send_signal(signal.SIGINT)
        code, output = self.wait(process)
        self.finish(machine)
        self.assertEqual(code, 130, output)
        lines = machine.transcript_lines()
        download = max(i for i, line in enumerate(lines) if line.startswith("BLOCK "))
        self.assertFalse([line for line in lines[download:] if line.startswith("CMD ")],
                         "commands after the second Ctrl-C")
        self.assertMachine(None, 1)


def run_main(doc, with_schema=False):
    """The command line of an e2e script: TQ8FLASH TQ8SIM SAMPLE_DIR [SCHEMA] [unittest
    arguments]; a schema is loaded into the running script's SCHEMA."""
    global TQ8FLASH, TQ8SIM, SAMPLE
    first_unittest_arg = 5 if with_schema else 4
    if len(sys.argv) < first_unittest_arg:
        print(doc, file=sys.stderr)
        return 2
    TQ8FLASH, TQ8SIM, SAMPLE = (os.path.abspath(arg) for arg in sys.argv[1:4])
    if with_schema:
        with open(sys.argv[4]) as f:
            sys.modules["__main__"].SCHEMA = json.load(f)
    program = unittest.main(argv=[sys.argv[0], "-v", *sys.argv[first_unittest_arg:]],
                            exit=False)
    return 0 if program.result.wasSuccessful() else 1


def main():
    return run_main(__doc__)


if __name__ == "__main__":
    sys.exit(main())
