#!/usr/bin/env python3
"""`tq8flash` through Debian's `ser2net` on loopback, with the README's configuration, to
`tq8sim`, which on its pty hears the rates that ser2net set. Usage: network_e2e.py TQ8FLASH TQ8SIM SAMPLE_DIR [unittest arguments]"""
import os
import re
import socket
import subprocess
import sys
import time
import unittest

import harness
import update_e2e
from update_e2e import INTERFACE, SHORT, head

README = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "README.md")


def readme_config():
    """The README's ser2net.yaml, exactly as it stands there."""
    with open(README) as f:
        return re.search(r"<!-- ser2net\.yaml.*?-->\n```yaml\n(.*?)```", f.read(), re.S)[1]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def listening(port):
    """Whether a socket listens on 127.0.0.1:port (from /proc, without connecting)."""
    with open("/proc/net/tcp") as f:
        return any(line.split()[1] == f"0100007F:{port:04X}" and line.split()[3] == "0A"
                   for line in f.readlines()[1:])


class Ser2net:
    """ser2net in the foreground with the README's configuration, or the same with another
    accepter or without its options, serving the device on 127.0.0.1 and a free port."""

    def __init__(self, folder, device, accepter="telnet(rfc2217)", defaults=False):
        self.port = free_port()
        config = readme_config()
        config = config.replace("tcp,2217", f"tcp,127.0.0.1,{self.port}")
        config = config.replace("telnet(rfc2217),", f"{accepter}," if accepter else "")
        config = config.replace("/dev/ttyUSB0", device)
        if defaults:
            config = config[:config.index("  options:")]
        self.path = os.path.join(folder, f"ser2net-{self.port}.yaml")
        with open(self.path, "w") as f:
            f.write(config)
        self.process = subprocess.Popen(
            ["ser2net", "-n", "-u", "-P", self.path + ".pid", "-c", self.path],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while not listening(self.port):
            if time.monotonic() > deadline or self.process.poll() is not None:
                self.stop()
                raise RuntimeError("ser2net does not listen")
            time.sleep(0.02)
        self.name = f"rfc2217://127.0.0.1:{self.port}"

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


def bind_ports(space, name):
    """COM3 is the network port; every other port the program may try (the interface
    selection lists COM1..COM8) is bound to nothing, so no real port is ever opened."""
    space.write_settings(INTERFACE, name)
    with open(space.settings_path(), "a") as f:
        f.writelines(f"COM{n}={space.root}/none-{n}\n" for n in range(1, 9) if n != INTERFACE)


class OverNetwork:
    """An UpdateTest whose machine is reached as COM3 = rfc2217://127.0.0.1:PORT."""
    accepter = "telnet(rfc2217)"
    defaults = False

    def setUp(self):
        super().setUp()
        self.servers = {}

    def tearDown(self):
        for server in self.servers.values():
            server.stop()
        super().tearDown()

    def machine(self, *options):
        machine = self.space.machine(*options)
        self.running.append(machine)
        server = Ser2net(self.space.root, machine.path, self.accepter, self.defaults)
        self.servers[machine] = server
        bind_ports(self.space, server.name)
        return machine

    def finish(self, machine):
        self.servers.pop(machine).stop()
        return super().finish(machine)


class NetworkUpdate(OverNetwork, update_e2e.DownloadPhaseFault):
    def test_complete_update_switches_the_far_line(self):
        # tq8sim garbles every byte while the pty's rate differs from its own, so the
        # transcript's RATE lines and the blocks after them show that ser2net applied both.
        self.complete_update(self.space.bundle(), count_before=0)

    def test_block_fault_then_complete_update(self):
        self.fault_then_recovery(["--block-noack", "40"],
                                 program=self.program_until(40, "NOACK"), text=[],
                                 checksums=False)

    def test_server_stopped_mid_download(self):
        folder = self.space.bundle(records=SHORT * 4)
        machine = self.machine()
        process = self.space.start_update(None, folder, "--yes")
        deadline = time.monotonic() + 60
        while "BLOCK 20 " not in " ".join(machine.transcript_lines()):
            self.assertLess(time.monotonic(), deadline, "the download did not start")
            time.sleep(0.01)
        self.servers[machine].stop()
        _, stderr = process.communicate(timeout=60)
        self.assertEqual(process.returncode, 6, stderr)
        self.assertIn("Download Failed!", stderr)
        lines = machine.transcript_lines()
        self.assertEqual(lines[:len(head(2)) + 1], head(2) + ["RATE 38400 -> ACK"])
        self.assertFalse([line for line in lines if line.startswith(("CHECKSUM", "CMD 5"))])
        self.assertMachine(None, 1)
        self.finish(machine)
        self.complete_update(self.space.bundle(records=SHORT), count_before=0, state_before=1)

    def test_search_finds_com3_mapped_to_the_network_port(self):
        machine = self.machine()
        run = subprocess.run([self.space.tq8flash, "search"], capture_output=True, text=True,
                             env=self.space.env, timeout=60)
        self.finish(machine)
        self.assertEqual(run.returncode, 0, run)
        self.assertIn(f"COM{INTERFACE}", run.stdout.splitlines()[-1])
        self.assertIn("CMD 8 GetApplicationActive -> state=2", machine.transcript_lines())

    def test_search_saved_under_port_device_is_found_again_without_it(self):
        machine = self.machine()
        bind_ports(self.space, f"{self.space.root}/none-{INTERFACE}")
        runs = [subprocess.run([self.space.tq8flash, "search", *args], capture_output=True,
                               text=True, env=self.space.env, timeout=60)
                for args in (["--port", self.servers[machine].name, "--save"], [])]
        self.finish(machine)
        self.assertEqual([run.returncode for run in runs], [0, 0], runs)
        self.assertIn(f"COM{INTERFACE}", runs[1].stdout.splitlines()[-1])

    def test_held_back_answers_are_warned_of_once_early_in_the_download(self):
        # ser2net's defaults hold back every acknowledgement; a paced machine shows what
        # that costs at the download's rate.
        self.defaults = True
        machine = self.machine("--pace")
        run = self.update(machine, self.space.bundle(records=SHORT), timeout=120)
        self.finish(machine)
        self.assertEqual(run.code, 0, run)
        self.assertEqual(run.stderr.count("chardelay: false"), 1, run.stderr)

    def test_plain_tcp_server_is_refused_before_any_command(self):
        self.accepter = None
        machine = self.machine()
        run = self.update(machine, self.space.bundle(records=SHORT), timeout=60)
        self.finish(machine)
        self.assertNotEqual(run.code, 0, run)
        self.assertIn("telnet(rfc2217)", run.stderr)
        # The client's telnet requests reach the line as stray bytes, and nothing else.
        self.assertFalse([line for line in machine.transcript_lines()
                          if not line.startswith("STRAY")])
        self.assertUntouched()

    def test_connection_refused(self):
        port = free_port()
        bind_ports(self.space, f"rfc2217://127.0.0.1:{port}")
        run = self.update(None, self.space.bundle(records=SHORT), timeout=60)
        self.assertEqual(run.code, 4, run)
        # The server is named with what failed, not looked for as a missing device.
        self.assertIn(f"the server 127.0.0.1, port {port}: Connection refused", run.stderr)
        self.assertNotIn("no such device", run.stderr)


if __name__ == "__main__":
    sys.exit(update_e2e.main())  # runs the tests of this module, __main__
