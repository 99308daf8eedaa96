#!/usr/bin/python3
"""pinvale-cli as a program against pinvale-vkey's socket, and against
python-fido2 on the same key: a PIN set by one side verifies on the other.

Usage: cli_socket_test.py PINVALE_CLI PINVALE_VKEY [unittest names...]
"""

import os
import pty
import signal
import time
import select
import shutil
import socket
import subprocess
import sys
import tempfile
import unittest

from fido2.ctap import CtapError
from fido2.ctap2 import ClientPin, Ctap2
from fido2.hid import CtapHidDevice
from fido2.hid.base import CtapHidConnection, HidDescriptor

CLI = VKEY = None
NON_ASCII_PIN = "p\u00e4ss\u20ac\U0001F600"  # "päss€😀": two- three- and four-byte UTF-8
CHINESE_PIN = "\u4e2d\u6587\u5bc6\u7801"


class SocketConnection(CtapHidConnection):
    """python-fido2's HID connection over the virtual key's socket: raw 64-byte
    packets each way."""

    def __init__(self, path):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.settimeout(10)
        self.sock.connect(path)

    def write_packet(self, data):
        packet = bytes(data)
        # python-fido2 writes a report id byte first on some platforms.
        if len(packet) == 65:
            packet = packet[1:]
        self.sock.sendall(packet.ljust(64, b"\0"))

    def read_packet(self):
        data = b""
        while len(data) < 64:
            chunk = self.sock.recv(64 - len(data))
            if not chunk:
                raise OSError("the virtual key closed the connection")
            data += chunk
        return data

    def close(self):
        self.sock.close()


class VirtualKey:
    """pinvale-vkey in the background, driven through its standard input."""

    def __init__(self, directory, *extra):
        self.proc = subprocess.Popen(
            [VKEY, "--dir", directory, "--touch-delay", "20", "--reset-window", "60", *extra],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        line = self.proc.stdout.readline().split()
        assert line[:1] == ["ready"], line
        self.path = line[1]

    def command(self, text):
        self.proc.stdin.write(text + "\n")
        self.proc.stdin.flush()
        if text == "plug":
            assert self.proc.stdout.readline().startswith("ready")
        elif text == "unplug":
            assert self.proc.stdout.readline().startswith("unplugged")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.stdin.write("quit\n")
            self.proc.stdin.close()
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc.stdout.close()

    def fido2(self):
        descriptor = HidDescriptor(self.path, 0x3F8C, 0x2D71, 64, 64)
        device = CtapHidDevice(descriptor, SocketConnection(self.path))
        return device, ClientPin(Ctap2(device))


class SocketKeyTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="pinvale-cli-")
        self.key = VirtualKey(self.dir)

    def tearDown(self):
        self.key.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def replug(self, *extra):
        """A fresh key in the same directory, started with `extra` options."""
        self.key.stop()
        self.key = VirtualKey(self.dir, *extra)

    def cli(self, *args, stdin="", env_dir=False, device=False):
        env = dict(os.environ)
        env.pop("PINVALE_VKEY_DIR", None)
        command = [CLI]
        if env_dir:
            env["PINVALE_VKEY_DIR"] = self.dir
        elif device:
            command += ["--device", self.key.path]
        else:
            command += ["--virtual-keys", self.dir]
        result = subprocess.run(command + list(args), input=stdin.encode("utf-8"),
                                capture_output=True, timeout=30, env=env)
        return result.returncode, result.stdout.decode("utf-8"), result.stderr.decode("utf-8")


class FlowTest(SocketKeyTest):
    def test_full_flow_through_the_socket(self):
        code, out, _ = self.cli("list")
        self.assertEqual(code, 0)
        self.assertEqual(out, "3f8c:2d71  %s  (used)\n" % self.key.path)
        # The lines after these describe the rest of getInfo.
        self.assertTrue(self.cli("info")[1].startswith(
            "Key 3f8c:2d71\nPIN: not set\nUser verification: not configured\n"))

        self.assertEqual(self.cli("--pin-stdin", "set-pin", stdin="1234\n")[:2], (0, "PIN set.\n"))
        code, _, err = self.cli("--pin-stdin", "verify-pin", stdin="4321\n", device=True)
        self.assertEqual((code, err), (4, "Wrong PIN (status 0x31). 7 attempts left.\n"))
        self.assertEqual(self.cli("retries", env_dir=True)[:2], (0, "7 PIN attempts left.\n"))

        code, out, err = self.cli("--pin-stdin", "change-pin", stdin="1234\n" + NON_ASCII_PIN + "\n")
        self.assertEqual((code, out), (0, "PIN changed.\n"), err)
        self.assertEqual(self.cli("--pin-stdin", "verify-pin", stdin=NON_ASCII_PIN + "\n")[:2],
                         (0, "PIN verified.\n"))

        self.assertEqual(self.cli("--yes", "reset")[:2], (0, "Key reset.\n"))
        self.assertIn("PIN: not set", self.cli("info", device=True)[1])

    def test_lock_after_three_wrong_pins_until_replug(self):
        self.assertEqual(self.cli("--pin-stdin", "set-pin", stdin="1234\n")[0], 0)
        for _ in range(2):
            self.assertEqual(self.cli("--pin-stdin", "verify-pin", stdin="0000\n")[0], 4)
        code, _, err = self.cli("--pin-stdin", "verify-pin", stdin="0000\n")
        self.assertEqual(code, 5)
        self.assertIn("(status 0x34)", err)
        self.key.command("plug")
        self.assertEqual(self.cli("--pin-stdin", "verify-pin", stdin="1234\n")[0], 0)

    def test_no_key_after_unplug(self):
        self.key.command("unplug")
        code, _, err = self.cli("info")
        self.assertEqual((code, err), (2, "No key found.\n"))


class PullOutTest(SocketKeyTest):
    """The key pulls itself out at its Nth packet (getInfo and getKeyAgreement
    take two each: INIT, then the message): the command says that it was pulled
    out, whichever step that cut short, and exits with 2."""

    PULLED_OUT = "The key was pulled out before it answered."

    def test_each_command_says_the_key_was_pulled_out(self):
        cases = [
            ("info", 2, [], ["info"], "", self.PULLED_OUT + "\n"),
            ("verify-pin, key agreement", 4, ["--pin", "1234"], ["--pin-stdin", "verify-pin"],
             "1234\n", self.PULLED_OUT + "\n"),
            ("set-pin, the request", 6, [], ["--pin-stdin", "set-pin"], "1234\n",
             self.PULLED_OUT + " Plug it in again; info tells whether the PIN was set.\n"),
            ("reset", 2, ["--pin", "1234"], ["--yes", "reset"], "",
             "Touch the key to confirm the reset.\n" + self.PULLED_OUT + "\n"),
        ]
        for name, packet, key_options, args, stdin, message in cases:
            with self.subTest(case=name):
                self.replug("--fault", "pull-out=%d" % packet, *key_options)
                code, out, err = self.cli(*args, stdin=stdin, device=True)
                self.assertEqual((code, out, err), (2, "", message))
                self.assertFalse(os.path.exists(self.key.path))

    def test_a_key_that_stays_but_fails_is_not_called_pulled_out(self):
        self.replug("--fault", "no-y")
        code, _, err = self.cli("--pin-stdin", "set-pin", stdin="1234\n")
        self.assertEqual((code, err),
                         (7, "The key's key agreement could not be used (status 0x12).\n"))


def wait_or_kill(pid, seconds):
    """A program stuck at a prompt must fail the test, not hang it."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        done, status = os.waitpid(pid, os.WNOHANG)
        if done:
            return status
        time.sleep(0.02)
    os.kill(pid, signal.SIGKILL)
    return os.waitpid(pid, 0)[1]


class TerminalTest(SocketKeyTest):
    """pinvale-cli on a terminal: PINs typed without echo, reset confirmed."""

    def run_on_terminal(self, args, answers):
        pid, fd = pty.fork()
        if pid == 0:
            os.execv(CLI, [CLI, "--virtual-keys", self.dir] + args)
        seen = b""
        try:
            for prompt, answer in answers:
                while prompt.encode() not in seen:
                    ready, _, _ = select.select([fd], [], [], 10)
                    self.assertTrue(ready, "no prompt %r in %r" % (prompt, seen))
                    seen += os.read(fd, 1024)
                seen = seen.replace(prompt.encode(), b"<" + prompt.encode() + b">", 1)
                os.write(fd, answer.encode("utf-8") + b"\n")
            while True:
                ready, _, _ = select.select([fd], [], [], 10)
                if not ready:
                    break
                try:
                    chunk = os.read(fd, 1024)
                except OSError:  # the terminal closes when the program ends
                    break
                if not chunk:
                    break
                seen += chunk
        finally:
            status = wait_or_kill(pid, 15)
            os.close(fd)
        return os.waitstatus_to_exitcode(status), seen.decode("utf-8", "replace")

    def test_pins_are_typed_without_echo(self):
        code, screen = self.run_on_terminal(
            ["set-pin"], [("New PIN: ", NON_ASCII_PIN), ("Repeat the new PIN: ", NON_ASCII_PIN)])
        self.assertEqual(code, 0, screen)
        self.assertIn("PIN set.", screen)
        self.assertNotIn(NON_ASCII_PIN, screen)
        code, screen = self.run_on_terminal(["verify-pin"], [("PIN: ", "secret-typed")])
        self.assertEqual(code, 4, screen)
        self.assertNotIn("secret-typed", screen)
        self.assertIn("Wrong PIN (status 0x31). 7 attempts left.", screen)

    def test_reset_asks_on_a_terminal(self):
        self.assertEqual(self.cli("--pin-stdin", "set-pin", stdin="1234\n")[0], 0)
        code, screen = self.run_on_terminal(["reset"], [('Type "yes" to reset: ', "no")])
        self.assertEqual(code, 3, screen)
        self.assertIn("PIN: set", self.cli("info")[1])
        code, screen = self.run_on_terminal(["reset"], [('Type "yes" to reset: ', "yes")])
        self.assertEqual(code, 0, screen)
        self.assertIn("PIN: not set", self.cli("info")[1])


class Fido2InteropTest(SocketKeyTest):
    def test_pins_set_by_pinvale_verify_in_python_fido2(self):
        for pin, fresh in (("1234", True), (NON_ASCII_PIN, False), (CHINESE_PIN, False)):
            if fresh:
                code, _, err = self.cli("--pin-stdin", "set-pin", stdin=pin + "\n")
            else:
                code, _, err = self.cli("--pin-stdin", "change-pin", stdin=previous + "\n" + pin + "\n")
            self.assertEqual(code, 0, err)
            device, client = self.key.fido2()
            try:
                self.assertEqual(len(client.get_pin_token(pin)), 16)
                with self.assertRaises(CtapError) as wrong:
                    client.get_pin_token(pin + "x")
                self.assertEqual(wrong.exception.code, CtapError.ERR.PIN_INVALID)
                self.assertEqual(client.get_pin_retries()[0], 7)
                client.get_pin_token(pin)  # a right PIN restores the count
            finally:
                device.close()
            previous = pin

    def test_pins_set_by_python_fido2_verify_in_pinvale(self):
        device, client = self.key.fido2()
        try:
            client.set_pin(NON_ASCII_PIN)
        finally:
            device.close()
        self.assertEqual(self.cli("--pin-stdin", "verify-pin", stdin=NON_ASCII_PIN + "\n")[:2],
                         (0, "PIN verified.\n"))
        code, _, err = self.cli("--pin-stdin", "verify-pin", stdin="pass\u20ac\U0001F600\n")
        self.assertEqual((code, err), (4, "Wrong PIN (status 0x31). 7 attempts left.\n"))

        device, client = self.key.fido2()
        try:
            client.change_pin(NON_ASCII_PIN, CHINESE_PIN)
        finally:
            device.close()
        self.assertEqual(self.cli("--pin-stdin", "verify-pin", stdin=CHINESE_PIN + "\n")[0], 0)
        self.assertEqual(self.cli("retries")[1], "8 PIN attempts left.\n")


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    CLI, VKEY = sys.argv[1], sys.argv[2]
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
