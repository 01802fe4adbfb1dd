#!/usr/bin/env python3
"""Silent serial ports for the GUI tests: one pseudo-terminal per link, nothing ever
answered. Every time the program opens a port, a line "open LINK" goes to the log, so a
test can tell whether a port was touched.

Usage: silent_ports.py LOG LINK...   (runs until SIGTERM)
"""
import os
import select
import signal
import sys
import time


def main():
    log_path, links = sys.argv[1], sys.argv[2:]
    ports = []
    for link in links:
        master, slave = os.openpty()
        name = os.ttyname(slave)
        # With the slave closed the master reports a hang-up until someone opens it.
        os.close(slave)
        if os.path.lexists(link):
            os.unlink(link)
        os.symlink(name, link)
        ports.append({"fd": master, "link": link, "open": False})

    def stop(*_):
        for port in ports:
            if os.path.lexists(port["link"]):
                os.unlink(port["link"])
        sys.exit(0)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    with open(log_path, "a", buffering=1) as log:
        print("ready", flush=True)
        poller = select.poll()
        for port in ports:
            poller.register(port["fd"], select.POLLIN)
        by_fd = {port["fd"]: port for port in ports}
        while True:
            events = dict(poller.poll(50))
            hung = False
            for fd, port in by_fd.items():
                event = events.get(fd, 0)
                is_open = not (event & select.POLLHUP)
                if is_open and not port["open"]:
                    log.write("open %s\n" % os.path.basename(port["link"]))
                port["open"] = is_open
                hung = hung or not is_open
                if event & select.POLLIN and is_open:
                    try:
                        os.read(fd, 4096)  # swallowed: the port stays silent
                    except OSError:
                        pass
            if hung:
                time.sleep(0.02)


if __name__ == "__main__":
    main()
