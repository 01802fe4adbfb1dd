#!/usr/bin/env python3
"""Answers the tq8sim program from a host written with nothing but termios, byte for byte."""
import os
import select
import subprocess
import sys
import tempfile
import termios
import time
import tty

GUARD = bytes.fromhex("5D2E91C4")


class Host:
    def __init__(self, path, speed):
        self.path = path
        self.fd = None
        self.open(speed)

    def open(self, speed):
        self.fd = os.open(self.path, os.O_RDWR | os.O_NOCTTY)
        tty.setraw(self.fd)
        attrs = termios.tcgetattr(self.fd)
        attrs[4] = attrs[5] = speed
        termios.tcsetattr(self.fd, termios.TCSANOW, attrs)

    def close(self):
        os.close(self.fd)

    # Generous: a busy runner must not turn a late answer into a failure, and a wait for
    # an answer that comes ends early.
    def exchange(self, out, count, timeout=5.0):
        if out:
            os.write(self.fd, bytes(out))
        got = b""
        end = time.monotonic() + timeout
        while len(got) < count:
            left = end - time.monotonic()
            if left <= 0:
                break
            ready, _, _ = select.select([self.fd], [], [], left)
            if ready:
                got += os.read(self.fd, count - len(got))
        return got

    def exchange_then_quiet(self, out, count, quiet):
        """The answer of count bytes, then whatever else comes within quiet seconds."""
        return self.exchange(out, count) + self.exchange(b"", 1, quiet)


failures = []


def expect(what, got, want):
    if got != want:
        failures.append(f"{what}: got {got.hex(' ')}, want {want.hex(' ')}")


def start(program, *args):
    proc = subprocess.Popen([program, "--erase-ms-per-kib", "0", "--program-us-per-block", "0",
                             *args], stdout=subprocess.PIPE)
    path = proc.stdout.readline().decode().strip()
    if not path.startswith("/dev/"):
        proc.kill()
        sys.exit(f"no device path from tq8sim: {path!r}")
    return proc, path


def stop(proc):
    proc.terminate()
    code = proc.wait(timeout=10)
    if code != 0:
        failures.append(f"tq8sim ended with {code} on SIGTERM")


def main(program):
    with tempfile.TemporaryDirectory() as tmp:
        state = os.path.join(tmp, "state")
        proc, path = start(program, "--state", state, "--var", "62=5", "--nak", "InitEEPROM:1")
        host = Host(path, termios.B9600)

        # The example exchanges.
        expect("ReadVariable frame", host.exchange(b"\x11\x00\x04", 1), b"\x06")
        expect("ReadVariable 62", host.exchange(b"\x00\x3e", 4), b"\x00\x02\x00\x05")
        expect("WriteVariable frame", host.exchange(b"\x11\x00\x05", 1), b"\x06")
        expect("WriteVariable 61", host.exchange(b"\x00\x3d\x07\xd5", 1), b"\x06")
        expect("WriteVariable frame", host.exchange(b"\x11\x00\x05", 1), b"\x06")
        expect("WriteVariable 60", host.exchange(b"\x00\x3c\x0c\x18", 1), b"\x06")
        expect("GetApplicationActive", host.exchange(b"\x11\x00\x08", 2), b"\x06\x02")
        # A rejected command: NAK, and nothing after it.
        expect("rejected InitEEPROM", host.exchange_then_quiet(b"\x11\x00\x03", 1, 0.3), b"\x15")
        expect("unknown code", host.exchange_then_quiet(b"\x11\x00\x0b", 1, 0.3), b"\x15")
        expect("InitEEPROM again", host.exchange_then_quiet(b"\x11\x00\x03", 1, 0.3), b"\x06")

        # The checksum report: 16 bytes, no ACK before them.
        expect("GetCheckSum frame", host.exchange(b"\x11\x00\x0a", 1), b"\x06")
        report = host.exchange_then_quiet(b"\x00\x00", 16, 0.5)
        expect("bootloader range", report[:8], bytes.fromhex("00000000 00003fff"))
        expect("bootloader saved = calculated", report[8:12], report[12:16])
        if len(report) != 16:
            failures.append(f"checksum report has {len(report)} bytes")

        # The rate switch: ACK at 9600, then the host reopens at 38400.
        expect("SetBaudRate frame", host.exchange(b"\x11\x00\x09", 1), b"\x06")
        expect("SetBaudRate 38400", host.exchange(b"\x00\x00\x96\x00", 1), b"\x06")
        host.close()
        time.sleep(0.5)
        host.open(termios.B38400)

        # A download with its trailer.
        data = bytes((i * 13 + 7) & 0xFF for i in range(3 * 32))
        expect("StartDownload frame", host.exchange(b"\x11\x00\x07", 1), b"\x06")
        request = GUARD + (0x4000).to_bytes(4, "big") + (0x4000 + len(data) - 1).to_bytes(4, "big")
        expect("StartDownload", host.exchange(request, 1, 10.0), b"\x06")
        xor = 0
        for offset in range(0, len(data), 32):
            block = data[offset:offset + 32]
            for byte in block:
                xor ^= byte
            expect(f"block at {offset}", host.exchange(block, 1), b"\x06")
        total = sum(data) & 0xFFFFFFFF
        expect("trailer", host.exchange(bytes([xor]) + total.to_bytes(4, "big"), 1), b"\x06")
        expect("GetCheckSum frame", host.exchange(b"\x11\x00\x0a", 1), b"\x06")
        report = host.exchange(b"\x00\x01", 16)
        expect("application report", report,
               bytes.fromhex("00004000 0000405f") + total.to_bytes(4, "big") * 2)

        # Back to 9600, as the update does.
        expect("SetBaudRate frame", host.exchange(b"\x11\x00\x09", 1), b"\x06")
        expect("SetBaudRate 9600", host.exchange(b"\x00\x00\x25\x80", 1), b"\x06")
        host.close()
        time.sleep(0.5)
        host.open(termios.B9600)
        expect("WriteVariable frame", host.exchange(b"\x11\x00\x05", 1), b"\x06")
        expect("WriteVariable 62", host.exchange(b"\x00\x3e\x00\x06", 1), b"\x06")
        host.close()
        stop(proc)

        # The next run continues from the state file.
        proc, path = start(program, "--state", state)
        host = Host(path, termios.B9600)
        expect("ReadVariable frame", host.exchange(b"\x11\x00\x04", 1), b"\x06")
        expect("update counter kept", host.exchange(b"\x00\x3e", 4), b"\x00\x02\x00\x06")
        host.close()
        stop(proc)

        # A fault aimed at the second download (the texts of an update) spares the first.
        proc, path = start(program, "--in-download", "2", "--erase-nak")
        host = Host(path, termios.B9600)
        for name, start_answer in (("program", b"\x06"), ("texts", b"\x15")):
            expect(f"StartDownload frame ({name})", host.exchange(b"\x11\x00\x07", 1), b"\x06")
            request = GUARD + (0x4000).to_bytes(4, "big") + (0x401F).to_bytes(4, "big")
            expect(f"StartDownload ({name})", host.exchange(request, 1), start_answer)
            if start_answer == b"\x06":
                expect("block", host.exchange(bytes(32), 1), b"\x06")
                expect("trailer", host.exchange(bytes(5), 1), b"\x06")
        host.close()
        stop(proc)

    if failures:
        print("\n".join(failures))
        return 1
    print("all exchanges as expected")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
