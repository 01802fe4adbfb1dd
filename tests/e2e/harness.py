"""The pieces the end-to-end tests are made of: the simulated machine as a program, one
`tq8flash` run, firmware bundles, and the expected exchange computed from the files alone.

Nothing here uses the product's code: the images, their check values and CRCs are worked
out from the S-record text, so that a fault in the product's loader cannot hide itself."""
import ctypes
import datetime
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import zlib

PROG = "TQ8-PROG.MOT"
TEXT = "TQ8-TEXT.MOT"
CRC = "TQ8-CRC.INI"
BLOCK = 32

# A run that should take seconds must never hold the suite for longer than this.
RUN_TIMEOUT = 120


# --- firmware files ------------------------------------------------------------------------

def load_image(path):
    """(start, image) of an S-record file: lowest data address rounded down to 32, end
    rounded up to 32, 0xFF where no record writes."""
    data = {}
    end = None
    with open(path, "rb") as f:
        for line in f.read().splitlines():
            line = line.strip()
            kind = line[1:2]
            if not line.startswith(b"S") or kind not in (b"1", b"2", b"3"):
                continue
            raw = bytes.fromhex(line[2:].decode())
            width = {b"1": 2, b"2": 3, b"3": 4}[kind]
            address = int.from_bytes(raw[1:1 + width], "big")
            payload = raw[1 + width:-1]
            for i, byte in enumerate(payload):
                data[address + i] = byte
            end = address + len(payload) if end is None else max(end, address + len(payload))
    start = min(data) // BLOCK * BLOCK
    end = (end + BLOCK - 1) // BLOCK * BLOCK
    image = bytearray(b"\xff" * (end - start))
    for address, byte in data.items():
        image[address - start] = byte
    return start, bytes(image)


def check_values(image):
    xor = 0
    for byte in image:
        xor ^= byte
    return xor, sum(image) & 0xFFFFFFFF


def signed_crc(image):
    value = zlib.crc32(image)
    return value - (1 << 32) if value >= 1 << 31 else value


def write_crc_file(folder):
    lines = ["[CRC]"]
    for name in (PROG, TEXT):
        path = os.path.join(folder, name)
        if os.path.exists(path):
            lines.append(f"{name}={signed_crc(load_image(path)[1])}")
    with open(os.path.join(folder, CRC), "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode())


def make_bundle(sample, folder, records=None, newline=None):
    """A copy of the sample bundle in folder. records: keep only the first N data records
    of each file (a short download); newline: rewrite every line end (b"\\n", b"\\r\\n")."""
    os.makedirs(folder, exist_ok=True)
    for name in (PROG, TEXT):
        with open(os.path.join(sample, name), "rb") as f:
            lines = f.read().splitlines()
        if records is not None:
            kept, data = [], 0
            for line in lines:
                if line[1:2] in (b"1", b"2", b"3"):
                    data += 1
                    if data > records:
                        continue
                kept.append(line)
            lines = kept
        with open(os.path.join(folder, name), "wb") as f:
            f.write((newline or b"\r\n").join(lines) + (newline or b"\r\n"))
    write_crc_file(folder)
    return folder


def expected_download(folder, name):
    """The transcript lines one complete download of the file produces."""
    start, image = load_image(os.path.join(folder, name))
    lines = [f"DL start=0x{start:08x} end=0x{start + len(image) - 1:08x} -> ACK"]
    for index in range(len(image) // BLOCK):
        lines.append(f"BLOCK {index} addr=0x{start + index * BLOCK:08x} -> ACK")
    xor, total = check_values(image)
    lines.append(f"TRAILER xor=0x{xor:02x} sum=0x{total:08x} -> ACK")
    return lines


def today_variables():
    today = datetime.date.today()
    return today.month * 256 + today.day, today.year


# --- transcript ----------------------------------------------------------------------------

# What of a transcript line the tests compare: the command and its arguments, the answer;
# timings and values the machine chose itself are left out.
_NOISE = re.compile(r" (erase|took)=\S+")


def normalize(line):
    line = _NOISE.sub("", line.strip())
    if line.startswith("CMD 4 "):
        line = re.sub(r" kennung=.*$", "", line)
    if line.startswith("CMD 6 "):
        line = re.sub(r" guard=\S+", "", line)
    if line.startswith("CHECKSUM "):
        line = re.sub(r" (start|end|saved|calc)=\S+", "", line)
    return line


def read_transcript(path):
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8", errors="replace") as f:
        return [normalize(line) for line in f if line.strip()]


def commands(lines):
    """Only the command lines and rate switches, without the download's blocks."""
    return [line for line in lines if not line.startswith(("BLOCK ", "TRAILER "))]


def read_state(path):
    values, state = {}, None
    if not os.path.exists(path):
        return values, state
    with open(path) as f:
        for line in f:
            line = line.strip()
            if line.startswith("variable."):
                key, value = line[len("variable."):].split("=", 1)
                values[int(key)] = int(value)
            elif line.startswith("application_state="):
                state = int(line.split("=", 1)[1])
    return values, state


# --- watching opens ------------------------------------------------------------------------

class OpenWatch:
    """Counts opens of the given paths from now on (inotify), so a test can tell that a
    file or a port was never opened."""
    IN_OPEN = 0x20

    def __init__(self, *paths):
        self._libc = ctypes.CDLL(None, use_errno=True)
        self._fd = self._libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        if self._fd < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1")
        self._watches = {}
        for path in paths:
            wd = self._libc.inotify_add_watch(self._fd, os.fsencode(path), self.IN_OPEN)
            if wd < 0:
                raise OSError(ctypes.get_errno(), "inotify_add_watch", path)
            self._watches[wd] = path
        self.opened = {path: 0 for path in paths}

    def collect(self):
        while select.select([self._fd], [], [], 0.05)[0]:
            try:
                buffer = os.read(self._fd, 4096)
            except BlockingIOError:
                break
            offset = 0
            while offset < len(buffer):
                wd, mask, _, length = struct.unpack_from("iIII", buffer, offset)
                offset += 16 + length
                if mask & self.IN_OPEN and wd in self._watches:
                    self.opened[self._watches[wd]] += 1
        return self.opened

    def close(self):
        os.close(self._fd)


# --- the programs --------------------------------------------------------------------------

class Machine:
    """One tq8sim process on its own pty, with transcript and state in the test's folder."""

    def __init__(self, program, state, transcript, *options):
        self.transcript = transcript
        self.process = subprocess.Popen(
            [program, "--state", state, "--transcript", transcript, *options],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        ready = select.select([self.process.stdout], [], [], 10)[0]
        if not ready:
            self.stop()
            raise RuntimeError("tq8sim printed no device path")
        self.path = self.process.stdout.readline().strip()
        if not self.path.startswith("/dev/"):
            self.stop()
            raise RuntimeError(f"tq8sim: unexpected first line {self.path!r}")

    def transcript_lines(self):
        return read_transcript(self.transcript)

    def stop(self):
        """Ends the machine; its exit status (3 when it vanished as asked)."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGINT)
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.stderr = self.process.stderr.read()
        self.process.stdout.close()
        self.process.stderr.close()
        return self.process.returncode


def running(pid):
    """Whether the process runs: neither gone nor a zombie, which has no command line."""
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return bool(f.read())
    except FileNotFoundError:
        return False


class Run:
    """What one tq8flash run left: exit code, output, elapsed time."""

    def __init__(self, code, stdout, stderr, seconds):
        self.code, self.stdout, self.stderr, self.seconds = code, stdout, stderr, seconds

    def __repr__(self):
        return (f"exit {self.code} after {self.seconds:.1f} s\n--- stdout\n{self.stdout}"
                f"\n--- stderr\n{self.stderr}")


class Workspace:
    """A folder per test: settings ($XDG_CONFIG_HOME), machine state, transcripts, bundle."""

    def __init__(self, tq8flash, tq8sim, sample):
        self.tq8flash, self.tq8sim, self.sample = tq8flash, tq8sim, sample
        self.root = tempfile.mkdtemp(prefix="tq8-e2e-")
        self.config = os.path.join(self.root, "config")
        self.state = os.path.join(self.root, "machine.state")
        self.machines = 0
        os.makedirs(os.path.join(self.config, "Ostrelwerk"))
        self.env = dict(os.environ, XDG_CONFIG_HOME=self.config, LC_ALL="C", LANG="C")
        self.env.pop("VLDEBUG_STDERR", None)
        self.env["VLDEBUG_LOG"] = os.path.join(self.root, "trace.log")

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def settings_path(self):
        return os.path.join(self.config, "Ostrelwerk", "TQ8Flash.ini")

    def write_settings(self, interface, port_path=None):
        with open(self.settings_path(), "w") as f:
            f.write("[SOFTWARE\\Ostrelwerk\\TQ8Flash]\n")
            f.write(f"Interface=dword:{interface & 0xFFFFFFFF:08x}\n")
            if port_path is not None:
                f.write(f"[Ports]\nCOM{interface}={port_path}\n")

    def interface(self):
        with open(self.settings_path()) as f:
            match = re.search(r"^Interface=dword:([0-9a-fA-F]{8})\s*$", f.read(), re.M)
        if match is None:
            return None
        value = int(match.group(1), 16)
        return value - (1 << 32) if value >= 1 << 31 else value

    def bundle(self, name="bundle", **kwargs):
        return make_bundle(self.sample, os.path.join(self.root, name), **kwargs)

    def machine(self, *options):
        self.machines += 1
        transcript = os.path.join(self.root, f"transcript-{self.machines}.log")
        return Machine(self.tq8sim, self.state, transcript, *options)

    def start_update(self, port, folder, *options, stdin=subprocess.DEVNULL):
        port_option = ["--port", port] if port is not None else []
        return subprocess.Popen(
            [self.tq8flash, "update", *port_option, "--dir", folder, *options],
            stdin=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
            env=self.env, cwd=self.root)

    def update(self, port, folder, *options, timeout=RUN_TIMEOUT):
        begin = time.monotonic()
        process = self.start_update(port, folder, *options)
        try:
            stdout, stderr = process.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            stdout, stderr = process.communicate()
            return Run(None, stdout, stderr, time.monotonic() - begin)
        return Run(process.returncode, stdout, stderr, time.monotonic() - begin)

    def update_on_terminal(self, port, folder, answers, timeout=RUN_TIMEOUT):
        """A run with a terminal on standard input: each question takes the next answer."""
        master, slave = os.openpty()
        begin = time.monotonic()
        process = self.start_update(port, folder, stdin=slave)
        os.close(slave)
        pending = list(answers)
        output = ""
        deadline = begin + timeout
        # The questions go to stdout; answer each "[y/n]" prompt as it appears.
        stdout_fd = process.stdout.fileno()
        os.set_blocking(stdout_fd, False)
        while process.poll() is None and time.monotonic() < deadline:
            if select.select([stdout_fd], [], [], 0.1)[0]:
                chunk = os.read(stdout_fd, 4096).decode(errors="replace")
                output += chunk
                while pending and output.count("[y/n]") > len(answers) - len(pending):
                    os.write(master, (pending.pop(0) + "\n").encode())
        if process.poll() is None:
            process.kill()
        process.wait()
        rest = process.stdout.read() or ""
        stderr = process.stderr.read()
        process.stdout.close()
        process.stderr.close()
        os.close(master)
        code = process.returncode if time.monotonic() < deadline else None
        return Run(code, output + rest, stderr, time.monotonic() - begin)
