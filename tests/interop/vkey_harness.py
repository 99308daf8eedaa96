"""Starts pinvale-vkey for a test and talks to it: its standard input for touch,
plug and unplug, its socket for CTAPHID packets.

Run with Debian's /usr/bin/python3 so python3-fido2 is importable.
"""

import os
import queue
import shutil
import socket
import subprocess
import tempfile
import threading

VKEY_BINARY = os.environ.get("PINVALE_VKEY", "pinvale-vkey")
PACKET_SIZE = 64


class VkeyProcess:
    """One pinvale-vkey in a fresh directory, stopped by close() whatever happens."""

    def __init__(self, *args):
        self.dir = tempfile.mkdtemp(prefix="pvk-")
        self.proc = subprocess.Popen(
            [VKEY_BINARY, "--dir", self.dir, *args],
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            text=True,
            bufsize=1,
        )
        self.lines = queue.Queue()
        self.reader = threading.Thread(target=self._read_stdout, daemon=True)
        self.reader.start()
        try:
            self.path = self.expect("ready ")[len("ready "):]
        except Exception:
            self.close()
            raise

    def _read_stdout(self):
        for line in self.proc.stdout:
            self.lines.put(line.rstrip("\n"))
        self.lines.put(None)

    def expect(self, prefix, timeout=10):
        while True:
            line = self.lines.get(timeout=timeout)
            if line is None:
                raise RuntimeError("pinvale-vkey ended before printing %r" % prefix)
            if line.startswith(prefix):
                return line

    def command(self, text):
        self.proc.stdin.write(text + "\n")
        self.proc.stdin.flush()

    def plug(self):
        self.command("plug")
        self.expect("ready ")

    def unplug(self):
        self.command("unplug")
        self.expect("unplugged")

    def touch(self):
        self.command("touch")
        self.expect("touched")

    def status(self):
        self.command("status")
        line = self.expect("status ")
        return dict(item.split("=", 1) for item in line.split()[1:])

    def close(self):
        """Quits (killing if need be) and reports whether the socket was removed."""
        try:
            if self.proc.poll() is None:
                try:
                    self.command("quit")
                    self.proc.wait(timeout=5)
                except (BrokenPipeError, subprocess.TimeoutExpired):
                    self.proc.kill()
                    self.proc.wait()
            removed = not os.listdir(self.dir)
        finally:
            self.reader.join(timeout=5)
            for stream in (self.proc.stdin, self.proc.stdout):
                try:
                    stream.close()
                except OSError:
                    pass
            shutil.rmtree(self.dir, ignore_errors=True)
        return removed

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def connect(path, timeout=10):
    sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    sock.settimeout(timeout)
    sock.connect(path)
    return sock


def read_packet(sock):
    data = b""
    while len(data) < PACKET_SIZE:
        chunk = sock.recv(PACKET_SIZE - len(data))
        if not chunk:
            raise ConnectionError("virtual key closed the connection")
        data += chunk
    return data
