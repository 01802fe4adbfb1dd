#!/usr/bin/python3
"""`tq8flash ports`, pinning and the nothing-configured rule against serial devices that
umockdev makes up (sysfs and udev data; each device node a pty), with the simulated
machine behind an emulated adapter. Nothing outside the test bed is ever opened: the
board's /dev/ttyS0..7 are replaced by plain files in it.

Usage: ports_test.py TQ8FLASH TQ8SIM SAMPLE_DIR [unittest arguments]"""
import grp
import json
import os
import select
import subprocess
import sys
import termios
import threading
import time
import tty
import unittest

import gi

gi.require_version("UMockdev", "1.0")
from gi.repository import UMockdev  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import harness  # noqa: E402

TQ8FLASH = TQ8SIM = SAMPLE = None
BY_ID = "/dev/serial/by-id/"


# umockdev's isatty() answers yes only for major 4; a real ttyUSB has 188, which nothing
# here reads.
def adapter(tty_name, usb_port, vid, pid, serial, maker, product, by_id):
    usb = f"/devices/usb1/1-{usb_port}"
    return f"""P: {usb}/1-{usb_port}:1.0/{tty_name}/tty/{tty_name}
N: {tty_name}
E: DEVNAME=/dev/{tty_name}
E: SUBSYSTEM=tty
E: DEVLINKS={BY_ID}{by_id} /dev/serial/by-path/pci-0000:00:14.0-usb-0:{usb_port}:1.0-port0
A: dev=4:{100 + usb_port}

P: {usb}/1-{usb_port}:1.0/{tty_name}
E: DRIVER=ftdi_sio
E: SUBSYSTEM=usb-serial
A: latency_timer=16

P: {usb}/1-{usb_port}:1.0
E: SUBSYSTEM=usb
E: DEVTYPE=usb_interface

P: {usb}
E: SUBSYSTEM=usb
E: DEVTYPE=usb_device
A: idVendor={vid}
A: idProduct={pid}
A: manufacturer={maker}
A: product={product}
A: serial={serial}

"""


FTDI = adapter("ttyUSB0", 2, "0403", "6001", "A1B2C3", "FTDI", "FT232R USB UART",
               "usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0")
# Plugged in first, so the kernel named it ttyUSB0: the list must still put it second.
FTDI_B = adapter("ttyUSB0", 3, "0403", "6001", "ZZ9", "FTDI", "FT232R USB UART",
                 "usb-FTDI_FT232R_USB_UART_ZZ9-if00-port0")
FTDI_A = adapter("ttyUSB1", 4, "0403", "6001", "AA1", "FTDI", "FT232R USB UART",
                 "usb-FTDI_FT232R_USB_UART_AA1-if00-port0")
UARTS = """P: /devices/platform/serial8250/tty/ttyS0
N: ttyS0
E: DEVNAME=/dev/ttyS0
E: SUBSYSTEM=tty
A: dev=4:64
A: type=4

P: /devices/platform/serial8250/tty/ttyS1
N: ttyS1
E: DEVNAME=/dev/ttyS1
E: SUBSYSTEM=tty
A: dev=4:65
A: type=0

P: /devices/platform/serial8250
E: DRIVER=serial8250
E: SUBSYSTEM=platform

"""


class Passthrough(UMockdev.IoctlBase):
    """A terminal's ioctls go to the pty itself; umockdev's default refuses those it
    has not recorded, TIOCEXCL among them."""

    def do_handle_ioctl(self, client):
        result, error = client.execute()
        client.complete(result, error)
        return True


class Relay(threading.Thread):
    """The cable: bytes both ways between the adapter's pty and the machine's, and the
    line rate the host set on the adapter given to the machine's pty before its bytes."""

    def __init__(self, adapter_fd, machine_path):
        super().__init__(daemon=True)
        self.adapter, self.stopped = adapter_fd, False
        self.machine = os.open(machine_path, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.machine)
        self.start()

    def run(self):
        while not self.stopped:
            ready = select.select([self.adapter, self.machine], [], [], 0.05)[0]
            if self.adapter in ready:
                try:
                    data = os.read(self.adapter, 4096)
                except OSError:  # the host has the port closed
                    time.sleep(0.01)
                    continue
                host = termios.tcgetattr(self.adapter)
                line = termios.tcgetattr(self.machine)
                if line[4:6] != host[4:6]:
                    line[4:6] = host[4:6]
                    termios.tcsetattr(self.machine, termios.TCSANOW, line)
                os.write(self.machine, data)
            if self.machine in ready:
                os.write(self.adapter, os.read(self.machine, 4096))

    def stop(self):
        self.stopped = True
        self.join()
        os.close(self.machine)


class PortsTest(unittest.TestCase):
    def setUp(self):
        self.space = harness.Workspace(TQ8FLASH, TQ8SIM, SAMPLE)
        self.bed = UMockdev.Testbed.new()
        self.root = self.bed.get_root_dir()
        self.space.env.update(
            LD_PRELOAD="libumockdev-preload.so.0", UMOCKDEV_DIR=self.root,
            ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0")

    def tearDown(self):
        self.space.remove()

    def devices(self, text):
        self.assertTrue(self.bed.add_from_string(text))
        self.ioctls = Passthrough()
        for line in text.splitlines():
            if line.startswith("N: "):
                self.bed.attach_ioctl("/dev/" + line[3:], self.ioctls)
        os.makedirs(os.path.join(self.root, "dev/serial/by-id"), exist_ok=True)
        for line in text.splitlines():
            if line.startswith("E: DEVLINKS="):
                link = line.split("=", 1)[1].split()[0]
                os.symlink("../../" + self.tty_of(text, link), self.root + link)
                self.bed.attach_ioctl(link, self.ioctls)
        for n in range(8):
            board = os.path.join(self.root, f"dev/ttyS{n}")
            if not os.path.lexists(board):
                open(board, "w").close()

    @staticmethod
    def tty_of(text, link):
        block = text[:text.index(link)]
        return block[block.rindex("N: ") + 3:].split()[0]

    def run_flash(self, *args):
        process = subprocess.run([TQ8FLASH, *args], capture_output=True, text=True,
                                 env=self.space.env, cwd=self.space.root, timeout=120)
        return harness.Run(process.returncode, process.stdout, process.stderr, 0)

    def rows(self, *args):
        run = self.run_flash("ports", *args)
        self.assertEqual(run.code, 0, run)
        return [line.split("\t") for line in run.stdout.splitlines()[1:]]

    def test_one_adapter_is_listed_and_reached_with_nothing_configured(self):
        self.devices(FTDI)
        self.assertEqual(self.rows(), [[
            "/dev/ttyUSB0", BY_ID + "usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0", "ftdi_sio",
            "0403:6001", "FTDI", "FT232R USB UART", "A1B2C3", "COM1", "yes", "-", "16 ms"]])
        listed = json.loads(self.run_flash("ports", "--json").stdout)["ports"]
        self.assertEqual([(p["stable_name"], p["vendor_id"], p["serial"], p["com_ports"],
                           p["access"], p["latency_ms"]) for p in listed],
                         [(BY_ID + "usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0", "0403",
                           "A1B2C3", ["COM1"], True, 16)])

        machine = self.space.machine()
        relay = Relay(self.bed.get_dev_fd("/dev/ttyUSB0"), machine.path)
        try:
            run = self.run_flash("search")
            self.assertEqual(run.code, 0, run)
            self.assertIn("found at COM1", run.stdout)

            self.assertEqual(self.run_flash("ports", "--save").code, 0)
            folder = self.space.bundle(records=32)
            run = self.space.update(None, folder, "--yes")
            self.assertEqual(run.code, 0, run)
            # The pty refuses the low-latency mode; the timer of 16 ms is named once.
            self.assertEqual(run.stderr.count("holds every answer back for up to 16 ms"), 1,
                             run)
            for name in (harness.PROG, harness.TEXT):
                self.assertIn(harness.expected_download(folder, name)[-1],
                              machine.transcript_lines())
            # The record names the adapter that a reboot cannot swap, not the tty bound.
            record = os.path.join(self.space.root, "record.jsonl")
            run = self.space.update("/dev/ttyUSB0", folder, "--yes", "--record", record)
            self.assertEqual(run.code, 0, run)
            with open(record) as f:
                self.assertEqual(json.loads(f.read())["device"], listed[0]["stable_name"])
        finally:
            relay.stop()
            machine.stop()

    def test_two_adapters_are_not_guessed_but_pinned(self):
        self.devices(FTDI_B + FTDI_A)
        names = [row[1] for row in self.rows()]
        self.assertEqual(names, [BY_ID + "usb-FTDI_FT232R_USB_UART_AA1-if00-port0",
                                 BY_ID + "usb-FTDI_FT232R_USB_UART_ZZ9-if00-port0"])
        ptys = [os.readlink(os.path.join(self.root, "dev", t)) for t in ("ttyUSB0", "ttyUSB1")]

        watch = harness.OpenWatch(*ptys)
        search = self.run_flash("search")
        ambiguous = self.run_flash("info", "--port", "usb:0403:6001")
        self.assertEqual(watch.collect(), {path: 0 for path in ptys})
        watch.close()
        self.assertIn("2 USB serial adapters and no [Ports] section; none is guessed", search.stderr)
        self.assertIn("ports --save", search.stderr)
        self.assertEqual(ambiguous.code, 2, ambiguous)
        self.assertIn("usb:0403:6001 matches 2 devices; no port is opened", ambiguous.stderr)
        for name in names:
            self.assertIn(name, search.stderr)
            self.assertIn(name, ambiguous.stderr)

        with open(self.space.settings_path(), "w") as f:
            f.write("[Other]\nkept=1\n[Ports]\nCOM5=/dev/ttyUSB7\n")
        self.assertEqual([row[7] for row in self.rows("--save")[:2]], ["-", "-"])
        with open(self.space.settings_path()) as f:
            saved = f.read()
        self.assertIn("[Other]\nkept=1\n", saved)
        self.assertNotIn("COM5", saved)
        self.assertEqual([row[7] for row in self.rows()], ["COM1", "COM2"])
        # A selector in [Ports] stands for the one adapter it matches, and for no other.
        with open(self.space.settings_path(), "w") as f:
            f.write("[Ports]\nCOM3=usb:0403:6001:ZZ9\nCOM4=usb:0403:6001\n")
        self.assertEqual([row[7] for row in self.rows()], ["-", "COM3"])

    def test_selector_is_resolved_once_though_an_adapter_is_plugged_in_mid_update(self):
        self.devices(FTDI)
        self.space.write_settings(1, "usb:0403:6001")
        machine = self.space.machine()
        relay = Relay(self.bed.get_dev_fd("/dev/ttyUSB0"), machine.path)
        master, slave = os.openpty()
        process = subprocess.Popen(
            [TQ8FLASH, "update", "--dir", self.space.bundle(records=32)], stdin=slave,
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, env=self.space.env,
            cwd=self.space.root)
        try:
            # The second question comes with the port open at 9600; the rate switch after
            # it closes and reopens the port, when the selector matches two adapters.
            seen = ""
            for question in range(2):
                while seen.count("[y/n]") <= question:
                    seen += process.stdout.read(1)
                if question == 1:
                    self.devices(FTDI_A)
                os.write(master, b"y\n")
            output, _ = process.communicate(timeout=120)
            self.assertEqual(process.returncode, 0, output)
        finally:
            os.close(slave)
            os.close(master)
            relay.stop()
            machine.stop()

    def test_board_uart_and_no_device(self):
        run = self.run_flash("ports")
        self.assertEqual((run.code, run.stdout.count("\n")), (0, 1), run)
        self.devices(UARTS)
        self.assertEqual(self.rows(), [["/dev/ttyS0", "-", "serial8250", "-", "-", "-", "-",
                                        "COM1", "yes", "-", "-"]])


@unittest.skipUnless(os.geteuid() == 0, "needs root to become another user")
class PermissionTest(unittest.TestCase):
    def test_denied_port_names_its_group_and_the_fix(self):
        master, slave = os.openpty()
        path = os.ttyname(slave)
        os.chown(path, 0, grp.getgrnam("dialout").gr_gid)
        os.chmod(path, 0o660)
        space = harness.Workspace(TQ8FLASH, TQ8SIM, SAMPLE)
        os.chmod(space.root, 0o777)
        for folder, _, _ in os.walk(space.root):
            os.chown(folder, 65534, 65534)
        try:
            process = subprocess.run(
                ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", TQ8FLASH,
                 "info", "--port", path], capture_output=True, text=True, env=space.env,
                cwd=space.root, timeout=120)
        finally:
            os.close(slave)
            os.close(master)
            space.remove()
        self.assertEqual(process.returncode, 4, process.stderr)
        self.assertIn(f"COM1 is {path}: permission denied; the device belongs to group "
                      "dialout.\nAdd the user to it: sudo usermod -aG dialout nobody, then log "
                      "in again.", process.stderr)


def main():
    global TQ8FLASH, TQ8SIM, SAMPLE
    TQ8FLASH, TQ8SIM, SAMPLE = (os.path.abspath(arg) for arg in sys.argv[1:4])
    unittest.main(argv=[sys.argv[0], *sys.argv[4:]], verbosity=2)


if __name__ == "__main__":
    main()
