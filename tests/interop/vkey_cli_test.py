"""pinvale-vkey as a program: its command line, socket name, standard-input
commands, signals, and raw CTAPHID packets over its socket.

Usage: /usr/bin/python3 vkey_cli_test.py --vkey PATH [unittest arguments]
"""

import os
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
if "--vkey" in sys.argv:
    at = sys.argv.index("--vkey")
    os.environ["PINVALE_VKEY"] = sys.argv[at + 1]
    del sys.argv[at:at + 2]

import vkey_harness  # noqa: E402

BROADCAST = 0xFFFFFFFF


def init_packet(cid, cmd, payload):
    return struct.pack(">IBH", cid, 0x80 | cmd, len(payload)) + payload.ljust(57, b"\0")


def open_channel(sock):
    sock.sendall(init_packet(BROADCAST, 0x06, b"12345678"))
    answer = vkey_harness.read_packet(sock)
    assert answer[7:15] == b"12345678"
    return struct.unpack_from(">I", answer, 15)[0]


def get_info(sock, cid):
    sock.sendall(init_packet(cid, 0x10, b"\x04"))
    answer = vkey_harness.read_packet(sock)
    return struct.unpack_from(">IBH", answer) + (answer[7],)


def assert_dropped(test, sock):
    """The key dropped the connection: an orderly end, or a reset when the
    connection was still waiting to be accepted when the socket went away."""
    try:
        test.assertEqual(sock.recv(64), b"")
    except ConnectionResetError:
        pass
    finally:
        sock.close()


class CommandLineTest(unittest.TestCase):
    def run_vkey(self, *args):
        return subprocess.run(
            [os.environ["PINVALE_VKEY"], *args], capture_output=True, text=True, timeout=10
        )

    def test_help_documents_options_and_commands(self):
        done = self.run_vkey("--help")
        self.assertEqual(done.returncode, 0)
        for word in ("--dir", "--vid", "--pid", "--label", "--touch", "--touch-delay",
                     "--reset-window", "--pin", "--uv", "--fault", "touch", "unplug",
                     "plug", "status", "quit", "SIGTERM", "pull-out=N", "no-y", "--profile",
                     "--pin-protocols", "--min-pin-length", "--force-pin-change"):
            self.assertIn(word, done.stdout)

    def test_bad_arguments_are_refused(self):
        for args in ([], ["--dir"], ["--dir", "/tmp", "--touch", "sometimes"],
                     ["--dir", "/tmp", "--vid", "12345"], ["--dir", "/tmp", "--fault", "boom"],
                     ["--dir", "/tmp", "--label", "a/b"], ["--dir", "/tmp", "--pin", "12"],
                     ["--dir", "/tmp", "--reset-window", "-1"], ["--dir", "/tmp", "--bogus"],
                     ["--dir", "/tmp", "--profile", "3.0"],
                     ["--dir", "/tmp", "--pin-protocols", "2"],  # a 2.0 key speaks only 1
                     ["--dir", "/tmp", "--profile", "2.1", "--pin-protocols", "3"],
                     ["--dir", "/tmp", "--profile", "2.1", "--pin-protocols", "2,2"],
                     ["--dir", "/tmp", "--profile", "2.1", "--pin-protocols", ""],
                     ["--dir", "/tmp", "--profile", "2.1", "--force-pin-change"],  # no PIN
                     ["--dir", "/tmp", "--pin", "1234", "--force-pin-change"],  # a 2.0 key
                     ["--dir", "/tmp", "--min-pin-length", "3"],
                     ["--dir", "/tmp", "--min-pin-length", "64"]):
            done = self.run_vkey(*args)
            self.assertEqual(done.returncode, 2, args)
            self.assertIn("pinvale-vkey:", done.stderr)

    def test_socket_name_carries_ids_and_label(self):
        with vkey_harness.VkeyProcess("--vid", "0x1234", "--pid", "ABCD", "--label", "k2") as vkey:
            self.assertEqual(os.path.basename(vkey.path), "1234-abcd-k2.sock")
        with vkey_harness.VkeyProcess() as vkey:
            self.assertEqual(os.path.basename(vkey.path), "3f8c-2d71-vkey.sock")

    def test_unreachable_directory_fails(self):
        done = self.run_vkey("--dir", "/nonexistent/dir")
        self.assertEqual(done.returncode, 1)


class ServingTest(unittest.TestCase):
    def setUp(self):
        self.vkey = vkey_harness.VkeyProcess("--pin", "1234")

    def tearDown(self):
        self.assertTrue(self.vkey.close(), "socket left behind")

    def test_raw_packets_and_separate_channels(self):
        first = vkey_harness.connect(self.vkey.path)
        second = vkey_harness.connect(self.vkey.path)
        cid1 = open_channel(first)
        cid2 = open_channel(second)
        self.assertNotEqual(cid1, cid2)
        self.assertEqual(get_info(first, cid1)[:2], (cid1, 0x90))
        # The other connection does not know the first one's channel.
        second.sendall(init_packet(cid1, 0x10, b"\x04"))
        answer = vkey_harness.read_packet(second)
        self.assertEqual((answer[4], answer[7]), (0xBF, 0x0B))
        # The maker's channel works on a connection once it has sent an INIT.
        cid, cmd, length, status = get_info(second, 1)
        self.assertEqual((cid, cmd, status), (1, 0x90, 0))
        first.close()
        second.close()

    def test_status_unplug_and_plug(self):
        status = self.vkey.status()
        self.assertEqual(status, {"plugged": "yes", "pin": "set", "retries": "8",
                                  "wrong-in-a-row": "0", "waiting-for-touch": "no",
                                  "force-pin-change": "no", "waiting-for-finger": "no",
                                  "passkeys": "0", "fingerprints": "0"})
        sock = vkey_harness.connect(self.vkey.path)
        self.vkey.unplug()
        self.assertFalse(os.path.exists(self.vkey.path))
        assert_dropped(self, sock)
        self.assertEqual(self.vkey.status()["plugged"], "no")
        self.vkey.plug()
        self.assertTrue(os.path.exists(self.vkey.path))
        sock = vkey_harness.connect(self.vkey.path)
        self.assertEqual(get_info(sock, open_channel(sock))[3], 0)
        sock.close()

    def test_keeps_serving_after_end_of_stdin_and_cleans_up_on_sigterm(self):
        self.vkey.proc.stdin.close()
        time.sleep(0.2)
        sock = vkey_harness.connect(self.vkey.path)
        self.assertEqual(get_info(sock, open_channel(sock))[3], 0)
        sock.close()
        self.vkey.proc.send_signal(signal.SIGTERM)
        self.assertEqual(self.vkey.proc.wait(timeout=5), 0)
        self.assertFalse(os.path.exists(self.vkey.path))

    def test_sigint_cleans_up(self):
        self.vkey.proc.send_signal(signal.SIGINT)
        self.assertEqual(self.vkey.proc.wait(timeout=5), 0)
        self.assertFalse(os.path.exists(self.vkey.path))

    def test_second_server_on_the_same_socket_is_refused(self):
        done = subprocess.run(
            [os.environ["PINVALE_VKEY"], "--dir", os.path.dirname(self.vkey.path)],
            capture_output=True, text=True, timeout=10, stdin=subprocess.DEVNULL)
        self.assertEqual(done.returncode, 1)
        self.assertIn("already serves", done.stderr)
        self.assertTrue(os.path.exists(self.vkey.path))


class PullOutFaultTest(unittest.TestCase):
    def test_key_pulls_itself_out(self):
        with vkey_harness.VkeyProcess("--fault", "pull-out=2") as vkey:
            sock = vkey_harness.connect(vkey.path)
            cid = open_channel(sock)
            sock.sendall(init_packet(cid, 0x10, b"\x04"))
            assert_dropped(self, sock)
            vkey.expect("unplugged")
            self.assertFalse(os.path.exists(vkey.path))
            vkey.plug()
            self.assertTrue(os.path.exists(vkey.path))


class StaleSocketTest(unittest.TestCase):
    def test_stale_socket_file_is_replaced(self):
        directory = tempfile.mkdtemp(prefix="pvk-")
        stale = os.path.join(directory, "3f8c-2d71-vkey.sock")
        leftover = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        leftover.bind(stale)
        leftover.close()  # the file stays, nobody listens
        proc = subprocess.Popen([os.environ["PINVALE_VKEY"], "--dir", directory],
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        try:
            self.assertEqual(proc.stdout.readline().strip(), "ready " + stale)
            sock = vkey_harness.connect(stale)
            self.assertNotEqual(open_channel(sock), 0)
            sock.close()
        finally:
            proc.communicate("quit\n", timeout=5)
            os.rmdir(directory)


if __name__ == "__main__":
    unittest.main()
